#include "RecordingDisplay.h"

using namespace Qt::StringLiterals;

void RecordingDisplay::show(bool shown)
{
    visible = shown;
    calls.append(shown ? u"show true"_s : u"show false"_s);
}

void RecordingDisplay::moveToScreen(int index)
{
    calls.append(u"move "_s + QString::number(index));
}

void RecordingDisplay::configure(
    const std::optional<Round> &round, bool holder, bool available, double serverOffset)
{
    configuration = Configuration { round, holder, available, serverOffset };
    calls.append(u"configure"_s);
}

void RecordingDisplay::celebrate()
{
    calls.append(u"celebrate"_s);
}

void RecordingDisplay::transferFailed(const QString &reason)
{
    calls.append(u"failed "_s + reason);
}

void RecordingDisplay::setSceneCallbacks(SceneCallbacks sceneCallbacks)
{
    callbacks = std::move(sceneCallbacks);
}
