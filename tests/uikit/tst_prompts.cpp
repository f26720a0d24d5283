#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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
