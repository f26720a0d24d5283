#pragma once
// Shared helpers of the socket tests.

#include <QTest>

#include <functional>
#include <string>

#include "net/wsocket.h"
#include "peers.h"

namespace fixture {

// Bytes whose value depends on their position, so that loss or reordering shows.
inline char PatternByte(std::uint64_t i)
{
    return static_cast<char>('a' + (i * 7 + i / 251) % 26);
}

inline std::string Pattern(std::size_t n, std::uint64_t offset = 0)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = PatternByte(offset + i);
    return s;
}

// The text of the ESocketException fn raises.
inline QString Raised(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const tarsel::ESocketException &e) {
        return QString::fromStdString(e.Message());
    }
    return QStringLiteral("(nothing raised)");
}

// Runs the event loop until notices posted now have been handled: what has not
// happened by then is not waiting in the queue either.
inline void Settle()
{
    for (int i = 0; i < 3; ++i) {
        bool seen = false;
        QObject ctx;
        QMetaObject::invokeMethod(&ctx, [&seen] { seen = true; }, Qt::QueuedConnection);
        QVERIFY(QTest::qWaitFor([&seen] { return seen; }, 1000));
    }
}

// Connects s to the listener and accepts the peer; returns the peer handle or -1.
inline int ConnectPair(tarsel::TWSocket &s, peers::Listener &l)
{
    s.SetAddr("127.0.0.1");
    s.SetPort(l.Port());
    s.Connect();
    int peer = -1;
    const bool ok = QTest::qWaitFor(
        [&] {
            if (peer < 0)
                peer = l.TryAccept();
            return peer >= 0 && s.State() == tarsel::TSocketState::wsConnected;
        },
        5000);
    if (!ok && peer >= 0) {
        ::close(peer);
        peer = -1;
    }
    return peer;
}

} // namespace fixture
