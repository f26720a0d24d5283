#include "localbrowser/localmenu.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

#include "uikit/prompts.h"

namespace tarsel::localmenu {

void Open(const QStringList &paths)
{
    for (const QString &p : paths)
        QDesktopServices::openUrl(QUrl::fromLocalFile(p));
}

bool Delete(const QStringList &paths, IPrompts *prompts)
{
    if (paths.isEmpty() || !prompts)
        return false;
    const QString question =
        paths.size() == 1
            ? QStringLiteral("Are you sure you want to delete \"%1\"?").arg(QFileInfo(paths.first()).fileName())
            : QStringLiteral("Are you sure you want to delete these %1 items?").arg(paths.size());
    if (!prompts->ConfirmBox(question + QStringLiteral("\nFolders are deleted with everything in them."),
                             QStringLiteral("Confirm Delete")))
        return false;
    QStringList failed;
    for (const QString &p : paths) {
        const QFileInfo fi(p);
        // A link to a folder is removed as a link, never followed.
        const bool ok = fi.isDir() && !fi.isSymLink() ? QDir(p).removeRecursively() : QFile::remove(p);
        if (!ok)
            failed << p;
    }
    if (!failed.isEmpty())
        prompts->ErrorBox(QStringLiteral("Could not delete:\n") + failed.join(QLatin1Char('\n')),
                          QStringLiteral("Delete Error"));
    return failed.size() < paths.size();
}

void CopyPaths(const QStringList &paths)
{
    if (auto *cb = QGuiApplication::clipboard())
        cb->setText(paths.join(QLatin1Char('\n')));
}

QString NewFolderName(const QString &parent)
{
    const QDir dir(parent);
    QString name = QStringLiteral("New Folder");
    for (int n = 2; dir.exists(name); ++n)
        name = QStringLiteral("New Folder (%1)").arg(n);
    return name;
}

} // namespace tarsel::localmenu
