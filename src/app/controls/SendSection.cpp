#include "SendSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

SendSection::SendSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"send"_s, parent)
    , m_receivers(new QComboBox(this))
    , m_send(new QPushButton(ControlStyle::sendIcon(), {}, this))
    , m_reason(ControlStyle::secondaryCaption({}, this))
{
    m_receivers->setObjectName(u"receiverPicker"_s);
    m_send->setObjectName(u"sendButton"_s);
    m_send->setDefault(true);
    m_send->setMinimumHeight(34);
    m_reason->setObjectName(u"sendBlockReason"_s);
    connect(m_receivers, &QComboBox::activated, this, [this](int index) {
        this->model().setSelectedReceiver(m_receivers->itemData(index).toLongLong());
    });
    connect(m_send, &QPushButton::clicked, this,
        [this] { this->model().transfer(entry(this->model())); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ControlStyle::headline(u"Send to"_s, this));
    layout->addWidget(m_receivers);
    layout->addWidget(m_send);
    layout->addWidget(m_reason);
    layout->addWidget(ControlStyle::secondaryCaption(
        u"Or throw the ball past the screen edge to the same recipient."_s, this));
}

Entry SendSection::entry(const AppModel &model)
{
    return model.latestRelease().value_or(Entry { 1.0, 0.45, 0.55, 0.35 });
}

void SendSection::refreshReceivers()
{
    const QSignalBlocker blocker(m_receivers);
    QList<QPair<QString, qint64>> items { { u"Random online player"_s, 0 } };
    for (const Member &member : model().snapshot()->members)
        items.append({ member.name + u" #"_s + QString::number(member.id), member.id });
    bool same = m_receivers->count() == items.size();
    for (int i = 0; same && i < items.size(); ++i)
        same = m_receivers->itemText(i) == items[i].first
            && m_receivers->itemData(i).toLongLong() == items[i].second;
    if (!same) {
        m_receivers->clear();
        for (const auto &[label, id] : items)
            m_receivers->addItem(label, id);
    }
    const int current = m_receivers->findData(model().selectedReceiver());
    m_receivers->setCurrentIndex(current < 0 ? 0 : current);
}

void SendSection::refresh()
{
    setVisible(model().snapshot().has_value());
    if (!model().snapshot())
        return;
    refreshReceivers();
    const auto reason = model().sendBlockReason(model().selectedReceiver());
    m_send->setText(model().sendButtonTitle());
    m_send->setEnabled(!reason);
    m_reason->setVisible(reason.has_value());
    m_reason->setText(reason.value_or(QString()));
}
