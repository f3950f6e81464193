#include "DatabaseUrl.h"

#include <QByteArray>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// The text after postgresql:// or postgres://, or null for any other text.
QString postgresRest(const QString &text)
{
    for (const QString &scheme : { u"postgresql://"_s, u"postgres://"_s }) {
        if (text.startsWith(scheme, Qt::CaseInsensitive))
            return text.mid(scheme.size());
    }
    return {};
}

bool hasUrlScheme(const QString &text)
{
    static const QRegularExpression scheme(u"^[A-Za-z][A-Za-z0-9+.-]*://"_s);
    return scheme.match(text).hasMatch();
}

// Percent-decodes a part of the URL; false when a % is not followed by two hex digits.
bool decode(const QString &part, QString &decoded)
{
    static const QRegularExpression badEscape(u"%(?![0-9A-Fa-f]{2})"_s);
    if (badEscape.match(part).hasMatch())
        return false;
    decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(part.toUtf8()));
    return true;
}

// Where the user information ends in the text after the scheme: its last '@', so that an
// unencoded '/' or '@' in a password still counts as part of it (and gets masked).
qsizetype userInfoEnd(const QString &rest)
{
    return rest.lastIndexOf(u'@');
}

void parsePostgres(const QString &rest, DatabaseUrl &url)
{
    url.backend = DatabaseUrl::Backend::Postgres;
    const qsizetype at = userInfoEnd(rest);
    if (at < 0) {
        url.problem = u"names no user (postgresql://USER@HOST/DBNAME)"_s;
        return;
    }
    const QString userInfo = rest.left(at);
    const QString afterAt = rest.mid(at + 1);
    if (afterAt.contains(u'?') || afterAt.contains(u'#')) {
        url.problem = u"has parameters; only USER, PASSWORD, HOST, PORT and DBNAME are read"_s;
        return;
    }
    const qsizetype slash = afterAt.indexOf(u'/');
    if (slash < 0) {
        url.problem = u"names no database (…/DBNAME)"_s;
        return;
    }
    QString hostPort = afterAt.left(slash);
    const QString databasePart = afterAt.mid(slash + 1);
    const qsizetype colon = userInfo.indexOf(u':');
    QString portText;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0 || (close + 1 < hostPort.size() && hostPort.at(close + 1) != u':')) {
            url.problem = u"has a bad IPv6 host (write [ADDRESS]:PORT)"_s;
            return;
        }
        portText = close + 1 < hostPort.size() ? hostPort.mid(close + 2) : QString();
        hostPort = hostPort.mid(1, close - 1);
    } else if (const qsizetype portColon = hostPort.lastIndexOf(u':'); portColon >= 0) {
        portText = hostPort.mid(portColon + 1);
        hostPort = hostPort.left(portColon);
    }
    if (!decode(userInfo.left(colon), url.user) || !decode(hostPort, url.host)
        || !decode(databasePart, url.database)
        || (colon >= 0 && !decode(userInfo.mid(colon + 1), url.password))) {
        url.problem = u"has a bad percent-encoding (% needs two hex digits)"_s;
        return;
    }
    if (url.user.isEmpty())
        url.problem = u"names no user (postgresql://USER@HOST/DBNAME)"_s;
    else if (url.host.isEmpty())
        url.problem = u"names no host (postgresql://USER@HOST/DBNAME)"_s;
    else if (url.database.isEmpty() || url.database.contains(u'/'))
        url.problem = u"names no database (…/DBNAME)"_s;
    if (!url.problem.isEmpty() || portText.isNull())
        return;
    static const QRegularExpression digits(u"^[0-9]{1,5}$"_s);
    url.port = digits.match(portText).hasMatch() ? portText.toInt() : 0;
    if (url.port < 1 || url.port > 65535)
        url.problem = u"has a bad port (1 to 65535)"_s;
}

} // namespace

DatabaseUrl DatabaseUrl::parse(const QString &text)
{
    DatabaseUrl url;
    if (const QString rest = postgresRest(text); !rest.isNull())
        parsePostgres(rest, url);
    else if (hasUrlScheme(text))
        url.problem = u"is not a file path nor a postgresql:// URL"_s;
    else if (text.isEmpty())
        url.problem = u"is empty (give a file path or a postgresql:// URL)"_s;
    else
        url.path = text;
    return url;
}

QString DatabaseUrl::masked(const QString &text)
{
    const QString rest = postgresRest(text);
    const qsizetype at = rest.isNull() ? -1 : userInfoEnd(rest);
    const qsizetype colon = rest.indexOf(u':');
    if (at < 0 || colon < 0 || colon > at)
        return text;
    const qsizetype start = text.size() - rest.size() + colon + 1;
    return text.left(start) + u"***"_s + text.mid(start + at - colon - 1);
}
