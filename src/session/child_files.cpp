// Managing what lies on the server: making, renaming and removing directories, deleting
// and renaming files, Unix permissions, the raw listing of the current directory, and
// saving the session log.
#include <QAction>
#include <QFile>
#include <QPointer>

#include "dialogs/chmod.h"
#include "dialogs/dirinfo.h"
#include "localbrowser/loctree.h"
#include "session/child.h"
#include "uikit/displaytext.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {
const char *const InvalidTextMessage =
    "This text cannot be sent to the server: it contains a line break or a NUL character.";
const char *const InvalidTextCaption = "Invalid Text";

// The bytes of a name the user may have left as shown: the row's own bytes when the
// text is unchanged, so a name that is not UTF-8 survives.
std::string typedName(const QString &text, const QString &shown, const std::string &original)
{
    return text == shown ? original : FromDisplay(text);
}
} // namespace

bool TFormMdi::CheckCommandText(const QString &text)
{
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) && !text.contains(QChar(0)))
        return true;
    Prompts().ErrorBox(QString::fromLatin1(InvalidTextMessage), QString::fromLatin1(InvalidTextCaption));
    return false;
}

bool TFormMdi::startRequest(const std::function<void()> &request)
{
    try {
        request();
        return true;
    } catch (const FtpException &e) {
        // "FTP component not ready" cannot happen here: every operation passed
        // CanStartCommand and runs its requests from its own completions.
        FailOperation(e.what());
        return false;
    }
}

bool TFormMdi::relistStep(TFtpRequest rqType)
{
    if (rqType == TFtpRequest::ftpPwdAsync) {
        ApplyCurrentDir();
        startListing();
        return true;
    }
    if (rqType == TFtpRequest::ftpDirAsync) {
        if (listingRead())
            ShowIdle();
        return true;
    }
    return false;
}

bool TFormMdi::listingRead()
{
    std::string why;
    if (ParseListing(&why))
        return true;
    FailOperation(why);
    return false;
}

TDlgs &TFormMdi::Dlgs()
{
    if (TDlgs *d = TDlgs::Instance())
        return *d;
    if (!m_ownDlgs)
        m_ownDlgs = std::make_unique<TDlgs>(window());
    return *m_ownDlgs;
}

// --- directories ------------------------------------------------------------------------------

void TFormMdi::MakeRemoteDir(const std::string &name)
{
    if (!CanStartCommand())
        return;
    ShowBusy();
    InstallRequestHandler(&TFormMdi::DirectoryRequestDone);
    Ftp1.SetHostFileName(name);
    // Its completion enters the new directory and lists it.
    startRequest([this] { Ftp1.MkdAsync(); });
}

void TFormMdi::RenameRemoteDir(const std::string &newName)
{
    if (!CanStartCommand())
        return;
    const int row = RemoteDirs->SelectedRow();
    if (row < 0)
        return; // the selection went while the name was asked for
    ShowBusy();
    InstallRequestHandler(&TFormMdi::DirectoryRequestDone);
    Ftp1.SetHostFileName(RemoteDirs->Model()->Row(row).Caption);
    Ftp1.SetLocalFileName(newName);
    startRequest([this] { Ftp1.RenAsync(); });
}

void TFormMdi::RemoveRemoteDir(const std::string &name)
{
    if (!CanStartCommand())
        return;
    ShowBusy();
    InstallRequestHandler(&TFormMdi::DirectoryRequestDone);
    Ftp1.SetHostFileName(name);
    startRequest([this] { Ftp1.RmdAsync(); });
}

void TFormMdi::ActionMkdDirExecute()
{
    const QPointer<TFormMdi> self(this);
    const QString text =
        Prompts().InputBox(QStringLiteral("Create Directory"), QStringLiteral("Directory to create:"), QString());
    if (!stillHere(self) || text.isEmpty() || !CheckCommandText(text))
        return;
    MakeRemoteDir(FromDisplay(text));
}

void TFormMdi::ActionRenameDirExecute()
{
    const int row = RemoteDirs->SelectedRow();
    if (row < 0) {
        Prompts().InfoBox(QStringLiteral("You need to select a remote directory to rename."),
                          QStringLiteral("Select Directory"));
        return;
    }
    const std::string old = RemoteDirs->Model()->Row(row).Caption;
    const QString shown = ShowBytes(old);
    const QPointer<TFormMdi> self(this);
    const QString text =
        Prompts().InputBox(QStringLiteral("Rename Directory"), QStringLiteral("New name for directory:"), shown);
    if (!stillHere(self) || text.isEmpty() || !CheckCommandText(text))
        return;
    RenameRemoteDir(typedName(text, shown, old));
}

void TFormMdi::ActionRemoveDirExecute()
{
    const int row = RemoteDirs->SelectedRow();
    if (row < 0) {
        Prompts().InfoBox(QStringLiteral("You need to select a remote directory to delete."),
                          QStringLiteral("Select Directory"));
        return;
    }
    const std::string name = RemoteDirs->Model()->Row(row).Caption;
    const QPointer<TFormMdi> self(this);
    const bool yes = Prompts().ConfirmBox(
        QStringLiteral("Are you sure you want to delete the remote directory ") + ShowBytes(name) + QLatin1Char('?'),
        QStringLiteral("Delete Directory"));
    if (!stillHere(self) || !yes)
        return;
    RemoveRemoteDir(name);
}

// --- files ------------------------------------------------------------------------------------

bool TFormMdi::NextDeleteFile()
{
    if (DeleteQueue.empty())
        return false;
    TransferActive = false;
    Ftp1.SetHostFileName(DeleteQueue.front());
    DeleteQueue.erase(DeleteQueue.begin());
    return true;
}

void TFormMdi::DeleteRemoteFiles()
{
    if (!CanStartCommand())
        return;
    DeleteQueue.clear();
    for (int row : RemoteFiles->SelectedRows())
        DeleteQueue.push_back(RemoteFiles->Model()->Row(row).Caption);
    const QPointer<TFormMdi> self(this);
    const bool yes = Prompts().ConfirmBox(QStringLiteral("Are you sure you want to delete the file(s) from the server?"),
                                          QStringLiteral("Delete Files?"));
    if (!stillHere(self))
        return;
    if (!yes) {
        DeleteQueue.clear();
        return;
    }
    if (DeleteQueue.empty())
        return;
    // The box ran an event loop: a keep-alive may be running now.
    if (!CanStartCommand()) {
        DeleteQueue.clear();
        return;
    }
    InstallRequestHandler(&TFormMdi::FileRequestDone);
    ShowBusy();
    NextDeleteFile();
    startRequest([this] { Ftp1.DeleAsync(); });
}

void TFormMdi::RenameRemoteFile()
{
    if (!CanStartCommand())
        return;
    if (RemoteFiles->SelectedCount() != 1) {
        Prompts().ErrorBox(QStringLiteral("You must have ONE file selected to rename."), QStringLiteral("Rename Error"));
        return;
    }
    const std::string old = RemoteFiles->Model()->Row(RemoteFiles->SelectedRow()).Caption;
    const QString shown = ShowBytes(old);
    const QPointer<TFormMdi> self(this);
    const QString text = Prompts().InputBox(QStringLiteral("Rename File"),
                                            QStringLiteral("New name for the file \"") + shown + QStringLiteral("\":"),
                                            shown);
    if (!stillHere(self) || text.isEmpty() || text == shown || !CheckCommandText(text))
        return;
    if (!CanStartCommand())
        return;
    TransferActive = false;
    InstallRequestHandler(&TFormMdi::FileRequestDone);
    Ftp1.SetHostFileName(old);
    Ftp1.SetLocalFileName(FromDisplay(text));
    // A file rename does not show the busy state.
    startRequest([this] { Ftp1.RenAsync(); });
}

void TFormMdi::FileRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (error != 0) {
        DeleteQueue.clear(); // the rest is not deleted
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpDeleAsync:
        TransferActive = false;
        if (NextDeleteFile())
            startRequest([this] { Ftp1.DeleAsync(); });
        else
            startRequest([this] { Ftp1.PwdAsync(); });
        break;
    case TFtpRequest::ftpRenAsync:
        startRequest([this] { Ftp1.PwdAsync(); });
        break;
    default:
        relistStep(rqType);
        break;
    }
}

// --- directory information --------------------------------------------------------------------

void TFormMdi::ShowDirInfo()
{
    if (!CanStartCommand())
        return;
    ShowBusy();
    InstallRequestHandler(&TFormMdi::DirInfoRequestDone);
    startRequest([this] { Ftp1.PwdAsync(); });
}

void TFormMdi::DirInfoRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (error != 0) {
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    if (relistStep(rqType) && rqType == TFtpRequest::ftpDirAsync && RequestHandler() == &TFormMdi::DirInfoRequestDone)
        queueListingDialog();
}

void TFormMdi::queueListingDialog()
{
    // Opened once the client has finished with this completion: the dialog's event loop
    // does not run inside the client's own processing.
    const QPointer<TFormMdi> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self)
                self->guarded([&self] {
                    if (!self->m_closing)
                        self->ShowListingDialog();
                });
        },
        Qt::QueuedConnection);
}

void TFormMdi::ShowListingDialog()
{
    QByteArray raw;
    QFile f(TempListFile);
    if (f.size() > m_limits.MaxBytes) {
        LogLine(QStringLiteral("Error: The listing is too large to show"));
        return;
    }
    if (f.open(QIODevice::ReadOnly))
        raw = f.readAll();
    LocTree *tree = &m_services.GetLocTree();
    QPointer<TFormDir> dlg = new TFormDir(Prompts(), Dlgs(), [tree] { return tree->GetSelectedPathName(); }, this);
    dlg->LoadListing(raw);
    Prompts().ExecDialog(*dlg);
    delete dlg.data();
}

// --- permissions ------------------------------------------------------------------------------

namespace {
std::string chmodLine(const QString &mode, bool sendAsQuote, const std::string &name)
{
    // With "Send as QUOTE" the word QUOTE itself leads the line, as the dialog says.
    return std::string(sendAsQuote ? "QUOTE SITE CHMOD " : "SITE CHMOD ") + mode.toStdString() + " " + name;
}
} // namespace

bool TFormMdi::NextChmodCommand()
{
    if (ChmodQueue.empty())
        return false;
    TransferActive = false;
    Ftp1.SetLocalFileName(ChmodQueue.front());
    ChmodQueue.erase(ChmodQueue.begin());
    return true;
}

void TFormMdi::ChmodFiles(const QString &mode, bool sendAsQuote)
{
    if (!CanStartCommand())
        return;
    const QList<int> rows = RemoteFiles->SelectedRows();
    if (rows.isEmpty()) {
        Prompts().InfoBox(QStringLiteral("You didn't select a file to CHMOD!"), QStringLiteral("CHMOD Error"));
        return;
    }
    if (mode.isEmpty())
        return;
    ChmodQueue.clear();
    for (int row : rows)
        ChmodQueue.push_back(chmodLine(mode, sendAsQuote, RemoteFiles->Model()->Row(row).Caption));
    InstallRequestHandler(&TFormMdi::ChmodFilesRequestDone);
    ShowBusy();
    NextChmodCommand();
    startRequest([this] { Ftp1.QuoteAsync(); });
}

void TFormMdi::ChmodDir(const QString &mode, bool sendAsQuote)
{
    if (!CanStartCommand())
        return;
    const int row = RemoteDirs->SelectedRow();
    if (row < 0) {
        Prompts().InfoBox(QStringLiteral("You didn't select a directory to CHMOD!"), QStringLiteral("CHMOD Error"));
        return;
    }
    if (mode.isEmpty())
        return;
    InstallRequestHandler(&TFormMdi::ChmodDirRequestDone);
    ShowBusy();
    Ftp1.SetLocalFileName(chmodLine(mode, sendAsQuote, RemoteDirs->Model()->Row(row).Caption));
    startRequest([this] { Ftp1.QuoteAsync(); });
}

void TFormMdi::ChmodFilesRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (error != 0) {
        ChmodQueue.clear(); // the files after the failing one keep their permissions
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    if (rqType == TFtpRequest::ftpQuoteAsync) {
        TransferActive = false;
        if (NextChmodCommand())
            startRequest([this] { Ftp1.QuoteAsync(); });
        else
            startRequest([this] { Ftp1.PwdAsync(); }); // the new listing shows the new permissions
        return;
    }
    relistStep(rqType);
}

void TFormMdi::ChmodDirRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (error != 0) {
        FailOperation(Ftp1.ErrorMessage());
        return;
    }
    if (rqType == TFtpRequest::ftpQuoteAsync) {
        TransferActive = false;
        startRequest([this] { Ftp1.PwdAsync(); });
        return;
    }
    relistStep(rqType);
}

namespace {
// Runs the permissions dialog seeded with a row's permission text; false when cancelled.
bool askPermissions(IPrompts &prompts, QWidget *parent, const TRemoteList *list, QString *mode, bool *quote)
{
    QPointer<TFormMod> dlg = new TFormMod(parent);
    const QList<int> rows = list->SelectedRows();
    if (!rows.isEmpty()) {
        // Read by position: one character a byte.
        const std::string &text = list->Model()->Row(rows.first()).Permissions;
        dlg->PermissionText = QString::fromLatin1(text.data(), qsizetype(text.size()));
    }
    prompts.ExecDialog(*dlg);
    if (!dlg)
        return false;
    const bool ok = !dlg->Cancelled;
    *mode = dlg->ModeText;
    *quote = dlg->SendAsQuote;
    delete dlg.data();
    return ok;
}
} // namespace

void TFormMdi::ActionChmodExecute()
{
    const QPointer<TFormMdi> self(this);
    QString mode;
    bool quote = false;
    const bool ok = askPermissions(Prompts(), this, RemoteFiles, &mode, &quote);
    if (!stillHere(self) || !ok)
        return;
    ChmodFiles(mode, quote);
}

void TFormMdi::ActionChmodDirExecute()
{
    const QPointer<TFormMdi> self(this);
    QString mode;
    bool quote = false;
    const bool ok = askPermissions(Prompts(), this, RemoteDirs, &mode, &quote);
    if (!stillHere(self) || !ok)
        return;
    ChmodDir(mode, quote);
}

// --- the session log --------------------------------------------------------------------------

void TFormMdi::ActionSaveLogExecute()
{
    // Owned by the main window; starts in the folder selected in the local tree. The
    // memo shows what is saved.
    FlushLogMemo();
    SaveLinesAs(Prompts(), Dlgs(), window(), LogFileFilter(), m_services.GetLocTree().GetSelectedPathName(), LogList);
}

} // namespace tarsel
