// Measures the realtime side of a running tosswick-server on loopback:
//   tosswick-bench-realtime idle URL KEY COUNT [SERVER_PID]
//     opens COUNT WebSockets, subscribes each to one room's channel, keeps them idle
//     (answering pings) and reports how many stay subscribed and the server's memory.
//   tosswick-bench-realtime latency URL KEY SUBSCRIBERS CHANGES [CHANGE_URL]
//     subscribes SUBSCRIBERS sockets, then makes CHANGES room changes one after another (a
//     member's heartbeat that flips do-not-disturb, sent to CHANGE_URL when given: another
//     node of a cluster) and reports the delay from sending the change to each subscriber's
//     room.changed frame: median and 99th percentile.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Session {
    QByteArray token;
    qint64 roomId = 0;
    QString inviteCode;
};

class Bench : public QObject {
public:
    Bench(QUrl base, QString key)
        : m_base(std::move(base))
        , m_key(std::move(key))
    {
    }

    void setChangeBase(QUrl base) { m_changeBase = std::move(base); }

    QNetworkRequest apiRequest(
        const QString &path, const QByteArray &token, const QUrl &base = {}) const
    {
        QNetworkRequest request((base.isEmpty() ? m_base : base).resolved(QUrl(u"/api/"_s + path)));
        request.setRawHeader("Content-Type", "application/json");
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token);
        return request;
    }

    QJsonObject request(const QByteArray &method, const QString &path, const QJsonObject &body,
        const QByteArray &token)
    {
        QNetworkReply *reply = m_http.sendCustomRequest(
            apiRequest(path, token), method, QJsonDocument(body).toJson(QJsonDocument::Compact));
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
        return QJsonDocument::fromJson(reply->readAll()).object();
    }

    Session newPlayerWithRoom()
    {
        Session session;
        session.token = request("POST", u"guest"_s, {}, {})[u"token"_s].toString().toLatin1();
        const QJsonObject room
            = request("POST", u"rooms"_s, { { u"name"_s, u"bench"_s } }, session.token);
        session.roomId = room[u"id"_s].toInteger();
        session.inviteCode = room[u"invite_code"_s].toString();
        return session;
    }

    // Opens and subscribes `count` sockets, at most `window` handshakes at a time; answers
    // how many got subscribed.
    int subscribe(const Session &session, int count, int window = 100)
    {
        const QString channel = u"private-room."_s + QString::number(session.roomId);
        QUrl wsUrl = m_base;
        wsUrl.setScheme(u"ws"_s);
        wsUrl.setPath(u"/app/"_s + m_key);
        wsUrl.setQuery(u"protocol=7&client=bench&version=1.0&flash=false"_s);
        int started = 0;
        int pending = 0;
        QEventLoop loop;
        std::function<void()> startMore = [&] {
            while (pending < window && started < count) {
                ++started;
                ++pending;
                auto *socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
                m_sockets.push_back(socket);
                const auto finish = [&, socket](bool ok) {
                    socket->setProperty("done", true);
                    --pending;
                    if (ok)
                        ++m_subscribed;
                    startMore();
                    if (pending == 0 && started == count)
                        loop.quit();
                };
                connect(
                    socket, &QWebSocket::textMessageReceived, this, [=, this](const QString &text) {
                        // The frames being timed skip the JSON reading: the tool's own work
                        // would otherwise be most of what it measures.
                        if (text.contains(u"\"room.changed\""_s)) {
                            onRoomChanged();
                            return;
                        }
                        const QJsonObject frame = QJsonDocument::fromJson(text.toUtf8()).object();
                        const QString event = frame[u"event"_s].toString();
                        if (event == u"pusher:connection_established") {
                            const QString socketId
                                = QJsonDocument::fromJson(frame[u"data"_s].toString().toUtf8())
                                      .object()[u"socket_id"_s]
                                      .toString();
                            authorise(socket, session.token, socketId, channel);
                        } else if (event == u"pusher_internal:subscription_succeeded") {
                            finish(true);
                        } else if (event == u"pusher:ping") {
                            socket->sendTextMessage(u"{\"event\":\"pusher:pong\",\"data\":{}}"_s);
                        }
                    });
                connect(socket, &QWebSocket::disconnected, this, [=, this] {
                    if (!socket->property("done").toBool())
                        finish(false);
                    else
                        ++m_lost;
                });
                socket->open(wsUrl);
            }
        };
        startMore();
        if (pending > 0)
            loop.exec();
        return m_subscribed;
    }

    int lost() const { return m_lost; }

    // Flips a member's do-not-disturb `changes` times and collects each subscriber's delay.
    std::vector<double> measureLatency(const Session &member, int changes, int subscribers)
    {
        std::vector<double> delays;
        delays.reserve(size_t(changes) * size_t(subscribers));
        for (int i = 0; i < changes; ++i) {
            m_expected = subscribers;
            QEventLoop loop;
            m_allArrived = [&loop] { loop.quit(); };
            m_clock.start();
            const QJsonObject body { { u"socket_id"_s, u"0.0"_s }, { u"dnd"_s, i % 2 == 0 } };
            QNetworkReply *reply
                = m_http.post(apiRequest(u"rooms/%1/heartbeat"_s.arg(member.roomId), member.token,
                                  m_changeBase),
                    QJsonDocument(body).toJson(QJsonDocument::Compact));
            connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            m_delays = &delays;
            loop.exec();
        }
        m_delays = nullptr;
        return delays;
    }

private:
    void authorise(QWebSocket *socket, const QByteArray &token, const QString &socketId,
        const QString &channel)
    {
        const QJsonObject body { { u"socket_id"_s, socketId }, { u"channel_name"_s, channel } };
        QNetworkReply *reply = m_http.post(apiRequest(u"broadcasting/auth"_s, token),
            QJsonDocument(body).toJson(QJsonDocument::Compact));
        connect(reply, &QNetworkReply::finished, this, [=] {
            reply->deleteLater();
            const QString auth
                = QJsonDocument::fromJson(reply->readAll()).object()[u"auth"_s].toString();
            const QJsonObject frame { { u"event"_s, u"pusher:subscribe"_s },
                { u"data"_s, QJsonObject { { u"channel"_s, channel }, { u"auth"_s, auth } } } };
            socket->sendTextMessage(
                QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
        });
    }

    void onRoomChanged()
    {
        if (!m_delays || m_expected <= 0)
            return;
        m_delays->push_back(double(m_clock.nsecsElapsed()) / 1e6);
        if (--m_expected == 0)
            m_allArrived();
    }

    QUrl m_base;
    QUrl m_changeBase;
    QString m_key;
    QNetworkAccessManager m_http;
    std::vector<QWebSocket *> m_sockets;
    int m_subscribed = 0;
    int m_lost = 0;
    QElapsedTimer m_clock;
    int m_expected = 0;
    std::function<void()> m_allArrived;
    std::vector<double> *m_delays = nullptr;
};

QString residentMemory(const QString &pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (pid.isEmpty() || !status.open(QIODevice::ReadOnly))
        return u"unknown"_s;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    }
    return u"unknown"_s;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(std::lround(p * double(values.size() - 1))))];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_NO_GLIB", "1"); // GLib's loop slows down with thousands of sockets
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5 || (args[1] != u"idle" && args[1] != u"latency")) {
        std::fprintf(stderr,
            "usage: %s idle URL KEY COUNT [SERVER_PID]\n"
            "       %s latency URL KEY SUBSCRIBERS CHANGES [CHANGE_URL]\n",
            qPrintable(args[0]), qPrintable(args[0]));
        return 2;
    }
    Bench bench(QUrl(args[2]), args[3]);
    const Session owner = bench.newPlayerWithRoom();
    if (owner.roomId == 0) {
        std::fprintf(stderr, "cannot create a room at %s\n", qPrintable(args[2]));
        return 1;
    }
    const int count = args[4].toInt();
    QElapsedTimer clock;
    clock.start();
    const int subscribed = bench.subscribe(owner, count);
    std::printf("subscribed %d of %d sockets in %.1f s\n", subscribed, count,
        double(clock.elapsed()) / 1000);
    if (args[1] == u"idle") {
        // Stay idle past the server's activity timeout (30 s), so pings are exchanged too.
        QEventLoop wait;
        QTimer::singleShot(40000, &wait, &QEventLoop::quit);
        wait.exec();
        std::printf("after 40 s idle: %d still open, server VmRSS %s\n", subscribed - bench.lost(),
            qPrintable(residentMemory(args.value(5))));
        return 0;
    }
    // A second member whose heartbeats change the room.
    Session member;
    member.token = bench.request("POST", u"guest"_s, {}, {})[u"token"_s].toString().toLatin1();
    member.roomId = owner.roomId;
    bench.request("POST", u"rooms/join"_s, { { u"code"_s, owner.inviteCode } }, member.token);
    const int changes = args.value(5, u"200"_s).toInt();
    bench.setChangeBase(QUrl(args.value(6)));
    const std::vector<double> delays = bench.measureLatency(member, changes, subscribed);
    std::printf("%zu frames for %d changes: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
        delays.size(), changes, percentile(delays, 0.5), percentile(delays, 0.99),
        percentile(delays, 1.0));
    return 0;
}
