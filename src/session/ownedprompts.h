#pragma once
// Stand-in until the prompts library has its own: forwards every prompt to the shared
// prompts; once dismissed, gives the answer that does nothing without asking.
#include "uikit/prompts.h"

namespace tarsel {

class TOwnedPrompts : public IPrompts {
public:
    explicit TOwnedPrompts(IPrompts &shared) : m_shared(shared) {}
    void DismissAll() { m_dismissed = true; }
    bool Dismissed() const { return m_dismissed; }

    void InfoBox(const QString &text, const QString &caption) override
    {
        if (!m_dismissed)
            m_shared.InfoBox(text, caption);
    }
    bool ConfirmBox(const QString &text, const QString &caption) override
    {
        return !m_dismissed && m_shared.ConfirmBox(text, caption);
    }
    void ErrorBox(const QString &text, const QString &caption) override
    {
        if (!m_dismissed)
            m_shared.ErrorBox(text, caption);
    }
    QString InputBox(const QString &title, const QString &prompt, const QString &preset) override
    {
        return m_dismissed ? preset : m_shared.InputBox(title, prompt, preset);
    }
    int ExecDialog(QDialog &dialog) override { return m_dismissed ? 0 : m_shared.ExecDialog(dialog); }
    QString AskSaveFileName(const TSaveFileRequest &request) override
    {
        return m_dismissed ? QString() : m_shared.AskSaveFileName(request);
    }
    void OpenUrl(const QUrl &url) override
    {
        if (!m_dismissed)
            m_shared.OpenUrl(url);
    }

private:
    IPrompts &m_shared;
    bool m_dismissed = false;
};

} // namespace tarsel
