#pragma once
// Turning a name a server sent into a local path. The name is never trusted: it must
// be a single plain name, and the path it gives must stay inside the folder the user
// chose, also when an entry of that name already exists as a symbolic link.

#include <string>

namespace tarsel {

// Why `name` cannot be used as an entry name at all ("" when it can): empty, ".",
// "..", a "/" or a NUL inside.
std::string BadEntryName(const std::string &name);

// The path of `name` inside `folder` (local bytes, absolute), which must itself lie in
// `root` (the folder the user chose). False with `why` set when the name is bad, the
// folder is outside the root, or an existing entry of that name resolves outside it.
bool LocalChildPath(const std::string &root, const std::string &folder, const std::string &name, std::string &path,
                    std::string &why);

// A folder found to lie inside the chosen root, resolved once: a batch puts many names
// into one folder, and resolving both paths for each name cost more than its file.
struct TCheckedFolder {
    std::string Root;   // the chosen folder, resolved
    std::string Folder; // as given
};
bool CheckLocalFolder(const std::string &root, const std::string &folder, TCheckedFolder &out, std::string &why);
// LocalChildPath for a folder checked before.
bool LocalChildPath(const TCheckedFolder &folder, const std::string &name, std::string &path, std::string &why);

// Joins a folder and a name with one "/".
std::string JoinLocal(const std::string &folder, const std::string &name);

} // namespace tarsel
