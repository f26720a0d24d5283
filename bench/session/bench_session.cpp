// Connection window benchmark (not a test): the time from a listing's last byte being
// in the listing file to its rows being shown, for 10,000 and 100,000 Unix entries,
// and the longest pause of the event loop (a 10 ms timer's worst lateness) while a
// 100,000-entry listing is fetched from a local server, parsed and shown.
// Run offscreen: QT_QPA_PLATFORM=offscreen ./bench_session
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>

#include "sessionfixture.h"

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

// Rows shown: the window parses the file and both lists paint once.
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

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
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
        std::printf("listing of %6d entries to rows shown: %8.1f ms (best of 3; %d files, %d directories)\n", entries,
                    best, w.RemoteFiles->Model()->RowCount(), w.RemoteDirs->Model()->RowCount() - 1);
    }

    // Worst lateness of a 10 ms timer while a connection window fetches and shows a
    // 100,000-entry listing from the scripted server on the loopback.
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
    double worst = 0;
    QElapsedTimer clock;
    qint64 last = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, double(now - last) / 1e6 - 10.0);
        last = now;
    });
    QElapsedTimer whole;
    whole.start();
    clock.start();
    probe.start(10);
    c->RefreshRemote();
    (void)QTest::qWaitFor([c] { return SessionFixture::idle(c) && c->RemoteFiles->Model()->RowCount() > 0; }, 60000);
    probe.stop();
    std::printf("refresh of a 100,000-entry listing from a local server: %.0f ms in all; worst event-loop "
                "lateness of a 10 ms timer: %.1f ms\n",
                double(whole.nsecsElapsed()) / 1e6, worst);
    return 0;
}
