#include "scriptedftpserver.h"

#include <QTimer>

namespace tarsel::test {

ScriptedFtpServer::ScriptedFtpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedFtpServer::onNewControl);
    connect(&m_dataServer, &QTcpServer::newConnection, this, &ScriptedFtpServer::onNewData);
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    if (m_data)
        m_data->abort();
    if (m_control)
        m_control->abort();
}

bool ScriptedFtpServer::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void ScriptedFtpServer::onNewControl()
{
    while (QTcpSocket *s = m_server.nextPendingConnection()) {
        s->setParent(this);
        if (m_control)
            m_control->abort();
        m_control = s;
        m_in.clear();
        connect(s, &QTcpSocket::readyRead, this, &ScriptedFtpServer::onControlData);
        if (!greeting.isEmpty())
            s->write(greeting);
    }
}

void ScriptedFtpServer::onControlData()
{
    if (!m_control)
        return;
    m_in += m_control->readAll();
    for (;;) {
        int nl = m_in.indexOf('\n');
        if (nl < 0)
            break;
        QByteArray cmd = m_in.left(nl);
        m_in.remove(0, nl + 1);
        if (cmd.endsWith('\r'))
            cmd.chop(1);
        commands << cmd;
        handle(cmd);
        if (!m_control)
            break;
    }
}

void ScriptedFtpServer::reply(const QByteArray &raw)
{
    if (m_control && m_control->state() == QAbstractSocket::ConnectedState)
        m_control->write(raw);
}

void ScriptedFtpServer::dropControl()
{
    if (m_control)
        m_control->disconnectFromHost();
}

void ScriptedFtpServer::resetControl()
{
    if (m_control)
        m_control->abort();
}

bool ScriptedFtpServer::controlConnected() const
{
    return m_control && m_control->state() == QAbstractSocket::ConnectedState;
}

void ScriptedFtpServer::onNewData()
{
    while (QTcpSocket *s = m_dataServer.nextPendingConnection()) {
        s->setParent(this);
        ++dataConnections;
        if (m_data)
            m_data->abort();
        m_data = s;
        runReady();
    }
}

void ScriptedFtpServer::runReady()
{
    if (m_data && m_ready) {
        auto ready = std::move(m_ready);
        m_ready = nullptr;
        ready(m_data);
    }
}

void ScriptedFtpServer::openData(std::function<void(QTcpSocket *)> ready)
{
    m_ready = std::move(ready);
    if (m_passiveMode) {
        runReady();
        return;
    }
    auto *s = new QTcpSocket(this);
    if (m_data)
        m_data->abort();
    m_data = s;
    connect(s, &QTcpSocket::connected, this, [this] {
        ++dataConnections;
        runReady();
    });
    s->connectToHost(activeHost, activePort);
}

void ScriptedFtpServer::sendData(const QByteArray &bytes, std::function<void()> afterClose)
{
    openData([this, bytes, afterClose](QTcpSocket *s) {
        if (afterClose)
            connect(s, &QTcpSocket::disconnected, this, [afterClose] { afterClose(); },
                    Qt::SingleShotConnection);
        s->write(bytes);
        s->disconnectFromHost();
    });
}

void ScriptedFtpServer::receiveData(std::function<void(const QByteArray &)> done)
{
    openData([this, done](QTcpSocket *s) {
        auto *buf = new QByteArray;
        auto collect = [s, buf] { *buf += s->readAll(); };
        connect(s, &QTcpSocket::readyRead, this, collect);
        connect(s, &QTcpSocket::disconnected, this, [collect, buf, done] {
            collect();
            QByteArray got = *buf;
            delete buf;
            done(got);
        }, Qt::SingleShotConnection);
        collect();
    });
}

void ScriptedFtpServer::closeData()
{
    if (m_data)
        m_data->disconnectFromHost();
}

void ScriptedFtpServer::defaultRetr(const QByteArray &arg)
{
    auto it = files.find(arg);
    if (it == files.end()) {
        line("550 " + arg + ": No such file");
        return;
    }
    QByteArray content = it->second.mid(restOffset);
    restOffset = 0;
    line("150 Opening data connection for " + arg);
    sendData(content, [this] { line("226 Transfer complete"); });
}

void ScriptedFtpServer::defaultStor(const QByteArray &arg, bool append)
{
    qint64 offset = restOffset;
    restOffset = 0;
    line("150 Ok to send data");
    receiveData([this, arg, append, offset](const QByteArray &got) {
        QByteArray &f = files[arg];
        if (append)
            f += got;
        else if (offset > 0)
            f = f.left(offset) + got;
        else
            f = got;
        line("226 Transfer complete");
    });
}

void ScriptedFtpServer::defaultList(const QByteArray &, bool namesOnly)
{
    QByteArray listing;
    for (const auto &[name, content] : files) {
        if (namesOnly)
            listing += name + "\r\n";
        else
            listing += "-rw-r--r--    1 ftp      ftp      " + QByteArray::number(content.size()) +
                       " Jan 01 12:00 " + name + "\r\n";
    }
    line("150 Here comes the directory listing");
    sendData(listing, [this] { line("226 Directory send OK"); });
}

void ScriptedFtpServer::handle(const QByteArray &cmdLine)
{
    int sp = cmdLine.indexOf(' ');
    QByteArray verb = (sp < 0 ? cmdLine : cmdLine.left(sp)).toUpper();
    QByteArray arg = sp < 0 ? QByteArray() : cmdLine.mid(sp + 1);
    if (verb == "PASV" || verb == "PORT")
        m_passiveMode = verb == "PASV";
    if (verb == "PASV" || verb == "PORT") {
        // Each transfer gets a fresh data connection.
        if (m_data)
            m_data->abort();
        m_data = nullptr;
        m_ready = nullptr;
    }
    if (verb == "PASV") {
        if (!m_dataServer.isListening())
            m_dataServer.listen(QHostAddress::LocalHost, 0);
    }
    auto custom = m_handlers.find(verb);
    if (custom != m_handlers.end()) {
        custom->second(arg);
        return;
    }
    if (verb == "USER") {
        line("331 Password required");
    } else if (verb == "PASS") {
        line("230 Logged in");
    } else if (verb == "SYST") {
        line("215 UNIX Type: L8");
    } else if (verb == "TYPE") {
        line("200 Type set to " + arg);
    } else if (verb == "PWD") {
        line("257 \"/\" is the current directory");
    } else if (verb == "CWD" || verb == "CDUP" || verb == "RMD" || verb == "DELE" || verb == "RNTO") {
        line("250 Okay");
    } else if (verb == "MKD") {
        line("257 \"/" + arg + "\" created");
    } else if (verb == "RNFR") {
        line("350 Ready for RNTO");
    } else if (verb == "NOOP") {
        line("200 NOOP ok");
    } else if (verb == "PASV") {
        quint16 p = m_dataServer.serverPort();
        line(pasvReply.isEmpty() ? "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(p / 256) +
                                       "," + QByteArray::number(p % 256) + ")"
                                 : pasvReply);
    } else if (verb == "PORT") {
        QList<QByteArray> n = arg.split(',');
        if (n.size() != 6) {
            line("501 Bad PORT");
            return;
        }
        activeHost = QHostAddress(QString::fromLatin1(n[0] + "." + n[1] + "." + n[2] + "." + n[3]));
        activePort = static_cast<quint16>(n[4].toInt() * 256 + n[5].toInt());
        line("200 PORT command successful");
    } else if (verb == "REST") {
        restOffset = arg.toLongLong();
        line("350 Restarting at " + arg);
    } else if (verb == "SIZE") {
        auto it = files.find(arg);
        if (it == files.end())
            line("550 Could not get file size");
        else
            line("213 " + QByteArray::number(it->second.size()));
    } else if (verb == "RETR") {
        defaultRetr(arg);
    } else if (verb == "STOR" || verb == "APPE") {
        defaultStor(arg, verb == "APPE");
    } else if (verb == "LIST" || verb == "NLST") {
        defaultList(arg, verb == "NLST");
    } else if (verb == "QUIT") {
        line("221 Goodbye");
        dropControl();
    } else if (verb == "ABOR") {
        line("226 ABOR ok");
    } else {
        line("502 Command not implemented");
    }
}

} // namespace tarsel::test
