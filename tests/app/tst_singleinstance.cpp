#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/singleinstance.h"

using namespace tarsel;

// Starts the real program with its own configuration, runtime and data folders.
class Instance {
public:
    explicit Instance(const QTemporaryDir &dir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.insert("XDG_RUNTIME_DIR", dir.path() + "/run");
        env.insert("TARSEL_PROMPTS", "log");
        m_process.setProcessEnvironment(env);
        m_process.setProgram(TARSEL_BINARY_DIR "/src/app/tarselftp");
        m_process.setArguments({"--data-dir", dir.path() + "/data"});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~Instance()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    void start() { m_process.start(); }
    QString err()
    {
        m_err += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_err;
    }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_err;
};

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void guardInProcess()
    {
        QTemporaryDir dir;
        TSingleInstance first(dir.path());
        QVERIFY(first.TryAcquire());
        int restores = 0;
        first.OnRestoreRequested = [&] { ++restores; };
        TSingleInstance second(dir.path());
        QVERIFY(!second.TryAcquire());
        QVERIFY(second.AskRunningToRestore());
        QTRY_COMPARE(restores, 1);
    }

    void secondProcessRestoresTheFirstAndLeaves()
    {
        QTemporaryDir dir;
        for (const char *sub : {"config", "run", "data"})
            QVERIFY(QDir(dir.path()).mkpath(sub));
        QFile::setPermissions(dir.path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        Instance first(dir);
        first.start();
        QTRY_VERIFY_WITH_TIMEOUT(first.err().contains("Tarsel FTP running"), 60000);

        Instance second(dir);
        second.start();
        QVERIFY(second.process().waitForFinished(60000));
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 0);
        QVERIFY2(second.err().contains("InfoBox [Tarsel FTP]: Tarsel FTP is already running!"), qPrintable(second.err()));
        QVERIFY2(!second.err().contains("Tarsel FTP running"), qPrintable(second.err())); // no main window
        QTRY_VERIFY_WITH_TIMEOUT(first.err().contains("Restore requested by another instance"), 20000);
        // The second instance created nothing: no settings, no profile file.
        QCOMPARE(QDir(dir.path() + "/data").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(QDir(dir.path() + "/config").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        // Once the first is gone its lock is stale and a new instance starts.
        first.process().kill();
        QVERIFY(first.process().waitForFinished(20000));
        Instance third(dir);
        third.start();
        QTRY_VERIFY_WITH_TIMEOUT(third.err().contains("Tarsel FTP running"), 60000);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
