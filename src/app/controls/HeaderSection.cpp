#include "HeaderSection.h"

#include "ControlStyle.h"
#include "app/BasketballIcon.h"
#include "model/AppModel.h"

#include <QHBoxLayout>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace {
constexpr int statusSize = 10;
}

HeaderSection::HeaderSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"header"_s, parent)
    , m_status(new QLabel(this))
{
    auto *ball = new QLabel(this);
    ball->setPixmap(BasketballIcon::pixmap(22));
    m_status->setObjectName(u"connectionStatus"_s);
    m_status->setFixedSize(statusSize, statusSize);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ball);
    layout->addWidget(ControlStyle::headline(u"TOSSWICK"_s, this));
    layout->addStretch();
    layout->addWidget(m_status);
}

void HeaderSection::refresh()
{
    const bool connected = model().connected();
    const QColor colour = connected ? ControlStyle::green : ControlStyle::grey;
    m_status->setStyleSheet(
        u"background: %1; border-radius: %2px;"_s.arg(colour.name()).arg(statusSize / 2));
    m_status->setToolTip(connected ? u"Connected"_s : u"Not connected"_s);
}
