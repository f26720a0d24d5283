#include "uikit/scriptedprompts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QEventLoop>
#include <QTimer>

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

std::optional<TScriptedPrompts::Step> TScriptedPrompts::take(Kind kind, const QString &text, const QString &caption)
{
    const QString got = describe(kind, text, caption);
    m_shown << got;
    if (m_steps.empty()) {
        fail(QStringLiteral("Unexpected ") + got);
        return std::nullopt;
    }
    Step s = std::move(m_steps.front());
    m_steps.pop_front();
    if (s.kind != kind || s.text != text || s.caption != caption) {
        fail(QStringLiteral("Expected ") + describe(s.kind, s.text, s.caption) + QStringLiteral("\n     got ") + got);
        if (s.kind != kind)
            return std::nullopt;
    }
    for (const auto &action : s.before)
        action();
    return s;
}

void TScriptedPrompts::InfoBox(const QString &text, const QString &caption) { take(Kind::Info, text, caption); }

bool TScriptedPrompts::ConfirmBox(const QString &text, const QString &caption)
{
    const auto s = take(Kind::Confirm, text, caption);
    return s && s->answer;
}

void TScriptedPrompts::ErrorBox(const QString &text, const QString &caption) { take(Kind::Error, text, caption); }

QString TScriptedPrompts::InputBox(const QString &title, const QString &prompt, const QString &preset)
{
    const auto s = take(Kind::Input, prompt, title);
    if (!s)
        return preset;
    if (s->checkPreset && s->preset != preset)
        fail(QStringLiteral("InputBox [%1]: expected preset \"%2\", got \"%3\"").arg(title, s->preset, preset));
    return s->inputAnswer ? *s->inputAnswer : preset; // Cancel keeps the preset
}

int TScriptedPrompts::ExecDialog(QDialog &dialog)
{
    const auto s = take(Kind::Dialog, dialog.objectName(), QString());
    if (!s)
        return QDialog::Rejected;
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    QCoreApplication::processEvents();
    if (s->drive)
        s->drive(dialog);
    const QDeadlineTimer deadline(m_dialogTimeout);
    while (dialog.isVisible() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (dialog.isVisible()) {
        fail(QStringLiteral("Dialog \"%1\" was still open after its script step").arg(dialog.objectName()));
        dialog.reject();
    }
    return dialog.result();
}

QString TScriptedPrompts::AskSaveFileName(const TSaveFileRequest &request)
{
    const auto s = take(Kind::SaveFile, QString(), request.Title);
    return s ? s->fileAnswer : QString();
}

void TScriptedPrompts::OpenUrl(const QUrl &url) { take(Kind::OpenUrl, url.toString(), QString()); }

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
