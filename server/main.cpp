#include "RealtimeGateway.h"
#include "ServerOptions.h"
#include "game/Presence.h"
#include "game/RoomEvents.h"
#include "game/Rounds.h"
#include "http/Api.h"
#include "http/HttpServer.h"
#include "http/InvitePage.h"
#include "http/RoomRoutes.h"
#include "http/RoundRoutes.h"
#include "http/SnapshotBuilder.h"
#include "store/RoomStore.h"
#include "store/RoundStore.h"
#include "store/Store.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

QString randomSecret()
{
    QByteArray bytes(20, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), 5);
    return QString::fromLatin1(bytes.toHex());
}

RealtimeConfig realtimeConfig(const ServerOptions &options, const QString &secret)
{
    RealtimeConfig config;
    config.appKey = options.appKey;
    config.appSecret = secret.toUtf8();
    if (options.testRealtimeTimeoutMs > 0) {
        config.activityTimeout = std::chrono::milliseconds(options.testRealtimeTimeoutMs);
        config.pongTimeout = config.activityTimeout;
    }
    return config;
}

} // namespace

int main(int argc, char *argv[])
{
    // Qt's own poll loop instead of GLib's: GLib's grows costly per socket with thousands of
    // realtime connections, and the server needs nothing from GLib.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tosswick-server"_s);
    const ServerOptions options = ServerOptions::parse(QCoreApplication::arguments());

    Store store;
    if (!store.open(options.databasePath)) {
        std::fprintf(stderr, "tosswick-server: %s\n", qPrintable(store.errorText()));
        return 1;
    }
    QString secret = options.appSecret;
    QString secretSource = options.appSecretSource;
    if (secret.isEmpty()) {
        secret = store.setting(u"app_secret"_s);
        secretSource = u"the database"_s;
        if (secret.isEmpty()) {
            secret = randomSecret();
            store.setSetting(u"app_secret"_s, secret);
            secretSource = u"the database (made now)"_s;
        }
    }
    std::fprintf(stderr, "app secret from %s\n", qPrintable(secretSource));

    RoomStore rooms(store);
    RoundStore rounds(store);
    RoomEvents events;
    Presence presence(options.durations.presenceMs);
    QObject::connect(&presence, &Presence::wentStale, &events,
        [&events](qint64 roomId) { emit events.roomChanged(roomId, u"presence"_s); });
    Rounds rules(store, rooms, rounds, presence, events, options.durations);
    const SnapshotBuilder snapshots(rooms, rounds, presence);
    HttpServer http(store);
    const quint16 port = http.listen(options.address, options.port);
    if (port == 0) {
        std::fprintf(stderr, "cannot listen on %s:%u\n", qPrintable(options.address.toString()),
            unsigned(options.port));
        return 1;
    }
    const QString address = options.address.toString() + u':' + QString::number(port);
    const QString publicUrl
        = options.publicUrl.isEmpty() ? u"http://"_s + address : options.publicUrl;
    Api api(store, publicUrl);
    api.registerRoutes(http);
    RoomRoutes roomRoutes(store, rooms, rounds, rules, presence, snapshots, events);
    roomRoutes.registerRoutes(http);
    RoundRoutes roundRoutes(rooms, rules, snapshots);
    roundRoutes.registerRoutes(http);
    RealtimeGateway realtime(http, rooms, events, realtimeConfig(options, secret));
    const InvitePage invitePage(publicUrl, InvitePage::webSocketUrlFor(publicUrl), options.appKey);
    invitePage.registerRoute(http);

    // SIGTERM and SIGINT end the event loop through a socket pair, so shutdown runs normally.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    // Rounds whose time ran out while the server was down end now.
    rules.expireDue();

    std::printf("%s\n", qPrintable(address));
    std::fflush(stdout);
    std::fprintf(stderr, "started: listening on %s, database %s\n", qPrintable(address),
        qPrintable(options.databasePath));
    const int status = app.exec();
    std::fprintf(stderr, "stopped\n");
    return status;
}
