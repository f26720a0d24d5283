#pragma once
// What the benchmarks share: the reference tools (tarsel-cli, lftp, curl) run against a
// local server, medians, and paths timed in turns with their ratios printed.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace tarsel::bench {

// Runs a program to its end, its output discarded; false (with its error text printed)
// when it fails.
bool RunProcess(const QString &program, const QStringList &args, const QString &cwd = {});

// Arguments that log a tool in anonymously on 127.0.0.1:port.
QStringList CliArgs(quint16 port, bool passive);
QStringList LftpArgs(quint16 port, bool passive, const QString &script);
QStringList CurlArgs(bool passive);

qint64 Median(std::vector<qint64> v);

// Where a run's output goes before the next run, in place of deleting it: ext4 keeps
// away from inodes freed in the last half minute or so and scans past every one of them
// on each create, so deleting a tree of 1,000 files right before a run charged that run's
// creates with the cleanup's cost. The folder must be on the file system of what it
// takes (a rename); it is emptied when the object goes, after all timing.
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
};
// False when a run failed.
bool RunCase(Case &c, int runs);

} // namespace tarsel::bench
