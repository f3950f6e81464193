#include "ScriptedPusherPeer.h"

#include <QJsonDocument>
#include <QWebSocket>

using namespace Qt::StringLiterals;

ScriptedPusherPeer::ScriptedPusherPeer(QObject *parent)
    : QObject(parent)
    , m_server(u"scripted-pusher"_s, QWebSocketServer::NonSecureMode)
{
    connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket *socket = m_server.nextPendingConnection()) {
            ++m_connections;
            m_requestUrl = socket->requestUrl();
            m_client.reset(socket);
            connect(socket, &QWebSocket::textMessageReceived, this, [this](const QString &text) {
                m_received.append(QJsonDocument::fromJson(text.toUtf8()).object());
            });
        }
    });
}

bool ScriptedPusherPeer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString ScriptedPusherPeer::baseUrl() const
{
    return u"ws://127.0.0.1:%1"_s.arg(m_server.serverPort());
}

bool ScriptedPusherPeer::clientConnected() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

QList<QJsonObject> ScriptedPusherPeer::receivedEvents(const QString &event) const
{
    QList<QJsonObject> frames;
    for (const QJsonObject &frame : m_received) {
        if (frame.value(u"event"_s).toString() == event)
            frames.append(frame);
    }
    return frames;
}

void ScriptedPusherPeer::send(const QJsonObject &frame)
{
    sendRaw(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}

void ScriptedPusherPeer::sendRaw(const QString &text)
{
    if (m_client)
        m_client->sendTextMessage(text);
}

void ScriptedPusherPeer::sendBinary(const QByteArray &bytes)
{
    if (m_client)
        m_client->sendBinaryMessage(bytes);
}

void ScriptedPusherPeer::disconnectClient()
{
    if (m_client)
        m_client->close();
}
