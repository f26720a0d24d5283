// The raw commands of the Commands menu: each sends one FTP command (or a listing)
// and lets the log show the server's answer.
#include <QAction>
#include <QFileInfo>
#include <QPointer>

#include "localbrowser/loctree.h"
#include "session/child.h"
#include "session/localtarget.h"
#include "uikit/displaytext.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {
// A typed name's last component: a raw transfer never reaches outside the folder
// selected in the local tree, whatever "/" or ".." the name holds.
std::string lastComponent(const std::string &name)
{
    const std::size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}
} // namespace

std::string TFormMdi::askCommandText(const char *title, const char *prompt)
{
    const QPointer<TFormMdi> self(this);
    const QString text = Prompts().InputBox(QString::fromLatin1(title), QString::fromLatin1(prompt), QString());
    // Empty (also a cancelled box) sends nothing and says nothing.
    if (!stillHere(self) || text.isEmpty() || !CheckCommandText(text))
        return {};
    return FromDisplay(text);
}

void TFormMdi::SendQuote(const std::string &commandLine)
{
    if (commandLine.empty() || !CanStartCommand())
        return;
    InstallRequestHandler(&TFormMdi::RawCommandRequestDone);
    ShowBusy();
    Ftp1.SetLocalFileName(commandLine);
    startRequest([this] { Ftp1.QuoteAsync(); });
}

void TFormMdi::SendRawCommand(TRawCommand command, const std::string &arg)
{
    using C = TRawCommand;
    const bool needsArg = command == C::CWD || command == C::SITE || command == C::SIZE || command == C::STOR ||
                          command == C::RETR;
    if (needsArg && arg.empty())
        return;
    if (!CanStartCommand())
        return;
    if (command == C::STOR || command == C::RETR) {
        const std::string folder = LocalNameBytes(m_services.GetLocTree().GetSelectedPathName());
        std::string local;
        std::string why = "no local folder is selected";
        if (folder.empty() || !LocalChildPath(folder, folder, lastComponent(arg), local, why)) {
            Prompts().ErrorBox(QStringLiteral("The name \"") + ShowBytes(arg) +
                                   QStringLiteral("\" cannot be used in the local folder: ") +
                                   QString::fromStdString(why),
                               QStringLiteral("Transfer Error"));
            return;
        }
        ResetProgress();
        TransferActive = true;
        TransferTotal = -1;
        if (command == C::STOR) {
            const QFileInfo info(LocalNameText(local));
            if (info.exists() && info.size() != 0)
                TransferTotal = info.size();
        }
        Ftp1.SetHostFileName(arg);
        Ftp1.SetLocalFileName(local);
        CancelRequested = false;
        InstallRequestHandler(&TFormMdi::RawCommandRequestDone);
        InstallCancelHandler(&TFormMdi::CancelTransfer);
        RawUploadPending = command == C::STOR;
        ShowBusy();
        startRequest([this] { requestType(); });
        return;
    }
    InstallRequestHandler(&TFormMdi::RawCommandRequestDone);
    ShowBusy();
    const auto quote = [this](const std::string &line) {
        Ftp1.SetLocalFileName(line);
        startRequest([this] { Ftp1.QuoteAsync(); });
    };
    switch (command) {
    case C::CWD:
        Ftp1.SetHostDirName(arg);
        startRequest([this] { Ftp1.CwdAsync(); });
        break;
    case C::CDUP:
        startRequest([this] { Ftp1.CDupAsync(); });
        break;
    case C::PWD:
        startRequest([this] { Ftp1.PwdAsync(); });
        break;
    case C::HELP:
        quote("HELP");
        break;
    case C::SYST:
        startRequest([this] { Ftp1.SystAsync(); });
        break;
    case C::SITE:
        quote("SITE " + arg);
        break;
    case C::SIZE:
        quote("SIZE " + arg);
        break;
    case C::STAT:
        quote("STAT "); // with its blank: some servers want one before the (empty) argument
        break;
    case C::LIST:
        ShowListingAfter = true;
        startListing();
        break;
    case C::NLST:
        ShowListingAfter = true;
        if (TempListFile.isEmpty())
            TempListFile = MakeTempListFile();
        if (TempListFile.isEmpty()) {
            ShowListingAfter = false;
            FailOperation("No temporary listing file; the directory cannot be listed");
            break;
        }
        Ftp1.SetLocalFileName(LocalNameBytes(TempListFile));
        // Watched like a listing: a name list beyond the limits is cut off.
        m_listing = true;
        m_listingTooBig = false;
        startRequest([this] { Ftp1.LsAsync(); });
        break;
    case C::QUIT:
        startRequest([this] { Ftp1.QuitAsync(); });
        break;
    case C::STOR:
    case C::RETR:
        break; // started above
    }
}

void TFormMdi::RawCommandRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (consumeCancel())
        return; // a raw transfer cancelled between its steps
    if (error != 0) {
        // Some servers answer CDUP with "200 CDUP command successful", which the client
        // does not count as a directory change; the directory did change.
        if (Ftp1.ErrorMessage().find("200 CDUP") != std::string::npos) {
            startRequest([this] { Ftp1.PwdAsync(); });
            return;
        }
        // A server without SIZE still sends the file; only the total stays unknown.
        if (sizeRefusedOnly(rqType, error)) {
            TransferTotal = -1;
            ShowDownloadFile();
            startRequest([this] { Ftp1.GetAsync(); });
            return;
        }
        const bool transfer = TransferActive;
        ShowListingAfter = false;
        m_listing = false;
        TransferActive = false;
        FailOperation(Ftp1.ErrorMessage());
        if (transfer && rqType == TFtpRequest::ftpGetAsync)
            refreshLocalList();
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpCwdAsync:
    case TFtpRequest::ftpCDupAsync:
        startRequest([this] { Ftp1.PwdAsync(); });
        break;
    case TFtpRequest::ftpPwdAsync:
        relistStep(rqType);
        break;
    case TFtpRequest::ftpDirAsync:
        relistStep(rqType);
        // A listing that failed has put the default handler back: no dialog then.
        if (ShowListingAfter && RequestHandler() == &TFormMdi::RawCommandRequestDone)
            queueListingDialog();
        ShowListingAfter = false;
        break;
    case TFtpRequest::ftpLsAsync: {
        // A name-only listing is shown, never parsed into the lists.
        const bool tooBig = m_listingTooBig;
        m_listing = false;
        m_listingTooBig = false;
        ShowIdle();
        if (tooBig)
            LogLine(QStringLiteral("Error: The name list is too large to show"));
        else if (ShowListingAfter)
            queueListingDialog();
        ShowListingAfter = false;
        break;
    }
    case TFtpRequest::ftpQuoteAsync:
        TransferActive = false;
        ShowIdle();
        break;
    case TFtpRequest::ftpTypeSetAsync:
        if (RawUploadPending) {
            RawUploadPending = false;
            ShowUploadFile();
            startRequest([this] { Ftp1.PutAsync(); });
        } else {
            startRequest([this] { Ftp1.SizeAsync(); });
        }
        break;
    case TFtpRequest::ftpSizeAsync:
        TransferTotal = Ftp1.ReplySize() >= 0 ? Ftp1.ReplySize() : -1;
        ShowDownloadFile();
        startRequest([this] { Ftp1.GetAsync(); });
        break;
    case TFtpRequest::ftpPutAsync:
    case TFtpRequest::ftpGetAsync:
        if (rqType == TFtpRequest::ftpGetAsync)
            refreshLocalList();
        TransferActive = false;
        ResetProgress();
        Timer1.SetEnabled(false);
        Timer1.Tag = 1;
        InstallCancelHandler(&TFormMdi::CancelBClick);
        // After an upload the remote lists show the new file.
        if (rqType == TFtpRequest::ftpPutAsync)
            startRequest([this] { Ftp1.PwdAsync(); });
        else
            ShowIdle();
        break;
    default:
        ShowIdle();
        break;
    }
}

// --- commands of the main window -------------------------------------------------------------

void TFormMdi::ActionQuoteExecute()
{
    const std::string line = askCommandText("Send Quote Command", "Type in a command to send to the server:");
    if (!line.empty())
        SendQuote(line);
}

void TFormMdi::ActionCWDExecute()
{
    const std::string dir = askCommandText("Send CWD Command", "Type in the directory to change to:");
    if (!dir.empty())
        SendRawCommand(TRawCommand::CWD, dir);
}

void TFormMdi::ActionSITEExecute()
{
    const std::string text =
        askCommandText("Send SITE Command", "Type in the parameter pass to the server with the command:");
    if (!text.empty())
        SendRawCommand(TRawCommand::SITE, text);
}

void TFormMdi::ActionSIZEExecute()
{
    const std::string name = askCommandText("Send SIZE Command", "Type in the name of the file to retrieve the size of:");
    if (!name.empty())
        SendRawCommand(TRawCommand::SIZE, name);
}

void TFormMdi::ActionSTORExecute()
{
    const std::string name = askCommandText("Send STOR Command", "Type in the name of the file to store on the server:");
    if (!name.empty())
        SendRawCommand(TRawCommand::STOR, name);
}

void TFormMdi::ActionRETRExecute()
{
    const std::string name =
        askCommandText("Send RETR Command", "Type in the name of the file to retrieve from the server:");
    if (!name.empty())
        SendRawCommand(TRawCommand::RETR, name);
}

void TFormMdi::bindManagementActions()
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
    using A = TActionId;
    on(A::ActionMkdDir, &TFormMdi::ActionMkdDirExecute);
    on(A::ActionRenameDir, &TFormMdi::ActionRenameDirExecute);
    on(A::ActionRemoveDir, &TFormMdi::ActionRemoveDirExecute);
    on(A::ActionDeleteRemote, &TFormMdi::ActionDeleteRemoteExecute);
    on(A::ActionRenameRemoteFile, &TFormMdi::ActionRenameRemoteFileExecute);
    on(A::ActionDirInfo, &TFormMdi::ActionDirInfoExecute);
    on(A::ActionChmod, &TFormMdi::ActionChmodExecute);
    on(A::ActionChmodDir, &TFormMdi::ActionChmodDirExecute);
    on(A::ActionSaveLog, &TFormMdi::ActionSaveLogExecute);
    on(A::ActionQuote, &TFormMdi::ActionQuoteExecute);
    on(A::ActionCWD, &TFormMdi::ActionCWDExecute);
    on(A::ActionCDUP, &TFormMdi::ActionCDUPExecute);
    on(A::ActionPWD, &TFormMdi::ActionPWDExecute);
    on(A::ActionHELP, &TFormMdi::ActionHELPExecute);
    on(A::ActionSYST, &TFormMdi::ActionSYSTExecute);
    on(A::ActionSITE, &TFormMdi::ActionSITEExecute);
    on(A::ActionLIST, &TFormMdi::ActionLISTExecute);
    on(A::ActionNLST, &TFormMdi::ActionNLSTExecute);
    on(A::ActionSTAT, &TFormMdi::ActionSTATExecute);
    on(A::ActionSIZE, &TFormMdi::ActionSIZEExecute);
    on(A::ActionQUIT, &TFormMdi::ActionQUITExecute);
    on(A::ActionSTOR, &TFormMdi::ActionSTORExecute);
    on(A::ActionRETR, &TFormMdi::ActionRETRExecute);
}

} // namespace tarsel
