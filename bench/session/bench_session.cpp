// Connection window benchmark (not a test):
//  1. the CPU time of reading a listing file of 10,000 and 100,000 Unix entries into
//     the lists in one go (all slices back to back, the sort, one paint);
//  2. a refresh of a 100,000-entry listing from the scripted server on the loopback:
//     the time from the listing's completion (its last byte in the file) to the rows
//     being shown, the whole refresh, and the longest pause of the event loop (a 10 ms
//     timer's worst lateness);
//  3. the longest pause of the event loop during a 1 GiB download from vsftpd in a
//     connection window (skipped when vsftpd cannot run here).
// Run offscreen: QT_QPA_PLATFORM=offscreen ./bench_session [--no-download]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <ctime>

#include "sessionfixture.h"
#include "wait/rununtil.h"
#include "support/realservers.h"
#include "transferfixture.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {

QByteArray listing(int entries)
{
    QByteArray out;
    out.reserve(entries * 64);
    for (int i = 0; i < entries; ++i) {
        if (i % 10 == 0)
            out += unixDir("dir" + QByteArray::number(i));
        else
            out += unixFile("file" + QByteArray::number(i) + (i % 3 ? ".txt" : ".bin"), qint64(i) * 1000);
    }
    return out;
}

// Rows shown: the window reads the file and both lists paint once.
double showMs(TFormMdi &w, const QByteArray &text)
{
    QFile f(w.TempListFile);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    f.write(text);
    f.close();
    QElapsedTimer t;
    t.start();
    std::string why;
    if (!w.ParseListing(&why))
        return -1;
    w.RemoteFiles->Details()->viewport()->repaint();
    w.RemoteDirs->Details()->viewport()->repaint();
    QApplication::processEvents();
    return double(t.nsecsElapsed()) / 1e6;
}

// The worst lateness of a 10 ms timer while it runs.
class LatenessProbe {
public:
    LatenessProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            double &worst = m_marked ? m_worstAfter : m_worst;
            worst = std::max(worst, double(now - m_last) / 1e6 - 10.0);
            m_last = now;
            const qint64 cpu = threadCpuNs();
            double &worstCpu = m_marked ? m_worstCpuAfter : m_worstCpu;
            worstCpu = std::max(worstCpu, double(cpu - m_lastCpu) / 1e6);
            m_lastCpu = cpu;
        });
    }
    void Start()
    {
        m_worst = m_worstAfter = m_worstCpu = m_worstCpuAfter = 0;
        m_lastCpu = threadCpuNs();
        m_marked = false;
        m_clock.start();
        m_last = 0;
        m_timer.start(10);
    }
    // Later lateness counts apart (see After).
    void Mark() { m_marked = true; }
    double Stop()
    {
        m_timer.stop();
        return std::max(m_worst, m_worstAfter);
    }
    // The most processor time the event loop's thread spent between two ticks: the
    // pause our own code causes, apart from time the system gave to other programs.
    double WorstCpu() const { return std::max(m_worstCpu, m_worstCpuAfter); }
    double CpuBefore() const { return m_worstCpu; }
    double CpuAfter() const { return m_worstCpuAfter; }
    double Before() const { return m_worst; }
    double After() const { return m_worstAfter; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_worst = 0;
    double m_worstAfter = 0;
    double m_worstCpu = 0;
    double m_worstCpuAfter = 0;
    qint64 m_lastCpu = 0;
    bool m_marked = false;

    static qint64 threadCpuNs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
};

int refreshFromServer()
{
    SessionFixture fx;
    if (!fx.startServer()) {
        std::printf("scripted server did not start\n");
        return 1;
    }
    fx.serveTree({{"/", listing(100000)}});
    fx.addProfile("Bench");
    TFormMdi *c = fx.quickConnect("Bench");
    if (!c || !SessionFixture::waitIdle(c, 60000)) {
        std::printf("connect failed\n");
        return 1;
    }
    c->resize(1000, 700);
    QElapsedTimer clock;
    clock.start();
    LatenessProbe probe;
    qint64 completedNs = -1;
    qint64 shownNs = -1;
    // The listing's completion reaches the window once its last byte is in the file.
    const TFtpRequestDone::Handler windowDone = c->Ftp1.OnRequestDone.handler();
    c->Ftp1.OnRequestDone = [&, windowDone](TCustomFtpCli *s, TFtpRequest rq, int error) {
        if (rq == TFtpRequest::ftpDirAsync) {
            completedNs = clock.nsecsElapsed();
            probe.Mark();
        }
        windowDone(s, rq, error);
    };
    QObject::connect(c->RemoteFiles->Model(), &QAbstractItemModel::modelReset, c, [&] {
        if (c->RemoteFiles->Model()->RowCount() == 0)
            return;
        c->RemoteFiles->Details()->viewport()->repaint();
        c->RemoteDirs->Details()->viewport()->repaint();
        shownNs = clock.nsecsElapsed();
    });
    probe.Start();
    c->RefreshRemote();
    (void)RunUntil([&] { return SessionFixture::idle(c) && shownNs >= 0; }, 120000);
    const double worst = probe.Stop();
    std::printf("refresh of a 100,000-entry listing from the scripted server: %.0f ms in all, of which the "
                "transfer %.0f ms; last byte to rows shown: %.1f ms; worst event-loop lateness of a 10 ms "
                "timer: %.1f ms (%.1f ms while the listing arrived, %.1f ms after its last byte); most "
                "processor time between two ticks: %.1f ms (%.1f ms, %.1f ms)\n",
                double(clock.nsecsElapsed()) / 1e6, double(completedNs) / 1e6, double(shownNs - completedNs) / 1e6,
                worst, probe.Before(), probe.After(), probe.WorstCpu(), probe.CpuBefore(), probe.CpuAfter());
    c->Ftp1.OnRequestDone = windowDone;
    return 0;
}

int downloadFromVsftpd()
{
    QString why;
    std::unique_ptr<RealServer> srv = StartRealServer("vsftpd", &why);
    if (!srv) {
        std::printf("1 GiB download: skipped (%s)\n", qPrintable(why));
        return 0;
    }
    // A sparse file: the server reads it fast, so the client's side is what is measured.
    constexpr qint64 size = qint64(1) << 30;
    {
        QFile big(srv->localDir + "/big.bin");
        if (!big.open(QIODevice::WriteOnly) || !big.resize(size)) {
            std::printf("1 GiB download: cannot make the file\n");
            return 1;
        }
    }
    TransferFixture fx;
    fx.seams = {}; // real timers (the progress panel ticks) and the real clock
    if (!fx.connect(srv->port, true, srv->user, srv->password, srv->remoteDir) || !fx.selectFiles({"big.bin"})) {
        std::printf("1 GiB download: connect failed\n");
        return 1;
    }
    LatenessProbe probe;
    QElapsedTimer clock;
    clock.start();
    probe.Start();
    fx.window->DownloadFiles();
    // The mark splits the figures at the file's last byte: the data, then the ending.
    const bool done = RunUntil(
        [&] {
            if (QFileInfo(fx.local + "/big.bin").size() != size)
                return false;
            probe.Mark();
            return fx.idle() && !fx.window->TransferActive;
        },
        600000);
    const double worst = probe.Stop();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    std::printf("1 GiB download from vsftpd in a connection window: %s in %.1f s (%.0f MiB/s); worst "
                "event-loop lateness of a 10 ms timer: %.1f ms (%.1f ms while the data arrived, %.1f ms after); "
                "most processor time between two ticks: %.1f ms (%.1f ms while the data arrived, %.1f ms after)\n",
                done ? "done" : "NOT done", seconds, 1024.0 / seconds, worst, probe.Before(), probe.After(),
                probe.WorstCpu(), probe.CpuBefore(), probe.CpuAfter());
    QFile::remove(fx.local + "/big.bin");
    return done ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    {
        SessionFixture fx;
        TFormMdi w(*fx.services, fx.seams);
        w.resize(1000, 700);
        w.show();
        QApplication::processEvents();
        for (int entries : {10000, 100000}) {
            const QByteArray text = listing(entries);
            double best = 1e9;
            for (int run = 0; run < 3; ++run)
                best = std::min(best, showMs(w, text));
            std::printf("listing of %6d entries to rows shown, read in one go: %8.1f ms (best of 3; %d files, "
                        "%d directories)\n",
                        entries, best, w.RemoteFiles->Model()->RowCount(), w.RemoteDirs->Model()->RowCount() - 1);
        }
    }
    if (const int rc = refreshFromServer())
        return rc;
    if (app.arguments().contains("--no-download"))
        return 0;
    return downloadFromVsftpd();
}
