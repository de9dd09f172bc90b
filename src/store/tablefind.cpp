#include "store/table.h"

#include "store/error.h"
#include "store/field.h"
#include "store/findindex.h"
#include "store/findwords.h"
#include "store/tablesql.h"

#include <QTimer>

#include <algorithm>
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
    if (const QString dates = findDatesClause(binds); !dates.isEmpty())
        conditions << dates;
    return conditions.join(QStringLiteral(" AND "));
}

QString Table::findDatesClause(QVariantList *binds) const
{
    QStringList conditions;
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

qint64 Table::dataVersion() const
{
    sql::Statement version = m_db.prepare(QStringLiteral("PRAGMA data_version"));
    return version.step() ? version.int64(0) : 0;
}

const std::vector<qint64> &Table::unfoundIds(const QList<Field *> &order, const Range &range) const
{
    // Another connection's commit, or a write of ours, may have changed which records there are
    // and where the order puts them.
    const qint64 version = dataVersion();
    UnfoundIds &kept = m_unfound;
    if (!kept.valid || kept.order != order || !(kept.range == range) || kept.generation != m_writeGeneration
        || kept.dataVersion != version) {
        kept.valid = false;
        QVariantList binds;
        const QString where = rangeClause(order, range, &binds, false);
        sql::Statement stmt = m_db.prepare(QStringLiteral("SELECT %1 FROM %2%3%4")
                                               .arg(sql::quoted(kRowId), sql::quoted(m_tableName),
                                                    where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where,
                                                    orderClause(order)));
        for (int i = 0; i < binds.size(); ++i)
            stmt.bind(i + 1, binds.at(i));
        kept.ids.clear();
        while (stmt.step())
            kept.ids.push_back(stmt.int64(0));
        kept.order = order;
        kept.range = range;
        kept.generation = m_writeGeneration;
        kept.dataVersion = version;
        kept.valid = true;
    }
    return kept.ids;
}

std::optional<std::vector<qint64>> Table::foundIds(const QList<Field *> &order, const Range &range) const
{
    const bool dated = m_find.from.isValid() || m_find.to.isValid();
    if (!m_findWords.isEmpty()) {
        if (!m_findIndex)
            return std::nullopt;
        m_findIndex->noticeOtherWriters();
        if (!m_findIndex->ready()) {
            if (m_findWork && !m_findWork->isActive())
                m_findWork->start(0);
            return std::nullopt;
        }
    } else if (!dated) {
        return std::nullopt;
    }
    // The sets the find's parts allow, each ascending.
    std::vector<std::vector<qint64>> allowed;
    if (!m_findWords.isEmpty())
        allowed.push_back(m_findIndex->matches(m_findWords));
    if (dated) {
        QVariantList binds{QVariant()};  // the gatherer
        const QString where = findDatesClause(&binds);
        sql::Statement query = m_db.prepare(QStringLiteral("SELECT sum(kelvara_collect(?, %1)) FROM %2 WHERE %3")
                                                .arg(sql::quoted(kRowId), sql::quoted(m_tableName), where));
        for (int i = 1; i < binds.size(); ++i)
            query.bind(i + 1, binds.at(i));
        std::vector<qint64> ids;
        FindIndex::collect(query, ids);
        allowed.push_back(std::move(ids));
    }
    // Each set as one bit a row id over its span, where the ids lie close together as they do
    // unless another program chose them; else looked up by halving.
    struct Allowed
    {
        const std::vector<qint64> *ids;
        qint64 first = 0;
        std::vector<quint64> bits;
        bool has(qint64 rid) const
        {
            if (bits.empty())
                return std::binary_search(ids->begin(), ids->end(), rid);
            if (rid < first || quint64(rid - first) >= quint64(bits.size()) * 64)
                return false;
            const quint64 offset = quint64(rid - first);
            return (bits[size_t(offset / 64)] >> (offset % 64)) & 1;
        }
    };
    std::vector<Allowed> checks;
    for (const std::vector<qint64> &set : allowed) {
        Allowed check{&set, 0, {}};
        if (!set.empty() && quint64(set.back() - set.front()) / 64 <= quint64(set.size()) + (1 << 20)) {
            check.first = set.front();
            check.bits.assign(size_t(quint64(set.back() - set.front()) / 64 + 1), 0);
            for (const qint64 rid : set) {
                const quint64 offset = quint64(rid - check.first);
                check.bits[size_t(offset / 64)] |= quint64(1) << (offset % 64);
            }
        }
        checks.push_back(std::move(check));
    }
    const std::vector<qint64> &unfound = unfoundIds(order, range);
    std::vector<qint64> found;
    found.reserve(std::min(unfound.size(), allowed.front().size()));
    for (const qint64 rid : unfound) {
        if (std::all_of(checks.begin(), checks.end(), [rid](const Allowed &check) { return check.has(rid); }))
            found.push_back(rid);
    }
    return found;
}

qint64 Table::storedCount() const
{
    checkActive();
    sql::Statement count = m_db.prepare(QStringLiteral("SELECT count(*) FROM %1").arg(sql::quoted(m_tableName)));
    return count.step() ? count.int64(0) : 0;
}

}  // namespace kelvara
