#include "Disclosure.h"

#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

Disclosure::Disclosure(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_toggle(new QToolButton(this))
    , m_body(new QWidget(this))
    , m_bodyLayout(new QVBoxLayout(m_body))
{
    m_toggle->setObjectName(u"disclosure"_s);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setCheckable(true);
    m_toggle->setAutoRaise(true);
    m_bodyLayout->setContentsMargins(12, 0, 0, 0);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_toggle);
    layout->addWidget(m_body);
    connect(m_toggle, &QToolButton::toggled, this, &Disclosure::setExpanded);
    setTitle(title);
    setExpanded(false);
}

void Disclosure::setTitle(const QString &title)
{
    m_toggle->setText(title);
}

void Disclosure::setExpanded(bool expanded)
{
    m_toggle->setChecked(expanded);
    m_toggle->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    m_body->setVisible(expanded);
}
