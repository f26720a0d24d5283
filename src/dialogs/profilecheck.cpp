#include "dialogs/profilecheck.h"

#include <QListWidget>
#include <QSignalBlocker>
#include <QWidget>

#include "app/settings/profilefile.h"
#include "dialogs/hlpmod.h"
#include "uikit/displaytext.h"
#include "uikit/icons.h"

namespace tarsel {

namespace {
bool hasLineBreak(const QString &s)
{
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}
} // namespace

QString ProfileNameProblem(const QString &name)
{
    // A "]" or "[" would end or open a section line, a line break splits it, and a
    // line starting with ";" would be read back as a comment.
    if (name.contains(QLatin1Char('[')) || name.contains(QLatin1Char(']')) || hasLineBreak(name) ||
        name.trimmed().startsWith(QLatin1Char(';')))
        return QStringLiteral("The profile name cannot contain \"[\", \"]\" or a line break, or begin with \";\".");
    return {};
}

QString FieldValueProblem(const QString &value, const QString &field)
{
    if (hasLineBreak(value))
        return QStringLiteral("The %1 cannot contain a line break.").arg(field);
    return {};
}

std::optional<int> PortFromText(const QString &text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

std::string FieldBytes(const QString &text, const std::string &loaded)
{
    if (!loaded.empty() && text == ToDisplay(loaded))
        return loaded;
    return FromDisplay(text);
}

void ShowDialogHelp(const QString &topic, QWidget *dialog)
{
    if (THelpMod *help = THelpMod::Instance())
        help->ShowHelpTopic(topic, dialog);
    dialog->raise();
    dialog->activateWindow();
}

void FillProfileList(QListWidget &list, ProfileFile &file)
{
    file.Reload();
    const QSignalBlocker block(&list);
    list.setUpdatesEnabled(false);
    list.clear();
    for (const std::string &name : file.SectionNames()) {
        auto *item = new QListWidgetItem(icons::SmallImage(5), ToDisplay(name));
        item->setData(Qt::UserRole, QByteArray::fromStdString(name));
        list.addItem(item);
    }
    list.setUpdatesEnabled(true);
}

} // namespace tarsel
