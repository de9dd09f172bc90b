#include "store/table.h"

#include "store/error.h"
#include "store/field.h"
#include "store/findindex.h"
#include "store/findwords.h"
#include "store/tablesql.h"

#include <QTimer>

#include <climits>

namespace kelvara {

using tablesql::kRowId;

namespace {
// A slice of the index's pass, in milliseconds: short enough that typing never waits on it.
constexpr int kFindSliceMs = 12;
}  // namespace

QStringList Table::findColumns() const
{
    QStringList columns;
    for (const auto &field : m_ownedFields) {
        if (field->isStringField() || field->dataType() == ftMemo)
            columns << sql::quoted(field->fieldName());
    }
    return columns;
}

void Table::openFindIndex()
{
    const QStringList columns = findColumns();
    if (!m_findIndexed || columns.isEmpty())
        return;
    if (!m_findWork) {
        m_findWork = new QTimer(this);
        m_findWork->setSingleShot(true);
        connect(m_findWork, &QTimer::timeout, this, &Table::workOnFindIndex);
    }
    try {
        m_findIndex = std::make_unique<FindIndex>(m_db, m_tableName, kRowId, columns);
    } catch (const Error &) {
        // No FTS5, a full disk, a file another program holds: finds scan the records instead.
        m_findIndex.reset();
        return;
    }
    m_findWork->start(0);
}

Table::FindIndexState Table::findIndexState() const
{
    if (!m_findIndex)
        return FindIndexState::None;
    return m_findIndex->ready() ? FindIndexState::Ready : FindIndexState::Indexing;
}

void Table::noteFindIndexState()
{
    const FindIndexState state = findIndexState();
    if (state == m_findIndexState)
        return;
    m_findIndexState = state;
    Q_EMIT findIndexStateChanged();
}

void Table::workOnFindIndex()
{
    if (!m_findIndex || !active())
        return;
    try {
        if (m_findIndex->work(kFindSliceMs))
            m_findWork->start(0);
    } catch (const BusyError &) {
        // Another program is writing: the pass goes on when it has finished.
        m_findWork->start(250);
    } catch (const Error &) {
        m_findIndex.reset();  // from now on finds scan, which needs nothing written
    }
    noteFindIndexState();
}

void Table::completeFindIndex()
{
    checkActive();
    if (m_findIndex) {
        while (m_findIndex->work(INT_MAX)) { }
    }
    noteFindIndexState();
}

bool Table::findActive() const
{
    return !m_findWords.isEmpty() || m_find.from.isValid() || m_find.to.isValid();
}

void Table::setFind(const FindFilter &filter)
{
    checkActive();
    finishPendingEdit();
    const FindFilter previous = m_find;
    const QStringList previousWords = m_findWords;
    m_find = filter;
    m_findWords = findwords::queryWords(filter.words);
    try {
        reload(m_indexFields, m_range, true, true);
    } catch (...) {
        m_find = previous;
        m_findWords = previousWords;
        throw;
    }
    noteFindIndexState();
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterScroll();
}

QString Table::findClause(QVariantList *binds) const
{
    QStringList conditions;
    if (!m_findWords.isEmpty()) {
        if (m_findIndex) {
            // Asked at every find: another program's commit since the last pass puts the index
            // in doubt until a pass has looked at every record again.
            m_findIndex->noticeOtherWriters();
            if (!m_findIndex->ready() && m_findWork && !m_findWork->isActive())
                m_findWork->start(0);
        }
        if (m_findIndex && m_findIndex->ready()) {
            conditions << QStringLiteral("%1 IN (%2)").arg(sql::quoted(kRowId), m_findIndex->matchingRowIds());
            binds->append(FindIndex::matchArgument(m_findWords));
        } else {
            conditions << FindIndex::scanCondition(findColumns());
            binds->append(FindIndex::scanArgument(m_findWords));
        }
    }
    if (m_find.from.isValid() || m_find.to.isValid()) {
        const Field *date = findField(m_find.dateField);
        if (!date || date->dataType() != ftDate)
            throw Error(tr("No date field '%1' to find between dates").arg(m_find.dateField));
        if (m_find.from.isValid()) {
            conditions << sql::quoted(date->fieldName()) + QStringLiteral(" >= ?");
            binds->append(m_find.from.toString(Qt::ISODate));
        }
        if (m_find.to.isValid()) {
            conditions << sql::quoted(date->fieldName()) + QStringLiteral(" <= ?");
            binds->append(m_find.to.toString(Qt::ISODate));
        }
    }
    return conditions.join(QStringLiteral(" AND "));
}

qint64 Table::storedCount() const
{
    checkActive();
    sql::Statement count = m_db.prepare(QStringLiteral("SELECT count(*) FROM %1").arg(sql::quoted(m_tableName)));
    return count.step() ? count.int64(0) : 0;
}

}  // namespace kelvara
