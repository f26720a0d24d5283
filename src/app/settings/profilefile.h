#pragma once
#include <functional>
#include <string>
#include <vector>

#include <QString>

namespace tarsel {

// An order-preserving, in-memory copy of an INI file such as accounts.dat. Texts are
// 8-bit bytes as they stand in the file. Section names and keys compare without regard
// to ASCII letter case. Writes change only the copy until Save.
class ProfileFile {
public:
    explicit ProfileFile(QString path);

    const QString &Path() const { return m_path; }

    // Discards the copy and reads the file again; a missing file reads as empty.
    void Reload();

    std::vector<std::string> SectionNames() const;
    bool SectionExists(const std::string &section) const;

    std::string ReadString(const std::string &section, const std::string &key, const std::string &def) const;
    // Decimal, "0x" or "$" hexadecimal; anything else, or a value beyond 32 bits,
    // gives the default.
    int ReadInteger(const std::string &section, const std::string &key, int def) const;
    bool ReadBool(const std::string &section, const std::string &key, bool def) const;

    void WriteString(const std::string &section, const std::string &key, const std::string &value);
    void WriteInteger(const std::string &section, const std::string &key, int value);
    void WriteBool(const std::string &section, const std::string &key, bool value);
    void EraseSection(const std::string &section);

    // Writes the whole copy with CR LF line ends through a temporary file in the same
    // folder renamed over the target, so the old file stays whole until the new one is;
    // the file is readable by its owner only, as it holds passwords. On failure returns
    // false and LastError() names the path and the system's reason; the copy keeps
    // every change.
    bool Save();
    const QString &LastError() const { return m_lastError; }

    // Called with LastError() whenever a Save fails, so that every failed save reaches
    // the user; the application installs one that shows an error box.
    using FailureReporter = std::function<void(const QString &error)>;
    static void SetFailureReporter(FailureReporter reporter);

    // The file as Save would write it.
    std::string Serialize() const;
    // Replaces the copy with the given file text.
    void Parse(const std::string &text);

private:
    struct Line {
        std::string Key;   // empty for a kept line without "="
        std::string Value; // the value, or the whole kept line
        bool IsEntry = true;
    };
    struct Section {
        std::string Name;
        std::vector<Line> Lines;
    };

    Section *findSection(const std::string &name);
    const Section *findSection(const std::string &name) const;
    const Line *findEntry(const std::string &section, const std::string &key) const;
    Section &sectionForWrite(const std::string &name);

    QString m_path;
    std::vector<Section> m_sections;
    QString m_lastError;
};

} // namespace tarsel
