// Streams data over loopback through TWSocket and, in the same run, through plain POSIX
// sockets, and prints the rates and their ratios. Each comparison puts the same amount
// of work on the same number of threads on both sides:
//
//   receive   a blocking POSIX sender thread feeds this thread, which reads with a
//             TWSocket (event loop) or with blocking recv calls, both woken per 128 KiB
//   send      this thread sends with a TWSocket or with blocking send calls to a
//             blocking POSIX receiver thread
//   one thread  both ends in this thread: two TWSockets on its event loop, or two
//             non-blocking POSIX sockets driven by poll
//
// An FTP client owns one end of each connection (the server the other), so "receive"
// and "send" are what a download and an upload cost; "one thread" adds the cost of
// both ends sharing one core.
//
//   bench_net_socket [--mib N=256] [--runs R=5] [--only receive|send|one] [--no-posix]
//                    [BufSize...]   (default BufSize 1514 65536)
//
// --only and --no-posix narrow a run down for a profiler.
//
// The paths take turns and the median of each counts, so a busy machine disturbs all
// of them alike.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/wsocket.h"

using namespace tarsel;

namespace {

constexpr int kBlock = 65536; // application write and read size on every path

const std::string &block()
{
    static const std::string b = [] {
        std::string s(kBlock, '\0');
        for (int i = 0; i < kBlock; ++i)
            s[std::size_t(i)] = static_cast<char>(i * 31 + 7);
        return s;
    }();
    return b;
}

// A loopback listener on a free port.
struct Listener {
    int fd = -1;
    sockaddr_in sin{};
    Listener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sin;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) != 0 || ::listen(fd, 1) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&sin), &len) != 0) {
            std::perror("listener");
            std::exit(1);
        }
    }
    ~Listener() { ::close(fd); }
    std::string port() const { return std::to_string(ntohs(sin.sin_port)); }
    int connect() const
    {
        const int c = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(c, reinterpret_cast<const sockaddr *>(&sin), sizeof sin) != 0) {
            ::close(c);
            return -1;
        }
        return c;
    }
};

std::int64_t blockingSend(int fd, std::int64_t total)
{
    std::int64_t sent = 0;
    while (sent < total) {
        const auto n = std::size_t(std::min<std::int64_t>(kBlock, total - sent));
        const ssize_t r = ::send(fd, block().data(), n, MSG_NOSIGNAL);
        if (r <= 0)
            break;
        sent += r;
    }
    return sent;
}

// Both receivers are woken once this much waits, as the FTP client's downloads are
// (TWSocket::SetReceiveBatch; for the blocking reader, the same low-water mark).
constexpr int kReceiveBatch = 128 * 1024;

std::int64_t blockingRecv(int fd)
{
    std::vector<char> buf(kBlock);
    std::int64_t got = 0;
    for (;;) {
        const ssize_t r = ::recv(fd, buf.data(), buf.size(), 0);
        if (r <= 0)
            break;
        got += r;
    }
    return got;
}

void pump(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// ---- receive: a blocking sender thread, this thread reads ---------------------------

double recvPosix(std::int64_t total, int)
{
    Listener l;
    QElapsedTimer t;
    t.start();
    std::thread peer([&] {
        const int fd = l.connect();
        blockingSend(fd, total);
        ::close(fd);
    });
    const int fd = ::accept(l.fd, nullptr, nullptr);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVLOWAT, &kReceiveBatch, sizeof kReceiveBatch);
    const std::int64_t got = blockingRecv(fd);
    const double secs = double(t.nsecsElapsed()) / 1e9;
    peer.join();
    ::close(fd);
    return got == total ? secs : -1;
}

double recvWSocket(std::int64_t total, int bufSize)
{
    Listener l;
    QElapsedTimer t;
    t.start();
    std::thread peer([&] {
        const int fd = l.connect();
        blockingSend(fd, total);
        ::close(fd);
    });
    TWSocket receiver;
    receiver.SetBufSize(bufSize);
    receiver.SetReceiveBatch(kReceiveBatch);
    std::int64_t got = 0;
    bool closed = false;
    std::vector<char> buf(kBlock);
    receiver.OnDataAvailable = [&](TCustomWSocket *w, int) {
        const int n = w->Receive(buf.data(), kBlock);
        if (n > 0)
            got += n;
    };
    receiver.OnSessionClosed = [&](TCustomWSocket *, int) { closed = true; };
    receiver.Dup(::accept(l.fd, nullptr, nullptr));
    pump([&] { return closed; });
    const double secs = double(t.nsecsElapsed()) / 1e9;
    peer.join();
    return got == total ? secs : -1;
}

// ---- send: this thread sends, a blocking receiver thread reads -----------------------

double sendPosix(std::int64_t total, int)
{
    Listener l;
    std::int64_t got = 0;
    QElapsedTimer t;
    t.start();
    std::thread peer([&] {
        const int fd = ::accept(l.fd, nullptr, nullptr);
        got = blockingRecv(fd);
        ::close(fd);
    });
    const int fd = l.connect();
    blockingSend(fd, total);
    ::close(fd);
    peer.join();
    const double secs = double(t.nsecsElapsed()) / 1e9;
    return got == total ? secs : -1;
}

double sendWSocket(std::int64_t total, int bufSize)
{
    Listener l;
    std::int64_t got = 0;
    QElapsedTimer t;
    t.start();
    std::thread peer([&] {
        const int fd = ::accept(l.fd, nullptr, nullptr);
        got = blockingRecv(fd);
        ::close(fd);
    });
    TWSocket sender;
    sender.SetBufSize(bufSize);
    std::int64_t queued = 0;
    bool failed = false, closed = false;
    auto refill = [&] {
        // One block per "sent" notification, as an upload sends and as the POSIX
        // paths send one block per call or per readiness.
        if (queued < total) {
            const int len = int(std::min<std::int64_t>(kBlock, total - queued));
            sender.Send(block().data(), len);
            queued += len;
        } else if (sender.AllSent()) {
            sender.Close();
        }
    };
    sender.OnSessionConnected = [&](TCustomWSocket *, int e) {
        if (e)
            failed = true;
        else
            refill();
    };
    sender.OnDataSent = [&](TCustomWSocket *, int) { refill(); };
    sender.OnSessionClosed = [&](TCustomWSocket *, int) { closed = true; };
    sender.SetAddr("127.0.0.1");
    sender.SetPort(l.port());
    sender.Connect();
    pump([&] { return closed || failed; });
    peer.join();
    const double secs = double(t.nsecsElapsed()) / 1e9;
    return got == total && !failed ? secs : -1;
}

// ---- one thread: both ends here ------------------------------------------------------

double pairPosix(std::int64_t total, int)
{
    Listener l;
    QElapsedTimer t;
    t.start();
    const int out = l.connect();
    const int in = ::accept(l.fd, nullptr, nullptr);
    ::fcntl(out, F_SETFL, O_NONBLOCK);
    ::fcntl(in, F_SETFL, O_NONBLOCK);
    std::vector<char> buf(kBlock);
    std::int64_t sent = 0, got = 0;
    while (got < total) {
        pollfd p[2] = {{in, POLLIN, 0}, {out, sent < total ? short(POLLOUT) : short(0), 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            break;
        if (p[1].revents & POLLOUT) {
            const auto n = std::size_t(std::min<std::int64_t>(kBlock, total - sent));
            const ssize_t r = ::send(out, block().data(), n, MSG_NOSIGNAL);
            if (r > 0)
                sent += r;
        }
        if (p[0].revents & POLLIN) {
            const ssize_t r = ::recv(in, buf.data(), buf.size(), 0);
            if (r > 0)
                got += r;
        }
    }
    const double secs = double(t.nsecsElapsed()) / 1e9;
    ::close(out);
    ::close(in);
    return got == total ? secs : -1;
}

double pairWSocket(std::int64_t total, int bufSize)
{
    TWSocket server, sender, receiver;
    std::int64_t queued = 0;
    std::int64_t received = 0;
    bool failed = false;
    auto refill = [&] {
        if (queued < total) {
            const int len = int(std::min<std::int64_t>(kBlock, total - queued));
            sender.Send(block().data(), len);
            queued += len;
        }
    };
    sender.SetBufSize(bufSize);
    receiver.SetBufSize(bufSize);
    sender.OnSessionConnected = [&](TCustomWSocket *, int e) {
        if (e)
            failed = true;
        else
            refill();
    };
    sender.OnDataSent = [&](TCustomWSocket *, int) { refill(); };
    std::vector<char> buf(kBlock);
    receiver.OnDataAvailable = [&](TCustomWSocket *w, int) {
        const int n = w->Receive(buf.data(), kBlock);
        if (n > 0)
            received += n;
    };
    server.OnSessionAvailable = [&](TCustomWSocket *w, int) { receiver.Dup(w->Accept()); };
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();

    QElapsedTimer t;
    t.start();
    sender.SetAddr("127.0.0.1");
    sender.SetPort(server.GetXPort());
    sender.Connect();
    pump([&] { return received >= total || failed; });
    const double secs = double(t.nsecsElapsed()) / 1e9;
    sender.Close();
    receiver.Close();
    return failed ? -1 : secs;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::int64_t mib = 256;
    int runs = 5;
    std::vector<int> bufSizes;
    std::string only;
    bool posix = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--no-posix"))
            posix = false;
        else if (!std::strcmp(argv[i], "--mib") && i + 1 < argc)
            mib = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            bufSizes.push_back(std::atoi(argv[i]));
    }
    if (bufSizes.empty())
        bufSizes = {1514, 65536};
    const std::int64_t total = mib << 20;
    const double mb = double(total) / (1 << 20);

    struct Pair {
        const char *name;
        double (*posix)(std::int64_t, int);
        double (*wsocket)(std::int64_t, int);
    };
    const Pair pairs[] = {{"receive", recvPosix, recvWSocket},
                          {"send", sendPosix, sendWSocket},
                          {"one thread", pairPosix, pairWSocket}};

    std::printf("Streaming %lld MiB over 127.0.0.1, %d runs per path taking turns, medians; "
                "ratio = POSIX time / TWSocket time (1.00: as fast)\n",
                static_cast<long long>(mib), runs);
    bool ok = true;
    for (const Pair &p : pairs) {
        if (!only.empty() && std::strncmp(p.name, only.c_str(), only.size()) != 0)
            continue;
        std::vector<double> ref;
        std::vector<std::vector<double>> ws(bufSizes.size());
        for (int r = 0; r < runs; ++r) {
            ref.push_back(posix ? p.posix(total, 0) : 1);
            for (std::size_t i = 0; i < bufSizes.size(); ++i)
                ws[i].push_back(p.wsocket(total, bufSizes[i]));
        }
        const double refSecs = median(ref);
        if (*std::min_element(ref.begin(), ref.end()) <= 0) {
            std::fprintf(stderr, "%s: POSIX transfer failed\n", p.name);
            ok = false;
            continue;
        }
        std::printf("%s\n  %-26s %8.1f MiB/s  (%.3f s)\n", p.name, "POSIX sockets", mb / refSecs, refSecs);
        for (std::size_t i = 0; i < bufSizes.size(); ++i) {
            const double s = median(ws[i]);
            if (*std::min_element(ws[i].begin(), ws[i].end()) <= 0) {
                std::fprintf(stderr, "%s: TWSocket transfer failed (BufSize %d)\n", p.name, bufSizes[i]);
                ok = false;
                continue;
            }
            char label[64];
            std::snprintf(label, sizeof label, "TWSocket, BufSize %d", bufSizes[i]);
            std::printf("  %-26s %8.1f MiB/s  (%.3f s)  ratio %.2f\n", label, mb / s, s, refSecs / s);
        }
        std::fflush(stdout);
    }
    return ok ? 0 : 1;
}
