#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "dialogfixture.h"
#include "dialogs/login.h"
#include "dialogs/settform.h"

using namespace tarsel;
using tarsel::test::names;
using tarsel::test::TDialogFixture;

namespace {
const QByteArray profiles = "[zeta]\r\nHostName=z.example\r\nUserName=zed\r\nPassWord=sixsix\r\nServerType=3\r\n"
                            "Port=2121\r\nProxy=1\r\nProxyName=gate\r\nPassive=1\r\nAnonymous=1\r\n\r\n"
                            "[Alpha]\r\nHostName=a.example\r\nUserName=al\r\nPassWord=p\r\nServerType=6\r\n\r\n"
                            "[mid]\r\nHostName=<b>m</b>\r\nUserName=mo\r\nPassWord=\r\nServerType=x\r\n\r\n";

int rowOf(QListWidget *list, const QString &name)
{
    const QStringList n = names(list);
    return int(n.indexOf(name));
}

QPoint rowCentre(QListWidget *list, int row) { return list->visualItemRect(list->item(row)).center(); }
} // namespace

class TestLogin : public QObject {
    Q_OBJECT
    std::unique_ptr<TDialogFixture> m_f;

private slots:
    void init() { m_f = std::make_unique<TDialogFixture>(); }
    void cleanup()
    {
        TARSEL_VERIFY_PROMPTS(m_f->Prompts);
        m_f.reset();
    }

    void emptyStartRefusesConnect()
    {
        TLogForm d(m_f->Prompts); // no accounts.dat at all
        d.show();
        QCOMPARE(d.windowTitle(), QString("Login"));
        QCOMPARE(d.List_Prof->count(), 0);
        QVERIFY(!d.Button4->isEnabled());
        QVERIFY(!d.EditProfile1->isEnabled());
        for (QLabel *l : {d.Name, d.Host, d.User, d.Password, d.ServerType, d.Port})
            QCOMPARE(l->text(), QString());
        QVERIFY(d.Cancelled);
        m_f->Prompts.ExpectInfo("You need to select an account!", "No Account");
        d.Button1->click();
        QVERIFY(d.isVisible());
        QVERIFY(d.Cancelled);
    }

    void detailsOfTheSelectedProfile_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("shown"); // Host, User, Password, ServerType, Port, Proxy, ProxyName, Passive, Anonymous
        QTest::newRow("all set") << "zeta"
                                 << QStringList{"z.example", "zed", "******", "MVS Multi-Net Type", "2121", "True",
                                                "gate", "True", "True"};
        QTest::newRow("blank seventh type, no port")
            << "Alpha" << QStringList{"a.example", "al", "*", "Standard Unix Type", "21", "False", "", "False", "False"};
        QTest::newRow("markup, no password, unreadable type")
            << "mid" << QStringList{"<b>m</b>", "mo", "", "Standard Unix Type", "21", "False", "", "False", "False"};
    }

    void detailsOfTheSelectedProfile()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, shown);
        m_f->WriteAccounts(profiles);
        TLogForm d(m_f->Prompts);
        d.show();
        QCOMPARE(names(d.List_Prof), QStringList({"Alpha", "mid", "zeta"})); // sorted, whatever the file order
        QVERIFY(d.List_Prof->selectedItems().isEmpty());
        QTest::mouseClick(d.List_Prof->viewport(), Qt::LeftButton, {}, rowCentre(d.List_Prof, rowOf(d.List_Prof, profile)));
        QVERIFY(d.Button4->isEnabled());
        QVERIFY(d.EditProfile1->isEnabled());
        QCOMPARE(d.Name->text(), profile);
        const QStringList got{d.Host->text(),  d.User->text(),      d.Password->text(),
                              d.ServerType->text(), d.Port->text(), d.Proxy->text(),
                              d.ProxyName->text(), d.Passive->text(), d.Anonymous->text()};
        QCOMPARE(got, shown);
        QCOMPARE(d.Host->textFormat(), Qt::PlainText);
    }

    void connectTakesTheShownProfileAfterTheSelectionIsGone()
    {
        m_f->WriteAccounts(profiles);
        TLogForm d(m_f->Prompts);
        d.show();
        QTest::mouseClick(d.List_Prof->viewport(), Qt::LeftButton, {}, rowCentre(d.List_Prof, 2));
        // A click on the empty part of the list removes the selection, not the details.
        const QPoint empty(5, d.List_Prof->viewport()->height() - 5);
        QVERIFY(!d.List_Prof->itemAt(empty));
        QTest::mouseClick(d.List_Prof->viewport(), Qt::LeftButton, {}, empty);
        QVERIFY(d.List_Prof->selectedItems().isEmpty());
        QVERIFY(!d.Button4->isEnabled());
        QCOMPARE(d.Name->text(), QString("zeta"));
        d.Button1->click();
        QVERIFY(!d.isVisible());
        QVERIFY(!d.Cancelled);
        QCOMPARE(d.ChosenProfile, std::string("zeta"));
    }

    void doubleClickConnects()
    {
        m_f->WriteAccounts("[caf\xe9]\r\nHostName=h\r\n\r\n");
        TLogForm d(m_f->Prompts);
        d.show();
        const QPoint at = rowCentre(d.List_Prof, 0);
        QTest::mouseClick(d.List_Prof->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(d.List_Prof->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(!d.isVisible());
        QVERIFY(!d.Cancelled);
        QCOMPARE(d.ChosenProfile, std::string("caf\xe9")); // the name's own bytes
    }

    void escapeAndCloseCancel()
    {
        m_f->WriteAccounts(profiles);
        for (bool escape : {true, false}) {
            TLogForm d(m_f->Prompts);
            d.show();
            d.List_Prof->setCurrentRow(0);
            if (escape)
                QTest::keyClick(&d, Qt::Key_Escape);
            else
                d.close();
            QVERIFY(!d.isVisible());
            QVERIFY(d.Cancelled);
            QCOMPARE(d.ChosenProfile, std::string());
        }
    }

    void newProfileRefillsTheList()
    {
        TLogForm d(m_f->Prompts);
        d.show();
        m_f->Prompts.ExpectDialog("TFormNewAccount", [](QDialog &w) { w.reject(); });
        d.Button3->click();
        QVERIFY(!d.ProfilesChanged);
        m_f->Prompts.ExpectDialog("TFormNewAccount", [](QDialog &w) {
            w.findChild<QLineEdit *>("Edit_Name")->setText("Fresh");
            w.findChild<QLineEdit *>("Edit_Host")->setText("h");
            w.findChild<QLineEdit *>("Edit_User")->setText("u");
            w.findChild<QLineEdit *>("Edit_Pass")->setText("p");
            for (int i = 0; i < 4; ++i)
                w.findChild<QPushButton *>("Button2")->click();
        });
        d.Button3->click();
        QVERIFY(d.ProfilesChanged);
        QCOMPARE(names(d.List_Prof), QStringList({"Fresh"}));
    }

    void editProfileOpensTheManagerOnTheSamePosition()
    {
        m_f->WriteAccounts(profiles);
        TLogForm d(m_f->Prompts);
        d.show();
        d.List_Prof->setCurrentRow(1); // "mid"
        QString loaded;
        m_f->Prompts.ExpectDialog("TSettForm", [&](QDialog &dlg) {
            auto &m = static_cast<TSettForm &>(dlg);
            loaded = m.Edit_Name->text();
            m.ButDel->click(); // deletes "mid"
            m.ButCancel->click();
        });
        d.Button4->click();
        QCOMPARE(loaded, QString("mid"));
        QVERIFY(d.ProfilesChanged);
        QCOMPARE(names(d.List_Prof), QStringList({"Alpha", "zeta"}));
        // Reselected by position: after the deletion that is the next profile.
        QCOMPARE(d.List_Prof->currentRow(), 1);
        QCOMPARE(d.Name->text(), QString("zeta"));

        // Unchanged profiles: the list is left alone.
        m_f->Prompts.ExpectDialog("TSettForm", [](QDialog &dlg) { dlg.reject(); });
        d.EditProfile1->trigger();
        QCOMPARE(names(d.List_Prof), QStringList({"Alpha", "zeta"}));
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
