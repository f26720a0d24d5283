#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <utility>

class QDialog;
class QWidget;

namespace tarsel {

// What a save-file question asks.
struct TSaveFileRequest {
    QString Title;
    QString InitialDir;
    QString FileName;
    QStringList Filters; // e.g. "Text Files (*.txt)"
    QWidget *Owner = nullptr; // the window the dialog belongs to; null: the prompts' own owner
};

// Every modal thing the application shows goes through this interface, so that tests
// can script the answers. Texts are shown as plain text: they often carry what a
// server or the file system supplied.
//
// Every prompt runs a nested event loop: other windows' events keep being handled while
// it is open, and one of them may close the window that asked. Such a window asks through
// a TOwnedPrompts, which dismisses its open prompts when it goes.
class IPrompts {
public:
    virtual ~IPrompts() = default;

    virtual void InfoBox(const QString &text, const QString &caption) = 0;
    // True exactly when Yes was pressed.
    virtual bool ConfirmBox(const QString &text, const QString &caption) = 0;
    virtual void ErrorBox(const QString &text, const QString &caption) = 0;
    // OK returns the edited text; Cancel returns `preset` unchanged.
    virtual QString InputBox(const QString &title, const QString &prompt, const QString &preset) = 0;
    // Runs a dialog modally and returns its result code (QDialog::Accepted/Rejected).
    virtual int ExecDialog(QDialog &dialog) = 0;
    // The chosen file name, or empty when the user cancelled.
    virtual QString AskSaveFileName(const TSaveFileRequest &request) = 0;
    virtual void OpenUrl(const QUrl &url) = 0;

    // Names the owner of the next prompt opened through this object (the call right
    // after this one); DismissOwned(owner) closes it while it is open.
    void SetNextOwner(const void *owner) { m_nextOwner = owner; }
    // Closes the open prompts of `owner` with the answer that does nothing (No, Cancel,
    // the preset, a rejected dialog, no file name). Each call returns after its box closed.
    virtual void DismissOwned(const void *owner) = 0;

protected:
    // The owner named for the prompt being opened; an implementation takes it on entry
    // so that prompts opened later, from inside this one's event loop, are not counted
    // as that owner's.
    const void *TakeOwner() { return std::exchange(m_nextOwner, nullptr); }

private:
    const void *m_nextOwner = nullptr;
};

// The prompts one window opens; closing the window dismisses them.
//
// Code after a prompt must still check that its window exists: the window may have been
// closed (and deleted) while the prompt was open. This object may be destroyed during
// one of its own calls; the call then returns the dismiss answer without touching it.
class TOwnedPrompts final : public IPrompts {
public:
    explicit TOwnedPrompts(IPrompts &shared);
    ~TOwnedPrompts() override;
    TOwnedPrompts(const TOwnedPrompts &) = delete;
    TOwnedPrompts &operator=(const TOwnedPrompts &) = delete;

    // Dismisses the prompts this object has open (boxes answered with the choice that
    // does nothing: Confirm = No; input boxes return the preset; dialogs rejected; save
    // questions empty) and makes later prompts return those answers at once.
    void DismissAll();
    bool Dismissed() const;

    // IPrompts overrides forward to `shared`.
    void InfoBox(const QString &text, const QString &caption) override;
    bool ConfirmBox(const QString &text, const QString &caption) override;
    void ErrorBox(const QString &text, const QString &caption) override;
    QString InputBox(const QString &title, const QString &prompt, const QString &preset) override;
    int ExecDialog(QDialog &dialog) override;
    QString AskSaveFileName(const TSaveFileRequest &request) override;
    void OpenUrl(const QUrl &url) override;
    // Dismisses this object's prompts opened for `owner` (prompts opened through it
    // carry it as their owner, whatever the caller named).
    void DismissOwned(const void *owner) override;

private:
    // Shared with the calls in progress, which outlive this object when it is destroyed
    // from inside one of them.
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace tarsel
