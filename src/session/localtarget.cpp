// Local paths from server names, kept inside the chosen folder.
#include "session/localtarget.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace tarsel {

namespace {

std::string realPath(const std::string &p)
{
    char buf[PATH_MAX];
    if (::realpath(p.c_str(), buf) == nullptr)
        return {};
    return buf;
}

bool inside(const std::string &base, const std::string &p)
{
    if (p == base)
        return true;
    const std::string prefix = base == "/" ? base : base + "/";
    return p.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string BadEntryName(const std::string &name)
{
    if (name.empty())
        return "empty name";
    if (name == "." || name == "..")
        return "not a plain name";
    if (name.find('/') != std::string::npos)
        return "name holds a \"/\"";
    if (name.find('\0') != std::string::npos)
        return "name holds a NUL byte";
    return {};
}

std::string JoinLocal(const std::string &folder, const std::string &name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

bool CheckLocalFolder(const std::string &root, const std::string &folder, TCheckedFolder &out, std::string &why)
{
    const std::string base = realPath(root);
    const std::string here = realPath(folder);
    if (base.empty() || here.empty() || !inside(base, here)) {
        why = "the local folder is outside the chosen folder";
        return false;
    }
    out.Root = base;
    out.Folder = folder;
    return true;
}

bool LocalChildPath(const TCheckedFolder &folder, const std::string &name, std::string &path, std::string &why)
{
    path.clear();
    why = BadEntryName(name);
    if (!why.empty())
        return false;
    const std::string candidate = JoinLocal(folder.Folder, name);
    struct stat st {};
    if (::lstat(candidate.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // A link already there may point anywhere: only one that stays inside is used.
        const std::string target = realPath(candidate);
        if (target.empty() || !inside(folder.Root, target)) {
            why = "a symbolic link there leads outside the chosen folder";
            return false;
        }
    }
    path = candidate;
    return true;
}

bool LocalChildPath(const std::string &root, const std::string &folder, const std::string &name, std::string &path,
                    std::string &why)
{
    path.clear();
    why = BadEntryName(name);
    if (!why.empty())
        return false;
    TCheckedFolder checked;
    return CheckLocalFolder(root, folder, checked, why) && LocalChildPath(checked, name, path, why);
}

} // namespace tarsel
