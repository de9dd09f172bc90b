#include "store/table.h"

#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"
#include "store/recordbuffer.h"
#include "store/tablesql.h"
#include "store/textconv.h"

#include <algorithm>

namespace kelvara {

using namespace tablesql;

namespace {

// Dates are stored as "yyyy-MM-dd"; reading them is on the path of every record read. Gives
// the year, month and day of text in that form, without checking that they make a date.
bool isoDateParts(QByteArrayView text, int parts[3])
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    const int starts[3] = {0, 5, 8};
    const int lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        parts[p] = 0;
        for (int i = 0; i < lengths[p]; ++i) {
            const char c = text[starts[p] + i];
            if (c < '0' || c > '9')
                return false;
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    return true;
}

QDate isoDate(QByteArrayView text)
{
    int parts[3];
    if (isoDateParts(text, parts))
        return QDate(parts[0], parts[1], parts[2]);
    return QDate::fromString(QString::fromUtf8(text), Qt::ISODate);
}

}  // namespace

namespace tablesql {

// kelvara_row(sink, rid, value...): packs one row straight from SQLite's values, which saves
// a column call per value on the path of every record read.
void rowFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    auto *sink = argc >= 2 ? static_cast<RowSink *>(sqlite3_value_pointer(argv[0], kRowSinkType)) : nullptr;
    if (!sink || argc - 2 != sink->columns) {
        sqlite3_result_error(context, "kelvara_row needs a row sink and every column", -1);
        return;
    }
    try {
        const int count = argc - 2;
        sqlite3_value **values = argv + 2;
        sink->scratch.resize(size_t(count));
        size_t bytes = 0;
        for (int i = 0; i < count; ++i) {
            RowSink::Value &value = sink->scratch[size_t(i)];
            value.type = sqlite3_value_type(values[i]);
            value.data = nullptr;
            value.size = 0;
            if (value.type == SQLITE_TEXT) {
                value.data = reinterpret_cast<const char *>(sqlite3_value_text(values[i]));
                value.size = sqlite3_value_bytes(values[i]);
            } else if (value.type == SQLITE_BLOB) {
                value.data = static_cast<const char *>(sqlite3_value_blob(values[i]));
                value.size = sqlite3_value_bytes(values[i]);
            }
            bytes += size_t(value.size);
        }
        std::shared_ptr<RecordBuffer> record;
        if (sink->spares && !sink->spares->empty()) {
            record = std::move(sink->spares->back());
            sink->spares->pop_back();
        } else {
            record = std::make_shared<RecordBuffer>();
        }
        record->rid = sqlite3_value_int64(argv[1]);
        record->lean = sink->lean;
        record->lateRead = false;
        PackedRow &row = record->packed;
        row.allocate(count, bytes);
        for (int i = 0; i < count; ++i) {
            const RowSink::Value &value = sink->scratch[size_t(i)];
            switch (value.type) {
            case SQLITE_INTEGER: row.setInteger(i, sqlite3_value_int64(values[i])); break;
            case SQLITE_FLOAT: row.setReal(i, sqlite3_value_double(values[i])); break;
            case SQLITE_TEXT: row.setBytes(i, PackedRow::Text, value.data, size_t(value.size)); break;
            case SQLITE_BLOB: row.setBytes(i, PackedRow::Bytes, value.data, size_t(value.size)); break;
            default: break;
            }
        }
        sink->rows.push_back(std::move(record));
        sqlite3_result_null(context);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

}  // namespace tablesql

// ---------------------------------------------------------------------------------------------
// Reading records

std::vector<qint64> Table::queryIds(const QList<Field *> &order, const Range &range) const
{
    if (!findActive())
        return unfoundIds(order, range);
    if (std::optional<std::vector<qint64>> found = foundIds(order, range))
        return std::move(*found);
    QVariantList binds;
    const QString where = rangeClause(order, range, &binds);
    sql::Statement stmt
        = m_db.prepare(QStringLiteral("SELECT %1 FROM %2%3%4")
                           .arg(sql::quoted(kRowId), sql::quoted(m_tableName),
                                where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where, orderClause(order)));
    for (int i = 0; i < binds.size(); ++i)
        stmt.bind(i + 1, binds.at(i));
    std::vector<qint64> ids;
    while (stmt.step())
        ids.push_back(stmt.int64(0));
    return ids;
}

void Table::reload(const QList<Field *> &order, const Range &range, bool keepRecord, bool firstWhenGone)
{
    std::optional<qint64> rid;
    if (m_pos >= 0 && m_pos < int(m_ids.size()) && m_pos != m_insertPos)
        rid = m_ids[size_t(m_pos)];
    const int old = m_pos;
    std::vector<qint64> ids = queryIds(order, range);
    std::vector<qint64> previous = std::move(m_ids);
    m_ids = std::move(ids);
    m_posValid = false;
    m_cache.clear();
    try {
        int position = -1;
        if (!m_ids.empty()) {
            // One pass over the ids: a lookup table of them all would cost far more, and a
            // find that narrows at every key typed would build it each time.
            if (keepRecord && rid) {
                const auto at = std::find(m_ids.begin(), m_ids.end(), *rid);
                position = at == m_ids.end() ? -1 : int(at - m_ids.begin());
            }
            if (position < 0)
                position = keepRecord && !firstWhenGone ? qBound(0, old, int(m_ids.size()) - 1) : 0;
        }
        setPosition(position, m_ids.empty() || position == 0, m_ids.empty());
    } catch (...) {
        m_ids = std::move(previous);
        m_posValid = false;
        throw;
    }
    m_indexFields = order;
    m_range = range;
    m_inSortOrder = true;
}

int Table::positionOf(qint64 rid) const
{
    if (!m_posValid) {
        m_posOf.clear();
        m_posOf.reserve(qsizetype(m_ids.size()));
        for (size_t i = 0; i < m_ids.size(); ++i) {
            if (int(i) != m_insertPos)
                m_posOf.insert(m_ids[i], int(i));
        }
        m_posValid = true;
    }
    return m_posOf.value(rid, -1);
}

// On the path of every value read: defined before its callers, which are all in this file.
inline std::pair<const PackedRow *, int> Table::packedCell(const RecordBuffer &buffer, int column) const
{
    if (!buffer.lean)
        return {&buffer.packed, column};
    const int index = column >= 0 && column < int(m_leanIndex.size()) ? m_leanIndex[size_t(column)] : column;
    if (index >= 0)
        return {&buffer.packed, index};
    if (!buffer.lateRead)
        readLateColumns(buffer);
    return {&buffer.late, -1 - index};
}

QVariant Table::decodeCell(const RecordBuffer &buffer, int column, const Field *field,
                           std::optional<QString> *invalid) const
{
    if (!buffer.isPacked())
        return buffer.values.value(column);
    const auto [packed, cell] = packedCell(buffer, column);
    const PackedRow &row = *packed;
    if (row.kind(cell) == PackedRow::Null)
        return QVariant();
    // Another program may have stored anything in a number column; what the field cannot hold
    // is an error, never a value made up from it.
    auto refuse = [&](const QString &message) {
        if (!invalid)
            throw Error(message);
        *invalid = row.toText(cell);
        return QVariant();
    };
    switch (field->dataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc: {
        const std::optional<qint64> value = row.exactInteger(cell);
        if (!value || *value < field->minValue() || *value > field->maxValue())
            return refuse(tr("Field '%1' holds '%2', which is not a valid value for it. The allowed range is %3 to %4")
                              .arg(field->displayName(), row.toText(cell))
                              .arg(field->minValue())
                              .arg(field->maxValue()));
        return int(*value);
    }
    case ftBoolean: {
        const std::optional<qint64> value = row.exactInteger(cell);
        if (!value)
            return refuse(tr("Field '%1' holds '%2', which is not a valid boolean value")
                              .arg(field->displayName(), row.toText(cell)));
        return *value != 0;
    }
    case ftFloat:
    case ftCurrency:
    case ftBCD: {
        const std::optional<double> value = row.exactReal(cell);
        if (!value)
            return refuse(tr("Field '%1' holds '%2', which is not a valid floating point value")
                              .arg(field->displayName(), row.toText(cell)));
        return *value;
    }
    case ftDate: {
        const QDate date = isoDate(row.bytes(cell));
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case ftTime: {
        const QTime time = QTime::fromString(row.toText(cell), QStringLiteral("HH:mm:ss"));
        return time.isValid() ? QVariant(time) : QVariant();
    }
    case ftDateTime: {
        const QString text = row.toText(cell);
        QDateTime dateTime = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!dateTime.isValid())
            dateTime = QDateTime::fromString(text, Qt::ISODate);
        return dateTime.isValid() ? QVariant(dateTime) : QVariant();
    }
    default:
        if (field->keepsBytesApart()) {
            const qint64 size = row.toInteger(cell);
            return size > 0 ? QVariant(size) : QVariant();
        }
        return row.toText(cell);
    }
}

QVariant Table::fieldValue(const Field *field, std::optional<QString> *invalid) const
{
    return decodeCell(activeBuffer(), field->fieldNo() - 1, field, invalid);
}

bool Table::fieldIsNull(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (!buffer.isPacked()) {
        const QVariant v = buffer.values.value(column);
        return !v.isValid() || v.isNull();
    }
    const auto [packed, cell] = packedCell(buffer, column);
    if (packed->kind(cell) == PackedRow::Null)
        return true;
    // Values that decode to nothing (a bad date, a zero blob size) count as null.
    if (field->isDateTimeField() || field->keepsBytesApart()) {
        const QVariant v = decodeCell(buffer, column, field);
        return !v.isValid() || v.isNull();
    }
    return false;
}

QString Table::dateText(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    const auto [packed, cell] = buffer.isPacked() ? packedCell(buffer, column) : std::pair(&buffer.packed, column);
    if (buffer.isPacked() && packed->kind(cell) == PackedRow::Text) {
        // A stored date turns into its display text without a QDate in between.
        int parts[3];
        if (isoDateParts(packed->bytes(cell), parts))
            return QDate::isValid(parts[0], parts[1], parts[2]) ? dateToText(parts[0], parts[1], parts[2]) : QString();
    }
    const QVariant v = decodeCell(buffer, column, field);
    return v.isValid() && !v.isNull() ? dateToText(v.toDate()) : QString();
}

void Table::appendFieldString(const Field *field, QString &out) const
{
    const RecordBuffer &buffer = activeBuffer();
    if (buffer.isPacked()) {
        const auto [packed, cell] = packedCell(buffer, field->fieldNo() - 1);
        packed->appendText(cell, out);
    } else
        out += fieldString(field);
}

QString Table::fieldString(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (buffer.isPacked()) {
        const auto [packed, cell] = packedCell(buffer, column);
        return packed->toText(cell);
    }
    const QVariant v = buffer.values.value(column);
    return v.isValid() && !v.isNull() ? v.toString() : QString();
}

void Table::readLateColumns(const RecordBuffer &record) const
{
    // Whoever reads a late column reads it on the records that follow too (a grid showing the
    // memo column, an export): from now on batches read every column.
    m_readLate = true;
    record.late = PackedRow();
    if (record.rid && m_selectLate.isValid()) {
        auto &stmt = const_cast<sql::Statement &>(m_selectLate);
        RowSink sink;
        sink.columns = m_lateCount;
        try {
            stmt.bindPointer(1, &sink, kRowSinkType);
            stmt.bindInt64(2, *record.rid);
            while (stmt.step()) { }
        } catch (...) {
            stmt.reset();
            throw;
        }
        stmt.reset();
        // A record another program deleted since it was read has no late values left: they
        // read as null, and saving the record reports it gone.
        if (!sink.rows.empty())
            record.late = std::move(sink.rows.front()->packed);
    }
    record.lateRead = true;
}

std::shared_ptr<RecordBuffer> Table::workingCopy(const RecordBuffer &source) const
{
    auto copy = std::make_shared<RecordBuffer>();
    copy->rid = source.rid;
    copy->pendingBlobs = source.pendingBlobs;
    copy->values.reserve(qsizetype(m_ownedFields.size()));
    for (size_t i = 0; i < m_ownedFields.size(); ++i)
        copy->values.append(decodeCell(source, int(i), m_ownedFields[i].get()));
    return copy;
}

void Table::checkDecodable(const RecordBuffer &record) const
{
    if (!record.isPacked())
        return;
    // Runs on every edit, and a walk may edit every record: the common sound values are told
    // apart without decoding them, and only a doubtful one is decoded, which refuses it.
    for (const int column : m_checkedColumns) {
        const Field *field = m_ownedFields[size_t(column)].get();
        const auto [row, cell] = packedCell(record, column);
        switch (field->dataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
            if (row->kind(cell) == PackedRow::Integer) {
                const std::optional<qint64> value = row->exactInteger(cell);
                if (value && *value >= field->minValue() && *value <= field->maxValue())
                    break;
            }
            decodeCell(record, column, field);
            break;
        default:
            if (row->kind(cell) != PackedRow::Null)
                decodeCell(record, column, field);
            break;
        }
    }
}

std::shared_ptr<RecordBuffer> Table::loadRecords(int position) const
{
    // A jump reads one record; stepping near the last read reads ahead the way it goes.
    const int ahead = controlsDisabled() ? kWalkReadAhead : kReadAhead;
    const bool sequential = std::abs(position - m_lastLoaded) <= ahead;
    const int step = position < m_lastLoaded ? -1 : 1;
    const qint64 wanted = m_ids[size_t(position)];
    std::vector<qint64> batch{wanted};
    const int limit = sequential ? ahead : 1;
    for (int p = position + step; p >= 0 && p < int(m_ids.size()) && int(batch.size()) < limit; p += step) {
        const qint64 rid = m_ids[size_t(p)];
        if (p != m_insertPos && !m_cache.contains(rid))
            batch.push_back(rid);
    }

    if (batch.size() > 1) {
        // A damaged neighbour must not make the wanted record unreadable: read it alone.
        try {
            return readBatch(position, batch);
        } catch (const Error &) {
            return readBatch(position, {wanted});
        }
    }
    return readBatch(position, batch);
}

std::shared_ptr<RecordBuffer> Table::readBatch(int position, const std::vector<qint64> &batch) const
{
    // Records of the natural order lie close together: one scan over their span is cheaper
    // than a look-up per record. Rows in the span that were not asked for are skipped.
    const qint64 wanted = batch.front();
    const auto [low, high] = std::minmax_element(batch.cbegin(), batch.cend());
    // Unsigned, so that ids as far apart as the whole 64-bit range do not overflow.
    const bool span = quint64(*high) - quint64(*low) < quint64(2 * std::max(batch.size(), size_t(kReadAhead)));
    // Rows asked for one by one are as many as the statement has places for.
    if (!span && batch.size() > size_t(kReadAhead))
        return readBatch(position, std::vector<qint64>(batch.cbegin(), batch.cbegin() + kReadAhead));
    // Lean reads leave the late columns out until someone asks for one.
    const bool lean = !m_readLate && m_selectLeanSpan.isValid();
    auto &stmt = const_cast<sql::Statement &>(lean ? (span ? m_selectLeanSpan : m_selectLeanRows)
                                                   : (span ? m_selectSpan : m_selectRows));
    RowSink sink;
    sink.columns = lean ? m_leanCount : int(m_ownedFields.size());
    sink.lean = lean;
    sink.spares = &m_cache.spares();
    sink.rows.reserve(batch.size());
    try {
        stmt.bindPointer(1, &sink, kRowSinkType);
        if (span) {
            stmt.bindInt64(2, *low);
            stmt.bindInt64(3, *high);
        } else {
            for (int i = 0; i < kReadAhead; ++i) {
                if (i < int(batch.size()))
                    stmt.bindInt64(i + 2, batch[size_t(i)]);
                else
                    stmt.bindNull(i + 2);
            }
        }
        while (stmt.step()) { }
    } catch (...) {
        stmt.reset();
        throw;
    }
    stmt.reset();

    // Rows of the span that were not asked for are told by a search of the sorted batch.
    std::vector<qint64> asked;
    if (span) {
        asked = batch;
        std::sort(asked.begin(), asked.end());
    }
    std::shared_ptr<RecordBuffer> found;
    for (auto &record : sink.rows) {
        if (span && !std::binary_search(asked.cbegin(), asked.cend(), *record->rid))
            continue;
        m_cache.insert(record);
        if (record->rid == wanted)
            found = record;
    }
    m_lastLoaded = position;
    if (!found)
        throw Error(tr("Record not found; it may have been deleted by another program"));
    return found;
}

void Table::cacheRecord(const std::shared_ptr<RecordBuffer> &record) const
{
    m_cache.insert(record);
}

std::shared_ptr<RecordBuffer> Table::storedRecord(int position) const
{
    const qint64 rid = m_ids[size_t(position)];
    if (auto record = m_cache.find(rid))
        return record;
    return loadRecords(position);
}

std::shared_ptr<RecordBuffer> Table::recordAt(int position) const
{
    if (position < 0 || position >= int(m_ids.size()))
        return m_empty;
    if (position == m_pos && m_editBuffer)
        return m_editBuffer;
    if (position == m_insertPos)
        return m_editBuffer ? m_editBuffer : m_empty;
    return storedRecord(position);
}

void Table::setPosition(int position, bool bof, bool eof)
{
    std::shared_ptr<RecordBuffer> record;
    if (position >= 0 && position < int(m_ids.size()) && position != m_insertPos)
        record = storedRecord(position);
    m_pos = position;
    m_bof = bof;
    m_eof = eof;
    m_override.reset();
    m_current = std::move(record);
}

void Table::setCurrentRecord()
{
    setPosition(m_pos, m_bof, m_eof);
}

const RecordBuffer &Table::activeBuffer() const
{
    if (m_override)
        return *m_override;
    if (m_state == dsSetKey && m_keyBuffer)
        return *m_keyBuffer;
    if (m_editBuffer)
        return *m_editBuffer;
    if (m_current)
        return *m_current;
    return *m_empty;
}

void Table::selectBuffer(const DataLink *link, int index)
{
    const int position = link->m_first + index;
    if (position == m_pos)
        m_override.reset();
    else
        m_override = recordAt(position);
}

QByteArray Table::readBlob(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (const auto it = buffer.pendingBlobs.constFind(column); it != buffer.pendingBlobs.constEnd())
        return *it;
    if (!buffer.rid || !m_selectBlob.isValid())
        return QByteArray();
    auto &stmt = const_cast<sql::Statement &>(m_selectBlob);
    stmt.bindInt64(1, *buffer.rid);
    stmt.bindText(2, field->fieldName());
    QByteArray bytes;
    try {
        if (stmt.step())
            bytes = stmt.blob(0);
    } catch (...) {
        stmt.reset();
        throw;
    }
    stmt.reset();
    return bytes;
}

qint64 Table::blobRevision(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (buffer.pendingBlobs.contains(column))
        return -1;
    if (!buffer.rid || !m_selectBlobId.isValid())
        return 0;
    auto &stmt = const_cast<sql::Statement &>(m_selectBlobId);
    stmt.bindInt64(1, *buffer.rid);
    stmt.bindText(2, field->fieldName());
    qint64 id = 0;
    try {
        if (stmt.step())
            id = stmt.int64(0);
    } catch (...) {
        stmt.reset();
        throw;
    }
    stmt.reset();
    return id;
}

std::optional<Rendition> Table::rendition(const Field *field, RenditionKind kind, bool rebuild) const
{
    if (!m_renditions || !field->keepsBytesApart() || field->isNull())
        return std::nullopt;
    const qint64 revision = blobRevision(field);
    if (revision <= 0)
        return std::nullopt;
    return m_renditions->rendition(*activeBuffer().rid, field->fieldName(), revision, kind, rebuild);
}

QByteArray Table::photoStamp(const Field *field) const
{
    const qint64 revision = blobRevision(field);
    if (revision <= 0)
        return QByteArray();
    const std::optional<PhotoStamp> stamp = m_renditions ? m_renditions->storedStamp(revision) : std::nullopt;
    if (!stamp)
        return QByteArray::number(revision);
    return QByteArray::number(stamp->blobId) + '/' + QByteArray::number(stamp->size) + '/' + stamp->digest.toHex();
}

int Table::renditionRebuilds() const
{
    return m_renditions ? m_renditions->rebuilds() : 0;
}

// ---------------------------------------------------------------------------------------------
// Moves

bool Table::isEmpty() const
{
    return recordCount() == 0 && m_state != dsInsert;
}

int Table::recordCount() const
{
    if (!active())
        return 0;
    return int(m_ids.size()) - (m_state == dsInsert ? 1 : 0);
}

qint64 Table::sumOf(const Field *field, Scope scope) const
{
    checkActive();
    if (!field || field->dataSet() != this || !field->isNumericField() || field->dataType() == ftFloat
        || field->dataType() == ftCurrency || field->dataType() == ftBCD)
        throw Error(tr("Field '%1' cannot be summed").arg(field ? field->fieldName() : QString()));
    const bool pending = (m_state == dsEdit || m_state == dsInsert) && m_editBuffer;
    const bool edited = pending && m_editBuffer->rid.has_value();
    const qint64 editedRid = edited ? *m_editBuffer->rid : 0;
    const QString column = sql::quoted(field->fieldName());
    QVariantList binds;
    const QString shown = scope == Scope::Shown ? rangeClause(m_indexFields, m_range, &binds) : QString();
    if (edited)
        binds << editedRid;
    sql::Statement stmt = m_db.prepare(
        QStringLiteral("SELECT coalesce(sum(%1), 0) FROM %2 WHERE typeof(%1) = 'integer'%3%4")
            .arg(column, sql::quoted(m_tableName), shown.isEmpty() ? QString() : QStringLiteral(" AND (%1)").arg(shown),
                 edited ? QStringLiteral(" AND %1 <> ?").arg(sql::quoted(kRowId)) : QString()));
    for (int i = 0; i < binds.size(); ++i)
        stmt.bind(i + 1, binds.at(i));
    qint64 sum = stmt.step() ? stmt.int64(0) : 0;
    if (pending) {
        std::optional<QString> invalid;
        const QVariant value = decodeCell(*m_editBuffer, field->fieldNo() - 1, field, &invalid);
        if (value.isValid() && !value.isNull())
            sum += value.toLongLong();
    }
    return sum;
}

int Table::recNo() const
{
    if (!active() || m_pos < 0)
        return 0;
    return m_pos + 1;
}

void Table::setRecNo(int recNo)
{
    checkActive();
    finishPendingEdit();
    const int count = recordCount();
    if (count == 0)
        return;
    moveTo(qBound(0, recNo - 1, count - 1), false);
}

void Table::moveTo(int position, bool scrolled)
{
    setPosition(position, false, false);
    dataEvent(scrolled ? DataEvent::DataSetScroll : DataEvent::DataSetChange);
    Q_EMIT afterScroll();
}

void Table::first()
{
    checkActive();
    finishPendingEdit();
    const int count = recordCount();
    setPosition(count > 0 ? 0 : -1, true, count == 0);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterScroll();
}

void Table::last()
{
    checkActive();
    finishPendingEdit();
    const int count = recordCount();
    setPosition(count - 1, count == 0, true);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterScroll();
}

void Table::next()
{
    moveBy(1);
}

void Table::prior()
{
    moveBy(-1);
}

int Table::moveBy(int distance)
{
    checkActive();
    const int dropped = finishPendingEdit();
    if (distance == 0)
        return 0;
    if ((distance > 0 && m_eof) || (distance < 0 && m_bof))
        return 0;
    const int count = recordCount();
    if (count == 0)
        return 0;
    // A dropped new record stood between its neighbours: a step forward lands on the record
    // that followed it, a step back on the one before it.
    const qint64 from
        = dropped < 0 ? qBound(0, m_pos, count - 1) : (distance > 0 ? qint64(dropped) - 1 : qint64(dropped));
    const qint64 target = from + distance;
    int position = int(qBound(qint64(0), target, qint64(count - 1)));
    setPosition(position, target < 0, target >= count);
    dataEvent(DataEvent::DataSetScroll);
    Q_EMIT afterScroll();
    return int(position - from);
}

Bookmark Table::bookmark() const
{
    if (!active())
        return Bookmark();
    // While a link reads another visible record, that record is the one meant.
    if (m_override)
        return m_override->rid ? Bookmark(*m_override->rid) : Bookmark();
    if (m_pos < 0 || m_pos == m_insertPos)
        return Bookmark();
    return Bookmark(m_ids[size_t(m_pos)]);
}

void Table::gotoBookmark(const Bookmark &bookmark)
{
    checkActive();
    finishPendingEdit();
    const int position = bookmark.isNull() ? -1 : positionOf(bookmark.recordId());
    if (position < 0)
        throw Error(tr("Record not found"));
    moveTo(position, false);
}

bool Table::bookmarkValid(const Bookmark &bookmark) const
{
    return active() && !bookmark.isNull() && positionOf(bookmark.recordId()) >= 0;
}

int Table::compareBookmarks(const Bookmark &a, const Bookmark &b) const
{
    if (a == b)
        return 0;
    if (a.isNull())
        return -1;
    if (b.isNull())
        return 1;
    const int pa = positionOf(a.recordId());
    const int pb = positionOf(b.recordId());
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

}  // namespace kelvara
