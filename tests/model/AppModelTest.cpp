// The coordinator's rules with a scripted server that answers every request alike and records
// it, a scripted realtime peer and a clock of the test's: start-up, settings, room states,
// shots, hits, the history and the pomodoro.

#include "ClientSetup.h"
#include "RecordingDisplay.h"
#include "ScriptedHttpServer.h"
#include "ScriptedPusherPeer.h"
#include "model/DateText.h"
#include "model/Preferences.h"
#include "net/API.h"
#include "net/Keychain.h"
#include "net/Realtime.h"

#include <QClipboard>
#include <QCoro/QCoroTask>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Phase = PomodoroState::Phase;

namespace {

const QDateTime start(QDate(2030, 1, 1), QTime(10, 0), QTimeZone::utc());
const auto playerJson = R"({"id":7,"name":"Ada","email":null,"active_room_id":null})"_ba;
const auto guestJson = R"({"token":"token-9","user":{"id":9,"name":"Guest","email":null,
    "active_room_id":null}})"_ba;
const auto errorJson = R"({"message":"Server Error"})"_ba;
// The state of room 3 with player 7 holding the ball, as the scripted server answers it.
const auto roomStateJson = R"({"room":{"id":3,"owner_id":7,"name":"Lobby",
    "invite_code":"ABCDEFGH","ball_owner_id":7,"cooldown_until":null},
    "members":[{"id":7,"name":"Ada","status":"ONLINE"},{"id":8,"name":"Bea","status":"ONLINE"}],
    "round":null,"state":"IDLE","server_time":"2030-01-01T10:00:00Z","scores":[]})"_ba;
constexpr qint64 me = 7;
constexpr qint64 room = 3;
const Entry throwEntry { 0.18, 0.18, 0.5, 0.9 };
const CrossingSample above { 0.75, 0.43, 1.05 }, below { 0.76, 0.41, 1.0667 };

Round round(const QString &id, qint64 receiver = me, std::optional<qint64> lastSequence = {},
    const QString &state = u"ACTIVE"_s)
{
    Round r;
    r.id = id;
    r.receiverId = receiver;
    r.senderId = 8;
    r.state = state;
    r.nonce = u"nonce-"_s + id;
    r.lastSequence = lastSequence;
    return r;
}

Snapshot snapshotAt(const QString &serverTime, std::optional<Round> inPlay = std::nullopt)
{
    Snapshot snapshot;
    snapshot.room.id = room;
    snapshot.room.name = u"Lobby"_s;
    snapshot.room.ballOwnerId = inPlay ? std::nullopt : std::optional<qint64>(me);
    snapshot.members = { { me, u"Ada"_s, u"ONLINE"_s }, { 8, u"Bea"_s, u"ONLINE"_s } };
    snapshot.round = std::move(inPlay);
    snapshot.serverTime = serverTime;
    return snapshot;
}

QJsonObject bodyOf(const ScriptedHttpServer::Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class AppModelTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    QDateTime m_now;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<ScriptedPusherPeer> m_peer;
    RecordingDisplay *m_display = nullptr;
    std::chrono::milliseconds m_reconnectDelay = 10min;
    std::optional<std::chrono::steady_clock::time_point> m_monotonic;

    // Only what a test asks for: no reconnection, and only the first heartbeat.
    std::unique_ptr<AppModel> makeModel(const QString &websocket = u"ws://127.0.0.1:1"_s,
        const QDBusConnection &bus = QDBusConnection(u"none"_s))
    {
        auto setup = clientSetup(m_path, QUrl(m_server->baseUrl()), QUrl(websocket), &m_display);
        setup.now = [this] { return m_now; };
        setup.logindBus = bus;
        setup.timing.reconnectDelay = m_reconnectDelay;
        setup.timing.heartbeatPeriod = 10min;
        setup.timing.monotonicNow
            = [this] { return m_monotonic.value_or(std::chrono::steady_clock::now()); };
        return std::make_unique<AppModel>(std::move(setup));
    }

    // The restore started at construction ran to its end.
    static void waitForRestore(AppModel &model)
    {
        QSignalSpy working(&model, &AppModel::workingChanged);
        QVERIFY(working.wait());
        QTRY_VERIFY(!model.working());
    }

    // Signed in as player 7 with room 3 current (its channel connects to `websocket`).
    std::unique_ptr<AppModel> modelInRoom(const QString &websocket = u"ws://127.0.0.1:1"_s)
    {
        QCoro::waitFor(Keychain::save(u"token-7"_s, m_server->baseUrl()));
        m_server->answer(200, playerJson);
        auto model = makeModel(websocket);
        if (!QTest::qWaitFor([&] { return model->user() && !model->working(); }, 15'000))
            qFatal("not signed in: %s", qPrintable(model->message()));
        QCoro::waitFor(model->activate(room));
        if (model->roomID() != room)
            qFatal("no current room: %s", qPrintable(model->message()));
        return model;
    }

    // The peer greets its `connection`th connection and confirms the subscription.
    void handshake(int connection)
    {
        ScriptedPusherPeer &peer = *m_peer;
        if (!QTest::qWaitFor(
                [&] { return peer.connections() == connection && peer.clientConnected(); }))
            qFatal("the channel did not connect");
        peer.send({ { u"event"_s, u"pusher:connection_established"_s },
            { u"data"_s, uR"({"socket_id":"1234.5678","activity_timeout":120})"_s } });
        if (!QTest::qWaitFor(
                [&] { return peer.receivedEvents(u"pusher:subscribe"_s).size() == connection; }))
            qFatal("no subscription");
        peer.send({ { u"event"_s, u"pusher_internal:subscription_succeeded"_s },
            { u"data"_s, u"{}"_s } });
    }

    // As modelInRoom, subscribed through the peer and the first heartbeat's state applied.
    std::unique_ptr<AppModel> connectedModel()
    {
        auto model = modelInRoom(m_peer->baseUrl());
        m_server->answer(200, roomStateJson);
        handshake(1);
        if (!QTest::qWaitFor([&] { return model->connected() && model->snapshot(); }))
            qFatal("not connected: %s", qPrintable(model->message()));
        return model;
    }

    QList<ScriptedHttpServer::Request> requestsTo(const QString &rest) const
    {
        QList<ScriptedHttpServer::Request> found;
        for (const auto &request : m_server->requests()) {
            if (request.target == (u"/api/rooms/3"_s + rest).toUtf8())
                found.append(request);
        }
        return found;
    }

private Q_SLOTS:
    void init()
    {
        m_now = start;
        m_reconnectDelay = 10min;
        m_monotonic.reset();
        m_path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction())
            + QString::fromLatin1(QTest::currentDataTag()) + u".conf"_s);
        QFile::remove(m_path);
        m_server = std::make_unique<ScriptedHttpServer>();
        QVERIFY(m_server->listen());
        m_server->answer(500, errorJson);
        m_peer = std::make_unique<ScriptedPusherPeer>();
        QVERIFY(m_peer->listen());
    }

    void cleanup() { QCoro::waitFor(Keychain::save(std::nullopt, m_server->baseUrl())); }

    void readsTheStoredState()
    {
        SavedBasketResult hit { QUuid::createUuid(), start.addDays(-1), u"http://h"_s, u"L"_s,
            false };
        Preferences preferences(m_path);
        preferences.setBasketResults(SavedBasketResult::listToJson({ hit }));
        preferences.setLastBasketResult(u"Попадание · +1 · 5 May"_s);
        auto model = makeModel();
        QCOMPARE(model->savedResults(), QList<SavedBasketResult> { hit });
        QCOMPARE(model->lastResult(), u"Попадание · +1 · 5 May"_s);
        QCOMPARE(model->api().base(), m_server->baseUrl());

        // An undecodable history starts empty and stays stored as it was.
        Preferences(m_path).setBasketResults(R"([{"id":"x"}])"_ba);
        QVERIFY(makeModel()->savedResults().isEmpty());
        QCOMPARE(Preferences(m_path).basketResults(), R"([{"id":"x"}])"_ba);
    }

    void storedPomodoro_data()
    {
        QTest::addColumn<PomodoroState>("stored");
        QTest::addColumn<PomodoroState>("expected");
        const auto fresh = PomodoroState::focusUntil(start.addSecs(1800));
        QTest::newRow("stale break: fresh focus")
            << PomodoroState::restUntil(start.addSecs(-10)) << fresh;
        QTest::newRow("stale focus: fresh focus")
            << PomodoroState::focusUntil(start.addDays(-2)) << fresh;
        QTest::newRow("a deadline ahead is kept") << PomodoroState::restUntil(start.addSecs(90))
                                                  << PomodoroState::restUntil(start.addSecs(90));
    }
    void storedPomodoro()
    {
        QFETCH(PomodoroState, stored);
        QFETCH(PomodoroState, expected);
        Preferences(m_path).setPomodoroState(stored.toJson());
        auto model = makeModel();
        QCOMPARE(model->pomodoro(), expected);
        // Written back during construction, before any event is handled.
        QCOMPARE(Preferences(m_path).pomodoroState(), expected.toJson());
        QCOMPARE(model->focusActive(), expected.phase == Phase::Focus);
    }

    void everyObservablePropertyNotifiesOncePerChange_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("message") << "message"_ba << QVariant(u"hello"_s);
        QTest::newRow("selectedReceiver") << "selectedReceiver"_ba << QVariant(qint64(12));
        QTest::newRow("paused") << "paused"_ba << QVariant(true);
        QTest::newRow("hidden") << "hidden"_ba << QVariant(true);
        QTest::newRow("sound") << "sound"_ba << QVariant(false);
        QTest::newRow("screenIndex") << "screenIndex"_ba << QVariant(1);
        QTest::newRow("server") << "server"_ba << QVariant(u"https://x.example"_s);
        QTest::newRow("websocket") << "websocket"_ba << QVariant(u"wss://x.example"_s);
        QTest::newRow("appKey") << "appKey"_ba << QVariant(u"other"_s);
        QTest::newRow("pendingInvitation")
            << "pendingInvitation"_ba
            << QVariant::fromValue(std::optional(
                   RoomInvitation { u"ABCDEFGH"_s, u"http://a"_s, u"ws://a"_s, u"k"_s }));
    }
    void everyObservablePropertyNotifiesOncePerChange()
    {
        QFETCH(QByteArray, name);
        QFETCH(QVariant, value);
        auto model = makeModel();
        const QMetaProperty property
            = model->metaObject()->property(model->metaObject()->indexOfProperty(name.constData()));
        QSignalSpy spy(model.get(), property.notifySignal());
        QVERIFY(property.write(model.get(), value));
        QVERIFY(property.write(model.get(), value));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(property.read(model.get()), value);
    }

    void screenIndexMovesTheOverlayBeforeTheRefresh()
    {
        auto model = makeModel();
        m_display->calls.clear();
        model->setScreenIndex(2);
        // Without a room state the refresh hides the overlay.
        QCOMPARE(m_display->calls, (QList<QString> { u"move 2"_s, u"show false"_s }));
    }

    void restoreOutcomes_data()
    {
        QTest::addColumn<QString>("token");
        QTest::newRow("no token, no server") << QString();
        QTest::newRow("me failing keeps the token") << u"token-500"_s;
    }
    void restoreOutcomes()
    {
        QFETCH(QString, token);
        if (!token.isEmpty())
            QCoro::waitFor(Keychain::save(token, m_server->baseUrl()));
        auto model = makeModel();
        waitForRestore(*model);
        QCOMPARE(m_server->requests().size(), 1);
        const auto &request = m_server->requests().first();
        QCOMPARE(request.target, token.isEmpty() ? "/api/guest"_ba : "/api/me"_ba);
        QCOMPARE(model->message(), u"Server Error"_s);
        QVERIFY(!model->user());
        QCOMPARE(model->api().token(), token.isEmpty() ? std::nullopt : std::optional(token));
        if (token.isEmpty())
            return;
        QCOMPARE(request.headers.value("authorization"), "Bearer token-500"_ba);
        QCOMPARE(QCoro::waitFor(Keychain::read(m_server->baseUrl())), token);
        // The window's "Connect" tries again with the same token.
        m_server->answer(200, playerJson);
        QCoro::waitFor(model->restore());
        QCOMPARE(model->user()->id, me);
        QCOMPARE(m_server->requests().at(1).target, "/api/me"_ba);
    }

    void whileTheRestoreRunsNothingElseStarts()
    {
        m_server->stayQuiet();
        auto model = makeModel();
        QTRY_COMPARE(m_server->requests().size(), 1);
        QCoro::waitFor(model->restore());
        model->handleInvitation(u"tosswick://join?room=ABCD1234&api=http://b.example&ws=ws://"
                                u"b.example&key=k"_s);
        QCoro::waitFor(model->acceptInvitation());
        QVERIFY(model->pendingInvitation());
        QCOMPARE(model->server(), m_server->baseUrl());
        QTest::qWait(100);
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(model->working());
    }

    void invalidConnectionSettingsChangeNothing_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("websocket");
        QTest::addColumn<QString>("key");
        QTest::newRow("server scheme in capitals")
            << u"HTTP://a.example"_s << u"ws://a"_s << u"k"_s;
        QTest::newRow("server without host") << u"http://"_s << u"ws://a"_s << u"k"_s;
        QTest::newRow("websocket with an http scheme")
            << u"http://a.example"_s << u"http://a.example"_s << u"k"_s;
        QTest::newRow("empty key") << u"http://a.example"_s << u"ws://a"_s << QString();
    }
    void invalidConnectionSettingsChangeNothing()
    {
        QFETCH(QString, server);
        QFETCH(QString, websocket);
        QFETCH(QString, key);
        auto model = modelInRoom();
        model->setServer(server);
        model->setWebsocket(websocket);
        model->setAppKey(key);
        QCoro::waitFor(model->saveConnection());
        QCOMPARE(model->message(), u"Enter valid HTTP(S), WS(S) URLs and app key"_s);
        QCOMPARE(model->user()->id, me);
        QCOMPARE(model->roomID(), room);
        QCOMPARE(model->api().base(), m_server->baseUrl());
        QCOMPARE(Preferences(m_path).server(), m_server->baseUrl());
    }

    void aBadJoinLinkKeepsTheEarlierInvitation()
    {
        auto model = makeModel();
        model->handleInvitation(
            u"tosswick://join?room=abcd1234&api=https://a.example/&ws=wss://a.example&key=k"_s);
        const RoomInvitation expected { u"ABCD1234"_s, u"https://a.example"_s, u"wss://a.example"_s,
            u"k"_s };
        QCOMPARE(model->pendingInvitation(), expected);
        model->handleInvitation(u"tosswick://join?room=abcd1234&room=abcd1234"_s);
        QCOMPARE(model->message(), u"Invalid room invitation"_s);
        QCOMPARE(model->pendingInvitation(), expected);
    }

    void anInvitationWhoseServerCannotBeSignedIntoStaysPending()
    {
        auto model = makeModel();
        waitForRestore(*model);
        model->handleInvitation(u"tosswick://join?room=ABCD1234&api="_s + m_server->baseUrl()
            + u"&ws=ws://127.0.0.1:2&key=k"_s);
        QCoro::waitFor(model->acceptInvitation());
        QVERIFY(model->pendingInvitation());
        // The new settings' restore asked for a guest again, and nothing followed.
        QCOMPARE(m_server->requests().size(), 2);
        QCOMPARE(m_server->requests().last().target, "/api/guest"_ba);
    }

    void copyingWithoutAnInvitationAddressLeavesTheClipboardAlone_data()
    {
        QTest::addColumn<bool>("withSnapshot");
        QTest::newRow("before the first room state") << false;
        QTest::newRow("the server gives no invitation address") << true;
    }
    void copyingWithoutAnInvitationAddressLeavesTheClipboardAlone()
    {
        QFETCH(bool, withSnapshot);
        // The scripted server answers "connection" with a player: no invitation address.
        auto model = modelInRoom();
        QCOMPARE(model->inviteBase(), std::nullopt);
        if (withSnapshot)
            QCoro::waitFor(model->apply(snapshotAt(QString())));
        QGuiApplication::clipboard()->setText(u"kept"_s);
        model->copyInvitation();
        QCOMPARE(model->message(), u"Public invitation address is not configured"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"kept"_s);
    }

    void withoutARoomNothingIsSent()
    {
        QCoro::waitFor(Keychain::save(u"token-7"_s, m_server->baseUrl()));
        m_server->answer(200, playerJson);
        auto model = makeModel(m_peer->baseUrl());
        waitForRestore(*model);
        const auto sent = m_server->requests().size();
        QCoro::waitFor(model->leave(false));
        QCoro::waitFor(model->leave(true));
        model->shutdown();
        model->connectChannel();
        QTest::qWait(200);
        QCOMPARE(m_server->requests().size(), sent);
        QCOMPARE(m_peer->connections(), 0);
    }

    void tickSwitchesPhasesWithTheirMessages()
    {
        auto model = makeModel();
        model->setPomodoro(true);
        QCOMPARE(model->pomodoroClockText(), u"Focus · 30:00"_s);
        QSignalSpy changed(model.get(), &AppModel::pomodoroChanged);
        m_now = start.addSecs(1);
        model->tickPomodoro();
        QCOMPARE(changed.size(), 1); // every tick, so the clock counts down
        QCOMPARE(model->pomodoroClockText(), u"Focus · 29:59"_s);
        QCOMPARE(model->message(), QString());

        m_now = start.addSecs(1800);
        model->tickPomodoro();
        QCOMPARE(model->pomodoro(), PomodoroState::restUntil(start.addSecs(2100)));
        QCOMPARE(model->message(), u"Break time · 5 minutes to play or rest"_s);
        QCOMPARE(Preferences(m_path).pomodoroState(), model->pomodoro().toJson());

        // Asleep through the rest of the break and a whole focus phase and break after it.
        m_now = start.addSecs(2100 + 2100 + 10);
        model->tickPomodoro();
        QCOMPARE(model->pomodoro(), PomodoroState::focusUntil(start.addSecs(2100 * 2 + 1800)));
        QCOMPARE(model->message(), u"Focus time · incoming balls paused for 30 minutes"_s);
        QCOMPARE(Preferences(m_path).pomodoroState(), model->pomodoro().toJson());

        model->startPomodoroBreak();
        QCOMPARE(model->message(), u"5-minute break · play with an available contact"_s);
        QCOMPARE(Preferences(m_path).pomodoroState(),
            PomodoroState::restUntil(m_now.addSecs(300)).toJson());
        model->setPomodoro(false);
        QCOMPARE(Preferences(m_path).pomodoroState(),
            (PomodoroState { false, Phase::Rest, std::nullopt }).toJson());
    }

    // The round the player is playing when focus begins keeps the game on screen and the
    // player available, until it ends or the connection is lost.
    void focusBeginningDuringTheReceiversRoundGivesGrace_data()
    {
        QTest::addColumn<std::optional<Round>>("inPlay");
        QTest::addColumn<bool>("grace");
        QTest::newRow("my active round") << std::optional(round(u"r-1"_s)) << true;
        QTest::newRow("someone else's round") << std::optional(round(u"r-1"_s, 8)) << false;
        QTest::newRow("my round still waiting")
            << std::optional(round(u"r-1"_s, me, {}, u"WAITING_RECEIVER"_s)) << false;
    }
    void focusBeginningDuringTheReceiversRoundGivesGrace()
    {
        QFETCH(std::optional<Round>, inPlay);
        QFETCH(bool, grace);
        auto model = connectedModel();
        m_server->stayQuiet();
        model->startPomodoroBreak();
        model->apply(snapshotAt(QString(), inPlay));
        m_now = start.addSecs(300);
        model->tickPomodoro();
        QVERIFY(model->focusActive());
        QCOMPARE(m_display->visible, grace);
        // The phase change tells the server at once.
        QTRY_COMPARE(requestsTo(u"/heartbeat"_s).size(), 3);
        QCOMPARE(bodyOf(requestsTo(u"/heartbeat"_s).last()).value(u"dnd"_s).toBool(), !grace);

        // Back after a lost connection, the player is no longer available.
        m_server->answer(200, roomStateJson);
        model->lostConnection();
        model->connectChannel();
        handshake(2);
        QTRY_COMPARE(requestsTo(u"/heartbeat"_s).size(), 4);
        QVERIFY(bodyOf(requestsTo(u"/heartbeat"_s).last()).value(u"dnd"_s).toBool());
    }

    void serverTimeGivesTheClockOffsetAndDropsStaleStates_data()
    {
        QTest::addColumn<QString>("serverTime");
        QTest::addColumn<double>("offset");
        QTest::addColumn<bool>("applied");
        QTest::newRow("with fractional seconds") << u"2030-01-01T10:00:00.250Z"_s << 0.25 << true;
        QTest::newRow("without") << u"2030-01-01T09:59:58Z"_s << -2.0 << true;
        QTest::newRow("numeric zone") << u"2030-01-01T12:00:03+02:00"_s << 3.0 << true;
        QTest::newRow("no zone: unchanged") << u"2030-01-01T10:00:09"_s << 1.5 << true;
        QTest::newRow("blank for T: unchanged") << u"2030-01-01 10:00:09Z"_s << 1.5 << true;
        QTest::newRow("absent: unchanged") << QString() << 1.5 << true;
        QTest::newRow("1 ms older: dropped whole") << u"2030-01-01T09:00:01.499Z"_s << 1.5 << false;
        QTest::newRow("the same time again: current")
            << u"2030-01-01T09:00:01.500Z"_s << -3598.5 << true;
    }
    void serverTimeGivesTheClockOffsetAndDropsStaleStates()
    {
        QFETCH(QString, serverTime);
        QFETCH(double, offset);
        QFETCH(bool, applied);
        auto model = modelInRoom();
        // An hour earlier, with the server 1.5 s ahead.
        m_now = start.addSecs(-3600);
        const Snapshot first = snapshotAt(u"2030-01-01T09:00:01.500Z"_s);
        QCoro::waitFor(model->apply(first));
        QCOMPARE(m_display->configuration->serverOffset, 1.5);
        m_now = start;
        const Snapshot next = snapshotAt(serverTime, round(u"r-2"_s));
        m_display->calls.clear();
        QCoro::waitFor(model->apply(next));
        QCOMPARE(model->snapshot(), applied ? next : first);
        QCOMPARE(m_display->calls.isEmpty(), !applied);
        QCOMPARE(m_display->configuration->serverOffset, offset);
        QCOMPARE(m_display->configuration->round.has_value(), applied);
    }

    void shotsAndResultsAreNumberedAcrossAMissAndAHit()
    {
        auto model = modelInRoom();
        QCoro::waitFor(model->apply(snapshotAt(QString(), round(u"r-1"_s, me, 5))));
        const Entry miss { 0.18, 0.18, 0.1, 0.5 };
        m_display->callbacks.onShot(u"shot-miss"_s, miss);
        m_display->callbacks.onShot(u"shot-hit"_s, throwEntry);
        // A crossing of a shot this coordinator never registered is not reported.
        m_display->callbacks.onScore(u"shot-unknown"_s, above, below);
        m_display->callbacks.onScore(u"shot-hit"_s, above, below);
        QTRY_COMPARE(model->message(), u"Nice shot! +1"_s);

        const auto shots = requestsTo(u"/round/shot"_s);
        QCOMPARE(shots.size(), 2);
        const QJsonObject first = bodyOf(shots.at(0)), second = bodyOf(shots.at(1));
        QCOMPARE(first.value(u"shot_id"_s).toString(), u"shot-miss"_s);
        QCOMPARE(first.value(u"sequence"_s).toInteger(), 6);
        QCOMPARE(first.value(u"round_id"_s).toString(), u"r-1"_s);
        QCOMPARE(first.value(u"nonce"_s).toString(), u"nonce-r-1"_s);
        QCOMPARE(first.value(u"release"_s).toObject(), miss.toJson());
        QCOMPARE(second.value(u"sequence"_s).toInteger(), 7);

        const auto results = requestsTo(u"/round/result"_s);
        QCOMPARE(results.size(), 1);
        const QJsonObject result = bodyOf(results.first());
        QCOMPARE(result.value(u"shot_id"_s).toString(), u"shot-hit"_s);
        QCOMPARE(result.value(u"sequence"_s).toInteger(), 8);
        QCOMPARE(result.value(u"round_id"_s).toString(), u"r-1"_s);
        QCOMPARE(result.value(u"nonce"_s).toString(), u"nonce-r-1"_s);
        QCOMPARE(result.value(u"before"_s).toObject(), above.toJson());
        QCOMPARE(result.value(u"after"_s).toObject(), below.toJson());
        QVERIFY(m_display->calls.contains(u"celebrate"_s));
        QCOMPARE(model->savedResults().size(), 1);
        QVERIFY(!model->savedResults().first().practice);
    }

    void aRefusedShotOrResultIsNoHit_data()
    {
        QTest::addColumn<bool>("shotRefused");
        QTest::newRow("shot refused: no result sent") << true;
        QTest::newRow("result refused") << false;
    }
    void aRefusedShotOrResultIsNoHit()
    {
        QFETCH(bool, shotRefused);
        auto model = modelInRoom();
        QCoro::waitFor(model->apply(snapshotAt(QString(), round(u"r-1"_s))));
        if (shotRefused)
            m_server->answer(409, R"({"message":"Refused"})"_ba);
        m_display->callbacks.onShot(u"shot-1"_s, throwEntry);
        QTRY_COMPARE(requestsTo(u"/round/shot"_s).size(), 1);
        m_server->answer(409, R"({"message":"Refused"})"_ba);
        m_display->callbacks.onScore(u"shot-1"_s, above, below);
        QTRY_COMPARE(model->message(), u"Refused"_s);
        QTest::qWait(100);
        QCOMPARE(requestsTo(u"/round/result"_s).size(), shotRefused ? 0 : 1);
        QVERIFY(!m_display->calls.contains(u"celebrate"_s));
        QVERIFY(model->savedResults().isEmpty());
    }

    void roundChangesResetTheShotCounter_data()
    {
        QTest::addColumn<std::optional<Round>>("next");
        QTest::addColumn<qint64>("sequence");
        QTest::newRow("same round again: kept") << std::optional(round(u"r-1"_s, me, 2)) << 4ll;
        QTest::newRow("new round: its last sequence")
            << std::optional(round(u"r-2"_s, me, 9)) << 9ll;
        QTest::newRow("new round without one: 0") << std::optional(round(u"r-2"_s)) << 0ll;
        QTest::newRow("round over") << std::optional<Round>() << 0ll;
    }
    void roundChangesResetTheShotCounter()
    {
        QFETCH(std::optional<Round>, next);
        QFETCH(qint64, sequence);
        auto model = modelInRoom();
        QCoro::waitFor(model->apply(snapshotAt(QString(), round(u"r-1"_s, me, 2))));
        m_display->callbacks.onShot(u"shot-1"_s, throwEntry);
        m_display->callbacks.onShot(u"shot-2"_s, throwEntry);
        QCoro::waitFor(model->apply(snapshotAt(QString(), next)));
        m_display->callbacks.onShot(u"shot-3"_s, throwEntry);
        QTRY_COMPARE(requestsTo(u"/round/shot"_s).size(), next ? 3 : 2);
        if (next)
            QCOMPARE(bodyOf(requestsTo(u"/round/shot"_s).last()).value(u"sequence"_s).toInteger(),
                sequence + 1);
        // After a change the earlier shots are forgotten: their crossings are not reported.
        m_display->callbacks.onScore(u"shot-2"_s, above, below);
        QTest::qWait(200);
        QCOMPARE(requestsTo(u"/round/result"_s).size(), next && next->id == u"r-1"_s ? 1 : 0);
    }

    void theReceiverReportsReadyOncePerRound()
    {
        auto model = connectedModel();
        Round waiting = round(u"r-1"_s, me, {}, u"WAITING_RECEIVER"_s);

        // Reported, then the room state read again (the scripted one has no round).
        QCoro::waitFor(model->apply(snapshotAt(QString(), waiting)));
        QCOMPARE(requestsTo(u"/round/ready"_s).size(), 1);
        QCOMPARE(bodyOf(requestsTo(u"/round/ready"_s).first()),
            (QJsonObject { { u"round_id"_s, u"r-1"_s } }));
        QCOMPARE(requestsTo(u"/state"_s).size(), 1);
        QCOMPARE(model->snapshot()->round, std::nullopt);

        // A failed report is made again by the next state that shows the round waiting.
        m_server->answer(500, errorJson);
        waiting.id = u"r-2"_s;
        QCoro::waitFor(model->apply(snapshotAt(QString(), waiting)));
        QCOMPARE(model->message(), u"Server Error"_s);
        QCoro::waitFor(model->apply(snapshotAt(QString(), waiting)));
        QCOMPARE(requestsTo(u"/round/ready"_s).size(), 3);
        QCOMPARE(requestsTo(u"/state"_s).size(), 1);

        // While a report is under way, the same round is not reported again.
        m_server->stayQuiet();
        waiting.id = u"r-3"_s;
        model->apply(snapshotAt(QString(), waiting));
        QTRY_COMPARE(requestsTo(u"/round/ready"_s).size(), 4);
        QCoro::waitFor(model->apply(snapshotAt(QString(), waiting)));
        QTest::qWait(200);
        QCOMPARE(requestsTo(u"/round/ready"_s).size(), 4);
    }

    // An availability change is told at once; only an available receiver reports ready.
    void availabilityIsToldAndGatesTheReadyReport_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("heartbeats");
        QTest::addColumn<bool>("dnd");
        QTest::addColumn<int>("reports");
        QTest::newRow("available") << u"none"_s << 1 << false << 1;
        QTest::newRow("paused") << u"paused"_s << 2 << true << 0;
        QTest::newRow("overlay hidden") << u"hidden"_s << 2 << true << 0;
        QTest::newRow("focus phase") << u"focus"_s << 2 << true << 0;
        QTest::newRow("a break") << u"break"_s << 2 << false << 1;
        QTest::newRow("someone else's round") << u"other"_s << 1 << false << 0;
        QTest::newRow("round already active") << u"active"_s << 1 << false << 0;
    }
    void availabilityIsToldAndGatesTheReadyReport()
    {
        QFETCH(QString, condition);
        QFETCH(int, heartbeats);
        QFETCH(bool, dnd);
        QFETCH(int, reports);
        auto model = connectedModel();
        if (condition == u"paused"_s)
            model->setPaused(true);
        else if (condition == u"hidden"_s)
            model->setHidden(true);
        else if (condition == u"focus"_s)
            model->setPomodoro(true);
        else if (condition == u"break"_s)
            model->startPomodoroBreak();
        QTRY_COMPARE(requestsTo(u"/heartbeat"_s).size(), heartbeats);
        QCOMPARE(bodyOf(requestsTo(u"/heartbeat"_s).last()).value(u"dnd"_s).toBool(), dnd);
        const Round waiting = round(u"r-1"_s, condition == u"other"_s ? 8 : me, {},
            condition == u"active"_s ? u"ACTIVE"_s : u"WAITING_RECEIVER"_s);
        QCoro::waitFor(model->apply(snapshotAt(QString(), waiting)));
        QTest::qWait(200);
        QCOMPARE(requestsTo(u"/round/ready"_s).size(), reports);
    }

    void transferBodiesAndOutcomes_data()
    {
        QTest::addColumn<qint64>("receiver");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("to anyone") << 0ll << 200 << u"Ball sent to an available player"_s;
        QTest::newRow("to Bea") << 8ll << 200 << u"Ball sent to Bea"_s;
        QTest::newRow("refused") << 8ll << 409 << u"The ball is already in play."_s;
    }
    void transferBodiesAndOutcomes()
    {
        QFETCH(qint64, receiver);
        QFETCH(int, status);
        QFETCH(QString, message);
        auto model = connectedModel();
        model->setSelectedReceiver(receiver);
        m_server->answer(status,
            status == 200 ? roomStateJson : R"({"message":"The ball is already in play."})"_ba);
        const Entry entry { 0.97, 0.6, 0.8, 0.2 };
        QCoro::waitFor(model->transfer(entry));
        QCOMPARE(model->message(), message);
        QVERIFY(!model->sending());
        QCOMPARE(m_display->calls.contains(u"failed "_s + message), status != 200);

        const auto sends = requestsTo(u"/ball/send"_s);
        QCOMPARE(sends.size(), 1);
        const QJsonObject body = bodyOf(sends.first());
        QCOMPARE(body.value(u"entry"_s).toObject(), entry.toJson());
        QCOMPARE(body.contains(u"receiver_id"_s), receiver != 0);
        if (receiver != 0)
            QCOMPARE(body.value(u"receiver_id"_s).toInteger(), receiver);
        const QString requestID = body.value(u"request_id"_s).toString();
        QVERIFY(!QUuid::fromString(requestID).isNull());
        QCOMPARE(requestID.size(), 36);
        // The room state is read again whatever the outcome.
        QCOMPARE(requestsTo(u"/state"_s).size(), 1);
    }

    // While a send is under way the button says so and another send is ignored; the gate's
    // refusal is shown and nothing is sent.
    void aSendUnderWayOrRefusedByTheGate()
    {
        auto model = connectedModel();
        model->setSelectedReceiver(4242);
        QCOMPARE(model->sendButtonTitle(), u"Send to selected player"_s);
        model->setSelectedReceiver(0);
        auto sending = model->transfer(throwEntry);
        QCOMPARE(model->sendButtonTitle(), u"Sending…"_s);
        QCoro::waitFor(model->transfer(throwEntry));
        QVERIFY(!m_display->calls.contains(u"failed Sending…"_s));
        QCoro::waitFor(sending);
        model->setPaused(true);
        QCoro::waitFor(model->transfer(throwEntry));
        QCOMPARE(model->message(), u"Resume the game to send"_s);
        QVERIFY(m_display->calls.contains(u"failed Resume the game to send"_s));
        QCOMPARE(requestsTo(u"/ball/send"_s).size(), 1);
    }

    void aFailureAboutAnEarlierRoomIsDropped_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("status");
        QTest::newRow("heartbeat, then activate") << u"heartbeat"_s << u"activate"_s << 500;
        QTest::newRow("heartbeat, then leave") << u"heartbeat"_s << u"leave"_s << 500;
        QTest::newRow("heartbeat, then new settings") << u"heartbeat"_s << u"settings"_s << 500;
        QTest::newRow("heartbeat, then sleep") << u"heartbeat"_s << u"sleep"_s << 500;
        QTest::newRow("heartbeat, then shutdown") << u"heartbeat"_s << u"shutdown"_s << 500;
        QTest::newRow("heartbeat, then the session expired by another")
            << u"heartbeat"_s << u"expiry"_s << 401;
        QTest::newRow("state, then activate") << u"state"_s << u"activate"_s << 404;
    }
    void aFailureAboutAnEarlierRoomIsDropped()
    {
        QFETCH(QString, request);
        QFETCH(QString, change);
        QFETCH(int, status);
        auto model = connectedModel();
        m_server->stayQuiet();
        auto held = request == u"state"_s ? model->sync() : model->beat();
        QTRY_COMPARE(requestsTo(u"/"_s + request).size(), request == u"state"_s ? 1 : 2);

        m_server->answer(200, guestJson);
        if (change == u"activate"_s) {
            QCoro::waitFor(model->activate(4));
        } else if (change == u"leave"_s) {
            QCoro::waitFor(model->leave(false));
        } else if (change == u"settings"_s) {
            QCoro::waitFor(model->saveConnection());
        } else if (change == u"sleep"_s) {
            model->stopNetwork();
        } else if (change == u"shutdown"_s) {
            model->shutdown();
        } else {
            // Another heartbeat is refused first, and a new guest is restored.
            m_server->answer(401, R"({"message":"Unauthenticated."})"_ba);
            QCoro::waitFor(model->beat());
            m_server->answer(200, guestJson);
            QTRY_VERIFY(model->user() && model->user()->id == 9 && !model->working());
        }
        const auto token = model->api().token();
        const auto roomID = model->roomID();
        QStringList shown;
        QObject::connect(model.get(), &AppModel::messageChanged, model.get(),
            [&] { shown.append(model->message()); });
        m_server->answer(status, R"({"message":"Refused"})"_ba);
        m_server->answerHeld();
        QCoro::waitFor(held);
        QVERIFY(!shown.contains(u"Connection lost · reconnecting…"_s));
        QCOMPARE(model->roomID(), roomID);
        QCOMPARE(model->api().token(), token);
    }

    // A channel without a pong for 10 s is dead: no heartbeat goes out on it.
    void aSilentChannelIsLost_data()
    {
        QTest::addColumn<int>("ageMs");
        QTest::newRow("10.0 s: dead") << 10'000;
        QTest::newRow("9.9 s: alive") << 9'900;
    }
    void aSilentChannelIsLost()
    {
        QFETCH(int, ageMs);
        auto model = connectedModel();
        m_monotonic = model->realtime().lastPong() + std::chrono::milliseconds(ageMs);
        QCoro::waitFor(model->beat());
        QCOMPARE(model->connected(), ageMs < 10'000);
        QCOMPARE(requestsTo(u"/heartbeat"_s).size(), ageMs < 10'000 ? 2 : 1);
    }

    // A reconnection waiting is dropped by stopping the network; a new loss starts its wait anew.
    void aWaitingReconnectionIsDropped_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("stopping the network") << true;
        QTest::newRow("a new loss") << false;
    }
    void aWaitingReconnectionIsDropped()
    {
        QFETCH(bool, stop);
        m_reconnectDelay = 1000ms;
        auto model = connectedModel();
        model->lostConnection();
        QTest::qWait(500);
        if (m_peer->connections() > 1)
            QSKIP("the machine is too busy to tell the two waits apart");
        stop ? model->stopNetwork() : model->lostConnection();
        QTest::qWait(700);
        QCOMPARE(m_peer->connections(), 1);
        if (!stop)
            QTRY_COMPARE(m_peer->connections(), 2);
    }

    void refusedHeartbeatsAndRoomStates_data()
    {
        QTest::addColumn<bool>("heartbeat");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("leaves");
        const auto lost = u"Connection lost · reconnecting…"_s;
        const auto refused = R"({"message":"Refused"})"_ba;
        QTest::newRow("heartbeat: server error") << true << 500 << errorJson << lost << false;
        QTest::newRow("heartbeat: not a room state") << true << 200 << "[]"_ba << lost << false;
        QTest::newRow("state 403: no longer a member")
            << false << 403 << refused << u"Refused"_s << true;
        QTest::newRow("state 404: the room is gone")
            << false << 404 << refused << u"Refused"_s << true;
        QTest::newRow("state 500: only the message")
            << false << 500 << refused << u"Refused"_s << false;
    }
    void refusedHeartbeatsAndRoomStates()
    {
        QFETCH(bool, heartbeat);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        QFETCH(bool, leaves);
        auto model = connectedModel();
        const auto before = model->snapshot();
        QStringList shown;
        QObject::connect(model.get(), &AppModel::messageChanged, model.get(),
            [&] { shown.append(model->message()); });
        m_server->answer(status, reply);
        QCoro::waitFor(heartbeat ? model->beat() : model->sync());
        QCOMPARE(shown.size(), heartbeat ? 2 : 1);
        QCOMPARE(model->message(), message);
        QCOMPARE(model->roomID(), leaves ? std::nullopt : std::optional(room));
        QCOMPARE(model->snapshot(), leaves ? std::nullopt : before);
        QCOMPARE(model->connected(), !leaves && !heartbeat);
        QVERIFY(model->user());
        // Leaving reloads the room list.
        QCOMPARE(m_server->requests().last().target.endsWith("/state"), !heartbeat && !leaves);
        QCOMPARE(m_server->requests().last().target == "/api/rooms", leaves);
    }

    void theHistoryKeepsTheNewestHundred()
    {
        QList<SavedBasketResult> old;
        for (int i = 0; i < 100; ++i)
            old.append({ QUuid::createUuid(), start.addDays(-1 - i), u"http://old.example"_s,
                u"Old room"_s, false });
        Preferences(m_path).setBasketResults(SavedBasketResult::listToJson(old));
        auto model = makeModel();
        QCoro::waitFor(model->apply(snapshotAt(QString())));
        model->finishSuccess(true, std::nullopt);

        const QList<SavedBasketResult> results = model->savedResults();
        QCOMPARE(results.size(), 100);
        QCOMPARE(results.mid(1), old.first(99));
        QCOMPARE(results.first().date, start);
        QCOMPARE(results.first().server, m_server->baseUrl());
        QCOMPARE(results.first().room, u"Lobby"_s);
        QVERIFY(results.first().practice);
        QCOMPARE(model->lastResult(),
            u"Тренировка · попадание · "_s
                + DateText::abbreviatedDateTime(start, QLocale::system()));
        const Preferences stored(m_path);
        QCOMPARE(stored.lastBasketResult(), model->lastResult());
        QCOMPARE(SavedBasketResult::listFromJson(*stored.basketResults()), results);
        // Nothing is sent for a practice hit.
        QVERIFY(requestsTo(u"/round/result"_s).isEmpty());
    }

    void aHitDismissesTheGameUnlessAnotherRoundIsOnScreen_data()
    {
        QTest::addColumn<std::optional<Round>>("onScreen");
        QTest::addColumn<std::optional<QString>>("hitRound");
        QTest::addColumn<bool>("dismissed");
        QTest::newRow("practice, no round")
            << std::optional<Round>() << std::optional<QString>() << true;
        QTest::newRow("practice while a round is on")
            << std::optional(round(u"r-1"_s)) << std::optional<QString>() << false;
        QTest::newRow("the hit's round still shown")
            << std::optional(round(u"r-1"_s)) << std::optional(u"r-1"_s) << true;
        QTest::newRow("a new round came meanwhile")
            << std::optional(round(u"r-2"_s)) << std::optional(u"r-1"_s) << false;
    }
    void aHitDismissesTheGameUnlessAnotherRoundIsOnScreen()
    {
        QFETCH(std::optional<Round>, onScreen);
        QFETCH(std::optional<QString>, hitRound);
        QFETCH(bool, dismissed);
        auto model = connectedModel();
        int successes = 0;
        model->setOnSuccess([&] { ++successes; });
        QCoro::waitFor(model->apply(snapshotAt(QString(), onScreen)));
        model->finishSuccess(!hitRound, hitRound);
        m_display->calls.clear();
        QTest::qWait(1200);
        QCOMPARE(successes, dismissed ? 1 : 0);
        QCOMPARE(m_display->calls.contains(u"show false"_s), dismissed);
        // Later states of the same round keep the game out of the way.
        QCoro::waitFor(model->apply(snapshotAt(QString(), onScreen)));
        QCOMPARE(m_display->visible, !dismissed);
    }

    void aSecondHitWithinTheCelebrationRestartsIt()
    {
        auto model = makeModel();
        int successes = 0;
        model->setOnSuccess([&] { ++successes; });
        model->finishSuccess(true, std::nullopt);
        model->finishSuccess(true, std::nullopt);
        QCOMPARE(model->savedResults().size(), 2);
        QTRY_COMPARE(successes, 1);
        QTest::qWait(1000);
        QCOMPARE(successes, 1);
    }

    void aPendingDismissalIsDropped_data()
    {
        QTest::addColumn<bool>("activate");
        QTest::newRow("by a new round") << false;
        QTest::newRow("by activating a room, with the chosen receiver") << true;
    }
    void aPendingDismissalIsDropped()
    {
        QFETCH(bool, activate);
        auto model = modelInRoom();
        int successes = 0;
        model->setOnSuccess([&] { ++successes; });
        model->setSelectedReceiver(8);
        model->finishSuccess(true, std::nullopt);
        if (activate) {
            QCoro::waitFor(model->activate(4));
            QCOMPARE(model->selectedReceiver(), 0);
        } else {
            QCoro::waitFor(model->apply(snapshotAt(QString(), round(u"r-5"_s))));
            QCoro::waitFor(model->apply(snapshotAt(QString())));
        }
        QTest::qWait(1200);
        QCOMPARE(successes, 0);
    }

    // The scene gets this player's round only, whether it holds the ball and whether a
    // receiver is available.
    void whatTheSceneIsTold_data()
    {
        QTest::addColumn<std::optional<Round>>("inPlay");
        QTest::addColumn<std::optional<qint64>>("owner");
        QTest::addColumn<QString>("colleagueStatus");
        QTest::addColumn<qint64>("selected");
        QTest::addColumn<bool>("round");
        QTest::addColumn<bool>("holder");
        QTest::addColumn<bool>("available");
        const std::optional<Round> none;
        const std::optional<qint64> nobody, mine(me), theirs(8);
        const auto online = u"ONLINE"_s;
        QTest::newRow("my round") << std::optional(round(u"r-1"_s, me)) << nobody << online << 0ll
                                  << true << false << true;
        QTest::newRow("someone else's round") << std::optional(round(u"r-1"_s, 8)) << nobody
                                              << online << 0ll << false << false << true;
        QTest::newRow("another holds it")
            << none << theirs << online << 0ll << false << false << true;
        QTest::newRow("I hold it, random")
            << none << mine << online << 0ll << false << true << true;
        QTest::newRow("only I am online")
            << none << mine << u"BUSY"_s << 0ll << false << true << false;
        QTest::newRow("the chosen colleague online")
            << none << mine << online << 8ll << false << true << true;
        QTest::newRow("the chosen one is offline")
            << none << mine << online << 9ll << false << true << false;
        QTest::newRow("myself chosen") << none << mine << online << me << false << true << false;
    }
    void whatTheSceneIsTold()
    {
        QFETCH(std::optional<Round>, inPlay);
        QFETCH(std::optional<qint64>, owner);
        QFETCH(QString, colleagueStatus);
        QFETCH(qint64, selected);
        QFETCH(bool, round);
        QFETCH(bool, holder);
        QFETCH(bool, available);
        auto model = modelInRoom();
        Snapshot snapshot = snapshotAt(QString(), inPlay);
        snapshot.room.ballOwnerId = owner;
        snapshot.members = { { me, u"Ada"_s, u"ONLINE"_s }, { 8, u"Bea"_s, colleagueStatus },
            { 9, u"Cid"_s, u"OFFLINE"_s } };
        QCoro::waitFor(model->apply(snapshot));
        model->setSelectedReceiver(selected);
        QCOMPARE(m_display->configuration->round.has_value(), round);
        QCOMPARE(m_display->configuration->holder, holder);
        QCOMPARE(m_display->configuration->available, available);
        // Not connected: the overlay stays hidden whatever the state.
        QVERIFY(!m_display->visible);
    }

    void datesReadAsTheLocaleAbbreviatesThem_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("English") << u"en_US"_s << u"Jan 1, 2030, 10:00 AM"_s;
        QTest::newRow("German") << u"de_DE"_s << u"1. Jan. 2030, 10:00"_s;
        QTest::newRow("Russian") << u"ru_RU"_s << u"1 янв. 2030 г., 10:00"_s;
    }
    void datesReadAsTheLocaleAbbreviatesThem()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        const QDateTime localTime(start.date(), start.time());
        QCOMPARE(DateText::abbreviatedDateTime(localTime, QLocale(locale)), text);
    }
};

QTEST_MAIN(AppModelTest)
#include "AppModelTest.moc"
