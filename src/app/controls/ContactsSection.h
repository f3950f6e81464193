#pragma once

#include "ControlSection.h"

#include <QColor>
#include <QList>

class QLabel;
class QVBoxLayout;
struct Member;

// "Active contacts": the room's other members, the available ones first, each with its status
// and, when available, a button that sends the ball to that member.
class ContactsSection : public ControlSection {
    Q_OBJECT
public:
    ContactsSection(AppModel &model, QWidget *parent);
    void refresh() override;

    // The status line of a member and its colour; `holdsBall` adds " · Has the ball" to an
    // available member.
    static QString statusText(const Member &member, bool holdsBall);
    static QColor statusColour(const Member &member);

private:
    // What one row shows; rows are rebuilt only when one of these changes.
    struct Row {
        qint64 id = 0;
        QString name;
        QString status;
        QColor colour;
        bool available = false;
        bool sendable = false;
        bool operator==(const Row &) const = default;
    };

    QList<Row> rows() const;
    QWidget *rowWidget(const Row &row);
    void send(qint64 receiver);

    QLabel *m_count;
    QVBoxLayout *m_rows;
    QList<Row> m_shown;
    bool m_built = false;
};
