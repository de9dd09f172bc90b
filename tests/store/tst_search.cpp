#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

QList<QVariantList> people()
{
    return {
        {QStringLiteral("Straße"), QStringLiteral("Berlin"), 3},
        {QStringLiteral("ÆBLE"), QStringLiteral("Odense"), 1},
        {QStringLiteral("O'Brien"), QStringLiteral("a;b \"c\""), 2},
        {QStringLiteral("smith"), QStringLiteral("Odense"), 2},
        {QStringLiteral("Smith"), QStringLiteral("Aarhus"), 1},
        {QStringLiteral("baker"), QVariant(), 5},
    };
}

QStringList indexNames(const Table &table)
{
    sql::Database db(table.fileName(), sql::Database::Mode::ReadOnly);
    sql::Statement stmt = db.prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' "
                                                    "AND sql IS NOT NULL ORDER BY name"));
    QStringList names;
    while (stmt.step())
        names << stmt.text(0);
    return names;
}

}  // namespace

// Orders, key and locate searches, and ranges.
class SearchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyPlainFieldIsIndexed();
    void indexFieldNamesOrderTheTable_data();
    void indexFieldNamesOrderTheTable();
    void unindexableFieldsRefused_data();
    void unindexableFieldsRefused();
    void anIndexIsMadeOnFirstUse();
    void findKey();
    void locate_data();
    void locate();
    void locateArguments();
    void locateFindsTheFirstInTheCurrentOrder();
    void locateFoldsWhereLengthsDiffer();
    void locateIgnoringAccents_data();
    void locateIgnoringAccents();
    void ranges();
    void rangeWithTwoFields();
    void refusedRangeValueLeavesTableBrowsable();
    void rangeEndsAtCancel();
    void applyRangeFinishesThePendingEdit();
};

void SearchTest::everyPlainFieldIsIndexed()
{
    TestWorkspace workspace;
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    const QList<IndexDef> defs = table.indexDefs();
    QCOMPARE(defs.size(), 21);
    QStringList fields;
    for (const IndexDef &def : defs)
        fields << def.fields;
    QVERIFY(fields.contains(QStringLiteral("Lastname")));
    QVERIFY(fields.contains(QStringLiteral("timeused")));
    QVERIFY(fields.contains(QStringLiteral("Dato")));
    QVERIFY(!fields.contains(QStringLiteral("notes")));
    QVERIFY(!fields.contains(QStringLiteral("pic1")));
    QVERIFY(!fields.contains(QStringLiteral("comment1")));
}

void SearchTest::indexFieldNamesOrderTheTable_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("natural") << QString() << QStringList{"Straße", "ÆBLE", "O'Brien", "smith", "Smith", "baker"};
    QTest::newRow("name, by code point") << "name"
                                         << QStringList{"O'Brien", "Smith", "Straße", "baker", "smith", "ÆBLE"};
    QTest::newRow("hours, then the stored order")
        << "hours" << QStringList{"ÆBLE", "Smith", "O'Brien", "smith", "Straße", "baker"};
    QTest::newRow("two fields, blanks around")
        << " hours ; name " << QStringList{"Smith", "ÆBLE", "O'Brien", "smith", "Straße", "baker"};
    QTest::newRow("nulls first") << "city" << QStringList{"baker", "Smith", "Straße", "ÆBLE", "smith", "O'Brien"};
}

void SearchTest::indexFieldNamesOrderTheTable()
{
    QFETCH(QString, index);
    QFETCH(QStringList, order);
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    table.setRecNo(3);
    table.setIndexFieldNames(index);
    QCOMPARE(table.indexFieldNames(), index.trimmed());
    QCOMPARE(currentName(table), QStringLiteral("O'Brien"));
    QCOMPARE(names(table), order);
    QCOMPARE(table.indexFields().size(), index.isEmpty() ? 0 : int(index.count(QLatin1Char(';'))) + 1);

    // The order is kept across closing and opening.
    table.close();
    table.open();
    QCOMPARE(names(table), order);
}

void SearchTest::unindexableFieldsRefused_data()
{
    QTest::addColumn<QString>("index");
    QTest::newRow("unknown") << "nope";
    QTest::newRow("memo") << "note";
    QTest::newRow("picture") << "photo";
    QTest::newRow("known then unknown") << "name;nope";
    QTest::newRow("empty part") << "name;;city";
}

void SearchTest::unindexableFieldsRefused()
{
    QFETCH(QString, index);
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    table.setIndexFieldNames(QStringLiteral("hours"));
    table.setRecNo(2);
    QCOMPARE(errorOf([&] { table.setIndexFieldNames(index); }), QStringLiteral("No index for fields '%1'").arg(index));
    QCOMPARE(table.indexFieldNames(), QStringLiteral("hours"));
    QCOMPARE(table.recNo(), 2);
    QCOMPARE(names(table).first(), QStringLiteral("ÆBLE"));
}

void SearchTest::anIndexIsMadeOnFirstUse()
{
    TestWorkspace workspace;
    Table table;
    const FieldDefs defs = {fieldDef(QStringLiteral("a_b"), ftString, 5), fieldDef(QStringLiteral("c"), ftString, 5),
                            fieldDef(QStringLiteral("a"), ftString, 5), fieldDef(QStringLiteral("b_c"), ftString, 5)};
    makeTable(table, {{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")}}, defs,
              QStringLiteral("t"));
    QCOMPARE(indexNames(table), QStringList());
    table.setIndexFieldNames(QStringLiteral("a_b;c"));
    table.setIndexFieldNames(QStringLiteral("a;b_c"));
    table.setIndexFieldNames(QStringLiteral("a_b;c"));
    QCOMPARE(indexNames(table), (QStringList{QStringLiteral("t_by_a;b_c"), QStringLiteral("t_by_a_b;c")}));
}

void SearchTest::findKey()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    QCOMPARE(errorOf([&] { table.findKey({QStringLiteral("smith")}); }), QStringLiteral("No index currently active"));

    table.setIndexFieldNames(QStringLiteral("name"));
    QVERIFY(table.findKey({QStringLiteral("smith")}));
    QCOMPARE(currentName(table), QStringLiteral("smith"));
    QVERIFY(table.findKey({QStringLiteral("O'Brien")}));
    QCOMPARE(table.recNo(), 1);
    table.last();
    QVERIFY(!table.findKey({QStringLiteral("SMITH")}));
    QCOMPARE(table.recNo(), 6);
    QVERIFY(!table.findKey({QStringLiteral("x'); DROP TABLE jobs; --")}));
    QCOMPARE(table.recordCount(), 6);

    table.setIndexFieldNames(QStringLiteral("hours;city"));
    QVERIFY(table.findKey({2, QStringLiteral("Odense")}));
    QCOMPARE(currentName(table), QStringLiteral("smith"));
    QVERIFY(table.findKey({1}));
    QCOMPARE(currentName(table), QStringLiteral("Smith"));
    QCOMPARE(errorOf([&] { table.findKey({QStringLiteral("two")}); }),
             QStringLiteral("'two' is not a valid integer value for field 'hours'"));
}

void SearchTest::locate_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("options");
    QTest::addColumn<QString>("found");  // name of the record found; empty: none
    const int none = 0, ci = loCaseInsensitive, partial = loPartialKey, both = ci | partial;

    QTest::newRow("exact") << "name" << QVariantList{"Smith"} << none << "Smith";
    QTest::newRow("exact is case-sensitive") << "name" << QVariantList{"SMITH"} << none << "";
    QTest::newRow("case-insensitive") << "name" << QVariantList{"SMITH"} << ci << "smith";
    QTest::newRow("folding ß") << "name" << QVariantList{"STRASSE"} << ci << "Straße";
    QTest::newRow("folding Æ") << "name" << QVariantList{"æble"} << ci << "ÆBLE";
    QTest::newRow("folding capital ẞ") << "name" << QVariantList{"STRAẞE"} << ci << "Straße";
    QTest::newRow("case-insensitive on another field") << "city" << QVariantList{"ODENSE"} << ci << "ÆBLE";
    QTest::newRow("partial") << "name" << QVariantList{"Str"} << partial << "Straße";
    QTest::newRow("partial is case-sensitive") << "name" << QVariantList{"str"} << partial << "";
    QTest::newRow("partial and case-insensitive") << "name" << QVariantList{"stras"} << both << "Straße";
    QTest::newRow("partial ignores the end") << "name" << QVariantList{"Straßen"} << partial << "";
    QTest::newRow("quote") << "name" << QVariantList{"O'Brien"} << none << "O'Brien";
    QTest::newRow("quotes and semicolons") << "city" << QVariantList{"a;b \"c\""} << none << "O'Brien";
    QTest::newRow("semicolon partial") << "city" << QVariantList{"A;"} << both << "O'Brien";
    QTest::newRow("injection attempt") << "name" << QVariantList{"' OR '1'='1"} << none << "";
    QTest::newRow("like wildcards are plain") << "name" << QVariantList{"%"} << both << "";
    QTest::newRow("two fields") << "city;hours" << QVariantList{"Odense", 2} << none << "smith";
    QTest::newRow("two fields, text of the number") << "hours;city" << QVariantList{"1", "odense"} << ci << "ÆBLE";
    QTest::newRow("null") << "city" << QVariantList{QVariant()} << none << "baker";
    QTest::newRow("number") << "hours" << QVariantList{5} << none << "baker";
    QTest::newRow("no match") << "name" << QVariantList{"Nobody"} << both << "";
}

void SearchTest::locate()
{
    QFETCH(QString, fields);
    QFETCH(QVariantList, values);
    QFETCH(int, options);
    QFETCH(QString, found);
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    table.setRecNo(4);
    const bool result = table.locate(fields, values, LocateOptions(options));
    QCOMPARE(result, !found.isEmpty());
    QCOMPARE(currentName(table), found.isEmpty() ? QStringLiteral("smith") : found);
}

void SearchTest::locateArguments()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    QCOMPARE(errorOf([&] { table.locate(QStringLiteral("nope"), {1}, {}); }), QStringLiteral("Field 'nope' not found"));
    QCOMPARE(errorOf([&] { table.locate(QStringLiteral("name;city"), {1}, {}); }),
             QStringLiteral("Locate needs one value for each of the fields 'name;city'"));
    QCOMPARE(errorOf([&] { table.locate(QStringLiteral("photo"), {QByteArray("x")}, {}); }),
             QStringLiteral("Cannot search the field 'photo'"));
    QCOMPARE(errorOf([&] { table.locate(QStringLiteral("hours"), {QStringLiteral("x")}, {}); }),
             QStringLiteral("'x' is not a valid integer value for field 'hours'"));
}

void SearchTest::locateFindsTheFirstInTheCurrentOrder()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    QVERIFY(table.locate(QStringLiteral("hours"), {2}, {}));
    QCOMPARE(currentName(table), QStringLiteral("O'Brien"));
    table.setIndexFieldNames(QStringLiteral("name"));
    QVERIFY(table.locate(QStringLiteral("city"), {QStringLiteral("odense")}, loCaseInsensitive));
    QCOMPARE(currentName(table), QStringLiteral("smith"));

    // A record posted since the order was read keeps its place, and counts from there.
    table.first();
    table.insert();
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("zz"));
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Odense"));
    table.post();
    QCOMPARE(table.recNo(), 1);
    table.last();
    QVERIFY(table.locate(QStringLiteral("city"), {QStringLiteral("Odense")}, {}));
    QCOMPARE(currentName(table), QStringLiteral("zz"));
    table.last();
    QVERIFY(table.findKey({QStringLiteral("zz")}));
    QCOMPARE(table.recNo(), 1);

    // Read again, the posted record stands at its sort position and the earliest match is the
    // first in the sort.
    table.refresh();
    QCOMPARE(currentName(table), QStringLiteral("zz"));
    const int sorted = table.recNo();
    QVERIFY(sorted > 1);
    table.last();
    QVERIFY(table.locate(QStringLiteral("city"), {QStringLiteral("Odense")}, {}));
    QCOMPARE(currentName(table), QStringLiteral("smith"));
    QVERIFY(table.findKey({QStringLiteral("zz")}));
    QCOMPARE(table.recNo(), sorted);

    // A match another program added since sorts first but is not in the sequence: the earliest
    // one that is, is found all the same.
    {
        sql::Database db(table.fileName(), sql::Database::Mode::ReadWrite);
        db.exec(QStringLiteral("INSERT INTO \"jobs\" (\"name\", \"city\") VALUES ('A', 'Odense')"));
    }
    table.last();
    QVERIFY(table.locate(QStringLiteral("city"), {QStringLiteral("Odense")}, {}));
    QCOMPARE(currentName(table), QStringLiteral("smith"));
}

void SearchTest::locateFoldsWhereLengthsDiffer()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QString::fromUtf8("\xEF\xAC\x81sh")}, {QStringLiteral("fisher")}, {QStringLiteral("ŉ")}});
    table.last();
    QVERIFY(table.locate(QStringLiteral("name"), {QStringLiteral("FISH")}, loCaseInsensitive));
    QCOMPARE(table.recNo(), 1);
    QVERIFY(table.locate(QStringLiteral("name"), {QStringLiteral("FI")}, loCaseInsensitive | loPartialKey));
    QCOMPARE(table.recNo(), 1);
    QVERIFY(table.locate(QStringLiteral("name"), {QStringLiteral("fishe")}, loCaseInsensitive | loPartialKey));
    QCOMPARE(table.recNo(), 2);
    QVERIFY(table.locate(QString::fromUtf8("name"), {QString::fromUtf8("\xCA\xBCN")}, loCaseInsensitive));
    QCOMPARE(table.recNo(), 3);
    QVERIFY(!table.locate(QStringLiteral("name"), {QStringLiteral("FISH")}, {}));
}

void SearchTest::locateIgnoringAccents_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("options");
    QTest::addColumn<QString>("found");  // empty: none
    const int ci = loCaseInsensitive, partial = loPartialKey, ai = loAccentInsensitive;

    QTest::newRow("ring and stroke dropped") << "Odegard" << ai << "Ødegård";
    QTest::newRow("accents typed, none stored") << "Émile" << ai << "Emile";
    QTest::newRow("prefix, case and accents") << "ODEG" << (ai | ci | partial) << "Ødegård";
    QTest::newRow("prefix ending in an accented letter") << "sø" << (ai | ci | partial) << "Søren";
    QTest::newRow("case kept without its flag") << "odegard" << ai << "";
    QTest::newRow("accents kept without the flag") << "Odegard" << (ci | partial) << "";
    QTest::newRow("combining marks stored apart") << "jose" << (ai | ci) << QString::fromUtf8("Jose\xCC\x81");
    QTest::newRow("another letter is no accent") << "Aeble" << (ai | ci) << "";
}

void SearchTest::locateIgnoringAccents()
{
    QFETCH(QString, key);
    QFETCH(int, options);
    QFETCH(QString, found);
    TestWorkspace workspace;
    Table table;
    makeTable(table,
              {{QStringLiteral("Søren")},
               {QStringLiteral("Emile")},
               {QStringLiteral("Ødegård")},
               {QStringLiteral("Æble")},
               {QString::fromUtf8("Jose\xCC\x81")},
               {QStringLiteral("end")}});
    table.last();
    const bool result = table.locate(QStringLiteral("name"), {key}, LocateOptions(options));
    QCOMPARE(result, !found.isEmpty());
    QCOMPARE(currentName(table), found.isEmpty() ? QStringLiteral("end") : found);
}

void SearchTest::ranges()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    table.setIndexFieldNames(QStringLiteral("hours"));
    table.last();
    Field *hours = table.fieldByName(QStringLiteral("hours"));

    table.setRangeStart();
    QCOMPARE(table.state(), dsSetKey);
    hours->setAsInteger(2);
    QCOMPARE(hours->asInteger(), 2);
    table.setRangeEnd();
    hours->setAsString(QStringLiteral("3"));
    QSignalSpy scrolled(&table, &Table::afterScroll);
    table.applyRange();
    QCOMPARE(scrolled.count(), 1);
    QCOMPARE(table.state(), dsBrowse);
    QVERIFY(table.hasRange());
    QCOMPARE(table.recNo(), 1);
    QCOMPARE(table.recordCount(), 3);
    QCOMPARE(names(table), (QStringList{QStringLiteral("O'Brien"), QStringLiteral("smith"), QStringLiteral("Straße")}));
    QVERIFY(!table.locate(QStringLiteral("name"), {QStringLiteral("baker")}, {}));
    QVERIFY(!table.findKey({5}));
    QVERIFY(table.findKey({3}));

    // Records outside the range stay out of reach, also after a save.
    table.edit();
    hours->setAsInteger(9);
    table.post();
    table.refresh();
    QCOMPARE(table.recordCount(), 2);
}

void SearchTest::rangeWithTwoFields()
{
    // What query-by-form does: an order on the fields given, then an exact-match range.
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    table.setIndexFieldNames(QStringLiteral("city;hours"));
    table.setRangeStart();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Odense"));
    table.fieldByName(QStringLiteral("hours"))->setAsString(QStringLiteral("2"));
    table.setRangeEnd();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Odense"));
    table.fieldByName(QStringLiteral("hours"))->setAsString(QStringLiteral("2"));
    table.applyRange();
    QCOMPARE(names(table), QStringList{QStringLiteral("smith")});

    // Only a start given: everything from it on. A start alone keeps the last end, as
    // setting one side of a range always does, so the range is cancelled first.
    table.cancelRange();
    table.setRangeStart();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Berlin"));
    table.applyRange();
    QCOMPARE(table.recordCount(), 4);
}

void SearchTest::refusedRangeValueLeavesTableBrowsable()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    table.setIndexFieldNames(QStringLiteral("hours"));
    table.setRangeStart();
    QCOMPARE(errorOf([&] { table.fieldByName(QStringLiteral("hours"))->setAsString(QStringLiteral("x")); }),
             QStringLiteral("'x' is not a valid integer value for field 'hours'"));
    QCOMPARE(table.state(), dsSetKey);
    table.first();
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(table.recordCount(), 6);
    QVERIFY(!table.hasRange());
    table.edit();
    QCOMPARE(table.state(), dsEdit);
}

void SearchTest::rangeEndsAtCancel()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    table.setIndexFieldNames(QStringLiteral("hours"));
    table.setRangeStart();
    table.fieldByName(QStringLiteral("hours"))->setAsInteger(2);
    table.setRangeEnd();
    table.fieldByName(QStringLiteral("hours"))->setAsInteger(2);
    table.applyRange();
    table.next();
    QCOMPARE(currentName(table), QStringLiteral("smith"));
    table.cancelRange();
    QVERIFY(!table.hasRange());
    QCOMPARE(table.recordCount(), 6);
    QCOMPARE(currentName(table), QStringLiteral("smith"));
    QCOMPARE(table.recNo(), 4);

    // A new order drops the range too.
    table.setRangeStart();
    table.fieldByName(QStringLiteral("hours"))->setAsInteger(5);
    table.applyRange();
    QCOMPARE(table.recordCount(), 1);
    table.setIndexFieldNames(QStringLiteral("name"));
    QCOMPARE(table.recordCount(), 6);
    QVERIFY(!table.hasRange());
    QCOMPARE(errorOf([&] {
                 table.setIndexFieldNames(QString());
                 table.applyRange();
             }),
             QStringLiteral("No index currently active"));
}

void SearchTest::applyRangeFinishesThePendingEdit()
{
    // A new record typed in before the range is applied is saved first, in its own place.
    TestWorkspace workspace;
    Table table;
    makeTable(table, people());
    table.setIndexFieldNames(QStringLiteral("hours"));
    table.insert();
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("Newcomer"));
    table.fieldByName(QStringLiteral("hours"))->setAsInteger(2);
    table.applyRange();
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(names(table).size(), table.recordCount());
    QVERIFY(names(table).contains(QStringLiteral("Newcomer")));
    table.cancelRange();
    QCOMPARE(table.recordCount(), 7);
    QCOMPARE(names(table).size(), 7);
}

QTEST_GUILESS_MAIN(SearchTest)
#include "tst_search.moc"
