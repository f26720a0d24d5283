#pragma once
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/settings/datafolder.h"
#include "app/settings/profilefile.h"
#include "app/settings/treg.h"
#include "uikit/scriptedprompts.h"

namespace tarsel::test {

// A data folder and a settings store of the test's own, scripted prompts, and the
// failed-save reports that the application shows as error boxes.
class TDialogFixture {
public:
    TDialogFixture()
    {
        QDir().mkpath(Data());
        SetDataFolder(Data());
        TReg::SetRootFolder(m_dir.path() + QStringLiteral("/config"));
        ProfileFile::SetFailureReporter([this](const QString &error) { SaveErrors << error; });
    }
    ~TDialogFixture()
    {
        ProfileFile::SetFailureReporter(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QString Data() const { return m_dir.path() + QStringLiteral("/data"); }
    QString Accounts() const { return Data() + QStringLiteral("/accounts.dat"); }

    void WriteAccounts(const QByteArray &text) const
    {
        QFile f(Accounts());
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(Accounts()));
        f.write(text);
    }
    QByteArray ReadAccounts() const
    {
        QFile f(Accounts());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TScriptedPrompts Prompts;
    QStringList SaveErrors;

private:
    QTemporaryDir m_dir;
};

// The texts of a list's items, top to bottom.
inline QStringList names(const QListWidget *list)
{
    QStringList n;
    for (int i = 0; i < list->count(); ++i)
        n << list->item(i)->text();
    return n;
}

} // namespace tarsel::test
