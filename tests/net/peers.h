#pragma once
// Plain POSIX loopback peers for the socket tests.

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace peers {

// A blocking listener on 127.0.0.1 with a port the system chose.
struct Listener {
    int fd = -1;
    int port = 0;
    Listener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin);
        ::listen(fd, 8);
        socklen_t len = sizeof sin;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&sin), &len);
        port = ntohs(sin.sin_port);
    }
    ~Listener()
    {
        if (fd >= 0)
            ::close(fd);
    }
    std::string Port() const { return std::to_string(port); }
    // Non-blocking accept: -1 while nobody connected.
    int TryAccept() const
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            return -1;
        return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    }
};

// A free port on 127.0.0.1 that nobody listens on.
inline int UnusedPort()
{
    Listener l;
    return l.port; // closed when l goes out of scope
}

// A blocking client connected to 127.0.0.1:port.
inline int ConnectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sin.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool SendAll(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t r = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (r <= 0)
            return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

// What is readable now without blocking (up to max bytes); empty when nothing.
inline std::string ReadAvailable(int fd, std::size_t max = 1 << 20)
{
    std::string out;
    char buf[65536];
    while (out.size() < max) {
        const ssize_t r = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (r <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
}

// True when the peer has closed (a read returns 0); does not block.
inline bool PeerClosed(int fd)
{
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
}

// Reads a peer handle on its own thread until `expect` bytes arrived (0: until the
// end of the stream or an error), optionally in small slow steps.
class Drain {
public:
    Drain(int fd, std::size_t expect, std::size_t step = 65536, int pauseMicros = 0)
        : m_fd(fd), m_thread([this, fd, expect, step, pauseMicros] {
              std::string buf(step, '\0');
              for (;;) {
                  if (expect && data.size() >= expect)
                      break;
                  const ssize_t r = ::recv(fd, buf.data(), buf.size(), 0);
                  if (r <= 0) {
                      eof = (r == 0);
                      break;
                  }
                  data.append(buf.data(), static_cast<std::size_t>(r));
                  received = data.size();
                  if (pauseMicros)
                      ::usleep(static_cast<useconds_t>(pauseMicros));
              }
              done = true;
          })
    {
    }
    ~Drain()
    {
        if (!done)
            ::shutdown(m_fd, SHUT_RDWR); // a failed test must not hang here
        if (m_thread.joinable())
            m_thread.join();
    }
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    std::string data; // read it after done
    std::atomic<std::size_t> received{0};
    std::atomic<bool> done{false};
    std::atomic<bool> eof{false};

private:
    int m_fd;
    std::thread m_thread;
};

} // namespace peers
