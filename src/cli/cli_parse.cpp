#include "cli/cli.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "common/strutil.h"
#include "listing/parser.h"

namespace tarsel::cli {

namespace {

constexpr const char *kUsage =
    "usage: tarsel-cli parse --type N [--year YYYY] FILE\n"
    "  Prints the rows a LIST reply saved in FILE (\"-\" for standard input) becomes\n"
    "  under server type N (0 Unix, 1 Apple Unix, 2 DOS, 3 MVS, 4 AS/400, 5 other),\n"
    "  one per line: list, caption, size, date, permissions, icon role, separated by\n"
    "  tabs. Control characters and backslashes in the texts are written as \\t, \\n,\n"
    "  \\r, \\\\ and \\xNN. --year fixes the current year for entries dated with a time.\n";

// Keeps one row on one output line whatever the server put in its texts.
std::string escaped(const std::string &s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (u < 0x20 || u == 0x7f)
            out += {'\\', 'x', hex[u >> 4], hex[u & 15]};
        else
            out += c;
    }
    return out;
}

const char *iconRoleText(TIconRole role)
{
    switch (role) {
    case TIconRole::Directory: return "2";
    case TIconRole::Parent: return "3";
    case TIconRole::Link: return "4";
    case TIconRole::FileType: break;
    }
    return "file";
}

void printRows(std::ostream &out, const char *list, const std::vector<TRemoteRow> &rows)
{
    for (const TRemoteRow &row : rows)
        out << list << '\t' << escaped(row.Caption) << '\t' << escaped(row.Size) << '\t'
            << escaped(row.Date) << '\t' << escaped(row.Permissions) << '\t'
            << iconRoleText(row.Icon) << '\n';
}

int usageError(const std::string &message)
{
    std::cerr << "tarsel-cli parse: " << message << "\n" << kUsage;
    return 2;
}

} // namespace

int RunParse(const std::vector<std::string> &args)
{
    std::optional<std::int64_t> type, year;
    std::optional<std::string> file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (a == "--type" || a == "--year") {
            if (i + 1 >= args.size())
                return usageError(a + " needs a value");
            const auto value = str::ToInt64(args[++i]);
            if (!value || *value < INT32_MIN || *value > INT32_MAX)
                return usageError("not a number: " + args[i]);
            (a == "--type" ? type : year) = value;
        } else if (a.size() > 1 && a.front() == '-') {
            return usageError("unknown option " + a);
        } else if (file) {
            return usageError("only one FILE, please");
        } else {
            file = a;
        }
    }
    if (!type)
        return usageError("--type N is required");
    if (!file)
        return usageError("FILE is required");

    std::string text;
    if (*file == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
    } else {
        std::ifstream in(*file, std::ios::binary);
        if (!in) {
            std::cerr << "tarsel-cli parse: cannot read " << *file << "\n";
            return 1;
        }
        text.assign(std::istreambuf_iterator<char>(in), {});
    }

    TDirParser parser;
    if (year)
        parser.SetYearClock([y = int(*year)] { return y; });
    TRowVector dirs, files;
    parser.Parse(int(*type), SplitListingLines(text), dirs, files);
    std::ostringstream out;
    printRows(out, "dirs", dirs.Rows);
    printRows(out, "files", files.Rows);
    std::cout << out.str();
    return 0;
}

} // namespace tarsel::cli
