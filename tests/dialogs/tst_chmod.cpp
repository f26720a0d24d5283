#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "dialogs/chmod.h"
#include "uikit/scriptedprompts.h"

using namespace tarsel;

namespace {
// "rwxr-x---" to flags; any other letter than '-' is set.
TPermissionFlags flags(const char *nine)
{
    TPermissionFlags f{};
    for (int i = 0; i < 9; ++i)
        f[std::size_t(i)] = nine[i] != '-';
    return f;
}

QString flagText(const TPermissionFlags &f)
{
    QString s;
    for (int i = 0; i < 9; ++i)
        s += f[std::size_t(i)] ? QLatin1Char("rwxrwxrwx"[i]) : QLatin1Char('-');
    return s;
}
} // namespace

Q_DECLARE_METATYPE(QList<int>)

class TestChmod : public QObject {
    Q_OBJECT
private slots:
    void computeMode_data()
    {
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QString>("mode");
        QTest::newRow("design state") << "rw-r--r--" << "644";
        QTest::newRow("all") << "rwxrwxrwx" << "777";
        QTest::newRow("owner only") << "rwx------" << "700";
        QTest::newRow("group digit zero kept") << "rw----r--" << "604";
        QTest::newRow("no owner: two digits") << "---r--r--" << "44";
        QTest::newRow("no owner, others zero") << "---r-x---" << "50";
        QTest::newRow("others only: one digit") << "------r--" << "4";
        QTest::newRow("execute only") << "--------x" << "1";
        QTest::newRow("nothing: empty") << "---------" << "";
    }
    void computeMode()
    {
        QFETCH(QString, boxes);
        QFETCH(QString, mode);
        QCOMPARE(ComputeMode(flags(qPrintable(boxes))), mode);
    }

    void readPermissionText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("flags"); // empty: not read
        QTest::newRow("file") << "-rw-r--r--" << "rw-r--r--";
        QTest::newRow("directory") << "drwxr-x---" << "rwxr-x---";
        QTest::newRow("link") << "lrwxrwxrwx" << "rwxrwxrwx";
        QTest::newRow("nothing set") << "----------" << "---------";
        QTest::newRow("upper case letters") << "-RWXR-X---" << "rwxr-x---";
        QTest::newRow("setuid with execute") << "-rwsr-xr-x" << "rwxr-xr-x";
        QTest::newRow("setuid without execute") << "-rwSr--r--" << "rw-r--r--";
        QTest::newRow("setgid with execute") << "-rwxr-sr-x" << "rwxr-xr-x";
        QTest::newRow("setgid without execute") << "-rwxr-Sr--" << "rwxr--r--";
        QTest::newRow("sticky with execute") << "drwxrwxrwt" << "rwxrwxrwx";
        QTest::newRow("sticky without execute") << "drwxrwxrwT" << "rwxrwxrw-";
        QTest::newRow("letters out of place") << "-xwrxwrxwr" << "-w--w--w-";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("too short") << "rwxr-x" << "";
        QTest::newRow("flags without type") << "rwxr-xr-x" << "";
        QTest::newRow("one marker too many") << "-rw-r--r--+" << "";
        QTest::newRow("far too long") << "-rw-r--r-- 1 owner group" << "";
    }
    void readPermissionText()
    {
        QFETCH(QString, text);
        QFETCH(QString, flags);
        const auto got = ReadPermissionText(text);
        if (flags.isEmpty()) {
            QVERIFY(!got);
        } else {
            QVERIFY(got);
            QCOMPARE(flagText(*got), flags);
        }
    }

    void designState()
    {
        TFormMod d;
        QCOMPARE(d.windowTitle(), QStringLiteral("File Permissions"));
        QCOMPARE(flagText(d.Flags()), QStringLiteral("rw-r--r--"));
        QCOMPARE(d.Label3->text(), QStringLiteral("644"));
        QVERIFY(d.PermissionText.isEmpty());
        QVERIFY(d.ModeText.isEmpty());
        QVERIFY(d.Cancelled);
        QVERIFY(!d.CheckQuote->isChecked());
        QCOMPARE(d.Button1->text(), QStringLiteral("&OK"));
        QCOMPARE(d.Button2->text(), QStringLiteral("&Cancel"));
        QCOMPARE(d.ButHelp->text(), QStringLiteral("&Help"));
        // OK comes first in the tab order.
        QCOMPARE(d.Button1->nextInFocusChain(), static_cast<QWidget *>(d.Button2));
    }

    // The dialog driven as a user would: seeded, boxes clicked, a button pressed.
    void dialog_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::addColumn<QList<int>>("clicks"); // box numbers 1..9
        QTest::addColumn<bool>("quote");
        QTest::addColumn<QString>("press"); // "ok", "cancel", "escape"
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("mode");

        QTest::newRow("no seed") << "" << QList<int>{} << false << "ok" << false << "644";
        QTest::newRow("seed rwxr-x---") << "drwxr-x---" << QList<int>{} << false << "ok" << false << "750";
        QTest::newRow("seed with setuid and sticky") << "-rwsr-S--t" << QList<int>{} << false << "ok" << false
                                                     << "741";
        QTest::newRow("upper case seed") << "-RW-R-----" << QList<int>{} << false << "ok" << false << "640";
        QTest::newRow("short seed keeps defaults") << "rw-" << QList<int>{} << false << "ok" << false << "644";
        QTest::newRow("overlong seed keeps defaults") << "-rwxrwxrwx+" << QList<int>{} << false << "ok" << false
                                                      << "644";
        QTest::newRow("owner cleared") << "" << QList<int>{1, 2} << false << "ok" << false << "44";
        QTest::newRow("everything cleared") << "" << QList<int>{1, 2, 4, 7} << false << "ok" << false << "";
        QTest::newRow("others execute added") << "-rwxr-xr--" << QList<int>{9} << false << "ok" << false << "755";
        QTest::newRow("quote changes only the flag") << "" << QList<int>{} << true << "ok" << false << "644";
        QTest::newRow("cancel") << "-rwxrwxrwx" << QList<int>{1} << false << "cancel" << true << "";
        QTest::newRow("escape") << "" << QList<int>{3} << true << "escape" << true << "";
    }
    void dialog()
    {
        QFETCH(QString, seed);
        QFETCH(QList<int>, clicks);
        QFETCH(bool, quote);
        QFETCH(QString, press);
        QFETCH(bool, cancelled);
        QFETCH(QString, mode);

        TScriptedPrompts prompts;
        TFormMod d;
        d.PermissionText = seed;
        QString shownBeforePress;
        prompts.ExpectDialog("TFormMod", [&](QDialog &dlg) {
            auto &m = static_cast<TFormMod &>(dlg);
            for (int box : clicks)
                m.CheckBox[box - 1]->click();
            if (quote)
                m.CheckQuote->click();
            // The label always shows what OK would return.
            QCOMPARE(m.Label3->text(), ComputeMode(m.Flags()));
            shownBeforePress = m.Label3->text();
            if (press == "ok")
                m.Button1->click();
            else if (press == "cancel")
                m.Button2->click();
            else
                QTest::keyClick(&m, Qt::Key_Escape);
        });
        const int result = prompts.ExecDialog(d);
        TARSEL_VERIFY_PROMPTS(prompts);
        QCOMPARE(d.Cancelled, cancelled);
        QCOMPARE(result, cancelled ? int(QDialog::Rejected) : int(QDialog::Accepted));
        QCOMPARE(d.ModeText, mode);
        if (!cancelled) {
            QCOMPARE(shownBeforePress, mode);
            QCOMPARE(d.SendAsQuote, quote);
        }
    }

    // A second showing starts cancelled again, whatever the first ended with.
    void cancelledResetOnShow()
    {
        TScriptedPrompts prompts;
        TFormMod d;
        prompts.ExpectDialog("TFormMod", [](QDialog &dlg) { static_cast<TFormMod &>(dlg).Button1->click(); });
        prompts.ExpectDialog("TFormMod", [](QDialog &dlg) {
            QVERIFY(static_cast<TFormMod &>(dlg).Cancelled);
            dlg.close();
        });
        prompts.ExecDialog(d);
        QVERIFY(!d.Cancelled);
        prompts.ExecDialog(d);
        TARSEL_VERIFY_PROMPTS(prompts);
        QVERIFY(d.Cancelled);
    }
};

QTEST_MAIN(TestChmod)
#include "tst_chmod.moc"
