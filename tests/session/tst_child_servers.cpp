// A connection window against real FTP servers: Quick Connect logs in, lists the start
// directory with its files and folders, moves into a folder and back, and closes.
#include <QDir>
#include <QFile>
#include <QtTest>

#include "sessionfixture.h"
#include "support/realservers.h"

using namespace tarsel;
using namespace tarsel::test;

class TstChildServers : public QObject {
    Q_OBJECT
private slots:
    void browse_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("passive");
        QTest::newRow("vsftpd passive") << "vsftpd" << true;
        QTest::newRow("vsftpd active") << "vsftpd" << false;
        QTest::newRow("pure-ftpd passive") << "pure-ftpd" << true;
        QTest::newRow("proftpd passive") << "proftpd" << true;
        QTest::newRow("pyftpdlib passive") << "pyftpdlib" << true;
    }
    void browse()
    {
        QFETCH(QString, kind);
        QFETCH(bool, passive);
        QString why;
        auto srv = StartRealServer(kind, &why);
        if (!srv)
            QSKIP(qPrintable(why));
        QVERIFY(QDir(srv->localDir).mkpath("Folder One"));
        QVERIFY(QDir(srv->localDir).mkpath("alpha"));
        for (const char *name : {"b.txt", "C.txt", "a.bin"}) {
            QFile f(srv->localDir + "/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(int(std::strlen(name)) * 100, 'x'));
        }
        {
            QFile f(srv->localDir + "/Folder One/inner.txt");
            QVERIFY(f.open(QIODevice::WriteOnly));
        }

        SessionFixture fx;
        fx.addProfile("Real", srv->remoteDir, 0, srv->port, srv->user, srv->password);
        {
            ProfileFile f(ProfileFilePath());
            Profile p = ReadProfile(f, "Real");
            p.Passive = passive;
            WriteProfile(f, p);
            QVERIFY(f.Save());
        }
        TFormMdi *w = fx.quickConnect("Real");
        QVERIFY(SessionFixture::waitIdle(w, 20000));
        QVERIFY2(SessionFixture::logHas(w, "--> PASS (Password hidden)"), qPrintable(w->LogList.join('\n')));
        for (const QString &line : w->LogList)
            QVERIFY(!line.contains(QString::fromStdString(srv->password)) || srv->password.empty());
        QCOMPARE(SessionFixture::captions(w->RemoteFiles), QStringList({"a.bin", "b.txt", "C.txt"}));
        const QStringList dirs = SessionFixture::captions(w->RemoteDirs);
        QCOMPARE(dirs.first(), QString(".."));
        QVERIFY(dirs.contains("Folder One"));
        QVERIFY(dirs.contains("alpha"));

        w->ChangeRemoteDir("Folder One");
        QVERIFY2(QTest::qWaitFor([w] { return SessionFixture::captions(w->RemoteFiles) == QStringList{"inner.txt"}; },
                                 10000),
                 qPrintable(w->LogList.mid(w->LogList.size() - 12).join('\n')));
        QVERIFY(QString::fromStdString(w->RemoteDir).endsWith("/Folder One"));
        QVERIFY(SessionFixture::waitIdle(w));
        fx.main->Action(TActionId::ActionUpDir)->trigger();
        QVERIFY(QTest::qWaitFor([w] { return SessionFixture::captions(w->RemoteFiles).size() == 3; }, 10000));
        QVERIFY(SessionFixture::waitIdle(w));

        fx.main->ActionCloseActiveExecute();
        QCOMPARE(fx.main->ConnectionCount(), 0);
        TARSEL_VERIFY_PROMPTS(fx.prompts);
    }
};

QTEST_MAIN(TstChildServers)
#include "tst_child_servers.moc"
