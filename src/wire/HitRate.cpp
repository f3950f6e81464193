#include "wire/HitRate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace HitRate {

int percent(qint64 points, qint64 misses)
{
    // Summed as doubles: the counters come off the wire, and their sum must not overflow.
    const double total = double(points) + double(misses);
    if (total < 1)
        return 0;
    const double rate = std::round(double(points) / total * 100.0);
    // Only counters the server would never send (negative misses) leave 0..100; keep them in range.
    return int(std::clamp(
        rate, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

} // namespace HitRate
