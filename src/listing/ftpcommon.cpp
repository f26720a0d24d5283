#include "listing/ftpcommon.h"

#include <QDate>
#include <array>
#include <limits>

namespace tarsel {

namespace {

constexpr std::array<std::string_view, 12> kMonths = {
    "JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
    "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string upper(std::string_view s)
{
    std::string r(s);
    for (char &c : r)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return r;
}

std::string_view trimmedView(std::string_view s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// GetFirstParam over a view: the same words and the same rest, without copying the
// rest of the line for every word taken.
std::string_view takeWord(std::string_view &s)
{
    const auto space = s.find(' ');
    if (space == std::string_view::npos) {
        const std::string_view word = s;
        s = {};
        return word;
    }
    const std::string_view word = s.substr(0, space);
    s = trimmedView(s.substr(space));
    return word;
}

// Tabs and other control characters separate words like spaces do.
std::string cleanLine(std::string_view raw)
{
    std::string s(raw);
    for (char &c : s)
        if (static_cast<unsigned char>(c) < 28)
            c = ' ';
    return std::string(trimmedView(s));
}

struct Entry {
    std::string name, size, dirFlag, date, time, link;
};

bool isVmsHeader(const std::string &line)
{
    const std::string t = TrimSpaces(line);
    if (t.empty() || t.back() != ']')
        return false;
    const auto colon = t.find(':');
    if (colon == std::string::npos)
        return t.front() == '[';
    // A colon at the very end has nothing after it to test.
    return colon + 1 < t.size() && t[colon + 1] == '[';
}

bool looksUnix(const std::string &line)
{
    if (line.size() < 8)
        return false;
    for (std::size_t i = 0; i < 8; ++i) {
        switch (line[i]) {
        case 'c': case 'l': case 'd': case 'w': case 'r': case 'x': case '-':
            break;
        default:
            return false;
        }
    }
    return true;
}

bool looksDos(const std::string &line)
{
    if (line.size() < 6)
        return false;
    const char a = line[2], b = line[5];
    return (a == '-' && b == '-') || (a == '/' && b == '/');
}

std::string sizeInBlocks(std::string_view word)
{
    constexpr std::int64_t kBlock = 512;
    const std::int64_t blocks = LeadingNumber(word);
    if (blocks > std::numeric_limits<std::int64_t>::max() / kBlock)
        return std::to_string(std::numeric_limits<std::int64_t>::max());
    return std::to_string(blocks * kBlock);
}

Entry readVms(TStringList &lines, std::size_t i, std::string_view s)
{
    Entry e;
    const std::string_view nameWord = takeWord(s);
    std::string next;
    if (s.empty() && i + 1 < lines.size()) {
        // A long name stands alone; its details follow on the next line, which is
        // then used up so it does not read as an entry of its own.
        next = cleanLine(lines[i + 1]);
        lines[i + 1].clear();
        s = next;
    }
    e.size = sizeInBlocks(takeWord(s));
    e.date = NormalizeDate(takeWord(s));
    e.time = Time24(takeWord(s));
    // Owner and protection follow; nothing shows them.
    const auto semi = nameWord.find(';');
    if (semi == std::string_view::npos)
        return e; // headers and the closing total have no version number
    e.name = nameWord.substr(0, semi);
    if (upper(nameWord).find(".DIR") != std::string::npos) {
        e.dirFlag = "<DIR>";
        const auto dot = e.name.rfind('.');
        if (dot != std::string::npos)
            e.name.erase(dot);
    }
    return e;
}

Entry readUnix(std::string_view s, int currentYear)
{
    Entry e;
    const std::string_view perms = takeWord(s);
    if (!perms.empty() && perms.front() == 'd')
        e.dirFlag = "<DIR>";
    takeWord(s); // link count
    takeWord(s); // owner
    std::array<std::string_view, 7> f;
    for (std::size_t k = 0; k < 6; ++k)
        f[k] = takeWord(s);
    f[6] = s;

    // The group column is optional, so the size is whatever precedes the month. A
    // group that is part of a month name ('ma') is meant to be taken for the month.
    std::size_t month = f.size();
    for (std::size_t k = 0; k < f.size(); ++k) {
        if (MonthIndex(f[k]) != 0) {
            month = k;
            break;
        }
    }
    if (month == f.size())
        return e;
    std::string rebuilt;
    for (std::size_t k = month; k < f.size(); ++k) {
        rebuilt += f[k];
        rebuilt += ' ';
    }
    if (month > 0)
        e.size = f[month - 1];
    std::string_view r = trimmedView(rebuilt);
    const std::string_view monthWord = takeWord(r);
    const std::string_view dayWord = takeWord(r);
    std::string date = std::string(dayWord) + "/" + std::string(monthWord);
    const std::string t = Time24(takeWord(r));
    if (t.find(':') != std::string::npos) {
        date = NormalizeDate(date + "/" + std::to_string(currentYear));
        e.time = t;
    } else {
        date = NormalizeDate(date + "/" + t);
        e.time = "00:00";
    }
    e.date = NormalizeDate(date);

    const auto arrow = r.find("->");
    if (arrow == std::string_view::npos) {
        e.name = r;
    } else {
        e.name = trimmedView(r.substr(0, arrow));
        e.link = trimmedView(r.substr(arrow + 2));
    }
    return e;
}

Entry readDos(std::string_view s)
{
    Entry e;
    e.date = DosDate(takeWord(s));
    e.time = Time24(takeWord(s));
    const std::string_view third = takeWord(s);
    if (!third.empty() && third.front() == '<')
        e.dirFlag = third;
    else
        e.size = third;
    e.name = s;
    return e;
}

Entry readAs400(std::string_view s)
{
    Entry e;
    takeWord(s); // owner
    e.size = takeWord(s);
    std::string_view type;
    if (e.size == "*MEM") {
        e.size = e.date = e.time = "N/A";
        type = "*MEM";
    } else {
        e.date = takeWord(s);
        e.time = takeWord(s);
        type = takeWord(s);
    }
    static constexpr std::array<std::string_view, 11> kTypes = {
        "*DDIR", "*DIR", "*LIB", "*MEM", "*FLR", "*BLKSF", "*DOC", "*DSTMF", "*FILE", "*PGM", "*STMF"};
    bool known = false;
    for (auto k : kTypes)
        known = known || type == k;
    if (!known)
        return e;
    if (type == "*DIR" || type == "*DDIR" || type == "*LIB" || type == "*FLR")
        e.dirFlag = "<DIR>";
    e.name = s;
    return e;
}

} // namespace

int CurrentLocalYear() { return QDate::currentDate().year(); }

std::string TrimSpaces(std::string_view s) { return std::string(trimmedView(s)); }

std::string GetFirstParam(std::string &S)
{
    if (S.empty())
        return {};
    if (S.back() != ' ')
        S += ' ';
    const auto space = S.find(' ');
    std::string result = S.substr(0, space);
    S = TrimSpaces(std::string_view(S).substr(space));
    return result;
}

std::int64_t LeadingNumber(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    std::int64_t n = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < s.size() && isDigit(s[i]); ++i) {
        const int d = s[i] - '0';
        n = n > (kMax - d) / 10 ? kMax : n * 10 + d;
    }
    return n;
}

std::string TwoDigits(std::int64_t n)
{
    std::string s = std::to_string(n);
    if (s.size() < 2)
        s.insert(0, 1, '0');
    return s;
}

int MonthIndex(std::string_view s)
{
    if (s.empty())
        return 0;
    const std::string u = upper(s);
    for (std::size_t m = 0; m < kMonths.size(); ++m)
        if (kMonths[m].find(u) != std::string_view::npos)
            return int(m) + 1;
    return 0;
}

std::string NormalizeDate(std::string_view s)
{
    auto sepIn = [](std::string_view t) {
        const auto dash = t.find('-');
        return dash != std::string_view::npos ? dash : t.find('/');
    };
    const auto sep1 = sepIn(s);
    if (sep1 == std::string_view::npos)
        return std::string(s);
    const std::string first = TwoDigits(LeadingNumber(s.substr(0, sep1)));
    const std::string_view rest = s.substr(sep1 + 1);
    const auto sep2 = sepIn(rest);
    if (sep2 == std::string_view::npos)
        return std::string(s);
    std::string middle = upper(rest.substr(0, sep2));
    const std::string_view last = rest.substr(sep2 + 1);
    if (!middle.empty() && isDigit(middle.front()))
        return first + "/" + middle + "/" + std::string(last);
    if (const int m = MonthIndex(middle); m != 0)
        middle = TwoDigits(m);
    return middle + "/" + first + "/" + std::string(last);
}

std::string DosDate(std::string_view s)
{
    std::string w(s);
    for (char &c : w)
        if (c == '-')
            c = '/';
    const std::string_view tail = std::string_view(w).substr(std::min<std::size_t>(6, w.size()));
    // Servers that write four-digit years already give the whole year.
    if (tail.size() >= 4 && isDigit(tail[0]) && isDigit(tail[1]) && isDigit(tail[2]) && isDigit(tail[3]))
        return w.substr(0, 6) + std::string(tail.substr(0, 4));
    const std::int64_t yy = LeadingNumber(tail.substr(0, 2));
    const std::int64_t year = yy < 30 ? 2000 + yy : 1900 + yy;
    return w.substr(0, 6) + std::to_string(year);
}

std::string Time24(std::string_view s)
{
    std::string w = upper(s);
    // A single-digit hour ("1:30PM") is read as if written with two.
    if (w.size() >= 2 && isDigit(w[0]) && w[1] == ':')
        w.insert(0, 1, '0');
    if (w.size() < 6)
        return w;
    if (w.find("PM") != std::string::npos) {
        std::int64_t hour = LeadingNumber(w.substr(0, 2));
        if (hour < 12)
            hour += 12;
        return TwoDigits(hour) + w.substr(2, 3);
    }
    return w.substr(0, 5);
}

void FTP_ConvertLines(TStringList &Lines, TStringList &Sizes, TStringList &DirFlags,
                      TStringList &Dates, TStringList &Times, TStringList &Links,
                      std::uint8_t &Format, int currentYear)
{
    if (Lines.empty())
        return;
    for (const std::string &line : Lines) {
        if (line.empty())
            continue;
        if (isVmsHeader(line))
            Format = ListFormatVms;
        break;
    }
    const std::size_t n = Lines.size();
    Sizes.assign(n, {});
    DirFlags.assign(n, {});
    Links.assign(n, {});
    Dates.assign(n, {});
    Times.assign(n, {});

    for (std::size_t i = 0; i < n; ++i) {
        const std::string line = cleanLine(Lines[i]);
        if (line.empty()) {
            Lines[i].clear();
            continue;
        }
        std::string_view words = line;
        takeWord(words);
        std::string_view second = takeWord(words);
        takeWord(words);
        takeWord(words);
        std::string_view fifth = takeWord(words);
        if (second.empty())
            second = "-";
        if (fifth.empty())
            fifth = "-";

        Entry e;
        if (Format == ListFormatVms) {
            e = readVms(Lines, i, line);
        } else if (looksUnix(line)) {
            e = readUnix(line, currentYear);
            Format = ListFormatUnix;
        } else if (looksDos(line)) {
            e = readDos(line);
            Format = ListFormatDos;
        } else if (fifth.front() == '*' || second.front() == '*') {
            e = readAs400(line);
            Format = ListFormatAs400;
        }
        if (e.name.empty()) {
            Lines[i].clear();
            continue;
        }
        Lines[i] = std::move(e.name);
        Sizes[i] = std::move(e.size);
        DirFlags[i] = std::move(e.dirFlag);
        Links[i] = std::move(e.link);
        Dates[i] = std::move(e.date);
        Times[i] = std::move(e.time);
    }

    // Drop what held no entry, keeping order; one pass so huge replies stay linear.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (Lines[i].empty()) // every name kept above is non-blank
            continue;
        if (kept != i) {
            Lines[kept] = std::move(Lines[i]);
            Sizes[kept] = std::move(Sizes[i]);
            DirFlags[kept] = std::move(DirFlags[i]);
            Links[kept] = std::move(Links[i]);
            Dates[kept] = std::move(Dates[i]);
            Times[kept] = std::move(Times[i]);
        }
        ++kept;
    }
    for (TStringList *list : {&Lines, &Sizes, &DirFlags, &Links, &Dates, &Times})
        list->resize(kept);
}

} // namespace tarsel
