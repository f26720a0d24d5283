#pragma once
#include <QApplication>
#include <exception>
#include <functional>

namespace tarsel {

// The application object. Handlers catch their own exceptions (RunGuarded in
// common/exception.h); notify() is the last resort for one that escapes an event
// handler all the same. Both hand them to the installed handler.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);

    using ExceptionHandler = std::function<void(std::exception_ptr)>;
    static void SetExceptionHandler(ExceptionHandler handler);
    // Routes an exception caught anywhere at an event-loop entry point.
    static void HandleException(std::exception_ptr error);

    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace tarsel
