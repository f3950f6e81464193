#include "ApiClient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

using namespace Qt::StringLiterals;

ApiClient::Reply ApiClient::request(const QByteArray &method, const QString &path,
    const QByteArray &body, const QByteArray &token, const QByteArray &contentType,
    const QList<std::pair<QByteArray, QByteArray>> &headers) const
{
    QNetworkAccessManager manager;
    QUrl url = m_base;
    url.setPath(path.startsWith(u'/') ? path : u"/api/"_s + path); // "/…": outside the API
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    if (!body.isNull())
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    Reply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.retryAfter = reply->rawHeader("Retry-After");
    delete reply;
    return result;
}

ApiClient::Reply ApiClient::post(
    const QString &path, const QJsonObject &body, const QByteArray &token) const
{
    return request("POST", path, QJsonDocument(body).toJson(QJsonDocument::Compact), token);
}

QByteArray ApiClient::guest(qint64 *id) const
{
    const Reply reply = post(u"guest"_s, {}, {});
    const QJsonObject object = reply.object();
    if (id)
        *id = object.value(u"user"_s).toObject().value(u"id"_s).toInteger();
    return object.value(u"token"_s).toString().toLatin1();
}
