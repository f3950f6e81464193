#pragma once

#include "ControlSection.h"

class QComboBox;
class QLineEdit;

// "Active room": the room picker, and the fields to create a room or join one.
class RoomChooserSection : public ControlSection {
    Q_OBJECT
public:
    RoomChooserSection(AppModel &model, QWidget *parent);
    void refresh() override;
    // Typing goes to the room name first: making a room is the first thing a player does.
    void focusRoomName();

private:
    void roomChosen(int index);

    QComboBox *m_rooms;
    QLineEdit *m_roomName;
    QLineEdit *m_invite;
};
