#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "uikit/digitsfilter.h"
#include "uikit/displaytext.h"
#include "uikit/icons.h"
#include "uikit/inputdialog.h"
#include "uikit/qtprompts.h"
#include "uikit/scriptedprompts.h"

using namespace tarsel;

namespace {
// Answers the next modal widget once it is up: hands it to `act`.
void whenModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start();
}
} // namespace

class TestPrompts : public QObject {
    Q_OBJECT
private slots:
    void scriptAnswersInOrder()
    {
        TScriptedPrompts p;
        int before = 0;
        p.ExpectInfo("Saved.", "Info");
        p.ExpectConfirm("Delete?", "Delete", true).Before([&] { ++before; });
        p.ExpectConfirm("Really?", "Delete", false);
        p.ExpectInput("Rename", "New name:", "old", QString("new"));
        p.ExpectInput("Rename", "New name:", "old", std::nullopt);
        p.ExpectError("Failed.", "Error");
        p.ExpectSaveFileName("Save Log", "/tmp/log.txt");
        p.ExpectOpenUrl(QUrl("https://tarsel.example/"));
        IPrompts &i = p;
        i.InfoBox("Saved.", "Info");
        QVERIFY(i.ConfirmBox("Delete?", "Delete"));
        QCOMPARE(before, 1);
        QVERIFY(!i.ConfirmBox("Really?", "Delete"));
        QCOMPARE(i.InputBox("Rename", "New name:", "old"), QString("new"));
        QCOMPARE(i.InputBox("Rename", "New name:", "old"), QString("old")); // Cancel keeps the preset
        i.ErrorBox("Failed.", "Error");
        QCOMPARE(i.AskSaveFileName({"Save Log", "/tmp", "", {}}), QString("/tmp/log.txt"));
        i.OpenUrl(QUrl("https://tarsel.example/"));
        TARSEL_VERIFY_PROMPTS(p);
        QCOMPARE(p.Shown().size(), 8);
    }

    void scriptCatchesMistakes()
    {
        TScriptedPrompts p;
        p.InfoBox("surprise", "Oops"); // nothing expected
        p.ExpectError("A", "B");
        p.InfoBox("A", "B"); // wrong kind
        p.ExpectConfirm("Text", "Caption", true);
        QVERIFY(p.ConfirmBox("Other text", "Caption")); // wrong text still gets the answer
        p.ExpectInput("T", "P", "preset", QString("x"));
        p.InputBox("T", "P", "other preset");
        p.ExpectInfo("left", "over");
        QVERIFY(!p.Done());
        const QString r = p.Report();
        QVERIFY2(r.contains("Unexpected InfoBox [Oops] \"surprise\""), qPrintable(r));
        QVERIFY2(r.contains("Expected ErrorBox [B] \"A\"\n     got InfoBox [B] \"A\""), qPrintable(r));
        QVERIFY2(r.contains("got ConfirmBox [Caption] \"Other text\""), qPrintable(r));
        QVERIFY2(r.contains("expected preset \"preset\", got \"other preset\""), qPrintable(r));
        QVERIFY2(r.contains("Not shown: InfoBox [over] \"left\""), qPrintable(r));
        p.Reset();
        QVERIFY(p.Done());
    }

    void scriptDrivesRealDialog()
    {
        TScriptedPrompts p;
        TInputDialog dlg("Title", "Prompt", "preset");
        p.ExpectDialog("InputBox", [](QDialog &d) {
            QVERIFY(d.isVisible());
            d.findChild<QLineEdit *>("Edit")->setText("typed");
            d.findChild<QDialogButtonBox *>("Buttons")->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(p.ExecDialog(dlg), int(QDialog::Accepted));
        QCOMPARE(dlg.Text(), QString("typed"));
        // A drive that leaves the dialog open is a failure, and the dialog is rejected.
        p.SetDialogTimeout(100);
        p.ExpectDialog("InputBox", [](QDialog &) {});
        QCOMPARE(p.ExecDialog(dlg), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QVERIFY(p.Report().contains("still open"));
        p.Reset();
    }

    // A window closed while its prompt is open: the prompt gets the answer that does
    // nothing, whatever the script (or the user) would have answered, and the window's
    // later prompts are not shown at all.
    void dismissedOwnerGetsTheAnswerThatDoesNothing()
    {
        TScriptedPrompts p;
        QDialog dlg;
        dlg.setObjectName("Credentials");
        auto owned = std::make_unique<TOwnedPrompts>(p);
        p.ExpectConfirm("Reconnect?", "Lost", true).RunEventsFor(1).Before([&] { owned->DismissAll(); });
        QVERIFY(!owned->ConfirmBox("Reconnect?", "Lost"));
        QVERIFY(owned->Dismissed());
        QCOMPARE(p.Dismissals(), 1);
        // Nothing expected: a prompt shown now would be a failure.
        QCOMPARE(owned->InputBox("T", "P", "preset"), QString("preset"));
        QVERIFY(!owned->ConfirmBox("Again?", "Lost"));
        QCOMPARE(owned->ExecDialog(dlg), int(QDialog::Rejected));
        QVERIFY(owned->AskSaveFileName({"Save", "/tmp", "", {}}).isEmpty());
        TARSEL_VERIFY_PROMPTS(p);

        // Each kind, dismissed while open; destroying the owner dismisses too, and the
        // call in progress survives its owner.
        auto *o = new TOwnedPrompts(p);
        p.ExpectInput("Rename", "New name:", "old", QString("new")).Before([&] { delete o; });
        QCOMPARE(o->InputBox("Rename", "New name:", "old"), QString("old"));
        TOwnedPrompts d(p);
        bool driven = false;
        p.ExpectDialog("Credentials", [&](QDialog &) { driven = true; }).Before([&] { d.DismissAll(); });
        QCOMPARE(d.ExecDialog(dlg), int(QDialog::Rejected));
        QVERIFY(!driven);
        TOwnedPrompts f(p);
        p.ExpectSaveFileName("Save Log", "/tmp/log.txt").Before([&] { f.DismissAll(); });
        QVERIFY(f.AskSaveFileName({"Save Log", "/tmp", "", {}}).isEmpty());
        TARSEL_VERIFY_PROMPTS(p);
        QCOMPARE(p.Dismissals(), 4);
    }

    // Another window's prompt opened from inside a box is nested: a failure unless the
    // test expects it; dismissing one owner leaves the other's prompt alone.
    void nestedPrompts()
    {
        TScriptedPrompts p;
        TOwnedPrompts a(p);
        TOwnedPrompts b(p);
        p.ExpectConfirm("Delete?", "A", true).Before([&] { b.InfoBox("Lost connection", "B"); });
        p.ExpectInfo("Lost connection", "B");
        QVERIFY(a.ConfirmBox("Delete?", "A"));
        QCOMPARE(p.Failures().size(), 1);
        QVERIFY2(p.Failures().first().contains("InfoBox [B] \"Lost connection\" opened while ConfirmBox [A]"),
                 qPrintable(p.Report()));
        p.Reset();

        p.ExpectConfirm("Delete?", "A", true).Before([&] { QVERIFY(!b.ConfirmBox("Close?", "B")); });
        p.ExpectConfirm("Close?", "B", true).Nested().Before([&] { b.DismissAll(); });
        QVERIFY(a.ConfirmBox("Delete?", "A")); // only B's prompt was dismissed
        TARSEL_VERIFY_PROMPTS(p);

        // A box raised by a dialog's own buttons is not nested.
        QDialog dlg;
        dlg.setObjectName("Form");
        p.ExpectDialog("Form", [&](QDialog &d) {
            a.ErrorBox("Enter a name.", "Form");
            d.accept();
        });
        p.ExpectError("Enter a name.", "Form");
        QCOMPARE(a.ExecDialog(dlg), int(QDialog::Accepted));
        TARSEL_VERIFY_PROMPTS(p);
    }

    // Production boxes whose owner goes while they run: the box goes with its owner once,
    // the call returns the answer that does nothing.
    void ownerDestroyedDuringBox()
    {
        QPointer<QWidget> owner = new QWidget;
        owner->show();
        TQtPrompts prompts([&] { return owner.data(); });
        whenModal([&](QWidget *w) {
            QCOMPARE(w->parentWidget(), owner.data());
            delete owner.data();
        });
        QVERIFY(!prompts.ConfirmBox("Go on?", "Question"));
        QVERIFY(!owner);

        owner = new QWidget;
        whenModal([&](QWidget *w) {
            w->findChild<QLineEdit *>("Edit")->setText("typed");
            delete owner.data();
        });
        QCOMPARE(prompts.InputBox("Title", "Prompt", "preset"), QString("preset"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    // A caller's dialog parented to a page that is deleted while the dialog runs stays
    // alive for its caller (it would otherwise be destroyed twice).
    void callersDialogOutlivesItsPage()
    {
        QWidget top;
        QPointer<QWidget> page = new QWidget(&top);
        top.show();
        TQtPrompts prompts([&] { return &top; });
        QDialog dlg(page);
        whenModal([&](QWidget *w) {
            QCOMPARE(w, &dlg);
            delete page.data();
            QTimer::singleShot(0, &dlg, &QDialog::reject);
        });
        QCOMPARE(prompts.ExecDialog(dlg), int(QDialog::Rejected));
        QVERIFY(!page);
        QCOMPARE(dlg.parentWidget(), &top);

        // The page that stays gets its dialog back.
        page = new QWidget(&top);
        dlg.setParent(page, dlg.windowFlags());
        whenModal([&](QWidget *) { dlg.accept(); });
        QCOMPARE(prompts.ExecDialog(dlg), int(QDialog::Accepted));
        QCOMPARE(dlg.parentWidget(), page.data());
    }

    // Production prompts dismissed while open, and an owner destroyed inside its own
    // box: every kind closes with the answer that does nothing.
    void productionDismissal()
    {
        TQtPrompts shared([] { return nullptr; });
        TOwnedPrompts owned(shared);
        whenModal([&](QWidget *) { owned.DismissAll(); });
        QVERIFY(!owned.ConfirmBox("Go on?", "Question"));
        QVERIFY(!QApplication::activeModalWidget());

        auto *o = new TOwnedPrompts(shared);
        whenModal([&](QWidget *) { delete o; });
        QCOMPARE(o->InputBox("Title", "Prompt", "preset"), QString("preset"));

        // Somebody else's box is left open.
        TOwnedPrompts other(shared);
        QString shown;
        whenModal([&](QWidget *w) {
            other.DismissAll();
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box && box->isVisible());
            shown = box->text();
            box->button(QMessageBox::Yes)->click();
        });
        QVERIFY(shared.ConfirmBox("Mine", "Question"));
        QCOMPARE(shown, QString("Mine"));
    }

    void messageTextIsPlain()
    {
        // A server's text that looks like markup must be shown as it is.
        const QString hostile = "<b>Login OK</b><img src=x>";
        TQtPrompts prompts([] { return nullptr; });
        QString shown;
        Qt::TextFormat format = Qt::RichText;
        whenModal([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            shown = box->text();
            format = box->textFormat();
            box->button(QMessageBox::Yes)->click();
        });
        QVERIFY(prompts.ConfirmBox(hostile, "Server says"));
        QCOMPARE(shown, hostile);
        QCOMPARE(format, Qt::PlainText);

        whenModal([&](QWidget *w) {
            auto *label = w->findChild<QLabel *>("Prompt");
            QVERIFY(label);
            format = label->textFormat();
            w->findChild<QLineEdit *>("Edit")->setText("changed");
            w->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
        });
        format = Qt::RichText;
        QCOMPARE(prompts.InputBox("Title", hostile, "preset"), QString("preset"));
        QCOMPARE(format, Qt::PlainText);
    }

    void digitsOnly()
    {
        TScriptedPrompts p;
        QLineEdit edit;
        TDigitsOnlyFilter::Install(&edit, p);
        edit.show();
        QTest::keyClicks(&edit, "12");
        p.ExpectInfo("You can enter digits only in this field!", "Digits Only");
        QTest::keyClick(&edit, 'a');
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QTest::keyClick(&edit, Qt::Key_Left); // navigation is not refused
        QCOMPARE(edit.text(), QString("1"));
        edit.selectAll();
        edit.insert("4x"); // a paste that is not all digits changes nothing
        QCOMPARE(edit.text(), QString("1"));
        TARSEL_VERIFY_PROMPTS(p);
    }

    void displayText()
    {
        QCOMPARE(ToDisplay("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
        QCOMPARE(ToDisplay("caf\xe9"), QString::fromLatin1("caf\xe9"));
        QCOMPARE(FromDisplay(QString::fromUtf8("\xc3\xa9")), std::string("\xc3\xa9"));
        QLabel label;
        SetPlainText(&label, "<i>x</i>");
        QCOMPARE(label.textFormat(), Qt::PlainText);
    }

    void imageListsAreComplete()
    {
        icons::Init();
        for (int i = 0; i < icons::SmallImageCount; ++i)
            QVERIFY(!icons::SmallImage(i).pixmap(16, 16).isNull());
        for (int i = 0; i <= int(TImage::File); ++i)
            QVERIFY2(!icons::Icon(TImage(i)).pixmap(32, 32).isNull(), qPrintable(QString::number(i)));
    }
};

QTEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
