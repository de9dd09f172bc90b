#pragma once

#include <QByteArray>
#include <QHash>
#include <QVariant>
#include <QVector>

namespace kelvara {

// One record's values, by column. Blob columns hold their size in bytes; their bytes are read
// only on demand, and bytes written but not yet saved wait in pendingBlobs.
struct RecordBuffer
{
    qint64 rid = 0;                       // 0 until the record is stored
    QVector<QVariant> values;
    QHash<int, QByteArray> pendingBlobs;  // column -> new bytes (empty: cleared)
    QVector<bool> assigned;               // key buffers: which columns were set
};

} // namespace kelvara
