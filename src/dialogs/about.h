#pragma once
#include <QDialog>
#include <QUrl>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tarsel {

class IPrompts;

// The maker's addresses. Placeholders under the reserved ".example" domain until the
// product has a real home.
namespace weblinks {
QUrl MakerHome();   // Quendal Online and the about box link
QUrl ProductPage(); // Tarsel FTP Online
QUrl Support();     // Quendal Support
} // namespace weblinks

// "Version: 1.0  Release 1  Build (2)" for version 1.0.1.2.
QString VersionText(int major, int minor, int release, int build);
// The version text of this build, from the project version.
QString AppVersionText();

// The about box: title, version, the maker's link and the notice.
class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(IPrompts &prompts, QWidget *parent = nullptr);

    // Controls, named as in the dialog's design.
    QLabel *Image2;
    QLabel *Label1;     // the application title
    QLabel *LabVersion; // the version text
    QLabel *Label4;     // the maker's web address, a link
    QPlainTextEdit *Memo1;
    QPushButton *Button1;

    void Label4Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setLinkColor(const QColor &c);
    IPrompts &m_prompts;
};

} // namespace tarsel
