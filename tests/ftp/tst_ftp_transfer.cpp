// Data connections and transfers against the scripted server, in passive and active mode.
#include <algorithm>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/file.h>
#include <unistd.h>

#include "support/ftpfixture.h"
#include "support/ftpharness.h"
#include "support/scriptedftpserver.h"

using namespace tarsel;
using namespace tarsel::test;

class TestFtpTransfer : public QObject {
    Q_OBJECT

private slots:
    void downloadOrders_data();
    void downloadOrders();
    void uploadBlocks_data();
    void uploadBlocks();
    void listingIntoFileAndDisplay_data();
    void listingIntoFileAndDisplay();
    void displayLineByLineSplitsRuns();
    void restGet_data();
    void restGet();
    void restGetWithoutLocalFileSendsNoRest();
    void refusedDownloadKeepsLocalFile_data();
    void refusedDownloadKeepsLocalFile();
    void shorterDownloadLeavesNoOldTail();
    void putMissingLocalFile_data();
    void putMissingLocalFile();
    void readyToTransmitCancel();
    void progressAbort_data();
    void progressAbort();
    void statsArithmetic_data();
    void statsArithmetic();
    void portText();
    void resumedUpload_data();
    void resumedUpload();
    void restGetBeyond4GiB();
    void abortDuringListing_data();
    void abortDuringListing();
    void streamsAndAppend_data();
    void streamsAndAppend();
    void shareModeLocks();
};

void TestFtpTransfer::downloadOrders_data()
{
    AddModes();
    QTest::addColumn<bool>("replyFirst");
    QTest::addColumn<int>("size");
    for (bool passive : {true, false})
        for (bool replyFirst : {true, false})
            for (int size : {0, 5, 300000}) {
                QByteArray name = QByteArray(passive ? "passive" : "active") +
                                  (replyFirst ? " 226 then close " : " close then 226 ") +
                                  QByteArray::number(size);
                QTest::newRow(name.constData()) << passive << replyFirst << size;
            }
}

void TestFtpTransfer::downloadOrders()
{
    QFETCH(bool, passive);
    QFETCH(bool, replyFirst);
    QFETCH(int, size);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QByteArray content = Pattern(size);
    FtpHarness h;
    srv.on("RETR", [&](const QByteArray &) {
        srv.line("150 Opening");
        srv.openData([&, replyFirst](QTcpSocket *s) {
            s->write(content);
            if (replyFirst) {
                // The data closes only once the client has read the 226.
                srv.line("226 Done");
                When(s, [&] { return h.shown("< 226 Done"); }, [s] { s->disconnectFromHost(); });
            } else {
                // The 226 goes out only once the client has seen the data end.
                s->disconnectFromHost();
                When(&srv,
                     [&] {
                         return h.ftp.ByteCount() == size &&
                                h.ftp.DataSocket()->State() == TSocketState::wsClosed;
                     },
                     [&] { srv.line("226 Done"); });
            }
        });
    });
    QTemporaryDir dir;
    QString local = dir.path() + "/got.bin";
    QVERIFY(ConnectScripted(h, srv, passive));
    std::vector<qint64> counts;
    h.ftp.OnProgress = [&](TCustomFtpCli *, std::int64_t count, bool &) { counts.push_back(count); };
    std::size_t shownAtDone = 0;
    h.onDone = [&] { shownAtDone = h.display.size(); };
    h.ftp.SetHostFileName("file.bin");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 0);
    QCOMPARE(h.lastRq, TFtpRequest::ftpGetAsync);
    QCOMPARE(ReadAll(local), content);
    QCOMPARE(h.ftp.ByteCount(), qint64(size));
    // Each report counts the block just read: it grows with every report and ends at the size.
    if (size > 0) {
        QVERIFY(!counts.empty());
        QVERIFY(counts.front() > 0);
        QVERIFY(std::is_sorted(counts.begin(), counts.end()) &&
                std::adjacent_find(counts.begin(), counts.end()) == counts.end());
        QCOMPARE(counts.back(), qint64(size));
    }
    // The statistics line comes before the one completion.
    QVERIFY(shownAtDone > 0);
    std::string stats = "! " + std::to_string(size) + " bytes received/sent in ";
    bool found = false;
    for (std::size_t i = 0; i < shownAtDone; ++i)
        found = found || h.display[i].rfind(stats, 0) == 0;
    QVERIFY(found);
    QVERIFY(srv.commands.value(2).startsWith(passive ? "PASV" : "PORT 127,0,0,1,"));
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
}

void TestFtpTransfer::uploadBlocks_data()
{
    AddModes();
    QTest::addColumn<int>("block"); // 0: the default
    QTest::addColumn<int>("size");
    for (bool passive : {true, false}) {
        for (int size : {0, 1, 1460, 1461, 10000, 200000})
            ModeRow(passive, "1460 " + QByteArray::number(size))
                << passive << 1460 << size;
        for (int size : {65536, 65537, 300000})
            ModeRow(passive, "default " + QByteArray::number(size))
                << passive << 0 << size;
    }
}

void TestFtpTransfer::uploadBlocks()
{
    QFETCH(bool, passive);
    QFETCH(int, block);
    QFETCH(int, size);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QTemporaryDir dir;
    QString local = dir.path() + "/up.bin";
    QByteArray content = Pattern(size);
    QVERIFY(WriteFile(local, content));
    FtpHarness h;
    QCOMPARE(h.ftp.UploadBlockSize(), 65536);
    if (block > 0)
        h.ftp.SetUploadBlockSize(block);
    else
        block = h.ftp.UploadBlockSize();
    // The socket's chunk size does not decide the block size.
    h.ftp.DataSocket()->SetBufSize(1514);
    QVERIFY(ConnectScripted(h, srv, passive));
    std::vector<qint64> counts;
    h.ftp.OnProgress = [&](TCustomFtpCli *, std::int64_t count, bool &) { counts.push_back(count); };
    h.ftp.SetHostFileName("up.bin");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::PutAsync), 0);
    QCOMPARE(h.lastRq, TFtpRequest::ftpPutAsync);
    QCOMPARE(srv.files["up.bin"], content);
    QCOMPARE(h.ftp.ByteCount(), qint64(size));
    // One progress call per block, and one more that finds the end.
    qint64 blocks = (size + block - 1) / block;
    QCOMPARE(qint64(counts.size()), blocks + 1);
    for (qint64 i = 0; i < blocks; ++i)
        QCOMPARE(counts[i], i * block);
    QCOMPARE(counts.back(), qint64(size));
}

void TestFtpTransfer::listingIntoFileAndDisplay_data()
{
    BothModes();
}

void TestFtpTransfer::listingIntoFileAndDisplay()
{
    QFETCH(bool, passive);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["a.txt"] = "aaa";
    srv.files["b.txt"] = "bb";
    QTemporaryDir dir;
    QString local = dir.path() + "/list.tmp";
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::DirAsync), 0);
    QCOMPARE(h.lastRq, TFtpRequest::ftpDirAsync);
    QVERIFY(ReadAll(local).contains(" a.txt\r\n"));
    QCOMPARE(srv.commands.last(), QByteArray("LIST"));

    std::vector<std::string> lines;
    h.ftp.OnDisplayFile = [&](TCustomFtpCli *, std::string &l) { lines.push_back(l); };
    h.ftp.SetDisplayFileFlag(true);
    h.ftp.SetHostFileName("*.txt");
    QCOMPARE(h.run(&TCustomFtpCli::LsAsync), 0);
    QCOMPARE(h.lastRq, TFtpRequest::ftpLsAsync);
    QCOMPARE(lines, (std::vector<std::string>{"a.txt", "b.txt"}));
    QCOMPARE(srv.commands.last(), QByteArray("NLST *.txt"));
}

void TestFtpTransfer::displayLineByLineSplitsRuns()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("LIST", [&](const QByteArray &) {
        srv.line("150 here");
        srv.sendData("a\r\n\r\nb", [&] { srv.line("226 ok"); });
    });
    srv.on("NLST", [&](const QByteArray &) {
        srv.line("150 here");
        srv.sendData("\r\nx\n", [&] { srv.line("226 ok"); });
    });
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    std::vector<std::string> lines;
    h.ftp.OnDisplayFile = [&](TCustomFtpCli *, std::string &l) { lines.push_back(l); };
    h.ftp.SetDisplayFileFlag(true);
    h.start(&TCustomFtpCli::DirAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(lines, (std::vector<std::string>{"a", "b"}));
    // A chunk that starts with a line end gives an empty first piece.
    lines.clear();
    h.start(&TCustomFtpCli::LsAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(lines, (std::vector<std::string>{"", "x"}));
    // Binary mode hands over the chunk as it is.
    lines.clear();
    h.ftp.SetDisplayFileMode(TFtpDisplayFileMode::ftpBinary);
    h.start(&TCustomFtpCli::DirAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(lines, (std::vector<std::string>{"a\r\n\r\nb"}));
}

void TestFtpTransfer::restGet_data()
{
    AddModes();
    QTest::addColumn<QByteArray>("restReply");
    QTest::addColumn<int>("error");
    for (bool passive : {true, false}) {
        ModeRow(passive, "350 continues") << passive << QByteArray("350 Restarting") << 0;
        ModeRow(passive, "200 starts again") << passive << QByteArray("200 whatever") << 0;
        ModeRow(passive, "502 fails") << passive << QByteArray("502 No REST") << 502;
    }
}

void TestFtpTransfer::restGet()
{
    QFETCH(bool, passive);
    QFETCH(QByteArray, restReply);
    QFETCH(int, error);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QByteArray remote = Pattern(25000);
    srv.files["f.bin"] = remote;
    srv.on("REST", [&](const QByteArray &arg) {
        if (restReply.startsWith("350"))
            srv.restOffset = arg.toLongLong();
        srv.line(restReply);
    });
    QTemporaryDir dir;
    QString local = dir.path() + "/f.bin";
    QVERIFY(WriteFile(local, remote.left(10000)));
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    qint64 firstCount = -1, lastCount = -1;
    h.ftp.OnProgress = [&](TCustomFtpCli *, std::int64_t c, bool &) {
        if (firstCount < 0)
            firstCount = c;
        lastCount = c;
    };
    h.ftp.SetResumeAt(3); // the local file's size is what counts
    h.ftp.SetHostFileName("f.bin");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::RestGetAsync), error);
    QCOMPARE(h.lastRq, TFtpRequest::ftpRestGetAsync);
    QVERIFY(srv.commands.contains("REST 10000"));
    if (error) {
        QVERIFY(!srv.commands.contains("RETR f.bin"));
        QCOMPARE(ReadAll(local), remote.left(10000));
        return;
    }
    QCOMPARE(ReadAll(local), remote);
    // Counted from the offset, including the block just read.
    QCOMPARE(lastCount, qint64(25000));
    if (restReply.startsWith("350")) {
        QVERIFY(firstCount > 10000);
        QCOMPARE(h.ftp.ByteCount(), qint64(15000));
        QVERIFY(h.shown("! 15000 bytes received/sent in "));
    } else {
        QVERIFY(firstCount > 0);
        QCOMPARE(h.ftp.ByteCount(), qint64(25000));
    }
    QCOMPARE(h.ftp.ResumeAt(), qint64(0));
}

void TestFtpTransfer::restGetWithoutLocalFileSendsNoRest()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["f.bin"] = "content";
    QTemporaryDir dir;
    QString local = dir.path() + "/new.bin";
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    h.ftp.SetHostFileName("f.bin");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::RestGetAsync), 0);
    QCOMPARE(h.lastRq, TFtpRequest::ftpRestGetAsync);
    QCOMPARE(ReadAll(local), QByteArray("content"));
    for (const QByteArray &c : srv.commands)
        QVERIFY(!c.startsWith("REST"));
}

void TestFtpTransfer::refusedDownloadKeepsLocalFile_data()
{
    AddModes();
    QTest::addColumn<bool>("exists");
    QTest::newRow("passive existing") << true << true;
    QTest::newRow("passive new") << true << false;
    QTest::newRow("active existing") << false << true;
    QTest::newRow("active new") << false << false;
}

void TestFtpTransfer::refusedDownloadKeepsLocalFile()
{
    QFETCH(bool, passive);
    QFETCH(bool, exists);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QTemporaryDir dir;
    QString local = dir.path() + "/precious.txt";
    if (exists)
        QVERIFY(WriteFile(local, "keep me"));
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    h.ftp.SetHostFileName("missing.txt");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 550);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("550 missing.txt: No such file"));
    if (exists)
        QCOMPARE(ReadAll(local), QByteArray("keep me"));
    else
        QVERIFY(!QFile::exists(local));
}

void TestFtpTransfer::shorterDownloadLeavesNoOldTail()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["f"] = "new";
    srv.files["empty"] = "";
    QTemporaryDir dir;
    QString local = dir.path() + "/f";
    QVERIFY(WriteFile(local, "an old and longer content"));
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 0);
    QCOMPARE(ReadAll(local), QByteArray("new"));
    h.ftp.SetHostFileName("empty");
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 0);
    QVERIFY(QFile::exists(local));
    QCOMPARE(ReadAll(local), QByteArray());
    QVERIFY(h.shown("! 0 bytes received/sent in "));
}

void TestFtpTransfer::putMissingLocalFile_data()
{
    BothModes();
}

void TestFtpTransfer::putMissingLocalFile()
{
    QFETCH(bool, passive);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    std::string name = "/nonexistent/dir/file.bin";
    h.ftp.SetHostFileName("file.bin");
    h.ftp.SetLocalFileName(name);
    QCOMPARE(h.run(&TCustomFtpCli::PutAsync), 426);
    QCOMPARE(h.ftp.ErrorMessage(), "426 Unable to open local file " + name);
    QVERIFY(h.shown("! 426 Unable to open local file " + name));
    QVERIFY(srv.commands.last().startsWith(passive ? "PASV" : "PORT"));
}

void TestFtpTransfer::readyToTransmitCancel()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QTemporaryDir dir;
    QString local = dir.path() + "/up.bin";
    QVERIFY(WriteFile(local, "data"));
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.ftp.OnReadyToTransmit = [](TCustomFtpCli *, bool &cancel) { cancel = true; };
    h.ftp.SetHostFileName("up.bin");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::PutAsync), 426);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("426 Transmit cancelled by application"));
    for (const QByteArray &c : srv.commands)
        QVERIFY(!c.startsWith("STOR"));
}

void TestFtpTransfer::progressAbort_data()
{
    AddModes();
    QTest::addColumn<QByteArray>("verdict");
    QTest::addColumn<int>("error");
    for (bool passive : {true, false}) {
        ModeRow(passive, "226") << passive << QByteArray("226 Closed") << 0;
        ModeRow(passive, "426") << passive << QByteArray("426 Aborted") << 426;
    }
}

void TestFtpTransfer::progressAbort()
{
    QFETCH(bool, passive);
    QFETCH(QByteArray, verdict);
    QFETCH(int, error);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("RETR", [&](const QByteArray &) {
        srv.line("150 Opening");
        srv.openData([&](QTcpSocket *s) {
            QObject::connect(s, &QTcpSocket::disconnected, &srv, [&] { srv.line(verdict); });
            s->write(Pattern(100000));
        });
    });
    QTemporaryDir dir;
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    h.ftp.OnProgress = [](TCustomFtpCli *, std::int64_t, bool &abort) { abort = true; };
    h.ftp.SetHostFileName("big");
    h.ftp.SetLocalFileName((dir.path() + "/big").toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), error);
    QVERIFY(h.shown("! Abort requested"));
    QCOMPARE(h.shown("! RETR/LIST/NLST Failed"), error != 0);
}

void TestFtpTransfer::statsArithmetic_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("small rate exact") << qint64(20000) << qint64(250) << "20000 bytes received/sent in 0 seconds (80000 Bytes/sec)";
    QTest::newRow("large rate truncated first")
        << qint64(1048576) << qint64(2290)
        << QString("1048576 bytes received/sent in 2 seconds (%1 Bytes/sec)").arg((1048576 / 2290) * 1000);
    QTest::newRow("no time") << qint64(5) << qint64(0) << "5 bytes received/sent in 0 seconds";
    QTest::newRow("beyond 4 GiB") << qint64(5368709120LL) << qint64(10000)
                                  << "5368709120 bytes received/sent in 10 seconds (536870000 Bytes/sec)";
}

void TestFtpTransfer::statsArithmetic()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(TCustomFtpCli::StatsText(bytes, ms)), text);
}

void TestFtpTransfer::portText()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    int p = -1;
    h.ftp.OnCommand = [&](TCustomFtpCli *c, std::string &) { p = QByteArray::fromStdString(c->DataSocket()->GetXPort()).toInt(); };
    h.start(&TCustomFtpCli::PortAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastRq, TFtpRequest::ftpPortAsync);
    QCOMPARE(h.lastError, 0);
    QVERIFY(p > 0);
    QCOMPARE(srv.commands.last(),
             "PORT 127,0,0,1," + QByteArray::number(p / 256) + "," + QByteArray::number(p % 256));
    h.ftp.SetPassive(true);
    h.start(&TCustomFtpCli::PortAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(srv.commands.last(), QByteArray("PASV"));
    QVERIFY(h.ftp.PasvReply().rfind("227 Entering Passive Mode (127,0,0,1,", 0) == 0);
    // The form for a server reached elsewhere: the control connection's local address.
    QCOMPARE(TCustomFtpCli::PortCommand(0x0A010203u, "192.0.2.7", 5001), std::string("PORT 10,1,2,3,19,137"));
    QCOMPARE(TCustomFtpCli::PortCommand(0x0A010203u, "127.0.0.1", 5001), std::string("PORT 127,0,0,1,19,137"));
}

void TestFtpTransfer::resumedUpload_data()
{
    AddModes();
    QTest::addColumn<QByteArray>("restReply");
    for (bool passive : {true, false}) {
        ModeRow(passive, "350 sends the tail") << passive << QByteArray("350 Restarting");
        ModeRow(passive, "200 refuses") << passive << QByteArray("200 REST ignored");
    }
}

void TestFtpTransfer::resumedUpload()
{
    QFETCH(bool, passive);
    QFETCH(QByteArray, restReply);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QByteArray content = Pattern(9000);
    srv.files["up.bin"] = content.left(4000);
    srv.on("REST", [&](const QByteArray &arg) {
        if (restReply.startsWith("350"))
            srv.restOffset = arg.toLongLong();
        srv.line(restReply);
    });
    QTemporaryDir dir;
    QString local = dir.path() + "/up.bin";
    QVERIFY(WriteFile(local, content));
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    h.ftp.SetHostFileName("up.bin");
    h.ftp.SetLocalFileName(local.toStdString());
    h.ftp.SetResumeAt(4000);
    h.start(&TCustomFtpCli::RestPutAsync);
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastRq, TFtpRequest::ftpPutAsync);
    QVERIFY(srv.commands.contains("REST 4000"));
    if (restReply.startsWith("350")) {
        QCOMPARE(h.lastError, 0);
        QCOMPARE(h.ftp.ByteCount(), qint64(5000));
        QCOMPARE(srv.files["up.bin"], content);
    } else {
        QCOMPARE(h.lastError, 200);
        QVERIFY(h.ftp.ErrorMessage().find("refused to resume") != std::string::npos);
        QVERIFY(!srv.commands.contains("STOR up.bin"));
        QCOMPARE(srv.files["up.bin"], content.left(4000));
    }
}

void TestFtpTransfer::restGetBeyond4GiB()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    const qint64 have = 4294967296LL + 10;
    srv.on("REST", [&](const QByteArray &arg) {
        srv.restOffset = arg.toLongLong();
        srv.line("350 Restarting at " + arg);
    });
    srv.on("RETR", [&](const QByteArray &) {
        srv.line("150 Opening");
        srv.sendData("hello", [&] { srv.line("226 Done"); });
    });
    QTemporaryDir dir;
    QString local = dir.path() + "/sparse.bin";
    {
        QFile f(local);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (::ftruncate(f.handle(), have) != 0)
            QSKIP("no sparse files here");
    }
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, true));
    std::vector<qint64> counts;
    h.ftp.OnProgress = [&](TCustomFtpCli *, std::int64_t c, bool &) { counts.push_back(c); };
    h.ftp.SetHostFileName("big.iso");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::RestGetAsync), 0);
    QVERIFY(srv.commands.contains("REST 4294967306"));
    QCOMPARE(QFileInfo(local).size(), have + 5);
    QFile f(local);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.seek(have));
    QCOMPARE(f.readAll(), QByteArray("hello"));
    QVERIFY(!counts.empty());
    QCOMPARE(counts.back(), have + 5);
}

void TestFtpTransfer::abortDuringListing_data()
{
    BothModes();
}

void TestFtpTransfer::abortDuringListing()
{
    QFETCH(bool, passive);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    bool listing = false;
    srv.on("LIST", [&](const QByteArray &) {
        srv.line("150 Here it comes, slowly");
        srv.openData([&](QTcpSocket *s) {
            s->write("drwxr-xr-x 2 u g 0 Jan 1 00:00 d\r\n");
            listing = true;
        });
    });
    QTemporaryDir dir;
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    h.ftp.SetLocalFileName((dir.path() + "/l.tmp").toStdString());
    h.start(&TCustomFtpCli::DirAsync);
    QVERIFY(QTest::qWaitFor([&] { return listing && h.ftp.ByteCount() > 0; }, 5000));
    h.ftp.AbortAsync();
    QVERIFY(h.waitDone());
    QCOMPARE(h.lastRq, TFtpRequest::ftpDirAsync);
    QCOMPARE(h.lastError, 426);
    QCOMPARE(h.ftp.ErrorMessage(), std::string("426 Operation aborted."));
    QCOMPARE(h.ftp.State(), TFtpState::ftpReady);
    QVERIFY(!h.ftp.Connected());
}

void TestFtpTransfer::streamsAndAppend_data()
{
    BothModes();
}

void TestFtpTransfer::streamsAndAppend()
{
    QFETCH(bool, passive);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["log.txt"] = "first;";
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, passive));
    QBuffer out;
    out.setData("second;");
    QVERIFY(out.open(QIODevice::ReadOnly));
    h.ftp.SetLocalStream(&out);
    h.ftp.SetHostFileName("log.txt");
    QCOMPARE(h.run(&TCustomFtpCli::AppendAsync), 0);
    QCOMPARE(h.lastRq, TFtpRequest::ftpAppendAsync);
    QCOMPARE(srv.files["log.txt"], QByteArray("first;second;"));
    QVERIFY(out.isOpen()); // a caller's stream is never closed or freed

    QBuffer in;
    QVERIFY(in.open(QIODevice::WriteOnly));
    h.ftp.SetLocalStream(&in);
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 0);
    QCOMPARE(in.data(), QByteArray("first;second;"));
    QVERIFY(in.isOpen());
}

void TestFtpTransfer::shareModeLocks()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["f"] = "remote";
    QTemporaryDir dir;
    QString local = dir.path() + "/f";
    QVERIFY(WriteFile(local, "old"));
    // Another cooperating program holds an exclusive lock on the local file.
    QFile other(local);
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(::flock(other.handle(), LOCK_EX | LOCK_NB), 0);
    FtpHarness h;
    QVERIFY(ConnectScripted(h, srv, false));
    h.ftp.SetHostFileName("f");
    h.ftp.SetLocalFileName(local.toStdString());
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 550);
    QCOMPARE(h.ftp.ErrorMessage(), "Unable to open local file " + local.toStdString());
    QCOMPARE(ReadAll(local), QByteArray("old"));
    // Deny-none takes no lock and goes ahead.
    h.ftp.SetShareMode(TFtpShareMode::ftpShareDenyNone);
    QCOMPARE(h.run(&TCustomFtpCli::GetAsync), 0);
    QCOMPARE(ReadAll(local), QByteArray("remote"));
}

QTEST_GUILESS_MAIN(TestFtpTransfer)
#include "tst_ftp_transfer.moc"
