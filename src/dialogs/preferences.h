#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace tarsel {

class IPrompts;

// The preferences: socket buffer size, file sharing, time-out and keep-alive, read from
// the settings store when the dialog opens and written by OK; Cancel writes nothing.
class TFormPref : public QDialog {
    Q_OBJECT
public:
    explicit TFormPref(IPrompts &prompts, QWidget *parent = nullptr);

    // The ranges the connection set-up holds these values to.
    static constexpr int MinBufSize = 512;
    static constexpr int MaxBufSize = 1024 * 1024;
    static constexpr int MinTimeOut = 1;
    static constexpr int MaxTimeOut = 300;
    static constexpr int MinNoop = 5;
    static constexpr int MaxNoop = 300;

    QTabWidget *PageControl1 = nullptr;
    QLineEdit *EditBuffer = nullptr;
    QComboBox *ComboShare = nullptr;
    QSpinBox *UpDown1 = nullptr; // its read-only text field is "Time"
    QLineEdit *Time = nullptr;
    QCheckBox *CheckTimeout = nullptr;
    QCheckBox *CheckAlive = nullptr;
    QSpinBox *UpDown2 = nullptr; // its read-only text field is "Noop"
    QLineEdit *Noop = nullptr;
    QPushButton *Button1 = nullptr; // OK
    QPushButton *Button2 = nullptr; // Cancel
    QPushButton *ButHelp = nullptr;

private:
    void FormCreate();
    void CheckTimeoutClick();
    void Button1Click();

    IPrompts &m_prompts;
};

} // namespace tarsel
