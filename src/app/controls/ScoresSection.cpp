#include "ScoresSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
QString number(qint64 n)
{
    return QString::number(n);
}
} // namespace

ScoresSection::ScoresSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"scores"_s, parent)
    , m_room(ControlStyle::secondaryCaption({}, this))
    , m_totals(ControlStyle::secondaryCaption({}, this))
{
    m_room->setObjectName(u"roomScore"_s);
    m_totals->setObjectName(u"totalsScore"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_room);
    layout->addWidget(m_totals);
}

std::optional<QString> ScoresSection::roomLine(const Snapshot &snapshot, qint64 player)
{
    for (const Score &score : snapshot.scores) {
        if (score.userId == player)
            return u"Room: received "_s + number(score.received) + u" · Scored "_s
                + number(score.points) + u" · Timed out "_s + number(score.misses) + u"\nSuccess "_s
                + number(score.percent()) + u"% · Best streak "_s + number(score.best);
    }
    return std::nullopt;
}

std::optional<QString> ScoresSection::totalsLine(const Snapshot &snapshot)
{
    if (!snapshot.totals)
        return std::nullopt;
    const Totals &totals = *snapshot.totals;
    return u"All rooms: received "_s + number(totals.received) + u" · "_s + number(totals.points)
        + u" points · "_s + number(totals.misses) + u" timeouts · "_s + number(totals.percent())
        + u"% · best "_s + number(totals.best);
}

void ScoresSection::refresh()
{
    const auto &snapshot = model().snapshot();
    const auto &user = model().user();
    const auto room = snapshot && user ? roomLine(*snapshot, user->id) : std::nullopt;
    const auto totals = snapshot ? totalsLine(*snapshot) : std::nullopt;
    m_room->setVisible(room.has_value());
    m_room->setText(room.value_or(QString()));
    m_totals->setVisible(totals.has_value());
    m_totals->setText(totals.value_or(QString()));
    setVisible(room || totals);
}
