#pragma once
#include <optional>
#include <string>

#include <QString>

class QLineEdit;
class QListWidget;
class QWidget;

namespace tarsel {

class ProfileFile;

// The checks the profile dialogs make before they write anything: accounts.dat must
// read back exactly what was saved, so texts that its line format cannot hold are
// refused instead of being written.

// Why a profile name cannot be stored ("[" or "]", a line break, or a leading ";"),
// or an empty text when it can.
QString ProfileNameProblem(const QString &name);
// Why a field's value cannot be stored (a line break), or an empty text when it can.
// `field` names it in the message: "host address".
QString FieldValueProblem(const QString &value, const QString &field);
// The port in the text when it is a number from 1 to 65535.
std::optional<int> PortFromText(const QString &text);

inline const QString InvalidFieldCaption = QStringLiteral("Invalid Field");
inline const QString PortMessage = QStringLiteral("The port must be a number from 1 to 65535.");
inline const QString PortCaption = QStringLiteral("Port Error");

// The placeholder address filled in as the password of an anonymous login.
inline const QString DefaultAnonymousPassword = QStringLiteral("guest@tarsel.example");

// The bytes to store for a field: the bytes it was loaded from while its text is
// unchanged (a name that is not UTF-8 keeps its exact bytes), else the typed text.
std::string FieldBytes(const QString &text, const std::string &loaded);

// Reloads the file and lists its profiles, each item holding its section name's exact
// bytes (Qt::UserRole); the list's signals stay quiet meanwhile.
void FillProfileList(QListWidget &list, ProfileFile &file);

// Shows the help topic through the help launcher, then brings `dialog` to the front.
void ShowDialogHelp(const QString &topic, QWidget *dialog);

} // namespace tarsel
