#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "localbrowser/localdirmodel.h"
#include "localbrowser/localfilemodel.h"
#include "localbrowser/loclist.h"
#include "localbrowser/localmenu.h"
#include "localbrowser/loctree.h"
#include "uikit/scriptedprompts.h"

using namespace tarsel;

namespace {
void touch(const QString &path, const QByteArray &data = "x")
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QStringList actionTexts(QMenu *menu)
{
    QStringList texts;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            texts << a->text();
    return texts;
}

QModelIndex itemOf(LocList &list, const QByteArray &name, int column = 0)
{
    const int row = list.Model()->RowOf(name);
    return row < 0 ? QModelIndex() : list.Model()->index(row, column);
}

bool existsBytes(const QByteArray &path) { return ::access(path.constData(), F_OK) == 0; }

QStringList childNames(QAbstractItemModel *model, const QModelIndex &parent)
{
    QStringList names;
    for (int r = 0; r < model->rowCount(parent); ++r)
        names << model->index(r, 0, parent).data().toString();
    names.sort();
    return names;
}
} // namespace

class TestPanes : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString root() const { return m_dir.path(); }

private slots:
    void initTestCase()
    {
        QDir(root()).mkpath("sub/deeper");
        QDir(root()).mkpath(".hiddendir");
        touch(root() + "/b.txt", "hello");
        touch(root() + "/.hidden");
        touch(root() + "/archive.zip");
    }

    void treeDrivesListAndReportsSelection()
    {
        LocList list;
        LocTree tree;
        tree.SetLinkedList(&list);
        QVERIFY(tree.SetSelectedPathName(root()));
        QCOMPARE(tree.GetSelectedPathName(), root());
        QCOMPARE(list.Folder(), root());
        // Folders and files, hidden ones included.
        QTRY_COMPARE(list.ItemCount(), 5);
        QVERIFY(!tree.SetSelectedPathName(root() + "/missing"));
        QCOMPARE(tree.GetSelectedPathName(), root());
        QVERIFY(tree.SetSelectedPathName(root() + "/sub/deeper/"));
        QCOMPARE(tree.GetSelectedPathName(), root() + "/sub/deeper");
        QCOMPARE(list.Folder(), root() + "/sub/deeper");
    }

    void rowsTellWhatTheyAre_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::newRow("file") << "b.txt" << false;
        QTest::newRow("folder") << "sub" << true;
        QTest::newRow("hidden folder") << ".hiddendir" << true;
        QTest::newRow("zip is a file") << "archive.zip" << false;
    }
    void rowsTellWhatTheyAre()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        LocList list;
        list.SetFolder(root());
        QTRY_COMPARE(list.ItemCount(), 5);
        QVERIFY(list.SelectName(name));
        QCOMPARE(list.SelectedCount(), 1);
        const TShListData d = list.GetShListData(list.SelectedItems().first());
        QCOMPARE(d.IsFolder(), folder);
        QCOMPARE(d.GetPathName(), root() + "/" + name);
        QCOMPARE(d.GetDisplayName(), name);
    }

    void multipleSelectionInListOrderAcrossViews()
    {
        LocList list;
        list.SetFolder(root());
        QTRY_COMPARE(list.ItemCount(), 5);
        QVERIFY(list.SelectName("b.txt"));
        QVERIFY(list.SelectName("sub", true));
        int clicks = 0;
        list.OnClick = [&] { ++clicks; };
        QVERIFY(list.SelectName(".hidden", true));
        QCOMPARE(clicks, 1); // selection changes reach the owner
        const auto selectedNames = [&] {
            QStringList names;
            for (const auto &i : list.SelectedItems())
                names << list.GetShListData(i).GetDisplayName();
            return names;
        };
        // The model sorts a moment after the rows arrive.
        QTRY_COMPARE(selectedNames(), (QStringList{"sub", ".hidden", "b.txt"})); // folders first, then by name
        // The four view styles share the rows and the selection.
        for (TViewStyle s : {TViewStyle::LargeIcon, TViewStyle::SmallIcon, TViewStyle::List, TViewStyle::Details}) {
            list.SetViewStyle(s);
            QCOMPARE(list.ViewStyle(), s);
            QCOMPARE(list.SelectedCount(), 3);
            QVERIFY(list.IsDragSource(list.CurrentView()));
        }
        list.SetViewStyle(TViewStyle::LargeIcon);
        QCOMPARE(qobject_cast<QListView *>(list.CurrentView())->viewMode(), QListView::IconMode);
        QVERIFY(!list.IsDragSource(nullptr));
    }

    void sortingKeepsTheSelection()
    {
        QTemporaryDir dir;
        touch(dir.path() + "/small", "1");
        touch(dir.path() + "/large", QByteArray(5000, 'x'));
        touch(dir.path() + "/medium", QByteArray(300, 'x'));
        QDir(dir.path()).mkdir("zfolder");
        LocList list;
        list.SetFolder(dir.path());
        QVERIFY(list.SelectName("small"));
        const auto names = [&] {
            QStringList n;
            for (int r = 0; r < list.Model()->rowCount(); ++r)
                n << list.Model()->index(r, 0).data().toString();
            return n;
        };
        list.Model()->sort(1, Qt::DescendingOrder);
        QCOMPARE(names(), (QStringList{"zfolder", "large", "medium", "small"})); // folders first
        QCOMPARE(list.SelectedCount(), 1);
        QCOMPARE(list.GetShListData(list.SelectedItems().first()).GetDisplayName(), QStringLiteral("small"));
        touch(dir.path() + "/tiny", "");
        list.RefreshItems(); // a re-read keeps the order and the selection
        QCOMPARE(names(), (QStringList{"zfolder", "large", "medium", "small", "tiny"}));
        QCOMPARE(list.GetShListData(list.SelectedItems().first()).GetDisplayName(), QStringLiteral("small"));
    }

    void followsAndRereadsTheFileSystem()
    {
        QTemporaryDir dir;
        LocTree tree;
        LocList list;
        tree.SetLinkedList(&list);
        QVERIFY(tree.SetSelectedPathName(dir.path()));
        QTRY_COMPARE(list.ItemCount(), 0);
        touch(dir.path() + "/new.txt");
        QTRY_COMPARE(list.ItemCount(), 1); // seen without asking
        QDir(dir.path()).mkdir("made outside");
        list.RefreshItems();
        QTRY_COMPARE(list.ItemCount(), 2);
        tree.RefreshNodes();
        QCOMPARE(tree.GetSelectedPathName(), dir.path());
        QVERIFY(tree.SetSelectedPathName(dir.path() + "/made outside"));
        // A selected folder deleted outside: refreshing falls back to its parent.
        QDir(dir.path() + "/made outside").removeRecursively();
        tree.RefreshNodes();
        QCOMPARE(tree.GetSelectedPathName(), dir.path());
    }

    void newFolderIsNamedInPlace()
    {
        QTemporaryDir dir;
        LocTree tree;
        tree.show();
        QVERIFY(tree.SetSelectedPathName(dir.path()));
        QVERIFY(tree.CreateNewFolder());
        QVERIFY(QFileInfo(dir.path() + "/New Folder").isDir());
        QCOMPARE(tree.GetSelectedPathName(), dir.path() + "/New Folder");
        auto *editor = tree.findChild<QLineEdit *>();
        QVERIFY(editor && editor->isVisible());
        editor->setText("Named");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(QFileInfo(dir.path() + "/Named").isDir());
        QVERIFY(tree.SetSelectedPathName(dir.path()));
        QVERIFY(tree.CreateNewFolder());
        QVERIFY(tree.SetSelectedPathName(dir.path()));
        QVERIFY(tree.CreateNewFolder());
        QVERIFY(QFileInfo(dir.path() + "/New Folder (2)").isDir());
        // Without write access the tree reports failure.
        LocTree t2;
        QVERIFY(t2.SetSelectedPathName("/proc"));
        QVERIFY(!t2.CreateNewFolder());
    }

    // Types and icons come from the names: listing a folder opens none of its files, so a
    // FIFO or a file that blocks when read (/proc/kmsg) cannot hang the window. A fault
    // shows as an open seen by inotify, or as a hang that fails the test by time-out.
    void listingOpensNoFile()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        QCOMPARE(::mkfifo(QFile::encodeName(d + "/pipe").constData(), 0600), 0);
        QCOMPARE(::mkfifo(QFile::encodeName(d + "/kmsg").constData(), 0600), 0);
        touch(d + "/report", "%PDF-1.4\n"); // a type only its contents would tell
        touch(d + "/notes.txt", "plain");
        QDir(d).mkdir("folder");
        QCOMPARE(::symlink("/nonexistent/target", QFile::encodeName(d + "/dangling").constData()), 0);
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(d).constData(), IN_OPEN | IN_ACCESS) >= 0);

        LocTree tree;
        LocList list;
        tree.SetLinkedList(&list);
        QVERIFY(tree.SetSelectedPathName(d));
        QTRY_COMPARE(list.ItemCount(), 6);
        QAbstractItemModel *m = list.Model();
        const auto typeOf = [&](const QByteArray &name) { return itemOf(list, name, 2).data().toString(); };
        // Every column and icon of every row, as the views would ask for them.
        for (int r = 0; r < m->rowCount(); ++r)
            for (int c = 0; c < m->columnCount(); ++c) {
                m->index(r, c).data(Qt::DisplayRole);
                m->index(r, c).data(Qt::DecorationRole);
            }
        // The tree's file system model, here showing files too, with its icons and types.
        TLocalFileModel fm;
        fm.setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
        fm.setRootPath(d);
        QTRY_VERIFY(!fm.type(fm.index(d + "/report")).isEmpty() && !fm.type(fm.index(d + "/pipe")).isEmpty());
        QCOMPARE(fm.type(fm.index(d + "/pipe")), QStringLiteral("FIFO"));
        fm.index(d + "/report").data(Qt::DecorationRole);
        fm.index(d + "/pipe").data(Qt::DecorationRole);
        QStringList opened;
        char buf[4096];
        for (ssize_t n; (n = ::read(watch, buf, sizeof buf)) > 0;)
            for (char *p = buf; p < buf + n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(p);
                if (e->len > 0)
                    opened << QString::fromLocal8Bit(e->name);
                p += sizeof(inotify_event) + e->len;
            }
        ::close(watch);
        opened.removeDuplicates();
        QCOMPARE(opened, QStringList());
        QCOMPARE(typeOf("pipe"), QStringLiteral("FIFO"));
        QCOMPARE(typeOf("kmsg"), QStringLiteral("FIFO"));
        QCOMPARE(typeOf("report"), QStringLiteral("File"));
        QCOMPARE(typeOf("folder"), QStringLiteral("Folder"));
        QCOMPARE(typeOf("dangling"), QStringLiteral("Link"));
        QVERIFY(!typeOf("notes.txt").isEmpty() && typeOf("notes.txt") != QStringLiteral("File"));
        // A link shows its own size, never the "-1 bytes" of a missing target.
        const QString linkSize = itemOf(list, "dangling", 1).data().toString();
        QCOMPARE(linkSize, QLocale::system().formattedDataSize(qint64(qstrlen("/nonexistent/target"))));

        // Nobody holds the FIFO open for reading.
        const int w = ::open(QFile::encodeName(d + "/pipe").constData(), O_WRONLY | O_NONBLOCK);
        QCOMPARE(w, -1);
        QCOMPARE(errno, ENXIO);
    }

    void treeShowsFoldersOnly()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        QDir(d).mkdir("sub");
        touch(d + "/file.txt");
        QCOMPARE(::mkfifo(QFile::encodeName(d + "/pipe").constData(), 0600), 0);
        QCOMPARE(::symlink("/nonexistent", QFile::encodeName(d + "/broken").constData()), 0);
        QCOMPARE(::symlink("sub", QFile::encodeName(d + "/sublink").constData()), 0);
        LocTree tree;
        QVERIFY(tree.SetSelectedPathName(d));
        auto *m = qobject_cast<QFileSystemModel *>(tree.model());
        QSignalSpy loaded(m, &QFileSystemModel::directoryLoaded);
        tree.expand(m->index(d));
        QTRY_VERIFY(loaded.count() > 0 && m->rowCount(m->index(d)) > 0);
        QCOMPARE(childNames(m, m->index(d)), (QStringList{"sub", "sublink"}));
    }

    // The menu acts only on what is under the pointer: on empty space it drops an earlier
    // selection and offers no Open, Rename or Delete, so a Delete afterwards deletes nothing.
    void contextMenuActsWhereItOpened()
    {
        QTemporaryDir dir;
        touch(dir.path() + "/a.txt");
        touch(dir.path() + "/b.txt");
        TScriptedPrompts p;
        LocList list;
        list.SetPrompts(&p);
        list.resize(500, 400);
        list.show();
        list.SetFolder(dir.path());
        QTRY_COMPARE(list.ItemCount(), 2);
        QAbstractItemView *view = list.CurrentView();
        QVERIFY(list.SelectName("a.txt"));
        const QPoint empty(10, view->viewport()->height() - 5);
        QVERIFY(!view->indexAt(empty).isValid());
        std::unique_ptr<QMenu> menu(list.ContextMenu(view, empty));
        QCOMPARE(list.SelectedCount(), 0);
        QCOMPARE(actionTexts(menu.get()), (QStringList{"&New Folder", "Re&fresh", "&Open Folder", "&Copy Path"}));
        QTest::keyClick(view, Qt::Key_Delete); // nothing selected: no question, nothing gone
        QVERIFY(QFile::exists(dir.path() + "/a.txt"));

        // On an item that is not selected: that item alone.
        QVERIFY(list.SelectName("a.txt"));
        const QModelIndex b = itemOf(list, "b.txt");
        QTRY_VERIFY(view->visualRect(b).isValid());
        menu.reset(list.ContextMenu(view, view->visualRect(b).center()));
        QCOMPARE(list.SelectedCount(), 1);
        QCOMPARE(list.GetShListData(list.SelectedItems().first()).GetDisplayName(), QStringLiteral("b.txt"));
        QCOMPARE(actionTexts(menu.get()), (QStringList{"&Open", "&Rename", "&Delete", "&Copy Path"}));
        p.ExpectConfirm("Are you sure you want to delete \"b.txt\"?\nFolders are deleted with everything in them.",
                        "Confirm Delete", true);
        menu->actions().at(2)->trigger();
        QVERIFY(!QFile::exists(dir.path() + "/b.txt"));
        QVERIFY(QFile::exists(dir.path() + "/a.txt"));
        TARSEL_VERIFY_PROMPTS(p);
    }

    void keys()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("sub/inner");
        touch(dir.path() + "/sub/x.txt");
        TScriptedPrompts p;
        LocList list;
        list.SetPrompts(&p);
        list.resize(500, 400);
        list.show();
        list.SetFolder(dir.path() + "/sub");
        QTRY_COMPARE(list.ItemCount(), 2);
        QAbstractItemView *view = list.CurrentView();
        view->setFocus();

        QVERIFY(list.SelectName("x.txt"));
        QTest::keyClick(view, Qt::Key_F2);
        auto *editor = view->findChild<QLineEdit *>();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->text(), QStringLiteral("x.txt"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!editor || !editor->isVisible());

        QString opened;
        list.OnOpenFolder = [&](const QString &path) { opened = path; };
        QVERIFY(list.SelectName("inner"));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(opened, dir.path() + "/sub/inner");
        QTest::keyClick(view, Qt::Key_Backspace);
        QCOMPARE(opened, dir.path());
        opened.clear();
        QTest::keyClick(view, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(opened, dir.path());
        list.OnOpenFolder = nullptr;
        QTest::keyClick(view, Qt::Key_Backspace); // no owner: the list goes up itself
        QCOMPARE(list.Folder(), dir.path());
        QTRY_COMPARE(list.ItemCount(), 1);

        touch(dir.path() + "/y.txt");
        QTest::keyClick(list.CurrentView(), Qt::Key_F5);
        QCOMPARE(list.ItemCount(), 2); // read at once, not only when the watcher tells

        QVERIFY(list.SelectName("sub"));
        p.ExpectConfirm("Are you sure you want to delete \"sub\"?\nFolders are deleted with everything in them.",
                        "Confirm Delete", true);
        QTest::keyClick(list.CurrentView(), Qt::Key_Delete);
        QVERIFY(!QFileInfo::exists(dir.path() + "/sub"));
        TARSEL_VERIFY_PROMPTS(p);
    }

    // What the system refuses is said, with the name and the reason, never swallowed.
    void failuresAreReported()
    {
        QTemporaryDir dir;
        touch(dir.path() + "/a.txt");
        touch(dir.path() + "/b.txt");
        TScriptedPrompts p;
        LocList list;
        list.SetPrompts(&p);
        list.SetFolder(dir.path());
        QTRY_COMPARE(list.ItemCount(), 2);
        QAbstractItemModel *m = list.Model();
        const QModelIndex a = itemOf(list, "a.txt");
        p.ExpectError("Cannot rename \"a.txt\" to \"b.txt\":\nA file or folder with that name already exists.",
                      "Rename Error");
        QVERIFY(!m->setData(a, "b.txt"));
        QTRY_COMPARE(p.Pending(), 0);
        p.ExpectError("Cannot rename \"a.txt\" to \"x/y\":\nThe name is not valid.", "Rename Error");
        QVERIFY(!m->setData(a, "x/y"));
        QTRY_COMPARE(p.Pending(), 0);
        QCOMPARE(QFile(dir.path() + "/b.txt").size(), 1); // nothing overwritten
        QVERIFY(m->setData(a, "c.txt"));
        QVERIFY(QFile::exists(dir.path() + "/c.txt"));

        // A folder that cannot be read (here: gone) does not just look empty.
        p.ExpectError("Cannot read the folder \"" + dir.path() + "/gone\":\n" +
                          QString::fromLocal8Bit(std::strerror(ENOENT)),
                      "Directory Error");
        list.SetFolder(dir.path() + "/gone");
        QTRY_COMPARE(p.Pending(), 0);

        // A delete the system refuses.
        errno = 0;
        QVERIFY(::unlink("/proc/version") != 0);
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        p.ExpectConfirm("Are you sure you want to delete \"version\"?\nFolders are deleted with everything in them.",
                        "Confirm Delete", true);
        p.ExpectError("Could not delete:\n\"version\": " + reason, "Delete Error");
        QVERIFY(!localmenu::Delete(QStringList{"/proc/version"}, &p));
        TARSEL_VERIFY_PROMPTS(p);
    }

    // A name that is not valid UTF-8 is listed with its odd bytes escaped, and renamed and
    // deleted by its own bytes.
    void nonUtf8Names()
    {
        QTemporaryDir dir;
        const QByteArray d = QFile::encodeName(dir.path());
        touch(dir.path() + "/plain.txt");
        {
            const int fd = ::open((d + "/caf\xe9 \\.txt").constData(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        TScriptedPrompts p;
        LocList list;
        list.SetPrompts(&p);
        list.SetFolder(dir.path());
        QCOMPARE(list.ItemCount(), 2);
        const QModelIndex odd = itemOf(list, "caf\xe9 \\.txt");
        QVERIFY(odd.isValid());
        QCOMPARE(odd.data().toString(), QStringLiteral("caf\\xE9 \\\\.txt"));
        const TShListData data = list.GetShListData(odd);
        QCOMPARE(data.GetPathBytes(), d + "/caf\xe9 \\.txt");
        QCOMPARE(data.GetDisplayName(), QStringLiteral("caf\\xE9 \\\\.txt"));

        // Editing keeps the escaped bytes.
        QVERIFY(list.Model()->setData(odd, QStringLiteral("old caf\\xE9.txt")));
        QVERIFY(existsBytes(d + "/old caf\xe9.txt"));
        QVERIFY(!existsBytes(d + "/caf\xe9 \\.txt"));
        QTRY_VERIFY(itemOf(list, "old caf\xe9.txt").isValid());

        QVERIFY(list.SelectName(QStringLiteral("old caf\\xE9.txt")));
        p.ExpectConfirm("Are you sure you want to delete \"old caf\\xE9.txt\"?\n"
                        "Folders are deleted with everything in them.",
                        "Confirm Delete", true);
        QTest::keyClick(list.CurrentView(), Qt::Key_Delete);
        QVERIFY(!existsBytes(d + "/old caf\xe9.txt"));
        QVERIFY(existsBytes(d + "/plain.txt"));
        TARSEL_VERIFY_PROMPTS(p);

        // A folder with such a name opens by its bytes, and Backspace comes back.
        QCOMPARE(::mkdir((d + "/dir\xff").constData(), 0700), 0);
        {
            const int fd = ::open((d + "/dir\xff/inside.txt").constData(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        list.Model()->Refresh();
        QVERIFY(list.SelectName(QStringLiteral("dir\\xFF")));
        list.show();
        QTest::keyClick(list.CurrentView(), Qt::Key_Return);
        QCOMPARE(list.Folder(), dir.path() + QStringLiteral("/dir\\xFF"));
        QCOMPARE(list.ItemCount(), 1);
        QVERIFY(list.SelectName("inside.txt"));
        QCOMPARE(list.GetShListData(list.SelectedItems().first()).GetPathBytes(), d + "/dir\xff/inside.txt");
        QTest::keyClick(list.CurrentView(), Qt::Key_Backspace);
        QCOMPARE(list.Folder(), dir.path());

        QCOMPARE(LocalNameFromDisplay(LocalDisplayName("a\\b\xff"), true), QByteArray("a\\b\xff"));
        QCOMPARE(LocalDisplayName("r\xc3\xa9sum\xc3\xa9\\x"), QStringLiteral("r\u00e9sum\u00e9\\x")); // valid: as is
    }

    void deleteAsksFirst()
    {
        QTemporaryDir dir;
        touch(dir.path() + "/keep.txt");
        QDir(dir.path()).mkpath("tree/inner");
        touch(dir.path() + "/tree/inner/f");
        TScriptedPrompts p;
        p.ExpectConfirm("Are you sure you want to delete \"keep.txt\"?\nFolders are deleted with everything in them.",
                        "Confirm Delete", false);
        QVERIFY(!localmenu::Delete({dir.path() + "/keep.txt"}, &p));
        QVERIFY(QFile::exists(dir.path() + "/keep.txt"));
        p.ExpectConfirm("Are you sure you want to delete these 2 items?\nFolders are deleted with everything in them.",
                        "Confirm Delete", true);
        QVERIFY(localmenu::Delete({dir.path() + "/keep.txt", dir.path() + "/tree"}, &p));
        QVERIFY(QDir(dir.path()).isEmpty());
        TARSEL_VERIFY_PROMPTS(p);
    }
};

QTEST_MAIN(TestPanes)
#include "tst_panes.moc"
