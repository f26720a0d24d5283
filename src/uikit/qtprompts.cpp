#include "uikit/qtprompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <algorithm>
#include <cstdio>

#include "uikit/inputdialog.h"

namespace tarsel {

TQtPrompts::TQtPrompts(std::function<QWidget *()> owner) : m_owner(std::move(owner)) {}

QWidget *TQtPrompts::owner() const
{
    if (m_owner)
        return m_owner();
    return QApplication::activeWindow();
}

int TQtPrompts::run(QDialog *dialog, const void *owner)
{
    const QPointer<QDialog> guard(dialog);
    Open entry{owner, guard};
    const std::shared_ptr<OpenList> open = m_open;
    open->push_back(&entry);
    const int result = dialog->exec();
    open->erase(std::find(open->begin(), open->end(), &entry));
    return guard ? result : int(QDialog::Rejected);
}

void TQtPrompts::DismissOwned(const void *owner)
{
    if (!owner)
        return;
    // Copied: closing a dialog may run code that opens or closes others.
    const OpenList open = *m_open;
    for (Open *o : open)
        if (o->owner == owner && o->dialog)
            o->dialog->done(QDialog::Rejected);
}

namespace {
// Deletes a heap dialog after its run, unless its owner took it along already.
template <typename T>
struct Owned {
    QPointer<T> p;
    explicit Owned(T *d) : p(d) {}
    ~Owned() { delete p.data(); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
};
} // namespace

int TQtPrompts::messageBox(const void *owner, int icon, const QString &text, const QString &caption, int buttons,
                           int def)
{
    Owned<QMessageBox> box(new QMessageBox(QMessageBox::Icon(icon), caption, text,
                                           QMessageBox::StandardButtons(buttons), this->owner()));
    box.p->setTextFormat(Qt::PlainText); // server text must not become markup
    box.p->setDefaultButton(QMessageBox::StandardButton(def));
    box.p->setObjectName(QStringLiteral("MessageBox"));
    return run(box.p, owner);
}

void TQtPrompts::InfoBox(const QString &text, const QString &caption)
{
    messageBox(TakeOwner(), QMessageBox::Information, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

bool TQtPrompts::ConfirmBox(const QString &text, const QString &caption)
{
    return messageBox(TakeOwner(), QMessageBox::Question, text, caption, QMessageBox::Yes | QMessageBox::No,
                      QMessageBox::Yes) == QMessageBox::Yes;
}

void TQtPrompts::ErrorBox(const QString &text, const QString &caption)
{
    messageBox(TakeOwner(), QMessageBox::Critical, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

QString TQtPrompts::InputBox(const QString &title, const QString &prompt, const QString &preset)
{
    const void *who = TakeOwner();
    Owned<TInputDialog> dlg(new TInputDialog(title, prompt, preset, owner()));
    if (run(dlg.p, who) != QDialog::Accepted || !dlg.p)
        return preset;
    return dlg.p->Text();
}

int TQtPrompts::ExecDialog(QDialog &dialog)
{
    const void *who = TakeOwner();
    // The caller owns the dialog, usually on its stack with its window as the parent.
    // Were that window deleted while the dialog runs, the dialog would go with it and
    // again when the caller's frame unwinds; so while it runs it hangs from the
    // top-level window instead (which also keeps it centred there).
    const QPointer<QWidget> parent = dialog.parentWidget();
    QWidget *top = parent ? parent->window() : nullptr;
    const bool moved = top && top != parent.data();
    if (moved)
        dialog.setParent(top, dialog.windowFlags());
    const QPointer<QDialog> guard(&dialog);
    const int result = run(&dialog, who);
    if (moved && guard && parent)
        guard->setParent(parent, guard->windowFlags());
    return result;
}

QString TQtPrompts::AskSaveFileName(const TSaveFileRequest &request)
{
    const void *who = TakeOwner();
    Owned<QFileDialog> dlg(new QFileDialog(request.Owner ? request.Owner : owner(), request.Title, request.InitialDir));
    dlg.p->setAcceptMode(QFileDialog::AcceptSave);
    dlg.p->setFileMode(QFileDialog::AnyFile);
    dlg.p->setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!request.Filters.isEmpty())
        dlg.p->setNameFilters(request.Filters);
    if (!request.FileName.isEmpty())
        dlg.p->selectFile(request.FileName);
    if (run(dlg.p, who) != QDialog::Accepted || !dlg.p || dlg.p->selectedFiles().isEmpty())
        return {};
    return dlg.p->selectedFiles().first();
}

void TQtPrompts::OpenUrl(const QUrl &url)
{
    TakeOwner();
    QDesktopServices::openUrl(url);
}

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
