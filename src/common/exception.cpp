#include "common/exception.h"

#include <cstdio>

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

namespace {
TExceptionHandler &applicationHandler()
{
    static TExceptionHandler h;
    return h;
}
} // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) { applicationHandler() = std::move(handler); }

void HandleApplicationException(std::exception_ptr error) noexcept
{
    try {
        if (applicationHandler()) {
            // A copy: the handler may replace itself (a window going away).
            const TExceptionHandler h = applicationHandler();
            h(error);
            return;
        }
    } catch (...) {
        // The handler itself failed: fall through to the plain report.
    }
    try {
        std::fprintf(stderr, "Application Error: %s\n", ExceptionMessage(error).c_str());
    } catch (...) {
    }
}

} // namespace tarsel
