#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/settings/treg.h"

using namespace tarsel;
using State = TFormPlacement::State;

class TestTReg : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void init()
    {
        TReg::SetRootFolder(m_dir.path());
        QFile::remove(TReg::StorePath());
    }

    void storeLocation()
    {
        QCOMPARE(TReg::KeyPath(), QStringLiteral("\\Software\\Quendal\\Tarsel FTP\\"));
        QCOMPARE(TReg::StorePath(), m_dir.path() + QStringLiteral("/Quendal/Tarsel FTP.ini"));
        TReg::SetRootFolder(QString());
        QVERIFY(TReg::StorePath().endsWith(QStringLiteral("/Quendal/Tarsel FTP.ini")));
        TReg::SetRootFolder(m_dir.path());
    }

    void absentValuesAndReadsCreateNothing()
    {
        QCOMPARE(TReg::ReadString("Settings", "LastDir"), QString());
        QCOMPARE(TReg::ReadInteger("Settings", "LocalListSize"), 0);
        QCOMPARE(TReg::ReadBool("Settings", "TimeOutDisable"), false);
        QVERIFY(!QFile::exists(TReg::StorePath()));
        // The built-in sizes of a first run.
        using namespace settings;
        QCOMPARE(SizeOrDefault(TReg::ReadInteger(Section, "LocalListSize"), DefaultLocalListSize), 120);
        QCOMPARE(SizeOrDefault(-5, DefaultColumnSize), 80);
        QCOMPARE(SizeOrDefault(0, DefaultColumn1Size), 180);
        QCOMPARE(SizeOrDefault(200, DefaultLocalDirSize), 200);
    }

    void valuesRoundTrip()
    {
        TReg::WriteString("Settings", "LastDir", "/home/u/my files");
        TReg::WriteInteger("Settings", "BufSize", -4096);
        TReg::WriteBool("Settings", "KeepAlive", true);
        QCOMPARE(TReg::ReadString("Settings", "LastDir"), QStringLiteral("/home/u/my files"));
        QCOMPARE(TReg::ReadInteger("Settings", "BufSize"), -4096);
        QCOMPARE(TReg::ReadInteger("Settings", "KeepAlive"), 1);
        QVERIFY(TReg::ReadBool("Settings", "KeepAlive"));
        TReg::WriteBool("Settings", "KeepAlive", false);
        QVERIFY(!TReg::ReadBool("Settings", "KeepAlive"));
        // The groups are the sections of the store's INI file.
        QSettings raw(TReg::StorePath(), QSettings::IniFormat);
        QCOMPARE(raw.value("Settings/BufSize").toInt(), -4096);
    }

    void nonIntegerTextReadsAsAbsent_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("value");
        QTest::newRow("word") << "abc" << 0;
        QTest::newRow("beyond 32 bits") << "4294967296" << 0;
        QTest::newRow("number") << "42" << 42;
    }
    void nonIntegerTextReadsAsAbsent()
    {
        QFETCH(QString, stored);
        QFETCH(int, value);
        TReg::WriteString("Settings", "Noop", stored);
        QCOMPARE(TReg::ReadInteger("Settings", "Noop"), value);
    }

    void loadPlacement_data()
    {
        QTest::addColumn<QString>("stored"); // "MaxState,Left,Top,Width,Height"; "-" absent
        QTest::addColumn<int>("state");
        QTest::addColumn<QRect>("bounds");
        QTest::newRow("first run") << "-,-,-,-,-" << int(State::Maximized) << QRect(333, 199, 740, 540);
        QTest::newRow("maximised") << "1,10,10,800,600" << int(State::Maximized) << QRect(333, 199, 740, 540);
        QTest::newRow("normal") << "0,10,20,800,600" << int(State::Normal) << QRect(10, 20, 800, 600);
        QTest::newRow("normal, some bounds absent") << "0,-,5,-,700" << int(State::Normal)
                                                    << QRect(333, 5, 740, 700);
    }
    void loadPlacement()
    {
        QFETCH(QString, stored);
        QFETCH(int, state);
        QFETCH(QRect, bounds);
        const QStringList parts = stored.split(',');
        const char *names[] = {"MaxState", "Left", "Top", "Width", "Height"};
        for (int i = 0; i < 5; ++i)
            if (parts[i] != "-")
                TReg::WriteInteger("FormMain", names[i], parts[i].toInt());
        TFormPlacement p{State::Normal, 333, 199, 740, 540};
        TReg::LoadFormPlacement("FormMain", p);
        QCOMPARE(int(p.WindowState), state);
        QCOMPARE(QRect(p.Left, p.Top, p.Width, p.Height), bounds);
    }

    void savePlacement()
    {
        TReg::SaveFormPlacement("FormMain", {State::Normal, 1, 2, 700, 500});
        TReg::SaveFormPlacement("FormMain", {State::Minimized, 9, 9, 9, 9}); // keeps the earlier values
        TFormPlacement p{State::Normal, 0, 0, 0, 0};
        TReg::LoadFormPlacement("FormMain", p);
        QCOMPARE(int(p.WindowState), int(State::Normal));
        QCOMPARE(QRect(p.Left, p.Top, p.Width, p.Height), QRect(1, 2, 700, 500));

        TReg::SaveFormPlacement("FormMain", {State::Maximized, 5, 5, 5, 5});
        QVERIFY(TReg::ReadBool("FormMain", "MaxState"));
        QCOMPARE(TReg::ReadInteger("FormMain", "Left"), 1); // bounds are not written when maximised
    }
};

QTEST_GUILESS_MAIN(TestTReg)
#include "tst_treg.moc"
