// Wall times of tarsel-cli, lftp and curl side by side against one local vsftpd: get
// and put of one big file in passive and active mode, a LIST of many entries and a
// folder of many small files down and up (tarsel-cli -b against lftp mirror/mirror -R;
// curl has no mirror). Beside them: the FTP client in this process with
// the connection window's socket settings (BufSize 1514, no receive loop), with the
// default block sizes and with the small ones of before (1460 up, 4096 down), and a
// raw loopback socket copy of the same size as the physical limit.
//
//   bench_ftp_transfer [--mib N=1024] [--runs R=3] [--files N=1000] [--list N=100000]
//                      [--cli PATH] [--only TEXT] [--tool TEXT]
//
// --only keeps the cases whose title contains TEXT ("get", "put", "active", "LIST",
// "files"), to rerun one part; --tool keeps the tools whose name contains TEXT, or one
// of several given as A,B (to compare a few closely, or run one under a profiler).
//
// Every path runs R times, taking turns, and the median counts. Ratios are tarsel's
// time divided by lftp's or curl's: below 1.0 tarsel is faster.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "benchsupport.h"
#include "ftp/ftpcli.h"
#include "support/realservers.h"

using namespace tarsel;
using tarsel::bench::CurlArgs;
using tarsel::bench::Median;
using tarsel::bench::RunProcess;

namespace {

struct Env {
    QString cli;
    quint16 port = 0;
    QString serverDir; // /pub on disk
    QString work;      // local scratch folder
    QString url;       // ftp://127.0.0.1:port/pub/
};

QStringList CliArgs(const Env &e, bool passive) { return bench::CliArgs(e.port, passive); }

QStringList LftpArgs(const Env &e, bool passive, const QString &script)
{
    return bench::LftpArgs(e.port, passive, script);
}

bool WriteFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// The FTP client in this process, set up as the connection window sets it up (or left
// at its defaults, as tarsel-cli uses it: the same code without a process start).
struct InProcess {
    TFtpClient ftp;
    int Run(void (TCustomFtpCli::*rq)())
    {
        int result = -1;
        bool done = false;
        QEventLoop loop;
        ftp.OnRequestDone = [&](TCustomFtpCli *, TFtpRequest, int e) {
            result = e;
            done = true;
            loop.quit();
        };
        try {
            (ftp.*rq)();
        } catch (const std::exception &ex) {
            std::fprintf(stderr, "  (in-process: %s)\n", ex.what());
            return -1;
        }
        if (!done)
            loop.exec();
        return result;
    }
    bool Open(const Env &e, bool passive, bool windowSettings = true)
    {
        for (TWSocket *s : {ftp.ControlSocket(), ftp.DataSocket()}) {
            if (!windowSettings)
                break;
            s->SetBufSize(1514);
            s->SetComponentOptions({TWSocketOption::wsoNoReceiveLoop});
        }
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(std::to_string(e.port));
        ftp.SetUserName("anonymous");
        ftp.SetPassWord("x");
        ftp.SetPassive(passive);
        return Run(&TCustomFtpCli::ConnectAsync) == 0 && Run(&TCustomFtpCli::TypeBinaryAsync) == 0;
    }
};

// Seconds to copy total bytes over a loopback TCP connection with blocking calls.
bool RawCopy(std::int64_t total)
{
    int ls = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (ls < 0 || ::bind(ls, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(ls, 1) != 0 ||
        ::getsockname(ls, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return false;
    std::thread writer([a, total] {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0) {
            std::vector<char> buf(256 * 1024, 'x');
            std::int64_t left = total;
            while (left > 0) {
                ssize_t n = ::send(s, buf.data(), static_cast<size_t>(std::min<std::int64_t>(left, 256 * 1024)), 0);
                if (n <= 0)
                    break;
                left -= n;
            }
        }
        ::close(s);
    });
    int c = ::accept(ls, nullptr, nullptr);
    std::vector<char> buf(256 * 1024);
    std::int64_t got = 0;
    for (;;) {
        ssize_t n = ::recv(c, buf.data(), buf.size(), 0);
        if (n <= 0)
            break;
        got += n;
    }
    writer.join();
    ::close(c);
    ::close(ls);
    return got == total;
}

struct Row {
    QString name;
    std::map<QString, std::vector<qint64>> times; // tool -> ms per run
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qint64 mib = 1024;
    int runs = 3, files = 1000, listCount = 100000;
    QString cli = QString(TARSEL_BINARY_DIR) + "/src/cli/tarsel-cli";
    QString only, toolFilter;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--mib")
            mib = args[i + 1].toLongLong();
        else if (args[i] == "--runs")
            runs = args[i + 1].toInt();
        else if (args[i] == "--files")
            files = args[i + 1].toInt();
        else if (args[i] == "--list")
            listCount = args[i + 1].toInt();
        else if (args[i] == "--cli")
            cli = args[i + 1];
        else if (args[i] == "--only")
            only = args[i + 1];
        else if (args[i] == "--tool")
            toolFilter = args[i + 1];
    }
    const QStringList toolFilters = toolFilter.split(',');
    const qint64 size = mib * 1024 * 1024;
    QString why;
    auto srv = tarsel::test::StartRealServer("vsftpd", &why);
    if (!srv) {
        std::fprintf(stderr, "bench_ftp_transfer: %s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir dir;
    Env env{cli, srv->port, srv->localDir, dir.path(), QString("ftp://127.0.0.1:%1/pub/").arg(srv->port)};
    const QString src = env.work + "/source.bin";
    {
        QFile f(src);
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 131 + i / 4093);
        for (qint64 i = 0; i < mib; ++i) {
            block[0] = static_cast<char>(i);
            f.write(block);
        }
    }
    QFile::copy(src, env.serverDir + "/source.bin");
    // The small files, on the server and locally; the listing folder on the server.
    QDir().mkpath(env.serverDir + "/tree");
    QDir().mkpath(env.work + "/tree");
    QByteArray small(4096, 'a');
    for (int i = 0; i < files; ++i) {
        small[0] = static_cast<char>(i);
        WriteFile(env.serverDir + QString("/tree/f%1.bin").arg(i), small);
        WriteFile(env.work + QString("/tree/f%1.bin").arg(i), small);
    }
    QDir().mkpath(env.serverDir + "/list");
    for (int i = 0; i < listCount; ++i)
        WriteFile(env.serverDir + QString("/list/entry-%1").arg(i, 6, 10, QChar('0')), {});
    // Batch files for tarsel-cli.
    WriteFile(env.work + "/list.batch", "cd /pub/list\nls\n");
    {
        QFile down(env.work + "/down.batch"), up(env.work + "/up.batch");
        down.open(QIODevice::WriteOnly);
        up.open(QIODevice::WriteOnly);
        up.write("mkdir /pub/up-tarsel\n");
        for (int i = 0; i < files; ++i) {
            QByteArray f = "f" + QByteArray::number(i) + ".bin";
            down.write("get /pub/tree/" + f + " " + QFile::encodeName(env.work) + "/down-tarsel/" + f + "\n");
            up.write("put " + QFile::encodeName(env.work) + "/tree/" + f + " /pub/up-tarsel/" + f + "\n");
        }
    }

    using Step = std::function<bool()>;
    struct Case {
        QString name;
        std::vector<std::pair<QString, Step>> tools;
        Step cleanup;
    };
    std::vector<Case> cases;
    auto rm = [](const QString &p) {
        QFile::remove(p);
        return true;
    };
    bench::Trash localTrash(env.work + "/trash"), serverTrash(srv->tmp.path() + "/trash");
    const QString got = env.work + "/got.bin";
    for (bool passive : {true, false}) {
        const QString mode = passive ? "passive" : "active";
        Case get{QString("get %1 MiB %2").arg(mib).arg(mode), {}, [=] { return rm(got); }};
        get.tools.push_back({"tarsel-cli", [=] {
                                 return RunProcess(env.cli, CliArgs(env, passive) + QStringList{"get", "/pub/source.bin", got});
                             }});
        get.tools.push_back({"lftp", [=] {
                                 return RunProcess("lftp", LftpArgs(env, passive, "get /pub/source.bin -o " + got));
                             }});
        get.tools.push_back({"curl", [=] {
                                 return RunProcess("curl", CurlArgs(passive) + QStringList{"-o", got, env.url + "source.bin"});
                             }});
        // 0: the window's settings, 1: the same with the old small blocks, 2: defaults.
        for (int kind : {0, 1, 2})
            get.tools.push_back({kind == 1 ? "client 4 KiB reads" : kind == 2 ? "client (defaults)" : "client (window settings)",
                                 [=] {
                                     InProcess c;
                                     if (!c.Open(env, passive, kind != 2))
                                         return false;
                                     if (kind == 1)
                                         c.ftp.SetDownloadBlockSize(4096);
                                     c.ftp.SetHostFileName("/pub/source.bin");
                                     c.ftp.SetLocalFileName(got.toStdString());
                                     bool ok = c.Run(&TCustomFtpCli::GetAsync) == 0;
                                     c.Run(&TCustomFtpCli::QuitAsync);
                                     return ok;
                                 }});
        if (passive)
            get.tools.push_back({"raw socket copy", [=] { return RawCopy(size); }});
        cases.push_back(get);

        const QString remote = env.serverDir + "/up.bin";
        Case put{QString("put %1 MiB %2").arg(mib).arg(mode), {}, [=] { return rm(remote); }};
        put.tools.push_back({"tarsel-cli", [=] {
                                 return RunProcess(env.cli, CliArgs(env, passive) + QStringList{"put", src, "/pub/up.bin"});
                             }});
        put.tools.push_back({"lftp", [=] { return RunProcess("lftp", LftpArgs(env, passive, "put " + src + " -o /pub/up.bin")); }});
        put.tools.push_back({"curl", [=] { return RunProcess("curl", CurlArgs(passive) + QStringList{"-T", src, env.url + "up.bin"}); }});
        // 0: the window's settings, 1: the same with the old small blocks, 2: defaults.
        for (int kind : {0, 1, 2})
            put.tools.push_back({kind == 1 ? "client 1460 B blocks" : kind == 2 ? "client (defaults)" : "client (window settings)",
                                 [=] {
                                     InProcess c;
                                     if (!c.Open(env, passive, kind != 2))
                                         return false;
                                     if (kind == 1)
                                         c.ftp.SetUploadBlockSize(1460);
                                     c.ftp.SetHostFileName("/pub/up.bin");
                                     c.ftp.SetLocalFileName(src.toStdString());
                                     bool ok = c.Run(&TCustomFtpCli::PutAsync) == 0;
                                     c.Run(&TCustomFtpCli::QuitAsync);
                                     return ok;
                                 }});
        cases.push_back(put);
    }
    if (listCount > 0) {
        // All three change into the folder and send a bare LIST: vsftpd takes measurably
        // longer over "LIST /pub/list" than over "LIST" in its current directory.
        Case list{QString("LIST of %1 entries, passive (CWD + LIST)").arg(listCount), {}, [] { return true; }};
        list.tools.push_back({"tarsel-cli", [=] {
                                  return RunProcess(env.cli, CliArgs(env, true) + QStringList{"-b", env.work + "/list.batch"});
                              }});
        list.tools.push_back({"lftp", [=] { return RunProcess("lftp", LftpArgs(env, true, "cd /pub/list; ls")); }});
        list.tools.push_back({"curl", [=] { return RunProcess("curl", CurlArgs(true) + QStringList{env.url + "list/"}); }});
        cases.push_back(list);
    }
    if (files > 0) {
        // The trees of earlier runs go to the trash, not deleted (see Trash).
        Case down{QString("%1 files of 4 KiB down, passive").arg(files), {}, [=, &localTrash] {
                      for (const char *t : {"tarsel", "lftp"})
                          localTrash.Take(env.work + "/down-" + t);
                      return true;
                  }};
        down.tools.push_back({"tarsel-cli", [=] {
                                  QDir().mkpath(env.work + "/down-tarsel");
                                  return RunProcess(env.cli, CliArgs(env, true) + QStringList{"-b", env.work + "/down.batch"});
                              }});
        down.tools.push_back({"lftp", [=] {
                                  return RunProcess("lftp", LftpArgs(env, true, "mirror /pub/tree " + env.work + "/down-lftp"));
                              }});
        cases.push_back(down);
        Case up{QString("%1 files of 4 KiB up, passive").arg(files), {}, [=, &serverTrash] {
                    for (const char *t : {"tarsel", "lftp"})
                        serverTrash.Take(env.serverDir + "/up-" + t);
                    return true;
                }};
        up.tools.push_back({"tarsel-cli", [=] {
                                return RunProcess(env.cli, CliArgs(env, true) + QStringList{"-b", env.work + "/up.batch"});
                            }});
        up.tools.push_back({"lftp", [=] {
                                return RunProcess("lftp", LftpArgs(env, true, "mirror -R " + env.work + "/tree /pub/up-lftp"));
                            }});
        cases.push_back(up);
    }

    std::printf("vsftpd on loopback; %d runs per path, medians in ms; /lftp, /curl: this time over theirs\n", runs);
    bool allOk = true;
    for (Case &c : cases) {
        if (!only.isEmpty() && !c.name.contains(only))
            continue;
        std::map<QString, std::vector<qint64>> times;
        for (int r = 0; r < runs; ++r) {
            // Taking turns: a busy moment of the machine hits every tool alike.
            for (std::size_t k = 0; k < c.tools.size(); ++k) {
                auto &[name, step] = c.tools[(k + static_cast<std::size_t>(r)) % c.tools.size()];
                if (!toolFilter.isEmpty() &&
                    std::none_of(toolFilters.begin(), toolFilters.end(), [&](const QString &t) { return name.contains(t); }))
                    continue;
                c.cleanup();
                QElapsedTimer t;
                t.start();
                bool ok = step();
                qint64 ms = t.elapsed();
                if (!ok) {
                    allOk = false;
                    ms = -1;
                }
                times[name].push_back(ms);
            }
        }
        c.cleanup();
        const qint64 lftp = Median(times["lftp"]);
        const qint64 curl = Median(times["curl"]);
        std::printf("%s\n", qPrintable(c.name));
        for (auto &[name, step] : c.tools) {
            const qint64 m = Median(times[name]);
            std::printf("  %-26s %8lld ms", qPrintable(name), static_cast<long long>(m));
            if (name != "lftp" && name != "curl" && m > 0) {
                if (lftp > 0)
                    std::printf("   /lftp %5.2f", double(m) / double(lftp));
                if (curl > 0)
                    std::printf("   /curl %5.2f", double(m) / double(curl));
            }
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    rm(env.serverDir + "/source.bin");
    return allOk ? 0 : 1;
}
