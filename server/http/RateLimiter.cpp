#include "RateLimiter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Absorbs rounding, so that a take exactly retryAfterMs later passes.
constexpr double tolerance = 1e-9;
// Keeps waits far from qint64 overflow when the caller adds them to its clock.
constexpr double longestWaitMs = double(std::numeric_limits<qint64>::max() / 4);

} // namespace

RateLimiter::RateLimiter(Rate rate, qsizetype maxKeys)
    : m_perSecond(rate.perSecond > 0 ? rate.perSecond : 0)
    , m_burst(std::max(1.0, rate.burst))
    , m_maxKeys(std::max<qsizetype>(1, maxKeys))
{
}

bool RateLimiter::take(const QByteArray &key, qint64 nowMs, double cost)
{
    if (!limited())
        return true;
    forgetFull(nowMs);
    cost = capped(cost);
    const auto found = m_index.constFind(key);
    if (found == m_index.cend()) {
        if (cost <= 0)
            return true;
        // When the table is full, refuse the new key rather than evict a bucket that is still
        // refilling: eviction would hand that key a full bucket again, so a flood of addresses
        // would lift the limit on every throttled client, the flooder's own among them. The
        // refusal lasts until the oldest bucket refills (at most burst / perSecond).
        if (m_index.size() >= m_maxKeys)
            return false;
        m_buckets.push_back({ key, m_burst - cost, nowMs });
        m_index.insert(key, std::prev(m_buckets.end()));
        return true;
    }
    const Buckets::iterator bucket = found.value();
    const double tokens = tokensAt(*bucket, nowMs);
    if (tokens + tolerance < cost)
        return false;
    bucket->tokens = std::max(0.0, tokens - cost);
    bucket->atMs = std::max(bucket->atMs, nowMs);
    m_buckets.splice(m_buckets.end(), m_buckets, bucket);
    return true;
}

qint64 RateLimiter::retryAfterMs(const QByteArray &key, qint64 nowMs, double cost) const
{
    cost = capped(cost);
    if (!limited() || cost <= 0)
        return 0;
    const auto found = m_index.constFind(key);
    if (found != m_index.cend())
        return msUntil(*found.value(), nowMs, cost);
    if (m_index.size() < m_maxKeys)
        return 0;
    // A new key waits for the front bucket to refill and make room.
    return msUntil(m_buckets.front(), nowMs, m_burst);
}

double RateLimiter::capped(double cost) const
{
    return cost > 0 ? std::min(cost, m_burst) : 0;
}

double RateLimiter::tokensAt(const Bucket &bucket, qint64 nowMs) const
{
    // In doubles: the difference of two far-apart qint64 times would overflow. A clock that went
    // back earns nothing.
    const double elapsedMs = std::max(0.0, double(nowMs) - double(bucket.atMs));
    return std::min(m_burst, bucket.tokens + elapsedMs * m_perSecond / 1000);
}

qint64 RateLimiter::msUntil(const Bucket &bucket, qint64 nowMs, double cost) const
{
    if (tokensAt(bucket, nowMs) + tolerance >= cost)
        return 0;
    const double refillMs = std::ceil((cost - bucket.tokens) * 1000 / m_perSecond);
    const double waitMs = double(bucket.atMs) + refillMs - double(nowMs);
    return qint64(std::clamp(waitMs, 0.0, longestWaitMs));
}

void RateLimiter::forgetFull(qint64 nowMs)
{
    while (!m_buckets.empty() && tokensAt(m_buckets.front(), nowMs) >= m_burst) {
        m_index.remove(m_buckets.front().key);
        m_buckets.pop_front();
    }
}
