#pragma once
#include <QDialog>
#include <array>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tarsel {

// The nine permission flags: read, write, execute for owner, group and others.
using TPermissionFlags = std::array<bool, 9>;

// The octal mode of the flags without leading zeros ("755", "44", "4"); empty when no
// flag is set.
QString ComputeMode(const TPermissionFlags &flags);

// The flags of a permission text as a listing shows it ("drwxr-x---"): a type character,
// then rwx three times. "s" and "t" in an execute position mean execute set (setuid,
// setgid, sticky), "S" and "T" execute clear; other letters count regardless of case.
// A text of any other length than ten characters gives nothing.
std::optional<TPermissionFlags> ReadPermissionText(const QString &text);

// The permissions dialog: the user picks Unix permissions for remote files or a
// directory. The caller sets PermissionText, runs it modally, then reads Cancelled and,
// when it is false, ModeText and SendAsQuote. It sends nothing itself.
class TFormMod : public QDialog {
    Q_OBJECT
public:
    explicit TFormMod(QWidget *parent = nullptr);

    QString PermissionText; // input: the first selected row's permissions, may be empty
    QString ModeText;       // output: the chosen mode, empty when every box is clear
    bool SendAsQuote = false;
    bool Cancelled = true;

    // Controls, named as in the dialog's design.
    QLabel *Label1;
    QCheckBox *CheckBox[9]; // CheckBox1 .. CheckBox9
    QLabel *Label2;
    QLabel *Label3; // the mode OK would return
    QCheckBox *CheckQuote;
    QPushButton *Button1; // OK
    QPushButton *Button2; // Cancel
    QPushButton *ButHelp;

    TPermissionFlags Flags() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void LoadPermissions();
    void CheckBoxClick();
    void Button1Click();
    void Button2Click();
    void ButHelpClick();
};

} // namespace tarsel
