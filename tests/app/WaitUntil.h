#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

// Runs the event loop until `done` holds or the time is up. Unlike QTest::qWaitFor it runs a
// real event loop, in which the Secret Service's replies (delivered by GLib) arrive.
[[nodiscard]] inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 15000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}
