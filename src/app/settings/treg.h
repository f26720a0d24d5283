#pragma once
#include <QString>

namespace tarsel {

// Bounds and state of a window as the placement rules see them; the settings layer
// knows no widgets, so the caller translates to and from its window.
struct TFormPlacement {
    enum class State { Normal, Maximized, Minimized };
    State WindowState = State::Normal;
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// The per-user settings store: static, stateless operations over an INI file at the
// per-user configuration location (organization "Quendal", application "Tarsel FTP").
// Each call opens the store, reads or writes, and closes it again, so it works before
// any object exists. Tests move the whole store into a folder of their own.
class TReg {
public:
    static constexpr const char *Organization = "Quendal";
    static constexpr const char *ApplicationTitle = "Tarsel FTP";

    // "\Software\Quendal\Tarsel FTP\", the registry-style name of the store's root.
    static QString KeyPath();

    // The INI file the operations use.
    static QString StorePath();
    // Points the store at "<folder>/Quendal/Tarsel FTP.ini"; an empty folder restores
    // the per-user location.
    static void SetRootFolder(const QString &folder);

    static QString ReadString(const QString &section, const QString &name);
    static void WriteString(const QString &section, const QString &name, const QString &value);
    // 0 when absent or when the stored text is not a 32-bit integer.
    static int ReadInteger(const QString &section, const QString &name);
    static void WriteInteger(const QString &section, const QString &name, int value);
    static bool ReadBool(const QString &section, const QString &name);
    static void WriteBool(const QString &section, const QString &name, bool value);
    static bool ValueExists(const QString &section, const QString &name);

    // `placement` comes in with the designed bounds; on return it holds the state to
    // open in: Maximized on the first run or when saved so, else Normal with every
    // stored bound applied.
    static void LoadFormPlacement(const QString &section, TFormPlacement &placement);
    // Minimised: nothing; maximised: "MaxState" only; normal: "MaxState" and bounds.
    static void SaveFormPlacement(const QString &section, const TFormPlacement &placement);
};

// Names of the "Settings" section and the built-in sizes that stand in for a stored
// value of 0 or less.
namespace settings {
inline constexpr const char *Section = "Settings";
inline constexpr int DefaultLocalListSize = 120;
inline constexpr int DefaultLocalDirSize = 160;
inline constexpr int DefaultRemoteDirSize = 160;
inline constexpr int DefaultColumn1Size = 180;
inline constexpr int DefaultColumnSize = 80; // Column2Size to Column4Size
inline constexpr int DefaultTimeOut = 30;
inline constexpr int DefaultBufSize = 1514;

// A stored size of 0 or less means the built-in one.
inline int SizeOrDefault(int stored, int builtIn) { return stored > 0 ? stored : builtIn; }
} // namespace settings

} // namespace tarsel
