#pragma once

#include "wire/CrossingSample.h"
#include "wire/Entry.h"
#include "wire/Round.h"

#include <QString>

#include <functional>
#include <optional>

// What the coordinator drives of the overlay windows and their throw scene: visibility, the
// screen, what the scene shows, and the scene's reports back. The program's implementation
// wraps the one overlay; tests give the coordinator one that records the calls.
class GameDisplay {
public:
    // The scene's reports, installed once by the coordinator. Each holds the coordinator weakly.
    struct SceneCallbacks {
        std::function<void()> onPracticeScore;
        std::function<void(const Entry &entry)> onTransfer;
        std::function<void(const QString &shotID, const Entry &release)> onShot;
        std::function<void(
            const QString &shotID, const CrossingSample &before, const CrossingSample &after)>
            onScore;
    };

    virtual ~GameDisplay() = default;

    virtual void show(bool visible) = 0;
    // Moves the overlay to the screen with this index and rebuilds it there.
    virtual void moveToScreen(int index) = 0;

    // The round this player is to play (none: idle or practice), whether the player holds the
    // ball between rounds, whether someone can receive it, and the server clock offset.
    virtual void configure(
        const std::optional<Round> &round, bool holder, bool available, double serverOffset)
        = 0;
    virtual void celebrate() = 0;
    // The ball could not be passed on: it comes back and the scene shows why.
    virtual void transferFailed(const QString &reason) = 0;
    // The scene's last released throw, if any.
    virtual std::optional<Entry> latestRelease() const = 0;

    virtual void setSceneCallbacks(SceneCallbacks callbacks) = 0;
};
