#pragma once
#include <cstddef>
#include <cstdint>

namespace tarsel::fuzz {

// Runs one fuzz input: the first byte picks the operation (a parse of server type
// 0 to 5, or the line converter with the dialect code in the second byte), the rest
// is the reply. Returns false when a result breaks what the callers rely on.
bool RunListingInput(const std::uint8_t *data, std::size_t size);

} // namespace tarsel::fuzz
