// The client against real servers from Debian, in passive and active mode, and the
// proxy login through ftp-proxy. Transferred files are compared byte for byte.
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include "support/ftpfixture.h"
#include "support/ftpharness.h"
#include "support/realservers.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {

QByteArray RandomBytes(int n)
{
    QByteArray b(n, Qt::Uninitialized);
    auto *g = QRandomGenerator::global();
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(g->bounded(256));
    return b;
}

// A file put in the server's folder by the test belongs to the server's user, as if it
// had been uploaded.
bool PlaceOnServer(const RealServer &srv, const QString &name, const QByteArray &content)
{
    const QString path = srv.localDir + "/" + name;
    if (!WriteFile(path, content))
        return false;
    QFileInfo folder(srv.localDir);
    return ::chown(QFile::encodeName(path).constData(), folder.ownerId(), folder.groupId()) == 0;
}

// Runs one request to its end; the error it ended with.
int Run(FtpHarness &h, void (TCustomFtpCli::*fn)())
{
    h.start(fn);
    if (!h.waitDone(60000))
        return -1;
    return h.lastError;
}

} // namespace

class TestFtpServers : public QObject {
    Q_OBJECT

private slots:
    void session_data();
    void session();
    void proxyLogin();
};

void TestFtpServers::session_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("passive");
    for (const char *kind : {"vsftpd", "proftpd", "pure-ftpd", "pyftpdlib"})
        for (bool passive : {true, false})
            QTest::newRow(qPrintable(QString("%1 %2").arg(kind, passive ? "passive" : "active")))
                << QString(kind) << passive;
}

void TestFtpServers::session()
{
    QFETCH(QString, kind);
    QFETCH(bool, passive);
    QString why;
    auto srv = StartRealServer(kind, &why);
    if (!srv)
        QSKIP(qPrintable(why));
    QTemporaryDir local;
    FtpHarness h;
    h.ftp.SetPassive(passive);
    h.target(srv->port);
    h.ftp.SetUserName(srv->user);
    h.ftp.SetPassWord(srv->password);
    QCOMPARE(Run(h, &TCustomFtpCli::ConnectAsync), 0);
    QCOMPARE(Run(h, &TCustomFtpCli::PwdAsync), 0);
    QVERIFY(!h.ftp.ReplyDirName().empty());
    h.ftp.SetHostDirName(srv->remoteDir);
    QCOMPARE(Run(h, &TCustomFtpCli::CwdAsync), 0);
    QCOMPARE(Run(h, &TCustomFtpCli::TypeBinaryAsync), 0);
    QCOMPARE(Run(h, &TCustomFtpCli::SystAsync), 0);
    QVERIFY(h.ftp.LastResponse().rfind("215 ", 0) == 0);

    // put, get, SIZE
    const QByteArray content = RandomBytes(300001);
    const QString up = local.path() + "/up.bin";
    QVERIFY(WriteFile(up, content));
    h.ftp.SetHostFileName("data.bin");
    h.ftp.SetLocalFileName(up.toStdString());
    QCOMPARE(Run(h, &TCustomFtpCli::PutAsync), 0);
    QCOMPARE(ReadAll(srv->localDir + "/data.bin"), content);
    QCOMPARE(Run(h, &TCustomFtpCli::SizeAsync), 0);
    QCOMPARE(h.ftp.ReplySize(), qint64(content.size()));
    const QString down = local.path() + "/down.bin";
    h.ftp.SetLocalFileName(down.toStdString());
    QCOMPARE(Run(h, &TCustomFtpCli::GetAsync), 0);
    QCOMPARE(ReadAll(down), content);

    // resumed download: the local file holds the first part
    QVERIFY(WriteFile(down, content.left(123457)));
    QCOMPARE(Run(h, &TCustomFtpCli::RestGetAsync), 0);
    QVERIFY(h.ftp.ByteCount() == content.size() - 123457 || h.ftp.ByteCount() == content.size());
    QCOMPARE(ReadAll(down), content);

    // resumed upload: the server holds the first part
    QVERIFY(PlaceOnServer(*srv, "resume.bin", content.left(100000)));
    h.ftp.SetHostFileName("resume.bin");
    h.ftp.SetLocalFileName(up.toStdString());
    h.ftp.SetResumeAt(100000);
    int err = Run(h, &TCustomFtpCli::RestPutAsync);
    if (err == 0) {
        QCOMPARE(ReadAll(srv->localDir + "/resume.bin"), content);
    } else {
        // A server may refuse to resume; the remote file must then be left alone.
        QVERIFY(h.ftp.ErrorMessage().find("refused to resume") != std::string::npos || err >= 500);
        QCOMPARE(ReadAll(srv->localDir + "/resume.bin"), content.left(100000));
    }

    // append
    const QByteArray more = RandomBytes(5000);
    const QString part = local.path() + "/more.bin";
    QVERIFY(WriteFile(part, more));
    h.ftp.SetHostFileName("data.bin");
    h.ftp.SetLocalFileName(part.toStdString());
    QCOMPARE(Run(h, &TCustomFtpCli::AppendAsync), 0);
    QCOMPARE(ReadAll(srv->localDir + "/data.bin"), content + more);

    // listings
    const QString list = local.path() + "/list.txt";
    h.ftp.SetHostFileName("");
    h.ftp.SetLocalFileName(list.toStdString());
    QCOMPARE(Run(h, &TCustomFtpCli::DirAsync), 0);
    QVERIFY(ReadAll(list).contains("data.bin"));
    QCOMPARE(Run(h, &TCustomFtpCli::LsAsync), 0);
    QVERIFY(ReadAll(list).contains("data.bin"));

    // directories, rename, delete, a quoted command
    h.ftp.SetHostFileName("newdir");
    QCOMPARE(Run(h, &TCustomFtpCli::MkdAsync), 0);
    QVERIFY(QFileInfo(srv->localDir + "/newdir").isDir());
    QCOMPARE(Run(h, &TCustomFtpCli::RmdAsync), 0);
    QVERIFY(!QFileInfo::exists(srv->localDir + "/newdir"));
    h.ftp.SetHostFileName("data.bin");
    h.ftp.SetLocalFileName("renamed.bin");
    QCOMPARE(Run(h, &TCustomFtpCli::RenAsync), 0);
    QCOMPARE(ReadAll(srv->localDir + "/renamed.bin"), content + more);
    h.ftp.SetHostFileName("renamed.bin");
    QCOMPARE(Run(h, &TCustomFtpCli::DeleAsync), 0);
    QVERIFY(!QFileInfo::exists(srv->localDir + "/renamed.bin"));
    h.ftp.SetHostFileName("renamed.bin");
    QVERIFY(Run(h, &TCustomFtpCli::DeleAsync) >= 500);
    h.ftp.SetLocalFileName("NOOP");
    QCOMPARE(Run(h, &TCustomFtpCli::QuoteAsync), 0);
    QCOMPARE(h.ftp.StatusCode(), 200);

    // abort during a transfer, then a new session
    QVERIFY(PlaceOnServer(*srv, "big.bin", QByteArray(64 * 1024 * 1024, 'b')));
    h.ftp.SetHostFileName("big.bin");
    h.ftp.SetLocalFileName(down.toStdString());
    bool aborted = false;
    h.ftp.OnProgress = [&](TCustomFtpCli *c, std::int64_t count, bool &) {
        if (count > 0 && !aborted) {
            aborted = true;
            QMetaObject::invokeMethod(qApp, [c] { c->AbortAsync(); }, Qt::QueuedConnection);
        }
    };
    QCOMPARE(Run(h, &TCustomFtpCli::GetAsync), 426);
    QVERIFY(aborted);
    QVERIFY(!h.ftp.Connected());
    h.ftp.OnProgress = nullptr;
    QCOMPARE(Run(h, &TCustomFtpCli::ConnectAsync), 0);
    QCOMPARE(Run(h, &TCustomFtpCli::QuitAsync), 0);
    QVERIFY(!h.ftp.Connected());
    QCOMPARE(h.ended, h.started);
}

void TestFtpServers::proxyLogin()
{
    QString why;
    auto srv = StartRealServer("vsftpd", &why);
    if (!srv)
        QSKIP(qPrintable(why));
    auto proxy = StartFtpProxy(&why);
    if (!proxy)
        QSKIP(qPrintable(why));
    FtpHarness h;
    h.ftp.SetConnectionType(TFtpConnectionType::ftpProxy);
    h.ftp.SetProxyServer("127.0.0.1:" + std::to_string(proxy->port));
    h.target(srv->port);
    h.ftp.SetUserName(srv->user);
    h.ftp.SetPassWord(srv->password);
    QCOMPARE(Run(h, &TCustomFtpCli::ConnectAsync), 0);
    QVERIFY(h.shown("> USER anonymous@127.0.0.1:" + std::to_string(srv->port)));
    h.ftp.SetHostDirName(srv->remoteDir);
    QCOMPARE(Run(h, &TCustomFtpCli::CwdAsync), 0);
    QVERIFY(PlaceOnServer(*srv, "via-proxy.txt", "through the proxy\n"));
    QTemporaryDir local;
    h.ftp.SetHostFileName("via-proxy.txt");
    h.ftp.SetLocalFileName((local.path() + "/got.txt").toStdString());
    QCOMPARE(Run(h, &TCustomFtpCli::GetAsync), 0); // a proxied connection runs passive
    QCOMPARE(ReadAll(local.path() + "/got.txt"), QByteArray("through the proxy\n"));
    QCOMPARE(Run(h, &TCustomFtpCli::QuitAsync), 0);
}

QTEST_GUILESS_MAIN(TestFtpServers)
#include "tst_ftp_servers.moc"
