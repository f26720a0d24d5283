#pragma once
// A connected window on the scripted server over a small tree, with helpers to select
// rows, run the main window's commands and read the command lines sent since a mark.

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QItemSelectionModel>
#include <QPushButton>

#include "sessionfixture.h"

namespace tarsel::test {

struct ManageFixture {
    SessionFixture fx;
    TFormMdi *w = nullptr;
    qsizetype mark = 0;

    // Serves "/" with the directory "sub" and the files a.txt, b.txt, c.txt; MKD makes a
    // directory the tree knows.
    bool open()
    {
        if (!fx.startServer())
            return false;
        fx.serveTree({{"/", unixDir("sub") + unixFile("a.txt") + unixFile("b.txt") + unixFile("c.txt")},
                      {"/sub", unixFile("inner.txt")}});
        fx.server.on("MKD", [this](const QByteArray &arg) {
            fx.tree["/" + arg] = QByteArray();
            fx.server.line("257 \"/" + arg + "\" created");
        });
        fx.addProfile("Work");
        w = fx.quickConnect("Work");
        if (!SessionFixture::waitIdle(w))
            return false;
        markNow();
        return true;
    }

    void markNow() { mark = fx.server.commands.size(); }

    // The command lines since the mark, without the data-connection set-up.
    QList<QByteArray> sent() const
    {
        QList<QByteArray> out;
        for (qsizetype i = mark; i < fx.server.commands.size(); ++i) {
            const QByteArray &c = fx.server.commands[i];
            if (!c.startsWith("PASV") && !c.startsWith("PORT") && !c.startsWith("TYPE"))
                out.append(c);
        }
        return out;
    }

    void trigger(TActionId id) { fx.main->Action(id)->trigger(); }

    // Waits until the window is idle again after a command, with `lines` sent.
    bool waitSent(const QList<QByteArray> &lines)
    {
        return QTest::qWaitFor([&] { return sent() == lines && SessionFixture::idle(w); }, 10000);
    }

    static void select(TRemoteList *list, const QStringList &captions)
    {
        list->Selection()->clearSelection();
        const QStringList all = SessionFixture::captions(list);
        for (const QString &c : captions) {
            const int row = all.indexOf(c);
            QVERIFY2(row >= 0, qPrintable(c));
            list->Selection()->select(list->Model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    // Back at the default handlers and idle, with the error logged.
    bool failedIdle(const QString &logLine)
    {
        return QTest::qWaitFor(
            [&] {
                return SessionFixture::logHas(w, logLine) && w->Ftp1.State() == TFtpState::ftpReady &&
                       w->DirCombo->isEnabled() && w->RequestHandler() == &TFormMdi::Ftp1RequestDone &&
                       w->CancelHandler() == &TFormMdi::CancelBClick;
            },
            10000);
    }
};

// Ticks the permission boxes (0 to 8: owner rwx, group rwx, others rwx), the quote box,
// and presses OK.
inline std::function<void(QDialog &)> chmodDrive(std::initializer_list<int> boxes, bool quote = false)
{
    std::vector<int> on(boxes);
    return [on, quote](QDialog &d) {
        for (int i = 0; i < 9; ++i) {
            auto *b = d.findChild<QCheckBox *>(QStringLiteral("CheckBox%1").arg(i + 1));
            QVERIFY(b);
            b->setChecked(std::find(on.begin(), on.end(), i) != on.end());
        }
        d.findChild<QCheckBox *>(QStringLiteral("CheckQuote"))->setChecked(quote);
        d.findChild<QPushButton *>(QStringLiteral("Button1"))->click();
    };
}

inline const QString InvalidText =
    QStringLiteral("This text cannot be sent to the server: it contains a line break or a NUL character.");

} // namespace tarsel::test
