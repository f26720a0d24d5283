// High-level requests: running their steps one after the other.
#include "ftp/ftpcli.h"
#include "ftp/ftpcli_p.h"

namespace tarsel {

void TCustomFtpCli::HighLevelAsync(TFtpRequest rq, TFtpFctSet steps)
{
    if (m_sessionOpen && steps.Contains(TFtpFct::ftpFctOpen))
        HandleError("FTP component already connected");
    CheckReady();
    m_savedResponse = m_lastResponse;
    m_savedStatusCode = -1;
    TFtpRequest oldType = m_requestType;
    m_requestType = rq;
    m_requestResult = 0;
    m_pendingSteps = steps;
    m_lastStep = TFtpFct::ftpFctNone;
    m_sequenceResult = 0;
    m_inSequence = true;
    m_lastResponse.clear();
    m_errorMessage.clear();
    m_sequenceStep = false;
    m_firstStep = true;
    try {
        NextSequence();
    } catch (const FtpClientDestroyed &) {
        throw;
    } catch (...) {
        m_firstStep = false;
        // A request refused in its first step leaves no sequence state behind.
        if (m_doneReported) {
            m_inSequence = false;
            m_pendingSteps.Clear();
            m_sequenceStep = false;
            m_requestType = oldType;
            m_lastResponse = m_savedResponse;
            m_doneReported = true;
            if (m_state == TFtpState::ftpInternalReady)
                SetState(TFtpState::ftpReady);
        }
        throw;
    }
    m_firstStep = false;
}

void TCustomFtpCli::NextSequence()
{
    if (m_state == TFtpState::ftpAbort) {
        m_pendingSteps.Clear();
        m_sequenceResult = 426;
        m_errorMessage = "426 Operation aborted.";
    }
    m_sequenceStep = true;
    ExtractMoreResults();
    static constexpr TFtpFct order[] = {
        TFtpFct::ftpFctOpen,   TFtpFct::ftpFctUser,    TFtpFct::ftpFctPass,      TFtpFct::ftpFctCwd,
        TFtpFct::ftpFctCDup,   TFtpFct::ftpFctTypeSet, TFtpFct::ftpFctPort,      TFtpFct::ftpFctRest,
        TFtpFct::ftpFctGet,    TFtpFct::ftpFctPut,     TFtpFct::ftpFctAppend,    TFtpFct::ftpFctDir,
        TFtpFct::ftpFctLs,     TFtpFct::ftpFctSyst,    TFtpFct::ftpFctMkd,       TFtpFct::ftpFctRmd,
        TFtpFct::ftpFctRenFrom, TFtpFct::ftpFctRenTo,  TFtpFct::ftpFctSize,      TFtpFct::ftpFctDele,
        TFtpFct::ftpFctPwd,    TFtpFct::ftpFctAbortXfer, TFtpFct::ftpFctQuote,   TFtpFct::ftpFctQuit};
    for (TFtpFct step : order) {
        if (!m_pendingSteps.Contains(step))
            continue;
        TFtpFct previous = m_lastStep;
        m_pendingSteps.Exclude(step);
        if (step == TFtpFct::ftpFctPass && previous == TFtpFct::ftpFctUser && m_statusCode != 331)
            continue; // logged in by USER alone
        if (step == TFtpFct::ftpFctCwd && m_hostDirName.empty())
            continue;
        m_lastStep = step;
        if (m_firstStep) {
            StartStep(step, previous);
            return;
        }
        try {
            StartStep(step, previous);
        } catch (const FtpClientDestroyed &) {
            throw;
        } catch (const std::exception &e) {
            // A later step refused: the request ends here with the refusal.
            m_pendingSteps.Clear();
            m_sequenceStep = false;
            m_doneReported = false;
            m_requestResult = 500;
            if (m_errorMessage.empty())
                m_errorMessage = e.what();
            TriggerDisplay(std::string("! ") + e.what());
            TriggerRequestDone(500);
        }
        return;
    }
    m_pendingSteps.Clear();
    m_sequenceStep = false;
    m_doneReported = false;
    TriggerRequestDone(m_sequenceResult);
}

void TCustomFtpCli::StartStep(TFtpFct step, TFtpFct previous)
{
    switch (step) {
    case TFtpFct::ftpFctOpen: OpenAsync(); break;
    case TFtpFct::ftpFctUser: UserAsync(); break;
    case TFtpFct::ftpFctPass: PassAsync(); break;
    case TFtpFct::ftpFctCwd: CwdAsync(); break;
    case TFtpFct::ftpFctCDup: CDupAsync(); break;
    case TFtpFct::ftpFctTypeSet: TypeSetAsync(); break;
    case TFtpFct::ftpFctPort: PortAsync(); break;
    case TFtpFct::ftpFctRest: RestAsync(); break;
    case TFtpFct::ftpFctGet:
        // A download resumes only when the server accepted REST.
        if (!(previous == TFtpFct::ftpFctRest && m_resumeAt >= 0 && m_statusCode == 350))
            m_resumeAt = 0;
        ExecGetAsync();
        break;
    case TFtpFct::ftpFctPut:
    case TFtpFct::ftpFctAppend:
        // Without the server's 350 a resumed upload would overwrite the remote head.
        if (previous == TFtpFct::ftpFctRest && m_resumeAt > 0 && m_statusCode != 350) {
            m_doneReported = false;
            m_sequenceStep = false;
            m_pendingSteps.Clear();
            m_errorMessage.clear();
            m_requestType = step == TFtpFct::ftpFctPut ? TFtpRequest::ftpPutAsync : TFtpRequest::ftpAppendAsync;
            FailRequest(m_statusCode >= 100 ? m_statusCode : 500,
                        "The server refused to resume the upload: " + m_lastResponse, false);
            return;
        }
        if (step == TFtpFct::ftpFctPut)
            ExecPutAsync();
        else
            ExecAppendAsync();
        break;
    case TFtpFct::ftpFctDir: ExecDirAsync(); break;
    case TFtpFct::ftpFctLs: ExecLsAsync(); break;
    case TFtpFct::ftpFctSyst: SystAsync(); break;
    case TFtpFct::ftpFctMkd: MkdAsync(); break;
    case TFtpFct::ftpFctRmd: RmdAsync(); break;
    case TFtpFct::ftpFctRenFrom: RenFromAsync(); break;
    case TFtpFct::ftpFctRenTo: RenToAsync(); break;
    case TFtpFct::ftpFctSize: SizeAsync(); break;
    case TFtpFct::ftpFctDele: DeleAsync(); break;
    case TFtpFct::ftpFctPwd: PwdAsync(); break;
    case TFtpFct::ftpFctAbortXfer: AbortXferAsync(); break;
    case TFtpFct::ftpFctQuote: QuoteAsync(); break;
    case TFtpFct::ftpFctQuit:
        m_savedResponse = m_lastResponse;
        m_savedStatusCode = m_statusCode;
        QuitAsync();
        break;
    default: break;
    }
}

} // namespace tarsel
