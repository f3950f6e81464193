#pragma once

#include <QObject>

// The server's sense of time, in milliseconds since the epoch. Rounds, presence, cooldowns
// and rate limits all ask it, so tests can move time instead of waiting for it.
class Clock : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual qint64 nowMs() const = 0;

signals:
    // Time moved by a step that a running timer cannot have seen (a test's clock moving):
    // whoever waits for a moment checks again.
    void jumped();
};
