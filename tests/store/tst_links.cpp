#include "storefixture.h"
#include "testworkspace.h"

#include <QtTest>

#include <memory>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// The names a link's window shows, read row by row the way a grid paints.
QStringList window(DataLink &link)
{
    QStringList rows;
    Field *name = link.dataSet()->fieldByName(QStringLiteral("name"));
    for (int i = 0; i < link.recordCount(); ++i) {
        ActiveRecordScope scope(link, i);
        rows << name->asString();
    }
    return rows;
}

QStringList rowNames(int from, int to)
{
    QStringList names;
    for (int i = from; i <= to; ++i)
        names << QStringLiteral("r%1").arg(i);
    return names;
}

}  // namespace

// What bound controls and the grid attach to: data sources, links, their windows of visible
// records and reading another visible record for a moment.
class LinksTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void activeAndEditing();
    void sourceSignals();
    void windowFollowsTheCurrentRecord();
    void aJumpKeepsTheRow();
    void readingAnotherRowRestoresTheCurrentOne();
    void rowsPastTheEndReadAsEmpty();
    void editedAndInsertedRowsInTheWindow();
    void partsGoingAwayInAnyOrder();
    void aLinkLeavingDuringAnEvent();
};

void LinksTest::activeAndEditing()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    table.close();
    DataSource source;
    RecordingLink link;
    link.setDataSource(&source);
    QVERIFY(!link.active());
    QCOMPARE(link.dataSet(), nullptr);
    QVERIFY(!link.edit());
    source.setDataSet(&table);
    QCOMPARE(source.state(), dsInactive);
    QVERIFY(!link.active());
    table.open();
    QVERIFY(link.active());
    QCOMPARE(source.state(), dsBrowse);

    QVERIFY(link.edit());
    QVERIFY(link.editing());
    QCOMPARE(table.state(), dsEdit);
    table.cancel();
    QVERIFY(!link.editing());

    link.setReadOnly(true);
    QVERIFY(!link.edit());
    QCOMPARE(table.state(), dsBrowse);
    table.edit();
    QVERIFY(!link.editing());
    link.setReadOnly(false);
    QVERIFY(link.editing());
    table.cancel();

    Table other;
    other.setTableName(QStringLiteral("other"));
    other.createTable(jobDefs());
    source.setDataSet(&other);
    QVERIFY(!link.active());
    other.open();
    QVERIFY(link.active());
    QCOMPARE(link.dataSet(), &other);
    table.close();
    QVERIFY(link.active());
    source.setDataSet(nullptr);
    QVERIFY(!link.active());
}

void LinksTest::sourceSignals()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    DataSource source;
    QSignalSpy stateChanged(&source, &DataSource::stateChanged);
    QSignalSpy dataChanged(&source, &DataSource::dataChanged);
    QSignalSpy updateData(&source, &DataSource::updateData);
    source.setDataSet(&table);
    QCOMPARE(stateChanged.count(), 1);

    table.edit();
    QVERIFY(stateChanged.count() >= 2);
    dataChanged.clear();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("x"));
    QCOMPARE(dataChanged.count(), 1);
    QCOMPARE(dataChanged.at(0).at(0).value<Field *>(), table.fieldByName(QStringLiteral("city")));
    table.post();
    QCOMPARE(updateData.count(), 1);
    QCOMPARE(dataChanged.last().at(0).value<Field *>(), nullptr);
    QCOMPARE(source.state(), dsBrowse);
}

void LinksTest::windowFollowsTheCurrentRecord()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(20));
    DataSource source;
    source.setDataSet(&table);
    EventLog log;
    RecordingLink link(&log);
    link.setBufferCount(5);
    link.setDataSource(&source);
    QCOMPARE(link.bufferCount(), 5);
    QCOMPARE(link.recordCount(), 5);
    QCOMPARE(link.activeRecord(), 0);
    QCOMPARE(window(link), rowNames(1, 5));
    log.clear();

    for (int i = 0; i < 4; ++i)
        table.next();
    QCOMPARE(log.take(), QStringList(4, QStringLiteral("link scrolled 0")));
    QCOMPARE(link.activeRecord(), 4);
    table.next();
    QCOMPARE(log.take(), QStringList{QStringLiteral("link scrolled 1")});
    QCOMPARE(link.activeRecord(), 4);
    QCOMPARE(window(link), rowNames(2, 6));
    table.moveBy(-6);
    QCOMPARE(log.take(), QStringList{QStringLiteral("link scrolled -1")});
    QCOMPARE(link.activeRecord(), 0);
    QCOMPARE(window(link), rowNames(1, 5));

    table.last();
    QCOMPARE(log.take(), QStringList{QStringLiteral("link changed")});
    QCOMPARE(link.activeRecord(), 4);
    QCOMPARE(window(link), rowNames(16, 20));
    table.prior();
    QCOMPARE(link.activeRecord(), 3);

    link.setBufferCount(8);
    QCOMPARE(link.recordCount(), 8);
    QCOMPARE(window(link).last(), QStringLiteral("r20"));
    QCOMPARE(link.activeRecord(), 6);
}

void LinksTest::aJumpKeepsTheRow()
{
    // The record jumped to takes the screen row the current record had.
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(30));
    DataSource source;
    source.setDataSet(&table);
    RecordingLink link;
    link.setBufferCount(6);
    link.setDataSource(&source);
    table.moveBy(2);
    QCOMPARE(link.activeRecord(), 2);
    table.setRecNo(20);
    QCOMPARE(link.activeRecord(), 2);
    QCOMPARE(window(link), rowNames(18, 23));
    QVERIFY(table.locate(QStringLiteral("name"), {QStringLiteral("r29")}, {}));
    QCOMPARE(link.activeRecord(), 4);
    QCOMPARE(window(link), rowNames(25, 30));
}

void LinksTest::readingAnotherRowRestoresTheCurrentOne()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(10));
    DataSource source;
    source.setDataSet(&table);
    RecordingLink link;
    link.setBufferCount(4);
    link.setDataSource(&source);
    table.next();
    Field *name = table.fieldByName(QStringLiteral("name"));
    Field *hours = table.fieldByName(QStringLiteral("hours"));
    Bookmark readBookmark;
    {
        ActiveRecordScope outer(link, 3);
        QCOMPARE(link.activeRecord(), 3);
        QCOMPARE(name->asString(), QStringLiteral("r4"));
        QCOMPARE(hours->asInteger(), 4);
        // The bookmark is the one of the record being read, not of the current record.
        readBookmark = table.bookmark();
        {
            ActiveRecordScope inner(link, 0);
            QCOMPARE(name->asString(), QStringLiteral("r1"));
        }
        QCOMPARE(link.activeRecord(), 3);
        QCOMPARE(name->asString(), QStringLiteral("r4"));
    }
    QCOMPARE(link.activeRecord(), 1);
    QCOMPARE(name->asString(), QStringLiteral("r2"));
    QCOMPARE(table.recNo(), 2);
    QVERIFY(readBookmark != table.bookmark());
    table.setRecNo(4);
    QCOMPARE(table.bookmark(), readBookmark);
    table.setRecNo(2);

    // A move while another row is being read ends that reading.
    link.setActiveRecord(3);
    table.next();
    QCOMPARE(link.activeRecord(), 2);
    QCOMPARE(name->asString(), QStringLiteral("r3"));
}

void LinksTest::rowsPastTheEndReadAsEmpty()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    DataSource source;
    source.setDataSet(&table);
    RecordingLink link;
    link.setBufferCount(10);
    link.setDataSource(&source);
    QCOMPARE(link.recordCount(), 3);
    {
        ActiveRecordScope scope(link, 7);
        for (const Field *field : table.fields()) {
            QVERIFY(field->isNull());
            QCOMPARE(field->asString(), QString());
            QCOMPARE(field->value(), QVariant());
        }
        QCOMPARE(table.fieldByName(QStringLiteral("photo"))->displayText(), QStringLiteral("(Blob)"));
        QCOMPARE(table.fieldByName(QStringLiteral("photo"))->asBytes(), QByteArray());
    }
    QCOMPARE(currentName(table), QStringLiteral("r1"));
}

void LinksTest::editedAndInsertedRowsInTheWindow()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(4));
    DataSource source;
    source.setDataSet(&table);
    RecordingLink link;
    link.setBufferCount(6);
    link.setDataSource(&source);
    table.setRecNo(2);
    table.edit();
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("typed"));
    QCOMPARE(window(link),
             (QStringList{QStringLiteral("r1"), QStringLiteral("typed"), QStringLiteral("r3"), QStringLiteral("r4")}));
    table.post();
    table.insert();
    QCOMPARE(link.recordCount(), 5);
    QCOMPARE(link.activeRecord(), 1);
    QCOMPARE(window(link),
             (QStringList{QStringLiteral("r1"), QString(), QStringLiteral("typed"), QStringLiteral("r3"),
                          QStringLiteral("r4")}));
    table.cancel();
    QCOMPARE(link.recordCount(), 4);
    QCOMPARE(window(link),
             (QStringList{QStringLiteral("r1"), QStringLiteral("typed"), QStringLiteral("r3"), QStringLiteral("r4")}));
}

void LinksTest::partsGoingAwayInAnyOrder()
{
    TestWorkspace workspace;
    auto table = std::make_unique<Table>();
    makeTable(*table, numberedRows(2));
    auto source = std::make_unique<DataSource>();
    source->setDataSet(table.get());
    RecordingLink link;
    link.setDataSource(source.get());
    QVERIFY(link.active());
    table.reset();
    QVERIFY(!link.active());
    QCOMPARE(source->dataSet(), nullptr);
    QCOMPARE(link.recordCount(), 0);
    QCOMPARE(link.activeRecord(), 0);
    source.reset();
    QCOMPARE(link.dataSource(), nullptr);

    Table again;
    again.setTableName(QStringLiteral("jobs"));
    again.open();
    DataSource second;
    second.setDataSet(&again);
    {
        RecordingLink shortLived;
        shortLived.setDataSource(&second);
    }
    QCOMPARE(second.links().size(), 0);
    again.next();
}

void LinksTest::aLinkLeavingDuringAnEvent()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    DataSource source;
    source.setDataSet(&table);
    auto second = std::make_unique<RecordingLink>();
    RecordingLink first;
    first.setDataSource(&source);
    second->setDataSource(&source);
    first.onDataSetChanged = [&] { second.reset(); };
    table.last();
    QCOMPARE(source.links().size(), 1);
    table.first();

    // The same when the state changes: the link gone is not told, the one still there is.
    EventLog log;
    auto third = std::make_unique<RecordingLink>(&log);
    third->setDataSource(&source);
    RecordingLink fourth(&log);
    fourth.setDataSource(&source);
    first.onEditingChanged = [&] { third.reset(); };
    table.edit();
    QCOMPARE(source.links().size(), 2);
    QCOMPARE(log.entries().count(QStringLiteral("link editing")), 1);
}

QTEST_GUILESS_MAIN(LinksTest)
#include "tst_links.moc"
