// Single-file transfers of a connection window against the scripted FTP server:
// uploads and downloads by command, double-click and drop, resumes both ways, the
// progress panel at known positions, cancel at every step, a server without SIZE and
// hostile names that must not become local paths.
#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QToolButton>
#include <unistd.h>

#include "transferfixture.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {
QStringList verbs(const ScriptedFtpServer &s, int from = 0)
{
    QStringList out;
    for (int i = from; i < s.commands.size(); ++i) {
        const QByteArray &c = s.commands[i];
        const int sp = c.indexOf(' ');
        out.append(QString::fromLatin1((sp < 0 ? c : c.left(sp)).toUpper()));
    }
    return out;
}
bool defaultHandlers(TFormMdi *w)
{
    return w->RequestHandler() == &TFormMdi::Ftp1RequestDone && w->CancelHandler() == &TFormMdi::CancelBClick;
}
} // namespace

class TestTransfer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Upload of two files by the command (a folder in the selection is refused with a
    // box), relisting after; download of two by double-click into the local folder.
    void uploadAndDownloadByCommand()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        const QByteArray a = TransferFixture::pattern(200000, 1);
        const QByteArray b = "plain text\r\n";
        QVERIFY(TransferFixture::writeFile(fx.local + "/a.bin", a));
        QVERIFY(TransferFixture::writeFile(fx.local + "/b.txt", b));
        QVERIFY(QDir().mkpath(fx.local + "/folder"));
        QVERIFY(fx.connect(server.port()));
        QVERIFY(fx.selectLocal({"a.bin", "b.txt", "folder"}));
        fx.prompts.ExpectInfo("The item folder is a folder, please use a batch operation to upload folders.",
                              "Folders Must Use Batch");
        const int before = server.commands.size();
        fx.main->UpdateCommandStates();
        QAction *upload = fx.main->Action("ActionUploadFile");
        QVERIFY(upload->isEnabled());
        upload->trigger();
        QVERIFY(QTest::qWaitFor([&] { return server.files.size() == 2 && fx.idle(); }, 15000));
        QVERIFY(fx.waitIdle());
        QVERIFY2(fx.prompts.Done(), qPrintable(fx.prompts.Report()));
        QCOMPARE(server.files["a.bin"], a);
        QCOMPARE(server.files["b.txt"], b);
        QCOMPARE(verbs(server, before), QStringList({"TYPE", "PASV", "STOR", "PASV", "STOR", "PWD", "PASV", "LIST"}));
        QVERIFY(fx.fileRow("a.bin") >= 0 && fx.fileRow("b.txt") >= 0); // relisted
        QVERIFY(defaultHandlers(fx.window) || fx.window->RequestHandler() == &TFormMdi::UploadRequestDone);
        QCOMPARE(fx.window->CancelHandler(), &TFormMdi::CancelBClick);

        // Download by double-click, in ASCII mode this time.
        QVERIFY(QFile::remove(fx.local + "/a.bin"));
        QVERIFY(QFile::remove(fx.local + "/b.txt"));
        fx.window->ComboMode->setCurrentIndex(1);
        QVERIFY(fx.selectFiles({"a.bin", "b.txt"}));
        const int before2 = server.commands.size();
        fx.window->RemoteFilesDblClick();
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(fx.local + "/b.txt") && fx.idle(); }, 15000));
        QVERIFY(fx.waitIdle());
        QCOMPARE(TransferFixture::readFile(fx.local + "/a.bin"), a);
        QCOMPARE(TransferFixture::readFile(fx.local + "/b.txt"), b);
        QCOMPARE(server.commands.value(before2), QByteArray("TYPE A"));
        QCOMPARE(verbs(server, before2),
                 QStringList({"TYPE", "SIZE", "PASV", "RETR", "SIZE", "PASV", "RETR"})); // no relisting
        QCOMPARE(fx.window->SizeSpeed->text(), QString());
        QVERIFY(!fx.logHasPrefix("Error: "));
    }

    // The panel at known positions of a download held open by the server, then a
    // cancel: one completion, the window idle, the handlers back, the partial file kept
    // and later resumed to the full content.
    void progressCancelAndResumeDownload()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        const QByteArray big = TransferFixture::pattern(5000, 3);
        server.files["big.bin"] = big;
        QVERIFY(fx.connect(server.port()));
        bool cancelSeen = false;
        server.on("RETR", [&](const QByteArray &) {
            server.line("150 Opening data connection");
            server.openData([&](QTcpSocket *s) {
                s->write(big.left(1000));
                // The client closes the data connection when it aborts.
                QObject::connect(s, &QTcpSocket::disconnected, &server, [&] {
                    cancelSeen = true;
                    server.line("426 Connection closed; transfer aborted.");
                });
            });
        });
        QVERIFY(fx.selectFiles({"big.bin"}));
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionDownloadFile")->trigger();
        // The client reports the count before each block it reads: a second block makes
        // the first one's count known.
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(fx.local + "/big.bin").size() == 1000; }, 15000));
        server.data()->write(big.mid(1000, 1));
        QVERIFY(QTest::qWaitFor([&] { return fx.window->TransferPosition == 1000; }, 15000));
        TFormMdi *w = fx.window;
        QCOMPARE(w->TransferTotal, qint64(5000));
        QVERIFY(w->Timer1.Enabled());
        QCOMPARE(w->TransferFile->text(), QString("Downloading: //big.bin")); // the root directory plus "/"
        QVERIFY(w->AsFile->text().startsWith("As File: "));
        QVERIFY(w->AsFile->text().endsWith("big.bin"));
        // 0.9 s in: the whole position is the rate.
        fx.clockMs += 900;
        w->Timer1Timer();
        QCOMPARE(w->SizeSpeed->text(), QString("1000 bytes of 5000 (8.00 Kbps)"));
        QCOMPARE(w->Timer->text(), QString("Remaining: 00:00:04"));
        QCOMPARE(w->Percent->text(), QString("20%"));
        QCOMPARE(w->Prog1->maximum(), 5000);
        QCOMPARE(w->Prog1->value(), 1000);
        // 2.5 s in: two whole seconds.
        fx.clockMs += 1600;
        w->Timer1Timer();
        QCOMPARE(w->SizeSpeed->text(), QString("1000 bytes of 5000 (4.00 Kbps)"));
        QCOMPARE(w->Timer->text(), QString("Remaining: 00:00:08"));

        QCOMPARE(w->CancelHandler(), &TFormMdi::CancelTransfer);
        w->CancelB->click();
        QCOMPARE(w->SizeSpeed->text(), QString("Transfer Cancelled"));
        QCOMPARE(w->TransferFile->text(), QString());
        QVERIFY(!w->Timer1.Enabled());
        // The abort reaches the client with the next block.
        server.data()->write(big.mid(1001, 500));
        QVERIFY(QTest::qWaitFor([&] { return fx.window->LogList.contains("Transfer cancelled"); }, 15000));
        QVERIFY(cancelSeen);
        QVERIFY(fx.waitIdle());
        QVERIFY(defaultHandlers(w));
        QCOMPARE(w->SizeSpeed->text(), QString("Transfer Cancelled"));
        const QByteArray part = TransferFixture::readFile(fx.local + "/big.bin");
        QVERIFY(part.size() >= 1000 && part.size() < 5000);
        QCOMPARE(part, big.left(part.size()));
        QVERIFY(w->Ftp1.Connected());

        // Resume: REST at the local size, the rest appended.
        server.on("RETR", [&](const QByteArray &arg) { server.defaultRetr(arg); });
        QVERIFY(fx.selectFiles({"big.bin"}));
        const int before = server.commands.size();
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionResumeDown")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return TransferFixture::readFile(fx.local + "/big.bin").size() == 5000; }, 15000));
        QVERIFY(fx.waitIdle());
        QCOMPARE(TransferFixture::readFile(fx.local + "/big.bin"), big);
        QVERIFY(server.commands.mid(before).contains("REST " + QByteArray::number(part.size())));
        QVERIFY(w->ResumeRemoteFile.empty());
        QCOMPARE(w->ResumeOffset, qint64(0));

        // A resume of a missing local file fetches it whole; of a complete one, nothing.
        QVERIFY(QFile::remove(fx.local + "/big.bin"));
        QVERIFY(fx.selectFiles({"big.bin"}));
        w->ResumeDownload();
        QVERIFY(QTest::qWaitFor([&] { return TransferFixture::readFile(fx.local + "/big.bin") == big; }, 15000));
        QVERIFY(fx.waitIdle());
        const int before3 = server.commands.size();
        QVERIFY(fx.selectFiles({"big.bin"}));
        w->ResumeDownload();
        QVERIFY(QTest::qWaitFor([&] { return server.commands.size() >= before3 + 2 && fx.idle(); }, 15000));
        TransferFixture::settle();
        QCOMPARE(verbs(server, before3), QStringList({"TYPE", "SIZE"}));
        QVERIFY(!fx.logHasPrefix("Error: "));
    }

    // A cancel while a step without data runs (here SIZE) ends the operation at that
    // step's reply: nothing more is sent.
    void cancelWhileWaitingForSize()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        server.files["a.txt"] = "abc";
        QVERIFY(fx.connect(server.port()));
        bool asked = false;
        server.on("SIZE", [&](const QByteArray &) { asked = true; });
        QVERIFY(fx.selectFiles({"a.txt"}));
        const int before = server.commands.size();
        fx.window->DownloadFiles();
        QVERIFY(QTest::qWaitFor([&] { return asked; }, 15000));
        fx.window->CancelB->click();
        server.line("213 3");
        QVERIFY(fx.waitLog("Transfer cancelled"));
        TransferFixture::settle();
        QVERIFY(fx.idle());
        QVERIFY(defaultHandlers(fx.window));
        QCOMPARE(verbs(server, before), QStringList({"TYPE", "SIZE"}));
        QVERIFY(!QFile::exists(fx.local + "/a.txt"));
    }

    // A server without SIZE still gives its files, with an unknown total on the panel;
    // a resume needs the size and says so.
    void downloadWithoutSize()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        const QByteArray content = TransferFixture::pattern(3000, 5);
        server.files["n.bin"] = content;
        QVERIFY(fx.connect(server.port()));
        server.on("SIZE", [&](const QByteArray &) { server.line("502 SIZE not implemented"); });
        QVERIFY(fx.selectFiles({"n.bin"}));
        fx.window->DownloadFiles();
        QVERIFY(QTest::qWaitFor([&] { return TransferFixture::readFile(fx.local + "/n.bin") == content; }, 15000));
        QVERIFY(fx.waitIdle());
        QVERIFY(!fx.logHasPrefix("Error: "));

        // An unreadable SIZE answer is no total either.
        server.on("SIZE", [&](const QByteArray &) { server.line("213 lots"); });
        QVERIFY(QFile::remove(fx.local + "/n.bin"));
        QVERIFY(fx.selectFiles({"n.bin"}));
        fx.window->DownloadFiles();
        QVERIFY(QTest::qWaitFor([&] { return TransferFixture::readFile(fx.local + "/n.bin") == content; }, 15000));
        QVERIFY(fx.waitIdle());

        server.on("SIZE", [&](const QByteArray &) { server.line("500 Unknown command"); });
        QVERIFY(fx.selectFiles({"n.bin"}));
        fx.window->ResumeDownload();
        QVERIFY(QTest::qWaitFor([&] { return fx.logHasPrefix("Error: The server did not give the size of n.bin"); },
                                15000));
        QVERIFY(fx.waitIdle());
        QVERIFY(defaultHandlers(fx.window));
    }

    // Names that must not become local paths are skipped with an error line each; the
    // good file still arrives and nothing is written outside the folder.
    void hostileNamesStayInside()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        const QString outside = fx.dir.path() + "/outside";
        QVERIFY(QDir().mkpath(outside));
        QVERIFY(::symlink(QFile::encodeName(outside + "/victim").constData(),
                          QFile::encodeName(fx.local + "/trap").constData()) == 0);
        server.files["good.txt"] = "good";
        server.files["../escape.txt"] = "bad";
        server.files["sub/../../x.txt"] = "bad";
        server.files["trap"] = "bad";
        server.files[QByteArray("nul\0name", 8)] = "bad";
        QVERIFY(fx.connect(server.port()));
        QList<QByteArray> names;
        for (const auto &[name, content] : server.files)
            names.append(name);
        QVERIFY(fx.selectFiles(names));
        fx.window->DownloadFiles();
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(fx.local + "/good.txt") && fx.idle(); }, 15000));
        QVERIFY(fx.waitIdle());
        QCOMPARE(TransferFixture::readFile(fx.local + "/good.txt"), QByteArray("good"));
        QVERIFY(!QFile::exists(fx.dir.path() + "/escape.txt"));
        QVERIFY(!QFile::exists(fx.dir.path() + "/x.txt"));
        QVERIFY(!QFile::exists(outside + "/victim"));
        int errors = 0;
        for (const QString &l : fx.window->LogList)
            if (l.startsWith("Error: Not downloading"))
                ++errors;
        QCOMPARE(errors, names.size() - 1);
        QVERIFY(fx.window->LogList.contains("Error: Not downloading \"trap\": a symbolic link there leads outside "
                                            "the chosen folder"));
        int retr = 0;
        for (const QByteArray &c : server.commands)
            retr += c.startsWith("RETR") ? 1 : 0;
        QCOMPARE(retr, 1);
    }

    // Resume upload sends the rest from the server's size; drops from the local list
    // upload, drops from elsewhere are refused, remote rows dropped on the local list
    // download (files) or explain the batch (directories).
    void resumeUploadAndDrops()
    {
        TransferFixture fx;
        ScriptedFtpServer server;
        QVERIFY(server.start());
        const QByteArray whole = TransferFixture::pattern(50000, 9);
        QVERIFY(TransferFixture::writeFile(fx.local + "/r.bin", whole));
        server.files["r.bin"] = whole.left(20000);
        QVERIFY(fx.connect(server.port()));
        QVERIFY(fx.selectLocal({"r.bin"}));
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionResumeUp")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return server.files["r.bin"].size() == whole.size() && fx.idle(); }, 15000));
        QVERIFY(fx.waitIdle());
        QCOMPARE(server.files["r.bin"], whole);
        QVERIFY(server.commands.contains("REST 20000"));
        QVERIFY(fx.window->ResumeFile.isEmpty());

        // A resume upload of a folder is refused.
        QVERIFY(QDir().mkpath(fx.local + "/dir.zip"));
        QVERIFY(fx.selectLocal({"dir.zip"}));
        fx.prompts.ExpectInfo("You can not resume the upload of a folder.", "Resume Error");
        fx.window->ActionResumeUpExecute();
        QVERIFY2(fx.prompts.Done(), qPrintable(fx.prompts.Report()));

        // Drag from the local list: a folder in the selection empties the drag.
        QVERIFY(TransferFixture::writeFile(fx.local + "/d1.txt", "one"));
        QVERIFY(TransferFixture::writeFile(fx.local + "/d2.txt", "two"));
        QVERIFY(QDir().mkpath(fx.local + "/plain"));
        QVERIFY(fx.selectLocal({"d1.txt", "plain"}));
        fx.prompts.ExpectInfo("The item plain is a folder, please use a batch operation to upload folders.",
                              "Folders Must Use Batch");
        TFormMdi::LocListStartDrag(*fx.main);
        QVERIFY2(fx.prompts.Done(), qPrintable(fx.prompts.Report()));
        QVERIFY(fx.main->DragList().isEmpty());
        QVERIFY(fx.selectLocal({"d1.txt", "d2.txt"}));
        TFormMdi::LocListStartDrag(*fx.main);
        QCOMPARE(fx.main->DragList().size(), 2);
        QObject *localView = fx.main->GetLocList().CurrentView();
        QVERIFY(fx.window->RemoteFilesDragOver(localView));
        QVERIFY(fx.window->RemoteFilesDragOver(&fx.main->GetLocTree()));
        QVERIFY(!fx.window->RemoteFilesDragOver(fx.window->MemoInfo));
        QVERIFY(!fx.window->RemoteFilesDragOver(fx.window->RemoteFiles->CurrentView()));
        // The drag's events reach the handlers through the views' filters; a foreign
        // source (another program's drag has none) is refused there.
        QAbstractItemView *filesPort = fx.window->RemoteFiles->CurrentView();
        QVERIFY(!fx.drop(nullptr, filesPort));
        QVERIFY(!fx.drop(fx.window->MemoInfo, filesPort));
        QVERIFY(fx.drop(localView, filesPort));
        QVERIFY(QTest::qWaitFor([&] { return server.files.count("d2.txt") == 1 && fx.idle(); }, 15000));
        QVERIFY(fx.waitIdle());
        QCOMPARE(server.files["d1.txt"], QByteArray("one"));

        // Onto a directory row: into that directory, then the upload.
        QVERIFY(TransferFixture::writeFile(fx.local + "/d3.txt", "three"));
        QVERIFY(fx.selectLocal({"d3.txt"}));
        TFormMdi::LocListStartDrag(*fx.main);
        const int cwdBefore = server.commands.size();
        QAbstractItemView *dirsPort = fx.window->RemoteDirs->CurrentView();
        const QPoint upRow = dirsPort->visualRect(dirsPort->model()->index(fx.dirRow(".."), 0)).center();
        QVERIFY(fx.drop(localView, dirsPort, upRow));
        QVERIFY(QTest::qWaitFor([&] { return server.files.count("d3.txt") == 1 && fx.idle(); }, 15000));
        QVERIFY(fx.waitIdle());
        QCOMPARE(server.commands.value(cwdBefore), QByteArray("CWD .."));
        QVERIFY(!fx.window->UploadAfterList);

        // Remote rows onto the local list.
        QObject *filesView = fx.window->RemoteFiles->CurrentView();
        QObject *dirsView = fx.window->RemoteDirs->CurrentView();
        QVERIFY(fx.window->LocListDragOver(filesView));
        QVERIFY(fx.window->LocListDragOver(dirsView));
        QVERIFY(!fx.window->LocListDragOver(localView));
        fx.prompts.ExpectInfo("To download the entire contents of a remote directory, please\nchange to that "
                              "directory and use the Batch Download operation.",
                              "Batch Operation?");
        QAbstractItemView *localPort = fx.main->GetLocList().CurrentView();
        QVERIFY(!fx.drop(localView, localPort));
        QVERIFY(fx.drop(dirsView, localPort));
        QVERIFY2(QTest::qWaitFor([&] { return fx.prompts.Done(); }, 5000), qPrintable(fx.prompts.Report()));
        QVERIFY(QFile::remove(fx.local + "/d1.txt"));
        QVERIFY(fx.selectFiles({"d1.txt"}));
        QVERIFY(fx.drop(filesView, localPort));
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(fx.local + "/d1.txt") && fx.idle(); }, 15000));
        QVERIFY(fx.waitIdle());
        QCOMPARE(TransferFixture::readFile(fx.local + "/d1.txt"), QByteArray("one"));
    }
};

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
