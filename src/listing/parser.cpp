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

void TDirParser::parseUnixLayout(const TStringList &lines, TRowSink &dirs, TRowSink &files,
                                 bool withGroup)
{
    for (TStringList &list : m_fields) {
        list.clear();
        list.reserve(lines.size());
    }
    appendParentRow(dirs);

    const int lastWord = withGroup ? 5 : 4;
    for (const std::string &raw : lines) {
        m_rest = TrimSpaces(raw);
        // Only the exact lower-case word is a total line: "Total 24" is meant to stay,
        // as a link row with an empty caption (its first word holds an 'l').
        if (m_rest.compare(0, 5, "total") == 0)
            continue;
        // A blank line describes nothing; a row for it would name no entry at all.
        if (m_rest.empty())
            continue;
        std::string field = TakeField(m_rest, 1);
        for (int n = 2; n <= lastWord; ++n)
            field = TakeField(RestAfter(field), n);
        if (!withGroup)
            m_fields[4].emplace_back();
        const std::string date = FirstWords(RestAfter(field), 3);
        m_fields[5].push_back(date);
        m_fields[6].push_back(RestAfter(date));
    }

    const std::size_t count = m_fields[0].size();
    const TStringList &sizes = m_fields[withGroup ? 4 : 3];
    for (std::size_t i = 0; i < count; ++i) {
        const std::string &perms = m_fields[0][i];
        TRemoteRow row{TrimSpaces(m_fields[6][i]), TrimSpaces(sizes[i]), TrimSpaces(m_fields[5][i]),
                       TrimSpaces(perms), TIconRole::FileType};
        if (perms.find('d') != std::string::npos) {
            if (isDotName(row.Caption))
                continue;
            row.Icon = TIconRole::Directory;
            dirs.AppendRow(std::move(row));
        } else if (perms.find('l') != std::string::npos) {
            // Links keep "name -> target" as the caption, as the server wrote it.
            row.Icon = TIconRole::Link;
            dirs.AppendRow(std::move(row));
        } else {
            files.AppendRow(std::move(row));
        }
    }
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

TStringList SplitListingLines(std::string_view text)
{
    TStringList lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

} // namespace tarsel
