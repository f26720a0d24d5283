// Resolution helpers, the error table and the library information.
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>

#include "net/wsocket.h"

using namespace tarsel;

namespace {
QString raised(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const ESocketException &e) {
        return QString::fromStdString(e.Message());
    }
    return QStringLiteral("(nothing raised)");
}
} // namespace

class TestResolve : public QObject {
    Q_OBJECT
private slots:
    void dottedIP_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("dotted");
        QTest::newRow("plain") << "10.0.0.1" << true;
        QTest::newRow("spaces around") << "  10.0.0.1  " << true;
        QTest::newRow("all ones") << "255.255.255.255" << true;
        QTest::newRow("leading zeros") << "010.000.0.1" << true;
        QTest::newRow("three parts") << "10.0.0" << false;
        QTest::newRow("part above 255") << "10.0.0.256" << false;
        QTest::newRow("leading dot") << ".1.2.3" << false;
        QTest::newRow("trailing letter") << "1.2.3.4x" << false;
        QTest::newRow("five parts") << "1.2.3.4.5" << false;
        QTest::newRow("empty part") << "1..3.4" << false;
        QTest::newRow("trailing dot") << "1.2.3.4." << false;
        QTest::newRow("inner space") << "1.2 .3.4" << false;
        QTest::newRow("tab") << "\t1.2.3.4" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("huge part") << "1.2.3.99999999999" << false;
        QTest::newRow("name") << "localhost" << false;
    }
    void dottedIP()
    {
        QFETCH(QString, text);
        QFETCH(bool, dotted);
        QCOMPARE(WSocketIsDottedIP(text.toStdString()), dotted);
    }

    void resolvePort_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("proto");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("error");
        QTest::newRow("number") << "2121" << "tcp" << 2121 << "";
        QTest::newRow("digits then letters") << "21abc" << "tcp" << 21 << "";
        QTest::newRow("service") << " ftp " << "tcp" << 21 << "";
        QTest::newRow("service any proto") << "ftp" << "" << 0 << "WSocketResolvePort: Invalid Proto.";
        QTest::newRow("empty") << "" << "tcp" << 0 << "WSocketResolvePort: Invalid Port.";
        QTest::newRow("32 chars") << QString(32, '1') << "tcp" << 0 << "WSocketResolvePort: Invalid Port.";
        QTest::newRow("unknown service") << "nosuchservice" << "tcp" << 0
                                         << "WSocketResolvePort: Cannot convert port 'nosuchservice', Error #11004";
        // Beyond 16 bits a port would wrap onto another one.
        QTest::newRow("above 65535") << "65557" << "tcp" << 0
                                     << "WSocketResolvePort: Cannot convert port '65557', Error #10022";
    }
    void resolvePort()
    {
        QFETCH(QString, port);
        QFETCH(QString, proto);
        QFETCH(int, number);
        QFETCH(QString, error);
        if (error.isEmpty()) {
            if (port.trimmed() == "ftp" && getservbyname("ftp", "tcp") == nullptr)
                QSKIP("no services database here");
            QCOMPARE(int(WSocketResolvePort(port.toStdString(), proto.toStdString())), number);
        } else {
            QCOMPARE(raised([&] { WSocketResolvePort(port.toStdString(), proto.toStdString()); }), error);
        }
    }

    void resolveProtoAndHost()
    {
        QCOMPARE(WSocketResolveProto("tcp"), 6);
        QCOMPARE(WSocketResolveProto(" udp "), 17);
        QCOMPARE(WSocketResolveProto("17"), 17);
        QCOMPARE(raised([] { WSocketResolveProto(""); }), QStringLiteral("WSocketResolveProto: Invalid Protocol."));
        QCOMPARE(raised([] { WSocketResolveProto("nosuchproto"); }),
                 QStringLiteral("WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #11004"));

        QCOMPARE(WSocketAddrToStr(WSocketResolveHost(" 127.0.0.1 ")), std::string("127.0.0.1"));
        QCOMPARE(WSocketAddrToStr(WSocketResolveHost("255.255.255.255")), std::string("255.255.255.255"));
        QCOMPARE(WSocketAddrToStr(WSocketResolveHost("localhost")), std::string("127.0.0.1"));
        QCOMPARE(raised([] { WSocketResolveHost(""); }), QStringLiteral("WSocketResolveHost: '' Invalid Hostname."));
        QCOMPARE(raised([] { WSocketResolveHost(std::string(257, 'a')); }),
                 QStringLiteral("WSocketResolveHost: '%1' Invalid Hostname.").arg(QString(257, 'a')));
        QCOMPARE(raised([] { WSocketGetHostByName(""); }), QStringLiteral("WSocketGetHostByName: Invalid Hostname."));
        QCOMPARE(raised([] { WSocketGetHostByAddr(""); }), QStringLiteral("WSocketGetHostByAddr: Invalid address."));
        const auto e = WSocketGetHostByName("localhost");
        QVERIFY(e && !e->h_addr_list.empty());
        QVERIFY(!LocalHostName().empty());
        LocalIPList(); // refilled on each call; the content depends on the machine
    }

    void errorTable_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "No Error";
        QTest::newRow("10004") << 10004 << "Interrupted system call";
        QTest::newRow("10035") << 10035 << "Operation would block";
        QTest::newRow("10047") << 10047 << "Address family not supported by protocol family";
        QTest::newRow("10054") << 10054 << "Connection reset by peer";
        QTest::newRow("10057") << 10057 << "Socket is not connected";
        QTest::newRow("10059") << 10059 << "Too many references: can't splice";
        QTest::newRow("10061") << 10061 << "Connection refused";
        QTest::newRow("10071") << 10071 << "Too many levels of remote in path";
        QTest::newRow("10091") << 10091 << "Network sub-system is unusable";
        QTest::newRow("10093") << 10093 << "WinSock not initialized";
        QTest::newRow("11004") << 11004 << "No Data";
        QTest::newRow("gap 10072") << 10072 << "Not a WinSock error";
        QTest::newRow("12001") << 12001 << "Not a WinSock error";
    }
    void errorTable()
    {
        QFETCH(int, number);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(WSocketErrorDesc(number)), text);
    }

    void errnoMapping()
    {
        QCOMPARE(WSocketErrorFromErrno(ECONNREFUSED), 10061);
        QCOMPARE(WSocketErrorFromErrno(ECONNRESET), 10054);
        QCOMPARE(WSocketErrorFromErrno(EPIPE), 10054);
        QCOMPARE(WSocketErrorFromErrno(EWOULDBLOCK), 10035);
        QCOMPARE(WSocketErrorFromErrno(EAGAIN), 10035);
        QCOMPARE(WSocketErrorFromErrno(ETIMEDOUT), 10060);
        QCOMPARE(WSocketErrorFromErrno(EADDRINUSE), 10048);
        QCOMPARE(WSocketErrorFromErrno(ENOTCONN), 10057);
        QCOMPARE(WSocketErrorDesc(WSocketErrorFromErrno(ENOENT)), std::string("Not a WinSock error"));
    }

    void libraryInfoAndUseCount()
    {
        const TWSAData d = WinsockInfo();
        QVERIFY(QString::fromStdString(d.szDescription).startsWith("POSIX sockets on Linux "));
        QCOMPARE(d.szSystemStatus, std::string("Running"));
        const int base = WSocketUseCount();
        WSocketForceLoadWinsock();
        WSocketForceLoadWinsock(); // at most once
        QCOMPARE(WSocketUseCount(), base + 1);
        WSocketCancelForceLoadWinsock();
        QCOMPARE(WSocketUseCount(), base);
        {
            TWSocket s;
            QCOMPARE(WSocketUseCount(), base + 1);
        }
        QCOMPARE(WSocketUseCount(), base);
    }

    void timerHelpers()
    {
        timeval a{5, 7}, b{5, 7}, z{0, 0};
        QVERIFY(TCustomWSocket::TimerIsSet(a));
        QVERIFY(!TCustomWSocket::TimerIsSet(z));
        QVERIFY(TCustomWSocket::TimerCmp(a, b, true));
        QVERIFY(!TCustomWSocket::TimerCmp(a, b, false));
        TCustomWSocket::TimerClear(a);
        QVERIFY(!TCustomWSocket::TimerIsSet(a));
        QVERIFY(TCustomWSocket::TimerCmp(a, b, false));
    }
};

QTEST_GUILESS_MAIN(TestResolve)
#include "tst_resolve.moc"
