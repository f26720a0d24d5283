// Batch operations on whole trees: a local folder tree up to the server, a remote
// directory tree down to the local disk, and a remote tree deleted. The remote walks
// keep their own idea of where they are (the paths they asked for), never the
// process's current directory, and stop at links, at a fixed depth and at directories
// seen before.
#include <optional>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "localbrowser/loclist.h"
#include "localbrowser/loctree.h"
#include "session/child.h"
#include "session/localtarget.h"
#include "uikit/displaytext.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {

// More directories than this in one walk means a server inventing them.
constexpr std::size_t MaxBatchDirectories = 100000;

// "/a//b/" and "/a/b" name the same directory.
std::string normalizeRemote(const std::string &p)
{
    std::string out;
    for (char c : p) {
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out += c;
    }
    if (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

std::string joinRemote(const std::string &dir, const std::string &name)
{
    return normalizeRemote(dir + "/" + name);
}

std::string parentRemote(const std::string &p)
{
    const std::size_t slash = p.rfind('/');
    if (slash == std::string::npos)
        return p;
    if (slash == 0)
        return "/";
    return p.substr(0, slash);
}

bool isParentRow(const TRemoteRow &r) { return r.Icon == TIconRole::Parent || r.Caption == ".."; }

// Runs a request; a request the client refuses ends the operation instead of leaving
// the window busy.
bool issue(TFormMdi &w, void (TCustomFtpCli::*request)())
{
    try {
        (w.Ftp1.*request)();
        return true;
    } catch (const std::exception &e) {
        w.FailOperation(e.what());
        return false;
    }
}

} // namespace

// --- batch upload --------------------------------------------------------------------------

void TFormMdi::BatchUpload(const QString &folder)
{
    if (folder.isEmpty())
        return;
    QString shown;
    // Every entry is taken relative to an absolute base, whatever the current directory.
    QString base = QDir(folder).absolutePath();
    if (base.endsWith(QLatin1Char('/'))) {
        BatchBase = base;
        shown = base.size() > 1 ? base.chopped(1) : base;
    } else {
        BatchBase = base + QLatin1Char('/');
        shown = base;
    }
    const QPointer<TFormMdi> self(this);
    const bool go = Prompts().ConfirmBox(
        QStringLiteral("This will upload all files and sub-directories of the folder:\n\n [") + shown +
            QStringLiteral("]\n\nAll files and sub-directories will be created on the server in\nthe current "
                           "directory. This can be a lengthy process.\nDo you want to continue?"),
        QStringLiteral("Continue?"));
    if (!stillHere(self) || !go)
        return;
    LogLine(QStringLiteral("Initiating batch upload operation"));
    BatchUpDirs.clear();
    BatchUpFiles.clear();
    QSet<QPair<quint64, quint64>> seen;
    struct stat st {};
    if (::stat(QFile::encodeName(BatchBase).constData(), &st) == 0)
        seen.insert({quint64(st.st_dev), quint64(st.st_ino)});
    collectLocalTree(BatchBase.chopped(1).isEmpty() ? QStringLiteral("/") : BatchBase.chopped(1), 1, seen);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const auto less = [&collator](const QString &a, const QString &b) { return collator.compare(a, b) < 0; };
    std::sort(BatchUpDirs.begin(), BatchUpDirs.end(), less);
    std::sort(BatchUpFiles.begin(), BatchUpFiles.end(), less);
    if (!CanStartCommand())
        return;
    ShowBusy();
    CancelRequested = false;
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    if (!BatchUpDirs.isEmpty()) {
        InstallRequestHandler(&TFormMdi::BatchUploadRequestDone);
        nextBatchDir();
        issue(*this, &TCustomFtpCli::MkdAsync);
    } else if (!BatchUpFiles.isEmpty()) {
        InstallRequestHandler(&TFormMdi::BatchUploadRequestDone);
        requestType();
    } else {
        // An empty folder: nothing to send.
        InstallCancelHandler(&TFormMdi::CancelBClick);
        LogLine(QStringLiteral("Completed batch upload operation"));
        ShowIdle();
    }
}

void TFormMdi::collectLocalTree(const QString &dir, int depth, QSet<QPair<quint64, quint64>> &seen)
{
    const QFileInfoList entries = QDir(dir).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo &fi : entries) {
        const QString path = fi.absoluteFilePath();
        if (fi.isSymLink() && fi.isDir()) {
            LogLine(QStringLiteral("Skipping symbolic link to a folder: ") + path);
            continue;
        }
        if (!fi.isDir()) {
            BatchUpFiles.append(path);
            continue;
        }
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        const QPair<quint64, quint64> id{quint64(st.st_dev), quint64(st.st_ino)};
        if (seen.contains(id))
            continue; // the same folder reached twice (a bind mount): once is enough
        seen.insert(id);
        if (depth > MaxBatchDepth) {
            LogLine(QStringLiteral("Error: ") + path + QStringLiteral(" is more than %1 levels deep; not uploaded")
                                                         .arg(MaxBatchDepth));
            continue;
        }
        collectLocalTree(path, depth + 1, seen);
        BatchUpDirs.append(path);
    }
}

bool TFormMdi::nextBatchDir()
{
    if (BatchUpDirs.isEmpty())
        return false;
    TransferActive = false;
    Ftp1.SetHostFileName(LocalNameBytes(BatchUpDirs.takeFirst().mid(BatchBase.size())));
    return true;
}

bool TFormMdi::nextBatchUploadFile()
{
    ResetProgress();
    if (BatchUpFiles.isEmpty()) {
        Timer1.SetEnabled(false);
        return false;
    }
    TransferActive = true;
    const QString path = BatchUpFiles.takeFirst();
    const QFileInfo fi(path);
    TransferTotal = fi.exists() ? fi.size() : -1;
    Ftp1.SetHostFileName(LocalNameBytes(path.mid(BatchBase.size())));
    Ftp1.SetLocalFileName(LocalNameBytes(path));
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    return true;
}

void TFormMdi::batchUploadAfterMkd()
{
    TransferActive = false;
    if (nextBatchDir())
        issue(*this, &TCustomFtpCli::MkdAsync);
    else
        requestType();
}

void TFormMdi::batchUploadFinishFiles()
{
    TransferActive = false;
    ResetProgress();
    const bool more = nextBatchUploadFile();
    Timer1.SetEnabled(false);
    Timer1.Tag = 1;
    if (more) {
        ShowUploadFile();
        issue(*this, &TCustomFtpCli::PutAsync);
    } else {
        InstallCancelHandler(&TFormMdi::CancelBClick);
        issue(*this, &TCustomFtpCli::PwdAsync);
    }
}

void TFormMdi::BatchUploadRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (consumeCancel())
        return;
    if (error != 0) {
        // A folder that exists already, or a file the server refuses, is passed over.
        if (Ftp1.StatusCode() == 550 && Ftp1.Connected() && rqType == TFtpRequest::ftpMkdAsync) {
            batchUploadAfterMkd();
            return;
        }
        if (Ftp1.StatusCode() == 550 && Ftp1.Connected() && rqType == TFtpRequest::ftpPutAsync) {
            batchUploadFinishFiles();
            return;
        }
        TransferActive = false;
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpMkdAsync:
        batchUploadAfterMkd();
        break;
    case TFtpRequest::ftpTypeSetAsync:
        if (nextBatchUploadFile()) {
            ShowUploadFile();
            issue(*this, &TCustomFtpCli::PutAsync);
        } else {
            InstallCancelHandler(&TFormMdi::CancelBClick);
            issue(*this, &TCustomFtpCli::PwdAsync);
        }
        break;
    case TFtpRequest::ftpPutAsync:
        batchUploadFinishFiles();
        break;
    case TFtpRequest::ftpPwdAsync:
        ApplyCurrentDir();
        startListing();
        break;
    case TFtpRequest::ftpDirAsync:
        if (!listingRead())
            break;
        LogLine(QStringLiteral("Completed batch upload operation"));
        ShowIdle();
        break;
    default:
        break;
    }
}

// --- the remote walk -----------------------------------------------------------------------

bool TFormMdi::batchVisited(const std::string &path) const
{
    return std::find(BatchDirs.begin(), BatchDirs.end(), path) != BatchDirs.end();
}

int TFormMdi::batchDepth() const
{
    if (m_batchPath.size() <= BatchRemoteBase.size())
        return 0;
    const std::string rest = m_batchPath.substr(BatchRemoteBase.size());
    return int(std::count(rest.begin(), rest.end(), '/'));
}

void TFormMdi::batchEnter(const std::string &name)
{
    m_batchTarget = name;
    Ftp1.SetHostDirName(name);
    issue(*this, &TCustomFtpCli::CwdAsync);
}

void TFormMdi::batchGoUp()
{
    m_batchTarget = "..";
    Ftp1.SetHostDirName("..");
    issue(*this, &TCustomFtpCli::CwdAsync);
}

void TFormMdi::nextBatchDirectory(bool deleting)
{
    const TRemoteListModel *dirs = RemoteDirs->Model();
    for (int i = 0; i < dirs->RowCount(); ++i) {
        const TRemoteRow &r = dirs->Row(i);
        if (isParentRow(r) || r.Icon == TIconRole::Link || !BadEntryName(r.Caption).empty())
            continue; // links are not followed; bad names were reported with the listing
        const std::string path = joinRemote(m_batchPath, r.Caption);
        if (batchVisited(path))
            continue;
        if (batchDepth() + 1 > MaxBatchDepth) {
            TransferActive = false;
            FailOperation("The directory " + path + " is more than " + std::to_string(MaxBatchDepth) +
                          " levels deep; the batch stops here");
            return;
        }
        batchEnter(r.Caption);
        return;
    }
    if (m_batchPath != BatchEnd)
        batchGoUp();
    else if (!deleting)
        batchDownloadFinish();
}

namespace {
// Logs the rows of a listing that the walk leaves alone.
void reportSkipped(TFormMdi &w, const TRemoteListModel *dirs, const TRemoteListModel *files, const std::string &dir)
{
    for (const TRemoteListModel *m : {dirs, files}) {
        for (int i = 0; i < m->RowCount(); ++i) {
            const TRemoteRow &r = m->Row(i);
            if (isParentRow(r))
                continue;
            if (r.Icon == TIconRole::Link) {
                w.LogLine(QStringLiteral("Skipping symbolic link: ") + ShowBytes(joinRemote(dir, r.Caption)));
                continue;
            }
            const std::string bad = BadEntryName(r.Caption);
            if (!bad.empty())
                w.LogLine(QStringLiteral("Error: Skipping \"") + ShowBytes(r.Caption) + QStringLiteral("\" in ") +
                          ShowBytes(dir) + QStringLiteral(": ") + QString::fromStdString(bad));
        }
    }
}
} // namespace

// --- batch download ------------------------------------------------------------------------

// The selected directory row that a batch download or delete works on; nothing when there is none, or it is ".." or a link (said with a box or a log line).
std::optional<TRemoteRow> TFormMdi::batchDirectory(const QString &verb)
{
    const QList<int> rows = RemoteDirs->SelectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    const TRemoteRow row = RemoteDirs->Model()->Row(rows.first());
    if (row.Caption == "..") {
        Prompts().InfoBox(QStringLiteral("You can not ") + verb + QStringLiteral(" the up directory symbol!"),
                          QStringLiteral("Invalid Directory!"));
        return std::nullopt;
    }
    const std::string remotePath = RemoteDir + "/" + row.Caption;
    if (row.Icon == TIconRole::Link) {
        LogLine(QStringLiteral("Error: ") + ShowBytes(remotePath) +
                QStringLiteral(" is a symbolic link; batch operations do not follow links"));
        return std::nullopt;
    }
    return row;
}

// The directory row a batch download or delete works on, once the user has confirmed
// and the window may start (the batch's lists emptied); nothing otherwise.
std::optional<TRemoteRow> TFormMdi::confirmBatch(const QString &verb, const QString &whatItDoes)
{
    const std::optional<TRemoteRow> picked = batchDirectory(verb);
    if (!picked)
        return std::nullopt;
    const QPointer<TFormMdi> self(this);
    const bool go = Prompts().ConfirmBox(QStringLiteral("You have selected to batch ") + verb + QStringLiteral(" \"") +
                                             ShowBytes(RemoteDir + "/" + picked->Caption) +
                                             QStringLiteral("\"\r\n\r\n") + whatItDoes,
                                         QStringLiteral("Continue?"));
    if (!stillHere(self) || !go || !CanStartCommand())
        return std::nullopt;
    LogLine(QStringLiteral("Initiating batch ") + verb + QStringLiteral(" operation"));
    BatchDirs.clear();
    BatchFiles.clear();
    return picked;
}

void TFormMdi::BatchDownload()
{
    const std::optional<TRemoteRow> picked = confirmBatch(
        QStringLiteral("download"),
        QStringLiteral("This operation will download that directory and all of the files and "
                       "sub-directories\r\ncontained within that directory.\r\n\r\nThis can be a lengthy "
                       "process. Do you want to continue?"));
    if (!picked)
        return;
    const TRemoteRow &row = *picked;
    const std::string remotePath = RemoteDir + "/" + row.Caption;
    // The local side: the chosen folder's sub-folder named like the directory.
    const std::string root = LocalNameBytes(QDir(localFolder()).absolutePath());
    std::string target;
    std::string why = "no local folder is selected";
    if (localFolder().isEmpty() || !LocalChildPath(root, root, row.Caption, target, why)) {
        LogLine(QStringLiteral("Error: Not downloading \"") + ShowBytes(row.Caption) + QStringLiteral("\": ") +
                QString::fromStdString(why));
        return;
    }
    if (::mkdir(target.c_str(), 0777) != 0 && errno != EEXIST) {
        LogLine(QStringLiteral("Error: Cannot create the local folder ") + LocalNameText(target) +
                QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_batchLocalRoot = root;
    m_batchLocalDir = target;
    m_batchChecked = {};
    BatchRemoteBase = normalizeRemote(remotePath);
    BatchEnd = BatchRemoteBase;
    m_batchPath = normalizeRemote(RemoteDir);
    m_batchTarget.clear();
    CancelRequested = false;
    InstallRequestHandler(&TFormMdi::BatchDownloadRequestDone);
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    ShowBusy();
    Ftp1.SetHostDirName(remotePath);
    issue(*this, &TCustomFtpCli::CwdAsync);
}

void TFormMdi::batchDownloadListed()
{
    if (!batchVisited(m_batchPath)) {
        if (BatchDirs.size() >= MaxBatchDirectories) {
            FailOperation("More than " + std::to_string(MaxBatchDirectories) +
                          " directories; the batch stops here");
            return;
        }
        BatchDirs.push_back(m_batchPath);
        reportSkipped(*this, RemoteDirs->Model(), RemoteFiles->Model(), m_batchPath);
        BatchFiles.clear();
        const TRemoteListModel *files = RemoteFiles->Model();
        for (int i = 0; i < files->RowCount(); ++i)
            BatchFiles.push_back(files->Row(i).Caption);
        if (!BatchFiles.empty()) {
            requestType();
            return;
        }
    }
    nextBatchDirectory(false);
}

void TFormMdi::batchDownloadNextFile()
{
    Timer1.SetEnabled(false);
    Timer1.Tag = 1;
    std::string why;
    if (m_batchChecked.Folder != m_batchLocalDir &&
        !CheckLocalFolder(m_batchLocalRoot, m_batchLocalDir, m_batchChecked, why)) {
        m_batchChecked = {};
        BatchFiles.clear(); // the folder no longer lies inside the chosen one
    }
    while (!BatchFiles.empty()) {
        const std::string name = BatchFiles.front();
        BatchFiles.erase(BatchFiles.begin());
        std::string path;
        if (!LocalChildPath(m_batchChecked, name, path, why))
            continue; // reported with the listing, or a link that leads outside
        TransferActive = true;
        Ftp1.SetHostFileName(name);
        Ftp1.SetLocalFileName(path);
        InstallCancelHandler(&TFormMdi::CancelTransfer);
        issue(*this, &TCustomFtpCli::SizeAsync);
        return;
    }
    nextBatchDirectory(false);
}

void TFormMdi::batchDownloadFinish()
{
    Timer1.SetEnabled(false);
    InstallCancelHandler(&TFormMdi::CancelBClick);
    m_services.GetLocTree().RefreshNodes();
    refreshLocalList();
    LogLine(QStringLiteral("Completed batch download operation"));
    ShowIdle();
}

void TFormMdi::BatchDownloadRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (consumeCancel())
        return;
    if (error != 0) {
        if (sizeRefusedOnly(rqType, error)) {
            TransferTotal = -1; // fetched without a known total
            ShowDownloadFile();
            issue(*this, &TCustomFtpCli::GetAsync);
            return;
        }
        TransferActive = false;
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpCwdAsync: {
        if (m_batchTarget.empty()) {
            m_batchPath = BatchRemoteBase;
        } else if (m_batchTarget == "..") {
            m_batchPath = parentRemote(m_batchPath);
            const std::size_t slash = m_batchLocalDir.rfind('/');
            if (slash != std::string::npos && slash > 0)
                m_batchLocalDir.resize(slash);
        } else {
            std::string path;
            std::string why;
            if (!LocalChildPath(m_batchLocalRoot, m_batchLocalDir, m_batchTarget, path, why)) {
                FailOperation("Not downloading \"" + m_batchTarget + "\": " + why);
                return;
            }
            if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
                FailOperation("Cannot create the local folder " + path + ": " + std::strerror(errno));
                return;
            }
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                FailOperation("Cannot create the local folder " + path + ": a file of that name exists");
                return;
            }
            m_batchPath = joinRemote(m_batchPath, m_batchTarget);
            m_batchLocalDir = path;
        }
        issue(*this, &TCustomFtpCli::PwdAsync);
        break;
    }
    case TFtpRequest::ftpPwdAsync:
        ApplyCurrentDir();
        startListing();
        break;
    case TFtpRequest::ftpDirAsync:
        if (listingRead())
            batchDownloadListed();
        break;
    case TFtpRequest::ftpTypeSetAsync:
        batchDownloadNextFile();
        break;
    // In a batch the next command goes out first and the panel changes while the server
    // answers: the panel cannot be drawn in between anyway, and each file waits less.
    case TFtpRequest::ftpSizeAsync:
        TransferTotal = Ftp1.ReplySize() >= 0 ? Ftp1.ReplySize() : -1;
        if (issue(*this, &TCustomFtpCli::GetAsync))
            ShowDownloadFile();
        break;
    case TFtpRequest::ftpGetAsync: {
        TransferActive = false;
        const QPointer<TFormMdi> self(this); // a failure's box may close the window
        batchDownloadNextFile();
        if (self)
            ResetProgress();
        break;
    }
    default:
        break;
    }
}

// --- batch delete --------------------------------------------------------------------------

void TFormMdi::BatchDelete()
{
    const std::optional<TRemoteRow> picked = confirmBatch(
        QStringLiteral("delete"),
        QStringLiteral("This operation will delete that directory and all of the files and "
                       "sub-directories \r\ncontained within that directory.\r\n\r\nThis can be a lengthy "
                       "process. Do you want to continue?"));
    if (!picked)
        return;
    const std::string remotePath = RemoteDir + "/" + picked->Caption;
    BatchRemoteBase = normalizeRemote(remotePath);
    BatchEnd = normalizeRemote(RemoteDir);
    m_batchPath = BatchEnd;
    m_batchTarget.clear();
    CancelRequested = false;
    InstallRequestHandler(&TFormMdi::BatchDeleteRequestDone);
    InstallCancelHandler(&TFormMdi::CancelTransfer);
    ShowBusy();
    Ftp1.SetHostDirName(remotePath);
    issue(*this, &TCustomFtpCli::CwdAsync);
}

void TFormMdi::batchDeleteListed()
{
    if (m_batchPath != BatchEnd && !batchVisited(m_batchPath)) {
        if (BatchDirs.size() >= MaxBatchDirectories) {
            FailOperation("More than " + std::to_string(MaxBatchDirectories) +
                          " directories; the batch stops here");
            return;
        }
        BatchDirs.push_back(m_batchPath);
        reportSkipped(*this, RemoteDirs->Model(), RemoteFiles->Model(), m_batchPath);
        BatchFiles.clear();
        const TRemoteListModel *files = RemoteFiles->Model();
        for (int i = 0; i < files->RowCount(); ++i)
            if (BadEntryName(files->Row(i).Caption).empty())
                BatchFiles.push_back(files->Row(i).Caption);
    }
    batchDeleteNextStep();
}

void TFormMdi::batchDeleteNextStep()
{
    if (!BatchFiles.empty()) {
        TransferActive = false;
        Ftp1.SetHostFileName(BatchFiles.front());
        BatchFiles.erase(BatchFiles.begin());
        issue(*this, &TCustomFtpCli::DeleAsync);
        return;
    }
    if (m_batchPath == BatchEnd)
        batchDeleteRemoveDirs();
    else
        nextBatchDirectory(true);
}

void TFormMdi::batchDeleteRemoveDirs()
{
    if (!BatchDirs.empty()) {
        // Deepest first: the reverse of the visiting order.
        TransferActive = false;
        Ftp1.SetHostFileName(BatchDirs.back());
        BatchDirs.pop_back();
        issue(*this, &TCustomFtpCli::RmdAsync);
        return;
    }
    InstallCancelHandler(&TFormMdi::CancelBClick);
    InstallRequestHandler(&TFormMdi::DirectoryRequestDone);
    if (issue(*this, &TCustomFtpCli::PwdAsync))
        LogLine(QStringLiteral("Completed batch delete operation"));
}

void TFormMdi::BatchDeleteRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (consumeCancel())
        return;
    if (error != 0) {
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpCwdAsync:
        if (m_batchTarget.empty())
            m_batchPath = BatchRemoteBase;
        else if (m_batchTarget == "..")
            m_batchPath = parentRemote(m_batchPath);
        else
            m_batchPath = joinRemote(m_batchPath, m_batchTarget);
        issue(*this, &TCustomFtpCli::PwdAsync);
        break;
    case TFtpRequest::ftpPwdAsync:
        ApplyCurrentDir();
        startListing();
        break;
    case TFtpRequest::ftpDirAsync:
        if (listingRead())
            batchDeleteListed();
        break;
    case TFtpRequest::ftpDeleAsync:
    case TFtpRequest::ftpRmdAsync:
        batchDeleteNextStep();
        break;
    default:
        break;
    }
}

// --- commands of the main window -----------------------------------------------------------

void TFormMdi::ActionBatchUploadExecute() { BatchUpload(localFolder()); }
void TFormMdi::ActionBatchDownloadExecute() { BatchDownload(); }

void TFormMdi::ActionBatchDeleteExecute()
{
    if (RemoteDirs->SelectedCount() == 0) {
        Prompts().InfoBox(QStringLiteral("You must select a remote directory to delete"),
                          QStringLiteral("Which Directory?"));
        return;
    }
    BatchDelete();
}

} // namespace tarsel
