#pragma once

#include "wire/Expected.h"
#include "net/NetworkError.h"
#include "net/WireDocument.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <chrono>
#include <optional>

// The HTTP client of the game server: one JSON request per call to base + "/api/" + path, with
// the session's bearer token. Every failure comes back as a NetworkError: rejected replies with
// their HTTP status, everything else (bad URL, transport failures such as a timeout, replies that
// do not read as the record asked for) with status 0 and a text a player can read.
//
// Requests copy base and token when they start, so a request under way is not affected by a new
// token or by this object being replaced or destroyed. The QNetworkAccessManager is shared by
// every API of the program and must outlive all requests.
class API {
public:
    static constexpr std::chrono::milliseconds defaultTransferTimeout { 10'000 };

    API(QNetworkAccessManager &network, QString base);

    const QString &base() const { return m_base; }
    const std::optional<QString> &token() const { return m_token; }
    void setToken(std::optional<QString> token) { m_token = std::move(token); }

    // How long a request may go without any data moving before it fails; tests shorten it.
    std::chrono::milliseconds transferTimeout() const { return m_transferTimeout; }
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_transferTimeout = timeout; }

    // base + "/api/" + path when it is an http or https URL with a host (the scheme exactly in
    // lower case); none otherwise.
    static std::optional<QUrl> requestUrl(const QString &base, const QString &path);

    // Sends one request and gives back the body of a 2xx reply, whatever it holds.
    QCoro::Task<Expected<QByteArray, NetworkError>> data(
        QString path, QString method, std::optional<QJsonObject> body = std::nullopt) const;

    // GET path, read as the record R (or QList<R> for an array).
    template <typename R> QCoro::Task<Expected<R, NetworkError>> get(QString path) const
    {
        auto bytes = co_await data(std::move(path), QStringLiteral("GET"));
        if (!bytes)
            co_return bytes.error();
        co_return readReply<R>(*bytes);
    }

    // The body of a 2xx reply read as the record R, for callers of data().
    template <typename R> static Expected<R, NetworkError> readReply(const QByteArray &bytes)
    {
        auto record = WireDocument::read<R>(bytes);
        if (!record)
            return unreadableReply(record.error());
        return std::move(record).value();
    }

    // The player-readable text of a rejected reply with this status and body.
    static QString rejectionMessage(int status, const QByteArray &body);

private:
    static NetworkError unreadableReply(const QString &detail);

    QNetworkAccessManager &m_network;
    QString m_base;
    std::optional<QString> m_token;
    std::chrono::milliseconds m_transferTimeout = defaultTransferTimeout;
};
