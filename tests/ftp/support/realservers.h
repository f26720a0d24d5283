#pragma once
// Real FTP servers from Debian, started on free loopback ports with generated
// configuration in a temporary folder, and Debian's ftp-proxy in front of one.
// A server that cannot run here gives a reason instead, and its tests skip.

#include <memory>

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tarsel::test {

struct RealServer {
    QString kind;
    quint16 port = 0;
    std::string user;
    std::string password;
    std::string remoteDir; // a writable folder as the server names it
    QString localDir;      // the same folder on disk, to compare files byte for byte
    QTemporaryDir tmp;
    QProcess process;

    ~RealServer();
    void stop();
};

// kind: "vsftpd", "proftpd", "pure-ftpd" or "pyftpdlib". Null with why set when the
// server is not available here.
std::unique_ptr<RealServer> StartRealServer(const QString &kind, QString *why);
// Debian's ftp-proxy on a free port, taking the real server from the user name.
std::unique_ptr<RealServer> StartFtpProxy(QString *why);

// A free loopback TCP port (free when this returns).
quint16 FreeLoopbackPort();

} // namespace tarsel::test
