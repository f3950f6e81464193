#include "pomodoro/PomodoroCycle.h"

#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using Phase = PomodoroState::Phase;

namespace {

const QDateTime D(QDate(2030, 5, 6), QTime(9, 0), QTimeZone::utc());

// "on rest 300": switched on, in the break, its deadline 300 s after D ("-" for none).
QString describe(const PomodoroState &state)
{
    return u"%1 %2 %3"_s.arg(state.enabled ? u"on"_s : u"off"_s,
        state.phase == Phase::Focus ? u"focus"_s : u"rest"_s,
        state.deadline ? QString::number(D.msecsTo(*state.deadline) / 1000.0, 'g', 12) : u"-"_s);
}

} // namespace

class PomodoroTest : public QObject {
    Q_OBJECT

    QDateTime m_now = D;

private Q_SLOTS:
    void advance_data()
    {
        QTest::addColumn<PomodoroState>("state");
        QTest::addColumn<qint64>("nowMs"); // relative to the deadline D
        QTest::addColumn<QString>("expected"); // empty: unchanged
        const auto focus = PomodoroState::focusUntil(D);
        const auto rest = PomodoroState::restUntil(D);
        QTest::newRow("a millisecond early") << focus << -1ll << QString();
        QTest::newRow("focus ends at the deadline") << focus << 0ll << u"on rest 300"_s;
        QTest::newRow("break ends at the deadline") << rest << 0ll << u"on focus 1800"_s;
        QTest::newRow("focus 500 s late skips the break")
            << focus << 500000ll << u"on focus 2100"_s;
        QTest::newRow("break, a cycle and 299.999 s late")
            << rest << 2399999ll << u"on focus 3900"_s;
        QTest::newRow("off never advances")
            << PomodoroState { false, Phase::Focus, D } << 5000000ll << QString();
    }
    void advance()
    {
        QFETCH(PomodoroState, state);
        QFETCH(qint64, nowMs);
        QFETCH(QString, expected);
        const QString before = describe(state);
        QCOMPARE(state.advance(D.addMSecs(nowMs)), !expected.isEmpty());
        QCOMPARE(describe(state), expected.isEmpty() ? before : expected);
        QVERIFY(!state.advance(D.addMSecs(nowMs))); // settled: the same moment changes nothing
    }

    // Seconds left round up; none once overdue.
    void clockText()
    {
        QCOMPARE(PomodoroState::focusUntil(D).clockText(D.addMSecs(-400)), u"Focus · 00:01"_s);
        QCOMPARE(PomodoroState::restUntil(D).clockText(D.addSecs(-245)), u"Game break · 04:05"_s);
        QCOMPARE(PomodoroState::focusUntil(D).clockText(D.addSecs(3)), u"Focus · 00:00"_s);
    }

    void storedForms_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("expected"); // empty: unreadable
        QTest::newRow("whole seconds")
            << R"({"phase":"focus","deadline":925981200,"enabled":true})"_ba << u"on focus 0"_s;
        QTest::newRow("deadline as text")
            << R"({"enabled":true,"phase":"focus","deadline":"925981200"})"_ba << QString();
        QTest::newRow("null") << R"({"enabled":true,"phase":"rest","deadline":null})"_ba
                              << u"on rest -"_s;
    }
    void storedForms()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        const auto decoded = PomodoroState::fromJson(json);
        QCOMPARE(decoded ? describe(*decoded) : QString(), expected);
    }

    // A break over by the time the app starts again gives way to a fresh focus phase.
    void restore_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("stored");
        QTest::addColumn<QString>("expected"); // "fresh": replaced by a new focus phase
        const auto stored = [](const PomodoroState &s) { return std::optional(s.toJson()); };
        QTest::newRow("nothing stored") << std::optional<QByteArray>() << u"off focus -"_s;
        QTest::newRow("break ends in a minute")
            << stored(PomodoroState::restUntil(D.addSecs(60))) << u"on rest 60"_s;
        QTest::newRow("break ended a second ago")
            << stored(PomodoroState::restUntil(D.addSecs(-1))) << u"fresh"_s;
        QTest::newRow("off, old deadline")
            << stored({ false, Phase::Rest, D.addDays(-1) }) << u"off rest -86400"_s;
    }
    void restore()
    {
        QFETCH(std::optional<QByteArray>, stored);
        QFETCH(QString, expected);
        PomodoroCycle pomodoro([this] { return m_now; });
        QCOMPARE(pomodoro.restore(stored), expected == u"fresh"_s);
        QCOMPARE(
            describe(pomodoro.state()), expected == u"fresh"_s ? u"on focus 1800"_s : expected);
    }

    // Off keeps the phase; on starts a full focus phase; a tick tells the phase that ended.
    void cycle()
    {
        PomodoroCycle pomodoro([this] { return m_now; });
        pomodoro.startBreak();
        QCOMPARE(describe(pomodoro.state()), u"on rest 300"_s);
        QVERIFY(!pomodoro.focusActive());
        pomodoro.setEnabled(false);
        QCOMPARE(describe(pomodoro.state()), u"off rest -"_s);
        m_now = D.addSecs(40);
        pomodoro.setEnabled(true);
        QVERIFY(pomodoro.focusActive());
        m_now = D.addSecs(1839);
        QCOMPARE(pomodoro.tick(), std::nullopt);
        m_now = D.addSecs(1840);
        QCOMPARE(pomodoro.tick(), std::optional(Phase::Focus));
        QCOMPARE(describe(pomodoro.state()), u"on rest 2140"_s);
    }
};

QTEST_GUILESS_MAIN(PomodoroTest)
#include "PomodoroTest.moc"
