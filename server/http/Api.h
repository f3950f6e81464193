#pragma once

#include <QString>

class Router;
class Store;

// The session endpoints: a new guest, the player's own record and the connection details
// (where invitations point).
class Api {
public:
    Api(Store &store, QString publicUrl);

    void registerRoutes(Router &server);

private:
    Store &m_store;
    QString m_publicUrl;
};
