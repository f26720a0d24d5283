// Batch operations of a connection window: a local tree up to a real server, down
// again into another folder and deleted, compared byte for byte; and the walks against
// a scripted server that loops, lies about its directory and offers links and hostile
// names.
#include <QAction>
#include <QDirIterator>
#include <QLocale>
#include <QRegularExpression>
#include <QToolButton>
#include <unistd.h>

#include "support/realservers.h"
#include "transferfixture.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {

// Relative path -> content of every file, and every folder (content "<dir>").
std::map<QString, QByteArray> snapshot(const QString &root)
{
    std::map<QString, QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QFileInfo fi(p);
        const QString rel = p.mid(root.size() + 1);
        out[rel] = fi.isDir() ? QByteArray("<dir>") : TransferFixture::readFile(p);
    }
    return out;
}

QString describe(const std::map<QString, QByteArray> &m)
{
    QStringList out;
    for (const auto &[k, v] : m)
        out << k + QStringLiteral(" (%1)").arg(v.size());
    return out.join(", ");
}

const QString UploadText = QStringLiteral(
    "This will upload all files and sub-directories of the folder:\n\n [%1]\n\nAll files and sub-directories will be "
    "created on the server in\nthe current directory. This can be a lengthy process.\nDo you want to continue?");
const QString DownloadText = QStringLiteral(
    "You have selected to batch download \"%1\"\r\n\r\nThis operation will download that directory and all of the "
    "files and sub-directories\r\ncontained within that directory.\r\n\r\nThis can be a lengthy process. Do you want "
    "to continue?");
const QString DeleteText = QStringLiteral(
    "You have selected to batch delete \"%1\"\r\n\r\nThis operation will delete that directory and all of the files "
    "and sub-directories \r\ncontained within that directory.\r\n\r\nThis can be a lengthy process. Do you want to "
    "continue?");

int countPrefix(const QList<QByteArray> &commands, const QByteArray &prefix)
{
    int n = 0;
    for (const QByteArray &c : commands)
        n += c.startsWith(prefix) ? 1 : 0;
    return n;
}

} // namespace

class TestBatch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void treeRoundTrip_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("passive");
        QTest::newRow("vsftpd passive") << "vsftpd" << true;
        QTest::newRow("vsftpd active") << "vsftpd" << false;
        QTest::newRow("pure-ftpd passive") << "pure-ftpd" << true;
    }
    // A local tree of four levels up, down into another folder, compared, deleted.
    void treeRoundTrip()
    {
        QFETCH(QString, kind);
        QFETCH(bool, passive);
        QString why;
        std::unique_ptr<RealServer> srv = StartRealServer(kind, &why);
        if (!srv)
            QSKIP(qPrintable(why));
        TransferFixture fx;
        const QString up = fx.dir.path() + "/up";
        const QString down = fx.dir.path() + "/down";
        QVERIFY(QDir().mkpath(up + "/a/b/c"));
        QVERIFY(QDir().mkpath(up + "/z"));
        QVERIFY(QDir().mkpath(up + "/empty"));
        QVERIFY(QDir().mkpath(down));
        QVERIFY(TransferFixture::writeFile(up + "/top.txt", "top level\n"));
        QVERIFY(TransferFixture::writeFile(up + "/a/a1.bin", TransferFixture::pattern(70000, 1)));
        QVERIFY(TransferFixture::writeFile(up + "/a/b/b1.bin", TransferFixture::pattern(1, 2)));
        QVERIFY(TransferFixture::writeFile(up + "/a/b/c/c1.bin", TransferFixture::pattern(300000, 3)));
        QVERIFY(TransferFixture::writeFile(up + "/a/b/c/c2.txt", QByteArray()));
        QVERIFY(TransferFixture::writeFile(up + "/z/z1.txt", "zed"));
        QVERIFY(QDir().mkpath(srv->localDir + "/tree"));
        // Writable by the server's own user.
        QVERIFY(QFile::setPermissions(srv->localDir + "/tree", QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                                   QFileDevice::ExeUser | QFileDevice::ReadGroup |
                                                                   QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                                                   QFileDevice::ReadOther | QFileDevice::WriteOther |
                                                                   QFileDevice::ExeOther));
        const std::string treeDir = srv->remoteDir + (srv->remoteDir.back() == '/' ? "" : "/") + "tree";
        QVERIFY(fx.connect(srv->port, passive, srv->user, srv->password, treeDir));
        QVERIFY(fx.main->GetLocTree().SetSelectedPathName(up));
        const QString cwdBefore = QDir::currentPath();

        fx.prompts.ExpectConfirm(UploadText.arg(up), "Continue?", true);
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionBatchUpload")->trigger();
        QVERIFY2(fx.waitLog("Completed batch upload operation", 60000), qPrintable(fx.window->LogList.join("\n").right(3000)));
        QVERIFY(fx.waitIdle());
        QVERIFY2(fx.prompts.Done(), qPrintable(fx.prompts.Report()));
        const auto want = snapshot(up);
        QCOMPARE(describe(snapshot(srv->localDir + "/tree")), describe(want));
        QVERIFY(snapshot(srv->localDir + "/tree") == want);
        QVERIFY(!fx.logHasPrefix("Error: "));

        // Down into another folder: the chosen directory becomes a sub-folder there.
        fx.window->ChangeRemoteDir("..");
        QVERIFY(QTest::qWaitFor([&] { return fx.idle() && fx.dirRow("tree") >= 0; }, 15000));
        QVERIFY(fx.main->GetLocTree().SetSelectedPathName(down));
        QVERIFY(fx.selectDir("tree"));
        const QString treePath = QString::fromStdString(fx.window->RemoteDir) + "/tree";
        fx.prompts.ExpectConfirm(DownloadText.arg(treePath), "Continue?", true);
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionBatchDownload")->trigger();
        QVERIFY2(fx.waitLog("Completed batch download operation", 60000), qPrintable(fx.window->LogList.join("\n").right(3000)));
        QVERIFY(fx.waitIdle());
        QVERIFY2(fx.prompts.Done(), qPrintable(fx.prompts.Report()));
        QCOMPARE(describe(snapshot(down + "/tree")), describe(want));
        QVERIFY(snapshot(down + "/tree") == want);
        QVERIFY(!fx.logHasPrefix("Error: "));
        QCOMPARE(QDir::currentPath(), cwdBefore); // the walk kept its own local position

        // Deleted: the server folder is gone, the listing relisted without it.
        fx.window->ChangeRemoteDir(".."); // the download ends in the directory it copied
        QVERIFY(QTest::qWaitFor([&] { return fx.idle() && fx.dirRow("tree") >= 0; }, 15000));
        QVERIFY(fx.selectDir("tree"));
        fx.prompts.ExpectConfirm(DeleteText.arg(treePath), "Continue?", true);
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionBatchDelete")->trigger();
        QVERIFY2(fx.waitLog("Completed batch delete operation", 60000), qPrintable(fx.window->LogList.join("\n").right(3000)));
        QVERIFY(QTest::qWaitFor([&] { return fx.idle() && fx.dirRow("tree") < 0; }, 15000));
        QVERIFY2(fx.prompts.Done(), qPrintable(fx.prompts.Report()));
        QVERIFY(!QFileInfo::exists(srv->localDir + "/tree"));
        QVERIFY(!fx.logHasPrefix("Error: "));
    }

    // A server folder its own user may not write to: every MKD is refused, then the
    // first file; the batch ends there with the server's error, the window idle.
    void refusedFolderEnds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("vsftpd") << "vsftpd";
        QTest::newRow("pure-ftpd") << "pure-ftpd";
    }
    void refusedFolderEnds()
    {
        QFETCH(QString, kind);
        QString why;
        std::unique_ptr<RealServer> srv = StartRealServer(kind, &why);
        if (!srv)
            QSKIP(qPrintable(why));
        TransferFixture fx;
        const QString up = fx.dir.path() + "/up";
        for (const char *d : {"a", "b", "c", "d", "e"}) {
            QVERIFY(QDir().mkpath(up + "/" + d));
            QVERIFY(TransferFixture::writeFile(up + "/" + d + "/f.txt", "f"));
        }
        QVERIFY(QDir().mkpath(srv->localDir + "/locked"));
        QVERIFY(QFile::setPermissions(srv->localDir + "/locked", QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                                     QFileDevice::ExeUser | QFileDevice::ReadOther |
                                                                     QFileDevice::ExeOther));
        const std::string lockedDir = srv->remoteDir + (srv->remoteDir.back() == '/' ? "" : "/") + "locked";
        QVERIFY(fx.connect(srv->port, true, srv->user, srv->password, lockedDir));
        fx.prompts.ExpectConfirm(UploadText.arg(up), "Continue?", true);
        fx.window->BatchUpload(up);
        QVERIFY2(QTest::qWaitFor([&] { return fx.logHasPrefix("Error: "); }, 30000),
                 qPrintable(fx.window->LogList.join("\n").right(800)));
        QVERIFY(fx.waitIdle());
        QCOMPARE(fx.window->LogList.filter(QRegularExpression("^<-- 550 ")).size(), 5); // one per folder
        QVERIFY(fx.logHasPrefix("Error: 553 "));
        QVERIFY(!fx.logHasPrefix("Completed batch upload operation"));
        QVERIFY(fx.window->RequestHandler() == &TFormMdi::Ftp1RequestDone);
        QCOMPARE(fx.window->CancelHandler(), &TFormMdi::CancelBClick);
        QVERIFY(QDir(srv->localDir + "/locked").isEmpty());
    }

    // A server that answers "/" to every PWD and shows a sub-directory "a" in every
    // listing, plus a link and a hostile name: the download stops at the depth limit
    // with an error, follows no link, keeps every file inside the chosen folder and
    // leaves the process's directory alone.
    void loopingServerStops()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        const QByteArray listing = "drwxr-xr-x    2 ftp      ftp      4096 Jan 01 12:00 a\r\n"
                                   "lrwxrwxrwx    1 ftp      ftp         1 Jan 01 12:00 ln -> /\r\n"
                                   "drwxr-xr-x    2 ftp      ftp      4096 Jan 01 12:00 x/../../../up\r\n"
                                   "-rw-r--r--    1 ftp      ftp         4 Jan 01 12:00 f.txt\r\n"
                                   "-rw-r--r--    1 ftp      ftp         4 Jan 01 12:00 ../g.txt\r\n";
        server.on("LIST", [&](const QByteArray &) {
            server.line("150 Here comes the listing");
            server.sendData(listing, [&] { server.line("226 Done"); });
        });
        server.on("SIZE", [&](const QByteArray &) { server.line("213 4"); });
        server.on("RETR", [&](const QByteArray &) {
            server.line("150 Sending");
            server.sendData("data", [&] { server.line("226 Done"); });
        });
        QVERIFY(fx.connect(server.port()));
        const QString cwdBefore = QDir::currentPath();
        QVERIFY(fx.selectDir("a"));
        fx.prompts.ExpectConfirm(DownloadText.arg("//a"), "Continue?", true);
        fx.window->BatchDownload();
        QVERIFY(QTest::qWaitFor([&] { return fx.logHasPrefix("Error: The directory "); }, 120000));
        QVERIFY(fx.waitIdle());
        QVERIFY2(fx.prompts.Done(), qPrintable(fx.prompts.Report()));
        QVERIFY(fx.window->RequestHandler() == &TFormMdi::Ftp1RequestDone);
        QCOMPARE(fx.window->CancelHandler(), &TFormMdi::CancelBClick);
        QCOMPARE(QDir::currentPath(), cwdBefore);
        QCOMPARE(countPrefix(server.commands, "CWD ln"), 0);
        QCOMPARE(countPrefix(server.commands, "CWD x"), 0);
        QCOMPARE(countPrefix(server.commands, "RETR ../"), 0);
        // The chosen directory and 64 levels below it, each with its file.
        QCOMPARE(countPrefix(server.commands, "CWD a"), 64);
        QString deepest = fx.local + "/a";
        for (int i = 0; i < TFormMdi::MaxBatchDepth; ++i)
            deepest += "/a";
        QCOMPARE(TransferFixture::readFile(deepest + "/f.txt"), QByteArray("data"));
        QVERIFY(!QFileInfo::exists(deepest + "/a"));
        QVERIFY(!QFileInfo::exists(fx.dir.path() + "/g.txt"));
        QVERIFY(!QFileInfo::exists(fx.dir.path() + "/up"));
        QVERIFY(fx.logHasPrefix("Skipping symbolic link: /a/ln"));
        QVERIFY(fx.logHasPrefix("Error: Skipping \"x/../../../up\""));

        // The delete walk stops the same way and removes nothing.
        const int before = server.commands.size();
        QVERIFY(fx.selectDir("a"));
        fx.prompts.ExpectConfirm(DeleteText.arg("//a"), "Continue?", true);
        fx.window->BatchDelete();
        QVERIFY(QTest::qWaitFor([&] { return countPrefix(server.commands.mid(before), "CWD a") == 64 && fx.idle(); },
                                120000));
        QVERIFY(fx.waitIdle());
        QCOMPARE(countPrefix(server.commands.mid(before), "RMD"), 0);
        QCOMPARE(countPrefix(server.commands.mid(before), "CWD ln"), 0);
        QCOMPARE(countPrefix(server.commands.mid(before), "DELE ../"), 0);
    }

    // The ".." row is refused by both walks; an empty folder uploads nothing.
    void refusals()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        QVERIFY(fx.connect(server.port()));
        QVERIFY(fx.selectDir(".."));
        const int before = server.commands.size();
        fx.prompts.ExpectInfo("You can not download the up directory symbol!", "Invalid Directory!");
        fx.window->BatchDownload();
        fx.prompts.ExpectInfo("You can not delete the up directory symbol!", "Invalid Directory!");
        fx.window->BatchDelete();
        fx.window->RemoteDirs->Selection()->clearSelection();
        fx.prompts.ExpectInfo("You must select a remote directory to delete", "Which Directory?");
        fx.window->ActionBatchDeleteExecute();
        const QString empty = fx.dir.path() + "/empty";
        QVERIFY(QDir().mkpath(empty));
        fx.prompts.ExpectConfirm(UploadText.arg(empty), "Continue?", true);
        fx.window->BatchUpload(empty);
        QVERIFY2(fx.prompts.Done(), qPrintable(fx.prompts.Report()));
        TransferFixture::settle();
        QCOMPARE(server.commands.size(), before);
        QVERIFY(fx.idle());
    }

    // A cancel while an MKD of a batch upload waits for its reply ends the batch at that
    // reply: one completion, nothing more sent, the window idle with its usual handlers.
    void cancelDuringMkd()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        const QString up = fx.dir.path() + "/up";
        QVERIFY(QDir().mkpath(up + "/a"));
        QVERIFY(QDir().mkpath(up + "/b"));
        QVERIFY(TransferFixture::writeFile(up + "/a/f.txt", "f"));
        bool asked = false;
        server.on("MKD", [&](const QByteArray &) { asked = true; });
        QVERIFY(fx.connect(server.port()));
        const int before = server.commands.size();
        fx.prompts.ExpectConfirm(UploadText.arg(up), "Continue?", true);
        fx.window->BatchUpload(up);
        QVERIFY(QTest::qWaitFor([&] { return asked; }, 15000));
        QCOMPARE(fx.window->CancelHandler(), &TFormMdi::CancelTransfer);
        fx.window->CancelB->click();
        server.line("257 \"/a\" created");
        QVERIFY(fx.waitLog("Transfer cancelled"));
        TransferFixture::settle();
        QVERIFY(fx.waitIdle());
        QCOMPARE(fx.window->LogList.count("Transfer cancelled"), 1);
        QVERIFY(fx.window->RequestHandler() == &TFormMdi::Ftp1RequestDone);
        QCOMPARE(fx.window->CancelHandler(), &TFormMdi::CancelBClick);
        QCOMPARE(server.commands.mid(before), QList<QByteArray>({"MKD a"}));
        QVERIFY(!fx.logHasPrefix("Completed batch upload operation"));
    }

    // Batch upload onto a scripted server: parents before children, an existing folder
    // (550 on MKD) passed over, symbolic links to folders not followed.
    void uploadOrderAndLinks()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        const QString up = fx.dir.path() + "/up";
        QVERIFY(QDir().mkpath(up + "/b"));
        QVERIFY(QDir().mkpath(up + "/a/z"));
        QVERIFY(TransferFixture::writeFile(up + "/a/z/f.txt", "f"));
        QVERIFY(TransferFixture::writeFile(up + "/b/g.txt", "g"));
        QVERIFY(::symlink(QFile::encodeName(fx.dir.path()).constData(), QFile::encodeName(up + "/loop").constData()) == 0);
        server.on("MKD", [&](const QByteArray &arg) {
            if (arg == "b" || arg == "a")
                server.line("550 Create directory operation failed.");
            else
                server.line("257 \"/" + arg + "\" created");
        });
        QVERIFY(fx.connect(server.port()));
        fx.prompts.ExpectConfirm(UploadText.arg(up), "Continue?", true);
        fx.window->BatchUpload(up);
        QVERIFY(fx.waitLog("Completed batch upload operation"));
        QVERIFY(fx.waitIdle());
        QList<QByteArray> mkd;
        for (const QByteArray &c : server.commands)
            if (c.startsWith("MKD"))
                mkd << c;
        QCOMPARE(mkd, QList<QByteArray>({"MKD a", "MKD a/z", "MKD b"}));
        QCOMPARE(server.files["a/z/f.txt"], QByteArray("f"));
        QCOMPARE(server.files["b/g.txt"], QByteArray("g"));
        QCOMPARE(countPrefix(server.commands, "STOR loop"), 0);
        QVERIFY(fx.logHasPrefix("Skipping symbolic link to a folder: "));
    }
};

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
