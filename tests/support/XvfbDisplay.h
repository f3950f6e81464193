#pragma once

#include <QString>

#include <sys/types.h>

// A private X server (Xvfb, no window manager) for a window test that changes server-wide state.
// start() it before the QApplication: it points DISPLAY at it and selects Qt's xcb platform.
// The server ends with this object, or with the test process if that dies first.
class XvfbDisplay {
public:
    XvfbDisplay() = default;
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay &) = delete;
    XvfbDisplay &operator=(const XvfbDisplay &) = delete;

    // `screen` as Xvfb's -screen argument, e.g. "1920x1080x24". False with errorText() on failure.
    bool start(const QString &screen = QStringLiteral("1920x1080x24"));
    // ":<number>"
    QString name() const { return m_name; }
    QString errorText() const { return m_error; }

private:
    pid_t m_pid = -1;
    QString m_name;
    QString m_error;
};
