#pragma once
// What the benchmarks share: their common options, the files they move, the reference
// tools (tarsel-cli, lftp, curl) run against a local server, medians, and paths timed in
// turns with their ratios printed.

#include <QString>
#include <QStringList>
#include <functional>
#include <limits>
#include <vector>

namespace tarsel::bench {

// The options every transfer benchmark takes.
struct Options {
    qint64 mib = 1024; // size of the big file
    int runs = 3;      // runs per path
    int files = 1000;  // files in the tree
    QString cli;       // the tarsel-cli to time (default: the one of this build)
    QString only;      // keeps the cases whose title contains it
};
// A program's own option: its name ("--list") and what takes its value (false: bad value).
using OwnOption = std::pair<QString, std::function<bool(const QString &)>>;
// Reads "--name value" pairs into the common options and the program's own. --help
// prints usage and exits 0; an unknown option or a missing or bad value prints the error
// and usage and exits 2.
Options ParseOptions(const QStringList &args, const char *usage, const std::vector<OwnOption> &own = {});
// Reads a whole number from min up (false when it is not one).
bool ReadCount(const QString &text, qint64 min, qint64 &out);
template <typename T> std::function<bool(const QString &)> CountInto(T &target, qint64 min)
{
    return [&target, min](const QString &text) {
        qint64 v = 0;
        if (!ReadCount(text, min, v))
            return false;
        if constexpr (sizeof(T) < sizeof(qint64))
            if (v > std::numeric_limits<T>::max())
                return false;
        target = static_cast<T>(v);
        return true;
    };
}

bool WriteFile(const QString &path, const QByteArray &data);
// The tree of small files: f0.bin, f1.bin ... of 4 KiB each, each a little different.
bool WriteTree(const QString &folder, int files);
// tarsel-cli -b files for that tree, in work: down.batch gets /pub/tree/* into the local
// folder localDown, up.batch makes remoteUp and puts work/tree/* into it. Each changes
// into the remote folder first and names the files alone, as lftp's mirror does.
bool WriteTreeBatches(const QString &work, int files, const QString &localDown, const QByteArray &remoteUp);
// A file of mib MiB of varied bytes (not all alike, so nothing on the way can shortcut).
bool WriteBigFile(const QString &path, qint64 mib);

// Runs a program to its end, its output discarded; false (with its error text printed)
// when it fails.
bool RunProcess(const QString &program, const QStringList &args, const QString &cwd = {});

// Arguments that log a tool in anonymously on 127.0.0.1:port.
QStringList CliArgs(quint16 port, bool passive);
QStringList LftpArgs(quint16 port, bool passive, const QString &script);
QStringList CurlArgs(bool passive);

qint64 Median(std::vector<qint64> v);

// Where a run's output goes before the next run, in place of deleting it: ext4 without a
// journal keeps away from inodes freed in the last minute (longer while their table
// block is unwritten) and scans past every one of them on each create, so deleting a
// tree of 1,000 files right before a run charged that run's creates with the cleanup's
// cost. The folder must be on the file system of what it takes (a rename); it is emptied
// when the object goes, after all timing (a program started right after still meets
// those inodes: Case::warmup).
class Trash {
public:
    explicit Trash(const QString &folder);
    ~Trash();
    Trash(const Trash &) = delete;
    Trash &operator=(const Trash &) = delete;
    // Afterwards path is gone (moved, or deleted when the move fails).
    void Take(const QString &path);

private:
    QString m_folder;
    int m_count = 0;
};

// One comparison: every tool runs `runs` times, taking turns (a busy moment of the
// machine hits each alike), with the cleanup before each run. The medians are printed
// with each tool's time over every reference tool's.
struct Case {
    QString name;
    std::vector<std::pair<QString, std::function<bool()>>> tools;
    std::function<void()> cleanup;
    QStringList references;
    // Every tool runs once untimed first. For the trees: a create can still meet inodes
    // another program freed in the last minutes (see Trash), and the first round takes it.
    bool warmup = false;
};
// False when a run failed.
bool RunCase(Case &c, int runs);

} // namespace tarsel::bench
