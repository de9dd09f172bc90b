#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QFile>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

// Life cycle of a table: its file, its design, opening and closing.
class TableTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kelvaraTableHasItsDesign();
    void existsFollowsTheFile();
    void createRefusesBadDesigns_data();
    void createRefusesBadDesigns();
    void reopenedTableDescribesItself();
    void openAndCloseChangeState();
    void closedTableRefusesWork();
    void openMissingTableFails();
    void settingsFixedWhileOpen();
    void closeDropsPendingEdit();
    void tableInAnotherDirectory();
    void namesWithQuotesAndSpaces();
    void fileIsReadableByOtherTools();
    void sumCountsEveryRecord_data();
    void sumCountsEveryRecord();
    void olderTableHoldsWhatTheDesignExpects();
};

void TableTest::kelvaraTableHasItsDesign()
{
    TestWorkspace workspace;
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    QVERIFY(!table.exists());
    createKelvaraTable(table);
    QVERIFY(table.exists());
    QVERIFY(QFile::exists(QStringLiteral("kelvara.db")));

    table.open();
    QCOMPARE(table.fieldCount(), 32);
    QCOMPARE(table.fieldDefs(), kelvaraFieldDefs());
    const Field *timeused = table.fieldByName(QStringLiteral("timeused"));
    QCOMPARE(timeused->dataType(), ftSmallint);
    QCOMPARE(timeused->displayWidth(), 5);
    QCOMPARE(timeused->displayFormat(), QStringLiteral("00.00"));
    QCOMPARE(table.field(0)->editMask(), QStringLiteral("!99/99/0000;1;_"));
    QCOMPARE(table.field(22)->fieldName(), QStringLiteral("pic1"));
    QVERIFY(table.field(22)->isBlobField());
    QVERIFY(table.field(18)->isMemoField());
    QCOMPARE(table.recordCount(), 0);

    const QStringList expected = {QStringLiteral("Dato"),      QStringLiteral("Firstname"), QStringLiteral("Lastname"),
                                  QStringLiteral("HomePhone"), QStringLiteral("WorkPhone"), QStringLiteral("Cellular"),
                                  QStringLiteral("Email"),     QStringLiteral("Street1"),   QStringLiteral("Street2"),
                                  QStringLiteral("City1"),     QStringLiteral("Zipcode"),   QStringLiteral("street3"),
                                  QStringLiteral("Street4"),   QStringLiteral("city2"),     QStringLiteral("camefrom"),
                                  QStringLiteral("wentinto"),  QStringLiteral("Typeofbee"), QStringLiteral("method"),
                                  QStringLiteral("notes"),     QStringLiteral("State1"),    QStringLiteral("State2"),
                                  QStringLiteral("timeused"),  QStringLiteral("pic1"),      QStringLiteral("pic2"),
                                  QStringLiteral("pic3"),      QStringLiteral("pic4"),      QStringLiteral("pic5"),
                                  QStringLiteral("comment1"),  QStringLiteral("comment2"),  QStringLiteral("comment3"),
                                  QStringLiteral("comment4"),  QStringLiteral("comment5")};
    QStringList actual;
    for (const Field *field : table.fields())
        actual << field->fieldName();
    QCOMPARE(actual, expected);
    for (int i = 1; i <= 20; ++i) {
        if (i == 18)
            continue;
        QCOMPARE(table.field(i)->dataType(), ftString);
        QCOMPARE(table.field(i)->size(), table.field(i)->fieldName() == QLatin1String("Email") ? 254 : 60);
        QCOMPARE(table.field(i)->displayWidth(), 20);
    }
    QCOMPARE(table.field(0)->dataType(), ftDate);
    QCOMPARE(table.field(18)->dataType(), ftMemo);
    for (int i = 22; i < 27; ++i)
        QCOMPARE(table.field(i)->dataType(), ftBlob);
    for (int i = 27; i < 32; ++i)
        QCOMPARE(table.field(i)->dataType(), ftMemo);
}

void TableTest::existsFollowsTheFile()
{
    TestWorkspace workspace;
    Table table;
    QVERIFY(!table.exists());
    table.setTableName(QStringLiteral("jobs"));
    QVERIFY(!table.exists());
    table.createTable(jobDefs());
    QVERIFY(table.exists());
    table.open();
    appendRow(table, {QStringLiteral("a")});
    table.close();
    table.deleteTable();
    QVERIFY(!table.exists());
    QVERIFY(!QFile::exists(QStringLiteral("jobs.db")));
    QVERIFY(!QFile::exists(QStringLiteral("jobs.db-wal")));
    QVERIFY(!QFile::exists(QStringLiteral("jobs.db-shm")));
    QCOMPARE(errorOf([&] { table.deleteTable(); }), QStringLiteral("Table 'jobs.db' does not exist"));

    workspace.writeFile(QStringLiteral("jobs.db"), "whatever");
    QVERIFY(table.exists());
}

void TableTest::createRefusesBadDesigns_data()
{
    QTest::addColumn<FieldDefs>("defs");
    QTest::addColumn<QString>("message");
    const FieldDef text = fieldDef(QStringLiteral("a"), ftString, 10);
    QTest::newRow("no fields") << FieldDefs() << QStringLiteral("Cannot create table 'jobs' without fields");
    QTest::newRow("names differing in case only")
        << FieldDefs{text, fieldDef(QStringLiteral("A"), ftSmallint)} << QStringLiteral("Duplicate field name 'A'");
    QTest::newRow("blank name") << FieldDefs{fieldDef(QStringLiteral(" "), ftString, 5)}
                                << QStringLiteral("Invalid field name ' '");
    QTest::newRow("the row id's name") << FieldDefs{fieldDef(QStringLiteral("_RID"), ftInteger)}
                                       << QStringLiteral("Invalid field name '_RID'");
    QTest::newRow("text without a size") << FieldDefs{fieldDef(QStringLiteral("t"), ftString)}
                                         << QStringLiteral("Field 't' has a type or size that tables cannot hold");
    QTest::newRow("bytes type") << FieldDefs{fieldDef(QStringLiteral("b"), ftBytes)}
                                << QStringLiteral("Field 'b' has a type or size that tables cannot hold");
}

void TableTest::createRefusesBadDesigns()
{
    QFETCH(FieldDefs, defs);
    QFETCH(QString, message);
    TestWorkspace workspace;
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    QCOMPARE(errorOf([&] { table.createTable(defs); }), message);
    QVERIFY(!table.exists());
}

void TableTest::reopenedTableDescribesItself()
{
    TestWorkspace workspace;
    FieldDefs defs = {
        fieldDef(QStringLiteral("Text"), ftString, 35), fieldDef(QStringLiteral("small"), ftSmallint),
        fieldDef(QStringLiteral("Whole"), ftInteger),   fieldDef(QStringLiteral("word"), ftWord),
        fieldDef(QStringLiteral("flag"), ftBoolean),    fieldDef(QStringLiteral("ratio"), ftFloat),
        fieldDef(QStringLiteral("money"), ftCurrency),  fieldDef(QStringLiteral("day"), ftDate),
        fieldDef(QStringLiteral("clock"), ftTime),      fieldDef(QStringLiteral("stamp"), ftDateTime),
        fieldDef(QStringLiteral("memo"), ftMemo, 1),    fieldDef(QStringLiteral("rich"), ftFmtMemo),
        fieldDef(QStringLiteral("bytes"), ftBlob),      fieldDef(QStringLiteral("picture"), ftGraphic),
    };
    defs[0].displayLabel = QStringLiteral("Some text");
    defs[1].displayWidth = 5;
    defs[1].displayFormat = QStringLiteral("00.00");
    defs[7].editMask = QStringLiteral("!99/99/0000;1;_");

    Table table;
    table.setTableName(QStringLiteral("all types"));
    table.createTable(defs);
    table.open();
    QCOMPARE(table.fieldDefs(), defs);
    table.close();

    Table again;
    again.setTableName(QStringLiteral("all types"));
    again.open();
    QCOMPARE(again.fieldDefs(), defs);
    QCOMPARE(again.fieldByName(QStringLiteral("text"))->displayLabel(), QStringLiteral("Some text"));
}

void TableTest::openAndCloseChangeState()
{
    TestWorkspace workspace;
    Table table;
    EventLog log;
    log.watch(table);
    makeTable(table, numberedRows(2));
    QVERIFY(table.active());
    QCOMPARE(table.state(), dsBrowse);
    QVERIFY(table.isTable());
    QVERIFY(table.canModify());
    log.clear();

    table.close();
    QVERIFY(!table.active());
    QCOMPARE(table.state(), dsInactive);
    QVERIFY(!table.canModify());
    QCOMPARE(table.fieldCount(), 0);
    QCOMPARE(table.recordCount(), 0);
    QCOMPARE(log.take(), QStringList{QStringLiteral("afterClose")});

    table.setActive(true);
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(log.take(), (QStringList{QStringLiteral("afterOpen"), QStringLiteral("afterScroll")}));
    table.open();
    QCOMPARE(log.take(), QStringList());
    table.setActive(false);
    QVERIFY(!table.active());
}

void TableTest::closedTableRefusesWork()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(1));
    table.close();
    const QString closed = QStringLiteral("Cannot perform this operation on a closed dataset");
    QCOMPARE(errorOf([&] { table.first(); }), closed);
    QCOMPARE(errorOf([&] { table.next(); }), closed);
    QCOMPARE(errorOf([&] { table.edit(); }), closed);
    QCOMPARE(errorOf([&] { table.insert(); }), closed);
    QCOMPARE(errorOf([&] { table.deleteRecord(); }), closed);
    QCOMPARE(errorOf([&] { table.refresh(); }), closed);
    QCOMPARE(errorOf([&] { table.post(); }), closed);
    QCOMPARE(errorOf([&] { table.locate(QStringLiteral("name"), {QStringLiteral("r1")}, {}); }), closed);
    QCOMPARE(table.recNo(), 0);
    QVERIFY(table.bookmark().isNull());
}

void TableTest::openMissingTableFails()
{
    TestWorkspace workspace;
    Table table;
    QCOMPARE(errorOf([&] { table.open(); }), QStringLiteral("No table name given"));
    table.setTableName(QStringLiteral("nothing"));
    QCOMPARE(errorOf([&] { table.open(); }), QStringLiteral("Table 'nothing.db' does not exist"));
    QVERIFY(!table.active());
    QVERIFY(!QFile::exists(QStringLiteral("nothing.db")));
}

void TableTest::settingsFixedWhileOpen()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    const QString open = QStringLiteral("Cannot perform this operation on an open dataset");
    QCOMPARE(errorOf([&] { table.setTableName(QStringLiteral("other")); }), open);
    QCOMPARE(errorOf([&] { table.setDirectory(QStringLiteral("/tmp")); }), open);
    QCOMPARE(errorOf([&] { table.setReadOnly(true); }), open);
    QCOMPARE(errorOf([&] { table.createTable(jobDefs()); }), open);
    QCOMPARE(errorOf([&] { table.deleteTable(); }), open);
    QCOMPARE(table.tableName(), QStringLiteral("jobs"));
    table.close();
    QCOMPARE(errorOf([&] { table.createTable(jobDefs()); }), QStringLiteral("Table 'jobs.db' already exists"));
}

void TableTest::closeDropsPendingEdit()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("Anne")}});
    table.edit();
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("Changed"));
    table.close();
    table.open();
    QCOMPARE(currentName(table), QStringLiteral("Anne"));

    table.insert();
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("New"));
    table.close();
    table.open();
    QCOMPARE(table.recordCount(), 1);
}

void TableTest::tableInAnotherDirectory()
{
    TestWorkspace workspace;
    QVERIFY(QDir().mkpath(QStringLiteral("sub/dir")));
    Table table;
    table.setDirectory(QStringLiteral("sub/dir"));
    table.setTableName(QStringLiteral("jobs"));
    QCOMPARE(table.fileName(), QStringLiteral("sub/dir/jobs.db"));
    table.createTable(jobDefs());
    QVERIFY(QFile::exists(QStringLiteral("sub/dir/jobs.db")));
    QVERIFY(!QFile::exists(QStringLiteral("jobs.db")));
    table.open();
    appendRow(table, {QStringLiteral("there")});
    table.close();
    table.open();
    QCOMPARE(currentName(table), QStringLiteral("there"));
}

void TableTest::namesWithQuotesAndSpaces()
{
    TestWorkspace workspace;
    const QString tableName = QStringLiteral("it's \"odd\"");
    const FieldDefs defs
        = {fieldDef(QStringLiteral("say \"hi\""), ftString, 10), fieldDef(QStringLiteral("it's"), ftSmallint),
           fieldDef(QStringLiteral("blob \"x\""), ftBlob)};
    Table table;
    makeTable(table, {{QStringLiteral("hello"), 3, QByteArray("xyz")}}, defs, tableName);
    QVERIFY(QFile::exists(tableName + QStringLiteral(".db")));
    table.close();
    table.open();
    QCOMPARE(table.fieldDefs(), defs);
    QCOMPARE(table.fieldByName(QStringLiteral("say \"hi\""))->asString(), QStringLiteral("hello"));
    QCOMPARE(table.fieldByName(QStringLiteral("it's"))->asInteger(), 3);
    QCOMPARE(table.fieldByName(QStringLiteral("blob \"x\""))->asBytes(), QByteArray("xyz"));
    table.setIndexFieldNames(QStringLiteral("it's;say \"hi\""));
    QVERIFY(table.locate(QStringLiteral("say \"hi\""), {QStringLiteral("HELLO")}, loCaseInsensitive));
    table.deleteRecord();
    QCOMPARE(table.recordCount(), 0);
}

void TableTest::fileIsReadableByOtherTools()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("Anne"), QStringLiteral("Odense"), 90, QDate(2023, 12, 25)}});
    sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadOnly);
    sql::Statement stmt = db.prepare(QStringLiteral("SELECT \"name\", \"city\", \"hours\", \"day\" FROM \"jobs\""));
    QVERIFY(stmt.step());
    QCOMPARE(stmt.text(0), QStringLiteral("Anne"));
    QCOMPARE(stmt.text(1), QStringLiteral("Odense"));
    QCOMPARE(stmt.int64(2), 90);
    QCOMPARE(stmt.text(3), QStringLiteral("2023-12-25"));
    sql::Statement mode = db.prepare(QStringLiteral("PRAGMA journal_mode"));
    QVERIFY(mode.step());
    QCOMPARE(mode.text(0), QStringLiteral("wal"));
}

void TableTest::sumCountsEveryRecord_data()
{
    QTest::addColumn<QString>("pending");  // what is going on with the current record
    QTest::addColumn<qint64>("sum");
    // Stored: 10, null, 20, and "abc" written by another program into the third record.
    QTest::newRow("browsing") << "none" << qint64(30);
    QTest::newRow("editing: the new value counts") << "edit 15" << qint64(35);
    QTest::newRow("editing, nothing changed yet") << "edit" << qint64(30);
    QTest::newRow("inserting: the new record counts") << "insert 7" << qint64(37);
    QTest::newRow("a range shows part: all count") << "range" << qint64(30);
}

void TableTest::sumCountsEveryRecord()
{
    QFETCH(QString, pending);
    TestWorkspace workspace;
    {
        Table table;
        makeTable(table,
                  {{QStringLiteral("a"), QString(), 10},
                   {QStringLiteral("b")},
                   {QStringLiteral("c"), QString(), 20},
                   {QStringLiteral("d")}});
    }
    {
        sql::Database other(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
        other.exec(QStringLiteral("UPDATE jobs SET hours = 'abc' WHERE name = 'd'"));
    }
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    table.open();
    Field *hours = table.fieldByName(QStringLiteral("hours"));
    if (pending.startsWith(QLatin1String("edit"))) {
        table.edit();
        if (pending == QLatin1String("edit 15"))
            hours->setAsInteger(15);
    } else if (pending == QLatin1String("insert 7")) {
        table.insert();
        hours->setAsInteger(7);
    } else if (pending == QLatin1String("range")) {
        table.setIndexFieldNames(QStringLiteral("name"));
        table.setRangeStart();
        table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("b"));
        table.setRangeEnd();
        table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("b"));
        table.applyRange();
        QCOMPARE(table.recordCount(), 1);
    }
    const DataSetState state = table.state();
    const int recNo = table.recNo();
    QTEST(table.sumOf(hours), "sum");
    // Nothing moved, nothing saved.
    QCOMPARE(table.state(), state);
    QCOMPARE(table.recNo(), recNo);
    QCOMPARE(table.sumOf(hours), table.sumOf(hours));
    QCOMPARE(errorOf([&] { table.sumOf(table.fieldByName(QStringLiteral("name"))); }),
             QStringLiteral("Field 'name' cannot be summed"));
}

// A table made when its text fields held fewer characters holds what the program's design
// expects now, without a change to its file; its columns keep their width.
void TableTest::olderTableHoldsWhatTheDesignExpects()
{
    TestWorkspace workspace;
    {
        Table table;
        makeTable(table, {{QStringLiteral("short")}});
    }
    FieldDefs expected = jobDefs();
    expected[0].size = 40;  // name: 10 before
    expected[1].size = 5;   // city: never narrowed
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    table.setExpectedDesign(expected);
    table.open();
    Field *name = table.fieldByName(QStringLiteral("name"));
    QCOMPARE(name->size(), 40);
    QCOMPARE(name->displayWidth(), 10);
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->size(), 20);
    table.edit();
    name->setAsString(QString(45, QLatin1Char('n')));
    QCOMPARE(name->asString(), QString(40, QLatin1Char('n')));
    table.post();
    table.close();
    table.setExpectedDesign({});
    table.open();
    QCOMPARE(table.fieldByName(QStringLiteral("name"))->size(), 10);
    QCOMPARE(table.fieldDefs().first().size, 10);
    table.close();
    sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadOnly);
    sql::Statement stmt = db.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'jobs'"));
    QVERIFY(stmt.step());
    QVERIFY2(stmt.text(0).contains(QStringLiteral("\"name\" VARCHAR(10)")), qPrintable(stmt.text(0)));
}

QTEST_GUILESS_MAIN(TableTest)
#include "tst_table.moc"
