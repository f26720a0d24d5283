#pragma once
#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

#include "session/mainservices.h"
#include "app/settings/profilefile.h"
#include "uikit/icons.h"

class QActionGroup;
class QComboBox;
class QLabel;
class QSplitter;
class QStackedWidget;
class QTabBar;
class QTimer;
class QToolBar;

namespace tarsel {

// The main window: local panes above, connection windows (one visible at a time) in
// the client area, their tabs below, status panels at the bottom; the owner of every
// menu and tool bar command.
class TFormMain : public QMainWindow, public IMainServices {
    Q_OBJECT
public:
    // `prompts` null: the window uses message boxes of its own.
    explicit TFormMain(IPrompts *prompts = nullptr, QWidget *parent = nullptr);
    ~TFormMain() override;

    // IMainServices
    void PostStatus(IConnectionWindow *window, int panel, const QString &text) override;
    void UpdateConnectionTab(IConnectionWindow *window) override;
    void UpdateCommandStates() override;
    void RemoveConnectionTab(IConnectionWindow *window) override;
    IConnectionWindow *ActiveConnectionWindow() const override;
    IPrompts &Prompts() override { return *m_prompts; }
    LocTree &GetLocTree() override { return *m_locTree; }
    LocList &GetLocList() override { return *m_locList; }
    QStringList &DragList() override { return m_dragList; }
    QAction *Action(TActionId id) const override { return m_actions.value(QLatin1String(ActionName(id))); }
    QAction *Action(const QString &name) const { return m_actions.value(name); }

    // Message box services, shown through the prompts.
    void InfoBox(const QString &text, const QString &caption);
    bool ConfirmBox(const QString &text, const QString &caption);
    void ErrorBox(const QString &text, const QString &caption);
    QString InputBox(const QString &title, const QString &prompt, const QString &preset);

    void CloseAllConnections();
    void LoadProfileNames();

    // Creates the connection window for a profile; set by the session layer.
    using ConnectionWindowFactory = std::function<IConnectionWindow *(TFormMain &, const std::string &profile)>;
    void SetConnectionWindowFactory(ConnectionWindowFactory factory) { m_factory = std::move(factory); }
    void OpenConnectionWindow(const std::string &profileName);
    // Gives an existing window its tab, selects it and makes it the active one (the tab
    // bookkeeping of OpenConnectionWindow). The main window owns it from here on.
    void AddConnectionWindow(IConnectionWindow *window);
    int ConnectionCount() const;
    IConnectionWindow *ConnectionWindow(int tab) const;

    // Every tab shows the connection image of Imgsmall.
    static int TabConGetImageIndex(int /*tab*/) { return 5; }

    // Shows the exception to the user unless it is the refusal of a busy FTP client.
    void ApplicationException(std::exception_ptr error);

    // Restores a minimised window and brings it to the front.
    void RestoreAndRaise();

    QColor SplitMainColor() const { return m_splitMainColor; }
    QColor WorkspaceColor() const;
    QColor ButtonFaceColor() const;
    QString StatusText(int panel) const;
    int LocalListSize() const; // PMain height
    int LocalDirSize() const;  // PTree width
    const QString &ProfileFilePath() const { return m_profileFilePath; }
    const QString &HelpFilePath() const { return m_helpFilePath; }
    bool FirstShow() const { return m_firstShow; }

    // Controls, named as in the window's design.
    QComboBox *ComboQuick = nullptr;
    QTabBar *TabCon = nullptr;
    QStackedWidget *ClientArea = nullptr;
    QSplitter *SplitMain = nullptr;
    QSplitter *SplitE = nullptr;
    QWidget *PMain = nullptr;
    QWidget *PTree = nullptr;
    QToolBar *TBConnections = nullptr;
    QLabel *StatPanels[3] = {nullptr, nullptr, nullptr};

    // The main window's own commands.
    void ActionExitExecute();
    void ActionNewLocalDirExecute();
    void ActionRefreshLocalExecute();
    void ActionQuickConExecute();
    void ActionCloseActiveExecute();
    // The profile and preference dialogs.
    void ActionNewExecute();
    void ActionProfilesExecute();
    void ActionNewProfileExecute();
    void ActionPreferencesExecute();
    // The Help menu (tformmain_help.cpp).
    void ActionAboutExecute();
    void ActionHelpDefaultExecute();
    void ActionTarselOnlineExecute();
    void ActionQuendalExecute();
    void ActionQuendalSupportExecute();
    void SetViewStyle(TViewStyle style);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createActions();
    void createMenus();
    void createControls();
    QAction *addAction(const char *name, const char *caption, const char *hint, const char *category, TImage image);
    void setSplitMainColor(const QColor &c);
    void FormShow();
    void FormClose();
    void FormResize();
    void TabConChange();
    int tabOf(IConnectionWindow *window) const;
    // Drops the tab of a window destroyed without being closed through its tab.
    void windowDestroyed(QObject *widget);
    void afterTabRemoved();
    // Opens the connection for the profile picked in the connection picker.
    void connectPickedProfile(const std::string &profileName);
    // Refills the quick-connect list after a dialog changed accounts.dat.
    void profilesChanged();

    LocTree *m_locTree = nullptr; // "LocTree"
    LocList *m_locList = nullptr; // "LocList"
    std::unique_ptr<IPrompts> m_ownPrompts;
    IPrompts *m_prompts;
    bool m_firstShow = true;
    QStringList m_dragList;
    QString m_profileFilePath;
    std::unique_ptr<ProfileFile> m_profileFile;
    QString m_helpFilePath;
    QHash<QString, QAction *> m_actions;
    QActionGroup *m_viewGroup = nullptr;
    QColor m_splitMainColor;
    // Redraws of the window, at most one per PaintIntervalMs (see event()).
    QElapsedTimer m_lastPaint;
    QTimer *m_paintTimer = nullptr;
    bool m_paintNow = false;
    ConnectionWindowFactory m_factory;
    // The connection windows, in the order of their tabs. The QPointer tells a window
    // destroyed behind the main window's back.
    struct TabWindow {
        QPointer<QWidget> widget;
        IConnectionWindow *window = nullptr;
        QObject *key = nullptr; // the widget, to find the entry once it is destroyed
        QMetaObject::Connection destroyed;
    };
    QList<TabWindow> m_windows;
};

} // namespace tarsel
