// How long a pass takes to arrive: from the sender's transfer to the receiver's scene holding
// the round, with two coordinators on a real tosswick-server over loopback. The players pass
// back and forth; each receiver scores with an assisted throw and sends the ball on.
//
// Usage: pass_latency [PATH-TO-tosswick-server] [PASSES]   (or TOSSWICK_SERVER in the
// environment). Sessions and settings go to a temporary directory; prints each delay and
// the median, asserts nothing.

#include "ScenePlayer.h"
#include "TestServer.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int timeoutMs = 20'000;

[[noreturn]] void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "pass_latency: %s %s\n", what, qPrintable(detail));
    std::exit(1);
}

std::unique_ptr<ScenePlayer> player(const TestServer &server, const QString &host)
{
    const QString address = host + u':' + QString::number(server.httpUrl().port());
    auto made = std::make_unique<ScenePlayer>(
        u"http://"_s + address, u"ws://"_s + address, QString::fromLatin1(TestServer::appKey));
    if (!made->waitSignedIn())
        fail("no guest session:", made->model().message());
    return made;
}

// One pass from `sender` to `receiver`; the delay in milliseconds until the receiver's scene
// shows the round. The receiver then scores, so that it holds the ball afterwards.
double pass(ScenePlayer &sender, ScenePlayer &receiver)
{
    if (!ScenePlayer::waitUntil(
            [&] { return !sender.model().sendBlockReason(receiver.id()); }, timeoutMs))
        fail("cannot send:", sender.model().sendBlockReason(receiver.id()).value_or(QString()));
    sender.model().setSelectedReceiver(receiver.id());

    QElapsedTimer sinceSend;
    std::optional<double> arrived;
    const std::optional<QString> before = receiver.display().shownRound();
    receiver.display().onConfigured = [&](const std::optional<QString> &round) {
        if (round && round != before && !arrived)
            arrived = sinceSend.nsecsElapsed() / 1e6;
    };
    sinceSend.start();
    sender.model().transfer(Entry { 1.0, 0.45, 0.55, 0.35 });
    if (!ScenePlayer::waitUntil([&] { return arrived.has_value(); }, timeoutMs))
        fail("the round did not arrive:", sender.model().message());
    receiver.display().onConfigured = nullptr;

    const auto &state = receiver.model().snapshot();
    if (!ScenePlayer::waitUntil(
            [&] { return state && state->round && state->round->isActive(); }, timeoutMs))
        fail("the round did not start:", receiver.model().message());
    receiver.display().throwTowardsTheHoop();
    if (!ScenePlayer::waitUntil(
            [&] { return state && !state->round && state->room.ballOwnerId == receiver.id(); },
            timeoutMs))
        fail("the throw did not score:", receiver.model().message());
    return *arrived;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Keep the sessions of this run away from the user's: no Secret Service, files of its own.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() > 1)
        qputenv("TOSSWICK_SERVER", arguments.at(1).toUtf8());
    const int passes = arguments.size() > 2 ? arguments.at(2).toInt() : 20;

    TestServer server;
    if (!server.start({ u"--test-cooldown-ms"_s, u"100"_s }))
        fail("server:", server.errorText());
    auto a = player(server, u"127.0.0.1"_s);
    auto b = player(server, u"localhost"_s);
    QCoro::waitFor(a->model().createRoom(u"Latency"_s));
    if (!a->waitConnected())
        fail("A not connected:", a->model().message());
    const auto &rooms = a->model().rooms();
    const auto room = std::find_if(
        rooms.cbegin(), rooms.cend(), [&](const Room &r) { return r.id == a->model().roomID(); });
    if (room == rooms.cend())
        fail("no room");
    QCoro::waitFor(b->model().joinRoom(room->inviteCode));
    if (!b->waitConnected() || !a->waitForMemberStatus(b->id(), u"ONLINE"_s)
        || !b->waitForMemberStatus(a->id(), u"ONLINE"_s))
        fail("B not in the room:", b->model().message());

    std::vector<double> delays;
    for (int i = 0; i < passes; ++i) {
        const bool forth = i % 2 == 0;
        delays.push_back(forth ? pass(*a, *b) : pass(*b, *a));
        std::printf("pass %2d %s: %.1f ms\n", i + 1, forth ? "A->B" : "B->A", delays.back());
    }
    std::sort(delays.begin(), delays.end());
    const std::size_t n = delays.size();
    const double median = n % 2 ? delays[n / 2] : (delays[n / 2 - 1] + delays[n / 2]) / 2;
    std::printf("passes %zu  median %.1f ms  min %.1f ms  max %.1f ms\n", n, median, delays.front(),
        delays.back());
    return 0;
}
