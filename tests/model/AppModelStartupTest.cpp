// The coordinator's start-up, its observable properties and its pomodoro operations, with a
// scripted server behind it (what it answers hardly matters here) and a clock of the test's.

#include "RecordingDisplay.h"
#include "ScriptedHttpServer.h"
#include "ScriptedServerFixture.h"
#include "model/AppModel.h"
#include "model/Preferences.h"
#include "net/API.h"
#include "net/Keychain.h"
#include "net/Realtime.h"

#include <QClipboard>
#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QGuiApplication>
#include <QMetaProperty>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using Phase = PomodoroState::Phase;

namespace {
const QDateTime start(QDate(2030, 5, 6), QTime(9, 0), QTimeZone::utc());
const auto playerJson = R"({"id":7,"name":"Ada","email":null,"active_room_id":null})"_ba;

Snapshot snapshotWithRound(const QString &state, qint64 receiver)
{
    Snapshot snapshot;
    snapshot.room.id = 3;
    snapshot.room.name = u"Lobby"_s;
    Round round;
    round.id = u"r-1"_s;
    round.receiverId = receiver;
    round.state = state;
    snapshot.round = round;
    return snapshot;
}
} // namespace

class AppModelStartupTest : public ScriptedServerFixture {
    Q_OBJECT

    std::unique_ptr<AppModel> makeModel(const QDBusConnection &bus = QDBusConnection(u"none"_s))
    {
        auto display = std::make_unique<RecordingDisplay>();
        m_display = display.get();
        AppModel::Setup setup;
        setup.preferencesPath = m_preferencesPath;
        setup.now = [this] { return m_now; };
        setup.logindBus = bus;
        setup.display = std::move(display);
        return std::make_unique<AppModel>(std::move(setup));
    }

    // The restore started at construction has run to its end.
    static void waitForRestore(AppModel &model)
    {
        QSignalSpy working(&model, &AppModel::workingChanged);
        QVERIFY(working.wait());
        QVERIFY(model.working());
        QTRY_VERIFY(!model.working());
    }

    // A model signed in as the scripted server's player 7 (GET me answered with it).
    std::unique_ptr<AppModel> signedInModel()
    {
        QCoro::waitFor(Keychain::save(u"token-7"_s, m_server->baseUrl()));
        m_server->answer(200, playerJson);
        auto model = makeModel();
        waitForRestore(*model);
        return model;
    }

private Q_SLOTS:
    void init()
    {
        m_now = start;
        QVERIFY(startScriptedServer());
    }

    void firstStartGivesTheDefaults()
    {
        QFile::remove(m_preferencesPath);
        auto model = makeModel();
        QCOMPARE(model->server(), u"http://127.0.0.1:8088"_s);
        QCOMPARE(model->websocket(), u"ws://127.0.0.1:8088"_s);
        QCOMPARE(model->appKey(), u"desk-hoops-sample"_s);
        QCOMPARE(model->api().base(), u"http://127.0.0.1:8088"_s);
        QCOMPARE(model->pomodoro(), PomodoroState());
        QVERIFY(model->savedResults().isEmpty());
        QCOMPARE(model->lastResult(), QString());
        QVERIFY(!model->user());
        QVERIFY(!model->connected());
        QVERIFY(model->sound());
        QCOMPARE(model->message(), QString());
        // Nothing was written: the store holds only what the program changed.
        QVERIFY(!QFile::exists(m_preferencesPath));
    }

    void readsTheStoredState()
    {
        SavedBasketResult hit { QUuid::createUuid(), start.addDays(-1), u"http://h"_s, u"Lobby"_s,
            false };
        Preferences preferences(m_preferencesPath);
        preferences.setBasketResults(SavedBasketResult::listToJson({ hit }));
        preferences.setLastBasketResult(u"Попадание · +1 · 5 May"_s);
        preferences.setConnection(u"http://a.example"_s, u"wss://b.example/"_s, u"k1"_s);
        auto model = makeModel();
        QCOMPARE(model->savedResults(), QList<SavedBasketResult> { hit });
        QCOMPARE(model->lastResult(), u"Попадание · +1 · 5 May"_s);
        QCOMPARE(model->server(), u"http://a.example"_s);
        QCOMPARE(model->websocket(), u"wss://b.example/"_s);
        QCOMPARE(model->appKey(), u"k1"_s);
        QCOMPARE(model->api().base(), u"http://a.example"_s);
    }

    void undecodableHistoryStartsEmptyAndStaysStored()
    {
        const auto bad = R"([{"id":"not a uuid"}])"_ba;
        Preferences(m_preferencesPath).setBasketResults(bad);
        auto model = makeModel();
        QVERIFY(model->savedResults().isEmpty());
        QCOMPARE(Preferences(m_preferencesPath).basketResults(), bad);
    }

    void storedPomodoro_data()
    {
        QTest::addColumn<PomodoroState>("stored");
        QTest::addColumn<PomodoroState>("expected");
        QTest::newRow("stale break becomes a fresh focus phase") << PomodoroState::restUntil(
            start.addSecs(-10)) << PomodoroState::focusUntil(start.addSecs(1800));
        QTest::newRow("stale focus becomes a fresh focus phase") << PomodoroState::focusUntil(
            start.addDays(-2)) << PomodoroState::focusUntil(start.addSecs(1800));
        QTest::newRow("a deadline ahead is kept") << PomodoroState::restUntil(start.addSecs(90))
                                                  << PomodoroState::restUntil(start.addSecs(90));
    }
    void storedPomodoro()
    {
        QFETCH(PomodoroState, stored);
        QFETCH(PomodoroState, expected);
        Preferences(m_preferencesPath).setPomodoroState(stored.toJson());
        auto model = makeModel();
        QCOMPARE(model->pomodoro(), expected);
        // Written back during construction, before any event is handled.
        QCOMPARE(Preferences(m_preferencesPath).pomodoroState(), expected.toJson());
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
        const QMetaObject *meta = model->metaObject();
        const QMetaProperty property = meta->property(meta->indexOfProperty(name.constData()));
        QVERIFY(property.isWritable() && property.hasNotifySignal());
        const QMetaMethod notify = property.notifySignal();
        QSignalSpy spy(model.get(), notify);
        QVERIFY(property.write(model.get(), value));
        QVERIFY(property.write(model.get(), value));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(property.read(model.get()), value);
    }

    void everyPropertyHasANotification()
    {
        auto model = makeModel();
        const QMetaObject *meta = model->metaObject();
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
            QVERIFY2(meta->property(i).hasNotifySignal(), meta->property(i).name());
    }

    void screenIndexMovesTheOverlayBeforeTheRefresh()
    {
        auto model = makeModel();
        m_display->calls.clear();
        model->setScreenIndex(2);
        // Without a room state the refresh hides the overlay.
        QCOMPARE(m_display->calls, (QList<QString> { u"move 2"_s, u"show false"_s }));
    }

    void aFirstStartThatFailsShowsWhy_data()
    {
        QTest::addColumn<bool>("storeBlocked");
        QTest::addColumn<QString>("message");
        QTest::newRow("no server") << false << u"Server Error"_s;
        QTest::newRow("the new token not stored")
            << true << u"Could not save session in Keychain (-105)."_s;
    }
    void aFirstStartThatFailsShowsWhy()
    {
        QFETCH(bool, storeBlocked);
        QFETCH(QString, message);
        // A file where the session files' directory belongs: the files store cannot save.
        QTemporaryDir data;
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        const auto restoreDataHome = qScopeGuard([&] { qputenv("XDG_DATA_HOME", dataHome); });
        if (storeBlocked) {
            qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
            QVERIFY(QDir(data.path()).mkpath(u"tosswick"_s));
            QFile blocker(data.filePath(u"tosswick/sessions"_s));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            if (!QCoro::waitFor(Keychain::save(u"probe"_s, u"probe"_s)))
                QSKIP("the Secret Service stores tokens here, and it cannot be made to fail");
            m_server->answer(200,
                R"({"token":"token-9","user":{"id":9,"name":"Guest","email":null,"active_room_id":null}})"_ba);
        }
        auto model = makeModel();
        waitForRestore(*model);
        // No token is stored for this server: the restore asked for a guest session.
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_server->requests().first().target, "/api/guest"_ba);
        QCOMPARE(model->message(), message);
        QVERIFY(!model->user());
        QCOMPARE(model->api().token(), std::nullopt);
    }

    void meFailingKeepsTheStoredToken()
    {
        QCoro::waitFor(Keychain::save(u"token-500"_s, m_server->baseUrl()));
        m_server->answer(500, R"({"message":"Server Error"})"_ba);
        auto model = makeModel();
        waitForRestore(*model);
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_server->requests().first().method, "GET"_ba);
        QCOMPARE(m_server->requests().first().target, "/api/me"_ba);
        QCOMPARE(
            m_server->requests().first().headers.value("authorization"), "Bearer token-500"_ba);
        QCOMPARE(model->message(), u"Server Error"_s);
        QVERIFY(!model->user());
        QCOMPARE(QCoro::waitFor(Keychain::read(m_server->baseUrl())), u"token-500"_s);
        QCOMPARE(model->api().token(), u"token-500"_s);

        // The window's "Connect" tries again with the same token.
        m_server->answer(200, playerJson);
        QCoro::waitFor(model->restore());
        QCOMPARE(model->user()->id, 7);
        QCOMPARE(m_server->requests().at(1).target, "/api/me"_ba);
    }

    void aSecondRestoreWhileOneRunsDoesNothing()
    {
        m_server->stayQuiet();
        auto model = makeModel();
        QTRY_VERIFY(model->working());
        QTRY_COMPARE(m_server->requests().size(), 1);
        QCoro::waitFor(model->restore());
        QTest::qWait(100);
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(model->working());
    }

    void aBadJoinLinkKeepsTheEarlierInvitation()
    {
        auto model = makeModel();
        const auto good = u"tosswick://join?room=abcd1234&api=https://a.example/&ws=wss://a.example"
                          u"&key=k"_s;
        model->handleInvitation(good);
        const RoomInvitation expected { u"ABCD1234"_s, u"https://a.example"_s, u"wss://a.example"_s,
            u"k"_s };
        QCOMPARE(model->pendingInvitation(), expected);
        model->handleInvitation(u"tosswick://join?room=abcd1234&room=abcd1234"_s);
        QCOMPARE(model->message(), u"Invalid room invitation"_s);
        QCOMPARE(model->pendingInvitation(), expected);
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
        auto model = signedInModel();
        QCOMPARE(model->inviteBase(), std::nullopt);
        if (withSnapshot)
            QCoro::waitFor(model->apply(snapshotWithRound(u"ACTIVE"_s, 8)));
        QGuiApplication::clipboard()->setText(u"kept"_s);
        model->copyInvitation();
        QCOMPARE(model->message(), u"Public invitation address is not configured"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"kept"_s);
    }

    void leavingWithoutARoomSendsNothing()
    {
        auto model = signedInModel();
        const auto sent = m_server->requests().size();
        QCoro::waitFor(model->leave(false));
        QCoro::waitFor(model->leave(true));
        QCOMPARE(m_server->requests().size(), sent);
    }

    void acceptingWhileTheRestoreRunsDoesNothing()
    {
        m_server->stayQuiet();
        auto model = makeModel();
        QTRY_COMPARE(m_server->requests().size(), 1);
        QVERIFY(model->working());
        model->handleInvitation(u"tosswick://join?room=ABCD1234&api=http://b.example&ws=ws://"
                                u"b.example&key=k"_s);
        QCoro::waitFor(model->acceptInvitation());
        QVERIFY(model->pendingInvitation());
        QCOMPARE(model->server(), m_server->baseUrl());
        QTest::qWait(100);
        QCOMPARE(m_server->requests().size(), 1);
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

    void shutdownWithoutARoomSendsNothing()
    {
        auto model = signedInModel();
        const auto sent = m_server->requests().size();
        model->shutdown();
        QTest::qWait(200);
        QCOMPARE(m_server->requests().size(), sent);
    }

    void connectWithoutARoomDoesNothing()
    {
        auto model = signedInModel();
        model->connectChannel();
        QVERIFY(!model->realtime().socketID());
        QTest::qWait(100);
        QVERIFY(!model->connected());
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
        QCOMPARE(Preferences(m_preferencesPath).pomodoroState(), model->pomodoro().toJson());
        QVERIFY(!model->focusActive());

        // Asleep through the rest of the break and a whole focus phase and break after it.
        m_now = start.addSecs(2100 + 2100 + 10);
        model->tickPomodoro();
        QCOMPARE(model->pomodoro(), PomodoroState::focusUntil(start.addSecs(2100 * 2 + 1800)));
        QCOMPARE(model->message(), u"Focus time · incoming balls paused for 30 minutes"_s);
        QCOMPARE(Preferences(m_preferencesPath).pomodoroState(), model->pomodoro().toJson());
    }

    void switchesArePersistedAndClearTheGraceRound()
    {
        auto model = makeModel();
        model->startPomodoroBreak();
        QCOMPARE(model->message(), u"5-minute break · play with an available contact"_s);
        QCOMPARE(Preferences(m_preferencesPath).pomodoroState(),
            PomodoroState::restUntil(start.addSecs(300)).toJson());
        model->setPomodoro(false);
        const PomodoroState off { false, Phase::Rest, std::nullopt };
        QCOMPARE(model->pomodoro(), off);
        QCOMPARE(Preferences(m_preferencesPath).pomodoroState(), off.toJson());
    }

    void focusBeginningDuringTheReceiversRoundGivesGrace_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<qint64>("receiver");
        QTest::addColumn<bool>("grace");
        QTest::addColumn<bool>("lost");
        QTest::newRow("my active round") << u"ACTIVE"_s << qint64(7) << true << false;
        QTest::newRow("my active round, connection lost")
            << u"ACTIVE"_s << qint64(7) << true << true;
        QTest::newRow("someone else's round") << u"ACTIVE"_s << qint64(8) << false << false;
        QTest::newRow("my round still waiting")
            << u"WAITING_RECEIVER"_s << qint64(7) << false << false;
    }
    void focusBeginningDuringTheReceiversRoundGivesGrace()
    {
        QFETCH(QString, state);
        QFETCH(qint64, receiver);
        QFETCH(bool, grace);
        QFETCH(bool, lost);
        auto model = signedInModel();
        QCOMPARE(model->user()->id, 7);
        QCoro::waitFor(model->apply(snapshotWithRound(state, receiver)));
        model->startPomodoroBreak();
        m_now = start.addSecs(300);
        model->tickPomodoro();
        QVERIFY(model->focusActive());
        QCOMPARE(model->focusGraceRoundID(), grace ? std::optional(u"r-1"_s) : std::nullopt);

        // A lost connection or the break that follows ends any grace.
        m_now = start.addSecs(300 + 1800);
        if (lost)
            model->lostConnection();
        else
            model->tickPomodoro();
        QCOMPARE(model->focusGraceRoundID(), std::nullopt);
    }

    void sleepPausesAndStopsTheNetwork()
    {
        auto bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no D-Bus session bus (run through scripts/run-tests.sh)");
        QVERIFY(bus.registerService(u"org.freedesktop.login1"_s));
        auto model = makeModel(bus);
        QSignalSpy paused(model.get(), &AppModel::pausedChanged);
        m_display->calls.clear();
        auto sleep = QDBusMessage::createSignal(u"/org/freedesktop/login1"_s,
            u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s);
        sleep.setArguments({ true });
        QVERIFY(bus.send(sleep));
        QTRY_COMPARE(paused.size(), 1);
        QVERIFY(model->paused());
        QVERIFY(!m_display->visible);
        QVERIFY(m_display->calls.contains(u"show false"_s));

        sleep.setArguments({ false });
        QVERIFY(bus.send(sleep));
        QTest::qWait(200);
        QVERIFY(model->paused()); // until the player resumes
        QVERIFY(bus.unregisterService(u"org.freedesktop.login1"_s));
    }
};

QTEST_MAIN(AppModelStartupTest)
#include "AppModelStartupTest.moc"
