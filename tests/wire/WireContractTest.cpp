#include "wire/AuthReply.h"
#include "wire/ConnectionInfo.h"
#include "wire/ResultBody.h"
#include "wire/SendBody.h"
#include "wire/ShotBody.h"
#include "wire/Snapshot.h"
#include "wire/SnapshotText.h"
#include "wire/Timestamp.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

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

// One row of the strict reading: the fault reading `json` as R gives (empty: it reads), and the
// one expected.
template <typename R> void readRow(const char *name, const QByteArray &json, const QString &fault)
{
    const QJsonObject record = object(json);
    const auto read = R::fromJson(record);
    QTest::newRow(name) << (read ? QString() : read.error()) << fault;
}

const QByteArray roomJson = R"({"id":7,"owner_id":1,"name":"Lab","invite_code":"ABCD1234"})";

QByteArray snapshotWith(const QByteArray &extra)
{
    return R"({"room":)" + roomJson
        + R"(,"members":[{"id":1,"name":"Ann","status":"ONLINE"}],"state":"IDLE",)"
          R"("server_time":"2025-03-01T10:00:00Z","scores":[])"
        + extra + "}";
}

// A committed document of tests/wire/expected.
QJsonObject expected(const QString &name)
{
    QFile file(QStringLiteral(WIRE_EXPECTED_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no expected document %s", qPrintable(file.fileName()));
    return object(file.readAll());
}

// How the reader takes the document back: empty when it yields `record` again.
template <typename R> QString readBack(const QString &name, const R &record)
{
    const auto read = R::fromJson(expected(name));
    if (!read)
        return read.error();
    return *read == record ? QString() : u"read as another record"_s;
}

// One row of the contract: what the writing side writes for `record`, and how the reading side
// takes the committed document back.
template <typename R> void contractRow(const char *name, const QByteArray &written, const R &record)
{
    const QString file = QString::fromLatin1(name) + u".json";
    QTest::newRow(name) << file << written << readBack(file, record);
}

template <typename R> void contractRow(const char *name, const R &record)
{
    contractRow(name, QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact), record);
}

// The server's snapshot writer for these records, and the record the client should read.
void snapshotRow(const char *name, const Room &room, const std::optional<Round> &round)
{
    const QList<Member> members { { 1, u"Zoë \"Z\""_s, QString(MemberStatus::online) },
        { 2, u"Bo"_s, QString(MemberStatus::busy) },
        { 3, u"Cy"_s, QString(MemberStatus::doNotDisturb) },
        { 4, u"Di"_s, QString(MemberStatus::offline) } };
    const QList<Score> scores { { 1, 3, 5, 1, 2 }, { 2, 0, 1, 1, 0 } };
    const Totals totals { 9, 4, 2, 3 };
    const QString serverTime = Timestamp::format(1'740'823'200'250); // 2025-03-01T10:00:00.250Z
    QList<QString> statuses;
    for (const Member &member : members)
        statuses.append(member.status);
    const QByteArray written = SnapshotText(room, members, round, scores)
                                   .write(statuses, serverTime, SnapshotText::totalsText(totals));
    const QString state = round ? RoomState::round : RoomState::idle;
    contractRow(
        name, written, Snapshot { room, members, round, state, serverTime, scores, totals });
}

} // namespace

Q_DECLARE_METATYPE(Entry)

class WireContractTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each row: a committed document, what the writing side writes for the row's records, and
    // the reading side's fault on the document (empty: it read back the same records).
    void writerAndReaderAgree_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QString>("readFault");

        const Room plainRoom { 7, 1, u"Lab \"A\""_s, u"ABCD1234"_s, std::nullopt, std::nullopt };
        const Room heldRoom { 7, 1, u"Lab"_s, u"ABCD1234"_s, 2,
            Timestamp::format(1'740'823'205'500) };
        const Entry entry { 0.5, 1.0, -0.75, 0.25 };
        snapshotRow("snapshot-idle", plainRoom, std::nullopt);
        // The receiver's view, with the nonce; the round has no deadline until it is active.
        snapshotRow("snapshot-waiting", heldRoom,
            Round { u"r1"_s, 1, 2, QString(RoundState::waiting), entry, Hoop::standard(), u"n1"_s,
                std::nullopt, 0 });
        snapshotRow("snapshot-active", heldRoom,
            Round { u"r1"_s, 1, 2, QString(RoundState::active), entry, Hoop::standard(),
                std::nullopt, Timestamp::format(1'740'823'220'000), 4 });
        contractRow("auth", AuthReply { u"f00d"_s, Player { 3, u"Swift Otter 12"_s, {}, 7 } });
        contractRow("connection", ConnectionInfo { u"https://tosswick.invalid/invite"_s });
        // Bodies the client writes and the server reads.
        contractRow("send", SendBody { u"REQ-1"_s, entry, 2 });
        contractRow(
            "shot", ShotBody { { u"r1"_s, u"n1"_s, u"s1"_s, 5 }, Entry { 0.18, 0.18, 0.5, 1 } });
        contractRow("result",
            ResultBody {
                { u"r1"_s, u"n1"_s, u"s1"_s, 6 }, { 0.75, 0.43, 1.05 }, { 0.76, 0.41, 1.0625 } });
    }
    void writerAndReaderAgree()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, written);
        QCOMPARE(QJsonDocument::fromJson(written).object(), expected(file));
        QFETCH(QString, readFault);
        QCOMPARE(readFault, QString());
    }

    // Each row: the fault reading a record's JSON gives, and the one expected (empty: it reads).
    void readsStrictly_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("expected");
        readRow<Player>("player, unknown keys ignored",
            R"({"id":12,"name":"Ann","shoe_size":44,"extra":{"a":[1]}})", {});
        readRow<Player>("integer given as string of digits", R"({"id":"12","name":"Ann"})",
            u"id: expected an integer, found a string"_s);
        readRow<Player>("fractional integer", R"({"id":2.5,"name":"Ann"})",
            u"id: expected an integer, found 2.5"_s);
        readRow<Player>("integer too large for 64 bits", R"({"id":1e19,"name":"Ann"})",
            u"id: expected an integer, found 1e+19"_s);
        readRow<Player>(
            "integral number written with a fraction", R"({"id":12.0,"name":"Ann"})", {});
        readRow<Player>(
            "required member missing", R"({"id":12})", u"name: required member is missing"_s);
        readRow<Player>("required member null", R"({"id":12,"name":null})",
            u"name: expected a string, found null"_s);
        readRow<Player>("first fault in member order is the one reported",
            R"({"active_room_id":"x","name":3})", u"id: required member is missing"_s);
        readRow<Player>("optional member null is none",
            R"({"id":1,"name":"Ann","email":null,"active_room_id":null})", {});
        readRow<Player>("optional member of the wrong type",
            R"({"id":1,"name":"Ann","active_room_id":"4"})",
            u"active_room_id: expected an integer, found a string"_s);
        readRow<Entry>("entry coordinate as text", R"({"x":"0.1","y":0.5,"vx":0.8,"vy":1.2})",
            u"x: expected a number, found a string"_s);
        readRow<Snapshot>("snapshot whose round lacks its hoop fails whole",
            snapshotWith(R"(,"round":{"id":"r","sender_id":1,"receiver_id":2,"state":"ACTIVE",)"
                         R"("entry":{"x":0.1,"y":0.5,"vx":0.8,"vy":1.2}})"),
            u"round.hoop: required member is missing"_s);
        readRow<Snapshot>("snapshot with a faulty member in the list",
            snapshotWith({}).replace(R"("ONLINE"})", R"("ONLINE"},{"id":2,"name":"Bo"})"),
            u"members[1].status: required member is missing"_s);
        readRow<Snapshot>("snapshot with a list element that is no object",
            snapshotWith({}).replace(R"("scores":[])", R"("scores":[3])"),
            u"scores[0]: expected an object, found a number"_s);
        readRow<Snapshot>("snapshot with an unreadable server time still reads",
            snapshotWith({}).replace("2025-03-01T10:00:00Z", "yesterday"), {});
        const auto rooms
            = Room::listFromJson(QJsonDocument::fromJson("[" + roomJson + R"(,{"id":8}])").array());
        QTest::newRow("room list with a faulty room fails whole")
            << rooms.error() << u"[1].owner_id: required member is missing"_s;
        // A server reads bodies more strictly, and names only the member at fault.
        const QByteArray entry = R"("entry":{"x":0.5,"y":1,"vx":0,"vy":0})";
        readRow<SendBody>("send body with extra members and a null receiver",
            R"({"request_id":"q",)" + entry + R"(,"receiver_id":null,"z":1})", {});
        readRow<SendBody>("send body with an empty request id",
            R"({"request_id":"",)" + entry + "}", u"request_id"_s);
        readRow<SendBody>("send body receiver as text",
            R"({"request_id":"q",)" + entry + R"(,"receiver_id":"2"})", u"receiver_id"_s);
        const QByteArray shot = R"({"round_id":"r","nonce":"n","shot_id":"s","sequence":1,)";
        const QByteArray release = R"("release":{"x":0.18,"y":0.18,"vx":0,"vy":1}})";
        const auto shotId = [&](int length) -> QByteArray {
            return QByteArray(shot).replace("s\",", QByteArray(length, 's').append("\","))
                + release;
        };
        readRow<ShotBody>("shot body with an id of 100 characters", shotId(100), {});
        readRow<ShotBody>("shot body with an id of 101 characters", shotId(101), u"shot_id"_s);
        readRow<ShotBody>("shot body nonce missing, sequence fractional: first in order",
            QByteArray(shot).replace(R"("nonce":"n",)", "").replace("1,", "1.5,") + release,
            u"nonce"_s);
        readRow<ShotBody>("shot body sequence at 2^53",
            QByteArray(shot).replace("1,", "9007199254740992,") + release, u"sequence"_s);
        readRow<ResultBody>("result body boolean t before",
            shot + R"("before":{"x":0.7,"y":0.5,"t":true},"after":{"x":0.7,"y":0.4,"t":1}})",
            u"before"_s);
    }
    void readsStrictly()
    {
        QFETCH(QString, fault);
        QTEST(fault, "expected");
    }

    void computesHitRate_data()
    {
        QTest::addColumn<qint64>("points");
        QTest::addColumn<qint64>("misses");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<int>("percent");
        QTest::newRow("nothing counted") << 0ll << 0ll << 5ll << 0;
        QTest::newRow("one in three") << 1ll << 2ll << 0ll << 33;
        QTest::newRow("12.5 rounds up") << 1ll << 7ll << 0ll << 13;
        QTest::newRow("received does not count") << 1ll << 7ll << 100ll << 13;
        QTest::newRow("0.5 rounds away from zero") << 1ll << 199ll << 0ll << 1;
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

    // Entries as a server keeps them.
    void clampsEntries_data()
    {
        QTest::addColumn<Entry>("sent");
        QTest::addColumn<Entry>("kept");
        QTest::newRow("inside the limits")
            << Entry { 0.5, 0.25, -2.5, 2.5 } << Entry { 0.5, 0.25, -2.5, 2.5 };
        QTest::newRow("right of the field, too fast")
            << Entry { 1.4, 0.5, 7, -0.5 } << Entry { 1, 0.5, 3, -0.5 };
        QTest::newRow("below the field, falling fast")
            << Entry { 0.5, -0.2, 0, -9 } << Entry { 0.5, 0, 0, -3 };
    }
    void clampsEntries()
    {
        QFETCH(Entry, sent);
        QTEST(sent.clamped(), "kept");
    }

    // Rows without a time are forms the strict reader rejects (Qt's own would take most).
    void readsTimestamps_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("time");
        const QDateTime ten(QDate(2025, 3, 1), QTime(10, 0), Qt::UTC);
        QTest::newRow("fraction, Z") << u"2025-03-01T10:00:00.250Z"_s << ten.addMSecs(250);
        QTest::newRow("no fraction, Z") << u"2025-03-01T10:00:00Z"_s << ten;
        QTest::newRow("positive offset")
            << u"2025-03-01T10:00:00+03:00"_s << ten.addSecs(qint64(-3) * 3600);
        QTest::newRow("negative offset with fraction")
            << u"2025-03-01T10:00:00.5-01:30"_s << ten.addSecs(qint64(90) * 60).addMSecs(500);
        QTest::newRow("microseconds cut to milliseconds")
            << u"2025-03-01T10:00:00.123456Z"_s << ten.addMSecs(123);
        QTest::newRow("leap day") << u"2024-02-29T00:00:00Z"_s
                                  << QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC);
        for (const QString &lenient :
            { u"2025-03-01 10:00:00"_s, u"2025-03-01T10:00:00"_s, u"2025-03-01t10:00:00z"_s,
                u"2025-03-01T10:00:00+0200"_s, u"2025-03-01T24:00:00Z"_s,
                u"2025-03-01T10:00:00,250Z"_s, u"2025-03-01T10:00:00.Z"_s,
                u"2025-02-30T10:00:00Z"_s, u"2025-03-01"_s, u"2025-03-01T10:00:00Z "_s,
                u"2025-03-01T10:00:00Z\n"_s, u"2025-03-01T1\u0661:00:00Z"_s, QString() })
            QTest::newRow(qPrintable(u"rejects '" + lenient + u'\'')) << lenient << QDateTime();
    }
    void readsTimestamps()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, time);
        QCOMPARE(Timestamp::parse(text).value_or(QDateTime()), time);
        // The records read their times by the same rule.
        Snapshot snapshot;
        snapshot.serverTime = text;
        snapshot.room.cooldownUntil = text;
        Round round;
        round.endsAt = text;
        QCOMPARE(snapshot.serverTimeValue().value_or(QDateTime()), time);
        QCOMPARE(snapshot.room.cooldownUntilTime().value_or(QDateTime()), time);
        QCOMPARE(round.endsAtTime().value_or(QDateTime()), time);
    }

    void formatsTimestampsAsUtcWithMilliseconds()
    {
        const QDateTime time(QDate(2025, 3, 1), QTime(13, 0, 0, 250), QTimeZone(3 * 3600));
        QCOMPARE(Timestamp::format(time), u"2025-03-01T10:00:00.250Z"_s);
        QCOMPARE(Timestamp::format(time.toMSecsSinceEpoch()), u"2025-03-01T10:00:00.250Z"_s);
    }
};

QTEST_GUILESS_MAIN(WireContractTest)
#include "WireContractTest.moc"
