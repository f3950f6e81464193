#pragma once

#include "ControlSection.h"

#include <optional>

class QLabel;
struct Score;
struct Snapshot;
struct Totals;

// The player's counters in this room and over all rooms.
class ScoresSection : public ControlSection {
    Q_OBJECT
public:
    ScoresSection(AppModel &model, QWidget *parent);
    void refresh() override;

    // The two lines, or none when the snapshot has no such counters.
    static std::optional<QString> roomLine(const Snapshot &snapshot, qint64 player);
    static std::optional<QString> totalsLine(const Snapshot &snapshot);

private:
    QLabel *m_room;
    QLabel *m_totals;
};
