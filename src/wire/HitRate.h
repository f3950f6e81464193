#pragma once

#include <QtGlobal>

// The hit rate shown beside a player's counters.
namespace HitRate {

// points / (points + misses) as a whole percentage, halves rounded away from zero; 0 when
// there is nothing to count. Balls received do not count.
int percent(qint64 points, qint64 misses);

} // namespace HitRate
