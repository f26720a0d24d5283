// Moving through the remote tree in a connection window and ordering its lists, driven
// through the gestures and commands of the window against the scripted server.
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QtTest>

#include "sessionfixture.h"

using namespace tarsel;
using namespace tarsel::test;

namespace {

QByteArray link(const QByteArray &name, const QByteArray &target)
{
    return "lrwxrwxrwx    1 ftp      ftp      8 Jan 01 12:00 " + name + " -> " + target + "\r\n";
}

struct Browser {
    SessionFixture fx;
    TFormMdi *w = nullptr;

    bool open()
    {
        if (!fx.startServer())
            return false;
        const QByteArray sub = unixFile("inner.txt") + unixDir("deeper");
        fx.serveTree({{"/", unixDir("sub") + unixFile("b.txt") + unixFile("C.txt") + unixFile("a.txt", 3000000000LL) +
                                link("docs", "/sub") + unixDir("Alpha")},
                      {"/sub", sub},
                      {"/SUB", sub},
                      {"/sub/deeper", QByteArray()},
                      {"/Alpha", unixFile("z")}});
        fx.addProfile("Work");
        w = fx.quickConnect("Work");
        return SessionFixture::waitIdle(w);
    }

    // Selects the directory row with this caption and double-clicks it.
    bool dblClickDir(const QString &caption)
    {
        const QStringList rows = SessionFixture::captions(w->RemoteDirs);
        const int row = rows.indexOf(caption);
        if (row < 0)
            return false;
        QTreeView *v = w->RemoteDirs->Details();
        const QModelIndex i = w->RemoteDirs->Model()->index(row, 0);
        v->scrollTo(i);
        const QPoint p = v->visualRect(i).center();
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, p);
        return true;
    }

    // Waits for the listing of `dir` to be shown.
    bool waitDir(const QString &dir)
    {
        return QTest::qWaitFor(
            [this, dir] { return QString::fromStdString(w->RemoteDir) == dir && SessionFixture::idle(w); }, 10000);
    }

    void clickHeader(TRemoteList *list, int column)
    {
        QHeaderView *h = list->Details()->header();
        const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
    }
};

} // namespace

class TstChildBrowser : public QObject {
    Q_OBJECT
private slots:
    // A big listing's rows are read over several turns of the event loop after its last
    // byte. Meanwhile the window is busy; Cancel ends the listing once (lists empty, the
    // session kept, nothing shown late) and Close gets rid of the window safely.
    void cancelOrCloseWhileRowsAreRead_data()
    {
        QTest::addColumn<bool>("close");
        QTest::addColumn<int>("lines");
        // A listing of some MiB is usually still coming in from the file; a small one is
        // in and waits to become rows.
        QTest::newRow("Cancel, big listing") << false << 30000;
        QTest::newRow("Cancel, small listing") << false << 3000;
        QTest::newRow("Close, big listing") << true << 30000;
        QTest::newRow("Close, small listing") << true << 3000;
    }
    void cancelOrCloseWhileRowsAreRead()
    {
        QFETCH(bool, close);
        QFETCH(int, lines);
        Browser b;
        QVERIFY(b.open());
        QByteArray big;
        for (int i = 0; i < lines; ++i)
            big += unixFile("f" + QByteArray::number(i) + ".txt");
        b.fx.tree["/"] = big;
        QPointer<TFormMdi> w = b.w;
        const qsizetype logBefore = w->LogList.size();
        // Acts right after the window has taken the listing's completion.
        bool reading = false;
        bool refused = false;
        const TFtpRequestDone::Handler windowDone = w->Ftp1.OnRequestDone.handler();
        w->Ftp1.OnRequestDone = [&, windowDone](TCustomFtpCli *s, TFtpRequest rq, int error) {
            windowDone(s, rq, error);
            if (rq != TFtpRequest::ftpDirAsync || !w)
                return;
            reading = w->ReadingListing();
            b.fx.prompts.ExpectConfirm(QStringLiteral("Please wait for the current command to complete or open "
                                                      "another connection. Would you like to open another "
                                                      "connection?"),
                                       QStringLiteral("Tarsel FTP Busy..."), false);
            refused = !w->CanStartCommand();
            (close ? w->CloseB : w->CancelB)->click();
        };
        w->RefreshRemote();
        if (close) {
            QVERIFY(QTest::qWaitFor([&] { return w.isNull(); }, 10000));
            QVERIFY(reading && refused);
            TARSEL_VERIFY_PROMPTS(b.fx.prompts);
            return;
        }
        QVERIFY(QTest::qWaitFor([&] { return reading; }, 10000));
        QVERIFY(refused);
        QVERIFY(!w->ReadingListing());
        SessionFixture::settle();
        QVERIFY(w->Ftp1.Connected() && w->Ftp1.State() == TFtpState::ftpReady && w->DirCombo->isEnabled());
        QVERIFY(w->RequestHandler() == &TFormMdi::Ftp1RequestDone && w->CancelHandler() == &TFormMdi::CancelBClick);
        QCOMPARE(w->RemoteFiles->Model()->RowCount(), 0);
        QCOMPARE(w->RemoteDirs->Model()->RowCount(), 0);
        QCOMPARE(w->LogList.mid(logBefore).filter("Error"), QStringList{"Error: Listing cancelled"});

        // The next listing is shown, once.
        w->Ftp1.OnRequestDone = windowDone;
        b.fx.tree["/"] = unixFile("a.txt") + unixDir("d");
        w->RefreshRemote();
        QVERIFY(SessionFixture::waitIdle(w));
        SessionFixture::settle();
        QCOMPARE(SessionFixture::captions(w->RemoteFiles), QStringList{"a.txt"});
        QCOMPARE(SessionFixture::captions(w->RemoteDirs), QStringList({"..", "d"}));
        TARSEL_VERIFY_PROMPTS(b.fx.prompts);
    }

    void firstListingOrder()
    {
        Browser b;
        QVERIFY(b.open());
        // Directories in listing order after the parent row; files A to Z without case.
        QCOMPARE(SessionFixture::captions(b.w->RemoteDirs), QStringList({"..", "sub", "docs -> /sub", "Alpha"}));
        QCOMPARE(SessionFixture::captions(b.w->RemoteFiles), QStringList({"a.txt", "b.txt", "C.txt"}));
    }

    void doubleClicksUpAndLinks()
    {
        Browser b;
        QVERIFY(b.open());
        QVERIFY(b.dblClickDir("sub"));
        QVERIFY(b.waitDir("/sub"));
        QCOMPARE(SessionFixture::captions(b.w->RemoteFiles), QStringList{"inner.txt"});
        QCOMPARE(SessionFixture::captions(b.w->RemoteDirs), QStringList({"..", "deeper"}));
        QVERIFY(b.dblClickDir(".."));
        QVERIFY(b.waitDir("/"));
        QVERIFY(b.dblClickDir("docs -> /sub"));
        QVERIFY(b.waitDir("/sub"));
        QVERIFY(b.fx.server.commands.contains("CWD /sub"));
        b.fx.main->Action(TActionId::ActionUpDir)->trigger();
        QVERIFY(b.waitDir("/"));
        QCOMPARE(b.w->DirHistory(), QStringList({"/", "/sub"}));
        QCOMPARE(b.fx.main->StatusText(2), QString("Directory: /"));
    }

    void failedChangeKeepsLists()
    {
        Browser b;
        QVERIFY(b.open());
        const QStringList files = SessionFixture::captions(b.w->RemoteFiles);
        b.w->ChangeRemoteDir("missing");
        QVERIFY(SessionFixture::waitLog(b.w, "Error: 550 Failed to change directory."));
        SessionFixture::settle();
        QCOMPARE(SessionFixture::captions(b.w->RemoteFiles), files);
        QVERIFY(b.w->Ftp1.Connected());
        QVERIFY(b.w->DirCombo->isEnabled());
    }

    void changeDirectoryBox_data()
    {
        QTest::addColumn<std::optional<QString>>("answer");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<bool>("changes");
        QTest::newRow("OK with a path") << std::optional<QString>("/Alpha") << "/Alpha" << true;
        // Cancel returns the preset: the current directory is changed to and listed again.
        QTest::newRow("Cancel lists the current directory again") << std::optional<QString>() << "/sub" << true;
        QTest::newRow("cleared field does nothing") << std::optional<QString>("") << "/sub" << false;
    }
    void changeDirectoryBox()
    {
        QFETCH(std::optional<QString>, answer);
        QFETCH(QString, listed);
        QFETCH(bool, changes);
        Browser b;
        QVERIFY(b.open());
        b.w->ChangeRemoteDir("sub");
        QVERIFY(b.waitDir("/sub"));
        const int before = b.fx.server.commands.size();
        b.fx.prompts.ExpectInput("Change Directory", "Directory to change to:", "/sub", answer);
        b.fx.main->Action(TActionId::ActionChangeDir)->trigger();
        if (changes) {
            QVERIFY(QTest::qWaitFor([&] { return b.fx.server.commands.size() > before; }, 5000));
            QVERIFY(b.waitDir(listed));
            QCOMPARE(b.fx.server.commands.at(before), "CWD " + (answer ? answer->toLatin1() : QByteArray("/sub")));
        } else {
            SessionFixture::settle();
            QCOMPARE(b.fx.server.commands.size(), before);
        }
        TARSEL_VERIFY_PROMPTS(b.fx.prompts);
    }

    void refresh()
    {
        Browser b;
        QVERIFY(b.open());
        b.fx.tree["/"] += unixFile("new.txt");
        const int before = b.fx.server.commands.size();
        b.fx.main->Action(TActionId::ActionRefreshRemote)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return SessionFixture::captions(b.w->RemoteFiles).contains("new.txt"); }, 5000));
        QCOMPARE(b.fx.server.commands.at(before), QByteArray("PWD"));
    }

    void dirComboHistory()
    {
        Browser b;
        QVERIFY(b.open());
        QLineEdit *edit = b.w->DirCombo->lineEdit();
        edit->setText("/sub");
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(b.waitDir("/sub"));
        SessionFixture::settle();
        QCOMPARE(b.fx.server.commands.count("CWD /sub"), 1); // Enter changes once
        // The same path in another letter case is not listed twice.
        edit->setText("/SUB");
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(b.waitDir("/SUB"));
        QCOMPARE(b.w->DirHistory(), QStringList({"/", "/sub"}));
        QCOMPARE(b.w->DirCombo->currentText(), QString("/SUB"));
        // Picking an entry of the history changes to it.
        b.w->DirCombo->setCurrentIndex(0);
        emit b.w->DirCombo->activated(0);
        QVERIFY(b.waitDir("/"));
        // An empty text does nothing.
        const int before = b.fx.server.commands.size();
        edit->clear();
        QTest::keyClick(edit, Qt::Key_Return);
        SessionFixture::settle();
        QCOMPARE(b.fx.server.commands.size(), before);
    }

    void headerSorting()
    {
        Browser b;
        QVERIFY(b.open());
        b.fx.tree["/"] = unixFile("b.txt", 10) + unixFile("C.txt", 5000000000LL) + unixFile("a.txt", 3000000000LL) +
                         unixFile("d.txt", 7) + unixDir("zz") + unixDir("Alpha");
        b.w->RefreshRemote();
        QVERIFY(QTest::qWaitFor([&] { return SessionFixture::captions(b.w->RemoteFiles).size() == 4; }, 5000));
        QTRY_VERIFY(SessionFixture::idle(b.w));
        TRemoteList *files = b.w->RemoteFiles;
        QCOMPARE(SessionFixture::captions(files), QStringList({"a.txt", "b.txt", "C.txt", "d.txt"}));
        b.clickHeader(files, 1); // size, smallest first
        QCOMPARE(SessionFixture::captions(files), QStringList({"d.txt", "b.txt", "a.txt", "C.txt"}));
        QCOMPARE(files->Details()->header()->sortIndicatorSection(), 1);
        b.clickHeader(files, 1); // reversed
        QCOMPARE(SessionFixture::captions(files), QStringList({"C.txt", "a.txt", "b.txt", "d.txt"}));
        QCOMPARE(files->Model()->SortMark(), TSortMark::ptsdAsc);
        b.clickHeader(files, 2); // Date does nothing
        QCOMPARE(SessionFixture::captions(files), QStringList({"C.txt", "a.txt", "b.txt", "d.txt"}));
        b.clickHeader(files, 0); // name, A to Z
        QCOMPARE(SessionFixture::captions(files), QStringList({"a.txt", "b.txt", "C.txt", "d.txt"}));
        b.clickHeader(files, 0);
        QCOMPARE(SessionFixture::captions(files), QStringList({"d.txt", "C.txt", "b.txt", "a.txt"}));
        b.clickHeader(files, 1);

        // Directories: a header click sorts them, ".." first; a refresh shows listing
        // order again but keeps the sort column.
        TRemoteList *dirs = b.w->RemoteDirs;
        QCOMPARE(SessionFixture::captions(dirs), QStringList({"..", "zz", "Alpha"}));
        b.clickHeader(dirs, 0);
        QCOMPARE(dirs->Model()->SortMark(), TSortMark::ptsdAsc); // column 0 was already the sort column
        b.clickHeader(dirs, 0);
        QCOMPARE(SessionFixture::captions(dirs), QStringList({"..", "Alpha", "zz"}));

        b.w->RefreshRemote();
        QVERIFY(QTest::qWaitFor([&] { return SessionFixture::idle(b.w) && dirs->Model()->RowCount() == 3; }, 5000));
        QTRY_COMPARE(SessionFixture::captions(dirs), QStringList({"..", "zz", "Alpha"}));
        QCOMPARE(b.w->FileSortColumn(), 0); // the file list is by name again
        QCOMPARE(SessionFixture::captions(files), QStringList({"a.txt", "b.txt", "C.txt", "d.txt"}));
    }

    void popupMenus()
    {
        Browser b;
        QVERIFY(b.open());
        QStringList one;
        for (QAction *a : b.w->PopupMenu1->actions())
            one.append(a->isSeparator() ? "-" : a->objectName());
        QCOMPARE(one, QStringList({"ActionUpDir", "ActionChangeDir", "-", "ActionMkdDir", "ActionRenameDir",
                                   "ActionRemoveDir", "-", "ActionBatchDownload", "ActionBatchDelete", "-",
                                   "ActionChmodDir", "ActionRefreshRemote"}));
        QCOMPARE(b.w->PopupMenu2->actions().size(), 8);
        QCOMPARE(b.w->MemoMenu->actions().value(0)->objectName(), QString("ActionSaveLog"));
        // Enabling follows the selections of the connected window.
        QVERIFY(!b.fx.main->Action(TActionId::ActionRenameRemoteFile)->isEnabled());
        b.w->RemoteFiles->Selection()->select(b.w->RemoteFiles->Model()->index(0, 0),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QVERIFY(b.fx.main->Action(TActionId::ActionRenameRemoteFile)->isEnabled());
        QVERIFY(b.fx.main->Action(TActionId::ActionUpDir)->isEnabled());
    }
};

QTEST_MAIN(TstChildBrowser)
#include "tst_child_browser.moc"
