#pragma once

#include "ControlSection.h"

class QCheckBox;
class QComboBox;

// The do-not-disturb switches, sounds, and the screen that shows the game.
class SwitchesSection : public ControlSection {
    Q_OBJECT
public:
    SwitchesSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QCheckBox *m_paused;
    QCheckBox *m_hidden;
    QCheckBox *m_sound;
    QComboBox *m_screens;
};
