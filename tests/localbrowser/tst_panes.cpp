#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

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
        QStringList names;
        for (const auto &i : list.SelectedItems())
            names << list.GetShListData(i).GetDisplayName();
        QCOMPARE(names, (QStringList{"sub", ".hidden", "b.txt"})); // folders first, then by name
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
