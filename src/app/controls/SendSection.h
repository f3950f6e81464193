#pragma once

#include "ControlSection.h"

#include "wire/Entry.h"

class QComboBox;
class QLabel;
class QPushButton;

// "Send to": the chosen receiver, the send button, and why sending is blocked when it is.
class SendSection : public ControlSection {
    Q_OBJECT
public:
    SendSection(AppModel &model, QWidget *parent);
    void refresh() override;

    // What a send from the window carries: the player's last throw, or a throw out at the
    // right edge when there was none.
    static Entry entry(const AppModel &model);

private:
    void refreshReceivers();

    QComboBox *m_receivers;
    QPushButton *m_send;
    QLabel *m_reason;
};
