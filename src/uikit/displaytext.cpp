#include "uikit/displaytext.h"

#include <QFile>
#include <QLabel>

#include "common/strutil.h"

namespace tarsel {

QString ToDisplay(std::string_view bytes) { return str::DisplayText(bytes); }

std::string FromDisplay(const QString &text) { return text.toUtf8().toStdString(); }

std::string LocalNameBytes(const QString &name) { return QFile::encodeName(name).toStdString(); }

QString LocalNameText(std::string_view bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

void SetPlainText(QLabel *label, const QString &text)
{
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
}

} // namespace tarsel
