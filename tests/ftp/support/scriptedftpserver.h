#pragma once
// A scripted FTP server on 127.0.0.1 for protocol tests. By default it behaves like a
// small, well-mannered server over an in-memory file table; a test replaces the
// answer to any verb with its own handler to script odd codes, multi-line replies,
// data-connection orders, drops, stalls and hostile replies.

#include <functional>
#include <map>

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace tarsel::test {

class ScriptedFtpServer : public QObject {
public:
    using Handler = std::function<void(const QByteArray &arg)>;

    explicit ScriptedFtpServer(QObject *parent = nullptr);
    ~ScriptedFtpServer() override;

    bool start();
    quint16 port() const { return m_server.serverPort(); }
    QByteArray portText() const { return QByteArray::number(port()); }

    // Replaces the answer to a verb (upper case, e.g. "RETR").
    void on(const QByteArray &verb, Handler h) { m_handlers[verb] = std::move(h); }

    // Sent raw when a client connects; empty sends nothing (a stalled greeting).
    QByteArray greeting = "220 Scripted server ready\r\n";
    // When set, the PASV answer line (without CRLF); the data listener still opens.
    QByteArray pasvReply;
    // In-memory files served and stored by the default handlers.
    std::map<QByteArray, QByteArray> files;
    // Every command line received, verbatim, in order.
    QList<QByteArray> commands;
    qint64 restOffset = 0;
    int dataConnections = 0;

    // Control connection.
    void reply(const QByteArray &raw);
    void line(const QByteArray &text) { reply(text + "\r\n"); }
    void dropControl();
    void resetControl();
    bool controlConnected() const;

    // Data connection: ready runs once the data connection is up (passive: accepted on
    // the PASV listener; active: connected to the PORT address).
    void openData(std::function<void(QTcpSocket *)> ready);
    // Writes the bytes, closes, and runs afterClose once the close is done.
    void sendData(const QByteArray &bytes, std::function<void()> afterClose = {});
    // Collects what the client sends until it closes, then runs done.
    void receiveData(std::function<void(const QByteArray &)> done);
    void closeData();
    QTcpSocket *data() const { return m_data; }
    quint16 pasvPort() const { return m_dataServer.serverPort(); }
    QHostAddress activeHost;
    quint16 activePort = 0;

    // Default behaviours, callable from custom handlers.
    void defaultRetr(const QByteArray &arg);
    void defaultStor(const QByteArray &arg, bool append);
    void defaultList(const QByteArray &arg, bool namesOnly);

private:
    void onNewControl();
    void onControlData();
    void onNewData();
    void handle(const QByteArray &cmdLine);
    void runReady();

    QTcpServer m_server;
    QTcpServer m_dataServer;
    QPointer<QTcpSocket> m_control;
    QPointer<QTcpSocket> m_data;
    QByteArray m_in;
    std::map<QByteArray, Handler> m_handlers;
    std::function<void(QTcpSocket *)> m_ready;
    bool m_passiveMode = false;
};

} // namespace tarsel::test
