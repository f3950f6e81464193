#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QUrl>

// A blocking HTTP client for tests: one request at a time against the server's /api/.
class ApiClient {
public:
    struct Reply {
        int status = 0;
        QByteArray body;
        QByteArray retryAfter;
        QJsonObject object() const { return QJsonDocument::fromJson(body).object(); }
        QJsonDocument document() const { return QJsonDocument::fromJson(body); }
    };

    explicit ApiClient(QUrl base)
        : m_base(std::move(base))
    {
    }

    // method is "GET", "POST" or "DELETE"; token empty means no Authorization header.
    Reply request(const QByteArray &method, const QString &path, const QByteArray &body = {},
        const QByteArray &token = {},
        const QByteArray &contentType = QByteArrayLiteral("application/json"),
        const QList<std::pair<QByteArray, QByteArray>> &headers = {}) const;
    Reply get(const QString &path, const QByteArray &token) const
    {
        return request("GET", path, {}, token);
    }
    Reply post(const QString &path, const QJsonObject &body, const QByteArray &token) const;

    // A new guest session; returns its token (and fills id when given).
    QByteArray guest(qint64 *id = nullptr) const;

private:
    QUrl m_base;
};
