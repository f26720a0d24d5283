#include "benchsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <map>

namespace tarsel::bench {

bool RunProcess(const QString &program, const QStringList &args, const QString &cwd)
{
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "  (%s failed: %s)\n", qPrintable(program), p.readAllStandardError().left(300).constData());
        return false;
    }
    return true;
}

QStringList CliArgs(quint16 port, bool passive)
{
    return {"-u", "anonymous", "-p", "x", passive ? "--passive" : "--active", "--timeout", "120",
            QString("127.0.0.1:%1").arg(port)};
}

QStringList LftpArgs(quint16 port, bool passive, const QString &script)
{
    return {"-p", QString::number(port), "-u", "anonymous,x", "-e",
            QString("set ftp:passive-mode %1; set net:max-retries 1; set xfer:clobber on; %2; quit")
                .arg(passive ? "on" : "off", script),
            "127.0.0.1"};
}

QStringList CurlArgs(bool passive)
{
    return passive ? QStringList{"-s", "-S", "--ftp-pasv"} : QStringList{"-s", "-S", "-P", "127.0.0.1"};
}

Trash::Trash(const QString &folder) : m_folder(folder) { QDir().mkpath(folder); }

Trash::~Trash() { QDir(m_folder).removeRecursively(); }

void Trash::Take(const QString &path)
{
    if (!QFileInfo::exists(path))
        return;
    const QString to = m_folder + "/" + QString::number(++m_count);
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(to).constData()) != 0) {
        std::fprintf(stderr, "  (cannot move %s to the trash: deleted)\n", qPrintable(path));
        QDir(path).removeRecursively();
        QFile::remove(path);
    }
}

qint64 Median(std::vector<qint64> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool RunCase(Case &c, int runs)
{
    bool allOk = true;
    std::map<QString, std::vector<qint64>> times;
    for (int r = 0; r < runs; ++r) {
        for (std::size_t k = 0; k < c.tools.size(); ++k) {
            auto &[name, step] = c.tools[(k + static_cast<std::size_t>(r)) % c.tools.size()];
            if (c.cleanup)
                c.cleanup();
            QElapsedTimer t;
            t.start();
            const bool ok = step();
            qint64 ms = t.elapsed();
            if (!ok) {
                allOk = false;
                ms = -1;
            }
            times[name].push_back(ms);
        }
    }
    if (c.cleanup)
        c.cleanup();
    std::printf("%s\n", qPrintable(c.name));
    for (auto &[name, step] : c.tools) {
        const qint64 m = Median(times[name]);
        std::printf("  %-26s %8lld ms", qPrintable(name), static_cast<long long>(m));
        if (!c.references.contains(name) && m > 0) {
            for (const QString &ref : c.references) {
                const qint64 r = Median(times[ref]);
                if (r > 0)
                    std::printf("   /%s %5.2f", qPrintable(ref), double(m) / double(r));
            }
        }
        std::printf("\n");
    }
    std::fflush(stdout);
    return allOk;
}

} // namespace tarsel::bench
