#include <QTest>

#include "common/event.h"
#include "common/ordinalset.h"
#include "common/strutil.h"

using namespace tarsel;

class TestCommon : public QObject {
    Q_OBJECT
private slots:
    void positionsCountFromOne()
    {
        QCOMPARE(str::Pos("b", "abc"), std::size_t(2));
        QCOMPARE(str::Pos("x", "abc"), std::size_t(0));
        QCOMPARE(str::Pos("a", "aba", 2), std::size_t(3));
        QCOMPARE(str::Pos("a", "aba", 9), std::size_t(0));
        QCOMPARE(str::Copy("abcdef", 2, 3), std::string("bcd"));
        QCOMPARE(str::Copy("abc", 3, 99), std::string("c"));
        QCOMPARE(str::Copy("abc", 4, 1), std::string());
        QCOMPARE(str::Trim(" \t a b \r\n"), std::string("a b"));
    }

    void int64Parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("value");
        QTest::newRow("plain") << "5368709120" << true << qint64(5368709120LL);
        QTest::newRow("negative") << "-12" << true << qint64(-12);
        QTest::newRow("max") << "9223372036854775807" << true << qint64(INT64_MAX);
        QTest::newRow("min") << "-9223372036854775808" << true << qint64(INT64_MIN);
        QTest::newRow("overflow") << "9223372036854775808" << false << qint64(0);
        QTest::newRow("sign only") << "-" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("trailing junk") << "12a" << false << qint64(0);
    }
    void int64Parsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, value);
        const auto r = str::ToInt64(text.toStdString());
        QCOMPARE(r.has_value(), ok);
        if (ok)
            QCOMPARE(*r, value);
    }

    void displayTextFallsBackToLatin1()
    {
        QCOMPARE(str::DisplayText("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
        QCOMPARE(str::DisplayText("caf\xe9"), QString::fromLatin1("caf\xe9"));
    }

    void eventHandlerMayReplaceItself()
    {
        TEvent<int, int &> ev;
        int out = 0;
        QVERIFY(!ev.Trigger(1, out));
        int calls = 0;
        ev = [&](int v, int &o) {
            ++calls;
            o = v * 2;
            ev = nullptr; // the running copy stays alive
        };
        QVERIFY(ev.Trigger(21, out));
        QCOMPARE(out, 42);
        QVERIFY(!ev.Assigned());
        QCOMPARE(calls, 1);
    }

    void ordinalSet()
    {
        enum class E { a, b, c };
        TOrdinalSet<E> s{E::a, E::c};
        QVERIFY(s.Contains(E::a) && !s.Contains(E::b) && s.Contains(E::c));
        QCOMPARE(s.Bits(), std::uint64_t(5));
        s.Exclude(E::a);
        QCOMPARE(s.Bits(), std::uint64_t(4));
    }
};

QTEST_APPLESS_MAIN(TestCommon)
#include "tst_common.moc"
