// The raw commands of the Commands menu: each entry's line on the wire, its input box,
// what follows its completion, and the texts it refuses.
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QtTest>

#include "localbrowser/loctree.h"
#include "managefixture.h"
#include "session/localtarget.h"

using namespace tarsel;
using namespace tarsel::test;

Q_DECLARE_METATYPE(tarsel::TActionId)

class TstChildCommands : public QObject {
    Q_OBJECT
private slots:
    void entryLine_data()
    {
        QTest::addColumn<TActionId>("action");
        QTest::addColumn<QString>("title"); // empty: no input box
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QList<QByteArray>>("lines");
        using A = TActionId;
        QTest::newRow("CDUP") << A::ActionCDUP << "" << "" << "" << QList<QByteArray>{"CDUP", "PWD", "LIST"};
        QTest::newRow("CWD") << A::ActionCWD << "Send CWD Command" << "Type in the directory to change to:" << "sub"
                             << QList<QByteArray>{"CWD sub", "PWD", "LIST"};
        QTest::newRow("PWD") << A::ActionPWD << "" << "" << "" << QList<QByteArray>{"PWD", "LIST"};
        QTest::newRow("SYST") << A::ActionSYST << "" << "" << "" << QList<QByteArray>{"SYST"};
        // STAT goes with a trailing blank.
        QTest::newRow("STAT") << A::ActionSTAT << "" << "" << "" << QList<QByteArray>{"STAT "};
        QTest::newRow("HELP") << A::ActionHELP << "" << "" << "" << QList<QByteArray>{"HELP"};
        QTest::newRow("SITE") << A::ActionSITE << "Send SITE Command"
                              << "Type in the parameter pass to the server with the command:" << "IDLE 60"
                              << QList<QByteArray>{"SITE IDLE 60"};
        QTest::newRow("QUOTE") << A::ActionQuote << "Send Quote Command" << "Type in a command to send to the server:"
                               << "NOOP" << QList<QByteArray>{"NOOP"};
        QTest::newRow("SIZE") << A::ActionSIZE << "Send SIZE Command"
                              << "Type in the name of the file to retrieve the size of:" << "a.txt"
                              << QList<QByteArray>{"SIZE a.txt"};
    }
    void entryLine()
    {
        QFETCH(TActionId, action);
        QFETCH(QString, title);
        QFETCH(QString, prompt);
        QFETCH(QString, answer);
        QFETCH(QList<QByteArray>, lines);
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.server.on("SITE", [&m](const QByteArray &) { m.fx.server.line("200 SITE IDLE ok."); });
        m.fx.server.on("STAT", [&m](const QByteArray &) { m.fx.server.line("211 All fine."); });
        m.fx.server.on("HELP", [&m](const QByteArray &) {
            m.fx.server.reply("214-The following commands are recognized.\r\n CWD PWD\r\n214 Help OK.\r\n");
        });
        m.fx.server.files["a.txt"] = "0123456789";
        if (!title.isEmpty())
            m.fx.prompts.ExpectInput(title, prompt, "", answer);
        m.trigger(action);
        QVERIFY2(m.waitSent(lines), m.sent().join(" | ").constData());
        QVERIFY(m.w->RequestHandler() == &TFormMdi::RawCommandRequestDone);
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void cwdFollowsIntoTheDirectory()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.prompts.ExpectInput("Send CWD Command", "Type in the directory to change to:", "", QString("sub"));
        m.trigger(TActionId::ActionCWD);
        QTRY_COMPARE(SessionFixture::captions(m.w->RemoteFiles), QStringList{"inner.txt"});
        QCOMPARE(m.w->RemoteDir, std::string("/sub"));
    }

    void cdupAnsweredWith200()
    {
        // "200 CDUP command successful" is not a code the client accepts for CDUP, yet
        // the directory changed: the window lists it instead of reporting an error.
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.cwd = "/sub";
        m.fx.server.on("CDUP", [&m](const QByteArray &) {
            m.fx.cwd = "/";
            m.fx.server.line("200 CDUP command successful.");
        });
        m.trigger(TActionId::ActionCDUP);
        QVERIFY2(m.waitSent({"CDUP", "PWD", "LIST"}), m.sent().join(" | ").constData());
        QCOMPARE(m.w->RemoteDir, std::string("/"));
        for (const QString &l : m.w->LogList)
            QVERIFY2(!l.startsWith("Error:"), qPrintable(l));
    }

    void refusedCommandFails()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.prompts.ExpectInput("Send Quote Command", "Type in a command to send to the server:", "",
                                 QString("XYZZY"));
        m.trigger(TActionId::ActionQuote);
        QVERIFY(m.failedIdle("Error: 502 Command not implemented"));
        QCOMPARE(m.sent(), QList<QByteArray>{"XYZZY"});
        QVERIFY(m.w->Ftp1.Connected());
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void rawListRefreshesAndShows()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.tree["/"] += unixFile("new.txt");
        QString shown;
        m.fx.prompts.ExpectDialog("TFormDir", [&shown](QDialog &d) {
            shown = d.findChild<QPlainTextEdit *>("Memo1")->toPlainText();
            d.findChild<QPushButton *>("Button2")->click();
        });
        m.trigger(TActionId::ActionLIST);
        QVERIFY2(m.waitSent({"LIST"}), m.sent().join(" | ").constData());
        QTRY_VERIFY(m.fx.prompts.Done());
        QVERIFY(SessionFixture::captions(m.w->RemoteFiles).contains("new.txt"));
        QVERIFY(shown.contains(" new.txt"));
        QVERIFY(!m.w->ShowListingAfter);
    }

    void rawNlstShowsNamesAndKeepsLists()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.server.on("NLST", [&m](const QByteArray &) {
            m.fx.server.line("150 Here comes the name list.");
            m.fx.server.sendData("a.txt\r\nb.txt\r\nzzz\r\n", [&m] { m.fx.server.line("226 Done."); });
        });
        const QStringList before = SessionFixture::captions(m.w->RemoteFiles);
        QString shown;
        m.fx.prompts.ExpectDialog("TFormDir", [&shown](QDialog &d) {
            shown = d.findChild<QPlainTextEdit *>("Memo1")->toPlainText();
            d.findChild<QPushButton *>("Button2")->click();
        });
        m.trigger(TActionId::ActionNLST);
        QVERIFY2(m.waitSent({"NLST"}), m.sent().join(" | ").constData());
        QTRY_VERIFY(m.fx.prompts.Done());
        QCOMPARE(shown, QString("a.txt\nb.txt\nzzz"));
        QCOMPARE(SessionFixture::captions(m.w->RemoteFiles), before);
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void emptyOrCancelledSendsNothing()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.fx.prompts.ExpectInput("Send SITE Command", "Type in the parameter pass to the server with the command:", "",
                                 std::nullopt);
        m.trigger(TActionId::ActionSITE);
        m.fx.prompts.ExpectInput("Send Quote Command", "Type in a command to send to the server:", "", QString());
        m.trigger(TActionId::ActionQuote);
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void lineBreaksAreRefused_data()
    {
        QTest::addColumn<TActionId>("action");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("prompt");
        using A = TActionId;
        QTest::newRow("QUOTE") << A::ActionQuote << "Send Quote Command" << "Type in a command to send to the server:";
        QTest::newRow("CWD") << A::ActionCWD << "Send CWD Command" << "Type in the directory to change to:";
        QTest::newRow("SITE") << A::ActionSITE << "Send SITE Command"
                              << "Type in the parameter pass to the server with the command:";
        QTest::newRow("SIZE") << A::ActionSIZE << "Send SIZE Command"
                              << "Type in the name of the file to retrieve the size of:";
    }
    void lineBreaksAreRefused()
    {
        QFETCH(TActionId, action);
        QFETCH(QString, title);
        QFETCH(QString, prompt);
        ManageFixture m;
        QVERIFY(m.open());
        for (const QString &text : {QString("x\r\nDELE a.txt"), QString("x\nRMD sub"), QString("x") + QChar(0)}) {
            m.fx.prompts.ExpectInput(title, prompt, "", text);
            m.fx.prompts.ExpectError(InvalidText, "Invalid Text");
            m.trigger(action);
        }
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
        QVERIFY(SessionFixture::idle(m.w));
        TARSEL_VERIFY_PROMPTS(m.fx.prompts);
    }

    void rawTransfersStayInTheLocalFolder()
    {
        ManageFixture m;
        QVERIFY(m.open());
        const QString local = m.fx.dir.path() + "/local";
        QVERIFY(QDir().mkpath(local));
        QVERIFY(m.fx.main->GetLocTree().SetSelectedPathName(local));
        m.fx.server.files["../../evil.txt"] = "payload";
        // RETR: the typed name goes to the server, the file lands under its last component.
        m.fx.prompts.ExpectInput("Send RETR Command", "Type in the name of the file to retrieve from the server:", "",
                                 QString("../../evil.txt"));
        m.trigger(TActionId::ActionRETR);
        QTRY_VERIFY(QFile::exists(local + "/evil.txt") && m.w->DirCombo->isEnabled() && !m.w->TransferActive);
        QCOMPARE(m.sent(), (QList<QByteArray>{"SIZE ../../evil.txt", "RETR ../../evil.txt"}));
        QFile got(local + "/evil.txt");
        QVERIFY(got.open(QIODevice::ReadOnly));
        QCOMPARE(got.readAll(), QByteArray("payload"));
        QVERIFY(!QFile::exists(m.fx.dir.path() + "/evil.txt"));

        // STOR: read from the local folder, then the remote directory is listed again.
        m.markNow();
        QFile up(local + "/up.txt");
        QVERIFY(up.open(QIODevice::WriteOnly));
        up.write("hello");
        up.close();
        m.fx.prompts.ExpectInput("Send STOR Command", "Type in the name of the file to store on the server:", "",
                                 QString("up.txt"));
        m.trigger(TActionId::ActionSTOR);
        QVERIFY2(m.waitSent({"STOR up.txt", "PWD", "LIST"}), m.sent().join(" | ").constData());
        QCOMPARE(m.fx.server.files["up.txt"], QByteArray("hello"));

        // A name with nothing left of it after its last "/" is refused before anything is sent.
        m.markNow();
        m.fx.prompts.ExpectInput("Send RETR Command", "Type in the name of the file to retrieve from the server:", "",
                                 QString("a/.."));
        m.fx.prompts.ExpectError("The name \"a/..\" cannot be used in the local folder: " +
                                     QString::fromStdString(BadEntryName("..")),
                                 "Transfer Error");
        m.trigger(TActionId::ActionRETR);
        SessionFixture::settle();
        QCOMPARE(m.sent(), QList<QByteArray>{});
    }

    void quitClosesTheSession()
    {
        ManageFixture m;
        QVERIFY(m.open());
        m.trigger(TActionId::ActionQUIT);
        QTRY_VERIFY(!m.w->Ftp1.Connected());
        QCOMPARE(m.sent(), QList<QByteArray>{"QUIT"});
        QTRY_VERIFY(m.w->DirCombo->isEnabled());
    }
};

QTEST_MAIN(TstChildCommands)
#include "tst_child_commands.moc"
