#include "pomodoro/PomodoroState.h"

#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using Phase = PomodoroState::Phase;

namespace {
const QDateTime D(QDate(2030, 5, 6), QTime(9, 0), QTimeZone::utc());
}

class PomodoroStateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void advance_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<Phase>("phase");
        QTest::addColumn<qint64>("nowMs"); // now relative to the deadline D
        QTest::addColumn<bool>("changed");
        QTest::addColumn<Phase>("expectedPhase");
        QTest::addColumn<qint64>("expectedDeadlineMs"); // relative to D

        const qint64 s = 1000;
        QTest::newRow("a millisecond before the deadline")
            << true << Phase::Focus << -1ll << false << Phase::Focus << 0ll;
        QTest::newRow("exactly at the deadline, focus ends")
            << true << Phase::Focus << 0ll << true << Phase::Rest << 300 * s;
        QTest::newRow("exactly at the deadline, break ends")
            << true << Phase::Rest << 0ll << true << Phase::Focus << 1800 * s;
        QTest::newRow("three cycles and ten seconds late")
            << true << Phase::Focus << (2100 * 3 + 10) * s << true << Phase::Rest
            << (2100 * 3 + 300) * s;
        QTest::newRow("break, 400 s late")
            << true << Phase::Rest << 400 * s << true << Phase::Focus << 1800 * s;
        QTest::newRow("focus, 500 s late passes the whole break")
            << true << Phase::Focus << 500 * s << true << Phase::Focus << 2100 * s;
        QTest::newRow("break, one cycle and 299.999 s late")
            << true << Phase::Rest << (2100 + 299) * s + 999 << true << Phase::Focus
            << (2100 + 1800) * s;
        QTest::newRow("disabled never advances")
            << false << Phase::Focus << 5000 * s << false << Phase::Focus << 0ll;
    }
    void advance()
    {
        QFETCH(bool, enabled);
        QFETCH(Phase, phase);
        QFETCH(qint64, nowMs);
        QFETCH(bool, changed);
        QFETCH(Phase, expectedPhase);
        QFETCH(qint64, expectedDeadlineMs);

        PomodoroState state { enabled, phase, D };
        QCOMPARE(state.advance(D.addMSecs(nowMs)), changed);
        QCOMPARE(state.phase, expectedPhase);
        QCOMPARE(state.deadline.value_or(QDateTime()), D.addMSecs(expectedDeadlineMs));
        // After a catch-up the state is settled: the same moment changes nothing more.
        QVERIFY(!state.advance(D.addMSecs(nowMs)));
    }

    // Seconds left round up; the clock text shows them as minutes and seconds.
    void remaining_data()
    {
        QTest::addColumn<PomodoroState>("state");
        QTest::addColumn<qint64>("nowMs"); // relative to D
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("text");
        QTest::newRow("0.4 s left")
            << PomodoroState::focusUntil(D) << -400ll << 1 << u"Focus · 00:01"_s;
        QTest::newRow("1799 s of focus")
            << PomodoroState::focusUntil(D) << -1799000ll << 1799 << u"Focus · 29:59"_s;
        QTest::newRow("245 s of break")
            << PomodoroState::restUntil(D) << -245000ll << 245 << u"Game break · 04:05"_s;
        QTest::newRow("after the deadline")
            << PomodoroState::focusUntil(D) << 3000ll << 0 << u"Focus · 00:00"_s;
        QTest::newRow("disabled with a deadline")
            << PomodoroState { false, Phase::Focus, D } << -60000ll << 0 << u"Focus · 00:00"_s;
        QTest::newRow("enabled, no deadline") << PomodoroState { true, Phase::Rest, std::nullopt }
                                              << 0ll << 0 << u"Game break · 00:00"_s;
    }
    void remaining()
    {
        QFETCH(PomodoroState, state);
        QFETCH(qint64, nowMs);
        QFETCH(int, expected);
        QFETCH(QString, text);
        QCOMPARE(state.remaining(D.addMSecs(nowMs)), expected);
        QCOMPARE(state.clockText(D.addMSecs(nowMs)), text);
        // Without a deadline nothing advances.
        if (!state.deadline)
            QVERIFY(!state.advance(D));
    }

    void readsStoredForms_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<PomodoroState>("expected");
        const auto written = [](const char *name, const PomodoroState &state) {
            QTest::newRow(name) << state.toJson() << true << state;
        };
        written("written, off in the break", { false, Phase::Rest, std::nullopt });
        written("written, milliseconds", PomodoroState::restUntil(D.addMSecs(250)));
        written("written, before 2001",
            PomodoroState::focusUntil(
                QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 500), QTimeZone::utc())));
        QTest::newRow("without deadline") << R"({"enabled":true,"phase":"rest"})"_ba << true
                                          << PomodoroState { true, Phase::Rest, std::nullopt };
        QTest::newRow("null deadline") << R"({"enabled":false,"phase":"focus","deadline":null})"_ba
                                       << true << PomodoroState {};
        QTest::newRow("whole seconds")
            << R"({"phase":"focus","deadline":925981200,"enabled":true})"_ba << true
            << PomodoroState::focusUntil(D);
        QTest::newRow("phase upper case")
            << R"({"enabled":true,"phase":"Focus"})"_ba << false << PomodoroState {};
        QTest::newRow("no phase") << R"({"enabled":true})"_ba << false << PomodoroState {};
        QTest::newRow("enabled as text")
            << R"({"enabled":"true","phase":"focus"})"_ba << false << PomodoroState {};
        QTest::newRow("deadline as text")
            << R"({"enabled":true,"phase":"focus","deadline":"925981200"})"_ba << false
            << PomodoroState {};
        QTest::newRow("deadline far beyond any calendar")
            << R"({"enabled":true,"phase":"focus","deadline":1e300})"_ba << false
            << PomodoroState {};
        QTest::newRow("array") << R"([true,"focus"])"_ba << false << PomodoroState {};
    }
    void readsStoredForms()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QFETCH(PomodoroState, expected);
        const auto decoded = PomodoroState::fromJson(json);
        QCOMPARE(decoded.has_value(), decodes);
        if (decodes)
            QCOMPARE(*decoded, expected);
    }
};

QTEST_GUILESS_MAIN(PomodoroStateTest)
#include "PomodoroStateTest.moc"
