// The send-queue chunk.
#include <QTest>

#include <cstring>

#include "net/wsockbuf.h"

using namespace tarsel;

class TestTBuffer : public QObject {
    Q_OBJECT
private slots:
    void sizeDefaults_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("size");
        QTest::newRow("zero") << 0 << 1514;
        QTest::newRow("negative") << -5 << 1514;
        QTest::newRow("given") << 100 << 100;
    }
    void sizeDefaults()
    {
        QFETCH(int, asked);
        QFETCH(int, size);
        TBuffer b(asked);
        QCOMPARE(b.BufSize(), size);
        QVERIFY(b.Empty());
    }

    void writeReadAndReuse()
    {
        TBuffer b(10);
        QCOMPARE(b.Write("abcdefghijkl", 12), 10); // only what fits
        QCOMPARE(b.Write("x", 1), 0);               // full
        char out[4];
        QCOMPARE(b.Read(out, 4), 4);
        QCOMPARE(std::string(out, 4), std::string("abcd"));
        QCOMPARE(b.Consumed(), 4);
        int len = 0;
        const char *p = b.Peek(len);
        QCOMPARE(len, 6);
        QCOMPARE(std::string(p, 6), std::string("efghij"));
        QCOMPARE(b.Remove(100), 6);
        // Taking everything out starts the chunk again from its beginning.
        QCOMPARE(b.Written(), 0);
        QCOMPARE(b.Consumed(), 0);
        QVERIFY(b.Peek(len) == nullptr);
        QCOMPARE(len, 0);
        QCOMPARE(b.Write("0123456789", 10), 10);
        QCOMPARE(b.Read(out, 0), 0);
        QCOMPARE(b.Remove(-3), 0);
    }

    void resizeKeepsHeldData()
    {
        TBuffer b(8);
        b.Write("abcdef", 6);
        b.Remove(2);
        b.SetBufSize(16);
        QCOMPARE(b.BufSize(), 16);
        int len = 0;
        const char *p = b.Peek(len);
        QCOMPARE(std::string(p, std::size_t(len)), std::string("cdef"));
        QCOMPARE(b.Write("0123456789", 10), 10);
        // A size below the held data would cut it off: the chunk keeps its block.
        b.SetBufSize(4);
        QCOMPARE(b.BufSize(), 16);
        p = b.Peek(len);
        QCOMPARE(std::string(p, std::size_t(len)), std::string("cdef0123456789"));
        b.Remove(len);
        b.SetBufSize(4);
        QCOMPARE(b.BufSize(), 4);
    }
};

QTEST_GUILESS_MAIN(TestTBuffer)
#include "tst_tbuffer.moc"
