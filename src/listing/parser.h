#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "listing/ftpcommon.h"

// The directory listing parser: the lines of one LIST reply become rows of the two
// remote lists, the directory list and the file list. It knows no widgets: rows go
// to row sinks, which the remote list models implement and tests fill containers with.
namespace tarsel {

// What a row's icon shows. Directory, parent and link are the shared small image
// list's entries 2, 3 and 4; FileType means the view looks the icon up from the
// caption's file name (by name only, never touching a local file).
enum class TIconRole : int {
    FileType = 0,
    Directory = 2,
    Parent = 3,
    Link = 4,
};

struct TRemoteRow {
    std::string Caption;     // the entry's name, the server's bytes
    std::string Size;        // column 2
    std::string Date;        // column 3
    std::string Permissions; // column 4
    TIconRole Icon = TIconRole::FileType;

    bool operator==(const TRemoteRow &) const = default;
};

// Receives the rows of one list, in order. A parse only appends.
class TRowSink {
public:
    virtual ~TRowSink() = default;
    virtual void AppendRow(TRemoteRow row) = 0;
};

// A sink that keeps rows in a plain vector.
class TRowVector : public TRowSink {
public:
    void AppendRow(TRemoteRow row) override { Rows.push_back(std::move(row)); }
    std::vector<TRemoteRow> Rows;
};

// Profile server types.
enum : int {
    ServerTypeUnix = 0,
    ServerTypeAppleUnix = 1,
    ServerTypeDos = 2,
    ServerTypeMvs = 3,
    ServerTypeAs400 = 4,
    ServerTypeOther = 5,
};

class TDirParser {
public:
    using YearClock = std::function<int()>;

    TDirParser();

    // The year given to converted Unix entries dated with a time of day; the local
    // calendar year by default. Tests fix it.
    void SetYearClock(YearClock clock);

    // Each appends the parent row and then one row per entry; lines are unchanged.
    void ParseUnix(const TStringList &lines, TRowSink &dirs, TRowSink &files);
    void ParseAppleUnix(const TStringList &lines, TRowSink &dirs, TRowSink &files);
    void ParseDos(const TStringList &lines, TRowSink &dirs, TRowSink &files);
    void ParseMvs(const TStringList &lines, TRowSink &dirs, TRowSink &files);
    void ParseAs400(const TStringList &lines, TRowSink &dirs, TRowSink &files);
    void ParseOther(const TStringList &lines, TRowSink &dirs, TRowSink &files);
    // The operation of a profile's server type; unknown types read as Unix.
    void Parse(int serverType, const TStringList &lines, TRowSink &dirs, TRowSink &files);

    // One line of a Unix-layout listing (with or without the group column) into its
    // row, as ParseUnix and ParseAppleUnix read every line; total and blank lines give
    // none. Lets a caller read a huge listing a few lines at a time.
    static void ReadUnixLine(std::string_view raw, bool withGroup, TRowSink &dirs, TRowSink &files);
    static void AppendParentRow(TRowSink &dirs);

    // Pieces of the Unix reading; they work on the remaining text of the line. The
    // line reading above gives the same rows without copying every field.
    std::string TakeField(const std::string &text, int n);
    std::string RestAfter(const std::string &field);
    static std::string FirstWords(const std::string &text, int n);

    // The field lists TakeField appended to, numbered 1 to 7.
    const TStringList &Fields(int n) const { return m_fields.at(std::size_t(n - 1)); }

private:
    void parseUnixLayout(const TStringList &lines, TRowSink &dirs, TRowSink &files, bool withGroup);
    void parseConverted(const TStringList &lines, TRowSink &dirs, TRowSink &files, std::uint8_t format);

    YearClock m_yearClock;
    std::vector<TStringList> m_fields;
    std::string m_rest; // the remaining text of the line being read
};

// Splits a saved reply into lines at CR LF, LF or a lone CR; a final line end does
// not start another line.
TStringList SplitListingLines(std::string_view text);

// The line of text starting at pos, with pos moved past its line end; false when no
// line is left. Gives the lines SplitListingLines gives, one at a time.
bool NextListingLine(std::string_view text, std::size_t &pos, std::string_view &line);

} // namespace tarsel
