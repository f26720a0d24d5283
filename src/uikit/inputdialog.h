#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;

namespace tarsel {

// The single-line input box: title, a plain-text prompt line, an edit field, OK and
// Cancel. (QInputDialog would render a prompt that looks like HTML as rich text.)
class TInputDialog : public QDialog {
    Q_OBJECT
public:
    TInputDialog(const QString &title, const QString &prompt, const QString &preset, QWidget *parent = nullptr);
    QString Text() const;
    QLineEdit *Edit() const { return m_edit; }

private:
    QLabel *m_prompt;
    QLineEdit *m_edit;
};

} // namespace tarsel
