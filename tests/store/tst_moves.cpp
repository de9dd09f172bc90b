#include "storefixture.h"
#include "testworkspace.h"

#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

// Moving through a table: positions, start and end flags, counts, bookmarks, and suspending
// the bound controls.
// A table of numbered rows with one recording link on it, the link's start-up events taken.
struct LinkedTable
{
    explicit LinkedTable(int rows)
    {
        makeTable(table, numberedRows(rows));
        source.setDataSet(&table);
        link.setDataSource(&source);
        log.clear();
    }

    TestWorkspace workspace;
    Table table;
    DataSource source;
    EventLog log;
    RecordingLink link{&log};
};

class MovesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void moveByCountsAndFlags_data();
    void moveByCountsAndFlags();
    void walkBothWays();
    void emptyTableMoves();
    void recNoJumps();
    void recordCountCountsStoredRecords();
    void bookmarks();
    void bookmarksFollowTheOrder();
    void extremeRowIds();
    void movesFinishThePendingEdit();
    void movingOffAnUntouchedNewRecord_data();
    void movingOffAnUntouchedNewRecord();
    void suspendedControlsHearOneChange();
    void suspendingScopeResumesHoweverItEnds();
    void suspendedLayoutChangeComesOnResume();
    void heldWalkWritesTypedTextBackOnce();
    void heldWalkReadsEveryRecord_data();
    void heldWalkReadsEveryRecord();
};

void MovesTest::moveByCountsAndFlags_data()
{
    QTest::addColumn<int>("startRecNo");  // 0: first(), -1: last(), else setRecNo
    QTest::addColumn<int>("distance");
    QTest::addColumn<int>("moved");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<bool>("bof");
    QTest::addColumn<bool>("eof");
    QTest::addColumn<int>("scrolls");

    QTest::newRow("first +2") << 0 << 2 << 2 << 3 << false << false << 1;
    QTest::newRow("first +4 lands on the last, not past it") << 0 << 4 << 4 << 5 << false << false << 1;
    QTest::newRow("first +10 stops at the last") << 0 << 10 << 4 << 5 << false << true << 1;
    QTest::newRow("first -1 at the start") << 0 << -1 << 0 << 1 << true << false << 0;
    QTest::newRow("last +1 at the end") << -1 << 1 << 0 << 5 << false << true << 0;
    QTest::newRow("last -2") << -1 << -2 << -2 << 3 << false << false << 1;
    QTest::newRow("last -10 stops at the first") << -1 << -10 << -4 << 1 << true << false << 1;
    QTest::newRow("record 3 -5") << 3 << -5 << -2 << 1 << true << false << 1;
    QTest::newRow("record 5 +1 hits the end") << 5 << 1 << 0 << 5 << false << true << 1;
    QTest::newRow("record 1 -1 hits the start") << 1 << -1 << 0 << 1 << true << false << 1;
    QTest::newRow("zero distance") << 3 << 0 << 0 << 3 << false << false << 0;
}

void MovesTest::moveByCountsAndFlags()
{
    QFETCH(int, startRecNo);
    QFETCH(int, distance);
    QFETCH(int, moved);
    QFETCH(int, recNo);
    QFETCH(bool, bof);
    QFETCH(bool, eof);
    QFETCH(int, scrolls);

    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(5));
    if (startRecNo == 0)
        table.first();
    else if (startRecNo < 0)
        table.last();
    else
        table.setRecNo(startRecNo);
    QSignalSpy afterScroll(&table, &Table::afterScroll);

    QCOMPARE(table.moveBy(distance), moved);
    QCOMPARE(table.recNo(), recNo);
    QCOMPARE(table.bof(), bof);
    QCOMPARE(table.eof(), eof);
    QCOMPARE(afterScroll.count(), scrolls);
    QCOMPARE(currentName(table), QStringLiteral("r%1").arg(recNo));
}

void MovesTest::walkBothWays()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(4));
    QStringList forward, backward;
    for (table.first(); !table.eof(); table.next())
        forward << currentName(table);
    for (table.last(); !table.bof(); table.prior())
        backward << currentName(table);
    QCOMPARE(forward,
             (QStringList{QStringLiteral("r1"), QStringLiteral("r2"), QStringLiteral("r3"), QStringLiteral("r4")}));
    QCOMPARE(backward,
             (QStringList{QStringLiteral("r4"), QStringLiteral("r3"), QStringLiteral("r2"), QStringLiteral("r1")}));
}

void MovesTest::emptyTableMoves()
{
    TestWorkspace workspace;
    Table table;
    EventLog log;
    log.watch(table);
    makeTable(table, {});
    QCOMPARE(log.take(), (QStringList{QStringLiteral("afterOpen"), QStringLiteral("afterScroll")}));
    QVERIFY(table.isEmpty());
    QVERIFY(table.bof());
    QVERIFY(table.eof());
    QCOMPARE(table.recNo(), 0);
    QCOMPARE(table.moveBy(3), 0);
    QCOMPARE(table.moveBy(-3), 0);
    table.last();
    QVERIFY(table.bof() && table.eof());
    table.setRecNo(4);
    QCOMPARE(table.recNo(), 0);
    QVERIFY(table.bookmark().isNull());
    QVERIFY(table.field(0)->isNull());
    QCOMPARE(table.field(0)->displayText(), QString());

    table.close();
    log.clear();
    table.open();
    QCOMPARE(log.take(), QStringList{QStringLiteral("afterOpen")});
}

void MovesTest::recNoJumps()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(6));
    QCOMPARE(table.recNo(), 1);
    table.setRecNo(4);
    QCOMPARE(table.recNo(), 4);
    QCOMPARE(currentName(table), QStringLiteral("r4"));
    QVERIFY(!table.bof() && !table.eof());
    table.setRecNo(99);
    QCOMPARE(table.recNo(), 6);
    table.setRecNo(-3);
    QCOMPARE(table.recNo(), 1);
    table.last();
    QCOMPARE(table.recNo(), 6);
    QVERIFY(table.eof());
}

void MovesTest::recordCountCountsStoredRecords()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    QCOMPARE(table.recordCount(), 3);
    table.insert();
    QCOMPARE(table.recordCount(), 3);
    QVERIFY(!table.isEmpty());
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("new"));
    table.post();
    QCOMPARE(table.recordCount(), 4);

    Table empty;
    empty.setTableName(QStringLiteral("empty"));
    empty.createTable(jobDefs());
    empty.open();
    empty.insert();
    QCOMPARE(empty.recordCount(), 0);
    QVERIFY(!empty.isEmpty());
    empty.cancel();
    QVERIFY(empty.isEmpty());
}

void MovesTest::bookmarks()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(5));
    table.setRecNo(2);
    const Bookmark second = table.bookmark();
    table.setRecNo(4);
    const Bookmark fourth = table.bookmark();
    QVERIFY(!second.isNull());
    QVERIFY(second != fourth);
    QVERIFY(table.bookmarkValid(second));
    QCOMPARE(table.compareBookmarks(second, fourth), -1);
    QCOMPARE(table.compareBookmarks(fourth, second), 1);
    QCOMPARE(table.compareBookmarks(second, second), 0);
    QCOMPARE(table.compareBookmarks(Bookmark(), second), -1);

    table.gotoBookmark(second);
    QCOMPARE(table.recNo(), 2);
    QCOMPARE(currentName(table), QStringLiteral("r2"));

    table.deleteRecord();
    QVERIFY(!table.bookmarkValid(second));
    QCOMPARE(errorOf([&] { table.gotoBookmark(second); }), QStringLiteral("Record not found"));
    QCOMPARE(errorOf([&] { table.gotoBookmark(Bookmark()); }), QStringLiteral("Record not found"));
    table.gotoBookmark(fourth);
    QCOMPARE(currentName(table), QStringLiteral("r4"));

    table.insert();
    QVERIFY(table.bookmark().isNull());
    table.cancel();
    table.close();
    QVERIFY(!table.bookmarkValid(fourth));
}

void MovesTest::bookmarksFollowTheOrder()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("b")}, {QStringLiteral("c")}, {QStringLiteral("a")}});
    const Bookmark b = table.bookmark();
    table.last();
    const Bookmark a = table.bookmark();
    QCOMPARE(table.compareBookmarks(a, b), 1);
    table.setIndexFieldNames(QStringLiteral("name"));
    QCOMPARE(table.compareBookmarks(a, b), -1);
    QCOMPARE(currentName(table), QStringLiteral("a"));
    QCOMPARE(table.recNo(), 1);
    table.gotoBookmark(b);
    QCOMPARE(table.recNo(), 2);
}

void MovesTest::extremeRowIds()
{
    TestWorkspace workspace;
    Table table;
    ExtremeIds::make(table);
    const auto rows = ExtremeIds::rows();
    const int count = int(rows.size());
    QCOMPARE(table.recordCount(), count);

    // Each record shows its own values, walked forward and back and reached by a jump.
    auto check = [&](int index) {
        QCOMPARE(currentName(table), rows.at(index).second.at(0).toString());
        QCOMPARE(table.fieldByName(QStringLiteral("hours"))->asInteger(), rows.at(index).second.at(1).toInt());
    };
    QList<Bookmark> bookmarks;
    for (int i = 0; i < count; ++i, table.next()) {
        check(i);
        bookmarks << table.bookmark();
        QVERIFY(!bookmarks.last().isNull());
    }
    QVERIFY(table.eof());
    table.last();
    for (int i = count - 1; i >= 0; --i, table.prior())
        check(i);
    for (int i : {2, 5, 0, 3, 1, 4}) {
        table.close();
        table.open();
        table.setRecNo(i + 1);
        check(i);
    }

    // Bookmarks lead back to their records, the one of row id 0 too.
    for (int i = count - 1; i >= 0; --i) {
        QVERIFY(table.bookmarkValid(bookmarks.at(i)));
        table.gotoBookmark(bookmarks.at(i));
        check(i);
    }
    QCOMPARE(table.compareBookmarks(bookmarks.at(2), bookmarks.at(3)), -1);
}

void MovesTest::movesFinishThePendingEdit()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    DataSource source;
    source.setDataSet(&table);
    RecordingLink control;
    control.setDataSource(&source);
    Field *city = table.fieldByName(QStringLiteral("city"));

    // A changed record is saved by the move.
    table.edit();
    city->setAsString(QStringLiteral("Odense"));
    table.next();
    QCOMPARE(table.state(), dsBrowse);
    table.prior();
    QCOMPARE(city->asString(), QStringLiteral("Odense"));

    // An unchanged one is left as it was, even when edit was called.
    table.edit();
    QVERIFY(!table.modified());
    table.next();
    QCOMPARE(table.state(), dsBrowse);

    // Bound controls write their text back first, and that counts as a change.
    table.edit();
    control.onUpdateData = [&] { city->setAsString(QStringLiteral("Aarhus")); };
    table.last();
    control.onUpdateData = nullptr;
    table.setRecNo(2);
    QCOMPARE(city->asString(), QStringLiteral("Aarhus"));
    QCOMPARE(table.recordCount(), 3);
}

void MovesTest::movingOffAnUntouchedNewRecord_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<int>("before");  // record number the new record is inserted before
    QTest::addColumn<int>("distance");
    QTest::addColumn<QString>("lands");
    QTest::addColumn<int>("moved");
    QTest::addColumn<bool>("bof");
    QTest::addColumn<bool>("eof");
    QTest::newRow("insert before r3, next -> r3") << false << 3 << 1 << "r3" << 1 << false << false;
    QTest::newRow("insert before r3, prior -> r2") << false << 3 << -1 << "r2" << -1 << false << false;
    QTest::newRow("insert before r3, two on -> r4") << false << 3 << 2 << "r4" << 2 << false << false;
    QTest::newRow("insert before r1, prior -> r1 at start") << false << 1 << -1 << "r1" << 0 << true << false;
    QTest::newRow("append, prior -> r5") << true << 0 << -1 << "r5" << -1 << false << false;
    QTest::newRow("append, next -> r5 at end") << true << 0 << 1 << "r5" << 0 << false << true;
}

void MovesTest::movingOffAnUntouchedNewRecord()
{
    // The dropped new record stood between its neighbours, so a step lands on the neighbour.
    QFETCH(bool, append);
    QFETCH(int, before);
    QFETCH(int, distance);
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(5));
    if (append) {
        table.append();
    } else {
        table.setRecNo(before);
        table.insert();
    }
    QCOMPARE(table.state(), dsInsert);
    QTEST(table.moveBy(distance), "moved");
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(table.recordCount(), 5);
    QTEST(currentName(table), "lands");
    QTEST(table.bof(), "bof");
    QTEST(table.eof(), "eof");
}

void MovesTest::suspendedControlsHearOneChange()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(5));
    DataSource source;
    source.setDataSet(&table);
    EventLog log;
    log.watch(source);
    RecordingLink link(&log);
    link.setDataSource(&source);
    log.clear();

    table.disableControls();
    table.disableControls();
    QVERIFY(table.controlsDisabled());
    table.next();
    table.edit();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("x"));
    table.post();
    table.last();
    table.enableControls();
    QVERIFY(table.controlsDisabled());
    // Only the write-back before the post gets through, so that typed text is not lost.
    QCOMPARE(log.take(), QStringList{QStringLiteral("link updateData")});

    table.enableControls();
    QVERIFY(!table.controlsDisabled());
    QCOMPARE(log.take(), (QStringList{QStringLiteral("link changed"), QStringLiteral("dataChanged")}));
    QCOMPARE(link.activeRecord(), 0);

    table.enableControls();
    QVERIFY(!table.controlsDisabled());
    QCOMPARE(log.take(), QStringList());
    table.prior();
    QCOMPARE(log.take(), (QStringList{QStringLiteral("link scrolled -1"), QStringLiteral("dataChanged")}));
}

void MovesTest::suspendingScopeResumesHoweverItEnds()
{
    LinkedTable fixture(3);
    Table &table = fixture.table;
    EventLog &log = fixture.log;

    {
        DisabledControlsScope outer(table);
        {
            DisabledControlsScope inner(table);
            table.next();
            inner.resume();
            inner.resume();
        }
        QVERIFY(table.controlsDisabled());
        table.next();
        QCOMPARE(log.take(), QStringList());
        outer.resume();
    }
    QVERIFY(!table.controlsDisabled());
    QCOMPARE(log.take(), QStringList{QStringLiteral("link changed")});

    // Left by an exception, the scope still resumes the controls.
    try {
        DisabledControlsScope scope(table);
        table.prior();
        throw Error(QStringLiteral("gave up"));
    } catch (const Error &) { }
    QVERIFY(!table.controlsDisabled());
    QCOMPARE(log.take(), QStringList{QStringLiteral("link changed")});
    QCOMPARE(table.recNo(), 2);
}

void MovesTest::suspendedLayoutChangeComesOnResume()
{
    LinkedTable fixture(2);
    Table &table = fixture.table;
    EventLog &log = fixture.log;

    table.disableControls();
    table.fieldByName(QStringLiteral("city"))->setVisible(false);
    table.next();
    QCOMPARE(log.take(), QStringList());
    table.enableControls();
    QCOMPARE(log.take(), QStringList{QStringLiteral("link layout")});
}

// A walk over held controls that puts every record into edit state, as the main window does on
// each move: the text typed before the walk reaches the record it was typed on and no other,
// and the controls are asked for it once, not once a record.
void MovesTest::heldWalkWritesTypedTextBackOnce()
{
    LinkedTable fixture(4);
    Table &table = fixture.table;
    QString typed = QStringLiteral("typed");
    int asked = 0;
    fixture.link.onUpdateData = [&] {
        ++asked;
        if (!typed.isEmpty())
            table.fieldByName(QStringLiteral("city"))->setAsString(std::exchange(typed, QString()));
    };
    table.setRecNo(2);
    table.edit();
    {
        DisabledControlsScope held(table);
        table.first();
        while (!table.eof()) {
            table.edit();
            table.next();
        }
        QCOMPARE(asked, 1);
        // A new round of holding asks again: the controls may have been typed into meanwhile.
        held.resume();
    }
    QCOMPARE(table.state(), dsBrowse);
    QStringList cities;
    for (table.first(); !table.eof(); table.next())
        cities << table.fieldByName(QStringLiteral("city"))->asString();
    QCOMPARE(cities, (QStringList{QString(), QStringLiteral("typed"), QString(), QString()}));

    table.edit();
    {
        DisabledControlsScope held(table);
        table.post();
        table.edit();
        table.post();
    }
    QCOMPARE(asked, 2);
}

void MovesTest::heldWalkReadsEveryRecord_data()
{
    // Walks with the controls held read many records at once, by the span of their row ids or
    // by the ids themselves: far more records than one read takes, and orders that defeat spans.
    QTest::addColumn<int>("idStep");
    QTest::addColumn<QString>("index");
    QTest::newRow("natural order, ids in a row") << 1 << QString();
    QTest::newRow("natural order, ids with gaps") << 3 << QString();
    QTest::newRow("an index scattering the ids") << 1 << QStringLiteral("hours");
}

void MovesTest::heldWalkReadsEveryRecord()
{
    QFETCH(int, idStep);
    QFETCH(QString, index);
    constexpr int kRecords = 700;
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    table.close();
    // Record i has row id 1 + i * idStep and hours scattering it: (i * 263) mod 700.
    QStringList expected(kRecords);
    {
        sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
        db.exec(QStringLiteral("BEGIN"));
        sql::Statement insert
            = db.prepare(QStringLiteral("INSERT INTO \"jobs\" (\"_rid\", \"name\", \"hours\") VALUES (?, ?, ?)"));
        for (int i = 0; i < kRecords; ++i) {
            const int hours = i * 263 % kRecords;
            const QString name = QStringLiteral("r%1").arg(i);
            insert.bindInt64(1, 1 + qint64(i) * idStep);
            insert.bind(2, name);
            insert.bind(3, hours);
            insert.run();
            expected[index.isEmpty() ? i : hours] = name;
        }
        db.exec(QStringLiteral("COMMIT"));
    }
    table.open();
    table.setIndexFieldNames(index);

    QStringList forward, backward;
    {
        DisabledControlsScope held(table);
        for (table.first(); !table.eof(); table.next())
            forward << currentName(table);
        for (table.last(); !table.bof(); table.prior())
            backward << currentName(table);
        held.resume();
    }
    QCOMPARE(forward, expected);
    std::reverse(backward.begin(), backward.end());
    QCOMPARE(backward, expected);
}

QTEST_GUILESS_MAIN(MovesTest)
#include "tst_moves.moc"
