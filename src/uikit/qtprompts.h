#pragma once
#include <functional>

#include "uikit/prompts.h"

namespace tarsel {

// The production prompts: message boxes, an input box, file dialogs and the desktop's
// URL handler, owned by the window the owner function returns (may be null).
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

private:
    QWidget *owner() const;
    std::function<QWidget *()> m_owner;
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
};

} // namespace tarsel
