#pragma once

#include "store/packedrow.h"

#include <QByteArray>
#include <QHash>
#include <QVariant>
#include <QVector>

#include <optional>

namespace kelvara {

// One record's values, by column. A record read from the file keeps them packed until a field
// decodes one; a record being edited, inserted or used as range keys holds them in `values`.
// Blob columns hold their size in bytes; their bytes are read only on demand, and bytes written
// but not yet saved wait in pendingBlobs.
//
// A lean record was read without its late columns (memos and photo sizes, which a walk over
// the table seldom reads): `packed` holds the others, and the table reads the late ones into
// `late` on first use.
struct RecordBuffer
{
    std::optional<qint64> rid;  // none until the record is stored
    PackedRow packed;           // used while `values` is empty
    bool lean = false;
    mutable bool lateRead = false;
    mutable PackedRow late;
    QVector<QVariant> values;
    QHash<int, QByteArray> pendingBlobs;  // column -> new bytes (empty: cleared)
    QVector<bool> assigned;               // key buffers: which columns were set

    bool isPacked() const { return values.isEmpty(); }
};

}  // namespace kelvara
