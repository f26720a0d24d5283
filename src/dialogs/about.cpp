#include "dialogs/about.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/settings/treg.h"
#include "common/version.h"
#include "uikit/icons.h"
#include "dialogs/dlgapi.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace weblinks {
QUrl MakerHome() { return QUrl(QStringLiteral("https://www.quendal.example/")); }
QUrl ProductPage() { return QUrl(QStringLiteral("https://www.quendal.example/tarselftp/")); }
QUrl Support() { return QUrl(QStringLiteral("https://www.quendal.example/support/")); }
} // namespace weblinks

QString VersionText(int major, int minor, int release, int build)
{
    // Two blanks before "Release" and before "Build": the text has always read so.
    return QStringLiteral("Version: %1.%2  Release %3  Build (%4)").arg(major).arg(minor).arg(release).arg(build);
}

QString AppVersionText()
{
    return VersionText(TARSEL_VERSION_MAJOR, TARSEL_VERSION_MINOR, TARSEL_VERSION_RELEASE, TARSEL_VERSION_BUILD);
}

namespace {
QLabel *plainLabel(const QString &text, const char *name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

const char *const notice = "Tarsel FTP is a desktop FTP client.\n"
                           "Copyright (c) Quendal. All rights reserved.\n"
                           "\n"
                           "Built with the Qt toolkit (Qt is a trademark of The Qt Company Ltd.).\n"
                           "Icons from the Tango icon theme where it is installed.\n"
                           "\n"
                           "Thanks to everyone who tested the program and reported problems.";
} // namespace

TFormAbout::TFormAbout(IPrompts &prompts, QWidget *parent) : QDialog(parent), m_prompts(prompts)
{
    const QString title = QString::fromLatin1(TReg::ApplicationTitle);
    setObjectName(QStringLiteral("TFormAbout"));
    setWindowTitle(QStringLiteral("About ") + title);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setTextFormat(Qt::PlainText);
    Image2->setFixedSize(400, 60);
    Image2->setPixmap(icons::Banner());

    Label1 = plainLabel(title, "Label1", this);
    QFont tf(QStringLiteral("Tahoma"));
    tf.setBold(true);
    tf.setPixelSize(16);
    Label1->setFont(tf);
    LabVersion = plainLabel(AppVersionText(), "LabVersion", this);
    Label4 = plainLabel(weblinks::MakerHome().host(), "Label4", this);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->setMouseTracking(true);
    Label4->installEventFilter(this);
    setLinkColor(Qt::blue);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    Memo1->setPalette(pal);
    Memo1->setPlainText(QString::fromLatin1(notice));

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 8);
    top->addWidget(Image2);
    top->addWidget(Label1);
    top->addWidget(LabVersion);
    top->addWidget(Label4);
    auto *memoRow = new QHBoxLayout;
    memoRow->setContentsMargins(8, 0, 8, 0);
    memoRow->addWidget(Memo1);
    top->addLayout(memoRow, 1);
    top->addWidget(Button1, 0, Qt::AlignHCenter);
    setFixedSize(400, 283);
}

void TFormAbout::setLinkColor(const QColor &c)
{
    QPalette pal = Label4->palette();
    pal.setColor(QPalette::WindowText, c);
    Label4->setPalette(pal);
}

bool TFormAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label4) {
        switch (event->type()) {
        case QEvent::Enter: setLinkColor(Qt::red); break;
        case QEvent::Leave: setLinkColor(Qt::blue); break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
                Label4Click();
            break;
        default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        CentreOnScreen(this);
}

void TFormAbout::Label4Click() { m_prompts.OpenUrl(weblinks::MakerHome()); }

} // namespace tarsel
