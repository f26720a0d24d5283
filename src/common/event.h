#pragma once
#include <functional>
#include <utility>

namespace tarsel {

// A single-handler event slot: assignable and replaceable. Trigger calls a copy of the
// handler, so a handler may replace or clear itself while it runs. In/out parameters
// are declared as references in Args.
template <class... Args>
class TEvent {
public:
    using Handler = std::function<void(Args...)>;

    TEvent() = default;
    TEvent(Handler h) : m_handler(std::move(h)) {} // NOLINT: implicit on purpose
    TEvent &operator=(Handler h)
    {
        m_handler = std::move(h);
        return *this;
    }
    TEvent &operator=(std::nullptr_t)
    {
        m_handler = nullptr;
        return *this;
    }

    bool Assigned() const { return static_cast<bool>(m_handler); }
    explicit operator bool() const { return Assigned(); }
    const Handler &handler() const { return m_handler; }

    // Calls the handler when one is assigned; reports whether one was.
    template <class... CallArgs>
    bool Trigger(CallArgs &&...args) const
    {
        if (!m_handler)
            return false;
        Handler copy = m_handler;
        copy(std::forward<CallArgs>(args)...);
        return true;
    }

private:
    Handler m_handler;
};

} // namespace tarsel
