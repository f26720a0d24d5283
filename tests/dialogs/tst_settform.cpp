#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "dialogfixture.h"
#include "dialogs/settform.h"

using namespace tarsel;
using tarsel::test::names;
using tarsel::test::TDialogFixture;

namespace {
const QByteArray twoProfiles = "[Work]\r\nProxy=0\r\nPassive=1\r\nProxyName=\r\nHostName=ftp.work.example\r\n"
                               "UserName=joe\r\nPassWord=secret\r\nStartDir=/pub\r\nPort=2121\r\nAnonymous=0\r\n"
                               "ServerType=2\r\n\r\n"
                               "[Anon]\r\nHostName=ftp.anon.example\r\nUserName=anonymous\r\nPassWord=me@x.example\r\n"
                               "Anonymous=1\r\nProxy=1\r\nProxyName=gate\r\nServerType=9\r\n\r\n";

int rowOf(QListWidget *list, const QString &name)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == name)
            return i;
    return -1;
}

void fill(TSettForm &f, const QString &name, const QString &host, const QString &user, const QString &pass)
{
    f.Edit_Name->setText(name);
    f.Edit_Host->setText(host);
    f.Edit_User->setText(user);
    f.Edit_Pass->setText(pass);
}
} // namespace

class TestSettForm : public QObject {
    Q_OBJECT
    std::unique_ptr<TDialogFixture> m_f;

private slots:
    void init() { m_f = std::make_unique<TDialogFixture>(); }
    void cleanup()
    {
        TARSEL_VERIFY_PROMPTS(m_f->Prompts);
        m_f.reset();
    }

    void selectingLoadsTheStoredValues()
    {
        m_f->WriteAccounts(twoProfiles);
        TSettForm f(m_f->Prompts);
        f.show();
        QCOMPARE(f.windowTitle(), QString("Profile Manager"));
        QCOMPARE(names(f.List_Prof), QStringList({"Anon", "Work"})); // sorted
        QCOMPARE(f.ComboServer->count(), 7);
        QCOMPARE(f.ComboServer->itemText(6), QString(" "));
        QVERIFY(!f.Proxy_Edit->isEnabled());
        QCOMPARE(f.Port_Edit->text(), QString("21"));

        f.List_Prof->setCurrentRow(rowOf(f.List_Prof, "Anon"));
        QCOMPARE(f.Edit_Name->text(), QString("Anon"));
        QVERIFY(f.AnonBox->isChecked());
        QCOMPARE(f.Edit_Pass->echoMode(), QLineEdit::Normal); // anonymous: shown plainly
        QCOMPARE(f.Edit_Pass->text(), QString("me@x.example"));
        QVERIFY(f.CheckProxy->isChecked());
        QVERIFY(!f.CheckPassive->isChecked()); // loading runs no click action
        QVERIFY(f.Proxy_Edit->isEnabled());
        QCOMPARE(f.Proxy_Edit->text(), QString("gate"));
        QCOMPARE(f.Port_Edit->text(), QString("21")); // absent
        QCOMPARE(f.ComboServer->currentIndex(), -1);  // 9 is outside the list

        // Arrow key to the next profile: its own values, masked again.
        QTest::keyClick(f.List_Prof, Qt::Key_Down);
        QCOMPARE(f.Edit_Name->text(), QString("Work"));
        QCOMPARE(f.Edit_User->text(), QString("joe"));
        QCOMPARE(f.Edit_Pass->text(), QString("secret"));
        QCOMPARE(f.Edit_Pass->echoMode(), QLineEdit::Password);
        QVERIFY(!f.Proxy_Edit->isEnabled());
        QVERIFY(f.CheckPassive->isChecked());
        QCOMPARE(f.EditStart->text(), QString("/pub"));
        QCOMPARE(f.Port_Edit->text(), QString("2121"));
        QCOMPARE(f.ComboServer->currentIndex(), 2);
    }

    void proxyAndAnonymousRules()
    {
        TSettForm f(m_f->Prompts);
        f.show();
        QApplication::setActiveWindow(&f);
        f.CheckProxy->click();
        QVERIFY(f.Proxy_Edit->isEnabled());
        QVERIFY(f.CheckPassive->isChecked());
        QCOMPARE(f.focusWidget(), f.Proxy_Edit);
        f.CheckProxy->click();
        QVERIFY(!f.Proxy_Edit->isEnabled());
        QVERIFY(!f.CheckPassive->isChecked());
        f.CheckPassive->click(); // can be set again by hand
        QVERIFY(f.CheckPassive->isChecked());

        f.Edit_User->setText("joe");
        f.AnonBox->click();
        QCOMPARE(f.Edit_User->text(), QString("anonymous"));
        QVERIFY(f.Edit_Pass->text().contains('@'));
        QCOMPARE(f.Edit_Pass->echoMode(), QLineEdit::Normal);
        QCOMPARE(f.focusWidget(), f.Edit_Pass);
        f.AnonBox->click();
        QCOMPARE(f.Edit_User->text(), QString("anonymous"));
        QCOMPARE(f.Edit_Pass->text(), QString());
        QCOMPARE(f.Edit_Pass->echoMode(), QLineEdit::Password);
    }

    void portTakesDigitsOnly()
    {
        TSettForm f(m_f->Prompts);
        f.show();
        f.Port_Edit->clear();
        m_f->Prompts.ExpectInfo("You can enter digits only in this field!", "Digits Only");
        QTest::keyClicks(f.Port_Edit, "2a1");
        QCOMPARE(f.Port_Edit->text(), QString("21"));
        QTest::keyClick(f.Port_Edit, Qt::Key_Backspace);
        QCOMPARE(f.Port_Edit->text(), QString("2"));
        f.Port_Edit->selectAll();
        f.Port_Edit->insert("80x"); // pasted text that is not all digits is refused whole
        QCOMPARE(f.Port_Edit->text(), QString("2"));
    }

    void refusedSaveWritesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<bool>("proxy");
        QTest::addColumn<QString>("proxyName");
        QTest::addColumn<QString>("port"); // as typed or pasted
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("caption");

        const QString account = "You must provide a profile name, username, password and host address";
        const QString proxyMsg = "You must provide a proxy name and port number to set up a Proxy account";
        const QString badName = "The profile name cannot contain \"[\", \"]\" or a line break, or begin with \";\".";
        const QString inv = "Invalid Field";
        QTest::newRow("no name") << "" << "h" << "u" << "p" << false << "" << "21" << "" << account << "Account Error";
        QTest::newRow("blank name") << "  " << "h" << "u" << "p" << false << "" << "21" << "" << account
                                    << "Account Error";
        QTest::newRow("no host") << "N" << "" << "u" << "p" << false << "" << "21" << "" << account << "Account Error";
        QTest::newRow("no user") << "N" << "h" << "" << "p" << false << "" << "21" << "" << account << "Account Error";
        QTest::newRow("no password") << "N" << "h" << "u" << "" << false << "" << "21" << "" << account
                                     << "Account Error";
        QTest::newRow("proxy without name") << "N" << "h" << "u" << "p" << true << "" << "21" << "" << proxyMsg
                                            << "Proxy Account Error";
        QTest::newRow("proxy without port") << "N" << "h" << "u" << "p" << true << "gate" << "" << "" << proxyMsg
                                            << "Proxy Account Error";
        QTest::newRow("no port") << "N" << "h" << "u" << "p" << false << "" << "" << "" << "The port must be a number from 1 to 65535."
                                 << "Port Error";
        QTest::newRow("port 0") << "N" << "h" << "u" << "p" << false << "" << "0" << "" << "The port must be a number from 1 to 65535."
                                << "Port Error";
        QTest::newRow("port pasted 99999") << "N" << "h" << "u" << "p" << false << "" << "99999" << ""
                                           << "The port must be a number from 1 to 65535." << "Port Error";
        QTest::newRow("name with [") << "a[b" << "h" << "u" << "p" << false << "" << "21" << "" << badName << inv;
        QTest::newRow("name with ]") << "a]b" << "h" << "u" << "p" << false << "" << "21" << "" << badName << inv;
        QTest::newRow("name with line break") << "a\nb" << "h" << "u" << "p" << false << "" << "21" << "" << badName
                                               << inv;
        QTest::newRow("name starting ;") << ";ab" << "h" << "u" << "p" << false << "" << "21" << "" << badName << inv;
        QTest::newRow("host with line break") << "N" << "h\r\n[x]" << "u" << "p" << false << "" << "21" << ""
                                              << "The host address cannot contain a line break." << inv;
        QTest::newRow("password with line break") << "N" << "h" << "u" << "p\nq" << false << "" << "21" << ""
                                                  << "The password cannot contain a line break." << inv;
        QTest::newRow("start dir with line break") << "N" << "h" << "u" << "p" << false << "" << "21" << "/a\nb"
                                                   << "The start directory cannot contain a line break." << inv;
    }

    void refusedSaveWritesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, host);
        QFETCH(QString, user);
        QFETCH(QString, pass);
        QFETCH(bool, proxy);
        QFETCH(QString, proxyName);
        QFETCH(QString, port);
        QFETCH(QString, start);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        m_f->WriteAccounts("[Old]\r\nHostName=old\r\n\r\n");
        const QByteArray before = m_f->ReadAccounts();
        TSettForm f(m_f->Prompts);
        f.show();
        fill(f, name, host, user, pass);
        if (proxy)
            f.CheckProxy->click();
        f.Proxy_Edit->setText(proxyName);
        f.Port_Edit->clear();
        f.Port_Edit->insert(port); // as a paste would
        QCOMPARE(f.Port_Edit->text(), port);
        f.EditStart->setText(start);
        m_f->Prompts.ExpectInfo(message, caption);
        f.ButSave->click();
        QCOMPARE(m_f->ReadAccounts(), before);
        QVERIFY(!f.ProfilesChanged);
        QCOMPARE(f.Edit_Name->text(), name); // the fields keep what was typed

        // The refused attempt left nothing in the in-memory copy: a later good save
        // writes only its own profile.
        fill(f, "Good", "g.example", "u", "p");
        f.Port_Edit->setText("21");
        f.EditStart->clear();
        f.Proxy_Edit->setText("gate");
        f.ButSave->click();
        TARSEL_VERIFY_PROMPTS(m_f->Prompts);
        ProfileFile pf(m_f->Accounts());
        QCOMPARE(pf.SectionNames(), (std::vector<std::string>{"Old", "Good"}));
        QVERIFY(f.ProfilesChanged);
    }

    void saveWritesEveryKeyInOrder()
    {
        TSettForm f(m_f->Prompts);
        f.show();
        fill(f, "Work", "ftp.example", "joe", "pw=1");
        f.CheckProxy->click();
        QTest::keyClicks(f.Proxy_Edit, "gate.example");
        f.Port_Edit->setText("65535");
        f.EditStart->setText("/pub");
        f.ComboServer->setCurrentIndex(6); // the blank entry
        f.ButSave->click();
        QCOMPARE(m_f->ReadAccounts(),
                 QByteArray("[Work]\r\nProxy=1\r\nPassive=1\r\nProxyName=gate.example\r\nHostName=ftp.example\r\n"
                            "UserName=joe\r\nPassWord=pw=1\r\nStartDir=/pub\r\nPort=65535\r\nAnonymous=0\r\n"
                            "ServerType=6\r\n\r\n"));
        QVERIFY(f.ProfilesChanged);
        // The fields are cleared and the list refilled.
        QCOMPARE(names(f.List_Prof), QStringList({"Work"}));
        QCOMPARE(f.Edit_Name->text(), QString());
        QCOMPARE(f.Port_Edit->text(), QString("21"));
        QVERIFY(!f.CheckProxy->isChecked());
        QVERIFY(!f.Proxy_Edit->isEnabled());
        QCOMPARE(f.ComboServer->currentIndex(), 0);
    }

    void renameKeepsBothAndTheSameNameUpdatesInPlace()
    {
        m_f->WriteAccounts(twoProfiles);
        TSettForm f(m_f->Prompts);
        f.show();
        f.List_Prof->setCurrentRow(rowOf(f.List_Prof, "Work"));
        f.Edit_Name->setText("Work2");
        f.ButSave->click();
        QCOMPARE(names(f.List_Prof), QStringList({"Anon", "Work", "Work2"}));

        f.List_Prof->setCurrentRow(rowOf(f.List_Prof, "Work"));
        f.Edit_Name->setText(" work ");
        f.Edit_Host->setText("new.example");
        f.ButSave->click();
        QCOMPARE(names(f.List_Prof), QStringList({"Anon", "Work", "Work2"}));
        ProfileFile pf(m_f->Accounts());
        QCOMPARE(pf.SectionNames(), (std::vector<std::string>{"Work", "Anon", "Work2"}));
        QCOMPARE(pf.ReadString("Work", "HostName", ""), std::string("new.example"));
        QCOMPARE(pf.ReadString("Work", "StartDir", ""), std::string("/pub"));
        QCOMPARE(pf.ReadString("Work2", "HostName", ""), std::string("ftp.work.example"));
    }

    void nameBytesKeptWhenUnchanged()
    {
        // A name stored in Latin-1 is saved back under its own bytes, not re-encoded.
        m_f->WriteAccounts("[caf\xe9]\r\nHostName=h\r\nUserName=u\r\nPassWord=p\r\n\r\n");
        TSettForm f(m_f->Prompts);
        f.show();
        f.List_Prof->setCurrentRow(0);
        f.Edit_Host->setText("h2");
        f.ButSave->click();
        ProfileFile pf(m_f->Accounts());
        QCOMPARE(pf.SectionNames(), (std::vector<std::string>{"caf\xe9"}));
        QCOMPARE(pf.ReadString("caf\xe9", "HostName", ""), std::string("h2"));
    }

    void deleteRemovesTheSelectedProfile()
    {
        m_f->WriteAccounts(twoProfiles);
        TSettForm f(m_f->Prompts);
        f.show();
        f.ButDel->click(); // nothing selected: nothing happens
        QCOMPARE(f.List_Prof->count(), 2);
        QVERIFY(!f.ProfilesChanged);
        f.List_Prof->setCurrentRow(rowOf(f.List_Prof, "Work"));
        f.ButDel->click(); // no question
        QCOMPARE(names(f.List_Prof), QStringList({"Anon"}));
        QCOMPARE(f.Edit_Name->text(), QString());
        QVERIFY(f.ProfilesChanged);
        QVERIFY(!m_f->ReadAccounts().contains("Work"));
    }

    void failedSaveIsReportedAndKeepsTheFields()
    {
        // accounts.dat cannot be replaced while a folder stands at its path.
        QVERIFY(QDir().mkpath(m_f->Accounts()));
        TSettForm f(m_f->Prompts);
        f.show();
        fill(f, "Work", "ftp.example", "joe", "pw");
        f.EditStart->setText("/pub");
        f.ButSave->click();
        QCOMPARE(m_f->SaveErrors.size(), 1);
        QVERIFY2(m_f->SaveErrors[0].startsWith(m_f->Accounts() + ": "), qPrintable(m_f->SaveErrors[0]));
        QVERIFY(m_f->SaveErrors[0].size() > m_f->Accounts().size() + 2); // the system's reason
        QVERIFY(!f.ProfilesChanged);
        QCOMPARE(f.Edit_Name->text(), QString("Work"));
        QCOMPARE(f.Edit_Host->text(), QString("ftp.example"));
        QCOMPARE(f.EditStart->text(), QString("/pub"));
    }

    void newRunsTheWizard()
    {
        TSettForm f(m_f->Prompts);
        f.show();
        f.Edit_Name->setText("typed");
        m_f->Prompts.ExpectDialog("TFormNewAccount", [](QDialog &d) { d.reject(); });
        f.ButNew->click();
        QVERIFY(!f.ProfilesChanged);
        QCOMPARE(f.Edit_Name->text(), QString("typed"));
        m_f->Prompts.ExpectDialog("TFormNewAccount", [](QDialog &d) {
            d.findChild<QLineEdit *>("Edit_Name")->setText("Fresh");
            d.findChild<QLineEdit *>("Edit_Host")->setText("h");
            d.findChild<QLineEdit *>("Edit_User")->setText("u");
            d.findChild<QLineEdit *>("Edit_Pass")->setText("p");
            auto *next = d.findChild<QPushButton *>("Button2");
            for (int i = 0; i < 4; ++i)
                next->click();
        });
        f.ButNew->click();
        QVERIFY(f.ProfilesChanged);
        QCOMPARE(names(f.List_Prof), QStringList({"Fresh"}));
        QCOMPARE(f.Edit_Name->text(), QString());
    }

    void escapeClosesWithoutSaving()
    {
        TSettForm f(m_f->Prompts);
        f.show();
        fill(f, "Work", "h", "u", "p");
        QTest::keyClick(&f, Qt::Key_Escape);
        QVERIFY(!f.isVisible());
        QVERIFY(!QFile::exists(m_f->Accounts()));
    }
};

QTEST_MAIN(TestSettForm)
#include "tst_settform.moc"
