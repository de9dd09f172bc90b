#include "error.h"
#include "field.h"
#include "kelvaratable.h"
#include "table.h"
#include "testworkspace.h"

#include <QtTest>

using namespace kelvara;

class TableTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kelvaraTableHasItsDesign();
};

void TableTest::kelvaraTableHasItsDesign()
{
    test::TestWorkspace workspace;
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
}

QTEST_GUILESS_MAIN(TableTest)
#include "tst_table.moc"
