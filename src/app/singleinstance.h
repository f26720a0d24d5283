#pragma once
#include <QObject>
#include <memory>

#include "common/event.h"

class QLocalServer;
class QLockFile;

namespace tarsel {

// One running instance per user: a lock file in the user's runtime folder, and a local
// socket beside it on which a later instance asks the running one to restore its window.
class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` empty: the user's runtime folder.
    explicit TSingleInstance(QString folder = {});
    ~TSingleInstance() override;

    // True when this process is now the instance; it then listens for restore requests.
    bool TryAcquire();
    // From a second instance: asks the running one to restore and raise its window.
    bool AskRunningToRestore(int timeoutMs = 2000);

    // A second instance asked for the window.
    TEvent<> OnRestoreRequested;

    QString LockPath() const;
    QString ServerPath() const;

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

} // namespace tarsel
