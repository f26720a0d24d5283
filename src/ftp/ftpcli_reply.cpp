// Reading the control connection: splitting it into reply lines, bounding what a
// server may send, and taking results (directory, size) out of replies.
#include "ftp/ftpcli.h"
#include "ftp/ftpcli_p.h"

#include <cstring>

#include "common/strutil.h"

namespace tarsel {

namespace {

// Position after the leading blanks, the reply code and the blanks behind it.
std::size_t SkipReplyCode(const std::string &reply)
{
    auto ws = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t i = 0;
    while (i < reply.size() && ws(reply[i]))
        ++i;
    while (i < reply.size() && IsDigit(reply[i]))
        ++i;
    while (i < reply.size() && ws(reply[i]))
        ++i;
    return i;
}

} // namespace

std::string TCustomFtpCli::ExtractDirName(const std::string &reply)
{
    std::size_t i = SkipReplyCode(reply);
    std::string name;
    if (i >= reply.size() || reply[i] != '"')
        return name;
    for (++i; i < reply.size(); ++i) {
        if (reply[i] == '"') {
            if (i + 1 < reply.size() && reply[i + 1] == '"') {
                name += '"';
                ++i;
            } else {
                break;
            }
        } else {
            name += reply[i];
        }
    }
    return name;
}

std::int64_t TCustomFtpCli::ExtractSize(const std::string &reply)
{
    std::size_t i = SkipReplyCode(reply);
    std::size_t start = i;
    while (i < reply.size() && IsDigit(reply[i]))
        ++i;
    if (i == start)
        return -1;
    auto v = str::ToInt64(reply.substr(start, i - start));
    return v ? *v : -1;
}

void TCustomFtpCli::ExtractMoreResults()
{
    if (m_requestResult != 0)
        return;
    switch (m_lastStep) {
    case TFtpFct::ftpFctSize: {
        std::int64_t size = ExtractSize(m_lastResponse);
        if (size >= 0) {
            m_replySize = size;
        } else {
            // A size of 0 reported as success would be believed.
            m_requestResult = 500;
            m_errorMessage = "500 Unreadable size in reply: " + m_lastResponse;
        }
        break;
    }
    case TFtpFct::ftpFctPwd:
        m_replyDirName = ExtractDirName(m_lastResponse);
        if (m_replyDirName.empty() && m_statusCode == 257) {
            // Some servers answer without quotes: "257 /home/user is current directory".
            std::size_t i = SkipReplyCode(m_lastResponse);
            std::size_t end = m_lastResponse.find_first_of(" \t", i);
            m_replyDirName = m_lastResponse.substr(i, end == std::string::npos ? std::string::npos : end - i);
        }
        if (m_replyDirName.empty()) {
            m_requestResult = 500;
            m_errorMessage = "500 No directory in reply: " + m_lastResponse;
        }
        break;
    case TFtpFct::ftpFctCwd:
    case TFtpFct::ftpFctMkd:
    case TFtpFct::ftpFctCDup:
        m_replyDirName = ExtractDirName(m_lastResponse);
        break;
    default:
        break;
    }
}

void TCustomFtpCli::ControlSocketDataAvailable(int error)
{
    int room = 4095 - m_replyLen;
    if (room <= 0) {
        ControlOverflow("Reply line too long");
        return;
    }
    int n = m_controlSocket->Receive(m_replyBuffer.data() + m_replyLen, room);
    if (n == 0) {
        m_controlSocket->Close();
        return;
    }
    if (n < 0)
        return;
    m_replyLen += n;
    bool acceptLF = m_options.Contains(TFtpOption::ftpAcceptLF);
    while (m_replyLen > 0) {
        char *buf = m_replyBuffer.data();
        int end = -1;   // index where the line text ends
        int after = -1; // index of the first byte after the line end
        for (int i = 0; i < m_replyLen; ++i) {
            if (acceptLF ? buf[i] == '\n' : (buf[i] == '\r' && i + 1 < m_replyLen && buf[i + 1] == '\n')) {
                end = i;
                after = acceptLF ? i + 1 : i + 2;
                break;
            }
        }
        if (end < 0) {
            if (m_replyLen >= 4095)
                ControlOverflow("Reply line too long");
            return;
        }
        std::string line(buf, static_cast<std::size_t>(end));
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        std::memmove(buf, buf + after, static_cast<std::size_t>(m_replyLen - after));
        m_replyLen -= after;
        HandleLine(line, error);
        if (m_controlSocket->State() != TSocketState::wsConnected) {
            m_replyLen = 0;
            return;
        }
    }
}

// The server sent more than the client is willing to hold: give up the connection.
void TCustomFtpCli::ControlOverflow(const std::string &why)
{
    m_replyLen = 0;
    m_multiCode.clear();
    m_multiLines = 0;
    m_multiBytes = 0;
    TriggerDisplay("! " + why + ", closing the connection");
    m_lastResponse = "500 " + why;
    m_statusCode = 500;
    if (!m_doneReported) {
        m_requestResult = 500;
        SetErrorMessage();
    }
    if (m_controlSocket->State() != TSocketState::wsClosed)
        m_controlSocket->Close();
}

void TCustomFtpCli::HandleLine(const std::string &line, int dataError)
{
    m_lastResponse = line;
    Raise(OnResponse);

    // Inside a multi-line reply only "NNN " with the opening code ends it.
    bool final = false;
    if (!m_multiCode.empty()) {
        if (line.size() > m_multiCode.size() && line.compare(0, m_multiCode.size(), m_multiCode) == 0 &&
            line[m_multiCode.size()] == ' ') {
            m_multiCode.clear();
            final = true;
        } else {
            ++m_multiLines;
            m_multiBytes += static_cast<std::int64_t>(line.size()) + 1;
            if (m_multiLines > FtpMaxReplyLines || m_multiBytes > FtpMaxReplyBytes) {
                TriggerDisplay("< " + line);
                ControlOverflow("Reply too long");
                return;
            }
        }
    } else if (!line.empty() && IsDigit(line[0])) {
        std::size_t n = DigitRun(line);
        if (n < line.size() && line[n] == '-') {
            m_multiCode = line.substr(0, n);
            ++m_multiLines;
            m_multiBytes += static_cast<std::int64_t>(line.size()) + 1;
        } else {
            final = true;
        }
    } else {
        // A line without a reply code counts toward the limits of the reply it precedes:
        // a flood of them must end like an endless reply.
        ++m_multiLines;
        m_multiBytes += static_cast<std::int64_t>(line.size()) + 1;
        if (m_multiLines > FtpMaxReplyLines || m_multiBytes > FtpMaxReplyBytes) {
            TriggerDisplay("< " + line);
            ControlOverflow("Reply too long");
            return;
        }
    }
    bool badCode = false;
    if (final) {
        m_multiLines = 0;
        m_multiBytes = 0;
        const std::size_t n = DigitRun(line);
        const int code = CodeOf(line);
        badCode = n != 3 || code < 100 || code > 599;
    }

    switch (m_state) {
    case TFtpState::ftpWaitingBanner: {
        TriggerDisplay("< " + line);
        if (!final)
            return;
        int code = CodeOf(line);
        m_statusCode = code;
        if (code == 120 && !badCode)
            return; // ready in a few minutes: the 220 follows
        if (code != 220 || badCode) {
            if (m_errorMessage.empty())
                m_errorMessage = line;
            m_requestResult = code;
            m_controlSocket->Close();
            return;
        }
        SetState(TFtpState::ftpConnected);
        Raise(OnSessionConnected, dataError);
        m_requestResult = 0;
        TriggerRequestDone(0);
        break;
    }
    case TFtpState::ftpWaitingResponse:
        if (!final) {
            TriggerDisplay("< " + line);
            return;
        }
        m_statusCode = CodeOf(line);
        if (badCode) {
            // Not a reply at all: neither success nor a known failure.
            TriggerDisplay("< " + line);
            m_requestResult = 500;
            m_errorMessage = "500 Invalid reply from the server: " + line;
            m_statusCode = 500;
            m_next = nullptr;
            m_pendingSteps.Clear();
            m_sequenceStep = false;
            m_xfer.owedReply = false;
            TriggerRequestDone(500);
            return;
        }
        if (!m_next)
            HandleError("Program error: FNext is nil");
        (this->*m_next)();
        break;
    default:
        TriggerDisplay("< " + line);
        break;
    }
}

} // namespace tarsel
