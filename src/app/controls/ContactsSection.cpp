#include "ContactsSection.h"

#include "ControlStyle.h"
#include "SendSection.h"
#include "model/AppModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

ContactsSection::ContactsSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"contacts"_s, parent)
    , m_count(ControlStyle::secondaryCaption({}, this))
    , m_rows(new QVBoxLayout)
{
    m_count->setObjectName(u"availableCount"_s);
    m_count->setWordWrap(false);
    auto *title = new QHBoxLayout;
    title->addWidget(ControlStyle::headline(u"Active contacts"_s, this), 1);
    title->addWidget(m_count);
    m_rows->setContentsMargins(0, 0, 0, 0);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(title);
    layout->addLayout(m_rows);
}

QString ContactsSection::statusText(const Member &member, bool holdsBall)
{
    if (member.isOnline())
        return holdsBall ? u"Available · Has the ball"_s : u"Available"_s;
    if (member.isBusy())
        return u"Busy · playing a round"_s;
    if (member.isDoNotDisturb())
        return u"Do not disturb"_s;
    return u"Offline"_s;
}

QColor ContactsSection::statusColour(const Member &member)
{
    if (member.isOnline())
        return ControlStyle::green;
    if (member.isBusy())
        return ControlStyle::orange;
    if (member.isDoNotDisturb())
        return ControlStyle::red;
    return ControlStyle::grey;
}

QList<ContactsSection::Row> ContactsSection::rows() const
{
    QList<Row> available;
    QList<Row> others;
    const auto &snapshot = model().snapshot();
    const auto &user = model().user();
    for (const Member &member : snapshot->members) {
        if (user && member.id == user->id)
            continue;
        const bool holdsBall = snapshot->room.ballOwnerId == member.id;
        Row row { member.id, member.name, statusText(member, holdsBall), statusColour(member),
            member.isOnline(), false };
        if (row.available) {
            row.sendable = !model().sendBlockReason(member.id);
            available.append(row);
        } else {
            others.append(row);
        }
    }
    return available + others;
}

QWidget *ContactsSection::rowWidget(const Row &row)
{
    auto *widget = new QWidget(this);
    widget->setObjectName(u"contact-"_s + QString::number(row.id));
    auto *name = new QLabel(row.name, widget);
    name->setObjectName(u"contactName"_s);
    auto *status = ControlStyle::caption(row.status, widget);
    status->setObjectName(u"contactStatus"_s);
    ControlStyle::setTextColour(status, row.colour);
    auto *text = ControlStyle::tightColumn(name, status);
    auto *layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->addLayout(text, 1);
    if (row.available) {
        auto *send = new QToolButton(widget);
        send->setObjectName(u"sendBall"_s);
        send->setIcon(ControlStyle::sendIcon());
        send->setToolTip(u"Send the ball to "_s + row.name);
        send->setEnabled(row.sendable);
        const qint64 id = row.id;
        connect(send, &QToolButton::clicked, this, [this, id] { this->send(id); });
        layout->addWidget(send);
    }
    return widget;
}

void ContactsSection::send(qint64 receiver)
{
    model().setSelectedReceiver(receiver);
    model().refreshOverlay();
    model().transfer(SendSection::entry(model()));
}

void ContactsSection::refresh()
{
    setVisible(model().snapshot().has_value());
    if (!model().snapshot())
        return;
    const QList<Row> current = rows();
    const auto availableCount = std::count_if(
        current.cbegin(), current.cend(), [](const Row &row) { return row.available; });
    m_count->setText(QString::number(availableCount) + u" available"_s);
    if (m_built && current == m_shown)
        return;
    m_built = true;
    m_shown = current;
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const Row &row : current) {
        if (row.available)
            m_rows->addWidget(rowWidget(row));
    }
    if (availableCount == 0) {
        auto *none = ControlStyle::secondaryCaption(
            u"No contacts ready to receive. Invite a friend using the Room ID, or wait for a busy "
            "player."_s,
            this);
        none->setObjectName(u"noContacts"_s);
        m_rows->addWidget(none);
    }
    if (availableCount < current.size()) {
        auto *unavailable = ControlStyle::secondaryCaption(u"Currently unavailable"_s, this);
        unavailable->setObjectName(u"currentlyUnavailable"_s);
        m_rows->addWidget(unavailable);
    }
    for (const Row &row : current) {
        if (!row.available)
            m_rows->addWidget(rowWidget(row));
    }
}
