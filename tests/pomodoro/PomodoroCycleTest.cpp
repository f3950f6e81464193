#include "pomodoro/PomodoroCycle.h"

#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using Phase = PomodoroState::Phase;

namespace {
const QDateTime start(QDate(2030, 5, 6), QTime(9, 0), QTimeZone::utc());
}

class PomodoroCycleTest : public QObject {
    Q_OBJECT

    QDateTime m_now;
    PomodoroCycle cycle()
    {
        return PomodoroCycle([this] { return m_now; });
    }

private Q_SLOTS:
    void init() { m_now = start; }

    void restore_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("stored");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<PomodoroState>("expected");

        const auto stored
            = [](const PomodoroState &state) { return std::optional<QByteArray>(state.toJson()); };
        const PomodoroState off;
        QTest::newRow("nothing stored") << std::optional<QByteArray>() << false << off;
        QTest::newRow("not a pomodoro")
            << std::optional<QByteArray>(R"({"enabled":true,"phase":"pause"})"_ba) << false << off;
        QTest::newRow("break ending in a minute")
            << stored(PomodoroState::restUntil(start.addSecs(60))) << false
            << PomodoroState::restUntil(start.addSecs(60));
        QTest::newRow("focus ending right now stays") << stored(PomodoroState::focusUntil(start))
                                                      << false << PomodoroState::focusUntil(start);
        QTest::newRow("break that ended a second ago starts a fresh focus phase")
            << stored(PomodoroState::restUntil(start.addSecs(-1))) << true
            << PomodoroState::focusUntil(start.addSecs(1800));
        QTest::newRow("on without a deadline stays")
            << stored(PomodoroState { true, Phase::Rest, std::nullopt }) << false
            << PomodoroState { true, Phase::Rest, std::nullopt };
        QTest::newRow("off with an old deadline stays")
            << stored(PomodoroState { false, Phase::Rest, start.addDays(-1) }) << false
            << PomodoroState { false, Phase::Rest, start.addDays(-1) };
    }
    void restore()
    {
        QFETCH(std::optional<QByteArray>, stored);
        QFETCH(bool, replaced);
        QFETCH(PomodoroState, expected);
        auto pomodoro = cycle();
        QCOMPARE(pomodoro.restore(stored), replaced);
        QCOMPARE(pomodoro.state(), expected);
    }

    void switchingOffKeepsThePhaseAndOnStartsAFullFocusPhase()
    {
        auto pomodoro = cycle();
        QVERIFY(!pomodoro.focusActive()); // off in the focus phase
        pomodoro.startBreak();
        QCOMPARE(pomodoro.state(), PomodoroState::restUntil(start.addSecs(300)));
        QVERIFY(!pomodoro.focusActive());
        pomodoro.setEnabled(false);
        QCOMPARE(pomodoro.state(), (PomodoroState { false, Phase::Rest, std::nullopt }));
        m_now = start.addSecs(40);
        pomodoro.setEnabled(true);
        QCOMPARE(pomodoro.state(), PomodoroState::focusUntil(start.addSecs(40 + 1800)));
        QVERIFY(pomodoro.focusActive());
    }

    void tickTellsThePhaseBeforeAChange_data()
    {
        QTest::addColumn<int>("late"); // seconds after the deadline; negative: before it
        QTest::addColumn<std::optional<Phase>>("before");
        QTest::addColumn<Phase>("after");
        QTest::newRow("before the deadline") << -1 << std::optional<Phase>() << Phase::Focus;
        QTest::newRow("focus ends") << 0 << std::optional(Phase::Focus) << Phase::Rest;
    }
    void tickTellsThePhaseBeforeAChange()
    {
        QFETCH(int, late);
        QFETCH(std::optional<Phase>, before);
        QFETCH(Phase, after);
        auto pomodoro = cycle();
        pomodoro.setEnabled(true);
        m_now = pomodoro.state().deadline->addSecs(late);
        QCOMPARE(pomodoro.tick(), before);
        QCOMPARE(pomodoro.state().phase, after);
    }
};

QTEST_GUILESS_MAIN(PomodoroCycleTest)
#include "PomodoroCycleTest.moc"
