#include "game/GameJson.h"
#include "game/RoundIds.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Entry)

// Entries as the server keeps them, the wire form of the game's records, and round ids.
class GameRecordsTest : public QObject {
    Q_OBJECT

private slots:
    void clamped_data()
    {
        QTest::addColumn<Entry>("sent");
        QTest::addColumn<Entry>("kept");
        QTest::newRow("inside the limits")
            << Entry { 0.5, 0.25, -2.5, 2.5 } << Entry { 0.5, 0.25, -2.5, 2.5 };
        QTest::newRow("right of the field, too fast")
            << Entry { 1.4, 0.5, 7, -0.5 } << Entry { 1, 0.5, 3, -0.5 };
        QTest::newRow("below the field, falling fast")
            << Entry { 0.5, -0.2, 0, -9 } << Entry { 0.5, 0, 0, -3 };
        QTest::newRow("limits themselves") << Entry { 0, 1, -3, 3 } << Entry { 0, 1, -3, 3 };
    }

    void clamped()
    {
        QFETCH(Entry, sent);
        QFETCH(Entry, kept);
        const Entry result = sent.clamped();
        QCOMPARE(result.x, kept.x);
        QCOMPARE(result.y, kept.y);
        QCOMPARE(result.vx, kept.vx);
        QCOMPARE(result.vy, kept.vy);
    }

    void readEntry_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("numbers") << QByteArray(R"({"x":1,"y":0.45,"vx":-0.5,"vy":0.35})") << true;
        QTest::newRow("extra member")
            << QByteArray(R"({"x":1,"y":0,"vx":0,"vy":0,"z":"a"})") << true;
        QTest::newRow("missing vy") << QByteArray(R"({"x":1,"y":0.45,"vx":0.5})") << false;
        QTest::newRow("digits in a string")
            << QByteArray(R"({"x":"1","y":0,"vx":0,"vy":0})") << false;
        QTest::newRow("null member") << QByteArray(R"({"x":null,"y":0,"vx":0,"vy":0})") << false;
        QTest::newRow("number too large")
            << QByteArray(R"({"x":1e999,"y":0,"vx":0,"vy":0})") << false;
        QTest::newRow("array") << QByteArray(R"({"e":[1,0,0,0]})") << false;
    }

    void readEntry()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        const QJsonValue value
            = object.contains(u"e"_s) ? object.value(u"e"_s) : QJsonValue(object);
        const auto entry = GameJson::readEntry(value);
        QCOMPARE(entry.has_value(), valid);
        if (valid)
            QCOMPARE(
                GameJson::toJson(*entry).value(u"y"_s).toDouble(), object.value(u"y"_s).toDouble());
    }

    void readSample_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("numbers") << QByteArray(R"({"x":0.76,"y":0.41,"t":1.1})") << true;
        QTest::newRow("missing t") << QByteArray(R"({"x":0.76,"y":0.41})") << false;
        QTest::newRow("boolean t") << QByteArray(R"({"x":0.76,"y":0.41,"t":true})") << false;
    }

    void readSample()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        const auto sample = GameJson::readSample(QJsonDocument::fromJson(json).object());
        QCOMPARE(sample.has_value(), valid);
        if (valid)
            QCOMPARE(sample->t, 1.1);
    }

    void roundIdsAreFreshAndWellFormed()
    {
        static const QRegularExpression uuid(
            u"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$"_s);
        static const QRegularExpression nonce(u"^[0-9a-f]{32}$"_s);
        QSet<QString> seen;
        for (int i = 0; i < 50; ++i) {
            const QString id = RoundIds::newRoundId();
            const QString secret = RoundIds::newNonce();
            QVERIFY2(uuid.match(id).hasMatch(), qPrintable(id));
            QVERIFY2(nonce.match(secret).hasMatch(), qPrintable(secret));
            seen << id << secret;
        }
        QCOMPARE(seen.size(), 100);
    }
};

QTEST_APPLESS_MAIN(GameRecordsTest)
#include "GameRecordsTest.moc"
