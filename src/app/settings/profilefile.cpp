#include "app/settings/profilefile.h"

#include <QFile>
#include <QSaveFile>

#include "common/strutil.h"

namespace tarsel {

namespace {

std::optional<std::int64_t> parseInteger(const std::string &text)
{
    std::string_view s(text);
    bool neg = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    std::string_view digits;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        digits = s.substr(2);
    else if (s.size() > 1 && s[0] == '$')
        digits = s.substr(1);
    else
        return str::ToInt64(text);
    if (digits.empty() || digits.size() > 16)
        return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * 16 + std::uint64_t(d);
    }
    if (v > std::uint64_t(INT64_MAX))
        return std::nullopt;
    return neg ? -std::int64_t(v) : std::int64_t(v);
}

ProfileFile::FailureReporter &failureReporter()
{
    static ProfileFile::FailureReporter r;
    return r;
}

} // namespace

void ProfileFile::SetFailureReporter(FailureReporter reporter) { failureReporter() = std::move(reporter); }

ProfileFile::ProfileFile(QString path) : m_path(std::move(path)) { Reload(); }

void ProfileFile::Reload()
{
    m_sections.clear();
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return; // a missing (or unreadable) file reads as one with no sections
    const QByteArray data = f.readAll();
    Parse(data.toStdString());
}

void ProfileFile::Parse(const std::string &text)
{
    m_sections.clear();
    Section *current = nullptr;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string raw = text.substr(start, end - start);
        start = end + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        const std::string line = str::Trim(raw);
        if (line.empty() || line[0] == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            const std::string name = str::Trim(line.substr(1, line.size() - 2));
            current = findSection(name);
            if (!current) {
                m_sections.push_back(Section{name, {}});
                current = &m_sections.back();
            }
            continue;
        }
        if (!current)
            continue; // lines before the first section are dropped
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            current->Lines.push_back(Line{{}, raw, false});
        else
            current->Lines.push_back(Line{str::Trim(line.substr(0, eq)), str::Trim(line.substr(eq + 1)), true});
    }
}

ProfileFile::Section *ProfileFile::findSection(const std::string &name)
{
    for (auto &s : m_sections)
        if (str::SameText(s.Name, name))
            return &s;
    return nullptr;
}

const ProfileFile::Section *ProfileFile::findSection(const std::string &name) const
{
    return const_cast<ProfileFile *>(this)->findSection(name);
}

const ProfileFile::Line *ProfileFile::findEntry(const std::string &section, const std::string &key) const
{
    const Section *s = findSection(section);
    if (!s)
        return nullptr;
    for (const auto &l : s->Lines)
        if (l.IsEntry && str::SameText(l.Key, key))
            return &l;
    return nullptr;
}

ProfileFile::Section &ProfileFile::sectionForWrite(const std::string &name)
{
    if (Section *s = findSection(name))
        return *s;
    m_sections.push_back(Section{name, {}});
    return m_sections.back();
}

std::vector<std::string> ProfileFile::SectionNames() const
{
    std::vector<std::string> names;
    names.reserve(m_sections.size());
    for (const auto &s : m_sections)
        names.push_back(s.Name);
    return names;
}

bool ProfileFile::SectionExists(const std::string &section) const { return findSection(section) != nullptr; }

std::string ProfileFile::ReadString(const std::string &section, const std::string &key, const std::string &def) const
{
    const Line *l = findEntry(section, key);
    return l ? l->Value : def;
}

int ProfileFile::ReadInteger(const std::string &section, const std::string &key, int def) const
{
    const Line *l = findEntry(section, key);
    if (!l)
        return def;
    const auto v = parseInteger(l->Value);
    if (!v || *v < INT32_MIN || *v > INT32_MAX)
        return def;
    return int(*v);
}

bool ProfileFile::ReadBool(const std::string &section, const std::string &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void ProfileFile::WriteString(const std::string &section, const std::string &key, const std::string &value)
{
    Section &s = sectionForWrite(section);
    for (auto &l : s.Lines)
        if (l.IsEntry && str::SameText(l.Key, key)) {
            l.Value = value;
            return;
        }
    s.Lines.push_back(Line{key, value, true});
}

void ProfileFile::WriteInteger(const std::string &section, const std::string &key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void ProfileFile::WriteBool(const std::string &section, const std::string &key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void ProfileFile::EraseSection(const std::string &section)
{
    for (auto it = m_sections.begin(); it != m_sections.end(); ++it)
        if (str::SameText(it->Name, section)) {
            m_sections.erase(it);
            return;
        }
}

std::string ProfileFile::Serialize() const
{
    std::string out;
    for (const auto &s : m_sections) {
        out += '[' + s.Name + "]\r\n";
        for (const auto &l : s.Lines)
            out += (l.IsEntry ? l.Key + '=' + l.Value : l.Value) + "\r\n";
        out += "\r\n";
    }
    return out;
}

bool ProfileFile::Save()
{
    m_lastError.clear();
    QSaveFile f(m_path);
    const std::string text = Serialize();
    bool ok = f.open(QIODevice::WriteOnly);
    // The temporary file gets the owner-only mode before any byte reaches it.
    ok = ok && f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ok = ok && f.write(text.data(), qint64(text.size())) == qint64(text.size());
    if (ok)
        ok = f.commit();
    else
        f.cancelWriting();
    if (ok)
        return true;
    m_lastError = m_path + QStringLiteral(": ") + f.errorString();
    if (failureReporter())
        failureReporter()(m_lastError);
    return false;
}

} // namespace tarsel
