#include "scene/ThrowGesture.h"

#include "scene/ThrowRules.h"
#include "scene/TrackpadThrow.h"

#include <algorithm>

ThrowGesture::ThrowGesture()
{
    m_samples.reserve(32);
}

void ThrowGesture::press(QPointF location, double uptime)
{
    m_dragging = true;
    m_start = m_end = location;
    m_samples.clear();
    m_samples.push_back({ location, uptime });
}

void ThrowGesture::drag(QPointF location, double uptime)
{
    m_end = location;
    m_samples.push_back({ location, uptime });
    std::erase_if(m_samples, [uptime](const Sample &s) { return uptime - s.time > 0.12; });
}

ThrowGesture::Release ThrowGesture::release(
    QPointF location, double uptime, double fieldSide, bool assisted, QPointF ballAt)
{
    m_dragging = false;
    if (assisted && m_start) {
        m_end = location;
        const QPointF drag = (location - *m_start) / fieldSide;
        const auto v = TrackpadThrow::velocity(drag.x(), drag.y());
        return v ? Release { false, *v } : Release { true, {} };
    }
    // A flick: the velocity of the last 0.12 s of the drag.
    const Sample oldest = m_samples.empty() ? Sample { ballAt, uptime - 0.01 } : m_samples.front();
    const double dt = std::max(uptime - oldest.time, 0.016);
    const double boost = assisted ? 1.25 : 1.0;
    const QPointF v = (location - oldest.location) / dt / fieldSide * boost;
    constexpr double limit = ThrowRules::maxSpeed;
    return { false, QPointF(std::clamp(v.x(), -limit, limit), std::clamp(v.y(), -limit, limit)) };
}

QPointF ThrowGesture::aimDrag(double fieldSide) const
{
    if (!m_dragging)
        return QPointF(0.08, 0.08);
    return (m_end.value_or(QPointF()) - m_start.value_or(QPointF())) / fieldSide;
}
