#include "failingdisk.h"
#include "folderwatch.h"
#include "installed.h"
#include "store/sqlite.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <sqlite3.h>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvara;
using namespace kelvara::test;

namespace {

const char kChildVariable[] = "KELVARA_READONLY_CHECK";
const uid_t kNobody = 65534;

QList<QVariantList> rowsWithNotes(int count, int noteLength)
{
    QList<QVariantList> rows;
    for (int i = 1; i <= count; ++i)
        rows << QVariantList{QStringLiteral("r%1").arg(i), QString(), i % 1000, QVariant(),
                             QString(noteLength, QLatin1Char('a' + i % 26))};
    return rows;
}

// Many records, made quickly in one transaction through the table's own file format.
void makeBigTable(int count, int noteLength)
{
    {
        Table table;
        table.setTableName(QStringLiteral("jobs"));
        table.createTable(jobDefs());
    }
    sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
    sql::Transaction transaction(db);
    sql::Statement insert
        = db.prepare(QStringLiteral("INSERT INTO \"jobs\" (\"name\", \"hours\", \"note\") VALUES (?, ?, ?)"));
    for (const QVariantList &row : rowsWithNotes(count, noteLength)) {
        insert.bind(1, row.at(0));
        insert.bind(2, row.at(2));
        insert.bind(3, row.at(4));
        insert.run();
    }
    insert = sql::Statement();
    transaction.commit();
}

void spoil(const QString &fileName, qint64 offset, int length)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray junk(length, Qt::Uninitialized);
    QRandomGenerator random(offset);
    for (char &c : junk)
        c = char(random.bounded(256));
    QVERIFY(file.seek(offset));
    QCOMPARE(file.write(junk), qint64(length));
}

// The first value of the first row another program reads.
QByteArray foreignQuery(const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open("jobs.db", &db);
    sqlite3_stmt *stmt = nullptr;
    QByteArray value;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        value = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

// Whether an action fails as on a damaged file, which alone may be set aside.
bool damageOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const DamagedError &) {
        return true;
    } catch (const Error &) { }
    return false;
}

struct Visits
{
    int failures = 0;      // records that could not be read
    int inconsistent = 0;  // visits after which the table showed another record than its number
};

// Visits every record by number; a record that cannot be read must be an error of that visit
// that leaves the table on the record it stood on, showing that record.
Visits visitAll(Table &table, int count)
{
    Visits visits;
    for (int i = 1; i <= count; ++i) {
        const int before = table.recNo();
        int expected = i;
        try {
            table.setRecNo(i);
            for (const Field *field : table.fields())
                field->displayText();
        } catch (const Error &) {
            ++visits.failures;
            expected = before;
        }
        try {
            if (table.recNo() != expected || currentName(table) != QStringLiteral("r%1").arg(expected))
                ++visits.inconsistent;
        } catch (const Error &) {
            ++visits.inconsistent;
        }
    }
    return visits;
}

// The checks of a table that the user may read but not write; empty when they all pass.
QString checkReadOnlyTable(const QString &directory)
{
    Table table;
    table.setDirectory(directory);
    table.setTableName(QStringLiteral("jobs"));
    const QString openError = errorOf([&] { table.open(); });
    if (!openError.isEmpty())
        return QStringLiteral("open: ") + openError;
    if (table.canModify())
        return QStringLiteral("the table says it can be modified");
    QStringList expected;
    for (int i = 1; i <= 3; ++i)
        expected << QStringLiteral("r%1").arg(i);
    if (names(table) != expected)
        return QStringLiteral("records read: ") + names(table).join(QLatin1Char(','));
    const QString editError = errorOf([&] { table.edit(); });
    if (editError != QStringLiteral("Cannot modify a read-only dataset"))
        return QStringLiteral("edit: ") + editError;
    const QString orderError = errorOf([&] { table.setIndexFieldNames(QStringLiteral("hours")); });
    if (!orderError.isEmpty())
        return QStringLiteral("order: ") + orderError;
    if (!table.locate(QStringLiteral("name"), {QStringLiteral("R2")}, loCaseInsensitive))
        return QStringLiteral("locate found nothing");
    return QString();
}

// The table must refuse to open, with the store's error; empty when it does.
QString checkOpenRefused(const QString &directory)
{
    Table table;
    table.setDirectory(directory);
    table.setTableName(QStringLiteral("jobs"));
    const QString error = errorOf([&] { table.open(); });
    if (!error.startsWith(QStringLiteral("Cannot open table '")))
        return QStringLiteral("open gave: ") + (error.isEmpty() ? QStringLiteral("no error") : error);
    return QString();
}

// The child process of readOnlyFiles: runs one check as the unprivileged user and reports.
int runChildCheck()
{
    const QStringList request = qEnvironmentVariable(kChildVariable).split(QLatin1Char('|'));
    const QString result = request.value(0) == QLatin1String("refused") ? checkOpenRefused(request.value(1))
                                                                        : checkReadOnlyTable(request.value(1));
    QTextStream(stdout) << (result.isEmpty() ? QStringLiteral("ok") : result) << Qt::endl;
    return result.isEmpty() ? 0 : 1;
}

}  // namespace

// Files the store must not trust: damaged, foreign or truncated ones, damage found after
// opening, and tables the user may only read.
class BadFilesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void notADatabase_data();
    void notADatabase();
    void anotherSchema_data();
    void anotherSchema();
    void foreignTriggersAndViewsStayIdle_data();
    void foreignTriggersAndViewsStayIdle();
    void truncatedFile();
    void damageFoundWhileWalking();
    void damageBeforeOpening();
    void foreignNumbers_data();
    void foreignNumbers();
    void readOnlyFiles_data();
    void readOnlyFiles();
    void lockedTableIsBusyNotDamaged();
    void troubleOfTheDiskIsNoDamage_data();
    void troubleOfTheDiskIsNoDamage();
    void refusedOpenLeavesTheFilesAsFound();
    void createNeverTouchesFilesItDidNotMake();
    void createNeverReplacesATableMadeMeanwhile();
};

void BadFilesTest::notADatabase_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QByteArray random(8192, Qt::Uninitialized);
    QRandomGenerator generator(1);
    for (char &c : random)
        c = char(generator.bounded(256));
    QTest::newRow("text") << QByteArray("Name;City\r\nAnne;Odense\r\n").repeated(20) << "file is not a database";
    QTest::newRow("random bytes") << random << "file is not a database";
    QTest::newRow("a database header, then nothing sound") << QByteArray("SQLite format 3\0", 16) + random << "";
    QTest::newRow("zero bytes") << QByteArray() << "the file holds no table 'jobs'";
}

void BadFilesTest::notADatabase()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    TestWorkspace workspace;
    workspace.writeFile(QStringLiteral("jobs.db"), bytes);
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    QVERIFY(table.exists());
    const QString error = errorOf([&] { table.open(); });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot open table 'jobs.db': ") + reason), qPrintable(error));
    QVERIFY(damageOf([&] { table.open(); }));
    QVERIFY(!table.active());
    QCOMPARE(table.fieldCount(), 0);
    // A file that is not one of our tables is left exactly as it was.
    QCOMPARE(workspace.readFile(QStringLiteral("jobs.db")), bytes);
    QVERIFY(!QFile::exists(QStringLiteral("jobs.db-wal")));
    QVERIFY(!QFile::exists(QStringLiteral("jobs.db-shm")));
    // What the window does then: delete the file and make the table anew.
    table.deleteTable();
    table.createTable(jobDefs());
    table.open();
    QVERIFY(table.isEmpty());
}

void BadFilesTest::anotherSchema_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such table") << "CREATE TABLE other (x)"
                                   << "the file holds no table 'jobs'";
    QTest::newRow("a view of that name") << "CREATE VIEW jobs AS SELECT 1 AS x"
                                         << "the file holds no table 'jobs'";
    QTest::newRow("no row id column") << "CREATE TABLE jobs (name TEXT)"
                                      << "the table 'jobs' was not made by this program";
    QTest::newRow("unknown column type") << "CREATE TABLE jobs (_rid INTEGER PRIMARY KEY AUTOINCREMENT, shape GEOMETRY)"
                                         << "the column 'shape' has the type 'GEOMETRY', which a table cannot hold";
    QTest::newRow("text without a size") << "CREATE TABLE jobs (_rid INTEGER PRIMARY KEY AUTOINCREMENT, name VARCHAR)"
                                         << "the column 'name' has the type 'VARCHAR', which a table cannot hold";
    QTest::newRow("no fields") << "CREATE TABLE jobs (_rid INTEGER PRIMARY KEY AUTOINCREMENT)"
                               << "the table 'jobs' has no fields";
    QTest::newRow("pictures without their table")
        << "CREATE TABLE jobs (_rid INTEGER PRIMARY KEY AUTOINCREMENT, pic BLOB)"
        << "the picture table 'jobs_blobs' is missing";
    QTest::newRow("a picture table of another shape")
        << "CREATE TABLE jobs (_rid INTEGER PRIMARY KEY AUTOINCREMENT, pic BLOB); CREATE TABLE jobs_blobs (x)"
        << "";
}

void BadFilesTest::anotherSchema()
{
    QFETCH(QString, sql);
    QFETCH(QString, reason);
    TestWorkspace workspace;
    {
        sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWriteCreate);
        db.exec(sql);
    }
    const QByteArray before = workspace.readFile(QStringLiteral("jobs.db"));
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    const QString error = errorOf([&] { table.open(); });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot open table 'jobs.db': ") + reason), qPrintable(error));
    QVERIFY(damageOf([&] { table.open(); }));
    QVERIFY(!table.active());
    QCOMPARE(workspace.readFile(QStringLiteral("jobs.db")), before);
}

void BadFilesTest::foreignTriggersAndViewsStayIdle_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("a trigger on the table") << "CREATE TRIGGER wipe AFTER INSERT ON jobs BEGIN DELETE FROM jobs_blobs; "
                                               "INSERT INTO seen VALUES ('wipe'); END";
    QTest::newRow("a trigger that refuses our updates")
        << "CREATE TRIGGER refuse BEFORE UPDATE ON jobs BEGIN SELECT RAISE(ABORT, 'not by you'); END";
    QTest::newRow("a trigger elsewhere that writes the table")
        << "CREATE TRIGGER copy AFTER INSERT ON seen BEGIN INSERT INTO jobs (name) VALUES ('x'); END";
    QTest::newRow("a view over the table") << "CREATE VIEW names AS SELECT name FROM Jobs";
    QTest::newRow("a view and a trigger through it")
        << "CREATE VIEW v AS SELECT name FROM jobs; "
           "CREATE TRIGGER through INSTEAD OF INSERT ON v BEGIN INSERT INTO seen VALUES ('through'); END";
}

// Views and triggers another program made are its own: they never run on our reads and
// writes, and a table that holds them is kept and opened as any other.
void BadFilesTest::foreignTriggersAndViewsStayIdle()
{
    QFETCH(QString, sql);
    TestWorkspace workspace;
    {
        Table table;
        makeTable(table, numberedRows(3));
    }
    foreignExec("jobs.db", "CREATE TABLE seen (what TEXT); " + sql.toUtf8());
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    table.open();
    QVERIFY(table.canModify());
    QCOMPARE(names(table), QStringList({"r1", "r2", "r3"}));
    table.first();
    table.edit();
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("changed"));
    table.post();
    appendRow(table, {QStringLiteral("r4"), QString(), 4});
    table.last();
    table.deleteRecord();
    table.close();
    // Our writes went in as made, and none of the foreign code ran on them.
    QCOMPARE(foreignQuery("SELECT group_concat(name, ',') FROM (SELECT name FROM jobs ORDER BY _rid)"),
             QByteArray("changed,r2,r3"));
    QCOMPARE(foreignQuery("SELECT count(*) FROM seen"), QByteArray("0"));
    // What the other program made is still there for it.
    QVERIFY(foreignQuery("SELECT count(*) FROM sqlite_master WHERE type IN ('view', 'trigger')").toInt() > 0);
}

void BadFilesTest::truncatedFile()
{
    TestWorkspace workspace;
    makeBigTable(300, 600);
    QFile file(QStringLiteral("jobs.db"));
    QVERIFY(file.resize(file.size() / 2));

    Table table;
    table.setTableName(QStringLiteral("jobs"));
    Visits visits;
    try {
        table.open();
        visits = visitAll(table, 300);
    } catch (const Error &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Cannot open table 'jobs.db': ")), qPrintable(e.message()));
        visits.failures = 1;
    }
    QVERIFY(visits.failures > 0);
    QCOMPARE(visits.inconsistent, 0);
}

void BadFilesTest::damageFoundWhileWalking()
{
    TestWorkspace workspace;
    const int count = 4000;
    makeBigTable(count, 2000);
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    table.open();
    QCOMPARE(table.recordCount(), count);

    // Another program spoils pages in the middle of the file while the table is open.
    const qint64 size = QFileInfo(QStringLiteral("jobs.db")).size();
    spoil(QStringLiteral("jobs.db"), size / 4 - (size / 4) % 4096, 32 * 1024);
    spoil(QStringLiteral("jobs.db"), size / 2 - (size / 2) % 4096 + 100, 20000);

    const Visits visits = visitAll(table, count);
    QVERIFY2(visits.failures > 0, "the damage went unnoticed");
    QCOMPARE(visits.inconsistent, 0);
    // Only the records on the spoilt pages are lost, not their readable neighbours.
    QVERIFY2(visits.failures < 100, qPrintable(QString::number(visits.failures)));
    QVERIFY(table.active());

    // The table goes on working where it is sound.
    table.setRecNo(1);
    table.edit();
    table.fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Odense"));
    table.post();
    table.last();
    QCOMPARE(currentName(table), QStringLiteral("r%1").arg(count));
    table.first();
    QCOMPARE(table.fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("Odense"));
    int walked = 0;
    while (!table.eof() && walked < 2 * count) {
        try {
            table.next();
        } catch (const Error &) {
            table.moveBy(50);
        }
        ++walked;
    }
    QVERIFY(table.eof());
}

void BadFilesTest::damageBeforeOpening()
{
    TestWorkspace workspace;
    makeBigTable(2000, 1500);
    const qint64 size = QFileInfo(QStringLiteral("jobs.db")).size();
    spoil(QStringLiteral("jobs.db"), size / 3, 40000);
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    Visits visits;
    try {
        table.open();
        visits = visitAll(table, table.recordCount());
        table.setIndexFieldNames(QStringLiteral("hours"));
    } catch (const Error &) {
        ++visits.failures;
    }
    QVERIFY(visits.failures > 0);
    QCOMPARE(visits.inconsistent, 0);
}

void BadFilesTest::foreignNumbers_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("stored");  // an SQL literal another program wrote
    QTest::addColumn<QString>("text");    // what the display text and the edit text show
    QTest::addColumn<QVariant>("value");  // when the value can be read
    QTest::addColumn<QString>("error");   // else what reading it says

    const QString hoursRange = QStringLiteral(
        "Field 'hours' holds '%1', which is not a valid value for it. The allowed range is -32768 to 32767");
    QTest::newRow("smallint 7") << "hours"
                                << "7"
                                << "7" << QVariant(7) << QString();
    QTest::newRow("smallint real 1e300") << "hours"
                                         << "1e300"
                                         << "1e+300" << QVariant() << hoursRange.arg("1e+300");
    QTest::newRow("smallint real infinity") << "hours"
                                            << "9e999"
                                            << "inf" << QVariant() << hoursRange.arg("inf");
    QTest::newRow("smallint real -infinity") << "hours"
                                             << "-9e999"
                                             << "-inf" << QVariant() << hoursRange.arg("-inf");
    QTest::newRow("smallint real 2.5") << "hours"
                                       << "2.5"
                                       << "2.5" << QVariant() << hoursRange.arg("2.5");
    QTest::newRow("smallint text nan") << "hours"
                                       << "'nan'"
                                       << "nan" << QVariant() << hoursRange.arg("nan");
    QTest::newRow("smallint text abc") << "hours"
                                       << "'abc'"
                                       << "abc" << QVariant() << hoursRange.arg("abc");
    QTest::newRow("smallint 40000") << "hours"
                                    << "40000"
                                    << "40000" << QVariant() << hoursRange.arg("40000");
    QTest::newRow("smallint bytes") << "hours"
                                    << "x'3132'"
                                    << "12" << QVariant(12) << QString();
    QTest::newRow("integer 5e9") << "count"
                                 << "5000000000"
                                 << "5000000000" << QVariant()
                                 << QStringLiteral("Field 'count' holds '5000000000', which is not a valid value "
                                                   "for it. The allowed range is -2147483648 to 2147483647");
    QTest::newRow("integer -2147483648") << "count"
                                         << "-2147483648"
                                         << "-2147483648" << QVariant(-2147483647 - 1) << QString();
    QTest::newRow("boolean real 1e300") << "done"
                                        << "1e300"
                                        << "1e+300" << QVariant()
                                        << "Field 'done' holds '1e+300', which is not a valid boolean value";
    QTest::newRow("boolean text abc") << "done"
                                      << "'abc'"
                                      << "abc" << QVariant()
                                      << "Field 'done' holds 'abc', which is not a valid boolean value";
    QTest::newRow("float text abc") << "price"
                                    << "'abc'"
                                    << "abc" << QVariant()
                                    << "Field 'price' holds 'abc', which is not a valid floating point value";
    QTest::newRow("float text nan") << "price"
                                    << "'nan'"
                                    << "nan" << QVariant()
                                    << "Field 'price' holds 'nan', which is not a valid floating point value";
}

// Numbers that another program stored where the table keeps numbers: each reads as itself
// or as an error naming the field and the value, and the texts show what is stored.
void BadFilesTest::foreignNumbers()
{
    QFETCH(QString, field);
    QFETCH(QString, stored);
    QFETCH(QString, text);
    QFETCH(QVariant, value);
    QFETCH(QString, error);
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a"), 1, 1, false, 1.5}},
              {fieldDef(QStringLiteral("name"), ftString, 10), fieldDef(QStringLiteral("hours"), ftSmallint),
               fieldDef(QStringLiteral("count"), ftInteger), fieldDef(QStringLiteral("done"), ftBoolean),
               fieldDef(QStringLiteral("price"), ftFloat)});
    table.close();
    {
        sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
        db.exec(QStringLiteral("UPDATE \"jobs\" SET \"%1\" = %2").arg(field, stored));
    }
    table.open();
    const Field *f = table.fieldByName(field);
    QVERIFY(!f->isNull());
    QCOMPARE(f->displayText(), text);
    QCOMPARE(f->text(), text);
    QCOMPARE(errorOf([&] { f->value(); }), error);
    QCOMPARE(errorOf([&] { f->asInteger(); }), error);
    QCOMPARE(errorOf([&] { f->asFloat(); }), error);
    if (error.isEmpty()) {
        QCOMPARE(f->value(), value);
    } else {
        // The record cannot be edited with a value that saving would change.
        QCOMPARE(errorOf([&] { table.edit(); }), error);
        QCOMPARE(table.state(), dsBrowse);
    }
}

void BadFilesTest::readOnlyFiles_data()
{
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<bool>("leftoverLog");
    QTest::newRow("read-only file in a writable folder") << true << false;
    QTest::newRow("table in a locked folder") << false << false;
    QTest::newRow("locked folder with unsaved changes in its log") << false << true;
}

void BadFilesTest::readOnlyFiles()
{
    QFETCH(bool, folderWritable);
    QFETCH(bool, leftoverLog);
    TestWorkspace workspace;
    const QString folder = workspace.filePath(QStringLiteral("tables"));
    QVERIFY(QDir().mkpath(folder));
    {
        Table table;
        table.setDirectory(folder);
        table.setTableName(QStringLiteral("jobs"));
        table.createTable(jobDefs());
        table.open();
        for (const QVariantList &row : numberedRows(3))
            appendRow(table, row);
    }
    if (leftoverLog) {
        // Changes committed to the log but not yet to the table file, as after a crash.
        const QString copy = workspace.filePath(QStringLiteral("copy"));
        QVERIFY(QDir().mkpath(copy));
        sql::Database db(folder + QStringLiteral("/jobs.db"), sql::Database::Mode::ReadWrite);
        db.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
        db.exec(QStringLiteral("INSERT INTO \"jobs\" (\"name\") VALUES ('r4')"));
        for (const char *suffix : {"", "-wal"})
            QVERIFY(QFile::copy(folder + QStringLiteral("/jobs.db") + QLatin1String(suffix),
                                copy + QStringLiteral("/jobs.db") + QLatin1String(suffix)));
        db.close();
        QDir(folder).removeRecursively();
        QVERIFY(QDir().rename(copy, folder));
        QVERIFY(QFileInfo(folder + QStringLiteral("/jobs.db-wal")).size() > 0);
    }
    const QString check = leftoverLog ? QStringLiteral("refused") : QStringLiteral("readable");
    const QString file = folder + QStringLiteral("/jobs.db");

    if (geteuid() != 0) {
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        if (!folderWritable)
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        const QString result = leftoverLog ? checkOpenRefused(folder) : checkReadOnlyTable(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY2(result.isEmpty(), qPrintable(result));
        return;
    }

    // Permissions do not hold back root: the checks run in a child process as an unprivileged
    // user, for whom the file and, where asked, the folder are read-only.
    QVERIFY(::chmod(qPrintable(workspace.path()), 0755) == 0);
    QVERIFY(::chmod(qPrintable(folder), folderWritable ? 0777 : 0755) == 0);
    QVERIFY(::chmod(qPrintable(file), 0644) == 0);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildVariable), check + QLatin1Char('|') + folder);
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(workspace.path());
    child.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(111);
    });
    const SharedProgramCopy program;
    child.start(program.path(), {});
    if (!child.waitForFinished(60000) && child.error() == QProcess::FailedToStart)
        QSKIP("this test program cannot be started as an unprivileged user from here");
    QVERIFY(child.state() == QProcess::NotRunning);
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed();
    if (child.exitCode() == 111)
        QSKIP("cannot switch to an unprivileged user for the read-only checks");
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             qPrintable(output + QLatin1Char(' ') + QString::fromLocal8Bit(child.readAllStandardError())));
    QCOMPARE(output, QStringLiteral("ok"));
}

void BadFilesTest::lockedTableIsBusyNotDamaged()
{
    TestWorkspace workspace;
    const Installed<&sql::Database::setBusyTimeout> briefWait(kBriefBusyWait);
    {
        Table table;
        makeTable(table, rowsWithNotes(3, 5));
    }
    QString error;
    bool busy = false;
    {
        // Another program holds the table for itself while we start.
        sql::Database other(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
        other.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
        other.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        other.exec(QStringLiteral("INSERT INTO \"jobs\" (\"name\") VALUES ('pending')"));
        Table table;
        table.setTableName(QStringLiteral("jobs"));
        try {
            table.open();
        } catch (const BusyError &e) {
            busy = true;
            error = e.message();
        } catch (const Error &e) {
            error = e.message();
        }
        QVERIFY(!table.active());
        other.exec(QStringLiteral("COMMIT"));
    }
    QVERIFY2(busy, qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("in use by another program")), qPrintable(error));
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    table.open();
    QCOMPARE(table.recordCount(), 4);
}

void BadFilesTest::refusedOpenLeavesTheFilesAsFound()
{
    TestWorkspace workspace;
    {
        Table table;
        makeTable(table, rowsWithNotes(3, 5));
    }
    // Another program saves a record and damages the schema, both still in the log only.
    writeToLogOnly(QStringLiteral("jobs.db"),
                   "INSERT INTO jobs (name) VALUES ('in the log'); PRAGMA writable_schema=ON; "
                   "UPDATE sqlite_master SET sql = 'CREATE TABLE jobs (name VARCHAR(10)' WHERE name = 'jobs'");
    const QByteArray file = workspace.readFile(QStringLiteral("jobs.db"));
    const QByteArray log = workspace.readFile(QStringLiteral("jobs.db-wal"));
    QVERIFY(!log.isEmpty());

    Table table;
    table.setTableName(QStringLiteral("jobs"));
    const QString error = errorOf([&] { table.open(); });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot open table 'jobs.db': ")), qPrintable(error));
    QCOMPARE(workspace.readFile(QStringLiteral("jobs.db")), file);
    QVERIFY(QFile::exists(QStringLiteral("jobs.db-wal")));
    QCOMPARE(workspace.readFile(QStringLiteral("jobs.db-wal")), log);
}

void BadFilesTest::createNeverTouchesFilesItDidNotMake()
{
    TestWorkspace workspace;
    // A log left of an earlier table would be replayed into the new one: the create refuses.
    for (const QString &name : {QStringLiteral("jobs.db-wal"), QStringLiteral("jobs.db-journal")}) {
        workspace.writeFile(name, "an earlier table's log");
        Table table;
        table.setTableName(QStringLiteral("jobs"));
        const QString error = errorOf([&] { table.createTable(jobDefs()); });
        QVERIFY2(error.contains(QStringLiteral("stands beside it")), qPrintable(error));
        QCOMPARE(workspace.readFile(name), QByteArray("an earlier table's log"));
        QVERIFY(!QFile::exists(QStringLiteral("jobs.db")));
        QFile::remove(name);
    }
    // A failed create leaves nothing of its own behind either.
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList());
}

void BadFilesTest::createNeverReplacesATableMadeMeanwhile()
{
    // Another program makes the table while our create is under way: ours must give up and
    // leave that table as it is, with nothing of its own left behind.
    TestWorkspace workspace;
    FolderWatch created(workspace.path(), FolderWatch::Created);
    QVERIFY(created.works());
    std::atomic<bool> madeFirst{false};
    std::thread other([&] {
        for (;;) {
            for (const QString &name : created.names(true)) {
                if (name == QLatin1String("stop"))
                    return;
                if (!name.startsWith(QLatin1String("jobs.db.new-")))
                    continue;
                const QByteArray path = QFile::encodeName(workspace.filePath(QStringLiteral("jobs.db")));
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (fd >= 0) {
                    madeFirst = ::write(fd, "their table", 11) == 11;
                    ::close(fd);
                }
                return;
            }
        }
    });
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    QString error;
    try {
        table.createTable(jobDefs());
    } catch (const Error &e) {
        error = e.message();
    }
    workspace.writeFile(QStringLiteral("stop"), QByteArray());
    other.join();
    if (!madeFirst)
        QSKIP("our create finished before the other program could make its file");
    QVERIFY2(error.contains(QStringLiteral("another table file appeared meanwhile")), qPrintable(error));
    QCOMPARE(workspace.readFile(QStringLiteral("jobs.db")), QByteArray("their table"));
    QStringList left = QDir().entryList(QDir::Files | QDir::Hidden);
    left.removeOne(QStringLiteral("stop"));
    QCOMPARE(left, QStringList{QStringLiteral("jobs.db")});
}

void BadFilesTest::troubleOfTheDiskIsNoDamage_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<bool>("readable");  // the table still opens read-only
    QTest::addColumn<QString>("cause");
    QTest::newRow("disk full") << "full" << true << "";
    QTest::newRow("file that may not be read") << "no access" << false << "Permission denied";
    QTest::newRow("medium that fails to read") << "read error" << false << "disk I/O error";
    QTest::newRow("folder in the file's place") << "folder" << false << "Is a directory";
}

// Only what SQLite finds corrupt, or what is no table of ours, counts as damage: a file the
// disk will not give or take says nothing about its content. A refused open leaves no file of
// its own beside the table.
void BadFilesTest::troubleOfTheDiskIsNoDamage()
{
    QFETCH(QString, trouble);
    QFETCH(bool, readable);
    QFETCH(QString, cause);
    TestWorkspace workspace;
    if (trouble == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(QStringLiteral("jobs.db")));
    } else {
        Table table;
        makeTable(table, numberedRows(3));
    }
    const QStringList before = QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    std::unique_ptr<FailingDisk> disk;
    if (trouble == QLatin1String("full"))
        disk = std::make_unique<FailingDisk>(FailingDisk::Fault::Full);
    else if (trouble == QLatin1String("no access"))
        disk = std::make_unique<FailingDisk>(FailingDisk::Fault::NoAccess, QStringLiteral("jobs.db"));
    else if (trouble == QLatin1String("read error"))
        disk = std::make_unique<FailingDisk>(FailingDisk::Fault::ReadError, QStringLiteral("jobs.db"));
    Table table;
    table.setTableName(QStringLiteral("jobs"));
    const QString error = errorOf([&] { table.open(); });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot open table 'jobs.db': ")) && error.contains(cause),
             qPrintable(error));
    QVERIFY(!damageOf([&] { table.open(); }));
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);

    table.setReadOnly(true);
    const QString readError = errorOf([&] { table.open(); });
    QCOMPARE(readError.isEmpty(), readable);
    if (readable) {
        QCOMPARE(names(table), QStringList({"r1", "r2", "r3"}));
        table.close();
    }
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kChildVariable))
        return runChildCheck();
    BadFilesTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_badfiles.moc"
