#pragma once
// Helpers shared by the FTP client's source files.
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

} // namespace tarsel
