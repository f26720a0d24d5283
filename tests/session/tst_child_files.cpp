// Managing remote directories and files from a connection window: the command lines on
// the wire, the relisting after each change, the questions, the failures that stop a
// queue, the permissions, the directory information and Save Log.
#include <QDir>
#include <QRegularExpression>
#include <unistd.h>
#include <QFile>
#include <QPlainTextEdit>
#include <QtTest>

#include "dialogs/dlgapi.h"
#include "managefixture.h"
#include "support/realservers.h"

using namespace tarsel;
using namespace tarsel::test;

class TstChildFiles : public QObject {
    Q_OBJECT
private slots:
    void directoryCommands_data()
    {
        QTest::addColumn<int>("kind"); // 0 make, 1 rename, 2 remove
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QString>("dirAfter");
        // Making a directory leaves the window inside it.
        QTest::newRow("make") << 0 << QList<QByteArray>{"MKD fresh", "CWD fresh", "PWD", "LIST"} << "/fresh";
        QTest::newRow("rename") << 1 << QList<QByteArray>{"RNFR sub", "RNTO moved", "PWD", "LIST"} << "/";
        QTest::newRow("remove") << 2 << QList<QByteArray>{"RMD sub", "PWD", "LIST"} << "/";
    }
    void directoryCommands()
    {
        QFETCH(int, kind);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QString, dirAfter);
        ManageFixture m;
        QVERIFY(m.open());
        ManageFixture::select(m.w->RemoteDirs, {"sub"});
        if (kind == 0) {
            m.fx.prompts.ExpectInput("Create Directory", "Directory to create:", "", QString("fresh"));
            m.trigger(TActionId::ActionMkdDir);
        } else if (kind == 1) {
            m.fx.prompts.ExpectInput("Rename Directory", "New name for directory:", "sub", QString("moved"));
            m.trigger(TActionId::ActionRenameDir);
        } else {
            m.fx.prompts.ExpectConfirm("Are you sure you want to delete the remote directory sub?",
                                       "Delete Directory", true);
            m.trigger(TActionId::ActionRemoveDir);
        }
        QVERIFY2(m.waitSent(lines), m.sent().join(" | ").constData());
        QTRY_COMPARE(QString::fromStdString(m.w->RemoteDir), dirAfter);
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void directoryCommandsSendNothing()
    {
        ManageFixture m;
        QVERIFY(m.open());
        // Cancel gives back the empty preset; No keeps the directory; no row, no rename.
        m.fx.prompts.ExpectInput("Create Directory", "Directory to create:", "", std::nullopt);
        m.trigger(TActionId::ActionMkdDir);
        ManageFixture::select(m.w->RemoteDirs, {"sub"});
        m.fx.prompts.ExpectConfirm("Are you sure you want to delete the remote directory sub?", "Delete Directory",
                                   false);
        m.trigger(TActionId::ActionRemoveDir);
        m.w->RemoteDirs->Selection()->clearSelection();
        m.fx.prompts.ExpectInfo("You need to select a remote directory to rename.", "Select Directory");
        m.w->ActionRenameDirExecute();
        m.fx.prompts.ExpectInfo("You need to select a remote directory to delete.", "Select Directory");
        m.w->ActionRemoveDirExecute();
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void deleteFiles()
    {
        ManageFixture m;
        QVERIFY(m.open());
        ManageFixture::select(m.w->RemoteFiles, {"c.txt", "a.txt", "b.txt"});
        m.fx.prompts.ExpectConfirm("Are you sure you want to delete the file(s) from the server?", "Delete Files?",
                                   true);
        m.trigger(TActionId::ActionDeleteRemote);
        // In row order, one after the other, then the relisting.
        QVERIFY2(m.waitSent({"DELE a.txt", "DELE b.txt", "DELE c.txt", "PWD", "LIST"}),
                 m.sent().join(" | ").constData());
        QVERIFY(m.w->DeleteQueue.empty());
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void deleteFilesNo()
    {
        ManageFixture m;
        QVERIFY(m.open());
        ManageFixture::select(m.w->RemoteFiles, {"a.txt", "b.txt"});
        m.fx.prompts.ExpectConfirm("Are you sure you want to delete the file(s) from the server?", "Delete Files?",
                                   false);
        m.trigger(TActionId::ActionDeleteRemote);
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
        QVERIFY(m.w->DeleteQueue.empty());
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void deleteStopsAtFailingFile()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.server.on("DELE", [&m](const QByteArray &arg) {
            m.fx.server.line(arg == "b.txt" ? "550 Permission denied." : "250 Delete operation successful.");
        });
        ManageFixture::select(m.w->RemoteFiles, {"a.txt", "b.txt", "c.txt"});
        m.fx.prompts.ExpectConfirm("Are you sure you want to delete the file(s) from the server?", "Delete Files?",
                                   true);
        m.trigger(TActionId::ActionDeleteRemote);
        QVERIFY(m.failedIdle("Error: 550 Permission denied."));
        SessionFixture::settle();
        QCOMPARE(m.sent(), (QList<QByteArray>{"DELE a.txt", "DELE b.txt"}));
        QVERIFY(m.w->DeleteQueue.empty());
        QVERIFY(m.w->Ftp1.Connected());
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void renameFile()
    {
        ManageFixture m;
        QVERIFY(m.open());
        ManageFixture::select(m.w->RemoteFiles, {"b.txt"});
        // Its own name, then Cancel (which gives the old name back): nothing is sent.
        m.fx.prompts.ExpectInput("Rename File", "New name for the file \"b.txt\":", "b.txt", QString("b.txt"));
        m.trigger(TActionId::ActionRenameRemoteFile);
        m.fx.prompts.ExpectInput("Rename File", "New name for the file \"b.txt\":", "b.txt", std::nullopt);
        m.trigger(TActionId::ActionRenameRemoteFile);
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
        m.fx.prompts.ExpectInput("Rename File", "New name for the file \"b.txt\":", "b.txt", QString("d.txt"));
        m.trigger(TActionId::ActionRenameRemoteFile);
        QVERIFY2(m.waitSent({"RNFR b.txt", "RNTO d.txt", "PWD", "LIST"}), m.sent().join(" | ").constData());
        // Two selected rows are one too many.
        ManageFixture::select(m.w->RemoteFiles, {"a.txt", "c.txt"});
        m.fx.prompts.ExpectError("You must have ONE file selected to rename.", "Rename Error");
        m.w->RenameRemoteFile();
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void chmodFiles_data()
    {
        QTest::addColumn<QList<int>>("boxes");
        QTest::addColumn<bool>("quote");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("755") << QList<int>{0, 1, 2, 3, 5, 6, 8} << false << QByteArray("SITE CHMOD 755 ");
        // Only "Readable" for others: the mode loses its leading zeros.
        QTest::newRow("others read") << QList<int>{6} << false << QByteArray("SITE CHMOD 4 ");
        // The word QUOTE goes to the server as the dialog's choice says.
        QTest::newRow("as quote") << QList<int>{0, 1, 3, 6} << true << QByteArray("QUOTE SITE CHMOD 644 ");
    }
    void chmodFiles()
    {
        QFETCH(QList<int>, boxes);
        QFETCH(bool, quote);
        QFETCH(QByteArray, prefix);
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.server.on("SITE", [&m](const QByteArray &) { m.fx.server.line("200 SITE CHMOD command ok."); });
        m.fx.server.on("QUOTE", [&m](const QByteArray &) { m.fx.server.line("200 Fine."); });
        ManageFixture::select(m.w->RemoteFiles, {"a.txt", "b.txt", "c.txt"});
        m.fx.prompts.ExpectDialog("TFormMod", [&](QDialog &d) {
            // Seeded from the first selected row's permissions.
            QVERIFY(d.findChild<QCheckBox *>("CheckBox1")->isChecked());
            QVERIFY(d.findChild<QCheckBox *>("CheckBox2")->isChecked());
            QVERIFY(!d.findChild<QCheckBox *>("CheckBox3")->isChecked());
            std::vector<int> v(boxes.begin(), boxes.end());
            for (int i = 0; i < 9; ++i)
                d.findChild<QCheckBox *>(QStringLiteral("CheckBox%1").arg(i + 1))
                    ->setChecked(std::find(v.begin(), v.end(), i) != v.end());
            d.findChild<QCheckBox *>("CheckQuote")->setChecked(quote);
            d.findChild<QPushButton *>("Button1")->click();
        });
        m.trigger(TActionId::ActionChmod);
        QVERIFY2(m.waitSent({prefix + "a.txt", prefix + "b.txt", prefix + "c.txt", "PWD", "LIST"}),
                 m.sent().join(" | ").constData());
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void chmodStopsAtFailingFile()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.server.on("SITE", [&m](const QByteArray &arg) {
            m.fx.server.line(arg.endsWith("b.txt") ? "550 SITE CHMOD command failed." : "200 SITE CHMOD command ok.");
        });
        ManageFixture::select(m.w->RemoteFiles, {"a.txt", "b.txt", "c.txt"});
        m.fx.prompts.ExpectDialog("TFormMod", chmodDrive({0, 1, 3, 6}));
        m.trigger(TActionId::ActionChmod);
        QVERIFY(m.failedIdle("Error: 550 SITE CHMOD command failed."));
        SessionFixture::settle();
        QCOMPARE(m.sent(), (QList<QByteArray>{"SITE CHMOD 644 a.txt", "SITE CHMOD 644 b.txt"}));
        QVERIFY(m.w->ChmodQueue.empty());
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void chmodDirAndNothingToDo()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.server.on("SITE", [&m](const QByteArray &) { m.fx.server.line("200 SITE CHMOD command ok."); });
        ManageFixture::select(m.w->RemoteDirs, {"sub"});
        m.fx.prompts.ExpectDialog("TFormMod", chmodDrive({0, 1, 2, 3, 5, 6, 8}));
        m.trigger(TActionId::ActionChmodDir);
        QVERIFY2(m.waitSent({"SITE CHMOD 755 sub", "PWD", "LIST"}), m.sent().join(" | ").constData());
        m.markNow();
        // No box ticked: nothing sent, nothing said. No row: the error box.
        ManageFixture::select(m.w->RemoteDirs, {"sub"});
        m.fx.prompts.ExpectDialog("TFormMod", chmodDrive({}));
        m.trigger(TActionId::ActionChmodDir);
        m.w->RemoteFiles->Selection()->clearSelection();
        m.fx.prompts.ExpectInfo("You didn't select a file to CHMOD!", "CHMOD Error");
        m.w->ChmodFiles("644", false);
        m.w->RemoteDirs->Selection()->clearSelection();
        m.fx.prompts.ExpectInfo("You didn't select a directory to CHMOD!", "CHMOD Error");
        m.w->ChmodDir("644", false);
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void directoryInformation()
    {
        ManageFixture m;
        QVERIFY(m.open());
        QString shown;
        m.fx.prompts.ExpectDialog("TFormDir", [&shown](QDialog &d) {
            shown = d.findChild<QPlainTextEdit *>("Memo1")->toPlainText();
            d.findChild<QPushButton *>("Button2")->click();
        });
        m.trigger(TActionId::ActionDirInfo);
        QVERIFY2(m.waitSent({"PWD", "LIST"}), m.sent().join(" | ").constData());
        QTRY_VERIFY(m.fx.prompts.Done());
        // The raw listing as the server sent it.
        QVERIFY2(shown.contains("-rw-r--r--    1 ftp      ftp      10 Jan 01 12:00 b.txt"), qPrintable(shown));
        QCOMPARE(shown.count('\n'), 3);
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void commandTextWithLineBreakIsRefused_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("text");
        QTest::newRow("mkdir LF") << int(TActionId::ActionMkdDir) << "Create Directory" << "Directory to create:"
                                  << "x\nDELE a.txt";
        QTest::newRow("mkdir CR") << int(TActionId::ActionMkdDir) << "Create Directory" << "Directory to create:"
                                  << "x\rDELE a.txt";
        QTest::newRow("mkdir NUL") << int(TActionId::ActionMkdDir) << "Create Directory" << "Directory to create:"
                                   << QString("x") + QChar(0) + "y";
        QTest::newRow("rename dir") << int(TActionId::ActionRenameDir) << "Rename Directory"
                                    << "New name for directory:" << "sub\r\nRMD sub";
        QTest::newRow("change dir") << int(TActionId::ActionChangeDir) << "Change Directory"
                                    << "Directory to change to:" << "/\nRMD sub";
    }
    void commandTextWithLineBreakIsRefused()
    {
        QFETCH(int, action);
        QFETCH(QString, title);
        QFETCH(QString, prompt);
        QFETCH(QString, text);
        ManageFixture m;
        QVERIFY(m.open());
        ManageFixture::select(m.w->RemoteDirs, {"sub"});
        const QString preset = action == int(TActionId::ActionRenameDir)   ? "sub"
                               : action == int(TActionId::ActionChangeDir) ? "/"
                                                                           : "";
        m.fx.prompts.ExpectInput(title, prompt, preset, text);
        m.fx.prompts.ExpectError(InvalidText, "Invalid Text");
        m.trigger(TActionId(action));
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
        QVERIFY(SessionFixture::idle(m.w));
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void renameFileWithLineBreakIsRefused()
    {
        ManageFixture m;
        QVERIFY(m.open());
        ManageFixture::select(m.w->RemoteFiles, {"a.txt"});
        m.fx.prompts.ExpectInput("Rename File", "New name for the file \"a.txt\":", "a.txt", QString("a\nDELE b.txt"));
        m.fx.prompts.ExpectError(InvalidText, "Invalid Text");
        m.trigger(TActionId::ActionRenameRemoteFile);
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void refusedRequestEndsTheOperation()
    {
        // A name the client will not put on a command line (a carriage return inside it)
        // ends the operation with the reason logged and the window idle.
        ManageFixture m;
        QVERIFY(m.open());
        m.w->RemoteDirs->Selection()->clearSelection();
        m.w->MakeRemoteDir(std::string("bad\rname"));
        QVERIFY(m.failedIdle("Error: Command refused: it contains a carriage return, line feed or NUL"));
        QCOMPARE(m.sent(), QList<QByteArray>{});
        QVERIFY(m.w->Ftp1.Connected());
    }

    void logReachesMemoInOrder()
    {
        // The log list has every line at once; the memo shows the same lines, in the
        // same order, a moment later.
        ManageFixture m;
        QVERIFY(m.open());
        for (int i = 0; i < 300; ++i) {
            m.w->LogLine(QString("line %1\tend").arg(i));
            QCOMPARE(m.w->LogList.last(), QString("line %1\\x09end").arg(i));
        }
        QTRY_COMPARE(m.w->MemoInfo->toPlainText(), m.w->LogList.join('\n'));
        m.w->LogLine("after");
        m.w->FlushLogMemo();
        QVERIFY(m.w->MemoInfo->toPlainText().endsWith("line 299\\x09end\nafter"));
    }

    void saveLog()
    {
        ManageFixture m;
        QVERIFY(m.open());
        const QString path = m.fx.dir.path() + "/session.log";
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old contents that are longer than anything\r\n");
        }
        m.fx.prompts.ExpectSaveFileName("", path);
        m.trigger(TActionId::ActionSaveLog);
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray written = f.readAll();
        // Exactly the lines shown, from the creation's "Initializing: " on, each with CR LF.
        QByteArray expected;
        for (const QString &l : m.w->LogList)
            expected += l.toUtf8() + "\r\n";
        QCOMPARE(written, expected);
        QVERIFY(written.startsWith("Initializing: "));
        QVERIFY(written.contains("\r\n--> PASS (Password hidden)\r\n"));
        QCOMPARE(m.w->MemoInfo->toPlainText().count('\n') + 1, m.w->LogList.size());
    }

    void saveLogFailureNamesFileAndReason()
    {
        ManageFixture m;
        QVERIFY(m.open());
        const QString path = m.fx.dir.path() + "/missing/folder/session.log";
        QString reason;
        QVERIFY(!WriteTextLines(path, {}, &reason));
        QVERIFY(!reason.isEmpty());
        m.fx.prompts.ExpectSaveFileName("", path);
        m.fx.prompts.ExpectError(SaveErrorText(path, reason), SaveErrorCaption);
        m.trigger(TActionId::ActionSaveLog);
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
        QVERIFY(!QFile::exists(path));
    }

    void vsftpd()
    {
        QString why;
        auto srv = StartRealServer("vsftpd", &why);
        if (!srv)
            QSKIP(qPrintable(why));
        SessionFixture fx;
        const QFileInfo folder(srv->localDir);
        for (const char *name : {"a.txt", "b.txt", "c.txt"}) {
            const QString path = srv->localDir + "/" + name;
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("content\n");
            f.close();
            QVERIFY(::chown(QFile::encodeName(path).constData(), folder.ownerId(), folder.groupId()) == 0);
        }
        fx.addProfile("Real", srv->remoteDir, 0, srv->port, srv->user, srv->password);
        TFormMdi *w = fx.quickConnect("Real");
        QVERIFY(SessionFixture::waitIdle(w));
        const auto idleIn = [w](const std::string &dir) {
            return QTest::qWaitFor([&] { return w->RemoteDir == dir && SessionFixture::idle(w); }, 10000);
        };

        // A new directory is entered; the raw CDUP comes back out of it.
        fx.prompts.ExpectInput("Create Directory", "Directory to create:", "", QString("made"));
        fx.main->Action(TActionId::ActionMkdDir)->trigger();
        QVERIFY(idleIn("/pub/made"));
        QVERIFY(QFileInfo(srv->localDir + "/made").isDir());
        fx.main->Action(TActionId::ActionCDUP)->trigger();
        QVERIFY(idleIn("/pub"));

        // Rename one file, delete two.
        ManageFixture::select(w->RemoteFiles, {"a.txt"});
        fx.prompts.ExpectInput("Rename File", "New name for the file \"a.txt\":", "a.txt", QString("z.txt"));
        fx.main->Action(TActionId::ActionRenameRemoteFile)->trigger();
        QTRY_VERIFY(SessionFixture::captions(w->RemoteFiles).contains("z.txt") && SessionFixture::idle(w));
        QVERIFY(QFile::exists(srv->localDir + "/z.txt"));
        ManageFixture::select(w->RemoteFiles, {"b.txt", "z.txt"});
        fx.prompts.ExpectConfirm("Are you sure you want to delete the file(s) from the server?", "Delete Files?", true);
        fx.main->Action(TActionId::ActionDeleteRemote)->trigger();
        QTRY_COMPARE(SessionFixture::captions(w->RemoteFiles), QStringList{"c.txt"});
        QVERIFY(!QFile::exists(srv->localDir + "/b.txt"));

        // Anonymous users may not change permissions: the refusal ends the operation.
        QVERIFY(SessionFixture::waitIdle(w));
        ManageFixture::select(w->RemoteFiles, {"c.txt"});
        fx.prompts.ExpectDialog("TFormMod", chmodDrive({0, 1, 3, 6}));
        fx.main->Action(TActionId::ActionChmod)->trigger();
        QTRY_VERIFY(w->RequestHandler() == &TFormMdi::Ftp1RequestDone && w->DirCombo->isEnabled());
        QVERIFY(w->LogList.filter(QRegularExpression("^Error: 5\\d\\d ")).size() == 1);
        QCOMPARE(w->LogList.filter(QRegularExpression("^--> +SITE CHMOD 644 c.txt$")).size(), 1);
        QVERIFY(w->Ftp1.Connected());

        // The directory goes again.
        ManageFixture::select(w->RemoteDirs, {"made"});
        fx.prompts.ExpectConfirm("Are you sure you want to delete the remote directory made?", "Delete Directory", true);
        fx.main->Action(TActionId::ActionRemoveDir)->trigger();
        QTRY_VERIFY(!QFileInfo::exists(srv->localDir + "/made") && SessionFixture::idle(w));
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }
};

QTEST_MAIN(TstChildFiles)
#include "tst_child_files.moc"
