#pragma once
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace tarsel {

class IPrompts;

// One entry of a save dialog's filter list: "Text Files (*.txt)" for "*.txt".
struct TFileFilter {
    QString Description;
    QString Pattern;
};

// The file dialog helper: one instance for the life of the process. The caller sets the
// inputs before each use; they keep their values between uses.
class TDlgs {
public:
    explicit TDlgs(QWidget *ownerWindow = nullptr);
    ~TDlgs();
    TDlgs(const TDlgs &) = delete;
    TDlgs &operator=(const TDlgs &) = delete;

    // The instance made at start-up, or null before it (tests make their own).
    static TDlgs *Instance();

    QWidget *OwnerWindow = nullptr;
    QString Title; // empty: the platform's title
    QString InitialDir;
    QList<TFileFilter> Filter; // the first entry is preselected
    QString FileName;          // output: the chosen full path

    // Runs the save dialog (it asks before overwriting and adds no extension). True and
    // FileName set when the user confirmed a name; false and FileName unchanged when
    // the user cancelled.
    bool ExecuteSave(IPrompts &prompts);
};

// Writes the lines, each ended by carriage return and line feed, through a temporary
// file in the same folder that replaces `path` only once everything was written: a
// failure leaves an existing file as it was. On failure returns false with the
// system's reason in `reason`.
bool WriteTextLines(const QString &path, const QByteArrayList &lines, QString *reason);

// The save step of Save Log and Save As: prepares the helper (owner, filter, initial
// folder), asks for the file and writes the lines. A failure to write is shown in an
// error box naming the file and the reason. True when the file was written.
bool SaveLinesAs(IPrompts &prompts, TDlgs &dlgs, QWidget *owner, const TFileFilter &filter,
                 const QString &initialDir, const QByteArrayList &lines);
// Text lines (a session log) are written as UTF-8.
bool SaveLinesAs(IPrompts &prompts, TDlgs &dlgs, QWidget *owner, const TFileFilter &filter,
                 const QString &initialDir, const QStringList &lines);

// The filters of the two save commands.
TFileFilter LogFileFilter();  // "Log Files (*.log)"
TFileFilter TextFileFilter(); // "Text Files (*.txt)"

// The error box text for a file that could not be written.
QString SaveErrorText(const QString &path, const QString &reason);
inline constexpr const char *SaveErrorCaption = "Save Error";

} // namespace tarsel
