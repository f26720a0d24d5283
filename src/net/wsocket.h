#pragma once
// The event-driven socket: a non-blocking IPv4 socket whose outcomes arrive as events
// from the Qt event loop of the thread that owns it.
//
// How events arrive
// - From the event loop (the handle's readiness, a name lookup's end, a posted notice):
//   OnSessionConnected, OnDataAvailable, OnDataSent, OnSessionAvailable, OnSessionClosed
//   when the peer closed, OnDnsLookupDone of a lookup by name, OnLineLimitExceeded.
//   OnDataSent is never raised inside Send, and only for a send made while a handler
//   was assigned; CloseDelayed and Release act later too.
// - Directly inside the call that causes them, before it returns: OnChangeState,
//   OnSendData (inside Send, or later inside the loop's send), OnSessionClosed of a
//   Close/Abort, OnError (instead of an exception when assigned), OnDnsLookupDone of
//   a dotted address or of CancelDnsLookup, OnBgException.
// What a handler may do
// - In any event: close the socket, open a new connection on it, send, change line
//   mode, delete it or Release it. A socket destroyed inside its own event is not
//   touched again by the frames that raised it; the call that raised it returns
//   normally, and its caller must not use the socket afterwards.
// - Exceptions thrown by a handler raised from the event loop become OnBgException
//   (then the socket is aborted unless the handler says otherwise); they never reach
//   the event loop.
// Names
// - Connect given a host name looks it up through the lookup workers and connects when
//   the answer arrives; a failed lookup ends as a refused connection does
//   (OnSessionConnected with the error, then OnSessionClosed). Nothing blocks the
//   caller's thread on the resolver. Listen and the local address take IP addresses
//   only and refuse a name.
// Calls that run the event loop inside them (nested loops, for the command line and
// tests only, never for a window): Flush, WaitForClose, ReadLine, WaitUntilReady,
// MessagePump. Each returns when the socket was destroyed while it waited.

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/uio.h>
#include <sys/time.h>

#include "common/event.h"
#include "common/exception.h"
#include "common/ordinalset.h"
#include "net/wsockbuf.h"
#include "net/wsocket_engine.h"

namespace tarsel {

enum class TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
enum class TWSocketOption { wsoNoReceiveLoop, wsoTcpNoDelay };
using TWSocketOptions = TOrdinalSet<TWSocketOption>;
enum class TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum class TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

enum class TSocksState { socksData, socksNegociateMethods, socksAuthenticate, socksConnect };
enum class TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum class TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

using TSocket = int;
constexpr TSocket INVALID_SOCKET = -1;

// Socket error numbers used throughout (the numbering of the error table).
namespace wsaerr {
constexpr int WSAEINTR = 10004;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;
constexpr int ReadLineTimeout = 12001;
} // namespace wsaerr

class ESocketException : public Exception {
public:
    using Exception::Exception;
};

class TCustomWSocket;

using TWSocketNotify = TEvent<TCustomWSocket *>;
using TDataAvailable = TEvent<TCustomWSocket *, int>;
using TDataSent = TEvent<TCustomWSocket *, int>;
using TSessionClosed = TEvent<TCustomWSocket *, int>;
using TSessionAvailable = TEvent<TCustomWSocket *, int>;
using TSessionConnected = TEvent<TCustomWSocket *, int>;
using TDnsLookupDone = TEvent<TCustomWSocket *, int>;
using TSendData = TEvent<TCustomWSocket *, int>;
using TChangeState = TEvent<TCustomWSocket *, TSocketState, TSocketState>;
using TBgExceptionEvent = TEvent<TCustomWSocket *, const std::exception &, bool &>;
using TLineLimitEvent = TEvent<TCustomWSocket *, std::int64_t, bool &>;
using TSocksErrorEvent = TEvent<TCustomWSocket *, int, const std::string &>;
using TSocksAuthStateEvent = TEvent<TCustomWSocket *, TSocksAuthState>;

// The start-up record of the socket library.
struct TWSAData {
    int wVersion = 0x0101;
    int wHighVersion = 0x0101;
    std::string szDescription;
    std::string szSystemStatus;
    int iMaxSockets = 0;
    int iMaxUdpDg = 0;
};

// A host entry: official name and IPv4 addresses (network order).
struct THostEnt {
    std::string h_name;
    std::vector<std::string> h_aliases;
    std::vector<in_addr> h_addr_list;
};

// Free functions of the socket unit.
bool WSocketIsDottedIP(const std::string &s);
in_addr WSocketResolveHost(const std::string &s);
std::uint16_t WSocketResolvePort(const std::string &port, const std::string &proto); // host order
int WSocketResolveProto(const std::string &proto);
std::string WSocketErrorDesc(int error);
std::unique_ptr<THostEnt> WSocketGetHostByName(const std::string &name);
std::unique_ptr<THostEnt> WSocketGetHostByAddr(const std::string &addr);
std::string WSocketResolveIp(const std::string &addr);
std::string LocalHostName();
const std::vector<std::string> &LocalIPList();
TWSAData WinsockInfo();
void WSocketForceLoadWinsock();
void WSocketCancelForceLoadWinsock();
void WSocketUnloadWinsock();
int WSocketUseCount(); // sockets alive plus the forced use, for diagnostics

// Maps an errno value onto the socket error numbers of the error table.
int WSocketErrorFromErrno(int err);
// Dotted text of an IPv4 address in network order.
std::string WSocketAddrToStr(const in_addr &a);

// A notification for the socket's endpoint: readiness of the handle or one of the
// socket's own posted notices.
struct TWSocketMessage {
    enum Kind { Select, CloseDelayed, Release, LineModeChanged };
    static constexpr unsigned FdRead = 1, FdWrite = 2, FdOob = 4, FdAccept = 8, FdConnect = 16,
                              FdClose = 32;
    Kind kind = Select;
    TSocket handle = INVALID_SOCKET;
    unsigned events = 0;
    int error = 0;
    // Which watch of the endpoint a readiness belongs to: handle numbers are reused
    // by the system, so a late notice for an old handle could match a new one.
    std::uint64_t watch = 0;
    // Bytes the system held for reading when the readiness was seen (-1: not asked).
    int readable = -1;
};

namespace detail {
class WSocketEndpoint;
}

class TCustomWSocket {
public:
    TCustomWSocket();
    virtual ~TCustomWSocket();
    TCustomWSocket(const TCustomWSocket &) = delete;
    TCustomWSocket &operator=(const TCustomWSocket &) = delete;

    // Properties.
    const std::string &Addr() const { return m_addrStr; }
    void SetAddr(const std::string &value);
    const std::string &Port() const { return m_portStr; }
    void SetPort(const std::string &value) { SetRemotePort(value); }
    const std::string &Proto() const { return m_protoStr; }
    void SetProto(const std::string &value) { SetProtoImpl(value); }
    const std::string &LocalAddr() const { return m_localAddr; }
    void SetLocalAddr(const std::string &value);
    const std::string &LocalPort() const { return m_localPortStr; }
    void SetLocalPort(const std::string &value);
    std::string PeerPort() { return GetPeerPort(); }
    std::string PeerAddr() { return GetPeerAddr(); }
    const std::string &DnsResult() const { return m_dnsResult; }
    const std::vector<std::string> &DnsResultList() const { return m_dnsResultList; }
    TSocketState State() const { return m_state; }
    std::int64_t ReadCount() const { return m_readCount; }
    int RcvdCount() { return GetRcvdCount(); }
    int LastError() const { return m_lastError; }
    bool MultiThreaded() const { return m_multiThreaded; }
    void SetMultiThreaded(bool v) { m_multiThreaded = v; }
    bool MultiCast() const { return m_multiCast; }
    void SetMultiCast(bool v) { m_multiCast = v; }
    const std::string &MultiCastAddrStr() const { return m_multiCastAddrStr; }
    void SetMultiCastAddrStr(const std::string &v) { m_multiCastAddrStr = v; }
    int MultiCastIpTTL() const { return m_multiCastIpTTL; }
    void SetMultiCastIpTTL(int v) { m_multiCastIpTTL = v; }
    bool ReuseAddr() const { return m_reuseAddr; }
    void SetReuseAddr(bool v) { m_reuseAddr = v; }
    TWSocketOptions ComponentOptions() const { return m_componentOptions; }
    void SetComponentOptions(TWSocketOptions v) { m_componentOptions = v; }
    TSocketSendFlags SendFlags() const;
    void SetSendFlags(TSocketSendFlags v);
    TSocketLingerOnOff LingerOnOff() const { return m_lingerOnOff; }
    void SetLingerOnOff(TSocketLingerOnOff v) { m_lingerOnOff = v; }
    int LingerTimeout() const { return m_lingerTimeout; }
    void SetLingerTimeout(int v) { m_lingerTimeout = v; }
    int BufSize() const { return m_bufSize; }
    void SetBufSize(int v) { m_bufSize = v; }
    // Bulk receiving: while data arrives fast, the system wakes this socket only once
    // that many bytes wait (or the stream ends) instead of for every segment. A wake-up
    // costs the sender as well, so a fast download on one machine takes about 0.6 of
    // the time. When the flow slows, what waits is delivered within 20 ms and the
    // batching stops until it is fast again. 0 (the default): off. Stream sockets only.
    int ReceiveBatch() const { return m_receiveBatch; }
    void SetReceiveBatch(int bytes) { m_receiveBatch = bytes > 1 ? bytes : 0; }

    TSocket HSocket() const { return m_hSocket; }
    bool AllSent() const { return m_allSent; }
    bool Paused() const { return m_paused; }
    bool Terminated() const { return m_terminated; }
    TSocket AcceptedHandle() const { return m_acceptedHandle; }
    // Chunks in the send queue and bytes not yet handed to the system.
    int SendQueueChunks() const { return static_cast<int>(m_sendQueue.size()); }
    std::int64_t BufferedByteCount() const { return m_queuedBytes; }

    // Events.
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSendData OnSendData;
    TSessionClosed OnSessionClosed;
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TSessionConnected OnSocksConnected;
    TChangeState OnChangeState;
    TDnsLookupDone OnDnsLookupDone;
    TWSocketNotify OnError;
    TBgExceptionEvent OnBgException;

    // Operations.
    virtual void Connect();
    virtual void Close();
    virtual void CloseDelayed();
    virtual void Release();
    virtual void Abort();
    virtual void Flush();
    virtual void WaitForClose();
    virtual void Listen();
    virtual TSocket Accept();
    virtual int Receive(void *buffer, int size);
    virtual std::string ReceiveStr();
    virtual int ReceiveFrom(void *buffer, int size, sockaddr_in &from, int &fromLen);
    virtual int Send(const void *data, int len);
    virtual int SendTo(const sockaddr_in &dest, int destLen, const void *data, int len);
    virtual int SendStr(const std::string &s);
    int SendText(const std::string &s) { return SendStr(s); }
    int PeekData(void *buffer, int size);
    virtual void DnsLookup(const std::string &hostName);
    virtual void ReverseDnsLookup(const std::string &hostAddr);
    virtual void CancelDnsLookup();
    virtual std::string GetPeerAddr();
    virtual std::string GetPeerPort();
    virtual int GetPeerName(sockaddr_in &name, int &nameLen);
    virtual std::string GetXPort();
    virtual std::string GetXAddr();
    static bool TimerIsSet(const timeval &tvp);
    static void TimerClear(timeval &tvp);
    // flag true: equal; false: not equal.
    static bool TimerCmp(const timeval &tvp, const timeval &uvp, bool equal);
    virtual int GetSockName(sockaddr_in &name, int &nameLen);
    virtual void Dup(TSocket newHSocket);
    virtual void Shutdown(int how);
    virtual void Pause();
    virtual void Resume();
    virtual void MessagePump();

    // The system calls this socket makes; nullptr restores the POSIX engine. Only
    // while closed: a handle belongs to the engine that made it.
    void SetEngine(TSocketEngine *engine);
    TSocketEngine &Eng() const { return *m_engine; }

    // Thread binding (the program itself uses one thread).
    void ThreadDetach();
    void ThreadAttach();

protected:
    friend class detail::WSocketEndpoint;

    virtual void WndProc(TWSocketMessage &msg);
    virtual void AllocateSocketHWnd();
    virtual void DeallocateSocketHWnd();
    virtual void AssignDefaultValue();
    virtual void InternalClose(bool shut, int error);
    virtual void SetRemotePort(const std::string &value);
    virtual void SetProtoImpl(const std::string &value);
    virtual int GetRcvdCount();
    virtual void BindSocket();
    virtual int RealSend(const void *data, int len);
    // One system send over several queued chunks; like RealSend otherwise.
    std::int64_t RealSendV(const iovec *iov, int count);
    // printf-style formatting of the text, then RaiseException.
    void RaiseExceptionFmt(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    virtual void RaiseException(const std::string &text);
    virtual void HandleBackGroundException(const std::exception &e);
    virtual bool TriggerDataAvailable(int error);
    virtual void TriggerSessionAvailable(int error);
    virtual void TriggerSessionConnected(int error);
    virtual void TriggerSessionClosed(int error);
    virtual void TriggerDataSent(int error);
    virtual void TriggerChangeState(TSocketState oldState, TSocketState newState);
    virtual void TriggerDNSLookupDone(int error);
    virtual void TriggerError();
    virtual int DoRecv(void *buffer, int size, int flags);
    virtual int DoRecvFrom(void *buffer, int size, int flags, sockaddr_in &from, int &fromLen);

    // Helpers for the layers above.
    // False when a handler of OnChangeState destroyed the socket.
    bool ChangeState(TSocketState newState);
    void SocketError(const std::string &function, int error = -1);
    void TryToSend();
    void SendFailed(int err);
    void ArmDataSent();
    void KeepSpare(std::unique_ptr<TBuffer> chunk);
    // Offers received data to the handler. readable: what the notification found (-1
    // unknown); the loop reads no more than that and, unless draining, than a budget.
    void ReceiveLoop(int error, bool noReceiveLoop, int readable = -1, bool drain = false);
    void ApplyLinger();
    void DeleteBufferedData();
    void PostNotice(TWSocketMessage::Kind kind);
    int NetworkReadable(); // bytes readable from the handle, -1 on failure
    bool Destroying() const { return m_destroying; }
    // A new handle belongs to this socket: per-connection counters start again.
    void AdoptHandle(TSocket h);
    bool ResolveEndpoint(const char *prefix, bool withLocalPort, bool nameAllowed);
    static in_addr AddressOnly(const std::string &text, const char *what);
    void StartConnectLookup();
    void ConnectLookupDone(const std::vector<std::string> &results, int error);
    // Requests readiness for the handle in the current state (not while paused).
    void RearmRead();
    // One event-loop pass that may sleep until something arrives (at most ms).
    void PumpWait(int ms);

    // Called by the endpoint.
    void DispatchMessage(TWSocketMessage &msg);
    void LookupDone(int id, const std::vector<std::string> &results, int error);
    void SafeCall(const std::function<void()> &fn);

    TSocket m_hSocket = INVALID_SOCKET;
    sockaddr_in m_sin{};
    std::string m_addrStr;
    std::string m_portStr;
    std::string m_protoStr = "tcp";
    std::string m_localAddr = "0.0.0.0";
    std::string m_localPortStr = "0";
    bool m_addrAssigned = false;
    bool m_portAssigned = false;
    bool m_protoAssigned = false;
    bool m_addrResolved = false;
    bool m_portResolved = false;
    bool m_protoResolved = false;
    bool m_localPortResolved = false;
    std::uint16_t m_localPortNum = 0;
    int m_proto = 6;
    int m_type = 1; // SOCK_STREAM
    std::string m_dnsResult;
    std::vector<std::string> m_dnsResultList;
    TSocketState m_state = TSocketState::wsClosed;
    std::int64_t m_readCount = 0;
    int m_lastError = 0;
    bool m_multiThreaded = false;
    bool m_multiCast = false;
    std::string m_multiCastAddrStr;
    int m_multiCastIpTTL = 1;
    bool m_reuseAddr = false;
    TWSocketOptions m_componentOptions;
    int m_sendFlags = 0;
    TSocketLingerOnOff m_lingerOnOff = TSocketLingerOnOff::wsLingerOn;
    int m_lingerTimeout = 0;
    int m_bufSize = 1460;
    int m_receiveBatch = 0;
    std::deque<std::unique_ptr<TBuffer>> m_sendQueue;
    std::vector<std::unique_ptr<TBuffer>> m_spareChunks; // drained chunks kept for reuse
    std::int64_t m_queuedBytes = 0; // unsent bytes in m_sendQueue
    bool m_allSent = true;
    bool m_closeInvoked = false;
    bool m_paused = false;
    bool m_terminated = false;
    bool m_destroying = false;
    int m_pendingLookup = 0; // 0: none
    int m_connectLookup = 0; // the lookup a Connect by name waits for; 0: none
    bool m_reverseLookup = false;
    TSocket m_acceptedHandle = INVALID_SOCKET;
    // Counts reads and accepts asked of the system: a dispatch that asked none lets the
    // read notification rest until the next one, so an idle handler cannot spin.
    std::uint64_t m_recvCalls = 0;
    // Counts handles adopted: tells a new connection from an old one that had the
    // same handle number.
    std::uint64_t m_serial = 0;
    // Counts RaiseException calls: a step that failed into OnError ends its operation.
    std::uint64_t m_raiseCount = 0;
    std::unique_ptr<detail::WSocketEndpoint> m_endpoint;
    TSocketEngine *m_engine = &PosixSocketEngine();
    // False from the start of the destructor on. A frame that raised an event keeps a
    // copy and returns at once, touching nothing, when a handler destroyed the socket.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    void *m_ownerThread = nullptr;
    bool m_detached = false;
};

// SOCKS client settings. The negotiation itself is not available: a socket with a
// SOCKS server assigned refuses to connect instead of connecting directly.
class TCustomSocksWSocket : public TCustomWSocket {
public:
    TCustomSocksWSocket();

    const std::string &SocksLevel() const { return m_socksLevel; }
    void SetSocksLevel(const std::string &value);
    const std::string &SocksServer() const { return m_socksServer; }
    void SetSocksServer(const std::string &value) { SetSocksServerImpl(value); }
    const std::string &SocksPort() const { return m_socksPort; }
    void SetSocksPort(const std::string &value) { SetSocksPortImpl(value); }
    const std::string &SocksUsercode() const { return m_socksUsercode; }
    void SetSocksUsercode(const std::string &v) { m_socksUsercode = v; }
    const std::string &SocksPassword() const { return m_socksPassword; }
    void SetSocksPassword(const std::string &v) { m_socksPassword = v; }
    TSocksAuthentication SocksAuthentication() const { return m_socksAuthentication; }
    void SetSocksAuthentication(TSocksAuthentication v) { m_socksAuthentication = v; }

    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

    void Connect() override;
    void Listen() override;

protected:
    virtual void TriggerSocksConnected(int error);
    virtual void SetSocksPortImpl(const std::string &value);
    virtual void SetSocksServerImpl(const std::string &value);
    virtual void TriggerSocksError(int error, const std::string &msg);
    void AssignDefaultValue() override;

    std::string m_socksLevel = "5";
    std::string m_socksServer;
    std::string m_socksPort;
    std::string m_socksUsercode;
    std::string m_socksPassword;
    TSocksAuthentication m_socksAuthentication = TSocksAuthentication::socksNoAuthentication;
};

// Line mode: received data handed over one line at a time.
class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    TCustomLineWSocket();

    bool LineMode() const { return m_lineMode; }
    void SetLineMode(bool value) { SetLineModeImpl(value); }
    std::int64_t LineLimit() const { return m_lineLimit; }
    void SetLineLimit(std::int64_t v) { m_lineLimit = v; }
    const std::string &LineEnd() const { return m_lineEnd; }
    void SetLineEnd(const std::string &v) { m_lineEnd = v; }
    bool LineEcho() const { return m_lineEcho; }
    void SetLineEcho(bool v) { m_lineEcho = v; }
    bool LineEdit() const { return m_lineEdit; }
    void SetLineEdit(bool v) { m_lineEdit = v; }
    // Bytes held by line mode and the length of the pending line.
    std::int64_t RcvdCnt() const { return static_cast<std::int64_t>(m_rcvBuf.size()); }
    std::int64_t LineLength() const { return m_lineLength; }

    TLineLimitEvent OnLineLimitExceeded;

protected:
    virtual void TriggerLineLimitExceeded(std::int64_t cnt, bool &clearData);
    virtual void SetLineModeImpl(bool value);
    // Applies backspace and tab editing to the bytes from offset on, in place.
    virtual void EditLine(std::size_t offset);
    void WndProc(TWSocketMessage &msg) override;
    int GetRcvdCount() override;
    bool TriggerDataAvailable(int error) override;
    void TriggerSessionClosed(int error) override;
    int DoRecv(void *buffer, int size, int flags) override;

    void OfferLines(std::size_t searchFrom);
    void SendEcho(const char *data, std::size_t len);

    std::string m_rcvBuf; // held bytes (RcvBuf, RcvdCnt = size)
    std::int64_t m_lineLength = 0;
    bool m_lineMode = false;
    std::int64_t m_lineLimit = 65536;
    std::string m_lineEnd = "\r\n";
    bool m_lineEcho = false;
    bool m_lineEdit = false;
    bool m_lineReceivedFlag = false;
};

// Blocking helpers over the event loop.
class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    // timeout: 0 is 60 s, negative is -milliseconds, positive is seconds.
    // Returns 0 or 12001 (time limit, termination, loop ended).
    int ReadLine(int timeout, std::string &line);
    // Pumps events until State is one of the given states, the socket closes or the
    // time limit (ms) passes; true when reached.
    bool WaitUntilReady(TSocketState wanted, int timeoutMs);
    // Runs fn on the socket's thread (the calling thread here).
    template <class F>
    void Synchronize(F &&fn)
    {
        fn();
    }
};

class TWSocket : public TCustomSyncWSocket {
public:
    TWSocket() = default;
};

class TSocksWSocket : public TWSocket {
public:
    TSocksWSocket() = default;
};

} // namespace tarsel
