#include "store/sqlite.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

qint64 count(const QString &sql)
{
    sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadOnly);
    sql::Statement stmt = db.prepare(sql);
    return stmt.step() ? stmt.int64(0) : -1;
}

const QStringList kListed{QStringLiteral("name"), QStringLiteral("city"), QStringLiteral("day")};

}  // namespace

// Deleted records kept aside for a while, and put back as they were.
class DeletedTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deletedRecordComesBackWithItsPhoto();
    void notKeptUnlessAsked();
    void expiredRecordsGo();
    void takenRowIdGivesANewOne();
    void readOnlyTableRefusesPutBack();
};

void DeletedTest::deletedRecordComesBackWithItsPhoto()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table,
              {{QStringLiteral("Ødegård"), QStringLiteral("Sørum"), 90, QDate(2026, 5, 3), QStringLiteral("chimney")},
               {QStringLiteral("Berg"), QStringLiteral("Oslo"), 30}});
    table.setDeletedKeptDays(90);
    table.setIndexFieldNames(QStringLiteral("name"));
    table.locate(QStringLiteral("name"), {QStringLiteral("Ødegård")}, {});
    table.edit();
    const QByteArray photo(150000, 'p');
    table.fieldByName(QStringLiteral("photo"))->setAsBytes(photo);
    table.post();
    QVERIFY(table.deletedRecords(kListed).isEmpty());

    table.deleteRecord();
    QCOMPARE(table.recordCount(), 1);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM jobs_blobs")), 0);
    const QList<DeletedRecord> kept = table.deletedRecords(kListed);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.first().values,
             (QVariantList{QStringLiteral("Ødegård"), QStringLiteral("Sørum"), QDate(2026, 5, 3)}));
    QCOMPARE(kept.first().photos, 1);
    QVERIFY(qAbs(kept.first().deletedAt.secsTo(QDateTime::currentDateTime())) < 60);

    table.first();  // on Berg
    const qint64 rid = table.restoreDeleted(kept.first().rid);
    QCOMPARE(rid, kept.first().rid);
    QCOMPARE(table.recordCount(), 2);
    // It is the current record, in its place of the order, whole.
    QCOMPARE(table.recNo(), 2);
    QCOMPARE(table.fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("Ødegård"));
    QCOMPARE(table.fieldByName(QStringLiteral("note"))->asString(), QStringLiteral("chimney"));
    QCOMPARE(table.fieldByName(QStringLiteral("hours"))->asInteger(), 90);
    QCOMPARE(table.fieldByName(QStringLiteral("photo"))->asBytes(), photo);
    QVERIFY(table.deletedRecords(kListed).isEmpty());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM jobs_deleted_blobs")), 0);
    QCOMPARE(errorOf([&] { table.restoreDeleted(rid); }), QStringLiteral("The deleted record is no longer kept"));
}

void DeletedTest::notKeptUnlessAsked()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    table.deleteRecord();
    QVERIFY(table.deletedRecords(kListed).isEmpty());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name LIKE 'jobs_deleted%'")), 0);
}

void DeletedTest::expiredRecordsGo()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(3));
    table.setDeletedKeptDays(90);
    table.deleteRecord();
    table.close();
    {
        // A record deleted 91 days ago, as the clock would have it.
        sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
        db.exec(QStringLiteral("UPDATE jobs_deleted SET deleted_at = '%1'")
                    .arg(QDateTime::currentDateTimeUtc().addDays(-91).toString(Qt::ISODate)));
    }
    table.open();
    QVERIFY(table.deletedRecords(kListed).isEmpty());
    table.deleteRecord();
    QCOMPARE(table.deletedRecords(kListed).size(), 1);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM jobs_deleted")), 1);
}

void DeletedTest::takenRowIdGivesANewOne()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    table.setDeletedKeptDays(90);
    table.last();
    const qint64 rid = 2;
    table.deleteRecord();
    table.close();
    {
        sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
        db.exec(QStringLiteral("INSERT INTO jobs (_rid, name) VALUES (2, 'another program')"));
    }
    table.open();
    const qint64 back = table.restoreDeleted(rid);
    QVERIFY(back != rid);
    QCOMPARE(table.recordCount(), 3);
    QCOMPARE(table.fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("r2"));
}

void DeletedTest::readOnlyTableRefusesPutBack()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, numberedRows(2));
    table.setDeletedKeptDays(90);
    table.deleteRecord();
    const qint64 rid = table.deletedRecords(kListed).first().rid;
    table.close();
    table.setReadOnly(true);
    table.open();
    QVERIFY(!errorOf([&] { table.restoreDeleted(rid); }).isEmpty());
    QCOMPARE(table.recordCount(), 1);
}

QTEST_GUILESS_MAIN(DeletedTest)
#include "tst_deleted.moc"
