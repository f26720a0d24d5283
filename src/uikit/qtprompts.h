#pragma once
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "uikit/prompts.h"

namespace tarsel {

// The production prompts: message boxes, an input box, file dialogs and the desktop's
// URL handler, owned by the window the owner function returns (may be null).
//
// Boxes live on the heap behind a QPointer: if their owner is destroyed while they run,
// they go with it and the call returns the answer that does nothing.
class TQtPrompts : public IPrompts {
public:
    explicit TQtPrompts(std::function<QWidget *()> owner = {});

    void InfoBox(const QString &text, const QString &caption) override;
    bool ConfirmBox(const QString &text, const QString &caption) override;
    void ErrorBox(const QString &text, const QString &caption) override;
    QString InputBox(const QString &title, const QString &prompt, const QString &preset) override;
    int ExecDialog(QDialog &dialog) override;
    QString AskSaveFileName(const TSaveFileRequest &request) override;
    void OpenUrl(const QUrl &url) override;
    void DismissOwned(const void *owner) override;

private:
    struct Open {
        const void *owner;
        QPointer<QDialog> dialog;
    };
    using OpenList = std::vector<Open *>;

    QWidget *owner() const;
    // Runs the dialog modally and returns its result, or Rejected when it was destroyed
    // while it ran.
    int run(QDialog *dialog, const void *owner);
    int messageBox(const void *owner, int icon, const QString &text, const QString &caption, int buttons, int def);

    std::function<QWidget *()> m_owner;
    // Shared with the calls in progress, in case this object goes during one of them.
    std::shared_ptr<OpenList> m_open = std::make_shared<OpenList>();
};

// A prompt that writes each box to standard error and gives the default answer
// (OK, No, Cancel); for a process that runs without anybody to answer.
class TLoggingPrompts : public IPrompts {
public:
    void InfoBox(const QString &text, const QString &caption) override;
    bool ConfirmBox(const QString &text, const QString &caption) override;
    void ErrorBox(const QString &text, const QString &caption) override;
    QString InputBox(const QString &title, const QString &prompt, const QString &preset) override;
    int ExecDialog(QDialog &dialog) override;
    QString AskSaveFileName(const TSaveFileRequest &request) override;
    void OpenUrl(const QUrl &url) override;
    void DismissOwned(const void *) override {}
};

} // namespace tarsel
