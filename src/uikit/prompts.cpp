#include "uikit/prompts.h"

#include <QDialog>

namespace tarsel {

struct TOwnedPrompts::State {
    IPrompts *shared = nullptr;
    bool dismissed = false;
};

TOwnedPrompts::TOwnedPrompts(IPrompts &shared) : m_state(std::make_shared<State>())
{
    m_state->shared = &shared;
}

TOwnedPrompts::~TOwnedPrompts() { DismissAll(); }

void TOwnedPrompts::DismissAll()
{
    if (m_state->dismissed)
        return;
    m_state->dismissed = true;
    m_state->shared->DismissOwned(m_state.get());
}

bool TOwnedPrompts::Dismissed() const { return m_state->dismissed; }

void TOwnedPrompts::DismissOwned(const void * /*owner*/) { DismissAll(); }

// Each call keeps its own reference to the state: `this` may be gone when the shared
// prompt returns, and whatever the prompt answered, a dismissed owner gets the answer
// that does nothing.

void TOwnedPrompts::InfoBox(const QString &text, const QString &caption)
{
    const std::shared_ptr<State> s = m_state;
    if (s->dismissed)
        return;
    s->shared->SetNextOwner(s.get());
    s->shared->InfoBox(text, caption);
}

bool TOwnedPrompts::ConfirmBox(const QString &text, const QString &caption)
{
    const std::shared_ptr<State> s = m_state;
    if (s->dismissed)
        return false;
    s->shared->SetNextOwner(s.get());
    const bool yes = s->shared->ConfirmBox(text, caption);
    return yes && !s->dismissed;
}

void TOwnedPrompts::ErrorBox(const QString &text, const QString &caption)
{
    const std::shared_ptr<State> s = m_state;
    if (s->dismissed)
        return;
    s->shared->SetNextOwner(s.get());
    s->shared->ErrorBox(text, caption);
}

QString TOwnedPrompts::InputBox(const QString &title, const QString &prompt, const QString &preset)
{
    const std::shared_ptr<State> s = m_state;
    if (s->dismissed)
        return preset;
    s->shared->SetNextOwner(s.get());
    QString answer = s->shared->InputBox(title, prompt, preset);
    return s->dismissed ? preset : answer;
}

int TOwnedPrompts::ExecDialog(QDialog &dialog)
{
    const std::shared_ptr<State> s = m_state;
    if (s->dismissed) {
        dialog.setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    s->shared->SetNextOwner(s.get());
    const int result = s->shared->ExecDialog(dialog);
    return s->dismissed ? int(QDialog::Rejected) : result;
}

QString TOwnedPrompts::AskSaveFileName(const TSaveFileRequest &request)
{
    const std::shared_ptr<State> s = m_state;
    if (s->dismissed)
        return {};
    s->shared->SetNextOwner(s.get());
    QString name = s->shared->AskSaveFileName(request);
    return s->dismissed ? QString() : name;
}

void TOwnedPrompts::OpenUrl(const QUrl &url)
{
    const std::shared_ptr<State> s = m_state;
    if (s->dismissed)
        return;
    s->shared->SetNextOwner(s.get());
    s->shared->OpenUrl(url);
}

} // namespace tarsel
