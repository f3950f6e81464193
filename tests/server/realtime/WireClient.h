#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QWebSocket>

#include <chrono>
#include <optional>

// A real WebSocket client for the tests: it keeps every frame it receives, in order, so a
// test can check each one exactly and see that nothing else arrived.
class WireClient : public QObject {
    Q_OBJECT

public:
    WireClient();

    // The address a Tosswick client connects to on a server's ws base URL.
    static QUrl channelUrl(const QUrl &base, const QString &appKey,
        const QString &query
        = QStringLiteral("protocol=7&client=toss-wick&version=1.0&flash=false"));

    bool open(const QUrl &url);
    // Opens and reads pusher:connection_established; returns the socket id or an empty text.
    QString connectAndGreet(const QUrl &url);
    void send(const QJsonObject &frame);
    void sendText(const QString &text);
    void sendBinary(const QByteArray &bytes);

    // The next frame not yet taken, waiting up to the timeout.
    std::optional<QString> nextText(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The same, read as a JSON object (an empty object when it is not one).
    std::optional<QJsonObject> next(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    qsizetype pending() const { return m_frames.size(); }

    bool waitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    int closeCode() const { return int(m_socket.closeCode()); }
    QWebSocket &socket() { return m_socket; }

private:
    QWebSocket m_socket;
    QStringList m_frames;
    bool m_opened = false;
};

// The data of a frame that carries it as a JSON text, read back as an object; an empty
// object when the data is not a text holding one.
QJsonObject dataText(const QJsonObject &frame);
