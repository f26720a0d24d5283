#pragma once
#include <QTreeView>

#include "common/event.h"

class QFileSystemModel;

namespace tarsel {

class IPrompts;
class LocList;
class TLocalFileModel;

// The local folder tree: folders only, hidden ones included, following changes of the
// file system. Selecting a folder shows it in the linked LocList.
class LocTree : public QTreeView {
    Q_OBJECT
public:
    explicit LocTree(QWidget *parent = nullptr);

    void SetPrompts(IPrompts *prompts);
    void SetLinkedList(LocList *list);

    // Full path of the selected folder ("" when none).
    QString GetSelectedPathName() const;
    // Selects and reveals the folder; false when it does not exist.
    bool SetSelectedPathName(const QString &path);
    // Re-reads the folders from the file system, keeping the selection.
    void RefreshNodes();
    // Creates "New Folder" (or "New Folder (2)", ...) in the selected folder, selects it
    // and lets the user name it in place. False when it could not be created.
    bool CreateNewFolder();

    // True for a drag that started here.
    bool IsDragSource(const QObject *source) const { return source == this; }

    // A drag is starting; the handler may look at the selection.
    TEvent<> OnStartDrag;
    // The user clicked a folder or the selection moved by keyboard.
    TEvent<> OnClick;

signals:
    void selectedPathChanged(const QString &path);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Delete (asks first), F2 rename, F5 refresh, Backspace and Alt+Up to the parent.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildModel(const QString &select);
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

    void deleteSelected();

    TLocalFileModel *m_model = nullptr;
    LocList *m_list = nullptr;
    IPrompts *m_prompts = nullptr;
    // Folder to keep in view while its parents are still being read.
    QString m_revealPath;
};

} // namespace tarsel
