#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A loopback HTTP/1.1 server for replies the game server never gives: it records every request
// and answers each with the scripted status and body, or never answers at all.
class ScriptedHttpServer : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target;
        // Header names in lower case.
        QHash<QByteArray, QByteArray> headers;
        QByteArray body;
    };

    explicit ScriptedHttpServer(QObject *parent = nullptr);

    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    // http://127.0.0.1:PORT, no trailing slash.
    QString baseUrl() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }

    // Answers from now on; also ends staying quiet.
    void answer(int status, const QByteArray &body)
    {
        m_status = status, m_body = body, m_quiet = false;
    }
    // Requests are read but left without an answer.
    void stayQuiet() { m_quiet = true; }
    // Answers the requests left without an answer so far, as scripted now.
    void answerHeld();

    const QList<Request> &requests() const { return m_requests; }
    int connections() const { return m_connections; }

private:
    void read(QTcpSocket *socket);
    void respond(QTcpSocket *socket);

    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<Request> m_requests;
    int m_connections = 0;
    int m_status = 200;
    QByteArray m_body;
    bool m_quiet = false;
    QList<QPointer<QTcpSocket>> m_held;
    // Last: its sockets, closed first, report into the members above.
    QTcpServer m_server;
};
