#include "scene/ThrowRules.h"

#include "scene/SceneField.h"

#include <algorithm>
#include <cmath>

bool ThrowRules::crossesHoop(
    const CrossingSample &before, const CrossingSample &after, const Hoop &hoop)
{
    if (!(before.y > hoop.y && hoop.y >= after.y && before.y > after.y))
        return false;
    // Where the centre crossed the hoop's height, linearly between the samples.
    const double f = (before.y - hoop.y) / (before.y - after.y);
    const double crossingX = before.x + (after.x - before.x) * f;
    return std::abs(crossingX - hoop.x) + hoop.radius <= hoop.width * 0.5;
}

ThrowRules::Decision ThrowRules::judge(const Frame &frame)
{
    const SceneField field(frame.sceneSize);
    const double side = field.side();
    const double limit = maxSpeed * side;
    const QPointF p = frame.position;
    Decision decision;
    decision.shot = frame.shot;
    decision.velocity = QPointF(std::clamp(frame.velocity.x(), -limit, limit),
        std::clamp(frame.velocity.y(), -limit, limit));

    if (frame.practice && frame.canTransfer && frame.inFlight
        && (p.x() >= field.point(1, 0).x() || p.x() <= field.point(0, 0).x()
            || p.y() >= field.point(0, 1).y())) {
        const QPointF n = field.normalized(p);
        const QPointF v = decision.velocity / side;
        decision.pass
            = Entry { std::clamp(n.x(), 0.0, 1.0), std::clamp(n.y(), 0.0, 1.0), v.x(), v.y() };
        return decision;
    }

    if (frame.scoring && frame.inFlight
        && (p.y() < field.point(0, 0.08).y() || p.x() > field.point(1.02, 0).x()))
        decision.returnIn = missReturnDelay;

    if (frame.shot && frame.clean && frame.scoring && frame.hoop) {
        const QPointF n = field.normalized(p);
        decision.sample = CrossingSample { n.x(), n.y(), frame.elapsed };
        if (frame.previous && crossesHoop(*frame.previous, *decision.sample, *frame.hoop)) {
            decision.hit = true;
            decision.shot.reset();
            if (frame.practice)
                decision.returnIn = hitReturnDelay;
        }
    }

    const double r = field.ballRadius();
    decision.lost = !std::isfinite(p.x()) || !std::isfinite(p.y()) || p.x() < -r
        || p.x() > frame.sceneSize.width() + r || p.y() < -r
        || p.y() > frame.sceneSize.height() + r;
    if (decision.lost)
        decision.shot.reset();
    return decision;
}
