#include "scene/GameScene.h"

#include "scene/LabelNode.h"
#include "scene/SceneField.h"
#include "scene/ThrowRules.h"
#include "scene/TrackpadThrow.h"

#include <QUuid>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

GameScene::GameScene()
    : m_wallClock([] { return QDateTime::currentDateTimeUtc(); })
{
    m_world.onBallContact = [this] { didBegin(); };
    build();
}

// --- Hosting ---------------------------------------------------------------------------------

void GameScene::setSize(QSizeF size)
{
    if (size == m_size)
        return;
    m_size = size;
    if (m_presented)
        rebuild();
}

void GameScene::didMoveToView()
{
    m_presented = true;
    rebuild();
}

// A new screen or size: the nodes and the world are made anew, and a throw under way is
// dropped, with the ball parked on the new start spot.
void GameScene::rebuild()
{
    m_gesture.cancel();
    m_shotID.reset();
    m_previous.reset();
    build();
    if (m_hoop)
        resetForThrow();
    requestFrame();
}

void GameScene::willMoveFromView()
{
    m_presented = false;
}

void GameScene::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (!paused) {
        // The pause is not simulated.
        m_world.restartClock();
        requestFrame();
    }
}

void GameScene::setWallClock(std::function<QDateTime()> clock)
{
    m_wallClock = std::move(clock);
}

void GameScene::requestFrame()
{
    if (onFrameNeeded && !m_paused)
        onFrameNeeded();
}

bool GameScene::needsFrames() const
{
    if (m_paused)
        return false;
    const bool returnPending = m_returnAt && (m_active || m_practice);
    // At zero the round ends at once, but its "00" is still up until the next frame clears it.
    const bool countingDown = (m_active && m_ends) || !m_world.timer().text().isEmpty();
    return m_world.isBallMoving() || isDragging() || returnPending || countingDown
        || m_world.isAnimating();
}

void GameScene::collectDamage(std::vector<QRectF> &damage)
{
    m_world.root().collectDamage(damage);
}

void GameScene::build()
{
    m_world.build(m_size, m_hoop.value_or(defaultHoop), m_hoop.has_value());
    m_aimGuide.attach(&m_world.aimGuideGroup());
    m_shownSeconds.reset();
    // A new ball takes up the state of the one it replaces: at rest while hidden or parked.
    m_world.setBallDynamic(m_interactive && !m_waitingForThrow && !isDragging() && !m_sending);
    m_world.setBallHidden(!m_interactive || m_sending);
}

// --- The ball --------------------------------------------------------------------------------

QRectF GameScene::ballHitRect() const
{
    if (m_world.isBallHidden())
        return {};
    const double r = SceneField(m_size).ballRadius();
    const QPointF p = m_world.ballPosition();
    return QRectF(p.x() - r - 20, p.y() - r - 20, 2 * r + 40, 2 * r + 40);
}

void GameScene::parkBall()
{
    m_world.setBallDynamic(false);
    m_world.setBallPosition(SceneField(m_size).point(startSpot));
}

void GameScene::resetForThrow()
{
    m_waitingForThrow = true;
    m_returnAt.reset();
    m_shotID.reset();
    m_shotStart.reset();
    m_previous.reset();
    m_dirtyFlight = false;
    m_aimGuide.clear();
    parkBall();
    m_world.setBallVelocity({});
    m_world.stopSpin();
}

// --- The coordinator's operations ------------------------------------------------------------

void GameScene::configure(const SceneDefinition &definition)
{
    const std::optional<Round> &round = definition.round;
    m_offset = definition.serverOffset;
    m_canTransfer = definition.available;

    const bool practice = !round && definition.holder;
    const std::optional<QString> roundID = round ? std::optional(round->id) : std::nullopt;
    if (roundID != m_roundID || practice != m_practice) {
        m_practice = practice;
        m_roundID = roundID;
        m_shotID.reset();
        m_shotStart.reset();
        m_previous.reset();
        m_returnAt.reset();
        m_gesture.cancel();
        m_sending = false;
        m_waitingForThrow = false;
        m_hoop = round ? std::optional(round->hoop)
                       : (practice ? std::optional(defaultHoop) : std::nullopt);
        m_world.drawHoop(m_hoop.value_or(defaultHoop), m_hoop.has_value());
        if (!m_hoop) {
            m_world.setBallPosition(
                { m_size.width() * 0.35, SceneField(m_size).ballRadius() + 30 });
            m_world.setBallVelocity({});
        } else {
            resetForThrow();
        }
    }

    m_active = round && round->isActive();
    const std::optional<QDateTime> ends = round ? round->endsAtTime() : std::nullopt;
    if (ends != m_ends)
        m_shownSeconds.reset();
    m_ends = ends;

    m_interactive = definition.holder || round.has_value();
    // A ball on its way to someone else stays out of sight until the transfer is settled.
    m_world.setBallHidden(!m_interactive || m_sending);
    if (!m_interactive) {
        m_gesture.cancel();
        m_world.setBallDynamic(false);
    } else if (!isDragging()) {
        m_world.setBallDynamic(!m_waitingForThrow);
    }

    if (round)
        m_world.hint().setText(u"Легко! Потяни мяч ↗ и отпусти · Мы поможем попасть"_s);
    else if (definition.holder)
        m_world.hint().setText(
            u"Тренировка · Потяни мяч ↗ и отпусти · Передача другу — в окне игры"_s);
    else
        m_world.hint().setText(u"Hoop ready · Waiting for an incoming ball"_s);
    requestFrame();
}

void GameScene::celebrate()
{
    m_world.celebrate();
    requestFrame();
}

void GameScene::transferFailed(const QString &message)
{
    m_sending = false;
    if (m_practice)
        resetForThrow();
    m_world.setBallHidden(false);
    if (!m_practice)
        m_world.setBallPosition({ m_size.width() * 0.3, SceneField(m_size).ballRadius() + 40 });
    m_world.setBallVelocity({});
    m_world.hint().setText(message);
    requestFrame();
}

void GameScene::didBegin()
{
    m_dirtyFlight = true;
    if ((m_active || m_practice) && !m_waitingForThrow && !isDragging() && m_shotID && !m_returnAt)
        m_returnAt = m_lastUpdate + ThrowRules::hitReturnDelay;
}

// --- Pointer input ---------------------------------------------------------------------------

void GameScene::mouseDown(QPointF location, double uptime)
{
    if (!m_interactive || m_sending || !ballHitRect().contains(location))
        return;
    m_gesture.press(location, uptime);
    if (m_hoop) {
        // Picking up a flying or resting ball puts it back on the start spot.
        m_world.setBallPosition(SceneField(m_size).point(startSpot));
        m_returnAt.reset();
        m_waitingForThrow = true;
    }
    m_shotID.reset();
    m_previous.reset();
    m_world.setBallDynamic(false);
    requestFrame();
}

void GameScene::mouseDragged(QPointF location, double uptime)
{
    if (!isDragging())
        return;
    m_gesture.drag(location, uptime);
    const SceneField field(m_size);
    if (m_hoop) {
        m_world.setBallPosition(field.point(startSpot));
    } else {
        const double r = field.ballRadius();
        m_world.setBallPosition({ qBound(r, location.x(), m_size.width() - r),
            qBound(r, location.y(), m_size.height() - r) });
    }
}

void GameScene::mouseUp(QPointF location, double uptime)
{
    if (!isDragging())
        return;
    const SceneField field(m_size);
    const QPointF ballAt = m_world.ballPosition();
    const auto release
        = m_gesture.release(location, uptime, field.side(), m_hoop.has_value(), ballAt);
    if (release.tap) {
        resetForThrow();
        requestFrame();
        return;
    }
    // The assisted throw always leaves from the start spot.
    const QPointF from = m_hoop ? startSpot : field.normalized(ballAt);
    releaseBall(Entry { from.x(), from.y(), release.velocity.x(), release.velocity.y() });
}

void GameScene::releaseBall(const Entry &entry)
{
    const SceneField field(m_size);
    const QPointF at = field.point(entry.x, entry.y);
    // Far beyond any screen is beyond what the world's single precision holds.
    constexpr double reach = 1e6;
    if (!std::isfinite(entry.vx) || !std::isfinite(entry.vy) || !(std::abs(at.x()) <= reach)
        || !(std::abs(at.y()) <= reach))
        return;
    m_latestRelease = entry;
    m_waitingForThrow = false;
    m_previous.reset();
    m_returnAt.reset();
    m_aimGuide.clear();
    m_world.setBallPosition(at);
    m_world.setBallDynamic(true);
    constexpr double limit = ThrowRules::maxSpeed;
    m_world.setBallVelocity(
        QPointF(std::clamp(entry.vx, -limit, limit), std::clamp(entry.vy, -limit, limit))
        * field.side());
    const bool insideField = entry.x >= 0 && entry.x <= 1 && entry.y >= 0 && entry.y <= 1;
    if ((m_active || m_practice) && insideField) {
        m_shotID = QUuid::createUuid().toString(QUuid::WithoutBraces);
        m_shotStart = m_lastUpdate;
        m_dirtyFlight = false;
        if (m_active && onShot)
            onShot(*m_shotID, entry);
    }
    requestFrame();
}

// --- The frame step --------------------------------------------------------------------------

void GameScene::update(double currentTime)
{
    if (m_paused)
        return;
    m_lastUpdate = currentTime;
    if ((m_active || m_practice) && m_returnAt && currentTime >= *m_returnAt && !isDragging())
        resetForThrow();

    updateAimGuide();
    updateCountdown();

    if (m_interactive && !isDragging() && !m_sending)
        updateFlight(currentTime);

    m_world.step(currentTime);
}

void GameScene::updateAimGuide()
{
    if (!m_hoop || !m_interactive || !(m_waitingForThrow || isDragging())) {
        if (m_aimGuide.isShown())
            m_aimGuide.clear();
        return;
    }
    const SceneField field(m_size);
    const QPointF drag = m_gesture.aimDrag(field.side());
    if (const auto v = TrackpadThrow::velocity(drag.x(), drag.y()))
        m_aimGuide.draw(field, m_world.ballPosition(), *v, *m_hoop);
    else
        m_aimGuide.clear();
}

void GameScene::updateCountdown()
{
    LabelNode &timer = m_world.timer();
    if (!m_ends || !m_active) {
        if (!timer.text().isEmpty())
            timer.setText({});
        m_shownSeconds.reset();
        return;
    }
    const double untilEnd = double(m_wallClock().msecsTo(*m_ends)) / 1000;
    const double remaining = std::max(0.0, untilEnd - m_offset);
    const auto seconds = qint64(std::ceil(remaining));
    if (m_shownSeconds != seconds) {
        m_shownSeconds = seconds;
        timer.setText(QString::asprintf("%02lld", static_cast<long long>(seconds)));
    }
    if (remaining == 0) {
        // The round is over for this player; the hoop stays.
        m_active = false;
        m_interactive = false;
        m_world.setBallHidden(true);
        m_world.setBallDynamic(false);
    }
}

void GameScene::updateFlight(double currentTime)
{
    ThrowRules::Frame frame;
    frame.sceneSize = m_size;
    frame.position = m_world.ballPosition();
    frame.velocity = m_world.ballVelocity();
    frame.scoring = m_active || m_practice;
    frame.practice = m_practice;
    frame.canTransfer = m_canTransfer;
    frame.inFlight = !m_waitingForThrow && !m_returnAt;
    frame.hoop = m_hoop;
    frame.shot = m_shotID;
    frame.clean = m_shotStart && !m_dirtyFlight;
    frame.previous = m_previous;
    frame.elapsed = currentTime - m_shotStart.value_or(currentTime);
    const ThrowRules::Decision decision = ThrowRules::judge(frame);

    if (decision.velocity != frame.velocity)
        m_world.setBallVelocity(decision.velocity);
    if (decision.pass) {
        m_sending = true;
        m_world.setBallHidden(true);
        if (onTransfer)
            onTransfer(*decision.pass);
        return;
    }
    if (decision.returnIn)
        m_returnAt = currentTime + *decision.returnIn;
    if (decision.hit && m_practice) {
        ++m_practiceHits;
        celebrate();
        if (onPracticeScore)
            onPracticeScore();
        m_world.hint().setText(u"Попадание! 🏀 Тренировка · "_s + QString::number(m_practiceHits));
    } else if (decision.hit && onScore) {
        onScore(*m_shotID, *m_previous, *decision.sample);
    }
    if (decision.sample)
        m_previous = decision.sample;
    m_shotID = decision.shot;
    if (decision.lost) {
        m_world.setBallPosition({ m_size.width() * 0.3, m_size.height() * 0.3 });
        m_world.setBallVelocity({});
    }
}
