#pragma once

#include "scene/GameDisplay.h"

#include <QList>
#include <QString>

// A GameDisplay recording what the coordinator asks of the overlay; it keeps the scene
// callbacks, so a test can play the scene's part.
class RecordingDisplay : public GameDisplay {
public:
    struct Configuration {
        std::optional<Round> round;
        bool holder = false;
        bool available = false;
        double serverOffset = 0;
    };

    // Every call in order: "show true", "move 2", "configure", "celebrate", "failed TEXT".
    QList<QString> calls;
    bool visible = false;
    std::optional<Configuration> configuration;
    std::optional<Entry> release;
    SceneCallbacks callbacks;

    void show(bool shown) override
    {
        visible = shown;
        calls.append(shown ? QStringLiteral("show true") : QStringLiteral("show false"));
    }
    void moveToScreen(int index) override { calls.append(QStringLiteral("move %1").arg(index)); }
    void configure(const std::optional<Round> &round, bool holder, bool available,
        double serverOffset) override
    {
        configuration = Configuration { round, holder, available, serverOffset };
        calls.append(QStringLiteral("configure"));
    }
    void celebrate() override { calls.append(QStringLiteral("celebrate")); }
    void transferFailed(const QString &reason) override
    {
        calls.append(QStringLiteral("failed ") + reason);
    }
    std::optional<Entry> latestRelease() const override { return release; }
    void setSceneCallbacks(SceneCallbacks given) override { callbacks = std::move(given); }
};
