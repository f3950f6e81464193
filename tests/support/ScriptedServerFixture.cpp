#include "ScriptedServerFixture.h"

#include "ScriptedHttpServer.h"
#include "model/Preferences.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

bool ScriptedServerFixture::startScriptedServer()
{
    m_preferencesPath = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction())
        + QString::fromLatin1(QTest::currentDataTag()) + u".conf"_s);
    QFile::remove(m_preferencesPath);
    delete m_server;
    m_server = new ScriptedHttpServer(this);
    if (!m_server->listen())
        return false;
    m_server->answer(500, R"({"message":"Server Error"})"_ba);
    Preferences(m_preferencesPath)
        .setConnection(m_server->baseUrl(), u"ws://127.0.0.1:1"_s, u"desk-hoops-sample"_s);
    return true;
}
