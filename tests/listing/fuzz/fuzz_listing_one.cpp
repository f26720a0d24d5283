#include "fuzz_listing_one.h"

#include <string_view>

#include "listing/ftpcommon.h"
#include "listing/parser.h"

namespace tarsel::fuzz {

namespace {

bool convertHolds(std::string_view text, std::uint8_t entryFormat)
{
    TStringList lines = SplitListingLines(text), sizes, flags, dates, times, links;
    std::uint8_t format = entryFormat;
    FTP_ConvertLines(lines, sizes, flags, dates, times, links, format, 2026);
    const std::size_t n = lines.size();
    if (sizes.size() != n || flags.size() != n || dates.size() != n || times.size() != n
        || links.size() != n)
        return false;
    for (const std::string &name : lines)
        if (name.empty())
            return false;
    return format == entryFormat || (format >= ListFormatUnix && format <= ListFormatAs400);
}

bool parseHolds(std::string_view text, int type)
{
    TDirParser parser;
    parser.SetYearClock([] { return 2026; });
    TRowVector dirs, files;
    parser.Parse(type, SplitListingLines(text), dirs, files);
    if (dirs.Rows.empty() || dirs.Rows.front() != TRemoteRow{"..", {}, {}, {}, TIconRole::Parent})
        return false;
    const bool converted = type >= ServerTypeDos && type <= ServerTypeOther;
    for (std::size_t i = 1; i < dirs.Rows.size(); ++i) {
        const TRemoteRow &r = dirs.Rows[i];
        if (r.Icon == TIconRole::Parent || r.Icon == TIconRole::FileType)
            return false;
        if ((converted || r.Icon == TIconRole::Directory) && (r.Caption == "." || r.Caption == ".."))
            return false;
        if (converted && (r.Caption.empty() || r.Icon != TIconRole::Directory))
            return false;
    }
    for (const TRemoteRow &r : files.Rows)
        if (r.Icon != TIconRole::FileType || (converted && r.Caption.empty()))
            return false;
    return true;
}

} // namespace

bool RunListingInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return true;
    const int op = data[0] % 7;
    std::string_view text(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (op < 6)
        return parseHolds(text, op);
    if (text.empty())
        return convertHolds(text, 0);
    const auto entry = std::uint8_t(std::uint8_t(text.front()) % 5);
    return convertHolds(text.substr(1), entry);
}

} // namespace tarsel::fuzz
