#include "ScriptedPusherPeer.h"

#include <QJsonDocument>

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

QList<QJsonObject> ScriptedPusherPeer::receivedEvents(const QString &event) const
{
    QList<QJsonObject> frames;
    for (const QJsonObject &frame : m_received)
        if (frame.value(u"event"_s).toString() == event)
            frames.append(frame);
    return frames;
}

void ScriptedPusherPeer::send(const QJsonObject &frame)
{
    sendRaw(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}
