#pragma once

#include <QByteArray>
#include <QUrl>

class ApiClient;
class WireClient;

// Connects `client` to the server at `wsBase`, asks `api` (any node) for the room channel's
// signature as the player with `token`, and subscribes; whether it succeeded.
bool subscribeToRoom(WireClient &client, const QUrl &wsBase, const ApiClient &api, qint64 room,
    const QByteArray &token);
