#pragma once

#include "ControlSection.h"

class QLabel;

// The signed-in player: a mark with the name's first letter, the name and the player number.
class PlayerSection : public ControlSection {
    Q_OBJECT
public:
    PlayerSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QLabel *m_mark;
    QLabel *m_name;
    QLabel *m_number;
};
