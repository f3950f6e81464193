#pragma once

#include "ControlSection.h"

class QLabel;
class QPushButton;

// The current room: its name, copying its Room ID or invitation link, and reconnecting.
class RoomSection : public ControlSection {
    Q_OBJECT
public:
    RoomSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QLabel *m_name;
    QLabel *m_connecting;
    QPushButton *m_connect;
};
