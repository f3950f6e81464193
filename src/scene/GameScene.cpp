#include "scene/GameScene.h"

#include "scene/AimQuality.h"
#include "scene/LabelNode.h"
#include "scene/ShapeNode.h"
#include "scene/TrackpadThrow.h"

#include <box2d/box2d.h>

#include <QFont>
#include <QUuid>

#include <algorithm>
#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QColor systemOrange(0xFF, 0x95, 0x00);
const QColor systemGreen(0x34, 0xC7, 0x59);
const QColor systemGrey(0x8E, 0x8E, 0x93);

constexpr double gravityInSides = 1.3;
constexpr double maxSpeedInSides = Entry::maxSpeed;
constexpr int velocityIterations = 8;
constexpr int positionIterations = 3;
// After a stall the world catches up by at most this many steps instead of racing.
constexpr int maxStepsPerFrame = 4;

enum class Face { BoldMonospace, MediumSans, BoldSans };

QFont sceneFont(Face face, int pixelSize)
{
    QFont font(face == Face::BoldMonospace ? u"Monospace"_s : u"Sans Serif"_s);
    font.setStyleHint(face == Face::BoldMonospace ? QFont::Monospace : QFont::SansSerif);
    font.setWeight(face == Face::MediumSans ? QFont::Medium : QFont::Bold);
    font.setPixelSize(pixelSize);
    return font;
}

b2Vec2 toMetres(QPointF points)
{
    return b2Vec2(float(points.x() / GameScene::pointsPerMetre),
        float(points.y() / GameScene::pointsPerMetre));
}

QPointF toPoints(const b2Vec2 &metres)
{
    return QPointF(metres.x * GameScene::pointsPerMetre, metres.y * GameScene::pointsPerMetre);
}

b2Filter solidFilter()
{
    b2Filter filter;
    filter.categoryBits = BallContactListener::solidCategory;
    return filter;
}

b2Body *createStaticBody(b2World &world, QPointF position)
{
    b2BodyDef def;
    def.type = b2_staticBody;
    def.position = toMetres(position);
    return world.CreateBody(&def);
}

void attachSolid(b2Body &body, const b2Shape &shape, float restitution)
{
    b2FixtureDef fixture;
    fixture.shape = &shape;
    fixture.restitution = restitution;
    fixture.friction = 0.2f;
    fixture.filter = solidFilter();
    body.CreateFixture(&fixture);
}

// Far beyond any screen, yet well inside what the physics world's single precision holds.
// False for infinite and not-a-number coordinates too.
bool isReachable(QPointF scenePoint)
{
    constexpr double limit = 1e6;
    return std::abs(scenePoint.x()) <= limit && std::abs(scenePoint.y()) <= limit;
}

const QString &guideText(AimQuality::Grade grade)
{
    static const std::array<QString, 3> texts { u"↗ Отличный прицел"_s,
        u"↗ На грани · может попасть"_s, u"↗ Мимо · попробуй выше и вправо"_s };
    return texts[std::size_t(grade)];
}

const QString &guideTrajectoryName(AimQuality::Grade grade)
{
    static const std::array<QString, 3> names { u"quality-"_s
            + AimQuality::rawValue(AimQuality::Grade::Green),
        u"quality-"_s + AimQuality::rawValue(AimQuality::Grade::Gray),
        u"quality-"_s + AimQuality::rawValue(AimQuality::Grade::Black) };
    return names[std::size_t(grade)];
}

QColor gradeColor(AimQuality::Grade grade)
{
    switch (grade) {
    case AimQuality::Grade::Green:
        return systemGreen;
    case AimQuality::Grade::Gray:
        return systemGrey;
    case AimQuality::Grade::Black:
        break;
    }
    return Qt::black;
}

} // namespace

GameScene::GameScene()
    : m_wallClock([] { return QDateTime::currentDateTimeUtc(); })
{
    m_contacts.onBallContact = [this] { didBegin(); };
    m_samples.reserve(32);
    m_hoopBodies.reserve(3);
    build();
}

GameScene::~GameScene() = default;

// --- Geometry --------------------------------------------------------------------------------

double GameScene::fieldSide() const
{
    return std::max(std::min(m_size.width(), m_size.height()), 400.0);
}

QPointF GameScene::origin() const
{
    const double side = fieldSide();
    return QPointF((m_size.width() - side) * 0.5, (m_size.height() - side) * 0.5);
}

QPointF GameScene::point(double x, double y) const
{
    const double side = fieldSide();
    return origin() + QPointF(x * side, y * side);
}

QPointF GameScene::normalized(QPointF scenePoint) const
{
    const double side = fieldSide();
    const QPointF fromOrigin = scenePoint - origin();
    return QPointF(fromOrigin.x() / side, fromOrigin.y() / side);
}

double GameScene::ballRadius() const
{
    return Hoop::standard().radius * fieldSide();
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
    m_dragging = false;
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
        m_physicsTime.reset();
        m_physicsBacklog = 0;
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
    const bool ballMoving = m_ballBody->GetType() == b2_dynamicBody && m_ballBody->IsAwake();
    const bool returnPending = m_returnAt && (m_active || m_practice);
    // At zero the round ends at once, but its "00" is still up until the next frame clears it.
    const bool countingDown = (m_active && m_ends) || !m_timerLabel->text().isEmpty();
    const bool animating = std::any_of(m_root.children().begin(), m_root.children().end(),
        [](const auto &child) { return child->hasAction(); });
    return ballMoving || m_dragging || returnPending || countingDown || animating;
}

void GameScene::collectDamage(std::vector<QRectF> &damage)
{
    m_root.collectDamage(damage);
}

// --- Building --------------------------------------------------------------------------------

void GameScene::build()
{
    // The hint outlives a rebuild; everything else is set again by the rules.
    const QString hintText = m_hint ? m_hint->text() : QString();
    m_root.removeAllChildren();
    m_ball = nullptr;
    m_guideOutline = m_guideTrajectory = nullptr;
    m_guideLabel = nullptr;
    m_hoopBodies.clear();

    const double side = fieldSide();
    const double width = m_size.width();
    const double height = m_size.height();
    m_world = std::make_unique<b2World>(b2Vec2(0, float(-gravityInSides * side / pointsPerMetre)));
    m_world->SetContactListener(&m_contacts);
    m_physicsTime.reset();
    m_physicsBacklog = 0;

    m_root.addChild(std::make_unique<Node>(u"edge"_s));
    // Corners closer than Box2D's linear slop would fail its checks; a real screen is far larger.
    if (width >= 1 && height >= 1) {
        const std::array<b2Vec2, 4> corners { toMetres({ 0, 0 }), toMetres({ width, 0 }),
            toMetres({ width, height }), toMetres({ 0, height }) };
        b2ChainShape loop;
        loop.CreateLoop(corners.data(), int(corners.size()));
        attachSolid(*createStaticBody(*m_world, {}), loop, 0.72f);
    }

    const double r = ballRadius();
    auto ball = ShapeNode::circle(r);
    ball->setName(u"ball"_s);
    ball->setFillColor(QColor::fromRgbF(0.98f, 0.39f, 0.12f, 1.0f));
    ball->setStrokeColor(Qt::black);
    ball->setLineWidth(2);
    for (const auto &[from, to] :
        { std::pair(QPointF(-r, 0), QPointF(r, 0)), std::pair(QPointF(0, -r), QPointF(0, r)) }) {
        auto *seam = ball->addChild(ShapeNode::line(from, to));
        seam->setName(u"seam"_s);
        seam->setStrokeColor(Qt::black);
        seam->setLineWidth(1.5);
    }
    m_ball = m_root.addChild(std::move(ball));

    b2BodyDef ballDef;
    ballDef.type = b2_dynamicBody;
    ballDef.position = toMetres({ width * 0.35, r + 30 });
    ballDef.linearDamping = 0;
    ballDef.angularDamping = 0.3f;
    ballDef.bullet = true;
    m_ballBody = m_world->CreateBody(&ballDef);
    b2CircleShape circle;
    circle.m_radius = float(r / pointsPerMetre);
    b2FixtureDef ballFixture;
    ballFixture.shape = &circle;
    ballFixture.density = 1;
    ballFixture.restitution = 0.72f;
    ballFixture.friction = 0.4f;
    ballFixture.filter.categoryBits = BallContactListener::ballCategory;
    ballFixture.filter.maskBits = BallContactListener::solidCategory;
    m_ballBody->CreateFixture(&ballFixture);

    m_hoopNode = m_root.addChild(std::make_unique<Node>(u"visibleHoop"_s));

    m_timerLabel = m_root.addChild(std::make_unique<LabelNode>(u"timer"_s));
    m_timerLabel->setFont(sceneFont(Face::BoldMonospace, 24));
    m_timerLabel->setPosition({ width * 0.5, height - 70 });
    m_shownSeconds.reset();

    m_hint = m_root.addChild(std::make_unique<LabelNode>(u"hint"_s));
    m_hint->setFont(sceneFont(Face::MediumSans, 15));
    m_hint->setPosition({ width * 0.5, 40 });
    m_hint->setText(hintText);

    m_aimGuide = m_root.addChild(std::make_unique<Node>(u"aimQualityGuide"_s));

    drawHoop(m_hoop.value_or(defaultHoop));

    // A new ball takes up the state of the one it replaces: at rest while hidden or parked.
    setBallDynamic(m_interactive && !m_waitingForThrow && !m_dragging && !m_sending);
    setBallHidden(!m_interactive || m_sending);
    syncBallNode();
}

void GameScene::drawHoop(const Hoop &hoop)
{
    const double side = fieldSide();
    const QPointF c = point(hoop.x, hoop.y);
    const double a = side * hoop.width * 0.5;
    const QPointF leftEnd(c.x() - a, c.y());
    const QPointF rightEnd(c.x() + a, c.y());
    const QPointF boardCentre(c.x() + a + 10, c.y() + 0.075 * side);
    // A hoop out of all reach (a corrupt round) is neither drawn nor solid.
    if (!isReachable(leftEnd) || !isReachable(rightEnd) || !isReachable(boardCentre))
        return;

    const QSizeF boardSize(12, 0.19 * side);
    auto *board = m_hoopNode->addChild(ShapeNode::roundedRect(boardSize, 4));
    board->setName(u"backboard"_s);
    board->setPosition(boardCentre);
    board->setFillColor(QColor(255, 255, 255, int(0.85 * 255)));
    board->setStrokeColor(systemGrey);
    // A hoop drawn only for show has nothing to bounce off.
    if (m_hoop) {
        b2PolygonShape box;
        box.SetAsBox(float(boardSize.width() / 2 / pointsPerMetre),
            float(boardSize.height() / 2 / pointsPerMetre));
        b2Body *body = createStaticBody(*m_world, board->position());
        attachSolid(*body, box, 0.2f);
        m_hoopBodies.push_back(body);
    }

    auto *rim = m_hoopNode->addChild(ShapeNode::line(leftEnd, rightEnd));
    rim->setName(u"rim"_s);
    rim->setStrokeColor(systemOrange);
    rim->setLineWidth(5);

    for (const QPointF end : { leftEnd, rightEnd }) {
        auto *node = m_hoopNode->addChild(ShapeNode::circle(4));
        node->setName(u"rimEnd"_s);
        node->setPosition(end);
        node->setFillColor(systemOrange);
        b2CircleShape circle;
        circle.m_radius = float(4 / pointsPerMetre);
        b2Body *body = createStaticBody(*m_world, end);
        attachSolid(*body, circle, 0.65f);
        m_hoopBodies.push_back(body);
    }

    QPainterPath net;
    for (int i = 0; i <= 5; ++i) {
        const double topX = leftEnd.x() + i * 2 * a / 5;
        net.moveTo(topX, c.y() - 3);
        net.lineTo(c.x() + (topX - c.x()) * 0.65, c.y() - 0.09 * side);
    }
    auto *netNode = m_hoopNode->addChild(std::make_unique<ShapeNode>(u"net"_s));
    netNode->setPath(net);
    netNode->setStrokeColor(QColor(255, 255, 255, int(0.7 * 255)));
    netNode->setLineWidth(1);
}

void GameScene::clearHoop()
{
    m_hoopNode->removeAllChildren();
    for (b2Body *body : m_hoopBodies)
        m_world->DestroyBody(body);
    m_hoopBodies.clear();
}

// --- The ball --------------------------------------------------------------------------------

QPointF GameScene::ballPosition() const
{
    return toPoints(m_ballBody->GetPosition());
}

QPointF GameScene::ballVelocity() const
{
    return toPoints(m_ballBody->GetLinearVelocity());
}

bool GameScene::isBallDynamic() const
{
    return m_ballBody->GetType() == b2_dynamicBody;
}

void GameScene::setBallPosition(QPointF scenePoint)
{
    m_ballBody->SetTransform(toMetres(scenePoint), m_ballBody->GetAngle());
    m_ball->setPosition(scenePoint);
}

void GameScene::setBallVelocity(QPointF pointsPerSecond)
{
    m_ballBody->SetLinearVelocity(toMetres(pointsPerSecond));
}

// A ball that is not dynamic stays where it is put and collides with nothing: every other
// body is static too.
void GameScene::setBallDynamic(bool dynamic)
{
    m_ballBody->SetType(dynamic ? b2_dynamicBody : b2_staticBody);
}

void GameScene::setBallHidden(bool hidden)
{
    m_ball->setHidden(hidden);
}

void GameScene::syncBallNode()
{
    m_ball->setPosition(ballPosition());
    m_ball->setRotation(m_ballBody->GetAngle());
}

QRectF GameScene::ballHitRect() const
{
    if (m_ball->isHidden())
        return {};
    const double r = ballRadius();
    const QPointF p = ballPosition();
    return QRectF(p.x() - r - 20, p.y() - r - 20, 2 * r + 40, 2 * r + 40);
}

void GameScene::resetForThrow()
{
    m_waitingForThrow = true;
    m_returnAt.reset();
    m_shotID.reset();
    m_shotStart.reset();
    m_previous.reset();
    m_dirtyFlight = false;
    clearAimGuide();
    setBallDynamic(false);
    setBallPosition(point(startSpot.x(), startSpot.y()));
    setBallVelocity({});
    m_ballBody->SetAngularVelocity(0);
}

// --- The coordinator's operations ------------------------------------------------------------

void GameScene::configure(
    const std::optional<Round> &round, bool holder, bool available, double serverOffset)
{
    m_offset = serverOffset;
    m_canTransfer = available;

    const bool practice = !round && holder;
    const std::optional<QString> roundID = round ? std::optional(round->id) : std::nullopt;
    if (roundID != m_roundID || practice != m_practice) {
        m_practice = practice;
        m_roundID = roundID;
        m_shotID.reset();
        m_shotStart.reset();
        m_previous.reset();
        m_returnAt.reset();
        m_dragging = false;
        m_sending = false;
        m_waitingForThrow = false;
        m_hoop = round ? std::optional(round->hoop)
                       : (practice ? std::optional(defaultHoop) : std::nullopt);
        clearHoop();
        if (!m_hoop) {
            drawHoop(defaultHoop);
            setBallPosition({ m_size.width() * 0.35, ballRadius() + 30 });
            setBallVelocity({});
        } else {
            drawHoop(*m_hoop);
            resetForThrow();
        }
    }

    m_active = round && round->isActive();
    const std::optional<QDateTime> ends = round ? round->endsAtTime() : std::nullopt;
    if (ends != m_ends)
        m_shownSeconds.reset();
    m_ends = ends;

    m_interactive = holder || round.has_value();
    // A ball on its way to someone else stays out of sight until the transfer is settled.
    setBallHidden(!m_interactive || m_sending);
    if (!m_interactive) {
        m_dragging = false;
        setBallDynamic(false);
    } else if (!m_dragging) {
        setBallDynamic(!m_waitingForThrow);
    }

    if (round)
        m_hint->setText(u"Легко! Потяни мяч ↗ и отпусти · Мы поможем попасть"_s);
    else if (holder)
        m_hint->setText(u"Тренировка · Потяни мяч ↗ и отпусти · Передача другу — в окне игры"_s);
    else
        m_hint->setText(u"Hoop ready · Waiting for an incoming ball"_s);
    requestFrame();
}

void GameScene::celebrate()
{
    auto plusOne = std::make_unique<LabelNode>(u"plusOne"_s);
    plusOne->setFont(sceneFont(Face::BoldSans, 64));
    plusOne->setText(u"+1"_s);
    plusOne->setColor(systemGreen);
    plusOne->setPosition(ballPosition());
    plusOne->run({ QPointF(0, 80), 0.0, 0.65, true });
    m_root.addChild(std::move(plusOne));
    requestFrame();
}

void GameScene::transferFailed(const QString &message)
{
    m_sending = false;
    if (m_practice)
        resetForThrow();
    setBallHidden(false);
    if (!m_practice)
        setBallPosition({ m_size.width() * 0.3, ballRadius() + 40 });
    setBallVelocity({});
    m_hint->setText(message);
    requestFrame();
}

void GameScene::didBegin()
{
    m_dirtyFlight = true;
    if ((m_active || m_practice) && !m_waitingForThrow && !m_dragging && m_shotID && !m_returnAt)
        m_returnAt = m_lastUpdate + 0.8;
}

// --- Pointer input ---------------------------------------------------------------------------

void GameScene::mouseDown(QPointF location, double uptime)
{
    if (!m_interactive || m_sending || !ballHitRect().contains(location))
        return;
    m_dragging = true;
    m_gestureStart = m_gestureEnd = location;
    if (m_hoop) {
        // Picking up a flying or resting ball puts it back on the start spot.
        setBallPosition(point(startSpot.x(), startSpot.y()));
        m_returnAt.reset();
        m_waitingForThrow = true;
    }
    m_shotID.reset();
    m_previous.reset();
    setBallDynamic(false);
    m_samples.clear();
    m_samples.push_back({ location, uptime });
    requestFrame();
}

void GameScene::mouseDragged(QPointF location, double uptime)
{
    if (!m_dragging)
        return;
    m_gestureEnd = location;
    if (m_hoop) {
        setBallPosition(point(startSpot.x(), startSpot.y()));
    } else {
        const double r = ballRadius();
        setBallPosition({ qBound(r, location.x(), m_size.width() - r),
            qBound(r, location.y(), m_size.height() - r) });
    }
    m_samples.push_back({ location, uptime });
    std::erase_if(m_samples, [uptime](const PointerSample &s) { return uptime - s.time > 0.12; });
}

void GameScene::mouseUp(QPointF location, double uptime)
{
    if (!m_dragging)
        return;
    m_dragging = false;
    const double side = fieldSide();
    if (m_hoop && m_gestureStart) {
        m_gestureEnd = location;
        const QPointF drag = (location - *m_gestureStart) / side;
        const auto v = TrackpadThrow::velocity(drag.x(), drag.y());
        if (!v) {
            resetForThrow(); // a tap
            requestFrame();
            return;
        }
        releaseBall(Entry { startSpot.x(), startSpot.y(), v->x(), v->y() });
        return;
    }
    // A flick: the velocity of the last 0.12 s of the drag.
    const PointerSample oldest
        = m_samples.empty() ? PointerSample { ballPosition(), uptime - 0.01 } : m_samples.front();
    const double dt = std::max(uptime - oldest.time, 0.016);
    const double boost = m_hoop ? 1.25 : 1.0;
    const QPointF v = (location - oldest.location) / dt / side * boost;
    const QPointF n = normalized(ballPosition());
    releaseBall(Entry { n.x(), n.y(), std::clamp(v.x(), -maxSpeedInSides, maxSpeedInSides),
        std::clamp(v.y(), -maxSpeedInSides, maxSpeedInSides) });
}

void GameScene::releaseBall(const Entry &entry)
{
    if (!std::isfinite(entry.vx) || !std::isfinite(entry.vy)
        || !isReachable(point(entry.x, entry.y)))
        return;
    const double side = fieldSide();
    m_latestRelease = entry;
    m_waitingForThrow = false;
    m_previous.reset();
    m_returnAt.reset();
    clearAimGuide();
    setBallPosition(point(entry.x, entry.y));
    setBallDynamic(true);
    setBallVelocity({ std::clamp(entry.vx, -maxSpeedInSides, maxSpeedInSides) * side,
        std::clamp(entry.vy, -maxSpeedInSides, maxSpeedInSides) * side });
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
    if ((m_active || m_practice) && m_returnAt && currentTime >= *m_returnAt && !m_dragging)
        resetForThrow();

    if (m_hoop && m_interactive && (m_waitingForThrow || m_dragging))
        drawAimGuide();
    else if (m_aimGuide->hasChildren())
        clearAimGuide();

    updateCountdown();

    if (m_interactive && !m_dragging && !m_sending)
        updateFlight(currentTime);

    m_root.advanceActions(currentTime);
    stepPhysics(currentTime);
    syncBallNode();
}

void GameScene::updateCountdown()
{
    if (!m_ends || !m_active) {
        if (!m_timerLabel->text().isEmpty())
            m_timerLabel->setText({});
        m_shownSeconds.reset();
        return;
    }
    const double untilEnd = double(m_wallClock().msecsTo(*m_ends)) / 1000;
    const double remaining = std::max(0.0, untilEnd - m_offset);
    const auto seconds = qint64(std::ceil(remaining));
    if (m_shownSeconds != seconds) {
        m_shownSeconds = seconds;
        m_timerLabel->setText(QString::asprintf("%02lld", static_cast<long long>(seconds)));
    }
    if (remaining == 0) {
        // The round is over for this player; the hoop stays.
        m_active = false;
        m_interactive = false;
        setBallHidden(true);
        setBallDynamic(false);
    }
}

void GameScene::updateFlight(double currentTime)
{
    const double side = fieldSide();

    const float limit = float(maxSpeedInSides * side / pointsPerMetre);
    const b2Vec2 velocity = m_ballBody->GetLinearVelocity();
    const b2Vec2 limited(
        std::clamp(velocity.x, -limit, limit), std::clamp(velocity.y, -limit, limit));
    if (limited.x != velocity.x || limited.y != velocity.y)
        m_ballBody->SetLinearVelocity(limited);

    const QPointF p = ballPosition();
    const bool inFlight = !m_waitingForThrow && !m_returnAt;
    if (m_practice && m_canTransfer && inFlight
        && (p.x() >= point(1, 0).x() || p.x() <= point(0, 0).x() || p.y() >= point(0, 1).y())) {
        m_sending = true;
        setBallHidden(true);
        const QPointF n = normalized(p);
        const QPointF v = toPoints(limited) / side;
        if (onTransfer)
            onTransfer(
                Entry { std::clamp(n.x(), 0.0, 1.0), std::clamp(n.y(), 0.0, 1.0), v.x(), v.y() });
        return;
    }

    const bool scoring = m_active || m_practice;
    if (scoring && inFlight && (p.y() < point(0, 0.08).y() || p.x() > point(1.02, 0).x()))
        m_returnAt = currentTime + 0.4;

    if (m_shotID && m_shotStart && !m_dirtyFlight && scoring && m_hoop) {
        const Hoop &hoop = *m_hoop;
        const QPointF n = normalized(p);
        const CrossingSample now { n.x(), n.y(), currentTime - *m_shotStart };
        // The centre went down through the hoop's height since the last frame.
        if (m_previous && m_previous->y > hoop.y && hoop.y >= n.y() && m_previous->y > n.y()) {
            const double f = (m_previous->y - hoop.y) / (m_previous->y - n.y());
            const double crossingX = m_previous->x + (n.x() - m_previous->x) * f;
            // The whole ball passed between the rim ends.
            if (std::abs(crossingX - hoop.x) + hoop.radius <= hoop.width * 0.5) {
                const QString shotID = *m_shotID;
                m_shotID.reset(); // one hit per shot
                if (m_practice) {
                    ++m_practiceHits;
                    celebrate();
                    if (onPracticeScore)
                        onPracticeScore();
                    m_hint->setText(
                        u"Попадание! 🏀 Тренировка · "_s + QString::number(m_practiceHits));
                    m_returnAt = currentTime + 0.8;
                } else if (onScore) {
                    onScore(shotID, *m_previous, now);
                }
            }
        }
        m_previous = now;
    }

    const double r = ballRadius();
    const bool lost = !std::isfinite(p.x()) || !std::isfinite(p.y()) || p.x() < -r
        || p.x() > m_size.width() + r || p.y() < -r || p.y() > m_size.height() + r;
    if (lost) {
        setBallPosition({ m_size.width() * 0.3, m_size.height() * 0.3 });
        setBallVelocity({});
        m_shotID.reset();
    }
}

void GameScene::stepPhysics(double currentTime)
{
    int steps = 1;
    if (m_physicsTime) {
        // Steps of a fixed length, as many as the frames' clock asks for on average.
        const double elapsed = std::max(0.0, currentTime - *m_physicsTime);
        m_physicsBacklog = std::min(m_physicsBacklog + elapsed, maxStepsPerFrame * timeStep);
        steps = int(std::floor(m_physicsBacklog / timeStep + 0.5));
        m_physicsBacklog -= steps * timeStep;
    }
    m_physicsTime = currentTime;
    for (int i = 0; i < steps; ++i)
        m_world->Step(float(timeStep), velocityIterations, positionIterations);
}

// --- The aim guide ---------------------------------------------------------------------------

void GameScene::clearAimGuide()
{
    m_aimGuide->removeAllChildren();
    m_guideOutline = m_guideTrajectory = nullptr;
    m_guideLabel = nullptr;
}

// Rebuilt every frame while the ball waits or is held; an unchanged guide changes no node.
void GameScene::drawAimGuide()
{
    const double side = fieldSide();
    QPointF drag(0.08, 0.08); // previews a gentle up-right throw
    if (m_dragging) {
        const QPointF start = m_gestureStart.value_or(QPointF());
        const QPointF end = m_gestureEnd.value_or(QPointF());
        drag = (end - start) / side;
    }
    const auto v = TrackpadThrow::velocity(drag.x(), drag.y());
    if (!v || !m_hoop) {
        clearAimGuide();
        return;
    }
    const QPointF ballAt = ballPosition();
    const QPointF b = normalized(ballAt);
    const AimQuality::Grade grade
        = AimQuality::predict(Entry { b.x(), b.y(), v->x(), v->y() }, *m_hoop);

    const double floor = point(0, 0.08).y();
    const double right = point(1.02, 0).x();
    const double left = point(-0.02, 0).x();
    m_guidePath.clear();
    m_guidePath.moveTo(ballAt);
    for (int i = 1; i <= 120; ++i) {
        const double t = 0.02 * i;
        const QPointF p
            = point(b.x() + v->x() * t, b.y() + v->y() * t - 0.5 * gravityInSides * t * t);
        if (p.y() < floor || p.x() > right || p.x() < left)
            break;
        m_guidePath.lineTo(p);
    }

    if (!m_guideOutline) {
        m_guideOutline = m_aimGuide->addChild(std::make_unique<ShapeNode>(u"aimOutline"_s));
        m_guideOutline->setStrokeColor(QColor(255, 255, 255, int(0.75 * 255)));
        m_guideOutline->setLineWidth(7);
        m_guideTrajectory = m_aimGuide->addChild(std::make_unique<ShapeNode>());
        m_guideTrajectory->setLineWidth(4);
        m_guideLabel = m_aimGuide->addChild(std::make_unique<LabelNode>(u"aimText"_s));
        m_guideLabel->setFont(sceneFont(Face::BoldSans, 16));
        m_guideLabel->setAlignment(LabelNode::Alignment::Left);
    }
    if (m_guidePath != m_guideTrajectory->path()) {
        m_guideTrajectory->swapPathIfDifferent(m_guidePath);
        m_guideOutline->setPath(m_guideTrajectory->path());
    }
    const QColor color = gradeColor(grade);
    if (m_guideTrajectory->name() != guideTrajectoryName(grade))
        m_guideTrajectory->setName(guideTrajectoryName(grade));
    m_guideTrajectory->setStrokeColor(color);
    m_guideLabel->setText(guideText(grade));
    m_guideLabel->setColor(grade == AimQuality::Grade::Black ? QColor(Qt::white) : color);
    m_guideLabel->setPosition(ballAt + QPointF(25, -38));
}
