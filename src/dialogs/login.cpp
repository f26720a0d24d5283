#include "dialogs/login.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#include "dialogs/newaccount.h"
#include "dialogs/profilecheck.h"
#include "dialogs/settform.h"
#include "uikit/displaytext.h"
#include "uikit/icons.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {
QString yesNo(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }
} // namespace

TLogForm::TLogForm(IPrompts &prompts, QWidget *parent)
    : QDialog(parent), m_prompts(prompts), m_file(std::make_unique<ProfileFile>(ProfileFilePath()))
{
    setObjectName(QStringLiteral("TLogForm"));
    setWindowTitle(QStringLiteral("Login"));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

    List_Prof = new QListWidget(this);
    List_Prof->setObjectName(QStringLiteral("List_Prof"));
    List_Prof->setSelectionMode(QAbstractItemView::SingleSelection);
    List_Prof->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List_Prof->setSortingEnabled(true);
    List_Prof->setIconSize(QSize(icons::SmallSize, icons::SmallSize));
    List_Prof->setFixedWidth(201);
    List_Prof->setMinimumHeight(249);
    List_Prof->viewport()->installEventFilter(this);
    EditProfile1 = new QAction(QStringLiteral("Edit Profile"), List_Prof);
    EditProfile1->setObjectName(QStringLiteral("EditProfile1"));
    List_Prof->addAction(EditProfile1);
    List_Prof->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto *details = new QGridLayout;
    const auto field = [this, details](const char *caption, const char *name) {
        auto *value = new QLabel(this);
        value->setObjectName(QLatin1String(name));
        value->setTextFormat(Qt::PlainText); // names and hosts are never markup
        value->setFrameShape(QFrame::Panel);
        value->setFrameShadow(QFrame::Sunken);
        value->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        value->setMinimumWidth(160);
        const int row = details->rowCount();
        details->addWidget(new QLabel(QLatin1String(caption), this), row, 0, Qt::AlignRight);
        details->addWidget(value, row, 1);
        return value;
    };
    Name = field("Profile :", "Name");
    Host = field("Host :", "Host");
    User = field("Username :", "User");
    Password = field("Password :", "Password");
    ServerType = field("Server Type:", "ServerType");
    Anonymous = field("Anonymous:", "Anonymous");
    Passive = field("Passive:", "Passive");
    Proxy = field("Uses Proxy:", "Proxy");
    ProxyName = field("Proxy Name:", "ProxyName");
    Port = field("Port:", "Port");
    details->setRowStretch(details->rowCount(), 1);

    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QLatin1String(caption), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    Button1 = button("Button1", "C&onnect");
    Button1->setDefault(true);
    Button4 = button("Button4", "&Edit Profile");
    Button3 = button("Button3", "&New Profile");
    ButHelp = button("ButHelp", "&Help");
    Button2 = button("Button2", "&Cancel");

    auto *top = new QHBoxLayout;
    top->addWidget(List_Prof);
    top->addLayout(details, 1);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {Button1, Button4, Button3, ButHelp, Button2})
        buttons->addWidget(b);
    auto *v = new QVBoxLayout(this);
    v->addLayout(top, 1);
    v->addLayout(buttons);
    setFixedSize(QSize(464, 305).expandedTo(minimumSizeHint()));
    QWidget *order[] = {Button1, Button4, Button3, ButHelp, Button2, List_Prof};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    connect(List_Prof, &QListWidget::itemSelectionChanged, this, [this] { ShowProfileDetails(); });
    connect(List_Prof, &QListWidget::itemClicked, this, [this] { ShowProfileDetails(); });
    connect(List_Prof, &QListWidget::itemDoubleClicked, this, [this] { List_ProfDblClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { EditProfile(); });
    connect(EditProfile1, &QAction::triggered, this, [this] { EditProfile(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(ButHelp, &QPushButton::clicked, this, [this] { ShowDialogHelp(QStringLiteral("root/login.html"), this); });
    connect(Button2, &QPushButton::clicked, this, [this] { reject(); });

    LoadProfiles();
    setEditEnabled(false);
}

TLogForm::~TLogForm() = default;

bool TLogForm::eventFilter(QObject *watched, QEvent *event)
{
    // A click on an empty part of the list removes the selection.
    if (watched == List_Prof->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *me = static_cast<QMouseEvent *>(event);
        if (!List_Prof->itemAt(me->position().toPoint()))
            List_Prof->clearSelection();
    }
    return QDialog::eventFilter(watched, event);
}

void TLogForm::setEditEnabled(bool on)
{
    Button4->setEnabled(on);
    EditProfile1->setEnabled(on);
}

void TLogForm::LoadProfiles()
{
    FillProfileList(*List_Prof, *m_file);
    setEditEnabled(false); // the selection is gone; the details keep what they showed
}

void TLogForm::ShowProfileDetails()
{
    const QList<QListWidgetItem *> selected = List_Prof->selectedItems();
    if (selected.isEmpty()) {
        setEditEnabled(false);
        return;
    }
    setEditEnabled(true);
    m_shown = selected.first()->data(Qt::UserRole).toByteArray().toStdString();
    const Profile p = ReadProfile(*m_file, m_shown);
    Name->setText(selected.first()->text());
    Proxy->setText(yesNo(p.Proxy));
    Passive->setText(yesNo(p.Passive));
    Anonymous->setText(yesNo(p.Anonymous));
    ProxyName->setText(ToDisplay(p.ProxyName));
    Host->setText(ToDisplay(p.HostName));
    User->setText(ToDisplay(p.UserName));
    Password->setText(QString(ToDisplay(p.PassWord).size(), QLatin1Char('*'))); // never the password itself
    Port->setText(QString::number(p.Port));
    ServerType->setText(QString::fromLatin1(ServerTypeNames[std::size_t(EffectiveServerType(p.ServerType))]));
}

void TLogForm::Button1Click()
{
    // Connects to the profile whose details are shown, even when the list selection
    // has since been removed.
    if (Name->text().isEmpty()) {
        m_prompts.InfoBox(QStringLiteral("You need to select an account!"), QStringLiteral("No Account"));
        return;
    }
    ChosenProfile = m_shown;
    Cancelled = false;
    accept();
}

void TLogForm::List_ProfDblClick()
{
    if (List_Prof->selectedItems().isEmpty())
        return;
    ShowProfileDetails();
    ChosenProfile = m_shown;
    Cancelled = false;
    accept();
}

void TLogForm::Button3Click()
{
    TFormNewAccount wizard(m_prompts, this);
    m_prompts.ExecDialog(wizard);
    if (!wizard.Cancelled) {
        ProfilesChanged = true;
        LoadProfiles();
    }
}

void TLogForm::EditProfile()
{
    TSettForm manager(m_prompts, this);
    const QList<QListWidgetItem *> selected = List_Prof->selectedItems();
    const int position = selected.isEmpty() ? -1 : List_Prof->row(selected.first());
    // Both lists show the same file sorted the same way: the same position is the
    // same profile, and selecting it loads it into the manager.
    if (position >= 0 && position < manager.List_Prof->count())
        manager.List_Prof->setCurrentRow(position);
    m_prompts.ExecDialog(manager);
    if (!manager.ProfilesChanged)
        return;
    ProfilesChanged = true;
    LoadProfiles();
    // By position, not by name: after a deletion this may be another profile.
    if (position >= 0 && position < List_Prof->count())
        List_Prof->setCurrentRow(position);
}

void TLogForm::reject()
{
    ChosenProfile.clear();
    Cancelled = true;
    QDialog::reject();
}

} // namespace tarsel
