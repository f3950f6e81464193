#pragma once

#include "scene/GameDisplay.h"

#include <memory>

class Overlay;

// The program's GameDisplay: the one overlay over the desktop, with its scene.
class OverlayDisplay : public GameDisplay {
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

    Overlay &overlay() const { return *m_overlay; }

private:
    std::unique_ptr<Overlay> m_overlay;
};
