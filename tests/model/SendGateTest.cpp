#include "model/SendGate.h"

#include <QTest>
#include <QTimeZone>

#include <functional>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(SendGate::State)

namespace {

constexpr qint64 me = 7;
const QDateTime now(QDate(2030, 1, 1), QTime(10, 0), QTimeZone::utc());

// Connected in a room with Bea (8) online and Cid (9) offline, holding the ball, then changed.
SendGate::State state(const std::function<void(SendGate::State &)> &change = [](auto &) {})
{
    SendGate::State state;
    state.ballOwner = state.me = me;
    state.connected = true;
    state.now = now;
    state.members = { { me, u"Ada"_s, u"ONLINE"_s }, { 8, u"Bea"_s, u"ONLINE"_s },
        { 9, u"Cid"_s, u"OFFLINE"_s } };
    change(state);
    return state;
}

} // namespace

class SendGateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void blockReason_data()
    {
        using S = SendGate::State;
        QTest::addColumn<SendGate::State>("state");
        QTest::addColumn<qint64>("receiver");
        QTest::addColumn<QString>("reason");
        QTest::newRow("to anyone") << state() << 0ll << QString();
        QTest::newRow("no room, or not signed in")
            << state([](S &s) { s.me.reset(); }) << 0ll << u"Choose a room first"_s;
        QTest::newRow("connecting, before focus")
            << state([](S &s) { s.connected = false, s.focus = true; }) << 0ll
            << u"Connecting to room…"_s;
        QTest::newRow("focus, before pause and round")
            << state([](S &s) { s.focus = s.paused = s.roundInPlay = true; }) << 0ll
            << u"Pomodoro focus · available again at the game break"_s;
        QTest::newRow("paused, before sending") << state([](S &s) { s.paused = s.sending = true; })
                                                << 0ll << u"Resume the game to send"_s;
        QTest::newRow("a round under way, even for the holder") << state(
            [](S &s) { s.roundInPlay = true; }) << 0ll << u"Wait for the current round to finish"_s;
        QTest::newRow("Bea holds the ball, before the cooldown")
            << state([](S &s) { s.ballOwner = 8, s.cooldownUntil = now.addMSecs(2200); }) << 0ll
            << u"The ball is with Bea"_s;
        QTest::newRow("cooldown 2.2 s ahead, before the receiver")
            << state([](S &s) { s.cooldownUntil = now.addMSecs(2200); }) << me
            << u"Next pass in 3s"_s;
        QTest::newRow("cooldown 2 s ahead, the server 1.5 s ahead")
            << state([](S &s) { s.cooldownUntil = now.addSecs(2), s.offset = 1.5; }) << 0ll
            << u"Next pass in 1s"_s;
        QTest::newRow("an offline receiver") << state() << 9ll << u"Cid is not available"_s;
        QTest::newRow("nobody else online")
            << state([](S &s) { s.members[1].status = u"DO_NOT_DISTURB"_s; }) << 0ll
            << u"No players online"_s;
    }
    void blockReason()
    {
        QFETCH(SendGate::State, state);
        QFETCH(qint64, receiver);
        QFETCH(QString, reason);
        QCOMPARE(SendGate::blockReason(state, receiver),
            reason.isEmpty() ? std::nullopt : std::optional(reason));
    }
};

QTEST_MAIN(SendGateTest)
#include "SendGateTest.moc"
