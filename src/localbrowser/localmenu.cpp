#include "localbrowser/localmenu.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "localbrowser/localdirmodel.h"
#include "uikit/prompts.h"

namespace tarsel::localmenu {

namespace {
QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }
} // namespace

QString RemoveEntry(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return errnoText();
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.constData()) == 0 ? QString() : errnoText();
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return errnoText();
    // The entries by their bytes, so names that are not valid text go too.
    QString first;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QString reason = RemoveEntry(path + '/' + name);
        if (first.isEmpty() && !reason.isEmpty())
            first = reason;
    }
    ::closedir(dir);
    if (::rmdir(path.constData()) != 0)
        return first.isEmpty() ? errnoText() : first;
    return QString();
}

void Open(const QStringList &paths)
{
    for (const QString &p : paths)
        QDesktopServices::openUrl(QUrl::fromLocalFile(p));
}

void Open(const QList<QByteArray> &paths)
{
    for (const QByteArray &p : paths)
        QDesktopServices::openUrl(QUrl::fromEncoded("file://" + p.toPercentEncoding("/")));
}

bool Delete(const QStringList &paths, IPrompts *prompts)
{
    QList<QByteArray> bytes;
    for (const QString &p : paths)
        bytes << QFile::encodeName(p);
    return Delete(bytes, prompts);
}

bool Delete(const QList<QByteArray> &paths, IPrompts *prompts)
{
    if (paths.isEmpty() || !prompts)
        return false;
    const auto nameOf = [](const QByteArray &path) { return LocalDisplayName(path.mid(path.lastIndexOf('/') + 1)); };
    const QString question =
        paths.size() == 1
            ? QStringLiteral("Are you sure you want to delete \"%1\"?").arg(nameOf(paths.first()))
            : QStringLiteral("Are you sure you want to delete these %1 items?").arg(paths.size());
    if (!prompts->ConfirmBox(question + QStringLiteral("\nFolders are deleted with everything in them."),
                             QStringLiteral("Confirm Delete")))
        return false;
    QStringList failed;
    for (const QByteArray &p : paths) {
        // A link to a folder is removed as a link, never followed.
        const QString reason = RemoveEntry(p);
        if (!reason.isEmpty())
            failed << QStringLiteral("\"%1\": %2").arg(nameOf(p), reason);
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
