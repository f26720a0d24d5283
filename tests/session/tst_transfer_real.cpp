// Single-file transfers of a connection window against real servers, passive and
// active, as a user drives them: uploads by command and by a drop, downloads by
// double-click and by a drop, a cancel in the middle of an upload and of a download,
// each resumed to a byte-identical file.
#include <QAction>
#include <QLocale>
#include <QToolButton>

#include "support/realservers.h"
#include "transferfixture.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {

bool defaultHandlers(TFormMdi *w)
{
    return w->RequestHandler() == &TFormMdi::Ftp1RequestDone && w->CancelHandler() == &TFormMdi::CancelBClick;
}

// Clicks Cancel from the client's progress event once the count reaches a mark, so the
// cancel lands in the middle of the data however fast the server is.
struct CancelAt {
    TFormMdi *w;
    TFtpProgress::Handler saved;
    bool clicked = false;
    CancelAt(TFormMdi *window, std::int64_t mark) : w(window), saved(window->Ftp1.OnProgress.handler())
    {
        w->Ftp1.OnProgress = [this, mark](TCustomFtpCli *s, std::int64_t n, bool &abort) {
            saved(s, n, abort);
            if (!clicked && n >= mark) {
                clicked = true;
                w->CancelB->click();
            }
        };
    }
    ~CancelAt() { w->Ftp1.OnProgress = saved; }
};

} // namespace

class TestTransferReal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void transfers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("passive");
        for (const char *kind : {"vsftpd", "pure-ftpd"}) {
            QTest::newRow(qPrintable(QString("%1 passive").arg(kind))) << QString(kind) << true;
            QTest::newRow(qPrintable(QString("%1 active").arg(kind))) << QString(kind) << false;
        }
    }
    void transfers()
    {
        QFETCH(QString, kind);
        QFETCH(bool, passive);
        QString why;
        std::unique_ptr<RealServer> srv = StartRealServer(kind, &why);
        if (!srv)
            QSKIP(qPrintable(why));
        TransferFixture fx;
        const QString remote = srv->localDir;
        const QString local = fx.local;
        const QByteArray a = TransferFixture::pattern(300000, 1);
        const QByteArray b = "text line\r\nand another\n";
        const QByteArray c = TransferFixture::pattern(1 << 20, 3);
        const QByteArray big = TransferFixture::pattern(8 << 20, 4);
        QVERIFY(TransferFixture::writeFile(local + "/a.bin", a));
        QVERIFY(TransferFixture::writeFile(local + "/b.txt", b));
        QVERIFY(TransferFixture::writeFile(local + "/c.bin", c));
        QVERIFY(TransferFixture::writeFile(local + "/big.bin", big));
        QVERIFY(fx.connect(srv->port, passive, srv->user, srv->password, srv->remoteDir));
        TFormMdi *w = fx.window;
        const auto log = [w] { return qPrintable(w->LogList.join("\n").right(800)); };

        // Up: two files by the command, one by a drop from the local list.
        QVERIFY(fx.selectLocal({"a.bin", "b.txt"}));
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionUploadFile")->trigger();
        QVERIFY2(QTest::qWaitFor([&] { return fx.fileRow("b.txt") >= 0 && fx.idle(); }, 30000), log());
        QVERIFY(fx.waitIdle());
        QVERIFY(fx.selectLocal({"c.bin"}));
        TFormMdi::LocListStartDrag(*fx.main);
        QVERIFY(fx.drop(fx.main->GetLocList().CurrentView(), w->RemoteFiles->CurrentView()));
        QVERIFY2(QTest::qWaitFor([&] { return fx.fileRow("c.bin") >= 0 && fx.idle(); }, 30000), log());
        QVERIFY(fx.waitIdle());
        QCOMPARE(TransferFixture::readFile(remote + "/a.bin"), a);
        QCOMPARE(TransferFixture::readFile(remote + "/b.txt"), b);
        QCOMPARE(TransferFixture::readFile(remote + "/c.bin"), c);

        // Down: two by double-click, one by a drop on the local list.
        for (const char *n : {"a.bin", "b.txt", "c.bin"})
            QVERIFY(QFile::remove(local + "/" + n));
        QVERIFY(fx.selectFiles({"a.bin", "b.txt"}));
        w->RemoteFilesDblClick();
        QVERIFY2(QTest::qWaitFor([&] { return QFile::exists(local + "/b.txt") && fx.idle(); }, 30000), log());
        QVERIFY(fx.waitIdle());
        QVERIFY(fx.selectFiles({"c.bin"}));
        QVERIFY(fx.drop(w->RemoteFiles->CurrentView(), fx.main->GetLocList().CurrentView()));
        QVERIFY2(QTest::qWaitFor([&] { return QFile::exists(local + "/c.bin") && fx.idle(); }, 30000), log());
        QVERIFY(fx.waitIdle());
        QCOMPARE(TransferFixture::readFile(local + "/a.bin"), a);
        QCOMPARE(TransferFixture::readFile(local + "/b.txt"), b);
        QCOMPARE(TransferFixture::readFile(local + "/c.bin"), c);

        // An upload cancelled in the middle: one completion, idle, the usual handlers, the
        // server keeps what it got; a resume upload completes it.
        {
            CancelAt cancel(w, 1 << 20);
            QVERIFY(fx.selectLocal({"big.bin"}));
            fx.main->UpdateCommandStates();
            fx.main->Action("ActionUploadFile")->trigger();
            QVERIFY2(fx.waitLog("Transfer cancelled", 30000), log());
            QVERIFY(cancel.clicked);
        }
        QVERIFY(fx.waitIdle());
        TransferFixture::settle();
        QCOMPARE(w->LogList.count("Transfer cancelled"), 1);
        QVERIFY(defaultHandlers(w));
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(remote + "/big.bin").exists(); }, 5000));
        const qint64 sent = QFileInfo(remote + "/big.bin").size();
        QVERIFY2(sent < big.size(), qPrintable(QString::number(sent)));
        QVERIFY(fx.selectLocal({"big.bin"}));
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionResumeUp")->trigger();
        QVERIFY2(QTest::qWaitFor([&] { return QFileInfo(remote + "/big.bin").size() == big.size() && fx.idle(); },
                                 60000),
                 log());
        QVERIFY(fx.waitIdle());
        QVERIFY(TransferFixture::readFile(remote + "/big.bin") == big);
        QVERIFY(w->LogList.contains("-->  REST " + QString::number(sent)) || sent == 0);

        // A download cancelled in the middle keeps its part; a resume download completes it.
        QVERIFY(QFile::remove(local + "/big.bin"));
        QVERIFY(QTest::qWaitFor([&] { return fx.fileRow("big.bin") >= 0; }, 15000));
        {
            CancelAt cancel(w, 1 << 20);
            QVERIFY(fx.selectFiles({"big.bin"}));
            w->DownloadFiles();
            QVERIFY2(QTest::qWaitFor([&] { return w->LogList.count("Transfer cancelled") == 2; }, 30000), log());
            QVERIFY(cancel.clicked);
        }
        QVERIFY(fx.waitIdle());
        TransferFixture::settle();
        QCOMPARE(w->LogList.count("Transfer cancelled"), 2);
        QVERIFY(defaultHandlers(w));
        QVERIFY(w->Ftp1.Connected());
        const QByteArray part = TransferFixture::readFile(local + "/big.bin");
        QVERIFY2(part.size() >= (1 << 20) && part.size() < big.size(), qPrintable(QString::number(part.size())));
        QVERIFY(part == big.left(part.size()));
        QVERIFY(fx.selectFiles({"big.bin"}));
        fx.main->UpdateCommandStates();
        fx.main->Action("ActionResumeDown")->trigger();
        QVERIFY2(QTest::qWaitFor([&] { return QFileInfo(local + "/big.bin").size() == big.size() && fx.idle(); },
                                 60000),
                 log());
        QVERIFY(fx.waitIdle());
        QVERIFY(TransferFixture::readFile(local + "/big.bin") == big);
        QVERIFY(w->LogList.contains("-->  REST " + QString::number(part.size())));
        QVERIFY2(!fx.logHasPrefix("Error: "), log());
    }
};

QTEST_MAIN(TestTransferReal)
#include "tst_transfer_real.moc"
