#include "SystemClock.h"

#include <QDateTime>

qint64 SystemClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}
