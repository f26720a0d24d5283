#pragma once
// Helpers shared by the FTP client's source files.
#include <cstddef>
#include <exception>
#include <string>

#include "ftp/ftpcli.h"
#include "net/wsocket.h"

namespace tarsel {

// The class of an exception as its error text names it.
inline std::string ClassName(const std::exception &e)
{
    if (dynamic_cast<const ESocketException *>(&e))
        return "ESocketException";
    if (dynamic_cast<const FtpException *>(&e))
        return "FtpException";
    return "Exception";
}

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Number of leading digits of a reply line.
inline std::size_t DigitRun(const std::string &line)
{
    std::size_t i = 0;
    while (i < line.size() && IsDigit(line[i]))
        ++i;
    return i;
}

inline int CodeOf(const std::string &line)
{
    std::size_t n = DigitRun(line);
    int code = 0;
    for (std::size_t i = 0; i < n && i < 9; ++i)
        code = code * 10 + (line[i] - '0');
    return code;
}

} // namespace tarsel
