#include "common/exception.h"

namespace tarsel {

std::string ExceptionMessage(const std::exception_ptr &error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
    return {};
}

} // namespace tarsel
