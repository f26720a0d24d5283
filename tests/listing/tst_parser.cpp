#include <QElapsedTimer>
#include <QTest>

#include "listing/parser.h"

using namespace tarsel;

namespace {

// caption|size|date|permissions|icon, one row per line.
QByteArray rowsText(const std::vector<TRemoteRow> &rows)
{
    QByteArrayList out;
    for (const TRemoteRow &r : rows)
        out << QByteArray::fromStdString(r.Caption + "|" + r.Size + "|" + r.Date + "|" + r.Permissions
                                         + "|" + std::to_string(int(r.Icon)));
    return out.join('\n');
}

const QByteArray kParent = "..||||3";

} // namespace

class TestParser : public QObject {
    Q_OBJECT
private slots:
    void rows_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("dirs");
        QTest::addColumn<QByteArray>("files");

        for (int type = 0; type <= 5; ++type)
            QTest::addRow("empty reply, type %d", type) << type << QByteArray() << kParent << QByteArray();

        QTest::newRow("unix dir keeps the server's spacing")
            << 0 << QByteArray("drwxr-xr-x   2 joe  staff   4096 Jan 12  2004 My Documents")
            << kParent + "\nMy Documents|4096|Jan 12  2004|drwxr-xr-x|2" << QByteArray();
        // Only the exact lower-case word is a total line: "Total 24" is meant to stay,
        // as a link row with an empty caption (its first word holds an 'l').
        QTest::newRow("unix total lines: Total 24 is meant to stay as a link row")
            << 0 << QByteArray("total 24\nTotal 24") << kParent + "\n||24|Total|4" << QByteArray();
        QTest::newRow("unix dot entries dropped")
            << 0
            << QByteArray("drwxr-xr-x 2 a b 4096 Jan 12 2004 .\ndrwxr-xr-x 2 a b 4096 Jan 12 2004 ..\n"
                          "-rw-r--r-- 1 a b 10 Mar  5 14:07 file one.txt")
            << kParent << QByteArray("file one.txt|10|Mar  5 14:07|-rw-r--r--|0");
        QTest::newRow("unix link keeps its target")
            << 0 << QByteArray("lrwxrwxrwx   1 root root 7 Jan 12  2004 bin -> usr/bin")
            << kParent + "\nbin -> usr/bin|7|Jan 12  2004|lrwxrwxrwx|4" << QByteArray();
        QTest::newRow("unix d or l anywhere in the first word")
            << 0 << QByteArray("-rwxr-xr-d 1 a b 1 Jan 1 2004 x\n-r-xr-xr-l 1 a b 2 Jan 1 2004 y")
            << kParent + "\nx|1|Jan 1 2004|-rwxr-xr-d|2\ny|2|Jan 1 2004|-r-xr-xr-l|4" << QByteArray();
        QTest::newRow("unix short and single-word lines give rows, blank lines none")
            << 0 << QByteArray("hello\nsome message here\n   \n")
            << kParent << QByteArray("||hello||0\n||here|some|0");
        QTest::newRow("apple unix size column")
            << 1 << QByteArray("-rw-r--r--  1 joe  1234 Jan 12  2004 notes.txt\n"
                               "drwxr-xr-x  3 joe  96 Feb  1 10:00 src")
            << kParent + "\nsrc|96|Feb  1 10:00|drwxr-xr-x|2"
            << QByteArray("notes.txt|1234|Jan 12  2004|-rw-r--r--|0");
        QTest::newRow("apple unix with a group reads it as the size")
            << 1 << QByteArray("-rw-r--r--  1 joe  staff  1234 Jan 12  2004 notes.txt") << kParent
            << QByteArray("2004 notes.txt|staff|1234 Jan 12|-rw-r--r--|0");

        QTest::newRow("other: unix link and dir")
            << 5
            << QByteArray("lrwxrwxrwx   1 root root 7 Jan 12  2004 bin -> usr/bin\n"
                          "drwxr-xr-x 2 joe staff 4096 Jan 12 2004 ..\n"
                          "-rw-r--r-- 1 joe staff 10 Mar  5 14:07 two  spaces  here")
            << kParent + "\nbin|7|01/12/2004 00:00||2"
            << QByteArray("two spaces  here|10|03/05/2026 14:07||0");
        QTest::newRow("dos")
            << 2
            << QByteArray("01-12-04  10:30AM       <DIR>          Old Stuff\n"
                          "01-12-04  01:30PM   1234 report.doc\n"
                          "01-12-04  01:30PM   <DIR> .")
            << kParent + "\nOld Stuff||01/12/2004 10:30|<DIR>|2"
            << QByteArray("report.doc|1234|01/12/2004 13:30||0");
        const QByteArray vms = "Directory USER$DISK:[JOE]\n\n"
                               "WORK.DIR;1   1/3   12-JAN-2004 14:23:45  [STAFF,JOE]  (RWE,RWE,RE,E)\n"
                               "README.TXT;2  4/4  3-FEB-2004 09:05:00  [STAFF,JOE]  (RWED,RWED,RE,)\n"
                               "\nTotal of 2 files, 5/7 blocks.";
        QTest::newRow("mvs reads vms")
            << 3 << vms << kParent + "\nWORK|512|01/12/2004 14:23|<DIR>|2"
            << QByteArray("README.TXT|2048|02/03/2004 09:05||0");
        QTest::newRow("as400 member")
            << 4 << QByteArray("QPGMR *MEM MYLIB.FILE/MEMBER.MBR\nQSYS 77824 02/23/00 15:09:55 *LIB QGPL")
            << kParent + "\nQGPL|77824|02/23/00 15:09:55|<DIR>|2"
            << QByteArray("MYLIB.FILE/MEMBER.MBR|N/A|N/A N/A||0");
        QTest::newRow("unknown server type reads unix")
            << 42 << QByteArray("-rw-r--r-- 1 a b 10 Mar  5 14:07 x") << kParent
            << QByteArray("x|10|Mar  5 14:07|-rw-r--r--|0");
    }

    void rows()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, dirs);
        QFETCH(QByteArray, files);
        TDirParser parser;
        parser.SetYearClock([] { return 2026; });
        const TStringList lines = SplitListingLines(reply.toStdString());
        TRowVector d, f;
        parser.Parse(type, lines, d, f);
        QCOMPARE(rowsText(d.Rows), dirs);
        QCOMPARE(rowsText(f.Rows), files);
    }

    void unixPieces()
    {
        TDirParser p;
        QCOMPARE(p.TakeField("ab cd", 1), std::string("ab "));
        QCOMPARE(p.TakeField("ab  ", 2), std::string());
        QCOMPARE(p.Fields(1), TStringList{"ab "});
        QCOMPARE(TDirParser::FirstWords("Jan 12  2004 My  Docs", 3), std::string("Jan 12  2004"));
        QCOMPARE(TDirParser::FirstWords("Jan 12", 3), std::string("Jan 12"));
        QCOMPARE(p.RestAfter(""), std::string());
    }

    void yearClockIsAskedPerParse()
    {
        TDirParser parser;
        int year = 2030;
        parser.SetYearClock([&] { return year; });
        const TStringList lines{"-rw-r--r-- 1 joe staff 10 Mar  5 14:07 x"};
        TRowVector d, f;
        parser.ParseOther(lines, d, f);
        year = 2031;
        parser.ParseOther(lines, d, f);
        QCOMPARE(f.Rows.at(0).Date, std::string("03/05/2030 14:07"));
        QCOMPARE(f.Rows.at(1).Date, std::string("03/05/2031 14:07"));
    }

    void splitLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("last");
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << 2 << QByteArray("b");
        QTest::newRow("lf and blank") << QByteArray("a\n\nb") << 3 << QByteArray("b");
        QTest::newRow("lone cr") << QByteArray("a\rb") << 2 << QByteArray("b");
        QTest::newRow("spaces line") << QByteArray("a\n  \n") << 2 << QByteArray("  ");
        QTest::newRow("nothing") << QByteArray() << 0 << QByteArray();
    }
    void splitLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        QFETCH(QByteArray, last);
        const TStringList lines = SplitListingLines(text.toStdString());
        QCOMPARE(int(lines.size()), count);
        if (count > 0)
            QCOMPARE(QByteArray::fromStdString(lines.back()), last);
    }

    // A hostile reply: one enormous line of words and many tiny ones must not make
    // any reading quadratic: that would take hours here, while linear readings take
    // well under a second, also under the sanitizers.
    void hugeRepliesStayFast()
    {
        std::string word_line;
        for (int i = 0; i < 100000; ++i)
            word_line += "Jan ";
        TStringList lines{"-rw-r--r-- 1 a b 5 " + word_line, "drwxr-xr-x " + word_line,
                          "01-12-04 " + word_line, "QSYS *MEM " + word_line,
                          "X.DIR;1 " + word_line, std::string(500000, ' ') + "x"};
        lines.insert(lines.end(), 20000, "-");
        QElapsedTimer timer;
        timer.start();
        TDirParser parser;
        for (int type = 0; type <= 5; ++type) {
            TRowVector d, f;
            parser.Parse(type, lines, d, f);
            QVERIFY(!d.Rows.empty());
        }
        QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_APPLESS_MAIN(TestParser)
#include "tst_parser.moc"
