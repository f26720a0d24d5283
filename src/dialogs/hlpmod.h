#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

class QListWidget;
class QTextBrowser;
class QToolButton;

namespace tarsel {

// One page of the help, as the contents list shows it.
struct THelpTopic {
    QString Path;  // "root/login.html"
    QString Title; // "Connecting to a server"
};

// The help window: the program's own pages in a browser with the list of contents,
// back and forward. It belongs to the window that asked for it.
class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget *owner);

    void ShowTopic(const QString &topic);
    // The topic shown now ("root/default.html").
    QString CurrentTopic() const;

    QListWidget *Contents;
    QTextBrowser *Browser;
    QToolButton *BackB;
    QToolButton *ForwardB;
    QToolButton *HomeB;

private:
    void sourceChanged(const QUrl &url);
};

// The help launcher: one instance for the life of the process. Shows a topic of the
// program's own help pages in a help window owned by `owner`'s window; each window has
// at most one help window, reused by later requests.
class THelpMod {
public:
    THelpMod();
    ~THelpMod();
    THelpMod(const THelpMod &) = delete;
    THelpMod &operator=(const THelpMod &) = delete;

    // The instance made at start-up, or null before it (tests make their own).
    static THelpMod *Instance();

    // Where the topics live: the help pages bundled with the program.
    QString HtmlHelpFile;

    // Returns the help window showing the topic (null only without an owner window
    // and without a running application).
    THelpWindow *ShowHelpTopic(const QString &topic, QWidget *owner);

    // The pages in the order of the contents list.
    static QList<THelpTopic> Topics();
    // The resource URL of a topic ("qrc:/help/root/login.html").
    static QUrl TopicUrl(const QString &topic);
    static bool TopicExists(const QString &topic);
};

} // namespace tarsel
