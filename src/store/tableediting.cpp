#include "store/table.h"

#include "store/error.h"
#include "store/field.h"
#include "store/findindex.h"
#include "store/recordbuffer.h"
#include "store/tablesql.h"

namespace kelvara {

using namespace tablesql;

// ---------------------------------------------------------------------------------------------
// Editing

void Table::setFieldValue(Field *field, const QVariant &converted)
{
    const int column = field->fieldNo() - 1;
    if (m_state == dsSetKey && m_keyBuffer) {
        m_keyBuffer->values[column] = converted;
        m_keyBuffer->assigned[column] = true;
        return;
    }
    checkActive();
    checkWriteState();
    if (field->readOnly())
        throw Error(tr("Field '%1' cannot be modified").arg(field->displayName()));
    RecordBuffer &buffer = writableEditBuffer();
    if (field->keepsBytesApart()) {
        const QByteArray bytes = converted.toByteArray();
        buffer.pendingBlobs.insert(column, bytes);
        buffer.values[column] = bytes.isEmpty() ? QVariant() : QVariant(qint64(bytes.size()));
    } else {
        buffer.values[column] = converted;
    }
    m_modified = true;
    dataEvent(DataEvent::FieldChange, field);
}

void Table::edit()
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    if (m_state == dsSetKey)
        cancel();
    if (recordCount() == 0) {
        insert();
        return;
    }
    checkCanModify();
    // The record as read for the current position is what the fields show: the edit starts
    // from it, without looking it up again, as walks that edit every record would do.
    const bool read = m_current && m_pos >= 0 && m_pos < int(m_ids.size()) && m_current->rid == m_ids[size_t(m_pos)];
    std::shared_ptr<RecordBuffer> record = read ? m_current : recordAt(m_pos);
    // A value the field cannot hold refuses the edit now rather than at the first change.
    checkDecodable(*record);
    m_editBuffer = std::move(record);
    m_editShared = true;
    m_override.reset();
    m_state = dsEdit;
    m_modified = false;
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::RecordChange);
    Q_EMIT afterEdit();
}

void Table::beginInsert(bool atEnd)
{
    checkActive();
    finishPendingEdit();
    checkCanModify();
    auto buffer = std::make_shared<RecordBuffer>();
    buffer->values.resize(qsizetype(m_ownedFields.size()));
    const int position = atEnd || m_pos < 0 ? int(m_ids.size()) : m_pos;
    // The new record's place; its row id is unknown until it is saved.
    m_ids.insert(m_ids.begin() + position, 0);
    m_insertPos = position;
    m_posValid = false;
    m_pos = position;
    m_editBuffer = buffer;
    m_editShared = false;
    m_current.reset();
    m_override.reset();
    m_state = dsInsert;
    m_modified = false;
    m_bof = m_eof = false;
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterInsert();
    Q_EMIT afterScroll();
}

void Table::insert()
{
    beginInsert(false);
}

void Table::append()
{
    beginInsert(true);
}

void Table::insertRecord(const QVariantList &values)
{
    insert();
    // One operation: when a value or the save fails, no half-filled record is left pending
    // for the next move to save.
    try {
        for (int i = 0; i < values.size() && i < m_fields.size(); ++i)
            m_fields.at(i)->setValue(values.at(i));
        post();
    } catch (...) {
        if (m_state == dsInsert) {
            try {
                cancelRecord(true);
            } catch (...) {
                // The failure that brought us here is the one to report.
            }
        }
        throw;
    }
}

RecordBuffer &Table::writableEditBuffer()
{
    if (m_editShared) {
        m_editBuffer = workingCopy(*m_editBuffer);
        m_editShared = false;
    }
    return *m_editBuffer;
}

void Table::writeRecord()
{
    RecordBuffer &buffer = writableEditBuffer();
    sql::Transaction transaction(m_db);
    sql::Statement &stmt = m_state == dsInsert ? m_insertRow : m_updateRow;
    if (!stmt.isValid())
        throw Error(tr("Cannot modify a read-only dataset"));
    try {
        int index = 1;
        for (const auto &field : m_ownedFields)
            stmt.bind(index++, toSql(field.get(), buffer.values.at(field->fieldNo() - 1)));
        if (m_state == dsEdit)
            stmt.bindInt64(index, buffer.rid.value());
        stmt.run();
    } catch (...) {
        stmt.reset();
        throw;
    }
    if (m_state == dsEdit && m_db.changes() == 0)
        throw Error(tr("Record not found; it may have been deleted by another program"));
    const qint64 rid = m_state == dsInsert ? m_db.lastInsertRowId() : buffer.rid.value();

    if (!buffer.pendingBlobs.isEmpty()) {
        sql::Statement put
            = m_db.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (\"rid\", \"field\", \"data\") VALUES (?, ?, ?)")
                               .arg(sql::quoted(blobTableName())));
        sql::Statement remove = m_db.prepare(
            QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ? AND \"field\" = ?").arg(sql::quoted(blobTableName())));
        for (auto it = buffer.pendingBlobs.cbegin(); it != buffer.pendingBlobs.cend(); ++it) {
            const QString name = m_ownedFields[size_t(it.key())]->fieldName();
            sql::Statement &target = it->isEmpty() ? remove : put;
            target.bindInt64(1, rid);
            target.bindText(2, name);
            if (!it->isEmpty())
                target.bindBlob(3, *it);
            target.run();
            if (m_renditions && it->isEmpty())
                m_renditions->photoRemoved(rid, name);
            else if (m_renditions)
                m_renditions->photoWritten(rid, name, m_db.lastInsertRowId(), *it);
        }
    }
    if (m_findIndex)
        m_findIndex->follow(rid);
    transaction.commit();
    ++m_writeGeneration;
    buffer.rid = rid;
    buffer.pendingBlobs.clear();
}

void Table::post()
{
    postRecord(true);
}

void Table::postRecord(bool notify, bool writeBack)
{
    checkActive();
    if (writeBack)
        updateRecord();
    else
        checkWriteState();
    checkCanModify();
    writeRecord();
    m_inSortOrder = false;
    if (m_state == dsInsert) {
        m_ids[size_t(m_insertPos)] = m_editBuffer->rid.value();
        m_insertPos = -1;
        m_posValid = false;
    }
    cacheRecord(m_editBuffer);
    m_editBuffer.reset();
    m_state = dsBrowse;
    m_modified = false;
    setCurrentRecord();
    if (notify) {
        dataEvent(DataEvent::UpdateState);
        dataEvent(DataEvent::DataSetChange);
    }
    Q_EMIT afterPost();
}

void Table::cancel()
{
    cancelRecord(true);
}

void Table::cancelRecord(bool notify)
{
    checkActive();
    const DataSetState was = m_state;
    if (was == dsBrowse)
        return;
    if (was == dsInsert)
        removeInsertRow();
    // An edit that changed nothing still holds the record read for the position, which stays.
    const bool untouched = was == dsEdit && m_editShared && m_current && m_editBuffer == m_current;
    m_editBuffer.reset();
    m_keyBuffer.reset();
    m_state = dsBrowse;
    m_modified = false;
    // The links hear of the change even when the record to stand on cannot be read.
    std::exception_ptr failure;
    try {
        if (untouched)
            m_override.reset();
        else
            setCurrentRecord();
    } catch (...) {
        failure = std::current_exception();
        m_current.reset();
    }
    if (notify) {
        dataEvent(DataEvent::UpdateState);
        if (was != dsSetKey)
            dataEvent(DataEvent::DataSetChange);
    }
    if (failure)
        std::rethrow_exception(failure);
    if (was != dsSetKey)
        Q_EMIT afterCancel();
}

void Table::removeInsertRow()
{
    if (m_insertPos >= 0 && m_insertPos < int(m_ids.size()))
        m_ids.erase(m_ids.begin() + m_insertPos);
    m_insertPos = -1;
    m_posValid = false;
    if (m_ids.empty()) {
        m_pos = -1;
        m_bof = m_eof = true;
    } else if (m_pos >= int(m_ids.size())) {
        m_pos = int(m_ids.size()) - 1;
    }
}

void Table::checkBrowseMode()
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert) {
        updateRecord();
        if (m_modified)
            postRecord(true, false);
        else
            cancel();
    } else if (m_state == dsSetKey) {
        cancel();
    }
}

int Table::finishPendingEdit()
{
    // Handlers of the post may put the record back into edit state; an unmodified edit state
    // begun that way is dropped, since the operation that called us is about to leave it.
    int dropped = -1;
    auto drop = [&] {
        if (m_state == dsInsert)
            dropped = m_pos;
        cancelRecord(false);
    };
    for (int round = 0; round < 3; ++round) {
        if (m_state == dsEdit || m_state == dsInsert) {
            updateRecord();
            if (m_modified)
                postRecord(false, false);
            else
                drop();
        } else if (m_state == dsSetKey) {
            cancelRecord(false);
        } else {
            return dropped;
        }
    }
    if (m_state != dsBrowse) {
        if (m_modified)
            throw Error(tr("The record could not be saved because it keeps changing"));
        drop();
    }
    return dropped;
}

void Table::updateRecord()
{
    checkWriteState();
    // Held controls hear of no change and take no typing, and each control's write-back leaves
    // it unmodified: once they have all written their text, a walk's further requests (one a
    // record) would find nothing to write, so they are not sent.
    if (controlsDisabled() && m_heldControlsWritten)
        return;
    dataEvent(DataEvent::UpdateRecord);
    m_heldControlsWritten = controlsDisabled();
}

void Table::deleteRecord()
{
    checkActive();
    if (m_state == dsInsert || m_state == dsSetKey) {
        cancel();
        return;
    }
    if (recordCount() == 0)
        throw Error(tr("Cannot perform this operation on an empty dataset"));
    checkCanModify();
    const qint64 rid = m_ids[size_t(m_pos)];
    {
        sql::Transaction transaction(m_db);
        if (m_deletedKeptDays > 0)
            keepDeleted(rid);
        sql::Statement row = m_db.prepare(
            QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(sql::quoted(m_tableName), sql::quoted(kRowId)));
        row.bindInt64(1, rid);
        row.run();
        if (m_selectBlob.isValid()) {
            sql::Statement blobs
                = m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ?").arg(sql::quoted(blobTableName())));
            blobs.bindInt64(1, rid);
            blobs.run();
            if (m_renditions)
                m_renditions->recordDeleted(rid);
        }
        if (m_findIndex)
            m_findIndex->forget(rid);
        transaction.commit();
        ++m_writeGeneration;
    }
    m_ids.erase(m_ids.begin() + m_pos);
    m_posValid = false;
    m_cache.remove(rid);
    m_editBuffer.reset();
    m_state = dsBrowse;
    m_modified = false;
    m_current.reset();
    std::exception_ptr failure;
    try {
        if (m_ids.empty())
            setPosition(-1, true, true);
        else
            setPosition(qMin(m_pos, int(m_ids.size()) - 1), false, false);
    } catch (...) {
        failure = std::current_exception();
        m_pos = qMin(m_pos, int(m_ids.size()) - 1);
    }
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::DataSetChange);
    if (failure)
        std::rethrow_exception(failure);
    Q_EMIT afterDelete();
    Q_EMIT afterScroll();
}

void Table::refresh()
{
    checkActive();
    finishPendingEdit();
    reload(m_indexFields, m_range, true);
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterRefresh();
}

}  // namespace kelvara
