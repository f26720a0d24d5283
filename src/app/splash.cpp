#include "app/splash.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "common/version.h"
#include "uikit/icons.h"

namespace tarsel {

TfrmSplash::TfrmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_info(new QLabel(QStringLiteral("Loading... Please wait..."), this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(402, 157);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x77, 0x88, 0x99)); // "$00998877": blue 0x99, green 0x88, red 0x77
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);

    auto *image = new QLabel(panel);
    image->setObjectName(QStringLiteral("Image1"));
    image->setFixedSize(400, 60);
    image->setPixmap(icons::Banner());
    auto *appName = new QLabel(QStringLiteral("Tarsel FTP 1.0"), panel);
    appName->setObjectName(QStringLiteral("AppName"));
    QFont f(QStringLiteral("Verdana"));
    f.setBold(true);
    f.setPixelSize(16);
    appName->setFont(f);
    appName->setAlignment(Qt::AlignCenter);
    m_info->setParent(panel);
    m_info->setObjectName(QStringLiteral("LabInfo"));
    m_info->setAlignment(Qt::AlignCenter);
    m_info->setTextFormat(Qt::PlainText);
    auto *notice = new QLabel(QStringLiteral("Quendal, version %1").arg(QStringLiteral(TARSEL_VERSION_STRING)), panel);
    notice->setObjectName(QStringLiteral("LabNotice"));
    QFont small = notice->font();
    small.setPixelSize(10);
    notice->setFont(small);
    notice->setAlignment(Qt::AlignRight);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(1, 1, 6, 4);
    layout->setSpacing(4);
    layout->addWidget(image);
    layout->addWidget(appName);
    layout->addWidget(m_info);
    layout->addStretch();
    layout->addWidget(notice);

    if (QScreen *s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
}

void TfrmSplash::SetInfo(const QString &text) { m_info->setText(text); }
QString TfrmSplash::Info() const { return m_info->text(); }

void CloseSplash()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmSplash") && w->isVisible())
            w->close();
}

} // namespace tarsel
