#include "overlay/InputShape.h"

#include "overlay/X11Window.h"

#include <QWidget>

#include <cmath>

InputShape::InputShape(QWidget *window)
    : m_window(window)
{
}

void InputShape::set(const QRect &area)
{
    const QRect clipped = area.intersected(m_window->rect());
    if (m_sent && clipped == m_area)
        return;
    m_area = clipped;
    m_sent = true;
    QList<QRect> device;
    if (!clipped.isEmpty()) {
        // Shape rectangles are in device pixels; round outwards so the area never shrinks.
        const qreal ratio = m_window->devicePixelRatioF();
        const int left = int(std::floor(clipped.left() * ratio));
        const int top = int(std::floor(clipped.top() * ratio));
        const int right = int(std::ceil((clipped.left() + clipped.width()) * ratio));
        const int bottom = int(std::ceil((clipped.top() + clipped.height()) * ratio));
        device.append(QRect(left, top, right - left, bottom - top));
    }
    X11Window::setInputShape(m_window->winId(), device);
}
