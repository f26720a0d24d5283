#pragma once
#include <QString>
#include <QStringList>

namespace tarsel {

// The folder that holds accounts.dat and the temporary listing files: the
// executable's folder when an accounts.dat is there already (a portable installation),
// else the per-user data folder; the command-line option --data-dir DIR overrides both.
// Always ends with '/'.
QString DataFolder();
// The per-user data folder ("~/.local/share/Quendal/Tarsel FTP/"), created when missing.
QString UserDataFolder();
// Sets the override (empty clears it).
void SetDataFolder(const QString &folder);
// Takes "--data-dir DIR" or "--data-dir=DIR" out of `arguments` and applies it; returns
// false with `error` set when the option has no folder or the folder cannot be created.
bool ApplyDataDirArgument(QStringList &arguments, QString *error = nullptr);

// DataFolder() + "accounts.dat".
QString ProfileFilePath();
// The folder of the executable, with its trailing separator (help files live there).
QString ExecutableFolder();

} // namespace tarsel
