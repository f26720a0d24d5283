// Transfers of single files: upload, download, their resumes, the progress panel,
// cancel, the main window's transfer commands and the drag-and-drop gestures.
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>
#include <sys/stat.h>

#include "localbrowser/loclist.h"
#include "localbrowser/loctree.h"
#include "session/child.h"
#include "session/localtarget.h"
#include "session/progresstext.h"
#include "uikit/displaytext.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {

const char *const FolderText = " is a folder, please use a batch operation to upload folders.";
const char *const FolderCaption = "Folders Must Use Batch";

// A folder the shell shows for a zip archive is uploaded as the file it is.
bool uploadsAsFile(const TShListData &d)
{
    return !d.IsFolder() || d.GetPathName().toUpper().endsWith(QLatin1String(".ZIP"));
}

// Delivers drags over a list's views to the window.
class TDropFilter : public QObject {
public:
    using SourceOf = std::function<QObject *(const QDropEvent *)>;
    TDropFilter(QObject *parent, SourceOf sourceOf, std::function<bool(const QObject *)> over,
                std::function<void(const QObject *, QPoint)> drop)
        : QObject(parent), m_sourceOf(std::move(sourceOf)), m_over(std::move(over)), m_drop(std::move(drop))
    {
    }

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *d = static_cast<QDragMoveEvent *>(e);
            if (m_over(sourceOf(d)))
                d->acceptProposedAction();
            else
                d->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *d = static_cast<QDropEvent *>(e);
            QObject *from = sourceOf(d);
            if (!m_over(from)) {
                d->ignore();
                return true;
            }
            d->acceptProposedAction();
            // The drag's own loop is still running: the operation starts after it.
            QPointer<QObject> source(from);
            const QPoint at = d->position().toPoint();
            QMetaObject::invokeMethod(
                this, [this, source, at] { m_drop(source.data(), at); }, Qt::QueuedConnection);
            return true;
        }
        default:
            return false;
        }
    }

private:
    QObject *sourceOf(const QDropEvent *d) const { return m_sourceOf ? m_sourceOf(d) : d->source(); }

    SourceOf m_sourceOf;
    std::function<bool(const QObject *)> m_over;
    std::function<void(const QObject *, QPoint)> m_drop;
};

void acceptDropsOn(QWidget *list, QObject *filter)
{
    for (QAbstractItemView *v : list->findChildren<QAbstractItemView *>()) {
        v->setAcceptDrops(true);
        v->viewport()->setAcceptDrops(true);
        v->viewport()->installEventFilter(filter);
    }
}

} // namespace

// --- wiring --------------------------------------------------------------------------------

void TFormMdi::bindTransferActions()
{
    const auto on = [this](TActionId id, void (TFormMdi::*handler)()) {
        if (QAction *a = m_services.Action(id)) {
            connect(a, &QAction::triggered, this, [this, handler] {
                guarded([this, handler] {
                    if (isActiveConnection())
                        (this->*handler)();
                });
            });
        }
    };
    on(TActionId::ActionUploadFile, &TFormMdi::ActionUploadFileExecute);
    on(TActionId::ActionResumeUp, &TFormMdi::ActionResumeUpExecute);
    on(TActionId::ActionDownloadFile, &TFormMdi::ActionDownloadFileExecute);
    on(TActionId::ActionResumeDown, &TFormMdi::ActionResumeDownExecute);
    on(TActionId::ActionBatchUpload, &TFormMdi::ActionBatchUploadExecute);
    on(TActionId::ActionBatchDownload, &TFormMdi::ActionBatchDownloadExecute);
    on(TActionId::ActionBatchDelete, &TFormMdi::ActionBatchDeleteExecute);

    // Drops onto the remote file list.
    auto *filesFilter = new TDropFilter(
        this, m_seams.DragSource, [this](const QObject *s) { return !m_closing && RemoteFilesDragOver(s); },
        [this](const QObject *s, QPoint) { guarded([this, s] { RemoteFilesDragDrop(s); }); });
    acceptDropsOn(RemoteFiles, filesFilter);
    // Drops of local files on a directory row.
    for (QAbstractItemView *v : RemoteDirs->findChildren<QAbstractItemView *>()) {
        QPointer<QAbstractItemView> view(v);
        auto *dirsFilter = new TDropFilter(
            this, m_seams.DragSource,
            [this](const QObject *s) { return !m_closing && s && m_services.GetLocList().IsDragSource(s); },
            [this, view](const QObject *s, QPoint at) {
                // The row under the drop point (viewport coordinates).
                guarded([this, view, s, at] {
                    if (view)
                        RemoteDirsDragDrop(s, view->indexAt(at).row());
                });
            });
        v->setAcceptDrops(true);
        v->viewport()->setAcceptDrops(true);
        v->viewport()->installEventFilter(dirsFilter);
    }
    // Drops of this window's rows onto the local file list; only the active window's
    // lists can be dragged, so only its filter acts.
    LocList &local = m_services.GetLocList();
    auto *localFilter = new TDropFilter(
        this, m_seams.DragSource, [this](const QObject *s) { return !m_closing && LocListDragOver(s); },
        [this](const QObject *s, QPoint) { guarded([this, s] { LocListDragDrop(s); }); });
    acceptDropsOn(&local, localFilter);
    IMainServices *services = &m_services;
    local.OnStartDrag = [services] { LocListStartDrag(*services); };
}

QString TFormMdi::localFolder() const { return m_services.GetLocTree().GetSelectedPathName(); }

void TFormMdi::refreshLocalList() { m_services.GetLocList().RefreshItems(); }

void TFormMdi::requestType()
{
    if (ComboMode->currentIndex() != 0)
        Ftp1.TypeAsciiAsync();
    else
        Ftp1.TypeBinaryAsync();
}

// --- progress and cancel -------------------------------------------------------------------

void TFormMdi::transferProgress(std::int64_t count, bool &abort)
{
    TimeOut.Tag = 0;
    if (CancelRequested) {
        // The abort goes to the client now; the request's completion ends the operation.
        abort = true;
        ResumeOffset = 0;
        CancelRequested = false;
        InstallRequestHandler(&TFormMdi::CancelledRequestDone);
        InstallCancelHandler(&TFormMdi::CancelBClick);
        return;
    }
    abort = false;
    if (TransferActive && count >= 0)
        TransferPosition = count;
}

bool TFormMdi::consumeCancel()
{
    if (!CancelRequested)
        return false;
    // A cancel given while a step without data (type, SIZE, MKD, a directory change) was
    // under way: nothing more is started.
    CancelRequested = false;
    CancelledRequestDone(nullptr, TFtpRequest::ftpNone, 0);
    return true;
}

void TFormMdi::CancelledRequestDone(TCustomFtpCli *, TFtpRequest, int)
{
    InstallRequestHandler(&TFormMdi::Ftp1RequestDone);
    InstallCancelHandler(&TFormMdi::CancelBClick);
    TransferActive = false;
    ResumeOffset = 0;
    Timer1.SetEnabled(false);
    ShowIdle();
    refreshLocalList(); // a partly fetched file stays, for a later resume
    LogLine(QStringLiteral("Transfer cancelled"));
}

void TFormMdi::CancelTransfer()
{
    CancelRequested = true;
    Timer1.SetEnabled(false);
    Prog1->setValue(0);
    SizeSpeed->setText(QStringLiteral("Transfer Cancelled"));
    for (QLabel *l : {TransferFile, AsFile, Timer})
        l->clear();
    ShowIdle();
}

void TFormMdi::showFile(const QString &first, const QString &second)
{
    TransferPosition = 0;
    m_fileStartMs = NowMs();
    const TBarRange r = BarRange(0, TransferTotal);
    Prog1->setRange(0, std::max(1, r.Maximum));
    Prog1->setValue(0);
    TransferFile->setText(first);
    AsFile->setText(second);
    Timer1.Tag = 1;
    Timer1.SetEnabled(true);
    UpdateProgress();
}

QString TFormMdi::shortLocal(const std::string &localBytes)
{
    // A batch shows thousands of names from a few folders: the folder part's width is
    // measured once and the name's alone per file (shaping the whole path each time, for
    // every shortening step, cost more than the file's transfer).
    const QFontMetrics fm = TransferFile->fontMetrics();
    if (m_folderWidthsFont != TransferFile->font().key() || m_folderWidths.size() > 256) {
        m_folderWidths.clear();
        m_folderWidthsFont = TransferFile->font().key();
    }
    const auto width = [this, &fm](const QString &s) {
        const qsizetype cut = s.lastIndexOf(QLatin1Char('/')) + 1;
        const QString folder = s.left(cut);
        auto it = m_folderWidths.constFind(folder);
        if (it == m_folderWidths.constEnd())
            it = m_folderWidths.insert(folder, fm.horizontalAdvance(folder));
        return *it + fm.horizontalAdvance(s.mid(cut));
    };
    return MinimizeName(LocalNameText(localBytes), width, TransferFile->width() - 50);
}

void TFormMdi::ShowUploadFile()
{
    showFile(QStringLiteral("Uploading: ") + shortLocal(Ftp1.LocalFileName()),
             QStringLiteral("As File: ") + ShowBytes(RemoteDir) + QLatin1Char('/') + ShowBytes(Ftp1.HostFileName()));
}

void TFormMdi::ShowDownloadFile()
{
    showFile(QStringLiteral("Downloading: ") + ShowBytes(RemoteDir) + QLatin1Char('/') + ShowBytes(Ftp1.HostFileName()),
             QStringLiteral("As File: ") + shortLocal(Ftp1.LocalFileName()));
}

void TFormMdi::UpdateProgress()
{
    const TProgressTexts t = ProgressTexts(TransferPosition, TransferTotal, NowMs() - m_fileStartMs);
    if (t.Complete) {
        Prog1->setValue(0);
        SizeSpeed->setText(t.SizeSpeed);
        for (QLabel *l : {TransferFile, AsFile, Timer, Percent})
            l->clear();
        Timer1.SetEnabled(false);
        return;
    }
    const TBarRange r = BarRange(TransferPosition, TransferTotal);
    Prog1->setRange(0, std::max(1, r.Maximum));
    Prog1->setValue(r.Value);
    SizeSpeed->setText(t.SizeSpeed);
    if (t.Requesting)
        return;
    Timer->setText(t.Remaining);
    Percent->setText(t.Percent);
}

void TFormMdi::Timer1Timer()
{
    ++Timer1.Tag;
    UpdateProgress();
}

// --- upload --------------------------------------------------------------------------------

void TFormMdi::UploadDraggedFiles()
{
    if (!m_services.DragList().isEmpty())
        UploadQueue = m_services.DragList();
    UploadFiles();
}

void TFormMdi::UploadFiles()
{
    if (!CanStartCommand() || UploadQueue.isEmpty())
        return;
    CancelRequested = false;
    InstallRequestHandler(&TFormMdi::UploadRequestDone);
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    ShowBusy();
    requestType();
}

bool TFormMdi::nextUploadFile()
{
    ResetProgress();
    if (UploadQueue.isEmpty()) {
        Timer1.SetEnabled(false);
        return false;
    }
    TransferActive = true;
    const QString path = UploadQueue.takeFirst();
    const QFileInfo fi(path);
    TransferTotal = fi.exists() ? fi.size() : -1;
    Ftp1.SetHostFileName(LocalNameBytes(fi.fileName()));
    Ftp1.SetLocalFileName(LocalNameBytes(path));
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    return true;
}

void TFormMdi::UploadRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (consumeCancel())
        return;
    if (error != 0) {
        TransferActive = false;
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpTypeSetAsync:
    case TFtpRequest::ftpPutAsync:
        if (rqType == TFtpRequest::ftpPutAsync) {
            TransferActive = false;
            Timer1.SetEnabled(false);
            Timer1.Tag = 1;
        }
        if (nextUploadFile()) {
            ShowUploadFile();
            Ftp1.PutAsync();
        } else {
            // Relisted, so that the new files show.
            InstallCancelHandler(&TFormMdi::CancelBClick);
            Ftp1.PwdAsync();
        }
        break;
    case TFtpRequest::ftpPwdAsync:
    case TFtpRequest::ftpDirAsync:
        relistStep(rqType);
        break;
    default:
        break;
    }
}

// --- download ------------------------------------------------------------------------------

void TFormMdi::DownloadFiles()
{
    if (!CanStartCommand())
        return;
    DownloadQueue.clear();
    for (int row : RemoteFiles->SelectedRows())
        DownloadQueue.push_back(RemoteFiles->Model()->Row(row).Caption);
    if (DownloadQueue.empty())
        return;
    CancelRequested = false;
    InstallRequestHandler(&TFormMdi::DownloadRequestDone);
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    ShowBusy();
    requestType();
}

bool TFormMdi::nextDownloadFile()
{
    const std::string folder = LocalNameBytes(localFolder());
    while (!DownloadQueue.empty()) {
        const std::string name = DownloadQueue.front();
        DownloadQueue.pop_front();
        std::string path;
        std::string why;
        if (folder.empty()) {
            why = "no local folder is selected";
        } else if (LocalChildPath(folder, folder, name, path, why)) {
            TransferActive = true;
            Ftp1.SetHostFileName(name);
            Ftp1.SetLocalFileName(path);
            InstallCancelHandler(&TFormMdi::CancelTransfer);
            return true;
        }
        // The server's name is not a safe local name: this file is left out.
        LogLine(QStringLiteral("Error: Not downloading \"") + ShowBytes(name) + QStringLiteral("\": ") +
                QString::fromStdString(why));
    }
    Timer1.SetEnabled(false);
    return false;
}

void TFormMdi::finishDownloads()
{
    Timer1.SetEnabled(false);
    Timer1.Tag = 1;
    TransferActive = false;
    InstallCancelHandler(&TFormMdi::CancelBClick);
    refreshLocalList();
    ShowIdle();
}

void TFormMdi::startDownloadOfCurrent()
{
    ShowDownloadFile();
    Ftp1.GetAsync();
}

// The client ends an unreadable SIZE reply with 500 while the reply's own code stays 213,
// so the request's error decides, not StatusCode.
bool TFormMdi::sizeRefusedOnly(TFtpRequest rqType, int error) const
{
    return rqType == TFtpRequest::ftpSizeAsync && Ftp1.Connected() && Ftp1.State() == TFtpState::ftpReady &&
           error >= 500 && error <= 599;
}

void TFormMdi::DownloadRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (consumeCancel())
        return;
    if (error != 0) {
        if (sizeRefusedOnly(rqType, error)) {
            TransferTotal = -1;
            startDownloadOfCurrent();
            return;
        }
        TransferActive = false;
        FailOperation(Ftp1.ErrorMessage());
        refreshLocalList();
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpTypeSetAsync:
        if (nextDownloadFile())
            Ftp1.SizeAsync();
        else
            finishDownloads();
        break;
    case TFtpRequest::ftpSizeAsync:
        TransferTotal = Ftp1.ReplySize() >= 0 ? Ftp1.ReplySize() : -1;
        startDownloadOfCurrent();
        break;
    case TFtpRequest::ftpGetAsync:
        refreshLocalList();
        TransferActive = false;
        ResetProgress();
        Timer1.SetEnabled(false);
        Timer1.Tag = 1;
        if (nextDownloadFile())
            Ftp1.SizeAsync();
        else
            finishDownloads();
        break;
    case TFtpRequest::ftpPwdAsync:
        ApplyCurrentDir();
        startListing();
        break;
    case TFtpRequest::ftpDirAsync:
        if (!listingRead())
            break;
        refreshLocalList();
        ShowIdle();
        break;
    default:
        break;
    }
}

// --- resume --------------------------------------------------------------------------------

void TFormMdi::ResumeUpload()
{
    if (!CanStartCommand() || ResumeFile.isEmpty())
        return;
    CancelRequested = false;
    InstallRequestHandler(&TFormMdi::ResumeUploadRequestDone);
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    ShowBusy();
    requestType();
}

void TFormMdi::ResumeUploadRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (consumeCancel())
        return;
    if (error != 0) {
        TransferActive = false;
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpTypeSetAsync: {
        TransferActive = true;
        const QFileInfo fi(ResumeFile);
        TransferTotal = fi.exists() ? fi.size() : -1;
        Ftp1.SetHostFileName(LocalNameBytes(fi.fileName()));
        Ftp1.SetLocalFileName(LocalNameBytes(ResumeFile));
        Ftp1.SizeAsync();
        break;
    }
    case TFtpRequest::ftpSizeAsync:
        ResumeOffset = Ftp1.ReplySize();
        if (ResumeOffset < 0) {
            TransferActive = false;
            FailOperation("The server did not give the size of " + Ftp1.HostFileName() +
                          "; the upload cannot be resumed");
            return;
        }
        if (ResumeOffset < TransferTotal) {
            Ftp1.SetResumeAt(ResumeOffset);
            ShowUploadFile();
            Ftp1.RestPutAsync();
        } else {
            // The server's copy is complete already: nothing to send.
            ResumeOffset = 0;
            TransferActive = false;
            InstallCancelHandler(&TFormMdi::CancelBClick);
            ShowIdle();
        }
        break;
    case TFtpRequest::ftpPutAsync:
    case TFtpRequest::ftpRestPutAsync:
        TransferActive = false;
        Timer1.SetEnabled(false);
        InstallCancelHandler(&TFormMdi::CancelBClick);
        ResumeOffset = 0;
        ResumeFile.clear();
        Ftp1.PwdAsync();
        break;
    case TFtpRequest::ftpPwdAsync:
    case TFtpRequest::ftpDirAsync:
        relistStep(rqType);
        break;
    default:
        break;
    }
}

void TFormMdi::ResumeDownload()
{
    if (!CanStartCommand())
        return;
    const QList<int> rows = RemoteFiles->SelectedRows();
    if (rows.size() != 1) {
        Prompts().ErrorBox(QStringLiteral("You must select a single file to resume the download of."),
                           QStringLiteral("Resume Download Error"));
        return;
    }
    ResumeRemoteFile = RemoteFiles->Model()->Row(rows.first()).Caption;
    CancelRequested = false;
    InstallRequestHandler(&TFormMdi::ResumeDownloadRequestDone);
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    ShowBusy();
    requestType();
}

void TFormMdi::ResumeDownloadRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (consumeCancel())
        return;
    if (error != 0) {
        TransferActive = false;
        if (rqType == TFtpRequest::ftpSizeAsync)
            FailOperation("The server did not give the size of " + ResumeRemoteFile +
                          "; the download cannot be resumed (" + Ftp1.ErrorMessage() + ")");
        else
            FailOperation(Ftp1.ErrorMessage());
        refreshLocalList();
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpTypeSetAsync: {
        const std::string folder = LocalNameBytes(localFolder());
        std::string path;
        std::string why = "no local folder is selected";
        if (folder.empty() || !LocalChildPath(folder, folder, ResumeRemoteFile, path, why)) {
            FailOperation("Not downloading \"" + ResumeRemoteFile + "\": " + why);
            return;
        }
        TransferActive = true;
        ResumeOffset = 0;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ResumeOffset = st.st_size; // a missing file is fetched whole
        Ftp1.SetHostFileName(ResumeRemoteFile);
        Ftp1.SetLocalFileName(path);
        Ftp1.SizeAsync();
        break;
    }
    case TFtpRequest::ftpSizeAsync:
        if (Ftp1.ReplySize() < 0) {
            TransferActive = false;
            FailOperation("The server did not give the size of " + ResumeRemoteFile +
                          "; the download cannot be resumed");
            return;
        }
        TransferTotal = Ftp1.ReplySize();
        if (ResumeOffset < TransferTotal) {
            Ftp1.SetResumeAt(ResumeOffset);
            ShowDownloadFile();
            Ftp1.RestGetAsync();
        } else {
            ResumeOffset = 0;
            TransferActive = false;
            InstallCancelHandler(&TFormMdi::CancelBClick);
            ShowIdle();
        }
        break;
    case TFtpRequest::ftpRestGetAsync:
    case TFtpRequest::ftpGetAsync:
        TransferActive = false;
        Timer1.SetEnabled(false);
        InstallCancelHandler(&TFormMdi::CancelBClick);
        refreshLocalList();
        ResumeOffset = 0;
        ResumeRemoteFile.clear();
        ShowIdle();
        break;
    default:
        break;
    }
}

// --- commands of the main window -----------------------------------------------------------

void TFormMdi::ActionUploadFileExecute()
{
    LocList &list = m_services.GetLocList();
    const QList<QModelIndex> items = list.SelectedItems();
    if (items.isEmpty())
        return;
    const QPointer<TFormMdi> self(this);
    UploadQueue.clear();
    for (const QModelIndex &i : items) {
        const TShListData d = list.GetShListData(i);
        if (uploadsAsFile(d)) {
            UploadQueue.append(d.GetPathName());
            continue;
        }
        Prompts().InfoBox(QStringLiteral("The item ") + d.GetDisplayName() + QLatin1String(FolderText),
                          QLatin1String(FolderCaption));
        if (!stillHere(self))
            return;
    }
    UploadFiles();
}

void TFormMdi::ActionResumeUpExecute()
{
    LocList &list = m_services.GetLocList();
    const QList<QModelIndex> items = list.SelectedItems();
    if (items.size() != 1) {
        Prompts().InfoBox(QStringLiteral("You must select a single file for the resume upload operation."),
                          QStringLiteral("Resume Error"));
        return;
    }
    const TShListData d = list.GetShListData(items.first());
    if (d.IsFolder()) {
        Prompts().InfoBox(QStringLiteral("You can not resume the upload of a folder."), QStringLiteral("Resume Error"));
        return;
    }
    ResumeFile = d.GetPathName();
    ResumeUpload();
}

void TFormMdi::ActionDownloadFileExecute() { DownloadFiles(); }
void TFormMdi::ActionResumeDownExecute() { ResumeDownload(); }

// --- drag and drop -------------------------------------------------------------------------

void TFormMdi::LocListStartDrag(IMainServices &services)
{
    QStringList &drag = services.DragList();
    drag.clear();
    LocList &list = services.GetLocList();
    const QList<QModelIndex> items = list.SelectedItems();
    if (items.isEmpty() || services.ActiveConnectionWindow() == nullptr)
        return;
    for (const QModelIndex &i : items) {
        const TShListData d = list.GetShListData(i);
        if (!uploadsAsFile(d)) {
            // The drag goes on, but carries nothing.
            services.Prompts().InfoBox(QStringLiteral("The item ") + d.GetDisplayName() + QLatin1String(FolderText),
                                       QLatin1String(FolderCaption));
            drag.clear();
            return;
        }
        drag.append(d.GetPathName());
    }
}

void TFormMdi::RemoteDirsDragDrop(const QObject *source, int row)
{
    if (source == nullptr || !m_services.GetLocList().IsDragSource(source) || row < 0 ||
        row >= RemoteDirs->Model()->RowCount())
        return;
    const std::string caption = RemoteDirs->Model()->Row(row).Caption;
    UploadAfterList = true;
    ChangeRemoteDir(caption);
    // Refused (busy, or reconnecting): no upload waits for a listing.
    if (Ftp1.State() == TFtpState::ftpReady || RequestHandler() != &TFormMdi::DirectoryRequestDone)
        UploadAfterList = false;
}

bool TFormMdi::RemoteFilesDragOver(const QObject *source) const
{
    return source != nullptr &&
           (m_services.GetLocList().IsDragSource(source) || m_services.GetLocTree().IsDragSource(source));
}

void TFormMdi::RemoteFilesDragDrop(const QObject *source)
{
    if (source == nullptr)
        return;
    if (m_services.GetLocList().IsDragSource(source))
        UploadDraggedFiles();
    else if (m_services.GetLocTree().IsDragSource(source))
        BatchUpload(localFolder());
}

namespace {
bool isViewOf(const QWidget *list, const QObject *source)
{
    for (const QObject *o = source; o != nullptr; o = o->parent())
        if (o == list)
            return true;
    return false;
}
} // namespace

bool TFormMdi::LocListDragOver(const QObject *source) const
{
    return source != nullptr && isActiveConnection() && (isViewOf(RemoteFiles, source) || isViewOf(RemoteDirs, source));
}

void TFormMdi::LocListDragDrop(const QObject *source)
{
    if (!LocListDragOver(source))
        return;
    if (isViewOf(RemoteFiles, source)) {
        DownloadFiles();
        return;
    }
    Prompts().InfoBox(QStringLiteral("To download the entire contents of a remote directory, please\n"
                                     "change to that directory and use the Batch Download operation."),
                      QStringLiteral("Batch Operation?"));
}

} // namespace tarsel
