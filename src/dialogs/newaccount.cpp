#include "dialogs/newaccount.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#include "common/strutil.h"
#include "dialogs/profilecheck.h"
#include "uikit/displaytext.h"
#include "uikit/icons.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {

QLabel *wrapped(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setWordWrap(true);
    l->setTextFormat(Qt::PlainText);
    return l;
}

// The decorative picture on the left: a soft gradient with the profile image.
QPixmap sidePicture(int width, int height)
{
    QPixmap pm(width, height);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, QColor(36, 84, 140));
    g.setColorAt(1, QColor(152, 196, 232));
    p.fillRect(pm.rect(), g);
    const QPixmap icon = icons::Icon(TImage::NewProfile).pixmap(64, 64);
    p.drawPixmap((width - 64) / 2, 40, icon);
    return pm;
}

} // namespace

TFormNewAccount::TFormNewAccount(IPrompts &prompts, QWidget *parent)
    : QDialog(parent), m_prompts(prompts), m_file(std::make_unique<ProfileFile>(ProfileFilePath()))
{
    setObjectName(QStringLiteral("TFormNewAccount"));
    setWindowTitle(QStringLiteral("Profile Wizard"));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setFixedWidth(164);
    picture->setPixmap(sidePicture(164, 300));
    picture->setScaledContents(true);

    Pages = new QStackedWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    const auto page = [this](const QString &intro, const QString &bottom, QFormLayout *&form) {
        auto *w = new QWidget(Pages);
        auto *v = new QVBoxLayout(w);
        v->addWidget(wrapped(intro, w));
        form = new QFormLayout;
        v->addSpacing(8);
        v->addLayout(form);
        v->addStretch(1);
        v->addWidget(wrapped(bottom, w));
        Pages->addWidget(w);
        return w;
    };
    const QString more = QStringLiteral("Click Next to continue or Back to make changes.");
    QFormLayout *form = nullptr;

    QWidget *p0 = page(QStringLiteral("This Wizard will help you set up a new profile. Profiles store information "
                                      "needed to connect to a particular server.\n\nPlease enter a name for this "
                                      "profile."),
                       QStringLiteral("Click Next to continue."), form);
    Edit_Name = new QLineEdit(p0);
    Edit_Name->setObjectName(QStringLiteral("Edit_Name"));
    form->addRow(QStringLiteral("Profile Name:"), Edit_Name);

    QWidget *p1 = page(QStringLiteral("Please enter the host address and choose the type of server. If you are not "
                                      "sure of the server type, choose other. You can edit profiles at any time "
                                      "using the Profile Manager."),
                       more, form);
    Edit_Host = new QLineEdit(p1);
    Edit_Host->setObjectName(QStringLiteral("Edit_Host"));
    ComboServer = new QComboBox(p1);
    ComboServer->setObjectName(QStringLiteral("ComboServer"));
    for (const char *name : ServerTypeNames)
        ComboServer->addItem(QString::fromLatin1(name));
    form->addRow(QStringLiteral("Host Address:"), Edit_Host);
    form->addRow(QStringLiteral("Server Type:"), ComboServer);

    QWidget *p2 = page(QStringLiteral("Please enter your user name and password. If you want to logon to a server "
                                      "anonymously, check the anonymous box and use your email address as the "
                                      "password."),
                       more, form);
    Edit_User = new QLineEdit(p2);
    Edit_User->setObjectName(QStringLiteral("Edit_User"));
    Edit_Pass = new QLineEdit(p2);
    Edit_Pass->setObjectName(QStringLiteral("Edit_Pass"));
    Edit_Pass->setEchoMode(QLineEdit::Password);
    CheckAnon = new QCheckBox(QStringLiteral("Anonymous"), p2);
    CheckAnon->setObjectName(QStringLiteral("CheckAnon"));
    form->addRow(QStringLiteral("User Name:"), Edit_User);
    form->addRow(QStringLiteral("Password:"), Edit_Pass);
    form->addRow(QString(), CheckAnon);

    QWidget *p3 = page(QStringLiteral("Check the \"Use Passive Mode\" box if you would like this account to be "
                                      "passive. If the server requires a proxy, please check the proxy box and enter "
                                      "the proxy information."),
                       QStringLiteral("Click Finish to create the profile or Back to make changes."), form);
    CheckPassive = new QCheckBox(QStringLiteral("Use Passive Mode"), p3);
    CheckPassive->setObjectName(QStringLiteral("CheckPassive"));
    CheckProxy = new QCheckBox(QStringLiteral("Uses Proxy"), p3);
    CheckProxy->setObjectName(QStringLiteral("CheckProxy"));
    Edit_Proxy = new QLineEdit(p3);
    Edit_Proxy->setObjectName(QStringLiteral("Edit_Proxy"));
    Edit_Proxy->setEchoMode(QLineEdit::Password);
    Edit_Proxy->setEnabled(false);
    form->addRow(QString(), CheckPassive);
    form->addRow(QString(), CheckProxy);
    form->addRow(QStringLiteral("Proxy Name:"), Edit_Proxy);

    Button1 = new QPushButton(QStringLiteral("Back"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Next"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setDefault(true);
    Button3 = new QPushButton(QStringLiteral("Cancel"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    ButHelp = new QPushButton(QStringLiteral("&Help"), this);
    ButHelp->setObjectName(QStringLiteral("ButHelp"));
    for (QPushButton *b : {Button1, Button2, Button3, ButHelp})
        b->setAutoDefault(false);
    Button2->setAutoDefault(true);

    auto *top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(Pages, 1);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : {Button1, Button2, Button3, ButHelp})
        buttons->addWidget(b);
    auto *v = new QVBoxLayout(this);
    v->addLayout(top, 1);
    v->addWidget(line);
    v->addLayout(buttons);
    setFixedSize(QSize(519, 349).expandedTo(minimumSizeHint()));
    QWidget::setTabOrder(Button2, Button1);
    QWidget::setTabOrder(Button1, Button3);
    QWidget::setTabOrder(Button3, ButHelp);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { reject(); });
    connect(ButHelp, &QPushButton::clicked, this,
            [this] { ShowDialogHelp(QStringLiteral("root/newprofile.html"), this); });
    connect(CheckProxy, &QCheckBox::clicked, this, [this] { CheckProxyClick(); });
    connect(CheckAnon, &QCheckBox::clicked, this, [this] { CheckAnonClick(); });

    ComboServer->setCurrentIndex(0);
    ShowPage(0);
}

TFormNewAccount::~TFormNewAccount() = default;

int TFormNewAccount::PageIndex() const { return Pages->currentIndex(); }

void TFormNewAccount::ShowPage(int page)
{
    Pages->setCurrentIndex(page);
    PageChange();
}

void TFormNewAccount::PageChange()
{
    const int page = PageIndex();
    Button1->setEnabled(page > 0);
    Button2->setText(page == 3 ? QStringLiteral("Finish") : QStringLiteral("Next"));
    switch (page) {
    case 0: Edit_Name->setFocus(); break;
    case 1: Edit_Host->setFocus(); break;
    case 2: Edit_User->setFocus(); break;
    default:
        if (CheckProxy->isChecked())
            Edit_Proxy->setFocus();
        else
            CheckProxy->setFocus();
    }
}

void TFormNewAccount::Button1Click()
{
    if (PageIndex() > 0)
        ShowPage(PageIndex() - 1);
}

void TFormNewAccount::Button2Click()
{
    if (PageIndex() < 3)
        ShowPage(PageIndex() + 1);
    else
        Finish();
}

void TFormNewAccount::CheckProxyClick() { Edit_Proxy->setEnabled(CheckProxy->isChecked()); }

void TFormNewAccount::CheckAnonClick()
{
    if (CheckAnon->isChecked()) {
        Edit_Pass->setEchoMode(QLineEdit::Normal);
        Edit_User->setText(QStringLiteral("anonymous"));
        Edit_Pass->setText(DefaultAnonymousPassword);
    } else {
        Edit_Pass->setEchoMode(QLineEdit::Password);
        Edit_Pass->clear();
    }
    Edit_Pass->setFocus();
}

void TFormNewAccount::refuse(const QString &text, const QString &caption, int page, QWidget *field)
{
    m_prompts.InfoBox(text, caption);
    ShowPage(page);
    field->setFocus();
}

void TFormNewAccount::Finish()
{
    const QString missing = QStringLiteral("Missing Field");
    const QString name = Edit_Name->text();
    if (name.trimmed().isEmpty())
        return refuse(QStringLiteral("You must enter a name for this profile"), missing, 0, Edit_Name);
    if (Edit_Host->text().isEmpty())
        return refuse(QStringLiteral("You must enter a host address for this profile"), missing, 1, Edit_Host);
    if (Edit_User->text().isEmpty())
        return refuse(QStringLiteral("You must enter a user name for this profile"), missing, 2, Edit_User);
    if (Edit_Pass->text().isEmpty())
        return refuse(QStringLiteral("You must enter a password for this profile"), missing, 2, Edit_Pass);
    if (CheckProxy->isChecked() && Edit_Proxy->text().isEmpty())
        return refuse(QStringLiteral("You must enter a proxy name for this profile"), missing, 3, Edit_Proxy);

    // Texts the file cannot hold are refused before anything is written.
    if (const QString problem = ProfileNameProblem(name); !problem.isEmpty())
        return refuse(problem, InvalidFieldCaption, 0, Edit_Name);
    const struct {
        QLineEdit *edit;
        const char *field;
        int page;
    } values[] = {{Edit_Host, "host address", 1}, {Edit_User, "user name", 2}, {Edit_Pass, "password", 2},
                  {Edit_Proxy, "proxy name", 3}};
    for (const auto &v : values)
        if (const QString problem = FieldValueProblem(v.edit->text(), QLatin1String(v.field)); !problem.isEmpty())
            return refuse(problem, InvalidFieldCaption, v.page, v.edit);

    const std::string section = str::Trim(FromDisplay(name)); // the file reads names back trimmed
    m_file->WriteBool(section, "Proxy", CheckProxy->isChecked());
    m_file->WriteBool(section, "Passive", CheckPassive->isChecked());
    m_file->WriteString(section, "ProxyName", FromDisplay(Edit_Proxy->text()));
    m_file->WriteString(section, "HostName", FromDisplay(Edit_Host->text()));
    m_file->WriteString(section, "UserName", FromDisplay(Edit_User->text()));
    m_file->WriteString(section, "PassWord", FromDisplay(Edit_Pass->text()));
    m_file->WriteInteger(section, "Port", 21);
    m_file->WriteBool(section, "Anonymous", CheckAnon->isChecked());
    m_file->WriteInteger(section, "ServerType", ComboServer->currentIndex());
    // A failed save has been reported with the path and the reason; the wizard stays
    // open with everything the user typed, so Finish can be tried again.
    if (!m_file->Save())
        return;
    Cancelled = false;
    accept();
}

void TFormNewAccount::reject()
{
    Cancelled = true;
    QDialog::reject();
}

} // namespace tarsel
