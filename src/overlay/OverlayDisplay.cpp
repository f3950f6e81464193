#include "overlay/OverlayDisplay.h"

#include "overlay/Overlay.h"
#include "scene/GameScene.h"

OverlayDisplay::OverlayDisplay()
    : m_overlay(std::make_unique<Overlay>())
{
}

OverlayDisplay::~OverlayDisplay() = default;

void OverlayDisplay::show(bool visible)
{
    m_overlay->show(visible);
}

void OverlayDisplay::moveToScreen(int index)
{
    m_overlay->setScreenIndex(index);
    m_overlay->rebuild();
}

void OverlayDisplay::configure(
    const std::optional<Round> &round, bool holder, bool available, double serverOffset)
{
    m_overlay->scene().configure({ round, holder, available, serverOffset });
}

void OverlayDisplay::celebrate()
{
    m_overlay->scene().celebrate();
}

void OverlayDisplay::transferFailed(const QString &reason)
{
    m_overlay->scene().transferFailed(reason);
}

std::optional<Entry> OverlayDisplay::latestRelease() const
{
    return m_overlay->scene().latestRelease();
}

void OverlayDisplay::setSceneCallbacks(SceneCallbacks callbacks)
{
    GameScene &scene = m_overlay->scene();
    scene.onPracticeScore = std::move(callbacks.onPracticeScore);
    scene.onTransfer = std::move(callbacks.onTransfer);
    scene.onShot = std::move(callbacks.onShot);
    scene.onScore = std::move(callbacks.onScore);
}
