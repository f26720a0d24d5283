#include "dialogs/chmod.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>

#include "dialogs/hlpmod.h"

namespace tarsel {

QString ComputeMode(const TPermissionFlags &f)
{
    const auto digit = [&f](int first) { return (f[first] ? 4 : 0) + (f[first + 1] ? 2 : 0) + (f[first + 2] ? 1 : 0); };
    const int o = digit(0), g = digit(3), t = digit(6);
    if (o > 0)
        return QStringLiteral("%1%2%3").arg(o).arg(g).arg(t);
    if (g > 0)
        return QStringLiteral("%1%2").arg(g).arg(t);
    if (t > 0)
        return QString::number(t);
    return {};
}

std::optional<TPermissionFlags> ReadPermissionText(const QString &text)
{
    // Only the type character and the nine flags: anything shorter or longer is not a
    // text we know how to read, and reading it by position would guess.
    if (text.size() != 10)
        return std::nullopt;
    static const char expected[] = "rwxrwxrwx";
    TPermissionFlags flags{};
    for (int i = 0; i < 9; ++i) {
        const QChar c = text.at(i + 1);
        if (i % 3 == 2) {
            // Execute positions also carry setuid, setgid and sticky: lower case means
            // the execute bit is set under it, upper case that it is not.
            flags[std::size_t(i)] = c == QLatin1Char('x') || c == QLatin1Char('X') || c == QLatin1Char('s') ||
                                    c == QLatin1Char('t');
        } else {
            flags[std::size_t(i)] = c.toLower() == QLatin1Char(expected[i]);
        }
    }
    return flags;
}

TFormMod::TFormMod(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TFormMod"));
    setWindowTitle(QStringLiteral("File Permissions"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    Label1 = new QLabel(QStringLiteral("Select the permissions you want to set for the file or folder. Permission "
                                       "setting is usually only supported by Unix based servers."),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);

    auto *groups = new QHBoxLayout;
    const char *groupTitles[] = {"Owner Permissions", "Group Permissions", "Other Permissions"};
    const char *boxTitles[] = {"Readable", "Writable", "Executable"};
    for (int g = 0; g < 3; ++g) {
        auto *box = new QGroupBox(QString::fromLatin1(groupTitles[g]), this);
        box->setObjectName(QStringLiteral("GroupBox%1").arg(g + 1));
        auto *v = new QVBoxLayout(box);
        for (int b = 0; b < 3; ++b) {
            const int i = g * 3 + b;
            CheckBox[i] = new QCheckBox(QString::fromLatin1(boxTitles[b]), box);
            CheckBox[i]->setObjectName(QStringLiteral("CheckBox%1").arg(i + 1));
            connect(CheckBox[i], &QCheckBox::clicked, this, &TFormMod::CheckBoxClick);
            v->addWidget(CheckBox[i]);
        }
        groups->addWidget(box);
    }
    // The design state: 644.
    for (int i : {0, 1, 3, 6})
        CheckBox[i]->setChecked(true);

    QFont bold = font();
    bold.setBold(true);
    Label2 = new QLabel(QStringLiteral("CHMOD:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(bold);
    Label3 = new QLabel(QStringLiteral("644"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setTextFormat(Qt::PlainText);
    Label3->setFont(bold);
    Label3->setMinimumWidth(Label3->fontMetrics().horizontalAdvance(QStringLiteral("7777")));
    CheckQuote = new QCheckBox(QStringLiteral("Send as QUOTE"), this);
    CheckQuote->setObjectName(QStringLiteral("CheckQuote"));

    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    ButHelp = new QPushButton(QStringLiteral("&Help"), this);
    ButHelp->setObjectName(QStringLiteral("ButHelp"));
    connect(Button1, &QPushButton::clicked, this, &TFormMod::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormMod::Button2Click);
    connect(ButHelp, &QPushButton::clicked, this, &TFormMod::ButHelpClick);
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, &TFormMod::ButHelpClick);

    auto *modeRow = new QHBoxLayout;
    modeRow->addWidget(Label2);
    modeRow->addWidget(Label3);
    modeRow->addStretch();
    modeRow->addWidget(CheckQuote);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(ButHelp);

    auto *top = new QVBoxLayout(this);
    top->addWidget(Label1);
    top->addLayout(groups);
    top->addLayout(modeRow);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    // OK first, then the rest in reading order.
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, ButHelp);
    setTabOrder(ButHelp, CheckBox[0]);
    for (int i = 0; i < 8; ++i)
        setTabOrder(CheckBox[i], CheckBox[i + 1]);
    setTabOrder(CheckBox[8], CheckQuote);
    Button1->setFocus();
}

TPermissionFlags TFormMod::Flags() const
{
    TPermissionFlags f{};
    for (int i = 0; i < 9; ++i)
        f[std::size_t(i)] = CheckBox[i]->isChecked();
    return f;
}

void TFormMod::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormMod::FormShow()
{
    Cancelled = true;
    LoadPermissions();
    Label3->setText(ComputeMode(Flags()));
    Button1->setFocus();
}

void TFormMod::LoadPermissions()
{
    const auto flags = ReadPermissionText(PermissionText);
    if (!flags)
        return; // empty or not a ten-character text: the boxes keep what they show
    for (int i = 0; i < 9; ++i)
        CheckBox[i]->setChecked((*flags)[std::size_t(i)]);
}

void TFormMod::CheckBoxClick() { Label3->setText(ComputeMode(Flags())); }

void TFormMod::Button1Click()
{
    SendAsQuote = CheckQuote->isChecked();
    ModeText = ComputeMode(Flags());
    Cancelled = false;
    accept();
}

void TFormMod::Button2Click()
{
    Cancelled = true;
    reject();
}

void TFormMod::ButHelpClick()
{
    if (THelpMod *help = THelpMod::Instance())
        help->ShowHelpTopic(QStringLiteral("root/permissions.html"), this);
}

} // namespace tarsel
