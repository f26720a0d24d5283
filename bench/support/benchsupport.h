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
