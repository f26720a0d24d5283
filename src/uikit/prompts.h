#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>

class QDialog;
class QWidget;

namespace tarsel {

// What a save-file question asks.
struct TSaveFileRequest {
    QString Title;
    QString InitialDir;
    QString FileName;
    QStringList Filters; // e.g. "Text Files (*.txt)"
    QWidget *Owner = nullptr; // the window the dialog belongs to; null: the prompts' own owner
};

// Every modal thing the application shows goes through this interface, so that tests
// can script the answers. Texts are shown as plain text: they often carry what a
// server or the file system supplied.
class IPrompts {
public:
    virtual ~IPrompts() = default;

    virtual void InfoBox(const QString &text, const QString &caption) = 0;
    // True exactly when Yes was pressed.
    virtual bool ConfirmBox(const QString &text, const QString &caption) = 0;
    virtual void ErrorBox(const QString &text, const QString &caption) = 0;
    // OK returns the edited text; Cancel returns `preset` unchanged.
    virtual QString InputBox(const QString &title, const QString &prompt, const QString &preset) = 0;
    // Runs a dialog modally and returns its result code (QDialog::Accepted/Rejected).
    virtual int ExecDialog(QDialog &dialog) = 0;
    // The chosen file name, or empty when the user cancelled.
    virtual QString AskSaveFileName(const TSaveFileRequest &request) = 0;
    virtual void OpenUrl(const QUrl &url) = 0;
};

} // namespace tarsel
