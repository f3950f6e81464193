// The coordinator against the real tosswick-server: the guest session, rooms, the realtime
// channel and invitations, with a temporary settings file and the session's Secret Service.

#include "ClientSetup.h"
#include "RecordingDisplay.h"
#include "ScriptedHttpServer.h"
#include "TestServer.h"
#include "model/AppModel.h"
#include "model/Preferences.h"
#include "net/API.h"
#include "net/Keychain.h"
#include "net/Realtime.h"
#include "wire/AuthReply.h"

#include <QClipboard>
#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

// The realtime channel needs a round trip to the server and an authorisation.
constexpr int channelTimeoutMs = 15'000;
// The credential store answers over D-Bus; its first use may take a moment.
constexpr int restoreTimeoutMs = 15'000;

QString base(const TestServer &server)
{
    return server.httpUrl().toString(QUrl::StripTrailingSlash);
}

QString wsBase(const TestServer &server)
{
    return server.wsUrl().toString(QUrl::StripTrailingSlash);
}

QString joinLink(const QString &room, const QString &api, const QString &ws)
{
    QUrlQuery query;
    query.addQueryItem(u"room"_s, room);
    query.addQueryItem(u"api"_s, api);
    query.addQueryItem(u"ws"_s, ws);
    query.addQueryItem(u"key"_s, QString::fromLatin1(TestServer::appKey));
    return u"tosswick://join?"_s + query.toString(QUrl::FullyEncoded);
}

} // namespace

class AppModelServerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TestServer m_server;
    QString m_preferencesPath;
    RecordingDisplay *m_display = nullptr;
    QNetworkAccessManager m_network;

    // Its settings point at `server`, or the test server.
    std::unique_ptr<AppModel> makeModel(
        const QDBusConnection &bus = QDBusConnection(u"none"_s), const QString &server = {})
    {
        auto setup = clientSetup(m_preferencesPath,
            server.isEmpty() ? m_server.httpUrl() : QUrl(server), m_server.wsUrl(), &m_display);
        setup.logindBus = bus;
        return std::make_unique<AppModel>(std::move(setup));
    }

    // A model whose start-up restore has run to its end.
    std::unique_ptr<AppModel> startedModel(const QDBusConnection &bus = QDBusConnection(u"none"_s))
    {
        auto model = makeModel(bus);
        QSignalSpy working(model.get(), &AppModel::workingChanged);
        if (!working.wait(restoreTimeoutMs)
            || !QTest::qWaitFor([&] { return !model->working(); }, restoreTimeoutMs))
            qFatal("the restore did not finish: working %d, message %s, log %s", model->working(),
                qPrintable(model->message()), qPrintable(m_server.log()));
        return model;
    }

    // Another player on the server, talking to it directly.
    std::unique_ptr<API> otherPlayer(const TestServer &server)
    {
        auto api = std::make_unique<API>(m_network, base(server));
        const auto reply = QCoro::waitFor(api->data(u"guest"_s, u"POST"_s, QJsonObject()));
        if (!reply)
            qFatal("no guest session: %s", qPrintable(reply.error().message));
        api->setToken(API::readReply<AuthReply>(*reply)->token);
        return api;
    }

    static Room createRoom(const API &api, const QString &name)
    {
        const auto reply
            = QCoro::waitFor(api.data(u"rooms"_s, u"POST"_s, QJsonObject { { u"name"_s, name } }));
        if (!reply)
            qFatal("room not created: %s", qPrintable(reply.error().message));
        return *API::readReply<Room>(*reply);
    }

    static QStringList roomNames(const AppModel &model)
    {
        QStringList names;
        for (const Room &room : model.rooms())
            names.append(room.name);
        return names;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorText())); }

    void init()
    {
        m_preferencesPath
            = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u".conf"_s);
    }

    void cleanup()
    {
        // Each test starts without a stored session for the server.
        QCoro::waitFor(Keychain::save(std::nullopt, base(m_server)));
    }

    // A token the server rejects is replaced in the same restore.
    void firstStartCreatesAGuestAndTheSecondSignsIn()
    {
        QCoro::waitFor(Keychain::save(u"no-such-session"_s, base(m_server)));
        qint64 guest = 0;
        {
            auto model = startedModel();
            QVERIFY(model->user());
            guest = model->user()->id;
            const auto stored = QCoro::waitFor(Keychain::read(base(m_server)));
            QVERIFY(stored && !stored->isEmpty() && *stored != u"no-such-session"_s);
            QCOMPARE(model->api().token(), stored);
            QVERIFY(model->rooms().isEmpty());
            QCOMPARE(model->message(), u"Create a room or enter a secret Room ID to join."_s);
            QCOMPARE(model->inviteBase(), base(m_server) + u"/invite"_s);
            // The token is in the credential store only.
            QFile settings(m_preferencesPath);
            QVERIFY(settings.open(QIODevice::ReadOnly));
            QVERIFY(!settings.readAll().contains(stored->toUtf8()));

            QCoro::waitFor(model->createRoom(u"Lobby"_s));
            QCOMPARE(roomNames(*model), QStringList { u"Lobby"_s });
        }
        // The second start signs in as the same guest and goes back to the active room.
        auto model = startedModel();
        QVERIFY(model->user());
        QCOMPARE(model->user()->id, guest);
        QCOMPARE(model->roomID(), model->rooms().first().id);
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), channelTimeoutMs);
    }

    void settingsSavedDuringARestoreRestoreTheNewServer()
    {
        // The configured server takes the guest request and never answers it.
        auto silent = std::make_unique<ScriptedHttpServer>();
        QVERIFY(silent->listen());
        silent->stayQuiet();
        const QString silentBase = silent->baseUrl();
        auto model = makeModel(QDBusConnection(u"none"_s), silentBase);
        QSignalSpy working(model.get(), &AppModel::workingChanged);
        QTRY_COMPARE(silent->requests().size(), 1);

        model->setServer(base(m_server));
        QCoro::waitFor(model->saveConnection());
        QVERIFY(model->working());
        // The old server's reply fails at last; what it was for no longer matters.
        silent.reset();
        QTRY_COMPARE_WITH_TIMEOUT(working.size(), 2, restoreTimeoutMs);

        QVERIFY(model->user());
        QCOMPARE(model->api().base(), base(m_server));
        const auto stored = QCoro::waitFor(Keychain::read(base(m_server)));
        QVERIFY(stored);
        QCOMPARE(model->api().token(), stored);
        QCOMPARE(QCoro::waitFor(Keychain::read(silentBase)), std::nullopt);
        QCOMPARE(model->message(), u"Create a room or enter a secret Room ID to join."_s);
    }

    void aCoordinatorGoneMidRequestIsLeftAlone()
    {
        auto model = startedModel();
        QCoro::waitFor(model->createRoom(u"Brief"_s));
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), channelTimeoutMs);
        // Requests of every kind under way: a restore, a room change, a heartbeat.
        model->restore();
        model->createRoom(u"Second"_s);
        model->beat();
        QPointer<AppModel> watched(model.get());
        model.reset();
        QVERIFY(!watched);
        // Their replies arrive and find nobody to apply them to.
        QTest::qWait(1000);
        auto next = startedModel();
        QVERIFY(next->user());
    }

    void createJoinActivateLeaveDelete()
    {
        auto model = startedModel();
        // The room picker follows every change of the current room.
        QSignalSpy roomChanges(model.get(), &AppModel::roomIDChanged);
        QCoro::waitFor(model->createRoom(u"Lobby"_s));
        QCOMPARE(roomNames(*model), QStringList { u"Lobby"_s });
        const qint64 lobby = model->rooms().first().id;
        QCOMPARE(model->roomID(), lobby);
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), channelTimeoutMs);
        QCOMPARE(model->message(), u"Connected"_s);
        QVERIFY(model->realtime().subscribed());

        // Join another player's room by its Room ID, typed in lower case with blanks as given:
        // the server decides what it accepts.
        const auto other = otherPlayer(m_server);
        const Room studio = createRoom(*other, u"Studio"_s);
        QCoro::waitFor(model->joinRoom(studio.inviteCode));
        QCOMPARE(model->roomID(), studio.id);
        QCOMPARE(model->rooms().size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), channelTimeoutMs);

        // The heartbeat brings the room's state; then the invitation link can be made.
        QTRY_VERIFY_WITH_TIMEOUT(model->snapshot(), channelTimeoutMs);
        QCOMPARE(model->snapshot()->room.id, studio.id);
        model->copyInvitation();
        QCOMPARE(QGuiApplication::clipboard()->text(),
            base(m_server) + u"/invite#"_s + studio.inviteCode);
        QCOMPARE(model->message(), u"Invitation link copied · send it privately to your friend"_s);

        QCoro::waitFor(model->leave(false));
        QCOMPARE(model->roomID(), std::nullopt);
        QCOMPARE(model->snapshot(), std::nullopt);
        QVERIFY(!model->connected());
        QCOMPARE(roomNames(*model), QStringList { u"Lobby"_s });

        QCoro::waitFor(model->activate(lobby));
        QCOMPARE(model->roomID(), lobby);
        QCoro::waitFor(model->leave(true));
        QCOMPARE(model->roomID(), std::nullopt);
        QVERIFY(model->rooms().isEmpty());
        QCOMPARE(roomChanges.size(), 5); // create, join, leave, activate, delete
        // The room left is still the other player's.
        QCOMPARE(QCoro::waitFor(other->get<QList<Room>>(u"rooms"_s))->size(), 1);
    }

    void failuresOfRoomRequestsShowTheServersText()
    {
        auto model = startedModel();
        QCoro::waitFor(model->createRoom(u"Home"_s));
        const auto home = model->roomID();
        QVERIFY(home);

        QCoro::waitFor(model->joinRoom(u"NOSUCHROOM42"_s));
        QCOMPARE(model->message(), u"No room has this Room ID."_s);
        QCOMPARE(model->roomID(), home);

        // Someone else's room cannot be deleted; it stays current and connected.
        const Room foreign = createRoom(*otherPlayer(m_server), u"Theirs"_s);
        QCoro::waitFor(model->joinRoom(foreign.inviteCode));
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), channelTimeoutMs);
        QCoro::waitFor(model->leave(true));
        QCOMPARE(model->message(), u"Only the room's owner can delete it."_s);
        QCOMPARE(model->roomID(), foreign.id);
        QVERIFY(model->connected());
    }

    void sleepAndWakeWithACurrentRoom()
    {
        auto bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no D-Bus session bus (run through scripts/run-tests.sh)");
        QVERIFY(bus.registerService(u"org.freedesktop.login1"_s));
        auto model = startedModel(bus);
        QCoro::waitFor(model->createRoom(u"Night"_s));
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), channelTimeoutMs);

        auto sleep = QDBusMessage::createSignal(u"/org/freedesktop/login1"_s,
            u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s);
        sleep.setArguments({ true });
        QVERIFY(bus.send(sleep));
        QTRY_VERIFY(!model->connected());
        QVERIFY(model->paused());
        QVERIFY(!model->realtime().subscribed());

        sleep.setArguments({ false });
        QVERIFY(bus.send(sleep));
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), channelTimeoutMs);
        QVERIFY(model->paused());
        QVERIFY(bus.unregisterService(u"org.freedesktop.login1"_s));
    }

    // One for this server only joins; one for another switches to that server's own session.
    void invitationsJoinOnTheirOwnServer()
    {
        TestServer second;
        QVERIFY2(second.start(), qPrintable(second.errorText()));
        auto model = startedModel();
        const QString firstToken = *model->api().token();
        const qint64 guest = model->user()->id;
        const Room garden = createRoom(*otherPlayer(m_server), u"Garden"_s);
        const auto settings = [&] {
            QFile file(m_preferencesPath);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray settingsBefore = settings();

        // Pasted into the join field, a link becomes a pending invitation and sends nothing.
        QCoro::waitFor(model->joinRoom(
            joinLink(garden.inviteCode.toLower(), base(m_server), wsBase(m_server))));
        QCOMPARE(model->pendingInvitation()->room, garden.inviteCode);
        QVERIFY(model->rooms().isEmpty());
        QCoro::waitFor(model->acceptInvitation());
        QCOMPARE(model->pendingInvitation(), std::nullopt);
        QCOMPARE(model->roomID(), garden.id);
        QCOMPARE(model->user()->id, guest);
        QCOMPARE(settings(), settingsBefore);

        const Room room = createRoom(*otherPlayer(second), u"Elsewhere"_s);
        model->handleInvitation(joinLink(room.inviteCode, base(second) + u"/"_s, wsBase(second)));
        QCoro::waitFor(model->acceptInvitation());

        QCOMPARE(model->pendingInvitation(), std::nullopt);
        QCOMPARE(model->server(), base(second));
        QCOMPARE(model->api().base(), base(second));
        const Preferences stored(m_preferencesPath);
        QCOMPARE(stored.server(), base(second));
        QCOMPARE(stored.websocket(), wsBase(second));
        QCOMPARE(stored.appKey(), QString::fromLatin1(TestServer::appKey));
        // That server's own guest session, kept beside the first one's.
        const auto secondToken = QCoro::waitFor(Keychain::read(base(second)));
        QVERIFY(secondToken);
        QCOMPARE(model->api().token(), secondToken);
        QCOMPARE(QCoro::waitFor(Keychain::read(base(m_server))), firstToken);
        QVERIFY(model->user());
        QCOMPARE(model->roomID(), room.id);
        QCOMPARE(roomNames(*model), QStringList { u"Elsewhere"_s });
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), channelTimeoutMs);

        QCoro::waitFor(Keychain::save(std::nullopt, base(second)));
    }

    void shutdownTellsTheServerWithoutWaiting()
    {
        auto model = startedModel();
        QCoro::waitFor(model->createRoom(u"Bye"_s));
        const Room room = model->rooms().first();
        const auto other = otherPlayer(m_server);
        QVERIFY(QCoro::waitFor(other->data(
            u"rooms/join"_s, u"POST"_s, QJsonObject { { u"code"_s, room.inviteCode } })));
        const qint64 me = model->user()->id;
        const auto statusSeenByOther = [&] {
            const auto state = QCoro::waitFor(
                other->get<Snapshot>(u"rooms/"_s + QString::number(room.id) + u"/state"_s));
            for (const Member &member : state->members)
                if (member.id == me)
                    return member.status;
            return QString();
        };
        // Present once its heartbeat ran.
        QTRY_COMPARE_WITH_TIMEOUT(statusSeenByOther(), u"ONLINE"_s, channelTimeoutMs);

        model->shutdown();
        QVERIFY(!model->connected());
        QVERIFY(!m_display->visible);
        // The notice goes out although nobody waits for it.
        QTRY_COMPARE(statusSeenByOther(), u"OFFLINE"_s);
    }
};

QTEST_MAIN(AppModelServerTest)
#include "AppModelServerTest.moc"
