// The transfer panel's figures and the path shortening of its labels.
#include "session/progresstext.h"

#include <QLocale>
#include <limits>

namespace tarsel {

namespace {
QString twoDigits(std::int64_t v) { return v < 10 ? QStringLiteral("0%1").arg(v) : QString::number(v); }
} // namespace

int PercentOf(std::int64_t position, std::int64_t total)
{
    if (total <= 0 || position <= 0)
        return 0;
    if (position >= total)
        return 100;
    // 128-bit product: a position near the 64-bit limit times 100 does not overflow.
    return int(static_cast<__int128>(position) * 100 / total);
}

QString SpeedText(std::int64_t bytesPerSecond)
{
    const double kbps = double(bytesPerSecond) * 8.0 / 1000.0;
    double value = kbps;
    const char *unit = "Kbps";
    if (kbps >= 1000000.0) {
        value = kbps / 1000000.0;
        unit = "Gbps";
    } else if (kbps >= 1000.0) {
        value = kbps / 1000.0;
        unit = "Mbps";
    }
    return QStringLiteral("(%1 %2)").arg(QLocale().toString(value, 'f', 2), QLatin1String(unit));
}

QString RemainingText(std::int64_t remainingBytes, std::int64_t bytesPerSecond)
{
    if (bytesPerSecond <= 0)
        return QStringLiteral("Remaining: --:--:--");
    const std::int64_t q = std::max<std::int64_t>(0, remainingBytes) / bytesPerSecond;
    const std::int64_t seconds = q % 60;
    std::int64_t minutes = q / 60;
    std::int64_t hours = 0;
    if (minutes > 59) {
        hours = minutes / 60;
        minutes %= 60;
    }
    return QStringLiteral("Remaining: ") + twoDigits(hours) + QLatin1Char(':') + twoDigits(minutes) +
           QLatin1Char(':') + twoDigits(seconds);
}

TProgressTexts ProgressTexts(std::int64_t position, std::int64_t total, std::int64_t elapsedMs)
{
    TProgressTexts t;
    const bool known = total >= 0;
    if (known && position >= total) {
        t.Complete = true;
        t.SizeSpeed = QStringLiteral("Transfer Complete");
        return t;
    }
    if (position <= 0) {
        t.Requesting = true;
        t.SizeSpeed = QStringLiteral("Requesting Transfer...");
        return t;
    }
    const std::int64_t seconds = std::max<std::int64_t>(0, elapsedMs) / 1000;
    const std::int64_t rate = seconds != 0 ? position / seconds : position;
    if (known) {
        t.SizeSpeed = QStringLiteral("%1 bytes of %2 ").arg(position).arg(total) + SpeedText(rate);
        t.Remaining = RemainingText(total - position, rate);
        t.Percent = QString::number(PercentOf(position, total)) + QLatin1Char('%');
    } else {
        // No size from the server: bytes and speed only.
        t.SizeSpeed = QStringLiteral("%1 bytes ").arg(position) + SpeedText(rate);
    }
    return t;
}

TBarRange BarRange(std::int64_t position, std::int64_t total)
{
    TBarRange r;
    if (total <= 0)
        return r;
    const std::int64_t p = std::clamp<std::int64_t>(position, 0, total);
    if (total <= std::numeric_limits<int>::max()) {
        r.Maximum = int(total);
        r.Value = int(p);
    } else {
        r.Maximum = 1000000;
        r.Value = int(static_cast<__int128>(p) * 1000000 / total);
    }
    return r;
}

void CutFirstDirectory(QString &s, QChar sep)
{
    if (s == QString(sep)) {
        s.clear();
        return;
    }
    const bool root = s.startsWith(sep);
    if (root)
        s.remove(0, 1);
    if (s.startsWith(QLatin1Char('.')))
        s.remove(0, 4); // a leading ".../"
    const int p = s.indexOf(sep);
    if (p >= 0)
        s = QStringLiteral("...") + sep + s.mid(p + 1);
    else
        s.clear();
    if (root)
        s.prepend(sep);
}

QString MinimizeName(const QString &path, const std::function<int(const QString &)> &width, int maxWidth, QChar sep)
{
    QString result = path;
    const int last = path.lastIndexOf(sep);
    QString dir = last >= 0 ? path.left(last + 1) : QString();
    const QString name = last >= 0 ? path.mid(last + 1) : path;
    QString drive;
    if (dir.size() >= 2 && dir.at(1) == QLatin1Char(':')) {
        drive = dir.left(2);
        dir.remove(0, 2);
    }
    const QString shortRoot = sep + QStringLiteral("...") + sep;
    while (!dir.isEmpty() || !drive.isEmpty()) {
        if (width(result) <= maxWidth)
            break;
        if (dir == shortRoot) {
            drive.clear();
            dir = QStringLiteral("...") + sep;
        } else if (!dir.isEmpty()) {
            CutFirstDirectory(dir, sep);
        } else {
            drive.clear();
        }
        result = drive + dir + name;
    }
    return result;
}

} // namespace tarsel
