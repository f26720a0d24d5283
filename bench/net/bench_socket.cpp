// Streams data over loopback through a pair of TWSockets (sender and receiver on one
// event loop) and, in the same run, through a plain blocking POSIX socket pair, and
// prints the rates and their ratio.
//
//   bench_net_socket [MiB=1024] [BufSize...]   (default BufSize 1514 and 65536)
//
// Each path runs three times, taking turns, and the best time of each counts, so a
// busy machine disturbs both sides alike.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/wsocket.h"

using namespace tarsel;

namespace {

constexpr int kBlock = 65536; // application write and read size on both paths

std::string makeBlock()
{
    std::string b(kBlock, '\0');
    for (int i = 0; i < kBlock; ++i)
        b[std::size_t(i)] = static_cast<char>(i * 31 + 7);
    return b;
}

// Seconds to move total bytes from one TWSocket to another on this thread's loop.
double runWSocket(std::int64_t total, int bufSize)
{
    const std::string block = makeBlock();
    TWSocket server, sender, receiver;
    std::int64_t queued = 0;
    std::int64_t received = 0;
    bool failed = false;

    auto refill = [&] {
        // Keep a few MiB queued: the queue is what is measured, not one huge copy.
        while (queued < total && sender.BufferedByteCount() < (std::int64_t(4) << 20)) {
            const int len = int(std::min<std::int64_t>(kBlock, total - queued));
            sender.Send(block.data(), len);
            queued += len;
        }
    };
    sender.SetBufSize(bufSize);
    sender.OnSessionConnected = [&](TCustomWSocket *, int e) {
        if (e)
            failed = true;
        else
            refill();
    };
    sender.OnDataSent = [&](TCustomWSocket *, int) { refill(); };
    receiver.OnDataAvailable = [&](TCustomWSocket *w, int) {
        char buf[kBlock];
        const int n = w->Receive(buf, sizeof buf);
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
    while (received < total && !failed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double secs = double(t.nsecsElapsed()) / 1e9;
    sender.Close();
    receiver.Close();
    return failed ? -1 : secs;
}

// Seconds to move total bytes through blocking sockets: a sender thread and this one.
double runPosix(std::int64_t total)
{
    const int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(lfd, reinterpret_cast<sockaddr *>(&sin), sizeof sin);
    ::listen(lfd, 1);
    socklen_t len = sizeof sin;
    ::getsockname(lfd, reinterpret_cast<sockaddr *>(&sin), &len);

    QElapsedTimer t;
    t.start();
    std::thread sender([&] {
        const std::string block = makeBlock();
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) != 0) {
            ::close(fd);
            return;
        }
        std::int64_t sent = 0;
        while (sent < total) {
            const std::size_t n = std::size_t(std::min<std::int64_t>(kBlock, total - sent));
            const ssize_t r = ::send(fd, block.data(), n, MSG_NOSIGNAL);
            if (r <= 0)
                break;
            sent += r;
        }
        ::close(fd);
    });
    const int fd = ::accept(lfd, nullptr, nullptr);
    std::int64_t received = 0;
    std::vector<char> buf(kBlock);
    while (received < total) {
        const ssize_t r = ::recv(fd, buf.data(), buf.size(), 0);
        if (r <= 0)
            break;
        received += r;
    }
    const double secs = double(t.nsecsElapsed()) / 1e9;
    sender.join();
    ::close(fd);
    ::close(lfd);
    return received == total ? secs : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    std::vector<int> bufSizes;
    for (int i = 2; i < argc; ++i)
        bufSizes.push_back(std::atoi(argv[i]));
    if (bufSizes.empty())
        bufSizes = {1514, 65536};
    const std::int64_t total = mib << 20;
    const double mb = double(total) / (1 << 20);

    std::printf("Streaming %lld MiB over 127.0.0.1 (best of 3 runs each)\n", static_cast<long long>(mib));
    constexpr int kRounds = 3;
    double ref = 0;
    std::vector<double> best(bufSizes.size(), 0);
    for (int round = 0; round < kRounds; ++round) {
        const double r = runPosix(total);
        if (r <= 0) {
            std::fprintf(stderr, "reference transfer failed\n");
            return 1;
        }
        ref = ref == 0 ? r : std::min(ref, r);
        for (std::size_t i = 0; i < bufSizes.size(); ++i) {
            const double secs = runWSocket(total, bufSizes[i]);
            if (secs <= 0) {
                std::fprintf(stderr, "TWSocket transfer failed\n");
                return 1;
            }
            best[i] = best[i] == 0 ? secs : std::min(best[i], secs);
        }
    }
    std::printf("  %-36s %9.1f MiB/s  (%.2f s)\n", "blocking POSIX sockets, 2 threads", mb / ref, ref);
    for (std::size_t i = 0; i < bufSizes.size(); ++i) {
        char label[64];
        std::snprintf(label, sizeof label, "TWSocket, BufSize %d, 1 thread", bufSizes[i]);
        std::printf("  %-36s %9.1f MiB/s  (%.2f s)  ratio to reference %.2f\n", label, mb / best[i],
                    best[i], ref / best[i]);
    }
    return 0;
}
