#include "game/RoundIds.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace Qt::StringLiterals;

// Round ids and nonces.
class GameRecordsTest : public QObject {
    Q_OBJECT

private slots:
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
