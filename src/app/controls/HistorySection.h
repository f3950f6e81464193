#pragma once

#include "ControlSection.h"

#include <QList>

class Disclosure;
class QLabel;
struct SavedBasketResult;

// The last hit in green, and the history of hits in a group the user opens.
class HistorySection : public ControlSection {
    Q_OBJECT
public:
    HistorySection(AppModel &model, QWidget *parent);
    void refresh() override;

    // One line of the history: "+1 · " the room (or "Тренировка" for practice) " · " the date.
    static QString line(const SavedBasketResult &hit);

private:
    QLabel *m_lastResult;
    Disclosure *m_history;
    QList<SavedBasketResult> m_shown;
};
