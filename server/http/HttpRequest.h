#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

// One complete HTTP request as the transport hands it to the routes: already checked against
// the transport's limits, its path percent-decoded.
struct HttpRequest {
    enum class Method { Get, Post, Put, Delete, Other };

    Method method = Method::Other;
    QByteArray methodText;
    QString path;
    QByteArray query;
    QByteArray authorization;
    QByteArray contentType;
    QByteArray forwardedFor;
    QByteArray body;
    // The direct peer of the connection.
    QHostAddress peer;
};
