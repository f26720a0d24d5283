// A socket destroyed inside one of its own events (deleted at once, or Released to be
// deleted from the event loop) is never touched again: the table covers every event
// raised from the event loop. Under AddressSanitizer a use after free fails the test.
#include <QtTest>

#include <unistd.h>

#include "fixture.h"
#include "net/wsocket.h"
#include "peers.h"

using namespace tarsel;

namespace {

class Tracked : public TWSocket {
public:
    explicit Tracked(bool &gone) : m_gone(gone) {}
    ~Tracked() override { m_gone = true; }

private:
    bool &m_gone;
};

} // namespace

class TestLifetime : public QObject {
    Q_OBJECT

private slots:
    void destroyedInsideEvent_data();
    void destroyedInsideEvent();
};

void TestLifetime::destroyedInsideEvent_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<bool>("release");
    for (const char *e : {"ChangeState", "SessionConnected", "DataAvailable", "DataAvailableOnClose",
                          "LineMode", "LineLimit", "DataSent", "SendData", "SessionClosed",
                          "DnsLookupDone", "SessionAvailable"})
        for (bool release : {false, true})
            QTest::newRow((QByteArray(e) + (release ? " release" : " delete")).constData())
                << QString(e) << release;
}

void TestLifetime::destroyedInsideEvent()
{
    QFETCH(QString, event);
    QFETCH(bool, release);
    bool gone = false;
    bool killed = false;
    auto *s = new Tracked(gone);
    auto kill = [&](TCustomWSocket *w) {
        if (killed)
            return;
        killed = true;
        if (release)
            w->Release();
        else
            delete w;
    };
    peers::Listener l;
    int peer = -1;
    auto connectIt = [&] {
        s->SetAddr("127.0.0.1");
        s->SetPort(l.Port());
        s->Connect();
        QVERIFY(QTest::qWaitFor([&] { return (peer >= 0 || (peer = l.TryAccept()) >= 0); }, 5000));
    };
    if (event == "ChangeState") {
        s->OnChangeState = [&](TCustomWSocket *w, TSocketState, TSocketState n) {
            if (n == TSocketState::wsConnected)
                kill(w);
        };
        connectIt();
    } else if (event == "SessionConnected") {
        s->OnSessionConnected = [&](TCustomWSocket *w, int) { kill(w); };
        connectIt();
    } else if (event == "DataAvailable" || event == "DataAvailableOnClose") {
        s->OnDataAvailable = [&](TCustomWSocket *w, int) {
            char buf[2];
            if (!killed)
                w->Receive(buf, 1); // a partial read: more is pending when it dies
            kill(w);
        };
        connectIt();
        QVERIFY(peers::SendAll(peer, "hello world"));
        if (event == "DataAvailableOnClose") {
            ::close(peer);
            peer = -1;
        }
    } else if (event == "LineMode" || event == "LineLimit") {
        s->SetLineMode(true);
        s->SetLineLimit(8);
        if (event == "LineMode")
            s->OnDataAvailable = [&](TCustomWSocket *w, int) { kill(w); };
        else
            s->OnLineLimitExceeded = [&](TCustomWSocket *w, std::int64_t, bool &) { kill(w); };
        connectIt();
        QVERIFY(peers::SendAll(peer, event == "LineMode" ? "one\r\ntwo\r\nthree\r\n" : "a line much too long"));
    } else if (event == "DataSent") {
        s->OnDataSent = [&](TCustomWSocket *w, int) { kill(w); };
        connectIt();
        QTRY_COMPARE(s->State(), TSocketState::wsConnected);
        s->SendStr("data");
    } else if (event == "SendData") {
        int calls = 0;
        s->OnSendData = [&](TCustomWSocket *w, int) {
            if (++calls == 2) // the first comes from inside Send, the second from the loop
                kill(w);
        };
        connectIt();
        QTRY_COMPARE(s->State(), TSocketState::wsConnected);
        const std::string data = fixture::Pattern(8 << 20);
        s->Send(data.data(), int(data.size()));
        peers::Drain d(peer, data.size());
        QTRY_VERIFY_WITH_TIMEOUT(gone, 20000);
    } else if (event == "SessionClosed") {
        s->OnSessionClosed = [&](TCustomWSocket *w, int) { kill(w); };
        connectIt();
        QTRY_COMPARE(s->State(), TSocketState::wsConnected);
        ::close(peer);
        peer = -1;
    } else if (event == "DnsLookupDone") {
        s->OnDnsLookupDone = [&](TCustomWSocket *w, int) { kill(w); };
        s->DnsLookup("localhost");
    } else if (event == "SessionAvailable") {
        s->OnSessionAvailable = [&](TCustomWSocket *w, int) { kill(w); };
        s->SetAddr("127.0.0.1");
        s->SetPort("0");
        s->Listen();
        sockaddr_in sin{};
        int len = sizeof sin;
        QCOMPARE(s->GetSockName(sin, len), 0);
        peer = peers::ConnectTo(ntohs(sin.sin_port));
        QVERIFY(peer >= 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(gone, 10000);
    QVERIFY(killed);
    fixture::Settle();
    if (peer >= 0)
        ::close(peer);
}

QTEST_GUILESS_MAIN(TestLifetime)
#include "tst_lifetime.moc"
