#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

class RecordingDisplay;
class ScriptedHttpServer;

// The common ground of the coordinator tests against the scripted server: a preferences file of
// the running test (and data row) that points at a fresh scripted server, a clock of the test's
// and the display the coordinator was given.
class ScriptedServerFixture : public QObject {
protected:
    QTemporaryDir m_dir;
    QString m_preferencesPath;
    QDateTime m_now;
    ScriptedHttpServer *m_server = nullptr;
    RecordingDisplay *m_display = nullptr;

    // Replaces the server with a new one that answers every request with a server error, and
    // empties the preferences but for the connection to it; false when it could not listen.
    bool startScriptedServer();
};
