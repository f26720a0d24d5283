#include "dialogs/hlpmod.h"

#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tarsel {

namespace {
THelpMod *g_instance = nullptr;
const QString helpRoot = QStringLiteral(":/help/");
} // namespace

QList<THelpTopic> THelpMod::Topics()
{
    return {
        {QStringLiteral("root/default.html"), QStringLiteral("Tarsel FTP")},
        {QStringLiteral("root/login.html"), QStringLiteral("Connecting to a server")},
        {QStringLiteral("root/newprofile.html"), QStringLiteral("Creating a profile")},
        {QStringLiteral("root/profilemgr.html"), QStringLiteral("Managing profiles")},
        {QStringLiteral("root/preferences.html"), QStringLiteral("Preferences")},
        {QStringLiteral("root/permissions.html"), QStringLiteral("File permissions")},
    };
}

QUrl THelpMod::TopicUrl(const QString &topic) { return QUrl(QStringLiteral("qrc") + helpRoot + topic); }

bool THelpMod::TopicExists(const QString &topic) { return QFile::exists(helpRoot + topic); }

THelpMod::THelpMod() : HtmlHelpFile(helpRoot)
{
    if (!g_instance)
        g_instance = this;
}

THelpMod::~THelpMod()
{
    if (g_instance == this)
        g_instance = nullptr;
}

THelpMod *THelpMod::Instance() { return g_instance; }

THelpWindow *THelpMod::ShowHelpTopic(const QString &topic, QWidget *owner)
{
    QWidget *top = owner ? owner->window() : nullptr;
    THelpWindow *w = top ? top->findChild<THelpWindow *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!w)
        w = new THelpWindow(top);
    w->ShowTopic(topic);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

THelpWindow::THelpWindow(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("THelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tarsel FTP Help"));

    const auto tool = [this](const char *name, const QString &text, QStyle::StandardPixmap icon) {
        auto *b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        return b;
    };
    HomeB = tool("HomeB", QStringLiteral("&Contents"), QStyle::SP_DirHomeIcon);
    BackB = tool("BackB", QStringLiteral("&Back"), QStyle::SP_ArrowBack);
    ForwardB = tool("ForwardB", QStringLiteral("&Forward"), QStyle::SP_ArrowForward);

    Contents = new QListWidget(this);
    Contents->setObjectName(QStringLiteral("Contents"));
    for (const THelpTopic &t : THelpMod::Topics()) {
        auto *item = new QListWidgetItem(t.Title, Contents);
        item->setData(Qt::UserRole, t.Path);
    }
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setOpenExternalLinks(false);

    auto *split = new QSplitter(this);
    split->addWidget(Contents);
    split->addWidget(Browser);
    split->setStretchFactor(1, 1);
    split->setSizes({180, 520});

    auto *bar = new QHBoxLayout;
    bar->addWidget(HomeB);
    bar->addWidget(BackB);
    bar->addWidget(ForwardB);
    bar->addStretch();
    auto *top = new QVBoxLayout(this);
    top->addLayout(bar);
    top->addWidget(split, 1);
    resize(720, 520);

    BackB->setEnabled(false);
    ForwardB->setEnabled(false);
    connect(BackB, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardB, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(HomeB, &QToolButton::clicked, this, [this] { ShowTopic(THelpMod::Topics().first().Path); });
    connect(Browser, &QTextBrowser::backwardAvailable, BackB, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardB, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, &THelpWindow::sourceChanged);
    connect(Contents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { ShowTopic(item->data(Qt::UserRole).toString()); });
    connect(Contents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { ShowTopic(item->data(Qt::UserRole).toString()); });
}

void THelpWindow::ShowTopic(const QString &topic)
{
    const QUrl url = THelpMod::TopicUrl(topic);
    if (Browser->source() != url)
        Browser->setSource(url);
}

namespace {
// "qrc:/help/root/login.html" to "root/login.html".
QString topicOf(const QUrl &url)
{
    const QString path = url.path();
    const QString prefix = helpRoot.mid(1);
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}
} // namespace

QString THelpWindow::CurrentTopic() const { return topicOf(Browser->source()); }

void THelpWindow::sourceChanged(const QUrl &url)
{
    // The browser tells before its history has the new page, so source() is still the
    // old one here.
    const QString topic = topicOf(url);
    const QString title = Browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Tarsel FTP Help")
                                   : QStringLiteral("Tarsel FTP Help - ") + title);
    for (int i = 0; i < Contents->count(); ++i) {
        if (Contents->item(i)->data(Qt::UserRole).toString() == topic) {
            const QSignalBlocker block(Contents);
            Contents->setCurrentRow(i);
        }
    }
}

} // namespace tarsel
