#include "ControlView.h"

#include "ContactsSection.h"
#include "ControlStyle.h"
#include "HeaderSection.h"
#include "HistorySection.h"
#include "InvitationSection.h"
#include "LeaveSection.h"
#include "PlayerSection.h"
#include "PomodoroSection.h"
#include "RoomChooserSection.h"
#include "RoomSection.h"
#include "ScoresSection.h"
#include "SendSection.h"
#include "ServerSettingsSection.h"
#include "SwitchesSection.h"
#include "WelcomeSection.h"
#include "model/AppModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
constexpr std::chrono::milliseconds timelyPeriod { 500 };
}

ControlView::ControlView(AppModel &model, QWidget *parent)
    : QScrollArea(parent)
    , m_model(model)
{
    setObjectName(u"controlView"_s);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *column = new QWidget(this);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);

    auto *chooser = new RoomChooserSection(model, column);
    auto *contacts = new ContactsSection(model, column);
    auto *send = new SendSection(model, column);
    m_timely = { contacts, send };
    m_sections = { new HeaderSection(model, column), new InvitationSection(model, column),
        new HistorySection(model, column), new PlayerSection(model, column), chooser,
        new WelcomeSection(model, column), new RoomSection(model, column), contacts, send,
        new ScoresSection(model, column), new LeaveSection(model, column),
        new PomodoroSection(model, column), new SwitchesSection(model, column) };
    for (ControlSection *section : std::as_const(m_sections))
        layout->addWidget(section);

    m_message = new QLabel(column);
    m_message->setObjectName(u"message"_s);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_message);

    auto *settings = new ServerSettingsSection(model, column);
    m_sections.append(settings);
    layout->addWidget(settings);

    auto *footer = new QWidget(column);
    footer->setObjectName(u"footer"_s);
    auto *quit = new QPushButton(u"Quit"_s, footer);
    quit->setObjectName(u"quit"_s);
    connect(quit, &QPushButton::clicked, this, [this] {
        m_model.stopNetwork();
        emit quitRequested();
    });
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(0, 0, 0, 0);
    footerLayout->addWidget(ControlStyle::secondaryCaption(u"Drag · throw · connect"_s, footer), 1);
    footerLayout->addWidget(quit);
    layout->addWidget(footer);
    layout->addStretch();
    setWidget(column);
    chooser->focusRoomName();

    // Every observable property of the coordinator announces its changes: redraw on each.
    const QMetaMethod redraw = metaObject()->method(metaObject()->indexOfSlot("refresh()"));
    const QMetaObject *observed = model.metaObject();
    for (int i = observed->propertyOffset(); i < observed->propertyCount(); ++i) {
        const QMetaProperty property = observed->property(i);
        if (property.hasNotifySignal())
            connect(&model, property.notifySignal(), this, redraw, Qt::UniqueConnection);
    }
    m_timelyRefresh.setInterval(timelyPeriod);
    connect(&m_timelyRefresh, &QTimer::timeout, this, &ControlView::refreshTimely);
    refresh();
}

void ControlView::showEvent(QShowEvent *event)
{
    QScrollArea::showEvent(event);
    refresh();
    m_timelyRefresh.start();
}

void ControlView::hideEvent(QHideEvent *event)
{
    // Nobody sees the clock-driven parts of a hidden window: no need to wake for them.
    m_timelyRefresh.stop();
    QScrollArea::hideEvent(event);
}

void ControlView::refresh()
{
    for (ControlSection *section : std::as_const(m_sections))
        section->refresh();
    m_message->setText(m_model.message());
    m_message->setVisible(!m_model.message().isEmpty());
}

void ControlView::refreshTimely()
{
    for (ControlSection *section : std::as_const(m_timely))
        section->refresh();
}
