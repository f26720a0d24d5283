#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "dialogfixture.h"
#include "dialogs/preferences.h"

using namespace tarsel;
using tarsel::test::TDialogFixture;

namespace {
const QString S = "Settings";
const QStringList six = {"TimeOutDisable", "KeepAlive", "Noop", "TimeOut", "BufSize", "ShareAccess"};
} // namespace

class TestPreferences : public QObject {
    Q_OBJECT
    std::unique_ptr<TDialogFixture> m_f;

private slots:
    void init() { m_f = std::make_unique<TDialogFixture>(); }
    void cleanup()
    {
        TARSEL_VERIFY_PROMPTS(m_f->Prompts);
        m_f.reset();
    }

    void firstRunShowsTheDefaults()
    {
        TFormPref d(m_f->Prompts);
        d.show();
        QCOMPARE(d.windowTitle(), QString("Preferences"));
        QCOMPARE(d.EditBuffer->text(), QString("1514"));
        QCOMPARE(d.ComboShare->currentText(), QString("Do not deny access from other applications"));
        QCOMPARE(d.Time->text(), QString("30"));
        QCOMPARE(d.Noop->text(), QString("120"));
        QVERIFY(d.Time->isReadOnly());
        QVERIFY(d.UpDown1->isEnabled());
        QVERIFY(!d.CheckAlive->isEnabled());
        QVERIFY(!d.UpDown2->isEnabled());

        d.CheckTimeout->click();
        QVERIFY(!d.UpDown1->isEnabled());
        QVERIFY(d.CheckAlive->isEnabled());
        QVERIFY(d.UpDown2->isEnabled());
        QCOMPARE(d.Time->text(), QString("30")); // values are not changed
        d.CheckTimeout->click();
        QVERIFY(d.UpDown1->isEnabled());
        QVERIFY(!d.UpDown2->isEnabled());
    }

    void onlyTheActiveGroupIsLoaded_data()
    {
        QTest::addColumn<bool>("disabled");
        QTest::addColumn<int>("time");
        QTest::addColumn<int>("noop");
        QTest::newRow("time-out on") << false << 45 << 120;
        QTest::newRow("keep-alive on") << true << 30 << 60;
    }

    void onlyTheActiveGroupIsLoaded()
    {
        QFETCH(bool, disabled);
        QFETCH(int, time);
        QFETCH(int, noop);
        TReg::WriteBool(S, "TimeOutDisable", disabled);
        TReg::WriteBool(S, "KeepAlive", true);
        TReg::WriteInteger(S, "TimeOut", 45);
        TReg::WriteInteger(S, "Noop", 60);
        TReg::WriteInteger(S, "BufSize", 1024);
        TReg::WriteInteger(S, "ShareAccess", 2);
        TFormPref d(m_f->Prompts);
        d.show();
        QCOMPARE(d.CheckTimeout->isChecked(), disabled);
        QVERIFY(d.CheckAlive->isChecked());
        QCOMPARE(d.UpDown1->value(), time);
        QCOMPARE(d.UpDown2->value(), noop);
        QCOMPARE(d.EditBuffer->text(), QString("1024"));
        QCOMPARE(d.ComboShare->currentIndex(), 2);
        d.Button1->click();
        QVERIFY(!d.isVisible());
        // All six are written, those of the inactive group too.
        QCOMPARE(TReg::ReadInteger(S, "TimeOut"), time);
        QCOMPARE(TReg::ReadInteger(S, "Noop"), noop);
        QCOMPARE(TReg::ReadBool(S, "TimeOutDisable"), disabled);
        QCOMPARE(TReg::ReadInteger(S, "BufSize"), 1024);
        QCOMPARE(TReg::ReadInteger(S, "ShareAccess"), 2);
    }

    void upDownsStayInTheirRanges()
    {
        TReg::WriteBool(S, "TimeOutDisable", true);
        TReg::WriteInteger(S, "Noop", 1); // below what a connection would use
        TReg::WriteInteger(S, "ShareAccess", 7);
        TFormPref d(m_f->Prompts);
        d.show();
        QCOMPARE(d.UpDown2->value(), TFormPref::MinNoop);
        QCOMPARE(d.ComboShare->currentIndex(), 0); // an unknown mode shares like the first
        d.UpDown2->setValue(500);
        QCOMPARE(d.UpDown2->value(), 300);
        d.UpDown1->setEnabled(true);
        QTest::keyClick(d.UpDown1, Qt::Key_PageDown); // steps of ten
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(d.UpDown1, Qt::Key_Down);
        QCOMPARE(d.UpDown1->value(), 15);
        QTest::keyClicks(d.Time, "9"); // the field itself cannot be typed into
        QCOMPARE(d.UpDown1->value(), 15);
        d.UpDown1->setValue(0);
        QCOMPARE(d.UpDown1->value(), 1);
    }

    void bufferTakesDigitsOnly()
    {
        TFormPref d(m_f->Prompts);
        d.show();
        m_f->Prompts.ExpectInfo("You can enter digits only in this field!", "Digits Only");
        QTest::keyClicks(d.EditBuffer, "a");
        QCOMPARE(d.EditBuffer->text(), QString("1514"));
        QTest::keyClick(d.EditBuffer, Qt::Key_Backspace);
        QCOMPARE(d.EditBuffer->text(), QString("151"));
    }

    void badBufferIsRefusedBeforeAnyWrite_data()
    {
        QTest::addColumn<QString>("buffer");
        QTest::newRow("empty") << "";
        QTest::newRow("zero") << "0";
        QTest::newRow("below 512") << "511";
        QTest::newRow("above 1 MiB") << "1048577";
        QTest::newRow("beyond 32 bits") << "99999999999";
    }

    void badBufferIsRefusedBeforeAnyWrite()
    {
        QFETCH(QString, buffer);
        TFormPref d(m_f->Prompts);
        d.show();
        d.CheckTimeout->click();
        d.EditBuffer->setText(buffer);
        m_f->Prompts.ExpectInfo("The buffer size must be a number from 512 to 1048576.", "Buffer Size");
        d.Button1->click();
        QVERIFY(d.isVisible());
        for (const QString &name : six)
            QVERIFY2(!TReg::ValueExists(S, name), qPrintable(name));
        d.EditBuffer->setText("512");
        d.Button1->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(TReg::ReadInteger(S, "BufSize"), 512);
        QVERIFY(TReg::ReadBool(S, "TimeOutDisable"));
    }

    void cancelWritesNothing()
    {
        for (bool escape : {false, true}) {
            TFormPref d(m_f->Prompts);
            d.show();
            d.CheckTimeout->click();
            d.EditBuffer->setText("1000");
            if (escape)
                QTest::keyClick(&d, Qt::Key_Escape);
            else
                d.Button2->click();
            QVERIFY(!d.isVisible());
            for (const QString &name : six)
                QVERIFY2(!TReg::ValueExists(S, name), qPrintable(name));
        }
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
