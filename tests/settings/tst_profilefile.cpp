#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>

#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"

using namespace tarsel;

namespace {
void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}
QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
unsigned mode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 0777) : 0u;
}
} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("accounts.dat")); }

private slots:
    void init() { QFile::remove(path()); }

    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected"); // "<default>" when the read falls back
        const QByteArray crlf = "[Work]\r\nHostName = ftp.example \r\nPassWord= a=b=c \r\n";
        QTest::newRow("trimmed value") << crlf << "Work" << "HostName" << "ftp.example";
        QTest::newRow("password loses outer spaces, keeps '='") << crlf << "Work" << "PassWord" << "a=b=c";
        QTest::newRow("section and key ignore case") << crlf << "WORK" << "hostname" << "ftp.example";
        QTest::newRow("bare line feeds") << QByteArray("[A]\nk=v\n") << "A" << "k" << "v";
        QTest::newRow("no final line end") << QByteArray("[A]\r\nk=v") << "A" << "k" << "v";
        QTest::newRow("trimmed section name") << QByteArray("  [  Spaced Name ] \r\nk=v\r\n") << "Spaced Name"
                                              << "k" << "v";
        QTest::newRow("entry before first section dropped") << QByteArray("k=v\r\n[A]\r\n") << "A" << "k"
                                                            << "<default>";
        QTest::newRow("comment inside section") << QByteArray("[A]\r\n ; k=v\r\n") << "A" << "; k" << "<default>";
        QTest::newRow("empty value") << QByteArray("[A]\r\nk=\r\n") << "A" << "k" << "";
        QTest::newRow("8-bit bytes kept") << QByteArray("[A]\r\nk=caf\xe9\r\n") << "A" << "k"
                                          << QString::fromLatin1("caf\xe9");
        QTest::newRow("first of duplicate keys wins") << QByteArray("[A]\r\nk=1\r\nK=2\r\n") << "A" << "k" << "1";
    }
    void readingRules()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeFile(path(), file);
        ProfileFile pf(path());
        const std::string got = pf.ReadString(section.toLatin1().toStdString(), key.toLatin1().toStdString(),
                                              "<default>");
        QCOMPARE(QString::fromLatin1(got.c_str()), expected);
    }

    void integersAndBooleans_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("integer"); // default 21
        QTest::addColumn<bool>("boolean"); // default false
        QTest::newRow("decimal") << QByteArray("2121") << 2121 << true;
        QTest::newRow("negative") << QByteArray("-5") << -5 << true;
        QTest::newRow("zero") << QByteArray("0") << 0 << false;
        QTest::newRow("0x hex") << QByteArray("0x1F") << 31 << true;
        QTest::newRow("$ hex") << QByteArray("$ff") << 255 << true;
        QTest::newRow("word abc") << QByteArray("abc") << 21 << false;
        QTest::newRow("word True is not true") << QByteArray("True") << 21 << false;
        QTest::newRow("beyond 32 bits") << QByteArray("4294967296") << 21 << false;
        QTest::newRow("bare 0x") << QByteArray("0x") << 21 << false;
        QTest::newRow("empty") << QByteArray("") << 21 << false;
    }
    void integersAndBooleans()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, integer);
        QFETCH(bool, boolean);
        ProfileFile pf(path());
        pf.Parse("[P]\r\nPort=" + text.toStdString() + "\r\n");
        QCOMPARE(pf.ReadInteger("P", "Port", 21), integer);
        QCOMPARE(pf.ReadBool("P", "Port", false), boolean);
    }

    void writesKeepOrderAndUnknownLines()
    {
        writeFile(path(), "; comment\r\nstray=1\r\n[B]\r\nx=1\r\nfree text line\r\ny=2\r\n\r\n[A]\r\nz=3\r\n[b]\r\nw=4\r\n");
        ProfileFile pf(path());
        QCOMPARE(pf.SectionNames(), (std::vector<std::string>{"B", "A"}));
        pf.WriteString("b", "X", "10"); // replaces in place, keeps the stored key's spelling
        pf.WriteInteger("A", "n", 7);   // appended to its section
        pf.WriteBool("New", "Passive", true);
        QVERIFY(pf.Save());
        QCOMPARE(readFile(path()), QByteArray("[B]\r\nx=10\r\nfree text line\r\ny=2\r\nw=4\r\n\r\n"
                                              "[A]\r\nz=3\r\nn=7\r\n\r\n"
                                              "[New]\r\nPassive=1\r\n\r\n"));
        pf.EraseSection("a");
        QCOMPARE(pf.SectionNames(), (std::vector<std::string>{"B", "New"}));
        QCOMPARE(pf.ReadString("A", "z", "gone"), std::string("gone"));
    }

    void writesWaitForSaveAndReloadSeesOthers()
    {
        ProfileFile a(path());
        QVERIFY(a.SectionNames().empty()); // missing file reads empty
        a.WriteString("Work", "HostName", "h");
        QVERIFY(!QFile::exists(path()));
        QVERIFY(a.Save());
        ProfileFile b(path());
        b.WriteString("work", "HostName", "other");
        QVERIFY(b.Save());
        QCOMPARE(a.ReadString("Work", "HostName", ""), std::string("h"));
        a.Reload();
        QCOMPARE(a.ReadString("Work", "HostName", ""), std::string("other"));
        QCOMPARE(a.SectionNames().size(), std::size_t(1));
    }

    void profileRecordRoundTrip()
    {
        ProfileFile pf(path());
        Profile p;
        p.Name = "Home";
        p.HostName = "10.0.0.1";
        p.UserName = "me";
        p.PassWord = "p=w";
        p.StartDir = "/pub";
        p.Port = 2121;
        p.Passive = true;
        p.ServerType = 3;
        WriteProfile(pf, p);
        QVERIFY(pf.Save());
        QCOMPARE(readFile(path()), QByteArray("[Home]\r\nProxy=0\r\nPassive=1\r\nProxyName=\r\nHostName=10.0.0.1\r\n"
                                              "UserName=me\r\nPassWord=p=w\r\nStartDir=/pub\r\nPort=2121\r\n"
                                              "Anonymous=0\r\nServerType=3\r\n\r\n"));
        const Profile missing = ReadProfile(ProfileFile(path()), "Gone");
        QCOMPARE(missing.Port, 21);
        QVERIFY(missing.HostName.empty() && !missing.Proxy && !missing.Passive && missing.ServerType == 0);
        QCOMPARE(ReadProfile(ProfileFile(path()), "HOME").PassWord, std::string("p=w"));
        QCOMPARE(EffectiveServerType(6), 0);
        QCOMPARE(EffectiveServerType(-1), 0);
        QCOMPARE(EffectiveServerType(5), 5);
        QCOMPARE(ShareAccessFromSetting(3), TShareAccess::ShareExclusive);
        QCOMPARE(ShareAccessFromSetting(4), TShareAccess::ShareDenyNone);
    }

    void saveIsOwnerOnlyAndAtomic()
    {
        ProfileFile pf(path());
        pf.WriteString("A", "PassWord", "secret");
        QVERIFY(pf.Save());
        QCOMPARE(mode(path()), 0600u);
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
        pf.WriteString("A", "PassWord", "changed");
        QVERIFY(pf.Save());
        QCOMPARE(mode(path()), 0600u);
        // No temporary file is left beside it.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("accounts.dat")});
    }

    void failedSaveReportsAndKeepsCopy()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir ro;
        const QString p = ro.filePath(QStringLiteral("accounts.dat"));
        writeFile(p, "[A]\r\nk=old\r\n");
        QFile::setPermissions(ro.path(), QFile::ReadOwner | QFile::ExeOwner);
        ProfileFile pf(p);
        pf.WriteString("A", "k", "new");
        QVERIFY(!pf.Save());
        QFile::setPermissions(ro.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(pf.LastError().startsWith(p + QStringLiteral(": ")), qPrintable(pf.LastError()));
        QVERIFY(pf.LastError().size() > p.size() + 2);
        QCOMPARE(pf.ReadString("A", "k", ""), std::string("new"));
        QCOMPARE(readFile(p), QByteArray("[A]\r\nk=old\r\n"));
    }

    void failedSaveIntoMissingFolder()
    {
        ProfileFile pf(m_dir.filePath(QStringLiteral("no/such/folder/accounts.dat")));
        pf.WriteString("A", "k", "v");
        QVERIFY(!pf.Save());
        QVERIFY(pf.LastError().contains(QStringLiteral("no/such/folder/accounts.dat: ")));
        QCOMPARE(pf.ReadString("A", "k", ""), std::string("v"));
    }

    void dataFolderOption_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("rest");
        QTest::newRow("separate") << QStringList{"prog", "--data-dir", "@", "x"} << true << QStringList{"prog", "x"};
        QTest::newRow("joined") << QStringList{"prog", "--data-dir=@"} << true << QStringList{"prog"};
        QTest::newRow("missing folder") << QStringList{"prog", "--data-dir"} << false
                                        << QStringList{"prog", "--data-dir"};
        QTest::newRow("absent") << QStringList{"prog"} << true << QStringList{"prog"};
    }
    void dataFolderOption()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        QFETCH(QStringList, rest);
        const QString folder = m_dir.filePath(QStringLiteral("data"));
        args.replaceInStrings(QStringLiteral("@"), folder);
        SetDataFolder(QString());
        QString error;
        QCOMPARE(ApplyDataDirArgument(args, &error), ok);
        QCOMPARE(args, rest);
        QCOMPARE(error.isEmpty(), ok);
        if (ok && QTest::currentDataTag() != QByteArray("absent"))
            QCOMPARE(ProfileFilePath(), folder + QStringLiteral("/accounts.dat"));
        SetDataFolder(QString());
        QVERIFY(DataFolder().endsWith(QLatin1Char('/')));
    }

    // Profiles stay beside the executable only in a portable installation that has them
    // there already; otherwise they live in the per-user folder, which outlives a
    // deleted build folder. --data-dir beats both.
    void dataFolderRules()
    {
        const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("xdg")).toLocal8Bit());
        const QString user = m_dir.filePath(QStringLiteral("xdg")) + QStringLiteral("/Quendal/Tarsel FTP/");
        const QString exe = QCoreApplication::applicationDirPath() + QLatin1Char('/');
        const QString portable = exe + QStringLiteral("accounts.dat");
        QVERIFY(!QFile::exists(portable));
        SetDataFolder(QString());
        QCOMPARE(DataFolder(), user);
        QVERIFY(QFileInfo(user).isDir());
        QCOMPARE(ProfileFilePath(), user + QStringLiteral("accounts.dat"));
        {
            QFile f(portable);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString portableFolder = DataFolder();
        const QString withOverride = (SetDataFolder(m_dir.filePath(QStringLiteral("chosen"))), DataFolder());
        SetDataFolder(QString());
        QFile::remove(portable);
        QCOMPARE(portableFolder, exe);
        QCOMPARE(withOverride, m_dir.filePath(QStringLiteral("chosen")) + QLatin1Char('/'));
        QCOMPARE(DataFolder(), user);
        qputenv("XDG_DATA_HOME", oldXdg);
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
