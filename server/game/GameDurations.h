#pragma once

#include <QtGlobal>

// How long the game waits for things, in milliseconds. Tests shorten them through hidden
// command-line flags; players always get these defaults.
struct GameDurations {
    qint64 readyMs = 15000; // a round waits this long for its receiver, then goes back
    qint64 roundMs = 20000; // an active round lasts this long
    qint64 graceMs = 1000; // a result may arrive this late (its flight ended before)
    qint64 presenceMs = 10000; // a heartbeat keeps its player online this long
    qint64 cooldownMs = 3000; // after a round the next pass waits this long
};
