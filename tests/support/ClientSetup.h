#pragma once

#include "model/AppModel.h"

#include <QString>
#include <QUrl>

class RecordingDisplay;

// A coordinator's setup: preferences in `preferencesPath` pointing at `server`, no logind, and
// a RecordingDisplay in place of the overlay, which `display` then points at.
AppModel::Setup clientSetup(const QString &preferencesPath, const QUrl &server,
    const QUrl &websocket, RecordingDisplay **display = nullptr);
