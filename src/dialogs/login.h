#pragma once
#include <QDialog>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QListWidget;
class QPushButton;

namespace tarsel {

class IPrompts;
class ProfileFile;

// The connection picker: lists the profiles, shows the selected one's values and ends
// with the profile to connect with, or cancelled. The caller reads the result fields.
class TLogForm : public QDialog {
    Q_OBJECT
public:
    explicit TLogForm(IPrompts &prompts, QWidget *parent = nullptr);
    ~TLogForm() override;

    // The profile to connect with (bytes as in accounts.dat).
    std::string ChosenProfile;
    // False only when the dialog ended by Connect or a double-click.
    bool Cancelled = true;
    // True when the wizard or the profile manager opened from here changed accounts.dat,
    // so the caller refreshes its own profile lists.
    bool ProfilesChanged = false;

    void LoadProfiles();
    void ShowProfileDetails();

    QListWidget *List_Prof = nullptr;
    QAction *EditProfile1 = nullptr;
    // The read-only detail fields.
    QLabel *Name = nullptr;
    QLabel *Host = nullptr;
    QLabel *User = nullptr;
    QLabel *Password = nullptr;
    QLabel *ServerType = nullptr;
    QLabel *Anonymous = nullptr;
    QLabel *Passive = nullptr;
    QLabel *Proxy = nullptr;
    QLabel *ProxyName = nullptr;
    QLabel *Port = nullptr;
    QPushButton *Button1 = nullptr; // Connect
    QPushButton *Button4 = nullptr; // Edit Profile
    QPushButton *Button3 = nullptr; // New Profile
    QPushButton *ButHelp = nullptr;
    QPushButton *Button2 = nullptr; // Cancel

    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Button1Click();
    void List_ProfDblClick();
    void Button3Click();
    void EditProfile();
    void setEditEnabled(bool on);

    IPrompts &m_prompts;
    std::unique_ptr<ProfileFile> m_file;
    std::string m_shown; // the profile whose details are shown
};

} // namespace tarsel
