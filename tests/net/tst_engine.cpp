// Results the network rarely gives on demand, produced by a scripted engine over the
// real one: short sends, send errors of each kind, failing connect, socket, close
// and ioctl calls.
#include <QTest>

#include <cerrno>

#include "fixture.h"

using namespace tarsel;
using fixture::ConnectPair;
using fixture::Pattern;
using fixture::Raised;

namespace {

// Passes every call to the POSIX engine unless a failure or a limit is scripted.
class ScriptedEngine : public TSocketEngine {
public:
    int socketErrno = 0;
    int connectErrno = 0;
    int closeErrno = 0;    // the handle is still released, as on Linux
    int readableErrno = 0;
    int sendErrno = 0;     // every send fails with it while set
    size_t maxSend = 0;    // 0: no limit
    int sends = 0;

    TSocketEngine &real = PosixSocketEngine();

    int Socket(int d, int t, int p) override { return socketErrno ? fail(socketErrno) : real.Socket(d, t, p); }
    int Close(int fd) override
    {
        const int r = real.Close(fd);
        return closeErrno ? fail(closeErrno) : r;
    }
    int Shutdown(int fd, int how) override { return real.Shutdown(fd, how); }
    int Bind(int fd, const sockaddr *a, socklen_t l) override { return real.Bind(fd, a, l); }
    int Listen(int fd, int b) override { return real.Listen(fd, b); }
    int Accept(int fd, sockaddr *a, socklen_t *l, int f) override { return real.Accept(fd, a, l, f); }
    int Connect(int fd, const sockaddr *a, socklen_t l) override
    {
        return connectErrno ? fail(connectErrno) : real.Connect(fd, a, l);
    }
    ssize_t Send(int fd, const void *d, size_t l, int f) override
    {
        ++sends;
        if (sendErrno)
            return fail(sendErrno);
        return real.Send(fd, d, maxSend ? std::min(l, maxSend) : l, f);
    }
    ssize_t SendTo(int fd, const void *d, size_t l, int f, const sockaddr *t, socklen_t tl) override
    {
        return real.SendTo(fd, d, l, f, t, tl);
    }
    ssize_t Recv(int fd, void *b, size_t l, int f) override { return real.Recv(fd, b, l, f); }
    ssize_t RecvFrom(int fd, void *b, size_t l, int f, sockaddr *a, socklen_t *al) override
    {
        return real.RecvFrom(fd, b, l, f, a, al);
    }
    int Readable(int fd, int *c) override { return readableErrno ? fail(readableErrno) : real.Readable(fd, c); }
    int SetOpt(int fd, int lv, int n, const void *v, socklen_t l) override { return real.SetOpt(fd, lv, n, v, l); }
    int GetOpt(int fd, int lv, int n, void *v, socklen_t *l) override { return real.GetOpt(fd, lv, n, v, l); }
    int SockName(int fd, sockaddr *a, socklen_t *l) override { return real.SockName(fd, a, l); }
    int PeerName(int fd, sockaddr *a, socklen_t *l) override { return real.PeerName(fd, a, l); }

private:
    static int fail(int e)
    {
        errno = e;
        return -1;
    }
};

} // namespace

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void shortSendsContinueOnWriteReadiness()
    {
        ScriptedEngine e;
        e.maxSend = 100;
        peers::Listener l;
        TWSocket s;
        s.SetEngine(&e);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        std::vector<int> counts;
        int sent = 0;
        s.OnSendData = [&](TCustomWSocket *, int n) { counts.push_back(n); };
        s.OnDataSent = [&](TCustomWSocket *, int) { ++sent; };
        const std::string data = Pattern(1000);
        s.Send(data.data(), int(data.size()));
        QCOMPARE(counts.size(), std::size_t(1)); // a short send waits for readiness
        QVERIFY(!s.AllSent());
        QTRY_COMPARE(sent, 1);
        QCOMPARE(counts, std::vector<int>(10, 100));
        std::string got;
        QTRY_VERIFY((got += peers::ReadAvailable(peer), got.size() == data.size()));
        QVERIFY(got == data);
        ::close(peer);
    }

    void sendErrors_data()
    {
        QTest::addColumn<int>("err");
        QTest::addColumn<int>("closedWith"); // -1: not closed
        QTest::addColumn<int>("lastError");
        QTest::newRow("aborted closes") << ECONNABORTED << 10053 << 10053;
        QTest::newRow("reset closes") << ECONNRESET << 10054 << 10054;
        QTest::newRow("not connected closes") << ENOTCONN << 10057 << 10057;
        QTest::newRow("other is reported") << EMSGSIZE << -1 << 10040;
    }
    void sendErrors()
    {
        QFETCH(int, err);
        QFETCH(int, closedWith);
        QFETCH(int, lastError);
        ScriptedEngine e;
        peers::Listener l;
        TWSocket s;
        s.SetEngine(&e);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        int closed = -1;
        int errors = 0;
        s.OnSessionClosed = [&](TCustomWSocket *, int code) { closed = code; };
        s.OnError = [&](TCustomWSocket *) { ++errors; };
        e.sendErrno = err;
        QCOMPARE(s.SendStr("data"), 4);
        QCOMPARE(closed, closedWith);
        QCOMPARE(errors, closedWith < 0 ? 1 : 0);
        QCOMPARE(s.LastError(), lastError);
        QCOMPARE(s.State(), closedWith < 0 ? TSocketState::wsConnected : TSocketState::wsClosed);
        e.sendErrno = 0;
        s.OnError = nullptr;
        if (closedWith < 0) {
            e.sendErrno = err;
            QCOMPARE(Raised([&] { s.SendStr("again"); }),
                     QStringLiteral("Error 10040 in function TryToSend failed\r\nMessage too long"));
            e.sendErrno = 0;
        }
        s.Abort();
        ::close(peer);
    }

    void connectFailures()
    {
        ScriptedEngine e;
        TWSocket s;
        s.SetEngine(&e);
        std::vector<std::string> log;
        s.OnSessionConnected = [&](TCustomWSocket *, int code) { log.push_back("connected " + std::to_string(code)); };
        s.OnSessionClosed = [&](TCustomWSocket *, int code) { log.push_back("closed " + std::to_string(code)); };
        auto aim = [&] {
            s.SetAddr("127.0.0.1");
            s.SetPort("9");
        };

        // An outcome the system reports at once still arrives as the connect event.
        e.connectErrno = ENETUNREACH;
        aim();
        s.Connect();
        QVERIFY(log.empty());
        QTRY_COMPARE(log, (std::vector<std::string>{"connected 10051", "closed 0"}));

        // A refusal of the call itself is raised, and the handle stays until Close.
        e.connectErrno = EACCES;
        aim();
        QCOMPARE(Raised([&] { s.Connect(); }), QStringLiteral("Error 10013 in function Connect\r\nPermission denied"));
        QCOMPARE(s.State(), TSocketState::wsOpened);
        s.Close();
        QCOMPARE(s.State(), TSocketState::wsClosed);

        e.connectErrno = 0;
        e.socketErrno = EMFILE;
        aim();
        QCOMPARE(Raised([&] { s.Connect(); }),
                 QStringLiteral("Error 10024 in function Connect (socket)\r\nToo many open files"));
        QCOMPARE(s.State(), TSocketState::wsClosed);
    }

    void closeAndIoctlFailures()
    {
        ScriptedEngine e;
        peers::Listener l;
        TWSocket s;
        s.SetEngine(&e);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        QCOMPARE(Raised([&] { s.SetEngine(nullptr); }),
                 QStringLiteral("Cannot change the socket engine while a handle is open"));

        e.readableErrno = EBADF;
        QCOMPARE(Raised([&] { s.RcvdCount(); }), QStringLiteral("Error 10009 in function ioctlSocket\r\nBad file number"));
        int errors = 0;
        s.OnError = [&](TCustomWSocket *) { ++errors; };
        QCOMPARE(s.ReceiveStr(), std::string()); // with OnError: nothing, no exception
        QCOMPARE(errors, 1);
        s.OnError = nullptr;
        e.readableErrno = 0;

        e.closeErrno = EIO;
        QCOMPARE(Raised([&] { s.Close(); }), QString::fromStdString("Error " + std::to_string(WSocketErrorFromErrno(EIO)) +
                                                                    " in function Disconnect (closesocket)\r\nNot a WinSock error"));
        QCOMPARE(s.HSocket(), INVALID_SOCKET); // the handle is gone all the same
        e.closeErrno = 0;
        s.Close();
        QCOMPARE(s.State(), TSocketState::wsClosed);
        ::close(peer);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
