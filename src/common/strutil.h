#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

// String helpers over 8-bit byte strings. Positions count from 1, as the algorithms
// of this system are written; 0 means "not found".
namespace tarsel::str {

// 1-based position of needle in s at or after start, 0 when absent.
std::size_t Pos(std::string_view needle, std::string_view s, std::size_t start = 1);
// Up to count bytes of s from 1-based index; out-of-range parts are clipped.
std::string Copy(std::string_view s, std::size_t index, std::size_t count = std::string::npos);
std::string Trim(std::string_view s);      // drops bytes <= ' ' at both ends
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s); // ASCII only
std::string LowerCase(std::string_view s); // ASCII only
bool SameText(std::string_view a, std::string_view b); // ASCII case-insensitive

// Whole-string decimal integer (optional sign); nullopt on anything else or overflow.
std::optional<std::int64_t> ToInt64(std::string_view s);
std::int64_t StrToInt64Def(std::string_view s, std::int64_t def);

// Bytes a server sent, decoded for display: UTF-8 when valid, else Latin-1.
QString DisplayText(std::string_view bytes);

} // namespace tarsel::str
