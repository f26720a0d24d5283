#include "common/strutil.h"

#include <QStringDecoder>
#include <limits>

namespace tarsel::str {

std::size_t Pos(std::string_view needle, std::string_view s, std::size_t start)
{
    if (start == 0)
        start = 1;
    if (start > s.size() + 1)
        return 0;
    const auto at = s.find(needle, start - 1);
    return at == std::string_view::npos ? 0 : at + 1;
}

std::string Copy(std::string_view s, std::size_t index, std::size_t count)
{
    if (index == 0)
        index = 1;
    if (index > s.size())
        return {};
    return std::string(s.substr(index - 1, count));
}

static bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string TrimLeft(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s)
{
    std::size_t n = s.size();
    while (n > 0 && isBlank(s[n - 1]))
        --n;
    return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string UpperCase(std::string_view s)
{
    std::string r(s);
    for (char &c : r)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return r;
}

std::string LowerCase(std::string_view s)
{
    std::string r(s);
    for (char &c : r)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return r;
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && UpperCase(a) == UpperCase(b); }

std::optional<std::int64_t> ToInt64(std::string_view s)
{
    if (s.empty())
        return std::nullopt;
    std::size_t i = 0;
    bool neg = false;
    if (s[0] == '+' || s[0] == '-') {
        neg = s[0] == '-';
        i = 1;
    }
    if (i >= s.size())
        return std::nullopt;
    // Accumulate as negative so that INT64_MIN is representable.
    std::int64_t v = 0;
    constexpr std::int64_t lo = std::numeric_limits<std::int64_t>::min();
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        const int d = c - '0';
        if (v < (lo + d) / 10)
            return std::nullopt;
        v = v * 10 - d;
    }
    if (!neg) {
        if (v == lo)
            return std::nullopt;
        v = -v;
    }
    return v;
}

std::int64_t StrToInt64Def(std::string_view s, std::int64_t def) { return ToInt64(s).value_or(def); }

QString DisplayText(std::string_view bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

} // namespace tarsel::str
