#pragma once
// The figures of the transfer panel and the shortening of paths for its labels, apart
// from any widget so that they can be checked at known positions.

#include <QString>
#include <cstdint>
#include <functional>

namespace tarsel {

// What the panel shows for one moment of a transfer.
struct TProgressTexts {
    bool Complete = false;   // the position reached the total: "Transfer Complete"
    bool Requesting = false; // nothing arrived yet: "Requesting Transfer..."
    QString SizeSpeed;
    QString Remaining; // "Remaining: hh:mm:ss"; empty when the total is unknown
    QString Percent;   // "94%"; empty when the total is unknown
};

// position and total in bytes (total < 0: not known), elapsedMs since the file's
// display started. The rate is bytes per whole second elapsed (the position itself in
// the first second).
TProgressTexts ProgressTexts(std::int64_t position, std::int64_t total, std::int64_t elapsedMs);

// position * 100 / total, never above 100; 0 for a total of 0 or less.
int PercentOf(std::int64_t position, std::int64_t total);
// "(9.87 Kbps)": bytes per second as kilo-, mega- or gigabits per second, two decimals,
// with the locale's group separator.
QString SpeedText(std::int64_t bytesPerSecond);
// "Remaining: 01:02:05"; "Remaining: --:--:--" when the rate is 0.
QString RemainingText(std::int64_t remainingBytes, std::int64_t bytesPerSecond);

// A progress bar holds an int: the maximum and value to show for a 64-bit total and
// position (scaled down when the total is beyond int).
struct TBarRange {
    int Maximum = 0;
    int Value = 0;
};
TBarRange BarRange(std::int64_t position, std::int64_t total);

// Removes the first folder of a folder part ("\a\b\" becomes "\...\b\").
void CutFirstDirectory(QString &s, QChar sep);
// Shortens a path until width(result) <= maxWidth by replacing leading folders with
// "...", keeping a drive ("C:") while it can; the shortest form when nothing fits.
QString MinimizeName(const QString &path, const std::function<int(const QString &)> &width, int maxWidth,
                     QChar sep = QLatin1Char('/'));

} // namespace tarsel
