#pragma once

#include <QPointF>

#include <optional>
#include <vector>

// The pointer's part of a throw: a press on the ball, a drag and a release, turned into a
// launch velocity. Locations in scene points, times in monotonic seconds.
class ThrowGesture {
public:
    // What a release asks the scene to do.
    struct Release {
        // A release too close to the press: the ball is parked again.
        bool tap = false;
        // Field sides per second.
        QPointF velocity;
    };

    ThrowGesture();

    bool isDragging() const { return m_dragging; }
    void press(QPointF location, double uptime);
    void drag(QPointF location, double uptime);
    // assisted: the scene has a hoop, and the drag vector only picks a velocity near the one
    // that scores (see TrackpadThrow); otherwise the last 0.12 s of the drag are flung.
    // ballAt is where the ball is, for a release without samples.
    Release release(
        QPointF location, double uptime, double fieldSide, bool assisted, QPointF ballAt);
    void cancel() { m_dragging = false; }
    // The drag so far in field sides; a gentle up-right preview while nothing is dragged.
    QPointF aimDrag(double fieldSide) const;

private:
    struct Sample {
        QPointF location;
        double time = 0;
    };

    bool m_dragging = false;
    std::optional<QPointF> m_start;
    std::optional<QPointF> m_end;
    std::vector<Sample> m_samples;
};
