#pragma once
#include <QObject>

class QLineEdit;

namespace tarsel {

class IPrompts;

// Lets a numeric field take only the digits and Backspace: any other typed character
// is refused with "You can enter digits only in this field!" ("Digits Only"). Pasted
// text that is not all digits is refused too.
class TDigitsOnlyFilter : public QObject {
    Q_OBJECT
public:
    // Installs itself on `edit` and is owned by it.
    static TDigitsOnlyFilter *Install(QLineEdit *edit, IPrompts &prompts);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TDigitsOnlyFilter(QLineEdit *edit, IPrompts &prompts);
    IPrompts &m_prompts;
};

} // namespace tarsel
