#pragma once

#include "model/AppModel.h"

#include <QString>
#include <QUrl>

class RecordingDisplay;

// What a coordinator under test is given: preferences in `preferencesPath` that point at
// `server` (the real game server of the test, or an address where nothing answers), no
// logind, and a RecordingDisplay in place of the overlay, which `display` then points at.
AppModel::Setup clientSetup(const QString &preferencesPath, const QUrl &server,
    const QUrl &websocket, RecordingDisplay **display = nullptr);
