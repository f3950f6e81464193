#include "InvitationSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

InvitationSection::InvitationSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"invitation"_s, parent)
    , m_server(ControlStyle::caption({}, this))
    , m_join(new QPushButton(u"Join room"_s, this))
{
    ControlStyle::setBackground(this, ControlStyle::orange, 0.12);
    m_server->setObjectName(u"invitationServer"_s);
    m_join->setObjectName(u"acceptInvitation"_s);
    // Enter on the focused button joins, as in a dialog.
    m_join->setAutoDefault(true);
    auto *cancel = new QPushButton(u"Cancel"_s, this);
    connect(m_join, &QPushButton::clicked, this, [this] { this->model().acceptInvitation(); });
    connect(cancel, &QPushButton::clicked, this,
        [this] { this->model().setPendingInvitation(std::nullopt); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_join);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(ControlStyle::headline(u"Room invitation"_s, this));
    layout->addWidget(m_server);
    layout->addWidget(ControlStyle::secondaryCaption(
        u"Join without registration. Your session is kept separately for each server."_s, this));
    layout->addLayout(buttons);
}

void InvitationSection::refresh()
{
    const auto &invitation = model().pendingInvitation();
    setVisible(invitation.has_value());
    if (invitation)
        m_server->setText(u"Server: "_s + invitation->api);
    // A link just opened: the answer is one key away.
    if (invitation && !m_waiting)
        m_join->setFocus();
    m_waiting = invitation.has_value();
}
