#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// `tarsel-cli parse`: what users and scripts see of a listing.
class TestCliParse : public QObject {
    Q_OBJECT

    struct Result {
        int code = -1;
        QByteArray out, err;
    };

    static Result run(const QStringList &args, const QByteArray &input = {})
    {
        QProcess p;
        p.start(TARSEL_CLI, QStringList{"parse"} + args);
        if (!p.waitForStarted(10000))
            return {};
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished(5000);
            return {};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

private slots:
    void printsRowsOfEachList()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath("lst.txt");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("total 3\r\n"
                "drwxr-xr-x   2 joe  staff   4096 Jan 12  2004 My Documents\r\n"
                "lrwxrwxrwx   1 root root       7 Jan 12  2004 bin -> usr/bin\r\n"
                "-rw-r--r--   1 joe  staff   1234 Mar  5 14:07 tab\there\\x\r\n");
        f.close();

        const Result unix = run({"--type", "0", file});
        QCOMPARE(unix.code, 0);
        QCOMPARE(unix.out, QByteArray("dirs\t..\t\t\t\t3\n"
                                      "dirs\tMy Documents\t4096\tJan 12  2004\tdrwxr-xr-x\t2\n"
                                      "dirs\tbin -> usr/bin\t7\tJan 12  2004\tlrwxrwxrwx\t4\n"
                                      "files\ttab\\there\\\\x\t1234\tMar  5 14:07\t-rw-r--r--\tfile\n"));

        const Result other = run({"--type", "5", "--year", "2031", file});
        QCOMPARE(other.code, 0);
        QCOMPARE(other.out, QByteArray("dirs\t..\t\t\t\t3\n"
                                       "dirs\tMy Documents\t4096\t01/12/2004 00:00\t<DIR>\t2\n"
                                       "dirs\tbin\t7\t01/12/2004 00:00\t\t2\n"
                                       "files\ttab here\\\\x\t1234\t03/05/2031 14:07\t\tfile\n"));
    }

    void readsStandardInput()
    {
        const Result r = run({"--type", "2", "-"}, "01-12-04  01:30PM   1234 report.doc\n");
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("dirs\t..\t\t\t\t3\nfiles\treport.doc\t1234\t01/12/2004 13:30\t\tfile\n"));
    }

    void refusesBadArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("no type") << QStringList{"-"} << 2;
        QTest::newRow("type not a number") << QStringList{"--type", "x", "-"} << 2;
        QTest::newRow("type without value") << QStringList{"-", "--type"} << 2;
        QTest::newRow("no file") << QStringList{"--type", "0"} << 2;
        QTest::newRow("unknown option") << QStringList{"--type", "0", "--what", "-"} << 2;
        QTest::newRow("missing file") << QStringList{"--type", "0", "/nonexistent/lst.txt"} << 1;
    }
    void refusesBadArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        const Result r = run(args);
        QCOMPARE(r.code, code);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.startsWith("tarsel-cli parse: "));
    }
};

QTEST_GUILESS_MAIN(TestCliParse)
#include "tst_cli_parse.moc"
