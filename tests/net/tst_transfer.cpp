// A large transfer both ways through the send queue, with slow readers, while the
// event loop keeps running.
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <random>
#include <thread>

#include "fixture.h"

using namespace tarsel;

namespace {

constexpr std::int64_t kTotal = std::int64_t(256) << 20;
constexpr std::size_t kPeriod = 65521; // prime: no chunk size lines up with it
constexpr int kReadStep = 16384;       // what a reader takes per notification

// Position-dependent bytes (a random table repeated): a lost, doubled or reordered
// block shows as a mismatch.
const std::string &table()
{
    static const std::string t = [] {
        std::mt19937 rng(12345);
        std::string s(2 * kPeriod, '\0');
        for (std::size_t i = 0; i < kPeriod; ++i)
            s[i] = s[i + kPeriod] = static_cast<char>(rng());
        return s;
    }();
    return t;
}

// One end: sends kTotal bytes through the queue, a few MiB at a time, and checks
// what the other end sends.
struct End {
    TWSocket *sock = nullptr;
    std::int64_t queued = 0;
    std::int64_t received = 0;
    std::int64_t firstMismatch = -1;
    bool blocked = false; // a send found the system full
    bool allSentSeen = false;
    int sendCalls = 0;

    void attach(TWSocket &s)
    {
        sock = &s;
        s.SetBufSize(16384);
        s.SetComponentOptions({TWSocketOption::wsoNoReceiveLoop});
        s.OnDataSent = [this](TCustomWSocket *, int) { refill(); };
        s.OnDataAvailable = [this](TCustomWSocket *w, int) {
            char buf[kReadStep];
            const int n = w->Receive(buf, sizeof buf);
            const std::string &t = table();
            for (int i = 0; i < n; ++i) {
                if (firstMismatch < 0 && buf[i] != t[std::size_t((received + i) % kPeriod)])
                    firstMismatch = received + i;
            }
            if (n > 0)
                received += n;
        };
    }
    void refill()
    {
        if (queued >= kTotal) {
            allSentSeen = true;
            return;
        }
        // Four MiB per refill, in slices of the table.
        const std::int64_t stop = std::min(kTotal, queued + (std::int64_t(4) << 20));
        while (queued < stop) {
            const std::size_t at = std::size_t(queued % kPeriod);
            const int len = int(std::min<std::int64_t>(stop - queued, std::int64_t(kPeriod)));
            sock->Send(table().data() + at, len);
            ++sendCalls;
            queued += len;
        }
        if (!sock->AllSent())
            blocked = true;
    }
};

} // namespace

class TestTransfer : public QObject {
    Q_OBJECT
private slots:
    void bothWaysInOrder()
    {
        TWSocket server, a, b;
        End ea, eb;
        ea.attach(a);
        eb.attach(b);
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        server.OnSessionAvailable = [&](TCustomWSocket *w, int) {
            b.Dup(w->Accept());
            eb.refill();
        };
        server.Listen();
        a.OnSessionConnected = [&](TCustomWSocket *, int e) {
            QCOMPARE(e, 0);
            ea.refill();
        };
        a.SetAddr("127.0.0.1");
        a.SetPort(server.GetXPort());
        a.Connect();

        int ticks = 0;
        qint64 maxGap = 0;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            maxGap = std::max(maxGap, sinceTick.restart());
        });
        timer.start(5);
        QElapsedTimer total;
        total.start();
        QTRY_VERIFY_WITH_TIMEOUT(ea.received == kTotal && eb.received == kTotal, 280000);
        timer.stop();
        const double secs = double(total.elapsed()) / 1000.0;
        qInfo("512 MiB moved in %.1f s; timer ticks %d, longest gap %lld ms", secs, ticks,
              static_cast<long long>(maxGap));

        QCOMPARE(ea.firstMismatch, std::int64_t(-1));
        QCOMPARE(eb.firstMismatch, std::int64_t(-1));
        QVERIFY(ea.blocked && eb.blocked);
        QTRY_VERIFY(ea.allSentSeen && eb.allSentSeen);
        // The loop ran between chunks: the timer kept firing all along.
        QVERIFY(ticks > 10);
        QVERIFY2(maxGap < 2000, QByteArray::number(maxGap));

        int closed = 0;
        b.OnSessionClosed = [&](TCustomWSocket *, int e) {
            QCOMPARE(e, 0);
            ++closed;
        };
        a.Close();
        QTRY_COMPARE(closed, 1);
        QCOMPARE(b.State(), TSocketState::wsClosed);
    }

    // Batched reads raise the handle's low-water mark during a fast burst; bytes that
    // come later, too few to reach it, must still arrive, and so must the end. Also when
    // the socket was detached from its thread and attached again right after the burst.
    void batchedReceiveDeliversSlowTail_data()
    {
        QTest::addColumn<bool>("rebind");
        QTest::newRow("same binding") << false;
        QTest::newRow("detached and attached again") << true;
    }

    void batchedReceiveDeliversSlowTail()
    {
        QFETCH(bool, rebind);
        constexpr int kBatch = 128 * 1024;
        const std::string burst = fixture::Pattern(std::size_t(8) << 20);
        peers::Listener l;
        TWSocket s;
        s.SetReceiveBatch(kBatch);
        std::string got;
        int maxMark = 0, closed = 0;
        s.OnDataAvailable = [&](TCustomWSocket *w, int) {
            char buf[65536];
            const int n = w->Receive(buf, sizeof buf);
            if (n > 0)
                got.append(buf, std::size_t(n));
            int mark = 0;
            socklen_t len = sizeof mark;
            if (::getsockopt(w->HSocket(), SOL_SOCKET, SO_RCVLOWAT, &mark, &len) == 0)
                maxMark = std::max(maxMark, mark);
            if (rebind && got.size() == burst.size()) {
                w->ThreadDetach();
                w->ThreadAttach();
            }
        };
        s.OnSessionClosed = [&](TCustomWSocket *, int) { ++closed; };
        const int peer = fixture::ConnectPair(s, l);
        QVERIFY(peer >= 0);
        std::thread sender([&] { peers::SendAll(peer, burst); });
        QTRY_VERIFY_WITH_TIMEOUT(got.size() == burst.size(), 20000);
        sender.join();
        QCOMPARE(maxMark, kBatch);

        QVERIFY(peers::SendAll(peer, "tail"));
        QTRY_VERIFY_WITH_TIMEOUT(got.size() == burst.size() + 4, 5000);
        QVERIFY(got == burst + "tail");
        ::close(peer);
        QTRY_COMPARE_WITH_TIMEOUT(closed, 1, 5000);
    }
};

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
