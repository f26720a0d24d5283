#include "app/tformmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "app/settings/datafolder.h"
#include "app/settings/treg.h"
#include "app/splash.h"
#include "app/tapplication.h"
#include "common/exception.h"
#include "ftp/ftpcli.h"
#include "localbrowser/loclist.h"
#include "localbrowser/loctree.h"
#include "uikit/displaytext.h"
#include "uikit/placedbyhand.h"
#include "uikit/qtprompts.h"

namespace tarsel {

namespace {
const QString formSection = QStringLiteral("FormMain");
constexpr QRect designedBounds(333, 199, 740, 540);
// The shortest time between two redraws of the main window.
constexpr int PaintIntervalMs = 20;

// The three status panels side by side: panel 0 at its fixed width, panels 1 and 2
// sharing the rest up to their maximum widths. Placed by hand rather than by the status
// bar's layout: a layout would lay the whole main window out again for every new text,
// and a connection window posts one for every command it sends.
class TStatusPanels : public QWidget {
public:
    using QWidget::QWidget;
    void Place(QLabel *fixed, QLabel *first, QLabel *second)
    {
        m_panels = {fixed, first, second};
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        new TPlacedByHand(this, [this] { arrange(); });
        arrange();
    }
    QSize sizeHint() const override
    {
        return {m_panels[0] ? m_panels[0]->width() : 0, m_panels[0] ? m_panels[0]->sizeHint().height() : 0};
    }
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

private:
    void arrange()
    {
        if (!m_panels[0])
            return;
        constexpr int gap = 4;
        const int h = height();
        const int fixed = m_panels[0]->width();
        m_panels[0]->setGeometry(0, 0, fixed, h);
        const int share = std::max(0, (width() - fixed - 2 * gap) / 2);
        int x = fixed + gap;
        for (int i = 1; i < 3; ++i) {
            const int w = std::min(share, m_panels[i]->maximumWidth());
            m_panels[i]->setGeometry(x, 0, w, h);
            x += w + gap;
        }
    }
    std::array<QLabel *, 3> m_panels{};
};
} // namespace

TFormMain::TFormMain(IPrompts *prompts, QWidget *parent) : QMainWindow(parent), m_prompts(prompts)
{
    setObjectName(formSection);
    setWindowTitle(QStringLiteral("Tarsel FTP"));
    if (!m_prompts) {
        m_ownPrompts = std::make_unique<TQtPrompts>([this] { return this; });
        m_prompts = m_ownPrompts.get();
    }
    TApplication::SetExceptionHandler([this](std::exception_ptr e) { ApplicationException(e); });
    ProfileFile::SetFailureReporter([this](const QString &error) {
        ErrorBox(QStringLiteral("The profiles could not be saved.\n") + error, QStringLiteral("Profile Error"));
    });

    m_paintTimer = new QTimer(this);
    m_paintTimer->setSingleShot(true);
    connect(m_paintTimer, &QTimer::timeout, this, [this] {
        m_lastPaint.start();
        m_paintNow = true;
        QEvent update(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(this, &update);
        m_paintNow = false;
    });
    createActions();
    createControls();
    createMenus();

    // Placement: maximised on the first run and when it was closed so.
    setMinimumSize(680, 500);
    TFormPlacement p{TFormPlacement::State::Normal, designedBounds.x(), designedBounds.y(), designedBounds.width(),
                     designedBounds.height()};
    TReg::LoadFormPlacement(formSection, p);
    move(p.Left, p.Top);
    resize(p.Width, p.Height);
    if (p.WindowState == TFormPlacement::State::Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);

    m_profileFilePath = tarsel::ProfileFilePath();
    m_profileFile = std::make_unique<ProfileFile>(m_profileFilePath);
    LoadProfileNames();
    if (ComboQuick->count() > 0) {
        const int last = TReg::ReadInteger(settings::Section, QStringLiteral("LastShortcut"));
        ComboQuick->setCurrentIndex(last >= 0 && last < ComboQuick->count() ? last : -1);
    }
    m_helpFilePath = ExecutableFolder() + QStringLiteral("ostrel3.hlp");
}

TFormMain::~TFormMain()
{
    TApplication::SetExceptionHandler(nullptr);
    ProfileFile::SetFailureReporter(nullptr);
    // Connection windows still here (closed without FormClose) go with the client area;
    // their tabs need no bookkeeping any more.
    for (const TabWindow &t : std::as_const(m_windows))
        QObject::disconnect(t.destroyed);
}

void TFormMain::createControls()
{
    // Tool bar with the quick-connect panel.
    TBConnections = new QToolBar(QStringLiteral("Connections"), this);
    TBConnections->setObjectName(QStringLiteral("TBConnections"));
    TBConnections->setMovable(false);
    TBConnections->setFloatable(false);
    TBConnections->setIconSize(QSize(icons::ToolBarSize, icons::ToolBarSize));
    TBConnections->setToolButtonStyle(Qt::ToolButtonIconOnly);
    TBConnections->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    for (const char *n : {"ActionNew", "ActionCloseActive", "ActionNewProfile", "ActionProfiles", "-",
                          "ActionUploadFile", "ActionDownloadFile", "ActionDeleteRemote", "-", "ActionHelpDefault",
                          "-"}) {
        if (QByteArray(n) == "-")
            TBConnections->addSeparator();
        else
            TBConnections->addAction(m_actions.value(QLatin1String(n)));
    }
    auto *quick = new QWidget(TBConnections);
    quick->setObjectName(QStringLiteral("PQuick"));
    quick->setFixedWidth(233);
    auto *ql = new QVBoxLayout(quick);
    ql->setContentsMargins(4, 0, 4, 0);
    ql->setSpacing(1);
    auto *label = new QLabel(QStringLiteral("Quick Connection"), quick);
    label->setObjectName(QStringLiteral("LabelQuick"));
    label->setAlignment(Qt::AlignCenter);
    ComboQuick = new QComboBox(quick);
    ComboQuick->setObjectName(QStringLiteral("ComboQuick"));
    ComboQuick->setEditable(false); // pick from the list only
    ComboQuick->setFixedWidth(153);
    ql->addWidget(label, 0, Qt::AlignHCenter);
    ql->addWidget(ComboQuick, 0, Qt::AlignHCenter);
    TBConnections->addWidget(quick);
    TBConnections->addAction(m_actions.value(QStringLiteral("ActionQuickCon")));
    for (QToolButton *b : TBConnections->findChildren<QToolButton *>())
        b->setFixedSize(39, 38);
    addToolBar(Qt::TopToolBarArea, TBConnections);

    // Local panes above the client area.
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("Central"));
    auto *cl = new QVBoxLayout(central);
    cl->setContentsMargins(0, 0, 0, 0);
    cl->setSpacing(0);

    SplitMain = new QSplitter(Qt::Vertical, central);
    SplitMain->setObjectName(QStringLiteral("SplitMain"));
    SplitMain->setHandleWidth(2);
    SplitMain->setChildrenCollapsible(false);

    PMain = new QWidget(SplitMain);
    PMain->setObjectName(QStringLiteral("PMain"));
    PMain->setMinimumHeight(90);
    auto *pl = new QHBoxLayout(PMain);
    pl->setContentsMargins(0, 0, 0, 0);
    SplitE = new QSplitter(Qt::Horizontal, PMain);
    SplitE->setObjectName(QStringLiteral("SplitE"));
    SplitE->setHandleWidth(2);
    SplitE->setChildrenCollapsible(false);
    pl->addWidget(SplitE);

    PTree = new QWidget(SplitE);
    PTree->setObjectName(QStringLiteral("PTree"));
    PTree->setMinimumWidth(150);
    auto *tl = new QVBoxLayout(PTree);
    tl->setContentsMargins(0, 0, 0, 0);
    m_locTree = new LocTree(PTree);
    m_locTree->SetPrompts(m_prompts);
    tl->addWidget(m_locTree);

    auto *plist = new QWidget(SplitE);
    plist->setObjectName(QStringLiteral("PList"));
    plist->setMinimumWidth(150);
    auto *ll = new QVBoxLayout(plist);
    ll->setContentsMargins(0, 0, 0, 0);
    m_locList = new LocList(plist);
    m_locList->SetPrompts(m_prompts);
    ll->addWidget(m_locList);
    SplitE->addWidget(PTree);
    SplitE->addWidget(plist);
    SplitE->setStretchFactor(0, 0);
    SplitE->setStretchFactor(1, 1);
    m_locTree->SetLinkedList(m_locList);
    m_locTree->OnClick = [this] { RunGuarded([this] { UpdateCommandStates(); }); }; // LocTreeClick
    m_locList->OnClick = [this] { RunGuarded([this] { UpdateCommandStates(); }); }; // LocListClick
    m_locList->OnOpenFolder = [this](const QString &p) { RunGuarded([&] { m_locTree->SetSelectedPathName(p); }); };

    ClientArea = new QStackedWidget(SplitMain);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    ClientArea->setMinimumHeight(90);
    ClientArea->setAutoFillBackground(true);
    QPalette cp = ClientArea->palette();
    cp.setColor(QPalette::Window, WorkspaceColor());
    ClientArea->setPalette(cp);
    // Shown while no connection window exists; the first one covers it.
    auto *start = new QLabel(QStringLiteral(
        "To connect to a server, pick a saved profile in the Quick Connection list and press Quick Connect,\n"
        "choose New Connection... in the Connections menu, or make a profile with New Profile..."), ClientArea);
    start->setObjectName(QStringLiteral("StartText"));
    start->setAlignment(Qt::AlignCenter);
    start->setWordWrap(true);
    start->setTextFormat(Qt::PlainText);
    QPalette sp = start->palette();
    sp.setColor(QPalette::WindowText, palette().color(QPalette::Light));
    start->setPalette(sp);
    ClientArea->addWidget(start);
    SplitMain->addWidget(PMain);
    SplitMain->addWidget(ClientArea);
    SplitMain->setStretchFactor(0, 0);
    SplitMain->setStretchFactor(1, 1);
    cl->addWidget(SplitMain, 1);

    TabCon = new QTabBar(central);
    TabCon->setObjectName(QStringLiteral("TabCon"));
    TabCon->setShape(QTabBar::RoundedSouth);
    TabCon->setIconSize(QSize(icons::SmallSize, icons::SmallSize));
    TabCon->setExpanding(false);
    TabCon->setDrawBase(true);
    TabCon->setVisible(false);
    connect(TabCon, &QTabBar::currentChanged, this, [this](int) { RunGuarded([this] { TabConChange(); }); });
    cl->addWidget(TabCon);
    setCentralWidget(central);

    auto *stat = new QStatusBar(this);
    stat->setObjectName(QStringLiteral("Stat1"));
    stat->setSizeGripEnabled(true);
    auto *panels = new TStatusPanels(stat);
    for (int i = 0; i < 3; ++i) {
        StatPanels[i] = new QLabel(panels);
        StatPanels[i]->setObjectName(QStringLiteral("StatPanel%1").arg(i));
        StatPanels[i]->setTextFormat(Qt::PlainText); // server text, never markup
        StatPanels[i]->setFrameShape(QFrame::StyledPanel);
        StatPanels[i]->setFrameShadow(QFrame::Sunken);
        // Panels 1 and 2 share the width beyond panel 0; they never hold the window
        // wider than the user makes it.
        if (i > 0)
            StatPanels[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    StatPanels[0]->setFixedWidth(100);
    panels->Place(StatPanels[0], StatPanels[1], StatPanels[2]);
    stat->addWidget(panels, 1);
    setStatusBar(stat);
    setSplitMainColor(WorkspaceColor());
}

QColor TFormMain::WorkspaceColor() const { return palette().color(QPalette::Dark); }
QColor TFormMain::ButtonFaceColor() const { return palette().color(QPalette::Button); }

void TFormMain::setSplitMainColor(const QColor &c)
{
    if (c == m_splitMainColor)
        return;
    m_splitMainColor = c;
    SplitMain->setStyleSheet(QStringLiteral("QSplitter#SplitMain::handle { background-color: %1; }").arg(c.name()));
}

// --- message box services -------------------------------------------------------

void TFormMain::InfoBox(const QString &text, const QString &caption) { m_prompts->InfoBox(text, caption); }
bool TFormMain::ConfirmBox(const QString &text, const QString &caption) { return m_prompts->ConfirmBox(text, caption); }
void TFormMain::ErrorBox(const QString &text, const QString &caption) { m_prompts->ErrorBox(text, caption); }
QString TFormMain::InputBox(const QString &title, const QString &prompt, const QString &preset)
{
    return m_prompts->InputBox(title, prompt, preset);
}

namespace {
// Starting a request while the client is busy is caught by the windows themselves.
bool isBusyRefusal(const std::exception_ptr &error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const FtpException &e) {
        return e.Code() == FtpException::TCode::NotReady;
    } catch (...) {
    }
    return false;
}
} // namespace

void TFormMain::ApplicationException(std::exception_ptr error)
{
    if (!isBusyRefusal(error))
        ErrorBox(QStringLiteral("Application Error: ") + ToDisplay(ExceptionMessage(error)),
                 QStringLiteral("Tarsel FTP Error"));
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

// --- profiles -------------------------------------------------------------------

void TFormMain::LoadProfileNames()
{
    m_profileFile->Reload();
    ComboQuick->clear();
    for (const std::string &name : m_profileFile->SectionNames())
        if (!name.empty()) // a "[]" section names no profile
            ComboQuick->addItem(ToDisplay(name), QByteArray::fromStdString(name));
}

// --- connection windows and their tabs ------------------------------------------

int TFormMain::tabOf(IConnectionWindow *window) const
{
    if (!window)
        return -1;
    for (int i = 0; i < int(m_windows.size()); ++i)
        if (ConnectionWindow(i) == window)
            return i;
    return -1;
}

int TFormMain::ConnectionCount() const { return TabCon->count(); }

IConnectionWindow *TFormMain::ConnectionWindow(int tab) const
{
    if (tab < 0 || tab >= int(m_windows.size()) || !m_windows[tab].widget)
        return nullptr;
    return m_windows[tab].window;
}

IConnectionWindow *TFormMain::ActiveConnectionWindow() const
{
    const int i = TabCon->currentIndex();
    return i >= 0 ? ConnectionWindow(i) : nullptr;
}

void TFormMain::OpenConnectionWindow(const std::string &profileName)
{
    if (!m_factory)
        return;
    if (IConnectionWindow *w = m_factory(*this, profileName))
        AddConnectionWindow(w);
}

void TFormMain::AddConnectionWindow(IConnectionWindow *window)
{
    QWidget *widget = window->Widget();
    ClientArea->setUpdatesEnabled(false);
    ClientArea->addWidget(widget);
    const QSignalBlocker block(TabCon); // TabConChange runs once, below
    const int tab = TabCon->addTab(icons::SmallImage(TabConGetImageIndex(TabCon->count())), window->Caption());
    TabWindow entry;
    entry.widget = widget;
    entry.window = window;
    entry.key = widget;
    entry.destroyed = connect(widget, &QObject::destroyed, this, [this](QObject *o) { windowDestroyed(o); });
    m_windows.insert(tab, entry);
    TabCon->setVisible(true);
    TabCon->setCurrentIndex(tab);
    TabConChange();
    ClientArea->setUpdatesEnabled(true);
    ClientArea->update();
}

void TFormMain::UpdateConnectionTab(IConnectionWindow *window)
{
    const int tab = tabOf(window);
    if (tab >= 0)
        TabCon->setTabText(tab, window->Caption());
}

void TFormMain::RemoveConnectionTab(IConnectionWindow *window)
{
    const int tab = tabOf(window);
    if (tab < 0)
        return; // already closed: closing runs once per window
    const TabWindow entry = m_windows.takeAt(tab);
    QObject::disconnect(entry.destroyed);
    {
        const QSignalBlocker block(TabCon);
        TabCon->removeTab(tab);
    }
    const QPointer<QWidget> widget = entry.widget;
    ClientArea->removeWidget(widget);
    // This often runs inside one of the window's own handlers or a client event of its
    // session: the window ends its session now and is destroyed only once control is
    // back in the event loop.
    RunGuarded([&] { window->FormClose(); });
    if (widget) {
        widget->hide();
        widget->deleteLater();
    }
    afterTabRemoved();
}

void TFormMain::afterTabRemoved()
{
    if (TabCon->count() > 0) {
        TabCon->setVisible(true);
        const QSignalBlocker block(TabCon);
        TabCon->setCurrentIndex(TabCon->count() - 1);
        TabConChange();
        setSplitMainColor(ButtonFaceColor());
    } else {
        TabCon->setVisible(false);
        setSplitMainColor(WorkspaceColor());
        UpdateCommandStates();
    }
}

void TFormMain::windowDestroyed(QObject *widget)
{
    for (int i = 0; i < int(m_windows.size()); ++i) {
        if (m_windows[i].key != widget)
            continue;
        m_windows.removeAt(i);
        {
            const QSignalBlocker block(TabCon);
            TabCon->removeTab(i);
        }
        RunGuarded([this] { afterTabRemoved(); });
        return;
    }
}

void TFormMain::CloseAllConnections()
{
    while (!m_windows.isEmpty()) {
        const int last = int(m_windows.size()) - 1;
        if (IConnectionWindow *w = ConnectionWindow(last)) {
            RemoveConnectionTab(w);
        } else {
            QObject::disconnect(m_windows.takeLast().destroyed);
            const QSignalBlocker block(TabCon);
            TabCon->removeTab(last);
        }
    }
    afterTabRemoved();
}

void TFormMain::TabConChange()
{
    ClientArea->setUpdatesEnabled(false);
    if (IConnectionWindow *w = ActiveConnectionWindow()) {
        ClientArea->setCurrentWidget(w->Widget());
        w->Widget()->show();
    }
    UpdateCommandStates();
    ClientArea->setUpdatesEnabled(true);
    ClientArea->update();
}

void TFormMain::PostStatus(IConnectionWindow *window, int panel, const QString &text)
{
    if (panel < 0 || panel > 2 || !window || window != ActiveConnectionWindow())
        return;
    StatPanels[panel]->setText(text);
}

QString TFormMain::StatusText(int panel) const
{
    return panel >= 0 && panel <= 2 ? StatPanels[panel]->text() : QString();
}

// --- the window's own events ----------------------------------------------------

int TFormMain::LocalListSize() const { return PMain->height(); }
int TFormMain::LocalDirSize() const { return PTree->width(); }

bool TFormMain::event(QEvent *event)
{
    // Redraws wait for the interval since the last one: a connection window changes its
    // log, panel and status texts several times for every file of a batch, and drawing
    // each change cost more than the transfers. What changed meanwhile is drawn together.
    if (event->type() == QEvent::UpdateRequest && !m_paintNow) {
        if (m_lastPaint.isValid() && m_lastPaint.elapsed() < PaintIntervalMs) {
            if (!m_paintTimer->isActive())
                m_paintTimer->start(int(PaintIntervalMs - m_lastPaint.elapsed()));
            return true;
        }
        m_lastPaint.start();
    }
    return QMainWindow::event(event);
}

void TFormMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        RunGuarded([this] { FormShow(); });
}

void TFormMain::FormShow()
{
    m_locTree->SetSelectedPathName(TReg::ReadString(settings::Section, QStringLiteral("LastDir")));
    const int listSize = settings::SizeOrDefault(TReg::ReadInteger(settings::Section, QStringLiteral("LocalListSize")),
                                                 settings::DefaultLocalListSize);
    const int dirSize = settings::SizeOrDefault(TReg::ReadInteger(settings::Section, QStringLiteral("LocalDirSize")),
                                                settings::DefaultLocalDirSize);
    // The client area and the file list take whatever is left.
    SplitMain->setSizes({listSize, qMax(1, SplitMain->height() - listSize - SplitMain->handleWidth())});
    SplitE->setSizes({dirSize, qMax(1, SplitE->width() - dirSize - SplitE->handleWidth())});
    UpdateCommandStates();
    if (m_firstShow) {
        m_firstShow = false;
        CloseSplash();
    }
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    // FormCloseQuery: every connection window ends its session first; never refuses.
    RunGuarded([this] { CloseAllConnections(); });
    RunGuarded([this] { FormClose(); });
    event->accept();
}

void TFormMain::FormClose()
{
    const QString s = settings::Section;
    TReg::WriteString(s, QStringLiteral("LastDir"), m_locTree->GetSelectedPathName());
    TReg::WriteInteger(s, QStringLiteral("LocalListSize"), LocalListSize());
    TReg::WriteInteger(s, QStringLiteral("LocalDirSize"), LocalDirSize());
    if (ComboQuick->count() > 0)
        TReg::WriteInteger(s, QStringLiteral("LastShortcut"), ComboQuick->currentIndex());
    TFormPlacement p;
    if (isMinimized())
        p.WindowState = TFormPlacement::State::Minimized;
    else if (isMaximized())
        p.WindowState = TFormPlacement::State::Maximized;
    p.Left = pos().x();
    p.Top = pos().y();
    p.Width = width();
    p.Height = height();
    TReg::SaveFormPlacement(formSection, p);
}

void TFormMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    RunGuarded([this] { FormResize(); });
}

void TFormMain::FormResize()
{
    const int w = qMax(0, (statusBar()->width() - 100) / 2);
    StatPanels[1]->setMaximumWidth(w);
    StatPanels[2]->setMaximumWidth(w);
    if (ActiveConnectionWindow())
        for (int i = 0; i < TabCon->count(); ++i)
            if (IConnectionWindow *w = ConnectionWindow(i))
                w->Realign();
}

void TFormMain::RestoreAndRaise()
{
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

// --- commands -------------------------------------------------------------------

void TFormMain::ActionExitExecute() { close(); }

void TFormMain::ActionNewLocalDirExecute()
{
    if (!m_locTree->CreateNewFolder())
        ErrorBox(QStringLiteral("There was an error creating the directory."), QStringLiteral("Directory Error"));
}

void TFormMain::ActionRefreshLocalExecute()
{
    m_locTree->RefreshNodes();
    m_locList->RefreshItems();
}

void TFormMain::ActionQuickConExecute()
{
    if (ComboQuick->currentIndex() < 0)
        return;
    const QByteArray name = ComboQuick->currentData().toByteArray();
    if (!name.isEmpty())
        OpenConnectionWindow(name.toStdString());
}

void TFormMain::ActionCloseActiveExecute()
{
    if (IConnectionWindow *w = ActiveConnectionWindow())
        RemoveConnectionTab(w);
}

void TFormMain::SetViewStyle(TViewStyle style)
{
    m_locList->SetViewStyle(style);
    if (IConnectionWindow *w = ActiveConnectionWindow())
        w->SetViewStyle(style);
    const char *name = style == TViewStyle::LargeIcon   ? "ActionLgIconView"
                       : style == TViewStyle::SmallIcon ? "ActionSmIconView"
                       : style == TViewStyle::List      ? "ActionListView"
                                                        : "ActionDetailView";
    m_actions.value(QLatin1String(name))->setChecked(true);
}

} // namespace tarsel
