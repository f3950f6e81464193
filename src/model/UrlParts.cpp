#include "model/UrlParts.h"

#include <QRegularExpression>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

bool isAllowedCharacter(QChar c)
{
    if (c.unicode() > 0x7e || c.unicode() <= 0x20)
        return false;
    return c.isLetterOrNumber() || u"-._~:/?#[]@!$&'()*+,;=%"_s.contains(c);
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isWellFormed(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isAllowedCharacter(text[i]))
            return false;
        if (text[i] == u'%') {
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2]))
                return false;
            i += 2;
        }
    }
    return true;
}

std::optional<QString> percentDecoded(QStringView text)
{
    const QByteArray bytes = QByteArray::fromPercentEncoding(text.toUtf8());
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

} // namespace

std::optional<UrlParts> UrlParts::split(QStringView text)
{
    if (!isWellFormed(text))
        return std::nullopt;
    static const QRegularExpression pattern(
        u"^(?:([^:/?#]+):)?(?://([^/?#]*))?([^?#]*)(?:\\?([^#]*))?(?:#(.*))?$"_s,
        QRegularExpression::DotMatchesEverythingOption);
    const auto match = pattern.match(text.toString());
    if (!match.hasMatch())
        return std::nullopt;

    UrlParts parts;
    parts.scheme = match.captured(1);
    static const QRegularExpression schemePattern(
        QRegularExpression::anchoredPattern(u"[A-Za-z][A-Za-z0-9+.-]*"_s));
    if (match.hasCaptured(1) && !schemePattern.match(parts.scheme).hasMatch())
        return std::nullopt;

    if (match.hasCaptured(2)) {
        QString authority = match.captured(2);
        const qsizetype at = authority.lastIndexOf(u'@');
        if (at >= 0) {
            parts.userInfo = authority.left(at);
            authority = authority.mid(at + 1);
        }
        qsizetype portStart = -1;
        if (authority.startsWith(u'[')) {
            const qsizetype close = authority.indexOf(u']');
            if (close < 0)
                return std::nullopt;
            if (close + 1 < authority.size()) {
                if (authority[close + 1] != u':')
                    return std::nullopt;
                portStart = close + 1;
            }
        } else {
            portStart = authority.indexOf(u':');
        }
        if (portStart >= 0) {
            parts.port = authority.mid(portStart + 1);
            authority.truncate(portStart);
            static const QRegularExpression digits(
                QRegularExpression::anchoredPattern(u"[0-9]*"_s));
            if (!digits.match(parts.port).hasMatch())
                return std::nullopt;
        }
        parts.host = authority;
    }
    if (match.hasCaptured(4))
        parts.query = match.captured(4);
    if (match.hasCaptured(5))
        parts.fragment = match.captured(5);
    return parts;
}

std::optional<QList<QPair<QString, QString>>> UrlParts::queryItems() const
{
    QList<QPair<QString, QString>> items;
    if (!query || query->isEmpty())
        return items;
    for (const QStringView item : QStringView(*query).split(u'&')) {
        const qsizetype equals = item.indexOf(u'=');
        const auto name = percentDecoded(equals < 0 ? item : item.left(equals));
        const auto value = percentDecoded(equals < 0 ? QStringView() : item.mid(equals + 1));
        if (!name || !value)
            return std::nullopt;
        items.append({ *name, *value });
    }
    return items;
}

QString UrlParts::trimSlashes(QString text)
{
    while (text.startsWith(u'/'))
        text.remove(0, 1);
    while (text.endsWith(u'/'))
        text.chop(1);
    return text;
}
