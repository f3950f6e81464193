#include "net/AuthReply.h"
#include "net/ConnectionInfo.h"
#include "net/CrossingSample.h"
#include "net/Player.h"
#include "net/Room.h"
#include "net/Snapshot.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QJsonObject object(const QByteArray &json)
{
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qFatal("test data is not a JSON object: %s", json.constData());
    return document.object();
}

template <typename R> QString faultOf(const QJsonObject &json)
{
    const auto result = R::fromJson(json);
    return result ? QString() : result.error();
}

// Reads the JSON as the named record; the fault text, or empty when it was read.
QString readFault(const QString &kind, const QByteArray &json)
{
    static const QHash<QString, QString (*)(const QJsonObject &)> readers {
        { u"Player"_s, &faultOf<Player> },
        { u"Room"_s, &faultOf<Room> },
        { u"Member"_s, &faultOf<Member> },
        { u"Snapshot"_s, &faultOf<Snapshot> },
        { u"Round"_s, &faultOf<Round> },
        { u"Score"_s, &faultOf<Score> },
        { u"Totals"_s, &faultOf<Totals> },
        { u"Entry"_s, &faultOf<Entry> },
        { u"Hoop"_s, &faultOf<Hoop> },
        { u"AuthReply"_s, &faultOf<AuthReply> },
        { u"ConnectionInfo"_s, &faultOf<ConnectionInfo> },
    };
    return readers.value(kind)(object(json));
}

const QByteArray roomJson = R"({"id":7,"owner_id":1,"name":"Lab","invite_code":"ABCD1234"})";
const QByteArray entryJson = R"({"x":0.1,"y":0.5,"vx":0.8,"vy":1.2})";
const QByteArray hoopJson = R"({"x":0.7,"y":0.6,"width":0.12,"radius":0.03})";
const QByteArray roundJson = R"({"id":"r1","sender_id":1,"receiver_id":2,"state":"ACTIVE","entry":)"
    + entryJson + R"(,"hoop":)" + hoopJson + "}";

QByteArray snapshotWith(const QByteArray &extra)
{
    return R"({"room":)" + roomJson
        + R"(,"members":[{"id":1,"name":"Ann","status":"ONLINE"}],"state":"IDLE",)"
          R"("server_time":"2025-03-01T10:00:00Z","scores":[])"
        + extra + "}";
}

} // namespace

class WireRecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each row: a record kind, its JSON, and the fault expected (empty: it reads).
    void readsStrictly_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("fault");

        QTest::newRow("player, unknown keys ignored")
            << u"Player"_s << R"({"id":12,"name":"Ann","shoe_size":44,"extra":{"a":[1]}})"_ba
            << QString();
        QTest::newRow("integer given as string of digits")
            << u"Player"_s << R"({"id":"12","name":"Ann"})"_ba
            << u"id: expected an integer, found a string"_s;
        QTest::newRow("fractional integer") << u"Player"_s << R"({"id":2.5,"name":"Ann"})"_ba
                                            << u"id: expected an integer, found 2.5"_s;
        QTest::newRow("integer too large for 64 bits")
            << u"Player"_s << R"({"id":1e19,"name":"Ann"})"_ba
            << u"id: expected an integer, found 1e+19"_s;
        QTest::newRow("integral number written with a fraction")
            << u"Player"_s << R"({"id":12.0,"name":"Ann"})"_ba << QString();
        QTest::newRow("boolean for integer") << u"Player"_s << R"({"id":true,"name":"Ann"})"_ba
                                             << u"id: expected an integer, found a boolean"_s;
        QTest::newRow("required member missing")
            << u"Player"_s << R"({"id":12})"_ba << u"name: required member is missing"_s;
        QTest::newRow("required member null") << u"Player"_s << R"({"id":12,"name":null})"_ba
                                              << u"name: expected a string, found null"_s;
        QTest::newRow("first fault in member order is the one reported")
            << u"Player"_s << R"({"active_room_id":"x","name":3})"_ba
            << u"id: required member is missing"_s;
        QTest::newRow("optional member null is none")
            << u"Player"_s << R"({"id":1,"name":"Ann","email":null,"active_room_id":null})"_ba
            << QString();
        QTest::newRow("optional member of the wrong type")
            << u"Player"_s << R"({"id":1,"name":"Ann","active_room_id":"4"})"_ba
            << u"active_room_id: expected an integer, found a string"_s;
        QTest::newRow("optional integer fractional")
            << u"Room"_s
            << R"({"id":7,"owner_id":1,"name":"Lab","invite_code":"C","ball_owner_id":1.5})"_ba
            << u"ball_owner_id: expected an integer, found 1.5"_s;
        QTest::newRow("room without invite code")
            << u"Room"_s << R"({"id":7,"owner_id":1,"name":"Lab"})"_ba
            << u"invite_code: required member is missing"_s;
        QTest::newRow("member status lower case still reads")
            << u"Member"_s << R"({"id":1,"name":"Ann","status":"online"})"_ba << QString();
        QTest::newRow("entry coordinate as text")
            << u"Entry"_s << R"({"x":"0.1","y":0.5,"vx":0.8,"vy":1.2})"_ba
            << u"x: expected a number, found a string"_s;
        QTest::newRow("entry accepts integral reals")
            << u"Entry"_s << R"({"x":0,"y":1,"vx":-2,"vy":3})"_ba << QString();
        QTest::newRow("hoop without radius") << u"Hoop"_s << R"({"x":0.7,"y":0.6,"width":0.12})"_ba
                                             << u"radius: required member is missing"_s;
        QTest::newRow("round id as number")
            << u"Round"_s
            << R"({"id":5,"sender_id":1,"receiver_id":2,"state":"ACTIVE","entry":)" + entryJson
                + R"(,"hoop":)" + hoopJson + "}"
            << u"id: expected a string, found a number"_s;
        QTest::newRow("round with fault inside entry")
            << u"Round"_s
            << R"({"id":"r","sender_id":1,"receiver_id":2,"state":"ACTIVE","entry":{"x":0,"y":0,"vx":0},"hoop":)"
                + hoopJson + "}"
            << u"entry.vy: required member is missing"_s;
        QTest::newRow("round last_sequence fractional")
            << u"Round"_s << roundJson.chopped(1) + R"(,"last_sequence":3.25})"
            << u"last_sequence: expected an integer, found 3.25"_s;
        QTest::newRow("score misses as string")
            << u"Score"_s << R"({"user_id":1,"points":2,"received":3,"misses":"0","best":1})"_ba
            << u"misses: expected an integer, found a string"_s;
        QTest::newRow("totals missing best")
            << u"Totals"_s << R"({"received":3,"points":2,"misses":0})"_ba
            << u"best: required member is missing"_s;
        QTest::newRow("snapshot without round") << u"Snapshot"_s << snapshotWith({}) << QString();
        QTest::newRow("snapshot with null round and null totals")
            << u"Snapshot"_s << snapshotWith(R"(,"round":null,"totals":null)") << QString();
        QTest::newRow("snapshot whose round lacks its hoop fails whole")
            << u"Snapshot"_s
            << snapshotWith(
                   R"(,"round":{"id":"r","sender_id":1,"receiver_id":2,"state":"ACTIVE","entry":)"
                   + entryJson + "}")
            << u"round.hoop: required member is missing"_s;
        QTest::newRow("snapshot with a faulty member in the list")
            << u"Snapshot"_s
            << R"({"room":)" + roomJson
                + R"(,"members":[{"id":1,"name":"Ann","status":"ONLINE"},{"id":2,"name":"Bo"}],)"
                  R"("state":"IDLE","server_time":"2025-03-01T10:00:00Z","scores":[]})"
            << u"members[1].status: required member is missing"_s;
        QTest::newRow("snapshot with a list element that is no object")
            << u"Snapshot"_s
            << snapshotWith(R"(,"extra":1)").replace(R"("scores":[])", R"("scores":[3])")
            << u"scores[0]: expected an object, found a number"_s;
        QTest::newRow("snapshot members given as object")
            << u"Snapshot"_s
            << snapshotWith({})
                   .replace(R"("members":[)", R"("members":{"a":)")
                   .replace(R"(}],"state")", R"(}},"state")")
            << u"members: expected an array, found an object"_s;
        QTest::newRow("snapshot room null")
            << u"Snapshot"_s << snapshotWith({}).replace(roomJson, "null")
            << u"room: expected an object, found null"_s;
        QTest::newRow("snapshot with an unreadable server time still reads")
            << u"Snapshot"_s << snapshotWith({}).replace("2025-03-01T10:00:00Z", "yesterday")
            << QString();
        QTest::newRow("snapshot totals with a fault")
            << u"Snapshot"_s
            << snapshotWith(R"(,"totals":{"received":1,"points":1,"misses":0,"best":"1"})")
            << u"totals.best: expected an integer, found a string"_s;
        QTest::newRow("auth reply with faulty user")
            << u"AuthReply"_s << R"({"token":"t","user":{"id":"1","name":"A"}})"_ba
            << u"user.id: expected an integer, found a string"_s;
        QTest::newRow("auth reply without token")
            << u"AuthReply"_s << R"({"user":{"id":1,"name":"A"}})"_ba
            << u"token: required member is missing"_s;
        QTest::newRow("connection info empty") << u"ConnectionInfo"_s << "{}"_ba << QString();
        QTest::newRow("connection info invite base of the wrong type")
            << u"ConnectionInfo"_s << R"({"invite_base":false})"_ba
            << u"invite_base: expected a string, found a boolean"_s;
    }
    void readsStrictly()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, json);
        QFETCH(QString, fault);
        QCOMPARE(readFault(kind, json), fault);
    }

    void readsEveryMemberOfASnapshot()
    {
        const auto snapshot = Snapshot::fromJson(object(
            R"({"room":{"id":7,"owner_id":1,"name":"Lab","invite_code":"ABCD1234","ball_owner_id":2,)"
            R"("cooldown_until":"2025-03-01T10:00:05.500+01:00"},)"
            R"("members":[{"id":1,"name":"Ann","status":"ONLINE"},{"id":2,"name":"Bo","status":"BUSY"}],)"
            R"("round":{"id":"r1","sender_id":1,"receiver_id":2,"state":"WAITING_RECEIVER",)"
            R"("entry":{"x":0.1,"y":0.5,"vx":0.8,"vy":1.2},"hoop":{"x":0.7,"y":0.6,"width":0.12,"radius":0.03},)"
            R"("nonce":"n","ends_at":"2025-03-01T10:00:30Z","last_sequence":4},)"
            R"("state":"PLAYING","server_time":"2025-03-01T10:00:00.250Z",)"
            R"("scores":[{"user_id":2,"points":3,"received":5,"misses":1,"best":2}],)"
            R"("totals":{"received":9,"points":4,"misses":2,"best":3}})"));
        QVERIFY2(snapshot, snapshot ? "" : qPrintable(snapshot.error()));

        const Snapshot expected { Room { 7, 1, u"Lab"_s, u"ABCD1234"_s, 2,
                                      u"2025-03-01T10:00:05.500+01:00"_s },
            { Member { 1, u"Ann"_s, u"ONLINE"_s }, Member { 2, u"Bo"_s, u"BUSY"_s } },
            Round { u"r1"_s, 1, 2, u"WAITING_RECEIVER"_s, Entry { 0.1, 0.5, 0.8, 1.2 },
                Hoop { 0.7, 0.6, 0.12, 0.03 }, u"n"_s, u"2025-03-01T10:00:30Z"_s, 4 },
            u"PLAYING"_s, u"2025-03-01T10:00:00.250Z"_s, { Score { 2, 3, 5, 1, 2 } },
            Totals { 9, 4, 2, 3 } };
        QCOMPARE(*snapshot, expected);

        const QDateTime ten(QDate(2025, 3, 1), QTime(10, 0), Qt::UTC);
        QCOMPARE(snapshot->serverTimeValue(), ten.addMSecs(250));
        QCOMPARE(snapshot->room.cooldownUntilTime(), ten.addSecs(-3600 + 5).addMSecs(500));
        QCOMPARE(snapshot->round->endsAtTime(), ten.addSecs(30));
        QVERIFY(snapshot->round->isWaitingForReceiver());
        QVERIFY(!snapshot->round->isActive());
    }

    void keepsUnreadableTimestampsAsAbsentTimes()
    {
        const auto room = Room::fromJson(object(
            R"({"id":1,"owner_id":1,"name":"L","invite_code":"C","cooldown_until":"2025-03-01 10:00:00"})"));
        QVERIFY(room);
        QCOMPARE(room->cooldownUntil, u"2025-03-01 10:00:00"_s);
        QCOMPARE(room->cooldownUntilTime(), std::nullopt);
    }

    void readsRoomListsWhole()
    {
        const auto parse = [](const QByteArray &json) {
            return Room::listFromJson(QJsonDocument::fromJson(json).array());
        };
        const auto rooms
            = parse("[" + roomJson + "," + QByteArray(roomJson).replace("7", "8") + "]");
        QVERIFY(rooms);
        QCOMPARE(rooms->size(), 2);
        QCOMPARE(rooms->at(1).id, 8);
        QVERIFY(parse("[]"));

        const auto broken = parse("[" + roomJson + R"(,{"id":8}])");
        QVERIFY(!broken);
        QCOMPARE(broken.error(), u"[1].owner_id: required member is missing"_s);
    }

    void comparesStateWordsExactly_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("online");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("doNotDisturb");
        QTest::newRow("online") << u"ONLINE"_s << true << false << false;
        QTest::newRow("busy") << u"BUSY"_s << false << true << false;
        QTest::newRow("do not disturb") << u"DO_NOT_DISTURB"_s << false << false << true;
        QTest::newRow("lower case") << u"online"_s << false << false << false;
        QTest::newRow("unknown") << u"AWAY"_s << false << false << false;
    }
    void comparesStateWordsExactly()
    {
        QFETCH(QString, status);
        const Member member { 1, u"A"_s, status };
        QTEST(member.isOnline(), "online");
        QTEST(member.isBusy(), "busy");
        QTEST(member.isDoNotDisturb(), "doNotDisturb");
    }

    void computesHitRate_data()
    {
        QTest::addColumn<qint64>("points");
        QTest::addColumn<qint64>("misses");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<int>("percent");
        QTest::newRow("nothing counted") << 0ll << 0ll << 5ll << 0;
        QTest::newRow("one in three") << 1ll << 2ll << 0ll << 33;
        QTest::newRow("two in three") << 2ll << 1ll << 0ll << 67;
        QTest::newRow("12.5 rounds up") << 1ll << 7ll << 0ll << 13;
        QTest::newRow("received does not count") << 1ll << 7ll << 100ll << 13;
        QTest::newRow("0.5 rounds away from zero") << 1ll << 199ll << 0ll << 1;
        QTest::newRow("-0.5 rounds away from zero") << -1ll << 201ll << 0ll << -1;
        QTest::newRow("all hits") << 4ll << 0ll << 4ll << 100;
        QTest::newRow("total below one") << 3ll << -3ll << 0ll << 0;
        QTest::newRow("counters that would overflow a sum")
            << std::numeric_limits<qint64>::max() << std::numeric_limits<qint64>::max() << 0ll
            << 50;
        QTest::newRow("rate beyond int is held at the limit")
            << 1'000'000'000'000ll << -999'999'999'999ll << 0ll << std::numeric_limits<int>::max();
    }
    void computesHitRate()
    {
        QFETCH(qint64, points);
        QFETCH(qint64, misses);
        QFETCH(qint64, received);
        QFETCH(int, percent);
        QCOMPARE((Score { 1, points, received, misses, 0 }.percent()), percent);
        QCOMPARE((Totals { received, points, misses, 0 }.percent()), percent);
    }

    void writesRequestObjects()
    {
        const Entry entry { 0.25, 0.5, -1.5, 2 };
        QCOMPARE(entry.toJson(),
            (QJsonObject { { u"x"_s, 0.25 }, { u"y"_s, 0.5 }, { u"vx"_s, -1.5 }, { u"vy"_s, 2 } }));
        QCOMPARE(Entry::fromJson(entry.toJson()).value(), entry);
        QCOMPARE((CrossingSample { 0.5, 0.625, 1.25 }.toJson()),
            (QJsonObject { { u"x"_s, 0.5 }, { u"y"_s, 0.625 }, { u"t"_s, 1.25 } }));
    }
};

QTEST_GUILESS_MAIN(WireRecordsTest)
#include "WireRecordsTest.moc"
