#include "uikit/digitsfilter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "uikit/prompts.h"

namespace tarsel {

TDigitsOnlyFilter::TDigitsOnlyFilter(QLineEdit *edit, IPrompts &prompts) : QObject(edit), m_prompts(prompts)
{
    edit->installEventFilter(this);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
}

TDigitsOnlyFilter *TDigitsOnlyFilter::Install(QLineEdit *edit, IPrompts &prompts)
{
    return new TDigitsOnlyFilter(edit, prompts);
}

bool TDigitsOnlyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    if (text.isEmpty() || key->key() == Qt::Key_Backspace || !text.at(0).isPrint())
        return false; // navigation, editing shortcuts and Backspace pass
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            m_prompts.InfoBox(QStringLiteral("You can enter digits only in this field!"), QStringLiteral("Digits Only"));
            return true;
        }
    return false;
}

} // namespace tarsel
