#include "listing/parser.h"

namespace tarsel {

namespace {

void appendParentRow(TRowSink &dirs) { dirs.AppendRow({"..", {}, {}, {}, TIconRole::Parent}); }

bool isDotName(const std::string &name) { return name == "." || name == ".."; }

} // namespace

TDirParser::TDirParser() : m_yearClock(CurrentLocalYear), m_fields(7) {}

void TDirParser::SetYearClock(YearClock clock)
{
    m_yearClock = clock ? std::move(clock) : YearClock(CurrentLocalYear);
}

std::string TDirParser::TakeField(const std::string &text, int n)
{
    // The space is found in the trimmed text but the copy starts at the text's own
    // start; the callers pass trimmed text, so the two agree.
    const std::string trimmed = TrimSpaces(text);
    const auto space = trimmed.find(' ');
    std::string field = space == std::string::npos ? std::string() : text.substr(0, space + 1);
    m_fields.at(std::size_t(n - 1)).push_back(field);
    return field;
}

std::string TDirParser::RestAfter(const std::string &field)
{
    if (!field.empty()) {
        const auto at = m_rest.find(field);
        if (at != std::string::npos)
            m_rest.erase(0, at + field.size());
    }
    return TrimSpaces(m_rest);
}

std::string TDirParser::FirstWords(const std::string &text, int n)
{
    int runs = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' && (i == 0 || text[i - 1] != ' ') && ++runs == n)
            return text.substr(0, i);
    }
    return text;
}

namespace {

std::string_view trimmedSpaces(std::string_view s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// FirstWords over a view.
std::string_view firstWordsView(std::string_view text, int n)
{
    int runs = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' && (i == 0 || text[i - 1] != ' ') && ++runs == n)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

void TDirParser::AppendParentRow(TRowSink &dirs) { appendParentRow(dirs); }

// The steps of TakeField and RestAfter on views of the line: each field is the word
// before the next space, the rest is what follows it without outer spaces; once a
// field finds no space, it and all later fields are empty and the rest stays.
void TDirParser::ReadUnixLine(std::string_view raw, bool withGroup, TRowSink &dirs, TRowSink &files)
{
    std::string_view rest = trimmedSpaces(raw);
    // Only the exact lower-case word is a total line: "Total 24" is meant to stay,
    // as a link row with an empty caption (its first word holds an 'l').
    if (rest.substr(0, 5) == "total")
        return;
    // A blank line describes nothing; a row for it would name no entry at all.
    if (rest.empty())
        return;
    const int lastWord = withGroup ? 5 : 4;
    std::string_view fields[5];
    for (int n = 0; n < lastWord; ++n) {
        const auto space = rest.find(' ');
        if (space == std::string_view::npos)
            break;
        fields[n] = rest.substr(0, space);
        rest = trimmedSpaces(rest.substr(space));
    }
    const std::string_view date = firstWordsView(rest, 3);
    rest = trimmedSpaces(rest.substr(date.size()));

    const std::string_view perms = fields[0];
    const std::string_view size = fields[withGroup ? 4 : 3];
    TRemoteRow row{std::string(rest), std::string(size), std::string(date), std::string(perms),
                   TIconRole::FileType};
    if (perms.find('d') != std::string_view::npos) {
        if (isDotName(row.Caption))
            return;
        row.Icon = TIconRole::Directory;
        dirs.AppendRow(std::move(row));
    } else if (perms.find('l') != std::string_view::npos) {
        // Links keep "name -> target" as the caption, as the server wrote it.
        row.Icon = TIconRole::Link;
        dirs.AppendRow(std::move(row));
    } else {
        files.AppendRow(std::move(row));
    }
}

void TDirParser::parseUnixLayout(const TStringList &lines, TRowSink &dirs, TRowSink &files,
                                 bool withGroup)
{
    appendParentRow(dirs);
    for (const std::string &raw : lines)
        ReadUnixLine(raw, withGroup, dirs, files);
}

void TDirParser::parseConverted(const TStringList &lines, TRowSink &dirs, TRowSink &files,
                                std::uint8_t format)
{
    TStringList names = lines, sizes, dirFlags, dates, times, links;
    FTP_ConvertLines(names, sizes, dirFlags, dates, times, links, format, m_yearClock());
    appendParentRow(dirs);
    for (std::size_t i = 0; i < names.size(); ++i) {
        TRemoteRow row{std::move(names[i]), std::move(sizes[i]), dates[i] + " " + times[i],
                       std::move(dirFlags[i]), TIconRole::FileType};
        if (!row.Permissions.empty() || !links[i].empty()) {
            if (isDotName(row.Caption))
                continue;
            row.Icon = TIconRole::Directory; // links too: the converter keeps only their name
            dirs.AppendRow(std::move(row));
        } else {
            files.AppendRow(std::move(row));
        }
    }
}

void TDirParser::ParseUnix(const TStringList &lines, TRowSink &dirs, TRowSink &files)
{
    parseUnixLayout(lines, dirs, files, true);
}

void TDirParser::ParseAppleUnix(const TStringList &lines, TRowSink &dirs, TRowSink &files)
{
    parseUnixLayout(lines, dirs, files, false);
}

void TDirParser::ParseDos(const TStringList &lines, TRowSink &dirs, TRowSink &files)
{
    parseConverted(lines, dirs, files, ListFormatDos);
}

void TDirParser::ParseMvs(const TStringList &lines, TRowSink &dirs, TRowSink &files)
{
    parseConverted(lines, dirs, files, ListFormatVms);
}

void TDirParser::ParseAs400(const TStringList &lines, TRowSink &dirs, TRowSink &files)
{
    parseConverted(lines, dirs, files, ListFormatAs400);
}

void TDirParser::ParseOther(const TStringList &lines, TRowSink &dirs, TRowSink &files)
{
    parseConverted(lines, dirs, files, ListFormatNone);
}

void TDirParser::Parse(int serverType, const TStringList &lines, TRowSink &dirs, TRowSink &files)
{
    switch (serverType) {
    case ServerTypeAppleUnix: return ParseAppleUnix(lines, dirs, files);
    case ServerTypeDos: return ParseDos(lines, dirs, files);
    case ServerTypeMvs: return ParseMvs(lines, dirs, files);
    case ServerTypeAs400: return ParseAs400(lines, dirs, files);
    case ServerTypeOther: return ParseOther(lines, dirs, files);
    default: return ParseUnix(lines, dirs, files);
    }
}

bool NextListingLine(std::string_view text, std::size_t &pos, std::string_view &line)
{
    if (pos >= text.size())
        return false;
    const std::size_t start = pos;
    std::size_t i = start;
    while (i < text.size() && text[i] != '\n' && text[i] != '\r')
        ++i;
    line = text.substr(start, i - start);
    if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    pos = i + 1;
    return true;
}

TStringList SplitListingLines(std::string_view text)
{
    TStringList lines;
    std::size_t pos = 0;
    std::string_view line;
    while (NextListingLine(text, pos, line))
        lines.emplace_back(line);
    return lines;
}

} // namespace tarsel
