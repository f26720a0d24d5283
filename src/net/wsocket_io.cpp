// Sending through the queue and receiving.
#include <algorithm>
#include <cerrno>
#include <climits>

#include <sys/ioctl.h>
#include <sys/socket.h>

#include "net/wsocket_p.h"

namespace tarsel {

void TCustomWSocket::DeleteBufferedData()
{
    m_sendQueue.clear();
    m_spareChunks.clear();
    m_queuedBytes = 0;
}

namespace {
// One gathered send takes at most this many chunks and bytes: enough for the system to
// see large writes whatever the chunk size, small enough to keep the event loop turning.
constexpr int kMaxGatherChunks = 256;
constexpr std::int64_t kMaxGatherBytes = 512 * 1024;
// Drained chunks kept for the next sends instead of freed and allocated again, up to
// this many bytes of them (so small chunks are reused as well as large ones).
constexpr std::int64_t kMaxSpareBytes = 1 << 20;
} // namespace

void TCustomWSocket::KeepSpare(std::unique_ptr<TBuffer> chunk)
{
    if (static_cast<std::int64_t>(m_spareChunks.size()) * chunk->BufSize() < kMaxSpareBytes)
        m_spareChunks.push_back(std::move(chunk));
}

void TCustomWSocket::SendFailed(int err)
{
    switch (err) {
    case wsaerr::WSAECONNRESET:
    case wsaerr::WSAENOTSOCK:
    case wsaerr::WSAENOTCONN:
    case wsaerr::WSAEINVAL:
    case wsaerr::WSAECONNABORTED:
        InternalClose(false, err);
        return;
    case wsaerr::WSAEWOULDBLOCK:
        if (m_endpoint && !m_paused)
            m_endpoint->SetWriteEnabled(true);
        return;
    default:
        SocketError("TryToSend failed", err);
        return;
    }
}

int TCustomWSocket::Send(const void *data, int len)
{
    if (m_state != TSocketState::wsConnected) {
        m_lastError = wsaerr::WSAENOTCONN;
        SocketError("Send", wsaerr::WSAENOTCONN);
        return -1;
    }
    // Nothing to queue leaves the queue's state alone (AllSent stays as it is).
    if (len <= 0 || !data)
        return 0;
    m_allSent = false;
    const char *p = static_cast<const char *>(data);
    int left = len;
    const std::shared_ptr<bool> alive = m_alive;
    bool triedNow = false;
    if (m_queuedBytes == 0 && m_type == SOCK_STREAM && m_hSocket != INVALID_SOCKET) {
        // Nothing waits in the queue: the data goes to the system straight from the
        // caller's buffer, and only what the system does not take now is queued.
        const TSocket h = m_hSocket;
        const std::uint64_t serial = m_serial;
        const int r = RealSend(p, left);
        // A handler of OnSendData closed or destroyed the socket.
        if (!*alive || m_hSocket != h || m_serial != serial)
            return len;
        if (r < 0 && m_lastError != wsaerr::WSAEWOULDBLOCK) {
            SendFailed(m_lastError);
            return len;
        }
        triedNow = true;
        if (r > 0) {
            p += r;
            left -= r;
        }
        if (left == 0) {
            m_allSent = true;
            ArmDataSent();
            return len;
        }
    }
    auto newChunk = [this] {
        if (!m_spareChunks.empty()) {
            std::unique_ptr<TBuffer> c = std::move(m_spareChunks.back());
            m_spareChunks.pop_back();
            if (c->BufSize() == (m_bufSize > 0 ? m_bufSize : c->BufSize())) {
                m_sendQueue.push_back(std::move(c));
                return;
            }
        }
        m_sendQueue.push_back(std::make_unique<TBuffer>(m_bufSize));
    };
    if (m_sendQueue.empty())
        newChunk();
    while (left > 0) {
        const int n = m_sendQueue.back()->Write(p, left);
        p += n;
        left -= n;
        m_queuedBytes += n;
        if (left > 0)
            newChunk();
    }
    if (triedNow) {
        // The system just took what it could: the rest goes when the handle is writable.
        SendFailed(wsaerr::WSAEWOULDBLOCK);
        return len;
    }
    TryToSend();
    if (!*alive)
        return len;
    if (m_allSent)
        ArmDataSent();
    return len;
}

void TCustomWSocket::ArmDataSent()
{
    // OnDataSent comes from the event loop, never from inside Send: the write readiness
    // of the handle brings it, without a posted notice per call. Nobody listening, the
    // notifier stays off: turning it on and off wakes the event loop twice per send.
    if (OnDataSent.Assigned() && m_endpoint && !m_paused && m_hSocket != INVALID_SOCKET &&
        m_endpoint->Watched() == m_hSocket)
        m_endpoint->SetWriteEnabled(true);
}

int TCustomWSocket::SendStr(const std::string &s)
{
    if (s.empty())
        return 0;
    // Sent in pieces an int can count: a string above 2 GiB is sent whole, not refused.
    constexpr std::size_t kPiece = 1u << 30;
    const std::shared_ptr<bool> alive = m_alive;
    std::size_t off = 0;
    while (off < s.size()) {
        const std::size_t n = std::min(kPiece, s.size() - off);
        const int r = Send(s.data() + off, static_cast<int>(n));
        if (r < 0 || !*alive) // an OnSendData handler may have destroyed the socket
            return r;
        off += n;
    }
    return s.size() > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(s.size());
}

void TCustomWSocket::TryToSend()
{
    if (m_hSocket == INVALID_SOCKET || m_sendQueue.empty())
        return;
    const TSocket h = m_hSocket;
    const std::uint64_t serial = m_serial;
    const std::shared_ptr<bool> alive = m_alive;
    for (;;) {
        // Drained chunks at the front go to the spares; the last one stays for reuse.
        while (m_sendQueue.size() > 1 && m_sendQueue.front()->Empty()) {
            KeepSpare(std::move(m_sendQueue.front()));
            m_sendQueue.pop_front();
        }
        if (m_sendQueue.empty() || m_sendQueue.front()->Empty()) { // dropped by a handler, or done
            m_allSent = true;
            return;
        }
        std::int64_t r = 0;
        std::int64_t offered = 0;
        if (m_type == SOCK_STREAM) {
            iovec iov[kMaxGatherChunks];
            int count = 0;
            for (const auto &chunk : m_sendQueue) {
                int len = 0;
                const char *p = chunk->Peek(len);
                if (len <= 0)
                    continue;
                iov[count].iov_base = const_cast<char *>(p);
                iov[count].iov_len = static_cast<std::size_t>(len);
                offered += len;
                if (++count == kMaxGatherChunks || offered >= kMaxGatherBytes)
                    break;
            }
            r = RealSendV(iov, count);
        } else {
            int len = 0;
            const char *p = m_sendQueue.front()->Peek(len);
            offered = len;
            r = RealSend(p, len);
        }
        // A handler of OnSendData closed or destroyed the socket.
        if (!*alive || m_hSocket != h || m_serial != serial)
            return;
        if (r == 0)
            return;
        if (r < 0) {
            SendFailed(m_lastError);
            return;
        }
        // The queue may have been changed by a handler; remove from the current front.
        std::int64_t left = r;
        while (left > 0 && !m_sendQueue.empty()) {
            TBuffer &front = *m_sendQueue.front();
            const int n = front.Remove(static_cast<int>(std::min<std::int64_t>(left, INT32_MAX)));
            m_queuedBytes -= n;
            left -= n;
            if (left > 0 && front.Empty() && m_sendQueue.size() > 1) {
                KeepSpare(std::move(m_sendQueue.front()));
                m_sendQueue.pop_front();
            } else if (n == 0) {
                break;
            }
        }
        if (r < offered) {
            if (m_endpoint && !m_paused)
                m_endpoint->SetWriteEnabled(true);
            return;
        }
    }
}

std::int64_t TCustomWSocket::RealSendV(const iovec *iov, int count)
{
    const ssize_t r = Eng().SendV(m_hSocket, iov, count, m_sendFlags | MSG_NOSIGNAL);
    if (r < 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return -1;
    }
    if (r > 0)
        OnSendData.Trigger(this, static_cast<int>(std::min<ssize_t>(r, INT32_MAX)));
    return r;
}

int TCustomWSocket::RealSend(const void *data, int len)
{
    const int flags = m_sendFlags | MSG_NOSIGNAL;
    ssize_t r;
    if (m_type == SOCK_DGRAM)
        r = Eng().SendTo(m_hSocket, data, static_cast<size_t>(len), flags,
                     reinterpret_cast<const sockaddr *>(&m_sin), sizeof m_sin);
    else
        r = Eng().Send(m_hSocket, data, static_cast<size_t>(len), flags);
    if (r < 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return -1;
    }
    if (r > 0)
        OnSendData.Trigger(this, static_cast<int>(r));
    return static_cast<int>(r);
}

int TCustomWSocket::SendTo(const sockaddr_in &dest, int destLen, const void *data, int len)
{
    const ssize_t r = Eng().SendTo(m_hSocket, data, static_cast<size_t>(std::max(len, 0)),
                               m_sendFlags | MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&dest),
                               static_cast<socklen_t>(destLen));
    if (r < 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return -1;
    }
    OnSendData.Trigger(this, static_cast<int>(r));
    return static_cast<int>(r);
}

void TCustomWSocket::Flush()
{
    const std::shared_ptr<bool> alive = m_alive;
    while (m_hSocket != INVALID_SOCKET && !m_allSent) {
        TryToSend();
        if (!*alive || m_hSocket == INVALID_SOCKET || m_allSent)
            return;
        PumpWait(20);
        if (!*alive)
            return;
    }
}

int TCustomWSocket::DoRecv(void *buffer, int size, int flags)
{
    ++m_recvCalls;
    RearmRead();
    const ssize_t r = Eng().Recv(m_hSocket, buffer, static_cast<size_t>(std::max(size, 0)), flags);
    if (r < 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return -1;
    }
    m_readCount += r;
    return static_cast<int>(r);
}

int TCustomWSocket::DoRecvFrom(void *buffer, int size, int flags, sockaddr_in &from, int &fromLen)
{
    ++m_recvCalls;
    RearmRead();
    socklen_t len = fromLen > 0 ? static_cast<socklen_t>(fromLen) : 0;
    const ssize_t r = Eng().RecvFrom(m_hSocket, buffer, static_cast<size_t>(std::max(size, 0)), flags,
                                 reinterpret_cast<sockaddr *>(&from), &len);
    if (r < 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return -1;
    }
    fromLen = static_cast<int>(len);
    m_readCount += r;
    return static_cast<int>(r);
}

int TCustomWSocket::Receive(void *buffer, int size)
{
    return DoRecv(buffer, size, 0);
}

int TCustomWSocket::ReceiveFrom(void *buffer, int size, sockaddr_in &from, int &fromLen)
{
    return DoRecvFrom(buffer, size, 0, from, fromLen);
}

int TCustomWSocket::PeekData(void *buffer, int size)
{
    const ssize_t r = Eng().Recv(m_hSocket, buffer, static_cast<size_t>(std::max(size, 0)), MSG_PEEK);
    if (r < 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return -1;
    }
    return static_cast<int>(r);
}

int TCustomWSocket::GetRcvdCount()
{
    int avail = 0;
    if (Eng().Readable(m_hSocket, &avail) != 0) {
        SocketError("ioctlSocket");
        return -1;
    }
    return avail;
}

std::string TCustomWSocket::ReceiveStr()
{
    int n = GetRcvdCount();
    if (n < 0)
        return {};
    if (n == 0)
        n = 255;
    std::string s(static_cast<std::size_t>(n), '\0');
    const int r = Receive(s.data(), n);
    if (r <= 0)
        return {};
    s.resize(static_cast<std::size_t>(r));
    return s;
}

// ---- closing ---------------------------------------------------------------------

void TCustomWSocket::InternalClose(bool shut, int error)
{
    m_connectLookup = 0; // a Connect still waiting for its lookup is given up
    if (m_hSocket == INVALID_SOCKET) {
        if (m_state != TSocketState::wsClosed) {
            if (!ChangeState(TSocketState::wsClosed))
                return;
            try {
                AssignDefaultValue();
            } catch (...) {
            }
        }
        return;
    }
    if (m_state == TSocketState::wsClosed)
        return;
    const TSocket h = m_hSocket;
    if (shut) {
        Eng().Shutdown(h, SHUT_WR);
        // A graceful close must not throw away what the system still has to send: an
        // abortive linger (on, 0 s) would reset the connection and lose the tail of
        // the data, and a longer one would block this thread.
        linger l{};
        Eng().SetOpt(h, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    if (m_endpoint)
        m_endpoint->Unwatch();
    // Closing a socket releases the handle on Linux even when close reports an error.
    const int r = Eng().Close(h);
    const int err = r == 0 ? 0 : WSocketErrorFromErrno(errno);
    m_hSocket = INVALID_SOCKET;
    if (r != 0 && err != wsaerr::WSAEINTR && err != wsaerr::WSANOTINITIALISED) {
        SocketError("Disconnect (closesocket)", err);
        return;
    }
    if (!ChangeState(TSocketState::wsClosed))
        return;
    // Defaults are back before OnSessionClosed runs, so a handler that opens the
    // socket again keeps what it set up.
    const bool fire = !m_destroying && !m_closeInvoked;
    try {
        AssignDefaultValue();
    } catch (...) {
    }
    if (fire) {
        m_closeInvoked = true;
        TriggerSessionClosed(error);
    }
}

void TCustomWSocket::Close()
{
    InternalClose(true, 0);
}

void TCustomWSocket::CloseDelayed()
{
    PostNotice(TWSocketMessage::CloseDelayed);
}

void TCustomWSocket::Release()
{
    PostNotice(TWSocketMessage::Release);
}

void TCustomWSocket::Abort()
{
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    DeleteBufferedData();
    if (m_state == TSocketState::wsConnected && m_type == SOCK_STREAM &&
        m_hSocket != INVALID_SOCKET) {
        m_lingerOnOff = TSocketLingerOnOff::wsLingerOff;
        try {
            ApplyLinger();
        } catch (...) {
        }
    }
    InternalClose(false, 0);
}

void TCustomWSocket::WaitForClose()
{
    const std::shared_ptr<bool> alive = m_alive;
    while (m_hSocket != INVALID_SOCKET && m_state != TSocketState::wsClosed) {
        PumpWait(20);
        if (!*alive)
            return;
        if (m_hSocket == INVALID_SOCKET || m_state == TSocketState::wsClosed)
            break;
        const int n = NetworkReadable();
        if (n > 0) {
            const std::uint64_t before = m_recvCalls;
            const bool taken = TriggerDataAvailable(0);
            if (!*alive)
                return;
            if (!taken || m_recvCalls == before) {
                // Nobody takes the data: drop it, the peer's close is what counts.
                char discard[4096];
                TCustomWSocket::DoRecv(discard, sizeof discard, 0);
            }
            continue;
        }
        if (m_hSocket == INVALID_SOCKET)
            break;
        char probe;
        const ssize_t r = Eng().Recv(m_hSocket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (r == 0) { // the peer closed: that is the close notification
            TWSocketMessage msg;
            msg.handle = m_hSocket;
            msg.events = TWSocketMessage::FdClose;
            WndProc(msg);
            break;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            break;
    }
}

// ---- name lookup -----------------------------------------------------------------

void TCustomWSocket::DnsLookup(const std::string &hostName)
{
    if (hostName.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDNSLookupDone(wsaerr::WSAEINVAL);
        return;
    }
    if (m_pendingLookup)
        CancelDnsLookup();
    m_dnsResult.clear();
    m_dnsResultList.clear();
    in_addr a{};
    if (detail::ParseDotted(hostName, a)) {
        m_dnsResult = WSocketAddrToStr(a);
        TriggerDNSLookupDone(0);
        return;
    }
    if (!m_endpoint) {
        RaiseException("DnsLookup: Window not assigned");
        return;
    }
    m_reverseLookup = false;
    m_pendingLookup = m_endpoint->StartLookup(hostName, false);
}

void TCustomWSocket::ReverseDnsLookup(const std::string &hostAddr)
{
    if (hostAddr.empty() || hostAddr.size() > 256) {
        RaiseException("ReverseDnsLookup: Invalid host name.");
        TriggerDNSLookupDone(wsaerr::WSAEINVAL);
        return;
    }
    if (m_pendingLookup)
        CancelDnsLookup();
    m_dnsResult.clear();
    m_dnsResultList.clear();
    if (!m_endpoint) {
        RaiseException("ReverseDnsLookup: Window not assigned");
        return;
    }
    m_reverseLookup = true;
    m_pendingLookup = m_endpoint->StartLookup(hostAddr, true);
}

void TCustomWSocket::CancelDnsLookup()
{
    if (!m_pendingLookup)
        return;
    // The worker cannot be stopped; its late result no longer matches and is dropped.
    m_pendingLookup = 0;
    if (!m_destroying)
        TriggerDNSLookupDone(wsaerr::WSAEINTR);
}

void TCustomWSocket::LookupDone(int id, const std::vector<std::string> &results, int error)
{
    if (m_connectLookup && id == m_connectLookup) {
        ConnectLookupDone(results, error);
        return;
    }
    if (!m_pendingLookup || id != m_pendingLookup)
        return;
    m_pendingLookup = 0;
    if (error == 0) {
        m_dnsResultList = results;
        if (!results.empty())
            m_dnsResult = results.front();
    }
    TriggerDNSLookupDone(error);
}

} // namespace tarsel
