// Uploads and downloads one file through TFtpClient against a local vsftpd in passive
// mode and, in the same run, with curl; prints MB/s for both and the ratio.
// Usage: bench_ftp_transfer [SIZE_MIB]   (default 1024)
#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "ftp/ftpcli.h"
#include "support/realservers.h"

using namespace tarsel;

namespace {

int Run(TFtpClient &ftp, void (TCustomFtpCli::*rq)())
{
    int result = -1;
    bool done = false;
    QEventLoop loop;
    ftp.OnRequestDone = [&](TCustomFtpCli *, TFtpRequest, int e) {
        result = e;
        done = true;
        loop.quit();
    };
    (ftp.*rq)();
    if (!done)
        loop.exec();
    return result;
}

bool Curl(const QStringList &args)
{
    QProcess p;
    p.start("curl", QStringList{"-s", "-S", "--ftp-pasv"} + args);
    return p.waitForFinished(-1) && p.exitCode() == 0;
}

double MBps(qint64 bytes, qint64 ms) { return ms > 0 ? bytes / 1e6 / (ms / 1000.0) : 0; }

bool SameFile(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd())
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    const qint64 size = mib * 1024 * 1024;
    QString why;
    auto srv = tarsel::test::StartRealServer("vsftpd", &why);
    if (!srv) {
        std::fprintf(stderr, "bench_ftp_transfer: %s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir dir;
    const QString src = dir.path() + "/source.bin";
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
    const QString url = QString("ftp://127.0.0.1:%1/pub/").arg(srv->port);

    TFtpClient ftp;
    for (TWSocket *s : {ftp.ControlSocket(), ftp.DataSocket()}) {
        s->SetBufSize(1514); // as the connection window sets them
        s->SetComponentOptions({TWSocketOption::wsoNoReceiveLoop});
    }
    ftp.SetHostName("127.0.0.1");
    ftp.SetPort(std::to_string(srv->port));
    ftp.SetUserName(srv->user);
    ftp.SetPassWord(srv->password);
    ftp.SetPassive(true);
    if (Run(ftp, &TCustomFtpCli::ConnectAsync) != 0 || Run(ftp, &TCustomFtpCli::TypeBinaryAsync) != 0) {
        std::fprintf(stderr, "bench_ftp_transfer: login failed: %s\n", ftp.ErrorMessage().c_str());
        return 1;
    }
    ftp.SetHostDirName("/pub");
    Run(ftp, &TCustomFtpCli::CwdAsync);

    QElapsedTimer t;
    // Upload: client, then curl.
    ftp.SetHostFileName("client.bin");
    ftp.SetLocalFileName(src.toStdString());
    t.start();
    int e = Run(ftp, &TCustomFtpCli::PutAsync);
    qint64 clientUp = t.elapsed();
    bool okUp = e == 0 && SameFile(src, srv->localDir + "/client.bin");
    QFile::remove(srv->localDir + "/client.bin");
    t.start();
    bool curlOk = Curl({"-T", src, url + "curl.bin"});
    qint64 curlUp = t.elapsed();
    QFile::remove(srv->localDir + "/curl.bin");

    // Download: the server holds a copy of the source.
    QFile::copy(src, srv->localDir + "/source.bin");
    ftp.SetHostFileName("source.bin");
    ftp.SetLocalFileName((dir.path() + "/client-down.bin").toStdString());
    t.start();
    e = Run(ftp, &TCustomFtpCli::GetAsync);
    qint64 clientDown = t.elapsed();
    bool okDown = e == 0 && SameFile(src, dir.path() + "/client-down.bin");
    QFile::remove(dir.path() + "/client-down.bin");
    t.start();
    curlOk = Curl({"-o", dir.path() + "/curl-down.bin", url + "source.bin"}) && curlOk;
    qint64 curlDown = t.elapsed();
    QFile::remove(dir.path() + "/curl-down.bin");
    Run(ftp, &TCustomFtpCli::QuitAsync);

    std::printf("file size: %lld MiB, vsftpd on loopback, passive mode\n", static_cast<long long>(mib));
    std::printf("upload    TFtpClient %8.1f MB/s   curl %8.1f MB/s   ratio (client/curl) %.2f%s\n", MBps(size, clientUp),
                MBps(size, curlUp), curlUp > 0 ? double(curlUp) / double(clientUp) : 0.0,
                okUp ? "" : "   (client upload FAILED)");
    std::printf("download  TFtpClient %8.1f MB/s   curl %8.1f MB/s   ratio (client/curl) %.2f%s\n", MBps(size, clientDown),
                MBps(size, curlDown), curlDown > 0 ? double(curlDown) / double(clientDown) : 0.0,
                okDown ? "" : "   (client download FAILED)");
    if (!curlOk)
        std::printf("(a curl transfer failed)\n");
    return okUp && okDown && curlOk ? 0 : 1;
}
