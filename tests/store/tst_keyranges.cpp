// Orders over field lists and exact-match ranges on them, for every type a field can be ordered
// by, set from the texts a user types: what querying and sorting by form ask of the store.

#include "storefixture.h"
#include "testworkspace.h"

#include <QtTest>

#include <sqlite3.h>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// Three records: the field under test holds low, high, low; "s" holds "a", "b", "b".
struct TypedTable
{
    TypedTable(FieldType type, const QVariant &low, const QVariant &high)
    {
        makeTable(table,
                  {{QStringLiteral("r1"), high, QStringLiteral("a")},
                   {QStringLiteral("r2"), low, QStringLiteral("a")},
                   {QStringLiteral("r3"), low, QStringLiteral("b")}},
                  {fieldDef(QStringLiteral("name"), ftString, 10),
                   fieldDef(QStringLiteral("k"), type, type == ftString ? 10 : 0),
                   fieldDef(QStringLiteral("s"), ftString, 10)});
    }

    // The field's own text of a record's value, as the user would type it.
    QString textOf(const QString &record, const QString &field)
    {
        if (!table.locate(QStringLiteral("name"), {record}, {}))
            return QString();
        return table.fieldByName(field)->asString();
    }

    // Sets an exact-match range, the values given as text, the way query by form does.
    void exactRange(const QList<QPair<QString, QString>> &values)
    {
        for (bool start : {true, false}) {
            if (start)
                table.setRangeStart();
            else
                table.setRangeEnd();
            for (const auto &[field, text] : values)
                table.fieldByName(field)->setAsString(text);
        }
        table.applyRange();
    }

    TestWorkspace workspace;
    Table table;
};

// The shown records as a reader with SQL of its own sees them, in the shown order.
QStringList shownBySql(const Table &table)
{
    sql::Statement stmt = table.selectShown(QStringLiteral("\"name\""), QString(), Table::ShownOrder::AsShown);
    QStringList result;
    while (stmt.step())
        result << stmt.text(0);
    return result;
}

}  // namespace

class KeyRangesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exactRangeOnEveryOrderableType_data();
    void exactRangeOnEveryOrderableType();
    void refusedOrderKeepsOrderAndRange();
    void foreignTextIsFoundAsShown_data();
    void foreignTextIsFoundAsShown();
};

void KeyRangesTest::exactRangeOnEveryOrderableType_data()
{
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<QVariant>("low");
    QTest::addColumn<QVariant>("high");

    QTest::newRow("text") << ftString << QVariant(QStringLiteral("Aarhus")) << QVariant(QStringLiteral("Odense"));
    QTest::newRow("16-bit integer") << ftSmallint << QVariant(-5) << QVariant(300);
    QTest::newRow("integer") << ftInteger << QVariant(9) << QVariant(100000);
    QTest::newRow("word") << ftWord << QVariant(2) << QVariant(65000);
    QTest::newRow("boolean") << ftBoolean << QVariant(false) << QVariant(true);
    QTest::newRow("float") << ftFloat << QVariant(2.5) << QVariant(10.25);
    QTest::newRow("currency") << ftCurrency << QVariant(3.75) << QVariant(12.0);
    QTest::newRow("date") << ftDate << QVariant(QDate(2019, 12, 31)) << QVariant(QDate(2024, 5, 1));
    QTest::newRow("time") << ftTime << QVariant(QTime(9, 5, 0)) << QVariant(QTime(17, 30, 15));
    QTest::newRow("date and time") << ftDateTime << QVariant(QDateTime(QDate(2024, 5, 1), QTime(8, 0)))
                                   << QVariant(QDateTime(QDate(2024, 5, 1), QTime(18, 45, 30)));
}

void KeyRangesTest::exactRangeOnEveryOrderableType()
{
    QFETCH(FieldType, type);
    QFETCH(QVariant, low);
    QFETCH(QVariant, high);
    TypedTable t(type, low, high);
    Table &table = t.table;
    const QString lowText = t.textOf(QStringLiteral("r2"), QStringLiteral("k"));
    QVERIFY(!lowText.isEmpty());

    // Sorting by the field and the text field, and the other way round.
    table.setIndexFieldNames(QStringLiteral("k;s"));
    QCOMPARE(names(table), (QStringList{QStringLiteral("r2"), QStringLiteral("r3"), QStringLiteral("r1")}));
    table.setIndexFieldNames(QStringLiteral("s;k"));
    QCOMPARE(names(table), (QStringList{QStringLiteral("r2"), QStringLiteral("r1"), QStringLiteral("r3")}));

    // Both values given: exactly the record holding both.
    table.setIndexFieldNames(QStringLiteral("k;s"));
    t.exactRange({{QStringLiteral("k"), lowText}, {QStringLiteral("s"), QStringLiteral("b")}});
    QCOMPARE(names(table), QStringList{QStringLiteral("r3")});

    // The field alone, leading the order: both records holding the value, in the order's sort.
    table.setIndexFieldNames(QStringLiteral("k"));
    t.exactRange({{QStringLiteral("k"), lowText}});
    QCOMPARE(names(table), (QStringList{QStringLiteral("r2"), QStringLiteral("r3")}));

    // The field second in the order.
    table.setIndexFieldNames(QStringLiteral("s;k"));
    t.exactRange({{QStringLiteral("s"), QStringLiteral("a")}, {QStringLiteral("k"), lowText}});
    QCOMPARE(names(table), QStringList{QStringLiteral("r2")});
    QCOMPARE(shownBySql(table), QStringList{QStringLiteral("r2")});

    // Readers with SQL of their own see the same records, and all of them once it is cancelled.
    table.setIndexFieldNames(QStringLiteral("k;s"));
    t.exactRange({{QStringLiteral("k"), lowText}});
    QCOMPARE(shownBySql(table), (QStringList{QStringLiteral("r2"), QStringLiteral("r3")}));
    sql::Statement count = table.selectShown(QStringLiteral("\"s\", count(*)"), QStringLiteral("\"s\""));
    QStringList groups;
    while (count.step())
        groups << count.text(0) + QLatin1Char('=') + QString::number(count.int64(1));
    QCOMPARE(groups, (QStringList{QStringLiteral("a=1"), QStringLiteral("b=1")}));
    table.cancelRange();
    QCOMPARE(shownBySql(table), (QStringList{QStringLiteral("r2"), QStringLiteral("r3"), QStringLiteral("r1")}));
}

void KeyRangesTest::refusedOrderKeepsOrderAndRange()
{
    // A formatted memo cannot order the table; asking for it with other fields changes nothing.
    TestWorkspace workspace;
    Table table;
    makeTable(table,
              {{QStringLiteral("r1"), QStringLiteral("x")},
               {QStringLiteral("r2"), QStringLiteral("y")},
               {QStringLiteral("r3"), QStringLiteral("x")}},
              {fieldDef(QStringLiteral("name"), ftString, 10), fieldDef(QStringLiteral("s"), ftString, 10),
               fieldDef(QStringLiteral("rich"), ftFmtMemo)});
    table.setIndexFieldNames(QStringLiteral("s"));
    table.setRangeStart();
    table.fieldByName(QStringLiteral("s"))->setAsString(QStringLiteral("x"));
    table.setRangeEnd();
    table.fieldByName(QStringLiteral("s"))->setAsString(QStringLiteral("x"));
    table.applyRange();

    QCOMPARE(errorOf([&] { table.setIndexFieldNames(QStringLiteral("s;rich")); }),
             QStringLiteral("No index for fields 's;rich'"));
    QCOMPARE(table.indexFieldNames(), QStringLiteral("s"));
    QVERIFY(table.hasRange());
    QCOMPARE(names(table), (QStringList{QStringLiteral("r1"), QStringLiteral("r3")}));
}

void KeyRangesTest::foreignTextIsFoundAsShown_data()
{
    QTest::addColumn<QByteArray>("stored");  // an SQL value another program wrote

    QTest::newRow("text stored as a BLOB") << QByteArray("CAST('Kleve' AS BLOB)");
    QTest::newRow("bytes that are no UTF-8") << QByteArray("CAST(X'53F872756D' AS TEXT)");
    QTest::newRow("BLOB of bytes that are no UTF-8") << QByteArray("X'53F872756D'");
    QTest::newRow("longer than the field") << QByteArray("'Bjornstjerne Bjornson'");
    QTest::newRow("longer than the field, not ASCII") << QByteArray("'Bjørnstjerne Bjørnsons gate'");
}

void KeyRangesTest::foreignTextIsFoundAsShown()
{
    // Query by form narrows by what the user types, and the user types what the grid shows.
    QFETCH(QByteArray, stored);
    TypedTable fixture(ftString, QStringLiteral("Aarhus"), QStringLiteral("Odense"));
    fixture.table.close();
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open("jobs.db", &db), SQLITE_OK);
        const QByteArray sql = "UPDATE jobs SET k = " + stored + " WHERE name = 'r2'";
        const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QCOMPARE(rc, SQLITE_OK);
    }
    fixture.table.open();
    const QString shown = fixture.textOf(QStringLiteral("r2"), QStringLiteral("k"));
    QVERIFY(!shown.isEmpty());

    fixture.table.setIndexFieldNames(QStringLiteral("k"));
    fixture.exactRange({{QStringLiteral("k"), shown}});
    QCOMPARE(names(fixture.table), QStringList{QStringLiteral("r2")});

    // Title search's fallback: the start of what is shown, in any case.
    fixture.table.cancelRange();
    fixture.table.first();
    QVERIFY(fixture.table.locate(QStringLiteral("k"), {shown.left(3).toLower()},
                                 LocateOptions(loCaseInsensitive) | loPartialKey | loAccentInsensitive));
    QCOMPARE(fixture.table.fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("r2"));
}

QTEST_GUILESS_MAIN(KeyRangesTest)
#include "tst_keyranges.moc"
