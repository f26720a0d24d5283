// The raw commands of the Commands menu: each sends one FTP command (or a listing)
// and lets the log show the server's answer.
#include <QAction>
#include <QPointer>

#include "session/child.h"
#include "uikit/displaytext.h"
#include "uikit/prompts.h"

namespace tarsel {

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
    // The raw transfers need the progress panel of the transfers; until then they are
    // not offered.
    if (command == C::STOR || command == C::RETR)
        return;
    if (!CanStartCommand())
        return;
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
        break;
    }
}

void TFormMdi::RawCommandRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (error != 0) {
        // Some servers answer CDUP with "200 CDUP command successful", which the client
        // does not count as a directory change; the directory did change.
        if (Ftp1.ErrorMessage().find("200 CDUP") != std::string::npos) {
            startRequest([this] { Ftp1.PwdAsync(); });
            return;
        }
        ShowListingAfter = false;
        m_listing = false;
        FailOperation(Ftp1.ErrorMessage());
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
    // Raw STOR and RETR come with the transfers' progress panel.
}

} // namespace tarsel
