#include "net/WireDocument.h"

using namespace Qt::StringLiterals;

namespace WireDocument::detail {

Expected<QJsonDocument, QString> parse(const QByteArray &bytes)
{
    QJsonParseError error;
    auto document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return QString(
            u"not JSON: " + error.errorString() + u" at offset " + QString::number(error.offset));
    return document;
}

} // namespace WireDocument::detail
