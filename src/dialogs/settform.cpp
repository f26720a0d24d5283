#include "dialogs/settform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/settings/datafolder.h"
#include "app/settings/profilefile.h"
#include "common/strutil.h"
#include "dialogs/newaccount.h"
#include "dialogs/profilecheck.h"
#include "uikit/digitsfilter.h"
#include "uikit/displaytext.h"
#include "uikit/icons.h"
#include "uikit/prompts.h"

namespace tarsel {

TSettForm::TSettForm(IPrompts &prompts, QWidget *parent)
    : QDialog(parent), m_prompts(prompts), m_file(std::make_unique<ProfileFile>(ProfileFilePath()))
{
    setObjectName(QStringLiteral("TSettForm"));
    setWindowTitle(QStringLiteral("Profile Manager"));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

    auto *settings = new QGroupBox(QStringLiteral("Profile Settings"), this);
    const auto edit = [settings](const char *name) {
        auto *e = new QLineEdit(settings);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    const auto check = [settings](const char *name, const char *caption) {
        auto *c = new QCheckBox(QLatin1String(caption), settings);
        c->setObjectName(QLatin1String(name));
        return c;
    };
    Edit_Name = edit("Edit_Name");
    Edit_User = edit("Edit_User");
    Edit_Pass = edit("Edit_Pass");
    Edit_Pass->setEchoMode(QLineEdit::Password);
    Edit_Host = edit("Edit_Host");
    ComboServer = new QComboBox(settings);
    ComboServer->setObjectName(QStringLiteral("ComboServer"));
    for (const char *name : ServerTypeNames)
        ComboServer->addItem(QString::fromLatin1(name));
    ComboServer->addItem(QStringLiteral(" ")); // stores 6, which reads as the Unix type
    CheckPassive = check("CheckPassive", "Passive Mode");
    AnonBox = check("AnonBox", "Anonymous Login");
    CheckProxy = check("CheckProxy", "Use Proxy");
    Proxy_Edit = edit("Proxy_Edit");
    Proxy_Edit->setEnabled(false);
    Port_Edit = edit("Port_Edit");
    Port_Edit->setText(QStringLiteral("21"));
    TDigitsOnlyFilter::Install(Port_Edit, m_prompts);
    EditStart = edit("EditStart");

    auto *form = new QFormLayout(settings);
    form->addRow(QStringLiteral("Profile Name:"), Edit_Name);
    form->addRow(QStringLiteral("User Name:"), Edit_User);
    form->addRow(QStringLiteral("Password:"), Edit_Pass);
    form->addRow(QStringLiteral("Host Address:"), Edit_Host);
    form->addRow(QStringLiteral("Server Type:"), ComboServer);
    form->addRow(QString(), CheckPassive);
    form->addRow(QString(), AnonBox);
    form->addRow(QString(), CheckProxy);
    form->addRow(QStringLiteral("Proxy:"), Proxy_Edit);
    form->addRow(QStringLiteral("Port:"), Port_Edit);
    form->addRow(QStringLiteral("Start Directory:"), EditStart);

    auto *current = new QGroupBox(QStringLiteral("Current Profiles"), this);
    List_Prof = new QListWidget(current);
    List_Prof->setObjectName(QStringLiteral("List_Prof"));
    List_Prof->setSelectionMode(QAbstractItemView::SingleSelection);
    List_Prof->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List_Prof->setSortingEnabled(true);
    List_Prof->setFocusPolicy(Qt::ClickFocus); // skipped by the Tab key
    List_Prof->setIconSize(QSize(icons::SmallSize, icons::SmallSize));
    auto *cl = new QVBoxLayout(current);
    cl->addWidget(List_Prof);

    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QLatin1String(caption), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    ButNew = button("ButNew", "&New");
    ButSave = button("ButSave", "&Save");
    ButDel = button("ButDel", "&Delete");
    ButHelp = button("ButHelp", "&Help");
    ButCancel = button("ButCancel", "&Close");

    auto *top = new QHBoxLayout;
    top->addWidget(settings, 3);
    top->addWidget(current, 2);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {ButNew, ButSave, ButDel, ButHelp, ButCancel})
        buttons->addWidget(b);
    auto *v = new QVBoxLayout(this);
    v->addLayout(top, 1);
    v->addLayout(buttons);
    setFixedSize(QSize(592, 337).expandedTo(minimumSizeHint()));

    QWidget *order[] = {Edit_Name, Edit_User, Edit_Pass, Edit_Host, ComboServer, CheckPassive, AnonBox,
                        CheckProxy, Proxy_Edit, Port_Edit, EditStart, ButNew, ButSave, ButDel, ButHelp, ButCancel};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    connect(List_Prof, &QListWidget::itemSelectionChanged, this, [this] { List_ProfChange(); });
    connect(List_Prof, &QListWidget::itemClicked, this, [this] { List_ProfChange(); });
    connect(CheckProxy, &QCheckBox::clicked, this, [this] { CheckProxyClick(); });
    connect(AnonBox, &QCheckBox::clicked, this, [this] { AnonBoxClick(); });
    connect(ButSave, &QPushButton::clicked, this, [this] { ButSaveClick(); });
    connect(ButDel, &QPushButton::clicked, this, [this] { ButDelClick(); });
    connect(ButNew, &QPushButton::clicked, this, [this] { ButNewClick(); });
    connect(ButHelp, &QPushButton::clicked, this,
            [this] { ShowDialogHelp(QStringLiteral("root/profilemgr.html"), this); });
    connect(ButCancel, &QPushButton::clicked, this, [this] { reject(); });

    LoadProfiles();
    ComboServer->setCurrentIndex(0);
}

TSettForm::~TSettForm() = default;

void TSettForm::LoadProfiles()
{
    FillProfileList(*List_Prof, *m_file);
}

void TSettForm::setPassMasked(bool masked)
{
    Edit_Pass->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
}

void TSettForm::List_ProfChange()
{
    const QList<QListWidgetItem *> selected = List_Prof->selectedItems();
    if (selected.isEmpty())
        return;
    const std::string name = selected.first()->data(Qt::UserRole).toByteArray().toStdString();
    m_loaded = ReadProfile(*m_file, name);
    const Profile &p = m_loaded;
    // Setting the boxes runs none of their click actions: the fields show the stored values.
    Edit_Name->setText(ToDisplay(p.Name));
    CheckProxy->setChecked(p.Proxy);
    CheckPassive->setChecked(p.Passive);
    Proxy_Edit->setText(ToDisplay(p.ProxyName));
    Edit_Host->setText(ToDisplay(p.HostName));
    Edit_User->setText(ToDisplay(p.UserName));
    Edit_Pass->setText(ToDisplay(p.PassWord));
    EditStart->setText(ToDisplay(p.StartDir));
    Port_Edit->setText(QString::number(p.Port));
    AnonBox->setChecked(p.Anonymous);
    ComboServer->setCurrentIndex(p.ServerType >= 0 && p.ServerType < ComboServer->count() ? p.ServerType : -1);
    Proxy_Edit->setEnabled(p.Proxy);
    setPassMasked(!p.Anonymous);
}

void TSettForm::SetProxy()
{
    const bool on = CheckProxy->isChecked();
    Proxy_Edit->setEnabled(on);
    CheckPassive->setChecked(on);
    if (on)
        Proxy_Edit->setFocus();
}

void TSettForm::CheckProxyClick() { SetProxy(); }

void TSettForm::AnonBoxClick()
{
    if (AnonBox->isChecked()) {
        setPassMasked(false);
        Edit_User->setText(QStringLiteral("anonymous"));
        Edit_Pass->setText(DefaultAnonymousPassword);
    } else {
        setPassMasked(true);
        Edit_Pass->clear();
    }
    Edit_Pass->setFocus();
}

void TSettForm::ButSaveClick()
{
    const QString name = Edit_Name->text();
    const QString portText = Port_Edit->text();
    if (name.trimmed().isEmpty() || Edit_Host->text().isEmpty() || Edit_User->text().isEmpty() ||
        Edit_Pass->text().isEmpty()) {
        m_prompts.InfoBox(QStringLiteral("You must provide a profile name, username, password and host address"),
                          QStringLiteral("Account Error"));
        return;
    }
    if (CheckProxy->isChecked() && (Proxy_Edit->text().isEmpty() || portText.isEmpty())) {
        m_prompts.InfoBox(QStringLiteral("You must provide a proxy name and port number to set up a Proxy account"),
                          QStringLiteral("Proxy Account Error"));
        return;
    }
    // Everything is checked before the first write, so a refused save leaves the
    // in-memory copy as it was.
    const std::optional<int> port = PortFromText(portText);
    if (!port) {
        m_prompts.InfoBox(PortMessage, PortCaption);
        Port_Edit->setFocus();
        return;
    }
    QString problem = ProfileNameProblem(name);
    QLineEdit *at = Edit_Name;
    const struct {
        QLineEdit *edit;
        const char *field;
    } values[] = {{Edit_User, "user name"}, {Edit_Pass, "password"},  {Edit_Host, "host address"},
                  {Proxy_Edit, "proxy name"}, {EditStart, "start directory"}};
    for (const auto &v : values) {
        if (!problem.isEmpty())
            break;
        problem = FieldValueProblem(v.edit->text(), QLatin1String(v.field));
        at = v.edit;
    }
    if (!problem.isEmpty()) {
        m_prompts.InfoBox(problem, InvalidFieldCaption);
        at->setFocus();
        return;
    }

    Profile p;
    // The file reads names back trimmed: a name stored with its spaces would become a
    // second section of the same name, whose values are never read.
    p.Name = str::Trim(FieldBytes(name, m_loaded.Name));
    p.Proxy = CheckProxy->isChecked();
    p.Passive = CheckPassive->isChecked();
    p.ProxyName = FieldBytes(Proxy_Edit->text(), m_loaded.ProxyName);
    p.HostName = FieldBytes(Edit_Host->text(), m_loaded.HostName);
    p.UserName = FieldBytes(Edit_User->text(), m_loaded.UserName);
    p.PassWord = FieldBytes(Edit_Pass->text(), m_loaded.PassWord);
    p.StartDir = FieldBytes(EditStart->text(), m_loaded.StartDir);
    p.Port = *port;
    p.Anonymous = AnonBox->isChecked();
    p.ServerType = ComboServer->currentIndex();
    WriteProfile(*m_file, p); // updates a section of the same name (any case) in place
    // A failed save has been reported with the path and the reason; the fields keep
    // what the user typed so that nothing is lost and Save can be tried again.
    if (!m_file->Save())
        return;
    changed();
}

void TSettForm::ButDelClick()
{
    const QList<QListWidgetItem *> selected = List_Prof->selectedItems();
    if (selected.isEmpty())
        return;
    const std::string name = selected.first()->data(Qt::UserRole).toByteArray().toStdString();
    if (name.empty()) {
        m_prompts.InfoBox(QStringLiteral("You need to select a profile to delete!"), QStringLiteral("Delete Error"));
        return;
    }
    m_file->EraseSection(name);
    if (!m_file->Save()) {
        LoadProfiles(); // rereads the file, where the profile still is
        return;
    }
    changed();
}

void TSettForm::ButNewClick()
{
    TFormNewAccount wizard(m_prompts, this);
    m_prompts.ExecDialog(wizard);
    if (!wizard.Cancelled)
        changed();
}

void TSettForm::changed()
{
    ClearEntries();
    LoadProfiles();
    ProfilesChanged = true;
}

void TSettForm::ClearEntries()
{
    m_loaded = Profile{};
    for (QLineEdit *e : {Edit_Name, Edit_User, Edit_Pass, Edit_Host, Proxy_Edit, EditStart})
        e->clear();
    Port_Edit->setText(QStringLiteral("21"));
    CheckProxy->setChecked(false);
    SetProxy();
    AnonBox->setChecked(false);
    setPassMasked(true);
    ComboServer->setCurrentIndex(0);
    Edit_Name->setFocus();
}

} // namespace tarsel
