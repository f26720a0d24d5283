#pragma once
// Shared pieces of the FTP tests: file helpers, a port nobody listens on, the mode
// column and a client connected to the scripted server.

#include <functional>

#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include "support/ftpharness.h"
#include "support/scriptedftpserver.h"

namespace tarsel::test {

// Bytes whose value depends on their position, so that loss or reordering shows.
inline QByteArray Pattern(qint64 n)
{
    QByteArray b(n, Qt::Uninitialized);
    for (qint64 i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return b;
}

inline QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

[[nodiscard]] inline bool WriteFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

// A local port with no listener behind it (it was free a moment ago).
inline quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The "passive" column of tests run in both modes; BothModes adds the two rows too.
inline void AddModes()
{
    QTest::addColumn<bool>("passive");
}

// A row of a table that has the "passive" column, named after its mode.
inline QTestData &ModeRow(bool passive, const QByteArray &name)
{
    return QTest::newRow((QByteArray(passive ? "passive " : "active ") + name).constData());
}

inline void BothModes()
{
    AddModes();
    QTest::newRow("passive") << true;
    QTest::newRow("active") << false;
}

// Runs action once cond holds, checked from the event loop: orders a server's steps
// after what the client has done, without guessing times. Stops with ctx.
inline void When(QObject *ctx, std::function<bool()> cond, std::function<void()> action)
{
    auto *poll = new QTimer(ctx);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, ctx, [poll, cond = std::move(cond), action = std::move(action)] {
        if (!cond())
            return;
        poll->stop();
        poll->deleteLater();
        action();
    });
    poll->start();
}

// Starts the server unless it runs already and logs the client in, in the given mode.
[[nodiscard]] inline bool ConnectScripted(FtpHarness &h, ScriptedFtpServer &srv, bool passive)
{
    if (srv.port() == 0 && !srv.start())
        return false;
    h.ftp.SetPassive(passive);
    return h.connectTo(srv.port());
}

} // namespace tarsel::test
