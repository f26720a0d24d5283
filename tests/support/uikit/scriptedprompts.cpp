#include "uikit/scriptedprompts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace tarsel {

namespace {
QString kindName(TScriptedPrompts::Kind k)
{
    switch (k) {
    case TScriptedPrompts::Kind::Info: return QStringLiteral("InfoBox");
    case TScriptedPrompts::Kind::Confirm: return QStringLiteral("ConfirmBox");
    case TScriptedPrompts::Kind::Error: return QStringLiteral("ErrorBox");
    case TScriptedPrompts::Kind::Input: return QStringLiteral("InputBox");
    case TScriptedPrompts::Kind::Dialog: return QStringLiteral("Dialog");
    case TScriptedPrompts::Kind::SaveFile: return QStringLiteral("SaveFileName");
    case TScriptedPrompts::Kind::OpenUrl: return QStringLiteral("OpenUrl");
    }
    return {};
}

QString describe(TScriptedPrompts::Kind k, const QString &text, const QString &caption)
{
    return kindName(k) + QStringLiteral(" [") + caption + QStringLiteral("] \"") + text + QLatin1Char('"');
}
} // namespace

TScriptedPrompts::Step &TScriptedPrompts::Step::Before(std::function<void()> action)
{
    before.push_back(std::move(action));
    return *this;
}

TScriptedPrompts::Step &TScriptedPrompts::Step::RunEventsFor(int ms)
{
    return Before([ms] {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    });
}

TScriptedPrompts::Step &TScriptedPrompts::Step::Nested()
{
    nested = true;
    return *this;
}

// Registered while a prompt call runs, so that prompts opened meanwhile are seen as
// nested and a dismissal of its owner reaches it.
struct TScriptedPrompts::Call {
    Call(TScriptedPrompts &p, Kind k, QString t, QString c)
        : prompts(p), owner(p.TakeOwner()), kind(k), text(std::move(t)), caption(std::move(c))
    {
        if (!prompts.m_open.empty())
            parent = prompts.m_open.back();
        prompts.m_open.push_back(this);
    }
    ~Call() { prompts.m_open.erase(std::find(prompts.m_open.begin(), prompts.m_open.end(), this)); }
    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;

    TScriptedPrompts &prompts;
    const void *owner;
    Kind kind;
    QString text;
    QString caption;
    Call *parent = nullptr;
    bool dismissed = false;
    bool driving = false; // a dialog step's drive function is running
    QPointer<QDialog> dialog;
};

TScriptedPrompts::~TScriptedPrompts()
{
    if (!Done())
        qWarning("TScriptedPrompts destroyed with an unfinished script:\n%s", qPrintable(Report()));
}

TScriptedPrompts::Step &TScriptedPrompts::add(Kind kind, const QString &text, const QString &caption)
{
    Step s;
    s.kind = kind;
    s.text = text;
    s.caption = caption;
    m_steps.push_back(std::move(s));
    return m_steps.back();
}

TScriptedPrompts::Step &TScriptedPrompts::ExpectInfo(const QString &text, const QString &caption)
{
    return add(Kind::Info, text, caption);
}

TScriptedPrompts::Step &TScriptedPrompts::ExpectError(const QString &text, const QString &caption)
{
    return add(Kind::Error, text, caption);
}

TScriptedPrompts::Step &TScriptedPrompts::ExpectConfirm(const QString &text, const QString &caption, bool yes)
{
    Step &s = add(Kind::Confirm, text, caption);
    s.answer = yes;
    return s;
}

TScriptedPrompts::Step &TScriptedPrompts::ExpectInput(const QString &title, const QString &prompt,
                                                      const QString &preset, std::optional<QString> answer)
{
    Step &s = add(Kind::Input, prompt, title);
    s.preset = preset;
    s.checkPreset = true;
    s.inputAnswer = std::move(answer);
    return s;
}

TScriptedPrompts::Step &TScriptedPrompts::ExpectDialog(const QString &objectName,
                                                       std::function<void(QDialog &)> drive)
{
    Step &s = add(Kind::Dialog, objectName, QString());
    s.drive = std::move(drive);
    return s;
}

TScriptedPrompts::Step &TScriptedPrompts::ExpectSaveFileName(const QString &title, const QString &answer)
{
    Step &s = add(Kind::SaveFile, QString(), title);
    s.fileAnswer = answer;
    return s;
}

TScriptedPrompts::Step &TScriptedPrompts::ExpectOpenUrl(const QUrl &url)
{
    return add(Kind::OpenUrl, url.toString(), QString());
}

void TScriptedPrompts::fail(const QString &message) { m_failures << message; }

std::optional<TScriptedPrompts::Step> TScriptedPrompts::take(Call &call)
{
    const QString got = describe(call.kind, call.text, call.caption);
    m_shown << got;
    if (m_steps.empty()) {
        fail(QStringLiteral("Unexpected ") + got);
        return std::nullopt;
    }
    Step s = std::move(m_steps.front());
    m_steps.pop_front();
    if (call.parent && !call.parent->driving && !s.nested && !m_allowNested)
        fail(got + QStringLiteral(" opened while ") + describe(call.parent->kind, call.parent->text, call.parent->caption) +
             QStringLiteral(" was open"));
    if (s.kind != call.kind || s.text != call.text || s.caption != call.caption) {
        fail(QStringLiteral("Expected ") + describe(s.kind, s.text, s.caption) + QStringLiteral("\n     got ") + got);
        if (s.kind != call.kind)
            return std::nullopt;
    }
    for (const auto &action : s.before)
        action();
    return s;
}

void TScriptedPrompts::DismissOwned(const void *owner)
{
    if (!owner)
        return;
    const std::vector<Call *> open = m_open;
    for (Call *c : open) {
        if (c->owner != owner || c->dismissed)
            continue;
        c->dismissed = true;
        ++m_dismissals;
        if (c->dialog)
            c->dialog->done(QDialog::Rejected);
    }
}

void TScriptedPrompts::InfoBox(const QString &text, const QString &caption)
{
    Call call(*this, Kind::Info, text, caption);
    take(call);
}

bool TScriptedPrompts::ConfirmBox(const QString &text, const QString &caption)
{
    Call call(*this, Kind::Confirm, text, caption);
    const auto s = take(call);
    return s && s->answer && !call.dismissed;
}

void TScriptedPrompts::ErrorBox(const QString &text, const QString &caption)
{
    Call call(*this, Kind::Error, text, caption);
    take(call);
}

QString TScriptedPrompts::InputBox(const QString &title, const QString &prompt, const QString &preset)
{
    Call call(*this, Kind::Input, prompt, title);
    const auto s = take(call);
    if (!s || call.dismissed)
        return preset;
    if (s->checkPreset && s->preset != preset)
        fail(QStringLiteral("InputBox [%1]: expected preset \"%2\", got \"%3\"").arg(title, s->preset, preset));
    return s->inputAnswer ? *s->inputAnswer : preset; // Cancel keeps the preset
}

int TScriptedPrompts::ExecDialog(QDialog &dialog)
{
    Call call(*this, Kind::Dialog, dialog.objectName(), QString());
    // As the production prompts do: while it runs, the dialog hangs from its top-level
    // window, so that a page deleted meanwhile does not take the caller's dialog along.
    const QPointer<QWidget> parent = dialog.parentWidget();
    QWidget *top = parent ? parent->window() : nullptr;
    const bool moved = top && top != parent.data();
    if (moved)
        dialog.setParent(top, dialog.windowFlags());
    call.dialog = &dialog;
    const auto s = take(call);
    int result = QDialog::Rejected;
    if (s && !call.dismissed && call.dialog) {
        call.dialog->setResult(QDialog::Rejected);
        call.dialog->show();
        QCoreApplication::processEvents();
        if (s->drive && call.dialog && !call.dismissed) {
            call.driving = true;
            s->drive(*call.dialog);
            call.driving = false;
        }
        const QDeadlineTimer deadline(m_dialogTimeout);
        while (call.dialog && call.dialog->isVisible() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (call.dialog && call.dialog->isVisible()) {
            fail(QStringLiteral("Dialog \"%1\" was still open after its script step").arg(call.text));
            call.dialog->reject();
        }
        if (call.dialog && !call.dismissed)
            result = call.dialog->result();
    } else if (call.dialog) {
        call.dialog->setResult(QDialog::Rejected);
    }
    if (moved && call.dialog && parent)
        call.dialog->setParent(parent, call.dialog->windowFlags());
    return result;
}

QString TScriptedPrompts::AskSaveFileName(const TSaveFileRequest &request)
{
    Call call(*this, Kind::SaveFile, QString(), request.Title);
    const auto s = take(call);
    return s && !call.dismissed ? s->fileAnswer : QString();
}

void TScriptedPrompts::OpenUrl(const QUrl &url)
{
    Call call(*this, Kind::OpenUrl, url.toString(), QString());
    take(call);
}

QString TScriptedPrompts::Report() const
{
    QStringList lines = m_failures;
    for (const auto &s : m_steps)
        lines << QStringLiteral("Not shown: ") + describe(s.kind, s.text, s.caption);
    return lines.join(QLatin1Char('\n'));
}

void TScriptedPrompts::Reset()
{
    m_steps.clear();
    m_failures.clear();
}

} // namespace tarsel
