#pragma once
// The system calls under a socket. Production uses the POSIX engine; tests can put a
// scripted engine in between to produce results the network rarely gives on demand
// (short sends, failures of close or ioctl, errors of a given kind).
// Every call returns like its POSIX counterpart and sets errno on failure.

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>

namespace tarsel {

class TSocketEngine {
public:
    virtual ~TSocketEngine() = default;
    virtual int Socket(int domain, int type, int protocol) = 0;
    virtual int Close(int fd) = 0;
    virtual int Shutdown(int fd, int how) = 0;
    virtual int Bind(int fd, const sockaddr *addr, socklen_t len) = 0;
    virtual int Listen(int fd, int backlog) = 0;
    virtual int Accept(int fd, sockaddr *addr, socklen_t *len, int flags) = 0;
    virtual int Connect(int fd, const sockaddr *addr, socklen_t len) = 0;
    virtual ssize_t Send(int fd, const void *data, size_t len, int flags) = 0;
    // Several buffers in one call (sendmsg). An engine that does not gather sends the
    // first buffer only, which is a short send the caller handles anyway.
    virtual ssize_t SendV(int fd, const iovec *iov, int count, int flags)
    {
        return count > 0 ? Send(fd, iov[0].iov_base, iov[0].iov_len, flags) : 0;
    }
    virtual ssize_t SendTo(int fd, const void *data, size_t len, int flags, const sockaddr *to,
                           socklen_t toLen) = 0;
    virtual ssize_t Recv(int fd, void *buffer, size_t len, int flags) = 0;
    virtual ssize_t RecvFrom(int fd, void *buffer, size_t len, int flags, sockaddr *from,
                             socklen_t *fromLen) = 0;
    // Bytes readable now (FIONREAD).
    virtual int Readable(int fd, int *count) = 0;
    virtual int SetOpt(int fd, int level, int name, const void *value, socklen_t len) = 0;
    virtual int GetOpt(int fd, int level, int name, void *value, socklen_t *len) = 0;
    virtual int SockName(int fd, sockaddr *addr, socklen_t *len) = 0;
    virtual int PeerName(int fd, sockaddr *addr, socklen_t *len) = 0;
};

// The engine of every socket that was given no other.
TSocketEngine &PosixSocketEngine();

} // namespace tarsel
