// Binding of the socket to the event loop: readiness, posted notices, lookups.
#include "net/wsocket_p.h"
#include "net/lookuphold.h"

#include <atomic>
#include <cerrno>

#include <QMetaObject>
#include <QThreadPool>
#include <QTimerEvent>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace tarsel::detail {

WSocketEndpoint::WSocketEndpoint(TCustomWSocket *owner)
    : m_owner(owner), m_link(std::make_shared<Link>())
{
    m_link->target = this;
}

WSocketEndpoint::~WSocketEndpoint()
{
    Unwatch();
    std::lock_guard guard(m_link->lock);
    m_link->target = nullptr;
}

bool WSocketEndpoint::Detach()
{
    // The mark stays with the handle, which lives on (a thread change): watched again,
    // it must not keep bytes below the mark with no quiet check to deliver them.
    if (m_lowWater > 1)
        SetLowWater(1);
    Unwatch();
    m_owner = nullptr;
    {
        std::lock_guard guard(m_link->lock);
        m_link->target = nullptr;
    }
    return m_depth == 0;
}

void WSocketEndpoint::Watch(TSocket handle, bool read)
{
    Unwatch();
    m_handle = handle;
    ++m_watch;
    // The notifiers live as long as the endpoint and move from handle to handle: each
    // one made, switched or deleted wakes the event loop, and a batch makes a data
    // connection per file.
    if (!m_read) {
        m_read = new QSocketNotifier(QSocketNotifier::Read, this);
        m_write = new QSocketNotifier(QSocketNotifier::Write, this);
        QObject::connect(m_read, &QSocketNotifier::activated, this, [this] { onReadable(); });
        QObject::connect(m_write, &QSocketNotifier::activated, this, [this] { onWritable(); });
    }
    m_read->setSocket(handle);
    m_write->setSocket(handle);
    m_read->setEnabled(read);
}

void WSocketEndpoint::Unwatch()
{
    // Off before the handle is closed; kept for the next handle.
    for (QSocketNotifier *n : {m_read, m_write})
        if (n)
            n->setEnabled(false);
    m_handle = INVALID_SOCKET;
    m_connecting = false;
    m_lowWater = 1;
    m_noLowWater = false;
    m_quietCheck.stop();
}

void WSocketEndpoint::SetReadEnabled(bool on)
{
    if (m_read && m_handle != INVALID_SOCKET && m_read->isEnabled() != on)
        m_read->setEnabled(on);
}

void WSocketEndpoint::SetWriteEnabled(bool on)
{
    if (m_writeWatch != 0 && m_writeWatch == m_watch) {
        // Settled when the delivery ends; off takes effect at once.
        m_writeWanted = on;
        if (on)
            return;
    }
    if (m_write && m_handle != INVALID_SOCKET && m_write->isEnabled() != on)
        m_write->setEnabled(on);
}

void WSocketEndpoint::ArmConnect()
{
    m_connecting = true;
    SetReadEnabled(false);
    SetWriteEnabled(true);
}

void WSocketEndpoint::onReadable()
{
    if (!m_owner)
        return;
    TWSocketMessage msg;
    msg.handle = m_handle;
    const TSocketState st = m_owner->State();
    if (st == TSocketState::wsListening && m_owner->m_type == SOCK_STREAM) {
        msg.events = TWSocketMessage::FdAccept;
    } else if (m_owner->m_type != SOCK_STREAM) {
        msg.events = TWSocketMessage::FdRead;
    } else {
        int avail = 0;
        if (m_owner->Eng().Readable(m_handle, &avail) == 0 && avail > 0) {
            msg.events = TWSocketMessage::FdRead;
            msg.readable = avail;
            if (m_owner->m_receiveBatch > 0)
                NoteReadable(avail);
        } else {
            // Nothing readable yet the handle is ready: end of stream or an error.
            char probe;
            const ssize_t r = m_owner->Eng().Recv(m_handle, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
            if (r > 0) {
                msg.events = TWSocketMessage::FdRead;
            } else if (r == 0) {
                msg.events = TWSocketMessage::FdClose;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return;
            } else {
                msg.events = TWSocketMessage::FdClose;
                msg.error = WSocketErrorFromErrno(errno);
            }
        }
    }
    deliver(msg);
}

namespace {
// How long batched reads may find nothing new before what waits below the mark is
// delivered: the longest a slowing flow's bytes wait, and between two checks a flow
// slower than a batch per interval ends the batching.
constexpr int kQuietCheckMs = 20;
} // namespace

void WSocketEndpoint::NoteReadable(int avail)
{
    ++m_readables;
    // A quarter of a batch at one wake-up: the data comes faster than this side wakes.
    const int batch = m_owner->m_receiveBatch;
    if (m_lowWater >= batch || m_noLowWater || avail < batch / 4)
        return;
    if (!SetLowWater(batch)) {
        m_noLowWater = true;
        return;
    }
    m_readablesAtCheck = m_readables;
    m_quietCheck.start(kQuietCheckMs, this);
}

bool WSocketEndpoint::SetLowWater(int bytes)
{
    if (m_handle == INVALID_SOCKET ||
        m_owner->Eng().SetOpt(m_handle, SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes) != 0)
        return false;
    m_lowWater = bytes;
    return true;
}

void WSocketEndpoint::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_quietCheck.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    if (m_owner && m_readables != m_readablesAtCheck) {
        m_readablesAtCheck = m_readables;
        return;
    }
    m_quietCheck.stop();
    // Lowering the mark makes what already waits readable at once.
    if (m_owner && m_lowWater > 1 && !SetLowWater(1))
        m_noLowWater = true;
}

void WSocketEndpoint::onWritable()
{
    if (!m_owner)
        return;
    TWSocketMessage msg;
    msg.handle = m_handle;
    if (m_writeWatch != 0 && m_writeWatch == m_watch) {
        // Again inside a handler's nested event loop: rest until that handler is done.
        m_write->setEnabled(false);
        return;
    }
    if (!m_connecting) {
        // The notifier stays on while the handlers run: one that sends again at once (an
        // upload, block after block) wants it on, and turning it off and on again would
        // wake the event loop twice per block.
        msg.events = TWSocketMessage::FdWrite;
        const std::uint64_t watch = m_watch, outer = m_writeWatch;
        m_writeWatch = watch;
        m_writeWanted = false;
        deliver(msg);
        m_writeWatch = outer;
        if (m_owner && m_watch == watch)
            SetWriteEnabled(m_writeWanted);
        return;
    }
    SetWriteEnabled(false);
    m_connecting = false;
    int err = 0;
    socklen_t len = sizeof err;
    if (m_owner->Eng().GetOpt(m_handle, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    msg.events = TWSocketMessage::FdConnect;
    msg.error = err ? WSocketErrorFromErrno(err) : 0;
    if (!err)
        SetReadEnabled(true);
    deliver(msg);
}

void WSocketEndpoint::deliver(TWSocketMessage &msg)
{
    const std::uint64_t before = m_owner->m_recvCalls;
    const std::uint64_t watch = m_watch;
    ++m_depth;
    m_owner->DispatchMessage(msg);
    --m_depth;
    if (!m_owner) { // the owner was destroyed by its handler
        if (m_depth == 0)
            deleteLater();
        return;
    }
    // Level-triggered readiness would repeat at once for a handler that reads
    // nothing; let it rest until the owner reads or accepts again.
    if ((msg.events & (TWSocketMessage::FdRead | TWSocketMessage::FdAccept)) &&
        m_owner->m_recvCalls == before && m_watch == watch && m_handle != INVALID_SOCKET)
        SetReadEnabled(false);
}

void WSocketEndpoint::Post(const TWSocketMessage &msg)
{
    TWSocketMessage stamped = msg;
    stamped.watch = m_watch;
    QMetaObject::invokeMethod(
        this,
        [this, posted = stamped] {
            TWSocketMessage msg = posted;
            if (!m_owner || (msg.kind == TWSocketMessage::Select &&
                             (msg.handle != m_handle || msg.watch != m_watch)))
                return;
            ++m_depth;
            m_owner->DispatchMessage(msg);
            --m_depth;
            if (!m_owner && m_depth == 0)
                deleteLater();
        },
        Qt::QueuedConnection);
}

namespace {

std::atomic<int> g_lookupIds{0};

// Lookups have their own workers: a resolver that hangs on one name must not hold up
// the application's shared pool, nor other lookups (a cancelled lookup still runs to
// its end in the background). Up to 16 lookups can hang at once; more queue behind
// them. The pool is never destroyed: destroying it at exit would wait for a lookup
// that hangs, so the program would not end.
QThreadPool &lookupPool()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(16);
        p->setExpiryTimeout(10000);
        return p;
    }();
    return *pool;
}

int lookupError(int gai)
{
    switch (gai) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return wsaerr::WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return wsaerr::WSATRY_AGAIN;
    case EAI_FAIL:
        return wsaerr::WSANO_RECOVERY;
    default:
        return wsaerr::WSANO_RECOVERY;
    }
}

} // namespace

std::function<bool(const std::string &)> &lookupHold()
{
    static std::function<bool(const std::string &)> hold;
    return hold;
}

int WSocketEndpoint::StartLookup(const std::string &name, bool reverse)
{
    int id = ++g_lookupIds;
    if (id <= 0) { // wrapped: ids stay positive, 0 means none
        g_lookupIds = 1;
        id = 1;
    }
    if (!reverse && lookupHold() && lookupHold()(name))
        return id; // held: no answer comes
    std::shared_ptr<Link> link = m_link;
    lookupPool().start([link, name, reverse, id] {
        std::vector<std::string> results;
        int error = 0;
        if (reverse) {
            sockaddr_in sin{};
            sin.sin_family = AF_INET;
            if (::inet_pton(AF_INET, name.c_str(), &sin.sin_addr) != 1) {
                error = wsaerr::WSAHOST_NOT_FOUND;
            } else {
                char host[NI_MAXHOST];
                const int r = ::getnameinfo(reinterpret_cast<sockaddr *>(&sin), sizeof sin, host,
                                            sizeof host, nullptr, 0, NI_NAMEREQD);
                if (r != 0)
                    error = lookupError(r);
                else
                    results.emplace_back(host);
            }
        } else {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo *res = nullptr;
            const int r = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
            if (r != 0) {
                error = lookupError(r);
            } else {
                for (addrinfo *p = res; p; p = p->ai_next) {
                    if (p->ai_family == AF_INET)
                        results.push_back(WSocketAddrToStr(
                            reinterpret_cast<sockaddr_in *>(p->ai_addr)->sin_addr));
                }
                ::freeaddrinfo(res);
                if (results.empty())
                    error = wsaerr::WSANO_DATA;
            }
        }
        std::lock_guard guard(link->lock);
        if (WSocketEndpoint *target = link->target) {
            QMetaObject::invokeMethod(
                target,
                [target, id, results = std::move(results), error] {
                    if (TCustomWSocket *owner = target->m_owner) {
                        ++target->m_depth;
                        owner->SafeCall([&] { owner->LookupDone(id, results, error); });
                        --target->m_depth;
                        if (!target->m_owner && target->m_depth == 0)
                            target->deleteLater();
                    }
                },
                Qt::QueuedConnection);
        }
    });
    return id;
}

} // namespace tarsel::detail

namespace tarsel {
void WSocketSetLookupHold(std::function<bool(const std::string &name)> hold)
{
    detail::lookupHold() = std::move(hold);
}
} // namespace tarsel
