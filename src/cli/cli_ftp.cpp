// tarsel-cli: one FTP session on the client engine, driven request by request through
// the same asynchronous requests the connection windows use.
#include "cli/cli.h"

#include <cctype>
#include <cstdio>
#include <iostream>
#include <optional>

#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include "ftp/ftpcli.h"

#if __has_include("app/settings/profilefile.h")
#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#define TARSEL_CLI_PROFILES 1
#endif

namespace tarsel::cli {

namespace {

constexpr const char *Usage =
    "usage: tarsel-cli [OPTIONS] HOST[:PORT] COMMAND [ARGS...]\n"
    "       tarsel-cli [OPTIONS] --profile NAME COMMAND [ARGS...]\n"
    "       tarsel-cli [OPTIONS] HOST[:PORT] -b FILE|-\n"
    "options: -u USER, -p PASSWORD, --password-file FILE, --active, --passive,\n"
    "         --proxy HOST[:PORT], --ascii, -v, --timeout SECONDS, --data-dir DIR, -b FILE\n"
    "commands: ls [DIR], nlst [DIR], get REMOTE [LOCAL], put LOCAL [REMOTE],\n"
    "          reget REMOTE [LOCAL], reput LOCAL [REMOTE], append LOCAL REMOTE, mkdir DIR,\n"
    "          rmdir DIR, delete FILE, rename FROM TO, size FILE, pwd, cd DIR, quote LINE\n"
    "          (with -b, remote paths after a cd are relative to DIR)\n";

struct UsageError {
    std::string message;
};

struct Options {
    std::optional<std::string> user, password, passwordFile, proxy, profile, dataDir, batch;
    std::optional<bool> passive;
    bool ascii = false;
    bool verbose = false;
    int timeout = 30;
    std::string host;
    std::string port = "21";
    std::vector<std::string> command;
};

// Server text made safe for a terminal: control bytes (escape sequences, NUL, CR, ...)
// are shown as \xNN. Bytes from 0x80 on pass, so UTF-8 names stay readable.
std::string Printable(const std::string &text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f || c == '\\') {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// A command line that carries a password, whatever its case ("PASS", "pass").
bool CarriesPassword(const std::string &shown)
{
    if (shown.size() < 7 || shown.compare(0, 2, "> ") != 0)
        return false;
    std::string verb = shown.substr(2, 5);
    for (char &c : verb)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return verb == "PASS ";
}

std::string BaseName(const std::string &path)
{
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Options ParseArgs(const std::vector<std::string> &args)
{
    Options o;
    std::size_t i = 0;
    auto value = [&](const std::string &opt) -> std::string {
        if (i + 1 >= args.size())
            throw UsageError{opt + " needs a value"};
        return args[++i];
    };
    bool haveHost = false;
    for (; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "-u") o.user = value(a);
        else if (a == "-p") o.password = value(a);
        else if (a == "--password-file") o.passwordFile = value(a);
        else if (a == "--active") o.passive = false;
        else if (a == "--passive") o.passive = true;
        else if (a == "--proxy") o.proxy = value(a);
        else if (a == "--ascii") o.ascii = true;
        else if (a == "-v") o.verbose = true;
        else if (a == "--profile") o.profile = value(a);
        else if (a == "--data-dir") o.dataDir = value(a);
        else if (a == "-b") o.batch = value(a);
        else if (a == "--timeout") {
            std::string t = value(a);
            char *end = nullptr;
            long v = std::strtol(t.c_str(), &end, 10);
            if (t.empty() || *end || v <= 0 || v > 86400)
                throw UsageError{"--timeout needs a number of seconds"};
            o.timeout = static_cast<int>(v);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            throw UsageError{"unknown option " + a};
        } else if (!o.profile && !haveHost) {
            haveHost = true;
            std::size_t colon = a.rfind(':');
            o.host = colon == std::string::npos ? a : a.substr(0, colon);
            if (colon != std::string::npos)
                o.port = a.substr(colon + 1);
            if (o.host.empty() || o.port.empty() || o.port.find_first_not_of("0123456789") != std::string::npos)
                throw UsageError{"bad HOST[:PORT]: " + a};
        } else {
            o.command.assign(args.begin() + static_cast<long>(i), args.end());
            break;
        }
    }
    if (!o.profile && !haveHost)
        throw UsageError{"no host given"};
    if (o.batch && !o.command.empty())
        throw UsageError{"-b takes no COMMAND"};
    if (!o.batch && o.command.empty())
        throw UsageError{"no command given"};
    return o;
}

// Splits a batch line as a shell would: blanks separate, quotes group, backslash escapes.
std::vector<std::string> SplitLine(const std::string &line)
{
    std::vector<std::string> words;
    std::string cur;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '\\' && quote == '"' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
                cur += line[++i];
            else
                cur += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            cur += line[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (inWord)
                words.push_back(cur);
            cur.clear();
            inWord = false;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (quote)
        throw UsageError{"unterminated quote in: " + line};
    if (inWord)
        words.push_back(cur);
    return words;
}

class Session {
public:
    explicit Session(const Options &o) : m_opt(o)
    {
        m_ftp.OnRequestDone = [this](TCustomFtpCli *, TFtpRequest, int error) {
            m_error = error;
            m_done = true;
            m_loop.quit();
        };
        m_ftp.OnDisplay = [this](TCustomFtpCli *, std::string &msg) {
            Alive();
            if (!m_opt.verbose)
                return;
            std::string shown = CarriesPassword(msg) ? "> PASS (Password hidden)" : Printable(msg);
            std::cerr << shown << '\n';
        };
        m_ftp.OnResponse = [this](TCustomFtpCli *c) {
            // A reply that never ends (a continuation line now and then) is not alive.
            const std::string &l = c->LastResponse();
            const bool final = l.size() >= 3 && std::isdigit(static_cast<unsigned char>(l[0])) &&
                               std::isdigit(static_cast<unsigned char>(l[1])) &&
                               std::isdigit(static_cast<unsigned char>(l[2])) && (l.size() == 3 || l[3] == ' ');
            if (final)
                m_replyStart = -1;
            else if (m_replyStart < 0)
                m_replyStart = FtpNowMs();
            Alive();
            // Bounded like the client's own reply limits: a flooding server cannot grow it.
            if (m_replyLines.size() < static_cast<std::size_t>(FtpMaxReplyLines))
                m_replyLines.push_back(c->LastResponse());
        };
        m_ftp.OnProgress = [this](TCustomFtpCli *, std::int64_t count, bool &) {
            Alive();
            ShowProgress(count);
        };
        m_ftp.OnDisplayFile = [](TCustomFtpCli *, std::string &data) {
            std::fwrite(data.data(), 1, data.size(), stdout);
        };
        m_watchdog.setSingleShot(true);
        QObject::connect(&m_watchdog, &QTimer::timeout, [this] {
            // Bytes count, not lines: a reply trickling in byte by byte is alive.
            const std::int64_t seen = Received();
            if (seen != m_seenBytes && !ReplyTooSlow()) {
                m_seenBytes = seen;
                m_watchdog.start(m_opt.timeout * 1000);
                return;
            }
            m_slowReply = ReplyTooSlow();
            m_timedOut = true;
            m_ftp.AbortAsync();
            m_loop.quit();
        });
        m_tty = ::isatty(2) == 1;
    }

    // Runs one request to its end; 0 on success.
    int Run(void (TCustomFtpCli::*request)())
    {
        m_done = false;
        m_timedOut = false;
        m_replyLines.clear();
        m_replyStart = -1;
        m_slowReply = false;
        try {
            (m_ftp.*request)();
        } catch (const std::exception &e) {
            m_message = e.what();
            return -1;
        }
        Alive();
        while (!m_done && !m_timedOut)
            m_loop.exec();
        m_watchdog.stop();
        EndProgress();
        if (m_timedOut) {
            m_message = m_slowReply ? "timed out: a reply did not end within " + std::to_string(m_opt.timeout * 10) +
                                          " seconds"
                                    : "timed out: nothing arrived for " + std::to_string(m_opt.timeout) + " seconds";
            return -1;
        }
        if (m_error != 0)
            m_message = !m_ftp.ErrorMessage().empty() ? m_ftp.ErrorMessage() : m_ftp.LastResponse();
        return m_error;
    }

    bool Login(const std::string &user, const std::string &password, const std::string &startDir)
    {
        if (Run(&TCustomFtpCli::OpenAsync) != 0)
            return false;
        m_ftp.SetUserName(user);
        m_ftp.SetPassWord(password);
        if (Run(&TCustomFtpCli::UserAsync) != 0)
            return false;
        if (m_ftp.StatusCode() == 331 && Run(&TCustomFtpCli::PassAsync) != 0)
            return false;
        if (!startDir.empty()) {
            m_ftp.SetHostDirName(startDir);
            if (Run(&TCustomFtpCli::CwdAsync) != 0)
                return false;
        }
        return Run(m_opt.ascii ? &TCustomFtpCli::TypeAsciiAsync : &TCustomFtpCli::TypeBinaryAsync) == 0;
    }

    // One command; false on failure (the message is kept).
    bool Command(const std::vector<std::string> &cmd)
    {
        const std::string &verb = cmd[0];
        auto args = [&](std::size_t min, std::size_t max) {
            if (cmd.size() - 1 < min || cmd.size() - 1 > max)
                throw UsageError{"wrong number of arguments for " + verb};
        };
        auto arg = [&](std::size_t k, const std::string &def = "") { return k < cmd.size() ? cmd[k] : def; };
        m_ftp.SetDisplayFileFlag(false);
        m_ftp.SetResumeAt(0);
        if (verb == "ls" || verb == "nlst") {
            args(0, 1);
            m_ftp.SetHostFileName(arg(1));
            m_ftp.SetDisplayFileFlag(true);
            m_ftp.SetDisplayFileMode(TFtpDisplayFileMode::ftpBinary);
            m_ftp.SetLocalFileName("");
            m_ftp.SetLocalStream(nullptr);
            bool ok = Run(verb == "ls" ? &TCustomFtpCli::DirAsync : &TCustomFtpCli::LsAsync) == 0;
            std::fflush(stdout);
            return ok;
        }
        if (verb == "get" || verb == "reget") {
            args(1, 2);
            std::string local = arg(2, BaseName(cmd[1]));
            if (local.empty() || local == "." || local == "..")
                throw UsageError{"give a LOCAL name for " + cmd[1]};
            m_ftp.SetHostFileName(cmd[1]);
            m_ftp.SetLocalFileName(local);
            return Run(verb == "get" ? &TCustomFtpCli::GetAsync : &TCustomFtpCli::RestGetAsync) == 0;
        }
        if (verb == "put" || verb == "reput") {
            args(1, 2);
            std::string remote = arg(2, BaseName(cmd[1]));
            m_ftp.SetHostFileName(remote);
            m_ftp.SetLocalFileName(cmd[1]);
            if (verb == "put")
                return Run(&TCustomFtpCli::PutAsync) == 0;
            // Resume after what the server already holds.
            std::int64_t have = 0;
            if (Run(&TCustomFtpCli::SizeAsync) == 0)
                have = m_ftp.ReplySize();
            m_ftp.SetLocalFileName(cmd[1]);
            m_ftp.SetResumeAt(have);
            return Run(&TCustomFtpCli::RestPutAsync) == 0;
        }
        if (verb == "append") {
            args(2, 2);
            m_ftp.SetLocalFileName(cmd[1]);
            m_ftp.SetHostFileName(cmd[2]);
            return Run(&TCustomFtpCli::AppendAsync) == 0;
        }
        if (verb == "mkdir" || verb == "rmdir" || verb == "delete" || verb == "size") {
            args(1, 1);
            m_ftp.SetHostFileName(cmd[1]);
            if (verb == "mkdir")
                return Run(&TCustomFtpCli::MkdAsync) == 0;
            if (verb == "rmdir")
                return Run(&TCustomFtpCli::RmdAsync) == 0;
            if (verb == "delete")
                return Run(&TCustomFtpCli::DeleAsync) == 0;
            if (Run(&TCustomFtpCli::SizeAsync) != 0)
                return false;
            std::cout << m_ftp.ReplySize() << std::endl;
            return true;
        }
        if (verb == "rename") {
            args(2, 2);
            m_ftp.SetHostFileName(cmd[1]);
            m_ftp.SetLocalFileName(cmd[2]);
            return Run(&TCustomFtpCli::RenAsync) == 0;
        }
        if (verb == "cd") {
            args(1, 1);
            m_ftp.SetHostDirName(cmd[1]);
            if (Run(&TCustomFtpCli::CwdAsync) == 0)
                return true;
            m_message = "cd " + cmd[1] + ": " + m_message;
            return false;
        }
        if (verb == "pwd") {
            args(0, 0);
            if (Run(&TCustomFtpCli::PwdAsync) != 0)
                return false;
            std::cout << Printable(m_ftp.ReplyDirName()) << std::endl;
            return true;
        }
        if (verb == "quote") {
            if (cmd.size() < 2)
                throw UsageError{"quote needs a LINE"};
            std::string line = cmd[1];
            for (std::size_t k = 2; k < cmd.size(); ++k)
                line += " " + cmd[k];
            m_ftp.SetLocalFileName(line);
            int err = Run(&TCustomFtpCli::QuoteAsync);
            for (const auto &l : m_replyLines)
                std::cout << Printable(l) << '\n';
            std::cout.flush();
            return err == 0;
        }
        throw UsageError{"unknown command " + verb};
    }

    void Quit()
    {
        if (m_ftp.Connected())
            Run(&TCustomFtpCli::QuitAsync);
    }

    TFtpClient &Ftp() { return m_ftp; }
    const std::string &Message() const { return m_message; }

private:
    void Alive()
    {
        m_seenBytes = Received();
        // Restarted by every line, the watchdog would never see a reply that never ends.
        m_watchdog.start(ReplyTooSlow() ? 0 : m_opt.timeout * 1000);
    }

    std::int64_t Received() const
    {
        return m_ftp.ControlSocket()->ReadCount() + m_ftp.DataSocket()->ReadCount();
    }

    bool ReplyTooSlow() const
    {
        return m_replyStart >= 0 && FtpNowMs() - m_replyStart > std::int64_t(m_opt.timeout) * 10000;
    }

    void ShowProgress(std::int64_t count)
    {
        if (!m_tty)
            return;
        std::int64_t now = FtpNowMs();
        if (now - m_lastShown < 100)
            return;
        m_lastShown = now;
        std::fprintf(stderr, "\r%lld bytes", static_cast<long long>(count));
        m_progressShown = true;
    }

    void EndProgress()
    {
        if (m_progressShown)
            std::fprintf(stderr, "\r\033[K");
        m_progressShown = false;
    }

    const Options &m_opt;
    TFtpClient m_ftp;
    QEventLoop m_loop;
    QTimer m_watchdog;
    std::int64_t m_seenBytes = 0;
    std::int64_t m_replyStart = -1; // when the reply in progress began, -1 when none
    bool m_slowReply = false;
    bool m_done = false;
    bool m_timedOut = false;
    int m_error = 0;
    std::string m_message;
    std::vector<std::string> m_replyLines;
    bool m_tty = false;
    bool m_progressShown = false;
    std::int64_t m_lastShown = 0;
};

int Fail(const std::string &msg)
{
    std::cerr << "tarsel-cli: " << Printable(msg) << std::endl;
    return 1;
}

} // namespace

int RunFtp(const std::vector<std::string> &args)
{
    Options o;
    try {
        o = ParseArgs(args);
    } catch (const UsageError &e) {
        std::cerr << "tarsel-cli: " << e.message << "\n" << Usage;
        return 2;
    }
    static int argc = 1;
    static char name[] = "tarsel-cli";
    static char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    std::string user = "anonymous", password = "tarsel@example.org", startDir, proxy;
    bool passive = false;
    std::string host = o.host, port = o.port;
    if (o.profile) {
#ifdef TARSEL_CLI_PROFILES
        if (o.dataDir)
            SetDataFolder(QString::fromLocal8Bit(o.dataDir->c_str()));
        ProfileFile file(ProfileFilePath());
        if (!file.SectionExists(*o.profile)) {
            std::cerr << "tarsel-cli: no profile named " << *o.profile << " in " << ProfileFilePath().toStdString()
                      << "\n";
            return 2;
        }
        Profile p = ReadProfile(file, *o.profile);
        host = p.HostName;
        port = std::to_string(p.Port);
        if (!p.UserName.empty())
            user = p.UserName;
        if (!p.PassWord.empty())
            password = p.PassWord;
        startDir = p.StartDir;
        passive = p.Passive;
        if (p.Proxy)
            proxy = p.ProxyName;
#else
        std::cerr << "tarsel-cli: --profile is not available in this build\n";
        return 2;
#endif
    }
    if (o.user)
        user = *o.user;
    if (o.password)
        password = *o.password;
    if (o.passwordFile) {
        QFile f(QFile::decodeName(QByteArray::fromStdString(*o.passwordFile)));
        if (!f.open(QIODevice::ReadOnly))
            return Fail("cannot read the password file " + *o.passwordFile);
        QByteArray line = f.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        password = line.toStdString();
    }
    if (o.passive)
        passive = *o.passive;
    if (o.proxy)
        proxy = *o.proxy;

    Session s(o);
    TFtpClient &ftp = s.Ftp();
    try {
        if (!proxy.empty()) {
            ftp.SetConnectionType(TFtpConnectionType::ftpProxy);
            ftp.SetProxyServer(proxy);
        }
        ftp.SetPassive(passive);
        ftp.SetHostName(host);
        ftp.SetPort(port);
    } catch (const std::exception &e) {
        return Fail(e.what());
    }
    if (!s.Login(user, password, startDir))
        return Fail(s.Message());

    int status = 0;
    try {
        if (o.batch) {
            QFile in;
            bool opened = *o.batch == "-" ? in.open(stdin, QIODevice::ReadOnly)
                                          : (in.setFileName(QFile::decodeName(QByteArray::fromStdString(*o.batch))),
                                             in.open(QIODevice::ReadOnly));
            if (!opened)
                return Fail("cannot read " + *o.batch);
            while (!in.atEnd()) {
                std::string line = in.readLine().toStdString();
                while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                    line.pop_back();
                std::vector<std::string> words = SplitLine(line);
                if (words.empty() || words[0][0] == '#')
                    continue;
                if (!s.Command(words)) {
                    status = Fail(s.Message());
                    break;
                }
            }
        } else if (!s.Command(o.command)) {
            status = Fail(s.Message());
        }
    } catch (const UsageError &e) {
        std::cerr << "tarsel-cli: " << e.message << "\n" << Usage;
        status = 2;
    }
    s.Quit();
    return status;
}

} // namespace tarsel::cli
