#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include "app/settings/datafolder.h"
#include "app/settings/treg.h"
#include "app/tformmain.h"
#include "dialogs/chmod.h"
#include "dialogs/hlpmod.h"
#include "uikit/scriptedprompts.h"

using namespace tarsel;

namespace {
QString pageText(const QString &topic)
{
    QFile f(QStringLiteral(":/help/") + topic);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
} // namespace

class TestHelp : public QObject {
    Q_OBJECT
    THelpMod m_help;

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // Every topic a window of the program opens has its page, and it opens.
    void topicOpens_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("names"); // a text of the dialog the page must explain
        QTest::newRow("main window") << "root/default.html" << "Save Log";
        QTest::newRow("connection picker") << "root/login.html" << "Connect";
        QTest::newRow("profile manager") << "root/profilemgr.html" << "Profile Manager";
        QTest::newRow("profile wizard") << "root/newprofile.html" << "Profile Wizard";
        QTest::newRow("preferences") << "root/preferences.html" << "Disable Timeout setting";
        QTest::newRow("permissions") << "root/permissions.html" << "Send as QUOTE";
    }
    void topicOpens()
    {
        QFETCH(QString, topic);
        QFETCH(QString, names);
        QVERIFY(THelpMod::TopicExists(topic));
        QVERIFY(pageText(topic).contains(names));
        QWidget owner;
        THelpWindow *w = m_help.ShowHelpTopic(topic, &owner);
        QVERIFY(w);
        QCOMPARE(w->parentWidget(), &owner);
        QVERIFY(w->isWindow());
        QCOMPARE(w->CurrentTopic(), topic);
        QVERIFY(!w->Browser->documentTitle().isEmpty());
        QVERIFY(w->Browser->toPlainText().size() > 200);
        // The contents list marks the page shown.
        QVERIFY(w->Contents->currentItem());
        QCOMPARE(w->Contents->currentItem()->data(Qt::UserRole).toString(), topic);
    }

    void contentsListsEveryPageAndLinksResolve()
    {
        const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
        const QList<THelpTopic> topics = THelpMod::Topics();
        QCOMPARE(topics.first().Path, QStringLiteral("root/default.html"));
        for (const THelpTopic &t : topics) {
            QVERIFY2(THelpMod::TopicExists(t.Path), qPrintable(t.Path));
            const QString text = pageText(t.Path);
            QVERIFY2(text.contains("<title>" + t.Title + "</title>"), qPrintable(t.Path));
            for (auto m = href.globalMatch(text); m.hasNext();) {
                const QString target = m.next().captured(1);
                QVERIFY2(THelpMod::TopicExists("root/" + target), qPrintable(t.Path + " links to " + target));
            }
        }
    }

    void backForwardAndContents()
    {
        QWidget owner;
        THelpWindow *w = m_help.ShowHelpTopic("root/default.html", &owner);
        QVERIFY(!w->BackB->isEnabled());
        // Following a link in the page (the browser resolves it against the page).
        QVERIFY(w->Browser->toHtml().contains("login.html"));
        w->Browser->setSource(w->Browser->source().resolved(QUrl("login.html")));
        QCOMPARE(w->CurrentTopic(), QStringLiteral("root/login.html"));
        QVERIFY(w->BackB->isEnabled());
        // Choosing from the contents.
        QListWidgetItem *perm = w->Contents->findItems("File permissions", Qt::MatchExactly).value(0);
        QVERIFY(perm);
        emit w->Contents->itemClicked(perm);
        QCOMPARE(w->CurrentTopic(), QStringLiteral("root/permissions.html"));
        QVERIFY(w->windowTitle().endsWith("File permissions"));

        w->BackB->click();
        QCOMPARE(w->CurrentTopic(), QStringLiteral("root/login.html"));
        w->BackB->click();
        QCOMPARE(w->CurrentTopic(), QStringLiteral("root/default.html"));
        QVERIFY(!w->BackB->isEnabled());
        QVERIFY(w->ForwardB->isEnabled());
        w->ForwardB->click();
        QCOMPARE(w->CurrentTopic(), QStringLiteral("root/login.html"));
        w->HomeB->click();
        QCOMPARE(w->CurrentTopic(), QStringLiteral("root/default.html"));
    }

    // One help window per window that asks; it goes with its owner.
    void ownedByTheAskingWindow()
    {
        auto *owner = new QWidget;
        auto *inner = new QWidget(owner);
        THelpWindow *first = m_help.ShowHelpTopic("root/login.html", owner);
        THelpWindow *again = m_help.ShowHelpTopic("root/preferences.html", inner); // a control of the same window
        QCOMPARE(again, first);
        QCOMPARE(again->CurrentTopic(), QStringLiteral("root/preferences.html"));
        QWidget other;
        QVERIFY(m_help.ShowHelpTopic("root/login.html", &other) != first);
        QPointer<THelpWindow> alive(first);
        delete owner;
        QVERIFY(!alive);
    }

    // The permissions dialog's Help (and F1) opens its page over the dialog while it runs.
    void permissionsDialogHelp()
    {
        TScriptedPrompts prompts;
        TFormMod d;
        QPointer<THelpWindow> shown;
        prompts.ExpectDialog("TFormMod", [&](QDialog &dlg) {
            static_cast<TFormMod &>(dlg).ButHelp->click();
            shown = dlg.findChild<THelpWindow *>();
            QVERIFY(shown);
            QCOMPARE(shown->CurrentTopic(), QStringLiteral("root/permissions.html"));
            QVERIFY(shown->isVisible());
            dlg.reject();
        });
        prompts.ExecDialog(d);
        TARSEL_VERIFY_PROMPTS(prompts);
        QVERIFY(d.Cancelled);
    }

    void mainWindowHelpCommand()
    {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("data"));
        SetDataFolder(dir.filePath("data"));
        TReg::SetRootFolder(dir.filePath("config"));
        TScriptedPrompts prompts;
        TFormMain w(&prompts);
        QCOMPARE(w.Action(TActionId::ActionHelpDefault)->shortcut(), QKeySequence(Qt::Key_F1));
        w.Action(TActionId::ActionHelpDefault)->trigger();
        auto *help = w.findChild<THelpWindow *>();
        QVERIFY(help);
        QCOMPARE(help->CurrentTopic(), QStringLiteral("root/default.html"));
        TARSEL_VERIFY_PROMPTS(prompts);
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
