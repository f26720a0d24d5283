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
    // Unbuffered, with our own blocks: a buffered save file forgets a failed flush and
    // would replace the target with a cut-off file (seen with a full disk).
    QSaveFile file(path);
    const auto fail = [&] {
        if (reason)
            *reason = file.errorString();
        file.cancelWriting(); // the temporary file goes, the target stays as it was
        return false;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail();
    QByteArray block;
    const auto writeBlock = [&] {
        // A short write is followed by another, which then reports the reason.
        qint64 done = 0;
        while (done < block.size()) {
            const qint64 n = file.write(block.constData() + done, block.size() - done);
            if (n <= 0)
                return false;
            done += n;
        }
        block.clear();
        return true;
    };
    constexpr qsizetype blockSize = 64 * 1024;
    for (const QByteArray &line : lines) {
        block += line;
        block += "\r\n";
        if (block.size() >= blockSize && !writeBlock())
            return fail();
    }
    if (!writeBlock())
        return fail();
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
