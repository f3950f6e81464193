#pragma once

#include "HttpReply.h"

#include <QByteArray>
#include <QString>

class Router;

// GET /invite: the page an invitation link (the server's invite address + "#" + Room ID)
// opens in a browser. Its own script reads the Room ID from the fragment, which never
// reaches the server, and offers the tosswick://join link for this server.
class InvitePage {
public:
    // The public addresses players reach this server at, and its realtime app key.
    InvitePage(const QString &apiUrl, const QString &wsUrl, const QString &appKey);

    void registerRoute(Router &server) const;
    HttpReply reply() const;

    // The ws:// or wss:// address that goes with an http:// or https:// one.
    static QString webSocketUrlFor(const QString &apiUrl);

private:
    QByteArray m_html;
    QByteArray m_policy;
};
