#pragma once
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace tarsel {

// Runs the event loop until the condition holds or the time is up; returns the
// condition. QTest::qWaitFor sleeps 10 ms whenever no event is pending, which holds a
// transfer to one read or one upload block per sleep and adds the sleep to every timer
// the code under test runs. Here the loop waits for events and a precise poll timer
// looks at the condition, so the code runs at its own pace.
inline bool RunUntil(const std::function<bool()> &done, int timeoutMs, int pollMs = 2)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll, limit;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(pollMs);
    limit.setSingleShot(true);
    limit.start(timeoutMs);
    loop.exec();
    // As qWaitFor does: objects handed to deleteLater by the code just run go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return done();
}

} // namespace tarsel
