#pragma once

#include "model/GameDisplay.h"

#include <memory>

class Overlay;

// The coordinator's view of the program's one overlay: visibility and screen go to the
// overlay's windows, the round and the effects to its scene, and the scene reports back.
class OverlayDisplay : public GameDisplay
{
public:
    OverlayDisplay();
    ~OverlayDisplay() override;

    void show(bool visible) override;
    void moveToScreen(int index) override;
    void configure(const std::optional<Round> &round, bool holder, bool available,
                   double serverOffset) override;
    void celebrate() override;
    void transferFailed(const QString &reason) override;
    std::optional<Entry> latestRelease() const override;
    void setSceneCallbacks(SceneCallbacks callbacks) override;

private:
    std::unique_ptr<Overlay> m_overlay;
};
