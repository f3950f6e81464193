#include "model/SavedBasketResult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

class SavedBasketResultTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTripsNewestFirst()
    {
        const QDateTime date(QDate(2030, 5, 6), QTime(9, 0, 0, 125), QTimeZone::utc());
        const QList<SavedBasketResult> results {
            { QUuid::createUuid(), date, u"http://a.example"_s, u"Desk, 3rd floor"_s, false },
            { QUuid::createUuid(), date.addDays(-400), u"https://b.example"_s, QString(), true },
        };
        const QByteArray json = SavedBasketResult::listToJson(results);
        QCOMPARE(SavedBasketResult::listFromJson(json), results);
        const auto lower = SavedBasketResult::listFromJson(
            R"([{"id":"6f9619ff-8b86-d011-b42d-00c04fc964ff","date":0,"server":"s","room":"","practice":false}])"_ba);
        QCOMPARE(lower.value_or(results).first().id,
            QUuid::fromString(u"6F9619FF-8B86-D011-B42D-00C04FC964FF"_s));

        const QJsonObject first = QJsonDocument::fromJson(json).array().first().toObject();
        QCOMPARE(first.value(u"id"_s).toString(),
            results.first().id.toString(QUuid::WithoutBraces).toUpper());
        QCOMPARE(first.value(u"date"_s).toDouble(), 925981200.125);
    }

    void undecodableListsGiveNothing_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray good
            = R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","date":1,"server":"s","room":"r","practice":true})"_ba;
        QTest::newRow("object instead of array") << good;
        QTest::newRow("one bad record spoils all") << "[" + good
                + R"(,{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","date":"1","server":"s","room":"r","practice":true}])"_ba;
        QTest::newRow("not JSON") << "[{"_ba;
    }
    void undecodableListsGiveNothing()
    {
        QFETCH(QByteArray, json);
        QCOMPARE(SavedBasketResult::listFromJson(json), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(SavedBasketResultTest)
#include "SavedBasketResultTest.moc"
