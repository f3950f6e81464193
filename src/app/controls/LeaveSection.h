#pragma once

#include "ControlSection.h"

#include <QMessageBox>
#include <QPointer>

// "Leave room", and "Delete room" behind a confirmation dialog.
class LeaveSection : public ControlSection {
    Q_OBJECT
public:
    LeaveSection(AppModel &model, QWidget *parent);
    void refresh() override;

    // The delete confirmation last opened, until it is gone.
    QMessageBox *deleteConfirmation() const { return m_confirmDelete; }

private:
    void confirmDelete();

    QPointer<QMessageBox> m_confirmDelete;
};
