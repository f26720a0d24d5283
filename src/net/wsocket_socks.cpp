// SOCKS client settings.
#include "common/strutil.h"
#include "net/wsocket_p.h"

namespace tarsel {

TCustomSocksWSocket::TCustomSocksWSocket() = default;

void TCustomSocksWSocket::SetSocksLevel(const std::string &value)
{
    if (m_state != TSocketState::wsClosed) {
        RaiseException("Can't change socks level if not closed");
        return;
    }
    if (value != "4" && value != "4A" && value != "4a" && value != "5") {
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    m_socksLevel = str::UpperCase(value);
}

void TCustomSocksWSocket::SetSocksServerImpl(const std::string &value)
{
    if (m_state != TSocketState::wsClosed) {
        RaiseException("Can't change socks server if not closed");
        return;
    }
    m_socksServer = str::Trim(value);
}

void TCustomSocksWSocket::SetSocksPortImpl(const std::string &value)
{
    if (m_state != TSocketState::wsClosed) {
        RaiseException("Can't change socks port if not closed");
        return;
    }
    m_socksPort = str::Trim(value);
}

void TCustomSocksWSocket::Connect()
{
    if (m_socksServer.empty()) {
        TCustomWSocket::Connect();
        return;
    }
    if (!str::SameText(str::Trim(m_protoStr), "tcp")) {
        RaiseException("tcp is the only protocol supported thru socks server");
        return;
    }
    // Connecting directly instead would quietly bypass the proxy the user chose.
    std::string text = "Connect: SOCKS is not supported, cannot connect thru socks server ";
    text += m_socksServer;
    RaiseException(text);
}

void TCustomSocksWSocket::Listen()
{
    if (!m_socksServer.empty()) {
        RaiseException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::AssignDefaultValue()
{
    TCustomWSocket::AssignDefaultValue();
    m_socksServer.clear();
    m_socksPort.clear();
    m_socksLevel.assign(1, '5'); // (plain = "5" trips a false -Wrestrict in GCC 12)
}

void TCustomSocksWSocket::TriggerSocksConnected(int error)
{
    OnSocksConnected.Trigger(this, error);
}

void TCustomSocksWSocket::TriggerSocksError(int error, const std::string &msg)
{
    OnSocksError.Trigger(this, error, msg);
}

} // namespace tarsel
