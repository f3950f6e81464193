#pragma once

#include "ControlSection.h"

class QLabel;
class QPushButton;

// A join link waiting for the user's consent: its server, and "Join room" or "Cancel".
class InvitationSection : public ControlSection {
    Q_OBJECT
public:
    InvitationSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QLabel *m_server;
    QPushButton *m_join;
    // Whether an invitation was shown at the last refresh: a new one takes the focus.
    bool m_waiting = false;
};
