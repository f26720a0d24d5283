#include "session/remotelist.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>
#include <QMimeDatabase>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>

#include "uikit/displaytext.h"
#include "uikit/icons.h"

namespace tarsel {

QString EscapeControls(const QString &text)
{
    bool clean = true;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0)) {
            clean = false;
            break;
        }
    }
    if (clean)
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x") + QStringLiteral("%1").arg(int(u), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

QString ShowBytes(std::string_view bytes) { return EscapeControls(ToDisplay(bytes)); }

std::optional<std::int64_t> SizeValue(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    const char *b = text.data();
    const char *e = b + text.size();
    if (*b == '+')
        ++b;
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || p != e || b == e)
        return std::nullopt;
    return v;
}

namespace {

int compareNoCase(const std::string &a, const std::string &b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

// --- model ---------------------------------------------------------------------------

TRemoteListModel::TRemoteListModel(QStringList headers, QObject *parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers))
{
}

void TRemoteListModel::AppendRow(TRemoteRow row)
{
    if (m_filling) {
        finishSortMove();
        m_incomingSorted = false;
        m_incoming.push_back(std::move(row));
        return;
    }
    const int n = int(m_rows.size());
    beginInsertRows({}, n, n);
    m_rows.push_back(std::move(row));
    endInsertRows();
    if (m_autoSort)
        SortNow();
}

void TRemoteListModel::BeginFill(std::size_t expected)
{
    resetSortMove();
    m_filling = true;
    m_incomingSorted = false;
    m_incoming.clear();
    m_incoming.reserve(expected);
}

bool TRemoteListModel::SortFillStep(std::int64_t budgetNs)
{
    if (!m_filling || !m_autoSort || m_incomingSorted)
        return true;
    QElapsedTimer clock;
    clock.start();
    if (!m_sortMoving) {
        m_sortOrder = sortedOrder(m_incoming);
        m_sortedRows.clear();
        m_sortedRows.reserve(m_incoming.size());
        m_sortMoving = true;
    }
    // The rows move into their order a part at a time.
    while (m_sortedRows.size() < m_sortOrder.size()) {
        const std::size_t end = std::min(m_sortOrder.size(), m_sortedRows.size() + 1024);
        for (std::size_t k = m_sortedRows.size(); k < end; ++k)
            m_sortedRows.push_back(std::move(m_incoming[m_sortOrder[k]]));
        if (m_sortedRows.size() < m_sortOrder.size() && clock.nsecsElapsed() > budgetNs)
            return false;
    }
    finishSortMove();
    return true;
}

void TRemoteListModel::finishSortMove()
{
    if (!m_sortMoving)
        return;
    for (std::size_t k = m_sortedRows.size(); k < m_sortOrder.size(); ++k)
        m_sortedRows.push_back(std::move(m_incoming[m_sortOrder[k]]));
    m_incoming.swap(m_sortedRows);
    resetSortMove();
    m_incomingSorted = true;
}

void TRemoteListModel::resetSortMove()
{
    m_sortMoving = false;
    m_sortOrder.clear();
    m_sortOrder.shrink_to_fit();
    m_sortedRows.clear();
    m_sortedRows.shrink_to_fit();
}

void TRemoteListModel::CancelFill()
{
    resetSortMove();
    m_filling = false;
    m_incomingSorted = false;
    m_incoming.clear();
    m_incoming.shrink_to_fit();
}

void TRemoteListModel::EndFill()
{
    finishSortMove();
    m_filling = false;
    if (m_autoSort && !m_incomingSorted)
        sortRows(m_incoming);
    m_incomingSorted = false;
    beginResetModel();
    m_rows.swap(m_incoming);
    m_incoming.clear();
    m_incoming.shrink_to_fit();
    endResetModel();
}

void TRemoteListModel::Clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

int TRemoteListModel::Compare(const TRemoteRow &a, const TRemoteRow &b) const
{
    if (m_sortColumn == 1) {
        const auto x = SizeValue(a.Size);
        const auto y = SizeValue(b.Size);
        if (!x || !y || *x == *y)
            return 0;
        const int r = *x > *y ? 1 : -1;
        return m_sortMark == TSortMark::ptsdDesc ? r : -r;
    }
    return m_sortMark == TSortMark::ptsdDesc ? compareNoCase(a.Caption, b.Caption)
                                              : compareNoCase(b.Caption, a.Caption);
}

namespace {

// The first eight bytes of a name in upper case, packed so that comparing keys orders
// names as compareNoCase does; equal keys need the full compare.
std::uint64_t nameKey(const std::string &name)
{
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        unsigned char c = i < name.size() ? static_cast<unsigned char>(name[i]) : 0;
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 32);
        key = key << 8 | c;
    }
    return key;
}

} // namespace

// Positions rather than rows are sorted, on keys made once: a big listing sorts in a
// small part of the time it takes to move whole rows through every compare.
std::vector<std::size_t> TRemoteListModel::sortedOrder(const std::vector<TRemoteRow> &rows) const
{
    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const bool desc = m_sortMark == TSortMark::ptsdDesc;
    if (m_sortColumn != 1) {
        std::vector<std::uint64_t> keys(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            keys[i] = nameKey(rows[i].Caption);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            if (keys[a] != keys[b])
                return desc ? keys[a] < keys[b] : keys[b] < keys[a];
            return Compare(rows[a], rows[b]) < 0;
        });
        return order;
    }
    // Rows whose size is not a number count as equal to every row, which is no order a
    // sort can use: they keep their places and the others are sorted around them.
    std::vector<std::int64_t> sizes(rows.size());
    std::vector<std::size_t> places;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (const auto v = SizeValue(rows[i].Size)) {
            sizes[i] = *v;
            places.push_back(i);
        }
    }
    std::vector<std::size_t> movable = places;
    std::stable_sort(movable.begin(), movable.end(), [&](std::size_t a, std::size_t b) {
        return desc ? sizes[a] < sizes[b] : sizes[b] < sizes[a];
    });
    for (std::size_t k = 0; k < places.size(); ++k)
        order[places[k]] = movable[k];
    return order;
}

void TRemoteListModel::sortRows(std::vector<TRemoteRow> &rows) const
{
    const std::vector<std::size_t> order = sortedOrder(rows);
    // Rows move along the cycles of the order, each once, without a second vector.
    std::vector<bool> placed(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (placed[i] || order[i] == i)
            continue;
        TRemoteRow held = std::move(rows[i]);
        std::size_t j = i;
        for (;;) {
            placed[j] = true;
            const std::size_t from = order[j];
            if (from == i) {
                rows[j] = std::move(held);
                break;
            }
            rows[j] = std::move(rows[from]);
            j = from;
        }
    }
}

void TRemoteListModel::SortNow()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Sort positions rather than rows, so that the selection can follow its rows.
    const std::vector<std::size_t> order = sortedOrder(m_rows);
    std::vector<TRemoteRow> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newPos(m_rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newPos[order[i]] = int(i);
        sorted.push_back(std::move(m_rows[order[i]]));
    }
    m_rows.swap(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &i : before)
        after.append(index(newPos[std::size_t(i.row())], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TRemoteListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int TRemoteListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_headers.size()); }

QIcon TRemoteListModel::iconFor(const TRemoteRow &row) const
{
    if (row.Icon != TIconRole::FileType)
        return icons::SmallImage(int(row.Icon));
    // By name only: the extension picks a type, never a local file.
    const QString name = ToDisplay(row.Caption);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot > 0 ? name.mid(dot + 1).toLower() : QString();
    auto it = m_iconCache.constFind(ext);
    if (it != m_iconCache.constEnd())
        return *it;
    static const QMimeDatabase db;
    QIcon icon;
    if (!ext.isEmpty()) {
        const QMimeType t = db.mimeTypeForFile(QStringLiteral("x.") + ext, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(t.iconName(), QIcon::fromTheme(t.genericIconName()));
    }
    if (icon.isNull())
        icon = icons::Icon(TImage::File);
    m_iconCache.insert(ext, icon);
    return icon;
}

QVariant TRemoteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const TRemoteRow &r = m_rows[std::size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case 0: return ShowBytes(r.Caption);
        case 1: return ShowBytes(r.Size);
        case 2: return ShowBytes(r.Date);
        case 3: return ShowBytes(r.Permissions);
        default: return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == 0)
        return iconFor(r);
    if (role == Qt::TextAlignmentRole && index.column() == 1)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TRemoteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers[section];
    return {};
}

Qt::ItemFlags TRemoteListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

// --- the list widget ----------------------------------------------------------------

TRemoteList::TRemoteList(const QString &name, QStringList headers, bool multiSelect, QWidget *parent)
    : QWidget(parent), m_model(new TRemoteListModel(std::move(headers), this)),
      m_selection(new QItemSelectionModel(m_model, this)), m_stack(new QStackedWidget(this)),
      m_details(new QTreeView(m_stack)), m_icons(new QListView(m_stack))
{
    setObjectName(name);
    m_details->setObjectName(name + QStringLiteral("Details"));
    m_icons->setObjectName(name + QStringLiteral("Icons"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    m_stack->addWidget(m_details);
    m_stack->addWidget(m_icons);
    m_details->setModel(m_model);
    m_icons->setModel(m_model);
    m_details->setSelectionModel(m_selection);
    m_icons->setSelectionModel(m_selection);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setAllColumnsShowFocus(true);
    m_details->header()->setSortIndicatorShown(true);
    m_details->header()->setSectionsClickable(true);
    m_details->header()->setStretchLastSection(true);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(QListView::Static);
    m_icons->setUniformItemSizes(true);
    m_icons->setLayoutMode(QListView::Batched);
    for (QAbstractItemView *v : {static_cast<QAbstractItemView *>(m_details), static_cast<QAbstractItemView *>(m_icons)}) {
        v->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](const QPoint &p) {
            if (m_menu)
                m_menu->popup(v->viewport()->mapToGlobal(p));
        });
        connect(v, &QAbstractItemView::clicked, this, [this] {
            if (OnClick)
                OnClick();
        });
        connect(v, &QAbstractItemView::doubleClicked, this, [this] {
            if (OnDblClick)
                OnDblClick();
        });
    }
    connect(m_details->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (OnColumnClick)
            OnColumnClick(column);
    });
    ShowSortMark();
    SetViewStyle(TViewStyle::Details);
}

QAbstractItemView *TRemoteList::CurrentView() const
{
    return m_style == TViewStyle::Details ? static_cast<QAbstractItemView *>(m_details) : m_icons;
}

void TRemoteList::SetViewStyle(TViewStyle style)
{
    m_style = style;
    if (style == TViewStyle::Details) {
        m_stack->setCurrentWidget(m_details);
        return;
    }
    const bool large = style == TViewStyle::LargeIcon;
    m_icons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_icons->setFlow(style == TViewStyle::SmallIcon || large ? QListView::LeftToRight : QListView::TopToBottom);
    m_icons->setWrapping(true);
    m_icons->setIconSize(QSize(large ? 32 : 16, large ? 32 : 16));
    m_stack->setCurrentWidget(m_icons);
}

void TRemoteList::ShowSortMark()
{
    // The Desc mark is the order A to Z, drawn as the usual "ascending" arrow.
    m_details->header()->setSortIndicator(m_model->SortColumn(), m_model->SortMark() == TSortMark::ptsdDesc
                                                                      ? Qt::AscendingOrder
                                                                      : Qt::DescendingOrder);
}

int TRemoteList::SelectedCount() const { return int(m_selection->selectedRows().size()); }

int TRemoteList::SelectedRow() const
{
    const QModelIndexList rows = m_selection->selectedRows();
    if (rows.isEmpty())
        return -1;
    const QModelIndex cur = m_selection->currentIndex();
    if (cur.isValid() && m_selection->isRowSelected(cur.row()))
        return cur.row();
    return rows.first().row();
}

QList<int> TRemoteList::SelectedRows() const
{
    QList<int> out;
    for (const QModelIndex &i : m_selection->selectedRows())
        out.append(i.row());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace tarsel
