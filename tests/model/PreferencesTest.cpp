#include "model/Preferences.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class PreferencesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeFile(const QByteArray &contents)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QString::fromLatin1(QTest::currentDataTag() ? QTest::currentDataTag() : "") + u".conf"_s);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private Q_SLOTS:
    void defaultPathFollowsXdgConfigHome()
    {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toUtf8());
        QCOMPARE(Preferences::defaultPath(), m_dir.filePath(u"config/tosswick/tosswick.conf"_s));
    }

    void emptyStoreGivesDefaults()
    {
        const Preferences preferences(m_dir.filePath(u"missing/tosswick.conf"_s));
        QCOMPARE(preferences.server(), u"http://127.0.0.1:8088"_s);
        QCOMPARE(preferences.websocket(), u"ws://127.0.0.1:8088"_s);
        QCOMPARE(preferences.appKey(), u"desk-hoops-sample"_s);
        QCOMPARE(preferences.pomodoroState(), std::nullopt);
        QCOMPARE(preferences.basketResults(), std::nullopt);
        QCOMPARE(preferences.lastBasketResult(), QString());
    }

    void valuesSurviveReopening()
    {
        const QString path = m_dir.filePath(u"nested/dir/tosswick.conf"_s);
        const QByteArray json = R"({"enabled":true,"phase":"rest","deadline":1.5})"_ba;
        const QByteArray results = R"([{"id":"x, y"}])"_ba;
        {
            Preferences preferences(path);
            // Commas, a trailing slash and non-ASCII text must come back as written.
            preferences.setConnection(u"https://a.example/,x"_s, u"wss://a.example/"_s,
                                      u"key, with comma"_s);
            preferences.setPomodoroState(json);
            preferences.setBasketResults(results);
            preferences.setLastBasketResult(u"Попадание · +1 · 5 May"_s);
        }
        QVERIFY(QFile::exists(path));
        const Preferences reopened(path);
        QCOMPARE(reopened.server(), u"https://a.example/,x"_s);
        QCOMPARE(reopened.websocket(), u"wss://a.example/"_s);
        QCOMPARE(reopened.appKey(), u"key, with comma"_s);
        QCOMPARE(reopened.pomodoroState(), json);
        QCOMPARE(reopened.basketResults(), results);
        QCOMPARE(reopened.lastBasketResult(), u"Попадание · +1 · 5 May"_s);
    }

    void valuesOfTheWrongFormReadAsAbsent_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("unquoted list") << "[General]\nserver=http://a,b\nappKey=x,y\n"_ba;
        QTest::newRow("pomodoro as plain text")
            << "[General]\npomodoroState={\"enabled\":true}\nbasketResults=[]\n"_ba;
        QTest::newRow("unknown keys only") << "[General]\nfoo=1\n[Other]\nserver=http://x\n"_ba;
    }
    void valuesOfTheWrongFormReadAsAbsent()
    {
        QFETCH(QByteArray, contents);
        const Preferences preferences(writeFile(contents));
        QCOMPARE(preferences.server(), Preferences::defaultServer);
        QCOMPARE(preferences.appKey(), Preferences::defaultAppKey);
        QCOMPARE(preferences.pomodoroState(), std::nullopt);
        QCOMPARE(preferences.basketResults(), std::nullopt);
    }

    void handWrittenValuesAreRead()
    {
        const Preferences preferences(
            writeFile("[General]\nserver=http://10.0.0.2:8088\n"
                      "pomodoroState=\"@ByteArray({\\\"enabled\\\":false,\\\"phase\\\":\\\"focus\\\"})\"\n"_ba));
        QCOMPARE(preferences.server(), u"http://10.0.0.2:8088"_s);
        QCOMPARE(preferences.websocket(), Preferences::defaultWebsocket);
        QCOMPARE(preferences.pomodoroState(), R"({"enabled":false,"phase":"focus"})"_ba);
    }
};

QTEST_GUILESS_MAIN(PreferencesTest)
#include "PreferencesTest.moc"
