// Free functions of the socket unit: resolution helpers, the error table, the
// library information and its use count.
#include "net/wsocket.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "common/strutil.h"

namespace tarsel {

namespace {

std::string fmtStr(const char *fmt, const std::string &s, int n)
{
    // The formats here are fixed texts with one %s and one %d.
    char buf[600];
    std::snprintf(buf, sizeof buf, fmt, s.c_str(), n);
    return buf;
}

bool startsWithDigit(const std::string &s)
{
    return !s.empty() && s[0] >= '0' && s[0] <= '9';
}

// Decimal number at the start of s; values beyond the range end as the limit.
long leadingNumber(const std::string &s, long limit)
{
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            break;
        v = v * 10 + (c - '0');
        if (v > limit)
            return limit;
    }
    return v;
}

} // namespace

bool WSocketIsDottedIP(const std::string &s)
{
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n && s[i] == ' ')
        ++i;
    int dots = 0;
    int value = -1; // -1: no digit yet in this part
    for (; i < n; ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value * 10) + (c - '0');
            if (value > 255)
                return false;
        } else if (c == '.') {
            if (value < 0 || ++dots > 3)
                return false;
            value = -1;
        } else {
            break;
        }
    }
    while (i < n && s[i] == ' ')
        ++i;
    return i == n && dots == 3 && value >= 0;
}

namespace detail {
// Parses text that WSocketIsDottedIP accepted (decimal parts, leading zeros allowed).
bool ParseDotted(const std::string &text, in_addr &out)
{
    if (!WSocketIsDottedIP(text))
        return false;
    std::uint32_t value = 0;
    std::uint32_t part = 0;
    for (char c : str::Trim(text)) {
        if (c == '.') {
            value = (value << 8) | part;
            part = 0;
        } else {
            part = part * 10 + static_cast<std::uint32_t>(c - '0');
        }
    }
    value = (value << 8) | part;
    out.s_addr = htonl(value);
    return true;
}
} // namespace detail

std::string WSocketAddrToStr(const in_addr &a)
{
    char buf[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

in_addr WSocketResolveHost(const std::string &s)
{
    if (s.empty() || s.size() > 256)
        throw ESocketException("WSocketResolveHost: '" + s + "' Invalid Hostname.");
    const std::string host = str::Trim(s);
    in_addr a{};
    if (WSocketIsDottedIP(host)) {
        detail::ParseDotted(host, a);
        if (a.s_addr == INADDR_NONE && host != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + s + "' Invalid IP address.");
        return a;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo *res = nullptr;
    const int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
    if (r != 0 || !res) {
        const int err = r == EAI_AGAIN ? wsaerr::WSATRY_AGAIN
                        : (r == EAI_NONAME ? wsaerr::WSAHOST_NOT_FOUND : wsaerr::WSANO_RECOVERY);
        throw ESocketException(
            fmtStr("WSocketResolveHost: Cannot convert host address '%s', Error #%d", host, err));
    }
    a = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr;
    ::freeaddrinfo(res);
    return a;
}

std::uint16_t WSocketResolvePort(const std::string &port, const std::string &proto)
{
    if (port.empty() || port.size() >= 32)
        throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (proto.empty() || proto.size() >= 32)
        throw ESocketException("WSocketResolvePort: Invalid Proto.");
    if (startsWithDigit(port)) {
        // Port numbers are 16-bit; a larger number is refused rather than wrapped
        // onto another port.
        const long v = leadingNumber(port, 65536);
        if (v > 65535)
            throw ESocketException(
                fmtStr("WSocketResolvePort: Cannot convert port '%s', Error #%d", port,
                       wsaerr::WSAEINVAL));
        return static_cast<std::uint16_t>(v);
    }
    const std::string name = str::Trim(port);
    const std::string pr = str::Trim(proto);
    servent result{};
    servent *se = nullptr;
    char buf[1024];
    ::getservbyname_r(name.c_str(), pr.empty() ? nullptr : pr.c_str(), &result, buf, sizeof buf,
                      &se);
    if (!se)
        throw ESocketException(fmtStr("WSocketResolvePort: Cannot convert port '%s', Error #%d",
                                      name, wsaerr::WSANO_DATA));
    return ntohs(static_cast<std::uint16_t>(se->s_port));
}

int WSocketResolveProto(const std::string &proto)
{
    if (proto.empty() || proto.size() >= 32)
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    const std::string p = str::Trim(proto);
    if (startsWithDigit(p))
        return static_cast<int>(leadingNumber(p, 255));
    // The two protocols sockets use have fixed numbers: no reading of /etc/protocols
    // for every connection.
    if (str::SameText(p, "tcp"))
        return 6;
    if (str::SameText(p, "udp"))
        return 17;
    protoent result{};
    protoent *pe = nullptr;
    char buf[1024];
    ::getprotobyname_r(p.c_str(), &result, buf, sizeof buf, &pe);
    if (!pe) {
        throw ESocketException(fmtStr("WSocketResolveProto: Cannot convert protocol '%s', Error #%d",
                                      p, wsaerr::WSANO_DATA));
    }
    return pe->p_proto;
}

std::string WSocketErrorDesc(int error)
{
    static const std::map<int, const char *> table = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Address not available"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Connection aborted"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network sub-system is unusable"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11002, "Non-authoritative host not found"},
        {11003, "Non-recoverable error"},
        {11004, "No Data"},
    };
    const auto it = table.find(error);
    return it == table.end() ? "Not a WinSock error" : it->second;
}

int WSocketErrorFromErrno(int err)
{
    switch (err) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    // A send to a peer that has gone away: the connection was reset.
    case EPIPE:
    case ECONNRESET: return 10054;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default:
        // Outside the table: keeps the number visible, described as not a socket error.
        return 20000 + err;
    }
}

namespace {

std::unique_ptr<THostEnt> fromHostent(const hostent *he)
{
    if (!he)
        return nullptr;
    auto e = std::make_unique<THostEnt>();
    e->h_name = he->h_name ? he->h_name : "";
    for (char **a = he->h_aliases; a && *a; ++a)
        e->h_aliases.emplace_back(*a);
    if (he->h_addrtype == AF_INET) {
        for (char **p = he->h_addr_list; p && *p; ++p) {
            in_addr a;
            std::memcpy(&a, *p, sizeof a);
            e->h_addr_list.push_back(a);
        }
    }
    return e;
}

} // namespace

std::unique_ptr<THostEnt> WSocketGetHostByName(const std::string &name)
{
    if (name.empty() || name.size() > 256)
        throw ESocketException("WSocketGetHostByName: Invalid Hostname.");
    hostent result{};
    hostent *he = nullptr;
    char buf[8192];
    int herr = 0;
    ::gethostbyname_r(name.c_str(), &result, buf, sizeof buf, &he, &herr);
    return fromHostent(he);
}

std::unique_ptr<THostEnt> WSocketGetHostByAddr(const std::string &addr)
{
    if (addr.empty() || addr.size() > 256)
        throw ESocketException("WSocketGetHostByAddr: Invalid address.");
    in_addr a{};
    if (::inet_pton(AF_INET, str::Trim(addr).c_str(), &a) != 1)
        return nullptr;
    hostent result{};
    hostent *he = nullptr;
    char buf[8192];
    int herr = 0;
    ::gethostbyaddr_r(&a, sizeof a, AF_INET, &result, buf, sizeof buf, &he, &herr);
    return fromHostent(he);
}

std::string WSocketResolveIp(const std::string &addr)
{
    const auto e = WSocketGetHostByAddr(addr);
    return e ? e->h_name : std::string();
}

std::string LocalHostName()
{
    char buf[64];
    if (::gethostname(buf, sizeof buf) != 0)
        throw ESocketException("Winsock.GetHostName failed");
    buf[sizeof buf - 1] = '\0';
    return buf;
}

const std::vector<std::string> &LocalIPList()
{
    static std::vector<std::string> list;
    list.clear();
    const auto e = WSocketGetHostByName(LocalHostName());
    if (e) {
        for (const in_addr &a : e->h_addr_list)
            list.push_back(WSocketAddrToStr(a));
    }
    return list;
}

// The socket library is part of the system here: loading and starting it are
// nothing, so the use count is kept only to answer what is loaded.
namespace {
std::atomic<int> g_useCount{0};
std::atomic<bool> g_forced{false};
} // namespace

namespace detail {
void AddSocketUse() { ++g_useCount; }
void ReleaseSocketUse() { --g_useCount; }
} // namespace detail

void WSocketForceLoadWinsock()
{
    bool expected = false;
    if (g_forced.compare_exchange_strong(expected, true))
        ++g_useCount;
}

void WSocketCancelForceLoadWinsock()
{
    bool expected = true;
    if (g_forced.compare_exchange_strong(expected, false))
        --g_useCount;
}

void WSocketUnloadWinsock()
{
    if (g_forced.exchange(false))
        --g_useCount;
}

int WSocketUseCount()
{
    return g_useCount;
}

TWSAData WinsockInfo()
{
    TWSAData d;
    utsname u{};
    std::string release = "unknown";
    if (::uname(&u) == 0)
        release = u.release;
    // The kernel release up to its second dot: "6.1" of "6.1.0-18-amd64".
    std::size_t cut = release.find('.');
    if (cut != std::string::npos)
        cut = release.find_first_not_of("0123456789", cut + 1);
    d.szDescription = "POSIX sockets on Linux " + release.substr(0, cut);
    d.szSystemStatus = "Running";
    rlimit rl{};
    d.iMaxSockets = (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < 32767)
                        ? static_cast<int>(rl.rlim_cur)
                        : 32767;
    d.iMaxUdpDg = 65507;
    return d;
}

} // namespace tarsel
