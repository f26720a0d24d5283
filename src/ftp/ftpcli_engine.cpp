// The request engine: construction, settings, sending commands, reading and
// classifying replies, the end of a request, opening and closing the control
// connection, abort and the high-level step dispatcher.
#include "ftp/ftpcli.h"
#include "ftp/ftpcli_p.h"

#include <chrono>
#include <cstring>

#include <QFile>
#include <QIODevice>
#include <QObject>
#include <QTimer>

#include "common/strutil.h"

namespace tarsel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Position after the leading blanks, the reply code and the blanks behind it.
std::size_t SkipReplyCode(const std::string &reply)
{
    auto ws = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t i = 0;
    while (i < reply.size() && ws(reply[i]))
        ++i;
    while (i < reply.size() && IsDigit(reply[i]))
        ++i;
    while (i < reply.size() && ws(reply[i]))
        ++i;
    return i;
}

// Number of leading digits of a reply line.
std::size_t DigitRun(const std::string &line)
{
    std::size_t i = 0;
    while (i < line.size() && IsDigit(line[i]))
        ++i;
    return i;
}

int CodeOf(const std::string &line)
{
    std::size_t n = DigitRun(line);
    int code = 0;
    for (std::size_t i = 0; i < n && i < 9; ++i)
        code = code * 10 + (line[i] - '0');
    return code;
}

// Splits "host:port" (the port all digits); a plain host keeps the default port.
void SplitHostPort(const std::string &text, std::string &host, std::string &port)
{
    std::size_t colon = text.rfind(':');
    if (colon != std::string::npos && colon + 1 < text.size()) {
        bool digits = true;
        for (std::size_t i = colon + 1; i < text.size(); ++i)
            digits = digits && IsDigit(text[i]);
        if (digits) {
            host = str::Trim(text.substr(0, colon));
            port = text.substr(colon + 1);
            return;
        }
    }
    host = str::Trim(text);
}

} // namespace

std::int64_t FtpNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TCustomFtpCli::TCustomFtpCli()
{
    FtpCliAllocateHWnd();
    m_controlSocket = std::make_unique<TWSocket>();
    auto wire = [this](void (TCustomFtpCli::*fn)(int)) {
        return [this, fn](TCustomWSocket *, int error) { Guarded([&] { (this->*fn)(error); }); };
    };
    m_controlSocket->OnSessionConnected = wire(&TCustomFtpCli::ControlSocketSessionConnected);
    m_controlSocket->OnDataAvailable = wire(&TCustomFtpCli::ControlSocketDataAvailable);
    m_controlSocket->OnSessionClosed = wire(&TCustomFtpCli::ControlSocketSessionClosed);
    m_controlSocket->OnDnsLookupDone = wire(&TCustomFtpCli::ControlSocketDnsLookupDone);
    m_dataSocket = std::make_unique<TWSocket>();

    m_closeTimer = std::make_unique<QTimer>();
    m_closeTimer->setSingleShot(true);
    m_closeTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% early
    QObject::connect(m_closeTimer.get(), &QTimer::timeout, m_endpoint.get(), [this] {
        Guarded([this] {
            if (m_dataSocket->State() != TSocketState::wsClosed)
                m_dataSocket->Close();
        });
    });
    m_owedTimer = std::make_unique<QTimer>();
    m_owedTimer->setSingleShot(true);
    QObject::connect(m_owedTimer.get(), &QTimer::timeout, m_endpoint.get(),
                     [this] { Guarded([this] { OwedReplyTimedOut(); }); });
}

TCustomFtpCli::~TCustomFtpCli()
{
    m_closeTimer->stop();
    m_owedTimer->stop();
    // The sockets close as they go; nothing of that may call back into this object.
    for (TWSocket *s : {m_controlSocket.get(), m_dataSocket.get()}) {
        s->OnSessionConnected = nullptr;
        s->OnDataAvailable = nullptr;
        s->OnSessionClosed = nullptr;
        s->OnDnsLookupDone = nullptr;
        s->OnSessionAvailable = nullptr;
        s->OnDataSent = nullptr;
    }
    m_dataSocket.reset();
    m_controlSocket.reset();
    FreeLocalStream();
    FtpCliDeallocateHWnd();
}

void TCustomFtpCli::FtpCliAllocateHWnd()
{
    if (!m_endpoint)
        m_endpoint = std::make_unique<QObject>();
}

void TCustomFtpCli::FtpCliDeallocateHWnd()
{
    // Deleting the endpoint drops the notices still queued for it.
    m_endpoint.reset();
}

// ---- settings -------------------------------------------------------------------

void TCustomFtpCli::SetLocalFileName(const std::string &v)
{
    m_localFileName = v;
    if (!v.empty())
        m_callerStream = nullptr;
}

void TCustomFtpCli::SetLocalStream(QIODevice *stream)
{
    m_callerStream = stream;
    if (stream)
        m_localFileName.clear();
}

void TCustomFtpCli::SetConnectionType(TFtpConnectionType v)
{
    if (m_sessionOpen)
        HandleError("FTP component connected");
    switch (v) {
    case TFtpConnectionType::ftpProxy:
        m_connectionType = v;
        m_passive = true;
        for (TWSocket *s : {m_controlSocket.get(), m_dataSocket.get()})
            s->SetSocksAuthentication(TSocksAuthentication::socksNoAuthentication);
        break;
    case TFtpConnectionType::ftpSocks4:
    case TFtpConnectionType::ftpSocks4A:
    case TFtpConnectionType::ftpSocks5: {
        m_connectionType = v;
        m_passive = true;
        const char *level = v == TFtpConnectionType::ftpSocks4    ? "4"
                            : v == TFtpConnectionType::ftpSocks4A ? "4A"
                                                                  : "5";
        for (TWSocket *s : {m_controlSocket.get(), m_dataSocket.get()}) {
            s->SetSocksLevel(level);
            s->SetSocksAuthentication(TSocksAuthentication::socksAuthenticateUsercode);
        }
        break;
    }
    default:
        m_connectionType = TFtpConnectionType::ftpDirect;
        for (TWSocket *s : {m_controlSocket.get(), m_dataSocket.get()})
            s->SetSocksAuthentication(TSocksAuthentication::socksNoAuthentication);
        break;
    }
}

void TCustomFtpCli::SetPassive(bool v)
{
    m_passive = m_connectionType == TFtpConnectionType::ftpDirect ? v : true;
}

void TCustomFtpCli::SetDisplayFileMode(TFtpDisplayFileMode v)
{
    m_displayFileMode = static_cast<int>(v) > static_cast<int>(TFtpDisplayFileMode::ftpBinary)
                            ? TFtpDisplayFileMode::ftpLineByLine
                            : v;
}

std::string TCustomFtpCli::SocksPassword() const { return m_controlSocket->SocksPassword(); }
std::string TCustomFtpCli::SocksPort() const { return m_controlSocket->SocksPort(); }
std::string TCustomFtpCli::SocksServer() const { return m_controlSocket->SocksServer(); }
std::string TCustomFtpCli::SocksUserCode() const { return m_controlSocket->SocksUsercode(); }
void TCustomFtpCli::SetSocksPassword(const std::string &v)
{
    m_controlSocket->SetSocksPassword(v);
    m_dataSocket->SetSocksPassword(v);
}
void TCustomFtpCli::SetSocksPort(const std::string &v)
{
    m_controlSocket->SetSocksPort(v);
    m_dataSocket->SetSocksPort(v);
}
void TCustomFtpCli::SetSocksServer(const std::string &v)
{
    m_controlSocket->SetSocksServer(v);
    m_dataSocket->SetSocksServer(v);
}
void TCustomFtpCli::SetSocksUserCode(const std::string &v)
{
    m_controlSocket->SetSocksUsercode(v);
    m_dataSocket->SetSocksUsercode(v);
}

bool TCustomFtpCli::Connected() const
{
    return m_controlSocket->State() != TSocketState::wsClosed;
}

// ---- events ---------------------------------------------------------------------

void TCustomFtpCli::SetState(TFtpState s)
{
    if (m_state == s)
        return;
    m_state = s;
    OnStateChange.Trigger(this);
}

void TCustomFtpCli::TriggerDisplay(const std::string &msg)
{
    std::string copy = msg;
    OnDisplay.Trigger(this, copy);
}

void TCustomFtpCli::TriggerDisplayFile(const std::string &msg)
{
    std::string copy = msg;
    OnDisplayFile.Trigger(this, copy);
}

void TCustomFtpCli::TriggerReadyToTransmit(bool &cancel)
{
    OnReadyToTransmit.Trigger(this, cancel);
}

void TCustomFtpCli::TriggerError(const std::string &msg)
{
    TriggerDisplay("! " + msg);
}

void TCustomFtpCli::HandleError(const std::string &msg)
{
    throw FtpException(msg);
}

void TCustomFtpCli::HandleBackGroundException(const std::exception &e)
{
    bool canClose = true;
    try {
        OnBgException.Trigger(this, e, canClose);
    } catch (...) {
        // An exception from the handler itself goes no further.
    }
}

void TCustomFtpCli::SafeCall(const std::function<void()> &fn)
{
    CatchAll(fn, [this](const std::exception &e) { HandleBackGroundException(e); });
}

void TCustomFtpCli::Guarded(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const std::exception &e) {
        FailRunning(e.what());
    } catch (...) {
        FailRunning("Unknown exception");
    }
}

// Whatever went wrong inside the client's own processing, the running request ends.
void TCustomFtpCli::FailRunning(const std::string &msg)
{
    try {
        TriggerDisplay("! " + msg);
        if (m_doneReported)
            return;
        m_next = nullptr;
        m_pendingSteps.Clear();
        m_sequenceStep = false;
        m_requestResult = 500;
        if (m_errorMessage.empty())
            m_errorMessage = "500 " + msg;
        TriggerRequestDone(500);
    } catch (...) {
        // Nothing more can be done from here.
    }
}

// ---- sending --------------------------------------------------------------------

void TCustomFtpCli::CheckReady()
{
    if (m_state != TFtpState::ftpReady && m_state != TFtpState::ftpInternalReady)
        throw FtpException("FTP component not ready", FtpException::TCode::NotReady);
}

void TCustomFtpCli::CheckSafe(const std::string &text) const
{
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw FtpException("Command refused: it contains a carriage return, line feed or NUL");
}

void TCustomFtpCli::SendCommand(const std::string &cmd)
{
    std::string c = cmd;
    OnCommand.Trigger(this, c);
    if (c.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        // A handler made the line unsafe: send nothing and end the request.
        FailRequest(500, "500 Command refused: it contains a carriage return, line feed or NUL");
        return;
    }
    TriggerDisplay("> " + c);
    if (m_controlSocket->State() == TSocketState::wsConnected)
        m_controlSocket->SendStr(c + "\r\n");
}

void TCustomFtpCli::FailRequest(int code, const std::string &response, bool setLastResponse)
{
    if (setLastResponse) {
        m_lastResponse = response;
        m_statusCode = code;
    }
    m_requestResult = code;
    if (m_errorMessage.empty())
        m_errorMessage = response;
    m_next = nullptr;
    TriggerRequestDone(code);
}

void TCustomFtpCli::ExecAsync(TFtpRequest rq, const std::string &cmd, std::vector<int> codes,
                              TFtpNextProc doneStep)
{
    bool unchecked = cmd == "ABOR" || cmd == "STAT" || cmd == "QUIT";
    if (!unchecked) {
        CheckReady();
        if (!m_sessionOpen)
            HandleError("FTP component not connected");
    }
    CheckSafe(cmd);
    if (!m_inSequence)
        m_requestType = rq;
    m_acceptedCodes = std::move(codes);
    m_doneReported = false;
    m_next = &TCustomFtpCli::NextExecAsync;
    m_doneStep = doneStep;
    m_errorMessage.clear();
    if (unchecked && m_controlSocket->State() != TSocketState::wsConnected) {
        // Nothing would ever answer: end at once instead of waiting forever.
        TriggerDisplay("> " + cmd);
        FailRequest(500, "500 Not connected: " + cmd + " was not sent");
        return;
    }
    SetState(TFtpState::ftpWaitingResponse);
    SendCommand(cmd);
}

void TCustomFtpCli::SetErrorMessage()
{
    if (m_errorMessage.empty())
        m_errorMessage = m_lastResponse;
}

void TCustomFtpCli::NextExecAsync()
{
    TriggerDisplay("< " + m_lastResponse);
    m_statusCode = CodeOf(m_lastResponse);
    bool ok;
    if (!m_acceptedCodes.empty()) {
        ok = false;
        for (int c : m_acceptedCodes)
            ok = ok || c == m_statusCode;
    } else {
        ok = m_statusCode < 500;
    }
    if (ok) {
        m_requestResult = 0;
    } else {
        m_requestResult = m_statusCode;
        SetErrorMessage();
    }
    if (m_passive && m_statusCode == 227)
        m_pasvReply = m_lastResponse;
    ExtractMoreResults();
    if (m_doneStep)
        (this->*m_doneStep)();
    else
        TriggerRequestDone(m_requestResult);
}

std::string TCustomFtpCli::ExtractDirName(const std::string &reply)
{
    std::size_t i = SkipReplyCode(reply);
    std::string name;
    if (i >= reply.size() || reply[i] != '"')
        return name;
    for (++i; i < reply.size(); ++i) {
        if (reply[i] == '"') {
            if (i + 1 < reply.size() && reply[i + 1] == '"') {
                name += '"';
                ++i;
            } else {
                break;
            }
        } else {
            name += reply[i];
        }
    }
    return name;
}

std::int64_t TCustomFtpCli::ExtractSize(const std::string &reply)
{
    std::size_t i = SkipReplyCode(reply);
    std::size_t start = i;
    while (i < reply.size() && IsDigit(reply[i]))
        ++i;
    if (i == start)
        return -1;
    auto v = str::ToInt64(reply.substr(start, i - start));
    return v ? *v : -1;
}

void TCustomFtpCli::ExtractMoreResults()
{
    if (m_requestResult != 0)
        return;
    switch (m_lastStep) {
    case TFtpFct::ftpFctSize: {
        std::int64_t size = ExtractSize(m_lastResponse);
        if (size >= 0)
            m_replySize = size;
        break;
    }
    case TFtpFct::ftpFctCwd:
    case TFtpFct::ftpFctMkd:
    case TFtpFct::ftpFctPwd:
    case TFtpFct::ftpFctCDup:
        m_replyDirName = ExtractDirName(m_lastResponse);
        break;
    default:
        break;
    }
}

// ---- the end of a request -----------------------------------------------------------

void TCustomFtpCli::TriggerRequestDone(int error)
{
    if (m_doneReported)
        return;
    m_doneReported = true;
    if (error == 0 && m_sequenceStep) {
        // A passive upload stays busy while its data connection is made; a REST still to
        // come must find the client ready, or a resumed passive upload could never start.
        bool uploadWaits = m_passive && !m_pendingSteps.Contains(TFtpFct::ftpFctRest) &&
                           (m_pendingSteps.Contains(TFtpFct::ftpFctPut) ||
                            m_pendingSteps.Contains(TFtpFct::ftpFctAppend));
        if (m_state != TFtpState::ftpAbort && !uploadWaits)
            SetState(TFtpState::ftpInternalReady);
        NextSequence();
        return;
    }
    m_owedTimer->stop();
    m_owedReply = false;
    m_closeTimer->stop();
    SetState(TFtpState::ftpReady);
    if (error != 0)
        DiscardNewDownloadFile();
    FreeLocalStream();
    if (m_dataSocket->State() != TSocketState::wsClosed)
        m_dataSocket->Close();
    if (m_inSequence && m_savedStatusCode >= 0) {
        m_lastResponse = m_savedResponse;
        m_statusCode = m_savedStatusCode;
    }
    m_inSequence = false;
    m_sequenceStep = false;
    m_pendingSteps.Clear();
    PostRequestDone(error);
}

void TCustomFtpCli::PostRequestDone(int error)
{
    QMetaObject::invokeMethod(
        m_endpoint.get(),
        [this, error] { SafeCall([this, error] { OnRequestDone.Trigger(this, m_requestType, error); }); },
        Qt::QueuedConnection);
}

// ---- the control connection ------------------------------------------------------------

void TCustomFtpCli::OpenAsync()
{
    CheckReady();
    if (m_sessionOpen)
        HandleError("FTP component already connected");
    std::string host = m_hostName;
    std::string ignoredPort;
    if (m_connectionType == TFtpConnectionType::ftpProxy)
        SplitHostPort(m_proxyServer, host, ignoredPort);
    // Refused before the state changes, so the client never rests in ftpDnsLookup.
    if (str::Trim(host).empty())
        HandleError("DNS lookup: invalid host name.");
    if (!m_inSequence)
        m_requestType = TFtpRequest::ftpOpenAsync;
    m_doneReported = false;
    m_replyLen = 0;
    m_requestResult = 0;
    m_dnsResult.clear();
    m_multiCode.clear();
    m_expectClose = false;
    SetState(TFtpState::ftpDnsLookup);
    try {
        m_controlSocket->DnsLookup(str::Trim(host));
    } catch (const std::exception &e) {
        if (m_state == TFtpState::ftpDnsLookup) {
            m_doneReported = true;
            SetState(TFtpState::ftpReady);
        }
        throw FtpException(e.what());
    }
}

void TCustomFtpCli::ControlSocketDnsLookupDone(int error)
{
    if (m_doneReported || (m_state != TFtpState::ftpDnsLookup && m_state != TFtpState::ftpAbort))
        return;
    if (error != 0) {
        m_lastResponse = "500 " + WSocketErrorDesc(error) + " (Winsock error #" +
                         std::to_string(error) + ")";
        m_statusCode = 500;
        m_requestResult = 500;
        SetErrorMessage();
        TriggerRequestDone(error);
        return;
    }
    m_dnsResult = m_controlSocket->DnsResult();
    try {
        std::string port = m_port;
        if (m_connectionType == TFtpConnectionType::ftpProxy) {
            std::string host;
            port = m_proxyPort.empty() ? m_port : m_proxyPort;
            SplitHostPort(m_proxyServer, host, port);
        }
        m_controlSocket->SetAddr(m_dnsResult);
        m_controlSocket->SetLocalAddr(m_localAddr);
        m_controlSocket->SetProto("tcp");
        m_controlSocket->SetPort(port);
        SetState(TFtpState::ftpWaitingBanner);
        m_controlSocket->Connect();
    } catch (const std::exception &e) {
        m_lastResponse = "500 " + ClassName(e) + ": " + e.what();
        m_statusCode = 500;
        m_requestResult = 500;
        SetErrorMessage();
        if (m_controlSocket->State() != TSocketState::wsClosed) {
            m_expectClose = true;
            m_controlSocket->Close();
        }
        m_sequenceStep = false;
        TriggerRequestDone(500);
    }
}

void TCustomFtpCli::ControlSocketSessionConnected(int error)
{
    if (error == 0) {
        m_sessionOpen = true;
        return;
    }
    m_lastResponse = "500 " + WSocketErrorDesc(error) + " (Winsock error #" + std::to_string(error) + ")";
    m_statusCode = 500;
    m_requestResult = 500;
    SetErrorMessage();
    m_sequenceStep = false;
    TriggerRequestDone(error);
    if (m_controlSocket->State() != TSocketState::wsClosed)
        m_controlSocket->Close();
    SetState(TFtpState::ftpReady);
}

void TCustomFtpCli::ControlSocketDataAvailable(int error)
{
    int room = 4095 - m_replyLen;
    if (room <= 0) {
        ControlOverflow("Reply line too long");
        return;
    }
    int n = m_controlSocket->Receive(m_replyBuffer.data() + m_replyLen, room);
    if (n == 0) {
        m_controlSocket->Close();
        return;
    }
    if (n < 0)
        return;
    m_replyLen += n;
    bool acceptLF = m_options.Contains(TFtpOption::ftpAcceptLF);
    while (m_replyLen > 0) {
        char *buf = m_replyBuffer.data();
        int end = -1;   // index where the line text ends
        int after = -1; // index of the first byte after the line end
        for (int i = 0; i < m_replyLen; ++i) {
            if (acceptLF ? buf[i] == '\n' : (buf[i] == '\r' && i + 1 < m_replyLen && buf[i + 1] == '\n')) {
                end = i;
                after = acceptLF ? i + 1 : i + 2;
                break;
            }
        }
        if (end < 0) {
            if (m_replyLen >= 4095)
                ControlOverflow("Reply line too long");
            return;
        }
        std::string line(buf, static_cast<std::size_t>(end));
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        std::memmove(buf, buf + after, static_cast<std::size_t>(m_replyLen - after));
        m_replyLen -= after;
        HandleLine(line, error);
        if (m_controlSocket->State() != TSocketState::wsConnected) {
            m_replyLen = 0;
            return;
        }
    }
}

// The server sent more than the client is willing to hold: give up the connection.
void TCustomFtpCli::ControlOverflow(const std::string &why)
{
    m_replyLen = 0;
    m_multiCode.clear();
    TriggerDisplay("! " + why + ", closing the connection");
    m_lastResponse = "500 " + why;
    m_statusCode = 500;
    if (!m_doneReported) {
        m_requestResult = 500;
        SetErrorMessage();
    }
    if (m_controlSocket->State() != TSocketState::wsClosed)
        m_controlSocket->Close();
}

void TCustomFtpCli::HandleLine(const std::string &line, int dataError)
{
    m_lastResponse = line;
    OnResponse.Trigger(this);

    // Inside a multi-line reply only "NNN " with the opening code ends it.
    bool final = false;
    if (!m_multiCode.empty()) {
        if (line.size() > m_multiCode.size() && line.compare(0, m_multiCode.size(), m_multiCode) == 0 &&
            line[m_multiCode.size()] == ' ') {
            m_multiCode.clear();
            final = true;
        } else {
            ++m_multiLines;
            m_multiBytes += static_cast<std::int64_t>(line.size()) + 1;
            if (m_multiLines > FtpMaxReplyLines || m_multiBytes > FtpMaxReplyBytes) {
                TriggerDisplay("< " + line);
                ControlOverflow("Reply too long");
                return;
            }
        }
    } else if (!line.empty() && IsDigit(line[0])) {
        std::size_t n = DigitRun(line);
        if (n < line.size() && line[n] == '-') {
            m_multiCode = line.substr(0, n);
            m_multiLines = 1;
            m_multiBytes = static_cast<std::int64_t>(line.size()) + 1;
        } else {
            final = true;
        }
    }

    switch (m_state) {
    case TFtpState::ftpWaitingBanner: {
        TriggerDisplay("< " + line);
        if (!final)
            return;
        int code = CodeOf(line);
        m_statusCode = code;
        if (code != 220) {
            if (m_errorMessage.empty())
                m_errorMessage = line;
            m_requestResult = code;
            m_controlSocket->Close();
            return;
        }
        SetState(TFtpState::ftpConnected);
        OnSessionConnected.Trigger(this, dataError);
        m_requestResult = 0;
        TriggerRequestDone(0);
        break;
    }
    case TFtpState::ftpWaitingResponse:
        if (!final) {
            TriggerDisplay("< " + line);
            return;
        }
        m_statusCode = CodeOf(line);
        if (!m_next)
            HandleError("Program error: FNext is nil");
        (this->*m_next)();
        break;
    default:
        TriggerDisplay("< " + line);
        break;
    }
}

void TCustomFtpCli::ControlSocketSessionClosed(int error)
{
    if (m_sessionOpen) {
        m_sessionOpen = false;
        if (m_state != TFtpState::ftpAbort)
            SetState(TFtpState::ftpNotConnected);
        OnSessionClosed.Trigger(this, error);
    }
    if (m_state != TFtpState::ftpAbort)
        SetState(TFtpState::ftpInternalReady);
    m_replyLen = 0;
    m_multiCode.clear();
    if (error != 0) {
        m_lastResponse = "500 Control connection closed. " + WSocketErrorDesc(error) +
                         " (Winsock error #" + std::to_string(error) + ")";
        m_statusCode = 500;
        m_requestResult = 500;
        SetErrorMessage();
    } else if (!m_doneReported && m_requestResult == 0 && !m_expectClose) {
        if (m_state == TFtpState::ftpAbort) {
            // A high-level request learns of the abort from its dispatcher.
            if (!m_inSequence) {
                m_requestResult = 426;
                m_errorMessage = "426 Operation aborted.";
            }
        } else {
            // A request cut off by the server is not a success.
            m_lastResponse = "500 Control connection closed.";
            m_statusCode = 500;
            m_requestResult = 500;
            SetErrorMessage();
        }
    }
    m_expectClose = false;
    TriggerRequestDone(m_requestResult);
}

void TCustomFtpCli::QuitClose()
{
    m_expectClose = true;
    if (m_controlSocket->State() != TSocketState::wsClosed)
        m_controlSocket->Close();
    else
        TriggerRequestDone(m_requestResult);
}

void TCustomFtpCli::QuitAsync()
{
    FreeLocalStream();
    m_lastStep = TFtpFct::ftpFctQuit;
    bool wasExpecting = m_expectClose;
    m_expectClose = true; // the server may close before its 221
    try {
        ExecAsync(TFtpRequest::ftpQuitAsync, "QUIT", {221}, &TCustomFtpCli::QuitClose);
    } catch (...) {
        m_expectClose = wasExpecting;
        throw;
    }
}

void TCustomFtpCli::AbortAsync()
{
    TFtpState old = m_state;
    SetState(TFtpState::ftpAbort);
    m_closeTimer->stop();
    m_owedTimer->stop();
    m_owedReply = false;
    FreeLocalStream();
    if (old == TFtpState::ftpDnsLookup) {
        try {
            m_controlSocket->CancelDnsLookup();
        } catch (...) {
        }
    }
    try {
        if (m_controlSocket->State() != TSocketState::wsClosed)
            m_controlSocket->Close();
        if (m_dataSocket->State() != TSocketState::wsClosed)
            m_dataSocket->Close();
    } catch (...) {
    }
    FreeLocalStream();
    m_sessionOpen = false;
    if (!m_doneReported) {
        // Whatever was running ends now, and only once.
        if (m_state != TFtpState::ftpAbort)
            SetState(TFtpState::ftpAbort);
        m_pendingSteps.Clear();
        m_sequenceStep = false;
        m_errorMessage = "426 Operation aborted.";
        m_requestResult = 426;
        TriggerRequestDone(426);
    }
    SetState(TFtpState::ftpReady);
}

// ---- high-level requests -----------------------------------------------------------

void TCustomFtpCli::HighLevelAsync(TFtpRequest rq, TFtpFctSet steps)
{
    if (m_sessionOpen && steps.Contains(TFtpFct::ftpFctOpen))
        HandleError("FTP component already connected");
    CheckReady();
    m_savedResponse = m_lastResponse;
    m_savedStatusCode = -1;
    TFtpRequest oldType = m_requestType;
    m_requestType = rq;
    m_requestResult = 0;
    m_pendingSteps = steps;
    m_lastStep = TFtpFct::ftpFctNone;
    m_sequenceResult = 0;
    m_inSequence = true;
    m_lastResponse.clear();
    m_errorMessage.clear();
    m_sequenceStep = false;
    m_firstStep = true;
    try {
        NextSequence();
    } catch (...) {
        m_firstStep = false;
        // A request refused in its first step leaves no sequence state behind.
        if (m_doneReported) {
            m_inSequence = false;
            m_pendingSteps.Clear();
            m_sequenceStep = false;
            m_requestType = oldType;
            m_lastResponse = m_savedResponse;
            m_doneReported = true;
            if (m_state == TFtpState::ftpInternalReady)
                SetState(TFtpState::ftpReady);
        }
        throw;
    }
    m_firstStep = false;
}

void TCustomFtpCli::NextSequence()
{
    if (m_state == TFtpState::ftpAbort) {
        m_pendingSteps.Clear();
        m_sequenceResult = 426;
        m_errorMessage = "426 Operation aborted.";
    }
    m_sequenceStep = true;
    ExtractMoreResults();
    static constexpr TFtpFct order[] = {
        TFtpFct::ftpFctOpen,   TFtpFct::ftpFctUser,    TFtpFct::ftpFctPass,      TFtpFct::ftpFctCwd,
        TFtpFct::ftpFctCDup,   TFtpFct::ftpFctTypeSet, TFtpFct::ftpFctPort,      TFtpFct::ftpFctRest,
        TFtpFct::ftpFctGet,    TFtpFct::ftpFctPut,     TFtpFct::ftpFctAppend,    TFtpFct::ftpFctDir,
        TFtpFct::ftpFctLs,     TFtpFct::ftpFctSyst,    TFtpFct::ftpFctMkd,       TFtpFct::ftpFctRmd,
        TFtpFct::ftpFctRenFrom, TFtpFct::ftpFctRenTo,  TFtpFct::ftpFctSize,      TFtpFct::ftpFctDele,
        TFtpFct::ftpFctPwd,    TFtpFct::ftpFctAbortXfer, TFtpFct::ftpFctQuote,   TFtpFct::ftpFctQuit};
    for (TFtpFct step : order) {
        if (!m_pendingSteps.Contains(step))
            continue;
        TFtpFct previous = m_lastStep;
        m_pendingSteps.Exclude(step);
        if (step == TFtpFct::ftpFctPass && previous == TFtpFct::ftpFctUser && m_statusCode != 331)
            continue; // logged in by USER alone
        if (step == TFtpFct::ftpFctCwd && m_hostDirName.empty())
            continue;
        m_lastStep = step;
        if (m_firstStep) {
            StartStep(step, previous);
            return;
        }
        try {
            StartStep(step, previous);
        } catch (const std::exception &e) {
            // A later step refused: the request ends here with the refusal.
            m_pendingSteps.Clear();
            m_sequenceStep = false;
            m_doneReported = false;
            m_requestResult = 500;
            if (m_errorMessage.empty())
                m_errorMessage = e.what();
            TriggerDisplay(std::string("! ") + e.what());
            TriggerRequestDone(500);
        }
        return;
    }
    m_pendingSteps.Clear();
    m_sequenceStep = false;
    m_doneReported = false;
    TriggerRequestDone(m_sequenceResult);
}

void TCustomFtpCli::StartStep(TFtpFct step, TFtpFct previous)
{
    switch (step) {
    case TFtpFct::ftpFctOpen: OpenAsync(); break;
    case TFtpFct::ftpFctUser: UserAsync(); break;
    case TFtpFct::ftpFctPass: PassAsync(); break;
    case TFtpFct::ftpFctCwd: CwdAsync(); break;
    case TFtpFct::ftpFctCDup: CDupAsync(); break;
    case TFtpFct::ftpFctTypeSet: TypeSetAsync(); break;
    case TFtpFct::ftpFctPort: PortAsync(); break;
    case TFtpFct::ftpFctRest: RestAsync(); break;
    case TFtpFct::ftpFctGet:
        // A download resumes only when the server accepted REST.
        if (!(previous == TFtpFct::ftpFctRest && m_resumeAt >= 0 && m_statusCode == 350))
            m_resumeAt = 0;
        ExecGetAsync();
        break;
    case TFtpFct::ftpFctPut:
    case TFtpFct::ftpFctAppend:
        // Without the server's 350 a resumed upload would overwrite the remote head.
        if (previous == TFtpFct::ftpFctRest && m_resumeAt > 0 && m_statusCode != 350) {
            m_doneReported = false;
            m_sequenceStep = false;
            m_pendingSteps.Clear();
            m_errorMessage.clear();
            m_requestType = step == TFtpFct::ftpFctPut ? TFtpRequest::ftpPutAsync : TFtpRequest::ftpAppendAsync;
            FailRequest(m_statusCode >= 100 ? m_statusCode : 500,
                        "The server refused to resume the upload: " + m_lastResponse, false);
            return;
        }
        if (step == TFtpFct::ftpFctPut)
            ExecPutAsync();
        else
            ExecAppendAsync();
        break;
    case TFtpFct::ftpFctDir: ExecDirAsync(); break;
    case TFtpFct::ftpFctLs: ExecLsAsync(); break;
    case TFtpFct::ftpFctSyst: SystAsync(); break;
    case TFtpFct::ftpFctMkd: MkdAsync(); break;
    case TFtpFct::ftpFctRmd: RmdAsync(); break;
    case TFtpFct::ftpFctRenFrom: RenFromAsync(); break;
    case TFtpFct::ftpFctRenTo: RenToAsync(); break;
    case TFtpFct::ftpFctSize: SizeAsync(); break;
    case TFtpFct::ftpFctDele: DeleAsync(); break;
    case TFtpFct::ftpFctPwd: PwdAsync(); break;
    case TFtpFct::ftpFctAbortXfer: AbortXferAsync(); break;
    case TFtpFct::ftpFctQuote: QuoteAsync(); break;
    case TFtpFct::ftpFctQuit:
        m_savedResponse = m_lastResponse;
        m_savedStatusCode = m_statusCode;
        QuitAsync();
        break;
    default: break;
    }
}

} // namespace tarsel
