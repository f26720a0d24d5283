#pragma once
#include <QDialog>
#include <memory>

#include "app/settings/profile.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarsel {

class IPrompts;
class ProfileFile;

// The profile manager: edits, saves and deletes the profiles of accounts.dat. Every
// change is written at once; the caller reads ProfilesChanged after it closes.
class TSettForm : public QDialog {
    Q_OBJECT
public:
    explicit TSettForm(IPrompts &prompts, QWidget *parent = nullptr);
    ~TSettForm() override;

    // True once a profile was saved, deleted or created through New.
    bool ProfilesChanged = false;

    // Enables the proxy field exactly when Use Proxy is checked; Passive Mode follows.
    void SetProxy();
    void ClearEntries();

    QLineEdit *Edit_Name = nullptr;
    QLineEdit *Edit_User = nullptr;
    QLineEdit *Edit_Pass = nullptr;
    QLineEdit *Edit_Host = nullptr;
    QComboBox *ComboServer = nullptr;
    QCheckBox *CheckPassive = nullptr;
    QCheckBox *AnonBox = nullptr;
    QCheckBox *CheckProxy = nullptr;
    QLineEdit *Proxy_Edit = nullptr;
    QLineEdit *Port_Edit = nullptr;
    QLineEdit *EditStart = nullptr;
    // Selecting an item loads that profile into the fields.
    QListWidget *List_Prof = nullptr;
    QPushButton *ButNew = nullptr;
    QPushButton *ButSave = nullptr;
    QPushButton *ButDel = nullptr;
    QPushButton *ButHelp = nullptr;
    QPushButton *ButCancel = nullptr;

private:
    void LoadProfiles();
    void List_ProfChange();
    void CheckProxyClick();
    void AnonBoxClick();
    void ButSaveClick();
    void ButDelClick();
    void ButNewClick();
    void changed();
    void setPassMasked(bool masked);

    IPrompts &m_prompts;
    std::unique_ptr<ProfileFile> m_file;
    Profile m_loaded; // the profile the fields were loaded from, with its exact bytes
};

} // namespace tarsel
