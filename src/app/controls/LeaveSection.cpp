#include "LeaveSection.h"

#include "model/AppModel.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

LeaveSection::LeaveSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"leave"_s, parent)
{
    auto *leave = new QPushButton(u"Leave room"_s, this);
    leave->setObjectName(u"leaveRoom"_s);
    auto *remove = new QPushButton(u"Delete room"_s, this);
    remove->setObjectName(u"deleteRoom"_s);
    connect(leave, &QPushButton::clicked, this, [this] { this->model().leave(false); });
    connect(remove, &QPushButton::clicked, this, &LeaveSection::confirmDelete);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(leave);
    layout->addWidget(remove);
    layout->addStretch();
}

void LeaveSection::confirmDelete()
{
    if (m_confirmDelete && m_confirmDelete->isVisible()) {
        m_confirmDelete->raise();
        return;
    }
    auto *dialog = new QMessageBox(QMessageBox::Warning, u"Delete this room for all players?"_s,
        u"Delete this room for all players?"_s, QMessageBox::NoButton, window());
    dialog->setObjectName(u"deleteConfirmation"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *destroy = dialog->addButton(u"Delete room"_s, QMessageBox::DestructiveRole);
    destroy->setObjectName(u"confirmDelete"_s);
    dialog->addButton(QMessageBox::Cancel)->setObjectName(u"cancelDelete"_s);
    dialog->setDefaultButton(QMessageBox::Cancel);
    connect(destroy, &QPushButton::clicked, this, [this] { this->model().leave(true); });
    m_confirmDelete = dialog;
    dialog->open();
}

void LeaveSection::refresh()
{
    setVisible(model().snapshot().has_value());
}
