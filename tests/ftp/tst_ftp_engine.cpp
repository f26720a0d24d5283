// The control connection and request engine against the scripted server.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "support/ftpfixture.h"
#include "support/ftpharness.h"
#include "support/scriptedftpserver.h"

using namespace tarsel;
using namespace tarsel::test;

class TestFtpEngine : public QObject {
    Q_OBJECT

private slots:
    void threeLineGreetingEndsOpenOnce();
    void lineEndings_data();
    void lineEndings();
    void userAnswered230SkipsPass();
    void exactCodes_data();
    void exactCodes();
    void replyDirName_data();
    void replyDirName();
    void replySize_data();
    void replySize();
    void unknownHost();
    void refusedConnect();
    void emptyHostNameRefusedAndReady();
    void refusals();
    void requestFromRequestDone();
    void notConnectedFromRequestDoneReachesBgException();
    void abortWhileIdle();
    void multiLineEndsOnlyOnSameCode();
    void quitInsideSequenceRestoresReply();
    void proxyUser_data();
    void proxyUser();
    void proxyServerWithPort();
    void lineBreakInArgumentRefused_data();
    void lineBreakInArgumentRefused();
    void quitAborStatWhenNotConnected_data();
    void quitAborStatWhenNotConnected();
    void blockingWrapperTimesOut();
};

void TestFtpEngine::threeLineGreetingEndsOpenOnce()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.greeting = "220-Welcome\r\n220-to the test\r\n220 Ready\r\n";
    FtpHarness h;
    int responses = 0;
    h.ftp.OnResponse = [&](TCustomFtpCli *) { ++responses; };
    int connected = 0;
    h.ftp.OnSessionConnected = [&](TCustomFtpCli *, int e) { connected += e == 0; };
    h.target(srv.port());
    QCOMPARE(h.run(&TCustomFtpCli::OpenAsync), 0);
    QCOMPARE(h.lastRq, TFtpRequest::ftpOpenAsync);
    QCOMPARE(responses, 3);
    QCOMPARE(connected, 1);
    QCOMPARE(std::count_if(h.display.begin(), h.display.end(), [](auto &l) { return l.rfind("< 220", 0) == 0; }), 3);
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    QVERIFY(h.ftp.Connected());
}

void TestFtpEngine::lineEndings_data()
{
    QTest::addColumn<bool>("acceptLF");
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<bool>("opens");
    QTest::newRow("LF accepted") << true << QByteArray("220 hello\n") << true;
    QTest::newRow("CRLF with LF option") << true << QByteArray("220 hello\r\n") << true;
    QTest::newRow("CRLF without LF option") << false << QByteArray("220 hello\r\n") << true;
    QTest::newRow("bare LF waits without option") << false << QByteArray("220 hello\n") << false;
}

void TestFtpEngine::lineEndings()
{
    QFETCH(bool, acceptLF);
    QFETCH(QByteArray, greeting);
    QFETCH(bool, opens);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.greeting = greeting;
    FtpHarness h;
    h.ftp.SetOptions(acceptLF ? TFtpOptions{TFtpOption::ftpAcceptLF} : TFtpOptions{});
    h.target(srv.port());
    h.start(&TCustomFtpCli::OpenAsync);
    if (opens) {
        QVERIFY(h.waitDone());
        QCOMPARE(h.lastError, 0);
    } else {
        QVERIFY(!QTest::qWaitFor([&] { return h.ended > 0; }, 300));
        QCOMPARE(h.ftp.State(), TFtpState::ftpWaitingBanner);
        srv.reply("\r\n"); // completes "220 hello\n\r\n" as one CRLF line
        QVERIFY(h.waitDone());
        QCOMPARE(h.lastError, 0);
    }
}

void TestFtpEngine::userAnswered230SkipsPass()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("USER", [&](const QByteArray &) { srv.line("230 Logged in without password"); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(h.lastRq, TFtpRequest::ftpConnectAsync);
    QCOMPARE(srv.commands, QList<QByteArray>{"USER user"});
}

void TestFtpEngine::exactCodes_data()
{
    QTest::addColumn<QByteArray>("verb");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("request");
    QTest::newRow("CDUP 200 fails") << QByteArray("CDUP") << QByteArray("200 ok") << 200 << 0;
    QTest::newRow("CDUP 250 succeeds") << QByteArray("CDUP") << QByteArray("250 \"/a\"") << 0 << 0;
    QTest::newRow("PWD 250 succeeds") << QByteArray("PWD") << QByteArray("250 \"/x\"") << 0 << 1;
    QTest::newRow("CWD 550 fails") << QByteArray("CWD") << QByteArray("550 No such dir") << 550 << 2;
    QTest::newRow("NOOP 200 quote ok") << QByteArray("NOOP") << QByteArray("200 ok") << 0 << 3;
    QTest::newRow("NOOP 500 quote fails") << QByteArray("NOOP") << QByteArray("500 what") << 500 << 3;
    QTest::newRow("SYST 215") << QByteArray("SYST") << QByteArray("215 UNIX") << 0 << 4;
    QTest::newRow("SYST 200 fails") << QByteArray("SYST") << QByteArray("200 UNIX") << 200 << 4;
    QTest::newRow("RNFR 350") << QByteArray("RNFR") << QByteArray("350 go on") << 0 << 5;
    QTest::newRow("RNFR 250 fails") << QByteArray("RNFR") << QByteArray("250 hmm") << 250 << 5;
}

void TestFtpEngine::exactCodes()
{
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, answer);
    QFETCH(int, error);
    QFETCH(int, request);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on(verb, [&](const QByteArray &) { srv.line(answer); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    void (TCustomFtpCli::*const requests[])() = {&TCustomFtpCli::CDupAsync, &TCustomFtpCli::PwdAsync,
                                                 &TCustomFtpCli::CwdAsync, &TCustomFtpCli::QuoteAsync,
                                                 &TCustomFtpCli::SystAsync, &TCustomFtpCli::RenFromAsync};
    h.ftp.SetHostDirName("/nowhere");
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName("NOOP");
    h.start(requests[request]);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastError, error);
    QCOMPARE(h.ftp.StatusCode(), answer.left(3).toInt());
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    if (error != 0)
        QCOMPARE(QByteArray::fromStdString(h.ftp.ErrorMessage()), answer);
    else
        QVERIFY(h.ftp.ErrorMessage().empty());
}

void TestFtpEngine::replyDirName_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("dir");
    QTest::addColumn<QByteArray>("pwdDir"); // what PWD reports; empty: PWD fails
    QTest::newRow("plain") << QByteArray("257 \"/home/u\" is current") << QByteArray("/home/u") << QByteArray("/home/u");
    QTest::newRow("doubled quote") << QByteArray("257 \"/a \"\"b\"\" c\" ok") << QByteArray("/a \"b\" c")
                                   << QByteArray("/a \"b\" c");
    QTest::newRow("no quote") << QByteArray("257 /home/u is current directory") << QByteArray() << QByteArray("/home/u");
    QTest::newRow("nothing after code") << QByteArray("257") << QByteArray() << QByteArray();
    QTest::newRow("tab before quote") << QByteArray("257\t\"/t\"") << QByteArray("/t") << QByteArray("/t");
    QTest::newRow("unterminated") << QByteArray("257 \"/open") << QByteArray("/open") << QByteArray("/open");
    QTest::newRow("8-bit bytes kept") << QByteArray("257 \"/\xe9t\xe9\"") << QByteArray("/\xe9t\xe9")
                                      << QByteArray("/\xe9t\xe9");
}

void TestFtpEngine::replyDirName()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, dir);
    QFETCH(QByteArray, pwdDir);
    QCOMPARE(QByteArray::fromStdString(TCustomFtpCli::ExtractDirName(reply.toStdString())), dir);
    // And through a real PWD and MKD.
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("PWD", [&](const QByteArray &) { srv.line(reply); });
    srv.on("MKD", [&](const QByteArray &) { srv.line(reply); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.ftp.SetReplyDirName("before");
    h.start(&TCustomFtpCli::PwdAsync);
    QVERIFY(h.waitDone());
    // No usable path is a failure, not an empty directory.
    QCOMPARE(h.lastError, pwdDir.isEmpty() ? 500 : 0);
    QCOMPARE(QByteArray::fromStdString(h.ftp.ReplyDirName()), pwdDir);
    // A refused MKD leaves the earlier name alone.
    srv.on("MKD", [&](const QByteArray &) { srv.line("550 Permission denied"); });
    h.ftp.SetHostFileName("new");
    QCOMPARE(h.run(&TCustomFtpCli::MkdAsync), 550);
    QCOMPARE(QByteArray::fromStdString(h.ftp.ReplyDirName()), pwdDir);
}

void TestFtpEngine::replySize_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("error");
    QTest::newRow("small") << QByteArray("213 1234") << qint64(1234) << 0;
    QTest::newRow("5 GiB") << QByteArray("213 5368709120") << qint64(5368709120LL) << 0;
    QTest::newRow("spaces") << QByteArray("213    77") << qint64(77) << 0;
    // Without a readable size the request fails: a size of 0 would be believed.
    QTest::newRow("no size") << QByteArray("213 ") << qint64(0) << 500;
    QTest::newRow("beyond 64 bits") << QByteArray("213 99999999999999999999") << qint64(0) << 500;
    QTest::newRow("negative") << QByteArray("213 -5") << qint64(0) << 500;
    QTest::newRow("words first") << QByteArray("213 file: 213, Size =51") << qint64(0) << 500;
    QTest::newRow("refused") << QByteArray("550 No such file") << qint64(0) << 550;
}

void TestFtpEngine::replySize()
{
    QFETCH(QByteArray, reply);
    QFETCH(qint64, size);
    QFETCH(int, error);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("SIZE", [&](const QByteArray &) { srv.line(reply); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.ftp.SetReplySize(42);
    h.ftp.SetHostFileName("big.iso");
    QCOMPARE(h.run(&TCustomFtpCli::SizeAsync), error);
    QCOMPARE(h.ftp.ReplySize(), size);
    QCOMPARE(srv.commands.last(), QByteArray("SIZE big.iso"));
}

void TestFtpEngine::unknownHost()
{
    FtpHarness h;
    h.ftp.SetHostName("no-such-host.invalid");
    QCOMPARE(h.run(&TCustomFtpCli::OpenAsync, 30000), 11001);
    QCOMPARE(h.ftp.StatusCode(), 500);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("500 Host not found (Winsock error #11001)"));
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
}

void TestFtpEngine::refusedConnect()
{
    FtpHarness h;
    h.target(ClosedPort());
    QCOMPARE(h.run(&TCustomFtpCli::ConnectAsync), 10061);
    QCOMPARE(h.lastRq, TFtpRequest::ftpConnectAsync);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("500 Connection refused (Winsock error #10061)"));
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    QVERIFY(!h.ftp.Connected());
}

void TestFtpEngine::emptyHostNameRefusedAndReady()
{
    FtpHarness h;
    h.ftp.SetHostName("");
    QVERIFY_THROWS_EXCEPTION(FtpException, h.ftp.OpenAsync());
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    // A high-level request refused in its first step leaves nothing behind: a later
    // single command does not continue the old sequence.
    QVERIFY_THROWS_EXCEPTION(FtpException, h.ftp.ConnectAsync());
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    h.target(srv.port());
    h.start(&TCustomFtpCli::OpenAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastRq, TFtpRequest::ftpOpenAsync);
    QCOMPARE(h.lastError, 0);
    QVERIFY(srv.commands.isEmpty());
}

void TestFtpEngine::refusals()
{
    FtpHarness h;
    auto message = [&](auto fn) -> std::string {
        try {
            (h.ftp.*fn)();
        } catch (const FtpException &e) {
            // The refusal of a busy client is recognised by its code.
            return e.what() + std::string(e.Code() == FtpException::TCode::NotReady ? " [NotReady]" : "");
        }
        return "no exception";
    };
    QCOMPARE(message(&TCustomFtpCli::CwdAsync), std::string("HostDirName emtpy"));
    h.ftp.SetHostDirName("/x");
    QCOMPARE(message(&TCustomFtpCli::CwdAsync), std::string("FTP component not connected"));
    QCOMPARE(message(&TCustomFtpCli::UserAsync), std::string("UserName emtpy"));
    QCOMPARE(message(&TCustomFtpCli::PassAsync), std::string("Password emtpy"));
    QCOMPARE(message(&TCustomFtpCli::DirAsync), std::string("FTP component not connected"));

    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(message(&TCustomFtpCli::OpenAsync), std::string("FTP component already connected"));
    QCOMPARE(message(&TCustomFtpCli::ReceiveAsync), std::string("FTP component already connected"));
    QVERIFY_THROWS_EXCEPTION(FtpException, h.ftp.SetConnectionType(TFtpConnectionType::ftpProxy));
    h.start(&TCustomFtpCli::PwdAsync);
    QCOMPARE(message(&TCustomFtpCli::PwdAsync), std::string("FTP component not ready [NotReady]"));
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastError, 0);
}

void TestFtpEngine::requestFromRequestDone()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    h.target(srv.port());
    TFtpState stateInHandler = TFtpState::ftpAbort;
    h.onDone = [&] {
        stateInHandler = h.ftp.State();
        h.ftp.UserAsync();
        ++h.started;
        h.onDone = [&] {
            h.ftp.PassAsync();
            ++h.started;
        };
    };
    h.start(&TCustomFtpCli::OpenAsync);
    QVERIFY(QTest::qWaitFor([&] { return h.started == 3 && h.ended == 3; }, 5000));
    h.settle();
    QCOMPARE(h.ended, 3);
    QCOMPARE(stateInHandler, TFtpState::ftpReady);
    QCOMPARE(h.lastRq, TFtpRequest::ftpPassAsync);
    QCOMPARE(srv.commands, (QList<QByteArray>{"USER user", "PASS secret"}));
}

void TestFtpEngine::notConnectedFromRequestDoneReachesBgException()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.ftp.SetHostDirName("/x");
    h.onDone = [&] { h.ftp.CwdAsync(); };
    h.start(&TCustomFtpCli::QuitAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastRq, TFtpRequest::ftpQuitAsync);
    QCOMPARE(h.lastError, 0);
    QCOMPARE(h.bgErrors, std::vector<std::string>{"FTP component not connected"});
    QVERIFY(!h.ftp.Connected());
}

void TestFtpEngine::abortWhileIdle()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    int closed = 0;
    h.ftp.OnSessionClosed = [&](TCustomFtpCli *, int) { ++closed; };
    h.ftp.AbortAsync();
    h.settle();
    QCOMPARE(closed, 1);
    QCOMPARE(h.ended, h.started);
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    QVERIFY(!h.ftp.Connected());
    QVERIFY(h.ftp.Abort()); // the blocking form returns at once
}

void TestFtpEngine::multiLineEndsOnlyOnSameCode()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("PASS", [&](const QByteArray &) {
        srv.reply("230-Welcome\r\n 230 users online\r\n150 not the end\r\n230-still going\r\n230 Done\r\n");
    });
    srv.on("SYST", [&](const QByteArray &) { srv.line("215 UNIX"); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(h.ftp.LastResponse(), std::string("230 Done"));
    QVERIFY(h.shown("<  230 users online"));
    QVERIFY(h.shown("< 150 not the end"));
    // The next command gets its own answer, not a leftover line.
    QCOMPARE(h.run(&TCustomFtpCli::SystAsync), 0);
    QCOMPARE(h.ftp.LastResponse(), std::string("215 UNIX"));
}

void TestFtpEngine::quitInsideSequenceRestoresReply()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("SYST", [&](const QByteArray &) { srv.line("215 UNIX Type: L8"); });
    FtpHarness h;
    h.target(srv.port());
    h.start(&TCustomFtpCli::SystemAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastRq, TFtpRequest::ftpSystemAsync);
    QCOMPARE(h.lastError, 0);
    QCOMPARE(h.ftp.LastResponse(), std::string("215 UNIX Type: L8"));
    QCOMPARE(h.ftp.StatusCode(), 215);
    QCOMPARE(srv.commands, (QList<QByteArray>{"USER user", "PASS secret", "SYST", "QUIT"}));
    QVERIFY(!h.ftp.Connected());
}

void TestFtpEngine::proxyUser_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QByteArray>("user");
    QTest::newRow("21") << "21" << QByteArray("USER anna@ftp.example.org");
    QTest::newRow("ftp") << "ftp" << QByteArray("USER anna@ftp.example.org");
    QTest::newRow("FTP any case") << "FTP" << QByteArray("USER anna@ftp.example.org");
    QTest::newRow("2121") << "2121" << QByteArray("USER anna@ftp.example.org:2121");
}

void TestFtpEngine::proxyUser()
{
    QFETCH(QString, port);
    QFETCH(QByteArray, user);
    ScriptedFtpServer proxy;
    QVERIFY(proxy.start());
    FtpHarness h;
    h.ftp.SetConnectionType(TFtpConnectionType::ftpProxy);
    h.ftp.SetPassive(false);
    QVERIFY(h.ftp.Passive());
    h.ftp.SetProxyServer("127.0.0.1:" + std::to_string(proxy.port()));
    h.ftp.SetHostName("ftp.example.org");
    h.ftp.SetPort(port.toStdString());
    h.ftp.SetUserName("anna");
    h.ftp.SetPassWord("pw");
    QCOMPARE(h.run(&TCustomFtpCli::ConnectAsync), 0);
    QCOMPARE(proxy.commands.value(0), user);
}

void TestFtpEngine::proxyServerWithPort()
{
    // Without a port the proxy is reached on the FTP port; with one, on that port.
    FtpHarness h;
    h.ftp.SetConnectionType(TFtpConnectionType::ftpProxy);
    h.ftp.SetProxyServer("127.0.0.1");
    h.ftp.SetHostName("ftp.example.org");
    h.start(&TCustomFtpCli::OpenAsync); // a dotted address connects at once
    QCOMPARE(h.ftp.ControlSocket()->Port(), std::string("ftp"));
    h.ftp.AbortAsync();
    QVERIFY(h.waitDone());
}

void TestFtpEngine::lineBreakInArgumentRefused_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("CWD with CRLF") << 0 << QByteArray("/x\r\nDELE y");
    QTest::newRow("CWD with LF") << 0 << QByteArray("/x\nDELE y");
    QTest::newRow("USER with CR") << 1 << QByteArray("bob\rPASS");
    QTest::newRow("DELE with NUL") << 2 << QByteArray("a\0b", 3);
    QTest::newRow("quote with LF") << 3 << QByteArray("NOOP\nDELE z");
    QTest::newRow("RETR with LF") << 4 << QByteArray("f\nDELE z");
    QTest::newRow("STOR with CR") << 5 << QByteArray("f\rDELE z");
}

void TestFtpEngine::lineBreakInArgumentRefused()
{
    QFETCH(int, request);
    QFETCH(QByteArray, value);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    srv.commands.clear();
    std::string v = value.toStdString();
    QTemporaryDir dir;
    std::string local = (dir.path() + "/up.bin").toStdString();
    QFile f(QString::fromStdString(local));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    void (TCustomFtpCli::*fn)() = nullptr;
    switch (request) {
    case 0: h.ftp.SetHostDirName(v); fn = &TCustomFtpCli::CwdAsync; break;
    case 1: h.ftp.SetUserName(v); fn = &TCustomFtpCli::UserAsync; break;
    case 2: h.ftp.SetHostFileName(v); fn = &TCustomFtpCli::DeleAsync; break;
    case 3: h.ftp.SetLocalFileName(v); fn = &TCustomFtpCli::QuoteAsync; break;
    case 4: h.ftp.SetHostFileName(v); h.ftp.SetLocalFileName(local); fn = &TCustomFtpCli::GetAsync; break;
    case 5: h.ftp.SetHostFileName(v); h.ftp.SetLocalFileName(local); fn = &TCustomFtpCli::PutAsync; break;
    }
    bool refusedAtOnce = false;
    try {
        h.start(fn);
    } catch (const FtpException &e) {
        refusedAtOnce = true;
        QVERIFY(std::string(e.what()).find("carriage return") != std::string::npos);
    }
    if (!refusedAtOnce) {
        // The transfer step comes after PASV/PORT: the request ends with the refusal.
        QVERIFY(h.waitDone());
        QVERIFY(h.lastError != 0);
        QVERIFY(h.ftp.ErrorMessage().find("carriage return") != std::string::npos);
    }
    h.settle();
    for (const QByteArray &c : srv.commands)
        QVERIFY2(!c.contains("DELE") && !c.contains("PASS"), c.constData());
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    QCOMPARE(h.ended, h.started);
}

void TestFtpEngine::quitAborStatWhenNotConnected_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("QUIT") << 0;
    QTest::newRow("ABOR") << 1;
    QTest::newRow("quoted STAT") << 2;
}

void TestFtpEngine::quitAborStatWhenNotConnected()
{
    QFETCH(int, which);
    FtpHarness h;
    h.ftp.SetLocalFileName("STAT");
    void (TCustomFtpCli::*const fns[])() = {&TCustomFtpCli::QuitAsync, &TCustomFtpCli::AbortXferAsync,
                                            &TCustomFtpCli::QuoteAsync};
    h.start(fns[which]);
    QVERIFY(h.waitDone(2000));
    QCOMPARE(h.lastError, 500);
    QVERIFY(h.ftp.ErrorMessage().find("Not connected") != std::string::npos);
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
}

void TestFtpEngine::blockingWrapperTimesOut()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("SYST", [](const QByteArray &) {}); // never answers
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.ftp.SetTimeout(1);
    QVERIFY(h.ftp.Pwd());
    QCOMPARE(h.ftp.ReplyDirName(), std::string("/"));
    QVERIFY(!h.ftp.Syst());
    QCOMPARE(h.ftp.ErrorMessage(), std::string("426 Timeout"));
    QCOMPARE(h.ftp.StatusCode(), 426);
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
}

QTEST_GUILESS_MAIN(TestFtpEngine)
#include "tst_ftp_engine.moc"
