#include "app/settings/datafolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tarsel {

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}
} // namespace

QString ExecutableFolder() { return withSlash(QCoreApplication::applicationDirPath()); }

QString DataFolder()
{
    if (!overrideFolder().isEmpty())
        return withSlash(overrideFolder());
    // A portable installation keeps its profiles beside the executable. Anywhere else
    // (a build folder above all) they go to the per-user folder, so deleting the
    // program's folder never takes the saved profiles with it.
    const QString exe = QCoreApplication::applicationDirPath();
    if (!exe.isEmpty() && QFileInfo::exists(withSlash(exe) + QStringLiteral("accounts.dat")))
        return withSlash(exe);
    return UserDataFolder();
}

QString UserDataFolder()
{
    // Named after the maker and the program, whatever the running program calls itself.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Quendal/Tarsel FTP");
    QDir().mkpath(data);
    return withSlash(data);
}

void SetDataFolder(const QString &folder)
{
    overrideFolder() = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
}

bool ApplyDataDirArgument(QStringList &arguments, QString *error)
{
    const QString opt = QStringLiteral("--data-dir");
    for (int i = 0; i < arguments.size(); ++i) {
        QString folder;
        int count = 0;
        if (arguments[i] == opt) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                if (error)
                    *error = QStringLiteral("--data-dir needs a folder");
                return false;
            }
            folder = arguments[i + 1];
            count = 2;
        } else if (arguments[i].startsWith(opt + QLatin1Char('='))) {
            folder = arguments[i].mid(opt.size() + 1);
            count = 1;
        } else {
            continue;
        }
        if (folder.isEmpty() || !QDir().mkpath(folder)) {
            if (error)
                *error = QStringLiteral("Cannot use the data folder \"%1\"").arg(folder);
            return false;
        }
        SetDataFolder(folder);
        arguments.remove(i, count);
        return true;
    }
    return true;
}

QString ProfileFilePath() { return DataFolder() + QStringLiteral("accounts.dat"); }

} // namespace tarsel
