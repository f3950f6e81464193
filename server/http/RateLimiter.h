#pragma once

#include <QByteArray>
#include <QHash>

#include <list>

// Token buckets, one per key (a client address, a player): a key may spend up to burst at once
// and earns perSecond back. The caller passes the time in, so it owns the clock (and tests move it
// by hand). A key whose bucket is full again is forgotten: it is no different from a new key.
class RateLimiter {
public:
    struct Rate {
        double perSecond = 0; // 0 or less: no limit, so a flag value of 0 switches a limit off
        double burst = 0; // below 1 counts as 1, or nobody would ever pass
    };

    explicit RateLimiter(Rate rate, qsizetype maxKeys = 100000);

    // Takes cost tokens from the key's bucket when it holds them. A cost above the burst needs a
    // full bucket (rather than never passing); a cost of 0 or less always passes.
    bool take(const QByteArray &key, qint64 nowMs, double cost = 1);
    // How long until the same take would pass; 0 when it would pass now.
    qint64 retryAfterMs(const QByteArray &key, qint64 nowMs, double cost = 1) const;

    // Keys held now (each one a bucket still refilling).
    qsizetype size() const { return m_index.size(); }

private:
    struct Bucket {
        QByteArray key;
        double tokens = 0;
        qint64 atMs = 0; // when tokens was counted; never moves back
    };
    using Buckets = std::list<Bucket>;

    bool limited() const { return m_perSecond > 0; }
    double capped(double cost) const;
    double tokensAt(const Bucket &bucket, qint64 nowMs) const;
    qint64 msUntil(const Bucket &bucket, qint64 nowMs, double cost) const;
    void forgetFull(qint64 nowMs);

    double m_perSecond;
    double m_burst;
    qsizetype m_maxKeys;
    // Least recently spent first. A bucket is full at the latest burst / perSecond after its last
    // take, so full buckets gather at the front and forgetting them costs O(1) per bucket.
    Buckets m_buckets;
    QHash<QByteArray, Buckets::iterator> m_index;
};
