#include "HistorySection.h"

#include "ControlStyle.h"
#include "Disclosure.h"
#include "model/AppModel.h"
#include "model/DateText.h"

#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

HistorySection::HistorySection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"history"_s, parent)
    , m_lastResult(new QLabel(this))
    , m_history(new Disclosure({}, this))
{
    m_lastResult->setObjectName(u"lastResult"_s);
    m_lastResult->setWordWrap(true);
    ControlStyle::setTextColour(m_lastResult, ControlStyle::green);
    m_history->setObjectName(u"hitHistory"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_lastResult);
    layout->addWidget(m_history);
}

QString HistorySection::line(const SavedBasketResult &hit)
{
    return u"+1 · "_s + (hit.practice ? u"Тренировка"_s : hit.room) + u" · "_s
        + DateText::abbreviatedDateTime(hit.date, QLocale::system());
}

void HistorySection::refresh()
{
    const QString &last = model().lastResult();
    m_lastResult->setVisible(!last.isEmpty());
    m_lastResult->setText(u"Последний результат: "_s + last);

    const QList<SavedBasketResult> &hits = model().savedResults();
    m_history->setVisible(!hits.isEmpty());
    m_history->setTitle(u"История попаданий ("_s + QString::number(hits.size()) + u")"_s);
    if (hits != m_shown) {
        m_shown = hits;
        while (QLayoutItem *item = m_history->bodyLayout()->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const SavedBasketResult &hit : hits)
            m_history->bodyLayout()->addWidget(ControlStyle::caption(line(hit), m_history->body()));
    }
    setVisible(!last.isEmpty() || !hits.isEmpty());
}
