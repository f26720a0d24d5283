#include "localbrowser/loctree.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QKeyEvent>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMenu>
#include <QTimer>

#include "localbrowser/localfilemodel.h"
#include "localbrowser/loclist.h"
#include "localbrowser/localmenu.h"

namespace tarsel {

LocTree::LocTree(QWidget *parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("LocTree"));
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setAnimated(false);
    setUniformRowHeights(true);
    buildModel(QDir::homePath());
    connect(this, &QTreeView::clicked, this, [this] { OnClick.Trigger(); });
}

void LocTree::buildModel(const QString &select)
{
    auto *old = m_model;
    m_model = new TLocalFileModel(this);
    m_model->SetPrompts(m_prompts);
    // Folders only: without QDir::System, broken links, FIFOs, sockets and devices stay out.
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::Drives);
    m_model->setReadOnly(false); // in-place naming of new folders and renames
    m_model->setRootPath(QDir::rootPath());
    // The model reads folders in the background; reveal the selection once its
    // parents are read, or it ends up scrolled out of sight.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString &dir) {
        if (m_revealPath.isEmpty() || !(m_revealPath + QLatin1Char('/')).startsWith(dir))
            return;
        // The model sorts a freshly read folder a moment later, which moves the rows
        // again: reveal after that has happened.
        const bool last = QFileInfo(m_revealPath).path() == dir;
        QTimer::singleShot(150, this, [this, last] {
            if (m_revealPath.isEmpty())
                return;
            const QModelIndex i = m_model->index(m_revealPath);
            if (i.isValid())
                scrollTo(i, QAbstractItemView::PositionAtCenter);
            if (last)
                m_revealPath.clear();
        });
    });
    setModel(m_model);
    for (int c = 1; c < m_model->columnCount(); ++c)
        hideColumn(c);
    delete old;
    SetSelectedPathName(select);
}

void LocTree::SetPrompts(IPrompts *prompts)
{
    m_prompts = prompts;
    m_model->SetPrompts(prompts);
}

void LocTree::SetLinkedList(LocList *list)
{
    m_list = list;
    if (m_list && !GetSelectedPathName().isEmpty())
        m_list->SetFolder(GetSelectedPathName());
}

QString LocTree::GetSelectedPathName() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? m_model->filePath(i) : QString();
}

bool LocTree::SetSelectedPathName(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    const QModelIndex i = m_model->index(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (!i.isValid())
        return false;
    for (QModelIndex p = i.parent(); p.isValid(); p = p.parent())
        expand(p);
    setCurrentIndex(i);
    scrollTo(i, QAbstractItemView::PositionAtCenter);
    m_revealPath = m_model->filePath(i);
    return true;
}

void LocTree::RefreshNodes()
{
    QString keep = GetSelectedPathName();
    while (!keep.isEmpty() && !QFileInfo(keep).isDir())
        keep = QFileInfo(keep).path() == keep ? QString() : QFileInfo(keep).path();
    buildModel(keep.isEmpty() ? QDir::homePath() : keep);
}

bool LocTree::CreateNewFolder()
{
    const QModelIndex parent = currentIndex();
    if (!parent.isValid())
        return false;
    const QString name = localmenu::NewFolderName(m_model->filePath(parent));
    const QModelIndex created = m_model->mkdir(parent, name);
    if (!created.isValid())
        return false;
    expand(parent);
    setCurrentIndex(created);
    scrollTo(created);
    edit(created);
    return true;
}

void LocTree::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTreeView::currentChanged(current, previous);
    const QString path = current.isValid() ? m_model->filePath(current) : QString();
    if (m_list && !path.isEmpty())
        m_list->SetFolder(path);
    emit selectedPathChanged(path);
}

void LocTree::startDrag(Qt::DropActions supportedActions)
{
    OnStartDrag.Trigger();
    QTreeView::startDrag(supportedActions & Qt::CopyAction ? Qt::CopyAction : supportedActions);
}

void LocTree::deleteSelected()
{
    const QModelIndex i = currentIndex();
    // The roots of the tree are not deleted from here.
    if (!i.isValid() || !i.parent().isValid())
        return;
    if (localmenu::Delete({m_model->filePath(i)}, m_prompts))
        RefreshNodes();
}

void LocTree::keyPressEvent(QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    const QModelIndex i = currentIndex();
    if (state() == EditingState) {
        QTreeView::keyPressEvent(event);
    } else if (event->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
        deleteSelected();
    } else if (event->key() == Qt::Key_F2 && mods == Qt::NoModifier) {
        if (i.isValid() && i.parent().isValid())
            edit(i);
    } else if (event->key() == Qt::Key_F5 && mods == Qt::NoModifier) {
        RefreshNodes();
    } else if ((event->key() == Qt::Key_Backspace && mods == Qt::NoModifier) ||
               (event->key() == Qt::Key_Up && mods == Qt::AltModifier)) {
        if (i.isValid() && i.parent().isValid())
            setCurrentIndex(i.parent());
    } else {
        QTreeView::keyPressEvent(event);
    }
}

void LocTree::contextMenuEvent(QContextMenuEvent *event)
{
    // An item under the pointer is selected first; on empty space only the entries of
    // the selected folder itself are offered, never rename or delete.
    const QModelIndex at = indexAt(event->pos());
    if (at.isValid())
        setCurrentIndex(at);
    const QString path = GetSelectedPathName();
    const bool canChange = at.isValid() && at.parent().isValid();
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("&Open"), this, [path] { localmenu::Open({path}); })->setEnabled(!path.isEmpty());
    menu->addSeparator();
    menu->addAction(QStringLiteral("&New Folder"), this, [this] { CreateNewFolder(); });
    if (canChange) {
        menu->addAction(QStringLiteral("&Rename"), this, [this, at] { edit(at); });
        menu->addAction(QStringLiteral("&Delete"), this, [this] { deleteSelected(); });
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("Re&fresh"), this, [this] { RefreshNodes(); });
    menu->addAction(QStringLiteral("&Copy Path"), this, [path] { localmenu::CopyPaths({path}); })
        ->setEnabled(!path.isEmpty());
    menu->popup(event->globalPos());
}

} // namespace tarsel
