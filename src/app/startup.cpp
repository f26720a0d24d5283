#include "app/startup.h"

#include <QCursor>
#include <QPointer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/settings/datafolder.h"
#include "app/settings/treg.h"
#include "app/singleinstance.h"
#include "app/splash.h"
#include "app/tapplication.h"
#include "app/tformmain.h"
#include "common/exception.h"
#include "dialogs/dlgapi.h"
#include "dialogs/hlpmod.h"
#include "listing/parser.h"
#include "session/child.h"
#include "uikit/icons.h"
#include "uikit/qtprompts.h"

namespace tarsel {

namespace {

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// TARSEL_PROMPTS=log writes every box to standard error and answers it with its default
// button, for runs with nobody at the screen (the single-instance test, scripted demos).
std::unique_ptr<IPrompts> unattendedPrompts()
{
    if (qgetenv("TARSEL_PROMPTS") == "log")
        return std::make_unique<TLoggingPrompts>();
    return nullptr;
}

} // namespace

void RunCreations(TfrmSplash *splash, const std::vector<std::function<void()>> &creations, int pauseMs)
{
    const QPointer<TfrmSplash> alive(splash);
    const int count = int(creations.size());
    for (int i = 0; i < count; ++i) {
        creations[std::size_t(i)]();
        if (alive) {
            alive->SetInfo(QStringLiteral("Loading...%1%").arg((i + 1) * 100 / count));
            alive->repaint();
        }
        pause(pauseMs);
    }
}

void SetApplicationNames()
{
    QApplication::setOrganizationName(QString::fromLatin1(TReg::Organization));
    QApplication::setApplicationName(QString::fromLatin1(TReg::ApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("tarselftp"));
}

int RunTarsel(int argc, char **argv)
{
    TApplication app(argc, argv);
    SetApplicationNames();

    QStringList args = QApplication::arguments();
    QString error;
    if (!ApplyDataDirArgument(args, &error)) {
        std::fprintf(stderr, "tarselftp: %s\n", qPrintable(error));
        return 2;
    }

    std::unique_ptr<IPrompts> unattended = unattendedPrompts();
    TQtPrompts ownerless([] { return nullptr; });
    IPrompts &prompts = unattended ? *unattended : static_cast<IPrompts &>(ownerless);

    TSingleInstance instance;
    if (!instance.TryAcquire()) {
        instance.AskRunningToRestore();
        prompts.InfoBox(QStringLiteral("Tarsel FTP is already running!"), QStringLiteral("Tarsel FTP"));
        return 0;
    }

    try {
        icons::Init();
        QApplication::setWindowIcon(icons::Icon(TImage::Connection));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        auto *splash = new TfrmSplash;
        splash->SetInfo(QStringLiteral("Loading...Please wait..."));
        splash->show();
        splash->repaint();
        QApplication::processEvents();
        // The single instances, in their order. TReg keeps no state. The listing parser
        // outlives the main window, whose connection windows all read with it.
        std::optional<TDirParser> dirParser;
        std::unique_ptr<TFormMain> mainWindow;
        std::optional<TReg> reg;
        std::optional<TDlgs> dlgs;
        std::optional<THelpMod> helpMod;
        RunCreations(splash,
                     {[&] { mainWindow = std::make_unique<TFormMain>(unattended.get()); }, [&] { reg.emplace(); },
                      [&] { dlgs.emplace(mainWindow.get()); }, [&] { dirParser.emplace(); },
                      [&] { helpMod.emplace(); }},
                     100);

        // Quick Connect and New Connection open connection windows.
        TSessionSeams seams;
        seams.Parser = &*dirParser;
        mainWindow->SetConnectionWindowFactory(
            [seams](TFormMain &main, const std::string &profile) -> IConnectionWindow * {
                return TFormMdi::Create(main, profile, seams);
            });
        instance.OnRestoreRequested = [w = mainWindow.get()] {
            std::fprintf(stderr, "Restore requested by another instance\n");
            w->RestoreAndRaise();
        };
        mainWindow->show();
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        std::fprintf(stderr, "Tarsel FTP running\n");
        std::fflush(stderr);
        QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
        const int code = QApplication::exec();
        return code;
    } catch (...) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        prompts.ErrorBox(QString::fromStdString(ExceptionMessage(std::current_exception())),
                         QStringLiteral("Tarsel FTP"));
        return 1;
    }
}

} // namespace tarsel
