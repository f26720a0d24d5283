// The connection window itself: its controls, creation and showing, closing, the log
// and the status texts, the busy and idle display.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <vector>

#include "app/settings/datafolder.h"
#include "app/settings/treg.h"
#include "common/exception.h"
#include "listing/parser.h"
#include "session/child.h"
#include "uikit/displaytext.h"
#include "uikit/icons.h"
#include "uikit/placedbyhand.h"
#include "uikit/prompts.h"

namespace tarsel {

// --- timers ---------------------------------------------------------------------------

TWindowTimer::TWindowTimer(QObject *owner, const char *name, int intervalMs, bool manual,
                           std::function<void()> onTimer)
    : m_timer(new QTimer(owner)), m_manual(manual)
{
    m_timer->setObjectName(QString::fromLatin1(name));
    m_timer->setInterval(intervalMs);
    QObject::connect(m_timer, &QTimer::timeout, owner, std::move(onTimer));
}

void TWindowTimer::SetEnabled(bool on)
{
    m_enabled = on;
    if (m_manual)
        return;
    if (on)
        m_timer->start();
    else
        m_timer->stop();
}

int TWindowTimer::Interval() const { return m_timer->interval(); }

// --- creation -------------------------------------------------------------------------

TFormMdi::TFormMdi(IMainServices &services, TSessionSeams seams, QWidget *parent)
    : QWidget(parent), Ftp1(*new TFtpClient),
      TimeOut(this, "TimeOut", 1000, seams.ManualTimers, [this] { guarded([this] { TimeOutTimer(); }); }),
      Timer1(this, "Timer1", 100, seams.ManualTimers, [this] { guarded([this] { Timer1Timer(); }); }),
      m_services(services), m_seams(std::move(seams)), m_prompts(std::make_unique<TOwnedPrompts>(services.Prompts())),
      m_ftp(&Ftp1)
{
    setObjectName(QStringLiteral("FormMdi"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    if (m_seams.Parser) {
        m_parser = m_seams.Parser;
    } else {
        m_ownParser = std::make_unique<TDirParser>();
        m_parser = m_ownParser.get();
    }

    // Creation: the client's initial properties and handlers.
    Ftp1.SetTimeout(30);
    Ftp1.SetPort("ftp");
    Ftp1.SetLocalAddr("0.0.0.0");
    Ftp1.SetBinary(true);
    Ftp1.SetShareMode(TFtpShareMode::ftpShareDenyNone);
    Ftp1.SetOptions(TFtpOptions{TFtpOption::ftpAcceptLF});
    Ftp1.SetConnectionType(TFtpConnectionType::ftpDirect);
    Ftp1.SetMultiThreaded(false);
    Ftp1.SetDisplayFileFlag(false);
    for (TWSocket *s : {Ftp1.ControlSocket(), Ftp1.DataSocket()}) {
        TWSocketOptions o = s->ComponentOptions();
        o.Include(TWSocketOption::wsoNoReceiveLoop);
        s->SetComponentOptions(o);
    }
    bindClient();
    m_requestHandler = &TFormMdi::Ftp1RequestDone;
    m_cancelHandler = &TFormMdi::CancelBClick;

    createControls();
    bindActions();
    ShowWinsockInfo();
    ProfileFilePath = tarsel::ProfileFilePath();
    TempListFile = MakeTempListFile();
    FormShow();
}

TFormMdi::~TFormMdi()
{
    // Nothing of the client may call back into a half-destroyed window.
    unbindClient();
    m_ftp.reset();
    if (!TempListFile.isEmpty())
        QFile::remove(TempListFile);
}

TFormMdi *TFormMdi::Create(IMainServices &services, const std::string &profileName, TSessionSeams seams)
{
    auto *w = new TFormMdi(services, std::move(seams));
    w->setWindowTitle(ShowBytes(profileName));
    w->ProfileName = profileName;
    // The connection starts once the main window has given the window its tab.
    QMetaObject::invokeMethod(
        w,
        [w] {
            w->guarded([w] {
                if (!w->m_closing)
                    w->ConnectProfile();
            });
        },
        Qt::QueuedConnection);
    return w;
}

namespace {
// The transfer panel's labels and bar in three columns of two rows, sharing the width
// 2:1:1. Placed by hand rather than by a layout: a layout would be recomputed up to the
// main window for every new text, which is most of the cost of a batch of small files;
// here a text changes nothing but its own label.
class TProgressCells : public QWidget {
public:
    using QWidget::QWidget;
    // Column by column, top row first.
    void Place(std::initializer_list<QWidget *> cells)
    {
        m_cells.assign(cells.begin(), cells.end());
        for (QWidget *c : m_cells)
            c->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        new TPlacedByHand(this, [this] { arrange(); });
        arrange();
    }
    QSize sizeHint() const override { return {300, 2 * fontMetrics().height()}; }
    QSize minimumSizeHint() const override { return {0, 0}; }

private:
    void arrange()
    {
        constexpr int gap = 6;
        const int w = std::max(0, width() - 2 * gap);
        const int top = height() / 2;
        const int widths[3] = {w / 2, w / 4, w - w / 2 - w / 4};
        int x = 0;
        for (std::size_t i = 0; i + 1 < m_cells.size(); i += 2) {
            const int cw = widths[i / 2];
            m_cells[i]->setGeometry(x, 0, cw, top);
            m_cells[i + 1]->setGeometry(x, top, cw, height() - top);
            x += cw + gap;
        }
    }
    std::vector<QWidget *> m_cells;
};

// How long a log line may wait before the memo shows it.
constexpr int MemoDelayMs = 50;

QLabel *progressLabel(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}
} // namespace

void TFormMdi::createControls()
{
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // The transfer panel with the mode list and the two buttons at its right.
    PProgress = new QWidget(this);
    PProgress->setObjectName(QStringLiteral("PProgress"));
    PProgress->setFixedHeight(40);
    auto *pl = new QHBoxLayout(PProgress);
    pl->setContentsMargins(4, 2, 4, 2);
    auto *cells = new TProgressCells(PProgress);
    TransferFile = progressLabel(cells, "TransferFile");
    AsFile = progressLabel(cells, "AsFile");
    SizeSpeed = progressLabel(cells, "SizeSpeed");
    Timer = progressLabel(cells, "Timer");
    Percent = progressLabel(cells, "Percent");
    Prog1 = new QProgressBar(cells);
    Prog1->setObjectName(QStringLiteral("Prog1"));
    Prog1->setTextVisible(false);
    Prog1->setRange(0, 100);
    cells->Place({TransferFile, AsFile, SizeSpeed, Timer, Prog1, Percent});
    pl->addWidget(cells, 1);
    TBMode = new QToolBar(PProgress);
    TBMode->setObjectName(QStringLiteral("TBMode"));
    TBMode->setIconSize(QSize(icons::BarSize, icons::BarSize));
    ComboMode = new QComboBox(TBMode);
    ComboMode->setObjectName(QStringLiteral("ComboMode"));
    ComboMode->addItems({QStringLiteral("Binary"), QStringLiteral("ASCII")});
    TBMode->addWidget(ComboMode);
    CancelB = new QToolButton(TBMode);
    CancelB->setObjectName(QStringLiteral("CancelB"));
    CancelB->setIcon(icons::Icon(TImage::CloseConnection));
    CancelB->setText(QStringLiteral("Cancel"));
    CancelB->setToolTip(QStringLiteral("Cancel"));
    TBMode->addWidget(CancelB);
    CloseB = new QToolButton(TBMode);
    CloseB->setObjectName(QStringLiteral("CloseB"));
    CloseB->setIcon(icons::Icon(TImage::Exit));
    CloseB->setText(QStringLiteral("Close"));
    CloseB->setToolTip(QStringLiteral("Close Connection"));
    TBMode->addWidget(CloseB);
    pl->addWidget(TBMode, 0);
    root->addWidget(PProgress);

    SplitBot = new QSplitter(Qt::Vertical, this);
    SplitBot->setObjectName(QStringLiteral("SplitBot"));
    SplitBot->setHandleWidth(3);
    SplitBot->setChildrenCollapsible(false);
    root->addWidget(SplitBot, 1);

    PListing = new QWidget(SplitBot);
    PListing->setObjectName(QStringLiteral("PListing"));
    PListing->setMinimumHeight(80);
    auto *ll = new QHBoxLayout(PListing);
    ll->setContentsMargins(0, 0, 0, 0);
    SplitRem = new QSplitter(Qt::Horizontal, PListing);
    SplitRem->setObjectName(QStringLiteral("SplitRem"));
    SplitRem->setHandleWidth(3);
    SplitRem->setChildrenCollapsible(false);
    ll->addWidget(SplitRem);

    PRemTree = new QWidget(SplitRem);
    PRemTree->setObjectName(QStringLiteral("PRemTree"));
    PRemTree->setMinimumWidth(150);
    auto *tl = new QVBoxLayout(PRemTree);
    tl->setContentsMargins(0, 0, 0, 0);
    tl->setSpacing(0);
    TBReconnect = new QToolBar(PRemTree);
    TBReconnect->setObjectName(QStringLiteral("TBReconnect"));
    TBReconnect->setIconSize(QSize(icons::BarSize, icons::BarSize));
    DirCombo = new QComboBox(TBReconnect);
    DirCombo->setObjectName(QStringLiteral("DirCombo"));
    DirCombo->setEditable(true);
    DirCombo->setInsertPolicy(QComboBox::NoInsert);
    DirCombo->setDuplicatesEnabled(false);
    DirCombo->setMinimumWidth(60);
    DirCombo->setFixedWidth(140);
    DirCombo->lineEdit()->installEventFilter(this);
    TBReconnect->addWidget(DirCombo);
    ReconB = new QToolButton(TBReconnect);
    ReconB->setObjectName(QStringLiteral("ReconB"));
    ReconB->setIcon(icons::Icon(TImage::QuickConnect));
    ReconB->setToolTip(QStringLiteral("Reconnect"));
    TBReconnect->addWidget(ReconB);
    tl->addWidget(TBReconnect);
    RemoteDirs = new TRemoteList(QStringLiteral("RemoteDirs"),
                                 {QStringLiteral("Directories"), QStringLiteral("Size"), QStringLiteral("Date"),
                                  QStringLiteral("Permissions")},
                                 false, PRemTree);
    RemoteDirs->Details()->setColumnWidth(0, 158);
    RemoteDirs->Details()->setColumnWidth(1, 80);
    RemoteDirs->Details()->setColumnWidth(2, 80);
    tl->addWidget(RemoteDirs, 1);

    PRemList = new QWidget(SplitRem);
    PRemList->setObjectName(QStringLiteral("PRemList"));
    auto *rl = new QVBoxLayout(PRemList);
    rl->setContentsMargins(0, 0, 0, 0);
    RemoteFiles = new TRemoteList(QStringLiteral("RemoteFiles"),
                                  {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Date"),
                                   QStringLiteral("Permissions")},
                                  true, PRemList);
    RemoteFiles->Model()->SetAutoSort(true);
    rl->addWidget(RemoteFiles);
    SplitRem->addWidget(PRemTree);
    SplitRem->addWidget(PRemList);
    SplitRem->setStretchFactor(0, 0);
    SplitRem->setStretchFactor(1, 1);

    PInfoMain = new QWidget(SplitBot);
    PInfoMain->setObjectName(QStringLiteral("PInfoMain"));
    PInfoMain->setMinimumHeight(31);
    auto *il = new QVBoxLayout(PInfoMain);
    il->setContentsMargins(0, 0, 0, 0);
    MemoInfo = new QPlainTextEdit(PInfoMain);
    MemoInfo->setObjectName(QStringLiteral("MemoInfo"));
    MemoInfo->setReadOnly(true);
    MemoInfo->setFrameShape(QFrame::NoFrame);
    MemoInfo->setFocusPolicy(Qt::NoFocus);
    MemoInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(13);
    MemoInfo->setFont(mono);
    QPalette mp = MemoInfo->palette();
    mp.setColor(QPalette::Base, mp.color(QPalette::Button));
    MemoInfo->setPalette(mp);
    il->addWidget(MemoInfo);
    m_memoTimer = new QTimer(this);
    m_memoTimer->setSingleShot(true);
    m_memoTimer->setInterval(MemoDelayMs);
    connect(m_memoTimer, &QTimer::timeout, this, [this] { FlushLogMemo(); });
    SplitBot->addWidget(PListing);
    SplitBot->addWidget(PInfoMain);
    SplitBot->setStretchFactor(0, 1);
    SplitBot->setStretchFactor(1, 0);
    SplitBot->setSizes({400, 40});

    // Pop-up menus hold the main window's actions.
    const auto action = [this](TActionId id) { return m_services.Action(id); };
    const auto fill = [&](QMenu *menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id < 0)
                menu->addSeparator();
            else if (QAction *a = action(TActionId(id)))
                menu->addAction(a);
        }
    };
    using A = TActionId;
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    fill(PopupMenu1, {int(A::ActionUpDir), int(A::ActionChangeDir), -1, int(A::ActionMkdDir),
                      int(A::ActionRenameDir), int(A::ActionRemoveDir), -1, int(A::ActionBatchDownload),
                      int(A::ActionBatchDelete), -1, int(A::ActionChmodDir), int(A::ActionRefreshRemote)});
    RemoteDirs->SetPopupMenu(PopupMenu1);
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    fill(PopupMenu2, {int(A::ActionDownloadFile), int(A::ActionResumeDown), -1, int(A::ActionRenameRemoteFile),
                      int(A::ActionDeleteRemote), -1, int(A::ActionChmod), int(A::ActionDirInfo)});
    RemoteFiles->SetPopupMenu(PopupMenu2);
    MemoMenu = new QMenu(this);
    MemoMenu->setObjectName(QStringLiteral("MemoMenu"));
    fill(MemoMenu, {int(A::ActionSaveLog)});
    MemoInfo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(MemoInfo, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { MemoMenu->popup(MemoInfo->viewport()->mapToGlobal(p)); });

    // Widget events.
    const auto on = [this](auto *sender, auto signal, void (TFormMdi::*handler)()) {
        connect(sender, signal, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    connect(CancelB, &QToolButton::clicked, this, [this] {
        guarded([this] {
            // Rows still being read: whatever operation listed, it ends here.
            if (cancelListingRead())
                return;
            const TCancelHandler handler = m_cancelHandler;
            if (handler)
                std::invoke(handler, this);
        });
    });
    on(CloseB, &QToolButton::clicked, &TFormMdi::CloseBClick);
    on(ReconB, &QToolButton::clicked, &TFormMdi::ReconBClick);
    connect(DirCombo, &QComboBox::activated, this, [this](int) { guarded([this] { DirComboClick(); }); });
    RemoteDirs->OnDblClick = [this] { guarded([this] { RemoteDirsDblClick(); }); };
    RemoteFiles->OnDblClick = [this] { guarded([this] { RemoteFilesDblClick(); }); };
    RemoteDirs->OnClick = [this] { guarded([this] { RemoteDirsClick(); }); };
    RemoteFiles->OnClick = [this] { guarded([this] { RemoteFilesClick(); }); };
    RemoteDirs->OnColumnClick = [this](int c) { guarded([this, c] { RemoteDirsColumnClick(c); }); };
    RemoteFiles->OnColumnClick = [this](int c) { guarded([this, c] { RemoteFilesColumnClick(c); }); };
    PRemTree->installEventFilter(this);
    connect(RemoteDirs->Selection(), &QItemSelectionModel::selectionChanged, this,
            [this] { guarded([this] { m_services.UpdateCommandStates(); }); });
    connect(RemoteFiles->Selection(), &QItemSelectionModel::selectionChanged, this,
            [this] { guarded([this] { m_services.UpdateCommandStates(); }); });
    ReconB->setEnabled(false);
}

void TFormMdi::bindActions()
{
    const auto on = [this](TActionId id, void (TFormMdi::*handler)()) {
        if (QAction *a = m_services.Action(id)) {
            // Every window listens; only the active one acts.
            connect(a, &QAction::triggered, this, [this, handler] {
                guarded([this, handler] {
                    if (isActiveConnection())
                        (this->*handler)();
                });
            });
        }
    };
    on(TActionId::ActionUpDir, &TFormMdi::ActionUpDirExecute);
    on(TActionId::ActionChangeDir, &TFormMdi::ActionChangeDirExecute);
    on(TActionId::ActionRefreshRemote, &TFormMdi::ActionRefreshRemoteExecute);
    bindManagementActions();
    bindTransferActions();
}

bool TFormMdi::isActiveConnection() const
{
    return !m_closing && m_services.ActiveConnectionWindow() == static_cast<const IConnectionWindow *>(this);
}

// --- guarded entries --------------------------------------------------------------------

void TFormMdi::guarded(const std::function<void()> &fn)
{
    ++m_entries;
    try {
        fn();
    } catch (...) {
        handleException(std::current_exception());
    }
    --m_entries;
    if (m_entries == 0 && m_deletePending) {
        m_deletePending = false;
        deleteLater();
    }
}

void TFormMdi::handleException(std::exception_ptr error)
{
    // A closing window has nothing more to tell; the application's handler passes over
    // the refusal of a busy client (CanStartCommand has asked already).
    if (!m_closing)
        HandleApplicationException(error);
}

bool TFormMdi::event(QEvent *e)
{
    // Never destroyed while one of its own handlers runs further up the stack (a prompt's
    // event loop can deliver the deletion): the deletion waits for the last to return.
    if (e->type() == QEvent::DeferredDelete && m_entries > 0) {
        m_deletePending = true;
        return true;
    }
    return QWidget::event(e);
}

bool TFormMdi::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == DirCombo->lineEdit() && e->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(e);
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
            guarded([this, ke] { DirComboKeyDown(ke->key()); });
            return true; // the combo box does not see it, so no second change
        }
    }
    if (watched == PRemTree && e->type() == QEvent::Resize)
        guarded([this] { PRemTreeResize(); });
    return QWidget::eventFilter(watched, e);
}

IPrompts &TFormMdi::Prompts() { return *m_prompts; }

std::int64_t TFormMdi::NowMs() const
{
    if (m_seams.Clock)
        return m_seams.Clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// --- IConnectionWindow ------------------------------------------------------------------

bool TFormMdi::Connected() const { return Ftp1.Connected(); }
int TFormMdi::SelectedDirCount() const { return RemoteDirs->SelectedCount(); }
int TFormMdi::SelectedFileCount() const { return RemoteFiles->SelectedCount(); }
int TFormMdi::FileSortColumn() const { return RemoteFiles->Model()->SortColumn(); }
int TFormMdi::DirSortColumn() const { return RemoteDirs->Model()->SortColumn(); }

void TFormMdi::SetViewStyle(TViewStyle style)
{
    RemoteDirs->SetViewStyle(style);
    RemoteFiles->SetViewStyle(style);
}

void TFormMdi::Realign()
{
    if (layout())
        layout()->activate();
}

void TFormMdi::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    guarded([this] { FormActivate(); });
}

// --- showing ----------------------------------------------------------------------------

void TFormMdi::FormShow()
{
    const QString s = QString::fromLatin1(settings::Section);
    ComboMode->setCurrentIndex(0);
    const int tree = settings::SizeOrDefault(TReg::ReadInteger(s, QStringLiteral("RemoteDirSize")),
                                             settings::DefaultRemoteDirSize);
    PRemTree->resize(tree, PRemTree->height());
    SplitRem->setSizes({tree, 600});
    QTreeView *files = RemoteFiles->Details();
    files->setColumnWidth(0, settings::SizeOrDefault(TReg::ReadInteger(s, QStringLiteral("Column1Size")),
                                                     settings::DefaultColumn1Size));
    for (int c = 1; c <= 3; ++c)
        files->setColumnWidth(c, settings::SizeOrDefault(TReg::ReadInteger(s, QStringLiteral("Column%1Size").arg(c + 1)),
                                                         settings::DefaultColumnSize));
    m_shown = true;
}

void TFormMdi::FormActivate()
{
    // A page of the main window's stack always fills it: nothing to maximise.
}

void TFormMdi::PRemTreeResize()
{
    DirCombo->setFixedWidth(std::max(60, PRemTree->width() - 20 - ReconB->sizeHint().width()));
}

// --- closing ----------------------------------------------------------------------------

bool TFormMdi::FormCloseQuery()
{
    m_services.RemoveConnectionTab(this);
    return true;
}

void TFormMdi::CloseBClick() { FormCloseQuery(); }

void TFormMdi::FormClose()
{
    if (m_closing)
        return;
    m_closing = true;
    // Any prompt of this window still open gives up with the answer that does nothing.
    m_prompts->DismissAll();
    dropListingRead();
    TimeOut.SetEnabled(false);
    Timer1.SetEnabled(false);
    const QString s = QString::fromLatin1(settings::Section);
    const int tree = PRemTree->isVisible() ? PRemTree->width() : SplitRem->sizes().value(0, PRemTree->width());
    TReg::WriteInteger(s, QStringLiteral("RemoteDirSize"), tree);
    for (int c = 0; c < 4; ++c)
        TReg::WriteInteger(s, QStringLiteral("Column%1Size").arg(c + 1), RemoteFiles->Details()->columnWidth(c));
    if (!TempListFile.isEmpty())
        QFile::remove(TempListFile);
    TempListFile.clear();
    // The session ends quietly: the window no longer listens to its client.
    unbindClient();
    try {
        Ftp1.Abort();
    } catch (...) {
    }
}

// --- log and status ---------------------------------------------------------------------

void TFormMdi::LogLine(const QString &text)
{
    const QString line = EscapeControls(text);
    LogList.append(line);
    // The memo takes the lines a few at a time: laying out and painting it for each
    // line cost more than the requests of a batch of small files.
    m_memoPending.append(line);
    if (!m_memoTimer->isActive())
        m_memoTimer->start();
}

void TFormMdi::FlushLogMemo()
{
    m_memoTimer->stop();
    if (m_memoPending.isEmpty())
        return;
    MemoInfo->appendPlainText(m_memoPending.join(QLatin1Char('\n')));
    m_memoPending.clear();
}

void TFormMdi::PostStatus(int panel, const QString &text)
{
    m_services.PostStatus(this, panel, EscapeControls(text));
}

void TFormMdi::setCursors(bool busy)
{
    for (QWidget *w : {PProgress, static_cast<QWidget *>(Prog1), static_cast<QWidget *>(RemoteDirs),
                       static_cast<QWidget *>(RemoteFiles), static_cast<QWidget *>(MemoInfo)}) {
        if (busy)
            w->setCursor(Qt::WaitCursor);
        else
            w->unsetCursor();
    }
    for (QWidget *w : {CancelB, CloseB, ReconB}) {
        if (busy)
            w->setCursor(Qt::BusyCursor);
        else
            w->unsetCursor();
    }
}

void TFormMdi::ShowBusy()
{
    m_services.UpdateCommandStates();
    setCursors(true);
    DirCombo->setEnabled(false);
}

void TFormMdi::ShowIdle()
{
    m_services.UpdateCommandStates();
    setCursors(false);
    DirCombo->setEnabled(true);
}

void TFormMdi::ResetProgress()
{
    Prog1->setValue(0);
    for (QLabel *l : {SizeSpeed, TransferFile, AsFile, Timer, Percent})
        l->clear();
}

QStringList TFormMdi::DirHistory() const
{
    QStringList out;
    for (int i = 0; i < DirCombo->count(); ++i)
        out.append(DirCombo->itemText(i));
    return out;
}

} // namespace tarsel
