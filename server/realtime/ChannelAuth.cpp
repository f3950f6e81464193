#include "ChannelAuth.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

namespace ChannelAuth {

QByteArray signature(const QByteArray &secret, const QString &socketId, const QString &channel)
{
    const QByteArray message = socketId.toUtf8() + ':' + channel.toUtf8();
    return QMessageAuthenticationCode::hash(message, secret, QCryptographicHash::Sha256).toHex();
}

QString authValue(const QString &appKey, const QByteArray &secret, const QString &socketId,
    const QString &channel)
{
    return appKey + u':' + QString::fromLatin1(signature(secret, socketId, channel));
}

bool sameText(const QString &expected, const QString &given)
{
    const QByteArray a = expected.toUtf8();
    const QByteArray b = given.toUtf8();
    // The length of the expected value is no secret; only its bytes are.
    unsigned difference = a.size() == b.size() ? 0U : 1U;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char other = i < b.size() ? b.at(i) : '\0';
        difference |= static_cast<unsigned char>(a.at(i) ^ other);
    }
    return difference == 0U;
}

} // namespace ChannelAuth
