#pragma once
#include <QString>
#include <QStringList>

#include "localbrowser/viewstyle.h"

class QAction;
class QWidget;

namespace tarsel {

class IPrompts;
class LocList;
class LocTree;

// The main window's commands, for pop-up menus of a connection window.
enum class TActionId {
    ActionQuickCon, ActionNew, ActionPreferences, ActionNewProfile, ActionProfiles, ActionCloseActive, ActionExit,
    ActionUpDir, ActionChangeDir, ActionMkdDir, ActionRenameDir, ActionRemoveDir, ActionNewLocalDir,
    ActionRefreshRemote, ActionRefreshLocal,
    ActionUploadFile, ActionResumeUp, ActionDownloadFile, ActionResumeDown, ActionDeleteRemote,
    ActionRenameRemoteFile,
    ActionBatchUpload, ActionBatchDownload, ActionBatchDelete,
    ActionSaveLog, ActionDirInfo, ActionChmod, ActionChmodDir,
    ActionQuote, ActionCWD, ActionCDUP, ActionPWD, ActionHELP, ActionSYST, ActionSITE, ActionLIST, ActionNLST,
    ActionSTOR, ActionRETR, ActionSTAT, ActionSIZE, ActionQUIT,
    ActionListView, ActionDetailView, ActionLgIconView, ActionSmIconView,
    ActionAbout, ActionHelpDefault, ActionTarselOnline, ActionQuendal, ActionQuendalSupport,
};

// The action's object name ("ActionSaveLog").
const char *ActionName(TActionId id);

// What the main window needs of a connection window. The connection window is a page
// of the main window's client area, carried by one tab.
class IConnectionWindow {
public:
    virtual ~IConnectionWindow() = default;

    virtual QWidget *Widget() = 0;
    // The profile name until the session has connected, then the host name.
    virtual QString Caption() const = 0;
    // The FTP client's Connected property.
    virtual bool Connected() const = 0;
    // Selected rows of RemoteDirs and RemoteFiles.
    virtual int SelectedDirCount() const = 0;
    virtual int SelectedFileCount() const = 0;
    // View style of both remote lists.
    virtual void SetViewStyle(TViewStyle style) = 0;
    // Lays out its controls again after the main window resized.
    virtual void Realign() = 0;
    // The window's close handling, run once its tab is gone (sizes saved, temporary
    // listing file deleted, client aborted, its open prompts dismissed). It may run inside
    // one of the window's own handlers: the main window hands the widget to deleteLater
    // after, never deletes it at once.
    virtual void FormClose() = 0;
};

// The services of the main window that connection windows call. This interface is
// what breaks the cycle between the two: session code includes only this header.
class IMainServices {
public:
    virtual ~IMainServices() = default;

    // Status panel 0, 1 or 2, only when `window` is the active connection window.
    virtual void PostStatus(IConnectionWindow *window, int panel, const QString &text) = 0;
    // Copies the window's caption into its tab.
    virtual void UpdateConnectionTab(IConnectionWindow *window) = 0;
    virtual void UpdateCommandStates() = 0;
    // Deletes the window's tab and closes the window; called from its close query.
    virtual void RemoveConnectionTab(IConnectionWindow *window) = 0;
    virtual IConnectionWindow *ActiveConnectionWindow() const = 0;

    // InfoBox, ConfirmBox, ErrorBox, InputBox and the other modal services.
    virtual IPrompts &Prompts() = 0;
    virtual LocTree &GetLocTree() = 0;
    virtual LocList &GetLocList() = 0;
    // Full local paths collected when a drag starts in LocList.
    virtual QStringList &DragList() = 0;
    virtual QAction *Action(TActionId id) const = 0;
};

} // namespace tarsel
