#include "localbrowser/localfilemodel.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "uikit/prompts.h"

namespace tarsel {

namespace {
bool lstatOf(const QString &path, struct stat &st)
{
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QMimeType mimeByName(const QFileInfo &info)
{
    static const QMimeDatabase db;
    return db.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
}
} // namespace

QIcon TNameIconProvider::icon(const QFileInfo &info) const
{
    if (info.isDir())
        return QFileIconProvider::icon(Folder);
    if (!info.isFile())
        return QFileIconProvider::icon(File);
    const QMimeType mime = mimeByName(info);
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(mime.genericIconName());
    return icon.isNull() ? QFileIconProvider::icon(File) : icon;
}

QString TNameIconProvider::type(const QFileInfo &info) const
{
    struct stat st {};
    if (info.isSymLink())
        return QStringLiteral("Link");
    if (info.isDir())
        return QStringLiteral("Folder");
    if (!info.isFile() && lstatOf(info.absoluteFilePath(), st)) {
        if (S_ISFIFO(st.st_mode))
            return QStringLiteral("FIFO");
        if (S_ISCHR(st.st_mode))
            return QStringLiteral("Character Device");
        if (S_ISBLK(st.st_mode))
            return QStringLiteral("Block Device");
        if (S_ISSOCK(st.st_mode))
            return QStringLiteral("Socket");
    }
    const QMimeType mime = mimeByName(info);
    // One spelling for every type the name does not tell.
    if (!info.isFile() || mime.isDefault() || mime.comment().isEmpty())
        return QStringLiteral("File");
    return mime.comment();
}

TLocalFileModel::TLocalFileModel(QObject *parent) : QFileSystemModel(parent)
{
    setIconProvider(&m_icons);
}

QVariant TLocalFileModel::data(const QModelIndex &index, int role) const
{
    // The size of a link is the link's own, not its target's (-1 for a broken one).
    if (role == Qt::DisplayRole && index.column() == 1 && fileInfo(index).isSymLink()) {
        struct stat st {};
        if (lstatOf(filePath(index), st))
            return QLocale::system().formattedDataSize(qint64(st.st_size));
    }
    return QFileSystemModel::data(index, role);
}

bool TLocalFileModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0)
        return QFileSystemModel::setData(index, value, role);
    const QString oldName = fileName(index);
    const QString newName = value.toString();
    if (newName == oldName)
        return true;
    const QString folder = filePath(index.parent());
    struct stat st {};
    QString reason;
    if (newName.isEmpty() || newName.contains(QLatin1Char('/')) || newName == QLatin1String(".") ||
        newName == QLatin1String(".."))
        reason = QStringLiteral("The name is not valid.");
    else if (lstatOf(folder + QLatin1Char('/') + newName, st))
        reason = QStringLiteral("A file or folder with that name already exists.");
    if (reason.isEmpty()) {
        errno = 0;
        if (QFileSystemModel::setData(index, value, role))
            return true;
        const int renameError = errno;
        if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
            reason = QString::fromLocal8Bit(std::strerror(errno));
        else if (renameError != 0)
            reason = QString::fromLocal8Bit(std::strerror(renameError));
        else
            reason = QStringLiteral("The system refused to rename it.");
    }
    PostErrorBox(this, m_prompts,
                 QStringLiteral("Cannot rename \"%1\" to \"%2\":\n%3").arg(oldName, newName, reason),
                 QStringLiteral("Rename Error"));
    return false;
}

void PostErrorBox(QObject *context, IPrompts *prompts, const QString &text, const QString &caption)
{
    if (!prompts)
        return;
    QTimer::singleShot(0, context, [prompts, text, caption] { prompts->ErrorBox(text, caption); });
}

} // namespace tarsel
