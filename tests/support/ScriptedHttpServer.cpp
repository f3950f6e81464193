#include "ScriptedHttpServer.h"

#include <QTcpSocket>

#include <utility>

using namespace Qt::StringLiterals;

ScriptedHttpServer::ScriptedHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            ++m_connections;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

void ScriptedHttpServer::read(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    Request request { requestLine.value(0), requestLine.value(1), {}, {} };
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        request.headers.insert(
            lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length"_ba, "0"_ba).toLongLong();
    if (buffer.size() < headEnd + 4 + length)
        return;
    request.body = buffer.mid(headEnd + 4, length);
    buffer.clear();
    m_requests.append(request);
    m_quiet ? m_held.append(socket) : respond(socket);
}

void ScriptedHttpServer::answerHeld()
{
    for (const QPointer<QTcpSocket> &socket : std::exchange(m_held, {}))
        if (socket)
            respond(socket);
}

void ScriptedHttpServer::respond(QTcpSocket *socket)
{
    socket->write("HTTP/1.1 " + QByteArray::number(m_status)
        + " Scripted\r\nContent-Length: " + QByteArray::number(m_body.size())
        + "\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n" + m_body);
    socket->disconnectFromHost();
}
