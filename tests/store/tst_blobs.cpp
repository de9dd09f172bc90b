#include "store/sqlite.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QBuffer>
#include <QFile>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

QByteArray pictureBytes(int size, char seed = 1)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + seed) & 0xff);
    return bytes;
}

qint64 count(const QString &sql)
{
    sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadOnly);
    sql::Statement stmt = db.prepare(sql);
    return stmt.step() ? stmt.int64(0) : -1;
}

}  // namespace

// Pictures and memos: sizes, reading and writing bytes and text, streams and revisions.
class BlobsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytesRoundTrip();
    void revisionsTellVersionsApart();
    void cancelDropsNewBytes();
    void clearRemovesTheBytes();
    void filesAndStreams();
    void textInBlobsAndMemos();
    void sizeWithoutReadingTheBytes();
    void deletingARecordDropsItsPictures();
    void memosAndSizesReadOnFirstUse_data();
    void memosAndSizesReadOnFirstUse();
};

void BlobsTest::bytesRoundTrip()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    Field *photo = table.fieldByName(QStringLiteral("photo"));
    const QByteArray bytes = pictureBytes(300000);
    table.insert();
    QVERIFY(photo->isNull());
    QCOMPARE(photo->blobSize(), 0);
    photo->setAsBytes(bytes);
    QCOMPARE(photo->blobSize(), 300000);
    QCOMPARE(photo->asBytes(), bytes);
    QCOMPARE(photo->value(), QVariant(bytes));
    table.post();
    QCOMPARE(photo->asBytes(), bytes);
    table.close();
    table.open();
    photo = table.fieldByName(QStringLiteral("photo"));
    QCOMPARE(photo->blobSize(), 300000);
    QCOMPARE(photo->asBytes(), bytes);
    QCOMPARE(photo->displayText(), QStringLiteral("(BLOB)"));
    // Zero bytes are no picture at all.
    table.edit();
    photo->setAsBytes(QByteArray(""));
    QVERIFY(photo->isNull());
}

void BlobsTest::revisionsTellVersionsApart()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a")}, {QStringLiteral("b")}});
    Field *photo = table.fieldByName(QStringLiteral("photo"));
    QCOMPARE(photo->blobRevision(), 0);
    table.edit();
    photo->setAsBytes(pictureBytes(10));
    QCOMPARE(photo->blobRevision(), -1);
    table.post();
    const qint64 first = photo->blobRevision();
    QVERIFY(first > 0);
    QCOMPARE(photo->blobRevision(), first);

    // Other fields changing leave the picture's revision alone.
    table.edit();
    table.field(1)->setAsString(QStringLiteral("x"));
    table.post();
    QCOMPARE(photo->blobRevision(), first);

    // New bytes, even the same ones, are a new revision.
    table.edit();
    photo->setAsBytes(pictureBytes(10));
    table.post();
    const qint64 second = photo->blobRevision();
    QVERIFY(second > 0 && second != first);

    // Another record's picture has a revision of its own.
    table.next();
    table.edit();
    photo->setAsBytes(pictureBytes(10));
    table.post();
    QVERIFY(photo->blobRevision() != second);
    table.prior();
    QCOMPARE(photo->blobRevision(), second);
}

void BlobsTest::cancelDropsNewBytes()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a"), QString(), QVariant(), QVariant(), QVariant(), pictureBytes(50, 7)}});
    Field *photo = table.fieldByName(QStringLiteral("photo"));
    const qint64 revision = photo->blobRevision();
    table.edit();
    photo->setAsBytes(pictureBytes(99, 3));
    QCOMPARE(photo->blobSize(), 99);
    table.cancel();
    QCOMPARE(photo->blobSize(), 50);
    QCOMPARE(photo->asBytes(), pictureBytes(50, 7));
    QCOMPARE(photo->blobRevision(), revision);
}

void BlobsTest::clearRemovesTheBytes()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a"), QString(), QVariant(), QVariant(), QVariant(), pictureBytes(50)}});
    Field *photo = table.fieldByName(QStringLiteral("photo"));
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM \"jobs_blobs\"")), 1);
    table.edit();
    photo->clear();
    QVERIFY(photo->isNull());
    QCOMPARE(photo->blobRevision(), -1);
    table.post();
    QVERIFY(photo->isNull());
    QCOMPARE(photo->blobSize(), 0);
    QCOMPARE(photo->blobRevision(), 0);
    QCOMPARE(photo->asBytes(), QByteArray());
    QCOMPARE(photo->displayText(), QStringLiteral("(Blob)"));
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM \"jobs_blobs\"")), 0);
}

void BlobsTest::filesAndStreams()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a")}});
    Field *photo = table.fieldByName(QStringLiteral("photo"));
    const QByteArray bytes = pictureBytes(4096);
    const QString file = workspace.writeFile(QStringLiteral("photo.jpg"), bytes);

    table.edit();
    photo->loadFromFile(file);
    table.post();
    QCOMPARE(photo->asBytes(), bytes);

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    photo->saveToStream(out);
    QCOMPARE(out.data(), bytes);

    QBuffer in;
    in.setData(pictureBytes(77, 9));
    in.open(QIODevice::ReadOnly);
    table.edit();
    photo->loadFromStream(in);
    table.post();
    QCOMPARE(photo->asBytes(), pictureBytes(77, 9));

    const QString missing = workspace.filePath(QStringLiteral("missing.jpg"));
    table.edit();
    const QString error = errorOf([&] { photo->loadFromFile(missing); });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot open file %1. ").arg(missing)), qPrintable(error));
    QCOMPARE(photo->blobSize(), 77);

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
    QVERIFY(!errorOf([&] { photo->saveToStream(readOnly); }).isEmpty());
}

void BlobsTest::textInBlobsAndMemos()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a")}});
    Field *note = table.fieldByName(QStringLiteral("note"));
    Field *photo = table.fieldByName(QStringLiteral("photo"));
    const QString text = QString::fromUtf8("Swarm in the æble tree;\r\nqueen seen \"twice\"");
    table.edit();
    note->setAsString(text);
    photo->setAsString(QStringLiteral("{\\rtf1 rich}"));
    table.post();
    table.refresh();
    QCOMPARE(note->asString(), text);
    QCOMPARE(note->blobSize(), text.toUtf8().size());
    QCOMPARE(note->asBytes(), text.toUtf8());
    QCOMPARE(photo->asString(), QStringLiteral("{\\rtf1 rich}"));
    QCOMPARE(photo->asBytes(), QByteArray("{\\rtf1 rich}"));

    QBuffer in;
    in.setData(QByteArray("from a stream"));
    in.open(QIODevice::ReadOnly);
    table.edit();
    note->loadFromStream(in);
    table.post();
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    note->saveToStream(out);
    QCOMPARE(out.data(), QByteArray("from a stream"));
    QCOMPARE(note->displayText(), QStringLiteral("(MEMO)"));
}

void BlobsTest::sizeWithoutReadingTheBytes()
{
    TestWorkspace workspace;
    {
        Table table;
        makeTable(table,
                  {{QStringLiteral("a")},
                   {QStringLiteral("b"), QString(), QVariant(), QVariant(), QVariant(), pictureBytes(400000)}});
    }
    // Spoil the middle of the picture's bytes in the file; the record itself stays sound.
    QFile file(QStringLiteral("jobs.db"));
    QVERIFY(file.open(QIODevice::ReadWrite));
    const qint64 size = file.size();
    QVERIFY(size > 400000);
    QVERIFY(file.seek(size / 2 - (size / 2) % 4096));
    file.write(QByteArray(64 * 1024, '\xff'));
    file.close();

    Table table;
    table.setTableName(QStringLiteral("jobs"));
    table.open();
    table.last();
    Field *photo = table.fieldByName(QStringLiteral("photo"));
    QCOMPARE(photo->blobSize(), 400000);
    QVERIFY(!photo->isNull());
    QCOMPARE(photo->displayText(), QStringLiteral("(BLOB)"));
    QVERIFY(photo->blobRevision() > 0);
    // The damage shows only when the bytes are asked for, as an error of that request.
    const QString error = errorOf([&] { photo->asBytes(); });
    QVERIFY2(error.contains(QStringLiteral("malformed")), qPrintable(error));
    table.first();
    table.edit();
    table.field(1)->setAsString(QStringLiteral("still works"));
    table.post();
    QCOMPARE(table.field(1)->asString(), QStringLiteral("still works"));
}

void BlobsTest::deletingARecordDropsItsPictures()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table,
              {{QStringLiteral("a"), QString(), QVariant(), QVariant(), QVariant(), pictureBytes(10)},
               {QStringLiteral("b"), QString(), QVariant(), QVariant(), QVariant(), pictureBytes(20)}});
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM \"jobs_blobs\"")), 2);
    table.deleteRecord();
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM \"jobs_blobs\"")), 1);
    QCOMPARE(table.fieldByName(QStringLiteral("photo"))->asBytes(), pictureBytes(20));
}

// A walk that reads no memo and no picture leaves them out of its reads; they are read when
// first asked for, on records read either way, and an edit of another field keeps them.
void BlobsTest::memosAndSizesReadOnFirstUse_data()
{
    QTest::addColumn<QString>("use");
    QTest::newRow("walk forward") << QStringLiteral("forward");
    QTest::newRow("walk back") << QStringLiteral("back");
    QTest::newRow("edit another field") << QStringLiteral("edit");
    QTest::newRow("record deleted meanwhile") << QStringLiteral("deleted");
}

void BlobsTest::memosAndSizesReadOnFirstUse()
{
    QFETCH(QString, use);
    TestWorkspace workspace;
    // More records than a read brings in and than the table keeps.
    const int count = 300;
    auto note = [](int i) { return i % 3 == 0 ? QVariant() : QVariant(QStringLiteral("note %1").arg(i)); };
    auto photoSize = [](int i) { return i % 5 == 0 ? i : 0; };
    {
        Table table;
        QList<QVariantList> rows;
        for (int i = 1; i <= count; ++i)
            rows << QVariantList{QStringLiteral("r%1").arg(i),
                                 QString(),
                                 i,
                                 QVariant(),
                                 note(i),
                                 photoSize(i) ? QVariant(pictureBytes(photoSize(i))) : QVariant()};
        makeTable(table, rows);
    }
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    table.open();
    Field *name = table.fieldByName(QStringLiteral("name"));
    Field *memo = table.fieldByName(QStringLiteral("note"));
    Field *photo = table.fieldByName(QStringLiteral("photo"));
    for (table.first(); !table.eof(); table.next())
        QVERIFY(!name->displayText().isEmpty());
    auto check = [&](int i) {
        QCOMPARE(name->asString(), QStringLiteral("r%1").arg(i));
        QCOMPARE(memo->value(), note(i));
        QCOMPARE(memo->displayText(), note(i).isNull() ? QStringLiteral("(Memo)") : QStringLiteral("(MEMO)"));
        QCOMPARE(photo->blobSize(), photoSize(i));
        QCOMPARE(photo->isNull(), photoSize(i) == 0);
    };
    if (use == QLatin1String("forward")) {
        for (table.first(); !table.eof(); table.next()) {
            check(table.recNo());
            if (QTest::currentTestFailed())
                return;
        }
    } else if (use == QLatin1String("back")) {
        for (table.last(); !table.bof(); table.prior()) {
            check(table.recNo());
            if (QTest::currentTestFailed())
                return;
        }
    } else if (use == QLatin1String("edit")) {
        table.setRecNo(250);
        table.edit();
        name->setAsString(QStringLiteral("changed"));
        table.post();
        QCOMPARE(memo->asString(), QStringLiteral("note 250"));
        Table reopened;
        reopened.setTableName(QStringLiteral("jobs"));
        reopened.open();
        reopened.setRecNo(250);
        QCOMPARE(reopened.fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("changed"));
        QCOMPARE(reopened.fieldByName(QStringLiteral("note"))->asString(), QStringLiteral("note 250"));
        QCOMPARE(reopened.fieldByName(QStringLiteral("photo"))->asBytes(), pictureBytes(250));
    } else {
        table.setRecNo(250);
        {
            sql::Database other(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
            other.exec(QStringLiteral("DELETE FROM \"jobs\" WHERE \"name\" = 'r250'"));
        }
        // What is left of the record reads without an error; saving it says that it is gone.
        QCOMPARE(name->asString(), QStringLiteral("r250"));
        QVERIFY(memo->isNull());
        QCOMPARE(photo->blobSize(), 0);
        table.edit();
        name->setAsString(QStringLiteral("changed"));
        QCOMPARE(errorOf([&] { table.post(); }),
                 QStringLiteral("Record not found; it may have been deleted by another program"));
    }
}

QTEST_GUILESS_MAIN(BlobsTest)
#include "tst_blobs.moc"
