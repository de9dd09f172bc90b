#include "installed.h"
#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// Another program working on the same file.
class OtherProgram
{
public:
    explicit OtherProgram(const QString &file = QStringLiteral("jobs.db")) : m_db(file, sql::Database::Mode::ReadWrite)
    { }

    void exec(const QString &sql) { m_db.exec(sql); }
    qint64 count(const QString &sql)
    {
        sql::Statement stmt = m_db.prepare(sql);
        return stmt.step() ? stmt.int64(0) : -1;
    }
    // True when no one else holds the file's write lock, that is, no transaction is left open.
    bool canWrite()
    {
        try {
            m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
            m_db.exec(QStringLiteral("ROLLBACK"));
            return true;
        } catch (const Error &) {
            return false;
        }
    }

private:
    sql::Database m_db;
};

enum class Operation {
    Open,
    Next,
    First,
    Edit,
    FieldChange,
    Post,
    Cancel,
    Insert,
    Append,
    Delete,
    DeleteWhileInserting,
    Refresh,
    NextWithChange,
    InsertRecord,
    Close
};

}  // namespace

Q_DECLARE_METATYPE(Operation)

// Editing records: states, saving and dropping changes, the events that go with them, and what
// a failed save leaves behind.
class EditingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eventOrder_data();
    void eventOrder();
    void editOnEmptyTableInserts();
    void changesNeverReachTheStoredRecordBeforeThePost();
    void editTwiceHasNoFurtherEffect();
    void insertGoesBeforeTheCurrentRecord();
    void appendGoesToTheEnd();
    void insertRecordStoresValuesByPosition();
    void insertRecordTurnsIntegersIntoText_data();
    void insertRecordTurnsIntegersIntoText();
    void insertRecordIsOneOperation();
    void cancelOfAnInsertOnAnEmptyTable();
    void cancelOfAnInsertReturnsToTheRecord();
    void deleteOnAnEmptyTable();
    void deleteStandsOnTheNeighbour();
    void editingBesideExtremeRowIds_data();
    void editingBesideExtremeRowIds();
    void refreshStaysOnTheSameRecord();
    void refreshShowsChangesFromElsewhere();
    void editingNeedsEditState();
    void readOnlyFieldRefusesValues();
    void readOnlyTableRefusesChanges_data();
    void readOnlyTableRefusesChanges();
    void failedPostKeepsTheEdit();
    void failedInsertLeavesNoRow();
    void failedPostStopsTheMove();
    void failedDeleteKeepsTheRecord();
    void postOfARecordDeletedElsewhere();
    void handlersThatEditAgain();
};

void EditingTest::eventOrder_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("events");
    const QString editing = QStringLiteral("link editing"), browsing = QStringLiteral("link browsing");
    const QString changed = QStringLiteral("link changed"), data = QStringLiteral("dataChanged");
    const QString scroll = QStringLiteral("afterScroll");

    QTest::newRow("open") << Operation::Open
                          << QStringList{QStringLiteral("link active"), QStringLiteral("afterOpen"), scroll};
    QTest::newRow("next") << Operation::Next << QStringList{QStringLiteral("link scrolled 1"), data, scroll};
    QTest::newRow("first from the third") << Operation::First << QStringList{changed, data, scroll};
    QTest::newRow("edit") << Operation::Edit
                          << QStringList{editing, QStringLiteral("link record"), data, QStringLiteral("afterEdit")};
    QTest::newRow("field change") << Operation::FieldChange
                                  << QStringList{QStringLiteral("link record city"),
                                                 QStringLiteral("dataChanged city")};
    QTest::newRow("post") << Operation::Post
                          << QStringList{QStringLiteral("link updateData"), browsing, changed, data,
                                         QStringLiteral("afterPost")};
    QTest::newRow("cancel") << Operation::Cancel << QStringList{browsing, changed, data, QStringLiteral("afterCancel")};
    QTest::newRow("insert") << Operation::Insert
                            << QStringList{editing, changed, data, QStringLiteral("afterInsert"), scroll};
    QTest::newRow("append") << Operation::Append
                            << QStringList{editing, changed, data, QStringLiteral("afterInsert"), scroll};
    QTest::newRow("delete") << Operation::Delete << QStringList{changed, data, QStringLiteral("afterDelete"), scroll};
    QTest::newRow("delete while inserting cancels")
        << Operation::DeleteWhileInserting << QStringList{browsing, changed, data, QStringLiteral("afterCancel")};
    QTest::newRow("refresh") << Operation::Refresh << QStringList{changed, data, QStringLiteral("afterRefresh")};
    QTest::newRow("next saves a change first") << Operation::NextWithChange
                                               << QStringList{QStringLiteral("link updateData"),
                                                              QStringLiteral("afterPost"),
                                                              browsing,
                                                              QStringLiteral("link scrolled 1"),
                                                              data,
                                                              scroll};
    QTest::newRow("insert with values") << Operation::InsertRecord
                                        << QStringList{editing,
                                                       changed,
                                                       data,
                                                       QStringLiteral("afterInsert"),
                                                       scroll,
                                                       QStringLiteral("link record name"),
                                                       QStringLiteral("dataChanged name"),
                                                       QStringLiteral("link updateData"),
                                                       browsing,
                                                       changed,
                                                       data,
                                                       QStringLiteral("afterPost")};
    QTest::newRow("close") << Operation::Close
                           << QStringList{QStringLiteral("link inactive"), QStringLiteral("afterClose")};
}

void EditingTest::eventOrder()
{
    QFETCH(Operation, operation);
    QFETCH(QStringList, events);

    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    DataSource source;
    source.setDataSet(&table);
    EventLog log;
    log.watch(table);
    log.watch(source);
    RecordingLink link(&log);
    link.setDataSource(&source);
    Field *city = table.fieldByName(QStringLiteral("city"));

    switch (operation) {
    case Operation::Open: table.close(); break;
    case Operation::First: table.setRecNo(3); break;
    case Operation::FieldChange: table.edit(); break;
    case Operation::Post:
    case Operation::Cancel:
    case Operation::NextWithChange:
        table.edit();
        city->setAsString(QStringLiteral("changed"));
        break;
    case Operation::DeleteWhileInserting: table.insert(); break;
    default: break;
    }
    log.clear();

    switch (operation) {
    case Operation::Open: table.open(); break;
    case Operation::Next: table.next(); break;
    case Operation::First: table.first(); break;
    case Operation::Edit: table.edit(); break;
    case Operation::FieldChange: city->setAsString(QStringLiteral("Odense")); break;
    case Operation::Post: table.post(); break;
    case Operation::Cancel: table.cancel(); break;
    case Operation::Insert: table.insert(); break;
    case Operation::Append: table.append(); break;
    case Operation::Delete: table.deleteRecord(); break;
    case Operation::DeleteWhileInserting: table.deleteRecord(); break;
    case Operation::Refresh: table.refresh(); break;
    case Operation::NextWithChange: table.next(); break;
    case Operation::InsertRecord: table.insertRecord({QStringLiteral("x")}); break;
    case Operation::Close: table.close(); break;
    }
    QCOMPARE(log.entries(), events);
}

void EditingTest::editOnEmptyTableInserts()
{
    TestWorkspace workspace;
    Table table;
    EventLog log;
    log.watch(table);
    makeTable(table, {});
    log.clear();
    table.edit();
    QCOMPARE(table.state(), dsInsert);
    QCOMPARE(log.take(), (QStringList{QStringLiteral("afterInsert"), QStringLiteral("afterScroll")}));
    QCOMPARE(table.recordCount(), 0);
    QCOMPARE(table.recNo(), 1);
}

void EditingTest::editTwiceHasNoFurtherEffect()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    table.edit();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("kept"));
    QSignalSpy afterEdit(&table, &Table::afterEdit);
    table.edit();
    QCOMPARE(afterEdit.count(), 0);
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("kept"));
    QVERIFY(table.modified());
    table.insert();
    table.edit();
    QCOMPARE(table.state(), dsInsert);
}

void EditingTest::insertGoesBeforeTheCurrentRecord()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    table.setRecNo(2);
    table.insert();
    QCOMPARE(table.recNo(), 2);
    QVERIFY(table.field(0)->isNull());
    table.field(0)->setAsString(QStringLiteral("new"));
    table.post();
    QCOMPARE(table.recNo(), 2);
    QCOMPARE(currentName(table), QStringLiteral("new"));
    // A new record keeps its place until the table is read again.
    QCOMPARE(names(table),
             (QStringList{QStringLiteral("r1"), QStringLiteral("new"), QStringLiteral("r2"), QStringLiteral("r3")}));
    table.refresh();
    QCOMPARE(names(table),
             (QStringList{QStringLiteral("r1"), QStringLiteral("r2"), QStringLiteral("r3"), QStringLiteral("new")}));
}

void EditingTest::appendGoesToTheEnd()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    table.append();
    QCOMPARE(table.recNo(), 4);
    table.field(0)->setAsString(QStringLiteral("last"));
    table.post();
    QCOMPARE(names(table).last(), QStringLiteral("last"));
}

void EditingTest::insertRecordStoresValuesByPosition()
{
    TestWorkspace workspace;
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    // Like the window's after-insert handling: it runs before the values are assigned.
    connect(&table, &Table::afterInsert, &table,
            [&] { table.fieldByName(QStringLiteral("timeused"))->setAsInteger(0); });

    QVariantList values;
    for (int i = 0; i < 20; ++i)
        values << QVariant();
    values << 0;
    table.insertRecord(values);

    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(table.recordCount(), 1);
    table.close();
    table.open();
    QCOMPARE(table.fieldByName(QStringLiteral("State2"))->asString(), QStringLiteral("0"));
    QCOMPARE(table.fieldByName(QStringLiteral("timeused"))->value(), QVariant(0));
    for (int i = 0; i < 20; ++i)
        QVERIFY2(table.field(i)->isNull(), qPrintable(table.field(i)->fieldName()));
    for (int i = 22; i < 32; ++i)
        QVERIFY2(table.field(i)->isNull(), qPrintable(table.field(i)->fieldName()));
}

void EditingTest::insertRecordTurnsIntegersIntoText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("int 0") << QVariant(0) << QStringLiteral("0");
    QTest::newRow("negative int") << QVariant(-12) << QStringLiteral("-12");
    QTest::newRow("64-bit") << QVariant(Q_INT64_C(9007199254740993)) << QStringLiteral("9007199254740993");
    QTest::newRow("unsigned") << QVariant(4000000000u) << QStringLiteral("4000000000");
    QTest::newRow("short") << QVariant::fromValue(short(7)) << QStringLiteral("7");
}

void EditingTest::insertRecordTurnsIntegersIntoText()
{
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    table.insertRecord({QStringLiteral("n"), value});
    table.refresh();
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->value(), QVariant(text));
}

void EditingTest::insertRecordIsOneOperation()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    table.last();
    QSignalSpy cancelled(&table, &Table::afterCancel);
    QCOMPARE(errorOf([&] {
                 table.insertRecord({QStringLiteral("bad"), QString(), QStringLiteral("many")});
             }),
             QStringLiteral("'many' is not a valid integer value for field 'hours'"));
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(cancelled.count(), 1);
    QCOMPARE(table.recordCount(), 2);
    QCOMPARE(table.recNo(), 2);
    QCOMPARE(currentName(table), QStringLiteral("r2"));
    table.first();
    QCOMPARE(names(table), (QStringList{QStringLiteral("r1"), QStringLiteral("r2")}));
}

void EditingTest::cancelOfAnInsertOnAnEmptyTable()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    DataSource source;
    source.setDataSet(&table);
    EventLog log;
    log.watch(table);
    RecordingLink link(&log);
    link.setBufferCount(5);
    link.setDataSource(&source);

    table.insert();
    table.field(0)->setAsString(QStringLiteral("gone"));
    QCOMPARE(link.recordCount(), 1);
    log.clear();
    table.cancel();
    QCOMPARE(
        log.take(),
        (QStringList{QStringLiteral("link browsing"), QStringLiteral("link changed"), QStringLiteral("afterCancel")}));
    QCOMPARE(table.state(), dsBrowse);
    QVERIFY(table.isEmpty());
    QCOMPARE(table.recordCount(), 0);
    QCOMPARE(table.recNo(), 0);
    QVERIFY(table.bof() && table.eof());
    QVERIFY(table.field(0)->isNull());
    QCOMPARE(link.recordCount(), 0);
    QCOMPARE(link.activeRecord(), 0);
    table.next();
    table.insert();
    QCOMPARE(table.recNo(), 1);
}

void EditingTest::cancelOfAnInsertReturnsToTheRecord()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    table.setRecNo(2);
    table.insert();
    table.cancel();
    QCOMPARE(table.recNo(), 2);
    QCOMPARE(currentName(table), QStringLiteral("r2"));
    QCOMPARE(table.recordCount(), 3);
}

void EditingTest::deleteOnAnEmptyTable()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    QSignalSpy deleted(&table, &Table::afterDelete);
    QCOMPARE(errorOf([&] { table.deleteRecord(); }),
             QStringLiteral("Cannot perform this operation on an empty dataset"));
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(deleted.count(), 0);
}

void EditingTest::deleteStandsOnTheNeighbour()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    table.setRecNo(2);
    table.deleteRecord();
    QCOMPARE(currentName(table), QStringLiteral("r3"));
    QCOMPARE(table.recNo(), 2);
    table.deleteRecord();
    QCOMPARE(currentName(table), QStringLiteral("r1"));
    QCOMPARE(table.recNo(), 1);
    table.edit();
    table.field(1)->setAsString(QStringLiteral("dropped"));
    table.deleteRecord();
    QVERIFY(table.isEmpty());
    QCOMPARE(table.state(), dsBrowse);
    QVERIFY(table.bof() && table.eof());
    table.close();
    table.open();
    QVERIFY(table.isEmpty());
}

void EditingTest::editingBesideExtremeRowIds_data()
{
    QTest::addColumn<QString>("target");   // the record to stand on
    QTest::addColumn<bool>("dropInsert");  // insert a record there and cancel it first
    QTest::addColumn<QString>("action");   // "edit" or "delete"

    const QStringList targets{QStringLiteral("min"), QStringLiteral("zero"), QStringLiteral("r1"),
                              QStringLiteral("max")};
    for (const QString &target : targets) {
        for (const QString &action : {QStringLiteral("edit"), QStringLiteral("delete")}) {
            QTest::addRow("%s %s", qPrintable(action), qPrintable(target)) << target << false << action;
            QTest::addRow("%s %s after a dropped insert", qPrintable(action), qPrintable(target))
                << target << true << action;
        }
    }
}

void EditingTest::editingBesideExtremeRowIds()
{
    QFETCH(QString, target);
    QFETCH(bool, dropInsert);
    QFETCH(QString, action);
    TestWorkspace workspace;
    Table table;
    ExtremeIds::make(table);
    QStringList expected = ExtremeIds::stored();
    QStringList expectedNames = names(table);
    const qsizetype index = expectedNames.indexOf(target);
    QVERIFY(index >= 0);

    QVERIFY(table.locate(QStringLiteral("name"), {target}, {}));
    if (dropInsert) {
        table.insert();
        table.cancel();
        QCOMPARE(currentName(table), target);
    }
    if (action == QLatin1String("edit")) {
        table.edit();
        table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Aarhus"));
        table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("changed"));
        table.post();
        expected[index] = expected.at(index).section(QLatin1Char(' '), 0, 0) + QStringLiteral(" changed ")
            + expected.at(index).section(QLatin1Char(' '), -1);
        expectedNames[index] = QStringLiteral("changed");
    } else {
        table.deleteRecord();
        expected.removeAt(index);
        expectedNames.removeAt(index);
    }
    QCOMPARE(ExtremeIds::stored(), expected);
    QCOMPARE(names(table), expectedNames);
}

void EditingTest::refreshStaysOnTheSameRecord()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("m")}, {QStringLiteral("p")}, {QStringLiteral("x")}});
    table.setIndexFieldNames(QStringLiteral("name"));
    table.setRecNo(2);
    QCOMPARE(currentName(table), QStringLiteral("p"));

    OtherProgram other;
    other.exec(QStringLiteral("INSERT INTO \"jobs\" (\"name\") VALUES ('a'), ('b'), ('z')"));
    other.exec(QStringLiteral("UPDATE \"jobs\" SET \"city\" = 'moved' WHERE \"name\" = 'p'"));
    table.refresh();
    QCOMPARE(currentName(table), QStringLiteral("p"));
    QCOMPARE(table.recNo(), 4);
    QCOMPARE(table.recordCount(), 6);
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("moved"));

    table.edit();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("mine"));
    table.refresh();
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(currentName(table), QStringLiteral("p"));
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("mine"));
}

void EditingTest::refreshShowsChangesFromElsewhere()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(4));
    table.setRecNo(3);
    OtherProgram other;
    other.exec(QStringLiteral("DELETE FROM \"jobs\" WHERE \"name\" = 'r3'"));
    table.refresh();
    QCOMPARE(table.recordCount(), 3);
    QCOMPARE(table.recNo(), 3);
    QCOMPARE(currentName(table), QStringLiteral("r4"));

    other.exec(QStringLiteral("DELETE FROM \"jobs\""));
    table.refresh();
    QVERIFY(table.isEmpty());
    QCOMPARE(table.recNo(), 0);
    QVERIFY(table.field(0)->isNull());
}

void EditingTest::changesNeverReachTheStoredRecordBeforeThePost()
{
    // An edit reads the stored record in place until its first change: the change must go to a
    // copy, whole, and dropping it must leave the stored record as it was.
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    Field *name = table.fieldByName(QStringLiteral("name"));
    Field *number = table.field(2);
    const QString before = name->asString();
    const QVariant numberBefore = number->value();
    table.edit();
    QCOMPARE(name->asString(), before);
    name->setAsString(QStringLiteral("changed"));
    QCOMPARE(name->asString(), QStringLiteral("changed"));
    QCOMPARE(number->value(), numberBefore);
    table.cancel();
    QCOMPARE(name->asString(), before);
    table.next();
    table.prior();
    QCOMPARE(name->asString(), before);

    table.edit();
    name->setAsString(QStringLiteral("kept"));
    table.post();
    table.edit();
    table.cancel();
    QCOMPARE(name->asString(), QStringLiteral("kept"));
    QCOMPARE(number->value(), numberBefore);
}

void EditingTest::editingNeedsEditState()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(1));
    const QString notEditing = QStringLiteral("Dataset not in edit or insert mode");
    QCOMPARE(errorOf([&] { table.field(1)->setAsString(QStringLiteral("x")); }), notEditing);
    QCOMPARE(errorOf([&] { table.post(); }), notEditing);
    QCOMPARE(errorOf([&] { table.field(1)->clear(); }), notEditing);
    table.cancel();
    QCOMPARE(table.state(), dsBrowse);
}

void EditingTest::readOnlyFieldRefusesValues()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(1));
    Field *name = table.fieldByName(QStringLiteral("name"));
    name->setReadOnly(true);
    QVERIFY(!name->canModify());
    QVERIFY(table.fieldByName(QStringLiteral("city"))->canModify());
    table.edit();
    QCOMPARE(errorOf([&] { name->setAsString(QStringLiteral("x")); }),
             QStringLiteral("Field 'name' cannot be modified"));
    QCOMPARE(name->asString(), QStringLiteral("r1"));
}

void EditingTest::readOnlyTableRefusesChanges_data()
{
    QTest::addColumn<int>("action");
    QTest::newRow("edit") << 0;
    QTest::newRow("insert") << 1;
    QTest::newRow("append") << 2;
    QTest::newRow("delete") << 3;
    QTest::newRow("insert with values") << 4;
}

void EditingTest::readOnlyTableRefusesChanges()
{
    QFETCH(int, action);
    TestWorkspace workspace;
    {
        Table maker;
        makeTable(maker, numberedRows(2));
    }
    const QByteArray before = workspace.readFile(QStringLiteral("jobs.db"));
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    table.setReadOnly(true);
    table.open();
    QVERIFY(table.readOnly());
    QVERIFY(!table.canModify());
    QVERIFY(!table.field(0)->canModify());
    DataSource source;
    source.setDataSet(&table);
    RecordingLink link;
    link.setDataSource(&source);
    QVERIFY(!link.edit());

    const std::function<void()> actions[] = {
        [&] { table.edit(); },
        [&] { table.insert(); },
        [&] { table.append(); },
        [&] { table.deleteRecord(); },
        [&] { table.insertRecord({QStringLiteral("x")}); },
    };
    QCOMPARE(errorOf(actions[action]), QStringLiteral("Cannot modify a read-only dataset"));
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(table.recordCount(), 2);
    table.setIndexFieldNames(QStringLiteral("city"));
    QVERIFY(table.locate(QStringLiteral("name"), {QStringLiteral("r2")}, {}));
    table.close();
    QCOMPARE(workspace.readFile(QStringLiteral("jobs.db")), before);
}

void EditingTest::failedPostKeepsTheEdit()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    OtherProgram other;
    // Another program deletes the record while it is being edited, then puts it back.
    const qint64 rid = other.count(QStringLiteral("SELECT \"_rid\" FROM \"jobs\" WHERE \"name\" = 'r1'"));
    other.exec(QStringLiteral("DELETE FROM \"jobs\" WHERE \"name\" = 'r1'"));
    table.edit();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Odense"));
    QSignalSpy posted(&table, &Table::afterPost);
    QCOMPARE(errorOf([&] { table.post(); }),
             QStringLiteral("Record not found; it may have been deleted by another program"));
    QCOMPARE(posted.count(), 0);
    QCOMPARE(table.state(), dsEdit);
    QVERIFY(table.modified());
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("Odense"));
    QVERIFY(other.canWrite());

    other.exec(QStringLiteral("INSERT INTO \"jobs\" (\"_rid\", \"name\") VALUES (%1, 'r1')").arg(rid));
    table.post();
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(other.count(QStringLiteral("SELECT count(*) FROM \"jobs\" WHERE \"city\" = 'Odense'")), 1);
}

void EditingTest::failedInsertLeavesNoRow()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(1));
    OtherProgram other;
    // The record's row goes in, then the picture fails (its table has used up its ids): the
    // whole save must be undone.
    other.exec(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES ('jobs_blobs', 9223372036854775807)"));
    table.append();
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("new"));
    table.fieldByName(QStringLiteral("photo"))->setAsBytes(QByteArray(1000, 'x'));
    QCOMPARE(errorOf([&] { table.post(); }), QStringLiteral("database or disk is full"));
    QCOMPARE(table.state(), dsInsert);
    QCOMPARE(table.fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("new"));
    QCOMPARE(table.fieldByName(QStringLiteral("photo"))->blobSize(), 1000);
    QCOMPARE(other.count(QStringLiteral("SELECT count(*) FROM \"jobs\"")), 1);
    QVERIFY(other.canWrite());

    other.exec(QStringLiteral("DELETE FROM sqlite_sequence WHERE name = 'jobs_blobs'"));
    table.post();
    QCOMPARE(other.count(QStringLiteral("SELECT count(*) FROM \"jobs\"")), 2);
    QCOMPARE(other.count(QStringLiteral("SELECT length(\"data\") FROM \"jobs_blobs\"")), 1000);
}

void EditingTest::failedPostStopsTheMove()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    OtherProgram other;
    table.setRecNo(2);
    table.edit();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Odense"));
    // Another program deletes the record being edited: its save fails.
    other.exec(QStringLiteral("DELETE FROM \"jobs\" WHERE \"name\" = 'r2'"));
    const QString refused = QStringLiteral("Record not found; it may have been deleted by another program");
    QSignalSpy scrolled(&table, &Table::afterScroll);
    QCOMPARE(errorOf([&] { table.next(); }), refused);
    QCOMPARE(errorOf([&] { table.last(); }), refused);
    QCOMPARE(errorOf([&] { table.refresh(); }), refused);
    QCOMPARE(errorOf([&] { table.insert(); }), refused);
    QCOMPARE(scrolled.count(), 0);
    QCOMPARE(table.recNo(), 2);
    QCOMPARE(table.state(), dsEdit);
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("Odense"));
    QCOMPARE(currentName(table), QStringLiteral("r2"));
    QVERIFY(other.canWrite());
}

void EditingTest::failedDeleteKeepsTheRecord()
{
    TestWorkspace workspace;
    const Installed<&sql::Database::setBusyTimeout> briefWait(kBriefBusyWait);
    Table table;
    makeTable(table, numberedRows(3));
    OtherProgram other;
    table.setRecNo(2);
    QSignalSpy deleted(&table, &Table::afterDelete);
    QSignalSpy posted(&table, &Table::afterPost);
    // Another program is writing: a delete or a save waits a moment, then gives up, saying so
    // in words a user can act on.
    const QString busy = QStringLiteral("Another program is writing to the records file. Try again when it has "
                                        "finished; nothing was changed. (database is locked)");
    other.exec(QStringLiteral("BEGIN IMMEDIATE"));
    QCOMPARE(errorOf([&] { table.deleteRecord(); }), busy);
    table.edit();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Odense"));
    QCOMPARE(errorOf([&] { table.next(); }), busy);
    other.exec(QStringLiteral("ROLLBACK"));
    QCOMPARE(deleted.count(), 0);
    QCOMPARE(posted.count(), 0);
    QCOMPARE(table.recordCount(), 3);
    QCOMPARE(table.recNo(), 2);
    QCOMPARE(currentName(table), QStringLiteral("r2"));
    QCOMPARE(table.state(), dsEdit);
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("Odense"));
    QCOMPARE(other.count(QStringLiteral("SELECT count(*) FROM \"jobs\"")), 3);
    QVERIFY(other.canWrite());

    // Once the other program is done, the same save goes through.
    table.next();
    QCOMPARE(posted.count(), 1);
    QCOMPARE(other.count(QStringLiteral("SELECT count(*) FROM \"jobs\" WHERE \"city\" = 'Odense'")), 1);
}

void EditingTest::postOfARecordDeletedElsewhere()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    table.edit();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("lost?"));
    OtherProgram other;
    other.exec(QStringLiteral("DELETE FROM \"jobs\" WHERE \"name\" = 'r1'"));
    QCOMPARE(errorOf([&] { table.post(); }),
             QStringLiteral("Record not found; it may have been deleted by another program"));
    QCOMPARE(table.state(), dsEdit);
    QVERIFY(other.canWrite());
    table.cancel();
    table.refresh();
    QCOMPARE(table.recordCount(), 1);
}

void EditingTest::handlersThatEditAgain()
{
    // The window puts the record back into edit state from its data-change handling, that is,
    // from inside the table's own notifications.
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    DataSource source;
    source.setDataSet(&table);
    connect(&source, &DataSource::dataChanged, &table, [&] {
        if (table.state() != dsEdit && table.state() != dsInsert)
            table.edit();
    });

    table.edit();
    table.field(1)->setAsString(QStringLiteral("saved"));
    table.post();
    QCOMPARE(table.state(), dsEdit);
    QVERIFY(!table.modified());
    QCOMPARE(table.field(1)->asString(), QStringLiteral("saved"));

    table.next();
    QCOMPARE(table.state(), dsEdit);
    QCOMPARE(currentName(table), QStringLiteral("r2"));

    table.deleteRecord();
    QCOMPARE(table.state(), dsEdit);
    QCOMPARE(currentName(table), QStringLiteral("r1"));
    table.deleteRecord();
    // The only record gone: editing an empty table begins a new record.
    QCOMPARE(table.state(), dsInsert);
    QCOMPARE(table.recordCount(), 0);
    table.cancel();
    QCOMPARE(table.state(), dsInsert);
    QCOMPARE(table.recordCount(), 0);
    table.field(0)->setAsString(QStringLiteral("fresh"));
    table.first();
    QCOMPARE(table.recordCount(), 1);
    QCOMPARE(currentName(table), QStringLiteral("fresh"));
}

QTEST_GUILESS_MAIN(EditingTest)
#include "tst_editing.moc"
