// The connection window's connect sequence against the scripted server: the login log,
// the credentials prompt, the listing of each server type, the settings it reads, its
// temporary listing file, and the faults of the connect sequence.
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <sys/stat.h>

#include "session/userpass.h"
#include "sessionfixture.h"

using namespace tarsel;
using namespace tarsel::test;

class TstChildConnect : public QObject {
    Q_OBJECT
private slots:
    void loginSequence_data()
    {
        QTest::addColumn<QByteArray>("startDir");
        QTest::newRow("no start directory") << QByteArray();
        QTest::newRow("start directory") << QByteArray("/pub");
    }
    void loginSequence()
    {
        QFETCH(QByteArray, startDir);
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.serveTree({{"/", unixFile("a.txt")}, {"/pub", unixFile("b.txt") + unixFile("C.txt") + unixDir("sub")}});
        fx.addProfile("Work", startDir.toStdString());
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(w);
        QCOMPARE(w->Caption(), QString("Work"));
        QVERIFY(SessionFixture::waitIdle(w));

        QStringList verbs = SessionFixture::commandVerbs(fx.server);
        verbs.removeAll("PASV");
        verbs.removeAll("TYPE");
        QStringList expected{"USER", "PASS", "SYST", "PWD", "LIST"};
        if (!startDir.isEmpty())
            expected.insert(3, "CWD");
        QCOMPARE(verbs, expected);
        if (!startDir.isEmpty())
            QCOMPARE(fx.server.commands.at(3), "CWD " + startDir);

        // The log, in order.
        const QString port = QString::number(fx.server.port());
        const QStringList inOrder{
            "Attempting connection to account: Work",
            "Looking for DNS...",
            "Received response from: IP (127.0.0.1)",
            "<-- 220 Scripted server ready",
            "Connected to: 127.0.0.1 - IP (127.0.0.1) Port: " + port,
            "-->  USER user",
            "<-- 331 Password required",
            "--> PASS (Password hidden)",
            "<-- 230 Logged in",
            "-->  SYST",
            "<-- 215 UNIX Type: L8",
        };
        int at = -1;
        for (const QString &line : inOrder) {
            const int i = w->LogList.indexOf(line, at + 1);
            QVERIFY2(i > at, qPrintable("missing or out of order: " + line + "\n" + w->LogList.join('\n')));
            at = i;
        }
        QVERIFY(w->LogList.first().startsWith("Initializing: "));
        for (const QString &line : w->LogList)
            QVERIFY2(!line.contains("secret"), qPrintable(line));
        QVERIFY(fx.services->statuses.contains("1:Command: PASS (Hidden)"));
        for (const QString &s : fx.services->statuses)
            QVERIFY2(!s.contains("secret"), qPrintable(s));

        // The window shows the host, the directory and the listing.
        QCOMPARE(w->Caption(), QString("127.0.0.1"));
        QCOMPARE(fx.main->TabCon->tabText(0), QString("127.0.0.1"));
        QCOMPARE(QString::fromStdString(w->RemoteDir), startDir.isEmpty() ? QString("/") : QString(startDir));
        QCOMPARE(fx.main->StatusText(2), "Directory: " + QString::fromStdString(w->RemoteDir));
        QCOMPARE(SessionFixture::captions(w->RemoteDirs).first(), QString(".."));
        if (!startDir.isEmpty()) {
            QCOMPARE(SessionFixture::captions(w->RemoteFiles), QStringList({"b.txt", "C.txt"}));
            QCOMPARE(SessionFixture::captions(w->RemoteDirs), QStringList({"..", "sub"}));
        }
        QVERIFY(!w->ReconB->isEnabled());
        QVERIFY(w->TimeOut.Enabled());
        QVERIFY(fx.main->Action(TActionId::ActionRefreshRemote)->isEnabled());
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }

    void passwordHiddenInAnyCase()
    {
        // A command line holding the letters pass in any case never shows its text.
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.serveTree({{"/", unixDir("my pass words")}, {"/my pass words", unixFile("x")}});
        fx.addProfile("Work", "my pass words");
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(SessionFixture::waitIdle(w));
        // PASS and the CWD into the directory; its listing names no path, for the blanks.
        QCOMPARE(w->LogList.count("--> PASS (Password hidden)"), 2);
        QVERIFY(fx.services->statuses.count("1:Command: PASS (Hidden)") >= 2);
        for (const QString &line : w->LogList)
            QVERIFY2(!line.contains("-->  CWD"), qPrintable(line));
    }

    void secretCommandLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("status");
        QTest::newRow("raw pass in lower case") << QByteArray("pass secret") << "--> PASS (Password hidden)"
                                                << "1:Command: PASS (Hidden)";
        QTest::newRow("mixed case") << QByteArray("PaSs secret") << "--> PASS (Password hidden)"
                                    << "1:Command: PASS (Hidden)";
        QTest::newRow("account") << QByteArray("acct secret") << "--> ACCT (Password hidden)"
                                 << "1:Command: ACCT (Hidden)";
        QTest::newRow("plain command") << QByteArray("NOOP") << "-->  NOOP" << "1:Command: NOOP";
    }
    void secretCommandLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, logged);
        QFETCH(QString, status);
        SessionFixture fx;
        auto *w = TFormMdi::Create(*fx.services, "Nowhere", fx.seams);
        fx.main->AddConnectionWindow(w);
        std::string cmd = line.toStdString();
        std::string display = "> " + cmd;
        w->Ftp1Command(&w->Ftp1, cmd);
        w->Ftp1Display(&w->Ftp1, display);
        QCOMPARE(w->LogList.last(), logged);
        QCOMPARE(fx.services->statuses.last(), status);
        fx.main->RemoveConnectionTab(w);
    }

    void wrongPasswordThenPrompt_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK logs in") << true;
        QTest::newRow("Cancel stays disconnected") << false;
    }
    void wrongPasswordThenPrompt()
    {
        QFETCH(bool, ok);
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.serveTree({{"/", unixFile("a.txt")}});
        fx.server.on("PASS", [&](const QByteArray &arg) {
            fx.server.line(arg == "right" ? "230 Logged in" : "530 Login incorrect.");
        });
        fx.addProfile("Work");
        fx.prompts.ExpectDialog("TFormUserPass", [ok](QDialog &d) {
            auto &u = static_cast<TFormUserPass &>(d);
            QCOMPARE(u.windowTitle(), QString("Username/Password"));
            QCOMPARE(u.EditUser->text(), QString("user"));
            QCOMPARE(u.EditPass->echoMode(), QLineEdit::Password);
            if (ok) {
                u.EditUser->setText("other");
                u.EditPass->setText("right");
                u.Button1->click();
            } else {
                u.Button2->click();
            }
        });
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(w);
        if (ok) {
            QVERIFY(SessionFixture::waitIdle(w));
            QCOMPARE(fx.server.commands.mid(0, 4),
                     QList<QByteArray>({"USER user", "PASS secret", "USER other", "PASS right"}));
            // The profile keeps its own credentials.
            ProfileFile f(ProfileFilePath());
            QCOMPARE(ReadProfile(f, "Work").UserName, std::string("user"));
        } else {
            QVERIFY(QTest::qWaitFor([w] { return w->ReconB->isEnabled(); }, 10000));
            SessionFixture::settle();
            QVERIFY(!w->Ftp1.Connected());
            QCOMPARE(w->LogList.filter("Error:").size(), 0);
            QCOMPARE(w->RemoteDirs->Model()->RowCount(), 0);
        }
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }

    void credentialsPromptChecks_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty user") << "" << "pw" << false;
        QTest::newRow("empty password") << "joe" << "" << false;
        QTest::newRow("both") << "joe" << "pw" << true;
    }
    void credentialsPromptChecks()
    {
        QFETCH(QString, user);
        QFETCH(QString, pass);
        QFETCH(bool, accepted);
        TScriptedPrompts p;
        if (!accepted)
            p.ExpectInfo("You must enter a Username and Password.", "Need Username/Password");
        TFormUserPass d(p);
        d.show();
        d.EditUser->setText(user);
        d.EditPass->setText(pass);
        d.Button1->click();
        QCOMPARE(d.Cancelled, !accepted);
        QCOMPARE(d.isVisible(), !accepted);
        if (accepted) {
            QCOMPARE(d.EnteredUser, user);
            QCOMPARE(d.EnteredPassword, pass);
        } else {
            QCOMPARE(QApplication::focusWidget() == d.EditUser || !d.isActiveWindow(), true);
        }
        TARSEL_VERIFY_PROMPTS(p);
    }

    void listingOfEachServerType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QStringList>("dirs");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("unix") << 0
                              << unixFile("b.txt") + unixDir("zeta") + unixFile("C.txt") + unixFile("a.TXT") +
                                     "lrwxrwxrwx    1 ftp ftp 14 Jan 01 12:00 docs -> /usr/share/doc\r\n"
                              << QStringList{"..", "zeta", "docs -> /usr/share/doc"}
                              << QStringList{"a.TXT", "b.txt", "C.txt"};
        QTest::newRow("dos") << 2
                             << QByteArray("01-12-04  10:30AM       <DIR>          Old Stuff\r\n"
                                           "01-12-04  01:30PM   1234 report.doc\r\n"
                                           "01-12-04  01:30PM   12 Alpha.txt\r\n")
                             << QStringList{"..", "Old Stuff"} << QStringList{"Alpha.txt", "report.doc"};
        QTest::newRow("as400") << 4
                               << QByteArray("QSYS 77824 02/23/00 15:09:55 *LIB QGPL\r\n"
                                             "QPGMR *MEM MYLIB.FILE/MEMBER.MBR\r\n")
                               << QStringList{"..", "QGPL"} << QStringList{"MYLIB.FILE/MEMBER.MBR"};
        QTest::newRow("unknown type reads unix") << 42 << unixFile("x") << QStringList{".."} << QStringList{"x"};
    }
    void listingOfEachServerType()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, listing);
        QFETCH(QStringList, dirs);
        QFETCH(QStringList, files);
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.serveTree({{"/", listing}});
        fx.addProfile("Work", {}, type);
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(SessionFixture::waitIdle(w));
        QCOMPARE(SessionFixture::captions(w->RemoteDirs), dirs);
        QCOMPARE(SessionFixture::captions(w->RemoteFiles), files);
        QCOMPARE(w->FileSortColumn(), 0);
    }

    void refusedSystDoesNotEndLogin()
    {
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.serveTree({{"/", unixFile("a.txt")}});
        fx.server.on("SYST", [&](const QByteArray &) { fx.server.line("502 SYST not implemented"); });
        fx.addProfile("Work");
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(SessionFixture::waitIdle(w));
        QVERIFY(SessionFixture::logHas(w, "Error: 502 SYST not implemented"));
        QCOMPARE(SessionFixture::captions(w->RemoteFiles), QStringList{"a.txt"});
    }

    void settingsClamped_data()
    {
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<int>("noop");
        QTest::addColumn<int>("bufSize");
        QTest::addColumn<int>("wantTimeOut");
        QTest::addColumn<int>("wantNoop");
        QTest::addColumn<int>("wantBuf");
        QTest::newRow("missing") << 0 << 0 << 0 << 30 << 5 << 1514;
        QTest::newRow("negative") << -5 << -1 << -100 << 30 << 5 << 512;
        QTest::newRow("too small") << 1 << 2 << 100 << 1 << 5 << 512;
        QTest::newRow("too large") << 999999 << 999999 << 1000000000 << 3600 << 3600 << 1024 * 1024;
        QTest::newRow("in range") << 45 << 60 << 4096 << 45 << 60 << 4096;
    }
    void settingsClamped()
    {
        QFETCH(int, timeOut);
        QFETCH(int, noop);
        QFETCH(int, bufSize);
        QFETCH(int, wantTimeOut);
        QFETCH(int, wantNoop);
        QFETCH(int, wantBuf);
        SessionFixture fx;
        fx.addProfile("Work", {}, 0, 1);
        SessionFixture::setting("TimeOut", timeOut);
        SessionFixture::setting("Noop", noop);
        SessionFixture::setting("BufSize", bufSize);
        SessionFixture::setting("ShareAccess", 2);
        TFormMdi w(*fx.services, fx.seams);
        w.ApplyProfile("Work");
        QCOMPARE(w.Ftp1.Timeout(), wantTimeOut);
        QCOMPARE(w.NoopInterval, wantNoop);
        QCOMPARE(w.Ftp1.ControlSocket()->BufSize(), wantBuf);
        QCOMPARE(w.Ftp1.DataSocket()->BufSize(), wantBuf);
        QCOMPARE(w.Ftp1.ShareMode(), TFtpShareMode::ftpShareDenyWrite);
        QVERIFY(w.Ftp1.Passive());
        // Keep-alive mode: the client's time-out follows the NOOP interval.
        SessionFixture::setting("TimeOutDisable", 1);
        w.ApplyProfile("Work");
        QVERIFY(w.TimeOutDisabled);
        QCOMPARE(w.Ftp1.Timeout(), wantNoop + 2);
        QCOMPARE(w.RequestTimeout, wantTimeOut);
    }

    void temporaryListFiles()
    {
        SessionFixture fx;
        fx.addProfile("Work", {}, 0, 1);
        auto *a = TFormMdi::Create(*fx.services, "Work", fx.seams);
        auto *b = TFormMdi::Create(*fx.services, "Work", fx.seams);
        fx.main->AddConnectionWindow(a);
        fx.main->AddConnectionWindow(b);
        const QString fa = a->TempListFile;
        const QString fb = b->TempListFile;
        QVERIFY(fa != fb);
        for (const QString &f : {fa, fb}) {
            const QFileInfo fi(f);
            QVERIFY(fi.exists());
            QCOMPARE(fi.size(), 0);
            QVERIFY(fi.fileName().startsWith("lst"));
            QVERIFY(fi.fileName().endsWith(".tmp"));
            QCOMPARE(fi.absolutePath(), QFileInfo(DataFolder()).absolutePath());
            struct stat st{};
            QCOMPARE(::stat(QFile::encodeName(f).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0600);
        }
        // Closing saves the pane and column widths and removes the file.
        a->RemoteFiles->Details()->setColumnWidth(0, 222);
        a->RemoteFiles->Details()->setColumnWidth(1, 91);
        fx.main->RemoveConnectionTab(a);
        QVERIFY(!QFileInfo::exists(fa));
        QVERIFY(QFileInfo::exists(fb));
        QCOMPARE(TReg::ReadInteger("Settings", "Column1Size"), 222);
        QCOMPARE(TReg::ReadInteger("Settings", "Column2Size"), 91);
        QVERIFY(TReg::ReadInteger("Settings", "RemoteDirSize") >= 150);
        // The next window starts with them.
        TFormMdi c(*fx.services, fx.seams);
        QCOMPARE(c.RemoteFiles->Details()->columnWidth(0), 222);
        // Closing the main window closes every connection window.
        fx.main->close();
        QCOMPARE(fx.main->ConnectionCount(), 0);
        QVERIFY(!QFileInfo::exists(fb));
    }

    void temporaryFileCannotBeCreated()
    {
        // A data folder that cannot hold files (here: below a plain file) is reported,
        // not a crash; the listing then fails with a clear error.
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.serveTree({{"/", unixFile("a.txt")}});
        fx.addProfile("Work");
        QFile plain(fx.dir.path() + "/plain");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString profiles = ProfileFilePath();
        SetDataFolder(fx.dir.path() + "/plain/data");
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(w);
        w->ProfileFilePath = profiles; // the connection starts after this, from the event loop
        QVERIFY(w->TempListFile.isEmpty());
        QVERIFY(!w->LogList.filter("Error: Cannot create the temporary listing file").isEmpty());
        QVERIFY(SessionFixture::waitLog(w, "Error: No temporary listing file; the directory cannot be listed"));
        QVERIFY(w->Ftp1.Connected());
        QVERIFY(w->DirCombo->isEnabled());
    }

    void listingBounded_data()
    {
        QTest::addColumn<qint64>("maxLines");
        QTest::addColumn<qint64>("maxBytes");
        QTest::newRow("too many lines") << qint64(100) << qint64(1);
        QTest::newRow("too many bytes") << qint64(1000000) << qint64(2000);
    }
    void listingBounded()
    {
        QFETCH(qint64, maxLines);
        QFETCH(qint64, maxBytes);
        SessionFixture fx;
        QVERIFY(fx.startServer());
        QByteArray big;
        for (int i = 0; i < 150; ++i)
            big += unixFile("file" + QByteArray::number(i));
        fx.serveTree({{"/", big}});
        fx.addProfile("Work");
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(w);
        w->SetListingLimits({maxLines, maxBytes == 1 ? qint64(256) * 1024 * 1024 : maxBytes});
        QVERIFY(QTest::qWaitFor([w] { return !w->LogList.filter("Error: Listing too large").isEmpty(); }, 10000));
        QCOMPARE(w->RemoteFiles->Model()->RowCount(), 0);
        QCOMPARE(w->RemoteDirs->Model()->RowCount(), 0);
        QVERIFY(w->DirCombo->isEnabled());
    }

    void controlBytesEscaped()
    {
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.serveTree({{"/", unixFile("evil\x1b[2Jname") + unixDir(QByteArray("nul\0dir", 7))}});
        fx.server.greeting = "220 hello \x1b]0;pwned\x07 there\r\n";
        fx.addProfile("Work");
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(SessionFixture::waitIdle(w));
        QVERIFY(SessionFixture::logHas(w, "<-- 220 hello \\x1B]0;pwned\\x07 there"));
        const QAbstractItemModel *m = w->RemoteFiles->Model();
        QCOMPARE(m->data(m->index(0, 0), Qt::DisplayRole).toString(), QString("evil\\x1B[2Jname"));
        for (const QString &line : w->LogList)
            for (QChar c : line)
                QVERIFY(c.unicode() >= 0x20);
    }
};

QTEST_MAIN(TstChildConnect)
#include "tst_child_connect.moc"
