#pragma once

#include "store/recordbuffer.h"

#include <QHash>

#include <deque>
#include <memory>
#include <vector>

namespace kelvara {

// The records a table has read lately, by row id, dropping the oldest one at a time so that
// walking a big table reuses memory instead of freeing it in bursts.
class RecordCache
{
public:
    // Keeps up to `limit` records, and up to `spareLimit` let-go ones for reading into.
    RecordCache(int limit, int spareLimit) : m_limit(limit), m_spareLimit(size_t(spareLimit)) { }

    std::shared_ptr<RecordBuffer> find(qint64 rid) const { return m_records.value(rid); }
    bool contains(qint64 rid) const { return m_records.contains(rid); }
    int size() const { return int(m_records.size()); }

    // Only stored records, which have a row id, are kept.
    void insert(const std::shared_ptr<RecordBuffer> &record)
    {
        const qint64 rid = record->rid.value();
        auto it = m_records.find(rid);
        if (it != m_records.end()) {
            *it = record;
            return;
        }
        m_records.insert(rid, record);
        m_order.push_back(rid);
        while (int(m_records.size()) > m_limit && !m_order.empty()) {
            const auto oldest = m_records.find(m_order.front());
            if (oldest != m_records.end()) {
                recycle(*oldest);
                m_records.erase(oldest);
            }
            m_order.pop_front();
        }
        if (m_order.size() > size_t(4 * m_limit))
            compact();
    }

    void remove(qint64 rid) { m_records.remove(rid); }

    void clear()
    {
        m_records.clear();
        m_order.clear();
        m_spares.clear();
    }

    // Records read from the file that the cache let go of and no one else holds, for the rows
    // read next to be packed into.
    std::vector<std::shared_ptr<RecordBuffer>> &spares() { return m_spares; }

private:
    // About a batch of reads is worth keeping: the rows of the next batch are packed into them.
    void recycle(const std::shared_ptr<RecordBuffer> &record)
    {
        if (record.use_count() == 1 && m_spares.size() < m_spareLimit && record->isPacked()
            && record->pendingBlobs.isEmpty())
            m_spares.push_back(record);
    }

    // Drops the order entries of records removed since.
    void compact()
    {
        std::deque<qint64> order;
        for (qint64 rid : m_order) {
            if (m_records.contains(rid))
                order.push_back(rid);
        }
        m_order.swap(order);
    }

    int m_limit;
    size_t m_spareLimit;
    QHash<qint64, std::shared_ptr<RecordBuffer>> m_records;
    std::deque<qint64> m_order;
    std::vector<std::shared_ptr<RecordBuffer>> m_spares;
};

}  // namespace kelvara
