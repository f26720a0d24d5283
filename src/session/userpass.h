#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarsel {

class IPrompts;

// The credentials prompt shown after the server refused a login.
class TFormUserPass : public QDialog {
    Q_OBJECT
public:
    TFormUserPass(IPrompts &prompts, QWidget *parent = nullptr);

    // Results, read by the caller after the dialog has closed.
    QString EnteredUser;
    QString EnteredPassword;
    bool Cancelled = true; // only OK with both fields filled clears it

    QLabel *Label1;
    QLineEdit *EditUser;
    QLineEdit *EditPass;
    QPushButton *Button1; // OK
    QPushButton *Button2; // Cancel

    void Button1Click();
    void Button2Click();

private:
    IPrompts &m_prompts;
};

} // namespace tarsel
