#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QWebSocket>
#include <QWebSocketServer>

#include <memory>

// A loopback WebSocket server playing the realtime service frame by frame, for frames the game
// server never sends. It keeps the latest client connection and everything it received.
class ScriptedPusherPeer : public QObject {
    Q_OBJECT

public:
    explicit ScriptedPusherPeer(QObject *parent = nullptr);
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    // ws://127.0.0.1:PORT
    QString baseUrl() const
    {
        return QStringLiteral("ws://127.0.0.1:%1").arg(m_server.serverPort());
    }

    // The request URL of the latest connection; none before the first.
    QUrl requestUrl() const { return m_requestUrl; }
    int connections() const { return m_connections; }
    bool clientConnected() const { return m_client->state() == QAbstractSocket::ConnectedState; }
    const QList<QJsonObject> &received() const { return m_received; }
    // Frames received with this event name.
    QList<QJsonObject> receivedEvents(const QString &event) const;

    // These do nothing before the first connection: the client is a socket never connected.
    void send(const QJsonObject &frame);
    void sendRaw(const QString &text) { m_client->sendTextMessage(text); }
    void sendBinary(const QByteArray &bytes) { m_client->sendBinaryMessage(bytes); }
    // Closes the latest connection from the server's side.
    void disconnectClient() { m_client->close(); }

private:
    QWebSocketServer m_server;
    std::unique_ptr<QWebSocket> m_client = std::make_unique<QWebSocket>();
    QUrl m_requestUrl;
    int m_connections = 0;
    QList<QJsonObject> m_received;
};
