#pragma once

// The ball's centre at one frame of a tracked flight, in field units (see Entry.h); t is in
// seconds since the throw's release.
struct CrossingSample {
    double x = 0;
    double y = 0;
    double t = 0;
};
