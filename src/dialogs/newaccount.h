#pragma once
#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace tarsel {

class IPrompts;
class ProfileFile;

// The new profile wizard: four pages (name; host and server type; user and password;
// passive mode and proxy), checked only by Finish, which writes the profile.
class TFormNewAccount : public QDialog {
    Q_OBJECT
public:
    explicit TFormNewAccount(IPrompts &prompts, QWidget *parent = nullptr);
    ~TFormNewAccount() override;

    // False once Finish has saved the profile; the caller refreshes its lists only then.
    bool Cancelled = true;

    int PageIndex() const;
    void ShowPage(int page);

    QStackedWidget *Pages = nullptr;
    QLineEdit *Edit_Name = nullptr;
    QLineEdit *Edit_Host = nullptr;
    QComboBox *ComboServer = nullptr;
    QLineEdit *Edit_User = nullptr;
    QLineEdit *Edit_Pass = nullptr;
    QCheckBox *CheckAnon = nullptr;
    QCheckBox *CheckPassive = nullptr;
    QCheckBox *CheckProxy = nullptr;
    QLineEdit *Edit_Proxy = nullptr;
    QPushButton *Button1 = nullptr; // Back
    QPushButton *Button2 = nullptr; // Next / Finish
    QPushButton *Button3 = nullptr; // Cancel
    QPushButton *ButHelp = nullptr;

    void reject() override;

private:
    void PageChange();
    void Button1Click();
    void Button2Click();
    void CheckProxyClick();
    void CheckAnonClick();
    void Finish();
    // Shows the message, then the page with the field, and focuses the field.
    void refuse(const QString &text, const QString &caption, int page, QWidget *field);

    IPrompts &m_prompts;
    std::unique_ptr<ProfileFile> m_file;
};

} // namespace tarsel
