#pragma once
#include <string>
#include <string_view>

#include <QString>

class QLabel;

namespace tarsel {

// Bytes from a server or a file for display: UTF-8 when valid, else Latin-1.
QString ToDisplay(std::string_view bytes);
// Text a user typed, as the bytes to send or store (UTF-8).
std::string FromDisplay(const QString &text);
// Local file names to and from the file system's bytes.
std::string LocalNameBytes(const QString &name);
QString LocalNameText(std::string_view bytes);

// Sets a label's text as plain text, never as markup.
void SetPlainText(QLabel *label, const QString &text);

} // namespace tarsel
