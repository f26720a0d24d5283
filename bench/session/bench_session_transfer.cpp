// Connection window transfer benchmark (not a test), against one local vsftpd: a
// connection window (offscreen, its timers running as in use) downloading and
// uploading one big file beside tarsel-cli and curl on the same file, and its batch
// download and upload of a tree of small files beside lftp's mirror and mirror -R (and
// tarsel-cli's batch mode on the same files, to tell the window's share from the
// client's). Each case also prints the median CPU time (user + system) of every path:
// the window's own process for the window, the child process for a tool; on a shared
// machine it moves less than the wall time.
//
// The window is connected once beforehand (as a user's open window is); each timed run
// is the operation from the command to the window idle again, including the relisting
// an upload ends with. The tools' times include their logins. Medians; "/tool" is the
// window's time over that tool's: below 1.0 the window is faster.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <map>
#include <memory>
#include <sys/resource.h>

#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#include "app/settings/treg.h"
#include "app/tformmain.h"
#include "benchsupport.h"
#include "wait/rununtil.h"
#include "localbrowser/loclist.h"
#include "localbrowser/loctree.h"
#include "session/child.h"
#include "support/realservers.h"
#include "uikit/prompts.h"

using namespace tarsel;
using namespace tarsel::bench;

namespace {

constexpr const char *kUsage =
    "usage: QT_QPA_PLATFORM=offscreen bench_session_transfer [--mib N=1024] [--runs R=3]\n"
    "           [--files N=1000] [--cli PATH] [--only TEXT] [--window-only 0|1]\n"
    "  --only keeps the cases whose title contains TEXT (\"get\", \"put\", \"batch\", \"upload\");\n"
    "  --window-only 1 runs the window alone (for a profiler: no other process is timed).\n";

// Every confirmation answered Yes; any other box is reported.
class YesPrompts : public IPrompts {
public:
    void InfoBox(const QString &text, const QString &) override { std::fprintf(stderr, "  (box: %s)\n", qPrintable(text)); }
    bool ConfirmBox(const QString &, const QString &) override { return true; }
    void ErrorBox(const QString &text, const QString &) override { std::fprintf(stderr, "  (error: %s)\n", qPrintable(text)); }
    QString InputBox(const QString &, const QString &, const QString &preset) override { return preset; }
    int ExecDialog(QDialog &) override { return 0; }
    QString AskSaveFileName(const TSaveFileRequest &) override { return {}; }
    void OpenUrl(const QUrl &) override {}
    void DismissOwned(const void *) override {}
};

// A run may take minutes on a loaded machine.
constexpr int kRunMs = 600000;

struct Window {
    QTemporaryDir dir;
    YesPrompts prompts;
    std::unique_ptr<TFormMain> main;
    TFormMdi *w = nullptr;

    bool open(quint16 port, const QString &local)
    {
        TReg::SetRootFolder(dir.path() + "/reg");
        QDir().mkpath(dir.path() + "/data");
        SetDataFolder(dir.path() + "/data");
        main = std::make_unique<TFormMain>(&prompts);
        main->resize(900, 700);
        main->show();
        main->GetLocTree().SetSelectedPathName(local);
        ProfileFile f(ProfileFilePath());
        Profile p;
        p.Name = "bench";
        p.HostName = "127.0.0.1";
        p.Port = port;
        p.UserName = "anonymous";
        p.PassWord = "x";
        p.StartDir = "/pub";
        p.Passive = true;
        WriteProfile(f, p);
        if (!f.Save())
            return false;
        w = TFormMdi::Create(*main, "bench", TSessionSeams{});
        main->AddConnectionWindow(w);
        return waitIdle(30000);
    }
    ~Window()
    {
        if (main)
            main->CloseAllConnections();
        main.reset();
        SetDataFolder(QString());
        TReg::SetRootFolder(QString());
    }
    bool idle() const
    {
        return w->Ftp1.Connected() && w->Ftp1.State() == TFtpState::ftpReady && w->DirCombo->isEnabled() &&
               w->RequestHandler() != nullptr && !w->TransferActive;
    }
    bool waitIdle(int ms = 600000)
    {
        return RunUntil([this] { return idle(); }, ms);
    }
    bool select(TRemoteList *list, const QByteArray &name)
    {
        list->Selection()->clearSelection();
        for (int i = 0; i < list->Model()->RowCount(); ++i) {
            if (QByteArray::fromStdString(list->Model()->Row(i).Caption) == name) {
                list->Selection()->select(list->Model()->index(i, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
                return true;
            }
        }
        return false;
    }
    bool selectLocal(const QString &name)
    {
        LocList &l = main->GetLocList();
        l.RefreshItems();
        return RunUntil([&] { return l.SelectName(name, false); }, 10000);
    }
    bool changeDir(const std::string &path)
    {
        if (w->RemoteDir == path && idle())
            return true;
        w->ChangeRemoteDir(path);
        return RunUntil([this, path] { return idle() && w->RemoteDir == path; }, 30000);
    }
    int logCount(const QString &line) const { return int(w->LogList.count(line)); }
    bool noErrors() const
    {
        for (const QString &l : w->LogList)
            if (l.startsWith(QLatin1String("Error: ")))
                return false;
        return true;
    }
};

bool SameSize(const QString &path, qint64 size) { return QFileInfo(path).size() == size; }

// CPU time of this process and of its waited-for children, in ms.
qint64 CpuMs()
{
    qint64 ms = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        ms += qint64(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
    }
    return ms;
}

// Each path's CPU time is taken around its run; printed after the case's wall times.
void MeasureCpu(Case &c, std::map<QString, std::vector<qint64>> &cpu)
{
    for (auto &[name, step] : c.tools) {
        step = [&cpu, name = name, inner = step] {
            const qint64 before = CpuMs();
            const bool ok = inner();
            cpu[name].push_back(CpuMs() - before);
            return ok;
        };
    }
}

void PrintCpu(const Case &c, std::map<QString, std::vector<qint64>> &cpu)
{
    std::printf("  cpu (user+sys):");
    for (const auto &[name, step] : c.tools) {
        std::vector<qint64> &v = cpu[name];
        if (c.warmup && !v.empty())
            v.erase(v.begin()); // the untimed round
        std::printf("  %s %lld ms", qPrintable(name), static_cast<long long>(Median(v)));
    }
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    bool windowOnly = false;
    const Options opt = ParseOptions(app.arguments(), kUsage, {{"--window-only", [&](const QString &v) {
                                                                    windowOnly = v == "1";
                                                                    return v == "0" || v == "1";
                                                                }}});
    const qint64 mib = opt.mib;
    const int runs = opt.runs, files = opt.files;
    const QString cli = opt.cli, only = opt.only;
    const qint64 size = mib * 1024 * 1024;
    QString why;
    auto srv = tarsel::test::StartRealServer("vsftpd", &why);
    if (!srv) {
        std::fprintf(stderr, "bench_session_transfer: %s\n", qPrintable(why));
        return 1;
    }
    const quint16 port = srv->port;
    const QString pub = srv->localDir; // /pub on disk
    const QString url = QString("ftp://127.0.0.1:%1/pub/").arg(port);
    QTemporaryDir scratch;
    const QString work = scratch.path();
    const QString win = work + "/win"; // the window's local folder
    QDir().mkpath(win);
    const QString src = win + "/source.bin";
    if (!WriteBigFile(src, mib))
        return 1;
    QFile::copy(src, pub + "/source.bin");
    // The tree of small files, on the server and locally; folders the server's user may
    // write to for the uploads.
    const auto writable = [](const QString &p) {
        QDir().mkpath(p);
        QFile::setPermissions(p, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                     QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                     QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    };
    WriteTree(pub + "/tree", files);
    WriteTree(work + "/tree", files);
    writable(pub + "/up-window");
    writable(pub + "/up");
    // The same trees file by file for tarsel-cli's batch mode.
    if (!WriteTreeBatches(work, files, work + "/down-cli", "/pub/up-cli"))
        return 1;

    Window window;
    if (!window.open(port, win)) {
        std::fprintf(stderr, "bench_session_transfer: the window did not connect\n");
        return 1;
    }
    TFormMdi *w = window.w;
    const QString got = work + "/got.bin";
    std::vector<Case> cases;

    Case get{QString("get %1 MiB, passive").arg(mib), {}, {}, {"tarsel-cli", "curl"}};
    // Untimed, before each run: the window's selection made.
    get.cleanup = [=, &window] {
        QFile::remove(got);
        QFile::remove(win + "/source.bin");
        window.select(window.w->RemoteFiles, "source.bin");
    };
    get.tools.push_back({"window", [&window, w, win, size] {
                             w->DownloadFiles();
                             return window.waitIdle() && SameSize(win + "/source.bin", size) && window.noErrors();
                         }});
    get.tools.push_back({"tarsel-cli", [=] { return RunProcess(cli, CliArgs(port, true) + QStringList{"get", "/pub/source.bin", got}); }});
    get.tools.push_back({"curl", [=] { return RunProcess("curl", CurlArgs(true) + QStringList{"-o", got, url + "source.bin"}); }});
    cases.push_back(get);

    // The upload's source is a copy beside the window's folder, made before each run.
    const QString upSrc = work + "/upsrc";
    QDir().mkpath(upSrc);
    QFile::copy(src, upSrc + "/big.bin");
    QFile::remove(src);
    Case put{QString("put %1 MiB, passive").arg(mib), {}, {}, {"tarsel-cli", "curl"}};
    put.cleanup = [=, &window] {
        QFile::remove(pub + "/up/big.bin");
        window.changeDir("/pub/up");
        window.main->GetLocTree().SetSelectedPathName(upSrc);
        window.selectLocal("big.bin");
    };
    put.tools.push_back({"window", [&window, w, pub, size] {
                             w->ActionUploadFileExecute();
                             const bool ok = window.waitIdle() && SameSize(pub + "/up/big.bin", size) && window.noErrors();
                             if (!ok)
                                 std::fprintf(stderr, "%s\n", qPrintable(w->LogList.join("\n").right(600)));
                             return ok;
                         }});
    put.tools.push_back({"tarsel-cli", [=] {
                             return RunProcess(cli, CliArgs(port, true) + QStringList{"put", upSrc + "/big.bin", "/pub/up/big.bin"});
                         }});
    put.tools.push_back({"curl", [=] {
                             return RunProcess("curl", CurlArgs(true) + QStringList{"-T", upSrc + "/big.bin", url + "up/big.bin"});
                         }});
    cases.push_back(put);

    Trash localTrash(work + "/trash"), serverTrash(srv->tmp.path() + "/trash");
    if (files > 0) {
        const QString downWin = work + "/down-window", downLftp = work + "/down-lftp";
        Case down{QString("batch download of %1 files of 4 KiB, passive").arg(files), {}, {}, {"lftp", "tarsel-cli -b"}, true};
        // The trees of earlier runs go to the trash, not deleted (see Trash).
        down.cleanup = [=, &window, &localTrash] {
            for (const QString &d : {downWin, downLftp, work + "/down-cli"})
                localTrash.Take(d);
            QDir().mkpath(downWin);
            QDir().mkpath(work + "/down-cli");
            window.changeDir("/pub");
            window.main->GetLocTree().SetSelectedPathName(downWin);
            window.select(window.w->RemoteDirs, "tree");
        };
        down.tools.push_back({"window", [&window, w, downWin, files] {
                                  const int before = window.logCount("Completed batch download operation");
                                  w->BatchDownload();
                                  // Idle first: the log count walks the whole log.
                                  return RunUntil([&] {
                                             return window.idle() &&
                                                    window.logCount("Completed batch download operation") > before;
                                         }, kRunMs) &&
                                         window.noErrors() && QDir(downWin + "/tree").count() == uint(files) + 2;
                              }});
        down.tools.push_back({"lftp", [=] { return RunProcess("lftp", LftpArgs(port, true, "mirror /pub/tree " + downLftp)); }});
        down.tools.push_back({"tarsel-cli -b", [=] {
                                  return RunProcess(cli, CliArgs(port, true) + QStringList{"-b", work + "/down.batch"});
                              }});
        cases.push_back(down);

        Case up{QString("batch upload of %1 files of 4 KiB, passive").arg(files), {}, {}, {"lftp", "tarsel-cli -b"}, true};
        up.cleanup = [=, &window, &serverTrash] {
            serverTrash.Take(pub + "/up-cli");
            for (const char *d : {"/up-window", "/up-lftp"}) {
                serverTrash.Take(pub + d);
                writable(pub + d);
            }
            // The server's process sat in the folder just replaced: in again from above.
            window.changeDir("/pub");
            window.changeDir("/pub/up-window");
        };
        up.tools.push_back({"window", [&window, w, work, pub, files] {
                                const int before = window.logCount("Completed batch upload operation");
                                w->BatchUpload(work + "/tree");
                                return RunUntil([&] {
                                           return window.idle() &&
                                                  window.logCount("Completed batch upload operation") > before;
                                       }, kRunMs) &&
                                       window.noErrors() && QDir(pub + "/up-window").count() == uint(files) + 2;
                            }});
        up.tools.push_back({"lftp", [=] {
                                return RunProcess("lftp", LftpArgs(port, true, "mirror -R " + work + "/tree /pub/up-lftp"));
                            }});
        up.tools.push_back({"tarsel-cli -b", [=] {
                                return RunProcess(cli, CliArgs(port, true) + QStringList{"-b", work + "/up.batch"});
                            }});
        cases.push_back(up);
    }

    std::printf("vsftpd on loopback; %d runs per path, medians in ms\n", runs);
    bool allOk = true;
    for (Case &c : cases) {
        if (!only.isEmpty() && !c.name.contains(only))
            continue;
        if (windowOnly) {
            std::erase_if(c.tools, [](const auto &t) { return t.first != "window"; });
            c.references.clear();
        }
        std::map<QString, std::vector<qint64>> cpu;
        MeasureCpu(c, cpu);
        allOk = RunCase(c, runs) && allOk;
        PrintCpu(c, cpu);
    }
    QFile::remove(pub + "/source.bin");
    return allOk ? 0 : 1;
}
