// Misbehaving servers: every fault ends the request exactly once, with a clear error.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>

#include "support/ftpfixture.h"
#include "support/ftpharness.h"
#include "support/scriptedftpserver.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {

// A caller's stream that fails after its first bytes.
class FailingReader : public QIODevice {
public:
    FailingReader() { open(QIODevice::ReadOnly); }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        if (m_given > 0)
            return -1;
        qint64 n = std::min<qint64>(max, 100);
        memset(data, 'x', static_cast<size_t>(n));
        m_given += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 m_given = 0;
};

// The system's socket calls, except that asking a socket's own address fails on demand.
class SockNameFails : public TSocketEngine {
public:
    bool failing = false;
    TSocketEngine &real = PosixSocketEngine();

    int Socket(int d, int t, int p) override { return real.Socket(d, t, p); }
    int Close(int fd) override { return real.Close(fd); }
    int Shutdown(int fd, int how) override { return real.Shutdown(fd, how); }
    int Bind(int fd, const sockaddr *a, socklen_t l) override { return real.Bind(fd, a, l); }
    int Listen(int fd, int b) override { return real.Listen(fd, b); }
    int Accept(int fd, sockaddr *a, socklen_t *l, int f) override { return real.Accept(fd, a, l, f); }
    int Connect(int fd, const sockaddr *a, socklen_t l) override { return real.Connect(fd, a, l); }
    ssize_t Send(int fd, const void *d, size_t l, int f) override { return real.Send(fd, d, l, f); }
    ssize_t SendV(int fd, const iovec *v, int n, int f) override { return real.SendV(fd, v, n, f); }
    ssize_t SendTo(int fd, const void *d, size_t l, int f, const sockaddr *t, socklen_t tl) override
    {
        return real.SendTo(fd, d, l, f, t, tl);
    }
    ssize_t Recv(int fd, void *b, size_t l, int f) override { return real.Recv(fd, b, l, f); }
    ssize_t RecvFrom(int fd, void *b, size_t l, int f, sockaddr *a, socklen_t *al) override
    {
        return real.RecvFrom(fd, b, l, f, a, al);
    }
    int Readable(int fd, int *c) override { return real.Readable(fd, c); }
    int SetOpt(int fd, int lv, int n, const void *v, socklen_t l) override { return real.SetOpt(fd, lv, n, v, l); }
    int GetOpt(int fd, int lv, int n, void *v, socklen_t *l) override { return real.GetOpt(fd, lv, n, v, l); }
    int SockName(int fd, sockaddr *a, socklen_t *l) override
    {
        if (!failing)
            return real.SockName(fd, a, l);
        errno = ENOTSOCK;
        return -1;
    }
    int PeerName(int fd, sockaddr *a, socklen_t *l) override { return real.PeerName(fd, a, l); }
};

} // namespace

class TestFtpFaults : public QObject {
    Q_OBJECT

private slots:
    void dropAtEachStep_data();
    void dropAtEachStep();
    void stallAtEachStepEndsOnAbort_data();
    void stallAtEachStepEndsOnAbort();
    void garbageBeforeReply();
    void overlongLine();
    void endlessContinuation_data();
    void endlessContinuation();
    void hostilePasv_data();
    void hostilePasv();
    void pasvNamingAnotherHost();
    void thirdPartyOnActivePort();
    void lineBreakInServerPathRefused();
    void failedPassiveDataWaitsForOwedReply();
    void owedReplyNeverComesClosesConnection();
    void localWriteFailure();
    void dataResetWithServerSuccess();
    void uploadReadFailure();
    void unreadableLocalAddressSendsNoPort();
};

void TestFtpFaults::dropAtEachStep_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QByteArray>("dropOn");
    QTest::addColumn<bool>("reset");
    for (bool passive : {true, false})
        for (const char *verb : {"GREETING", "USER", "PASS", "PASV/PORT", "RETR after 150", "RETR during data"})
            for (bool reset : {false, true}) {
                if (!passive && QByteArray(verb).startsWith("GREETING"))
                    continue;
                ModeRow(passive, QByteArray(verb) + (reset ? " reset" : " close")) << passive << QByteArray(verb) << reset;
            }
}

void TestFtpFaults::dropAtEachStep()
{
    QFETCH(bool, passive);
    QFETCH(QByteArray, dropOn);
    QFETCH(bool, reset);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    auto drop = [&] { reset ? srv.resetControl() : srv.dropControl(); };
    srv.files["f"] = QByteArray(200000, 'f');
    if (dropOn == "GREETING") {
        srv.greeting.clear();
        connect(&srv, &QObject::destroyed, [] {});
        When(&srv, [&] { return srv.controlConnected(); }, drop);
    } else if (dropOn == "USER" || dropOn == "PASS") {
        srv.on(dropOn, [&](const QByteArray &) { drop(); });
    } else if (dropOn == "PASV/PORT") {
        srv.on("PASV", [&](const QByteArray &) { drop(); });
        srv.on("PORT", [&](const QByteArray &) { drop(); });
    } else if (dropOn == "RETR after 150") {
        srv.on("RETR", [&](const QByteArray &) {
            srv.line("150 Opening");
            When(&srv, [&] { return h.shown("< 150 Opening"); }, drop);
        });
    } else {
        srv.on("RETR", [&](const QByteArray &) {
            srv.line("150 Opening");
            srv.openData([&](QTcpSocket *s) {
                s->write(QByteArray(100000, 'd'));
                drop();
            });
        });
    }
    QTemporaryDir dir;
    h.ftp.SetPassive(passive);
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName((dir.path() + "/f").toStdString());
    h.target(srv.port());
    h.start(&TCustomFtpCli::ReceiveAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastRq, TFtpRequest::ftpReceiveAsync);
    QVERIFY2(h.lastError != 0, h.ftp.ErrorMessage().c_str());
    QVERIFY(!h.ftp.ErrorMessage().empty());
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    QVERIFY(!h.ftp.Connected());
}

void TestFtpFaults::stallAtEachStepEndsOnAbort_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QByteArray>("stallOn");
    for (bool passive : {true, false})
        for (const char *verb : {"GREETING", "USER", "PASS", "TYPE", "PASV/PORT", "RETR", "RETR data"})
            ModeRow(passive, verb) << passive << QByteArray(verb);
}

void TestFtpFaults::stallAtEachStepEndsOnAbort()
{
    QFETCH(bool, passive);
    QFETCH(QByteArray, stallOn);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    bool stalled = false;
    auto stall = [&](const QByteArray &) { stalled = true; };
    if (stallOn == "GREETING") {
        srv.greeting.clear();
        stalled = true;
    } else if (stallOn == "PASV/PORT") {
        srv.on("PASV", stall);
        srv.on("PORT", stall);
    } else if (stallOn == "RETR data") {
        srv.on("RETR", [&](const QByteArray &) {
            srv.line("150 Opening");
            srv.openData([&](QTcpSocket *s) {
                s->write("some");
                stalled = true;
            });
        });
    } else {
        srv.on(stallOn, stall);
    }
    QTemporaryDir dir;
    FtpHarness h;
    h.ftp.SetPassive(passive);
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName((dir.path() + "/f").toStdString());
    h.target(srv.port());
    h.start(&TCustomFtpCli::ReceiveAsync);
    QVERIFY(QTest::qWaitFor([&] { return stalled; }, 5000));
    QVERIFY(!QTest::qWaitFor([&] { return h.ended > 0; }, 100));
    h.ftp.AbortAsync(); // what the owner's time-out does
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastError, 426);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("426 Operation aborted."));
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
}

void TestFtpFaults::garbageBeforeReply()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("SYST", [&](const QByteArray &) {
        srv.reply(QByteArray("\x01\xff garbage\r\n-- more --\n\r\n", 25) + "215 UNIX\r\n");
    });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(h.run(&TCustomFtpCli::SystAsync), 0);
    QCOMPARE(h.ftp.LastResponse(), std::string("215 UNIX"));
}

void TestFtpFaults::overlongLine()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("PWD", [&](const QByteArray &) { srv.reply("257 \"" + QByteArray(6000, 'a')); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(h.run(&TCustomFtpCli::PwdAsync), 500);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("500 Reply line too long"));
    QVERIFY(!h.ftp.Connected());
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
}

void TestFtpFaults::endlessContinuation_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("width");
    QTest::newRow("10,001 short lines") << 10001 << 10;
    QTest::newRow("over 1 MiB in long lines") << 300 << 4000;
}

void TestFtpFaults::endlessContinuation()
{
    QFETCH(int, lines);
    QFETCH(int, width);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("SYST", [&](const QByteArray &) {
        QByteArray all = "215-start\r\n";
        QByteArray l = "215-" + QByteArray(width, 'c') + "\r\n";
        for (int i = 0; i < lines; ++i)
            all += l;
        srv.reply(all);
    });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(h.run(&TCustomFtpCli::SystAsync, 20000), 500);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("500 Reply too long"));
    QVERIFY(!h.ftp.Connected());
}

void TestFtpFaults::hostilePasv_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("upload");
    const char *replies[] = {"227 Entering Passive Mode (127,0,0,1,4)",
                             "227 Entering Passive Mode (127,0,x,1,4,5)",
                             "227 Entering Passive Mode (1270,0,0,1,4,5)",
                             "227 Entering Passive Mode (127,0,0,256,4,5)",
                             "227 Entering Passive Mode (127,0,0,1,4,999)",
                             "227 Entering Passive Mode (ftp.example.org,4,5)",
                             "227 Entering Passive Mode (-1,0,0,1,4,5)",
                             "227 Entering Passive Mode ()",
                             "227 Entering Passive Mode (127,0,0,1,0,0)",
                             "227"};
    for (bool upload : {false, true})
        for (const char *r : replies)
            QTest::newRow((QByteArray(upload ? "STOR " : "RETR ") + r).constData()) << QByteArray(r) << upload;
}

void TestFtpFaults::hostilePasv()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, upload);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.pasvReply = reply;
    srv.files["f"] = "x";
    QTemporaryDir dir;
    QString local = dir.path() + "/f";
    QFile lf(local);
    QVERIFY(lf.open(QIODevice::WriteOnly));
    lf.write("local");
    lf.close();
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName(local.toStdString());
    h.start(upload ? &TCustomFtpCli::PutAsync : &TCustomFtpCli::GetAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastError, upload ? 426 : 550);
    QVERIFY2(h.ftp.ErrorMessage().find("Unreadable passive mode reply") != std::string::npos,
             h.ftp.ErrorMessage().c_str());
    QCOMPARE(srv.dataConnections, 0);
    QCOMPARE(srv.commands.last(), QByteArray("PASV"));
    QCOMPARE(h.ftp.DataSocket()->State(), TSocketState::wsClosed);
    // The connection is still usable.
    QCOMPARE(h.run(&TCustomFtpCli::PwdAsync), 0);
}

void TestFtpFaults::pasvNamingAnotherHost()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["f"] = "payload";
    srv.on("PASV", [&](const QByteArray &) {
        quint16 p = srv.pasvPort();
        srv.line("227 Entering Passive Mode (10,9,8,7," + QByteArray::number(p / 256) + "," +
                 QByteArray::number(p % 256) + ")");
    });
    QTemporaryDir dir;
    QString local = dir.path() + "/f";
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 0);
    QVERIFY(h.shown("! Passive reply names 10.9.8.7; connecting to the server at 127.0.0.1 instead"));
    QCOMPARE(h.ftp.DataSocket()->Addr(), std::string("127.0.0.1"));
    QFile f(local);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("payload"));
}

void TestFtpFaults::thirdPartyOnActivePort()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["f"] = "the real data";
    QTcpSocket intruder;
    bool intruderClosed = false;
    QObject::connect(&intruder, &QTcpSocket::disconnected, [&] { intruderClosed = true; });
    srv.on("RETR", [&](const QByteArray &arg) {
        // Somebody else reaches the data port first.
        intruder.bind(QHostAddress("127.0.0.2"));
        intruder.connectToHost(srv.activeHost, srv.activePort);
        QObject::connect(&intruder, &QTcpSocket::connected, &srv, [&, arg] {
            intruder.write("forged data");
            srv.defaultRetr(arg);
        });
    });
    QTemporaryDir dir;
    QString local = dir.path() + "/f";
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 0);
    QVERIFY(h.shown("! Data connection from 127.0.0.2 refused: it is not the server"));
    QTRY_VERIFY(intruderClosed);
    QFile f(local);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("the real data"));
}

void TestFtpFaults::lineBreakInServerPathRefused()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("PWD", [&](const QByteArray &) { srv.line("257 \"/a\rDELE secret\" is current"); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.start(&TCustomFtpCli::PwdAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.ftp.ReplyDirName(), std::string("/a\rDELE secret"));
    h.ftp.SetHostDirName(h.ftp.ReplyDirName());
    QVERIFY_THROWS_EXCEPTION(FtpException, h.ftp.CwdAsync());
    h.settle();
    QCOMPARE(srv.commands.last(), QByteArray("PWD"));
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
}

void TestFtpFaults::failedPassiveDataWaitsForOwedReply()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    quint16 closed = ClosedPort();
    srv.pasvReply = "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(closed / 256) + "," +
                    QByteArray::number(closed % 256) + ")";
    FtpHarness h;
    // The 425 comes only after the client saw its data connection fail.
    srv.on("RETR", [&](const QByteArray &) {
        When(&srv, [&] { return h.ftp.LastResponse().rfind("Unable to establish data connection", 0) == 0; },
             [&] { srv.line("425 Can't open data connection"); });
    });
    srv.on("PWD", [&](const QByteArray &) { srv.line("257 \"/the/right/answer\""); });
    QTemporaryDir dir;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName((dir.path() + "/f").toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 550);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("Unable to establish data connection, error #10061"));
    QVERIFY(h.shown("< 425 Can't open data connection"));
    QCOMPARE(h.run(&TCustomFtpCli::PwdAsync), 0);
    QCOMPARE(h.ftp.ReplyDirName(), std::string("/the/right/answer"));
}

void TestFtpFaults::owedReplyNeverComesClosesConnection()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    quint16 closed = ClosedPort();
    srv.pasvReply = "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(closed / 256) + "," +
                    QByteArray::number(closed % 256) + ")";
    srv.on("LIST", [](const QByteArray &) {});
    QTemporaryDir dir;
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetLocalFileName((dir.path() + "/l").toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::DirAsync, FtpOwedReplyTimeoutMs + 5000), 550);
    QVERIFY(!h.ftp.Connected());
}

void TestFtpFaults::localWriteFailure()
{
    if (!QFile::exists("/dev/full"))
        QSKIP("no /dev/full");
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["f"] = QByteArray(50000, 'z');
    FtpHarness h;
    h.ftp.SetShareMode(TFtpShareMode::ftpShareDenyNone);
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName("/dev/full");
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 426);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("426 Error writing local file"));
}

void TestFtpFaults::dataResetWithServerSuccess()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    // The reset follows the client's reading of the bytes, the 226 the client's seeing
    // of the reset.
    srv.on("RETR", [&](const QByteArray &) {
        srv.line("150 Opening");
        srv.openData([&](QTcpSocket *s) {
            s->write(QByteArray(1000, 'r'));
            s->flush();
            When(s, [&] { return h.ftp.ByteCount() == 1000; }, [&, s] {
                // A linger time of zero turns the close into a reset.
                linger l{1, 0};
                ::setsockopt(static_cast<int>(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof(l));
                s->abort();
                When(&srv, [&] { return h.ftp.DataSocket()->State() == TSocketState::wsClosed; },
                     [&] { srv.line("226 All fine, honestly"); });
            });
        });
    });
    QTemporaryDir dir;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName((dir.path() + "/f").toStdString());
    h.start(&TCustomFtpCli::GetAsync);
    QVERIFY(h.waitDone());
    QVERIFY2(h.lastError != 0, "a reset data connection was reported as success");
    QVERIFY(!h.ftp.ErrorMessage().empty());
    // The server's own last reply stays readable; only the error says what failed.
    QCOMPARE(h.ftp.LastResponse(), std::string("226 All fine, honestly"));
}

void TestFtpFaults::uploadReadFailure()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FailingReader reader;
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("up");
    h.ftp.SetLocalStream(&reader);
    QCOMPARE(h.run(&TCustomFtpCli::PutAsync), 426);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("426 Error reading file"));
    QVERIFY(h.shown("! Error reading file"));
}

// Without the control connection's own address a PORT line would name 0.0.0.0.
void TestFtpFaults::unreadableLocalAddressSendsNoPort()
{
    ScriptedFtpServer srv;
    SockNameFails engine;
    FtpHarness h;
    h.ftp.ControlSocket()->SetEngine(&engine);
    QVERIFY(ConnectScripted(h, srv, false));
    engine.failing = true;
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName("/nonexistent/never-opened");
    QVERIFY_THROWS_EXCEPTION(FtpException, h.ftp.GetAsync());
    for (const QByteArray &c : srv.commands)
        QVERIFY(!c.startsWith("PORT"));
    QCOMPARE(h.ftp.DataSocket()->State(), TSocketState::wsClosed);
    // The session stays usable.
    engine.failing = false;
    QCOMPARE(h.run(&TCustomFtpCli::PwdAsync), 0);
}

QTEST_GUILESS_MAIN(TestFtpFaults)
#include "tst_ftp_faults.moc"
