// Renders the permissions, directory information and about dialogs and a help page
// into PNG files in the folder given as the argument, for the documentation.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "dialogs/about.h"
#include "dialogs/chmod.h"
#include "dialogs/dirinfo.h"
#include "dialogs/dlgapi.h"
#include "dialogs/hlpmod.h"
#include "uikit/qtprompts.h"

using namespace tarsel;

namespace {
bool save(QWidget &w, const QString &folder, const char *name)
{
    w.show();
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    if (!w.grab().save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("Saved %s\n", qPrintable(path));
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);
    TLoggingPrompts prompts;
    TDlgs dlgs;
    THelpMod help;
    bool ok = true;

    TFormMod chmod;
    chmod.PermissionText = QStringLiteral("-rwxr-x---");
    ok &= save(chmod, folder, "dialog-permissions.png");

    TFormDir dirInfo(prompts, dlgs, {});
    dirInfo.LoadListing("total 24\r\n"
                        "drwxr-xr-x   2 web  web      4096 Mar  3 09:12 css\r\n"
                        "drwxr-xr-x   2 web  web      4096 Mar  3 09:12 images\r\n"
                        "-rw-r--r--   1 web  web     18342 Mar  3 09:14 about.html\r\n"
                        "-rw-r--r--   1 web  web      9120 Mar  3 09:14 contact.html\r\n"
                        "-rw-r--r--   1 web  web     24617 Mar  4 17:40 index.html\r\n"
                        "-rw-------   1 web  web   2400000 Mar  5 08:02 site-backup.zip\r\n");
    ok &= save(dirInfo, folder, "dialog-dirinfo.png");

    TFormAbout about(prompts);
    ok &= save(about, folder, "dialog-about.png");

    QWidget owner;
    THelpWindow *page = help.ShowHelpTopic(QStringLiteral("root/permissions.html"), &owner);
    ok &= save(*page, folder, "help-permissions.png");
    return ok ? 0 : 1;
}
