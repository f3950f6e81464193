#include "scene/SceneWorld.h"

#include "scene/LabelNode.h"
#include "scene/SceneField.h"
#include "scene/SceneStyle.h"
#include "scene/ShapeNode.h"
#include "scene/ThrowRules.h"

#include <box2d/box2d.h>

#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int velocityIterations = 8;
constexpr int positionIterations = 3;
// After a stall the world catches up by at most this many steps instead of racing.
constexpr int maxStepsPerFrame = 4;

b2Vec2 toMetres(QPointF points)
{
    return b2Vec2(float(points.x() / SceneWorld::pointsPerMetre),
        float(points.y() / SceneWorld::pointsPerMetre));
}

QPointF toPoints(const b2Vec2 &metres)
{
    return QPointF(metres.x * SceneWorld::pointsPerMetre, metres.y * SceneWorld::pointsPerMetre);
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
    fixture.filter.categoryBits = BallContactListener::solidCategory;
    body.CreateFixture(&fixture);
}

// Far beyond any screen, yet well inside what the physics world's single precision holds.
// False for infinite and not-a-number coordinates too.
bool isReachable(QPointF scenePoint)
{
    constexpr double limit = 1e6;
    return std::abs(scenePoint.x()) <= limit && std::abs(scenePoint.y()) <= limit;
}

} // namespace

SceneWorld::SceneWorld()
{
    m_contacts.onBallContact = [this] {
        if (onBallContact)
            onBallContact();
    };
    m_hoopBodies.reserve(3);
}

SceneWorld::~SceneWorld() = default;

void SceneWorld::build(QSizeF size, const Hoop &hoop, bool solidHoop)
{
    const QString hintText = m_hint ? m_hint->text() : QString();
    m_root.removeAllChildren();
    m_hoopBodies.clear();
    m_size = size;

    const SceneField field(size);
    const double width = size.width();
    const double height = size.height();
    m_world = std::make_unique<b2World>(
        b2Vec2(0, float(-ThrowRules::gravity * field.side() / pointsPerMetre)));
    m_world->SetContactListener(&m_contacts);
    restartClock();

    m_root.addChild(std::make_unique<Node>(u"edge"_s));
    // Corners closer than Box2D's linear slop would fail its checks; a real screen is far larger.
    if (width >= 1 && height >= 1) {
        // Clockwise: a chain collides only on the right of each segment, so this winding
        // makes the walls solid from inside the scene.
        const std::array<b2Vec2, 4> corners { toMetres({ 0, 0 }), toMetres({ 0, height }),
            toMetres({ width, height }), toMetres({ width, 0 }) };
        b2ChainShape loop;
        loop.CreateLoop(corners.data(), int(corners.size()));
        attachSolid(*createStaticBody(*m_world, {}), loop, 0.72f);
    }

    const double r = field.ballRadius();
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

    m_timer = m_root.addChild(std::make_unique<LabelNode>(u"timer"_s));
    m_timer->setFont(SceneStyle::font(SceneStyle::Face::BoldMonospace, 24));
    m_timer->setPosition({ width * 0.5, height - 70 });

    m_hint = m_root.addChild(std::make_unique<LabelNode>(u"hint"_s));
    m_hint->setFont(SceneStyle::font(SceneStyle::Face::MediumSans, 15));
    m_hint->setPosition({ width * 0.5, 40 });
    m_hint->setText(hintText);

    m_aimGuide = m_root.addChild(std::make_unique<Node>(u"aimQualityGuide"_s));

    drawHoop(hoop, solidHoop);
    syncBallNode();
}

void SceneWorld::drawHoop(const Hoop &hoop, bool solid)
{
    m_hoopNode->removeAllChildren();
    for (b2Body *body : m_hoopBodies)
        m_world->DestroyBody(body);
    m_hoopBodies.clear();

    const SceneField field(m_size);
    const double side = field.side();
    const QPointF c = field.point(hoop.x, hoop.y);
    const double a = side * hoop.width * 0.5;
    const QPointF leftEnd(c.x() - a, c.y());
    const QPointF rightEnd(c.x() + a, c.y());
    const QPointF boardCentre(c.x() + a + 10, c.y() + 0.075 * side);
    if (!isReachable(leftEnd) || !isReachable(rightEnd) || !isReachable(boardCentre))
        return;

    const QSizeF boardSize(12, 0.19 * side);
    auto *board = m_hoopNode->addChild(ShapeNode::roundedRect(boardSize, 4));
    board->setName(u"backboard"_s);
    board->setPosition(boardCentre);
    board->setFillColor(QColor(255, 255, 255, int(0.85 * 255)));
    board->setStrokeColor(SceneStyle::grey);
    if (solid) {
        b2PolygonShape box;
        box.SetAsBox(float(boardSize.width() / 2 / pointsPerMetre),
            float(boardSize.height() / 2 / pointsPerMetre));
        b2Body *body = createStaticBody(*m_world, board->position());
        attachSolid(*body, box, 0.2f);
        m_hoopBodies.push_back(body);
    }

    auto *rim = m_hoopNode->addChild(ShapeNode::line(leftEnd, rightEnd));
    rim->setName(u"rim"_s);
    rim->setStrokeColor(SceneStyle::orange);
    rim->setLineWidth(5);

    for (const QPointF end : { leftEnd, rightEnd }) {
        auto *node = m_hoopNode->addChild(ShapeNode::circle(4));
        node->setName(u"rimEnd"_s);
        node->setPosition(end);
        node->setFillColor(SceneStyle::orange);
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

void SceneWorld::celebrate()
{
    auto plusOne = std::make_unique<LabelNode>(u"plusOne"_s);
    plusOne->setFont(SceneStyle::font(SceneStyle::Face::BoldSans, 64));
    plusOne->setText(u"+1"_s);
    plusOne->setColor(SceneStyle::green);
    plusOne->setPosition(ballPosition());
    plusOne->run({ QPointF(0, 80), 0.0, 0.65, true });
    m_root.addChild(std::move(plusOne));
}

QPointF SceneWorld::ballPosition() const
{
    return toPoints(m_ballBody->GetPosition());
}

QPointF SceneWorld::ballVelocity() const
{
    return toPoints(m_ballBody->GetLinearVelocity());
}

void SceneWorld::setBallPosition(QPointF scenePoint)
{
    m_ballBody->SetTransform(toMetres(scenePoint), m_ballBody->GetAngle());
    m_ball->setPosition(scenePoint);
}

void SceneWorld::setBallVelocity(QPointF pointsPerSecond)
{
    m_ballBody->SetLinearVelocity(toMetres(pointsPerSecond));
}

void SceneWorld::stopSpin()
{
    m_ballBody->SetAngularVelocity(0);
}

// Every other body is static: a ball that is not dynamic touches nothing.
void SceneWorld::setBallDynamic(bool dynamic)
{
    m_ballBody->SetType(dynamic ? b2_dynamicBody : b2_staticBody);
}

bool SceneWorld::isBallMoving() const
{
    return m_ballBody->GetType() == b2_dynamicBody && m_ballBody->IsAwake();
}

void SceneWorld::setBallHidden(bool hidden)
{
    m_ball->setHidden(hidden);
}

bool SceneWorld::isBallHidden() const
{
    return m_ball->isHidden();
}

bool SceneWorld::isAnimating() const
{
    return std::any_of(m_root.children().begin(), m_root.children().end(),
        [](const auto &child) { return child->hasAction(); });
}

void SceneWorld::restartClock()
{
    m_physicsTime.reset();
    m_physicsBacklog = 0;
}

void SceneWorld::step(double currentTime)
{
    m_root.advanceActions(currentTime);
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
    syncBallNode();
}

void SceneWorld::syncBallNode()
{
    m_ball->setPosition(ballPosition());
    m_ball->setRotation(m_ballBody->GetAngle());
}
