#pragma once

#include <QJsonObject>

// The ball's position at one frame of a tracked flight, in field units, with the time in seconds
// since the release. Made by the scene and sent with a result; never read from the server.
struct CrossingSample {
    double x = 0;
    double y = 0;
    double t = 0;

    // {"x", "y", "t"} as JSON numbers, the form request bodies carry.
    QJsonObject toJson() const;

    bool operator==(const CrossingSample &) const = default;
};
