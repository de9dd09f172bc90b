#include "colordistance.h"
#include "dbctrls/photopictures.h"
#include "dbctrls/pictureview.h"
#include "picturefixtures.h"
#include "platform/jpegcodec.h"
#include "platform/photorenditions.h"
#include "store/error.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QtTest>

#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvara;
using kelvara::test::near;

namespace {

QByteArray plainJpeg(const QSize &size, const QColor &colour)
{
    return test::jpegBytes(size, colour);
}

// A photo scaled to a preview or a thumbnail and stored as JPEG stays this near its colour.
constexpr int kScaledTolerance = 39;

QColor centreOf(const QImage &image)
{
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// A kelvara table in the working directory with one record whose pic1 holds photo.
std::unique_ptr<Table> tableWithPhoto(const QByteArray &photo)
{
    auto table = std::make_unique<Table>();
    table->setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(*table);
    table->open();
    table->append();
    table->fieldByName(QStringLiteral("pic1"))->setAsBytes(photo);
    table->post();
    return table;
}

std::unique_ptr<Table> openTable(bool readOnly = false)
{
    auto table = std::make_unique<Table>();
    table->setTableName(QStringLiteral("kelvara"));
    table->setReadOnly(readOnly);
    table->open();
    table->first();
    return table;
}

// The rows of the side table for pic1, by kind: the size each rendition has and the blob id
// it was made for.
struct StoredRow
{
    QSize size;
    qint64 blobId = 0;
    QByteArray data;
};
QMap<int, StoredRow> storedRows(const QString &field = QStringLiteral("pic1"))
{
    sql::Database db(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadOnly);
    sql::Statement select = db.prepare(QStringLiteral(
        "SELECT \"kind\", \"width\", \"height\", \"blob_id\", \"data\" FROM \"kelvara_previews\" WHERE \"field\" = ?"));
    select.bindText(1, field);
    QMap<int, StoredRow> rows;
    while (select.step())
        rows.insert(int(select.int64(0)),
                    StoredRow{QSize(int(select.int64(1)), int(select.int64(2))), select.int64(3), select.blob(4)});
    return rows;
}

void execSql(const QString &statement, const QByteArray &blob = QByteArray())
{
    sql::Database db(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadWrite);
    sql::Statement stmt = db.prepare(statement);
    if (!blob.isNull())
        stmt.bindBlob(1, blob);
    stmt.run();
}

qint64 blobIdOfPic1()
{
    sql::Database db(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadOnly);
    sql::Statement select = db.prepare(QStringLiteral("SELECT \"id\" FROM \"kelvara_blobs\" WHERE \"field\" = 'pic1'"));
    return select.step() ? select.int64(0) : 0;
}

constexpr int kPreview = int(RenditionKind::Preview);
constexpr int kThumbnail = int(RenditionKind::Thumbnail);

const char kChildVariable[] = "KELVARA_RENDITION_CHECK";
const uid_t kNobody = 65534;

QByteArray fileDigest(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1)
                                          : QByteArray();
}

// Shows the red 1600 x 1200 photo of pic1 from a table in directory that this user may only
// read, or opens read-only when asked: the renditions are made once and served from memory.
// Gives what went wrong.
QString checkReadOnlyRenditions(const QString &directory, bool askReadOnly)
{
    installPhotoRenditions();
    Table table;
    table.setDirectory(directory);
    table.setTableName(QStringLiteral("kelvara"));
    table.setReadOnly(askReadOnly);
    try {
        table.open();
        table.first();
        if (table.canModify())
            return QStringLiteral("the table says it can be modified");
        const Field &pic1 = *table.fieldByName(QStringLiteral("pic1"));
        for (int round = 0; round < 2; ++round) {
            const PhotoPicture preview = renditionPicture(pic1, QSize(640, 480));
            if (preview.image.size() != QSize(640, 480) || !near(centreOf(preview.image), Qt::red, kScaledTolerance))
                return QStringLiteral("preview of %1 x %2").arg(preview.image.width()).arg(preview.image.height());
            if (preview.pictureSize != QSize(1600, 1200))
                return QStringLiteral("the photo's size was not kept");
            if (renditionPicture(pic1, QSize(96, 72)).image.size() != QSize(96, 72))
                return QStringLiteral("no thumbnail");
        }
        if (table.renditionRebuilds() != 1)
            return QStringLiteral("made %1 times, not once").arg(table.renditionRebuilds());
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

// The child process of readOnlyTableKeepsRenditionsInMemory, run as the unprivileged user.
int runChildCheck()
{
    const QString result = checkReadOnlyRenditions(qEnvironmentVariable(kChildVariable), false);
    QTextStream(stdout) << (result.isEmpty() ? QStringLiteral("ok") : result) << Qt::endl;
    return result.isEmpty() ? 0 : 1;
}

}  // namespace

class PhotoRenditionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void renditionsAreWrittenWithThePhoto_data();
    void renditionsAreWrittenWithThePhoto();
    void clearAndDeleteRemoveRenditions();
    void photoRewrittenBehindOurBackIsNeverShownStale_data();
    void photoRewrittenBehindOurBackIsNeverShownStale();
    void damagedRenditionIsRebuiltSilently_data();
    void damagedRenditionIsRebuiltSilently();
    void rowWrittenOverIsMadeAgainFromThePhoto_data();
    void rowWrittenOverIsMadeAgainFromThePhoto();
    void oldFileGetsTheSideTableWhenWritable();
    void readOnlyTableKeepsRenditionsInMemory_data();
    void readOnlyTableKeepsRenditionsInMemory();
    void viewShowsFromThePreviewWithoutReadingThePhoto();
    void fieldPictureUsesTheSmallestThatCovers_data();
    void fieldPictureUsesTheSmallestThatCovers();

private:
    std::unique_ptr<test::TestWorkspace> m_workspace;
};

void PhotoRenditionsTest::init()
{
    m_workspace = std::make_unique<test::TestWorkspace>();
    installPhotoRenditions();
    clearPictureCache();
}

void PhotoRenditionsTest::cleanup()
{
    installRenditionMaker(RenditionMaker());
    clearPictureCache();
    m_workspace.reset();
}

void PhotoRenditionsTest::renditionsAreWrittenWithThePhoto_data()
{
    QTest::addColumn<QByteArray>("photo");
    QTest::addColumn<QSize>("preview");
    QTest::addColumn<QSize>("thumbnail");

    QTest::newRow("4:3 photo -> 1280 x 960 and 192 x 144")
        << plainJpeg(QSize(1600, 1200), Qt::red) << QSize(1280, 960) << QSize(192, 144);
    QTest::newRow("wide photo covers both sides")
        << plainJpeg(QSize(2000, 1000), Qt::red) << QSize(1920, 960) << QSize(288, 144);
    QTest::newRow("sideways photo, Exif 6 -> upright portrait")
        << test::withOrientation(plainJpeg(QSize(2400, 1800), Qt::red), 6) << QSize(1280, 1707) << QSize(192, 256);
    QTest::newRow("small photo: preview never larger than it")
        << plainJpeg(QSize(320, 240), Qt::red) << QSize(320, 240) << QSize(192, 144);
    QTest::newRow("not a picture: none, and the save goes through") << test::gifBytes() << QSize() << QSize();
    QImage atTheCap(10000, 10000, QImage::Format_Grayscale8);
    atTheCap.fill(128);
    QTest::newRow("exactly at the pixel cap") << jpeg::encode(atTheCap, 75) << QSize(1280, 1280) << QSize(192, 192);
    QTest::newRow("one row over the pixel cap: none, and the save goes through")
        << test::withDeclaredSize(plainJpeg(QSize(64, 64), Qt::red), 10000, 10001) << QSize() << QSize();
}

void PhotoRenditionsTest::renditionsAreWrittenWithThePhoto()
{
    QFETCH(QByteArray, photo);
    QFETCH(QSize, preview);
    QFETCH(QSize, thumbnail);

    const auto table = tableWithPhoto(photo);
    QCOMPARE(table->fieldByName(QStringLiteral("pic1"))->asBytes(), photo);
    const QMap<int, StoredRow> rows = storedRows();
    if (!preview.isValid()) {
        QVERIFY(rows.isEmpty());
        return;
    }
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[kPreview].size, preview);
    QCOMPARE(rows[kThumbnail].size, thumbnail);
    QCOMPARE(jpeg::decode(rows[kPreview].data).size(), preview);
    QCOMPARE(jpeg::decode(rows[kThumbnail].data).size(), thumbnail);
    QCOMPARE(rows[kPreview].blobId, blobIdOfPic1());
    QCOMPARE(table->renditionRebuilds(), 0);
}

void PhotoRenditionsTest::clearAndDeleteRemoveRenditions()
{
    const auto table = tableWithPhoto(plainJpeg(QSize(400, 300), Qt::red));
    Field *pic1 = table->fieldByName(QStringLiteral("pic1"));
    Field *pic2 = table->fieldByName(QStringLiteral("pic2"));
    table->edit();
    pic2->setAsBytes(plainJpeg(QSize(400, 300), Qt::blue));
    table->post();
    QCOMPARE(storedRows(QStringLiteral("pic2")).size(), 2);

    // A second load replaces the renditions with ones of the new photo.
    table->edit();
    pic1->setAsBytes(plainJpeg(QSize(800, 600), Qt::green));
    table->post();
    QCOMPARE(storedRows()[kPreview].size, QSize(800, 600));
    QCOMPARE(storedRows()[kPreview].blobId, blobIdOfPic1());

    table->edit();
    pic1->clear();
    table->post();
    QVERIFY(storedRows().isEmpty());
    QCOMPARE(storedRows(QStringLiteral("pic2")).size(), 2);

    table->deleteRecord();
    QVERIFY(storedRows(QStringLiteral("pic2")).isEmpty());
}

void PhotoRenditionsTest::photoRewrittenBehindOurBackIsNeverShownStale_data()
{
    QTest::addColumn<bool>("sameSize");
    QTest::addColumn<bool>("whileShown");
    QTest::newRow("rewritten at another size") << false << false;
    QTest::newRow("rewritten at the same size") << true << false;
    QTest::newRow("rewritten while shown, another size") << false << true;
    QTest::newRow("rewritten while shown, same size") << true << true;
}

void PhotoRenditionsTest::photoRewrittenBehindOurBackIsNeverShownStale()
{
    QFETCH(bool, sameSize);
    QFETCH(bool, whileShown);
    QByteArray red = plainJpeg(QSize(1600, 1200), Qt::red);
    QByteArray blue = plainJpeg(QSize(1600, 1200), Qt::blue);
    if (sameSize) {
        // Decoders ignore bytes after the end-of-image marker: the shorter is padded.
        const qsizetype size = qMax(red.size(), blue.size());
        red.append(QByteArray(size - red.size(), '\0'));
        blue.append(QByteArray(size - blue.size(), '\0'));
    }
    tableWithPhoto(red)->close();
    const qint64 id = blobIdOfPic1();
    const auto table = whileShown ? openTable() : nullptr;
    PictureView view;
    view.resize(640, 480);
    if (whileShown) {
        // The sheet and a cell show the photo before it is rewritten.
        view.showField(*table->fieldByName(QStringLiteral("pic1")));
        QVERIFY(near(centreOf(view.grab().toImage()), Qt::red, kScaledTolerance));
        QVERIFY(near(centreOf(fieldPicture(*table->fieldByName(QStringLiteral("pic1")), QSize(64, 48)).image), Qt::red,
                     kScaledTolerance));
    }

    // Another program rewrites the bytes in place: the blob keeps its id.
    execSql(QStringLiteral("UPDATE \"kelvara_blobs\" SET \"data\" = ?1"), blue);
    QCOMPARE(blobIdOfPic1(), id);

    const auto opened = whileShown ? nullptr : openTable();
    Table *shown = whileShown ? table.get() : opened.get();
    const Field &pic1 = *shown->fieldByName(QStringLiteral("pic1"));
    const int rebuiltBefore = shown->renditionRebuilds();
    view.showField(pic1);
    QVERIFY(view.showsPreview());
    QVERIFY2(near(centreOf(view.grab().toImage()), Qt::blue, kScaledTolerance), "the old photo was shown");
    QVERIFY2(near(centreOf(fieldPicture(pic1, QSize(64, 48)).image), Qt::blue, kScaledTolerance),
             "a cell kept the old photo");
    QCOMPARE(shown->renditionRebuilds() - rebuiltBefore, 1);

    // Rebuilt once and stored: a fresh look finds it current.
    const QMap<int, StoredRow> rows = storedRows();
    QCOMPARE(rows[kPreview].blobId, id);
    QVERIFY(near(centreOf(jpeg::decode(rows[kPreview].data)), Qt::blue, kScaledTolerance));
    QVERIFY(near(centreOf(jpeg::decode(rows[kThumbnail].data)), Qt::blue, kScaledTolerance));
    PictureView again;
    again.resize(640, 480);
    again.showField(pic1);
    QCOMPARE(shown->renditionRebuilds() - rebuiltBefore, 1);
}

void PhotoRenditionsTest::damagedRenditionIsRebuiltSilently_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("garbage") << QStringLiteral("UPDATE \"kelvara_previews\" SET \"data\" = x'00112233'");
    QTest::newRow("cut off") << QStringLiteral("UPDATE \"kelvara_previews\" SET \"data\" = substr(\"data\", 1, 600)");
    QTest::newRow("wrong size") << QStringLiteral("UPDATE \"kelvara_previews\" SET \"width\" = \"width\" + 8");
}

void PhotoRenditionsTest::damagedRenditionIsRebuiltSilently()
{
    QFETCH(QString, damage);
    tableWithPhoto(plainJpeg(QSize(1600, 1200), Qt::green))->close();
    execSql(damage);

    const auto table = openTable();
    PictureView view;
    view.resize(640, 480);
    view.showField(*table->fieldByName(QStringLiteral("pic1")));
    QVERIFY(view.showsPreview());
    QVERIFY(near(centreOf(view.grab().toImage()), Qt::green, kScaledTolerance));
    QCOMPARE(table->renditionRebuilds(), 1);
    const StoredRow preview = storedRows()[kPreview];
    QCOMPARE(jpeg::decode(preview.data).size(), preview.size);
}

void PhotoRenditionsTest::rowWrittenOverIsMadeAgainFromThePhoto_data()
{
    QTest::addColumn<QSize>("otherSize");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QByteArray>("bound");  // the statement's one value, if any

    // The first record holds a red 1600 x 1200 photo, the second a blue one of otherSize; the
    // damage is done to the first record's rows, which keep the first photo's stamp.
    const QString firstPhoto
        = QStringLiteral("WHERE \"blob_id\" = (SELECT min(\"blob_id\") FROM \"kelvara_previews\")");
    const QString otherRow = QStringLiteral("(SELECT o.%1 FROM \"kelvara_previews\" AS o WHERE o.\"kind\" = "
                                            "\"kelvara_previews\".\"kind\" AND o.\"blob_id\" = "
                                            "(SELECT max(\"blob_id\") FROM \"kelvara_previews\"))");
    QTest::newRow("photo width written over")
        << QSize(1600, 1200) << QStringLiteral("UPDATE \"kelvara_previews\" SET \"photo_width\" = 1700 ") + firstPhoto
        << QByteArray();
    QTest::newRow("photo sides swapped") << QSize(1600, 1200)
                                         << QStringLiteral(
                                                "UPDATE \"kelvara_previews\" SET \"photo_width\" = \"photo_height\", "
                                                "\"photo_height\" = \"photo_width\" ")
            + firstPhoto << QByteArray();
    QTest::newRow("another photo's picture of the same size")
        << QSize(1600, 1200)
        << QStringLiteral("UPDATE \"kelvara_previews\" SET \"data\" = %1 ")
                .arg(otherRow.arg(QStringLiteral("\"data\"")))
            + firstPhoto
        << QByteArray();
    QTest::newRow("another photo's row under this photo's stamp")
        << QSize(2000, 1000)
        << QStringLiteral("UPDATE \"kelvara_previews\" SET \"width\" = %1, \"height\" = %2, \"photo_width\" = %3, "
                          "\"photo_height\" = %4, \"data\" = %5 ")
                .arg(otherRow.arg(QStringLiteral("\"width\"")), otherRow.arg(QStringLiteral("\"height\"")),
                     otherRow.arg(QStringLiteral("\"photo_width\"")), otherRow.arg(QStringLiteral("\"photo_height\"")),
                     otherRow.arg(QStringLiteral("\"data\"")))
            + firstPhoto
        << QByteArray();
    // As another program stores its previews: progressive, of the size the row gives.
    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        QImage blue(1280, 960, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        QVERIFY(writer.write(blue));
    }
    QTest::newRow("another program's progressive picture")
        << QSize(1600, 1200)
        << QStringLiteral("UPDATE \"kelvara_previews\" SET \"data\" = ? ") + firstPhoto
            + QStringLiteral(" AND \"kind\" = %1").arg(kPreview)
        << progressive;
    // Rows kept before the check held the digest of the photo's head alone: made again once.
    QTest::newRow("kept with the photo's digest alone")
        << QSize(1600, 1200) << QStringLiteral("UPDATE \"kelvara_previews\" SET \"photo_digest\" = ? ") + firstPhoto
        << QCryptographicHash::hash(plainJpeg(QSize(1600, 1200), Qt::red).left(kStampHead), QCryptographicHash::Sha1);
}

void PhotoRenditionsTest::rowWrittenOverIsMadeAgainFromThePhoto()
{
    QFETCH(QSize, otherSize);
    QFETCH(QString, damage);
    QFETCH(QByteArray, bound);
    const QByteArray red = plainJpeg(QSize(1600, 1200), Qt::red);
    {
        const auto table = tableWithPhoto(red);
        table->append();
        table->fieldByName(QStringLiteral("pic1"))->setAsBytes(plainJpeg(otherSize, Qt::blue));
        table->post();
    }
    execSql(damage, bound);

    for (int round = 0; round < 2; ++round) {
        const auto table = openTable();
        const Field &pic1 = *table->fieldByName(QStringLiteral("pic1"));
        QVERIFY(pic1.asBytes() == red);
        PictureView view;
        view.resize(640, 480);
        view.showField(pic1);
        QVERIFY(view.showsPreview());
        QVERIFY2(near(centreOf(view.grab().toImage()), Qt::red, kScaledTolerance), "another photo was shown");
        QCOMPARE(view.pictureSize(), QSize(1600, 1200));
        clearPictureCache();
        const PhotoPicture cell = fieldPicture(pic1, QSize(64, 48));
        QVERIFY2(near(centreOf(cell.image), Qt::red, kScaledTolerance), "a cell showed another photo");
        QCOMPARE(cell.pictureSize, QSize(1600, 1200));
        // Made again once from the photo and stored: the next opening finds the rows current.
        QCOMPARE(table->renditionRebuilds(), round == 0 ? 1 : 0);
    }
}

void PhotoRenditionsTest::oldFileGetsTheSideTableWhenWritable()
{
    tableWithPhoto(plainJpeg(QSize(400, 300), Qt::red))->close();
    execSql(QStringLiteral("DROP TABLE \"kelvara_previews\""));

    openTable()->close();
    const QMap<int, StoredRow> rows = storedRows();
    QVERIFY(rows.isEmpty());  // the table is back, empty until a photo is shown or saved
    const auto table = openTable();
    QVERIFY(!renditionPicture(*table->fieldByName(QStringLiteral("pic1")), QSize(100, 75)).isNull());
    QCOMPARE(storedRows().size(), 2);
}

void PhotoRenditionsTest::readOnlyTableKeepsRenditionsInMemory_data()
{
    QTest::addColumn<QString>("access");
    QTest::newRow("opened read-only") << QStringLiteral("asked");
    QTest::newRow("file the user may only read") << QStringLiteral("file");
    QTest::newRow("file and folder the user may only read") << QStringLiteral("folder");
}

void PhotoRenditionsTest::readOnlyTableKeepsRenditionsInMemory()
{
    QFETCH(QString, access);
    // An older file: the photo without renditions and without the side table.
    const QString folder = m_workspace->filePath(QStringLiteral("jobs"));
    QVERIFY(QDir().mkdir(folder));
    QDir::setCurrent(folder);
    installRenditionMaker(RenditionMaker());
    tableWithPhoto(plainJpeg(QSize(1600, 1200), Qt::red))->close();
    execSql(QStringLiteral("DROP TABLE \"kelvara_previews\""));
    QDir::setCurrent(m_workspace->path());
    const QString file = folder + QStringLiteral("/kelvara.db");
    const QByteArray before = fileDigest(file);
    QVERIFY(!before.isEmpty());

    QString result;
    if (access == QLatin1String("asked")) {
        result = checkReadOnlyRenditions(folder, true);
    } else if (geteuid() != 0) {
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        if (access == QLatin1String("folder"))
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        result = checkReadOnlyRenditions(folder, false);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    } else {
        // Permissions do not hold back root: the check runs in a child process as an
        // unprivileged user, for whom the file and, where asked, the folder are read-only.
        QVERIFY(::chmod(qPrintable(m_workspace->path()), 0755) == 0);
        QVERIFY(::chmod(qPrintable(folder), access == QLatin1String("folder") ? 0755 : 0777) == 0);
        QVERIFY(::chmod(qPrintable(file), 0644) == 0);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kChildVariable), folder);
        child.setProcessEnvironment(environment);
        child.setWorkingDirectory(m_workspace->path());
        child.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(111);
        });
        const test::SharedProgramCopy program;
        child.start(program.path(), {});
        if (!child.waitForFinished(60000) && child.error() == QProcess::FailedToStart)
            QSKIP("this test program cannot be started as an unprivileged user from here");
        if (child.exitCode() == 111)
            QSKIP("cannot switch to an unprivileged user for the read-only checks");
        result = QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed();
        if (result == QLatin1String("ok"))
            result.clear();
        else
            result += QLatin1Char(' ') + QString::fromLocal8Bit(child.readAllStandardError());
    }
    QVERIFY2(result.isEmpty(), qPrintable(result));
    QCOMPARE(fileDigest(file), before);
    const QFileInfo wal(file + QStringLiteral("-wal"));
    QVERIFY(!wal.exists() || wal.size() == 0);
}

void PhotoRenditionsTest::viewShowsFromThePreviewWithoutReadingThePhoto()
{
    const QByteArray photo = test::withOrientation(test::encoded(test::quadrants(QSize(1600, 1200)), "JPG", 95), 3);
    tableWithPhoto(photo)->close();
    const auto table = openTable();
    const Field &pic1 = *table->fieldByName(QStringLiteral("pic1"));

    int reads = 0;
    const PictureKey key = PictureView::keyOf(pic1);
    const PictureView::ByteSource counted = [&] {
        ++reads;
        return PictureView::bytesOf(pic1, key)();
    };
    const auto preview = [&pic1](const QSize &cover) { return renditionPicture(pic1, cover); };

    for (int round = 0; round < 2; ++round) {
        PictureView view;
        view.resize(640, 480);
        view.showPicture(key, counted, preview);
        const QImage shown = view.grab().toImage();
        QCOMPARE(reads, 0);
        QVERIFY(view.showsPreview());
        QCOMPARE(view.pictureSize(), QSize(1600, 1200));
        QCOMPARE(view.decodedImage().size(), QSize(640, 480));
        // Turned 180 degrees: yellow (stored bottom-right) stands top-left.
        QVERIFY(near(shown.pixelColor(20, 20), Qt::yellow, kScaledTolerance));
    }

    // Copy wants the photo itself at full size; natural size too.
    PictureView view;
    view.resize(640, 480);
    view.showPicture(key, counted, preview);
    const QImage copied = view.picture();
    QCOMPARE(reads, 1);
    QCOMPARE(copied.size(), QSize(1600, 1200));
    QVERIFY(near(copied.pixelColor(20, 20), Qt::yellow, kScaledTolerance));
    QCOMPARE(view.orientation(), 3);

    PictureView natural;
    natural.resize(640, 480);
    natural.showPicture(key, counted, preview);
    natural.setStretch(false);
    natural.grab();
    QCOMPARE(reads, 2);
    QCOMPARE(natural.decodedImage().size(), QSize(1600, 1200));
    QVERIFY(!natural.showsPreview());
}

void PhotoRenditionsTest::fieldPictureUsesTheSmallestThatCovers_data()
{
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QSize>("expected");
    // Kept copies are decoded at the smallest DCT scale (n/8) that covers the target.
    QTest::newRow("cell -> thumbnail at 3/8") << QSize(64, 48) << QSize(72, 54);
    QTest::newRow("thumbnail-sized cell -> thumbnail whole") << QSize(192, 144) << QSize(192, 144);
    QTest::newRow("sheet -> preview at 1/2") << QSize(640, 480) << QSize(640, 480);
    QTest::newRow("sheet a little larger -> preview at 5/8") << QSize(700, 500) << QSize(800, 600);
    QTest::newRow("preview-sized sheet -> preview whole") << QSize(1280, 960) << QSize(1280, 960);
    QTest::newRow("larger than the preview -> photo, DCT-scaled") << QSize(1500, 1000) << QSize(1500, 1125);
    QTest::newRow("full size -> photo") << QSize() << QSize(2000, 1500);
}

void PhotoRenditionsTest::fieldPictureUsesTheSmallestThatCovers()
{
    QFETCH(QSize, target);
    QFETCH(QSize, expected);
    const auto table = tableWithPhoto(plainJpeg(QSize(2000, 1500), Qt::blue));
    const Field &pic1 = *table->fieldByName(QStringLiteral("pic1"));
    const PhotoPicture picture = fieldPicture(pic1, target);
    QCOMPARE(picture.image.size(), expected);
    QCOMPARE(picture.pictureSize, QSize(2000, 1500));
    QVERIFY(near(centreOf(picture.image), Qt::blue, kScaledTolerance));

    // Kept in memory by revision: a new photo of the record is a new picture.
    table->edit();
    table->fieldByName(QStringLiteral("pic1"))->setAsBytes(plainJpeg(QSize(2000, 1500), Qt::red));
    table->post();
    QVERIFY(near(centreOf(fieldPicture(pic1, target).image), Qt::red, kScaledTolerance));
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(kChildVariable)) {
        QCoreApplication app(argc, argv);
        return runChildCheck();
    }
    QApplication app(argc, argv);
    PhotoRenditionsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_photorenditions.moc"
