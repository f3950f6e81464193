#pragma once

#include "ControlSection.h"

class QLabel;

// A join link waiting for the user's consent: its server, and "Join room" or "Cancel".
class InvitationSection : public ControlSection {
    Q_OBJECT
public:
    InvitationSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QLabel *m_server;
};
