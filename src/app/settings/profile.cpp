#include "app/settings/profile.h"

#include "app/settings/profilefile.h"

namespace tarsel {

Profile ReadProfile(const ProfileFile &file, const std::string &name)
{
    Profile p;
    p.Name = name;
    p.HostName = file.ReadString(name, "HostName", "");
    p.UserName = file.ReadString(name, "UserName", "");
    p.PassWord = file.ReadString(name, "PassWord", "");
    p.ProxyName = file.ReadString(name, "ProxyName", "");
    p.StartDir = file.ReadString(name, "StartDir", "");
    p.Port = file.ReadInteger(name, "Port", 21);
    p.Proxy = file.ReadBool(name, "Proxy", false);
    p.Passive = file.ReadBool(name, "Passive", false);
    p.Anonymous = file.ReadBool(name, "Anonymous", false);
    p.ServerType = file.ReadInteger(name, "ServerType", 0);
    return p;
}

void WriteProfile(ProfileFile &file, const Profile &p)
{
    file.WriteBool(p.Name, "Proxy", p.Proxy);
    file.WriteBool(p.Name, "Passive", p.Passive);
    file.WriteString(p.Name, "ProxyName", p.ProxyName);
    file.WriteString(p.Name, "HostName", p.HostName);
    file.WriteString(p.Name, "UserName", p.UserName);
    file.WriteString(p.Name, "PassWord", p.PassWord);
    file.WriteString(p.Name, "StartDir", p.StartDir);
    file.WriteInteger(p.Name, "Port", p.Port);
    file.WriteBool(p.Name, "Anonymous", p.Anonymous);
    file.WriteInteger(p.Name, "ServerType", p.ServerType);
}

} // namespace tarsel
