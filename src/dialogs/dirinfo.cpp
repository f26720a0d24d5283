#include "dialogs/dirinfo.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dlgapi.h"
#include "uikit/displaytext.h"

namespace tarsel {

TFormDir::TFormDir(IPrompts &prompts, TDlgs &dlgs, std::function<QString()> localFolder, QWidget *parent)
    : QDialog(parent), m_prompts(prompts), m_dlgs(dlgs), m_localFolder(std::move(localFolder))
{
    setObjectName(QStringLiteral("TFormDir"));
    setWindowTitle(QStringLiteral("Remote Directory Information"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    Memo1->setBackgroundRole(QPalette::Button);
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    Memo1->setPalette(pal);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(13);
    Memo1->setFont(mono);

    Button1 = new QPushButton(QStringLiteral("&Save As"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("&Close"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &TFormDir::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormDir::Button2Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch();
    auto *top = new QVBoxLayout(this);
    top->addWidget(Memo1, 1);
    top->addLayout(buttons);
    setFixedSize(608, 304);
    Button1->setFocus();
}

void TFormDir::LoadListing(const QByteArray &raw)
{
    m_lines = raw.split('\n');
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast(); // the line end of the last line, not an empty line
    QStringList shown;
    shown.reserve(m_lines.size());
    for (QByteArray &line : m_lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        shown << ToDisplay(std::string_view(line.constData(), std::size_t(line.size())));
    }
    Memo1->setPlainText(shown.join(QLatin1Char('\n')));
}

void TFormDir::Button1Click()
{
    // The dialog stays open whatever happens, so the listing can be saved again.
    SaveLinesAs(m_prompts, m_dlgs, this, TextFileFilter(), m_localFolder ? m_localFolder() : QString(), m_lines);
}

void TFormDir::Button2Click() { reject(); }

} // namespace tarsel
