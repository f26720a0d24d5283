#pragma once
#include <QModelIndex>
#include <QWidget>

#include "common/event.h"
#include "localbrowser/viewstyle.h"

class QKeyEvent;
class QMenu;
class QItemSelectionModel;
class QListView;
class QStackedWidget;
class QTreeView;
class QAbstractItemView;

namespace tarsel {

class IPrompts;
class TLocalDirModel;

// What a row of the local file list is.
class TShListData {
public:
    TShListData() = default;
    TShListData(bool folder, QString path, QString name, QByteArray bytes = {})
        : m_folder(folder), m_path(std::move(path)), m_name(std::move(name)), m_bytes(std::move(bytes))
    {
    }
    bool IsFolder() const { return m_folder; }
    QString GetPathName() const { return m_path; }
    QString GetDisplayName() const { return m_name; }
    // The full path as the file system's bytes; the one to act on, since a name that is
    // not valid text has no exact QString form.
    QByteArray GetPathBytes() const { return m_bytes; }

private:
    bool m_folder = false;
    QString m_path;
    QString m_name;
    QByteArray m_bytes;
};

// The local file list: the contents of one folder (hidden items included), multiple
// selection, four view styles over one model and one selection, following changes.
class LocList : public QWidget {
    Q_OBJECT
public:
    explicit LocList(QWidget *parent = nullptr);

    void SetPrompts(IPrompts *prompts);

    void SetFolder(const QString &path);
    // The folder shown, as text (escaped as LocalDisplayName does when it is not valid text).
    QString Folder() const { return m_folder; }
    // Re-reads the folder from the file system.
    void RefreshItems();

    void SetViewStyle(TViewStyle style);
    TViewStyle ViewStyle() const { return m_style; }

    int ItemCount() const;
    int SelectedCount() const;
    // Selected rows in list order.
    QList<QModelIndex> SelectedItems() const;
    TShListData GetShListData(const QModelIndex &item) const;
    // Selects the item with this name (for tests and after creating an item).
    bool SelectName(const QString &name, bool add = false);
    // Creates a new folder here and lets the user name it in place.
    bool CreateNewFolder();

    // The context menu for a right-click at `pos` of the view, not shown yet. A click on
    // an item selects it first unless it is selected already; a click on empty space
    // clears the selection and offers only what concerns the folder itself.
    QMenu *ContextMenu(QAbstractItemView *view, const QPoint &pos);

    // Keyboard commands: Delete (asks first), F2 rename, F5 refresh, Backspace and
    // Alt+Up to the parent folder. True when the key was one of them.
    bool HandleKey(QKeyEvent *event);

    bool IsDragSource(const QObject *source) const;
    QAbstractItemView *CurrentView() const;
    TLocalDirModel *Model() const { return m_model; }

    TEvent<> OnStartDrag;
    TEvent<> OnClick;
    // A folder was opened by double click; the tree follows.
    TEvent<const QString &> OnOpenFolder;

signals:
    void folderLoaded(const QString &path);

private:
    friend class TLocListViewHook;
    void showContextMenu(QAbstractItemView *view, const QPoint &pos);
    void activate(const QModelIndex &index);
    void startDragFrom(QAbstractItemView *view);

    void deleteSelection();
    void renameSelection(QAbstractItemView *view);

    QList<QByteArray> selectedPaths() const;
    void setFolderBytes(const QByteArray &path, const QString &shown);
    void openFolder(const QByteArray &path);

    TLocalDirModel *m_model = nullptr;
    QItemSelectionModel *m_selection = nullptr;
    QStackedWidget *m_stack;
    QTreeView *m_details;
    QListView *m_icons;
    QString m_folder;
    TViewStyle m_style = TViewStyle::Details;
    IPrompts *m_prompts = nullptr;
    QList<QByteArray> m_keep; // selection kept over a re-read
    QByteArray m_keepFolder;
};

} // namespace tarsel
