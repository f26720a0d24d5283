// Profiles made and edited in the dialogs carry a real login: a profile created by the
// wizard, edited in the profile manager and picked in the connection picker reaches the
// main window's connection opener, and the connection window logs in to vsftpd with it.
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
#include "support/realservers.h"
#include "session/child.h"
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
        TFormMdi *child = nullptr;
        w.SetConnectionWindowFactory([&](TFormMain &main, const std::string &name) -> IConnectionWindow * {
            opened = name;
            child = TFormMdi::Create(main, name);
            return child;
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
        QVERIFY(child);
        const auto logged = [&](const QString &command) {
            for (const QString &line : child->LogList)
                if (line.startsWith("-->") && line.endsWith(" " + command))
                    return true;
            return false;
        };
        const QString cwd = "CWD " + start;
        QTRY_VERIFY_WITH_TIMEOUT(logged(cwd) || child->LogList.join('\n').contains("Error"), 30000);
        QVERIFY2(logged(cwd), qPrintable(child->LogList.join('\n')));
        QVERIFY2(logged("USER anonymous"), qPrintable(child->LogList.join('\n')));
        QVERIFY(child->Ftp1.Passive());
        w.CloseAllConnections();
    }
};

QTEST_MAIN(TestProfileRoundTrip)
#include "tst_profile_roundtrip.moc"
