#pragma once
// A main window hosting one connection window against a scripted or real FTP server,
// with the settings store and the data folder in a temporary folder, the prompts
// scripted, the window's timers ticked by hand and its clock set by the test.

#include <QAbstractItemView>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QDir>
#include <QPlainTextEdit>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/settings/datafolder.h"
#include "app/settings/profile.h"
#include "app/settings/profilefile.h"
#include "app/settings/treg.h"
#include "app/tformmain.h"
#include "localbrowser/loclist.h"
#include "localbrowser/loctree.h"
#include "session/child.h"
#include "support/scriptedftpserver.h"
#include "uikit/scriptedprompts.h"
#include "wait/rununtil.h"

namespace tarsel::test {

struct TransferFixture {
    QTemporaryDir dir;
    QString local; // the local folder selected in the tree
    TScriptedPrompts prompts;
    std::unique_ptr<TFormMain> main;
    TSessionSeams seams;
    std::int64_t clockMs = 1000000;
    TFormMdi *window = nullptr;
    QPointer<QObject> dragSource; // what the drag events sent by drop() come from

    TransferFixture()
    {
        TReg::SetRootFolder(dir.path() + "/reg");
        SetDataFolder(dir.path() + "/data");
        QDir().mkpath(dir.path() + "/data");
        local = dir.path() + "/local";
        QDir().mkpath(local);
        seams.ManualTimers = true;
        seams.Clock = [this] { return clockMs; };
        seams.DragSource = [this](const QDropEvent *) -> QObject * { return dragSource.data(); };
        main = std::make_unique<TFormMain>(&prompts);
        main->resize(900, 700);
        main->show();
        main->GetLocTree().SetSelectedPathName(local);
    }

    ~TransferFixture()
    {
        if (main)
            main->CloseAllConnections();
        main.reset();
        SetDataFolder(QString());
        TReg::SetRootFolder(QString());
    }

    // Connects a window to 127.0.0.1:port and waits for its first listing.
    bool connect(quint16 port, bool passive = true, const std::string &user = "user",
                 const std::string &pass = "secret", const std::string &startDir = {})
    {
        ProfileFile f(ProfileFilePath());
        Profile p;
        p.Name = "test";
        p.HostName = "127.0.0.1";
        p.Port = port;
        p.UserName = user;
        p.PassWord = pass;
        p.StartDir = startDir;
        p.Passive = passive;
        WriteProfile(f, p);
        if (!f.Save())
            return false;
        window = TFormMdi::Create(*main, "test", seams);
        main->AddConnectionWindow(window);
        return waitIdle();
    }

    bool idle() const
    {
        return window && window->Ftp1.Connected() && window->Ftp1.State() == TFtpState::ftpReady &&
               window->DirCombo->isEnabled() && window->RequestHandler() != nullptr;
    }
    bool waitIdle(int ms = 15000)
    {
        // The window and client are idle and no operation's handler is waiting.
        return RunUntil([this] { return idle() && !window->TransferActive; }, ms);
    }
    bool waitLog(const QString &line, int ms = 15000)
    {
        return RunUntil([this, line] { return window->LogList.contains(line); }, ms);
    }
    bool logHasPrefix(const QString &prefix) const
    {
        for (const QString &l : window->LogList)
            if (l.startsWith(prefix))
                return true;
        return false;
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

    int fileRow(const QByteArray &name) const
    {
        const TRemoteListModel *m = window->RemoteFiles->Model();
        for (int i = 0; i < m->RowCount(); ++i)
            if (QByteArray::fromStdString(m->Row(i).Caption) == name)
                return i;
        return -1;
    }
    int dirRow(const QByteArray &name) const
    {
        const TRemoteListModel *m = window->RemoteDirs->Model();
        for (int i = 0; i < m->RowCount(); ++i)
            if (QByteArray::fromStdString(m->Row(i).Caption) == name)
                return i;
        return -1;
    }
    void selectRows(TRemoteList *list, const QList<int> &rows)
    {
        list->Selection()->clearSelection();
        for (int r : rows)
            list->Selection()->select(list->Model()->index(r, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    bool selectFiles(const QList<QByteArray> &names)
    {
        QList<int> rows;
        for (const QByteArray &n : names) {
            const int r = fileRow(n);
            if (r < 0)
                return false;
            rows.append(r);
        }
        selectRows(window->RemoteFiles, rows);
        return true;
    }
    bool selectDir(const QByteArray &name)
    {
        const int r = dirRow(name);
        if (r < 0)
            return false;
        selectRows(window->RemoteDirs, {r});
        return true;
    }
    // A drag from the source, over the view and dropped at a point of its viewport, as
    // the view's events; reports whether the drop was taken.
    bool drop(QObject *from, QAbstractItemView *onto, QPoint at = QPoint(5, 5))
    {
        dragSource = from;
        QMimeData mime;
        mime.setText(QStringLiteral("drag"));
        QWidget *port = onto->viewport();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(port, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(port, &move);
        if (!enter.isAccepted() || !move.isAccepted())
            return false;
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(port, &dropped);
        return dropped.isAccepted();
    }

    // Selects local items by name, waiting for the list to have read its folder.
    bool selectLocal(const QStringList &names)
    {
        LocList &l = main->GetLocList();
        l.RefreshItems();
        for (int i = 0; i < names.size(); ++i) {
            const QString n = names[i];
            if (!QTest::qWaitFor([&l, n, i] { return l.SelectName(n, i > 0); }, 5000))
                return false;
        }
        return l.SelectedCount() == names.size();
    }

    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static bool writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    }
    // Bytes that show a misplaced block at once.
    static QByteArray pattern(int size, int seed = 7)
    {
        QByteArray b(size, Qt::Uninitialized);
        quint32 x = quint32(seed) * 2654435761u + 1;
        for (int i = 0; i < size; ++i) {
            x = x * 1103515245u + 12345u;
            b[i] = char(x >> 16);
        }
        return b;
    }
};

} // namespace tarsel::test
