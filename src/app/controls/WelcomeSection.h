#pragma once

#include "ControlSection.h"

class QProgressBar;

// Shown while there is no room state: what the game is, and a progress bar while the session
// is being restored.
class WelcomeSection : public ControlSection {
    Q_OBJECT
public:
    WelcomeSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QProgressBar *m_progress;
};
