#pragma once
#include <exception>
#include <functional>
#include <string>

namespace tarsel {

// Root of every exception the system raises on purpose; carries a fixed English text.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const char *what() const noexcept override { return m_message.c_str(); }
    const std::string &Message() const noexcept { return m_message; }

private:
    std::string m_message;
};

// Runs fn; whatever it throws goes to onError (as a std::exception) instead of
// leaving into the event loop.
template <class Fn, class OnError>
void CatchAll(Fn &&fn, OnError &&onError)
{
    try {
        fn();
    } catch (const std::exception &e) {
        onError(e);
    } catch (...) {
        onError(Exception("Unknown exception"));
    }
}

// Text of any exception caught at an event-loop entry point.
std::string ExceptionMessage(const std::exception_ptr &error);

// The application's handler of exceptions caught at event-loop entry points (handlers of
// actions, widgets and client events). Without one they are written to standard error.
using TExceptionHandler = std::function<void(std::exception_ptr)>;
void SetApplicationExceptionHandler(TExceptionHandler handler);
void HandleApplicationException(std::exception_ptr error) noexcept;

// Runs a handler; whatever it throws goes to the application's handler, never on into Qt.
template <class Fn>
void RunGuarded(Fn &&fn) noexcept
{
    try {
        fn();
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
}

} // namespace tarsel
