#include "session/userpass.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "uikit/prompts.h"

namespace tarsel {

namespace {
const char *const NeedText = "You must enter a Username and Password.";
const char *const NeedCaption = "Need Username/Password";
} // namespace

TFormUserPass::TFormUserPass(IPrompts &prompts, QWidget *parent) : QDialog(parent), m_prompts(prompts)
{
    setObjectName(QStringLiteral("TFormUserPass"));
    setWindowTitle(QStringLiteral("Username/Password"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Label1 = new QLabel(QStringLiteral("The server responded with an invalid UserID/Password Error. Please type in a "
                                       "valid username and password for this server."),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    EditUser = new QLineEdit(this);
    EditUser->setObjectName(QStringLiteral("EditUser"));
    EditPass = new QLineEdit(this);
    EditPass->setObjectName(QStringLiteral("EditPass"));
    EditPass->setEchoMode(QLineEdit::Password);
    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 2);
    auto *userLabel = new QLabel(QStringLiteral("Username:"), this);
    userLabel->setBuddy(EditUser);
    auto *passLabel = new QLabel(QStringLiteral("Password:"), this);
    passLabel->setBuddy(EditPass);
    grid->addWidget(userLabel, 1, 0);
    grid->addWidget(EditUser, 1, 1);
    grid->addWidget(passLabel, 2, 0);
    grid->addWidget(EditPass, 2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    grid->addLayout(buttons, 3, 0, 1, 2);
    resize(329, 152);
    setFixedSize(sizeHint().expandedTo(QSize(329, 152)));

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TFormUserPass::Button1Click()
{
    const QPointer<TFormUserPass> self(this);
    if (EditUser->text().isEmpty()) {
        m_prompts.InfoBox(QString::fromLatin1(NeedText), QString::fromLatin1(NeedCaption));
        if (self)
            EditUser->setFocus();
        return;
    }
    EnteredUser = EditUser->text();
    if (EditPass->text().isEmpty()) {
        m_prompts.InfoBox(QString::fromLatin1(NeedText), QString::fromLatin1(NeedCaption));
        if (self)
            EditPass->setFocus();
        return;
    }
    EnteredPassword = EditPass->text();
    Cancelled = false;
    accept();
}

void TFormUserPass::Button2Click()
{
    Cancelled = true;
    reject();
}

} // namespace tarsel
