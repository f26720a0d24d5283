#include "dialogs/dlgapi.h"

#include <QDir>
#include <QSaveFile>

#include "uikit/prompts.h"

namespace tarsel {

namespace {
TDlgs *g_instance = nullptr;

QString qtFilter(const TFileFilter &f)
{
    // The description usually names its pattern already; the dialog reads the patterns
    // from the parentheses.
    if (f.Description.contains(QLatin1Char('(') + f.Pattern + QLatin1Char(')')))
        return f.Description;
    return f.Description + QStringLiteral(" (") + f.Pattern + QLatin1Char(')');
}
} // namespace

TDlgs::TDlgs(QWidget *ownerWindow) : OwnerWindow(ownerWindow)
{
    if (!g_instance)
        g_instance = this;
}

TDlgs::~TDlgs()
{
    if (g_instance == this)
        g_instance = nullptr;
}

TDlgs *TDlgs::Instance() { return g_instance; }

bool TDlgs::ExecuteSave(IPrompts &prompts)
{
    TSaveFileRequest request;
    request.Title = Title;
    request.InitialDir = InitialDir;
    request.Owner = OwnerWindow;
    for (const TFileFilter &f : std::as_const(Filter))
        request.Filters << qtFilter(f);
    const QString chosen = prompts.AskSaveFileName(request);
    if (chosen.isEmpty())
        return false;
    FileName = chosen;
    return true;
}

bool WriteTextLines(const QString &path, const QByteArrayList &lines, QString *reason)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    for (const QByteArray &line : lines) {
        if (file.write(line) != line.size() || file.write("\r\n", 2) != 2)
            break; // the save file remembers the error and commit() reports it
    }
    if (!file.commit()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

QString SaveErrorText(const QString &path, const QString &reason)
{
    return QStringLiteral("The file %1 could not be saved: %2").arg(QDir::toNativeSeparators(path), reason);
}

bool SaveLinesAs(IPrompts &prompts, TDlgs &dlgs, QWidget *owner, const TFileFilter &filter,
                 const QString &initialDir, const QByteArrayList &lines)
{
    dlgs.OwnerWindow = owner;
    dlgs.Filter = {filter};
    dlgs.InitialDir = initialDir;
    if (!dlgs.ExecuteSave(prompts))
        return false;
    QString reason;
    if (!WriteTextLines(dlgs.FileName, lines, &reason)) {
        prompts.ErrorBox(SaveErrorText(dlgs.FileName, reason), QString::fromLatin1(SaveErrorCaption));
        return false;
    }
    return true;
}

bool SaveLinesAs(IPrompts &prompts, TDlgs &dlgs, QWidget *owner, const TFileFilter &filter,
                 const QString &initialDir, const QStringList &lines)
{
    QByteArrayList bytes;
    bytes.reserve(lines.size());
    for (const QString &l : lines)
        bytes << l.toUtf8();
    return SaveLinesAs(prompts, dlgs, owner, filter, initialDir, bytes);
}

TFileFilter LogFileFilter() { return {QStringLiteral("Log Files (*.log)"), QStringLiteral("*.log")}; }
TFileFilter TextFileFilter() { return {QStringLiteral("Text Files (*.txt)"), QStringLiteral("*.txt")}; }

} // namespace tarsel
