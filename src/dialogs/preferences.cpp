#include "dialogs/preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/settings/profile.h"
#include "app/settings/treg.h"
#include "dialogs/profilecheck.h"
#include "uikit/digitsfilter.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {

QLabel *text(const QString &s, QWidget *parent, bool wrap = false)
{
    auto *l = new QLabel(s, parent);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(wrap);
    return l;
}

// An up-down control whose text field only shows its position: the arrows and the
// arrow keys change it, typing does not.
QSpinBox *upDown(const char *name, const char *fieldName, int min, int max, int value, QWidget *parent,
                 QLineEdit *&field)
{
    auto *s = new QSpinBox(parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(min, max);
    s->setValue(value);
    s->setWrapping(false);
    s->setGroupSeparatorShown(false);
    field = s->findChild<QLineEdit *>();
    field->setObjectName(QLatin1String(fieldName));
    field->setReadOnly(true);
    return s;
}

} // namespace

TFormPref::TFormPref(IPrompts &prompts, QWidget *parent) : QDialog(parent), m_prompts(prompts)
{
    setObjectName(QStringLiteral("TFormPref"));
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus); // the Tab key skips the tabs

    auto *conn = new QWidget(PageControl1);
    conn->setObjectName(QStringLiteral("TabSheet1"));
    auto *bufGroup = new QGroupBox(QStringLiteral("Socket Buffer Size"), conn);
    EditBuffer = new QLineEdit(QStringLiteral("1514"), bufGroup);
    EditBuffer->setObjectName(QStringLiteral("EditBuffer"));
    TDigitsOnlyFilter::Install(EditBuffer, m_prompts);
    auto *bl = new QVBoxLayout(bufGroup);
    bl->addWidget(text(QStringLiteral("Setting a smaller buffer can increase performance sometimes. Max is 1514 for "
                                      "an ethernet connection, not recommended to go below 512."),
                       bufGroup, true));
    auto *brow = new QHBoxLayout;
    brow->addWidget(text(QStringLiteral("Buffer Size:"), bufGroup));
    brow->addWidget(EditBuffer);
    brow->addStretch(1);
    bl->addLayout(brow);

    auto *shareGroup = new QGroupBox(QStringLiteral("File Sharing"), conn);
    ComboShare = new QComboBox(shareGroup);
    ComboShare->setObjectName(QStringLiteral("ComboShare"));
    for (const char *name : ShareAccessNames)
        ComboShare->addItem(QString::fromLatin1(name));
    auto *sl = new QVBoxLayout(shareGroup);
    sl->addWidget(text(QStringLiteral("While transferring files :"), shareGroup));
    sl->addWidget(ComboShare);
    auto *cl = new QVBoxLayout(conn);
    cl->addWidget(bufGroup);
    cl->addWidget(shareGroup);
    cl->addStretch(1);
    PageControl1->addTab(conn, QStringLiteral("Connection Settings"));

    auto *times = new QWidget(PageControl1);
    times->setObjectName(QStringLiteral("TabSheet2"));
    auto *toGroup = new QGroupBox(QStringLiteral("Timeout"), times);
    UpDown1 = upDown("UpDown1", "Time", MinTimeOut, MaxTimeOut, 30, toGroup, Time);
    CheckTimeout = new QCheckBox(QStringLiteral("Disable Timeout setting"), toGroup);
    CheckTimeout->setObjectName(QStringLiteral("CheckTimeout"));
    auto *tl = new QVBoxLayout(toGroup);
    auto *trow = new QHBoxLayout;
    trow->addWidget(text(QStringLiteral("Set connection to timeout after"), toGroup));
    trow->addWidget(UpDown1);
    trow->addWidget(text(QStringLiteral("seconds with no activity."), toGroup));
    trow->addStretch(1);
    tl->addLayout(trow);
    tl->addWidget(CheckTimeout);

    auto *kaGroup = new QGroupBox(QStringLiteral("Keep Alive"), times);
    CheckAlive = new QCheckBox(QStringLiteral("Keep Connection Alive"), kaGroup);
    CheckAlive->setObjectName(QStringLiteral("CheckAlive"));
    UpDown2 = upDown("UpDown2", "Noop", MinNoop, MaxNoop, 120, kaGroup, Noop);
    auto *kl = new QVBoxLayout(kaGroup);
    kl->addWidget(CheckAlive);
    auto *krow = new QHBoxLayout;
    krow->addWidget(text(QStringLiteral("Send NOOP every"), kaGroup));
    krow->addWidget(UpDown2);
    krow->addWidget(text(QStringLiteral("seconds when there is  no activity."), kaGroup));
    krow->addStretch(1);
    kl->addLayout(krow);
    auto *pl = new QVBoxLayout(times);
    pl->addWidget(toGroup);
    pl->addWidget(kaGroup);
    pl->addStretch(1);
    PageControl1->addTab(times, QStringLiteral("Timeout Settings"));

    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    ButHelp = new QPushButton(QStringLiteral("&Help"), this);
    ButHelp->setObjectName(QStringLiteral("ButHelp"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : {Button1, Button2, ButHelp})
        buttons->addWidget(b);
    auto *v = new QVBoxLayout(this);
    v->addWidget(PageControl1, 1);
    v->addLayout(buttons);
    setFixedSize(QSize(392, 345).expandedTo(minimumSizeHint()));

    connect(CheckTimeout, &QCheckBox::clicked, this, [this] { CheckTimeoutClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { reject(); });
    connect(ButHelp, &QPushButton::clicked, this,
            [this] { ShowDialogHelp(QStringLiteral("root/preferences.html"), this); });

    FormCreate();
}

void TFormPref::FormCreate()
{
    const QString s = settings::Section;
    CheckTimeout->setChecked(TReg::ReadBool(s, QStringLiteral("TimeOutDisable")));
    CheckTimeoutClick();
    CheckAlive->setChecked(TReg::ReadBool(s, QStringLiteral("KeepAlive")));
    // Only the active group is loaded; the other keeps its initial value, which OK
    // then stores.
    if (CheckTimeout->isChecked()) {
        UpDown2->setValue(TReg::ReadInteger(s, QStringLiteral("Noop")));
    } else {
        const int timeOut = TReg::ReadInteger(s, QStringLiteral("TimeOut"));
        UpDown1->setValue(timeOut != 0 ? timeOut : settings::DefaultTimeOut);
    }
    const int buf = TReg::ReadInteger(s, QStringLiteral("BufSize"));
    EditBuffer->setText(QString::number(buf != 0 ? buf : settings::DefaultBufSize));
    // A stored mode outside the list shares like the first entry, so the list shows it.
    ComboShare->setCurrentIndex(int(ShareAccessFromSetting(TReg::ReadInteger(s, QStringLiteral("ShareAccess")))));
}

void TFormPref::CheckTimeoutClick()
{
    const bool disabled = CheckTimeout->isChecked();
    UpDown1->setEnabled(!disabled);
    CheckAlive->setEnabled(disabled);
    UpDown2->setEnabled(disabled);
}

void TFormPref::Button1Click()
{
    // Every value is checked before the first one is written.
    bool ok = false;
    const int buf = EditBuffer->text().toInt(&ok);
    if (!ok || buf < MinBufSize || buf > MaxBufSize) {
        m_prompts.InfoBox(QStringLiteral("The buffer size must be a number from %1 to %2.").arg(MinBufSize).arg(MaxBufSize),
                          QStringLiteral("Buffer Size"));
        PageControl1->setCurrentIndex(0);
        EditBuffer->setFocus();
        return;
    }
    const QString s = settings::Section;
    TReg::WriteBool(s, QStringLiteral("TimeOutDisable"), CheckTimeout->isChecked());
    TReg::WriteBool(s, QStringLiteral("KeepAlive"), CheckAlive->isChecked());
    TReg::WriteInteger(s, QStringLiteral("Noop"), UpDown2->value());
    TReg::WriteInteger(s, QStringLiteral("TimeOut"), UpDown1->value());
    TReg::WriteInteger(s, QStringLiteral("BufSize"), buf);
    TReg::WriteInteger(s, QStringLiteral("ShareAccess"), ComboShare->currentIndex());
    accept();
}

} // namespace tarsel
