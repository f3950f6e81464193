#pragma once

#include "ControlSection.h"

class QCheckBox;
class QLabel;
class QPushButton;

// The pomodoro switch, and while it is on the clock, the phase and the button that changes it.
class PomodoroSection : public ControlSection {
    Q_OBJECT
public:
    PomodoroSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QCheckBox *m_enabled;
    QWidget *m_running;
    QLabel *m_clock;
    QLabel *m_phase;
    QPushButton *m_breakNow;
    QPushButton *m_backToFocus;
};
