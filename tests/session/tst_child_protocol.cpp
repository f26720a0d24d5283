// The operation protocol of the connection window: busy refusal, failures, Cancel in
// every phase, the idle time-out and the reconnect question, keep-alive, and windows
// closed from inside their own events.
#include <QDialog>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include "net/lookuphold.h"
#include "session/userpass.h"
#include "sessionfixture.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {
const QString BusyText = "Please wait for the current command to complete or open another connection. Would you "
                         "like to open another connection?";
const QString LostText = "The connection was lost, would you like to reconnect?";

// A connected, idle window on the scripted server serving "/" with one file.
TFormMdi *connected(SessionFixture &fx)
{
    if (!fx.startServer())
        return nullptr;
    fx.serveTree({{"/", unixFile("a.txt")}, {"/sub", unixFile("b.txt")}});
    fx.addProfile("Work");
    TFormMdi *w = fx.quickConnect("Work");
    return SessionFixture::waitIdle(w) ? w : nullptr;
}

void stallList(SessionFixture &fx)
{
    fx.server.on("LIST", [](const QByteArray &) {}); // never answers
}

void tick(TFormMdi *w, int n)
{
    for (int i = 0; i < n; ++i)
        w->TimeOutTimer();
}
} // namespace

class TstChildProtocol : public QObject {
    Q_OBJECT
private slots:
    void busyRefusal_data()
    {
        QTest::addColumn<bool>("another");
        QTest::newRow("No") << false;
        QTest::newRow("Yes opens the connection picker") << true;
    }
    void busyRefusal()
    {
        QFETCH(bool, another);
        SessionFixture fx;
        TFormMdi *w = connected(fx);
        QVERIFY(w);
        stallList(fx);
        QAction *refresh = fx.main->Action(TActionId::ActionRefreshRemote);
        const int before = fx.server.commands.size();
        refresh->trigger(); // PWD, PASV, LIST
        QVERIFY(QTest::qWaitFor([&] { return fx.server.commands.size() == before + 3; }, 5000));
        const int sent = fx.server.commands.size();
        QSignalSpy picker(fx.main->Action(TActionId::ActionNew), &QAction::triggered);
        fx.prompts.ExpectConfirm(BusyText, "Tarsel FTP Busy...", another);
        if (another)
            fx.prompts.ExpectDialog("TLogForm", [](QDialog &d) { d.reject(); });
        refresh->trigger();
        SessionFixture::settle();
        QCOMPARE(picker.size(), another ? 1 : 0);
        QCOMPARE(fx.server.commands.size(), sent); // never queued
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }

    void failedCommandKeepsSession()
    {
        // A 500 reply is the server's answer, not a lost connection.
        SessionFixture fx;
        TFormMdi *w = connected(fx);
        QVERIFY(w);
        fx.server.on("CWD", [&](const QByteArray &) { fx.server.line("500 Syntax error, command unrecognized."); });
        w->ChangeRemoteDir("sub");
        QVERIFY(SessionFixture::waitLog(w, "Error: 500 Syntax error, command unrecognized."));
        SessionFixture::settle();
        QVERIFY(w->Ftp1.Connected());
        QVERIFY(!w->ConnectionLost);
        QVERIFY(w->TimeOut.Enabled());
        QVERIFY(w->RequestHandler() == &TFormMdi::Ftp1RequestDone);
        QVERIFY(w->CancelHandler() == &TFormMdi::CancelBClick);
        QVERIFY(w->DirCombo->isEnabled());
        QCOMPARE(SessionFixture::captions(w->RemoteFiles), QStringList{"a.txt"}); // lists keep what they showed
    }

    void cancelWhileIdleCloses()
    {
        SessionFixture fx;
        TFormMdi *w = connected(fx);
        QVERIFY(w);
        w->CancelB->click();
        QVERIFY(SessionFixture::logHas(w, "Command/Connection Aborted!"));
        QVERIFY(!w->Ftp1.Connected());
        QVERIFY(w->ReconB->isEnabled());
        QCOMPARE(w->RemoteDirs->Model()->RowCount(), 0);
    }

    void cancelOrCloseWhileGreetingAwaited_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Close") << true;
    }
    void cancelOrCloseWhileGreetingAwaited()
    {
        QFETCH(bool, close);
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.server.greeting.clear();
        fx.addProfile("Work");
        QPointer<TFormMdi> w = fx.quickConnect("Work");
        QVERIFY(SessionFixture::waitLog(w, "Received response from: IP (127.0.0.1)"));
        if (close) {
            w->CloseB->click();
            QCOMPARE(fx.main->ConnectionCount(), 0);
            QVERIFY(QTest::qWaitFor([&] { return w.isNull(); }, 5000));
        } else {
            w->CancelB->click();
            SessionFixture::settle();
            QVERIFY(!w->Ftp1.Connected());
            QVERIFY(w->ReconB->isEnabled());
            QVERIFY(w->DirCombo->isEnabled());
            QVERIFY(!w->TimeOut.Enabled());
            // The reconnect button starts again.
            fx.server.greeting = "220 late\r\n";
            fx.serveTree({{"/", unixFile("a.txt")}});
            w->ReconB->click();
            QVERIFY(SessionFixture::waitIdle(w));
        }
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }

    // Cancel while the server's name is looked up (a lookup that never answers): the
    // connect ends with the window disconnected, idle, its handlers at their defaults,
    // and a later connect works.
    void cancelWhileNameIsLookedUp()
    {
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.serveTree({{"/", unixFile("a.txt")}});
        WSocketSetLookupHold([](const std::string &name) { return name == "held.invalid"; });
        const auto release = qScopeGuard([] { WSocketSetLookupHold({}); });
        fx.host = "held.invalid";
        fx.addProfile("Work");
        QPointer<TFormMdi> w = fx.quickConnect("Work");
        QVERIFY(w);
        QVERIFY(QTest::qWaitFor([&] { return w->Ftp1.State() == TFtpState::ftpDnsLookup; }, 5000));
        QVERIFY(!w->ReconB->isEnabled());
        w->CancelB->click();
        SessionFixture::settle();
        QVERIFY(!w->Ftp1.Connected());
        QCOMPARE(w->Ftp1.State(), TFtpState::ftpReady);
        QVERIFY(w->ReconB->isEnabled());
        QVERIFY(w->DirCombo->isEnabled());
        QVERIFY(!w->TimeOut.Enabled());
        QVERIFY(w->RequestHandler() == &TFormMdi::Ftp1RequestDone && w->CancelHandler() == &TFormMdi::CancelBClick);
        QCOMPARE(fx.server.commands.size(), 0);

        fx.host = "127.0.0.1";
        fx.addProfile("Work");
        w->ReconB->click();
        QVERIFY(SessionFixture::waitIdle(w));
        QCOMPARE(SessionFixture::captions(w->RemoteFiles), QStringList{"a.txt"});
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }

    void connectThatNeverCompletesTimesOut()
    {
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.server.greeting.clear();
        fx.addProfile("Work");
        SessionFixture::setting("TimeOut", 3);
        TFormMdi *w = fx.quickConnect("Work");
        QVERIFY(SessionFixture::waitLog(w, "Received response from: IP (127.0.0.1)"));
        tick(w, 2);
        QVERIFY(!SessionFixture::logHas(w, "Connection Timed Out!"));
        fx.prompts.ExpectInfo("The socket timed out waiting for a response from the server.", "Connect Time out");
        tick(w, 1);
        QVERIFY(SessionFixture::logHas(w, "Connection Timed Out!"));
        QVERIFY(SessionFixture::waitLog(w, "Error: Connect Time out!"));
        QVERIFY(!w->Ftp1.Connected());
        QVERIFY(w->ReconB->isEnabled());
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }

    void idleTimeOutThenReconnectQuestion_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes reconnects") << true;
        QTest::newRow("No stays closed") << false;
    }
    void idleTimeOutThenReconnectQuestion()
    {
        QFETCH(bool, yes);
        SessionFixture fx;
        SessionFixture::setting("TimeOut", 5);
        TFormMdi *w = connected(fx);
        QVERIFY(w);
        tick(w, 4);
        QVERIFY(w->Ftp1.Connected());
        tick(w, 1);
        QVERIFY(SessionFixture::logHas(w, "Connection Timed Out!"));
        QVERIFY(w->ConnectionLost);
        QVERIFY(!w->TimeOut.Enabled());
        QVERIFY(!w->Ftp1.Connected());
        QVERIFY(QTest::qWaitFor([&] { return !fx.server.controlConnected(); }, 5000));

        fx.server.commands.clear();
        fx.prompts.ExpectConfirm(LostText, "Reconnect?", yes);
        w->ChangeRemoteDir("sub");
        if (yes) {
            QVERIFY(SessionFixture::waitIdle(w));
            // The command itself is not carried out: the start directory is listed.
            QVERIFY(!fx.server.commands.contains("CWD sub"));
            QCOMPARE(QString::fromStdString(w->RemoteDir), QString("/"));
            QVERIFY(!w->ConnectionLost);
        } else {
            SessionFixture::settle();
            QVERIFY(fx.server.commands.isEmpty());
            QVERIFY(!w->Ftp1.Connected());
        }
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }

    void keepAlive_data()
    {
        QTest::addColumn<bool>("keepAlive");
        QTest::newRow("NOOPs at the interval") << true;
        QTest::newRow("neither pinged nor timed out") << false;
    }
    void keepAlive()
    {
        QFETCH(bool, keepAlive);
        SessionFixture fx;
        SessionFixture::setting("TimeOutDisable", 1);
        SessionFixture::setting("KeepAlive", keepAlive ? 1 : 0);
        SessionFixture::setting("Noop", 6);
        SessionFixture::setting("TimeOut", 3);
        TFormMdi *w = connected(fx);
        QVERIFY(w);
        const auto noops = [&] { return fx.server.commands.count("NOOP"); };
        tick(w, 5);
        SessionFixture::settle();
        QCOMPARE(noops(), 0);
        tick(w, 1);
        if (keepAlive) {
            QVERIFY(QTest::qWaitFor([&] { return noops() == 1 && w->Ftp1.State() == TFtpState::ftpReady; }, 5000));
            QCOMPARE(w->TimeOut.Tag, 0);
            tick(w, 6);
            QVERIFY(QTest::qWaitFor([&] { return noops() == 2 && w->Ftp1.State() == TFtpState::ftpReady; }, 5000));
        }
        // Ten minutes of idle seconds, each NOOP answered before the next tick.
        for (int i = 0; i < 600; ++i) {
            tick(w, 1);
            QVERIFY(QTest::qWaitFor([&] { return w->Ftp1.State() == TFtpState::ftpReady; }, 5000));
        }
        SessionFixture::settle();
        QVERIFY(w->Ftp1.Connected());
        QVERIFY(!SessionFixture::logHas(w, "Connection Timed Out!"));
        QCOMPARE(noops(), keepAlive ? 102 : 0);
    }

    void stalledRequestEndsInKeepAliveMode()
    {
        SessionFixture fx;
        SessionFixture::setting("TimeOutDisable", 1);
        SessionFixture::setting("KeepAlive", 1);
        SessionFixture::setting("Noop", 60);
        SessionFixture::setting("TimeOut", 10);
        TFormMdi *w = connected(fx);
        QVERIFY(w);
        stallList(fx);
        const int before = fx.server.commands.size();
        w->RefreshRemote(); // PWD, PASV, LIST
        QVERIFY(QTest::qWaitFor([&] { return fx.server.commands.size() == before + 3; }, 5000));
        tick(w, 9);
        QVERIFY(!SessionFixture::logHas(w, "Error: Timed out!"));
        fx.prompts.ExpectInfo("The connection timed out while waiting for data from the server.\n"
                              "Please try again or contact your server administrator.",
                              "Timed Out!");
        tick(w, 1);
        QVERIFY(SessionFixture::waitLog(w, "Error: Timed out!"));
        QVERIFY(w->DirCombo->isEnabled());
        QVERIFY(w->RequestHandler() == &TFormMdi::Ftp1RequestDone);
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }

    void closedFromItsSessionClosedEvent()
    {
        SessionFixture fx;
        QPointer<TFormMdi> w = connected(fx);
        QVERIFY(w);
        // Something inside the session-closed event closes the window.
        const auto original = w->Ftp1.OnSessionClosed.handler();
        w->Ftp1.OnSessionClosed = [&, original](TCustomFtpCli *s, int e) {
            original(s, e);
            fx.main->ActionCloseActiveExecute();
        };
        fx.server.dropControl();
        QVERIFY(QTest::qWaitFor([&] { return fx.main->ConnectionCount() == 0; }, 5000));
        QVERIFY(QTest::qWaitFor([&] { return w.isNull(); }, 5000));
    }

    void closedWhileCredentialsPromptOpen()
    {
        SessionFixture fx;
        QVERIFY(fx.startServer());
        fx.server.on("PASS", [&](const QByteArray &) { fx.server.line("530 Login incorrect."); });
        fx.addProfile("Work");
        QPointer<TFormMdi> w;
        fx.prompts.ExpectDialog("TFormUserPass", [&](QDialog &) {
            // The user closes the tab while the prompt is open; the prompt goes with it.
            fx.main->ActionCloseActiveExecute();
        });
        w = fx.quickConnect("Work");
        QVERIFY(w);
        QVERIFY(QTest::qWaitFor([&] { return w.isNull(); }, 10000));
        SessionFixture::settle();
        QCOMPARE(fx.server.commands.count("USER user"), 1);
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }
};

QTEST_MAIN(TstChildProtocol)
#include "tst_child_protocol.moc"
