// The catalogue of requests: single commands and the high-level sequences.
#include "ftp/ftpcli.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QFileInfo>

#include "common/strutil.h"

namespace tarsel {

using F = TFtpFct;
using R = TFtpRequest;

void TCustomFtpCli::UserAsync()
{
    if (m_userName.empty())
        HandleError("UserName emtpy");
    std::string cmd = "USER " + m_userName;
    if (m_connectionType == TFtpConnectionType::ftpProxy) {
        // The proxy learns the real server from the user name, as the user typed it.
        cmd += "@" + m_hostName;
        if (!str::SameText(m_port, "ftp") && !str::SameText(m_port, "21"))
            cmd += ":" + m_port;
    }
    m_lastStep = F::ftpFctUser;
    ExecAsync(R::ftpUserAsync, cmd, {331, 230});
}

void TCustomFtpCli::PassAsync()
{
    if (m_passWord.empty())
        HandleError("Password emtpy");
    m_lastStep = F::ftpFctPass;
    ExecAsync(R::ftpPassAsync, "PASS " + m_passWord, {230, 202});
}

void TCustomFtpCli::CwdAsync()
{
    if (m_hostDirName.empty())
        HandleError("HostDirName emtpy");
    m_lastStep = F::ftpFctCwd;
    ExecAsync(R::ftpCwdAsync, "CWD " + m_hostDirName, {200, 250, 257});
}

void TCustomFtpCli::PwdAsync()
{
    m_lastStep = F::ftpFctPwd;
    ExecAsync(R::ftpPwdAsync, "PWD", {250, 257});
}

void TCustomFtpCli::CDupAsync()
{
    m_lastStep = F::ftpFctCDup;
    ExecAsync(R::ftpCDupAsync, "CDUP", {250, 257});
}

void TCustomFtpCli::SystAsync()
{
    m_lastStep = F::ftpFctSyst;
    ExecAsync(R::ftpSystAsync, "SYST", {215});
}

void TCustomFtpCli::SizeAsync()
{
    m_lastStep = F::ftpFctSize;
    std::string cmd = "SIZE " + m_hostFileName;
    CheckSafe(cmd);
    m_replySize = 0;
    ExecAsync(R::ftpSizeAsync, cmd, {213});
}

void TCustomFtpCli::TypeSetAsync()
{
    m_lastStep = F::ftpFctTypeSet;
    ExecAsync(R::ftpTypeSetAsync, std::string("TYPE ") + m_transferType, {200});
}

void TCustomFtpCli::TypeBinaryAsync()
{
    SetBinary(true);
    TypeSetAsync();
}

void TCustomFtpCli::TypeAsciiAsync()
{
    SetBinary(false);
    TypeSetAsync();
}

void TCustomFtpCli::MkdAsync()
{
    m_lastStep = F::ftpFctMkd;
    ExecAsync(R::ftpMkdAsync, "MKD " + m_hostFileName, {250, 257});
}

void TCustomFtpCli::RmdAsync()
{
    m_lastStep = F::ftpFctRmd;
    ExecAsync(R::ftpRmdAsync, "RMD " + m_hostFileName, {250, 257});
}

void TCustomFtpCli::DeleAsync()
{
    m_lastStep = F::ftpFctDele;
    ExecAsync(R::ftpDeleAsync, "DELE " + m_hostFileName, {250, 257});
}

void TCustomFtpCli::RenFromAsync()
{
    m_lastStep = F::ftpFctRenFrom;
    ExecAsync(R::ftpRenFromAsync, "RNFR " + m_hostFileName, {350});
}

void TCustomFtpCli::RenToAsync()
{
    m_lastStep = F::ftpFctRenTo;
    ExecAsync(R::ftpRenToAsync, "RNTO " + m_localFileName, {200, 250, 257});
}

void TCustomFtpCli::QuoteAsync()
{
    m_lastStep = F::ftpFctQuote;
    ExecAsync(R::ftpQuoteAsync, m_localFileName, {});
}

void TCustomFtpCli::AbortXferAsync()
{
    m_lastStep = F::ftpFctAbortXfer;
    ExecAsync(R::ftpAbortXferAsync, "ABOR", {});
}

void TCustomFtpCli::RestAsync()
{
    CheckReady();
    if (!m_sessionOpen)
        HandleError("FTP component not connected");
    m_lastStep = F::ftpFctRest;
    bool putRequest = m_inSequence && (m_requestType == R::ftpRestPutAsync ||
                                       m_requestType == R::ftpRestartPutAsync);
    if (!putRequest && !m_options.Contains(TFtpOption::ftpNoAutoResumeAt)) {
        QFileInfo info(QFile::decodeName(QByteArray::fromStdString(m_localFileName)));
        m_resumeAt = (!m_localFileName.empty() && info.exists() && info.isFile()) ? info.size() : -1;
    }
    if (m_resumeAt <= 0) {
        // Nothing to resume: the step ends at once.
        if (!m_inSequence)
            m_requestType = R::ftpRestAsync;
        m_doneReported = false;
        m_requestResult = 0;
        TriggerRequestDone(0);
        return;
    }
    ExecAsync(R::ftpRestAsync, "REST " + std::to_string(m_resumeAt), {});
}

// ---- high-level requests -----------------------------------------------------------

void TCustomFtpCli::ConnectAsync()
{
    HighLevelAsync(R::ftpConnectAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass});
}

void TCustomFtpCli::ReceiveAsync()
{
    HighLevelAsync(R::ftpReceiveAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                        F::ftpFctTypeSet, F::ftpFctPort, F::ftpFctGet, F::ftpFctQuit});
}

void TCustomFtpCli::GetAsync() { HighLevelAsync(R::ftpGetAsync, {F::ftpFctPort, F::ftpFctGet}); }

void TCustomFtpCli::RestGetAsync()
{
    HighLevelAsync(R::ftpRestGetAsync, {F::ftpFctPort, F::ftpFctRest, F::ftpFctGet});
}

void TCustomFtpCli::RestartGetAsync()
{
    HighLevelAsync(R::ftpRestartGetAsync,
                   {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd, F::ftpFctTypeSet,
                    F::ftpFctPort, F::ftpFctRest, F::ftpFctGet, F::ftpFctQuit});
}

void TCustomFtpCli::PutAsync() { HighLevelAsync(R::ftpPutAsync, {F::ftpFctPort, F::ftpFctPut}); }

void TCustomFtpCli::RestPutAsync()
{
    HighLevelAsync(R::ftpRestPutAsync, {F::ftpFctPort, F::ftpFctRest, F::ftpFctPut});
}

void TCustomFtpCli::RestartPutAsync()
{
    HighLevelAsync(R::ftpRestartPutAsync,
                   {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd, F::ftpFctTypeSet,
                    F::ftpFctPort, F::ftpFctRest, F::ftpFctPut, F::ftpFctQuit});
}

void TCustomFtpCli::TransmitAsync()
{
    HighLevelAsync(R::ftpTransmitAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                         F::ftpFctTypeSet, F::ftpFctPort, F::ftpFctPut, F::ftpFctQuit});
}

void TCustomFtpCli::AppendAsync()
{
    HighLevelAsync(R::ftpAppendAsync, {F::ftpFctPort, F::ftpFctAppend});
}

void TCustomFtpCli::AppendFileAsync()
{
    HighLevelAsync(R::ftpTransmitAsync,
                   {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd, F::ftpFctTypeSet,
                    F::ftpFctPort, F::ftpFctAppend, F::ftpFctQuit});
}

void TCustomFtpCli::DirAsync() { HighLevelAsync(R::ftpDirAsync, {F::ftpFctPort, F::ftpFctDir}); }

void TCustomFtpCli::DirectoryAsync()
{
    HighLevelAsync(R::ftpDirectoryAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                          F::ftpFctPort, F::ftpFctDir, F::ftpFctQuit});
}

void TCustomFtpCli::LsAsync() { HighLevelAsync(R::ftpLsAsync, {F::ftpFctPort, F::ftpFctLs}); }

void TCustomFtpCli::ListAsync()
{
    HighLevelAsync(R::ftpListAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                     F::ftpFctPort, F::ftpFctLs, F::ftpFctQuit});
}

void TCustomFtpCli::SystemAsync()
{
    HighLevelAsync(R::ftpSystemAsync,
                   {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctSyst, F::ftpFctQuit});
}

void TCustomFtpCli::MkdirAsync()
{
    HighLevelAsync(R::ftpMkdirAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                      F::ftpFctMkd, F::ftpFctQuit});
}

void TCustomFtpCli::RmdirAsync()
{
    HighLevelAsync(R::ftpRmdirAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                      F::ftpFctRmd, F::ftpFctQuit});
}

void TCustomFtpCli::DeleteAsync()
{
    HighLevelAsync(R::ftpDeleteAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                       F::ftpFctDele, F::ftpFctQuit});
}

void TCustomFtpCli::DoQuoteAsync()
{
    HighLevelAsync(R::ftpDoQuoteAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                        F::ftpFctQuote, F::ftpFctQuit});
}

void TCustomFtpCli::RenameAsync()
{
    HighLevelAsync(R::ftpRenameAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                       F::ftpFctRenFrom, F::ftpFctRenTo, F::ftpFctQuit});
}

void TCustomFtpCli::RenAsync() { HighLevelAsync(R::ftpRenAsync, {F::ftpFctRenFrom, F::ftpFctRenTo}); }

void TCustomFtpCli::FileSizeAsync()
{
    HighLevelAsync(R::ftpSizeAsync, {F::ftpFctOpen, F::ftpFctUser, F::ftpFctPass, F::ftpFctCwd,
                                     F::ftpFctSize, F::ftpFctQuit});
}

// ---- TFtpClient: blocking wrappers -------------------------------------------------------

TFtpClient::TFtpClient() { m_timeout = 15; }

bool TFtpClient::Progress()
{
    bool goOn = TCustomFtpCli::Progress();
    if (m_timeout > 0)
        m_deadline = FtpNowMs() + static_cast<std::int64_t>(m_timeout) * 1000;
    return goOn;
}

bool TFtpClient::Synchronize(void (TCustomFtpCli::*request)())
{
    try {
        (this->*request)();
        return WaitUntilReady();
    } catch (...) {
        return false;
    }
}

bool TFtpClient::WaitUntilReady()
{
    m_deadline = FtpNowMs() + static_cast<std::int64_t>(m_timeout) * 1000;
    // A periodic timer wakes the wait so the deadline is seen even when nothing arrives.
    QTimer tick;
    tick.start(20);
    const std::shared_ptr<bool> alive = m_alive;
    for (;;) {
        if (m_state == TFtpState::ftpReady || m_state == TFtpState::ftpInternalReady)
            return m_requestResult == 0;
        if (QCoreApplication::closingDown())
            break;
        if (m_timeout > 0 && FtpNowMs() > m_deadline)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (!*alive)
            return false; // destroyed by a handler while this waited
    }
    AbortAsync();
    m_errorMessage = "426 Timeout";
    m_statusCode = 426;
    return false;
}

#define TARSEL_WRAP(Name)                                                                       \
    bool TFtpClient::Name() { return Synchronize(&TCustomFtpCli::Name##Async); }
TARSEL_WRAP(Open)
TARSEL_WRAP(User)
TARSEL_WRAP(Pass)
TARSEL_WRAP(Connect)
TARSEL_WRAP(Cwd)
TARSEL_WRAP(Pwd)
TARSEL_WRAP(CDup)
TARSEL_WRAP(TypeSet)
TARSEL_WRAP(TypeBinary)
TARSEL_WRAP(TypeAscii)
TARSEL_WRAP(Get)
TARSEL_WRAP(Put)
TARSEL_WRAP(RestPut)
TARSEL_WRAP(RestartPut)
TARSEL_WRAP(Append)
TARSEL_WRAP(Quit)
TARSEL_WRAP(Abort)
TARSEL_WRAP(Receive)
TARSEL_WRAP(Transmit)
TARSEL_WRAP(AppendFile)
TARSEL_WRAP(Dir)
TARSEL_WRAP(Directory)
TARSEL_WRAP(Ls)
TARSEL_WRAP(List)
TARSEL_WRAP(Mkd)
TARSEL_WRAP(Mkdir)
TARSEL_WRAP(Ren)
TARSEL_WRAP(Rename)
TARSEL_WRAP(Dele)
TARSEL_WRAP(Delete)
TARSEL_WRAP(Rmd)
TARSEL_WRAP(Rmdir)
TARSEL_WRAP(Syst)
TARSEL_WRAP(System)
TARSEL_WRAP(Size)
TARSEL_WRAP(FileSize)
TARSEL_WRAP(AbortXfer)
TARSEL_WRAP(Quote)
TARSEL_WRAP(DoQuote)
TARSEL_WRAP(RestGet)
TARSEL_WRAP(RestartGet)
#undef TARSEL_WRAP

} // namespace tarsel
