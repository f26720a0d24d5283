// The remote browser: changing and relisting the remote directory, the history, the
// gestures of the two lists and their sorting.
#include <QComboBox>
#include <QPointer>
#include <QTreeView>

#include "session/child.h"
#include "uikit/displaytext.h"
#include "uikit/prompts.h"

namespace tarsel {

void TFormMdi::ChangeRemoteDir(const std::string &dir)
{
    if (!CanStartCommand())
        return;
    ShowBusy();
    InstallRequestHandler(&TFormMdi::DirectoryRequestDone);
    Ftp1.SetHostDirName(dir);
    Ftp1.CwdAsync();
}

void TFormMdi::RefreshRemote()
{
    if (!CanStartCommand())
        return;
    ShowBusy();
    InstallRequestHandler(&TFormMdi::DirectoryRequestDone);
    Ftp1.PwdAsync();
}

void TFormMdi::DirectoryRequestDone(TCustomFtpCli *, TFtpRequest rqType, int error)
{
    if (error != 0) {
        FailOperation(Ftp1.ErrorMessage()); // the lists keep what they showed
        return;
    }
    switch (rqType) {
    case TFtpRequest::ftpCwdAsync:
    case TFtpRequest::ftpRmdAsync:
    case TFtpRequest::ftpRenAsync:
        Ftp1.PwdAsync();
        break;
    case TFtpRequest::ftpMkdAsync:
        Ftp1.SetHostDirName(Ftp1.HostFileName()); // into the directory just made
        Ftp1.CwdAsync();
        break;
    case TFtpRequest::ftpPwdAsync:
        ApplyCurrentDir();
        startListing();
        break;
    case TFtpRequest::ftpDirAsync:
        if (!listingRead())
            break;
        ShowIdle();
        // Files dropped on a directory row go up once its listing is shown.
        if (UploadAfterList) {
            UploadAfterList = false;
            UploadDraggedFiles();
        }
        break;
    default:
        break;
    }
}

// --- commands of the main window -----------------------------------------------------------

void TFormMdi::ActionUpDirExecute() { ChangeRemoteDir(".."); }

void TFormMdi::ActionChangeDirExecute()
{
    const QPointer<TFormMdi> self(this);
    const QString preset = ShowBytes(RemoteDir);
    // Cancel returns the preset, so the current directory is changed to and listed again.
    const QString text = Prompts().InputBox(QStringLiteral("Change Directory"), QStringLiteral("Directory to change to:"),
                                            preset);
    if (!stillHere(self) || text.isEmpty() || !CheckCommandText(text))
        return;
    // An unchanged text goes back as the server's own bytes.
    ChangeRemoteDir(text == preset ? RemoteDir : FromDisplay(text));
}

void TFormMdi::ActionRefreshRemoteExecute() { RefreshRemote(); }

// --- gestures ---------------------------------------------------------------------------------

void TFormMdi::RemoteDirsDblClick()
{
    const int row = RemoteDirs->SelectedRow();
    if (row < 0)
        return;
    const std::string caption = RemoteDirs->Model()->Row(row).Caption;
    const std::size_t arrow = caption.find("->");
    if (arrow == std::string::npos) {
        ChangeRemoteDir(caption);
        return;
    }
    // 'docs -> /usr/share/doc': the target starts three characters after the "-".
    const std::string target = arrow + 3 <= caption.size() ? caption.substr(arrow + 3) : std::string();
    if (!target.empty())
        ChangeRemoteDir(target);
}

void TFormMdi::RemoteFilesDblClick() { DownloadFiles(); }

void TFormMdi::RemoteDirsClick() { m_services.UpdateCommandStates(); }
void TFormMdi::RemoteFilesClick() { m_services.UpdateCommandStates(); }

void TFormMdi::columnClick(TRemoteList *list, int column)
{
    if (column != 0 && column != 1)
        return; // Date and Permissions do not sort
    TRemoteListModel *m = list->Model();
    if (column == m->SortColumn())
        m->SetSortState(column, m->SortMark() == TSortMark::ptsdDesc ? TSortMark::ptsdAsc : TSortMark::ptsdDesc);
    else
        m->SetSortState(column, TSortMark::ptsdDesc);
    m->SortNow();
    list->ShowSortMark();
}

void TFormMdi::RemoteDirsColumnClick(int column) { columnClick(RemoteDirs, column); }
void TFormMdi::RemoteFilesColumnClick(int column) { columnClick(RemoteFiles, column); }

namespace {
// The bytes of a directory typed or picked in the history: an entry's own bytes when the
// text is that entry's.
std::string comboDir(const QComboBox *combo)
{
    const QString text = combo->currentText();
    const int i = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i >= 0)
        return combo->itemData(i).toByteArray().toStdString();
    return FromDisplay(text);
}
} // namespace

void TFormMdi::DirComboKeyDown(int key)
{
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !DirCombo->currentText().isEmpty())
        ChangeRemoteDir(comboDir(DirCombo));
}

void TFormMdi::DirComboClick()
{
    if (!DirCombo->currentText().isEmpty())
        ChangeRemoteDir(comboDir(DirCombo));
}

} // namespace tarsel
