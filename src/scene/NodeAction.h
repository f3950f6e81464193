#pragma once

#include <QPointF>

#include <optional>

// A timed change of one node, run on the scene's frame clock: moves the node by `moveBy`
// and fades its alpha to `fadeTo` (both together, linearly) over `duration` seconds, and
// takes the node out of the tree when it is done if `removeWhenDone` is set.
struct NodeAction {
    QPointF moveBy;
    std::optional<double> fadeTo;
    double duration = 0;
    bool removeWhenDone = false;
};
