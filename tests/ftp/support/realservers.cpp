#include "realservers.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace tarsel::test {

namespace {

// Where scripts/setup.d/ftp-servers.sh unpacks the servers that conflict with vsftpd.
QString UnpackedRoot() { return QStringLiteral(TARSEL_BINARY_DIR "/ftp-servers/root"); }

bool WriteText(const QString &path, const QByteArray &text, QFile::Permissions perms = {})
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(text);
    f.close();
    return perms ? f.setPermissions(perms) : true;
}

// Waits (bounded) until the port accepts and says 220.
bool WaitForGreeting(quint16 port, QProcess &p)
{
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (p.state() == QProcess::NotRunning)
            return false;
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(500)) {
            QByteArray got;
            while (!got.contains('\n') && s.waitForReadyRead(1000))
                got += s.readAll();
            if (got.startsWith("220"))
                return true;
        }
        p.waitForReadyRead(50); // the server is still starting: a pause bounded by its output
    }
    return false;
}

bool IsRoot() { return ::geteuid() == 0; }

// crypt(3) SHA-512 hash of "secret", the fixtures' password.
const QByteArray CryptSecret =
    "$6$tarselsalt$RW.RL8/QRXVoypq4ggExz3cZcO5SJW.R1utUmH3IBrLlIfCzODua1s7Z8QgS2TocG4m/7xwJtMOXIIHjUppoW1";

} // namespace

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

RealServer::~RealServer() { stop(); }

void RealServer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

static std::unique_ptr<RealServer> StartOnce(const QString &kind, QString *why)
{
    auto s = std::make_unique<RealServer>();
    s->kind = kind;
    s->port = FreeLoopbackPort();
    const QString dir = s->tmp.path();
    // The servers' own users must reach the folders inside.
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                   QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const passwd *ftpUser = ::getpwnam("ftp");
    QString program;
    QStringList args;

    if (kind == "vsftpd") {
        program = "/usr/sbin/vsftpd";
        if (!QFileInfo::exists(program)) {
            *why = "vsftpd is not installed";
            return nullptr;
        }
        if (!IsRoot() || !ftpUser) {
            *why = "vsftpd's anonymous chroot needs root and the ftp user";
            return nullptr;
        }
        QDir(dir).mkpath("root/pub");
        QDir(dir).mkpath("empty");
        QFile::setPermissions(dir + "/root", QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                 QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        if (::chown(QFile::encodeName(dir + "/root/pub").constData(), ftpUser->pw_uid, ftpUser->pw_gid) != 0) {
            *why = "cannot hand the upload folder to the ftp user";
            return nullptr;
        }
        QByteArray conf = "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" +
                          QByteArray::number(s->port) +
                          "\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=YES\n"
                          "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
                          "anon_umask=022\nno_anon_password=YES\nconnect_from_port_20=NO\nport_enable=YES\n"
                          "pasv_enable=YES\npasv_address=127.0.0.1\nseccomp_sandbox=NO\nxferlog_enable=NO\n"
                          "dirmessage_enable=NO\nftp_username=ftp\nanon_root=" +
                          QFile::encodeName(dir + "/root") + "\nsecure_chroot_dir=" + QFile::encodeName(dir + "/empty") + "\n";
        WriteText(dir + "/vsftpd.conf", conf);
        args << dir + "/vsftpd.conf";
        s->user = "anonymous";
        s->password = "tester@example.org";
        s->remoteDir = "/pub";
        s->localDir = dir + "/root/pub";
    } else if (kind == "proftpd") {
        program = UnpackedRoot() + "/usr/sbin/proftpd";
        if (!QFileInfo::exists(program)) {
            *why = "proftpd is not unpacked (scripts/setup.d/ftp-servers.sh)";
            return nullptr;
        }
        if (!IsRoot() || !ftpUser) {
            *why = "proftpd's fixture needs root and the ftp user";
            return nullptr;
        }
        QDir(dir).mkpath("root");
        ::chown(QFile::encodeName(dir + "/root").constData(), ftpUser->pw_uid, ftpUser->pw_gid);
                const QByteArray hash = CryptSecret;
        const group *g = ::getgrgid(ftpUser->pw_gid);
        WriteText(dir + "/passwd",
                  "tester:" + hash + ":" + QByteArray::number(ftpUser->pw_uid) + ":" +
                      QByteArray::number(ftpUser->pw_gid) + "::" + QFile::encodeName(dir + "/root") + ":/bin/sh\n",
                  QFile::ReadOwner | QFile::WriteOwner);
        WriteText(dir + "/group", QByteArray(g ? g->gr_name : "ftp") + ":x:" + QByteArray::number(ftpUser->pw_gid) + ":\n",
                  QFile::ReadOwner | QFile::WriteOwner);
        QByteArray conf = "ServerType standalone\nDefaultAddress 127.0.0.1\nPort " + QByteArray::number(s->port) +
                          "\nUseIPv6 off\nUser ftp\nGroup nogroup\nPidFile " + QFile::encodeName(dir) +
                          "/proftpd.pid\nScoreboardFile " + QFile::encodeName(dir) +
                          "/scoreboard\nDelayTable none\nWtmpLog off\nUseReverseDNS off\nRequireValidShell off\n"
                          "AuthOrder mod_auth_file.c\nAuthUserFile " + QFile::encodeName(dir) + "/passwd\nAuthGroupFile " +
                          QFile::encodeName(dir) + "/group\nDefaultRoot ~\nAllowOverwrite on\nAllowStoreRestart on\n"
                          "AllowRetrieveRestart on\n<Limit ALL>\n  AllowAll\n</Limit>\n";
        WriteText(dir + "/proftpd.conf", conf);
        args << "-n" << "-q" << "-c" << dir + "/proftpd.conf";
        s->user = "tester";
        s->password = "secret";
        s->remoteDir = "/";
        s->localDir = dir + "/root";
    } else if (kind == "pure-ftpd") {
        program = UnpackedRoot() + "/usr/sbin/pure-ftpd";
        const QString pw = UnpackedRoot() + "/usr/bin/pure-pw";
        if (!QFileInfo::exists(program) || !QFileInfo::exists(pw)) {
            *why = "pure-ftpd is not unpacked (scripts/setup.d/ftp-servers.sh)";
            return nullptr;
        }
        if (!IsRoot() || !ftpUser) {
            *why = "pure-ftpd's fixture needs root and the ftp user";
            return nullptr;
        }
        QDir(dir).mkpath("root");
        ::chown(QFile::encodeName(dir + "/root").constData(), ftpUser->pw_uid, ftpUser->pw_gid);
        // A crypt(3) hash: pure-pw's own default (argon2 with a high cost) takes seconds
        // per login here.
        WriteText(dir + "/pureftpd.passwd",
                  "tester:" + CryptSecret + ":" + QByteArray::number(ftpUser->pw_uid) + ":" +
                      QByteArray::number(ftpUser->pw_gid) + "::" + QFile::encodeName(dir + "/root") +
                      "/./::::::::::::\n",
                  QFile::ReadOwner | QFile::WriteOwner);
        QProcess mkdb;
        mkdb.start(pw, {"mkdb", dir + "/pureftpd.pdb", "-f", dir + "/pureftpd.passwd"});
        if (!mkdb.waitForFinished(10000) || mkdb.exitCode() != 0) {
            *why = "pure-pw mkdb failed: " + QString::fromLocal8Bit(mkdb.readAllStandardError());
            return nullptr;
        }
        args << "-l" << "puredb:" + dir + "/pureftpd.pdb" << "-S" << "127.0.0.1," + QString::number(s->port)
             << "-E" << "-H" << "-u" << "1";
        s->user = "tester";
        s->password = "secret";
        s->remoteDir = "/";
        s->localDir = dir + "/root";
    } else if (kind == "pyftpdlib") {
        program = "/usr/bin/python3";
        QProcess check;
        check.start(program, {"-c", "import pyftpdlib"});
        if (!check.waitForFinished(10000) || check.exitCode() != 0) {
            *why = "python3-pyftpdlib is not installed";
            return nullptr;
        }
        QDir(dir).mkpath("root");
        args << "-m" << "pyftpdlib" << "-i" << "127.0.0.1" << "-p" << QString::number(s->port) << "-w"
             << "-d" << dir + "/root" << "-u" << "tester" << "-P" << "secret";
        s->user = "tester";
        s->password = "secret";
        s->remoteDir = "/";
        s->localDir = dir + "/root";
    } else {
        *why = kind + " has no fixture";
        return nullptr;
    }
    s->process.setProcessChannelMode(QProcess::MergedChannels);
    s->process.start(program, args);
    if (!s->process.waitForStarted(5000) || !WaitForGreeting(s->port, s->process)) {
        *why = kind + " did not start: " + QString::fromLocal8Bit(s->process.readAll());
        s->stop();
        return nullptr;
    }
    return s;
}

// The free port may be taken by another process before the server binds it: try again
// on a new port.
std::unique_ptr<RealServer> StartRealServer(const QString &kind, QString *why)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto s = StartOnce(kind, why);
        if (s || !why->startsWith(kind + " did not start"))
            return s;
    }
    return nullptr;
}

std::unique_ptr<RealServer> StartFtpProxy(QString *why)
{
    const QString program = "/usr/sbin/ftp-proxy";
    if (!QFileInfo::exists(program)) {
        *why = "ftp-proxy is not installed";
        return nullptr;
    }
    if (!IsRoot()) {
        *why = "ftp-proxy's fixture needs root (it changes to the nobody user)";
        return nullptr;
    }
    auto s = std::make_unique<RealServer>();
    s->kind = "ftp-proxy";
    s->port = FreeLoopbackPort();
    const QString conf = s->tmp.path() + "/ftp-proxy.conf";
    WriteText(conf, "[-Global-]\nListen 127.0.0.1\nPort " + QByteArray::number(s->port) +
                        "\nAllowMagicUser yes\nAllowTransProxy no\nDestinationPort 21\nServerType standalone\n"
                        "User nobody\nGroup nogroup\n");
    s->process.setProcessChannelMode(QProcess::MergedChannels);
    s->process.start(program, {"-d", "-n", "-f", conf});
    if (!s->process.waitForStarted(5000) || !WaitForGreeting(s->port, s->process)) {
        *why = "ftp-proxy did not start: " + QString::fromLocal8Bit(s->process.readAll());
        s->stop();
        return nullptr;
    }
    return s;
}

} // namespace tarsel::test
