#include "uikit/qtprompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>

#include "uikit/inputdialog.h"

namespace tarsel {

namespace {
int messageBox(QWidget *owner, QMessageBox::Icon icon, const QString &text, const QString &caption,
               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def)
{
    QMessageBox box(icon, caption, text, buttons, owner);
    box.setTextFormat(Qt::PlainText); // server text must not become markup
    box.setDefaultButton(def);
    return box.exec();
}
} // namespace

TQtPrompts::TQtPrompts(std::function<QWidget *()> owner) : m_owner(std::move(owner)) {}

QWidget *TQtPrompts::owner() const
{
    if (m_owner)
        return m_owner();
    return QApplication::activeWindow();
}

void TQtPrompts::InfoBox(const QString &text, const QString &caption)
{
    messageBox(owner(), QMessageBox::Information, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

bool TQtPrompts::ConfirmBox(const QString &text, const QString &caption)
{
    return messageBox(owner(), QMessageBox::Question, text, caption, QMessageBox::Yes | QMessageBox::No,
                      QMessageBox::Yes) == QMessageBox::Yes;
}

void TQtPrompts::ErrorBox(const QString &text, const QString &caption)
{
    messageBox(owner(), QMessageBox::Critical, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

QString TQtPrompts::InputBox(const QString &title, const QString &prompt, const QString &preset)
{
    TInputDialog dlg(title, prompt, preset, owner());
    return dlg.exec() == QDialog::Accepted ? dlg.Text() : preset;
}

int TQtPrompts::ExecDialog(QDialog &dialog) { return dialog.exec(); }

QString TQtPrompts::AskSaveFileName(const TSaveFileRequest &request)
{
    QFileDialog dlg(request.Owner ? request.Owner : owner(), request.Title, request.InitialDir);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!request.Filters.isEmpty())
        dlg.setNameFilters(request.Filters);
    if (!request.FileName.isEmpty())
        dlg.selectFile(request.FileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().first();
}

void TQtPrompts::OpenUrl(const QUrl &url) { QDesktopServices::openUrl(url); }

namespace {
void logBox(const char *kind, const QString &text, const QString &caption)
{
    std::fprintf(stderr, "%s [%s]: %s\n", kind, caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
}
} // namespace

void TLoggingPrompts::InfoBox(const QString &text, const QString &caption) { logBox("InfoBox", text, caption); }
bool TLoggingPrompts::ConfirmBox(const QString &text, const QString &caption)
{
    logBox("ConfirmBox", text, caption);
    return false;
}
void TLoggingPrompts::ErrorBox(const QString &text, const QString &caption) { logBox("ErrorBox", text, caption); }
QString TLoggingPrompts::InputBox(const QString &title, const QString &prompt, const QString &preset)
{
    logBox("InputBox", prompt, title);
    return preset;
}
int TLoggingPrompts::ExecDialog(QDialog &dialog)
{
    logBox("Dialog", dialog.objectName(), dialog.windowTitle());
    return QDialog::Rejected;
}
QString TLoggingPrompts::AskSaveFileName(const TSaveFileRequest &request)
{
    logBox("SaveFile", request.InitialDir, request.Title);
    return {};
}
void TLoggingPrompts::OpenUrl(const QUrl &url) { logBox("OpenUrl", url.toString(), QString()); }

} // namespace tarsel
