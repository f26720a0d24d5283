// A client destroyed inside one of its own events raised from the event loop (deleted
// at once, or Released) is never touched again, whatever request was running. Under
// AddressSanitizer a use after free fails the test.
#include <QtTest>

#include "ftp/ftpcli.h"
#include "support/ftpfixture.h"
#include "support/ftpharness.h"
#include "support/scriptedftpserver.h"

using namespace tarsel;
using tarsel::test::FtpHarness;
using tarsel::test::ScriptedFtpServer;

namespace {

class Tracked : public TFtpClient {
public:
    explicit Tracked(bool &gone) : m_gone(gone) {}
    ~Tracked() override { m_gone = true; }

private:
    bool &m_gone;
};

} // namespace

class TestFtpLifetime : public QObject {
    Q_OBJECT

private slots:
    void destroyedInsideEvent_data();
    void destroyedInsideEvent();
};

void TestFtpLifetime::destroyedInsideEvent_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<bool>("release");
    struct Row {
        const char *event, *request;
    };
    const Row rows[] = {{"Display", "connect"},        {"Response", "connect"},  {"StateChange", "connect"},
                        {"SessionConnected", "connect"}, {"Command", "connect"},  {"RequestDone", "connect"},
                        {"Display", "get"},             {"Progress", "get"},      {"DisplayFile", "dir"},
                        {"Progress", "put"},            {"ReadyToTransmit", "put"}, {"Display", "put"},
                        {"SessionClosed", "drop"},      {"StateChange", "drop"}};
    for (const Row &r : rows)
        for (bool passive : {true, false})
            for (bool release : {false, true})
                QTest::newRow((QByteArray(r.event) + " " + r.request + (passive ? " passive" : " active") +
                               (release ? " release" : " delete"))
                                  .constData())
                    << QString(r.event) << QString(r.request) << passive << release;
}

void TestFtpLifetime::destroyedInsideEvent()
{
    QFETCH(QString, event);
    QFETCH(QString, request);
    QFETCH(bool, passive);
    QFETCH(bool, release);
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.files["f.bin"] = QByteArray(300000, 'x');
    QTemporaryDir dir;
    const QString local = dir.path() + "/f.bin";
    {
        QFile f(local);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(300000, 'y'));
    }
    bool gone = false;
    bool armed = false;
    bool killed = false;
    int done = 0;
    auto *ftp = new Tracked(gone);
    ftp->SetHostName("127.0.0.1");
    ftp->SetPort(std::to_string(srv.port()));
    ftp->SetUserName("user");
    ftp->SetPassWord("secret");
    ftp->SetPassive(passive);
    auto kill = [&](TCustomFtpCli *c, const char *name) {
        if (!armed || killed || event != name)
            return;
        killed = true;
        if (release)
            c->Release();
        else
            delete c;
    };
    ftp->OnDisplay = [&](TCustomFtpCli *c, std::string &) { kill(c, "Display"); };
    ftp->OnResponse = [&](TCustomFtpCli *c) { kill(c, "Response"); };
    ftp->OnStateChange = [&](TCustomFtpCli *c) { kill(c, "StateChange"); };
    ftp->OnSessionConnected = [&](TCustomFtpCli *c, int) { kill(c, "SessionConnected"); };
    ftp->OnSessionClosed = [&](TCustomFtpCli *c, int) { kill(c, "SessionClosed"); };
    ftp->OnCommand = [&](TCustomFtpCli *c, std::string &) { kill(c, "Command"); };
    ftp->OnProgress = [&](TCustomFtpCli *c, std::int64_t, bool &) { kill(c, "Progress"); };
    ftp->OnDisplayFile = [&](TCustomFtpCli *c, std::string &) { kill(c, "DisplayFile"); };
    ftp->OnReadyToTransmit = [&](TCustomFtpCli *c, bool &) { kill(c, "ReadyToTransmit"); };
    ftp->OnRequestDone = [&](TCustomFtpCli *c, TFtpRequest, int) {
        ++done;
        kill(c, "RequestDone");
    };
    if (request != "connect") {
        ftp->ConnectAsync();
        QVERIFY(FtpHarness::waitFor([&] { return done == 1; }, 5000));
    }
    if (request == "connect") {
        ftp->ConnectAsync();
    } else if (request == "get") {
        ftp->SetHostFileName("f.bin");
        ftp->SetLocalFileName((dir.path() + "/got.bin").toStdString());
        ftp->GetAsync();
    } else if (request == "dir") {
        ftp->SetDisplayFileFlag(true);
        ftp->DirAsync();
    } else if (request == "put") {
        ftp->SetHostFileName("up.bin");
        ftp->SetLocalFileName(local.toStdString());
        ftp->PutAsync();
    } else if (request == "drop") {
        srv.dropControl();
    }
    // Only events raised from the event loop: the request method has returned.
    armed = true;
    QVERIFY(FtpHarness::waitFor([&] { return gone; }, 10000));
    QVERIFY(killed);
    FtpHarness::settle();
}

QTEST_GUILESS_MAIN(TestFtpLifetime)
#include "tst_ftp_lifetime.moc"
