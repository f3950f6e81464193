#include "RoomSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

RoomSection::RoomSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"room"_s, parent)
    , m_name(new QLabel(this))
    , m_connecting(new QLabel(u"Connecting…"_s, this))
    , m_connect(new QPushButton(u"Connect"_s, this))
{
    m_name->setObjectName(u"roomTitle"_s);
    m_name->setWordWrap(true);
    QFont title = m_name->font();
    title.setPointSizeF(title.pointSizeF() * 1.25);
    title.setBold(true);
    m_name->setFont(title);
    auto *copyCode = new QPushButton(ControlStyle::copyIcon(), u"Copy Room ID"_s, this);
    copyCode->setObjectName(u"copyRoomId"_s);
    auto *copyLink = new QPushButton(u"Invite friend · Copy link"_s, this);
    copyLink->setObjectName(u"copyInvitation"_s);
    m_connect->setObjectName(u"connect"_s);
    m_connecting->setObjectName(u"connecting"_s);

    connect(copyCode, &QPushButton::clicked, this, [this] {
        if (const auto &snapshot = this->model().snapshot())
            QGuiApplication::clipboard()->setText(snapshot->room.inviteCode);
    });
    connect(copyLink, &QPushButton::clicked, this, [this] { this->model().copyInvitation(); });
    connect(m_connect, &QPushButton::clicked, this, [this] { this->model().restore(); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(copyCode);
    buttons->addWidget(copyLink);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_name);
    layout->addLayout(buttons);
    layout->addWidget(m_connecting);
    layout->addWidget(m_connect, 0, Qt::AlignLeft);
}

void RoomSection::refresh()
{
    const auto &snapshot = model().snapshot();
    setVisible(snapshot.has_value());
    if (!snapshot)
        return;
    m_name->setText(snapshot->room.name);
    m_connecting->setVisible(model().working());
    m_connect->setVisible(!model().working());
}
