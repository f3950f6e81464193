// The coordinator's rules with a scripted server that answers every request alike and records
// it, a scripted realtime peer and a clock of the test's.

#include "ClientSetup.h"
#include "RecordingDisplay.h"
#include "ScriptedHttpServer.h"
#include "ScriptedPusherPeer.h"
#include "net/API.h"
#include "net/Keychain.h"
#include "net/Realtime.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QScopeGuard>
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
const auto errorJson = R"({"message":"Server Error"})"_ba;
const auto refusedJson = R"({"message":"Refused"})"_ba;
// Room 3 with player 7 holding the ball, as the scripted server answers it.
const auto roomStateJson = R"({"room":{"id":3,"owner_id":7,"name":"Lobby",
    "invite_code":"ABCDEFGH","ball_owner_id":7,"cooldown_until":null},
    "members":[{"id":7,"name":"Ada","status":"ONLINE"},{"id":8,"name":"Bea","status":"ONLINE"}],
    "round":null,"state":"IDLE","server_time":"2030-01-01T10:00:00Z","scores":[]})"_ba;
constexpr qint64 me = 7;
constexpr qint64 room = 3;
const Entry throwEntry { 0.18, 0.18, 0.5, 0.9 };

Round round(const QString &id, qint64 receiver = me, std::optional<qint64> lastSequence = {},
    const QString &state = u"ACTIVE"_s)
{
    Round r;
    r.id = id, r.receiverId = receiver, r.senderId = 8, r.state = state;
    r.nonce = u"nonce-"_s + id, r.lastSequence = lastSequence;
    return r;
}

Round waiting(const QString &id, qint64 receiver = me)
{
    return round(id, receiver, {}, u"WAITING_RECEIVER"_s);
}

Snapshot snapshotOf(std::optional<Round> inPlay)
{
    Snapshot snapshot;
    snapshot.room.id = room;
    snapshot.room.name = u"Lobby"_s;
    snapshot.room.ballOwnerId = inPlay ? std::nullopt : std::optional<qint64>(me);
    snapshot.members = { { me, u"Ada"_s, u"ONLINE"_s }, { 8, u"Bea"_s, u"ONLINE"_s },
        { 9, u"Cid"_s, u"OFFLINE"_s } };
    snapshot.round = std::move(inPlay);
    return snapshot;
}

void show(AppModel &model, std::optional<Round> inPlay = std::nullopt)
{
    QCoro::waitFor(model.apply(snapshotOf(std::move(inPlay))));
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
    std::unique_ptr<AppModel> makeModel(const QString &websocket = u"ws://127.0.0.1:1"_s)
    {
        auto setup = clientSetup(m_path, QUrl(m_server->baseUrl()), QUrl(websocket), &m_display);
        setup.now = [this] { return m_now; };
        setup.timing.reconnectDelay = m_reconnectDelay;
        setup.timing.heartbeatPeriod = 10min;
        setup.timing.monotonicNow
            = [this] { return m_monotonic.value_or(std::chrono::steady_clock::now()); };
        return std::make_unique<AppModel>(std::move(setup));
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
        return model;
    }

    // The peer greets its `connection`th connection and confirms the subscription.
    void handshake(int connection)
    {
        ScriptedPusherPeer &peer = *m_peer;
        if (!QTest::qWaitFor([&] { return peer.connections() == connection; }))
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
        for (const auto &request : m_server->requests())
            if (request.target == (u"/api/rooms/3"_s + rest).toUtf8())
                found.append(request);
        return found;
    }

    bool lastDnd() const
    {
        return bodyOf(requestsTo(u"/heartbeat"_s).last()).value(u"dnd"_s).toBool();
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

    // A failing "me" keeps the token for the next try.
    void aFailingSignInKeepsTheToken()
    {
        QCoro::waitFor(Keychain::save(u"token-500"_s, m_server->baseUrl()));
        auto model = makeModel();
        QTRY_VERIFY(m_server->requests().size() == 1 && !model->working());
        QCOMPARE(QCoro::waitFor(Keychain::read(m_server->baseUrl())), u"token-500"_s);
    }

    // An older state never replaces a newer one; the scene gets the server clock's offset.
    void statesFollowTheServerClock()
    {
        auto model = modelInRoom();
        Snapshot newer = snapshotOf({}), older = snapshotOf(round(u"r-1"_s));
        newer.serverTime = u"2030-01-01T10:00:01.250Z"_s;
        older.serverTime = u"2030-01-01T10:00:01.249Z"_s;
        QCoro::waitFor(model->apply(newer));
        QCoro::waitFor(model->apply(older));
        QCOMPARE(model->snapshot(), newer);
        QCOMPARE(m_display->configuration->serverOffset, 1.25);
    }

    // A guest whose token cannot be kept is no session: the restore ends there, with the store's
    // message and no player.
    void aGuestThatCannotBeSavedEndsTheRestore()
    {
        QTemporaryDir data;
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        const auto restoreDataHome = qScopeGuard([&] { qputenv("XDG_DATA_HOME", dataHome); });
        // A file where the sessions folder belongs.
        QVERIFY(QDir(data.path()).mkdir(u"tosswick"_s));
        QVERIFY(QFile(data.filePath(u"tosswick/sessions"_s)).open(QIODevice::WriteOnly));
        m_server->answer(200, guestJson);
        auto model = makeModel();
        QTRY_VERIFY(m_server->requests().size() == 1 && !model->working());
        QCOMPARE(model->message(), u"Could not save session in Keychain (-105)."_s);
        QVERIFY(!model->user());
    }

    // A bad link keeps the earlier invitation; one whose server gives no session stays pending.
    void invitationsThatCannotBeTakenStayPending()
    {
        auto model = makeModel();
        QTRY_VERIFY(m_server->requests().size() == 1 && !model->working());
        model->handleInvitation(u"tosswick://join?room=abcd1234&api="_s + m_server->baseUrl()
            + u"/&ws=ws://127.0.0.1:2&key=k"_s);
        model->handleInvitation(u"tosswick://join?room=abcd1234&room=abcd1234"_s);
        QCoro::waitFor(model->acceptInvitation());
        QCOMPARE(model->pendingInvitation(),
            (RoomInvitation { u"ABCD1234"_s, m_server->baseUrl(), u"ws://127.0.0.1:2"_s, u"k"_s }));
        QCOMPARE(m_server->requests().size(), 2); // the new settings' restore only
    }

    // What the controls say about a missing invitation address and the pomodoro's phases.
    void controlMessages()
    {
        auto model = modelInRoom(); // "me" gives no invitation address
        model->setAppKey(QString());
        QCoro::waitFor(model->saveConnection());
        QCOMPARE(model->message(), u"Enter valid HTTP(S), WS(S) URLs and app key"_s);
        model->copyInvitation();
        QCOMPARE(model->message(), u"Public invitation address is not configured"_s);

        model->setPomodoro(true);
        model->setMessage(QString());
        // The end of a phase is noticed unasked, within a second.
        m_now = start.addSecs(1800);
        QTRY_COMPARE_WITH_TIMEOUT(model->pomodoroClockText() + u" / "_s + model->message(),
            u"Game break · 05:00 / Break time · 5 minutes to play or rest"_s, 2000);
        // Asleep through the rest of a break and a whole focus phase and break after it.
        m_now = start.addSecs(2100 + 2100 + 10);
        model->tickPomodoro();
        QCOMPARE(model->pomodoroClockText() + u" / "_s + model->message(),
            u"Focus · 29:50 / Focus time · incoming balls paused for 30 minutes"_s);
        QCOMPARE(Preferences(m_path).pomodoroState(), model->pomodoro().toJson());
        model->startPomodoroBreak();
        QCOMPARE(model->message(), u"5-minute break · play with an available contact"_s);
        QCOMPARE(Preferences(m_path).pomodoroState(),
            PomodoroState::restUntil(m_now.addSecs(300)).toJson());
    }

    // The round the player is playing when focus begins keeps the game on screen and the
    // player available, until it ends or the connection is lost.
    void focusBeginningDuringTheReceiversRoundGivesGrace_data()
    {
        QTest::addColumn<Round>("inPlay");
        QTest::addColumn<bool>("grace");
        QTest::newRow("my active round") << round(u"r-1"_s) << true;
        QTest::newRow("someone else's round") << round(u"r-1"_s, 8) << false;
    }
    void focusBeginningDuringTheReceiversRoundGivesGrace()
    {
        QFETCH(Round, inPlay);
        QFETCH(bool, grace);
        auto model = connectedModel();
        m_server->stayQuiet();
        model->startPomodoroBreak();
        model->apply(snapshotOf(inPlay));
        m_now = start.addSecs(300);
        model->tickPomodoro();
        QCOMPARE(m_display->visible, grace);
        // The phase change tells the server at once.
        QTRY_COMPARE(requestsTo(u"/heartbeat"_s).size(), 3);
        QCOMPARE(lastDnd(), !grace);
        // Back after a lost connection, the player is no longer available.
        m_server->answer(200, roomStateJson);
        model->lostConnection();
        model->connectChannel();
        handshake(2);
        QTRY_COMPARE(requestsTo(u"/heartbeat"_s).size(), 4);
        QVERIFY(lastDnd());
    }

    // An availability change is told at once (a second heartbeat); only an available
    // receiver reports ready: "heartbeats dnd reports".
    void availabilityIsToldAndGatesTheReadyReport_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("told");
        QTest::newRow("available") << u"none"_s << u"1 0 1"_s;
        QTest::newRow("paused") << u"paused"_s << u"2 1 0"_s;
        QTest::newRow("overlay hidden") << u"hidden"_s << u"2 1 0"_s;
        QTest::newRow("focus phase") << u"focus"_s << u"2 1 0"_s;
        QTest::newRow("a break") << u"break"_s << u"2 0 1"_s;
        QTest::newRow("someone else's round") << u"other"_s << u"1 0 0"_s;
        QTest::newRow("round already active") << u"active"_s << u"1 0 0"_s;
    }
    void availabilityIsToldAndGatesTheReadyReport()
    {
        QFETCH(QString, condition);
        QFETCH(QString, told);
        auto model = connectedModel();
        if (condition == u"paused"_s)
            model->setPaused(true);
        else if (condition == u"hidden"_s)
            model->setHidden(true);
        else if (condition == u"focus"_s)
            model->setPomodoro(true);
        else if (condition == u"break"_s)
            model->startPomodoroBreak();
        QTest::qWait(200);
        const auto heartbeats = requestsTo(u"/heartbeat"_s).size();
        const bool dnd = lastDnd();
        show(*model,
            condition == u"active"_s ? round(u"r-1"_s)
                                     : waiting(u"r-1"_s, condition == u"other"_s ? 8 : me));
        QTest::qWait(200);
        QCOMPARE(
            u"%1 %2 %3"_s.arg(heartbeats).arg(int(dnd)).arg(requestsTo(u"/round/ready"_s).size()),
            told);
    }

    // A pass names its receiver only when one is chosen; while one is under way the button
    // says so and another is ignored; refusals by the server or the gate reach the scene.
    void passes()
    {
        auto model = connectedModel();
        auto sending = model->transfer(throwEntry);
        QCOMPARE(model->sendButtonTitle(), u"Sending…"_s);
        QCoro::waitFor(model->transfer(throwEntry));
        QCoro::waitFor(sending);
        model->setSelectedReceiver(8);
        m_server->answer(409, R"({"message":"The ball is already in play."})"_ba);
        QCoro::waitFor(model->transfer(throwEntry));
        model->setPaused(true);
        QCoro::waitFor(model->transfer(throwEntry));
        QCOMPARE(m_display->calls.filter(u"failed"_s),
            (QStringList {
                u"failed The ball is already in play."_s, u"failed Resume the game to send"_s }));
        const auto sends = requestsTo(u"/ball/send"_s);
        QCOMPARE(sends.size(), 2);
        QCOMPARE(bodyOf(sends.first()).contains(u"receiver_id"_s), false);
        QCOMPARE(bodyOf(sends.last()).value(u"receiver_id"_s), 8);
        // The room state is read again whatever the outcome.
        QCOMPARE(requestsTo(u"/state"_s).size(), 2);
    }

    // A heartbeat (or, for a 404, a room state) under way fails after the change.
    void aFailureAboutAnEarlierRoomIsDropped_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("status");
        QTest::newRow("heartbeat, then activate") << u"activate"_s << 500;
        QTest::newRow("heartbeat, then sleep") << u"sleep"_s << 500;
        QTest::newRow("heartbeat, then the session expired by another") << u"expiry"_s << 401;
        QTest::newRow("state, then activate") << u"activate"_s << 404;
    }
    void aFailureAboutAnEarlierRoomIsDropped()
    {
        QFETCH(QString, change);
        QFETCH(int, status);
        const QString request = status == 404 ? u"state"_s : u"heartbeat"_s;
        auto model = connectedModel();
        m_server->stayQuiet();
        auto held = request == u"state"_s ? model->sync() : model->beat();
        QTRY_COMPARE(requestsTo(u"/"_s + request).size(), request == u"state"_s ? 1 : 2);
        m_server->answer(200, guestJson);
        if (change == u"activate"_s) {
            QCoro::waitFor(model->activate(4));
        } else if (change == u"sleep"_s) {
            model->stopNetwork();
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
        connect(model.get(), &AppModel::messageChanged, this, [&] { shown << model->message(); });
        m_server->answer(status, refusedJson);
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

    // A reconnection waiting is dropped by stopping the network.
    void aWaitingReconnectionIsDropped()
    {
        m_reconnectDelay = 300ms;
        auto model = connectedModel();
        model->lostConnection();
        model->stopNetwork();
        QTest::qWait(700);
        QCOMPARE(m_peer->connections(), 1);
    }

    // A refused heartbeat loses the connection; a 403 or 404 on the room state leaves the room
    // and reloads the list; other failures only show the server's text.
    void refusedHeartbeatsAndRoomStates_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("outcome");
        const auto left = u"no room, lost, /api/rooms"_s;
        QTest::newRow("heartbeat: server error")
            << 500 << u"in room, lost, /api/rooms/3/heartbeat"_s;
        QTest::newRow("state 403: no longer a member") << 403 << left;
        QTest::newRow("state 404: the room is gone") << 404 << left;
        QTest::newRow("state 500: only the message")
            << 500 << u"in room, connected, /api/rooms/3/state"_s;
    }
    void refusedHeartbeatsAndRoomStates()
    {
        QFETCH(int, status);
        QFETCH(QString, outcome);
        auto model = connectedModel();
        const auto before = model->snapshot();
        m_server->answer(status, refusedJson);
        const bool heartbeat = outcome.endsWith(u"heartbeat"_s);
        QCoro::waitFor(heartbeat ? model->beat() : model->sync());
        QCOMPARE(model->message(), heartbeat ? u"Connection lost · reconnecting…"_s : u"Refused"_s);
        QCOMPARE(model->snapshot(), outcome.startsWith(u"no room"_s) ? std::nullopt : before);
        QCOMPARE(u"%1, %2, %3"_s.arg(model->roomID() ? u"in room"_s : u"no room"_s,
                     model->connected() ? u"connected"_s : u"lost"_s,
                     QString::fromUtf8(m_server->requests().last().target)),
            outcome);
    }

    // Shots count on from the round's last sequence; a crossing is reported only for a shot
    // the server took in the round on screen.
    void shotsAndResultsAreNumbered()
    {
        auto model = modelInRoom();
        const CrossingSample above { 0.75, 0.43, 1.05 }, below { 0.76, 0.41, 1.0667 };
        show(*model, round(u"r-1"_s, me, 5));
        for (const QString &id : { u"shot-miss"_s, u"shot-hit"_s })
            m_display->callbacks.onShot(id, throwEntry), QTest::qWait(100); // sent in turn
        for (const QString &id : { u"shot-unknown"_s, u"shot-hit"_s })
            m_display->callbacks.onScore(id, above, below);
        QTRY_COMPARE(model->message(), u"Nice shot! +1"_s);
        QStringList sent;
        for (const auto &request : m_server->requests())
            if (request.target.startsWith("/api/rooms/3/round/"))
                sent.append(u"%1 %2"_s.arg(bodyOf(request).value(u"shot_id"_s).toString())
                                .arg(bodyOf(request).value(u"sequence"_s).toInteger()));
        sent.sort(); // two requests at once may arrive in either order
        QCOMPARE(sent.join(u", "_s), u"shot-hit 7, shot-hit 8, shot-miss 6"_s);
        QCOMPARE(m_display->calls.count(u"celebrate"_s), 1);
    }

    // The game goes 0.8 s after the last hit unless another round came meanwhile, and stays
    // away for later states of the same round; activating a room drops a pending dismissal
    // and the chosen receiver.
    void aHitDismissesTheGame_data()
    {
        QTest::addColumn<std::optional<Round>>("onScreen");
        QTest::addColumn<std::optional<QString>>("hitRound");
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("dismissed");
        const std::optional<Round> none, r1(round(u"r-1"_s));
        const std::optional<QString> practice, ofR1(u"r-1"_s);
        QTest::newRow("practice, no round") << none << practice << QString() << true;
        QTest::newRow("practice while a round is on") << r1 << practice << QString() << false;
        QTest::newRow("the hit's round still shown") << r1 << ofR1 << QString() << true;
        QTest::newRow("a new round came meanwhile")
            << std::optional(round(u"r-2"_s)) << ofR1 << QString() << false;
        QTest::newRow("then a round came and went") << none << practice << u"round"_s << false;
        QTest::newRow("then a room activated") << none << practice << u"activate"_s << false;
    }
    void aHitDismissesTheGame()
    {
        QFETCH(std::optional<Round>, onScreen);
        QFETCH(std::optional<QString>, hitRound);
        QFETCH(QString, then);
        QFETCH(bool, dismissed);
        auto model = connectedModel();
        int dismissals = 0;
        model->setOnSuccess([&] { ++dismissals; });
        model->setSelectedReceiver(8);
        show(*model, onScreen);
        model->finishSuccess(!hitRound, hitRound);
        QTest::qWait(300);
        model->finishSuccess(!hitRound, hitRound); // starts the wait again
        m_server->answer(200, playerJson);
        if (then == u"activate"_s) {
            QCoro::waitFor(model->activate(4));
            QCOMPARE(model->selectedReceiver(), 0);
        } else if (then == u"round"_s) {
            show(*model, round(u"r-5"_s));
            show(*model);
        }
        m_display->calls.clear();
        QTest::qWait(600);
        QCOMPARE(dismissals, 0);
        QTest::qWait(600);
        QCOMPARE(dismissals, dismissed ? 1 : 0);
        QCOMPARE(m_display->calls.contains(u"show false"_s), dismissed);
        if (then.isEmpty()) {
            show(*model, onScreen);
            QCOMPARE(m_display->visible, !dismissed);
        }
    }
};

QTEST_MAIN(AppModelTest)
#include "AppModelTest.moc"
