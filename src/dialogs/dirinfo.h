#pragma once
#include <QByteArrayList>
#include <QDialog>
#include <functional>

class QPlainTextEdit;
class QPushButton;

namespace tarsel {

class IPrompts;
class TDlgs;

// The directory information dialog: shows the raw listing of the current remote
// directory and saves it as a text file. The caller loads it and runs it modally.
class TFormDir : public QDialog {
    Q_OBJECT
public:
    // `localFolder` gives the folder selected in the local folder tree, where Save As
    // starts each time.
    TFormDir(IPrompts &prompts, TDlgs &dlgs, std::function<QString()> localFolder, QWidget *parent = nullptr);

    // The listing as the server sent it; shown decoded, saved as the original bytes.
    void LoadListing(const QByteArray &raw);
    const QByteArrayList &Lines() const { return m_lines; }

    // Controls, named as in the dialog's design.
    QPlainTextEdit *Memo1;
    QPushButton *Button1; // Save As
    QPushButton *Button2; // Close

    void Button1Click();
    void Button2Click();

private:
    IPrompts &m_prompts;
    TDlgs &m_dlgs;
    std::function<QString()> m_localFolder;
    QByteArrayList m_lines;
};

} // namespace tarsel
