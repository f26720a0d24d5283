#include "localbrowser/loclist.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

#include "localbrowser/localdirmodel.h"
#include "localbrowser/localfilemodel.h"
#include "localbrowser/localmenu.h"

namespace tarsel {

// The inner views start their drags through the list, so the list sees them begin.
class TLocListViewHook {
public:
    static void startDrag(LocList *list, QAbstractItemView *view) { list->startDragFrom(view); }
    static bool key(LocList *list, QKeyEvent *event) { return list->HandleKey(event); }
};

namespace {
template <class Base>
class DragView : public Base {
public:
    DragView(LocList *owner, QWidget *parent) : Base(parent), m_owner(owner) {}
    void baseStartDrag(Qt::DropActions a) { Base::startDrag(a); }

protected:
    void startDrag(Qt::DropActions) override { TLocListViewHook::startDrag(m_owner, this); }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (this->state() == QAbstractItemView::EditingState || !TLocListViewHook::key(m_owner, event))
            Base::keyPressEvent(event);
    }

private:
    LocList *m_owner;
};
using DetailsView = DragView<QTreeView>;
using IconsView = DragView<QListView>;
} // namespace

LocList::LocList(QWidget *parent)
    : QWidget(parent), m_stack(new QStackedWidget(this)), m_details(new DetailsView(this, m_stack)),
      m_icons(new IconsView(this, m_stack))
{
    setObjectName(QStringLiteral("LocList"));
    m_details->setObjectName(QStringLiteral("LocListDetails"));
    m_icons->setObjectName(QStringLiteral("LocListIcons"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    m_stack->addWidget(m_details);
    m_stack->addWidget(m_icons);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setSortingEnabled(true);
    m_details->setUniformRowHeights(true);
    m_details->header()->setSortIndicator(0, Qt::AscendingOrder);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(QListView::Static);
    for (QAbstractItemView *v : {static_cast<QAbstractItemView *>(m_details), static_cast<QAbstractItemView *>(m_icons)}) {
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setDragEnabled(true);
        v->setDragDropMode(QAbstractItemView::DragOnly);
        v->setDefaultDropAction(Qt::CopyAction);
        v->setEditTriggers(QAbstractItemView::EditKeyPressed);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](const QPoint &p) { showContextMenu(v, p); });
        connect(v, &QAbstractItemView::clicked, this, [this] { OnClick.Trigger(); });
        connect(v, &QAbstractItemView::activated, this, [this](const QModelIndex &i) { activate(i); });
    }
    m_model = new TLocalDirModel(this);
    m_details->setModel(m_model);
    m_icons->setModel(m_model);
    m_selection = m_details->selectionModel();
    QItemSelectionModel *iconsOwn = m_icons->selectionModel();
    m_icons->setSelectionModel(m_selection);
    delete iconsOwn;
    connect(m_selection, &QItemSelectionModel::selectionChanged, this, [this] { OnClick.Trigger(); });
    connect(m_model, &TLocalDirModel::folderRead, this, [this] { emit folderLoaded(m_folder); });
    // A re-read of the same folder keeps what was selected.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_keep.clear();
        for (const QModelIndex &i : SelectedItems())
            m_keep << m_model->EntryAt(i.row()).name;
        m_keepFolder = m_model->Folder();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        if (m_model->Folder() != m_keepFolder)
            return;
        for (const QByteArray &name : std::as_const(m_keep)) {
            const int row = m_model->RowOf(name);
            if (row >= 0)
                m_selection->select(m_model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    });
    m_details->setColumnWidth(0, 240);
    m_details->setColumnWidth(1, 90);
    m_details->setColumnWidth(2, 150);
    m_details->setColumnWidth(3, 150);
    SetViewStyle(TViewStyle::Details);
}

void LocList::SetPrompts(IPrompts *prompts)
{
    m_prompts = prompts;
    m_model->SetPrompts(prompts);
}

void LocList::SetFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    if (clean == m_folder)
        return;
    setFolderBytes(QFile::encodeName(clean), clean);
}

void LocList::setFolderBytes(const QByteArray &path, const QString &shown)
{
    m_folder = shown;
    m_selection->clear();
    QString error;
    // An unreadable folder would just look empty: say why it is.
    if (!m_model->SetFolder(path, &error))
        PostErrorBox(this, m_prompts, QStringLiteral("Cannot read the folder \"%1\":\n%2").arg(shown, error),
                     QStringLiteral("Directory Error"));
}

void LocList::openFolder(const QByteArray &path)
{
    // A path that has an exact text form goes through the owner (the tree follows);
    // one that has not is shown here by its bytes.
    const QString text = QFile::decodeName(path);
    if (QFile::encodeName(text) == path) {
        if (!OnOpenFolder.Trigger(text))
            SetFolder(text);
    } else {
        setFolderBytes(path, LocalDisplayName(path));
    }
}

void LocList::RefreshItems() { m_model->Refresh(); }

void LocList::SetViewStyle(TViewStyle style)
{
    m_style = style;
    switch (style) {
    case TViewStyle::Details:
        m_stack->setCurrentWidget(m_details);
        return;
    case TViewStyle::LargeIcon:
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setIconSize(QSize(32, 32));
        m_icons->setGridSize(QSize(96, 64));
        m_icons->setWordWrap(true);
        break;
    case TViewStyle::SmallIcon:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize(180, 20));
        m_icons->setWrapping(true);
        m_icons->setWordWrap(false);
        break;
    case TViewStyle::List:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setFlow(QListView::TopToBottom);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize());
        m_icons->setWrapping(true);
        m_icons->setWordWrap(false);
        break;
    }
    m_icons->setMovement(QListView::Static);
    m_icons->setResizeMode(QListView::Adjust);
    m_stack->setCurrentWidget(m_icons);
}

QAbstractItemView *LocList::CurrentView() const
{
    return m_style == TViewStyle::Details ? static_cast<QAbstractItemView *>(m_details) : m_icons;
}

int LocList::ItemCount() const { return m_folder.isEmpty() ? 0 : m_model->rowCount(); }

int LocList::SelectedCount() const { return int(SelectedItems().size()); }

QList<QModelIndex> LocList::SelectedItems() const
{
    QList<QModelIndex> rows;
    for (const QModelIndex &i : m_selection->selectedIndexes())
        if (i.column() == 0)
            rows << i;
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    return rows;
}

TShListData LocList::GetShListData(const QModelIndex &item) const
{
    if (!item.isValid())
        return {};
    const TLocalDirModel::Entry &e = m_model->EntryAt(item.row());
    const QByteArray path = m_model->PathBytes(item.row());
    return TShListData(e.folder, QFile::decodeName(path), e.display, path);
}

bool LocList::SelectName(const QString &name, bool add)
{
    int row = m_model->RowOf(QFile::encodeName(name));
    for (int r = 0; row < 0 && r < m_model->rowCount(); ++r)
        if (m_model->EntryAt(r).display == name)
            row = r;
    if (row < 0)
        return false;
    const QModelIndex i = m_model->index(row, 0);
    m_selection->select(i, (add ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
                               QItemSelectionModel::Rows);
    m_selection->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
    return true;
}

bool LocList::CreateNewFolder()
{
    if (m_folder.isEmpty())
        return false;
    const int row = m_model->MakeFolder(QFile::encodeName(localmenu::NewFolderName(m_folder)));
    if (row < 0)
        return false;
    const QModelIndex created = m_model->index(row, 0);
    m_selection->setCurrentIndex(created, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    CurrentView()->scrollTo(created);
    CurrentView()->edit(created);
    return true;
}

bool LocList::IsDragSource(const QObject *source) const
{
    return source && (source == this || source == m_details || source == m_icons);
}

void LocList::startDragFrom(QAbstractItemView *view)
{
    OnStartDrag.Trigger();
    if (view == m_details)
        static_cast<DetailsView *>(m_details)->baseStartDrag(Qt::CopyAction);
    else
        static_cast<IconsView *>(m_icons)->baseStartDrag(Qt::CopyAction);
}

void LocList::activate(const QModelIndex &index)
{
    const TShListData d = GetShListData(index);
    if (d.GetPathName().isEmpty())
        return;
    if (d.IsFolder())
        openFolder(d.GetPathBytes());
    else
        localmenu::Open(QList<QByteArray>{d.GetPathBytes()});
}

QMenu *LocList::ContextMenu(QAbstractItemView *view, const QPoint &pos)
{
    const QModelIndex at = view->indexAt(pos);
    if (!at.isValid()) {
        m_selection->clear();
        m_selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else if (!m_selection->isSelected(at)) {
        m_selection->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        m_selection->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
    }
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString folder = m_folder;
    if (at.isValid()) {
        const QList<QByteArray> paths = selectedPaths();
        menu->addAction(QStringLiteral("&Open"), this, [paths] { localmenu::Open(paths); });
        menu->addAction(QStringLiteral("&Rename"), this, [this, view] { renameSelection(view); })
            ->setEnabled(paths.size() == 1);
        menu->addAction(QStringLiteral("&Delete"), this, [this, paths] { localmenu::Delete(paths, m_prompts); });
        menu->addSeparator();
        menu->addAction(QStringLiteral("&Copy Path"), this, [this] {
            QStringList shown;
            for (const QModelIndex &i : SelectedItems())
                shown << GetShListData(i).GetPathName();
            localmenu::CopyPaths(shown);
        });
        return menu;
    }
    menu->addAction(QStringLiteral("&New Folder"), this, [this] { CreateNewFolder(); });
    menu->addAction(QStringLiteral("Re&fresh"), this, [this] { RefreshItems(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Open Folder"), this, [folder] { localmenu::Open({folder}); })
        ->setEnabled(!folder.isEmpty());
    menu->addAction(QStringLiteral("&Copy Path"), this, [folder] { localmenu::CopyPaths({folder}); })
        ->setEnabled(!folder.isEmpty());
    return menu;
}

void LocList::showContextMenu(QAbstractItemView *view, const QPoint &pos)
{
    ContextMenu(view, pos)->popup(view->viewport()->mapToGlobal(pos));
}

QList<QByteArray> LocList::selectedPaths() const
{
    QList<QByteArray> paths;
    for (const QModelIndex &i : SelectedItems())
        paths << m_model->PathBytes(i.row());
    return paths;
}

void LocList::deleteSelection()
{
    const QList<QByteArray> paths = selectedPaths();
    if (!paths.isEmpty())
        localmenu::Delete(paths, m_prompts);
}

void LocList::renameSelection(QAbstractItemView *view)
{
    const QList<QModelIndex> rows = SelectedItems();
    if (rows.size() != 1)
        return;
    view->setCurrentIndex(rows.first());
    view->edit(rows.first());
}

bool LocList::HandleKey(QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Delete && mods == Qt::NoModifier)
        deleteSelection();
    else if (event->key() == Qt::Key_F2 && mods == Qt::NoModifier)
        renameSelection(CurrentView());
    else if (event->key() == Qt::Key_F5 && mods == Qt::NoModifier)
        RefreshItems();
    else if ((event->key() == Qt::Key_Backspace && mods == Qt::NoModifier) ||
             (event->key() == Qt::Key_Up && mods == Qt::AltModifier)) {
        const QByteArray folder = m_model->Folder();
        const qsizetype slash = folder.lastIndexOf('/');
        if (slash >= 0 && folder != "/")
            openFolder(slash == 0 ? QByteArray("/") : folder.left(slash));
    } else
        return false;
    return true;
}

} // namespace tarsel
