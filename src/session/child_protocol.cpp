// The operation protocol: the gate every operation passes, the common error end, the
// default cancel, the idle watch with its keep-alive, and background exceptions.
#include <QAction>
#include <QPointer>

#include "session/child.h"
#include "uikit/prompts.h"

namespace tarsel {

namespace {
const char *const BusyText = "Please wait for the current command to complete or open another connection. Would you "
                             "like to open another connection?";
const char *const BusyCaption = "Tarsel FTP Busy...";
const char *const LostText = "The connection was lost, would you like to reconnect?";
const char *const LostCaption = "Reconnect?";
} // namespace

bool TFormMdi::CanStartCommand()
{
    const QPointer<TFormMdi> self(this);
    // A connect still in progress, or a listing whose rows are still being read, is as
    // busy as a running request.
    if (Ftp1.Connected() || m_connecting || readingListing()) {
        if (Ftp1.State() == TFtpState::ftpReady && !m_connecting && !readingListing())
            return true;
        const bool another = Prompts().ConfirmBox(QString::fromLatin1(BusyText), QString::fromLatin1(BusyCaption));
        if (!stillHere(self))
            return false;
        if (another) {
            if (QAction *a = m_services.Action(TActionId::ActionNew))
                a->trigger();
        }
        return false;
    }
    if (ConnectionLost) {
        const bool yes = Prompts().ConfirmBox(QString::fromLatin1(LostText), QString::fromLatin1(LostCaption));
        if (!stillHere(self) || !yes)
            return false;
        // The box ran an event loop: another command may have reconnected meanwhile.
        if (Ftp1.Connected() || m_connecting)
            return false;
    }
    ConnectProfile();
    return false; // the command itself is given again once the listing is back
}

void TFormMdi::FailOperation(const std::string &message)
{
    m_listing = false;
    ShowIdle();
    InstallRequestHandler(&TFormMdi::Ftp1RequestDone);
    Timer1.SetEnabled(false);
    ResetProgress();
    InstallCancelHandler(&TFormMdi::CancelBClick);
    ResumeOffset = 0;
    if (Ftp1.StatusCode() == 426) {
        LogLine(QStringLiteral("Error: Timed out!"));
        Prompts().InfoBox(QStringLiteral("The connection timed out while waiting for data from the server.\n"
                                         "Please try again or contact your server administrator."),
                          QStringLiteral("Timed Out!"));
    } else {
        LogLine(QStringLiteral("Error: ") + ShowBytes(message));
    }
}

void TFormMdi::CancelBClick()
{
    if (cancelListingRead())
        return;
    // Also while the name is looked up, the connection is made or the greeting awaited.
    if (Ftp1.Connected() || m_connecting)
        Ftp1.AbortAsync();
}

void TFormMdi::TimeOutTimer()
{
    if (m_closing)
        return;
    // Reading a listing's rows is neither idle nor a stalled request.
    if (readingListing()) {
        TimeOut.Tag = 0;
        return;
    }
    ++TimeOut.Tag;
    const bool running = m_connecting || Ftp1.State() != TFtpState::ftpReady;
    if (!running) {
        if (TimeOutDisabled) {
            if (TimeOut.Tag >= NoopInterval)
                KeepAliveTick(true);
        } else if (TimeOut.Tag >= Ftp1.Timeout()) {
            // Idle for the whole time-out: the session is closed.
            const QPointer<TFormMdi> self(this);
            ConnectionLost = true;
            TimeOut.Tag = 0;
            TimeOut.SetEnabled(false);
            Ftp1.AbortAsync();
            if (stillHere(self))
                LogLine(QStringLiteral("Connection Timed Out!"));
        }
        return;
    }
    // A request (or the connect) that hears nothing for the time-out ends with an error,
    // in keep-alive mode too: keep-alive replaces only the idle close.
    if (TimeOut.Tag >= (TimeOutDisabled ? RequestTimeout : Ftp1.Timeout())) {
        const QPointer<TFormMdi> self(this);
        ConnectionLost = true;
        TimeOut.Tag = 0;
        TimeOut.SetEnabled(false);
        Ftp1.SetStatusCode(426); // the request's error path reports a time-out
        Ftp1.AbortAsync();
        if (stillHere(self))
            LogLine(QStringLiteral("Connection Timed Out!"));
    }
}

void TFormMdi::KeepAliveTick(bool noopAllowed)
{
    if (noopAllowed && KeepAliveEnabled && Ftp1.Connected() && Ftp1.State() == TFtpState::ftpReady) {
        InstallRequestHandler(&TFormMdi::KeepAliveRequestDone);
        Ftp1.SetLocalFileName("NOOP");
        Ftp1.QuoteAsync();
    }
    TimeOut.Tag = 0;
}

void TFormMdi::KeepAliveRequestDone(TCustomFtpCli *, TFtpRequest, int error)
{
    if (error != 0)
        FailOperation(Ftp1.ErrorMessage());
}

void TFormMdi::Ftp1BgException(TCustomFtpCli *, const std::exception &e, bool &)
{
    const QPointer<TFormMdi> self(this);
    const std::string message = e.what();
    ShowIdle();
    if (message == "FTP component not connected") {
        const bool yes = Prompts().ConfirmBox(QString::fromLatin1(LostText), QString::fromLatin1(LostCaption));
        if (!stillHere(self))
            return;
        if (yes && !Ftp1.Connected() && !m_connecting)
            ConnectProfile();
    } else {
        Prompts().ErrorBox(QStringLiteral("There was an error with the connection. Error: ") + ShowBytes(message),
                           QStringLiteral("Connection Error"));
        if (!stillHere(self))
            return;
    }
    TimeOut.Tag = 0;
    m_services.UpdateCommandStates();
}

} // namespace tarsel
