// Profiles made and edited in the dialogs carry a real login: a profile created by the
// wizard, edited in the profile manager and picked in the connection picker reaches the
// main window's connection opener, whose stand-in connects to vsftpd with it.
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#include "app/settings/treg.h"
#include "app/tformmain.h"
#include "support/ftpharness.h"
#include "support/realservers.h"
#include "testchild.h"
#include "uikit/scriptedprompts.h"

using namespace tarsel;
using namespace tarsel::test;

class TestProfileRoundTrip : public QObject {
    Q_OBJECT

private slots:
    void wizardManagerPickerConnect()
    {
        QString why;
        auto srv = StartRealServer("vsftpd", &why);
        if (!srv)
            QSKIP(qPrintable(why));
        QTemporaryDir dir;
        QDir().mkpath(dir.path() + "/data");
        SetDataFolder(dir.path() + "/data");
        TReg::SetRootFolder(dir.path() + "/config");

        TScriptedPrompts prompts;
        TFormMain w(&prompts);
        w.show();
        std::string opened;
        FtpHarness h;
        w.SetConnectionWindowFactory([&](TFormMain &, const std::string &name) -> IConnectionWindow * {
            // What the connection window does with the profile when it connects.
            opened = name;
            const Profile p = ReadProfile(ProfileFile(ProfileFilePath()), name);
            h.ftp.SetHostName(p.HostName);
            h.ftp.SetPort(std::to_string(p.Port));
            h.ftp.SetUserName(p.UserName);
            h.ftp.SetPassWord(p.PassWord);
            h.ftp.SetPassive(p.Passive);
            h.start(&TCustomFtpCli::ConnectAsync);
            if (h.waitDone() && h.lastError == 0 && !p.StartDir.empty()) {
                h.ftp.SetHostDirName(p.StartDir);
                h.start(&TCustomFtpCli::CwdAsync);
                h.waitDone();
            }
            return new TTestChild(QString::fromStdString(name));
        });

        prompts.ExpectDialog("TFormNewAccount", [](QDialog &d) {
            auto *next = d.findChild<QPushButton *>("Button2");
            d.findChild<QLineEdit *>("Edit_Name")->setText("Local vsftpd");
            next->click();
            d.findChild<QLineEdit *>("Edit_Host")->setText("127.0.0.1");
            next->click();
            d.findChild<QCheckBox *>("CheckAnon")->click();
            next->click();
            next->click(); // Finish
        });
        w.Action("ActionNewProfile")->trigger();

        const QString port = QString::number(srv->port);
        const QString start = QString::fromStdString(srv->remoteDir);
        prompts.ExpectDialog("TSettForm", [&](QDialog &d) {
            d.findChild<QListWidget *>("List_Prof")->setCurrentRow(0);
            d.findChild<QLineEdit *>("Port_Edit")->setText(port);
            d.findChild<QLineEdit *>("EditStart")->setText(start);
            d.findChild<QCheckBox *>("CheckPassive")->click();
            d.findChild<QPushButton *>("ButSave")->click();
            d.reject();
        });
        w.Action("ActionProfiles")->trigger();

        prompts.ExpectDialog("TLogForm", [](QDialog &d) {
            d.findChild<QListWidget *>("List_Prof")->setCurrentRow(0);
            d.findChild<QPushButton *>("Button1")->click();
        });
        w.Action("ActionNew")->trigger();
        TARSEL_VERIFY_PROMPTS(prompts);

        QCOMPARE(opened, std::string("Local vsftpd"));
        QCOMPARE(w.ConnectionCount(), 1);
        QCOMPARE(h.lastError, 0);
        QVERIFY(h.shown("> USER anonymous"));
        QVERIFY(h.shown("> CWD " + srv->remoteDir));
        QCOMPARE(h.ftp.Passive(), true);
        w.CloseAllConnections();
    }
};

QTEST_MAIN(TestProfileRoundTrip)
#include "tst_profile_roundtrip.moc"
