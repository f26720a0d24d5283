#include "benchsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace tarsel::bench {

bool ReadCount(const QString &text, qint64 min, qint64 &out)
{
    bool ok = false;
    out = text.toLongLong(&ok);
    return ok && out >= min;
}

Options ParseOptions(const QStringList &args, const char *usage, const std::vector<OwnOption> &own)
{
    Options o;
    o.cli = QString(TARSEL_BINARY_DIR) + "/src/cli/tarsel-cli";
    const auto fail = [&](const QString &why) {
        std::fprintf(stderr, "%s: %s\n%s", qPrintable(args.value(0)), qPrintable(why), usage);
        std::exit(2);
    };
    const auto text = [](QString &target) {
        return [&target](const QString &v) {
            target = v;
            return true;
        };
    };
    std::vector<OwnOption> all = {{"--mib", CountInto(o.mib, 1)},   {"--runs", CountInto(o.runs, 1)},
                                  {"--files", CountInto(o.files, 0)}, {"--cli", text(o.cli)},
                                  {"--only", text(o.only)}};
    all.insert(all.end(), own.begin(), own.end());
    for (int i = 1; i < args.size(); i += 2) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::printf("%s", usage);
            std::exit(0);
        }
        const auto opt = std::find_if(all.begin(), all.end(), [&](const OwnOption &k) { return k.first == args[i]; });
        if (opt == all.end())
            fail("unknown option " + args[i]);
        if (i + 1 >= args.size())
            fail(args[i] + " needs a value");
        if (!opt->second(args[i + 1]))
            fail("bad value for " + args[i] + ": " + args[i + 1]);
    }
    return o;
}

bool WriteFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

bool WriteTree(const QString &folder, int files)
{
    QDir().mkpath(folder);
    QByteArray small(4096, 'a');
    for (int i = 0; i < files; ++i) {
        small[0] = static_cast<char>(i);
        small[1] = static_cast<char>(i >> 8);
        if (!WriteFile(folder + QString("/f%1.bin").arg(i), small))
            return false;
    }
    return true;
}

bool WriteTreeBatches(const QString &work, int files, const QString &localDown, const QByteArray &remoteUp)
{
    QByteArray down = "cd /pub/tree\n", up = "mkdir " + remoteUp + "\ncd " + remoteUp + "\n";
    for (int i = 0; i < files; ++i) {
        const QByteArray f = "f" + QByteArray::number(i) + ".bin";
        down += "get " + f + " " + QFile::encodeName(localDown) + "/" + f + "\n";
        up += "put " + QFile::encodeName(work) + "/tree/" + f + " " + f + "\n";
    }
    return WriteFile(work + "/down.batch", down) && WriteFile(work + "/up.batch", up);
}

bool WriteBigFile(const QString &path, qint64 mib)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 131 + i / 4093);
    for (qint64 i = 0; i < mib; ++i) {
        block[0] = static_cast<char>(i);
        if (f.write(block) != block.size())
            return false;
    }
    return true;
}

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
    for (auto &[name, step] : c.tools) {
        if (!c.warmup)
            break;
        if (c.cleanup)
            c.cleanup();
        allOk = step() && allOk;
    }
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
