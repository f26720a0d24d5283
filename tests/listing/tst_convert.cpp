#include <QTest>

#include "listing/ftpcommon.h"
#include "listing/parser.h"

using namespace tarsel;

namespace {

constexpr int kYear = 2026;

std::string bytes(const QByteArray &b) { return b.toStdString(); }

// One converted entry per line: name|size|flag|date|time|link.
QByteArray convert(const QByteArray &reply, std::uint8_t &format)
{
    TStringList lines = SplitListingLines(bytes(reply)), sizes, flags, dates, times, links;
    FTP_ConvertLines(lines, sizes, flags, dates, times, links, format, kYear);
    const std::size_t n = lines.size();
    if (sizes.size() != n || flags.size() != n || dates.size() != n || times.size() != n
        || links.size() != n)
        return "lists of different lengths";
    QByteArrayList out;
    for (std::size_t i = 0; i < n; ++i) {
        if (lines[i].empty())
            return "empty name";
        out << QByteArray::fromStdString(lines[i] + "|" + sizes[i] + "|" + flags[i] + "|" + dates[i]
                                         + "|" + times[i] + "|" + links[i]);
    }
    return out.join('\n');
}

} // namespace

class TestConvert : public QObject {
    Q_OBJECT
private slots:
    void convertLines_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("formatIn");
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<int>("formatOut");

        QTest::newRow("unix dir, year")
            << QByteArray("drwxr-xr-x   2 joe  staff   4096 Jan 12  2004 My Documents") << 0
            << QByteArray("My Documents|4096|<DIR>|01/12/2004|00:00|") << 1;
        QTest::newRow("unix file, time gets current year")
            << QByteArray("-rw-r--r--   1 joe  staff   1234 Mar  5 14:07 notes.txt") << 0
            << QByteArray("notes.txt|1234||03/05/2026|14:07|") << 1;
        QTest::newRow("unix symlink")
            << QByteArray("lrwxrwxrwx   1 root root       7 Jan 12  2004 bin -> usr/bin") << 2
            << QByteArray("bin|7||01/12/2004|00:00|usr/bin") << 1;
        QTest::newRow("unix without group column")
            << QByteArray("-rw-r--r--  1 joe  1234 Jan 12  2004 notes.txt") << 0
            << QByteArray("notes.txt|1234||01/12/2004|00:00|") << 1;
        QTest::newRow("unix name spaces after first word collapse")
            << QByteArray("-rw-r--r-- 1 joe staff 5 Jan 12 2004 a   b  c") << 0
            << QByteArray("a b  c|5||01/12/2004|00:00|") << 1;
        QTest::newRow("setuid is not a unix line")
            << QByteArray("-rwsr-xr-x   1 root root   1234 Mar  5 14:07 sudo") << 0 << QByteArray() << 0;
        // The group 'ma' is part of MARCH, so the reading aligns on it and every
        // field after it lands one place early; kept, servers rarely name groups so.
        QTest::newRow("group ma taken for the month")
            << QByteArray("-rw-r--r--   1 joe  ma   1234 Mar  5 14:07 notes.txt") << 0
            << QByteArray("5 14:07 notes.txt|||03/1234/MAR|00:00|") << 1;
        QTest::newRow("unix total line")
            << QByteArray("total 24\n-rw-r--r-- 1 joe staff 5 Jan 12 2004 a") << 0
            << QByteArray("a|5||01/12/2004|00:00|") << 1;
        QTest::newRow("unix line without a month")
            << QByteArray("-rw-r--r-- 1 joe staff 5 12 2004 noname") << 0 << QByteArray() << 1;

        QTest::newRow("dos dir")
            << QByteArray("01-12-04  10:30AM       <DIR>          Old Stuff") << 0
            << QByteArray("Old Stuff||<DIR>|01/12/2004|10:30|") << 2;
        QTest::newRow("dos file pm")
            << QByteArray("01-12-04  01:30PM   1234 report.doc") << 0
            << QByteArray("report.doc|1234||01/12/2004|13:30|") << 2;
        QTest::newRow("dos four-digit year, one-digit hour")
            << QByteArray("01-12-2004  1:30PM   1234 report.doc\n07-04-1998  9:05AM  <DIR>  old") << 0
            << QByteArray("report.doc|1234||01/12/2004|13:30|\nold||<DIR>|07/04/1998|09:05|") << 2;
        QTest::newRow("dos slashes and tabs")
            << QByteArray("07/04/98\t12:15PM\t\t17 a\tb.txt") << 0
            << QByteArray("a b.txt|17||07/04/1998|12:15|") << 2;

        const QByteArray vms = "Directory USER$DISK:[JOE]\n"
                               "\n"
                               "WORK.DIR;1   1/3   12-JAN-2004 14:23:45  [STAFF,JOE]  (RWE,RWE,RE,E)\n"
                               "README.TXT;2  4/4  3-FEB-2004 09:05:00  [STAFF,JOE]  (RWED,RWED,RE,)\n"
                               "\n"
                               "Total of 2 files, 5/7 blocks.";
        const QByteArray vmsRows = "WORK|512|<DIR>|01/12/2004|14:23|\n"
                                   "README.TXT|2048||02/03/2004|09:05|";
        QTest::newRow("vms by header") << vms << 0 << vmsRows << 3;
        QTest::newRow("vms by caller") << vms.mid(vms.indexOf('\n') + 1) << 3 << vmsRows << 3;
        QTest::newRow("vms name on a line of its own")
            << QByteArray("Directory DISK:[X]\nA_VERY_LONG_FILE_NAME.TXT;1\n"
                          "  4/4  3-FEB-2004 09:05:00  [STAFF,JOE]  (RWED,RWED,RE,)\n"
                          "B.TXT;1 1/1 3-FEB-2004 09:05:00 [STAFF,JOE] (RWED,RWED,RE,)")
            << 0
            << QByteArray("A_VERY_LONG_FILE_NAME.TXT|2048||02/03/2004|09:05|\n"
                          "B.TXT|512||02/03/2004|09:05|")
            << 3;
        QTest::newRow("vms lone name at the end") << QByteArray("X.TXT;1") << 3
                                                  << QByteArray("X.TXT|0||||") << 3;

        QTest::newRow("as400 object and member")
            << QByteArray("QSYS           77824 02/23/00 15:09:55 *DIR       /\n"
                          "QPGMR          *MEM       MYLIB.FILE/MEMBER.MBR\n"
                          "QPGMR          4096 02/23/00 15:09:55 *FILE      DATA FILE")
            << 0
            << QByteArray("/|77824|<DIR>|02/23/00|15:09:55|\n"
                          "MYLIB.FILE/MEMBER.MBR|N/A||N/A|N/A|\n"
                          "DATA FILE|4096||02/23/00|15:09:55|")
            << 4;
        QTest::newRow("as400 user profile dropped")
            << QByteArray("QSYS 0 02/23/00 15:09:55 *USRPRF QPGMR") << 0 << QByteArray() << 4;

        QTest::newRow("format keeps the last recognised line")
            << QByteArray("-rw-r--r-- 1 joe staff 5 Jan 12 2004 x\n01-12-04 10:30AM 7 y\nnothing here") << 0
            << QByteArray("x|5||01/12/2004|00:00|\ny|7||01/12/2004|10:30|") << 2;
        QTest::newRow("nothing recognised keeps entry format")
            << QByteArray("hello world\n   ") << 4 << QByteArray() << 4;
        QTest::newRow("blank reply") << QByteArray("\n    \n\t\n") << 0 << QByteArray() << 0;
        QTest::newRow("no lines") << QByteArray() << 2 << QByteArray() << 2;
    }

    void convertLines()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, formatIn);
        QFETCH(QByteArray, entries);
        QFETCH(int, formatOut);
        auto format = std::uint8_t(formatIn);
        QCOMPARE(convert(reply, format), entries);
        QCOMPARE(int(format), formatOut);
    }

    void getFirstParamHandsOutWords()
    {
        std::string s = "a  bb   c";
        QCOMPARE(GetFirstParam(s), std::string("a"));
        QCOMPARE(s, std::string("bb   c"));
        QCOMPARE(GetFirstParam(s), std::string("bb"));
        QCOMPARE(GetFirstParam(s), std::string("c"));
        QCOMPARE(s, std::string());
        QCOMPARE(GetFirstParam(s), std::string());
    }

    void numbers()
    {
        QCOMPARE(LeadingNumber("12/20"), std::int64_t(12));
        QCOMPARE(LeadingNumber("  04"), std::int64_t(4));
        QCOMPARE(LeadingNumber("abc"), std::int64_t(0));
        QCOMPARE(LeadingNumber(""), std::int64_t(0));
        QCOMPARE(LeadingNumber("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(TwoDigits(4), std::string("04"));
        QCOMPARE(TwoDigits(12), std::string("12"));
        QCOMPARE(TrimSpaces(" \ta \t "), std::string("\ta \t"));
    }

    void monthIndex_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("month");
        QTest::newRow("JAN") << QByteArray("JAN") << 1;
        QTest::newRow("Jan") << QByteArray("Jan") << 1;
        QTest::newRow("JANUARY") << QByteArray("JANUARY") << 1;
        QTest::newRow("MAY") << QByteArray("MAY") << 5;
        QTest::newRow("sep") << QByteArray("sep") << 9;
        QTest::newRow("A is in JANUARY") << QByteArray("A") << 1;
        QTest::newRow("E is in FEBRUARY") << QByteArray("E") << 2;
        QTest::newRow("UN is in JUNE") << QByteArray("UN") << 6;
        QTest::newRow("digits") << QByteArray("12") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("longer than any") << QByteArray("JANUARYX") << 0;
    }
    void monthIndex()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, month);
        QCOMPARE(MonthIndex(bytes(text)), month);
    }

    void dateAndTime_data()
    {
        QTest::addColumn<QByteArray>("op");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("norm vms") << QByteArray("norm") << QByteArray("12-JAN-2004") << QByteArray("01/12/2004");
        QTest::newRow("norm unix") << QByteArray("norm") << QByteArray("5/Mar/2004") << QByteArray("03/05/2004");
        QTest::newRow("norm final") << QByteArray("norm") << QByteArray("03/05/2004") << QByteArray("03/05/2004");
        QTest::newRow("norm no sep") << QByteArray("norm") << QByteArray("2004") << QByteArray("2004");
        QTest::newRow("norm one sep") << QByteArray("norm") << QByteArray("12-2004") << QByteArray("12-2004");
        QTest::newRow("norm seps only") << QByteArray("norm") << QByteArray("--") << QByteArray("/00/");
        QTest::newRow("dos 2000s") << QByteArray("dos") << QByteArray("01-12-04") << QByteArray("01/12/2004");
        QTest::newRow("dos 1900s") << QByteArray("dos") << QByteArray("07-04-98") << QByteArray("07/04/1998");
        QTest::newRow("dos four digits") << QByteArray("dos") << QByteArray("01-12-2004") << QByteArray("01/12/2004");
        QTest::newRow("dos 1999") << QByteArray("dos") << QByteArray("12/31/1999") << QByteArray("12/31/1999");
        QTest::newRow("dos short") << QByteArray("dos") << QByteArray("1-") << QByteArray("1/2000");
        QTest::newRow("t24 hh:mm") << QByteArray("t24") << QByteArray("14:07") << QByteArray("14:07");
        QTest::newRow("t24 year") << QByteArray("t24") << QByteArray("2004") << QByteArray("2004");
        QTest::newRow("t24 pm") << QByteArray("t24") << QByteArray("01:30PM") << QByteArray("13:30");
        QTest::newRow("t24 noon") << QByteArray("t24") << QByteArray("12:15PM") << QByteArray("12:15");
        QTest::newRow("t24 am") << QByteArray("t24") << QByteArray("10:30am") << QByteArray("10:30");
        QTest::newRow("t24 12am") << QByteArray("t24") << QByteArray("12:05AM") << QByteArray("12:05");
        QTest::newRow("t24 seconds") << QByteArray("t24") << QByteArray("14:23:45") << QByteArray("14:23");
        QTest::newRow("t24 one-digit pm") << QByteArray("t24") << QByteArray("1:30PM") << QByteArray("13:30");
        QTest::newRow("t24 short upper-cased") << QByteArray("t24") << QByteArray("ab:c") << QByteArray("AB:C");
        QTest::newRow("t24 one-digit 24h") << QByteArray("t24") << QByteArray("9:05") << QByteArray("09:05");
        QTest::newRow("t24 one-digit am") << QByteArray("t24") << QByteArray("9:05AM") << QByteArray("09:05");
    }
    void dateAndTime()
    {
        QFETCH(QByteArray, op);
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        const std::string s = bytes(in);
        const std::string got = op == "norm" ? NormalizeDate(s) : op == "dos" ? DosDate(s) : Time24(s);
        QCOMPARE(QByteArray::fromStdString(got), out);
    }

    // Every short line over the characters the readings look for, in every dialect:
    // under the sanitizers this shows any read outside a line.
    void shortHostileLinesStayInBounds()
    {
        const std::string alphabet = std::string(" -/:[]*;.d1>\t", 13) + '\0';
        std::vector<std::string> lines;
        for (char a : alphabet) {
            lines.emplace_back(1, a);
            for (char b : alphabet) {
                lines.push_back({a, b});
                for (char c : alphabet)
                    lines.push_back({a, b, c});
            }
        }
        lines.push_back("drwxrwxr");
        lines.push_back("01-12-");
        lines.push_back("x:");
        lines.push_back("d:]");
        for (std::uint8_t entry = 0; entry <= 4; ++entry) {
            // One line at a time, so each one also meets the header test.
            for (const std::string &line : lines) {
                TStringList l{line}, s, f, d, t, k;
                std::uint8_t format = entry;
                FTP_ConvertLines(l, s, f, d, t, k, format, kYear);
                QVERIFY(l.size() == s.size() && l.size() == k.size());
                for (const std::string &name : l)
                    QVERIFY(!name.empty());
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestConvert)
#include "tst_convert.moc"
