#include "RoomChooserSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

using namespace Qt::StringLiterals;

RoomChooserSection::RoomChooserSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"roomChooser"_s, parent)
    , m_rooms(new QComboBox(this))
    , m_roomName(new QLineEdit(this))
    , m_invite(new QLineEdit(this))
{
    m_rooms->setObjectName(u"roomPicker"_s);
    m_roomName->setObjectName(u"roomName"_s);
    m_roomName->setPlaceholderText(u"Room name (optional)"_s);
    m_invite->setObjectName(u"invite"_s);
    m_invite->setPlaceholderText(u"Room ID or invitation"_s);
    // The Room ID is the room's secret: it is not shown while typed.
    m_invite->setEchoMode(QLineEdit::Password);
    auto *create = new QPushButton(u"Create"_s, this);
    create->setObjectName(u"createRoom"_s);
    auto *join = new QPushButton(u"Join"_s, this);
    join->setObjectName(u"joinRoom"_s);

    connect(m_rooms, &QComboBox::activated, this, &RoomChooserSection::roomChosen);
    // Enter in a field does what the button beside it does.
    const auto createRoom = [this] { this->model().createRoom(m_roomName->text()); };
    const auto joinRoom = [this] { this->model().joinRoom(m_invite->text()); };
    connect(create, &QPushButton::clicked, this, createRoom);
    connect(m_roomName, &QLineEdit::returnPressed, this, createRoom);
    connect(join, &QPushButton::clicked, this, joinRoom);
    connect(m_invite, &QLineEdit::returnPressed, this, joinRoom);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ControlStyle::headline(u"Active room"_s, this), 0, 0, 1, 2);
    layout->addWidget(m_rooms, 1, 0, 1, 2);
    layout->addWidget(m_roomName, 2, 0);
    layout->addWidget(create, 2, 1);
    layout->addWidget(m_invite, 3, 0);
    layout->addWidget(join, 3, 1);
    layout->setColumnStretch(0, 1);
}

void RoomChooserSection::focusRoomName()
{
    m_roomName->setFocus();
}

void RoomChooserSection::roomChosen(int index)
{
    const qint64 id = m_rooms->itemData(index).toLongLong();
    if (id != 0)
        model().activate(id);
}

void RoomChooserSection::refresh()
{
    const QSignalBlocker blocker(m_rooms);
    const QList<Room> &rooms = model().rooms();
    bool same = m_rooms->count() == rooms.size() + 1;
    for (qsizetype i = 0; same && i < rooms.size(); ++i) {
        const int item = static_cast<int>(i) + 1;
        same = m_rooms->itemData(item).toLongLong() == rooms[i].id
            && m_rooms->itemText(item) == rooms[i].name;
    }
    if (!same) {
        m_rooms->clear();
        m_rooms->addItem(u"Choose room"_s, qint64(0));
        for (const Room &room : rooms)
            m_rooms->addItem(room.name, room.id);
    }
    const int current = m_rooms->findData(model().roomID().value_or(0));
    m_rooms->setCurrentIndex(current < 0 ? 0 : current);
}
