#include "PlayerSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QHBoxLayout>
#include <QLabel>

using namespace Qt::StringLiterals;

PlayerSection::PlayerSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"player"_s, parent)
    , m_mark(ControlStyle::headline({}, this))
    , m_name(new QLabel(this))
    , m_number(ControlStyle::secondaryCaption({}, this))
{
    m_mark->setFixedSize(30, 30);
    m_mark->setAlignment(Qt::AlignCenter);
    m_mark->setWordWrap(false);
    ControlStyle::setBackground(m_mark, ControlStyle::orange, 0.2);
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    m_name->setObjectName(u"playerName"_s);
    m_number->setObjectName(u"playerNumber"_s);

    auto *text = ControlStyle::tightColumn(m_name, m_number);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_mark);
    layout->addLayout(text, 1);
}

void PlayerSection::refresh()
{
    const auto &user = model().user();
    setVisible(user.has_value());
    if (!user)
        return;
    m_mark->setText(user->name.left(1).toUpper());
    m_name->setText(user->name);
    m_number->setText(u"Player #"_s + QString::number(user->id));
}
