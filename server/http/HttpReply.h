#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <utility>

// One HTTP answer: a status and a JSON body (an empty body when both are null), or another
// content type with headers of its own (the invitation page).
struct HttpReply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QList<std::pair<QByteArray, QByteArray>> headers;

    static HttpReply json(const QJsonObject &object, int status = 200);
    static HttpReply json(const QJsonArray &array, int status = 200);
    static HttpReply empty(int status = 204);
    // {"message": text}
    static HttpReply error(int status, const QString &message);
    // 422 {"message": text, "errors": {field: [text]}}
    static HttpReply invalid(const QString &field, const QString &message);
    static HttpReply unauthenticated();
    // 429 with Retry-After in whole seconds (at least one).
    static HttpReply tooManyRequests(qint64 retryAfterMs);
};
