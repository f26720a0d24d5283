#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

#include "app/settings/datafolder.h"
#include "app/settings/treg.h"
#include "app/tformmain.h"
#include "common/version.h"
#include "dialogs/about.h"
#include "dialogs/dirinfo.h"
#include "dialogs/dlgapi.h"
#include "uikit/scriptedprompts.h"

using namespace tarsel;

namespace {
// Scripted prompts that also keep every save request, to check what the save dialog
// was asked to offer.
class TRecordingPrompts : public TScriptedPrompts {
public:
    QString AskSaveFileName(const TSaveFileRequest &request) override
    {
        Requests << request;
        return TScriptedPrompts::AskSaveFileName(request);
    }
    QList<TSaveFileRequest> Requests;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString failureReason(const QString &path, const QByteArrayList &lines)
{
    QString reason;
    if (WriteTextLines(path, lines, &reason))
        return QStringLiteral("<written>");
    return reason;
}

// Limits the size of files this process may write, as a full disk would.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit l = m_old;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
} // namespace

class TestInfoDialogs : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void versionText_data()
    {
        QTest::addColumn<QList<int>>("v");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.0.1.2") << QList<int>{1, 0, 1, 2} << "Version: 1.0  Release 1  Build (2)";
        QTest::newRow("2.5.0.17") << QList<int>{2, 5, 0, 17} << "Version: 2.5  Release 0  Build (17)";
        QTest::newRow("10.11.12.13") << QList<int>{10, 11, 12, 13} << "Version: 10.11  Release 12  Build (13)";
    }
    void versionText()
    {
        QFETCH(QList<int>, v);
        QFETCH(QString, text);
        QCOMPARE(VersionText(v[0], v[1], v[2], v[3]), text);
    }

    // The about box shows the version the build was given, in the fixed format.
    void appVersionFromProjectVersion()
    {
        const QStringList parts = QStringLiteral(TARSEL_VERSION_STRING).split('.');
        QCOMPARE(parts.size(), 4);
        QCOMPARE(AppVersionText(), QStringLiteral("Version: %1.%2  Release %3  Build (%4)")
                                       .arg(parts[0], parts[1], parts[2], parts[3]));
    }

    void aboutBox()
    {
        TScriptedPrompts prompts;
        TFormAbout about(prompts);
        QCOMPARE(about.windowTitle(), QStringLiteral("About Tarsel FTP"));
        QCOMPARE(about.Label1->text(), QStringLiteral("Tarsel FTP"));
        QCOMPARE(about.LabVersion->text(), AppVersionText());
        QCOMPARE(about.size(), QSize(400, 283));
        QVERIFY(about.Memo1->isReadOnly());
        QVERIFY(about.Button1->isDefault());
        // Nothing in the box is read as markup.
        for (QLabel *l : about.findChildren<QLabel *>())
            QCOMPARE(l->textFormat(), Qt::PlainText);
        QVERIFY(weblinks::MakerHome().host().endsWith(".example"));
        QCOMPARE(about.Label4->text(), weblinks::MakerHome().host());

        // The link turns red under the mouse, blue again outside it, and opens the page.
        about.show();
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QApplication::sendEvent(about.Label4, &enter);
        QCOMPARE(about.Label4->palette().color(QPalette::WindowText), QColor(Qt::red));
        QApplication::sendEvent(about.Label4, &leave);
        QCOMPARE(about.Label4->palette().color(QPalette::WindowText), QColor(Qt::blue));
        prompts.ExpectOpenUrl(weblinks::MakerHome());
        QTest::mouseClick(about.Label4, Qt::LeftButton);
        TARSEL_VERIFY_PROMPTS(prompts);
    }

    void saveDialogRequest()
    {
        TRecordingPrompts prompts;
        QWidget owner;
        TDlgs dlgs(&owner);
        dlgs.Filter = {TextFileFilter(), {QStringLiteral("All Files"), QStringLiteral("*")}};
        dlgs.InitialDir = m_dir->path();
        dlgs.FileName = QStringLiteral("/earlier/choice.txt");

        prompts.ExpectSaveFileName(QString(), QString()); // cancelled
        QVERIFY(!dlgs.ExecuteSave(prompts));
        QCOMPARE(dlgs.FileName, QStringLiteral("/earlier/choice.txt"));

        prompts.ExpectSaveFileName(QString(), path("listing"));
        QVERIFY(dlgs.ExecuteSave(prompts));
        QCOMPARE(dlgs.FileName, path("listing"));
        TARSEL_VERIFY_PROMPTS(prompts);

        QCOMPARE(prompts.Requests.size(), 2);
        const TSaveFileRequest &r = prompts.Requests.last();
        QCOMPARE(r.Owner, &owner);
        QCOMPARE(r.InitialDir, m_dir->path());
        QCOMPARE(r.Filters, QStringList({"Text Files (*.txt)", "All Files (*)"}));
        QVERIFY(r.Title.isEmpty());
        QVERIFY(r.FileName.isEmpty());
    }

    // Save As twice: both dialogs start in the local tree's folder with the text filter,
    // and the file holds the listing's bytes as the server sent them.
    void dirInfoSaveAs()
    {
        TRecordingPrompts prompts;
        TDlgs dlgs;
        QString localFolder = m_dir->path();
        TFormDir d(prompts, dlgs, [&] { return localFolder; });
        QCOMPARE(d.windowTitle(), QStringLiteral("Remote Directory Information"));
        QCOMPARE(d.size(), QSize(608, 304));
        const QByteArray raw = "total 2\r\n-rw-r--r--   1 ftp ftp 10 Jan 01 10:00 caf\xe9.txt\r\n"
                               "drwxr-xr-x   2 ftp ftp  0 Jan 01 10:00 <b>bold</b>\r\n";
        d.LoadListing(raw);
        QCOMPARE(d.Memo1->toPlainText(),
                 QString::fromUtf8("total 2\n-rw-r--r--   1 ftp ftp 10 Jan 01 10:00 caf\u00e9.txt\n"
                                   "drwxr-xr-x   2 ftp ftp  0 Jan 01 10:00 <b>bold</b>"));
        d.show();

        // No extension is added to a name typed without one.
        prompts.ExpectSaveFileName(QString(), path("first"));
        d.Button1->click();
        localFolder = m_dir->path() + "/elsewhere";
        QDir().mkpath(localFolder);
        prompts.ExpectSaveFileName(QString(), path("second.txt"));
        d.Button1->click();
        TARSEL_VERIFY_PROMPTS(prompts);
        QVERIFY(d.isVisible()); // the dialog stays open after saving

        QCOMPARE(prompts.Requests.size(), 2);
        QCOMPARE(prompts.Requests[0].InitialDir, m_dir->path());
        QCOMPARE(prompts.Requests[1].InitialDir, localFolder);
        for (const TSaveFileRequest &r : std::as_const(prompts.Requests)) {
            QCOMPARE(r.Filters, QStringList{"Text Files (*.txt)"});
            QCOMPARE(r.Owner, static_cast<QWidget *>(&d));
        }
        QCOMPARE(readAll(path("first")), raw);
        QCOMPARE(readAll(path("second.txt")), raw);
        QVERIFY(!QFile::exists(path("first.txt")));

        d.Button2->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }

    void dirInfoCancelledSaveWritesNothing()
    {
        TScriptedPrompts prompts;
        TDlgs dlgs;
        TFormDir d(prompts, dlgs, [this] { return m_dir->path(); });
        d.LoadListing("a\n");
        prompts.ExpectSaveFileName(QString(), QString());
        d.Button1->click();
        TARSEL_VERIFY_PROMPTS(prompts);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
    }

    // A file that cannot be written is reported with its name and the system's reason,
    // and a file already there keeps its content.
    void saveFailures()
    {
        QFile blocker(path("plainfile"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QFile existing(path("kept.log"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("old content\r\n");
        existing.close();

        const QByteArrayList lines(50, QByteArray(40, 'x'));
        const QString underFile = path("plainfile/out.txt");
        const QString missingFolder = path("missing/out.txt");
        QVERIFY(!failureReason(underFile, lines).isEmpty());
        QVERIFY(failureReason(underFile, lines) != "<written>");
        QVERIFY(failureReason(missingFolder, lines) != "<written>");

        QString fullReason;
        {
            TFileSizeLimit full(100);
            fullReason = failureReason(path("kept.log"), lines);
        }
        QCOMPARE(fullReason, QString::fromLocal8Bit(strerror(EFBIG)));
        QCOMPARE(readAll(path("kept.log")), QByteArray("old content\r\n"));
        const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, QStringList({"kept.log", "plainfile"})); // no temporary file left behind

        // Through the save step the failure is an error box naming the file.
        TScriptedPrompts prompts;
        TDlgs dlgs;
        const QString reason = failureReason(missingFolder, lines);
        prompts.ExpectSaveFileName(QString(), missingFolder);
        prompts.ExpectError(
            QStringLiteral("The file %1 could not be saved: %2").arg(QDir::toNativeSeparators(missingFolder), reason),
            QStringLiteral("Save Error"));
        QVERIFY(!SaveLinesAs(prompts, dlgs, nullptr, TextFileFilter(), m_dir->path(), lines));
        TARSEL_VERIFY_PROMPTS(prompts);
    }

    // The save step of Save Log: the log filter, the local folder, one line per log line.
    void saveLogLines()
    {
        TRecordingPrompts prompts;
        TDlgs dlgs;
        QWidget owner;
        const QStringList log = {"Initializing: POSIX sockets on Linux", "Status: Running", "--> USER anna",
                                 "<-- 230 Bienvenue \u00e0 bord"};
        QFile existing(path("session.log"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("a much longer earlier log that must not survive in part\r\n");
        existing.close();
        prompts.ExpectSaveFileName(QString(), path("session.log"));
        QVERIFY(SaveLinesAs(prompts, dlgs, &owner, LogFileFilter(), m_dir->path(), log));
        TARSEL_VERIFY_PROMPTS(prompts);
        QCOMPARE(prompts.Requests.first().Filters, QStringList{"Log Files (*.log)"});
        QCOMPARE(prompts.Requests.first().InitialDir, m_dir->path());
        QCOMPARE(readAll(path("session.log")), (log.join("\r\n") + "\r\n").toUtf8());
    }

    // The Help menu's commands on the main window.
    void mainWindowHelpMenu()
    {
        QDir().mkpath(path("data"));
        SetDataFolder(path("data"));
        TReg::SetRootFolder(path("config"));
        TScriptedPrompts prompts;
        TFormMain w(&prompts);

        prompts.ExpectDialog("TFormAbout", [](QDialog &d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("About Tarsel FTP"));
            static_cast<TFormAbout &>(d).Button1->click();
        });
        w.Action(TActionId::ActionAbout)->trigger();
        TARSEL_VERIFY_PROMPTS(prompts);

        prompts.ExpectOpenUrl(weblinks::ProductPage());
        prompts.ExpectOpenUrl(weblinks::MakerHome());
        prompts.ExpectOpenUrl(weblinks::Support());
        w.Action(TActionId::ActionTarselOnline)->trigger();
        w.Action(TActionId::ActionQuendal)->trigger();
        w.Action(TActionId::ActionQuendalSupport)->trigger();
        TARSEL_VERIFY_PROMPTS(prompts);
        for (const QUrl &u : {weblinks::ProductPage(), weblinks::MakerHome(), weblinks::Support()})
            QVERIFY2(u.host().endsWith(".example"), qPrintable(u.toString()));
        QCOMPARE(QSet<QUrl>({weblinks::ProductPage(), weblinks::MakerHome(), weblinks::Support()}).size(), 3);
    }
};

QTEST_MAIN(TestInfoDialogs)
#include "tst_infodialogs.moc"
