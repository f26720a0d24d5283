#include "net/wsocket_engine.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace tarsel {

namespace {

class PosixEngine final : public TSocketEngine {
public:
    int Socket(int domain, int type, int protocol) override { return ::socket(domain, type, protocol); }
    int Close(int fd) override { return ::close(fd); }
    int Shutdown(int fd, int how) override { return ::shutdown(fd, how); }
    int Bind(int fd, const sockaddr *addr, socklen_t len) override { return ::bind(fd, addr, len); }
    int Listen(int fd, int backlog) override { return ::listen(fd, backlog); }
    int Accept(int fd, sockaddr *addr, socklen_t *len, int flags) override
    {
        return ::accept4(fd, addr, len, flags);
    }
    int Connect(int fd, const sockaddr *addr, socklen_t len) override { return ::connect(fd, addr, len); }
    ssize_t Send(int fd, const void *data, size_t len, int flags) override
    {
        return ::send(fd, data, len, flags);
    }
    ssize_t SendV(int fd, const iovec *iov, int count, int flags) override
    {
        msghdr m{};
        m.msg_iov = const_cast<iovec *>(iov);
        m.msg_iovlen = static_cast<size_t>(count);
        return ::sendmsg(fd, &m, flags);
    }
    ssize_t SendTo(int fd, const void *data, size_t len, int flags, const sockaddr *to,
                   socklen_t toLen) override
    {
        return ::sendto(fd, data, len, flags, to, toLen);
    }
    ssize_t Recv(int fd, void *buffer, size_t len, int flags) override
    {
        return ::recv(fd, buffer, len, flags);
    }
    ssize_t RecvFrom(int fd, void *buffer, size_t len, int flags, sockaddr *from,
                     socklen_t *fromLen) override
    {
        return ::recvfrom(fd, buffer, len, flags, from, fromLen);
    }
    int Readable(int fd, int *count) override { return ::ioctl(fd, FIONREAD, count); }
    int SetOpt(int fd, int level, int name, const void *value, socklen_t len) override
    {
        return ::setsockopt(fd, level, name, value, len);
    }
    int GetOpt(int fd, int level, int name, void *value, socklen_t *len) override
    {
        return ::getsockopt(fd, level, name, value, len);
    }
    int SockName(int fd, sockaddr *addr, socklen_t *len) override { return ::getsockname(fd, addr, len); }
    int PeerName(int fd, sockaddr *addr, socklen_t *len) override { return ::getpeername(fd, addr, len); }
};

} // namespace

TSocketEngine &PosixSocketEngine()
{
    static PosixEngine engine;
    return engine;
}

} // namespace tarsel
