// The transfer panel's figures at known positions, the shortening of paths for its
// labels, and the checks that keep server names inside the chosen local folder.
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

#include "session/localtarget.h"
#include "session/progresstext.h"

using namespace tarsel;

class TestTransferProgress : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void texts_data()
    {
        QTest::addColumn<qint64>("position");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("sizeSpeed");
        QTest::addColumn<QString>("remaining");
        QTest::addColumn<QString>("percent");
        // The share of the total, never above 100%.
        QTest::newRow("19 at 18") << qint64(18) << qint64(19) << qint64(0) << "18 bytes of 19 (0.14 Kbps)"
                                  << "Remaining: 00:00:00" << "94%";
        QTest::newRow("5 at 3") << qint64(3) << qint64(5) << qint64(0) << "3 bytes of 5 (0.02 Kbps)"
                                << "Remaining: 00:00:00" << "60%";
        // First second: the position itself is the rate; from 1 s on, position / seconds.
        QTest::newRow("first second") << qint64(51200) << qint64(204800) << qint64(900)
                                      << "51200 bytes of 204800 (409.60 Kbps)" << "Remaining: 00:00:03" << "25%";
        QTest::newRow("at one second") << qint64(51200) << qint64(204800) << qint64(1000)
                                       << "51200 bytes of 204800 (409.60 Kbps)" << "Remaining: 00:00:03" << "25%";
        QTest::newRow("two seconds") << qint64(51200) << qint64(204800) << qint64(2500)
                                     << "51200 bytes of 204800 (204.80 Kbps)" << "Remaining: 00:00:06" << "25%";
        // 1234 bytes/s: kilobits, not hundredths of bytes.
        QTest::newRow("1234 B/s") << qint64(1234) << qint64(1234 + 3725 * 1234) << qint64(1000)
                                  << QString("1234 bytes of %1 (9.87 Kbps)").arg(1234 + 3725 * 1234)
                                  << "Remaining: 01:02:05" << "0%";
        QTest::newRow("59 s left") << qint64(100) << qint64(100 + 59 * 100) << qint64(1000)
                                   << "100 bytes of 6000 (0.80 Kbps)" << "Remaining: 00:00:59" << "1%";
        QTest::newRow("Mbps") << qint64(2000000) << qint64(4000000) << qint64(1000)
                              << "2000000 bytes of 4000000 (16.00 Mbps)" << "Remaining: 00:00:01" << "50%";
        QTest::newRow("Gbps") << qint64(5368709120) << qint64(10737418240) << qint64(1000)
                                             << "5368709120 bytes of 10737418240 (42.95 Gbps)"
                                             << "Remaining: 00:00:01" << "50%";
        // Fewer bytes than whole seconds: a rate of 0 never divides.
        QTest::newRow("rate zero") << qint64(3) << qint64(100) << qint64(5000) << "3 bytes of 100 (0.00 Kbps)"
                                   << "Remaining: --:--:--" << "3%";
        // 5 GiB file, 64-bit positions.
        QTest::newRow("5 GiB") << qint64(4294967296) << qint64(5368709120) << qint64(4000)
                               << "4294967296 bytes of 5368709120 (8.59 Gbps)" << "Remaining: 00:00:01" << "80%";
        // No size from the server: bytes and speed only.
        QTest::newRow("unknown total") << qint64(1500) << qint64(-1) << qint64(1000) << "1500 bytes (12.00 Kbps)"
                                       << "" << "";
    }
    void texts()
    {
        QFETCH(qint64, position);
        QFETCH(qint64, total);
        QFETCH(qint64, elapsedMs);
        const TProgressTexts t = ProgressTexts(position, total, elapsedMs);
        QVERIFY(!t.Complete);
        QVERIFY(!t.Requesting);
        QTEST(t.SizeSpeed, "sizeSpeed");
        QTEST(t.Remaining, "remaining");
        QTEST(t.Percent, "percent");
    }

    void endsAndStarts()
    {
        QVERIFY(ProgressTexts(19, 19, 0).Complete);
        QCOMPARE(ProgressTexts(19, 19, 0).SizeSpeed, QString("Transfer Complete"));
        QVERIFY(ProgressTexts(0, 0, 0).Complete); // an empty file is done at once
        QVERIFY(ProgressTexts(0, 10, 0).Requesting);
        QCOMPARE(ProgressTexts(0, 10, 0).SizeSpeed, QString("Requesting Transfer..."));
        QVERIFY(ProgressTexts(0, -1, 0).Requesting);
        QCOMPARE(PercentOf(0, 0), 0);
        QCOMPARE(PercentOf(std::int64_t(1) << 62, (std::int64_t(1) << 62) + 1), 99);
        const TBarRange big = BarRange(std::int64_t(5) << 29, std::int64_t(5) << 30);
        QCOMPARE(big.Maximum, 1000000);
        QCOMPARE(big.Value, 500000);
        QCOMPARE(BarRange(18, 19).Maximum, 19);
        QCOMPARE(BarRange(18, 19).Value, 18);
    }

    void minimizeName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QChar>("sep");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("drive") << "C:\\Program Files\\App\\data\\file.txt" << QChar('\\')
                               << QStringList{"C:\\Program Files\\App\\data\\file.txt", "C:\\...\\App\\data\\file.txt",
                                              "C:\\...\\data\\file.txt", "C:\\...\\file.txt", "...\\file.txt",
                                              "file.txt"};
        QTest::newRow("unc") << "\\\\server\\share\\dir\\f.txt" << QChar('\\')
                             << QStringList{"\\\\server\\share\\dir\\f.txt", "\\...\\server\\share\\dir\\f.txt",
                                            "\\...\\share\\dir\\f.txt", "\\...\\dir\\f.txt", "\\...\\f.txt",
                                            "...\\f.txt", "f.txt"};
        QTest::newRow("posix") << "/home/user/down/file.bin" << QChar('/')
                               << QStringList{"/home/user/down/file.bin", "/.../user/down/file.bin",
                                              "/.../down/file.bin", "/.../file.bin", ".../file.bin", "file.bin"};
    }
    void minimizeName()
    {
        QFETCH(QString, path);
        QFETCH(QChar, sep);
        QFETCH(QStringList, steps);
        // Nothing fits: every form is tried in turn and the shortest is returned.
        QStringList tried;
        const QString got = MinimizeName(
            path,
            [&tried](const QString &s) {
                tried << s;
                return int(s.size());
            },
            0, sep);
        QCOMPARE(got, steps.last());
        QCOMPARE(tried, steps.mid(0, steps.size() - 1));
        // A width that fits a form stops there.
        const QString third = steps.value(2);
        QCOMPARE(MinimizeName(path, [&third](const QString &s) { return s == third ? 0 : 1; }, 0, sep), third);
    }

    void localNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain") << QByteArray("a.txt") << true;
        QTest::newRow("latin-1 bytes") << QByteArray("caf\xe9.txt") << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("dot") << QByteArray(".") << false;
        QTest::newRow("dotdot") << QByteArray("..") << false;
        QTest::newRow("slash") << QByteArray("../../etc/passwd") << false;
        QTest::newRow("absolute") << QByteArray("/etc/passwd") << false;
        QTest::newRow("nul") << QByteArray("a\0b", 3) << false;
        QTest::newRow("link out") << QByteArray("out") << false;
        QTest::newRow("dangling link") << QByteArray("dangling") << false;
        QTest::newRow("link in") << QByteArray("in") << true;
    }
    void localNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, ok);
        QTemporaryDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path() + "/root");
        QVERIFY(QDir().mkpath(tmp.path() + "/root/sub"));
        QVERIFY(::symlink(QFile::encodeName(tmp.path()).constData(), (root + "/out").constData()) == 0);
        QVERIFY(::symlink("/nonexistent/x", (root + "/dangling").constData()) == 0);
        QVERIFY(::symlink((root + "/sub").constData(), (root + "/in").constData()) == 0);
        std::string path;
        std::string why;
        const bool got = LocalChildPath(root.toStdString(), root.toStdString(), name.toStdString(), path, why);
        QCOMPARE(got, ok);
        QCOMPARE(why.empty(), ok);
        if (ok)
            QCOMPARE(QByteArray::fromStdString(path), root + "/" + name);
        // A folder outside the root is refused whatever the name.
        QVERIFY(!LocalChildPath(root.toStdString(), QFile::encodeName(tmp.path()).toStdString(), "a", path, why));
    }
};

QTEST_GUILESS_MAIN(TestTransferProgress)
#include "tst_transfer_progress.moc"
