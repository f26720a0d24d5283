// tarsel-cli end to end against a real server.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "support/ftpfixture.h"
#include "support/realservers.h"
#include "support/scriptedftpserver.h"

#ifdef TARSEL_HAVE_SETTINGS
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#endif

using namespace tarsel::test;

namespace {

struct Result {
    int status = -1;
    QByteArray out, err;
};

Result Cli(const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    p.start(QStringLiteral(TARSEL_BINARY_DIR "/src/cli/tarsel-cli"), args);
    if (!p.waitForStarted(10000))
        return {};
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    // Waits with the event loop running, so a scripted server in this process answers.
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace

class TestFtpCli : public QObject {
    Q_OBJECT

private slots:
    void usageErrors();
    void idleTimeout();
    void idleCountsBytes();
    void endlessReplyEnds();
    void serverTextEscaped();
    void sizeWithoutNumberFails();
    void commandsAgainstVsftpd_data();
    void commandsAgainstVsftpd();
};

void TestFtpCli::usageErrors()
{
    QCOMPARE(Cli({}).status, 2);
    QCOMPARE(Cli({"127.0.0.1"}).status, 2);
    QCOMPARE(Cli({"--bogus", "127.0.0.1", "pwd"}).status, 2);
    QCOMPARE(Cli({"127.0.0.1:x", "pwd"}).status, 2);
}

void TestFtpCli::idleTimeout()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("PWD", [](const QByteArray &) {}); // never answers
    Result r = Cli({"--timeout", "1", "127.0.0.1:" + QString::number(srv.port()), "pwd"});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("timed out: nothing arrived for 1 seconds"), r.err.constData());
}

// A reply arriving a byte at a time is alive, though no line completes for longer than
// the time-out.
void TestFtpCli::idleCountsBytes()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QTimer drip;
    QByteArray rest;
    QObject::connect(&drip, &QTimer::timeout, &srv, [&] {
        if (rest.isEmpty())
            return drip.stop();
        srv.reply(rest.left(1));
        rest.remove(0, 1);
    });
    srv.on("PWD", [&](const QByteArray &) {
        rest = "257 \"/slow\"\r\n";
        drip.start(250); // the server's pace: 13 bytes over about 3 s, time-out 1 s
    });
    Result r = Cli({"--timeout", "1", "127.0.0.1:" + QString::number(srv.port()), "pwd"});
    QVERIFY2(r.status == 0, r.err.constData());
    QCOMPARE(r.out, QByteArray("/slow\n"));
}

// A reply that keeps adding continuation lines ends after ten times the time-out.
void TestFtpCli::endlessReplyEnds()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, &srv, [&] { srv.line("257-still going"); });
    srv.on("PWD", [&](const QByteArray &) { drip.start(200); });
    Result r = Cli({"--timeout", "1", "127.0.0.1:" + QString::number(srv.port()), "pwd"});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("a reply did not end within 10 seconds"), r.err.constData());
}

// Nothing the server says reaches the terminal raw, and a password is hidden in any case.
void TestFtpCli::serverTextEscaped()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("PWD", [&](const QByteArray &) { srv.line("257 \"/\x1b[2Jx\" ok"); });
    srv.on("NOOP", [&](const QByteArray &) { srv.reply("200 \x1b]0;title\x07 fine\r\n"); });
    const QString host = "127.0.0.1:" + QString::number(srv.port());
    Result r = Cli({"-v", "-u", "u", "-p", "secret", host, "pwd"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("/\\x1b[2Jx\n"));
    QVERIFY(!r.err.contains('\x1b'));
    QVERIFY(!r.err.contains("secret"));
    r = Cli({"-v", "-u", "u", "-p", "secret", host, "quote", "pass", "hidden-too"});
    QVERIFY(!r.err.contains("hidden-too"));
    r = Cli({"-u", "u", "-p", "secret", host, "quote", "NOOP"});
    QCOMPARE(r.status, 0);
    QVERIFY(!r.out.contains('\x1b') && !r.out.contains('\x07'));
    QVERIFY2(r.out.contains("200 \\x1b]0;title\\x07 fine"), r.out.constData());
}

void TestFtpCli::sizeWithoutNumberFails()
{
    ScriptedFtpServer srv;
    QVERIFY(srv.start());
    srv.on("SIZE", [&](const QByteArray &) { srv.line("213 file: 213, Size =51"); });
    Result r = Cli({"-u", "u", "-p", "secret", "127.0.0.1:" + QString::number(srv.port()), "size", "f"});
    QCOMPARE(r.status, 1);
    QVERIFY(r.out.isEmpty());
}

void TestFtpCli::commandsAgainstVsftpd_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("passive") << "--passive";
    QTest::newRow("active") << "--active";
}

void TestFtpCli::commandsAgainstVsftpd()
{
    QFETCH(QString, mode);
    QString why;
    auto srv = StartRealServer("vsftpd", &why);
    if (!srv)
        QSKIP(qPrintable(why));
    const QString host = "127.0.0.1:" + QString::number(srv->port);
    QTemporaryDir dir;
    QByteArray content(777777, Qt::Uninitialized);
    for (int i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 31 + i / 977);
    QFile f(dir.path() + "/up.bin");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();

    Result r = Cli({mode, host, "put", dir.path() + "/up.bin", "/pub/up.bin"});
    QCOMPARE(r.status, 0);
    QCOMPARE(ReadAll(srv->localDir + "/up.bin"), content);
    r = Cli({mode, host, "get", "/pub/up.bin", dir.path() + "/down.bin"});
    QCOMPARE(r.status, 0);
    QCOMPARE(ReadAll(dir.path() + "/down.bin"), content);
    r = Cli({mode, host, "size", "/pub/up.bin"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out.trimmed(), QByteArray::number(content.size()));
    r = Cli({mode, host, "ls", "/pub"});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains(" up.bin\r\n"));

    // reget continues a partial local file
    QFile part(dir.path() + "/part.bin");
    QVERIFY(part.open(QIODevice::WriteOnly));
    part.write(content.left(300000));
    part.close();
    r = Cli({mode, host, "reget", "/pub/up.bin", dir.path() + "/part.bin"});
    QCOMPARE(r.status, 0);
    QCOMPARE(ReadAll(dir.path() + "/part.bin"), content);

    // a batch in one session; the first failure ends it with status 1
    QByteArray batch = "mkdir \"/pub/a dir\"\n"
                       "rename /pub/up.bin \"/pub/a dir/moved.bin\"\n"
                       "# a comment\n"
                       "pwd\n"
                       "quote NOOP\n"
                       "delete /pub/missing.bin\n"
                       "pwd\n";
    r = Cli({mode, "-v", host, "-b", "-"}, batch);
    QCOMPARE(r.status, 1);
    QVERIFY(QFile::exists(srv->localDir + "/a dir/moved.bin"));
    QCOMPARE(r.out, QByteArray("/\n200 NOOP ok.\n"));
    QVERIFY(r.err.contains("tarsel-cli: 550"));
    QVERIFY(r.err.contains("> PASS (Password hidden)") || r.err.contains("< 230"));

    // cd: later lines of a batch are relative to it; a missing directory ends the batch
    r = Cli({mode, host, "-b", "-"}, "cd \"/pub/a dir\"\nls\ncd /pub/nowhere\npwd\n");
    QCOMPARE(r.status, 1);
    QVERIFY2(r.out.contains(" moved.bin\r\n") && !r.out.contains("/pub"), r.out.constData());
    QVERIFY2(r.err.contains("tarsel-cli: cd /pub/nowhere: 550"), r.err.constData());

    // a refused download leaves no file behind
    r = Cli({mode, host, "get", "/pub/missing.bin", dir.path() + "/none.bin"});
    QCOMPARE(r.status, 1);
    QVERIFY(!QFile::exists(dir.path() + "/none.bin"));

#ifdef TARSEL_HAVE_SETTINGS
    QTemporaryDir data;
    tarsel::ProfileFile file(data.path() + "/accounts.dat");
    tarsel::Profile p;
    p.Name = "local vsftpd";
    p.HostName = "127.0.0.1";
    p.Port = srv->port;
    p.UserName = "anonymous";
    p.PassWord = "me@example.org";
    p.StartDir = "/pub/a dir";
    p.Passive = mode == "--passive";
    tarsel::WriteProfile(file, p);
    QVERIFY(file.Save());
    r = Cli({"--data-dir", data.path(), "--profile", "local vsftpd", "pwd"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("/pub/a dir\n"));
    QCOMPARE(Cli({"--data-dir", data.path(), "--profile", "nobody", "pwd"}).status, 2);
#endif
}

QTEST_GUILESS_MAIN(TestFtpCli)
#include "tst_ftp_cli.moc"
