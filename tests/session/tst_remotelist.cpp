// The remote list model: the row order of both sort columns and directions, sizes
// beyond 32 bits, rows whose size is not a number, the selection across a sort, and
// server bytes made safe for display.
#include <QItemSelectionModel>
#include <QtTest>

#include "session/remotelist.h"

using namespace tarsel;

namespace {
TRemoteRow row(const char *caption, const char *size)
{
    TRemoteRow r;
    r.Caption = caption;
    r.Size = size;
    return r;
}
QStringList captions(const TRemoteListModel &m)
{
    QStringList out;
    for (int i = 0; i < m.RowCount(); ++i)
        out.append(QString::fromStdString(m.Row(i).Caption));
    return out;
}
} // namespace

class TstRemoteList : public QObject {
    Q_OBJECT
private slots:
    void sorting_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("desc");
        QTest::addColumn<QStringList>("expected");
        // Rows: b 10, "?" (no number) at position 1, C 5 GiB, a 3 GB, "" at 4, d 7.
        QTest::newRow("name A to Z") << 0 << true << QStringList{"a", "b", "C", "d", "n1", "n2"};
        QTest::newRow("name Z to A") << 0 << false << QStringList{"n2", "n1", "d", "C", "b", "a"};
        // Unreadable sizes keep their places; the others sort around them.
        QTest::newRow("size small first") << 1 << true << QStringList{"d", "n1", "b", "a", "n2", "C"};
        QTest::newRow("size large first") << 1 << false << QStringList{"C", "n1", "a", "b", "n2", "d"};
    }
    void sorting()
    {
        QFETCH(int, column);
        QFETCH(bool, desc);
        QFETCH(QStringList, expected);
        TRemoteListModel m({"Name", "Size", "Date", "Permissions"});
        m.SetAutoSort(true);
        m.SetSortState(column, desc ? TSortMark::ptsdDesc : TSortMark::ptsdAsc);
        m.BeginFill();
        for (const TRemoteRow &r : {row("b", "10"), row("n1", "?"), row("C", "5368709120"), row("a", "3000000000"),
                                    row("n2", ""), row("d", "7")})
            m.AppendRow(r);
        m.EndFill();
        QCOMPARE(captions(m), expected);
        // Sorting again keeps the order.
        m.SortNow();
        QCOMPARE(captions(m), expected);
    }

    void selectionFollowsRows()
    {
        TRemoteListModel m({"Name", "Size", "Date", "Permissions"});
        QItemSelectionModel sel(&m);
        m.BeginFill();
        for (const TRemoteRow &r : {row("c", "1"), row("a", "3"), row("b", "2")})
            m.AppendRow(r);
        m.EndFill();
        sel.select(m.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m.SortNow();
        QCOMPARE(captions(m), QStringList({"a", "b", "c"}));
        QCOMPARE(sel.selectedRows().size(), 1);
        QCOMPARE(sel.selectedRows().first().row(), 2);
    }

    void sizeValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<bool>("ok");
        QTest::newRow("small") << QByteArray("42") << qint64(42) << true;
        QTest::newRow("beyond 4 GiB") << QByteArray("5368709120") << qint64(5368709120LL) << true;
        QTest::newRow("empty") << QByteArray() << qint64(0) << false;
        QTest::newRow("text") << QByteArray("N/A") << qint64(0) << false;
        QTest::newRow("trailing text") << QByteArray("12k") << qint64(0) << false;
        QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999") << qint64(0) << false;
    }
    void sizeValues()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, value);
        QFETCH(bool, ok);
        const auto v = SizeValue(text.toStdString());
        QCOMPARE(v.has_value(), ok);
        if (ok)
            QCOMPARE(*v, value);
    }

    void displayEscapesControls()
    {
        QCOMPARE(ShowBytes("a\x1b[31mb"), QString("a\\x1B[31mb"));
        QCOMPARE(ShowBytes(std::string("x\0y", 3)), QString("x\\x00y"));
        QCOMPARE(ShowBytes("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
        QCOMPARE(ShowBytes("caf\xe9"), QString::fromLatin1("caf\xe9"));
        QCOMPARE(ShowBytes("\x9b" "2J"), QString("\\x9B2J")); // C1 control from Latin-1
    }
};

QTEST_MAIN(TstRemoteList)
#include "tst_remotelist.moc"
