#include "app/singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace tarsel {

namespace {
const QByteArray restoreRequest = "restore\n";
}

TSingleInstance::TSingleInstance(QString folder) : m_folder(std::move(folder))
{
    if (m_folder.isEmpty())
        m_folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (m_folder.isEmpty())
        m_folder = QDir::tempPath();
}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::LockPath() const { return m_folder + QStringLiteral("/tarselftp.lock"); }
QString TSingleInstance::ServerPath() const { return m_folder + QStringLiteral("/tarselftp.socket"); }

bool TSingleInstance::TryAcquire()
{
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(LockPath());
    m_lock->setStaleLockTime(0); // only a lock whose process is gone is stale
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    // We hold the lock, so a socket file left here belongs to a dead instance.
    QLocalServer::removeServer(ServerPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                // A request is one short line; anything longer is not ours.
                if (s->bytesAvailable() > 64) {
                    s->abort();
                    return;
                }
                if (!s->canReadLine())
                    return;
                if (s->readLine() == restoreRequest)
                    OnRestoreRequested.Trigger();
                s->disconnectFromServer();
            });
        }
    });
    if (!m_server->listen(ServerPath()))
        qWarning("Cannot listen for other instances on %s: %s", qPrintable(ServerPath()),
                 qPrintable(m_server->errorString()));
    return true;
}

bool TSingleInstance::AskRunningToRestore(int timeoutMs)
{
    QLocalSocket s;
    s.connectToServer(ServerPath());
    if (!s.waitForConnected(timeoutMs))
        return false;
    s.write(restoreRequest);
    const bool ok = s.waitForBytesWritten(timeoutMs);
    s.disconnectFromServer();
    if (s.state() != QLocalSocket::UnconnectedState)
        s.waitForDisconnected(timeoutMs);
    return ok;
}

} // namespace tarsel
