// The socket object: construction, properties, state, events, error reporting and
// the dispatch of notifications.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/strutil.h"
#include "net/wsocket_p.h"

namespace tarsel {

TCustomWSocket::TCustomWSocket()
{
    AllocateSocketHWnd();
    m_bufSize = 1460;
    m_multiCastIpTTL = 1;
    AssignDefaultValue();
    detail::AddSocketUse();
}

TCustomWSocket::~TCustomWSocket()
{
    *m_alive = false;
    m_destroying = true;
    // Handlers often belong to objects that are already going away with this one;
    // nothing is reported from the destructor.
    OnDataAvailable = nullptr;
    OnDataSent = nullptr;
    OnSendData = nullptr;
    OnSessionClosed = nullptr;
    OnSessionAvailable = nullptr;
    OnSessionConnected = nullptr;
    OnSocksConnected = nullptr;
    OnChangeState = nullptr;
    OnDnsLookupDone = nullptr;
    OnError = nullptr;
    OnBgException = nullptr;
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    try {
        if (m_state != TSocketState::wsClosed)
            TCustomWSocket::InternalClose(true, 0);
    } catch (...) {
    }
    if (m_hSocket != INVALID_SOCKET) { // a handle left behind by a failed operation
        if (m_endpoint)
            m_endpoint->Unwatch();
        Eng().Close(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
    DeleteBufferedData();
    detail::ReleaseSocketUse();
    TCustomWSocket::DeallocateSocketHWnd();
}

void TCustomWSocket::AllocateSocketHWnd()
{
    // Readiness and posted notices need an event loop in this thread.
    if (!QCoreApplication::instance() && !QAbstractEventDispatcher::instance())
        throw ESocketException("Cannot create a hidden window for TWSocket");
    m_endpoint = std::make_unique<detail::WSocketEndpoint>(this);
    m_ownerThread = QThread::currentThread();
}

void TCustomWSocket::DeallocateSocketHWnd()
{
    if (!m_endpoint)
        return;
    detail::WSocketEndpoint *ep = m_endpoint.release();
    if (ep->Detach())
        delete ep;
    // else the endpoint deletes itself when its running delivery returns
}

void TCustomWSocket::ThreadDetach()
{
    if (QThread::currentThread() != m_ownerThread) {
        RaiseException("Cannot detach from other thread");
        return;
    }
    DeallocateSocketHWnd();
    m_detached = true;
}

void TCustomWSocket::ThreadAttach()
{
    if (!m_detached) {
        RaiseException("Cannot attach when not detached");
        return;
    }
    AllocateSocketHWnd();
    m_detached = false;
    if (m_hSocket != INVALID_SOCKET) {
        m_endpoint->Watch(m_hSocket);
        if (m_state == TSocketState::wsConnecting)
            m_endpoint->ArmConnect();
        else if (!m_allSent)
            m_endpoint->SetWriteEnabled(true);
        if (m_paused)
            Pause();
    }
}

void TCustomWSocket::AssignDefaultValue()
{
    m_addrAssigned = false;
    m_portAssigned = false;
    m_addrResolved = false;
    m_portResolved = false;
    m_protoResolved = false;
    m_localPortResolved = false;
    m_protoStr = "tcp";
    m_protoAssigned = true;
    m_proto = 6;
    m_type = SOCK_STREAM;
    m_localPortStr = "0";
    m_localPortNum = 0;
    m_localAddr = "0.0.0.0";
    m_lingerOnOff = TSocketLingerOnOff::wsLingerOn;
    m_lingerTimeout = 0;
    m_hSocket = INVALID_SOCKET;
    m_state = TSocketState::wsClosed;
    m_allSent = true;
    m_paused = false;
    m_closeInvoked = false;
    // ReadCount is kept for the closed handler and starts again with the next handle.
}

void TCustomWSocket::AdoptHandle(TSocket h)
{
    m_hSocket = h;
    ++m_serial;
    m_readCount = 0;
    m_closeInvoked = false;
    m_paused = false;
    m_allSent = m_queuedBytes == 0;
}

// ---- properties ------------------------------------------------------------------

void TCustomWSocket::SetEngine(TSocketEngine *engine)
{
    if (m_hSocket != INVALID_SOCKET) {
        RaiseException("Cannot change the socket engine while a handle is open");
        return;
    }
    m_engine = engine ? engine : &PosixSocketEngine();
}

void TCustomWSocket::SetAddr(const std::string &value)
{
    const std::string v = str::Trim(value);
    // A Connect waiting for its lookup counts as open: the answer is for the old name.
    if (m_state != TSocketState::wsClosed || m_connectLookup) {
        if (v == m_addrStr)
            return;
        RaiseException("Cannot change Addr if not closed");
        return;
    }
    m_addrStr = v;
    if (!v.empty())
        m_addrAssigned = true;
    m_addrResolved = false;
}

void TCustomWSocket::SetRemotePort(const std::string &value)
{
    const std::string v = str::Trim(value);
    if (m_state != TSocketState::wsClosed) {
        if (v == m_portStr)
            return;
        RaiseException("Cannot change Port if not closed");
        return;
    }
    m_portStr = v;
    if (!v.empty())
        m_portAssigned = true;
    m_portResolved = false;
}

void TCustomWSocket::SetProtoImpl(const std::string &value)
{
    const std::string v = str::Trim(value);
    if (m_state != TSocketState::wsClosed) {
        if (v == m_protoStr)
            return;
        RaiseException("Cannot change Proto if not closed");
        return;
    }
    m_protoStr = v;
    m_protoAssigned = !v.empty();
    m_protoResolved = false;
}

void TCustomWSocket::SetLocalAddr(const std::string &value)
{
    if (m_state != TSocketState::wsClosed) {
        RaiseException("Cannot change LocalAddr if not closed");
        return;
    }
    m_localAddr = value.empty() ? std::string("0.0.0.0") : value;
}

void TCustomWSocket::SetLocalPort(const std::string &value)
{
    if (m_state != TSocketState::wsClosed) {
        RaiseException("Cannot change LocalPort if not closed");
        return;
    }
    m_localPortStr = value;
    m_localPortResolved = false;
}

TSocketSendFlags TCustomWSocket::SendFlags() const
{
    if (m_sendFlags == 0)
        return TSocketSendFlags::wsSendNormal;
    if (m_sendFlags == MSG_OOB)
        return TSocketSendFlags::wsSendUrgent;
    throw ESocketException("Invalid internal SendFlags");
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags v)
{
    switch (v) {
    case TSocketSendFlags::wsSendNormal:
        m_sendFlags = 0;
        return;
    case TSocketSendFlags::wsSendUrgent:
        m_sendFlags = MSG_OOB;
        return;
    }
    RaiseException("Invalid SendFlags");
}

// ---- state and events ------------------------------------------------------------

bool TCustomWSocket::ChangeState(TSocketState newState)
{
    const TSocketState old = m_state;
    m_state = newState;
    if (old == newState)
        return true;
    const std::shared_ptr<bool> alive = m_alive;
    TriggerChangeState(old, newState);
    return *alive;
}

bool TCustomWSocket::TriggerDataAvailable(int error)
{
    return OnDataAvailable.Trigger(this, error);
}

void TCustomWSocket::TriggerSessionAvailable(int error)
{
    OnSessionAvailable.Trigger(this, error);
}

void TCustomWSocket::TriggerSessionConnected(int error)
{
    OnSessionConnected.Trigger(this, error);
}

void TCustomWSocket::TriggerSessionClosed(int error)
{
    OnSessionClosed.Trigger(this, error);
}

void TCustomWSocket::TriggerDataSent(int error)
{
    OnDataSent.Trigger(this, error);
}

void TCustomWSocket::TriggerChangeState(TSocketState oldState, TSocketState newState)
{
    OnChangeState.Trigger(this, oldState, newState);
}

void TCustomWSocket::TriggerDNSLookupDone(int error)
{
    OnDnsLookupDone.Trigger(this, error);
}

void TCustomWSocket::TriggerError()
{
    OnError.Trigger(this);
}

// ---- errors ----------------------------------------------------------------------

void TCustomWSocket::RaiseException(const std::string &text)
{
    ++m_raiseCount;
    if (OnError.Assigned()) {
        TriggerError();
        return;
    }
    throw ESocketException(text);
}

void TCustomWSocket::RaiseExceptionFmt(const char *fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    RaiseException(buf);
}

void TCustomWSocket::SocketError(const std::string &function, int error)
{
    const int n = error >= 0 ? error : WSocketErrorFromErrno(errno);
    const std::string text = "Error " + std::to_string(n) + " in function " + function + "\r\n" +
                             WSocketErrorDesc(n);
    const std::shared_ptr<bool> alive = m_alive;
    if (n == wsaerr::WSAECONNRESET || n == wsaerr::WSAENOTCONN) {
        if (m_hSocket != INVALID_SOCKET) {
            if (m_endpoint)
                m_endpoint->Unwatch();
            Eng().Close(m_hSocket);
            m_hSocket = INVALID_SOCKET;
        }
        if (m_state != TSocketState::wsClosed && !m_closeInvoked) {
            m_closeInvoked = true;
            TriggerSessionClosed(n);
            if (!*alive)
                return;
        }
        if (!ChangeState(TSocketState::wsClosed))
            return;
    }
    m_lastError = n;
    RaiseException(text);
}

void TCustomWSocket::HandleBackGroundException(const std::exception &e)
{
    bool canClose = true;
    const std::shared_ptr<bool> alive = m_alive;
    try {
        OnBgException.Trigger(this, e, canClose);
    } catch (...) {
    }
    if (canClose && *alive) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

void TCustomWSocket::SafeCall(const std::function<void()> &fn)
{
    // Nothing may leave into the event loop: what a handler throws is this socket's
    // background exception (unless the handler destroyed the socket on its way out).
    const std::shared_ptr<bool> alive = m_alive;
    CatchAll(fn, [this, &alive](const std::exception &e) {
        if (*alive)
            HandleBackGroundException(e);
    });
}

// ---- dispatch --------------------------------------------------------------------

void TCustomWSocket::DispatchMessage(TWSocketMessage &msg)
{
    SafeCall([&] { WndProc(msg); });
}

void TCustomWSocket::WndProc(TWSocketMessage &msg)
{
    switch (msg.kind) {
    case TWSocketMessage::CloseDelayed:
        Close();
        return;
    case TWSocketMessage::Release:
        delete this;
        return;
    case TWSocketMessage::LineModeChanged:
        return;
    case TWSocketMessage::Select:
        break;
    }
    if (msg.handle != m_hSocket || m_paused)
        return;
    const TSocket h = msg.handle;
    const std::uint64_t serial = m_serial;
    const std::shared_ptr<bool> alive = m_alive;
    // False once a handler closed this connection (and perhaps opened another) or
    // destroyed the socket.
    auto same = [&] { return *alive && m_hSocket == h && m_serial == serial; };
    using M = TWSocketMessage;
    if (msg.events & M::FdConnect) {
        if (m_state != TSocketState::wsConnected) {
            if (!ChangeState(TSocketState::wsConnected))
                return;
            TriggerSessionConnected(msg.error);
            if (!*alive)
                return;
            // Only this connection: the handler may already have started another.
            if (msg.error != 0 && same() && m_state != TSocketState::wsClosed)
                Close();
        }
        if (!same())
            return;
    }
    if (msg.events & M::FdRead) {
        if (m_state != TSocketState::wsConnected) {
            if (!ChangeState(TSocketState::wsConnected))
                return;
            TriggerSessionConnected(msg.error);
            if (!same())
                return;
        }
        ReceiveLoop(msg.error, m_componentOptions.Contains(TWSocketOption::wsoNoReceiveLoop), msg.readable);
        if (!same())
            return;
    }
    if (msg.events & M::FdWrite) {
        TryToSend();
        if (!same())
            return;
        if (m_allSent)
            TriggerDataSent(msg.error);
        if (!same())
            return;
    }
    if (msg.events & M::FdAccept) {
        TriggerSessionAvailable(msg.error);
        if (!same())
            return;
    }
    if (msg.events & M::FdClose) {
        if (m_state == TSocketState::wsConnecting)
            return;
        // What is still readable is offered first (all of it, whatever the options).
        const int left = NetworkReadable();
        if (left > 0)
            ReceiveLoop(0, false, left, true);
        if (!*alive)
            return;
        if (!m_closeInvoked) {
            m_closeInvoked = true;
            TriggerSessionClosed(msg.error);
        }
        if (same() && m_state != TSocketState::wsClosed)
            Close();
    }
}

void TCustomWSocket::ReceiveLoop(int error, bool noReceiveLoop, int readable, bool drain)
{
    const TSocket h = m_hSocket;
    const std::uint64_t serial = m_serial;
    // The readable count is asked once per notification: the loop offers what was
    // there then, and what arrives meanwhile comes with the next notification. A peer
    // that sends as fast as this side reads would otherwise keep the loop going for
    // ever and starve the event loop, hence the budget too (not when draining a
    // closed connection, whose data is all there is).
    constexpr std::int64_t kReadBudget = 256 * 1024;
    constexpr int kMaxPasses = 4096;
    if (readable < 0 && !noReceiveLoop)
        readable = NetworkReadable();
    const std::int64_t target =
        drain ? std::max(readable, 0) : std::min<std::int64_t>(std::max(readable, 0), kReadBudget);
    const std::int64_t start = m_readCount;
    const std::shared_ptr<bool> alive = m_alive;
    for (int pass = 1;; ++pass) {
        m_lastError = 0;
        const std::uint64_t before = m_recvCalls;
        const bool taken = TriggerDataAvailable(error);
        if (!*alive)
            return;
        if (!taken) {
            char discard[4096];
            const int r = TCustomWSocket::DoRecv(discard, sizeof discard, 0);
            if (r < 0 && m_lastError == wsaerr::WSAEWOULDBLOCK)
                break;
        }
        if (noReceiveLoop || m_hSocket != h || m_serial != serial || m_paused)
            break;
        if (m_lastError != 0)
            break;
        // A handler that read nothing would be called again for the same bytes
        // without end.
        if (m_recvCalls == before || pass >= kMaxPasses)
            break;
        if (m_readCount - start >= target)
            break;
    }
}

int TCustomWSocket::NetworkReadable()
{
    int avail = 0;
    if (Eng().Readable(m_hSocket, &avail) != 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return -1;
    }
    return avail;
}

void TCustomWSocket::PostNotice(TWSocketMessage::Kind kind)
{
    if (!m_endpoint)
        return;
    TWSocketMessage msg;
    msg.kind = kind;
    m_endpoint->Post(msg);
}

void TCustomWSocket::Pause()
{
    m_paused = true;
    if (m_endpoint) {
        m_endpoint->SetReadEnabled(false);
        m_endpoint->SetWriteEnabled(false);
    }
}

void TCustomWSocket::Resume()
{
    m_paused = false;
    if (!m_endpoint || m_hSocket == INVALID_SOCKET)
        return;
    if (m_endpoint->Connecting()) {
        m_endpoint->SetWriteEnabled(true);
        return;
    }
    m_endpoint->SetReadEnabled(true);
    if (!m_allSent)
        m_endpoint->SetWriteEnabled(true);
}

void TCustomWSocket::RearmRead()
{
    if (m_endpoint && !m_paused && m_hSocket != INVALID_SOCKET && !m_endpoint->Connecting() &&
        m_endpoint->Watched() == m_hSocket)
        m_endpoint->SetReadEnabled(true);
}

void TCustomWSocket::MessagePump()
{
    // Only this thread's events are processed in either mode: a Qt event loop
    // belongs to its thread.
    const std::shared_ptr<bool> alive = m_alive;
    QCoreApplication::processEvents();
    if (*alive && QCoreApplication::closingDown())
        m_terminated = true;
}

void TCustomWSocket::PumpWait(int ms)
{
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(ms < 0 ? 0 : ms);
    const std::shared_ptr<bool> alive = m_alive;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (*alive && QCoreApplication::closingDown())
        m_terminated = true;
}

bool TCustomWSocket::TimerIsSet(const timeval &tvp)
{
    return tvp.tv_sec != 0 || tvp.tv_usec != 0;
}

void TCustomWSocket::TimerClear(timeval &tvp)
{
    tvp.tv_sec = 0;
    tvp.tv_usec = 0;
}

bool TCustomWSocket::TimerCmp(const timeval &tvp, const timeval &uvp, bool equal)
{
    const bool same = tvp.tv_sec == uvp.tv_sec && tvp.tv_usec == uvp.tv_usec;
    return equal ? same : !same;
}

} // namespace tarsel
