// The connect sequence: the profile and the preferences into the client, the login
// driven by the default completion handler, the client's events and the steps that
// turn the current directory into rows.
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#include "app/settings/treg.h"
#include "listing/parser.h"
#include "session/child.h"
#include "session/userpass.h"
#include "uikit/displaytext.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {

// Limits for values read from the settings store: a hand-edited store must not time
// out at once, flood the server with NOOPs or ask for giant buffers.
constexpr int MaxSeconds = 3600;
constexpr int MinNoop = 5;
constexpr int MinBufSize = 512;
constexpr int MaxBufSize = 1024 * 1024;

int clampTimeOut(int v) { return v <= 0 ? settings::DefaultTimeOut : std::min(v, MaxSeconds); }
int clampNoop(int v) { return std::clamp(v, MinNoop, MaxSeconds); }
int clampBufSize(int v) { return v == 0 ? settings::DefaultBufSize : std::clamp(v, MinBufSize, MaxBufSize); }

std::string upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

// The verb whose argument is a secret ("PASS" or "ACCT"), or null. Any command line
// that holds the letters PASS, in any case, counts as a password command.
const char *secretVerb(const std::string &commandLine)
{
    const std::string u = upper(commandLine);
    if (u.find("PASS") != std::string::npos)
        return "PASS";
    std::size_t b = u.find_first_not_of(' ');
    if (b != std::string::npos && u.compare(b, 4, "ACCT") == 0)
        return "ACCT";
    return nullptr;
}

} // namespace

// --- the client's events -----------------------------------------------------------------

void TFormMdi::bindClient()
{
    Ftp1.OnDisplay = [this](TCustomFtpCli *s, std::string &m) { guarded([&] { Ftp1Display(s, m); }); };
    Ftp1.OnCommand = [this](TCustomFtpCli *s, std::string &c) { guarded([&] { Ftp1Command(s, c); }); };
    Ftp1.OnResponse = [this](TCustomFtpCli *s) { guarded([&] { Ftp1Response(s); }); };
    Ftp1.OnStateChange = [this](TCustomFtpCli *s) { guarded([&] { Ftp1StateChange(s); }); };
    Ftp1.OnSessionConnected = [this](TCustomFtpCli *s, int e) { guarded([&] { Ftp1SessionConnected(s, e); }); };
    Ftp1.OnSessionClosed = [this](TCustomFtpCli *s, int e) { guarded([&] { Ftp1SessionClosed(s, e); }); };
    Ftp1.OnProgress = [this](TCustomFtpCli *s, std::int64_t n, bool &abort) {
        guarded([&] { Ftp1Progress(s, n, abort); });
    };
    Ftp1.OnReadyToTransmit = [this](TCustomFtpCli *s, bool &cancel) { guarded([&] { Ftp1ReadyToTransmit(s, cancel); }); };
    Ftp1.OnBgException = [this](TCustomFtpCli *s, const std::exception &e, bool &canClose) {
        guarded([&] { Ftp1BgException(s, e, canClose); });
    };
    Ftp1.OnRequestDone = [this](TCustomFtpCli *s, TFtpRequest rq, int error) {
        guarded([&] {
            const TRequestHandler handler = m_requestHandler;
            if (!handler || m_closing)
                return;
            if (rq == TFtpRequest::ftpDirAsync && error == 0 && m_listing) {
                startListingRead(s); // the handler runs once the rows are in
                return;
            }
            std::invoke(handler, this, s, rq, error);
        });
    };
}

void TFormMdi::unbindClient()
{
    if (!m_ftp)
        return;
    Ftp1.OnDisplay = nullptr;
    Ftp1.OnCommand = nullptr;
    Ftp1.OnResponse = nullptr;
    Ftp1.OnStateChange = nullptr;
    Ftp1.OnSessionConnected = nullptr;
    Ftp1.OnSessionClosed = nullptr;
    Ftp1.OnProgress = nullptr;
    Ftp1.OnReadyToTransmit = nullptr;
    Ftp1.OnBgException = nullptr;
    Ftp1.OnRequestDone = nullptr;
}

void TFormMdi::InstallRequestHandler(TRequestHandler handler) { m_requestHandler = handler; }
void TFormMdi::InstallCancelHandler(TCancelHandler handler) { m_cancelHandler = handler; }

void TFormMdi::Ftp1Command(TCustomFtpCli *, std::string &cmd)
{
    if (const char *verb = secretVerb(cmd))
        PostStatus(1, QStringLiteral("Command: %1 (Hidden)").arg(QLatin1String(verb)));
    else
        PostStatus(1, QStringLiteral("Command: ") + ShowBytes(cmd));
}

void TFormMdi::Ftp1Display(TCustomFtpCli *, std::string &msg)
{
    // Only a closed control connection counts as lost: a server's own 500 reply to some
    // command leaves the session and its idle watch alone.
    if (Ftp1.StatusCode() == 500 && !Ftp1.Connected()) {
        ConnectionLost = true;
        TimeOut.SetEnabled(false);
    }
    if (!msg.empty() && msg[0] == '>') {
        if (const char *verb = secretVerb(msg.substr(1)))
            LogLine(QStringLiteral("--> %1 (Password hidden)").arg(QLatin1String(verb)));
        else
            LogLine(QStringLiteral("--> ") + ShowBytes(std::string_view(msg).substr(1)));
    }
    TimeOut.Tag = 0;
}

void TFormMdi::Ftp1Response(TCustomFtpCli *)
{
    TimeOut.Tag = 0;
    LogLine(QStringLiteral("<-- ") + ShowBytes(Ftp1.LastResponse()));
}

void TFormMdi::Ftp1StateChange(TCustomFtpCli *)
{
    switch (Ftp1.State()) {
    case TFtpState::ftpNotConnected:
        LogLine(QStringLiteral("Disconnected!"));
        PostStatus(1, QString());
        PostStatus(2, QString());
        break;
    case TFtpState::ftpReady:
        PostStatus(1, QString());
        break;
    case TFtpState::ftpDnsLookup:
        LogLine(QStringLiteral("Looking for DNS..."));
        break;
    case TFtpState::ftpConnected:
        LogLine(QStringLiteral("Connected to: ") + ShowBytes(Ftp1.HostName()) + QStringLiteral(" - IP (") +
                ShowBytes(Ftp1.DnsResult()) + QStringLiteral(") Port: ") + ShowBytes(Ftp1.Port()));
        break;
    case TFtpState::ftpAbort:
        LogLine(QStringLiteral("Command/Connection Aborted!"));
        ResumeOffset = 0;
        PostStatus(1, QString());
        PostStatus(2, QString());
        break;
    case TFtpState::ftpInternalAbort:
        LogLine(QStringLiteral("Client command aborted!"));
        ResumeOffset = 0;
        PostStatus(1, QString());
        PostStatus(2, QString());
        break;
    case TFtpState::ftpWaitingBanner:
        LogLine(QStringLiteral("Received response from: IP (") + ShowBytes(Ftp1.DnsResult()) + QStringLiteral(")"));
        break;
    case TFtpState::ftpInternalReady:
    case TFtpState::ftpWaitingResponse:
        break;
    }
}

void TFormMdi::Ftp1SessionConnected(TCustomFtpCli *, int)
{
    setWindowTitle(ShowBytes(Ftp1.HostName()));
    m_services.UpdateConnectionTab(this);
    CloseB->setToolTip(QStringLiteral("Close ") + ShowBytes(Ftp1.HostName()));
    ReconB->setEnabled(false);
    TimeOut.Tag = 0;
    TimeOut.SetEnabled(true);
    ConnectionLost = false;
    m_services.UpdateCommandStates();
}

void TFormMdi::Ftp1SessionClosed(TCustomFtpCli *, int)
{
    TimeOut.Tag = 0;
    TimeOut.SetEnabled(false);
    ReconB->setEnabled(true);
    ClearRemoteLists();
    m_services.UpdateCommandStates();
}

void TFormMdi::Ftp1Progress(TCustomFtpCli *, std::int64_t count, bool &abort)
{
    transferProgress(count, abort);
    if (m_listing && count > m_limits.MaxBytes) {
        m_listingTooBig = true;
        abort = true;
    }
}

void TFormMdi::Ftp1ReadyToTransmit(TCustomFtpCli *, bool &cancel) { transferProgress(-1, cancel); }

// --- profile and preferences --------------------------------------------------------------

void TFormMdi::ApplyProfile(const std::string &profileName)
{
    const ProfileFile file(ProfileFilePath); // afresh: the file as it is on disk now
    const Profile p = ReadProfile(file, profileName);
    Ftp1.SetConnectionType(p.Proxy ? TFtpConnectionType::ftpProxy : TFtpConnectionType::ftpDirect);
    Ftp1.SetHostName(p.HostName);
    Ftp1.SetUserName(p.UserName);
    Ftp1.SetPassWord(p.PassWord);
    Ftp1.SetProxyServer(p.ProxyName);
    Ftp1.SetPort(std::to_string(p.Port));

    const QString s = QString::fromLatin1(settings::Section);
    switch (TReg::ReadInteger(s, QStringLiteral("ShareAccess"))) {
    case 1: Ftp1.SetShareMode(TFtpShareMode::ftpShareDenyRead); break;
    case 2: Ftp1.SetShareMode(TFtpShareMode::ftpShareDenyWrite); break;
    case 3: Ftp1.SetShareMode(TFtpShareMode::ftpShareExclusive); break;
    default: Ftp1.SetShareMode(TFtpShareMode::ftpShareDenyNone); break;
    }
    Ftp1.SetPassive(p.Passive);
    ServerType = p.ServerType;
    StartDir = p.StartDir;

    TimeOutDisabled = TReg::ReadInteger(s, QStringLiteral("TimeOutDisable")) != 0;
    KeepAliveEnabled = TReg::ReadBool(s, QStringLiteral("KeepAlive"));
    NoopInterval = clampNoop(TReg::ReadInteger(s, QStringLiteral("Noop")));
    RequestTimeout = clampTimeOut(TReg::ReadInteger(s, QStringLiteral("TimeOut")));
    Ftp1.SetTimeout(TimeOutDisabled ? NoopInterval + 2 : RequestTimeout);
    const int buf = clampBufSize(TReg::ReadInteger(s, QStringLiteral("BufSize")));
    Ftp1.ControlSocket()->SetBufSize(buf);
    Ftp1.DataSocket()->SetBufSize(buf);
}

QString TFormMdi::MakeTempListFile()
{
    QString folder = DataFolder();
    if (folder.isEmpty())
        folder = QStringLiteral("./");
    // Created exclusively (never through an existing file or link), owner-only.
    QByteArray name = QFile::encodeName(folder + QStringLiteral("lstXXXXXX.tmp"));
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0) {
        const int err = errno;
        LogLine(QStringLiteral("Error: Cannot create the temporary listing file in ") + folder + QStringLiteral(": ") +
                QString::fromLocal8Bit(std::strerror(err)));
        return {};
    }
    ::close(fd);
    return QFile::decodeName(name);
}

void TFormMdi::ShowWinsockInfo()
{
    const TWSAData d = WinsockInfo();
    LogLine(QStringLiteral("Initializing: ") + ShowBytes(d.szDescription));
    LogLine(QStringLiteral("Status: ") + ShowBytes(d.szSystemStatus));
}

// --- the connect sequence -------------------------------------------------------------------

void TFormMdi::ConnectProfile()
{
    dropListingRead();
    ShowBusy();
    ResetProgress();
    LogLine(QStringLiteral("Attempting connection to account: ") + ShowBytes(ProfileName));
    ApplyProfile(ProfileName);
    InstallRequestHandler(&TFormMdi::Ftp1RequestDone);
    InstallCancelHandler(&TFormMdi::CancelBClick);
    if (TempListFile.isEmpty())
        TempListFile = MakeTempListFile();
    Ftp1.SetLocalFileName(LocalNameBytes(TempListFile));
    ReconB->setEnabled(false);
    // The idle timer also watches the connect: a lookup, a connect or a greeting that
    // never comes ends after the time-out.
    TimeOut.Tag = 0;
    TimeOut.SetEnabled(true);
    m_connecting = true;
    try {
        Ftp1.OpenAsync();
    } catch (const std::exception &e) {
        ConnectFailed(e.what());
    }
}

void TFormMdi::Ftp1RequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (rqType == TFtpRequest::ftpOpenAsync)
        m_connecting = false;
    if (error != 0) {
        // A server that does not know SYST still lets us in; the profile names the parser.
        const int code = Ftp1.StatusCode();
        if (rqType == TFtpRequest::ftpSystAsync && (code == 500 || code == 502 || code == 504) && Ftp1.Connected()) {
            LogLine(QStringLiteral("Error: ") + ShowBytes(Ftp1.ErrorMessage()));
            Ftp1RequestDone(nullptr, TFtpRequest::ftpSystAsync, 0);
            return;
        }
        if (code == 530) {
            const QPointer<TFormMdi> self(this);
            const bool again = AskCredentials();
            if (!stillHere(self))
                return;
            if (again && Ftp1.Connected()) {
                Ftp1.UserAsync();
                return;
            }
        }
        const std::string message = Ftp1.ErrorMessage();
        const int status = Ftp1.StatusCode();
        Ftp1.AbortAsync();
        Ftp1.SetStatusCode(status); // the abort must not hide why the connect failed
        ResetProgress();
        ConnectFailed(message);
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpOpenAsync:
        Ftp1.UserAsync();
        break;
    case TFtpRequest::ftpUserAsync:
        Ftp1.PassAsync();
        break;
    case TFtpRequest::ftpPassAsync:
        Ftp1.SystAsync(); // only logged: the profile chooses the parser
        break;
    case TFtpRequest::ftpSystAsync:
        if (!StartDir.empty()) {
            Ftp1.SetHostDirName(StartDir);
            Ftp1.CwdAsync();
        } else {
            Ftp1.PwdAsync();
        }
        break;
    case TFtpRequest::ftpCwdAsync:
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

bool TFormMdi::AskCredentials()
{
    const QPointer<TFormMdi> self(this);
    QPointer<TFormUserPass> dlg = new TFormUserPass(Prompts(), this);
    dlg->EditUser->setText(ToDisplay(Ftp1.UserName()));
    const int result = Prompts().ExecDialog(*dlg);
    bool ok = false;
    QString user;
    QString pass;
    if (dlg) {
        ok = result == QDialog::Accepted && !dlg->Cancelled;
        user = dlg->EnteredUser;
        pass = dlg->EnteredPassword;
        delete dlg.data();
    }
    if (!stillHere(self) || !ok)
        return false;
    // For this connection only; the profile keeps its own.
    Ftp1.SetUserName(FromDisplay(user));
    Ftp1.SetPassWord(FromDisplay(pass));
    return true;
}

void TFormMdi::ConnectFailed(const std::string &message)
{
    m_connecting = false;
    TimeOut.SetEnabled(false);
    TimeOut.Tag = 0;
    ShowIdle();
    // A refused login whose prompt was cancelled says nothing more: the reply is logged.
    if (message.find("530") == std::string::npos) {
        if (Ftp1.StatusCode() == 426) {
            LogLine(QStringLiteral("Error: Connect Time out!"));
            const QPointer<TFormMdi> self(this);
            Prompts().InfoBox(QStringLiteral("The socket timed out waiting for a response from the server."),
                              QStringLiteral("Connect Time out"));
            if (!stillHere(self))
                return;
        } else {
            LogLine(QStringLiteral("Error: ") + ShowBytes(message));
            ResumeOffset = 0;
        }
    }
    ClearRemoteLists();
    ReconB->setEnabled(true);
    m_services.UpdateCommandStates();
}

void TFormMdi::ReconBClick() { ConnectProfile(); }

// --- the listing steps ----------------------------------------------------------------------

void TFormMdi::ApplyCurrentDir()
{
    RemoteDir = Ftp1.ReplyDirName();
    const QString shown = ShowBytes(RemoteDir);
    PostStatus(2, QStringLiteral("Directory: ") + shown);
    Ftp1.SetHostDirName(RemoteDir);
    Ftp1.SetHostFileName(RemoteDir);
    Ftp1.SetLocalFileName(LocalNameBytes(TempListFile));
    // The history holds each directory once, whatever its letter case.
    if (DirCombo->findText(shown, Qt::MatchFixedString) < 0)
        DirCombo->addItem(shown, QByteArray::fromStdString(RemoteDir));
    DirCombo->setEditText(shown);
    ClearRemoteLists();
}

void TFormMdi::startListing()
{
    dropListingRead();
    if (TempListFile.isEmpty())
        TempListFile = MakeTempListFile();
    if (TempListFile.isEmpty()) {
        FailOperation("No temporary listing file; the directory cannot be listed");
        return;
    }
    Ftp1.SetLocalFileName(LocalNameBytes(TempListFile));
    // A bare LIST: the window always lists the directory it has just entered, and
    // servers that read LIST's argument as options and patterns (pure-ftpd) would split
    // a path with blanks or take a leading "-" for options and list something else.
    Ftp1.SetHostFileName("");
    m_listing = true;
    m_listingTooBig = false;
    Ftp1.DirAsync();
}

void TFormMdi::ClearRemoteLists()
{
    RemoteFiles->setUpdatesEnabled(false);
    RemoteDirs->setUpdatesEnabled(false);
    RemoteFiles->Model()->Clear();
    RemoteDirs->Model()->Clear();
    RemoteFiles->setUpdatesEnabled(true);
    RemoteDirs->setUpdatesEnabled(true);
}

namespace {
// The longest stretch one slice of a listing read keeps the event loop waiting.
constexpr std::int64_t ListingSliceNs = 8'000'000;
} // namespace

void TFormMdi::beginListingRead()
{
    TListingRead &r = *m_read;
    const bool tooBig = m_listingTooBig;
    m_listing = false;
    m_listingTooBig = false;
    TRemoteListModel *files = RemoteFiles->Model();
    TRemoteListModel *dirs = RemoteDirs->Model();
    RemoteFiles->setUpdatesEnabled(false);
    RemoteDirs->setUpdatesEnabled(false);
    files->Clear();
    dirs->Clear();
    files->SetSortState(0, TSortMark::ptsdDesc);
    dirs->SetSortState(dirs->SortColumn(), TSortMark::ptsdDesc);
    RemoteFiles->ShowSortMark();
    RemoteDirs->ShowSortMark();
    ListingLines.clear();

    if (tooBig)
        return failListingRead(listingLimitText());
    r.File.setFileName(TempListFile);
    if (!r.File.open(QIODevice::ReadOnly))
        return failListingRead("Cannot read the listing file: " + r.File.errorString().toStdString());
    if (r.File.size() > m_limits.MaxBytes)
        return failListingRead(listingLimitText());
    r.Text.reserve(r.File.size());
}

void TFormMdi::failListingRead(std::string why)
{
    TListingRead &r = *m_read;
    r.File.close();
    r.Done = true;
    r.Ok = false;
    r.Why = std::move(why);
}

// The text comes in a part at a time too: a listing of some MiB read at once, with its
// fresh pages, was the longest single stall of a refresh.
bool TFormMdi::readListingFile(std::int64_t budgetNs)
{
    TListingRead &r = *m_read;
    if (!r.File.isOpen())
        return true;
    QElapsedTimer clock;
    clock.start();
    constexpr qint64 Chunk = 256 * 1024;
    for (;;) {
        const qsizetype at = r.Text.size();
        r.Text.resize(at + Chunk);
        const qint64 n = r.File.read(r.Text.data() + at, Chunk);
        r.Text.resize(at + std::max<qint64>(n, 0));
        if (n < 0) {
            failListingRead("Cannot read the listing file: " + r.File.errorString().toStdString());
            return true;
        }
        // The file may have grown since its size was looked at.
        if (r.Text.size() > m_limits.MaxBytes) {
            failListingRead(listingLimitText());
            return true;
        }
        r.LineEnds += std::count(r.Text.cbegin() + at, r.Text.cend(), '\n');
        if (n == 0)
            break;
        if (budgetNs > 0 && clock.nsecsElapsed() > budgetNs)
            return false;
    }
    r.File.close();
    // Nearly every row is a file: room for them all at once rather than growing.
    RemoteFiles->Model()->BeginFill(std::size_t(std::min<std::int64_t>(r.LineEnds, m_limits.MaxLines)) + 1);
    RemoteDirs->Model()->BeginFill();
    r.Filling = true;
    return true;
}

std::string TFormMdi::listingLimitText() const
{
    return "Listing too large (more than " + std::to_string(m_limits.MaxLines) + " lines or " +
           std::to_string(m_limits.MaxBytes / (1024 * 1024)) + " MiB); not shown";
}

bool TFormMdi::readListingLines(std::int64_t budgetNs)
{
    TListingRead &r = *m_read;
    if (r.Done)
        return true;
    TRemoteListModel *files = RemoteFiles->Model();
    TRemoteListModel *dirs = RemoteDirs->Model();
    const std::string_view text(r.Text.constData(), std::size_t(r.Text.size()));
    const bool converted = ServerType == ServerTypeDos || ServerType == ServerTypeMvs ||
                           ServerType == ServerTypeAs400 || ServerType == ServerTypeOther;
    if (converted) {
        // These readings look across lines (a name alone on its line, the dialect of
        // the first entry), so they take the whole reply at once.
        ListingLines = SplitListingLines(text);
        if (std::int64_t(ListingLines.size()) > m_limits.MaxLines) {
            ListingLines.clear();
            r.Done = true;
            r.Why = listingLimitText();
            return true;
        }
        m_parser->Parse(ServerType, ListingLines, *dirs, *files);
        ListingLines.clear();
        r.Done = r.Ok = true;
        return true;
    }
    QElapsedTimer clock;
    clock.start();
    if (r.Pos == 0 && r.Lines == 0)
        TDirParser::AppendParentRow(*dirs);
    const bool withGroup = ServerType != ServerTypeAppleUnix;
    std::string_view line;
    int sinceCheck = 0;
    while (NextListingLine(text, r.Pos, line)) {
        if (++r.Lines > m_limits.MaxLines) {
            r.Done = true;
            r.Why = listingLimitText();
            return true;
        }
        TDirParser::ReadUnixLine(line, withGroup, *dirs, *files);
        if (budgetNs > 0 && ++sinceCheck == 256) {
            sinceCheck = 0;
            if (clock.nsecsElapsed() > budgetNs)
                return false;
        }
    }
    r.Done = r.Ok = true;
    return true;
}

void TFormMdi::startListingRead(TCustomFtpCli *sender)
{
    dropListingRead();
    m_read = std::make_unique<TListingRead>();
    m_read->Sender = sender;
    m_read->Pending = true;
    beginListingRead();
    listingReadStep(m_readGeneration);
}

void TFormMdi::listingReadStep(unsigned generation)
{
    if (m_closing || generation != m_readGeneration || !m_read)
        return;
    const auto again = [this, generation] {
        QMetaObject::invokeMethod(
            this, [this, generation] { guarded([this, generation] { listingReadStep(generation); }); },
            Qt::QueuedConnection);
    };
    if (m_read->File.isOpen()) {
        (void)readListingFile(ListingSliceNs);
        return again();
    }
    if (!m_read->Sorting) {
        if (!readListingLines(ListingSliceNs))
            return again();
        // The file list sorts itself, in turns of its own.
        if (m_read->Ok) {
            m_read->Sorting = true;
            return again();
        }
    } else if (!RemoteFiles->Model()->SortFillStep(ListingSliceNs)) {
        return again();
    }
    m_read->Pending = false;
    const TRequestHandler handler = m_requestHandler;
    if (handler)
        std::invoke(handler, this, m_read->Sender, TFtpRequest::ftpDirAsync, 0);
    // A handler that did not take the rows (a cancel it was waiting for) leaves the
    // lists empty.
    if (generation == m_readGeneration)
        dropListingRead();
}

void TFormMdi::dropListingRead()
{
    if (!m_read)
        return;
    if (m_read->Filling) {
        RemoteFiles->Model()->CancelFill();
        RemoteDirs->Model()->CancelFill();
    }
    RemoteFiles->setUpdatesEnabled(true);
    RemoteDirs->setUpdatesEnabled(true);
    m_read.reset();
    ++m_readGeneration;
}

bool TFormMdi::cancelListingRead()
{
    if (!readingListing())
        return false;
    dropListingRead();
    m_listing = false;
    ShowListingAfter = false;
    UploadAfterList = false;
    TransferActive = false;
    CancelRequested = false;
    FailOperation("Listing cancelled");
    return true;
}

bool TFormMdi::ParseListing(std::string *error)
{
    // A listing read in slices has its outcome ready; any other is read here at once.
    if (!m_read || !m_read->Done) {
        dropListingRead();
        m_read = std::make_unique<TListingRead>();
        beginListingRead();
        readListingFile(0);
        readListingLines(0);
    }
    const bool ok = m_read->Ok;
    const std::string why = m_read->Why;
    if (ok) {
        RemoteDirs->Model()->EndFill();
        RemoteFiles->Model()->EndFill();
        m_read->Filling = false;
    }
    dropListingRead(); // a failed read leaves both lists empty
    if (!ok && error)
        *error = why;
    return ok;
}

} // namespace tarsel
