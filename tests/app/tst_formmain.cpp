#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/settings/datafolder.h"
#include "app/settings/treg.h"
#include "app/tapplication.h"
#include "app/splash.h"
#include "app/startup.h"
#include "app/tformmain.h"
#include "common/exception.h"
#include "localbrowser/loclist.h"
#include "localbrowser/loctree.h"
#include "testchild.h"
#include "ftp/ftpcli.h"
#include "uikit/qtprompts.h"
#include "uikit/scriptedprompts.h"

using namespace tarsel;
using tarsel::test::TTestChild;

namespace {
// Actions that a connection window never disables.
// A stand-in window that asks through prompts of its own, as a connection window does,
// and checks after every prompt that it still exists and is not closing.
class TAskingChild : public TTestChild {
public:
    explicit TAskingChild(TFormMain &main) : TTestChild("Asking"), prompts(main.Prompts())
    {
        onFormClose = [this] { prompts.DismissAll(); };
    }

    struct Outcome {
        bool returned = false;
        bool windowAlive = false;
        int answer = -1;
    };
    // A handler that asks (a box, or a dialog of its own on the stack) and goes on.
    static void Ask(TAskingChild *window, bool dialog, Outcome &out)
    {
        const QPointer<QWidget> self(window);
        if (dialog) {
            QDialog dlg(window);
            dlg.setObjectName("TFormUserPass");
            out.answer = window->prompts.ExecDialog(dlg);
        } else {
            out.answer = window->prompts.ConfirmBox("Reconnect?", "Connection Lost");
        }
        out.returned = true;
        out.windowAlive = self;
        if (!self || window->formCloses > 0)
            return;
        ++window->goneOn;
    }

    TOwnedPrompts prompts;
    int goneOn = 0;
};

const QStringList alwaysEnabled = {
    "ActionNew", "ActionPreferences", "ActionNewProfile", "ActionProfiles", "ActionExit", "ActionNewLocalDir",
    "ActionRefreshLocal", "ActionListView", "ActionDetailView", "ActionLgIconView", "ActionSmIconView",
    "ActionAbout", "ActionHelpDefault", "ActionTarselOnline", "ActionQuendal", "ActionQuendalSupport"};
} // namespace

class TestFormMain : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    TScriptedPrompts m_prompts;

    QString data() const { return m_dir->path() + "/data"; }
    void writeProfiles(const QByteArray &text)
    {
        QFile f(data() + "/accounts.dat");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QStringList enabledActions(TFormMain &w)
    {
        QStringList on;
        for (QAction *a : w.findChildren<QAction *>())
            if (a->objectName().startsWith("Action") && a->isEnabled())
                on << a->objectName();
        on.sort();
        return on;
    }
    TTestChild *addChild(TFormMain &w, const QString &caption)
    {
        auto *c = new TTestChild(caption);
        w.AddConnectionWindow(c);
        return c;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(data());
        SetDataFolder(data());
        TReg::SetRootFolder(m_dir->path() + "/config");
        m_prompts.Reset();
    }
    void cleanup()
    {
        TARSEL_VERIFY_PROMPTS(m_prompts);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void firstStartDefaults()
    {
        TFormMain w(&m_prompts);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.isMaximized());
        QCOMPARE(w.LocalListSize(), 120);
        QCOMPARE(w.LocalDirSize(), 160);
        QVERIFY(!w.TabCon->isVisible());
        QCOMPARE(w.SplitMainColor(), w.WorkspaceColor());
        QCOMPARE(w.ComboQuick->count(), 0);
        QStringList expected = alwaysEnabled;
        expected.sort();
        QCOMPARE(enabledActions(w), expected); // Quick Connect too is off without profiles
        QCOMPARE(w.ProfileFilePath(), data() + "/accounts.dat");
        QVERIFY(w.HelpFilePath().endsWith("/ostrel3.hlp"));
        QVERIFY(!w.FirstShow());
    }

    void actionsCarryTheirTexts()
    {
        TFormMain w(&m_prompts);
        const auto check = [&](const char *name, const char *caption, const char *hint, const char *category) {
            QAction *a = w.Action(name);
            QVERIFY2(a, name);
            QCOMPARE(a->text(), QString(caption));
            QCOMPARE(a->property("hint").toString(), QString(hint));
            if (*hint)
                QCOMPARE(a->toolTip(), QString(hint));
            QCOMPARE(a->property("category").toString(), QString(category));
        };
        check("ActionQuickCon", "Quick Connect", "Quick Connect", "Connections");
        check("ActionProfiles", "Profiles...", "Edit Profiles", "Connections");
        check("ActionChangeDir", "Change Remote Directory...", "Change Directory", "Directories");
        check("ActionNewLocalDir", "New Local Directory", "Create Local Directory", "Directories");
        check("ActionDeleteRemote", "Delete Remote File(s)...", "Delete Remote File(s)", "Files");
        check("ActionBatchDelete", "Batch Delete...", "Batch Delete", "Batches");
        check("ActionDirInfo", "Remote Directory Information...", "Get Remote Directory Information", "Utilities");
        check("ActionQuote", "QUOTE", "", "Commands");
        check("ActionQUIT", "QUIT", "", "Commands");
        check("ActionDetailView", "Details View", "", "View");
        check("ActionQuendal", "Quendal Online", "Quendal Online", "Help");
        QCOMPARE(w.Action("ActionHelpDefault")->shortcut(), QKeySequence(Qt::Key_F1));
        QVERIFY(w.Action("ActionDetailView")->isChecked());
        QCOMPARE(w.findChildren<QAction *>(QRegularExpression("^Action")).size(), 51);
    }

    void lastShortcut_data()
    {
        QTest::addColumn<int>("stored"); // -2: absent
        QTest::addColumn<int>("selected");
        QTest::newRow("absent selects the first") << -2 << 0;
        QTest::newRow("second") << 1 << 1;
        QTest::newRow("beyond the list") << 5 << -1;
        QTest::newRow("none") << -1 << -1;
    }
    void lastShortcut()
    {
        QFETCH(int, stored);
        QFETCH(int, selected);
        writeProfiles("[Work]\r\nHostName=a\r\n[Home <b>]\r\nHostName=b\r\n");
        if (stored != -2)
            TReg::WriteInteger("Settings", "LastShortcut", stored);
        TFormMain w(&m_prompts);
        QCOMPARE(w.ComboQuick->count(), 2);
        QCOMPARE(w.ComboQuick->itemText(1), QString("Home <b>"));
        QCOMPARE(w.ComboQuick->currentIndex(), selected);
        w.UpdateCommandStates();
        QVERIFY(w.Action("ActionQuickCon")->isEnabled());
        // The profile manager saves, then asks the window to reload its names.
        writeProfiles("[Only]\r\n");
        w.LoadProfileNames();
        QCOMPARE(w.ComboQuick->count(), 1);
    }

    void commandStates_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("dirs");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("local");
        QTest::addColumn<QStringList>("more"); // enabled beyond the always-enabled ones
        const QStringList conn = {"ActionCloseActive", "ActionUpDir", "ActionChangeDir", "ActionMkdDir",
                                  "ActionRefreshRemote", "ActionBatchUpload", "ActionSaveLog", "ActionDirInfo",
                                  "ActionQuote", "ActionCWD", "ActionCDUP", "ActionPWD", "ActionHELP", "ActionSYST",
                                  "ActionSITE", "ActionLIST", "ActionNLST", "ActionSTOR", "ActionRETR", "ActionSTAT",
                                  "ActionSIZE", "ActionQUIT"};
        const QStringList dirs = {"ActionRenameDir", "ActionRemoveDir", "ActionBatchDownload", "ActionBatchDelete",
                                  "ActionChmodDir"};
        const QStringList files = {"ActionDownloadFile", "ActionDeleteRemote", "ActionChmod"};
        const QStringList oneFile = {"ActionRenameRemoteFile", "ActionResumeDown"};
        QTest::newRow("not connected, selections ignored") << false << 1 << 1 << 1 << QStringList{"ActionCloseActive"};
        QTest::newRow("connected, nothing selected") << true << 0 << 0 << 0 << conn;
        QTest::newRow("a directory") << true << 1 << 0 << 0 << conn + dirs;
        QTest::newRow("one file") << true << 0 << 1 << 0 << conn + files + oneFile;
        QTest::newRow("two files") << true << 0 << 2 << 0 << conn + files;
        QTest::newRow("one local item") << true << 0 << 0 << 1 << conn + QStringList{"ActionUploadFile", "ActionResumeUp"};
        QTest::newRow("two local items") << true << 0 << 0 << 2 << conn + QStringList{"ActionUploadFile"};
    }
    void commandStates()
    {
        QFETCH(bool, connected);
        QFETCH(int, dirs);
        QFETCH(int, files);
        QFETCH(int, local);
        QFETCH(QStringList, more);
        QTemporaryDir folder;
        QFile(folder.path() + "/a").open(QIODevice::WriteOnly);
        QFile(folder.path() + "/b").open(QIODevice::WriteOnly);
        TFormMain w(&m_prompts);
        QVERIFY(w.GetLocTree().SetSelectedPathName(folder.path()));
        QTRY_COMPARE(w.GetLocList().ItemCount(), 2);
        TTestChild *c = addChild(w, "Work");
        c->connected = connected;
        c->dirs = dirs;
        c->files = files;
        if (local >= 1)
            QVERIFY(w.GetLocList().SelectName("a"));
        if (local >= 2)
            QVERIFY(w.GetLocList().SelectName("b", true)); // selecting reaches UpdateCommandStates
        w.UpdateCommandStates();
        QStringList expected = alwaysEnabled + more;
        expected.sort();
        QCOMPARE(enabledActions(w), expected);
        QCOMPARE(w.SplitMainColor(), w.ButtonFaceColor());
    }

    // Until the first connection window, the client area tells how to connect.
    void startTextUntilTheFirstConnection()
    {
        TFormMain w(&m_prompts);
        w.show();
        QCOMPARE(w.ClientArea->currentWidget()->objectName(), QStringLiteral("StartText"));
        QVERIFY(w.ClientArea->currentWidget()->isVisible());
        TTestChild *a = addChild(w, "Alpha");
        QCOMPARE(w.ClientArea->currentWidget(), static_cast<QWidget *>(a));
        w.RemoveConnectionTab(a);
        QCOMPARE(w.ClientArea->currentWidget()->objectName(), QStringLiteral("StartText"));
    }

    // The platform appends an application display name to every window title; none is
    // set, so "Directory Error" stays exactly that.
    void boxTitlesGetNoSuffix()
    {
        SetApplicationNames();
        QCoreApplication::setApplicationName(QStringLiteral("probe"));
        const QString display = QGuiApplication::applicationDisplayName();
        SetApplicationNames();
        QCOMPARE(display, QStringLiteral("probe")); // follows the name: never set on its own
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Quendal"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Tarsel FTP"));
    }

    void emptyProfileNameGivesNoRow()
    {
        writeProfiles("[]\r\nHostName=nameless\r\n\r\n[Work]\r\nHostName=h\r\n");
        TFormMain w(&m_prompts);
        QCOMPARE(w.ComboQuick->count(), 1);
        QCOMPARE(w.ComboQuick->itemText(0), QStringLiteral("Work"));
    }

    void menusHaveMnemonics()
    {
        TFormMain w(&m_prompts);
        QStringList titles;
        for (QAction *a : w.menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"&Connections", "&View", "&Directories", "&Files", "&Batch", "&Utilities",
                                      "&Help"}));
    }

    void tabBookkeeping()
    {
        TFormMain w(&m_prompts);
        w.show();
        TTestChild *a = addChild(w, "Alpha");
        TTestChild *b = addChild(w, "Beta");
        TTestChild *c = addChild(w, "Gamma");
        QVERIFY(w.TabCon->isVisible());
        QCOMPARE(w.ActiveConnectionWindow(), static_cast<IConnectionWindow *>(c));
        QCOMPARE(w.ClientArea->currentWidget(), static_cast<QWidget *>(c));
        QCOMPARE(w.TabCon->tabText(2), QString("Gamma"));
        QVERIFY(!w.TabCon->tabIcon(0).isNull());

        b->SetCaption("ftp.example");
        w.UpdateConnectionTab(b);
        QCOMPARE(w.TabCon->tabText(1), QString("ftp.example"));

        // Choosing a tab makes its window the active one.
        w.TabCon->setCurrentIndex(0);
        QCOMPARE(w.ActiveConnectionWindow(), static_cast<IConnectionWindow *>(a));
        QCOMPARE(w.ClientArea->currentWidget(), static_cast<QWidget *>(a));

        // Closing one of several selects the last tab; closing runs once per window.
        QPointer<QWidget> gone(a);
        w.RemoveConnectionTab(a);
        w.RemoveConnectionTab(a);
        QCOMPARE(a->formCloses, 1);
        QTRY_VERIFY(gone.isNull());
        QCOMPARE(w.ConnectionCount(), 2);
        QCOMPARE(w.TabCon->currentIndex(), 1);
        QCOMPARE(w.ActiveConnectionWindow(), static_cast<IConnectionWindow *>(c));
        QCOMPARE(w.SplitMainColor(), w.ButtonFaceColor());

        w.Action("ActionCloseActive")->trigger();
        QCOMPARE(c->formCloses, 1);
        QCOMPARE(w.ActiveConnectionWindow(), static_cast<IConnectionWindow *>(b));

        // Closing the last hides the strip and gives SplitMain the workspace colour.
        w.RemoveConnectionTab(b);
        QVERIFY(!w.TabCon->isVisible());
        QCOMPARE(w.SplitMainColor(), w.WorkspaceColor());
        QVERIFY(!w.Action("ActionCloseActive")->isEnabled());
        QCOMPARE(w.ActiveConnectionWindow(), nullptr);
        w.Action("ActionCloseActive")->trigger(); // nothing to close: nothing happens
    }

    // The window's own event (its session closed, say) closes it: it is not destroyed
    // inside that handler, and the close nested in its FormClose runs once.
    void windowClosedFromItsOwnEvent()
    {
        TFormMain w(&m_prompts);
        TTestChild *c = addChild(w, "A");
        const QPointer<QWidget> self(c);
        int closes = 0;
        c->onFormClose = [&] {
            ++closes;
            w.RemoveConnectionTab(c);
        };
        bool handled = false;
        QTimer::singleShot(0, c, [&] {
            w.RemoveConnectionTab(c);
            c->SetCaption("closed"); // still its own object here
            handled = c->Caption() == "closed";
        });
        QTRY_VERIFY(handled);
        QCOMPARE(closes, 1);
        QCOMPARE(w.ConnectionCount(), 0);
        QTRY_VERIFY(self.isNull());
    }

    // A window deleted without its tab being closed takes its tab along.
    void windowDestroyedBehindTheMainWindow()
    {
        TFormMain w(&m_prompts);
        TTestChild *a = addChild(w, "A");
        TTestChild *b = addChild(w, "B");
        delete b;
        QCOMPARE(w.ConnectionCount(), 1);
        QCOMPARE(w.ActiveConnectionWindow(), static_cast<IConnectionWindow *>(a));
        delete a;
        QCOMPARE(w.ConnectionCount(), 0);
        QVERIFY(!w.TabCon->isVisible());
        w.CloseAllConnections();
    }

    // A window closed while one of its prompts is open: the prompt is dismissed with the
    // answer that does nothing, the window is destroyed (while the prompt is still open)
    // and its handler does not go on with the dead window.
    void windowClosedWhileItsPromptIsOpen_data()
    {
        QTest::addColumn<bool>("production");
        QTest::addColumn<bool>("dialog");
        QTest::newRow("scripted box") << false << false;
        QTest::newRow("scripted dialog") << false << true;
        QTest::newRow("production box") << true << false;
        QTest::newRow("production dialog") << true << true;
    }
    void windowClosedWhileItsPromptIsOpen()
    {
        QFETCH(bool, production);
        QFETCH(bool, dialog);
        TFormMain w(production ? nullptr : &m_prompts);
        w.show();
        auto *c = new TAskingChild(w);
        w.AddConnectionWindow(c);
        const QPointer<QWidget> self(c);
        const auto closeIt = [&] {
            w.Action(TActionId::ActionCloseActive)->trigger();
            QCOMPARE(c->formCloses, 1);
            // Destroyed now, while the prompt is open (a box's own loop may do this).
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(self.isNull());
        };
        if (production) {
            auto *timer = new QTimer(&w);
            connect(timer, &QTimer::timeout, [&, timer] {
                if (QApplication::activeModalWidget()) {
                    timer->stop();
                    closeIt();
                }
            });
            timer->start(5);
        } else if (dialog) {
            m_prompts.ExpectDialog("TFormUserPass", [](QDialog &d) { d.accept(); }).Before(closeIt);
        } else {
            m_prompts.ExpectConfirm("Reconnect?", "Connection Lost", true).Before(closeIt);
        }
        TAskingChild::Outcome out;
        TAskingChild::Ask(c, dialog, out);
        QVERIFY(out.returned);
        QVERIFY(!out.windowAlive);
        QCOMPARE(out.answer, dialog ? int(QDialog::Rejected) : 0);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(w.ConnectionCount(), 0);
    }

    // Handlers of actions catch what they throw and hand it to the application's
    // handler; the main loop's last resort is not needed.
    void actionHandlersCatch()
    {
        writeProfiles("[Work]\r\n");
        TFormMain w(&m_prompts);
        w.ComboQuick->setCurrentIndex(0);
        w.SetConnectionWindowFactory([](TFormMain &, const std::string &) -> IConnectionWindow * {
            throw FtpException("Cannot create the window");
        });
        m_prompts.ExpectError("Application Error: Cannot create the window", "Tarsel FTP Error");
        w.Action(TActionId::ActionQuickCon)->trigger(); // no event loop around: nothing else would catch
        TARSEL_VERIFY_PROMPTS(m_prompts);
    }

    void quickConnectOpensTheSelectedProfile()
    {
        writeProfiles("[Work]\r\n[caf\xe9]\r\n");
        TReg::WriteInteger("Settings", "LastShortcut", 1);
        TFormMain w(&m_prompts);
        w.show();
        std::string opened;
        w.SetConnectionWindowFactory([&](TFormMain &, const std::string &profile) -> IConnectionWindow * {
            opened = profile;
            return new TTestChild(QString::fromLatin1(profile.c_str()));
        });
        w.Action("ActionQuickCon")->trigger();
        QCOMPARE(opened, std::string("caf\xe9")); // the name's own bytes, not its display form
        QCOMPARE(w.ConnectionCount(), 1);
        QVERIFY(w.TabCon->isVisible());
        QVERIFY(w.Action("ActionCloseActive")->isEnabled()); // before it has connected
        w.ComboQuick->setCurrentIndex(-1);
        w.Action("ActionQuickCon")->trigger(); // no selection: nothing happens
        QCOMPARE(w.ConnectionCount(), 1);
    }

    void statusOnlyFromTheActiveWindow()
    {
        TFormMain w(&m_prompts);
        TTestChild *a = addChild(w, "A");
        TTestChild *b = addChild(w, "B");
        w.PostStatus(b, 1, "PWD");
        w.PostStatus(b, 2, "<b>/home</b>");
        QCOMPARE(w.StatusText(1), QString("PWD"));
        QCOMPARE(w.StatusText(2), QString("<b>/home</b>"));
        QCOMPARE(w.StatPanels[2]->textFormat(), Qt::PlainText);
        w.PostStatus(a, 1, "from a background window");
        w.PostStatus(b, 3, "no such panel");
        w.PostStatus(b, -1, "no such panel");
        QCOMPARE(w.StatusText(1), QString("PWD"));
        QCOMPARE(w.StatusText(0), QString());
    }

    // Redraws of the main window are spaced out, never dropped: after a burst of status
    // texts the last one is drawn, and a status text relays out nothing else.
    void statusTextsAreDrawn()
    {
        TFormMain w(&m_prompts);
        TTestChild *a = addChild(w, "A");
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        struct PaintCounter : QObject {
            int paints = 0;
            QString drawn;
            bool eventFilter(QObject *o, QEvent *e) override
            {
                if (e->type() == QEvent::Paint) {
                    ++paints;
                    drawn = static_cast<QLabel *>(o)->text();
                }
                return false;
            }
        } counter;
        w.StatPanels[1]->installEventFilter(&counter);
        w.PostStatus(a, 1, "PWD");
        QTRY_COMPARE(counter.drawn, QString("PWD"));
        const QRect before = w.StatPanels[1]->geometry();
        // Each text in its own turn of the event loop, as a connection window posts them.
        for (int i = 0; i < 200; ++i) {
            w.PostStatus(a, 1, QString("Command: RETR f%1.bin").arg(i));
            QCoreApplication::processEvents();
        }
        QCOMPARE(w.StatusText(1), QString("Command: RETR f199.bin"));
        QTRY_COMPARE(counter.drawn, QString("Command: RETR f199.bin"));
        QCOMPARE(w.StatPanels[1]->geometry(), before);
        w.PostStatus(a, 1, QString());
        QTRY_COMPARE(counter.drawn, QString());
    }

    void viewActionsReachOnlyTheActiveWindow()
    {
        TFormMain w(&m_prompts);
        TTestChild *a = addChild(w, "A");
        TTestChild *b = addChild(w, "B");
        w.Action("ActionLgIconView")->trigger();
        QCOMPARE(w.GetLocList().ViewStyle(), TViewStyle::LargeIcon);
        QCOMPARE(b->style, TViewStyle::LargeIcon);
        QCOMPARE(a->style, TViewStyle::Details);
        QVERIFY(w.Action("ActionLgIconView")->isChecked());
        QVERIFY(!w.Action("ActionDetailView")->isChecked());
        w.Action("ActionListView")->trigger();
        QCOMPARE(b->style, TViewStyle::List);
        QVERIFY(!w.Action("ActionLgIconView")->isChecked());
    }

    void settingsWrittenOnCloseAndReadOnShow()
    {
        QTemporaryDir folder;
        writeProfiles("[One]\r\n[Two]\r\n");
        TReg::SaveFormPlacement("FormMain", {TFormPlacement::State::Normal, 40, 50, 900, 700});
        {
            TFormMain w(&m_prompts);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QVERIFY(!w.isMaximized());
            QCOMPARE(w.size(), QSize(900, 700));
            QVERIFY(w.GetLocTree().SetSelectedPathName(folder.path()));
            w.SplitMain->setSizes({200, 300});
            w.SplitE->setSizes({250, 500});
            w.ComboQuick->setCurrentIndex(1);
            w.resize(800, 600);
            // Every connection window closes before the main window writes its settings.
            QList<TTestChild *> children;
            int closedBeforeSettings = 0;
            for (const char *name : {"One", "Two", "Three"}) {
                TTestChild *c = addChild(w, name);
                c->onFormClose = [&] { closedBeforeSettings += !TReg::ValueExists("Settings", "LocalListSize"); };
                children << c;
            }
            w.close();
            for (TTestChild *c : children)
                QCOMPARE(c->formCloses, 1);
            QCOMPARE(closedBeforeSettings, 3);
            QCOMPARE(w.ConnectionCount(), 0);
        }
        QCOMPARE(TReg::ReadString("Settings", "LastDir"), folder.path());
        QCOMPARE(TReg::ReadInteger("Settings", "LocalListSize"), 200);
        QCOMPARE(TReg::ReadInteger("Settings", "LocalDirSize"), 250);
        QCOMPARE(TReg::ReadInteger("Settings", "LastShortcut"), 1);
        QVERIFY(!TReg::ReadBool("FormMain", "MaxState"));
        QCOMPARE(TReg::ReadInteger("FormMain", "Width"), 800);
        QCOMPARE(TReg::ReadInteger("FormMain", "Height"), 600);

        TFormMain again(&m_prompts);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.size(), QSize(800, 600));
        QCOMPARE(again.LocalListSize(), 200);
        QCOMPARE(again.LocalDirSize(), 250);
        QCOMPARE(again.GetLocTree().GetSelectedPathName(), folder.path());
        QCOMPARE(again.ComboQuick->currentIndex(), 1);
        // Maximised at close: "MaxState" only; the stored bounds stay.
        again.showMaximized();
        QTRY_VERIFY(again.isMaximized());
        again.close();
        QVERIFY(TReg::ReadBool("FormMain", "MaxState"));
        QCOMPARE(TReg::ReadInteger("FormMain", "Width"), 800);
    }

    void minimisedCloseKeepsPlacement()
    {
        TReg::SaveFormPlacement("FormMain", {TFormPlacement::State::Normal, 10, 20, 700, 520});
        TFormMain w(&m_prompts);
        w.show();
        w.resize(990, 640);
        w.showMinimized();
        QTRY_VERIFY(w.isMinimized());
        w.close();
        QCOMPARE(TReg::ReadInteger("FormMain", "Width"), 700);
        QVERIFY(!TReg::ReadBool("FormMain", "MaxState"));
        QVERIFY(TReg::ValueExists("Settings", "LocalListSize")); // the rest is still written
        QVERIFY(!TReg::ValueExists("Settings", "LastShortcut"));  // no profiles: not written
    }

    void newLocalDirectory()
    {
        QTemporaryDir folder;
        TFormMain w(&m_prompts);
        w.show();
        QVERIFY(w.GetLocTree().SetSelectedPathName(folder.path()));
        w.Action("ActionNewLocalDir")->trigger();
        QVERIFY(QFileInfo(folder.path() + "/New Folder").isDir());
        QVERIFY(w.GetLocTree().SetSelectedPathName("/proc"));
        m_prompts.ExpectError("There was an error creating the directory.", "Directory Error");
        w.Action("ActionNewLocalDir")->trigger();
    }

    void profileDialogsRefillTheQuickConnectList()
    {
        TFormMain w(&m_prompts);
        w.show();
        QVERIFY(!w.Action("ActionQuickCon")->isEnabled());
        const auto fillWizard = [](QDialog &d, const QString &name) {
            d.findChild<QLineEdit *>("Edit_Name")->setText(name);
            d.findChild<QLineEdit *>("Edit_Host")->setText("h");
            d.findChild<QLineEdit *>("Edit_User")->setText("u");
            d.findChild<QLineEdit *>("Edit_Pass")->setText("p");
            for (int i = 0; i < 4; ++i)
                d.findChild<QPushButton *>("Button2")->click();
        };
        m_prompts.ExpectDialog("TFormNewAccount", [&](QDialog &d) { fillWizard(d, "One"); });
        w.Action("ActionNewProfile")->trigger();
        QCOMPARE(w.ComboQuick->count(), 1);
        QVERIFY(w.Action("ActionQuickCon")->isEnabled());

        m_prompts.ExpectDialog("TSettForm", [&](QDialog &d) {
            d.findChild<QListWidget *>("List_Prof")->setCurrentRow(0);
            d.findChild<QLineEdit *>("Edit_Name")->setText("Two");
            d.findChild<QPushButton *>("ButSave")->click();
            d.reject();
        });
        w.Action("ActionProfiles")->trigger();
        QCOMPARE(w.ComboQuick->count(), 2);

        m_prompts.ExpectDialog("TFormPref", [](QDialog &d) {
            d.findChild<QLineEdit *>("EditBuffer")->setText("1024");
            d.findChild<QPushButton *>("Button1")->click();
        });
        w.Action("ActionPreferences")->trigger();
        QCOMPARE(TReg::ReadInteger("Settings", "BufSize"), 1024);
    }

    void connectionPickerOpensTheChosenProfile()
    {
        writeProfiles("[Work]\r\nHostName=h\r\n\r\n[Home]\r\nHostName=g\r\n\r\n");
        TFormMain w(&m_prompts);
        w.show();
        std::string opened;
        w.SetConnectionWindowFactory([&](TFormMain &, const std::string &profile) -> IConnectionWindow * {
            opened = profile;
            return new TTestChild(QString::fromStdString(profile));
        });
        m_prompts.ExpectDialog("TLogForm", [](QDialog &d) { d.reject(); });
        w.Action("ActionNew")->trigger();
        QCOMPARE(w.ConnectionCount(), 0);

        // A profile made from the picker shows in the quick-connect list, and the
        // picked one gets its connection window.
        m_prompts.ExpectDialog("TLogForm", [](QDialog &d) {
            d.findChild<QPushButton *>("Button3")->click();
            d.findChild<QListWidget *>("List_Prof")->setCurrentRow(1); // Home, Three, Work
            d.findChild<QPushButton *>("Button1")->click();
        });
        m_prompts.ExpectDialog("TFormNewAccount", [](QDialog &d) {
            d.findChild<QLineEdit *>("Edit_Name")->setText("Three");
            d.findChild<QLineEdit *>("Edit_Host")->setText("h");
            d.findChild<QLineEdit *>("Edit_User")->setText("u");
            d.findChild<QLineEdit *>("Edit_Pass")->setText("p");
            for (int i = 0; i < 4; ++i)
                d.findChild<QPushButton *>("Button2")->click();
        });
        w.Action("ActionNew")->trigger();
        QCOMPARE(w.ComboQuick->count(), 3);
        QCOMPARE(opened, std::string("Three"));
        QCOMPARE(w.ConnectionCount(), 1);
    }

    void failedProfileSaveIsReported()
    {
        TFormMain w(&m_prompts);
        const QString path = m_dir->path() + "/missing/accounts.dat";
        ProfileFile pf(path);
        pf.WriteString("A", "HostName", "h");
        m_prompts.ExpectError("The profiles could not be saved.\n" + path + ": No such file or directory",
                              "Profile Error");
        QVERIFY(!pf.Save());
        QCOMPARE(pf.ReadString("A", "HostName", ""), std::string("h"));
    }

    void applicationException_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("busyRefusal");
        QTest::addColumn<bool>("shown");
        QTest::newRow("shown") << "Socket closed <b>now</b>" << false << true;
        QTest::newRow("busy client is silent") << "FTP component not ready" << true << false;
        // Recognised by its code, not by its text.
        QTest::newRow("same text, other error") << "FTP component not ready" << false << true;
    }
    void applicationException()
    {
        QFETCH(QString, message);
        QFETCH(bool, busyRefusal);
        QFETCH(bool, shown);
        TFormMain w(&m_prompts);
        if (shown)
            m_prompts.ExpectError("Application Error: " + message, "Tarsel FTP Error");
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bool ran = false;
        // Thrown from an event handler, caught at the event loop's entry.
        QTimer::singleShot(0, &w, [&] {
            ran = true;
            if (busyRefusal)
                throw FtpException(message.toStdString(), FtpException::TCode::NotReady);
            throw Exception(message.toStdString());
        });
        QTRY_VERIFY(ran);
        QTRY_COMPARE(m_prompts.Pending(), 0);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void splashCountsTheCreations()
    {
        auto *splash = new TfrmSplash;
        splash->SetInfo("Loading...Please wait...");
        splash->show();
        QCOMPARE(splash->size(), QSize(402, 157));
        QStringList seen;
        std::unique_ptr<TFormMain> w;
        const auto note = [&](const char *what) { return [&, what] { seen << what + (":" + splash->Info()); }; };
        RunCreations(splash,
                     {[&] {
                          seen << "main:" + splash->Info();
                          w = std::make_unique<TFormMain>(&m_prompts);
                      },
                      note("reg"), note("dlgs"), note("parser"), note("help")},
                     0);
        QCOMPARE(seen, (QStringList{"main:Loading...Please wait...", "reg:Loading...20%", "dlgs:Loading...40%",
                                    "parser:Loading...60%", "help:Loading...80%"}));
        QCOMPARE(splash->Info(), QString("Loading...100%"));
        // The first show of the main window closes the splash, which releases itself.
        QPointer<TfrmSplash> alive(splash);
        w->show();
        QVERIFY(!splash->isVisible());
        QTRY_VERIFY(alive.isNull());
    }

    void resizeSharesTheStatusBar()
    {
        TFormMain w(&m_prompts);
        TTestChild *c = addChild(w, "A");
        w.showNormal();
        w.resize(900, 600);
        const auto share = [&] { return (w.statusBar()->width() - 100) / 2; };
        QTRY_VERIFY(w.StatPanels[1]->width() <= share() && w.StatPanels[1]->width() > share() - 20);
        QCOMPARE(w.StatPanels[1]->maximumWidth(), share());
        QCOMPARE(w.StatPanels[2]->width(), w.StatPanels[1]->width());
        QVERIFY(c->realigns > 0);
        // The panels follow the window down again.
        w.resize(700, 520);
        QTRY_COMPARE(w.width(), 700);
        QTRY_COMPARE(w.StatPanels[1]->maximumWidth(), share());
        QVERIFY(w.StatPanels[1]->width() <= share());
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestFormMain t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_formmain.moc"
