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
        QList<QSet<QChar>> nonceDigits(32);
        for (int i = 0; i < 50; ++i) {
            const QString id = RoundIds::newRoundId();
            const QString secret = RoundIds::newNonce();
            QVERIFY2(uuid.match(id).hasMatch(), qPrintable(id));
            QVERIFY2(nonce.match(secret).hasMatch(), qPrintable(secret));
            seen << id << secret;
            for (int at = 0; at < 32; ++at)
                nonceDigits[at] << secret.at(at);
        }
        QCOMPARE(seen.size(), 100);
        // Every digit is random, not only enough of them to keep nonces apart.
        for (int at = 0; at < 32; ++at)
            QVERIFY2(
                nonceDigits.at(at).size() > 1, qPrintable(u"digit %1 never changes"_s.arg(at)));
    }
};

QTEST_APPLESS_MAIN(GameRecordsTest)
#include "GameRecordsTest.moc"
