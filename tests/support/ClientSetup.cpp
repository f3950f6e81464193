#include "ClientSetup.h"

#include "RecordingDisplay.h"
#include "model/Preferences.h"

#include <QDBusConnection>

using namespace Qt::StringLiterals;

AppModel::Setup clientSetup(const QString &preferencesPath, const QUrl &server,
    const QUrl &websocket, RecordingDisplay **display)
{
    Preferences(preferencesPath)
        .setConnection(server.toString(QUrl::StripTrailingSlash),
            websocket.toString(QUrl::StripTrailingSlash), u"desk-hoops-sample"_s);
    AppModel::Setup setup;
    setup.display = std::make_unique<RecordingDisplay>();
    if (display)
        *display = static_cast<RecordingDisplay *>(setup.display.get());
    setup.preferencesPath = preferencesPath;
    setup.logindBus = QDBusConnection(u"none"_s);
    return setup;
}
