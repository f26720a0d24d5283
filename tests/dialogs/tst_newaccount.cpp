#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "dialogfixture.h"
#include "dialogs/newaccount.h"

using namespace tarsel;
using tarsel::test::TDialogFixture;

class TestNewAccount : public QObject {
    Q_OBJECT
    std::unique_ptr<TDialogFixture> m_f;

    // Types into the fields as a user would, page by page, and presses Finish.
    static void fillAll(TFormNewAccount &w, const QString &name, const QString &host, const QString &user,
                        const QString &pass)
    {
        QTest::keyClicks(w.Edit_Name, name);
        w.Button2->click();
        QTest::keyClicks(w.Edit_Host, host);
        w.Button2->click();
        QTest::keyClicks(w.Edit_User, user);
        QTest::keyClicks(w.Edit_Pass, pass);
        w.Button2->click();
    }

private slots:
    void init() { m_f = std::make_unique<TDialogFixture>(); }
    void cleanup()
    {
        TARSEL_VERIFY_PROMPTS(m_f->Prompts);
        m_f.reset();
    }

    void pagesAndButtons()
    {
        TFormNewAccount w(m_f->Prompts);
        w.show();
        QApplication::setActiveWindow(&w);
        QCOMPARE(w.windowTitle(), QString("Profile Wizard"));
        QCOMPARE(w.PageIndex(), 0);
        QVERIFY(!w.Button1->isEnabled());
        QCOMPARE(w.Button2->text(), QString("Next"));
        QCOMPARE(w.focusWidget(), w.Edit_Name);
        QCOMPARE(w.ComboServer->count(), 6);
        QCOMPARE(w.ComboServer->currentIndex(), 0);
        w.Button2->click(); // Next checks nothing on the way
        QCOMPARE(w.PageIndex(), 1);
        QVERIFY(w.Button1->isEnabled());
        QCOMPARE(w.focusWidget(), w.Edit_Host);
        w.Button2->click();
        QCOMPARE(w.focusWidget(), w.Edit_User);
        QCOMPARE(w.Edit_Pass->echoMode(), QLineEdit::Password);
        w.Button2->click();
        QCOMPARE(w.PageIndex(), 3);
        QCOMPARE(w.Button2->text(), QString("Finish"));
        QCOMPARE(w.focusWidget(), w.CheckProxy);
        QVERIFY(!w.Edit_Proxy->isEnabled());
        w.CheckProxy->click();
        QVERIFY(w.Edit_Proxy->isEnabled());
        QVERIFY(!w.CheckPassive->isChecked()); // passive mode is not touched
        QCOMPARE(w.focusWidget(), w.CheckProxy); // nor does the focus move
        w.Button1->click();
        w.Button2->click();
        QCOMPARE(w.focusWidget(), w.Edit_Proxy);
        w.Button1->click();
        w.Button1->click();
        w.Button1->click();
        QCOMPARE(w.PageIndex(), 0);
        QVERIFY(!w.Button1->isEnabled());
    }

    void finishJumpsBackToTheMissingField_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<bool>("proxy");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("field");
        const QString missing = "Missing Field";
        QTest::newRow("all empty") << "" << "" << "" << "" << false << "You must enter a name for this profile"
                                   << missing << 0 << "Edit_Name";
        QTest::newRow("host") << "N" << "" << "u" << "p" << false << "You must enter a host address for this profile"
                              << missing << 1 << "Edit_Host";
        QTest::newRow("user") << "N" << "h" << "" << "p" << false << "You must enter a user name for this profile"
                              << missing << 2 << "Edit_User";
        QTest::newRow("password") << "N" << "h" << "u" << "" << false << "You must enter a password for this profile"
                                  << missing << 2 << "Edit_Pass";
        QTest::newRow("proxy name") << "N" << "h" << "u" << "p" << true
                                    << "You must enter a proxy name for this profile" << missing << 3 << "Edit_Proxy";
        QTest::newRow("name with [") << "[x" << "h" << "u" << "p" << false
                                     << "The profile name cannot contain \"[\", \"]\" or a line break, or begin with \";\"."
                                     << "Invalid Field" << 0 << "Edit_Name";
        QTest::newRow("name starting ;") << " ;x" << "h" << "u" << "p" << false
                                         << "The profile name cannot contain \"[\", \"]\" or a line break, or begin with \";\"."
                                         << "Invalid Field" << 0 << "Edit_Name";
    }

    void finishJumpsBackToTheMissingField()
    {
        QFETCH(QString, name);
        QFETCH(QString, host);
        QFETCH(QString, user);
        QFETCH(QString, pass);
        QFETCH(bool, proxy);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        QFETCH(int, page);
        QFETCH(QString, field);
        TFormNewAccount w(m_f->Prompts);
        w.show();
        QApplication::setActiveWindow(&w);
        fillAll(w, name, host, user, pass);
        if (proxy)
            w.CheckProxy->click();
        m_f->Prompts.ExpectInfo(message, caption);
        w.Button2->click(); // Finish
        QVERIFY(w.isVisible());
        QVERIFY(w.Cancelled);
        QCOMPARE(w.PageIndex(), page);
        QCOMPARE(w.focusWidget()->objectName(), field);
        QVERIFY(!QFile::exists(m_f->Accounts()));
    }

    void lineBreaksAreRefused()
    {
        TFormNewAccount w(m_f->Prompts);
        w.show();
        fillAll(w, "N", "h", "u", "p");
        w.Edit_Host->setText("h\nHostName=evil");
        m_f->Prompts.ExpectInfo("The host address cannot contain a line break.", "Invalid Field");
        w.Button2->click();
        QCOMPARE(w.PageIndex(), 1);
        QVERIFY(!QFile::exists(m_f->Accounts()));
    }

    void finishWritesTheProfile()
    {
        TFormNewAccount w(m_f->Prompts);
        w.show();
        QTest::keyClicks(w.Edit_Name, "Work");
        w.Button2->click();
        QTest::keyClicks(w.Edit_Host, "ftp.example");
        w.ComboServer->setCurrentIndex(5);
        w.Button2->click();
        w.CheckAnon->click(); // fills the user and a password
        QCOMPARE(w.Edit_User->text(), QString("anonymous"));
        QCOMPARE(w.Edit_Pass->echoMode(), QLineEdit::Normal);
        w.Button2->click();
        w.CheckPassive->click();
        w.CheckProxy->click();
        QTest::keyClicks(w.Edit_Proxy, "gate");
        w.CheckProxy->click(); // clear again: the name is still saved
        w.Button2->click();
        QVERIFY(!w.isVisible());
        QVERIFY(!w.Cancelled);
        QCOMPARE(m_f->ReadAccounts(),
                 QByteArray("[Work]\r\nProxy=0\r\nPassive=1\r\nProxyName=gate\r\nHostName=ftp.example\r\n"
                            "UserName=anonymous\r\nPassWord=") +
                     w.Edit_Pass->text().toUtf8() + "\r\nPort=21\r\nAnonymous=1\r\nServerType=5\r\n\r\n");
    }

    void finishReplacesAnExistingProfileKeepingItsStartDir()
    {
        m_f->WriteAccounts("[Work]\r\nHostName=old\r\nStartDir=/pub\r\nPort=2121\r\nPassive=1\r\nServerType=3\r\n"
                           "\r\n[Other]\r\nHostName=o\r\n\r\n");
        TFormNewAccount w(m_f->Prompts);
        w.show();
        fillAll(w, "WORK", "new", "u", "p");
        w.Button2->click();
        QVERIFY(!w.Cancelled);
        ProfileFile pf(m_f->Accounts());
        QCOMPARE(pf.SectionNames(), (std::vector<std::string>{"Work", "Other"}));
        QCOMPARE(pf.ReadString("Work", "HostName", ""), std::string("new"));
        QCOMPARE(pf.ReadString("Work", "StartDir", ""), std::string("/pub"));
        QCOMPARE(pf.ReadInteger("Work", "Port", 0), 21);
        QCOMPARE(pf.ReadBool("Work", "Passive", true), false);
        QCOMPARE(pf.ReadInteger("Work", "ServerType", -1), 0);
    }

    void failedSaveKeepsTheWizardOpen()
    {
        QVERIFY(QDir().mkpath(m_f->Accounts()));
        TFormNewAccount w(m_f->Prompts);
        w.show();
        fillAll(w, "Work", "h", "u", "p");
        w.Button2->click();
        QCOMPARE(m_f->SaveErrors.size(), 1);
        QVERIFY(m_f->SaveErrors[0].startsWith(m_f->Accounts() + ": "));
        QVERIFY(w.isVisible());
        QVERIFY(w.Cancelled);
        QCOMPARE(w.Edit_Name->text(), QString("Work"));
        QCOMPARE(w.Edit_Pass->text(), QString("p"));
    }

    void cancelAndEscapeWriteNothing()
    {
        for (bool escape : {false, true}) {
            TFormNewAccount w(m_f->Prompts);
            w.show();
            fillAll(w, "Work", "h", "u", "p");
            if (escape)
                QTest::keyClick(&w, Qt::Key_Escape);
            else
                w.Button3->click();
            QVERIFY(!w.isVisible());
            QVERIFY(w.Cancelled);
            QVERIFY(!QFile::exists(m_f->Accounts()));
        }
    }
};

QTEST_MAIN(TestNewAccount)
#include "tst_newaccount.moc"
