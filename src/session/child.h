#pragma once
// The connection window: one FTP session on one TFtpClient, a page of the main
// window's client area. Its implementation is split by subject:
//   child_window.cpp   controls, creation, showing, closing, log and status, busy/idle
//   child_connect.cpp  profile and preferences, the connect-and-login sequence, the
//                      client's events, the listing steps
//   child_protocol.cpp the operation protocol: CanStartCommand, FailOperation, Cancel,
//                      the idle timer, keep-alive, background exceptions
//   child_browser.cpp  moving through the remote tree, sorting, the pop-up menus
//   child_files.cpp    making, renaming and removing remote directories and files,
//                      permissions, the directory information, Save Log
//   child_commands.cpp the raw commands of the Commands menu
//   child_transfer.cpp uploads, downloads, resumes, the progress panel, cancel, drops
//   child_batch.cpp    batch upload, download and delete of whole trees

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <memory>
#include <string>

#include "dialogs/dlgapi.h"
#include "ftp/ftpcli.h"
#include "listing/ftpcommon.h"
#include "session/localtarget.h"
#include "session/mainservices.h"
#include "session/remotelist.h"

class QDropEvent;

class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;

namespace tarsel {

class IPrompts;
class TDirParser;
class TOwnedPrompts;

// What tests replace: timers that tick only when their handlers are called, a clock,
// the listing parser.
struct TSessionSeams {
    // The window's timers never start on their own; tests call TimeOutTimer() and
    // Timer1Timer() to tick them.
    bool ManualTimers = false;
    // Milliseconds of a monotonic clock; the steady clock when empty.
    std::function<std::int64_t()> Clock;
    // The listing parser; the window's own when null.
    TDirParser *Parser = nullptr;
    // The source of a drag event; the running drag's source when empty. Offscreen there
    // is no running drag, so tests name the source their events stand for.
    std::function<QObject *(const QDropEvent *)> DragSource;
};

// A window timer: enabled state, interval and the Tag counter. Manual timers keep the
// state but never fire.
class TWindowTimer {
public:
    TWindowTimer(QObject *owner, const char *name, int intervalMs, bool manual, std::function<void()> onTimer);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on);
    int Interval() const;
    QTimer *Real() const { return m_timer; }
    int Tag = 0;

private:
    QTimer *m_timer;
    bool m_enabled = false;
    bool m_manual;
};

// Limits of one listing; beyond them the listing fails instead of being shown.
struct TListingLimits {
    std::int64_t MaxLines = 1000000;
    std::int64_t MaxBytes = std::int64_t(256) * 1024 * 1024;
};

class TFormMdi : public QWidget, public IConnectionWindow {
    Q_OBJECT
public:
    explicit TFormMdi(IMainServices &services, TSessionSeams seams = {}, QWidget *parent = nullptr);
    ~TFormMdi() override;

    // The factory of the main window: a window for the profile, its caption the
    // profile's name; its connection starts once it has its tab.
    static TFormMdi *Create(IMainServices &services, const std::string &profileName, TSessionSeams seams = {});

    // IConnectionWindow
    QWidget *Widget() override { return this; }
    QString Caption() const override { return windowTitle(); }
    bool Connected() const override;
    int SelectedDirCount() const override;
    int SelectedFileCount() const override;
    void SetViewStyle(TViewStyle style) override;
    void Realign() override;
    void FormClose() override;

    // --- fields ----------------------------------------------------------------------
    std::string ProfileName;
    QString ProfileFilePath;
    QString TempListFile;
    std::string StartDir;
    int ServerType = 0;
    bool TimeOutDisabled = false;
    bool KeepAliveEnabled = false;
    int NoopInterval = 0;
    bool ConnectionLost = false;
    std::string RemoteDir;
    TStringList ListingLines;
    QStringList LogList;
    QStringList UploadQueue;
    std::int64_t ResumeOffset = 0;
    bool TransferActive = false;
    bool CancelRequested = false;
    bool UploadAfterList = false;
    int FileSortColumn() const;
    int DirSortColumn() const;
    // The time-out of a running request: the "TimeOut" setting, also in keep-alive mode.
    int RequestTimeout = 30;

    TFtpClient &Ftp1;

    // --- controls --------------------------------------------------------------------
    QWidget *PProgress = nullptr;
    QLabel *TransferFile = nullptr;
    QLabel *AsFile = nullptr;
    QLabel *SizeSpeed = nullptr;
    QLabel *Timer = nullptr;
    QLabel *Percent = nullptr;
    QProgressBar *Prog1 = nullptr;
    QToolBar *TBMode = nullptr;
    QComboBox *ComboMode = nullptr;
    QToolButton *CancelB = nullptr;
    QToolButton *CloseB = nullptr;
    QWidget *PListing = nullptr;
    QWidget *PRemTree = nullptr;
    QToolBar *TBReconnect = nullptr;
    QComboBox *DirCombo = nullptr;
    QToolButton *ReconB = nullptr;
    TRemoteList *RemoteDirs = nullptr;
    QSplitter *SplitRem = nullptr;
    QWidget *PRemList = nullptr;
    TRemoteList *RemoteFiles = nullptr;
    QSplitter *SplitBot = nullptr;
    QWidget *PInfoMain = nullptr;
    QPlainTextEdit *MemoInfo = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QMenu *PopupMenu2 = nullptr;
    QMenu *MemoMenu = nullptr;
    TWindowTimer TimeOut;
    TWindowTimer Timer1;

    // --- the handler slots ---------------------------------------------------------
    using TRequestHandler = void (TFormMdi::*)(TCustomFtpCli *, TFtpRequest, int);
    using TCancelHandler = void (TFormMdi::*)();
    void InstallRequestHandler(TRequestHandler handler);
    void InstallCancelHandler(TCancelHandler handler);
    TRequestHandler RequestHandler() const { return m_requestHandler; }
    TCancelHandler CancelHandler() const { return m_cancelHandler; }

    // --- connect sequence ------------------------------------------------------------
    void ConnectProfile();
    void ApplyProfile(const std::string &profileName);
    // A new, unique, empty file for the listings; empty (with the reason logged) when
    // none can be created.
    QString MakeTempListFile();
    void ShowWinsockInfo();
    void Ftp1RequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    bool AskCredentials();
    void ConnectFailed(const std::string &message);
    void LogLine(const QString &text);
    // Puts the log lines not yet shown into MemoInfo now (LogList always has them all).
    void FlushLogMemo();
    void LogBytes(std::string_view bytes) { LogLine(ShowBytes(bytes)); }
    void PostStatus(int panel, const QString &text);
    void ShowBusy();
    void ShowIdle();
    void ResetProgress();
    void ApplyCurrentDir();
    void ClearRemoteLists();
    // Loads the listing file into the lists; false (lists empty, `error` set) when the
    // listing is beyond the limits or cannot be read.
    bool ParseListing(std::string *error = nullptr);
    void FormShow();
    void FormActivate();
    bool FormCloseQuery();
    void Ftp1Display(TCustomFtpCli *sender, std::string &msg);
    void Ftp1Command(TCustomFtpCli *sender, std::string &cmd);
    void Ftp1Response(TCustomFtpCli *sender);
    void Ftp1StateChange(TCustomFtpCli *sender);
    void Ftp1SessionConnected(TCustomFtpCli *sender, int error);
    void Ftp1SessionClosed(TCustomFtpCli *sender, int error);
    void Ftp1Progress(TCustomFtpCli *sender, std::int64_t count, bool &abort);
    void Ftp1ReadyToTransmit(TCustomFtpCli *sender, bool &cancel);
    void ReconBClick();
    void CloseBClick();

    // --- operation protocol ----------------------------------------------------------
    bool CanStartCommand();
    void FailOperation(const std::string &message);
    void CancelBClick();
    void TimeOutTimer();
    void KeepAliveTick(bool noopAllowed);
    void KeepAliveRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void Ftp1BgException(TCustomFtpCli *sender, const std::exception &e, bool &canClose);
    // The transfer timer's tick; transfers drive it.
    void Timer1Timer();

    // --- remote browser --------------------------------------------------------------
    void ChangeRemoteDir(const std::string &dir);
    void RefreshRemote();
    void DirectoryRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void ActionUpDirExecute();
    void ActionChangeDirExecute();
    void ActionRefreshRemoteExecute();
    void RemoteDirsDblClick();
    void RemoteFilesDblClick();
    void RemoteDirsClick();
    void RemoteFilesClick();
    void RemoteDirsColumnClick(int column);
    void RemoteFilesColumnClick(int column);
    void DirComboKeyDown(int key);
    void DirComboClick();
    void PRemTreeResize();


    // ==== transfers and batches (child_transfer.cpp, child_batch.cpp) ==================
    // Remote names (the server's bytes) still to download, first next.
    std::deque<std::string> DownloadQueue;
    // Total of the file in transfer; -1 while it is not known (no SIZE from the server).
    std::int64_t TransferTotal = -1;
    std::int64_t TransferPosition = 0;
    // Resume upload: the local file's full path. Resume download: the remote name.
    QString ResumeFile;
    std::string ResumeRemoteFile;

    void UploadFiles();
    void UploadDraggedFiles();
    void DownloadFiles();
    void ResumeUpload();
    void ResumeDownload();
    void CancelTransfer();
    void ShowUploadFile();
    void ShowDownloadFile();
    void UpdateProgress();
    void UploadRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void DownloadRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void ResumeUploadRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void ResumeDownloadRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    // Takes the completion of a request that a cancel interrupted; the window is idle.
    void CancelledRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    // The main window's transfer commands, run by the active window.
    void ActionUploadFileExecute();
    void ActionResumeUpExecute();
    void ActionDownloadFileExecute();
    void ActionResumeDownExecute();
    // Drops onto RemoteFiles: a drag from the local list uploads its files, one from the
    // local tree batch-uploads its folder; other sources are refused at drag-over.
    bool RemoteFilesDragOver(const QObject *source) const;
    void RemoteFilesDragDrop(const QObject *source);
    // Drops of this window's remote lists onto the local file list (the main window's
    // LocListDragOver and LocListDragDrop ask the active window).
    // A drop of local files on a directory row: into that directory, then the upload.
    void RemoteDirsDragDrop(const QObject *source, int row);
    bool LocListDragOver(const QObject *source) const;
    void LocListDragDrop(const QObject *source);
    // The main window's LocListStartDrag: the selected local files into DragList.
    static void LocListStartDrag(IMainServices &services);

    // Batch state. Upload: local folders still to create and files still to store.
    // Download and delete: the remote directories visited (the paths the walk asked
    // for) and the names of the current directory's files still to process.
    QStringList BatchUpDirs;
    QStringList BatchUpFiles;
    std::vector<std::string> BatchDirs;
    std::vector<std::string> BatchFiles;
    QString BatchBase;           // upload: the chosen local folder, ending with "/"
    std::string BatchRemoteBase; // download, delete: the chosen remote directory
    std::string BatchEnd;        // where the walk ends
    // Deepest level a batch descends to below its chosen directory.
    static constexpr int MaxBatchDepth = 64;

    void BatchUpload(const QString &folder);
    void BatchDownload();
    void BatchDelete();
    void BatchUploadRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void BatchDownloadRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void BatchDeleteRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void ActionBatchUploadExecute();
    void ActionBatchDownloadExecute();
    void ActionBatchDeleteExecute();
    // The local folder a batch download is writing into now (absolute).
    const std::string &BatchLocalDir() const { return m_batchLocalDir; }

private:
    void bindTransferActions();
    void transferProgress(std::int64_t count, bool &abort);
    // A cancel waiting for the running step: ends the operation here when set.
    bool consumeCancel();
    std::optional<TRemoteRow> batchDirectory(const QString &verb);
    std::optional<TRemoteRow> confirmBatch(const QString &verb, const QString &whatItDoes);
    // A SIZE the server refused or answered unreadably, with the session still up: the
    // file is fetched with an unknown total.
    bool sizeRefusedOnly(TFtpRequest rqType, int error) const;
    void requestType();
    bool nextUploadFile();
    bool nextDownloadFile();
    void startDownloadOfCurrent();
    void finishDownloads();
    void showFile(const QString &first, const QString &second);
    QString localFolder() const;
    void refreshLocalList();
    // Batch steps.
    void collectLocalTree(const QString &dir, int depth, QSet<QPair<quint64, quint64>> &seen);
    bool nextBatchDir();
    bool nextBatchUploadFile();
    void batchUploadAfterMkd();
    void batchUploadFinishFiles();
    void batchDownloadListed();
    void batchDownloadNextFile();
    void nextBatchDirectory(bool deleting);
    void batchGoUp();
    void batchEnter(const std::string &name);
    void batchDownloadFinish();
    void batchDeleteListed();
    void batchDeleteNextStep();
    void batchDeleteRemoveDirs();
    bool batchVisited(const std::string &path) const;
    int batchDepth() const;
    std::string m_batchPath;     // the remote directory the walk asked for last
    std::string m_batchTarget;   // the name of the CWD under way ("" for the base)
    std::string m_batchLocalRoot; // batch download: the chosen local folder
    std::string m_batchLocalDir;
    TCheckedFolder m_batchChecked; // m_batchLocalDir, checked once for its files
    std::int64_t m_fileStartMs = 0;
    QString shortLocal(const std::string &localBytes);
    QHash<QString, int> m_folderWidths; // for shortLocal, by folder text
    QString m_folderWidthsFont;
    QStringList m_memoPending; // logged, not yet in MemoInfo
    QTimer *m_memoTimer = nullptr;
    // ==== end of transfers and batches ==================================================

public:
    // --- state for callers and tests -------------------------------------------------
    bool Closing() const { return m_closing; }
    IPrompts &Prompts();
    IMainServices &Services() const { return m_services; }
    std::int64_t NowMs() const;
    void SetListingLimits(TListingLimits limits) { m_limits = limits; }
    // A listing has arrived and its rows are still being read; the operation goes on.
    bool ReadingListing() const { return readingListing(); }
    // The directory history, in order.
    QStringList DirHistory() const;

protected:
    bool event(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    friend class TEntryGuard;
    void createControls();
    void bindClient();
    void unbindClient();
    void bindActions();
    // Runs a handler from the event loop: counts the entry (the window is not destroyed
    // while one runs) and routes exceptions to the user instead of into Qt.
    void guarded(const std::function<void()> &fn);
    void handleException(std::exception_ptr error);
    // Re-checks after a prompt that the window may go on.
    bool stillHere(const QPointer<TFormMdi> &self) const { return self && !self->m_closing; }
    bool isActiveConnection() const;
    // Starts the listing of the current directory into the temporary file.
    void startListing();
    void setCursors(bool busy);
    void sortList(TRemoteList *list);

    // A listing is read a slice at a time between event-loop turns, so a huge one never
    // stalls the program; the operation's handler gets the listing's completion once
    // all rows are in, and ParseListing then shows them.
    struct TListingRead {
        QFile File;               // open while the text is still being read in
        std::int64_t LineEnds = 0; // counted while reading, to size the file list once
        QByteArray Text;
        std::size_t Pos = 0;
        std::int64_t Lines = 0;
        TCustomFtpCli *Sender = nullptr;
        bool Filling = false; // the lists collect rows
        bool Done = false;    // all lines read, or failed
        bool Pending = false; // read in slices, the handler not yet told
        bool Sorting = false; // the lines are read, the file list is being sorted
        bool Ok = false;
        std::string Why;
    };
    bool readingListing() const { return m_read && m_read->Pending; }
    void startListingRead(TCustomFtpCli *sender);
    void listingReadStep(unsigned generation);
    void beginListingRead();
    bool readListingFile(std::int64_t budgetNs);
    void failListingRead(std::string why);
    // Reads lines until all are read or `budgetNs` (when positive) has passed; true when done.
    bool readListingLines(std::int64_t budgetNs);
    void dropListingRead();
    // Cancel while rows are being read: the operation ends, the lists stay empty.
    bool cancelListingRead();
    std::string listingLimitText() const;
    void columnClick(TRemoteList *list, int column);

    IMainServices &m_services;
    TSessionSeams m_seams;
    std::unique_ptr<TOwnedPrompts> m_prompts;
    std::unique_ptr<TFtpClient> m_ftp;
    std::unique_ptr<TDirParser> m_ownParser;
    TDirParser *m_parser;
    TRequestHandler m_requestHandler = nullptr;
    TCancelHandler m_cancelHandler = nullptr;
    TListingLimits m_limits;
    bool m_closing = false;
    bool m_connecting = false; // an OpenAsync started and not yet answered
    bool m_listing = false;    // a listing is arriving
    bool m_listingTooBig = false;
    std::unique_ptr<TListingRead> m_read;
    unsigned m_readGeneration = 0;
    int m_entries = 0;          // handlers of this window now running
    bool m_deletePending = false;
    bool m_shown = false;

    // === remote file management and raw commands (child_files.cpp, child_commands.cpp) ===
public:
    // Remote names still to delete, the next one first.
    TStringList DeleteQueue;
    // Permission command lines still to send, the next one first.
    TStringList ChmodQueue;
    // The next completed listing opens the listing dialog (raw LIST and NLST).
    bool ShowListingAfter = false;
    // The type request of a raw STOR (true) or RETR (false) is the one completing.
    bool RawUploadPending = false;

    enum class TRawCommand { CWD, CDUP, PWD, HELP, SYST, SITE, LIST, NLST, STOR, RETR, SIZE, STAT, QUIT };

    void MakeRemoteDir(const std::string &name);
    // The old name is the selected RemoteDirs row.
    void RenameRemoteDir(const std::string &newName);
    void RemoveRemoteDir(const std::string &name);
    void DeleteRemoteFiles();
    void RenameRemoteFile();
    void ShowDirInfo();
    void ShowListingDialog();
    // `mode`: octal digits from the permissions dialog; empty sends nothing.
    void ChmodFiles(const QString &mode, bool sendAsQuote);
    void ChmodDir(const QString &mode, bool sendAsQuote);
    void SendQuote(const std::string &commandLine);
    // `arg`: the typed text of CWD, SITE, SIZE, STOR and RETR.
    void SendRawCommand(TRawCommand command, const std::string &arg = {});
    // Takes the next entry into the client; false when the queue was empty.
    bool NextDeleteFile();
    bool NextChmodCommand();

    void FileRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void DirInfoRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void ChmodFilesRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void ChmodDirRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);
    void RawCommandRequestDone(TCustomFtpCli *sender, TFtpRequest rqType, int error);

    // Commands of the main window.
    void ActionMkdDirExecute();
    void ActionRenameDirExecute();
    void ActionRemoveDirExecute();
    void ActionDeleteRemoteExecute() { DeleteRemoteFiles(); }
    void ActionRenameRemoteFileExecute() { RenameRemoteFile(); }
    void ActionDirInfoExecute() { ShowDirInfo(); }
    void ActionChmodExecute();
    void ActionChmodDirExecute();
    void ActionSaveLogExecute();
    void ActionQuoteExecute();
    void ActionCWDExecute();
    void ActionSITEExecute();
    void ActionSIZEExecute();
    void ActionSTORExecute();
    void ActionRETRExecute();
    void ActionCDUPExecute() { SendRawCommand(TRawCommand::CDUP); }
    void ActionPWDExecute() { SendRawCommand(TRawCommand::PWD); }
    void ActionHELPExecute() { SendRawCommand(TRawCommand::HELP); }
    void ActionSYSTExecute() { SendRawCommand(TRawCommand::SYST); }
    void ActionLISTExecute() { SendRawCommand(TRawCommand::LIST); }
    void ActionNLSTExecute() { SendRawCommand(TRawCommand::NLST); }
    void ActionSTATExecute() { SendRawCommand(TRawCommand::STAT); }
    void ActionQUITExecute() { SendRawCommand(TRawCommand::QUIT); }

    // Text typed for a command line: false, after telling the user why, when it holds a
    // carriage return, a line feed or a NUL.
    bool CheckCommandText(const QString &text);

    // The save dialog helper: the program's one, or the window's own without it.
    TDlgs &Dlgs();

private:
    void bindManagementActions();
    // Runs one request of an operation; a request the client refuses (an unsafe name
    // from a listing, say) ends the operation instead of leaving the window busy.
    bool startRequest(const std::function<void()> &request);
    // The common tail of the completion handlers: PWD lists, the listing is shown.
    // False for any other request.
    bool relistStep(TFtpRequest rqType);
    // The listing just received, read into the lists; false (the operation failed) when it
    // cannot be read.
    bool listingRead();
    // Asks for the text of a command; empty when cancelled, empty or refused.
    std::string askCommandText(const char *title, const char *prompt);
    void queueListingDialog();

    std::unique_ptr<TDlgs> m_ownDlgs;
    // === end of remote file management and raw commands ===
};

} // namespace tarsel
