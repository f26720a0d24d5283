// The actions of the main window, its menus and tool bar, and their enabling.
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/tformmain.h"
#include "common/exception.h"
#include "localbrowser/loclist.h"

namespace tarsel {

QAction *TFormMain::addAction(const char *name, const char *caption, const char *hint, const char *category,
                              TImage image)
{
    auto *a = new QAction(icons::Icon(image), QString::fromLatin1(caption), this);
    a->setObjectName(QString::fromLatin1(name));
    if (hint && *hint) {
        a->setToolTip(QString::fromLatin1(hint));
        a->setStatusTip(QString::fromLatin1(hint));
    } else {
        a->setToolTip(QString());
    }
    a->setProperty("category", QString::fromLatin1(category));
    a->setProperty("hint", QString::fromLatin1(hint));
    m_actions.insert(a->objectName(), a);
    return a;
}

void TFormMain::createActions()
{
    const char *c = "Connections";
    addAction("ActionQuickCon", "Quick Connect", "Quick Connect", c, TImage::QuickConnect);
    addAction("ActionNew", "New Connection...", "New Connection", c, TImage::NewConnection);
    addAction("ActionPreferences", "Application Preferences...", "Preferences", c, TImage::Preferences);
    addAction("ActionNewProfile", "New Profile...", "New Profile", c, TImage::NewProfile);
    addAction("ActionProfiles", "Profiles...", "Edit Profiles", c, TImage::Profiles);
    addAction("ActionCloseActive", "Close Active Connection", "Close Active Connection", c, TImage::CloseConnection);
    addAction("ActionExit", "Exit", "Exit", c, TImage::Exit);

    c = "Directories";
    addAction("ActionUpDir", "Up Directory", "Up Directory", c, TImage::UpDir);
    addAction("ActionChangeDir", "Change Remote Directory...", "Change Directory", c, TImage::ChangeDir);
    addAction("ActionMkdDir", "New Remote Directory...", "Create New Remote Directory", c, TImage::NewRemoteDir);
    addAction("ActionRenameDir", "Rename Remote Directory...", "Rename Remote Directory", c, TImage::RenameDir);
    addAction("ActionRemoveDir", "Delete Remote Directory...", "Delete Remote Directory", c, TImage::RemoveDir);
    addAction("ActionNewLocalDir", "New Local Directory", "Create Local Directory", c, TImage::NewLocalDir);
    addAction("ActionRefreshRemote", "Refresh Remote Listing", "Refresh Remote Listing", c, TImage::RefreshRemote);
    addAction("ActionRefreshLocal", "Refresh Local Listing", "Refresh Local Listing", c, TImage::RefreshLocal);

    c = "Files";
    addAction("ActionUploadFile", "Upload File(s)", "Upload File(s)", c, TImage::Upload);
    addAction("ActionResumeUp", "Resume Upload", "Resume Upload", c, TImage::ResumeUp);
    addAction("ActionDownloadFile", "Download File(s)", "Download File(s)", c, TImage::Download);
    addAction("ActionResumeDown", "Resume Download", "Resume Download", c, TImage::ResumeDown);
    addAction("ActionDeleteRemote", "Delete Remote File(s)...", "Delete Remote File(s)", c, TImage::DeleteRemote);
    addAction("ActionRenameRemoteFile", "Rename Remote File...", "Rename Remote File", c, TImage::RenameFile);

    c = "Batches";
    addAction("ActionBatchUpload", "Batch Upload...", "Batch Upload", c, TImage::BatchUpload);
    addAction("ActionBatchDownload", "Batch Download...", "Batch Download", c, TImage::BatchDownload);
    addAction("ActionBatchDelete", "Batch Delete...", "Batch Delete", c, TImage::BatchDelete);

    c = "Utilities";
    addAction("ActionSaveLog", "Save Log...", "Save Log", c, TImage::SaveLog);
    addAction("ActionDirInfo", "Remote Directory Information...", "Get Remote Directory Information", c,
              TImage::DirInfo);
    addAction("ActionChmod", "File(s) Permissions (Unix)...", "Set Remote File Permissions", c, TImage::Chmod);
    addAction("ActionChmodDir", "Directory Permissions (Unix)...", "Set Remote Directory Permissions", c,
              TImage::Chmod);

    c = "Commands";
    for (const char *verb : {"QUOTE", "CWD", "CDUP", "PWD", "HELP", "SYST", "SITE", "LIST", "NLST", "STOR", "RETR",
                             "STAT", "SIZE", "QUIT"}) {
        const QByteArray name = QByteArray("Action") + verb;
        addAction(name.constData(), verb, "", c, TImage::Command);
    }
    // The action names of the Commands category keep the verbs' spelling except QUOTE.
    m_actions.insert(QStringLiteral("ActionQuote"), m_actions.take(QStringLiteral("ActionQUOTE")));
    m_actions.value(QStringLiteral("ActionQuote"))->setObjectName(QStringLiteral("ActionQuote"));

    c = "View";
    m_viewGroup = new QActionGroup(this);
    m_viewGroup->setExclusive(true);
    const std::pair<const char *, std::pair<const char *, TImage>> views[] = {
        {"ActionListView", {"List View", TImage::ViewList}},
        {"ActionDetailView", {"Details View", TImage::ViewDetails}},
        {"ActionLgIconView", {"Large Icon View", TImage::ViewLarge}},
        {"ActionSmIconView", {"Small Icon View", TImage::ViewSmall}},
    };
    for (const auto &[name, v] : views) {
        QAction *a = addAction(name, v.first, "", c, v.second);
        a->setCheckable(true);
        m_viewGroup->addAction(a);
    }
    m_actions.value(QStringLiteral("ActionDetailView"))->setChecked(true);

    c = "Help";
    addAction("ActionAbout", "About Tarsel FTP", "", c, TImage::About);
    addAction("ActionHelpDefault", "Help", "Help", c, TImage::Help)->setShortcut(QKeySequence(Qt::Key_F1));
    addAction("ActionTarselOnline", "Tarsel FTP Online", "", c, TImage::Web);
    addAction("ActionQuendal", "Quendal Online", "Quendal Online", c, TImage::Web);
    addAction("ActionQuendalSupport", "Quendal Support", "", c, TImage::Web);

    // Every handler runs RunGuarded: an exception goes to the application's handler, never
    // on into Qt (notify() is only the last resort).
    const auto on = [this](const char *name, void (TFormMain::*handler)()) {
        connect(m_actions.value(QLatin1String(name)), &QAction::triggered, this,
                [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
    };
    on("ActionExit", &TFormMain::ActionExitExecute);
    on("ActionNewLocalDir", &TFormMain::ActionNewLocalDirExecute);
    on("ActionRefreshLocal", &TFormMain::ActionRefreshLocalExecute);
    on("ActionQuickCon", &TFormMain::ActionQuickConExecute);
    on("ActionCloseActive", &TFormMain::ActionCloseActiveExecute);
    on("ActionAbout", &TFormMain::ActionAboutExecute);
    on("ActionHelpDefault", &TFormMain::ActionHelpDefaultExecute);
    on("ActionTarselOnline", &TFormMain::ActionTarselOnlineExecute);
    on("ActionQuendal", &TFormMain::ActionQuendalExecute);
    on("ActionQuendalSupport", &TFormMain::ActionQuendalSupportExecute);
    const std::pair<const char *, TViewStyle> styles[] = {
        {"ActionLgIconView", TViewStyle::LargeIcon},
        {"ActionSmIconView", TViewStyle::SmallIcon},
        {"ActionListView", TViewStyle::List},
        {"ActionDetailView", TViewStyle::Details},
    };
    for (const auto &[name, style] : styles)
        connect(m_actions.value(QLatin1String(name)), &QAction::triggered, this,
                [this, style = style] { RunGuarded([this, style] { SetViewStyle(style); }); });
    // Main-window actions work from every child window, including a connection window.
    for (QAction *a : std::as_const(m_actions))
        a->setShortcutContext(Qt::ApplicationShortcut);
}

void TFormMain::createMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));
    const auto fill = [this](QMenu *menu, std::initializer_list<const char *> names) {
        for (const char *n : names) {
            if (QByteArray(n) == "-")
                menu->addSeparator();
            else
                menu->addAction(m_actions.value(QLatin1String(n)));
        }
    };
    fill(bar->addMenu(QStringLiteral("Connections")),
         {"ActionQuickCon", "ActionNew", "ActionCloseActive", "-", "ActionPreferences", "-", "ActionNewProfile",
          "ActionProfiles", "-", "ActionExit"});
    fill(bar->addMenu(QStringLiteral("View")), {"ActionLgIconView", "ActionSmIconView", "ActionListView", "ActionDetailView"});
    fill(bar->addMenu(QStringLiteral("Directories")),
         {"ActionUpDir", "ActionChangeDir", "-", "ActionMkdDir", "ActionNewLocalDir", "-", "ActionRenameDir", "-",
          "ActionRemoveDir", "-", "ActionRefreshRemote", "ActionRefreshLocal"});
    fill(bar->addMenu(QStringLiteral("Files")),
         {"ActionUploadFile", "ActionResumeUp", "-", "ActionDownloadFile", "ActionResumeDown", "-",
          "ActionDeleteRemote", "ActionRenameRemoteFile"});
    fill(bar->addMenu(QStringLiteral("Batch")), {"ActionBatchUpload", "ActionBatchDownload", "-", "ActionBatchDelete"});
    QMenu *util = bar->addMenu(QStringLiteral("Utilities"));
    fill(util->addMenu(QStringLiteral("Commands")),
         {"ActionCDUP", "ActionCWD", "ActionPWD", "-", "ActionSYST", "ActionSTAT", "ActionHELP", "-", "ActionSITE",
          "ActionQuote", "-", "ActionLIST", "ActionNLST", "ActionSIZE", "-", "ActionSTOR", "ActionRETR", "-",
          "ActionQUIT"});
    fill(util->addMenu(QStringLiteral("Permissions")), {"ActionChmod", "ActionChmodDir"});
    fill(util, {"-", "ActionDirInfo", "-", "ActionSaveLog"});
    fill(bar->addMenu(QStringLiteral("Help")),
         {"ActionAbout", "ActionHelpDefault", "-", "ActionTarselOnline", "ActionQuendal", "ActionQuendalSupport"});
}

void TFormMain::UpdateCommandStates()
{
    IConnectionWindow *w = ActiveConnectionWindow();
    const bool connected = w && w->Connected();
    const bool dirs = connected && w->SelectedDirCount() > 0;
    const int files = connected ? w->SelectedFileCount() : 0;
    const int local = m_locList->SelectedCount();
    setSplitMainColor(w ? ButtonFaceColor() : WorkspaceColor());

    const auto set = [this](std::initializer_list<const char *> names, bool on) {
        for (const char *n : names)
            m_actions.value(QLatin1String(n))->setEnabled(on);
    };
    set({"ActionQuickCon"}, ComboQuick->count() > 0);
    set({"ActionCloseActive"}, w != nullptr);
    set({"ActionUpDir", "ActionChangeDir", "ActionMkdDir", "ActionRefreshRemote", "ActionBatchUpload",
         "ActionSaveLog", "ActionDirInfo", "ActionQuote", "ActionCWD", "ActionCDUP", "ActionPWD", "ActionHELP",
         "ActionSYST", "ActionSITE", "ActionLIST", "ActionNLST", "ActionSTOR", "ActionRETR", "ActionSTAT",
         "ActionSIZE", "ActionQUIT"},
        connected);
    set({"ActionRenameDir", "ActionRemoveDir", "ActionBatchDownload", "ActionBatchDelete", "ActionChmodDir"}, dirs);
    set({"ActionDownloadFile", "ActionDeleteRemote", "ActionChmod"}, files >= 1);
    set({"ActionRenameRemoteFile", "ActionResumeDown"}, files == 1);
    set({"ActionUploadFile"}, connected && local >= 1);
    set({"ActionResumeUp"}, connected && local == 1);
}

} // namespace tarsel
