// Line mode and the blocking line read.
#include <algorithm>
#include <cstring>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "net/wsocket_p.h"

namespace tarsel {

namespace {
// Upper bound of one network read in line mode, so held data grows in steps that
// the line limit can check.
constexpr int kLineReadMax = 65536;
} // namespace

TCustomLineWSocket::TCustomLineWSocket() = default;

void TCustomLineWSocket::SetLineModeImpl(bool value)
{
    if (value == m_lineMode)
        return;
    const bool held = !m_rcvBuf.empty() || m_lineLength > 0;
    m_lineMode = value;
    // A line that was pending is searched for again when line mode comes back; in
    // raw mode its bytes are simply the first to be read.
    m_lineLength = 0;
    if (held)
        PostNotice(TWSocketMessage::LineModeChanged);
}

void TCustomLineWSocket::WndProc(TWSocketMessage &msg)
{
    if (msg.kind != TWSocketMessage::LineModeChanged) {
        TCustomSocksWSocket::WndProc(msg);
        return;
    }
    if (m_lineMode && !m_lineEnd.empty()) {
        OfferLines(0);
        return;
    }
    const std::shared_ptr<bool> alive = m_alive;
    while (!m_rcvBuf.empty()) {
        const std::size_t before = m_rcvBuf.size();
        const bool lineModeBefore = m_lineMode;
        const bool taken = TCustomWSocket::TriggerDataAvailable(0);
        if (!*alive)
            return;
        if (!taken) {
            m_rcvBuf.clear();
            break;
        }
        if (m_lineMode != lineModeBefore || m_rcvBuf.size() == before)
            break; // nothing read, or the handler switched again (which posts anew)
    }
}

int TCustomLineWSocket::GetRcvdCount()
{
    if (m_lineMode && !m_lineEnd.empty())
        return static_cast<int>(std::min<std::int64_t>(m_lineLength, INT32_MAX));
    if (!m_rcvBuf.empty())
        return static_cast<int>(std::min<std::size_t>(m_rcvBuf.size(), INT32_MAX));
    return TCustomSocksWSocket::GetRcvdCount();
}

int TCustomLineWSocket::DoRecv(void *buffer, int size, int flags)
{
    if (size < 0)
        size = 0;
    // Reads served from the held bytes count as reads too: the network's own
    // notification must not rest while the owner keeps reading.
    if (!m_rcvBuf.empty()) {
        ++m_recvCalls;
        RearmRead();
    }
    if (m_lineMode && !m_lineEnd.empty()) {
        if (m_lineLength <= 0) {
            // Held bytes are not a line yet; reading the network past them would
            // hand out data out of order.
            m_lastError = wsaerr::WSAEWOULDBLOCK;
            return -1;
        }
        const int n = static_cast<int>(std::min<std::int64_t>(size, m_lineLength));
        std::memcpy(buffer, m_rcvBuf.data(), static_cast<std::size_t>(n));
        m_rcvBuf.erase(0, static_cast<std::size_t>(n));
        m_lineLength -= n;
        return n;
    }
    if (!m_rcvBuf.empty()) {
        const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(size), m_rcvBuf.size()));
        std::memcpy(buffer, m_rcvBuf.data(), static_cast<std::size_t>(n));
        m_rcvBuf.erase(0, static_cast<std::size_t>(n));
        return n;
    }
    return TCustomSocksWSocket::DoRecv(buffer, size, flags);
}

void TCustomLineWSocket::SendEcho(const char *data, std::size_t len)
{
    if (len > 0 && m_state == TSocketState::wsConnected)
        Send(data, static_cast<int>(len));
}

void TCustomLineWSocket::EditLine(std::size_t offset)
{
    std::string out = m_rcvBuf.substr(0, offset);
    std::string echo;
    for (std::size_t i = offset; i < m_rcvBuf.size(); ++i) {
        const char c = m_rcvBuf[i];
        if (c == 8) {
            if (!out.empty()) {
                out.pop_back();
                echo += "\b \b";
            }
        } else if (c == 9) {
            do {
                out += ' ';
                echo += ' ';
            } while (out.size() % 8 != 0);
        } else {
            out += c;
            echo += c;
        }
    }
    m_rcvBuf = std::move(out);
    if (m_lineEcho)
        SendEcho(echo.data(), echo.size());
}

bool TCustomLineWSocket::TriggerDataAvailable(int error)
{
    if (!m_lineMode || m_lineEnd.empty())
        return TCustomSocksWSocket::TriggerDataAvailable(error);
    int cnt = NetworkReadable();
    if (cnt < 0)
        return true;
    if (cnt == 0)
        cnt = 255;
    cnt = std::min(cnt, kLineReadMax);
    const std::size_t old = m_rcvBuf.size();
    m_rcvBuf.resize(old + static_cast<std::size_t>(cnt));
    const int r = TCustomWSocket::DoRecv(m_rcvBuf.data() + old, cnt, 0);
    if (r <= 0) {
        m_rcvBuf.resize(old);
        return true;
    }
    m_rcvBuf.resize(old + static_cast<std::size_t>(r));
    const std::shared_ptr<bool> alive = m_alive;
    if (m_lineEdit)
        EditLine(old);
    else if (m_lineEcho)
        SendEcho(m_rcvBuf.data() + old, static_cast<std::size_t>(r));
    if (!*alive)
        return true;
    // Start before the old end so that a line end split across two reads is found.
    const std::size_t from = old > m_lineEnd.size() ? old - m_lineEnd.size() : 0;
    OfferLines(std::min(from, m_rcvBuf.size()));
    return true;
}

void TCustomLineWSocket::OfferLines(std::size_t searchFrom)
{
    const TSocket h = m_hSocket;
    const std::shared_ptr<bool> alive = m_alive;
    while (m_lineMode && !m_lineEnd.empty()) {
        if (m_lineLength <= 0) {
            const std::size_t pos = m_rcvBuf.find(m_lineEnd, searchFrom);
            if (pos == std::string::npos) {
                if (m_lineLimit > 0 && static_cast<std::int64_t>(m_rcvBuf.size()) > m_lineLimit) {
                    bool clearData = true;
                    TriggerLineLimitExceeded(static_cast<std::int64_t>(m_rcvBuf.size()), clearData);
                    if (!*alive)
                        return;
                    if (clearData)
                        m_rcvBuf.clear();
                }
                return;
            }
            m_lineLength = static_cast<std::int64_t>(pos + m_lineEnd.size());
        }
        while (m_lineMode && m_lineLength > 0) {
            const std::int64_t before = m_lineLength;
            const bool taken = TCustomWSocket::TriggerDataAvailable(0);
            if (!*alive)
                return;
            if (!taken) {
                m_rcvBuf.erase(0, static_cast<std::size_t>(m_lineLength));
                m_lineLength = 0;
                break;
            }
            // A handler that leaves the line unread gets it again with the next data,
            // not in an endless loop now.
            if (m_lineMode && m_lineLength == before)
                return;
            if (m_hSocket != h && m_rcvBuf.empty())
                return;
        }
        searchFrom = 0;
    }
}

void TCustomLineWSocket::TriggerLineLimitExceeded(std::int64_t cnt, bool &clearData)
{
    OnLineLimitExceeded.Trigger(this, cnt, clearData);
}

void TCustomLineWSocket::TriggerSessionClosed(int error)
{
    if (m_lineMode && !m_lineEnd.empty() && !m_rcvBuf.empty()) {
        // Held bytes without a line end are the last line.
        m_lineLength = static_cast<std::int64_t>(m_rcvBuf.size());
        const std::shared_ptr<bool> alive = m_alive;
        while (m_lineMode && m_lineLength > 0) {
            const std::int64_t before = m_lineLength;
            const bool taken = TCustomWSocket::TriggerDataAvailable(0);
            if (!*alive)
                return;
            if (!taken || m_lineLength == before)
                break;
        }
    }
    m_rcvBuf.clear();
    m_rcvBuf.shrink_to_fit();
    m_lineLength = 0;
    TCustomSocksWSocket::TriggerSessionClosed(error);
}

// ---- blocking line read ----------------------------------------------------------

int TCustomSyncWSocket::ReadLine(int timeout, std::string &line)
{
    line.clear();
    if (m_state != TSocketState::wsConnected) {
        RaiseException("ReadLine failed: not connected");
        return wsaerr::WSAENOTCONN;
    }
    const std::int64_t ms = timeout == 0 ? 60000
                            : timeout < 0 ? -static_cast<std::int64_t>(timeout)
                                          : static_cast<std::int64_t>(timeout) * 1000;
    const QDeadlineTimer deadline(ms);
    const bool oldMode = m_lineMode;
    const TDataAvailable oldHandler = OnDataAvailable;
    bool got = false;
    OnDataAvailable = [this, &got, &line](TCustomWSocket *, int) {
        if (got || m_lineLength <= 0)
            return;
        std::string buf(static_cast<std::size_t>(m_lineLength), '\0');
        const int n = Receive(buf.data(), static_cast<int>(buf.size()));
        if (n > 0)
            line.append(buf.data(), static_cast<std::size_t>(n));
        got = m_lineLength == 0;
    };
    m_lineMode = true;
    m_lineLength = 0;
    const std::shared_ptr<bool> alive = m_alive;
    if (!m_rcvBuf.empty())
        OfferLines(0);
    if (!*alive)
        return wsaerr::ReadLineTimeout;
    int result = 0;
    while (!got) {
        if (m_state != TSocketState::wsConnected)
            break;
        if (deadline.hasExpired() || QCoreApplication::closingDown() || m_terminated) {
            result = wsaerr::ReadLineTimeout;
            break;
        }
        PumpWait(static_cast<int>(std::min<std::int64_t>(deadline.remainingTime(), 50)));
        if (!*alive) // destroyed by a handler while this waited
            return wsaerr::ReadLineTimeout;
    }
    if (result == wsaerr::ReadLineTimeout && !m_rcvBuf.empty()) {
        line.append(m_rcvBuf);
        m_rcvBuf.clear();
        m_lineLength = 0;
    }
    OnDataAvailable = oldHandler;
    m_lineMode = true;
    SetLineModeImpl(oldMode);
    return result;
}

bool TCustomSyncWSocket::WaitUntilReady(TSocketState wanted, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const std::shared_ptr<bool> alive = m_alive;
    while (m_state != wanted) {
        if (m_state == TSocketState::wsClosed || deadline.hasExpired() || m_terminated)
            return m_state == wanted;
        PumpWait(static_cast<int>(std::min<std::int64_t>(deadline.remainingTime(), 50)));
        if (!*alive)
            return false;
    }
    return true;
}

} // namespace tarsel
