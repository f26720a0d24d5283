#include "app/tapplication.h"

#include "common/exception.h"

namespace tarsel {

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

void TApplication::SetExceptionHandler(ExceptionHandler h) { SetApplicationExceptionHandler(std::move(h)); }

void TApplication::HandleException(std::exception_ptr error) { HandleApplicationException(std::move(error)); }

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
