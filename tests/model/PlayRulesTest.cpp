// The coordinator's rules for room states, shots, hits and the history, with a scripted server
// that answers every request alike and records it, and a clock of the test's.

#include "RecordingDisplay.h"
#include "ScriptedHttpServer.h"
#include "ScriptedPusherPeer.h"
#include "ScriptedServerFixture.h"
#include "model/AppModel.h"
#include "model/DateText.h"
#include "model/Preferences.h"
#include "net/API.h"
#include "net/Keychain.h"
#include "wire/Timestamp.h"
#include "pomodoro/StoredTime.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QDateTime start(QDate(2030, 1, 1), QTime(10, 0), QTimeZone::utc());
const auto playerJson = R"({"id":7,"name":"Ada","email":null,"active_room_id":null})"_ba;
const auto guestJson = R"({"token":"token-9","user":{"id":9,"name":"Guest","email":null,
    "active_room_id":null}})"_ba;
// The state of room 3 with player 7 holding the ball, as the scripted server answers it.
const auto roomStateJson = R"({"room":{"id":3,"owner_id":7,"name":"Lobby",
    "invite_code":"ABCDEFGH","ball_owner_id":7,"cooldown_until":null},
    "members":[{"id":7,"name":"Ada","status":"ONLINE"},{"id":8,"name":"Bea","status":"ONLINE"}],
    "round":null,"state":"IDLE","server_time":"2030-01-01T10:00:00Z","scores":[]})"_ba;
constexpr qint64 me = 7;
constexpr qint64 room = 3;

Member member(qint64 id, const QString &name, const QString &status)
{
    return Member { id, name, status };
}

Round round(const QString &id, qint64 receiver = me, std::optional<qint64> lastSequence = {})
{
    Round r;
    r.id = id;
    r.receiverId = receiver;
    r.senderId = 8;
    r.state = u"ACTIVE"_s;
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
    snapshot.members = { member(me, u"Ada"_s, u"ONLINE"_s), member(8, u"Bea"_s, u"ONLINE"_s) };
    snapshot.round = std::move(inPlay);
    snapshot.serverTime = serverTime;
    return snapshot;
}

QJsonObject bodyOf(const ScriptedHttpServer::Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

QList<SavedBasketResult> oldHits(int count)
{
    QList<SavedBasketResult> hits;
    for (int i = 0; i < count; ++i)
        hits.append({ QUuid::createUuid(), start.addDays(-1 - i), u"http://old.example"_s,
            u"Old room"_s, false });
    return hits;
}

} // namespace

class PlayRulesTest : public ScriptedServerFixture {
    Q_OBJECT

    std::chrono::milliseconds m_reconnectDelay = 10min;

    std::unique_ptr<AppModel> makeModel()
    {
        auto display = std::make_unique<RecordingDisplay>();
        m_display = display.get();
        AppModel::Setup setup;
        setup.preferencesPath = m_preferencesPath;
        setup.now = [this] { return m_now; };
        setup.logindBus = QDBusConnection(u"none"_s);
        setup.display = std::move(display);
        // Only what a test asks for: no reconnection, and only the first heartbeat.
        setup.timing.reconnectDelay = m_reconnectDelay;
        setup.timing.heartbeatPeriod = 10min;
        return std::make_unique<AppModel>(std::move(setup));
    }

    // Signed in as player 7 with room 3 current (its channel does not connect).
    std::unique_ptr<AppModel> modelInRoom()
    {
        QCoro::waitFor(Keychain::save(u"token-7"_s, m_server->baseUrl()));
        m_server->answer(200, playerJson);
        auto model = makeModel();
        // The room list does not read from that answer: the restore ends there, signed in.
        if (!QTest::qWaitFor([&] { return model->user() && !model->working(); }, 15'000))
            qFatal("not signed in: %s", qPrintable(model->message()));
        QCoro::waitFor(model->activate(room));
        if (model->roomID() != room)
            qFatal("no current room: %s", qPrintable(model->message()));
        return model;
    }

    // As modelInRoom, with the room's channel subscribed through the scripted peer and the
    // first heartbeat's room state applied.
    std::unique_ptr<AppModel> connectedModel(ScriptedPusherPeer &peer)
    {
        Preferences(m_preferencesPath)
            .setConnection(m_server->baseUrl(), peer.baseUrl(), u"desk-hoops-sample"_s);
        auto model = modelInRoom();
        m_server->answer(200, roomStateJson);
        const QJsonObject greeting { { u"event"_s, u"pusher:connection_established"_s },
            { u"data"_s, uR"({"socket_id":"1234.5678","activity_timeout":120})"_s } };
        const QJsonObject subscribed { { u"event"_s, u"pusher_internal:subscription_succeeded"_s },
            { u"data"_s, u"{}"_s } };
        if (!QTest::qWaitFor([&] { return peer.clientConnected(); }))
            qFatal("the channel did not connect");
        peer.send(greeting);
        if (!QTest::qWaitFor([&] { return !peer.receivedEvents(u"pusher:subscribe"_s).isEmpty(); }))
            qFatal("no subscription");
        peer.send(subscribed);
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
        QVERIFY(startScriptedServer());
    }

    void cleanup() { QCoro::waitFor(Keychain::save(std::nullopt, m_server->baseUrl())); }

    void staleSnapshotsAreDroppedWhole()
    {
        auto model = makeModel();
        Snapshot first = snapshotAt(u"2030-01-01T10:00:05.500Z"_s);
        QCoro::waitFor(model->apply(first));
        QCOMPARE(model->snapshot(), first);
        QCOMPARE(model->offset(), 5.5);
        const auto calls = m_display->calls;

        Snapshot older = snapshotAt(u"2030-01-01T10:00:05.499Z"_s, round(u"r-1"_s));
        QCoro::waitFor(model->apply(older));
        QCOMPARE(model->snapshot(), first);
        QCOMPARE(model->offset(), 5.5);
        QCOMPARE(model->currentRoundID(), std::nullopt);
        QCOMPARE(m_display->calls, calls);

        // The same server time again counts as current.
        Snapshot same = snapshotAt(u"2030-01-01T10:00:05.500Z"_s, round(u"r-1"_s));
        QCoro::waitFor(model->apply(same));
        QCOMPARE(model->snapshot(), same);
        QCOMPARE(model->currentRoundID(), u"r-1"_s);
        QCOMPARE(m_display->calls.size(), calls.size() + 1); // the refresh (no user: hidden)
    }

    void serverTimeGivesTheClockOffset_data()
    {
        QTest::addColumn<QString>("serverTime");
        QTest::addColumn<double>("offset");
        QTest::newRow("with fractional seconds") << u"2030-01-01T10:00:00.250Z"_s << 0.25;
        QTest::newRow("without") << u"2030-01-01T09:59:58Z"_s << -2.0;
        QTest::newRow("numeric zone") << u"2030-01-01T12:00:03+02:00"_s << 3.0;
        QTest::newRow("no zone: unchanged") << u"2030-01-01T10:00:09"_s << 1.5;
        QTest::newRow("blank for T: unchanged") << u"2030-01-01 10:00:09Z"_s << 1.5;
        QTest::newRow("absent: unchanged") << QString() << 1.5;
    }
    void serverTimeGivesTheClockOffset()
    {
        QFETCH(QString, serverTime);
        QFETCH(double, offset);
        auto model = makeModel();
        // An hour earlier, with the server 1.5 s ahead.
        m_now = start.addSecs(-3600);
        QCoro::waitFor(model->apply(snapshotAt(u"2030-01-01T09:00:01.500Z"_s)));
        QCOMPARE(model->offset(), 1.5);
        m_now = start;
        Snapshot next = snapshotAt(serverTime, round(u"r-2"_s));
        QCoro::waitFor(model->apply(next));
        QCOMPARE(model->offset(), offset);
        // Unreadable times are not checked for staleness: the state is applied.
        QCOMPARE(model->snapshot(), next);
    }

    void shotsAndResultsAreNumberedAcrossAMissAndAHit()
    {
        auto model = modelInRoom();
        QCoro::waitFor(model->apply(snapshotAt(QString(), round(u"r-1"_s, me, 5))));
        QCOMPARE(model->sequence(), 5);
        const Entry miss { 0.18, 0.18, 0.1, 0.5 };
        const Entry hit { 0.18, 0.18, 0.56768, 0.93741672 };
        m_display->callbacks.onShot(u"shot-miss"_s, miss);
        QCOMPARE(model->sequence(), 6);
        m_display->callbacks.onShot(u"shot-hit"_s, hit);
        QCOMPARE(model->sequence(), 7);
        // A crossing of a shot this coordinator never registered is not reported.
        m_display->callbacks.onScore(u"shot-unknown"_s, { 0.76, 0.43, 1.0 }, { 0.76, 0.41, 1.016 });
        m_display->callbacks.onScore(u"shot-hit"_s, { 0.75, 0.43, 1.05 }, { 0.76, 0.41, 1.0667 });
        QTRY_COMPARE(model->message(), u"Nice shot! +1"_s);

        const auto shots = requestsTo(u"/round/shot"_s);
        QCOMPARE(shots.size(), 2);
        const QJsonObject first = bodyOf(shots.at(0)), second = bodyOf(shots.at(1));
        QCOMPARE(first.value(u"shot_id"_s).toString(), u"shot-miss"_s);
        QCOMPARE(first.value(u"sequence"_s).toInteger(), 6);
        QCOMPARE(first.value(u"round_id"_s).toString(), u"r-1"_s);
        QCOMPARE(first.value(u"nonce"_s).toString(), u"nonce-r-1"_s);
        QCOMPARE(first.value(u"release"_s).toObject(), miss.toJson());
        QCOMPARE(second.value(u"shot_id"_s).toString(), u"shot-hit"_s);
        QCOMPARE(second.value(u"sequence"_s).toInteger(), 7);

        const auto results = requestsTo(u"/round/result"_s);
        QCOMPARE(results.size(), 1);
        const QJsonObject result = bodyOf(results.first());
        QCOMPARE(result.value(u"shot_id"_s).toString(), u"shot-hit"_s);
        QCOMPARE(result.value(u"sequence"_s).toInteger(), 8);
        QCOMPARE(result.value(u"round_id"_s).toString(), u"r-1"_s);
        QCOMPARE(result.value(u"nonce"_s).toString(), u"nonce-r-1"_s);
        QCOMPARE(
            result.value(u"before"_s).toObject(), (CrossingSample { 0.75, 0.43, 1.05 }.toJson()));
        QCOMPARE(
            result.value(u"after"_s).toObject(), (CrossingSample { 0.76, 0.41, 1.0667 }.toJson()));
        QVERIFY(m_display->calls.contains(u"celebrate"_s));
        QCOMPARE(model->savedResults().size(), 1);
        QVERIFY(!model->savedResults().first().practice);
    }

    void aFailedShotRegistrationReportsNoResult()
    {
        auto model = modelInRoom();
        QCoro::waitFor(model->apply(snapshotAt(QString(), round(u"r-1"_s))));
        m_server->answer(409, R"({"message":"This round is no longer in play."})"_ba);
        m_display->callbacks.onShot(u"shot-1"_s, Entry { 0.18, 0.18, 0.5, 0.9 });
        m_display->callbacks.onScore(u"shot-1"_s, { 0.75, 0.43, 1.05 }, { 0.76, 0.41, 1.0667 });
        QTRY_COMPARE(model->message(), u"This round is no longer in play."_s);
        QTest::qWait(100);
        QVERIFY(requestsTo(u"/round/result"_s).isEmpty());
        QVERIFY(!m_display->calls.contains(u"celebrate"_s));
        QVERIFY(model->savedResults().isEmpty());
    }

    void aFailedResultIsNoHit()
    {
        auto model = modelInRoom();
        QCoro::waitFor(model->apply(snapshotAt(QString(), round(u"r-1"_s))));
        m_display->callbacks.onShot(u"shot-1"_s, Entry { 0.18, 0.18, 0.5, 0.9 });
        QTRY_COMPARE(requestsTo(u"/round/shot"_s).size(), 1);
        m_server->answer(422, R"({"message":"The ball did not pass between the rim ends."})"_ba);
        m_display->callbacks.onScore(u"shot-1"_s, { 0.75, 0.43, 1.05 }, { 0.76, 0.41, 1.0667 });
        QTRY_COMPARE(model->message(), u"The ball did not pass between the rim ends."_s);
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
        QTest::newRow("round over: 0") << std::optional<Round>() << 0ll;
    }
    void roundChangesResetTheShotCounter()
    {
        QFETCH(std::optional<Round>, next);
        QFETCH(qint64, sequence);
        auto model = modelInRoom();
        QCoro::waitFor(model->apply(snapshotAt(QString(), round(u"r-1"_s, me, 2))));
        m_display->callbacks.onShot(u"shot-1"_s, Entry { 0.18, 0.18, 0.5, 0.9 });
        m_display->callbacks.onShot(u"shot-2"_s, Entry { 0.18, 0.18, 0.5, 0.9 });
        QCOMPARE(model->sequence(), 4);
        QCoro::waitFor(model->apply(snapshotAt(QString(), next)));
        QCOMPARE(model->sequence(), sequence);
        // After a change the earlier shots are forgotten: their crossings are not reported.
        m_display->callbacks.onScore(u"shot-2"_s, { 0.75, 0.43, 1.05 }, { 0.76, 0.41, 1.0667 });
        QTest::qWait(200);
        QCOMPARE(requestsTo(u"/round/result"_s).size(), next && next->id == u"r-1"_s ? 1 : 0);
    }

    void theReceiverReportsReadyOncePerRound()
    {
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
        Round waiting = round(u"r-1"_s);
        waiting.state = u"WAITING_RECEIVER"_s;

        // Reported, then the room state read again (the scripted one has no round).
        QCoro::waitFor(model->apply(snapshotAt(QString(), waiting)));
        QCOMPARE(requestsTo(u"/round/ready"_s).size(), 1);
        QCOMPARE(bodyOf(requestsTo(u"/round/ready"_s).first()),
            (QJsonObject { { u"round_id"_s, u"r-1"_s } }));
        QCOMPARE(requestsTo(u"/state"_s).size(), 1);
        QCOMPARE(model->currentRoundID(), std::nullopt);

        // A failed report is made again by the next state that shows the round waiting.
        m_server->answer(500, R"({"message":"Server Error"})"_ba);
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

    void onlyAnAvailableReceiverReportsReady_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("reports");
        QTest::newRow("available") << u"none"_s << 1;
        QTest::newRow("paused") << u"paused"_s << 0;
        QTest::newRow("overlay hidden") << u"hidden"_s << 0;
        QTest::newRow("focus phase") << u"focus"_s << 0;
        QTest::newRow("someone else's round") << u"other"_s << 0;
        QTest::newRow("round already active") << u"active"_s << 0;
    }
    void onlyAnAvailableReceiverReportsReady()
    {
        QFETCH(QString, condition);
        QFETCH(int, reports);
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
        Round waiting = round(u"r-1"_s, condition == u"other"_s ? 8 : me);
        waiting.state = condition == u"active"_s ? u"ACTIVE"_s : u"WAITING_RECEIVER"_s;
        if (condition == u"paused"_s)
            model->setPaused(true);
        if (condition == u"hidden"_s)
            model->setHidden(true);
        if (condition == u"focus"_s)
            model->setPomodoro(true);
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
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
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

    void failedHeartbeatsLoseTheConnection_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("server error") << 500 << R"({"message":"Server Error"})"_ba;
        QTest::newRow("not a room state") << 200 << "[]"_ba;
    }
    void failedHeartbeatsLoseTheConnection()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
        QStringList shown;
        QObject::connect(model.get(), &AppModel::messageChanged, model.get(),
            [&] { shown.append(model->message()); });
        m_server->answer(status, reply);
        QCoro::waitFor(model->beat());
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.last(), u"Connection lost · reconnecting…"_s);
        QVERIFY(!model->connected());
        QCOMPARE(model->roomID(), room);
        QVERIFY(model->user());
    }

    void availabilityChangesAreToldAtOnce_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("dnd");
        QTest::newRow("paused") << u"paused"_s << true;
        QTest::newRow("overlay hidden") << u"hidden"_s << true;
        QTest::newRow("pomodoro on") << u"pomodoro"_s << true;
        QTest::newRow("a break") << u"break"_s << false;
    }
    void availabilityChangesAreToldAtOnce()
    {
        QFETCH(QString, change);
        QFETCH(bool, dnd);
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
        if (change == u"paused"_s)
            model->setPaused(true);
        else if (change == u"hidden"_s)
            model->setHidden(true);
        else if (change == u"pomodoro"_s)
            model->setPomodoro(true);
        else
            model->startPomodoroBreak();
        QTRY_COMPARE(requestsTo(u"/heartbeat"_s).size(), 2);
        QCOMPARE(bodyOf(requestsTo(u"/heartbeat"_s).last()).value(u"dnd"_s).toBool(), dnd);
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
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
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

    void stoppingTheNetworkCancelsTheReconnection()
    {
        m_reconnectDelay = 100ms;
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
        model->lostConnection();
        model->stopNetwork();
        QTest::qWait(400);
        QCOMPARE(peer.connections(), 1);
    }

    void refusedRoomStates_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("leaves");
        QTest::newRow("403: no longer a member") << 403 << true;
        QTest::newRow("500: only the message") << 500 << false;
    }
    void refusedRoomStates()
    {
        QFETCH(int, status);
        QFETCH(bool, leaves);
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
        const auto before = model->snapshot();
        m_server->answer(status, R"({"message":"Refused"})"_ba);
        QCoro::waitFor(model->sync());
        QCOMPARE(model->message(), u"Refused"_s);
        QCOMPARE(model->roomID(), leaves ? std::nullopt : std::optional(room));
        QCOMPARE(model->snapshot(), leaves ? std::nullopt : before);
        QCOMPARE(model->connected(), !leaves);
        // Leaving reloads the room list.
        QCOMPARE(
            m_server->requests().last().target, leaves ? "/api/rooms"_ba : "/api/rooms/3/state"_ba);
    }

    void theHistoryKeepsTheNewestHundred()
    {
        const QList<SavedBasketResult> old = oldHits(100);
        Preferences(m_preferencesPath).setBasketResults(SavedBasketResult::listToJson(old));
        auto model = makeModel();
        QCoro::waitFor(model->apply(snapshotAt(QString())));
        model->finishSuccess(true, std::nullopt);

        const QList<SavedBasketResult> results = model->savedResults();
        QCOMPARE(results.size(), 100);
        QCOMPARE(results.mid(1), old.first(99));
        const SavedBasketResult &hit = results.first();
        QVERIFY(hit.practice);
        QCOMPARE(hit.date, start);
        QCOMPARE(hit.server, m_server->baseUrl());
        QCOMPARE(hit.room, u"Lobby"_s);
        QCOMPARE(model->lastResult(),
            u"Тренировка · попадание · "_s
                + DateText::abbreviatedDateTime(start, QLocale::system()));

        const Preferences stored(m_preferencesPath);
        QCOMPARE(stored.lastBasketResult(), model->lastResult());
        const QJsonArray array = QJsonDocument::fromJson(*stored.basketResults()).array();
        QCOMPARE(array.size(), 100);
        const QJsonObject newest = array.first().toObject();
        QVERIFY(
            QRegularExpression(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s)
                .match(newest.value(u"id"_s).toString())
                .hasMatch());
        const QDateTime epoch2001(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
        QCOMPARE(newest.value(u"date"_s).toDouble(), epoch2001.msecsTo(start) / 1000.0);
        QCOMPARE(newest.value(u"practice"_s).toBool(), true);
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
        ScriptedPusherPeer peer;
        QVERIFY(peer.listen());
        auto model = connectedModel(peer);
        int successes = 0;
        model->setOnSuccess([&] { ++successes; });
        QCoro::waitFor(model->apply(snapshotAt(QString(), onScreen)));
        model->finishSuccess(!hitRound, hitRound);
        QVERIFY(!model->gameplayDismissed());
        m_display->calls.clear();
        QTest::qWait(1200);
        QCOMPARE(model->gameplayDismissed(), dismissed);
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
        QVERIFY(!model->gameplayDismissed());
    }

    void theSceneGetsOnlyThisPlayersRound_data()
    {
        QTest::addColumn<std::optional<Round>>("inPlay");
        QTest::addColumn<std::optional<qint64>>("owner");
        QTest::addColumn<bool>("round");
        QTest::addColumn<bool>("holder");
        QTest::newRow("my round") << std::optional(round(u"r-1"_s, me)) << std::optional<qint64>()
                                  << true << false;
        QTest::newRow("someone else's round")
            << std::optional(round(u"r-1"_s, 8)) << std::optional<qint64>() << false << false;
        QTest::newRow("I hold the ball")
            << std::optional<Round>() << std::optional<qint64>(me) << false << true;
        QTest::newRow("another holds it")
            << std::optional<Round>() << std::optional<qint64>(8) << false << false;
    }
    void theSceneGetsOnlyThisPlayersRound()
    {
        QFETCH(std::optional<Round>, inPlay);
        QFETCH(std::optional<qint64>, owner);
        QFETCH(bool, round);
        QFETCH(bool, holder);
        auto model = modelInRoom();
        Snapshot snapshot = snapshotAt(QString(), inPlay);
        snapshot.room.ballOwnerId = owner;
        QCoro::waitFor(model->apply(snapshot));
        QVERIFY(m_display->configuration);
        QCOMPARE(m_display->configuration->round.has_value(), round);
        QCOMPARE(m_display->configuration->holder, holder);
        // Not connected: the overlay stays hidden whatever the state.
        QVERIFY(!m_display->visible);
    }

    void someoneIsAvailable_data()
    {
        QTest::addColumn<QString>("colleagueStatus");
        QTest::addColumn<qint64>("selected");
        QTest::addColumn<bool>("available");
        QTest::newRow("a colleague online, random") << u"ONLINE"_s << 0ll << true;
        QTest::newRow("only I am online") << u"BUSY"_s << 0ll << false;
        QTest::newRow("the chosen colleague online") << u"ONLINE"_s << 8ll << true;
        QTest::newRow("the chosen one is offline") << u"ONLINE"_s << 9ll << false;
        QTest::newRow("myself chosen") << u"ONLINE"_s << me << false;
    }
    void someoneIsAvailable()
    {
        QFETCH(QString, colleagueStatus);
        QFETCH(qint64, selected);
        QFETCH(bool, available);
        auto model = modelInRoom();
        Snapshot snapshot = snapshotAt(QString());
        snapshot.members = { member(me, u"Ada"_s, u"ONLINE"_s),
            member(8, u"Bea"_s, colleagueStatus), member(9, u"Cid"_s, u"OFFLINE"_s) };
        QCoro::waitFor(model->apply(snapshot));
        model->setSelectedReceiver(selected);
        QCOMPARE(m_display->configuration->available, available);
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

QTEST_MAIN(PlayRulesTest)
#include "PlayRulesTest.moc"
