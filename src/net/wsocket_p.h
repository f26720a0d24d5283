#pragma once
// The binding of a socket to the Qt event loop of its thread.

#include <memory>
#include <mutex>

#include <QBasicTimer>
#include <QObject>
#include <QSocketNotifier>

#include "net/wsocket.h"

namespace tarsel::detail {

bool ParseDotted(const std::string &text, in_addr &out);
void AddSocketUse();
void ReleaseSocketUse();

// Watches one handle: read readiness is level-triggered (repeated while unread data
// remains), write readiness is armed only while a connect runs, a send waits or
// OnDataSent is owed.
// Posted notices run later from the event loop, in order, never inside the caller.
class WSocketEndpoint : public QObject {
public:
    explicit WSocketEndpoint(TCustomWSocket *owner);
    ~WSocketEndpoint() override;

    // The owner goes away: nothing reaches it any more. Returns true when the endpoint
    // may be deleted now, false when it is inside one of its own deliveries.
    bool Detach();

    // Watches a new handle, its read readiness at once unless `read` is false.
    void Watch(TSocket handle, bool read = true);
    void Unwatch();
    TSocket Watched() const { return m_handle; }
    void SetReadEnabled(bool on);
    void SetWriteEnabled(bool on);

    // A connect is running: only write readiness (its completion) is watched.
    void ArmConnect();
    bool Connecting() const { return m_connecting; }

    void Post(const TWSocketMessage &msg);
    // Starts a name (or, reverse, address) lookup on a worker thread; its completion
    // comes back to the owner's LookupDone on this object's thread. Returns its id.
    int StartLookup(const std::string &name, bool reverse);

    // Shared with lookup workers, which may outlive the endpoint.
    struct Link {
        std::mutex lock;
        WSocketEndpoint *target = nullptr;
    };

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void onReadable();
    // Batched reads (TCustomWSocket::SetReceiveBatch): raises the handle's low-water
    // mark while data arrives fast, lowers it again when a quiet check finds none came.
    void NoteReadable(int avail);
    bool SetLowWater(int bytes);
    void onWritable();
    void deliver(TWSocketMessage &msg);

    TCustomWSocket *m_owner;
    TSocket m_handle = INVALID_SOCKET;
    QSocketNotifier *m_read = nullptr;
    QSocketNotifier *m_write = nullptr;
    bool m_connecting = false;
    std::uint64_t m_watch = 0; // counts Watch calls
    int m_depth = 0; // deliveries running
    // The handle (its Watch count) whose write readiness is being delivered, 0: none;
    // and what the handlers asked for meanwhile.
    std::uint64_t m_writeWatch = 0;
    bool m_writeWanted = false;
    int m_lowWater = 1;      // the handle's low-water mark now
    bool m_noLowWater = false; // the system refused one for this handle
    std::uint64_t m_readables = 0, m_readablesAtCheck = 0;
    QBasicTimer m_quietCheck;
    std::shared_ptr<Link> m_link;
};

} // namespace tarsel::detail
