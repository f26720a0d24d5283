#include "app/tapplication.h"

#include <cstdio>

#include "common/exception.h"

namespace tarsel {

namespace {
TApplication::ExceptionHandler &handler()
{
    static TApplication::ExceptionHandler h;
    return h;
}
} // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

void TApplication::SetExceptionHandler(ExceptionHandler h) { handler() = std::move(h); }

void TApplication::HandleException(std::exception_ptr error)
{
    if (handler()) {
        try {
            handler()(error);
            return;
        } catch (...) {
            // The handler itself failed: fall through to the plain report.
        }
    }
    std::fprintf(stderr, "Application Error: %s\n", ExceptionMessage(error).c_str());
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
    }
    return false;
}

} // namespace tarsel
