// The request engine: construction, settings, events, sending commands, opening and
// closing the control connection, and abort.
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
    m_dataSocket->SetReceiveBatch(FtpDataReceiveBatch);

    m_owedTimer = std::make_unique<QTimer>();
    m_owedTimer->setSingleShot(true);
    QObject::connect(m_owedTimer.get(), &QTimer::timeout, m_endpoint.get(),
                     [this] { SafeCall([this] { Guarded([this] { OwedReplyTimedOut(); }); }); });
}

TCustomFtpCli::~TCustomFtpCli()
{
    *m_alive = false;
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
    Raise(OnStateChange);
}

void TCustomFtpCli::TriggerDisplay(const std::string &msg)
{
    std::string copy = msg;
    Raise(OnDisplay, copy);
}

void TCustomFtpCli::TriggerDisplayFile(const char *data, std::size_t size)
{
    // Taken out while the handler runs: a nested display gets its own string.
    std::string chunk = std::move(m_displayChunk);
    chunk.assign(data, size);
    Raise(OnDisplayFile, chunk);
    m_displayChunk = std::move(chunk);
}

void TCustomFtpCli::TriggerReadyToTransmit(bool &cancel)
{
    Raise(OnReadyToTransmit, cancel);
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
    const std::shared_ptr<bool> alive = m_alive;
    try {
        OnBgException.Trigger(this, e, canClose);
    } catch (...) {
        // An exception from the handler itself goes no further.
    }
    if (!*alive)
        throw FtpClientDestroyed();
}

void TCustomFtpCli::SafeCall(const std::function<void()> &fn)
{
    const std::shared_ptr<bool> alive = m_alive;
    CatchAll(fn, [this, &alive](const std::exception &e) {
        if (!*alive)
            return; // destroyed by a handler: nothing of it may be touched
        try {
            HandleBackGroundException(e);
        } catch (const FtpClientDestroyed &) {
        }
    });
}

void TCustomFtpCli::Release()
{
    QMetaObject::invokeMethod(m_endpoint.get(), [this] { delete this; }, Qt::QueuedConnection);
}

void TCustomFtpCli::Guarded(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const FtpClientDestroyed &) {
        throw;
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
    } catch (const FtpClientDestroyed &) {
        throw;
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
    if (text.size() > FtpMaxCommandLength)
        throw FtpException("Command refused: longer than " + std::to_string(FtpMaxCommandLength) + " bytes");
}

void TCustomFtpCli::SendCommand(const std::string &cmd)
{
    std::string c = cmd;
    Raise(OnCommand, c);
    if (c.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        // A handler made the line unsafe: send nothing and end the request.
        FailRequest(500, "500 Command refused: it contains a carriage return, line feed or NUL");
        return;
    }
    if (c.size() > FtpMaxCommandLength) {
        FailRequest(500, "500 Command refused: longer than " + std::to_string(FtpMaxCommandLength) + " bytes");
        return;
    }
    TriggerDisplay("> " + c);
    if (m_controlSocket->State() == TSocketState::wsConnected)
        m_controlSocket->SendStr(c + "\r\n");
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
    m_multiLines = 0;
    m_multiBytes = 0;
    m_expectClose = false;
    SetState(TFtpState::ftpDnsLookup);
    try {
        m_controlSocket->DnsLookup(str::Trim(host));
    } catch (const FtpClientDestroyed &) {
        throw;
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
    } catch (const FtpClientDestroyed &) {
        throw;
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

void TCustomFtpCli::ControlSocketSessionClosed(int error)
{
    if (m_sessionOpen) {
        m_sessionOpen = false;
        if (m_state != TFtpState::ftpAbort)
            SetState(TFtpState::ftpNotConnected);
        Raise(OnSessionClosed, error);
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
    } catch (const FtpClientDestroyed &) {
        throw;
    } catch (...) {
        m_expectClose = wasExpecting;
        throw;
    }
}

void TCustomFtpCli::AbortAsync()
{
    TFtpState old = m_state;
    SetState(TFtpState::ftpAbort);
    m_owedTimer->stop();
    m_xfer.owedReply = false;
    FreeLocalStream();
    if (old == TFtpState::ftpDnsLookup) {
        try {
            m_controlSocket->CancelDnsLookup();
        } catch (const FtpClientDestroyed &) {
            throw;
        } catch (...) {
        }
    }
    try {
        if (m_controlSocket->State() != TSocketState::wsClosed)
            m_controlSocket->Close();
        if (m_dataSocket->State() != TSocketState::wsClosed)
            m_dataSocket->Close();
    } catch (const FtpClientDestroyed &) {
        throw;
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

} // namespace tarsel
