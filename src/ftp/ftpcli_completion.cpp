// The end of a command and of a request: checking the reply code against the
// accepted ones and reporting exactly one completion.
#include "ftp/ftpcli.h"
#include "ftp/ftpcli_p.h"

#include <QObject>
#include <QTimer>

namespace tarsel {

void TCustomFtpCli::FailRequest(int code, const std::string &response, bool setLastResponse)
{
    if (setLastResponse) {
        m_lastResponse = response;
        m_statusCode = code;
    }
    m_requestResult = code;
    if (m_errorMessage.empty())
        m_errorMessage = response;
    m_next = nullptr;
    TriggerRequestDone(code);
}

void TCustomFtpCli::SetErrorMessage()
{
    if (m_errorMessage.empty())
        m_errorMessage = m_lastResponse;
}

void TCustomFtpCli::NextExecAsync()
{
    TriggerDisplay("< " + m_lastResponse);
    m_statusCode = CodeOf(m_lastResponse);
    bool ok;
    if (!m_acceptedCodes.empty()) {
        ok = false;
        for (int c : m_acceptedCodes)
            ok = ok || c == m_statusCode;
    } else {
        ok = m_statusCode < 500;
    }
    if (ok) {
        m_requestResult = 0;
    } else {
        m_requestResult = m_statusCode;
        SetErrorMessage();
    }
    if (m_passive && m_statusCode == 227)
        m_pasvReply = m_lastResponse;
    ExtractMoreResults();
    if (m_doneStep)
        (this->*m_doneStep)();
    else
        TriggerRequestDone(m_requestResult);
}

void TCustomFtpCli::TriggerRequestDone(int error)
{
    if (m_doneReported)
        return;
    m_doneReported = true;
    if (error == 0 && m_sequenceStep) {
        // A passive upload stays busy while its data connection is made; a REST still to
        // come must find the client ready, or a resumed passive upload could never start.
        // Only right before the upload step: a login or CWD still to come must find it ready.
        bool beforeUpload = (m_lastStep == TFtpFct::ftpFctPort && !m_pendingSteps.Contains(TFtpFct::ftpFctRest)) ||
                            m_lastStep == TFtpFct::ftpFctRest;
        bool uploadWaits = m_passive && beforeUpload &&
                           (m_pendingSteps.Contains(TFtpFct::ftpFctPut) ||
                            m_pendingSteps.Contains(TFtpFct::ftpFctAppend));
        if (m_state != TFtpState::ftpAbort && !uploadWaits)
            SetState(TFtpState::ftpInternalReady);
        NextSequence();
        return;
    }
    m_owedTimer->stop();
    m_xfer.owedReply = false;
    SetState(TFtpState::ftpReady);
    if (error != 0)
        DiscardNewDownloadFile();
    FreeLocalStream();
    if (m_dataSocket->State() != TSocketState::wsClosed)
        m_dataSocket->Close();
    if (m_inSequence && m_savedStatusCode >= 0) {
        m_lastResponse = m_savedResponse;
        m_statusCode = m_savedStatusCode;
    }
    m_inSequence = false;
    m_sequenceStep = false;
    m_pendingSteps.Clear();
    PostRequestDone(error);
}

void TCustomFtpCli::PostRequestDone(int error)
{
    QMetaObject::invokeMethod(
        m_endpoint.get(),
        [this, error] { SafeCall([this, error] { Raise(OnRequestDone, m_requestType, error); }); },
        Qt::QueuedConnection);
}

} // namespace tarsel
