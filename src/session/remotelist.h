#pragma once
// The remote lists of a connection window: one table model per list, filled by the
// listing parser through its row sink, shown by a detail view and an icon view that
// share the model and one selection.

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "listing/parser.h"
#include "localbrowser/viewstyle.h"

class QItemSelectionModel;
class QListView;
class QStackedWidget;
class QTreeView;
class QAbstractItemView;
class QMenu;

namespace tarsel {

// Header sort marks. Desc is the order A to Z (smallest size first), Asc the reverse.
enum class TSortMark { ptsdAsc, ptsdDesc };

// Server text made safe for display: control bytes are shown as escapes ("\x1B"),
// never passed to a widget that could interpret them.
QString EscapeControls(const QString &text);
// Server bytes for display: decoded (UTF-8 when valid, else Latin-1), then escaped.
QString ShowBytes(std::string_view bytes);

// A size column's text as a 64-bit number; nullopt when it is not one.
std::optional<std::int64_t> SizeValue(const std::string &text);

class TRemoteListModel : public QAbstractTableModel, public TRowSink {
    Q_OBJECT
public:
    TRemoteListModel(QStringList headers, QObject *parent = nullptr);

    // TRowSink: rows arrive in listing order while a fill is open (see BeginFill).
    void AppendRow(TRemoteRow row) override;

    // A fill collects rows without telling the views; EndFill sorts (when asked)
    // and shows them all at once.
    // `expected` rows are made room for.
    void BeginFill(std::size_t expected = 0);
    void EndFill();
    // Ends a fill without showing its rows.
    void CancelFill();
    // Sorts the rows of an open fill (when the list sorts itself) a part at a time:
    // true once they are in order, after which EndFill only shows them. Lets a caller
    // spread a big fill over several event-loop turns.
    bool SortFillStep(std::int64_t budgetNs);
    void Clear();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const TRemoteRow &Row(int i) const { return m_rows[std::size_t(i)]; }
    int RowCount() const { return int(m_rows.size()); }

    // Sort state; SortedAuto lists re-sort after every fill.
    int SortColumn() const { return m_sortColumn; }
    TSortMark SortMark() const { return m_sortMark; }
    void SetSortState(int column, TSortMark mark)
    {
        m_sortColumn = column;
        m_sortMark = mark;
    }
    void SetAutoSort(bool on) { m_autoSort = on; }
    // Sorts the rows once with the current column and mark.
    void SortNow();
    // The compare of two rows: negative, zero or positive.
    int Compare(const TRemoteRow &a, const TRemoteRow &b) const;

private:
    void sortRows(std::vector<TRemoteRow> &rows) const;
    std::vector<std::size_t> sortedOrder(const std::vector<TRemoteRow> &rows) const;
    void finishSortMove();
    void resetSortMove();
    QIcon iconFor(const TRemoteRow &row) const;

    QStringList m_headers;
    std::vector<TRemoteRow> m_rows;
    std::vector<TRemoteRow> m_incoming;
    bool m_filling = false;
    bool m_incomingSorted = false;
    // A sort of the fill under way: the order, and the rows moved into it so far.
    bool m_sortMoving = false;
    std::vector<std::size_t> m_sortOrder;
    std::vector<TRemoteRow> m_sortedRows;
    bool m_autoSort = false;
    int m_sortColumn = 0;
    TSortMark m_sortMark = TSortMark::ptsdDesc;
    mutable QHash<QString, QIcon> m_iconCache; // by file extension
};

// One remote list: the model, its views (details and icons) and one selection.
class TRemoteList : public QWidget {
    Q_OBJECT
public:
    TRemoteList(const QString &name, QStringList headers, bool multiSelect, QWidget *parent = nullptr);

    TRemoteListModel *Model() const { return m_model; }
    QItemSelectionModel *Selection() const { return m_selection; }
    QTreeView *Details() const { return m_details; }
    QAbstractItemView *CurrentView() const;
    void SetViewStyle(TViewStyle style);
    TViewStyle ViewStyle() const { return m_style; }
    // Shows the model's sort state as the header's sort mark.
    void ShowSortMark();
    int SelectedCount() const;
    // The selected row (the current one when several), or -1.
    int SelectedRow() const;
    QList<int> SelectedRows() const;
    void SetPopupMenu(QMenu *menu) { m_menu = menu; }

    // Events wired by the connection window.
    std::function<void()> OnDblClick;
    std::function<void()> OnClick;
    std::function<void(int column)> OnColumnClick;

private:
    TRemoteListModel *m_model;
    QItemSelectionModel *m_selection;
    QStackedWidget *m_stack;
    QTreeView *m_details;
    QListView *m_icons;
    QMenu *m_menu = nullptr;
    TViewStyle m_style = TViewStyle::Details;
};

} // namespace tarsel
