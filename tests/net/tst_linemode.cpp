// Line mode, the blocking line read and the SOCKS settings.
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "fixture.h"

using namespace tarsel;
using fixture::ConnectPair;
using fixture::Raised;
using fixture::Settle;

namespace {

// A connected TWSocket in line mode whose handler collects whole lines.
struct LinePair {
    peers::Listener listener;
    TWSocket s;
    int peer = -1;
    std::vector<std::string> lines;

    bool open()
    {
        s.SetLineMode(true);
        s.OnDataAvailable = [this](TCustomWSocket *w, int) { lines.push_back(w->ReceiveStr()); };
        peer = ConnectPair(s, listener);
        return peer >= 0;
    }
    ~LinePair()
    {
        if (peer >= 0)
            ::close(peer);
    }
};

} // namespace

class TestLineMode : public QObject {
    Q_OBJECT
private slots:
    void lineEndSplitAcrossReads()
    {
        LinePair p;
        QVERIFY(p.open());
        QVERIFY(peers::SendAll(p.peer, "first\r"));
        QTRY_COMPARE(p.s.RcvdCnt(), std::int64_t(6)); // held: no line yet
        QVERIFY(p.lines.empty());
        QVERIFY(peers::SendAll(p.peer, "\nsecond\r\nthi"));
        QTRY_COMPARE(p.lines.size(), std::size_t(2));
        QCOMPARE(p.lines[0], std::string("first\r\n"));
        QCOMPARE(p.lines[1], std::string("second\r\n"));
        QVERIFY(peers::SendAll(p.peer, "rd\r\n"));
        QTRY_COMPARE(p.lines.size(), std::size_t(3));
        QCOMPARE(p.lines[2], std::string("third\r\n"));
    }

    void otherLineEndAndSmallReads()
    {
        LinePair p;
        p.s.SetLineMode(true);
        p.s.SetLineEnd("\n");
        std::vector<std::string> pieces;
        p.s.OnDataAvailable = [&](TCustomWSocket *w, int) {
            char buf[3];
            const int n = w->Receive(buf, sizeof buf); // smaller than the line
            if (n > 0)
                pieces.emplace_back(buf, std::size_t(n));
        };
        p.peer = ConnectPair(p.s, p.listener);
        QVERIFY(p.peer >= 0);
        QVERIFY(peers::SendAll(p.peer, "abcdefg\nxy\n"));
        QTRY_COMPARE(pieces.size(), std::size_t(4));
        QCOMPARE(pieces, (std::vector<std::string>{"abc", "def", "g\n", "xy\n"}));
    }

    void lineLimit_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::newRow("dropped") << true;
        QTest::newRow("kept") << false;
    }
    void lineLimit()
    {
        QFETCH(bool, clear);
        LinePair p;
        std::vector<std::int64_t> exceeded;
        p.s.OnLineLimitExceeded = [&](TCustomWSocket *, std::int64_t n, bool &clearData) {
            exceeded.push_back(n);
            QVERIFY(clearData); // preset
            clearData = clear;
        };
        QVERIFY(p.open());
        QVERIFY(peers::SendAll(p.peer, std::string(65537, 'x')));
        QTRY_VERIFY(!exceeded.empty());
        QCOMPARE(exceeded.front(), std::int64_t(65537));
        QCOMPARE(p.s.RcvdCnt(), clear ? std::int64_t(0) : std::int64_t(65537));
        QVERIFY(peers::SendAll(p.peer, "end\r\n"));
        QTRY_COMPARE(p.lines.size(), std::size_t(1));
        QCOMPARE(p.lines[0].size(), clear ? std::size_t(5) : std::size_t(65542));
    }

    void lastLineAtClose()
    {
        LinePair p;
        std::vector<std::string> order;
        p.s.OnDataAvailable = [&](TCustomWSocket *w, int) { order.push_back("line " + w->ReceiveStr()); };
        p.s.OnSessionClosed = [&](TCustomWSocket *, int) { order.push_back("closed"); };
        QVERIFY(p.open());
        p.s.OnDataAvailable = [&](TCustomWSocket *w, int) { order.push_back("line " + w->ReceiveStr()); };
        QVERIFY(peers::SendAll(p.peer, "one\r\ntail"));
        ::close(p.peer);
        p.peer = -1;
        QTRY_COMPARE(order.size(), std::size_t(3));
        QCOMPARE(order, (std::vector<std::string>{"line one\r\n", "line tail", "closed"}));
        QCOMPARE(p.s.RcvdCnt(), std::int64_t(0));
    }

    // A handler that leaves its line unread is offered it again only with new data.
    void unreadLineDoesNotSpin()
    {
        LinePair p;
        int calls = 0;
        bool read = false;
        p.s.OnDataAvailable = [&](TCustomWSocket *w, int) {
            ++calls;
            if (read)
                p.lines.push_back(w->ReceiveStr());
        };
        p.peer = ConnectPair(p.s, p.listener);
        p.s.SetLineMode(true);
        QVERIFY(p.peer >= 0);
        QVERIFY(peers::SendAll(p.peer, "a\r\n"));
        QTRY_COMPARE(calls, 1);
        Settle();
        QCOMPARE(calls, 1);
        read = true;
        QVERIFY(peers::SendAll(p.peer, "b\r\n"));
        QTRY_COMPARE(p.lines.size(), std::size_t(2));
        QCOMPARE(p.lines, (std::vector<std::string>{"a\r\n", "b\r\n"}));
    }

    // Turning line mode off in the handler: the rest is handed over raw, in order.
    void switchToRawMidStream()
    {
        LinePair p;
        std::string raw;
        p.s.OnDataAvailable = [&](TCustomWSocket *w, int) {
            if (p.s.LineMode()) {
                p.lines.push_back(w->ReceiveStr());
                p.s.SetLineMode(false);
            } else {
                raw += w->ReceiveStr();
            }
        };
        p.s.SetLineMode(true);
        p.peer = ConnectPair(p.s, p.listener);
        QVERIFY(p.peer >= 0);
        QVERIFY(peers::SendAll(p.peer, "header\r\nbody\r\nmore"));
        QTRY_COMPARE(raw, std::string("body\r\nmore"));
        QCOMPARE(p.lines, std::vector<std::string>{"header\r\n"});
        QVERIFY(peers::SendAll(p.peer, "+net"));
        QTRY_COMPARE(raw, std::string("body\r\nmore+net"));

        // And back: held raw bytes are searched for lines again.
        p.s.OnDataAvailable = [&](TCustomWSocket *w, int) { p.lines.push_back(w->ReceiveStr()); };
        p.s.Pause();
        QVERIFY(peers::SendAll(p.peer, "x\r\ny\r\n"));
        Settle();
        p.s.SetLineMode(true);
        p.s.Resume();
        QTRY_COMPARE(p.lines.size(), std::size_t(3));
        QCOMPARE(p.lines[1], std::string("x\r\n"));
        QCOMPARE(p.lines[2], std::string("y\r\n"));
    }

    void echoAndEdit()
    {
        LinePair p;
        p.s.SetLineEdit(true);
        p.s.SetLineEcho(true);
        QVERIFY(p.open());
        QVERIFY(peers::SendAll(p.peer, "ab\bc\td\r\n"));
        QTRY_COMPARE(p.lines.size(), std::size_t(1));
        QCOMPARE(p.lines[0], std::string("ac      d\r\n"));
        std::string echo;
        QTRY_VERIFY((echo += peers::ReadAvailable(p.peer), echo.size() >= 15));
        QCOMPARE(echo, std::string("ab\b \bc      d\r\n"));

        p.s.SetLineEdit(false);
        QVERIFY(peers::SendAll(p.peer, "q\b\r\n"));
        QTRY_COMPARE(p.lines.size(), std::size_t(2));
        QCOMPARE(p.lines[1], std::string("q\b\r\n"));
        echo.clear();
        QTRY_VERIFY((echo += peers::ReadAvailable(p.peer), echo == "q\b\r\n"));
    }

    void readLine()
    {
        peers::Listener l;
        TWSocket s;
        std::string line;
        QCOMPARE(Raised([&] { s.ReadLine(1, line); }), QStringLiteral("ReadLine failed: not connected"));
        const int peer = ConnectPair(s, l);
        QVERIFY(peer >= 0);
        int other = 0;
        s.OnDataAvailable = [&](TCustomWSocket *, int) { ++other; };

        // Posted: it runs inside ReadLine's own loop.
        QMetaObject::invokeMethod(
            qApp, [&] { peers::SendAll(peer, "hello\r\nnext\r\n"); }, Qt::QueuedConnection);
        QCOMPARE(s.ReadLine(5, line), 0);
        QCOMPARE(line, std::string("hello\r\n"));
        QCOMPARE(s.ReadLine(5, line), 0); // the second line was already held
        QCOMPARE(line, std::string("next\r\n"));
        QVERIFY(!s.LineMode()); // restored
        QCOMPARE(other, 0);

        // The time limit gives 12001 and hands over what is held.
        QVERIFY(peers::SendAll(peer, "part"));
        QTRY_VERIFY(s.RcvdCount() == 4);
        QElapsedTimer t;
        t.start();
        QCOMPARE(s.ReadLine(-300, line), 12001);
        QVERIFY(t.elapsed() >= 290);
        QVERIFY(t.elapsed() < 5000);
        QCOMPARE(line, std::string("part"));
        ::close(peer);
    }

    void socksSettings()
    {
        TWSocket s;
        s.SetSocksLevel("4a");
        QCOMPARE(s.SocksLevel(), std::string("4A"));
        QCOMPARE(Raised([&] { s.SetSocksLevel("6"); }),
                 QStringLiteral("Invalid socks level. Must be 4, 4A or 5."));
        s.SetSocksServer(" proxy.example ");
        s.SetSocksPort("1080");
        s.SetAddr("127.0.0.1");
        s.SetPort("21");
        // No negotiation here: refusing is better than silently going around the proxy.
        QCOMPARE(Raised([&] { s.Connect(); }),
                 QStringLiteral("Connect: SOCKS is not supported, cannot connect thru socks server proxy.example"));
        QCOMPARE(s.State(), TSocketState::wsClosed);
        QCOMPARE(Raised([&] { s.Listen(); }), QStringLiteral("Listening is not supported thru socks server"));
        s.SetProto("udp");
        QCOMPARE(Raised([&] { s.Connect(); }),
                 QStringLiteral("tcp is the only protocol supported thru socks server"));

        // Every close forgets the SOCKS server.
        s.SetProto("tcp");
        s.SetSocksServer("");
        s.SetAddr("127.0.0.1");
        s.SetPort("0");
        s.Listen();
        QCOMPARE(Raised([&] { s.SetSocksLevel("4"); }), QStringLiteral("Can't change socks level if not closed"));
        QCOMPARE(Raised([&] { s.SetSocksPort("1"); }), QStringLiteral("Can't change socks port if not closed"));
        s.Close();
        s.SetSocksServer("proxy");
        s.SetSocksLevel("4");
        s.Close(); // closed already: nothing is reset
        QCOMPARE(s.SocksServer(), std::string("proxy"));
        s.SetAddr("127.0.0.1");
        s.SetPort("0");
        s.SetSocksServer("");
        s.Listen();
        s.Close();
        QCOMPARE(s.SocksLevel(), std::string("5"));
        QCOMPARE(s.SocksPort(), std::string());
    }
};

QTEST_GUILESS_MAIN(TestLineMode)
#include "tst_linemode.moc"
