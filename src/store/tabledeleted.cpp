// Deleted records kept for a while in side tables, so that a mistaken delete can be undone.
#include "store/error.h"
#include "store/field.h"
#include "store/findindex.h"
#include "store/table.h"
#include "store/tablesql.h"

#include <QDateTime>

namespace kelvara {

using tablesql::kRowId;

namespace {

QString cutoffFor(int days)
{
    return QDateTime::currentDateTimeUtc().addDays(-days).toString(Qt::ISODate);
}

QStringList columnsOf(const sql::Database &db, const QString &table)
{
    QStringList names;
    sql::Statement info = db.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(sql::quoted(table)));
    while (info.step())
        names << info.text(1);
    return names;
}

// The columns other than the row id that both tables have: another program may have added some
// to either.
QStringList sharedColumns(const sql::Database &db, const QString &table, const QString &kept)
{
    const QStringList keptColumns = columnsOf(db, kept);
    QStringList shared;
    for (const QString &column : columnsOf(db, table)) {
        if (column != kRowId && keptColumns.contains(column))
            shared << column;
    }
    return shared;
}

QString quotedList(const QStringList &names, const QString &prefix = QString())
{
    QStringList quotedNames;
    for (const QString &name : names)
        quotedNames << prefix + sql::quoted(name);
    return quotedNames.join(QStringLiteral(", "));
}

// A kept value as its field gives it: dates are kept as ISO text.
QVariant storedValue(const Field *field, const QVariant &stored)
{
    if (stored.isNull())
        return QVariant();
    switch (field->dataType()) {
    case ftDate: return QDate::fromString(stored.toString(), Qt::ISODate);
    case ftDateTime: return QDateTime::fromString(stored.toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default: return stored;
    }
}

}  // namespace

QString Table::deletedTableName() const
{
    return m_tableName + QStringLiteral("_deleted");
}

QString Table::deletedBlobTableName() const
{
    return m_tableName + QStringLiteral("_deleted_blobs");
}

void Table::setDeletedKeptDays(int days)
{
    m_deletedKeptDays = qMax(0, days);
}

// Inside the delete's transaction: the record and its photos go to the side tables, and what
// has been kept longer than its time goes for good.
void Table::keepDeleted(qint64 rid)
{
    const QString deleted = deletedTableName();
    const QString deletedBlobs = deletedBlobTableName();
    if (!m_db.hasTable(deleted)) {
        QStringList columns{sql::quoted(kRowId) + QStringLiteral(" INTEGER PRIMARY KEY"),
                            QStringLiteral("\"deleted_at\" TEXT NOT NULL")};
        sql::Statement info = m_db.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(sql::quoted(m_tableName)));
        while (info.step()) {
            if (info.text(1) != kRowId)
                columns << QStringLiteral("%1 %2").arg(sql::quoted(info.text(1)), info.text(2));
        }
        m_db.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(sql::quoted(deleted), columns.join(QStringLiteral(", "))));
    }
    if (!m_db.hasTable(deletedBlobs))
        m_db.exec(QStringLiteral("CREATE TABLE %1 (\"rid\" INTEGER NOT NULL, \"field\" TEXT NOT NULL, "
                                 "\"data\" BLOB NOT NULL, UNIQUE (\"rid\", \"field\"))")
                      .arg(sql::quoted(deletedBlobs)));

    const QStringList shared = sharedColumns(m_db, m_tableName, deleted);
    sql::Statement row = m_db.prepare(
        QStringLiteral("INSERT OR REPLACE INTO %1 (%2, \"deleted_at\", %3) "
                       "SELECT %2, ?, %3 FROM %4 WHERE %2 = ?")
            .arg(sql::quoted(deleted), sql::quoted(kRowId), quotedList(shared), sql::quoted(m_tableName)));
    row.bindText(1, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    row.bindInt64(2, rid);
    row.run();
    if (m_db.hasTable(blobTableName())) {
        sql::Statement clear
            = m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ?").arg(sql::quoted(deletedBlobs)));
        clear.bindInt64(1, rid);
        clear.run();
        sql::Statement blobs
            = m_db.prepare(QStringLiteral("INSERT INTO %1 (\"rid\", \"field\", \"data\") "
                                          "SELECT \"rid\", \"field\", \"data\" FROM %2 WHERE \"rid\" = ?")
                               .arg(sql::quoted(deletedBlobs), sql::quoted(blobTableName())));
        blobs.bindInt64(1, rid);
        blobs.run();
    }
    sql::Statement expired
        = m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE \"deleted_at\" < ?").arg(sql::quoted(deleted)));
    expired.bindText(1, cutoffFor(m_deletedKeptDays));
    expired.run();
    m_db.exec(QStringLiteral("DELETE FROM %1 WHERE \"rid\" NOT IN (SELECT %2 FROM %3)")
                  .arg(sql::quoted(deletedBlobs), sql::quoted(kRowId), sql::quoted(deleted)));
}

QList<DeletedRecord> Table::deletedRecords(const QStringList &fieldNames) const
{
    checkActive();
    QList<DeletedRecord> records;
    if (!m_db.hasTable(deletedTableName()))
        return records;
    const QStringList kept = columnsOf(m_db, deletedTableName());
    QStringList selected;
    QList<const Field *> fields;
    for (const QString &name : fieldNames) {
        const Field *field = fieldByName(name);
        fields << field;
        selected << (kept.contains(field->fieldName()) ? sql::quoted(field->fieldName()) : QStringLiteral("NULL"));
    }
    const bool withBlobs = m_db.hasTable(deletedBlobTableName());
    sql::Statement stmt = m_db.prepare(
        QStringLiteral(
            "SELECT %1, \"deleted_at\", %2 FROM %3 d WHERE \"deleted_at\" >= ? ORDER BY \"deleted_at\" DESC, %1 DESC")
            .arg(sql::quoted(kRowId),
                 (withBlobs ? QStringLiteral("(SELECT count(*) FROM %1 b WHERE b.\"rid\" = d.%2)")
                                  .arg(sql::quoted(deletedBlobTableName()), sql::quoted(kRowId))
                            : QStringLiteral("0"))
                     + (selected.isEmpty() ? QString() : QStringLiteral(", ") + selected.join(QStringLiteral(", "))),
                 sql::quoted(deletedTableName())));
    stmt.bindText(1, cutoffFor(m_deletedKeptDays > 0 ? m_deletedKeptDays : kDefaultDeletedKeptDays));
    while (stmt.step()) {
        DeletedRecord record;
        record.rid = stmt.int64(0);
        record.deletedAt = QDateTime::fromString(stmt.text(1), Qt::ISODate).toLocalTime();
        record.photos = int(stmt.int64(2));
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant stored = stmt.value(3 + i);
            record.values << storedValue(fields.at(i), stored);
        }
        records << record;
    }
    return records;
}

qint64 Table::restoreDeleted(qint64 rid)
{
    checkActive();
    checkCanModify();
    checkBrowseMode();
    if (!m_db.hasTable(deletedTableName()))
        throw Error(tr("No deleted record is kept"));
    const QString deleted = deletedTableName();
    qint64 restored = rid;
    {
        sql::Transaction transaction(m_db);
        sql::Statement present = m_db.prepare(
            QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?").arg(sql::quoted(deleted), sql::quoted(kRowId)));
        present.bindInt64(1, rid);
        if (!present.step() || present.int64(0) == 0)
            throw Error(tr("The deleted record is no longer kept"));
        const QStringList shared = sharedColumns(m_db, m_tableName, deleted);
        // Back under its own row id, unless something took it since: then under a new one.
        sql::Statement taken = m_db.prepare(
            QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?").arg(sql::quoted(m_tableName), sql::quoted(kRowId)));
        taken.bindInt64(1, rid);
        const bool free = taken.step() && taken.int64(0) == 0;
        sql::Statement row
            = m_db.prepare(QStringLiteral("INSERT INTO %1 (%2, %3) SELECT %4, %3 FROM %5 WHERE %2 = ?")
                               .arg(sql::quoted(m_tableName), sql::quoted(kRowId), quotedList(shared),
                                    free ? sql::quoted(kRowId) : QStringLiteral("NULL"), sql::quoted(deleted)));
        row.bindInt64(1, rid);
        row.run();
        restored = m_db.lastInsertRowId();
        if (m_db.hasTable(deletedBlobTableName())) {
            if (!m_db.hasTable(blobTableName()))
                throw Error(tr("The table keeps no photos; the deleted record's photos cannot go back"));
            sql::Statement blobs
                = m_db.prepare(QStringLiteral("INSERT INTO %1 (\"rid\", \"field\", \"data\") "
                                              "SELECT ?, \"field\", \"data\" FROM %2 WHERE \"rid\" = ?")
                                   .arg(sql::quoted(blobTableName()), sql::quoted(deletedBlobTableName())));
            blobs.bindInt64(1, restored);
            blobs.bindInt64(2, rid);
            blobs.run();
            sql::Statement gone = m_db.prepare(
                QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ?").arg(sql::quoted(deletedBlobTableName())));
            gone.bindInt64(1, rid);
            gone.run();
        }
        sql::Statement gone = m_db.prepare(
            QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(sql::quoted(deleted), sql::quoted(kRowId)));
        gone.bindInt64(1, rid);
        gone.run();
        if (m_findIndex)
            m_findIndex->follow(restored);
        transaction.commit();
        ++m_writeGeneration;
    }
    // The record comes back where the order puts it, and becomes the current one when the
    // range shows it. An edit the links began meanwhile holds nothing typed.
    finishPendingEdit();
    reload(m_indexFields, m_range, true);
    const int position = positionOf(restored);
    if (position >= 0)
        setPosition(position, false, false);
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterScroll();
    return restored;
}

}  // namespace kelvara
