// Parses generated Unix and DOS listings of 100,000 and 1,000,000 lines and prints
// lines per second, against a reference measured in the same run: splitting the same
// lines into words, the least any reading of them has to do. The per-line cost at
// one million lines over the cost at 100,000 shows whether parsing stays linear.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "listing/parser.h"

using namespace tarsel;

namespace {

// Counts rows instead of keeping them, so the figures are the parser's own.
class TCountingSink : public TRowSink {
public:
    void AppendRow(TRemoteRow row) override
    {
        ++rows;
        bytes += row.Caption.size();
    }
    std::size_t rows = 0, bytes = 0;
};

const char *kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char *kWords[] = {"report", "backup", "photo", "notes", "index", "release", "My Documents", "data",
                        "archive", "build log"};
const char *kExts[] = {".txt", ".tar.gz", ".jpg", ".html", "", ".pdf", ".c", ".iso"};

TStringList unixListing(std::size_t n)
{
    std::mt19937 rng(42);
    TStringList lines;
    lines.reserve(n);
    lines.push_back("total " + std::to_string(n));
    char buf[512];
    while (lines.size() < n) {
        const unsigned r = rng();
        const char *month = kMonths[r % 12];
        const int day = int(r / 12 % 28) + 1;
        const std::string name = std::string(kWords[r / 7 % 10]) + "-" + std::to_string(r % 100000)
                                 + kExts[r / 3 % 8];
        const long long size = (long long)(rng() % 100000000);
        const bool recent = r % 3 == 0;
        char when[16];
        if (recent)
            std::snprintf(when, sizeof when, "%02d:%02d", int(r % 24), int(r / 24 % 60));
        else
            std::snprintf(when, sizeof when, " %d", 1995 + int(r % 30));
        switch (r % 10) {
        case 0:
            std::snprintf(buf, sizeof buf, "drwxr-xr-x   %2d joe      staff        4096 %s %2d %5s %s",
                          int(r % 9) + 2, month, day, when, name.c_str());
            break;
        case 1:
            std::snprintf(buf, sizeof buf, "lrwxrwxrwx    1 root     root           %d %s %2d %5s %s -> ../%s",
                          int(name.size()), month, day, when, name.c_str(), name.c_str());
            break;
        default:
            std::snprintf(buf, sizeof buf, "-rw-r--r--    1 joe      staff  %10lld %s %2d %5s %s", size, month,
                          day, when, name.c_str());
        }
        lines.emplace_back(buf);
    }
    return lines;
}

TStringList dosListing(std::size_t n)
{
    std::mt19937 rng(7);
    TStringList lines;
    lines.reserve(n);
    char buf[512];
    while (lines.size() < n) {
        const unsigned r = rng();
        const std::string name = std::string(kWords[r / 7 % 10]) + " " + std::to_string(r % 100000)
                                 + kExts[r / 3 % 8];
        const int hour = int(r % 12) + 1;
        const char *half = r / 12 % 2 ? "PM" : "AM";
        const int month = int(r / 5 % 12) + 1, day = int(r / 11 % 28) + 1, year = int(r / 13 % 30);
        if (r % 8 == 0)
            std::snprintf(buf, sizeof buf, "%02d-%02d-%02d  %02d:%02d%s       <DIR>          %s", month, day,
                          year, hour, int(r % 60), half, name.c_str());
        else
            std::snprintf(buf, sizeof buf, "%02d-%02d-%02d  %02d:%02d%s %18lld %s", month, day, year, hour,
                          int(r % 60), half, (long long)(rng() % 1000000000), name.c_str());
        lines.emplace_back(buf);
    }
    return lines;
}

std::size_t splitWords(const TStringList &lines)
{
    std::size_t total = 0;
    std::vector<std::string> words;
    for (const std::string &line : lines) {
        words.clear();
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && line[i] == ' ')
                ++i;
            const std::size_t start = i;
            while (i < line.size() && line[i] != ' ')
                ++i;
            if (i > start)
                words.emplace_back(line, start, i - start);
        }
        total += words.size();
    }
    return total;
}

template <class F>
double seconds(F &&f)
{
    // Best of three, so a busy machine disturbs the figures less.
    double best = 1e30;
    for (int k = 0; k < 3; ++k) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

} // namespace

int main()
{
    TDirParser parser;
    parser.SetYearClock([] { return 2026; });
    std::printf("%-6s %9s %14s %14s %8s %10s\n", "layout", "lines", "parse lines/s", "split lines/s",
                "ratio", "rows");
    for (const char *layout : {"unix", "dos"}) {
        double perLine100k = 0, splitPerLine100k = 0;
        for (const std::size_t n : {std::size_t(100000), std::size_t(1000000)}) {
            const bool unix = layout[0] == 'u';
            const TStringList lines = unix ? unixListing(n) : dosListing(n);
            std::size_t rows = 0, words = 0;
            const double parse = seconds([&] {
                TCountingSink dirs, files;
                parser.Parse(unix ? ServerTypeUnix : ServerTypeDos, lines, dirs, files);
                rows = dirs.rows + files.rows;
            });
            const double split = seconds([&] { words = splitWords(lines); });
            std::printf("%-6s %9zu %14.0f %14.0f %8.2f %10zu\n", layout, n, double(n) / parse,
                        double(n) / split, parse / split, rows);
            const double perLine = parse / double(n), splitPerLine = split / double(n);
            if (n == 100000) {
                perLine100k = perLine;
                splitPerLine100k = splitPerLine;
            } else {
                std::printf("%-6s growth: cost per line at 1,000,000 lines / at 100,000 lines = %.2f, "
                            "reference %.2f (1.00 is linear)\n",
                            layout, perLine / perLine100k, splitPerLine / splitPerLine100k);
            }
            if (words == 0)
                return 1;
        }
    }
    std::printf("ratio = parse time / word-split time of the same lines\n");
    return 0;
}
