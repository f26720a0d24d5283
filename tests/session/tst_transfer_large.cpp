// A file beyond 4 GiB through a connection window against a real vsftpd: uploaded and
// downloaded, each cancelled past the 4 GiB mark and resumed from there, the panel
// checked at that point, and the copies compared with the source block by block.
// Slow (some GiB written to disk twice), hence its own label.
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QStorageInfo>
#include <QToolButton>
#include <cstring>
#include <vector>

#include "support/realservers.h"
#include "transferfixture.h"
#include "wait/rununtil.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {

constexpr qint64 GiB = qint64(1) << 30;
constexpr qint64 Total = 5 * GiB + 12345; // not a whole number of blocks
constexpr qint64 Mark = 4 * GiB + (GiB / 4);
constexpr int LongMs = 600000; // a few GiB on a slow disk

// A sparse file with marked blocks at the start, across 4 GiB and at the end, so a
// position taken modulo 2^32 shows at once.
bool makeSource(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || !f.resize(Total))
        return false;
    for (qint64 at : {qint64(0), 4 * GiB - 3000, Mark + 77, Total - 5000}) {
        if (!f.seek(at) || f.write(TransferFixture::pattern(5000, int(at % 1000))) != 5000)
            return false;
    }
    return true;
}

// Reads both files to the end, block by block.
bool sameContent(const QString &a, const QString &b, QString *why)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) {
        *why = "cannot open";
        return false;
    }
    if (fa.size() != fb.size()) {
        *why = QString("sizes %1 and %2").arg(fa.size()).arg(fb.size());
        return false;
    }
    std::vector<char> x(4 << 20), y(4 << 20);
    for (qint64 at = 0;;) {
        const qint64 n = fa.read(x.data(), qint64(x.size()));
        if (n < 0 || fb.read(y.data(), n) != n || std::memcmp(x.data(), y.data(), size_t(n)) != 0) {
            *why = QString("differ in the block at %1").arg(at);
            return false;
        }
        if (n == 0)
            return true;
        at += n;
    }
}

// At the first progress count past the mark: the panel as a tick shows it ten seconds
// in, then Cancel.
struct CancelPast {
    TransferFixture &fx;
    TFtpProgress::Handler saved;
    bool done = false;
    qint64 position = 0;
    QString sizeSpeed, percent;
    int barValue = 0, barMax = 0;
    explicit CancelPast(TransferFixture &f) : fx(f), saved(f.window->Ftp1.OnProgress.handler())
    {
        fx.window->Ftp1.OnProgress = [this](TCustomFtpCli *s, std::int64_t n, bool &abort) {
            saved(s, n, abort);
            TFormMdi *w = fx.window;
            if (done || n < Mark)
                return;
            done = true;
            position = w->TransferPosition;
            fx.clockMs += 10000;
            w->Timer1Timer();
            sizeSpeed = w->SizeSpeed->text();
            percent = w->Percent->text();
            barValue = w->Prog1->value();
            barMax = w->Prog1->maximum();
            w->CancelB->click();
        };
    }
    ~CancelPast() { fx.window->Ftp1.OnProgress = saved; }
    void verify() const
    {
        QVERIFY(done);
        QVERIFY2(position >= Mark && position < Total, qPrintable(QString::number(position)));
        QVERIFY2(sizeSpeed.startsWith(QString("%1 bytes of %2 (").arg(position).arg(Total)), qPrintable(sizeSpeed));
        QCOMPARE(percent, QString("%1%").arg(position * 100 / Total));
        QVERIFY(barMax > 0);
        QVERIFY(qAbs(double(barValue) / barMax - double(position) / Total) < 0.001);
    }
};

} // namespace

class TestTransferLarge : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void beyondFourGiB()
    {
        QString why;
        std::unique_ptr<RealServer> srv = StartRealServer("vsftpd", &why);
        if (!srv)
            QSKIP(qPrintable(why));
        TransferFixture fx;
        // The server's copy and the downloaded copy are both real: about 10 GiB at once.
        if (QStorageInfo(fx.dir.path()).bytesAvailable() < 12LL * 1024 * 1024 * 1024)
            QSKIP("less than 12 GiB of free disk space for the 5 GiB copies");
        const QString upDir = fx.dir.path() + "/up";
        QVERIFY(QDir().mkpath(upDir));
        const QString source = upDir + "/huge.bin";
        QVERIFY(makeSource(source));
        const QString remote = srv->localDir + "/huge.bin";
        const QString local = fx.local + "/huge.bin";
        QVERIFY(fx.connect(srv->port, true, srv->user, srv->password, srv->remoteDir));
        TFormMdi *w = fx.window;
        const auto log = [w] { return qPrintable(w->LogList.join("\n").right(800)); };

        // Up, cancelled past 4 GiB, resumed from the server's size.
        QVERIFY(fx.main->GetLocTree().SetSelectedPathName(upDir));
        {
            CancelPast cancel(fx);
            QVERIFY(fx.selectLocal({"huge.bin"}));
            w->ActionUploadFileExecute();
            QVERIFY2(RunUntil([&] { return w->LogList.contains("Transfer cancelled"); }, LongMs), log());
            cancel.verify();
        }
        QVERIFY(fx.waitIdle());
        const qint64 sent = QFileInfo(remote).size();
        QVERIFY2(sent > 4 * GiB && sent < Total, qPrintable(QString::number(sent)));
        QVERIFY(fx.selectLocal({"huge.bin"}));
        w->ActionResumeUpExecute();
        QVERIFY2(RunUntil([&] { return fx.idle() && !w->TransferActive && w->LogList.contains(
                                                  "-->  REST " + QString::number(sent)) &&
                                              QFileInfo(remote).size() == Total; }, LongMs),
                 log());
        QVERIFY(fx.waitIdle());
        QVERIFY2(sameContent(source, remote, &why), qPrintable(why));
        QVERIFY(QFile::remove(source)); // sparse, but the download below needs no source

        // Down, cancelled past 4 GiB, resumed from the local size.
        QVERIFY(fx.main->GetLocTree().SetSelectedPathName(fx.local));
        QVERIFY(QTest::qWaitFor([&] { return fx.fileRow("huge.bin") >= 0; }, 15000));
        {
            CancelPast cancel(fx);
            QVERIFY(fx.selectFiles({"huge.bin"}));
            w->DownloadFiles();
            QVERIFY2(RunUntil([&] { return w->LogList.count("Transfer cancelled") == 2; }, LongMs), log());
            cancel.verify();
        }
        QVERIFY(fx.waitIdle());
        const qint64 got = QFileInfo(local).size();
        QVERIFY2(got > 4 * GiB && got < Total, qPrintable(QString::number(got)));
        QVERIFY(fx.selectFiles({"huge.bin"}));
        w->ResumeDownload();
        QVERIFY2(RunUntil([&] { return fx.idle() && !w->TransferActive && QFileInfo(local).size() == Total; }, LongMs),
                 log());
        QVERIFY(w->LogList.contains("-->  REST " + QString::number(got)));
        QVERIFY(fx.waitIdle());
        QVERIFY(makeSource(source));
        QVERIFY2(sameContent(source, local, &why), qPrintable(why));
        QVERIFY2(!fx.logHasPrefix("Error: "), log());
        QFile::remove(local);
        QFile::remove(remote);
        QFile::remove(source);
    }
};

QTEST_MAIN(TestTransferLarge)
#include "tst_transfer_large.moc"
