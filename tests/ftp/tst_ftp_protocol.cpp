// Odd and hostile replies that once ended as a success, lost data or memory: each ends
// with the right result now.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "support/ftpfixture.h"
#include "support/ftpharness.h"
#include "support/scriptedftpserver.h"

using namespace tarsel;
using namespace tarsel::test;

class TestFtpProtocol : public QObject {
    Q_OBJECT

private slots:
    void pasvWithoutParentheses_data();
    void pasvWithoutParentheses();
    void failedDownloadKeepsLocalFile_data();
    void failedDownloadKeepsLocalFile();
    void garbageFloodIsBounded();
    void greeting120WaitsFor220();
    void pass202IsLoggedIn();
    void badReplyCode_data();
    void badReplyCode();
    void shortDownload_data();
    void shortDownload();
    void highLevelUploads_data();
    void highLevelUploads();
    void commandLineBounded();
};

void TestFtpProtocol::pasvWithoutParentheses_data()
{
    QTest::addColumn<QByteArray>("form"); // %1: the six numbers
    QTest::newRow("no parentheses") << QByteArray("227 Entering Passive Mode %1");
    QTest::newRow("equals sign") << QByteArray("227 =%1");
    QTest::newRow("open parenthesis only") << QByteArray("227 Entering Passive Mode (%1");
    QTest::newRow("trailing text") << QByteArray("227 Passive (%1). Thanks");
}

void TestFtpProtocol::pasvWithoutParentheses()
{
    QFETCH(QByteArray, form);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["f"] = "payload";
    srv.on("PASV", [&](const QByteArray &) {
        const quint16 p = srv.pasvPort();
        QByteArray nums = "127,0,0,1," + QByteArray::number(p / 256) + "," + QByteArray::number(p % 256);
        srv.line(QByteArray(form).replace("%1", nums));
    });
    QTemporaryDir dir;
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName((dir.path() + "/f").toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 0);
    QCOMPARE(ReadAll(dir.path() + "/f"), QByteArray("payload"));
}

void TestFtpProtocol::failedDownloadKeepsLocalFile_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QByteArray>("verdict");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("after");
    for (bool passive : {true, false}) {
        ModeRow(passive, "426") << passive << QByteArray("426 Connection closed; transfer aborted") << 426
                                 << QByteArray("old content");
        ModeRow(passive, "451") << passive << QByteArray("451 Local error") << 451 << QByteArray("old content");
        // A confirmed empty file is an empty file.
        ModeRow(passive, "226") << passive << QByteArray("226 Done") << 0 << QByteArray();
    }
}

void TestFtpProtocol::failedDownloadKeepsLocalFile()
{
    QFETCH(bool, passive);
    QFETCH(QByteArray, verdict);
    QFETCH(int, error);
    QFETCH(QByteArray, after);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("RETR", [&](const QByteArray &) {
        srv.line("150 Opening");
        srv.openData([&](QTcpSocket *s) {
            QObject::connect(s, &QTcpSocket::disconnected, &srv, [&] { srv.line(verdict); });
            s->disconnectFromHost(); // not a byte
        });
    });
    QTemporaryDir dir;
    const QString local = dir.path() + "/f";
    QVERIFY(WriteFile(local, "old content"));
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), error);
    QCOMPARE(ReadAll(local), after);
}

void TestFtpProtocol::garbageFloodIsBounded()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("SYST", [&](const QByteArray &) {
        QByteArray flood;
        for (int i = 0; i < 12000; ++i)
            flood += "no code on this line\r\n";
        srv.reply(flood);
    });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(h.run(&TCustomFtpCli::SystAsync, 20000), 500);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("500 Reply too long"));
    QVERIFY(!h.ftp.Connected());
}

void TestFtpProtocol::greeting120WaitsFor220()
{
    ScriptedFtpServer srv;
    srv.greeting = "120 Service ready in 1 minute\r\n220 Ready now\r\n";
    QVERIFY(srv.start());
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QVERIFY(h.shown("< 220 Ready now"));
}

void TestFtpProtocol::pass202IsLoggedIn()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("PASS", [&](const QByteArray &) { srv.line("202 Already logged in"); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(h.ftp.StatusCode(), 202);
}

void TestFtpProtocol::badReplyCode_data()
{
    QTest::addColumn<QByteArray>("reply");
    for (const char *r : {"20 ok", "099 ok", "600 beyond", "2150 four digits", "000"})
        QTest::newRow(r) << QByteArray(r);
}

void TestFtpProtocol::badReplyCode()
{
    QFETCH(QByteArray, reply);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("SYST", [&](const QByteArray &) { srv.line(reply); });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    QCOMPARE(h.run(&TCustomFtpCli::SystAsync), 500);
    QVERIFY2(h.ftp.ErrorMessage().find(reply.toStdString()) != std::string::npos, h.ftp.ErrorMessage().c_str());
    // The connection goes on with the next request.
    srv.on("SYST", [&](const QByteArray &) { srv.line("215 UNIX"); });
    QCOMPARE(h.run(&TCustomFtpCli::SystAsync), 0);
}

void TestFtpProtocol::shortDownload_data()
{
    QTest::addColumn<int>("announced");
    QTest::addColumn<int>("sent");
    QTest::addColumn<qint64>("resumeAt");
    QTest::addColumn<int>("error");
    QTest::newRow("all of it") << 1000 << 1000 << qint64(0) << 0;
    QTest::newRow("partial file") << 1000 << 500 << qint64(0) << 426;
    QTest::newRow("resumed, rest of it") << 1000 << 400 << qint64(600) << 0;
    QTest::newRow("resumed, local larger") << 1000 << 0 << qint64(2000) << 426;
}

void TestFtpProtocol::shortDownload()
{
    QFETCH(int, announced);
    QFETCH(int, sent);
    QFETCH(qint64, resumeAt);
    QFETCH(int, error);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("RETR", [&](const QByteArray &) {
        srv.line("150 Opening BINARY mode data connection for f (" + QByteArray::number(announced) + " bytes)");
        srv.openData([&](QTcpSocket *s) {
            QObject::connect(s, &QTcpSocket::disconnected, &srv, [&] { srv.line("226 Done"); });
            s->write(QByteArray(sent, 'd'));
            s->disconnectFromHost();
        });
    });
    srv.on("REST", [&](const QByteArray &) { srv.line("350 Restarting"); });
    QTemporaryDir dir;
    const QString local = dir.path() + "/f";
    QVERIFY(WriteFile(local, QByteArray(int(resumeAt), 'o')));
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName(local.toStdString());
    h.ftp.SetResumeAt(resumeAt);
    h.start(resumeAt > 0 ? &TCustomFtpCli::RestGetAsync : &TCustomFtpCli::GetAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastError, error);
    if (error != 0)
        QCOMPARE(h.ftp.LastResponse(), std::string("226 Done"));
}

void TestFtpProtocol::highLevelUploads_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("request");
    for (const char *mode : {"passive", "active", "proxy"})
        for (const char *request : {"Transmit", "AppendFile", "Put", "Append"})
            QTest::newRow(QByteArray(mode).append(' ').append(request).constData()) << QByteArray(mode)
                                                                                  << QByteArray(request);
}

// The upload requests, those that log in, upload and quit in one go and those on an
// open session, directly and through an FTP proxy (which is always passive).
void TestFtpProtocol::highLevelUploads()
{
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, request);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["up"] = "head-";
    QTemporaryDir dir;
    const QString local = dir.path() + "/up";
    QVERIFY(WriteFile(local, "body"));
    FtpHarness h;
    h.target(srv.port());
    if (mode == "proxy") {
        h.ftp.SetConnectionType(TFtpConnectionType::ftpProxy);
        h.ftp.SetProxyServer("127.0.0.1:" + std::to_string(srv.port()));
        h.ftp.SetHostName("ftp.example.org");
        h.ftp.SetPort("ftp");
    }
    h.ftp.SetPassive(mode == "passive");
    const bool oneGo = request == "Transmit" || request == "AppendFile";
    if (!oneGo) {
        QCOMPARE(h.run(&TCustomFtpCli::ConnectAsync), 0);
    }
    h.ftp.SetHostFileName("up");
    h.ftp.SetLocalFileName(local.toStdString());
    const bool append = request.startsWith("Append");
    h.start(request == "Transmit"     ? &TCustomFtpCli::TransmitAsync
            : request == "AppendFile" ? &TCustomFtpCli::AppendFileAsync
            : request == "Put"        ? &TCustomFtpCli::PutAsync
                                      : &TCustomFtpCli::AppendAsync);
    QVERIFY(h.waitDone());
    QVERIFY2(h.lastError == 0, h.ftp.ErrorMessage().c_str());
    QCOMPARE(srv.files["up"], QByteArray(append ? "head-body" : "body"));
    QCOMPARE(srv.commands.contains("QUIT"), oneGo);
    QCOMPARE(srv.commands.contains("PASV"), mode != "active");
    if (mode == "proxy")
        QCOMPARE(srv.commands.value(0), QByteArray("USER user@ftp.example.org"));
}

void TestFtpProtocol::commandLineBounded()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    const int before = int(srv.commands.size());
    h.ftp.SetHostFileName(std::string(4100, 'n'));
    bool refused = false;
    try {
        h.ftp.SizeAsync();
    } catch (const FtpException &e) {
        refused = std::string(e.what()).find("longer than 4096 bytes") != std::string::npos;
    }
    QVERIFY(refused);
    h.ftp.SetHostFileName(std::string(4091, 'n')); // "SIZE " + 4091 = 4096: still fine
    h.start(&TCustomFtpCli::SizeAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(int(srv.commands.size()), before + 1);
}

QTEST_GUILESS_MAIN(TestFtpProtocol)
#include "tst_ftp_protocol.moc"
