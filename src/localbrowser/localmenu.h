#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

class QWidget;
class QPoint;

namespace tarsel {

class IPrompts;

// The pieces of the local panes' context menus.
namespace localmenu {
// Opens the files or folders with the desktop's default application.
void Open(const QStringList &paths);
void Open(const QList<QByteArray> &paths);
// Asks, then deletes the items (folders with their contents); reports failures.
// Returns true when anything was deleted. The paths are the entries' bytes, so names
// that are not valid text are deleted too.
bool Delete(const QList<QByteArray> &paths, IPrompts *prompts);
bool Delete(const QStringList &paths, IPrompts *prompts);
// Removes a file, link or folder with everything in it, by the path's bytes. Returns
// "" on success, else the system's reason for the first failure.
QString RemoveEntry(const QByteArray &path);
// Puts the paths, one a line, on the clipboard.
void CopyPaths(const QStringList &paths);
// A name for a new folder in `parent` that is not taken yet.
QString NewFolderName(const QString &parent);
} // namespace localmenu

} // namespace tarsel
