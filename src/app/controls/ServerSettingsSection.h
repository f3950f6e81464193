#pragma once

#include "ControlSection.h"

class Disclosure;
class QLineEdit;

// "Server settings": the connection fields, edited in the coordinator, and "Save connection".
class ServerSettingsSection : public ControlSection {
    Q_OBJECT
public:
    ServerSettingsSection(AppModel &model, QWidget *parent);
    void refresh() override;

private:
    QLineEdit *field(const QString &label, const QString &objectName);

    Disclosure *m_group;
    QLineEdit *m_server;
    QLineEdit *m_websocket;
    QLineEdit *m_appKey;
};
