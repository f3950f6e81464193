// The coordinator's wiring to the real tosswick-server: the guest session, rooms, the realtime
// channel and invitations, with a temporary settings file and the session's Secret
// Service. The rules themselves are checked with scripted servers.

#include "ClientSetup.h"
#include "RecordingDisplay.h"
#include "TestServer.h"
#include "net/API.h"
#include "net/Keychain.h"
#include "net/Realtime.h"
#include "wire/AuthReply.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The realtime channel needs a round trip to the server and an authorisation; the credential
// store answers over D-Bus and its first use may take a moment.
constexpr int timeoutMs = 15'000;

QString base(const TestServer &server)
{
    return server.httpUrl().toString(QUrl::StripTrailingSlash);
}

QString joinLink(const QString &room, const QString &api, const TestServer &server)
{
    const auto encoded
        = [](const QString &text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); };
    return u"tosswick://join?room=%1&api=%2&ws=%3&key=%4"_s.arg(room, encoded(api),
        encoded(server.wsUrl().toString()), QString::fromLatin1(TestServer::appKey));
}

} // namespace

class AppModelServerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TestServer m_server;
    QString m_preferencesPath;
    RecordingDisplay *m_display = nullptr;
    QNetworkAccessManager m_network;

    // A model whose start-up restore has run to its end.
    std::unique_ptr<AppModel> startedModel()
    {
        auto setup
            = clientSetup(m_preferencesPath, m_server.httpUrl(), m_server.wsUrl(), &m_display);
        setup.logindBus = QDBusConnection(u"none"_s);
        auto model = std::make_unique<AppModel>(std::move(setup));
        QSignalSpy working(model.get(), &AppModel::workingChanged);
        if (!working.wait(timeoutMs)
            || !QTest::qWaitFor([&] { return !model->working(); }, timeoutMs))
            qFatal("the restore did not finish: %s, log %s", qPrintable(model->message()),
                qPrintable(m_server.log()));
        return model;
    }

    // Another player of `server`, talking to it directly, with a room of its own.
    std::pair<std::unique_ptr<API>, Room> otherPlayer(const TestServer &server, const QString &room)
    {
        auto api = std::make_unique<API>(m_network, base(server));
        const auto reply = QCoro::waitFor(api->data(u"guest"_s, u"POST"_s, QJsonObject()));
        if (!reply)
            qFatal("no guest session: %s", qPrintable(reply.error().message));
        api->setToken(API::readReply<AuthReply>(*reply)->token);
        const auto created
            = QCoro::waitFor(api->data(u"rooms"_s, u"POST"_s, QJsonObject { { u"name"_s, room } }));
        if (!created)
            qFatal("room not created: %s", qPrintable(created.error().message));
        return { std::move(api), *API::readReply<Room>(*created) };
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorText())); }

    void init()
    {
        m_preferencesPath
            = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u".conf"_s);
    }

    void cleanup() { QCoro::waitFor(Keychain::save(std::nullopt, base(m_server))); }

    // A token the server rejects is replaced in the same restore; the second start signs in
    // as the same guest and goes back to the active room.
    void firstStartCreatesAGuestAndTheSecondSignsIn()
    {
        QCoro::waitFor(Keychain::save(u"no-such-session"_s, base(m_server)));
        qint64 guest = 0;
        {
            auto model = startedModel();
            QVERIFY2(model->user(), qPrintable(model->message()));
            guest = model->user()->id;
            const auto stored = QCoro::waitFor(Keychain::read(base(m_server)));
            QVERIFY(stored && *stored != u"no-such-session"_s && model->api().token() == stored);
            QCOMPARE(model->message(), u"Create a room or enter a secret Room ID to join."_s);
            // The token is in the credential store only.
            QFile settings(m_preferencesPath);
            QVERIFY(settings.open(QIODevice::ReadOnly)
                && !settings.readAll().contains(stored->toUtf8()));
            QCoro::waitFor(model->createRoom(u"Lobby"_s));
        }
        auto model = startedModel();
        QCOMPARE(model->user()->id, guest);
        QCOMPARE(model->roomID(), model->rooms().value(0).id);
        QTRY_VERIFY_WITH_TIMEOUT(model->connected(), timeoutMs);

        // Shutting down tells the server without waiting for it.
        const auto other = std::move(otherPlayer(m_server, u"Bye"_s).first);
        QVERIFY(QCoro::waitFor(other->data(u"rooms/join"_s, u"POST"_s,
            QJsonObject { { u"code"_s, model->rooms().first().inviteCode } })));
        const QString state = u"rooms/%1/state"_s.arg(*model->roomID());
        const auto statusSeenByOther = [&] {
            const auto snapshot = QCoro::waitFor(other->get<Snapshot>(state));
            for (const Member &member : snapshot->members)
                if (member.id == guest)
                    return member.status;
            return QString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(statusSeenByOther(), u"ONLINE"_s, timeoutMs);
        model->shutdown();
        QVERIFY(!model->connected() && !m_display->visible);
        QTRY_COMPARE(statusSeenByOther(), u"OFFLINE"_s);
    }

    void createJoinActivateLeaveDelete()
    {
        auto model = startedModel();
        QCoro::waitFor(model->createRoom(u"Lobby"_s));
        const qint64 lobby = model->rooms().first().id;
        QTRY_COMPARE_WITH_TIMEOUT(model->message(), u"Connected"_s, timeoutMs);

        const auto [other, studio] = otherPlayer(m_server, u"Studio"_s);
        // Pasted into the join field, a link becomes a pending invitation and sends nothing.
        QCoro::waitFor(
            model->joinRoom(joinLink(studio.inviteCode.toLower(), base(m_server), m_server)));
        QCOMPARE(model->rooms().size(), 1);
        QCoro::waitFor(model->acceptInvitation());
        QCOMPARE(model->roomID(), studio.id);
        // The heartbeat brings the room's state; then the invitation link can be made.
        QTRY_VERIFY_WITH_TIMEOUT(model->connected() && model->snapshot(), timeoutMs);
        model->copyInvitation();
        QCOMPARE(QGuiApplication::clipboard()->text(),
            base(m_server) + u"/invite#"_s + studio.inviteCode);
        QCOMPARE(model->message(), u"Invitation link copied · send it privately to your friend"_s);
        QCoro::waitFor(model->leave(false));
        QVERIFY(!model->snapshot() && !model->connected());
        QCOMPARE(model->rooms().size(), 1);
        QCoro::waitFor(model->activate(lobby));
        QCoro::waitFor(model->leave(true));
        QVERIFY(model->rooms().isEmpty());
    }
};

QTEST_MAIN(AppModelServerTest)
#include "AppModelServerTest.moc"
