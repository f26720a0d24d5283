#pragma once
// The FTP client: a control connection with its request engine, the command sequences
// built on it and the data connection for listings and file transfers. Every request
// is asynchronous and ends with exactly one OnRequestDone from the event loop.
//
// How events arrive
// - OnRequestDone is posted: it comes from the event loop after the request ended,
//   never inside the request method that started it. Exactly one per started request.
// - Every other event is direct: OnDisplay, OnDisplayFile, OnCommand, OnResponse,
//   OnProgress, OnStateChange, OnSessionConnected, OnSessionClosed, OnReadyToTransmit,
//   OnBgException run at the moment they describe, from the event loop while a request
//   runs, and also inside a request method (its command line, its state change).
// What a handler may do
// - OnRequestDone: anything: start the next request, Abort, delete or Release.
// - A direct event raised from the event loop: read properties, abort (AbortAsync),
//   delete the client or Release it. Frames of a destroyed client return at once.
//   Starting a request there is refused ("not ready") while one is running.
// - A direct event raised inside a request method the caller is making: do not delete
//   the client there, Release it; deleted, the request method throws
//   FtpClientDestroyed to its caller.
// - OnProgress may set its flag to abort the transfer.
// Calls that run the event loop inside them (nested loops, for the command line and
// tests only, never for a window): the blocking wrappers of TFtpClient (Open, Get, Put,
// ..., Synchronize, WaitUntilReady). They return false when the client was destroyed
// while they waited.

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/event.h"
#include "common/exception.h"
#include "common/ordinalset.h"
#include "net/wsocket.h"

class QObject;
class QIODevice;
class QFile;
class QTimer;

namespace tarsel {

enum class TFtpState {
    ftpNotConnected,
    ftpReady,
    ftpInternalReady,
    ftpDnsLookup,
    ftpConnected,
    ftpAbort,
    ftpInternalAbort,
    ftpWaitingBanner,
    ftpWaitingResponse
};

enum class TFtpRequest {
    ftpNone,
    ftpOpenAsync,
    ftpUserAsync,
    ftpPassAsync,
    ftpCwdAsync,
    ftpConnectAsync,
    ftpReceiveAsync,
    ftpDirAsync,
    ftpLsAsync,
    ftpPortAsync,
    ftpGetAsync,
    ftpDirectoryAsync,
    ftpListAsync,
    ftpSystemAsync,
    ftpSystAsync,
    ftpQuitAsync,
    ftpAbortXferAsync,
    ftpSizeAsync,
    ftpPutAsync,
    ftpAppendAsync,
    ftpFileSizeAsync,
    ftpRqAbort,
    ftpMkdAsync,
    ftpRmdAsync,
    ftpRenameAsync,
    ftpDeleAsync,
    ftpRenAsync,
    ftpRenToAsync,
    ftpRenFromAsync,
    ftpDeleteAsync,
    ftpMkdirAsync,
    ftpRmdirAsync,
    ftpPwdAsync,
    ftpQuoteAsync,
    ftpCDupAsync,
    ftpDoQuoteAsync,
    ftpTransmitAsync,
    ftpTypeSetAsync,
    ftpRestAsync,
    ftpRestGetAsync,
    ftpRestartGetAsync,
    ftpRestPutAsync,
    ftpRestartPutAsync
};

enum class TFtpFct {
    ftpFctNone,
    ftpFctOpen,
    ftpFctUser,
    ftpFctPass,
    ftpFctCwd,
    ftpFctSize,
    ftpFctMkd,
    ftpFctRmd,
    ftpFctRenFrom,
    ftpFctRenTo,
    ftpFctGet,
    ftpFctDir,
    ftpFctQuit,
    ftpFctSyst,
    ftpFctDele,
    ftpFctPwd,
    ftpFctQuote,
    ftpFctPut,
    ftpFctTypeSet,
    ftpFctRest,
    ftpFctCDup,
    ftpFctLs,
    ftpFctAppend,
    ftpFctPort,
    ftpFctAbortXfer
};
using TFtpFctSet = TOrdinalSet<TFtpFct>;

enum class TFtpOption { ftpAcceptLF, ftpNoAutoResumeAt };
using TFtpOptions = TOrdinalSet<TFtpOption>;

enum class TFtpShareMode {
    ftpShareCompat,
    ftpShareExclusive,
    ftpShareDenyWrite,
    ftpShareDenyRead,
    ftpShareDenyNone
};
enum class TFtpDisplayFileMode { ftpLineByLine, ftpBinary };
enum class TFtpConnectionType { ftpDirect, ftpProxy, ftpSocks4, ftpSocks4A, ftpSocks5 };

class FtpException : public Exception {
public:
    // The failures a caller tells apart.
    enum class TCode {
        Other,
        NotReady, // a request was started while another one runs
    };
    explicit FtpException(std::string message, TCode code = TCode::Other)
        : Exception(std::move(message)), m_code(code)
    {
    }
    TCode Code() const noexcept { return m_code; }

private:
    TCode m_code;
};

// Leaves every frame of the client at once when a handler of one of its direct events
// destroyed it. Swallowed where the event loop entered the client; a request method
// whose own event destroyed the client throws it to its caller.
class FtpClientDestroyed : public FtpException {
public:
    FtpClientDestroyed() : FtpException("FTP client destroyed by an event handler") {}
};

class TCustomFtpCli;

// Milliseconds of a monotonic clock.
std::int64_t FtpNowMs();

using TFtpDisplay = TEvent<TCustomFtpCli *, std::string &>;
using TFtpProgress = TEvent<TCustomFtpCli *, std::int64_t, bool &>;
using TFtpCommand = TEvent<TCustomFtpCli *, std::string &>;
using TFtpRequestDone = TEvent<TCustomFtpCli *, TFtpRequest, int>;
using TFtpReadyToTransmit = TEvent<TCustomFtpCli *, bool &>;
using TFtpNotify = TEvent<TCustomFtpCli *>;
using TFtpSessionConnected = TEvent<TCustomFtpCli *, int>;
using TFtpSessionClosed = TEvent<TCustomFtpCli *, int>;
using TFtpBgException = TEvent<TCustomFtpCli *, const std::exception &, bool &>;

// Longest reply the client holds before it gives up on a server (lines, bytes).
constexpr int FtpMaxReplyLines = 10000;
constexpr std::int64_t FtpMaxReplyBytes = 1024 * 1024;
// Longest command line sent, without its line end.
constexpr std::size_t FtpMaxCommandLength = 4096;
// Default sizes of the blocks a transfer moves at a time: an upload reads the file in
// blocks of FtpUploadBlockSize; a download takes up to FtpDownloadBlockSize from the
// data connection per read. Small blocks cost a system call and an event per block.
constexpr int FtpUploadBlockSize = 64 * 1024;
constexpr int FtpDownloadBlockSize = 256 * 1024;
// While a download's data comes fast, the client is woken once this much waits instead
// of per segment (TCustomWSocket::SetReceiveBatch); measured against local servers, the
// best of 64 to 256 KiB.
constexpr int FtpDataReceiveBatch = 128 * 1024;
// How long a reply owed to a failed passive transfer is waited for before the
// control connection is closed.
constexpr int FtpOwedReplyTimeoutMs = 5000;

class TCustomFtpCli {
public:
    using TFtpNextProc = void (TCustomFtpCli::*)();

    TCustomFtpCli();
    virtual ~TCustomFtpCli();
    TCustomFtpCli(const TCustomFtpCli &) = delete;
    TCustomFtpCli &operator=(const TCustomFtpCli &) = delete;

    // Deletes the client from the event loop, after the running event returned.
    void Release();

    // Properties.
    const std::string &HostName() const { return m_hostName; }
    void SetHostName(const std::string &v) { m_hostName = v; }
    const std::string &Port() const { return m_port; }
    void SetPort(const std::string &v) { m_port = v; }
    const std::string &LocalAddr() const { return m_localAddr; }
    void SetLocalAddr(const std::string &v) { m_localAddr = v; }
    const std::string &UserName() const { return m_userName; }
    void SetUserName(const std::string &v) { m_userName = v; }
    const std::string &PassWord() const { return m_passWord; }
    void SetPassWord(const std::string &v) { m_passWord = v; }
    const std::string &HostDirName() const { return m_hostDirName; }
    void SetHostDirName(const std::string &v) { m_hostDirName = v; }
    const std::string &HostFileName() const { return m_hostFileName; }
    void SetHostFileName(const std::string &v) { m_hostFileName = v; }
    const std::string &LocalFileName() const { return m_localFileName; }
    void SetLocalFileName(const std::string &v);
    bool DisplayFileFlag() const { return m_displayFileFlag; }
    void SetDisplayFileFlag(bool v) { m_displayFileFlag = v; }
    bool Binary() const { return m_transferType == 'I'; }
    void SetBinary(bool v) { m_transferType = v ? 'I' : 'A'; }
    const std::string &ErrorMessage() const { return m_errorMessage; }
    TFtpShareMode ShareMode() const { return m_shareMode; }
    void SetShareMode(TFtpShareMode v) { m_shareMode = v; }
    TFtpOptions Options() const { return m_options; }
    void SetOptions(TFtpOptions v) { m_options = v; }
    TFtpConnectionType ConnectionType() const { return m_connectionType; }
    void SetConnectionType(TFtpConnectionType v);
    // A plain host reaches the proxy on the FTP port; "host:port" names another port.
    const std::string &ProxyServer() const { return m_proxyServer; }
    void SetProxyServer(const std::string &v) { m_proxyServer = v; }
    std::string SocksPassword() const;
    void SetSocksPassword(const std::string &v);
    std::string SocksPort() const;
    void SetSocksPort(const std::string &v);
    std::string SocksServer() const;
    void SetSocksServer(const std::string &v);
    std::string SocksUserCode() const;
    void SetSocksUserCode(const std::string &v);

    bool Connected() const;
    bool Passive() const { return m_passive; }
    void SetPassive(bool v);
    QIODevice *LocalStream() const { return m_callerStream; }
    void SetLocalStream(QIODevice *stream);
    TFtpState State() const { return m_state; }
    TFtpRequest RequestType() const { return m_requestType; }
    int StatusCode() const { return m_statusCode; }
    void SetStatusCode(int v) { m_statusCode = v; }
    const std::string &LastResponse() const { return m_lastResponse; }
    void SetLastResponse(const std::string &v) { m_lastResponse = v; }
    const std::string &ReplyDirName() const { return m_replyDirName; }
    void SetReplyDirName(const std::string &v) { m_replyDirName = v; }
    std::int64_t ReplySize() const { return m_replySize; }
    void SetReplySize(std::int64_t v) { m_replySize = v; }
    std::int64_t ResumeAt() const { return m_resumeAt; }
    void SetResumeAt(std::int64_t v) { m_resumeAt = v; }
    const std::string &DnsResult() const { return m_dnsResult; }
    TFtpDisplayFileMode DisplayFileMode() const { return m_displayFileMode; }
    void SetDisplayFileMode(TFtpDisplayFileMode v);
    TWSocket *ControlSocket() const { return m_controlSocket.get(); }
    TWSocket *DataSocket() const { return m_dataSocket.get(); }
    std::int64_t ByteCount() const { return m_xfer.byteCount; }
    const std::string &PasvReply() const { return m_pasvReply; }
    // Bytes read from the local file per upload block (at least 1).
    int UploadBlockSize() const { return m_uploadBlockSize; }
    void SetUploadBlockSize(int v) { m_uploadBlockSize = v > 0 ? v : FtpUploadBlockSize; }
    // Most bytes taken from the data connection per read of a download (at least 1).
    int DownloadBlockSize() const { return m_downloadBlockSize; }
    void SetDownloadBlockSize(int v) { m_downloadBlockSize = v > 0 ? v : FtpDownloadBlockSize; }
    int RequestResult() const { return m_requestResult; }

    // Events.
    TFtpDisplay OnDisplay;
    TFtpDisplay OnDisplayFile;
    TFtpCommand OnCommand;
    TFtpNotify OnResponse;
    TFtpProgress OnProgress;
    TFtpSessionConnected OnSessionConnected;
    TFtpSessionClosed OnSessionClosed;
    TFtpRequestDone OnRequestDone;
    TFtpNotify OnStateChange;
    TFtpReadyToTransmit OnReadyToTransmit;
    TFtpBgException OnBgException;

    // Single commands.
    virtual void OpenAsync();
    virtual void UserAsync();
    virtual void PassAsync();
    virtual void CwdAsync();
    virtual void PwdAsync();
    virtual void CDupAsync();
    virtual void SystAsync();
    virtual void SizeAsync();
    virtual void TypeSetAsync();
    virtual void TypeBinaryAsync();
    virtual void TypeAsciiAsync();
    virtual void MkdAsync();
    virtual void RmdAsync();
    virtual void DeleAsync();
    virtual void RenFromAsync();
    virtual void RenToAsync();
    virtual void QuoteAsync();
    virtual void AbortXferAsync();
    virtual void RestAsync();
    virtual void PortAsync();
    virtual void QuitAsync();
    virtual void AbortAsync();

    // High-level requests.
    virtual void ConnectAsync();
    virtual void ReceiveAsync();
    virtual void GetAsync();
    virtual void RestGetAsync();
    virtual void RestartGetAsync();
    virtual void PutAsync();
    virtual void RestPutAsync();
    virtual void RestartPutAsync();
    virtual void TransmitAsync();
    virtual void AppendAsync();
    virtual void AppendFileAsync();
    virtual void DirAsync();
    virtual void DirectoryAsync();
    virtual void LsAsync();
    virtual void ListAsync();
    virtual void SystemAsync();
    virtual void MkdirAsync();
    virtual void RmdirAsync();
    virtual void DeleteAsync();
    virtual void DoQuoteAsync();
    virtual void RenameAsync();
    virtual void RenAsync();
    virtual void FileSizeAsync();

    // Data steps.
    virtual void ExecGetAsync();
    virtual void ExecDirAsync();
    virtual void ExecLsAsync();
    virtual void ExecPutAsync();
    virtual void ExecAppendAsync();

    // The statistics line of the transfer that just ended; also used by tests.
    virtual void TransfertStats();
    // Formats the statistics text for a byte count and an elapsed time.
    static std::string StatsText(std::int64_t byteCount, std::int64_t elapsedMs);
    // Strict reading of a 227 reply: six numbers 0..255 in parentheses.
    static bool ParsePasvReply(const std::string &reply, std::string &addr, int &port);
    // The PORT line for a local address (host order) and data port; a server reached at
    // 127.0.0.1 is told 127.0.0.1 whatever the local address.
    static std::string PortCommand(std::uint32_t localAddr, const std::string &serverAddr, int port);
    // The quoted directory of a 257-style reply, doubled quotes standing for one.
    static std::string ExtractDirName(const std::string &reply);
    // The second integer of a reply (the size after a 213), or -1 when there is none.
    static std::int64_t ExtractSize(const std::string &reply);

protected:
    virtual void SendCommand(const std::string &cmd);
    virtual void TriggerDisplay(const std::string &msg);
    virtual void TriggerReadyToTransmit(bool &cancel);
    // The bytes go to the handler through a string kept from block to block: a fresh
    // string per block of 256 KiB costs the system fresh pages (page faults) each time.
    virtual void TriggerDisplayFile(const char *data, std::size_t size);
    virtual void TriggerError(const std::string &msg);
    virtual bool Progress();
    virtual void HandleBackGroundException(const std::exception &e);
    virtual void FtpCliAllocateHWnd();
    virtual void FtpCliDeallocateHWnd();

    // Engine.
    void SetState(TFtpState s);
    [[noreturn]] void HandleError(const std::string &msg);
    void CheckReady();
    void ExecAsync(TFtpRequest rq, const std::string &cmd, std::vector<int> codes,
                   TFtpNextProc doneStep = nullptr);
    void NextExecAsync();
    void SetErrorMessage();
    void ExtractMoreResults();
    void TriggerRequestDone(int error);
    void PostRequestDone(int error);
    void HighLevelAsync(TFtpRequest rq, TFtpFctSet steps);
    void NextSequence();
    void StartStep(TFtpFct step, TFtpFct previous);
    void Guarded(const std::function<void()> &fn);
    void FailRunning(const std::string &msg);
    void ShowReply();
    void FailRequest(int code, const std::string &response, bool setLastResponse = true);
    void CheckSafe(const std::string &text) const;
    void QuitClose();
    // Runs fn from the event loop with exceptions routed to background handling.
    void SafeCall(const std::function<void()> &fn);
    // Raises a direct event; throws FtpClientDestroyed when its handler destroyed the client.
    template <class Event, class... Args>
    void Raise(const Event &event, Args &&...args)
    {
        const std::shared_ptr<bool> alive = m_alive;
        event.Trigger(this, std::forward<Args>(args)...);
        if (!*alive)
            throw FtpClientDestroyed();
    }

    // Control socket handlers.
    void ControlSocketDnsLookupDone(int error);
    void ControlSocketSessionConnected(int error);
    void ControlSocketDataAvailable(int error);
    void ControlSocketSessionClosed(int error);
    void HandleLine(const std::string &line, int dataError);
    void ControlOverflow(const std::string &why);

    // Transfers.
    void DownloadStep(const std::string &verb, TFtpRequest rq);
    void UploadStep(bool append);
    bool OpenDownloadFile();
    bool OpenUploadFile();
    void FreeLocalStream();
    void DiscardNewDownloadFile();
    void FailTransfer(int code, const std::string &note);
    void TruncateDownloadFile();
    bool ConnectPassive(bool upload);
    void DownloadConnected(int error);
    void DownloadData(int error);
    void DownloadClosed(int error);
    void DownloadFirstReply();
    void DownloadFinalReply();
    void TransferCompletion();
    void AcceptData(bool upload);
    void UploadConnected(int error);
    void UploadFirstReply();
    void UploadFinalReply();
    void UploadClosed(int error);
    void SendNextBlock(int error);
    void PostSendData();
    void DrainOwedReply();
    void StartOwedReplyWait();
    void OwedReplyTimedOut();
    void ResetTransferState();
    std::string PeerAddress();

    // False from the start of the destructor on (see Raise).
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::unique_ptr<QObject> m_endpoint;
    std::unique_ptr<TWSocket> m_controlSocket;
    std::unique_ptr<TWSocket> m_dataSocket;
    std::unique_ptr<QTimer> m_owedTimer;

    std::string m_hostName;
    std::string m_port = "ftp";
    std::string m_proxyPort = "ftp";
    std::string m_localAddr = "0.0.0.0";
    std::string m_userName;
    std::string m_passWord;
    std::string m_hostDirName;
    std::string m_hostFileName;
    std::string m_localFileName;
    bool m_displayFileFlag = false;
    char m_transferType = 'I';
    std::string m_errorMessage;
    TFtpShareMode m_shareMode = TFtpShareMode::ftpShareExclusive;
    TFtpOptions m_options{TFtpOption::ftpAcceptLF};
    TFtpConnectionType m_connectionType = TFtpConnectionType::ftpDirect;
    std::string m_proxyServer;
    bool m_passive = false;
    QIODevice *m_callerStream = nullptr;
    TFtpState m_state = TFtpState::ftpReady;
    TFtpRequest m_requestType = TFtpRequest::ftpNone;
    int m_statusCode = 0;
    std::string m_lastResponse;
    std::string m_replyDirName;
    std::int64_t m_replySize = 0;
    std::int64_t m_resumeAt = 0;
    std::string m_dnsResult;
    TFtpDisplayFileMode m_displayFileMode = TFtpDisplayFileMode::ftpLineByLine;

    bool m_sessionOpen = false;
    std::array<char, 4096> m_replyBuffer{};
    int m_replyLen = 0;
    int m_requestResult = 0;
    bool m_doneReported = true;
    std::vector<int> m_acceptedCodes;
    TFtpNextProc m_next = nullptr;
    TFtpNextProc m_doneStep = nullptr;
    bool m_inSequence = false;
    TFtpFctSet m_pendingSteps;
    TFtpFct m_lastStep = TFtpFct::ftpFctNone;
    int m_sequenceResult = 0;
    bool m_sequenceStep = false;
    bool m_firstStep = false; // the dispatcher runs inside the caller's request method
    std::string m_savedResponse;
    int m_savedStatusCode = -1;
    std::string m_pasvReply;
    // Multi-line reply in progress: its code ("" when none), lines and bytes so far.
    std::string m_multiCode;
    int m_multiLines = 0;
    std::int64_t m_multiBytes = 0;
    // The close that QUIT asked for (or that ends a refused greeting) is not a failure.
    bool m_expectClose = false;

    // What one transfer step knows; every step starts from a fresh one.
    struct TransferState {
        std::int64_t byteCount = 0;
        std::int64_t announcedSize = -1; // the size the server announced, -1 when none
        std::int64_t startTime = 0;
        int dataCloseError = 0;
        bool serverSaidDone = false;
        bool fileReceived = false;
        bool fileSent = false;
        bool eofReached = false;
        bool storAnswered = false;
        bool putSessionOpened = false;
        bool sendStarted = false;      // the first upload block is on its way
        bool dataFailed = false;
        bool createdFile = false;      // the download created the local file
        bool truncatePending = false;  // the download still has to cut the old content
        bool owedReply = false;        // a reply to a transfer command is still to come
        int localError = 0;            // a local failure that decides the result
        std::string localErrorText;
        std::string downloadPath;      // the local file a running download opened itself
        std::string uploadCommand;     // STOR or APPE line, sent once the data connection is up
        std::string failedResponse;    // the failure kept while an owed reply is drained
    };
    TransferState m_xfer;
    std::int64_t m_stopTime = 0;
    bool m_appendMode = false;
    std::string m_transferVerb;
    int m_uploadBlockSize = FtpUploadBlockSize;
    int m_downloadBlockSize = FtpDownloadBlockSize;
    std::vector<char> m_block; // the block in transit, sized when a transfer needs it
    std::string m_displayChunk; // what OnDisplayFile is given, reused
    QIODevice *m_localStream = nullptr; // the stream in use: owned file or caller's
    std::unique_ptr<QFile> m_ownedFile;
    bool m_acceptPending = false; // the server connected to the data port before the step began
};

// TFtpClient: the published component with the blocking wrappers.
class TFtpClient : public TCustomFtpCli {
public:
    TFtpClient();

    int Timeout() const { return m_timeout; }
    void SetTimeout(int seconds) { m_timeout = seconds; }
    bool MultiThreaded() const { return m_multiThreaded; }
    void SetMultiThreaded(bool v) { m_multiThreaded = v; }

    bool Open();
    bool User();
    bool Pass();
    bool Connect();
    bool Cwd();
    bool Pwd();
    bool CDup();
    bool TypeSet();
    bool TypeBinary();
    bool TypeAscii();
    bool Get();
    bool Put();
    bool RestPut();
    bool RestartPut();
    bool Append();
    bool Quit();
    bool Abort();
    bool Receive();
    bool Transmit();
    bool AppendFile();
    bool Dir();
    bool Directory();
    bool Ls();
    bool List();
    bool Mkd();
    bool Mkdir();
    bool Ren();
    bool Rename();
    bool Dele();
    bool Delete();
    bool Rmd();
    bool Rmdir();
    bool Syst();
    bool System();
    bool Size();
    bool FileSize();
    bool AbortXfer();
    bool Quote();
    bool DoQuote();
    bool RestGet();
    bool RestartGet();

    bool Synchronize(void (TCustomFtpCli::*request)());
    bool WaitUntilReady();

protected:
    bool Progress() override;

    int m_timeout = 15;
    bool m_multiThreaded = false;
    std::int64_t m_deadline = 0;
};

} // namespace tarsel
