#pragma once
// A client under test with its completions counted: every request a test starts goes
// through start(), and the test checks that each ended exactly once.

#include <string>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTest>

#include "ftp/ftpcli.h"

namespace tarsel::test {

struct FtpHarness {
    TFtpClient ftp;
    int started = 0;
    int ended = 0;
    TFtpRequest lastRq = TFtpRequest::ftpNone;
    int lastError = -1;
    std::vector<std::string> display;
    std::vector<std::string> bgErrors;
    std::function<void()> onDone; // runs once, from the next OnRequestDone

    FtpHarness()
    {
        ftp.OnRequestDone = [this](TCustomFtpCli *, TFtpRequest rq, int error) {
            ++ended;
            lastRq = rq;
            lastError = error;
            if (onDone) {
                auto next = std::move(onDone);
                onDone = nullptr;
                next();
            }
        };
        ftp.OnDisplay = [this](TCustomFtpCli *, std::string &msg) {
            display.push_back(msg);
            if (qEnvironmentVariableIsSet("TARSEL_FTP_TRACE"))
                qDebug("%s", msg.c_str());
        };
        ftp.OnBgException = [this](TCustomFtpCli *, const std::exception &e, bool &) {
            bgErrors.emplace_back(e.what());
        };
    }

    void target(quint16 port)
    {
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(std::to_string(port));
        ftp.SetUserName("user");
        ftp.SetPassWord("secret");
    }

    // Starts a request; a refusal propagates to the test and is not counted.
    template <class Fn>
    void start(Fn fn)
    {
        (ftp.*fn)();
        ++started;
    }

    // Waits until every started request has ended, then lets queued notices run so a
    // second completion would be seen.
    bool waitDone(int timeoutMs = 10000)
    {
        bool ok = waitFor([this] { return ended >= started; }, timeoutMs);
        settle();
        return ok && ended == started;
    }

    // Runs a real event loop until the condition holds (QTest::qWaitFor sleeps between
    // passes, which would pace an upload at one block per pass).
    template <class Pred>
    static bool waitFor(Pred pred, int timeoutMs)
    {
        if (pred())
            return true;
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (pred())
                loop.quit();
        });
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        check.start(2);
        loop.exec();
        return pred();
    }

    // Runs the event loop until a notice posted now has been handled.
    static void settle()
    {
        for (int i = 0; i < 3; ++i) {
            bool seen = false;
            QObject ctx;
            QMetaObject::invokeMethod(&ctx, [&seen] { seen = true; }, Qt::QueuedConnection);
            (void)QTest::qWaitFor([&seen] { return seen; }, 1000);
        }
    }

    // Starts a request and waits for its end: its error, or NotEnded when it did not
    // end exactly once in time.
    static constexpr int NotEnded = -2;
    template <class Fn>
    int run(Fn fn, int timeoutMs = 10000)
    {
        start(fn);
        return waitDone(timeoutMs) ? lastError : NotEnded;
    }

    bool shown(const std::string &part) const
    {
        for (const auto &l : display)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }

    bool connectTo(quint16 port)
    {
        target(port);
        start(&TCustomFtpCli::ConnectAsync);
        return waitDone() && lastError == 0;
    }
};

} // namespace tarsel::test
