#pragma once
// A main window hosting connection windows against a scripted FTP server, with the
// settings store and the data folder in a temporary folder, the prompts scripted, the
// window timers ticked by hand and every status text recorded.

#include <QComboBox>
#include <QDir>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#include "app/settings/treg.h"
#include "app/tformmain.h"
#include "session/child.h"
#include "support/scriptedftpserver.h"
#include "uikit/scriptedprompts.h"

namespace tarsel::test {

// Forwards to the main window and keeps every status text posted.
class RecordingServices : public IMainServices {
public:
    explicit RecordingServices(TFormMain &main) : m_main(main) {}
    void PostStatus(IConnectionWindow *w, int panel, const QString &text) override
    {
        statuses.append(QStringLiteral("%1:%2").arg(panel).arg(text));
        m_main.PostStatus(w, panel, text);
    }
    void UpdateConnectionTab(IConnectionWindow *w) override { m_main.UpdateConnectionTab(w); }
    void UpdateCommandStates() override { m_main.UpdateCommandStates(); }
    void RemoveConnectionTab(IConnectionWindow *w) override { m_main.RemoveConnectionTab(w); }
    IConnectionWindow *ActiveConnectionWindow() const override { return m_main.ActiveConnectionWindow(); }
    IPrompts &Prompts() override { return m_main.Prompts(); }
    LocTree &GetLocTree() override { return m_main.GetLocTree(); }
    LocList &GetLocList() override { return m_main.GetLocList(); }
    QStringList &DragList() override { return m_main.DragList(); }
    QAction *Action(TActionId id) const override { return m_main.Action(id); }

    QStringList statuses;

private:
    TFormMain &m_main;
};

struct SessionFixture {
    QTemporaryDir dir;
    TScriptedPrompts prompts;
    std::unique_ptr<TFormMain> main;
    std::unique_ptr<RecordingServices> services;
    ScriptedFtpServer server;
    TSessionSeams seams;

    SessionFixture()
    {
        TReg::SetRootFolder(dir.path());
        QDir().mkpath(dir.path() + "/data");
        SetDataFolder(dir.path() + "/data");
        seams.ManualTimers = true;
        main = std::make_unique<TFormMain>(&prompts);
        services = std::make_unique<RecordingServices>(*main);
        main->SetConnectionWindowFactory([this](TFormMain &, const std::string &profile) -> IConnectionWindow * {
            return TFormMdi::Create(*services, profile, seams);
        });
        main->resize(900, 700);
        main->show();
    }

    ~SessionFixture()
    {
        if (main)
            main->CloseAllConnections();
        main.reset();
        SetDataFolder(QString());
        TReg::SetRootFolder(QString());
    }

    bool startServer() { return server.start(); }

    // The host name of the profiles addProfile writes.
    std::string host = "127.0.0.1";

    // A profile on the scripted server (or another port), saved to accounts.dat.
    void addProfile(const std::string &name, const std::string &startDir = {}, int serverType = 0,
                    quint16 port = 0, const std::string &user = "user", const std::string &pass = "secret")
    {
        ProfileFile f(ProfileFilePath());
        Profile p;
        p.Name = name;
        p.HostName = host;
        p.Port = port ? port : server.port();
        p.UserName = user;
        p.PassWord = pass;
        p.StartDir = startDir;
        p.ServerType = serverType;
        p.Passive = true;
        WriteProfile(f, p);
        QVERIFY(f.Save());
        main->LoadProfileNames();
    }

    static void setting(const char *name, int value)
    {
        TReg::WriteInteger(QString::fromLatin1(settings::Section), QString::fromLatin1(name), value);
    }

    // Quick Connect with the profile chosen in ComboQuick.
    TFormMdi *quickConnect(const QString &profile)
    {
        const int i = main->ComboQuick->findText(profile);
        if (i < 0)
            return nullptr;
        main->ComboQuick->setCurrentIndex(i);
        const int before = main->ConnectionCount();
        main->ActionQuickConExecute();
        if (main->ConnectionCount() != before + 1)
            return nullptr;
        return dynamic_cast<TFormMdi *>(main->ConnectionWindow(main->ConnectionCount() - 1));
    }

    // Connected, idle and showing a listing.
    static bool idle(TFormMdi *w)
    {
        return w && w->Ftp1.Connected() && w->Ftp1.State() == TFtpState::ftpReady && w->DirCombo->isEnabled() &&
               w->RemoteDirs->Model()->RowCount() > 0;
    }

    static bool waitIdle(TFormMdi *w, int ms = 10000)
    {
        return QTest::qWaitFor([w] { return idle(w); }, ms);
    }

    static bool logHas(TFormMdi *w, const QString &line) { return w->LogList.contains(line); }

    static bool waitLog(TFormMdi *w, const QString &line, int ms = 10000)
    {
        return QTest::qWaitFor([w, line] { return w->LogList.contains(line); }, ms);
    }

    // Lets queued notices run until a marker posted now has been handled.
    static void settle()
    {
        for (int i = 0; i < 3; ++i) {
            bool seen = false;
            QObject ctx;
            QMetaObject::invokeMethod(&ctx, [&seen] { seen = true; }, Qt::QueuedConnection);
            (void)QTest::qWaitFor([&seen] { return seen; }, 1000);
        }
    }

    static QStringList captions(TRemoteList *list)
    {
        QStringList out;
        for (int i = 0; i < list->Model()->RowCount(); ++i)
            out.append(QString::fromStdString(list->Model()->Row(i).Caption));
        return out;
    }

    static QStringList commandVerbs(const ScriptedFtpServer &s)
    {
        QStringList out;
        for (const QByteArray &c : s.commands) {
            const int sp = c.indexOf(' ');
            out.append(QString::fromLatin1((sp < 0 ? c : c.left(sp)).toUpper()));
        }
        return out;
    }

    // Serves a Unix listing per directory and keeps a current directory: CWD changes it
    // (".." goes up), PWD reports it, LIST sends its listing.
    void serveTree(std::map<QByteArray, QByteArray> listings)
    {
        tree = std::move(listings);
        server.on("PWD", [this](const QByteArray &) { server.line("257 \"" + cwd + "\" is the current directory"); });
        server.on("CWD", [this](const QByteArray &arg) {
            QByteArray target = arg;
            if (arg == "..") {
                const int slash = cwd.lastIndexOf('/');
                target = slash <= 0 ? QByteArray("/") : cwd.left(slash);
            } else if (!arg.startsWith('/')) {
                target = (cwd == "/" ? QByteArray("/") : cwd + "/") + arg;
            }
            if (tree.count(target) == 0) {
                server.line("550 Failed to change directory.");
                return;
            }
            cwd = target;
            server.line("250 Directory successfully changed.");
        });
        server.on("LIST", [this](const QByteArray &) {
            const QByteArray body = tree.count(cwd) ? tree[cwd] : QByteArray();
            server.line("150 Here comes the directory listing.");
            server.sendData(body, [this] { server.line("226 Directory send OK."); });
        });
    }
    std::map<QByteArray, QByteArray> tree;
    QByteArray cwd = "/";
};

inline QByteArray unixFile(const QByteArray &name, qint64 size = 10)
{
    return "-rw-r--r--    1 ftp      ftp      " + QByteArray::number(size) + " Jan 01 12:00 " + name + "\r\n";
}
inline QByteArray unixDir(const QByteArray &name)
{
    return "drwxr-xr-x    2 ftp      ftp      4096 Jan 01 12:00 " + name + "\r\n";
}

} // namespace tarsel::test
