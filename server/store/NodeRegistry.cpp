#include "NodeRegistry.h"

#include "Store.h"
#include "game/Clock.h"

#include <QRandomGenerator>

#include <cstdio>

using namespace Qt::StringLiterals;

NodeRegistry::NodeRegistry(Store &store, const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_clock(clock)
{
    // Three renewals may be missed (a slow database, a long pause) before the node counts
    // as gone.
    m_renewal.setInterval(int(lifeMs / 4));
    connect(&m_renewal, &QTimer::timeout, this, &NodeRegistry::renew);
    connect(&clock, &Clock::jumped, this, &NodeRegistry::renew);
}

NodeRegistry::~NodeRegistry()
{
    if (m_id != 0)
        m_store.execute(u"DELETE FROM nodes WHERE id = ?"_s, { m_id });
}

bool NodeRegistry::join()
{
    // A taken id is drawn again; a failed statement ends the attempt.
    for (int attempt = 0; attempt < 3 && m_id == 0; ++attempt) {
        const qint64 id = QRandomGenerator::system()->bounded(1, 2147483647);
        if (!insert(id))
            return false;
    }
    if (m_id == 0)
        return false;
    m_renewal.start();
    return true;
}

bool NodeRegistry::insert(qint64 id)
{
    QSqlQuery query = m_store.prepare(u"INSERT INTO nodes (id, alive_until) VALUES (?, ?) "
                                      "ON CONFLICT (id) DO NOTHING RETURNING id"_s,
        { id, m_clock.nowMs() + lifeMs });
    if (!m_store.run(query))
        return false;
    if (query.next())
        m_id = id;
    return true;
}

// One statement: the rows of the nodes gone go, and this node's is renewed.
void NodeRegistry::renew()
{
    const qint64 now = m_clock.nowMs();
    QSqlQuery query
        = m_store.prepare(u"WITH gone AS (DELETE FROM nodes WHERE alive_until < ? AND id <> ?) "
                          "UPDATE nodes SET alive_until = ? WHERE id = ? RETURNING id"_s,
            { now, m_id, now + lifeMs, m_id });
    if (!m_store.run(query) || query.next())
        return;
    // Its row was deleted, or lost with the database's unlogged tables after a crash.
    std::fprintf(stderr, "this node was taken for gone; its realtime sockets are closed\n");
    if (insert(m_id))
        emit presumedGone();
}
