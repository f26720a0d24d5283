// Wall times of tarsel-cli, lftp and curl side by side against one local vsftpd: get
// and put of one big file in passive and active mode, a LIST of many entries and a
// folder of many small files down and up (tarsel-cli -b against lftp mirror/mirror -R;
// curl has no mirror). Beside them: the FTP client in this process with
// the connection window's socket settings (BufSize 1514, no receive loop), with the
// default block sizes and with the small ones of before (1460 up, 4096 down), and a
// raw loopback socket copy of the same size as the physical limit.
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
using tarsel::bench::WriteFile;
using tarsel::bench::RunProcess;

namespace {

constexpr const char *kUsage =
    "usage: bench_ftp_transfer [--mib N=1024] [--runs R=3] [--files N=1000] [--list N=100000]\n"
    "                          [--cli PATH] [--only TEXT] [--tool TEXT]\n"
    "  --only keeps the cases whose title contains TEXT (\"get\", \"put\", \"active\", \"LIST\",\n"
    "  \"files\"), to rerun one part; --tool keeps the tools whose name contains TEXT, or one\n"
    "  of several given as A,B (to compare a few closely, or run one under a profiler).\n";

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

// Copies total bytes over a loopback TCP connection with blocking calls.
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
    // Woken per batch, not per segment, as the client's downloads are.
    ::setsockopt(c, SOL_SOCKET, SO_RCVLOWAT, &FtpDataReceiveBatch, sizeof FtpDataReceiveBatch);
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int listCount = 100000;
    QString toolFilter;
    const bench::Options opt = bench::ParseOptions(
        app.arguments(), kUsage,
        {{"--list", bench::CountInto(listCount, 0)}, {"--tool", [&](const QString &v) { return !(toolFilter = v).isEmpty(); }}});
    const qint64 mib = opt.mib;
    const int files = opt.files;
    const QStringList toolFilters = toolFilter.split(',');
    const qint64 size = mib * 1024 * 1024;
    QString why;
    auto srv = tarsel::test::StartRealServer("vsftpd", &why);
    if (!srv) {
        std::fprintf(stderr, "bench_ftp_transfer: %s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir dir;
    Env env{opt.cli, srv->port, srv->localDir, dir.path(), QString("ftp://127.0.0.1:%1/pub/").arg(srv->port)};
    const QString src = env.work + "/source.bin";
    bench::WriteBigFile(src, mib);
    QFile::copy(src, env.serverDir + "/source.bin");
    // The small files, on the server and locally; the listing folder on the server.
    bench::WriteTree(env.serverDir + "/tree", files);
    bench::WriteTree(env.work + "/tree", files);
    QDir().mkpath(env.serverDir + "/list");
    for (int i = 0; i < listCount; ++i)
        WriteFile(env.serverDir + QString("/list/entry-%1").arg(i, 6, 10, QChar('0')), {});
    // Batch files for tarsel-cli.
    WriteFile(env.work + "/list.batch", "cd /pub/list\nls\n");
    bench::WriteTreeBatches(env.work, files, env.work + "/down-tarsel", "/pub/up-tarsel");

    using bench::Case;
    const QStringList refs{"lftp", "curl"};
    std::vector<Case> cases;
    auto rm = [](const QString &p) { QFile::remove(p); };
    bench::Trash localTrash(env.work + "/trash"), serverTrash(srv->tmp.path() + "/trash");
    const QString got = env.work + "/got.bin";
    for (bool passive : {true, false}) {
        const QString mode = passive ? "passive" : "active";
        Case get{QString("get %1 MiB %2").arg(mib).arg(mode), {}, [=] { rm(got); }, refs};
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
        Case put{QString("put %1 MiB %2").arg(mib).arg(mode), {}, [=] { rm(remote); }, refs};
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
        Case list{QString("LIST of %1 entries, passive (CWD + LIST)").arg(listCount), {}, {}, refs};
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
                  }, refs, true};
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
                }, refs, true};
        up.tools.push_back({"tarsel-cli", [=] {
                                return RunProcess(env.cli, CliArgs(env, true) + QStringList{"-b", env.work + "/up.batch"});
                            }});
        up.tools.push_back({"lftp", [=] {
                                return RunProcess("lftp", LftpArgs(env, true, "mirror -R " + env.work + "/tree /pub/up-lftp"));
                            }});
        cases.push_back(up);
    }

    std::printf("vsftpd on loopback; %d runs per path, medians in ms; /lftp, /curl: this time over theirs\n", opt.runs);
    bool allOk = true;
    for (Case &c : cases) {
        if (!opt.only.isEmpty() && !c.name.contains(opt.only))
            continue;
        if (!toolFilter.isEmpty())
            std::erase_if(c.tools, [&](const auto &t) {
                return std::none_of(toolFilters.begin(), toolFilters.end(), [&](const QString &f) { return t.first.contains(f); });
            });
        allOk = bench::RunCase(c, opt.runs) && allOk;
    }
    rm(env.serverDir + "/source.bin");
    return allOk ? 0 : 1;
}
