#include "scene/AimGuide.h"

#include "scene/AimQuality.h"
#include "scene/LabelNode.h"
#include "scene/SceneField.h"
#include "scene/SceneStyle.h"
#include "scene/ShapeNode.h"
#include "scene/ThrowRules.h"

#include <array>

using namespace Qt::StringLiterals;

namespace {

const QString &guideText(AimQuality::Grade grade)
{
    static const std::array<QString, 3> texts { u"↗ Отличный прицел"_s,
        u"↗ На грани · может попасть"_s, u"↗ Мимо · попробуй выше и вправо"_s };
    return texts[std::size_t(grade)];
}

const QString &trajectoryName(AimQuality::Grade grade)
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
        return SceneStyle::green;
    case AimQuality::Grade::Gray:
        return SceneStyle::grey;
    case AimQuality::Grade::Black:
        break;
    }
    return Qt::black;
}

} // namespace

void AimGuide::attach(Node *group)
{
    m_group = group;
    m_outline = m_trajectory = nullptr;
    m_label = nullptr;
}

bool AimGuide::isShown() const
{
    return m_group && m_group->hasChildren();
}

void AimGuide::clear()
{
    if (m_group)
        m_group->removeAllChildren();
    attach(m_group);
}

void AimGuide::draw(const SceneField &field, QPointF ballAt, QPointF velocity, const Hoop &hoop)
{
    const QPointF b = field.normalized(ballAt);
    const AimQuality::Grade grade
        = AimQuality::predict(Entry { b.x(), b.y(), velocity.x(), velocity.y() }, hoop);

    const double floor = field.point(0, 0.08).y();
    const double right = field.point(1.02, 0).x();
    const double left = field.point(-0.02, 0).x();
    m_path.clear();
    m_path.moveTo(ballAt);
    for (int i = 1; i <= 120; ++i) {
        const double t = 0.02 * i;
        const QPointF p = field.point(
            b.x() + velocity.x() * t, b.y() + velocity.y() * t - 0.5 * ThrowRules::gravity * t * t);
        if (p.y() < floor || p.x() > right || p.x() < left)
            break;
        m_path.lineTo(p);
    }

    if (!m_outline) {
        m_outline = m_group->addChild(std::make_unique<ShapeNode>(u"aimOutline"_s));
        m_outline->setStrokeColor(QColor(255, 255, 255, int(0.75 * 255)));
        m_outline->setLineWidth(7);
        m_trajectory = m_group->addChild(std::make_unique<ShapeNode>());
        m_trajectory->setLineWidth(4);
        m_label = m_group->addChild(std::make_unique<LabelNode>(u"aimText"_s));
        m_label->setFont(SceneStyle::font(SceneStyle::Face::BoldSans, 16));
        m_label->setAlignment(LabelNode::Alignment::Left);
    }
    if (m_path != m_trajectory->path()) {
        m_trajectory->swapPathIfDifferent(m_path);
        m_outline->setPath(m_trajectory->path());
    }
    const QColor color = gradeColor(grade);
    if (m_trajectory->name() != trajectoryName(grade))
        m_trajectory->setName(trajectoryName(grade));
    m_trajectory->setStrokeColor(color);
    m_label->setText(guideText(grade));
    m_label->setColor(grade == AimQuality::Grade::Black ? QColor(Qt::white) : color);
    m_label->setPosition(ballAt + QPointF(25, -38));
}
