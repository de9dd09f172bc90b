#pragma once

#include "errorof.h"
#include "fielddefmaker.h"
#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QtTest>

#include <sqlite3.h>

#include <functional>
#include <limits>
#include <utility>

namespace kelvara::test {

// The small table most store tests work on: two text fields, a 16-bit integer, a date, a memo
// and a picture, in that order.
inline FieldDefs jobDefs()
{
    return {fieldDef(QStringLiteral("name"), ftString, 10), fieldDef(QStringLiteral("city"), ftString, 20),
            fieldDef(QStringLiteral("hours"), ftSmallint),  fieldDef(QStringLiteral("day"), ftDate),
            fieldDef(QStringLiteral("note"), ftMemo),       fieldDef(QStringLiteral("photo"), ftBlob)};
}

// Runs SQL on a table file as another program does (the sqlite3 shell): a connection of its
// own, with SQLite's defaults, triggers and views on.
inline void foreignExec(const char *file, const QByteArray &sql)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(file, &db), SQLITE_OK);
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message);
    const QByteArray text = message ? QByteArray(message) : QByteArray();
    sqlite3_free(message);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, text.constData());
}

// Adds a record at the end with the given values by position, and saves it.
inline void appendRow(Table &table, const QVariantList &values)
{
    table.append();
    for (int i = 0; i < values.size(); ++i)
        table.field(i)->setValue(values.at(i));
    table.post();
}

// Creates table `name` in the working directory with `defs`, opens it, stores the rows in
// this order and stands on the first one.
inline void makeTable(Table &table, const QList<QVariantList> &rows, const FieldDefs &defs = jobDefs(),
                      const QString &name = QStringLiteral("jobs"))
{
    table.setTableName(name);
    table.createTable(defs);
    table.open();
    for (const QVariantList &row : rows)
        appendRow(table, row);
    table.first();
}

// Rows named "r1", "r2", ... with the number as hours, for tests that only count and move.
inline QList<QVariantList> numberedRows(int count)
{
    QList<QVariantList> rows;
    for (int i = 1; i <= count; ++i)
        rows << QVariantList{QStringLiteral("r%1").arg(i), QString(), i};
    return rows;
}

// A table whose records have the row ids another program may give them, 0 and negative ones
// and both ends of the 64-bit range, around two records saved by the store (row ids 1 and 2).
// Hours are set apart per record, so that each record can be told by its values.
struct ExtremeIds
{
    static QList<QPair<qint64, QVariantList>> rows()
    {
        return {{std::numeric_limits<qint64>::min(), {QStringLiteral("min"), -3}},
                {-1, {QStringLiteral("minus one"), -1}},
                {0, {QStringLiteral("zero"), 0}},
                {1, {QStringLiteral("r1"), 1}},
                {2, {QStringLiteral("r2"), 2}},
                {std::numeric_limits<qint64>::max(), {QStringLiteral("max"), 9}}};
    }

    // Makes the table "jobs" and opens it on the first record of the natural order.
    static void make(Table &table)
    {
        makeTable(table, {{QStringLiteral("r1"), QString(), 1}, {QStringLiteral("r2"), QString(), 2}});
        table.close();
        {
            sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
            sql::Statement insert
                = db.prepare(QStringLiteral("INSERT INTO \"jobs\" (\"_rid\", \"name\", \"hours\") VALUES (?, ?, ?)"));
            for (const auto &[rid, values] : rows()) {
                if (rid == 1 || rid == 2)
                    continue;
                insert.bindInt64(1, rid);
                insert.bind(2, values.at(0));
                insert.bind(3, values.at(1));
                insert.run();
            }
        }
        table.open();
    }

    // The stored records as "rid name hours", in row id order, read by plain SQL.
    static QStringList stored()
    {
        sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadOnly);
        sql::Statement select
            = db.prepare(QStringLiteral("SELECT \"_rid\", \"name\", \"hours\" FROM \"jobs\" ORDER BY \"_rid\""));
        QStringList result;
        while (select.step())
            result << QStringLiteral("%1 %2 %3").arg(select.int64(0)).arg(select.text(1)).arg(select.int64(2));
        return result;
    }
};

// The names of the records from the current order, read by walking first to end.
inline QStringList names(Table &table, const QString &field = QStringLiteral("name"))
{
    QStringList result;
    table.first();
    while (!table.eof()) {
        result << table.fieldByName(field)->asString();
        table.next();
    }
    return result;
}

inline QString currentName(const Table &table)
{
    return table.fieldByName(QStringLiteral("name"))->asString();
}

// Records the events of a table, its data source and its links as short words, in order.
class EventLog
{
public:
    void watch(Table &table)
    {
        auto add = [this](const char *word) { return [this, word] { m_entries << QLatin1String(word); }; };
        QObject::connect(&table, &Table::afterOpen, &m_context, add("afterOpen"));
        QObject::connect(&table, &Table::afterClose, &m_context, add("afterClose"));
        QObject::connect(&table, &Table::afterScroll, &m_context, add("afterScroll"));
        QObject::connect(&table, &Table::afterInsert, &m_context, add("afterInsert"));
        QObject::connect(&table, &Table::afterEdit, &m_context, add("afterEdit"));
        QObject::connect(&table, &Table::afterPost, &m_context, add("afterPost"));
        QObject::connect(&table, &Table::afterCancel, &m_context, add("afterCancel"));
        QObject::connect(&table, &Table::afterDelete, &m_context, add("afterDelete"));
        QObject::connect(&table, &Table::afterRefresh, &m_context, add("afterRefresh"));
    }

    void watch(DataSource &source)
    {
        QObject::connect(&source, &DataSource::dataChanged, &m_context, [this](Field *field) {
            m_entries << (field ? QStringLiteral("dataChanged ") + field->fieldName() : QStringLiteral("dataChanged"));
        });
    }

    void add(const QString &entry) { m_entries << entry; }
    QStringList entries() const { return m_entries; }
    QStringList take() { return std::exchange(m_entries, QStringList()); }
    void clear() { m_entries.clear(); }

private:
    QObject m_context;
    QStringList m_entries;
};

// A link that writes what it is told into an event log, the way a bound control would react.
class RecordingLink : public DataLink
{
public:
    explicit RecordingLink(EventLog *log = nullptr) : m_log(log) { }

    std::function<void()> onUpdateData;  // a bound control writing its text back
    std::function<void()> onDataSetChanged;
    std::function<void()> onEditingChanged;

protected:
    void activeChanged() override { record(active() ? QStringLiteral("active") : QStringLiteral("inactive")); }
    void editingChanged() override
    {
        record(editing() ? QStringLiteral("editing") : QStringLiteral("browsing"));
        if (onEditingChanged)
            onEditingChanged();
    }
    void dataSetChanged() override
    {
        record(QStringLiteral("changed"));
        if (onDataSetChanged)
            onDataSetChanged();
    }
    void dataSetScrolled(int distance) override { record(QStringLiteral("scrolled %1").arg(distance)); }
    void layoutChanged() override { record(QStringLiteral("layout")); }
    void recordChanged(Field *field) override
    {
        record(field ? QStringLiteral("record ") + field->fieldName() : QStringLiteral("record"));
    }
    void updateData() override
    {
        record(QStringLiteral("updateData"));
        if (onUpdateData)
            onUpdateData();
    }

private:
    void record(const QString &entry)
    {
        if (m_log)
            m_log->add(QStringLiteral("link ") + entry);
    }

    EventLog *m_log;
};

}  // namespace kelvara::test
