#pragma once

#include "ControlSection.h"

class QLabel;

// The basketball, the program's name and a status circle: green while the room's channel is
// connected, grey otherwise.
class HeaderSection : public ControlSection {
    Q_OBJECT
public:
    HeaderSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QLabel *m_status;
};
