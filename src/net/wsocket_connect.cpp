// Opening a socket: Connect, Listen, Accept, Dup, binding and socket options.
#include <cerrno>

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/strutil.h"
#include "net/wsocket_p.h"

namespace tarsel {

namespace {

bool setIntOption(TSocketEngine &e, int h, int level, int name, int value)
{
    return e.SetOpt(h, level, name, &value, sizeof value) == 0;
}

// Connect outcomes that the system may report at once for a non-blocking connect;
// they arrive as the connect notification like any other result.
bool isConnectOutcome(int err)
{
    return err == ECONNREFUSED || err == ENETUNREACH || err == EHOSTUNREACH ||
           err == ETIMEDOUT || err == ECONNRESET;
}

} // namespace

void TCustomWSocket::ApplyLinger()
{
    if (m_lingerOnOff == TSocketLingerOnOff::wsLingerNoSet)
        return;
    if (m_hSocket == INVALID_SOCKET) {
        RaiseException("Cannot set linger option at this time");
        return;
    }
    linger l{};
    l.l_onoff = m_lingerOnOff == TSocketLingerOnOff::wsLingerOn ? 1 : 0;
    l.l_linger = m_lingerTimeout;
    if (Eng().SetOpt(m_hSocket, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0)
        SocketError("setsockopt(SO_LINGER)");
}

void TCustomWSocket::BindSocket()
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(m_localPortNum);
    try {
        local.sin_addr = AddressOnly(m_localAddr, "local address");
    } catch (const std::exception &e) {
        RaiseException(e.what());
        return;
    }
    if (Eng().Bind(m_hSocket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        RaiseExceptionFmt("winsock.bind failed, error #%d", WSocketErrorFromErrno(errno));
        return;
    }
    socklen_t len = sizeof local;
    if (Eng().SockName(m_hSocket, reinterpret_cast<sockaddr *>(&local), &len) != 0) {
        RaiseExceptionFmt("winsock.getsockname failed, error #%d", WSocketErrorFromErrno(errno));
        return;
    }
    m_localPortNum = ntohs(local.sin_port);
    m_localPortStr = std::to_string(m_localPortNum);
}

// The address of a dotted IP text. A name is refused: looking it up here would block
// the caller's thread for as long as the resolver takes.
in_addr TCustomWSocket::AddressOnly(const std::string &text, const char *what)
{
    if (!WSocketIsDottedIP(text))
        throw ESocketException("'" + text + "' is not an IP address (the " + what +
                               " takes an address, not a name)");
    return WSocketResolveHost(text);
}

// Resolves what is still unresolved of the protocol, the ports and the address into
// the socket address; a failure is raised with the operation's prefix. With nameAllowed
// a host name is left unresolved for the caller to look up.
bool TCustomWSocket::ResolveEndpoint(const char *prefix, bool withLocalPort, bool nameAllowed)
{
    try {
        if (!m_protoResolved) {
            m_proto = WSocketResolveProto(m_protoStr);
            m_type = m_proto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
            m_protoResolved = true;
        }
        if (!m_portResolved) {
            m_sin.sin_port = htons(WSocketResolvePort(m_portStr, m_protoStr));
            m_portResolved = true;
        }
        if (withLocalPort && !m_localPortResolved) {
            m_localPortNum = WSocketResolvePort(m_localPortStr, m_protoStr);
            m_localPortResolved = true;
        }
        if (!m_addrResolved) {
            // An empty or overlong text is refused by the resolver without a lookup.
            const bool name = !m_addrStr.empty() && m_addrStr.size() <= 256 && !WSocketIsDottedIP(m_addrStr);
            if (!name) {
                m_sin.sin_addr = WSocketResolveHost(m_addrStr);
                m_addrResolved = true;
            } else if (!nameAllowed) {
                m_sin.sin_addr = AddressOnly(m_addrStr, "listening socket");
            }
        }
    } catch (const std::exception &e) {
        RaiseException(std::string(prefix) + e.what());
        return false;
    }
    m_sin.sin_family = AF_INET;
    return true;
}

void TCustomWSocket::Connect()
{
    if (m_hSocket != INVALID_SOCKET && m_state != TSocketState::wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (!m_portAssigned) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    if (!m_addrAssigned) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (!m_protoAssigned) {
        RaiseException("Connect: No Protocol Specified");
        return;
    }
    if (!ResolveEndpoint("connect: ", true, true))
        return;
    if (!m_addrResolved) {
        StartConnectLookup();
        return;
    }

    DeleteBufferedData();
    const int h = Eng().Socket(AF_INET, m_type | SOCK_NONBLOCK | SOCK_CLOEXEC, m_proto);
    if (h < 0) {
        SocketError("Connect (socket)");
        return;
    }
    AdoptHandle(h);
    const std::uint64_t serial = m_serial;
    ChangeState(TSocketState::wsOpened);
    const std::uint64_t raised = m_raiseCount;

    if (m_type == SOCK_DGRAM) {
        BindSocket();
        if (m_multiCast && m_multiCastIpTTL != 1) {
            const unsigned char ttl = static_cast<unsigned char>(m_multiCastIpTTL);
            if (Eng().SetOpt(h, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
                SocketError("setsockopt(IP_MULTICAST_TTL)");
                return;
            }
        }
        if (m_sin.sin_addr.s_addr == INADDR_BROADCAST && !setIntOption(Eng(), h, SOL_SOCKET, SO_BROADCAST, 1)) {
            SocketError("setsockopt(SO_BROADCAST)");
            return;
        }
    } else {
        if (!setIntOption(Eng(), h, SOL_SOCKET, SO_REUSEADDR, 1)) {
            SocketError("setsockopt(SO_REUSEADDR)");
            return;
        }
        if (m_componentOptions.Contains(TWSocketOption::wsoTcpNoDelay) &&
            !setIntOption(Eng(), h, IPPROTO_TCP, TCP_NODELAY, 1)) {
            SocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
            return;
        }
        ApplyLinger();
        if (!setIntOption(Eng(), h, SOL_SOCKET, SO_KEEPALIVE, 1)) {
            SocketError("setsockopt(SO_KEEPALIVE)");
            return;
        }
        if (m_localPortNum != 0 || m_localAddr != "0.0.0.0")
            BindSocket();
    }
    if (m_hSocket != h || m_serial != serial || m_raiseCount != raised)
        return;
    if (!m_endpoint) {
        SocketError("WSAAsyncSelect", wsaerr::WSAENOTSOCK);
        return;
    }
    // A stream socket's read readiness waits for the connect's outcome.
    m_endpoint->Watch(h, m_type == SOCK_DGRAM);

    if (m_type == SOCK_DGRAM) {
        ChangeState(TSocketState::wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    const int r = Eng().Connect(h, reinterpret_cast<const sockaddr *>(&m_sin), sizeof m_sin);
    const int err = r == 0 ? 0 : errno;
    if (r == 0 || err == EINPROGRESS || err == EAGAIN) {
        ChangeState(TSocketState::wsConnecting);
        m_endpoint->ArmConnect();
    } else if (isConnectOutcome(err)) {
        ChangeState(TSocketState::wsConnecting);
        m_endpoint->SetReadEnabled(false);
        TWSocketMessage msg;
        msg.handle = h;
        msg.events = TWSocketMessage::FdConnect;
        msg.error = WSocketErrorFromErrno(err);
        m_endpoint->Post(msg);
    } else {
        m_endpoint->SetReadEnabled(true);
        m_lastError = WSocketErrorFromErrno(err);
        SocketError("Connect", m_lastError);
    }
}

// A name given to Connect is looked up by the lookup workers; the connection starts
// when the answer arrives. The socket stays closed meanwhile.
void TCustomWSocket::StartConnectLookup()
{
    if (!m_endpoint) {
        RaiseException("Connect: Window not assigned");
        return;
    }
    if (m_connectLookup) {
        RaiseException("Connect: a lookup for this socket is already running");
        return;
    }
    m_connectLookup = m_endpoint->StartLookup(str::Trim(m_addrStr), false);
}

// The answer to the lookup Connect started: connect to the first address, or report
// the failure as a failed connection (connected with the error, then closed).
void TCustomWSocket::ConnectLookupDone(const std::vector<std::string> &results, int error)
{
    m_connectLookup = 0;
    if (error == 0 && results.empty())
        error = wsaerr::WSANO_DATA;
    if (error == 0) {
        try {
            m_sin.sin_addr = AddressOnly(results.front(), "lookup result");
            m_addrResolved = true;
        } catch (const std::exception &) {
            error = wsaerr::WSANO_DATA;
        }
    }
    if (error == 0) {
        Connect();
        return;
    }
    m_lastError = error;
    const std::shared_ptr<bool> alive = m_alive;
    TriggerSessionConnected(error);
    // Unless the handler started something new, the failed attempt ends as a refused
    // connection does.
    if (*alive && m_state == TSocketState::wsClosed && m_hSocket == INVALID_SOCKET && !m_connectLookup)
        TriggerSessionClosed(0);
}

void TCustomWSocket::Listen()
{
    if (!m_portAssigned) {
        m_lastError = wsaerr::WSAEINVAL;
        SocketError("listen: port not assigned", wsaerr::WSAEINVAL);
        return;
    }
    if (!m_protoAssigned) {
        m_lastError = wsaerr::WSAEINVAL;
        SocketError("listen: protocol not assigned", wsaerr::WSAEINVAL);
        return;
    }
    if (!m_addrAssigned) {
        m_lastError = wsaerr::WSAEINVAL;
        SocketError("listen: address not assigned", wsaerr::WSAEINVAL);
        return;
    }
    if (!ResolveEndpoint("listen: ", false, false))
        return;

    DeleteBufferedData();
    const int h = Eng().Socket(AF_INET, m_type | SOCK_NONBLOCK | SOCK_CLOEXEC, m_proto);
    if (h < 0) {
        SocketError("socket");
        return;
    }
    // Until it is bound the socket is still closed; a failure must not leave the
    // handle open behind a closed state.
    auto fail = [&](const char *function) {
        const int err = WSocketErrorFromErrno(errno);
        Eng().Close(h);
        m_hSocket = INVALID_SOCKET;
        SocketError(function, err);
    };
    AdoptHandle(h);
    if (m_type == SOCK_DGRAM) {
        if (m_reuseAddr && !setIntOption(Eng(), h, SOL_SOCKET, SO_REUSEADDR, 1))
            return fail("setsockopt(SO_REUSEADDR)");
    } else if (!setIntOption(Eng(), h, SOL_SOCKET, SO_REUSEADDR, 1)) {
        // Lets a listener take a port whose old connections are still in TIME_WAIT
        // (two listeners on one port stay impossible for TCP).
        return fail("setsockopt(SO_REUSEADDR)");
    }
    if (Eng().Bind(h, reinterpret_cast<const sockaddr *>(&m_sin), sizeof m_sin) != 0)
        return fail("Bind");
    const std::uint64_t serial = m_serial;
    ChangeState(TSocketState::wsBound);
    if (m_hSocket != h || m_serial != serial)
        return;
    if (!m_endpoint) {
        SocketError("WSAASyncSelect", wsaerr::WSAENOTSOCK);
        return;
    }
    m_endpoint->Watch(h);

    if (m_type == SOCK_DGRAM) {
        if (m_multiCast) {
            ip_mreq mreq{};
            ::inet_pton(AF_INET, m_multiCastAddrStr.c_str(), &mreq.imr_multiaddr);
            mreq.imr_interface.s_addr = htonl(INADDR_ANY);
            if (Eng().SetOpt(h, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) != 0) {
                SocketError("setsockopt(IP MULTICAST)");
                return;
            }
        }
        ChangeState(TSocketState::wsListening);
        ChangeState(TSocketState::wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (Eng().Listen(h, 5) != 0) {
        SocketError("Listen");
        return;
    }
    ChangeState(TSocketState::wsListening);
}

TSocket TCustomWSocket::Accept()
{
    if (m_state != TSocketState::wsListening) {
        m_lastError = wsaerr::WSAEINVAL;
        SocketError("not a listening socket", wsaerr::WSAEINVAL);
        return INVALID_SOCKET;
    }
    ++m_recvCalls;
    RearmRead();
    socklen_t len = sizeof m_sin;
    const int h = Eng().Accept(m_hSocket, reinterpret_cast<sockaddr *>(&m_sin), &len,
                            SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (h < 0) {
        SocketError("Accept");
        return INVALID_SOCKET;
    }
    m_acceptedHandle = h;
    return h;
}

void TCustomWSocket::Dup(TSocket newHSocket)
{
    if (newHSocket == 0 || newHSocket == INVALID_SOCKET) {
        m_lastError = wsaerr::WSAEINVAL;
        SocketError("Dup", wsaerr::WSAEINVAL);
        return;
    }
    if (m_state != TSocketState::wsClosed) {
        if (m_endpoint)
            m_endpoint->Unwatch();
        const int r = m_hSocket == INVALID_SOCKET ? 0 : Eng().Close(m_hSocket);
        m_hSocket = INVALID_SOCKET;
        if (r != 0) {
            SocketError("Dup (closesocket)");
            return;
        }
        ChangeState(TSocketState::wsClosed);
    }
    DeleteBufferedData();
    AdoptHandle(newHSocket);
    m_type = SOCK_STREAM;
    const std::uint64_t raised = m_raiseCount;
    ApplyLinger();
    if (m_hSocket != newHSocket || m_raiseCount != raised)
        return;
    if (!m_endpoint) {
        SocketError("WSAAsyncSelect", wsaerr::WSAENOTSOCK);
        return;
    }
    m_endpoint->Watch(newHSocket);
    ChangeState(TSocketState::wsConnected);
}

void TCustomWSocket::Shutdown(int how)
{
    if (m_hSocket != INVALID_SOCKET)
        Eng().Shutdown(m_hSocket, how);
}

int TCustomWSocket::GetSockName(sockaddr_in &name, int &nameLen)
{
    socklen_t len = nameLen > 0 ? static_cast<socklen_t>(nameLen) : 0;
    if (Eng().SockName(m_hSocket, reinterpret_cast<sockaddr *>(&name), &len) != 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return m_lastError;
    }
    nameLen = static_cast<int>(len);
    return 0;
}

int TCustomWSocket::GetPeerName(sockaddr_in &name, int &nameLen)
{
    socklen_t len = nameLen > 0 ? static_cast<socklen_t>(nameLen) : 0;
    if (Eng().PeerName(m_hSocket, reinterpret_cast<sockaddr *>(&name), &len) != 0) {
        m_lastError = WSocketErrorFromErrno(errno);
        return m_lastError;
    }
    nameLen = static_cast<int>(len);
    return 0;
}

std::string TCustomWSocket::GetPeerAddr()
{
    if (m_state != TSocketState::wsConnected)
        return "error";
    sockaddr_in sin{};
    int len = sizeof sin;
    if (GetPeerName(sin, len) != 0)
        return "error";
    return WSocketAddrToStr(sin.sin_addr);
}

std::string TCustomWSocket::GetPeerPort()
{
    if (m_state != TSocketState::wsConnected)
        return "error";
    sockaddr_in sin{};
    int len = sizeof sin;
    if (GetPeerName(sin, len) != 0)
        return "error";
    return std::to_string(ntohs(sin.sin_port));
}

std::string TCustomWSocket::GetXAddr()
{
    if (m_state != TSocketState::wsBound && m_state != TSocketState::wsConnected &&
        m_state != TSocketState::wsListening)
        return "error";
    sockaddr_in sin{};
    int len = sizeof sin;
    if (GetSockName(sin, len) != 0)
        return "error";
    return WSocketAddrToStr(sin.sin_addr);
}

std::string TCustomWSocket::GetXPort()
{
    if (m_state != TSocketState::wsBound && m_state != TSocketState::wsConnected &&
        m_state != TSocketState::wsListening)
        return "error";
    sockaddr_in sin{};
    int len = sizeof sin;
    if (GetSockName(sin, len) != 0)
        return "error";
    return std::to_string(ntohs(sin.sin_port));
}

} // namespace tarsel
