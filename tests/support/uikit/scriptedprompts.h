#pragma once
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "uikit/prompts.h"

namespace tarsel {

// Prompts for tests: a script of expected prompts, each with its exact text and caption
// and the answer to give. Anything unexpected, any mismatch and any step left over is a
// failure; check with TARSEL_VERIFY_PROMPTS(prompts) (or Done() and Report()).
//
//   TScriptedPrompts p;
//   p.ExpectConfirm("Delete it?", "Delete", true);
//   p.ExpectInput("Rename", "New name:", "old", "new");
//   p.ExpectDialog("TFormPref", [](QDialog &d) { ...fill controls, click OK... });
//   p.ExpectInfo("Done.", "Info").Before([&] { server.DropConnection(); });
//
// A dialog step shows the real dialog non-modally and hands it to the drive function;
// the step ends when the dialog has closed (within 5 seconds) and gives its result.
//
// A prompt opened while another one is open (from an event handled inside its Before
// actions, say) is a failure unless the step says Nested() or SetAllowNested(true) was
// called; a box opened by the drive function of a dialog step is fine. A prompt whose
// owner is dismissed (TOwnedPrompts::DismissAll) while it is open gets the answer that
// does nothing, and a dialog step then skips its drive and rejects the dialog.
class TScriptedPrompts : public IPrompts {
public:
    enum class Kind { Info, Confirm, Error, Input, Dialog, SaveFile, OpenUrl };

    class Step {
    public:
        // Runs just before the answer is given, e.g. to let a connection drop while
        // the box is open.
        Step &Before(std::function<void()> action);
        // Lets the event loop run for `ms` milliseconds before answering.
        Step &RunEventsFor(int ms);
        // This prompt is expected to open while another one is open.
        Step &Nested();

    private:
        friend class TScriptedPrompts;
        Kind kind = Kind::Info;
        QString text;    // text, prompt, dialog object name, or URL
        QString caption; // caption or title
        QString preset;  // the input box's expected preset (checked when set)
        bool checkPreset = false;
        bool answer = false;
        std::optional<QString> inputAnswer;
        QString fileAnswer;
        std::function<void(QDialog &)> drive;
        std::vector<std::function<void()>> before;
        bool nested = false;
    };

    TScriptedPrompts() = default;
    ~TScriptedPrompts() override;
    TScriptedPrompts(const TScriptedPrompts &) = delete;
    TScriptedPrompts &operator=(const TScriptedPrompts &) = delete;

    Step &ExpectInfo(const QString &text, const QString &caption);
    Step &ExpectError(const QString &text, const QString &caption);
    Step &ExpectConfirm(const QString &text, const QString &caption, bool yes);
    // `answer` nullopt presses Cancel.
    Step &ExpectInput(const QString &title, const QString &prompt, const QString &preset,
                      std::optional<QString> answer);
    // `objectName` of the dialog; `drive` fills its controls and presses a button.
    Step &ExpectDialog(const QString &objectName, std::function<void(QDialog &)> drive);
    Step &ExpectSaveFileName(const QString &title, const QString &answer);
    Step &ExpectOpenUrl(const QUrl &url);

    // True when every step was used and nothing went wrong.
    bool Done() const { return m_failures.isEmpty() && m_steps.empty(); }
    // The failures and the steps left over, one a line.
    QString Report() const;
    QStringList Failures() const { return m_failures; }
    // Every prompt shown so far, as "Kind [caption] text".
    QStringList Shown() const { return m_shown; }
    int Pending() const { return int(m_steps.size()); }
    // How long a dialog step waits for its dialog to close (default 5000 ms).
    void SetDialogTimeout(int ms) { m_dialogTimeout = ms; }
    // Forgets the failures and the remaining steps.
    void Reset();
    // Prompts may open while another one is open, without failing.
    void SetAllowNested(bool allow) { m_allowNested = allow; }
    // How many open prompts were dismissed so far.
    int Dismissals() const { return m_dismissals; }

    void InfoBox(const QString &text, const QString &caption) override;
    bool ConfirmBox(const QString &text, const QString &caption) override;
    void ErrorBox(const QString &text, const QString &caption) override;
    QString InputBox(const QString &title, const QString &prompt, const QString &preset) override;
    int ExecDialog(QDialog &dialog) override;
    QString AskSaveFileName(const TSaveFileRequest &request) override;
    void OpenUrl(const QUrl &url) override;
    void DismissOwned(const void *owner) override;

private:
    struct Call; // one prompt call in progress
    Step &add(Kind kind, const QString &text, const QString &caption);
    // The next step when it matches (its Before actions run); records a failure and
    // returns null otherwise.
    std::optional<Step> take(Call &call);
    void fail(const QString &message);

    std::deque<Step> m_steps;
    std::vector<Call *> m_open;
    bool m_allowNested = false;
    int m_dismissals = 0;
    QStringList m_failures;
    QStringList m_shown;
    int m_dialogTimeout = 5000;
};

} // namespace tarsel

// For Qt Test functions: fails the test with the report unless the script is done.
#define TARSEL_VERIFY_PROMPTS(prompts) QVERIFY2((prompts).Done(), qPrintable((prompts).Report()))
