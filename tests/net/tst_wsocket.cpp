// TWSocket against real loopback peers: event order, the send queue, closing,
// failures and lookups.
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "net/wsocket.h"
#include "fixture.h"

#include <netinet/tcp.h>

using namespace tarsel;

namespace {

const char *stateName(TSocketState s)
{
    static const char *names[] = {"invalid", "opened",    "bound",     "connecting",
                                  "connected", "accepting", "listening", "closed"};
    return names[static_cast<int>(s)];
}

// Records every event of a socket as a line of text, in order.
struct Recorder {
    std::vector<std::string> log;
    std::string received;
    int dataEvents = 0;
    int sentEvents = 0;
    int closedEvents = 0;
    int connectedEvents = 0;
    std::vector<int> sendCounts;

    void attach(TCustomWSocket &s, bool readData = true)
    {
        s.OnChangeState = [this](TCustomWSocket *, TSocketState, TSocketState n) {
            log.push_back(std::string("state ") + stateName(n));
        };
        s.OnSessionConnected = [this](TCustomWSocket *w, int e) {
            ++connectedEvents;
            log.push_back("connected " + std::to_string(e) + " " + stateName(w->State()));
        };
        s.OnSessionClosed = [this](TCustomWSocket *, int e) {
            ++closedEvents;
            log.push_back("closed " + std::to_string(e));
        };
        s.OnDataSent = [this](TCustomWSocket *, int e) {
            ++sentEvents;
            log.push_back("sent " + std::to_string(e));
        };
        s.OnSendData = [this](TCustomWSocket *, int n) { sendCounts.push_back(n); };
        if (readData) {
            s.OnDataAvailable = [this](TCustomWSocket *w, int) {
                ++dataEvents;
                received += w->ReceiveStr();
            };
        }
    }
};

using fixture::Pattern;
using fixture::Raised;
using fixture::ConnectPair;
using fixture::Settle;

} // namespace

class TestWSocket : public QObject {
    Q_OBJECT
private slots:
    void defaults()
    {
        TWSocket s;
        QCOMPARE(s.State(), TSocketState::wsClosed);
        QCOMPARE(s.Proto(), std::string("tcp"));
        QCOMPARE(s.LocalAddr(), std::string("0.0.0.0"));
        QCOMPARE(s.LocalPort(), std::string("0"));
        QCOMPARE(s.BufSize(), 1460);
        QCOMPARE(s.MultiCastIpTTL(), 1);
        QCOMPARE(s.LingerOnOff(), TSocketLingerOnOff::wsLingerOn);
        QCOMPARE(s.SendFlags(), TSocketSendFlags::wsSendNormal);
        QCOMPARE(s.PeerAddr(), std::string("error"));
        QCOMPARE(s.GetXPort(), std::string("error"));
        QCOMPARE(s.LineEnd(), std::string("\r\n"));
        QCOMPARE(s.LineLimit(), std::int64_t(65536));
        QCOMPARE(s.SocksLevel(), std::string("5"));
        s.SetAddr("  host ");
        QCOMPARE(s.Addr(), std::string("host"));
        s.SetLocalAddr("");
        QCOMPARE(s.LocalAddr(), std::string("0.0.0.0"));
        QCOMPARE(Raised([&] { s.SetSendFlags(static_cast<TSocketSendFlags>(7)); }),
                 QStringLiteral("Invalid SendFlags"));
    }

    void connectExchangeAndPeerClose()
    {
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        QTRY_COMPARE(r.connectedEvents, 1);
        QCOMPARE(r.log, (std::vector<std::string>{"state opened", "state connecting",
                                                  "state connected", "connected 0 connected"}));
        QCOMPARE(s.PeerAddr(), std::string("127.0.0.1"));
        QCOMPARE(s.PeerPort(), l.Port());
        QCOMPARE(s.GetXAddr(), std::string("127.0.0.1"));
        QVERIFY(s.GetXPort() != "error");

        s.OnDataAvailable = nullptr;
        s.Pause();
        QVERIFY(peers::SendAll(peer, "hello"));
        QTRY_COMPARE(s.RcvdCount(), 5);
        char peek[16];
        QCOMPARE(s.PeekData(peek, sizeof peek), 5); // does not consume
        QCOMPARE(std::string(peek, 5), std::string("hello"));
        QCOMPARE(s.ReadCount(), std::int64_t(0));
        r.attach(s);
        s.Resume();
        QTRY_COMPARE(r.received, std::string("hello"));
        QCOMPARE(s.ReadCount(), std::int64_t(5));

        r.log.clear();
        QCOMPARE(s.SendStr("abc"), 3);
        QCOMPARE(r.sentEvents, 0); // never inside Send
        QTRY_COMPARE(r.sentEvents, 1);
        std::string echoed;
        QTRY_VERIFY((echoed += peers::ReadAvailable(peer), echoed == "abc"));
        QCOMPARE(s.SendStr(""), 0);

        ::close(peer);
        QTRY_COMPARE(r.closedEvents, 1);
        QCOMPARE(s.State(), TSocketState::wsClosed);
        // The close is reported first, then the socket closes itself.
        QCOMPARE(r.log, (std::vector<std::string>{"sent 0", "closed 0", "state closed"}));
        s.Close();
        QCOMPARE(r.closedEvents, 1);
    }

    void raiseTexts()
    {
        peers::Listener l;
        TWSocket s;
        QCOMPARE(Raised([&] { s.Connect(); }), QStringLiteral("Connect: No Port Specified"));
        s.SetPort(l.Port());
        QCOMPARE(Raised([&] { s.Connect(); }), QStringLiteral("Connect: No IP Address Specified"));
        s.SetProto("");
        s.SetAddr("127.0.0.1");
        QCOMPARE(Raised([&] { s.Connect(); }), QStringLiteral("Connect: No Protocol Specified"));
        s.SetProto("tcp");
        s.SetAddr("");
        QCOMPARE(Raised([&] { s.Connect(); }),
                 QStringLiteral("connect: WSocketResolveHost: '' Invalid Hostname."));

        s.SetAddr("127.0.0.1");
        s.SetPort(l.Port());
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        QCOMPARE(Raised([&] { s.Connect(); }), QStringLiteral("Connect: Socket already in use"));
        QCOMPARE(Raised([&] { s.SetAddr("10.0.0.1"); }), QStringLiteral("Cannot change Addr if not closed"));
        QCOMPARE(Raised([&] { s.SetPort("1"); }), QStringLiteral("Cannot change Port if not closed"));
        QCOMPARE(Raised([&] { s.SetProto("udp"); }), QStringLiteral("Cannot change Proto if not closed"));
        QCOMPARE(Raised([&] { s.SetLocalAddr("0.0.0.0"); }),
                 QStringLiteral("Cannot change LocalAddr if not closed"));
        QCOMPARE(Raised([&] { s.SetLocalPort("0"); }),
                 QStringLiteral("Cannot change LocalPort if not closed"));
        // The same value is no change.
        QCOMPARE(Raised([&] { s.SetAddr(" 127.0.0.1"); }), QStringLiteral("(nothing raised)"));
        QCOMPARE(Raised([&] { s.SetSocksServer("proxy"); }),
                 QStringLiteral("Can't change socks server if not closed"));

        s.Close();
        ::close(peer);
        // Every close forgets the assignments.
        QCOMPARE(Raised([&] { s.Connect(); }), QStringLiteral("Connect: No Port Specified"));
    }

    void sendOnClosedSocket()
    {
        TWSocket s;
        QCOMPARE(Raised([&] { s.SendStr("x"); }),
                 QStringLiteral("Error 10057 in function Send\r\nSocket is not connected"));
        int errors = 0;
        s.OnError = [&](TCustomWSocket *) { ++errors; };
        QCOMPARE(s.SendStr("x"), -1);
        QCOMPARE(errors, 1);
        QCOMPARE(s.LastError(), 10057);
    }

    void sendQueueChunksAndEvents()
    {
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s);
        s.SetBufSize(1514);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        const std::string data = Pattern(10000);
        int chunksAtFirstSend = 0;
        s.OnSendData = [&](TCustomWSocket *w, int n) {
            if (r.sendCounts.empty())
                chunksAtFirstSend = w->SendQueueChunks();
            r.sendCounts.push_back(n);
        };
        QCOMPARE(s.Send(data.data(), int(data.size())), 10000);
        // With nothing queued the system takes the data straight from the caller: one
        // send, nothing copied into chunks.
        QCOMPARE(chunksAtFirstSend, 0);
        QTRY_COMPARE(r.sentEvents, 1);
        QCOMPARE(r.sendCounts, (std::vector<int>{10000}));
        QCOMPARE(s.SendQueueChunks(), 0);
        std::string got;
        QTRY_VERIFY((got += peers::ReadAvailable(peer), got.size() == data.size()));
        QVERIFY(got == data);
        ::close(peer);
    }

    void sendWouldBlockDrainsLater()
    {
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s);
        s.SetBufSize(4096);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        const std::string data = Pattern(8 << 20);
        s.Send(data.data(), int(data.size()));
        QVERIFY(!s.AllSent()); // the system cannot take 8 MiB at once
        QVERIFY(s.SendQueueChunks() > 1);
        QCOMPARE(r.sentEvents, 0);
        peers::Drain d(peer, data.size());
        QTRY_VERIFY_WITH_TIMEOUT(d.done, 20000);
        QTRY_COMPARE(r.sentEvents, 1);
        QVERIFY(d.data == data);
        // The queued chunks leave in gathered sends, not one 4 KiB send each.
        QVERIFY(r.sendCounts.size() > 1);
        QVERIFY(*std::max_element(r.sendCounts.begin() + 1, r.sendCounts.end()) > 4096);
        ::close(peer);
    }

    // Closing right after the last byte went to the system still delivers all of it.
    void closeAfterDataSentKeepsData()
    {
        peers::Listener l;
        TWSocket s;
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        s.OnDataSent = [](TCustomWSocket *w, int) { w->Close(); };
        const std::string data = Pattern(4 << 20);
        s.Send(data.data(), int(data.size()));
        peers::Drain d(peer, 0, 4096, 200); // a slow reader, to the end of the stream
        QTRY_VERIFY_WITH_TIMEOUT(d.done, 30000);
        QVERIFY(d.eof);
        QCOMPARE(d.data.size(), data.size());
        QVERIFY(d.data == data);
        QCOMPARE(s.State(), TSocketState::wsClosed);
        ::close(peer);
    }

    // Sending again from OnDataSent, piece after piece, with a nested event loop in one
    // of the handlers (a prompt): the handler is not entered again inside that loop,
    // and the pieces keep coming after it.
    void sendFromDataSentWithNestedLoop()
    {
        peers::Listener l;
        TWSocket s;
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        constexpr int kPieces = 20;
        const std::string piece = Pattern(1000);
        int events = 0, depth = 0, maxDepth = 0;
        s.OnDataSent = [&](TCustomWSocket *w, int) {
            ++events;
            maxDepth = std::max(maxDepth, ++depth);
            if (events == 5)
                Settle();
            if (events < kPieces)
                w->Send(piece.data(), int(piece.size()));
            --depth;
        };
        s.Send(piece.data(), int(piece.size()));
        std::string got;
        QTRY_VERIFY((got += peers::ReadAvailable(peer), got.size() == kPieces * piece.size()));
        Settle();
        QCOMPARE(events, kPieces);
        QCOMPARE(maxDepth, 1);
        ::close(peer);
    }

    void peerClosesWithUnreadDataNoReceiveLoop()
    {
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s, false);
        s.SetComponentOptions({TWSocketOption::wsoNoReceiveLoop});
        std::string got;
        std::vector<std::string> order;
        s.OnDataAvailable = [&](TCustomWSocket *w, int) {
            char buf[1000];
            const int n = w->Receive(buf, sizeof buf);
            if (n > 0)
                got.append(buf, std::size_t(n));
            order.push_back("data");
        };
        s.OnSessionClosed = [&](TCustomWSocket *, int e) {
            order.push_back("closed " + std::to_string(e));
        };
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        const std::string data = Pattern(5000);
        QVERIFY(peers::SendAll(peer, data));
        ::close(peer);
        QTRY_VERIFY(!order.empty() && order.back().rfind("closed", 0) == 0);
        QCOMPARE(got, data);
        QCOMPARE(order.size(), std::size_t(6)); // five reads of 1000 bytes, then the close
        QCOMPARE(order.back(), std::string("closed 0"));
        QCOMPARE(s.State(), TSocketState::wsClosed);
        s.Close();
        QCOMPARE(order.size(), std::size_t(6));
    }

    // A handler that reads nothing is not called again and again for the same data.
    void idleHandlerDoesNotSpin()
    {
        peers::Listener l;
        TWSocket s;
        int calls = 0;
        bool read = false;
        std::string got;
        s.OnDataAvailable = [&](TCustomWSocket *w, int) {
            ++calls;
            if (read)
                got += w->ReceiveStr();
        };
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        QVERIFY(peers::SendAll(peer, "pending"));
        QTRY_COMPARE(calls, 1);
        Settle();
        QCOMPARE(calls, 1);
        read = true;
        QVERIFY(peers::SendAll(peer, "+"));
        Settle(); // the notification rests until the owner reads
        QCOMPARE(calls, 1);
        QCOMPARE(s.ReceiveStr(), std::string("pending+"));
        QVERIFY(peers::SendAll(peer, "more"));
        QTRY_COMPARE(got, std::string("more"));
        ::close(peer);
    }

    // A reset, seen while reading or by the next send, closes with its error.
    void peerReset_data()
    {
        QTest::addColumn<bool>("bySend");
        QTest::newRow("reading") << false;
        QTest::newRow("sending") << true;
    }
    void peerReset()
    {
        QFETCH(bool, bySend);
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        if (bySend)
            s.Pause(); // only the send can find out
        linger hard{1, 0};
        ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(peer);
        if (bySend) {
            pollfd p{s.HSocket(), POLLIN, 0};
            QTRY_VERIFY(::poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)));
            QCOMPARE(s.SendStr("after the reset"), 15);
        }
        QTRY_COMPARE(r.closedEvents, 1);
        QVERIFY(std::find(r.log.begin(), r.log.end(), "closed 10054") != r.log.end());
        QTRY_COMPARE(s.State(), TSocketState::wsClosed);
    }

    void bindsLocalAddressAndSetsOptions()
    {
        peers::Listener l;
        TWSocket s;
        s.SetLocalAddr("127.0.0.1");
        s.SetComponentOptions({TWSocketOption::wsoTcpNoDelay});
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        QVERIFY(s.LocalPort() != "0"); // the port the system chose
        QCOMPARE(s.LocalPort(), s.GetXPort());
        sockaddr_in sin{};
        int len = sizeof sin;
        QCOMPARE(s.GetSockName(sin, len), 0);
        QCOMPARE(std::to_string(ntohs(sin.sin_port)), s.LocalPort());
        auto option = [&](int level, int name) {
            int v = -1;
            socklen_t n = sizeof v;
            ::getsockopt(s.HSocket(), level, name, &v, &n);
            return v;
        };
        QCOMPARE(option(IPPROTO_TCP, TCP_NODELAY), 1);
        QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
        QCOMPARE(option(SOL_SOCKET, SO_REUSEADDR), 1);
        linger lg{};
        socklen_t n = sizeof lg;
        ::getsockopt(s.HSocket(), SOL_SOCKET, SO_LINGER, &lg, &n);
        QCOMPARE(lg.l_onoff, 1); // the default: on, 0 seconds
        QCOMPARE(lg.l_linger, 0);
        ::close(peer);
    }

    void threadBinding()
    {
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        QString fromOther;
        std::thread([&] { fromOther = Raised([&] { s.ThreadDetach(); }); }).join();
        QCOMPARE(fromOther, QStringLiteral("Cannot detach from other thread"));
        QCOMPARE(Raised([&] { s.ThreadAttach(); }), QStringLiteral("Cannot attach when not detached"));
        s.ThreadDetach();
        QVERIFY(peers::SendAll(peer, "while detached"));
        Settle();
        QCOMPARE(r.dataEvents, 0);
        s.ThreadAttach();
        QTRY_COMPARE(r.received, std::string("while detached"));
        ::close(peer);
    }

    // Without wsoNoReceiveLoop one notification runs the handler while data remains,
    // but not for ever: timers still get their turn during a long stream.
    void receiveLoopYieldsToEventLoop()
    {
        peers::Listener l;
        TWSocket s;
        std::size_t got = 0;
        int ticksBeforeEnd = 0;
        bool ended = false;
        s.OnDataAvailable = [&](TCustomWSocket *w, int) {
            char c;
            if (w->Receive(&c, 1) == 1 && ++got == 20000)
                ended = true;
        };
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (!ended)
                ++ticksBeforeEnd;
        });
        tick.start(0);
        QVERIFY(peers::SendAll(peer, Pattern(20000))); // all readable before the first notification
        QTRY_VERIFY(ended);
        QVERIFY(ticksBeforeEnd > 0);
        ::close(peer);
    }

    // The system reuses handle numbers: a notice posted for the old connection must
    // not reach the next one.
    void staleNoticeAfterReconnect()
    {
        peers::Listener l;
        TWSocket s;
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        int sent = 0;
        s.OnDataSent = [&](TCustomWSocket *, int) { ++sent; };
        const TSocket old = s.HSocket();
        s.SendStr("x"); // posts the sent notice
        s.Close();
        const int peer2 = ConnectPair(s, l);
        QVERIFY(peer2 >= 0);
        QCOMPARE(s.HSocket(), old); // the same number again
        Settle();
        QCOMPARE(sent, 0);
        ::close(peer);
        ::close(peer2);
    }

    void refusedConnect()
    {
        TWSocket s;
        Recorder r;
        r.attach(s);
        s.SetAddr("127.0.0.1");
        s.SetPort(std::to_string(peers::UnusedPort()));
        s.Connect();
        QCOMPARE(r.connectedEvents, 0);
        QTRY_COMPARE(r.closedEvents, 1);
        QCOMPARE(r.log, (std::vector<std::string>{"state opened", "state connecting",
                                                  "state connected", "connected 10061 connected",
                                                  "state closed", "closed 0"}));
        QCOMPARE(s.State(), TSocketState::wsClosed);
    }

    // A name goes to the lookup workers: Connect returns at once with the socket still
    // closed, and the connection starts when the answer arrives.
    void connectByName()
    {
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s);
        s.SetAddr("localhost");
        s.SetPort(l.Port());
        s.Connect();
        QCOMPARE(s.State(), TSocketState::wsClosed);
        QVERIFY(r.log.empty());
        // The answer on its way is for this name.
        QCOMPARE(Raised([&] { s.SetAddr("10.0.0.1"); }), QStringLiteral("Cannot change Addr if not closed"));
        int peer = -1;
        QTRY_VERIFY((peer < 0 ? peer = l.TryAccept() : peer) >= 0 && s.State() == TSocketState::wsConnected);
        QCOMPARE(r.connectedEvents, 1);
        ::close(peer);
    }

    // A failed lookup ends as a refused connection does.
    void connectByUnknownName()
    {
        TWSocket s;
        Recorder r;
        r.attach(s);
        s.SetAddr("no-such-host.invalid");
        s.SetPort("21");
        s.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(r.closedEvents, 1, 30000);
        QCOMPARE(r.connectedEvents, 1);
        QCOMPARE(r.log.size(), std::size_t(2));
        QVERIFY(r.log[0].rfind("connected 1100", 0) == 0); // host not found or try again
        QCOMPARE(r.log[1], std::string("closed 0"));
        QCOMPARE(s.State(), TSocketState::wsClosed);
        Settle();
        QCOMPARE(r.closedEvents, 1);
    }

    // Where only an address is taken, a name is refused instead of being looked up by a
    // blocking call.
    void namesRefusedWhereAddressesOnly()
    {
        TWSocket listener;
        listener.SetAddr("localhost");
        listener.SetPort("0");
        QVERIFY(fixture::Raised([&] { listener.Listen(); }).contains("not an IP address"));
        QCOMPARE(listener.State(), TSocketState::wsClosed);

        TWSocket s;
        s.SetAddr("127.0.0.1");
        s.SetPort(std::to_string(peers::UnusedPort()));
        s.SetLocalAddr("localhost");
        QVERIFY(fixture::Raised([&] { s.Connect(); }).contains("not an IP address"));
    }

    // A handler that starts a new connection after a failed one keeps it.
    void reconnectFromFailedConnect()
    {
        peers::Listener l;
        TWSocket s;
        int attempts = 0;
        s.OnSessionConnected = [&](TCustomWSocket *w, int e) {
            ++attempts;
            if (e != 0) {
                w->Close();
                s.SetAddr("127.0.0.1");
                s.SetPort(l.Port());
                w->Connect();
            }
        };
        s.SetAddr("127.0.0.1");
        s.SetPort(std::to_string(peers::UnusedPort()));
        s.Connect();
        int peer = -1;
        QTRY_VERIFY((peer < 0 ? peer = l.TryAccept() : peer) >= 0 && attempts == 2);
        QCOMPARE(s.State(), TSocketState::wsConnected);
        ::close(peer);
    }

    void refusedConnectClosedByHandler()
    {
        TWSocket s;
        int closed = 0;
        s.OnSessionConnected = [](TCustomWSocket *w, int) { w->Abort(); };
        s.OnSessionClosed = [&](TCustomWSocket *, int) { ++closed; };
        s.SetAddr("127.0.0.1");
        s.SetPort(std::to_string(peers::UnusedPort()));
        s.Connect();
        QTRY_COMPARE(s.State(), TSocketState::wsClosed);
        Settle();
        QCOMPARE(closed, 1);
    }

    void listenAcceptDup()
    {
        TWSocket server;
        TWSocket session;
        TWSocket client;
        Recorder rs, rc;
        rs.attach(session);
        rc.attach(client);
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        server.Listen();
        QCOMPARE(server.State(), TSocketState::wsListening);
        const std::string port = server.GetXPort();
        QVERIFY(port != "0" && port != "error");
        server.OnSessionAvailable = [&](TCustomWSocket *w, int e) {
            QCOMPARE(e, 0);
            session.Dup(w->Accept());
        };
        client.SetAddr("127.0.0.1");
        client.SetPort(port);
        client.Connect();
        QTRY_COMPARE(session.State(), TSocketState::wsConnected);
        QTRY_COMPARE(client.State(), TSocketState::wsConnected);
        QCOMPARE(rs.connectedEvents, 0); // Dup is not a connect
        QCOMPARE(server.State(), TSocketState::wsListening);
        QCOMPARE(session.PeerPort(), client.GetXPort());

        client.SendStr("ping");
        QTRY_COMPARE(rs.received, std::string("ping"));
        session.SendStr("pong");
        QTRY_COMPARE(rc.received, std::string("pong"));

        session.Close();
        QCOMPARE(rs.closedEvents, 1); // Close fires at once
        QTRY_COMPARE(rc.closedEvents, 1);
        server.Close();
        QCOMPARE(server.State(), TSocketState::wsClosed);

        QCOMPARE(Raised([&] { server.Accept(); }),
                 QStringLiteral("Error 10022 in function not a listening socket\r\nInvalid argument"));
        QCOMPARE(Raised([&] { session.Dup(INVALID_SOCKET); }),
                 QStringLiteral("Error 10022 in function Dup\r\nInvalid argument"));
    }

    void listenFailures()
    {
        TWSocket a, b;
        a.SetAddr("127.0.0.1");
        a.SetPort("0");
        a.Listen();
        b.SetAddr("127.0.0.1");
        b.SetPort(a.GetXPort());
        QCOMPARE(Raised([&] { b.Listen(); }),
                 QStringLiteral("Error 10048 in function Bind\r\nAddress already in use"));
        QCOMPARE(b.State(), TSocketState::wsClosed);
        QCOMPARE(b.HSocket(), INVALID_SOCKET); // no handle left open behind a closed state
        TWSocket c;
        QCOMPARE(Raised([&] { c.Listen(); }),
                 QStringLiteral("Error 10022 in function listen: port not assigned\r\nInvalid argument"));
    }

    void backgroundException_data()
    {
        QTest::addColumn<bool>("canClose");
        QTest::newRow("aborts") << true;
        QTest::newRow("kept open") << false;
    }
    void backgroundException()
    {
        QFETCH(bool, canClose);
        peers::Listener l;
        TWSocket s;
        std::string message;
        s.OnDataAvailable = [](TCustomWSocket *w, int) {
            w->ReceiveStr();
            throw Exception("handler failed");
        };
        s.OnBgException = [&](TCustomWSocket *, const std::exception &e, bool &close) {
            message = e.what();
            close = canClose;
        };
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        QVERIFY(peers::SendAll(peer, "x"));
        QTRY_COMPARE(message, std::string("handler failed"));
        QCOMPARE(s.State(), canClose ? TSocketState::wsClosed : TSocketState::wsConnected);
        ::close(peer);
    }

    void closeDelayedAndRelease()
    {
        peers::Listener l;
        TWSocket s;
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        s.CloseDelayed();
        QCOMPARE(s.State(), TSocketState::wsConnected);
        QTRY_COMPARE(s.State(), TSocketState::wsClosed);
        ::close(peer);

        const int before = WSocketUseCount();
        auto *p = new TWSocket;
        QCOMPARE(WSocketUseCount(), before + 1);
        p->Release();
        QCOMPARE(WSocketUseCount(), before + 1);
        QTRY_COMPARE(WSocketUseCount(), before);
    }

    void abortDropsQueue()
    {
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        const std::string data = Pattern(16 << 20);
        s.Send(data.data(), int(data.size()));
        QVERIFY(!s.AllSent());
        s.Abort();
        QCOMPARE(s.State(), TSocketState::wsClosed);
        QCOMPARE(r.closedEvents, 1);
        QCOMPARE(s.SendQueueChunks(), 0);
        Settle();
        QCOMPARE(r.sentEvents, 0);
        ::close(peer);
    }

    void pauseAndResume()
    {
        peers::Listener l;
        TWSocket s;
        Recorder r;
        r.attach(s);
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        s.Pause();
        QVERIFY(peers::SendAll(peer, "held"));
        Settle();
        QCOMPARE(r.dataEvents, 0);
        s.Resume();
        QTRY_COMPARE(r.received, std::string("held"));
        ::close(peer);
    }

    void dnsLookup()
    {
        TWSocket s;
        std::vector<int> done;
        s.OnDnsLookupDone = [&](TCustomWSocket *, int e) { done.push_back(e); };
        s.DnsLookup(" 10.0.0.1 ");
        QCOMPARE(done, std::vector<int>{0}); // inside the call
        QCOMPARE(s.DnsResult(), std::string("10.0.0.1"));
        QVERIFY(s.DnsResultList().empty());

        QCOMPARE(Raised([&] { s.DnsLookup(""); }), QStringLiteral("DNS lookup: invalid host name."));

        done.clear();
        s.DnsLookup("localhost");
        QVERIFY(done.empty());
        QTRY_COMPARE(done.size(), std::size_t(1));
        QCOMPARE(done[0], 0);
        QCOMPARE(s.DnsResult(), std::string("127.0.0.1"));
        QCOMPARE(s.DnsResultList().front(), std::string("127.0.0.1"));

        done.clear();
        s.DnsLookup("localhost");
        s.CancelDnsLookup();
        QCOMPARE(done, std::vector<int>{10004});
        // The worker's late answer must not arrive as a second completion. A second
        // lookup of the same name, started after it, is waited for as the sign that
        // the workers have answered; then the queue is settled.
        {
            TWSocket other;
            int otherDone = -1;
            other.OnDnsLookupDone = [&](TCustomWSocket *, int e) { otherDone = e; };
            other.DnsLookup("localhost");
            QTRY_COMPARE(otherDone, 0);
        }
        Settle();
        QCOMPARE(done, std::vector<int>{10004});
        s.CancelDnsLookup();
        QCOMPARE(done.size(), std::size_t(1));

        done.clear();
        s.ReverseDnsLookup("127.0.0.1");
        QTRY_COMPARE(done.size(), std::size_t(1));
        QCOMPARE(done[0], 0);
        QVERIFY(!s.DnsResult().empty());
        QCOMPARE(Raised([&] { s.ReverseDnsLookup(""); }),
                 QStringLiteral("ReverseDnsLookup: Invalid host name."));
    }

    void unknownHostFailsLookup()
    {
        TWSocket s;
        int error = -1;
        s.OnDnsLookupDone = [&](TCustomWSocket *, int e) { error = e; };
        s.DnsLookup("no-such-host.invalid");
        QTRY_VERIFY_WITH_TIMEOUT(error != -1, 20000);
        QVERIFY2(error >= 11001 && error <= 11004, QByteArray::number(error));
    }

    void destroyDuringLookupAndConnect()
    {
        // Destroying a socket with a lookup, a connect and a posted notice running
        // must leave nothing behind that fires later.
        peers::Listener l;
        {
            TWSocket s;
            s.DnsLookup("localhost");
            s.SetAddr("127.0.0.1");
            s.SetPort(l.Port());
            s.Connect();
            s.CloseDelayed();
        }
        Settle();
        const int peer = l.TryAccept();
        if (peer >= 0)
            ::close(peer);
    }

    void udpExchange()
    {
        TWSocket server, client;
        int serverConnected = -1;
        server.OnSessionConnected = [&](TCustomWSocket *, int e) { serverConnected = e; };
        server.SetProto("udp");
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        server.Listen();
        QCOMPARE(serverConnected, 0); // at once
        QCOMPARE(server.State(), TSocketState::wsConnected);
        std::string got;
        sockaddr_in from{};
        server.OnDataAvailable = [&](TCustomWSocket *w, int) {
            char buf[100];
            int len = sizeof from;
            const int n = w->ReceiveFrom(buf, sizeof buf, from, len);
            if (n > 0)
                got.assign(buf, std::size_t(n));
        };
        client.SetProto("udp");
        client.SetAddr("127.0.0.1");
        client.SetPort(server.GetXPort());
        int sent = 0;
        client.OnSendData = [&](TCustomWSocket *, int n) { sent += n; };
        client.Connect();
        QCOMPARE(client.State(), TSocketState::wsConnected);
        client.SendStr("datagram");
        QTRY_COMPARE(got, std::string("datagram"));
        QCOMPARE(sent, 8);
        std::string reply;
        client.OnDataAvailable = [&](TCustomWSocket *w, int) { reply = w->ReceiveStr(); };
        QCOMPARE(server.SendTo(from, sizeof from, "back", 4), 4);
        QTRY_COMPARE(reply, std::string("back"));
    }

    void flushAndWaitForClose()
    {
        peers::Listener l;
        TWSocket s;
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        const std::string data = Pattern(8 << 20);
        s.Send(data.data(), int(data.size()));
        {
            peers::Drain d(peer, data.size(), 4096, 100); // slow, so Flush has to wait
            s.Flush();
            QVERIFY(s.AllSent());
            QTRY_VERIFY(d.done);
            QVERIFY(d.data == data);
        }

        std::string tail;
        s.OnDataAvailable = [&](TCustomWSocket *w, int) { tail += w->ReceiveStr(); };
        // Posted: it runs inside WaitForClose's own loop.
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                peers::SendAll(peer, "bye");
                ::close(peer);
            },
            Qt::QueuedConnection);
        s.WaitForClose();
        QCOMPARE(tail, std::string("bye"));
        QCOMPARE(s.State(), TSocketState::wsClosed);
    }
};

QTEST_GUILESS_MAIN(TestWSocket)
#include "tst_wsocket.moc"
