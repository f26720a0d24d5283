#pragma once
#include <QIcon>
#include <QPixmap>

namespace tarsel {

// The application's images, one consistent set (the Tango theme when installed, else
// drawn glyphs), at the sizes of the image lists: ImageTB 32, Imagebars and Imgsmall 16.
enum class TImage {
    NewConnection, CloseConnection, NewProfile, Profiles, Preferences, QuickConnect, Exit,
    UpDir, ChangeDir, NewRemoteDir, RenameDir, RemoveDir, NewLocalDir, RefreshRemote, RefreshLocal,
    Upload, ResumeUp, Download, ResumeDown, DeleteRemote, RenameFile,
    BatchUpload, BatchDownload, BatchDelete,
    SaveLog, DirInfo, Chmod, Command,
    ViewLarge, ViewSmall, ViewList, ViewDetails,
    Help, About, Web,
    Computer, FolderOpen, Folder, ParentDir, Link, Connection, File,
};

namespace icons {
inline constexpr int ToolBarSize = 32; // ImageTB
inline constexpr int BarSize = 16;     // Imagebars
inline constexpr int SmallSize = 16;   // Imgsmall

// Chooses the icon theme; call once after the application object exists.
void Init();
QIcon Icon(TImage image);
// Imgsmall by index: 0 computer, 1 open folder, 2 folder, 3 parent folder, 4 symbolic
// link, 5 connection (every connection tab).
QIcon SmallImage(int index);
inline constexpr int SmallImageCount = 6;
// The 400x60 banner of the splash window and the about box: a band of the window's
// blue-grey with a few "transfer" strokes.
QPixmap Banner();
} // namespace icons

} // namespace tarsel
