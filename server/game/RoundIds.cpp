#include "RoundIds.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QUuid>

namespace RoundIds {

QString newRoundId()
{
    // QUuid::createUuid reads the system's random source on Linux.
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString newNonce()
{
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), 4);
    return QString::fromLatin1(bytes.toHex());
}

} // namespace RoundIds
