#pragma once

#include <QList>
#include <QRect>

class QWidget;

// The part of a top-level window that takes pointer events; everywhere else clicks fall
// through to the windows beneath. Set through the X11 input shape, so that moving it races
// with nothing: a click always goes where the shape was when the server received it.
// Sends a change only, and only once the window has a native handle.
class InputShape {
public:
    explicit InputShape(QWidget *window);

    // `area` in the window's logical coordinates; an empty rectangle takes no events at all.
    void set(const QRect &area);
    QRect area() const { return m_area; }

private:
    QWidget *m_window;
    QRect m_area;
    bool m_sent = false;
};
