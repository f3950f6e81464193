#include "net/API.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <QCoro/QCoroNetworkReply>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Qt writes a non-finite number as null without complaint; the server would read another value.
bool holdsOnlyFiniteNumbers(const QJsonValue &value)
{
    if (value.isDouble())
        return std::isfinite(value.toDouble());
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        return std::all_of(array.begin(), array.end(),
            [](const QJsonValue &item) { return holdsOnlyFiniteNumbers(item); });
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        return std::all_of(object.begin(), object.end(),
            [](const QJsonValue &item) { return holdsOnlyFiniteNumbers(item); });
    }
    return true;
}

// The first text of the first field of an "errors" object whose every field maps to texts.
std::optional<QString> firstFieldError(const QJsonValue &errors)
{
    if (!errors.isObject())
        return std::nullopt;
    const QJsonObject fields = errors.toObject();
    for (const auto &texts : fields) {
        if (!texts.isArray())
            return std::nullopt;
        const QJsonArray array = texts.toArray();
        if (!std::all_of(
                array.begin(), array.end(), [](const QJsonValue &v) { return v.isString(); }))
            return std::nullopt;
    }
    if (fields.isEmpty() || fields.begin()->toArray().isEmpty())
        return std::nullopt;
    return fields.begin()->toArray().first().toString();
}

struct LaterDeleter {
    void operator()(QObject *object) const { object->deleteLater(); }
};

} // namespace

API::API(QNetworkAccessManager &network, QString base)
    : m_network(network)
    , m_base(std::move(base))
{
}

std::optional<QUrl> API::requestUrl(const QString &base, const QString &path)
{
    const QString text = base + u"/api/" + path;
    // QUrl folds the scheme to lower case, so the exact spelling is checked on the text.
    const qsizetype colon = text.indexOf(u':');
    const QStringView scheme = QStringView(text).left(colon);
    if (colon < 0 || (scheme != u"http" && scheme != u"https"))
        return std::nullopt;
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

QCoro::Task<Expected<QByteArray, NetworkError>> API::data(
    QString path, QString method, std::optional<QJsonObject> body) const
{
    const auto url = requestUrl(m_base, path);
    if (!url)
        co_return NetworkError { 0, u"Invalid server URL"_s };

    QNetworkRequest request(*url);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    request.setRawHeader("Accept"_ba, "application/json"_ba);
    if (m_token)
        request.setRawHeader("Authorization"_ba, "Bearer "_ba + m_token->toUtf8());

    QNetworkReply *sent = nullptr;
    if (body) {
        if (!holdsOnlyFiniteNumbers(*body))
            co_return NetworkError { 0,
                u"The request could not be written: a number is not finite."_s };
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json"_ba);
        sent = m_network.sendCustomRequest(
            request, method.toLatin1(), QJsonDocument(*body).toJson(QJsonDocument::Compact));
    } else {
        sent = m_network.sendCustomRequest(request, method.toLatin1());
    }
    // Nothing of this object is touched after the wait: it may be gone by then.
    const std::unique_ptr<QNetworkReply, LaterDeleter> reply(sent);
    co_await reply.get();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply->error() != QNetworkReply::NoError)
            co_return NetworkError { 0, reply->errorString() };
        co_return NetworkError { 0, u"Invalid server response"_s };
    }
    const int code = status.toInt();
    const QByteArray bytes = reply->readAll();
    if (code >= 200 && code <= 299)
        co_return bytes;
    co_return NetworkError { code, rejectionMessage(code, bytes) };
}

QString API::rejectionMessage(int status, const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isObject()) {
        const QJsonObject object = document.object();
        if (auto fieldError = firstFieldError(object.value(u"errors")))
            return *fieldError;
        if (object.value(u"message").isString())
            return object.value(u"message").toString();
    }
    return u"Request failed ("_s + QString::number(status) + u')';
}

NetworkError API::unreadableReply(const QString &detail)
{
    return { 0, u"The server's reply could not be read ("_s + detail + u")." };
}
