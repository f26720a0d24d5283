// Saves pictures of the dialogs for the documentation as PNG files into the folder given
// as the first argument: the profile and preference dialogs filled with sample profiles,
// the permissions, directory information and about dialogs, and a help page. Used by
// scripts/screenshot.sh (on its virtual display) and scripts/screenshot-dialogs.sh
// (offscreen).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "app/settings/datafolder.h"
#include "app/settings/treg.h"
#include "dialogs/about.h"
#include "dialogs/chmod.h"
#include "dialogs/dirinfo.h"
#include "dialogs/dlgapi.h"
#include "dialogs/hlpmod.h"
#include "dialogs/login.h"
#include "dialogs/newaccount.h"
#include "dialogs/preferences.h"
#include "dialogs/settform.h"
#include "uikit/icons.h"
#include "uikit/qtprompts.h"

using namespace tarsel;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir tmp;
    QDir().mkpath(tmp.path() + "/data");
    SetDataFolder(tmp.path() + "/data");
    TReg::SetRootFolder(tmp.path() + "/config");
    QFile f(ProfileFilePath());
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write("[Quendal Mirror]\r\nHostName=ftp.quendal.example\r\nUserName=anonymous\r\nPassWord=guest@tarsel.example\r\n"
            "Anonymous=1\r\nPassive=1\r\nServerType=0\r\n\r\n"
            "[Build Server]\r\nHostName=10.0.0.12\r\nUserName=deploy\r\nPassWord=s3cret!\r\nPort=2121\r\n"
            "StartDir=/srv/releases\r\nServerType=0\r\n\r\n"
            "[Office NAS]\r\nHostName=nas.office.example\r\nUserName=anna\r\nPassWord=letmein\r\nProxy=1\r\n"
            "ProxyName=gate.office.example\r\nPassive=1\r\nServerType=2\r\n\r\n");
    f.close();
    icons::Init();
    TLoggingPrompts prompts;

    bool ok = true;
    const auto shoot = [&](QWidget &d, const char *name) {
        d.show();
        (void)QTest::qWaitForWindowExposed(&d);
        QApplication::processEvents();
        const QString path = out + "/" + QLatin1String(name);
        ok = d.grab().save(path) && ok;
        std::printf("Saved %s\n", qPrintable(path));
        d.hide();
    };

    TLogForm picker(prompts);
    picker.List_Prof->setCurrentRow(1);
    shoot(picker, "dialog-login.png");

    TSettForm manager(prompts);
    manager.List_Prof->setCurrentRow(2);
    shoot(manager, "dialog-profiles.png");

    TFormNewAccount wizard(prompts);
    wizard.Edit_Name->setText("Web Host");
    wizard.Button2->click();
    wizard.Edit_Host->setText("ftp.webhost.example");
    shoot(wizard, "dialog-wizard.png");

    TFormPref prefs(prompts);
    prefs.PageControl1->setCurrentIndex(1);
    shoot(prefs, "dialog-preferences.png");

    TFormMod chmod;
    chmod.PermissionText = QStringLiteral("-rwxr-x---");
    shoot(chmod, "dialog-permissions.png");

    TDlgs dlgs;
    TFormDir dirInfo(prompts, dlgs, {});
    dirInfo.LoadListing("total 24\r\n"
                        "drwxr-xr-x   2 web  web      4096 Mar  3 09:12 css\r\n"
                        "drwxr-xr-x   2 web  web      4096 Mar  3 09:12 images\r\n"
                        "-rw-r--r--   1 web  web     18342 Mar  3 09:14 about.html\r\n"
                        "-rw-r--r--   1 web  web      9120 Mar  3 09:14 contact.html\r\n"
                        "-rw-r--r--   1 web  web     24617 Mar  4 17:40 index.html\r\n"
                        "-rw-------   1 web  web   2400000 Mar  5 08:02 site-backup.zip\r\n");
    shoot(dirInfo, "dialog-dirinfo.png");

    TFormAbout about(prompts);
    shoot(about, "dialog-about.png");

    THelpMod help;
    QWidget owner;
    if (THelpWindow *page = help.ShowHelpTopic(QStringLiteral("root/permissions.html"), &owner))
        shoot(*page, "help-permissions.png");
    else
        ok = false;
    return ok ? 0 : 1;
}
