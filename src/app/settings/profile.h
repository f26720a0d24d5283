#pragma once
#include <array>
#include <string>

namespace tarsel {

class ProfileFile;

// One saved connection: one section of accounts.dat.
struct Profile {
    std::string Name; // the section name
    std::string HostName;
    std::string UserName;
    std::string PassWord;
    std::string ProxyName;
    std::string StartDir;
    int Port = 21;
    bool Proxy = false;
    bool Passive = false;
    bool Anonymous = false;
    int ServerType = 0;
};

// The profile named `name`; a profile missing from the file reads as all defaults.
Profile ReadProfile(const ProfileFile &file, const std::string &name);
// Writes every key in the order the profile manager uses: Proxy, Passive, ProxyName,
// HostName, UserName, PassWord, StartDir, Port, Anonymous, ServerType.
void WriteProfile(ProfileFile &file, const Profile &profile);

// Listing dialects; the stored number is the position in this list.
inline constexpr std::array<const char *, 6> ServerTypeNames = {
    "Standard Unix Type", "Apple Unix Type", "DOS Type", "MVS Multi-Net Type", "AS400 Type", "Other (Unknown Type)",
};
// A stored server type outside the table selects the Unix parser, like 0.
inline int EffectiveServerType(int stored)
{
    return stored >= 0 && stored < int(ServerTypeNames.size()) ? stored : 0;
}

// How local files are shared while a transfer has them open ("ShareAccess").
enum class TShareAccess { ShareDenyNone, ShareDenyRead, ShareDenyWrite, ShareExclusive };
inline constexpr std::array<const char *, 4> ShareAccessNames = {
    "Do not deny access from other applications",
    "Deny read access from other applications",
    "Deny write access from other applications",
    "Deny all access from other applications",
};
inline TShareAccess ShareAccessFromSetting(int stored)
{
    return stored >= 0 && stored < int(ShareAccessNames.size()) ? TShareAccess(stored) : TShareAccess::ShareDenyNone;
}

} // namespace tarsel
