#pragma once
#include <QString>

class QWidget;

namespace tarsel {

// The help launcher: one instance for the life of the process. Shows a topic of the
// program's own help pages ("root/login.html", ...) in a help window owned by `owner`.
class THelpMod {
public:
    THelpMod();
    ~THelpMod();
    THelpMod(const THelpMod &) = delete;
    THelpMod &operator=(const THelpMod &) = delete;

    // The instance made at start-up, or null before it (tests make their own).
    static THelpMod *Instance();

    void ShowHelpTopic(const QString &topic, QWidget *owner);
};

} // namespace tarsel
