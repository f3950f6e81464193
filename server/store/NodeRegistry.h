#pragma once

#include <QObject>
#include <QTimer>

class Clock;
class Store;

// This node's row in the nodes table of a shared PostgreSQL database. The node renews it a few
// times per lifeMs; a row that was not renewed for lifeMs belongs to a node that is gone (killed,
// frozen, cut off), and the first node to notice deletes it, which deletes the channel grants
// of that node's sockets with it.
class NodeRegistry : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 lifeMs = 60000;

    NodeRegistry(Store &store, const Clock &clock, QObject *parent = nullptr);
    // Takes the row away, and the grants of this node's sockets with it.
    ~NodeRegistry() override;

    // Registers the node; false when the database refused.
    bool join();
    // Unique among the nodes alive, between 1 and 2^31 - 1 (the first number of a socket id).
    qint64 id() const { return m_id; }

signals:
    // Another node took this one for gone and removed its sockets' grants: those sockets'
    // subscriptions can no longer be ended by a member's removal.
    void presumedGone();

private:
    void renew();
    // Adds the row `id` unless taken (m_id is set when added); false when the statement failed.
    bool insert(qint64 id);

    Store &m_store;
    const Clock &m_clock;
    qint64 m_id = 0;
    QTimer m_renewal;
};
