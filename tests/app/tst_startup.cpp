#include "app/startup.h"
#include "app/tform1.h"
#include "failingdisk.h"
#include "folderwatch.h"
#include "installed.h"
#include "platform/datafolderlock.h"
#include "scripteddialogs.h"
#include "store/error.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

using namespace kelvara;
using namespace kelvara::test;

namespace {

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The bytes of every file in a folder, by name.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : filesIn(folder)) {
        QFile file(QDir(folder).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files.insert(name, file.readAll());
    }
    return files;
}

void seedTable(int records)
{
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    for (int i = 0; i < records; ++i)
        table.insertRecord({QVariant(), QStringLiteral("First %1").arg(i)});
}

}  // namespace

// Starting the program: one copy per data folder, and tables that are busy, damaged or
// incomplete at start are never lost.
class StartupTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondCopyOnTheSameFolderEnds();
    void lockIsLetGoWhenTheHolderIsKilled();
    void tableInUseIsNotTakenForDamaged();
    void damagedLogIsKeptWithItsTable();
    void keptCopyFindsAFreeName();
    void logWithoutItsTableIsKept();
    void troubleThatIsNoDamageKeepsEveryFile_data();
    void troubleThatIsNoDamageKeepsEveryFile();
    void foreignViewsAndTriggersKeepTheTable_data();
    void foreignViewsAndTriggersKeepTheTable();
    void leftoversOfAnEarlierStartGo();
    void windowsShowTheProgramIcon();
};

void StartupTest::secondCopyOnTheSameFolderEnds()
{
    TestWorkspace workspace;
    TestWorkspace elsewhere;
    ScriptedDialogsScope dialogs;
    DataFolderLock first(workspace.path());
    QVERIFY(claimDataFolder(first));
    QVERIFY(first.isLocked());
    QWidget window;
    showOnRequest(first, window);
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    const QStringList before = filesIn(workspace.path());

    DataFolderLock second(workspace.path());
    QVERIFY(!claimDataFolder(second));
    QVERIFY(!second.isLocked());
    const QStringList warnings = dialogs->texts(ScriptedDialogs::Kind::Warning);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().startsWith(QStringLiteral("Kelvara is already open in the folder ")),
             qPrintable(warnings.first()));
    QVERIFY(warnings.first().contains(QStringLiteral("brought to the front")));
    QTRY_VERIFY(!window.isMinimized());
    QCOMPARE(filesIn(workspace.path()), before);

    // Another folder is another matter; and once the first copy ends, the folder is free.
    DataFolderLock other(elsewhere.path());
    QVERIFY(claimDataFolder(other));
    first.unlock();
    QVERIFY(claimDataFolder(second));
    QCOMPARE(dialogs->texts().size(), 1);
}

void StartupTest::lockIsLetGoWhenTheHolderIsKilled()
{
    TestWorkspace workspace;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The program reads its stored settings at start: from a folder of the test's own, never
    // from the settings of whoever runs the tests.
    const QTemporaryDir settings;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), settings.path());
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(workspace.path());
    program.start(QStringLiteral(KELVARA_PROGRAM), {QStringLiteral("--data"), workspace.path()});
    QVERIFY(program.waitForStarted());
    // The program takes the folder before it makes its table; it has saved its first record
    // once a reader beside it sees one.
    auto savedRecords = [] {
        if (!QFile::exists(QStringLiteral("total.txt")))
            return 0;
        try {
            Table reader;
            reader.setTableName(QStringLiteral("kelvara"));
            reader.setReadOnly(true);
            reader.open();
            return reader.recordCount();
        } catch (const Error &) {
            return 0;
        }
    };
    QTRY_COMPARE_WITH_TIMEOUT(savedRecords(), 1, 30000);
    DataFolderLock probe(workspace.path());
    QVERIFY(!probe.tryLock());
    program.kill();
    QVERIFY(program.waitForFinished());
    QVERIFY(probe.tryLock());
    // What it saved is still there for the next start.
    QCOMPARE(savedRecords(), 1);
}

void StartupTest::tableInUseIsNotTakenForDamaged()
{
    TestWorkspace workspace;
    const Installed<&sql::Database::setBusyTimeout> briefWait(kBriefBusyWait);
    seedTable(2);
    workspace.writeFile(QStringLiteral("total.txt"), "125\r\n");
    const auto before = snapshot(workspace.path());
    ScriptedDialogsScope dialogs;
    dialogs->confirmAnswers = {true, false};  // try again once, then end
    {
        // Another program holds the table for itself.
        sql::Database other(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadWrite);
        other.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
        other.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        other.exec(QStringLiteral("SELECT count(*) FROM kelvara"));
        TForm1 form;
        QVERIFY(form.startRefused());
        QVERIFY(!form.table()->active());
        QVERIFY(form.keptDamagedTable().isEmpty());
    }
    const QStringList asked = dialogs->texts(ScriptedDialogs::Kind::Confirm);
    QCOMPARE(asked.size(), 2);
    QVERIFY2(asked.first().startsWith(QStringLiteral("The record table kelvara.db is in use by another program.")),
             qPrintable(asked.first()));
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Warning), QStringList());
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error), QStringList());
    QCOMPARE(snapshot(workspace.path()), before);

    // Once the other program lets go, the next start opens the same table.
    TForm1 form;
    QVERIFY(!form.startRefused());
    QCOMPARE(form.table()->recordCount(), 2);
}

void StartupTest::damagedLogIsKeptWithItsTable()
{
    TestWorkspace workspace;
    seedTable(2);
    // Another program left a record and a damaged schema in the log.
    writeToLogOnly(QStringLiteral("kelvara.db"),
                   "INSERT INTO kelvara (Firstname) VALUES ('only in the log'); PRAGMA writable_schema=ON; "
                   "UPDATE sqlite_master SET sql = 'CREATE TABLE kelvara (Dato DATE' WHERE name = 'kelvara'");
    const QByteArray file = workspace.readFile(QStringLiteral("kelvara.db"));
    const QByteArray log = workspace.readFile(QStringLiteral("kelvara.db-wal"));
    ScriptedDialogsScope dialogs;
    TForm1 form;
    const QString kept = form.keptDamagedTable();
    QVERIFY2(kept.startsWith(QStringLiteral("kelvara-damaged-")), qPrintable(kept));
    QCOMPARE(workspace.readFile(kept), file);
    QCOMPARE(workspace.readFile(kept + QStringLiteral("-wal")), log);
    // A new table stands in its place, to be opened when the window shows.
    QVERIFY(form.table()->exists());
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Warning).size(), 1);
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error), QStringList());
}

void StartupTest::keptCopyFindsAFreeName()
{
    TestWorkspace workspace;
    workspace.writeFile(QStringLiteral("kelvara.db"), QByteArray(8192, 'x'));
    workspace.writeFile(QStringLiteral("total.txt"), "300\r\n");
    // Earlier damaged starts in this very second, and the next, already took the plain names.
    const QDateTime now = QDateTime::currentDateTime();
    for (int second = 0; second < 3; ++second) {
        const QString stamp = now.addSecs(second).toString(QStringLiteral("yyyyMMdd-HHmmss"));
        workspace.writeFile(QStringLiteral("kelvara-damaged-%1.db").arg(stamp), "earlier");
    }
    ScriptedDialogsScope dialogs;
    TForm1 form;
    const QString kept = form.keptDamagedTable();
    QVERIFY2(kept.endsWith(QStringLiteral("-2.db")), qPrintable(kept));
    QCOMPARE(workspace.readFile(kept), QByteArray(8192, 'x'));
    QVERIFY(form.table()->exists());
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error), QStringList());
    QCOMPARE(workspace.readFile(QStringLiteral("total.txt")), QByteArray("0\r\n"));
    for (const QString &name : filesIn(workspace.path())) {
        if (name.startsWith(QStringLiteral("kelvara-damaged-")) && name != kept)
            QCOMPARE(workspace.readFile(name), QByteArray("earlier"));
    }
}

void StartupTest::logWithoutItsTableIsKept()
{
    TestWorkspace workspace;
    seedTable(2);
    writeToLogOnly(QStringLiteral("kelvara.db"), "INSERT INTO kelvara (Firstname) VALUES ('only in the log')");
    // Someone deletes the table file by hand and leaves its log.
    QVERIFY(QFile::remove(QStringLiteral("kelvara.db")));
    const QByteArray log = workspace.readFile(QStringLiteral("kelvara.db-wal"));
    ScriptedDialogsScope dialogs;
    TForm1 form;
    const QString kept = form.keptDamagedTable();
    QVERIFY(!kept.isEmpty());
    QCOMPARE(workspace.readFile(kept + QStringLiteral("-wal")), log);
    QVERIFY(form.table()->active());
    QCOMPARE(form.table()->recordCount(), 0);
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Warning).size(), 1);
}

void StartupTest::troubleThatIsNoDamageKeepsEveryFile_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<bool>("tableBefore");  // a table with three jobs stands in the folder
    QTest::addColumn<bool>("readOnly");     // the start goes on with the records read-only
    QTest::addColumn<QString>("cause");     // what the message names beside the file
    QTest::newRow("disk full") << "full" << true << true << "No space left on device";
    QTest::newRow("disk full, no table yet") << "full" << false << false << "disk is full";
    QTest::newRow("file that may not be read") << "no access" << true << false << "Permission denied";
    QTest::newRow("medium that fails to read") << "read error" << true << false << "I/O error";
    QTest::newRow("folder in the file's place") << "folder" << false << false << "Is a directory";
}

// Only a file SQLite finds damaged is moved aside. A full disk, a file the user may not read, a
// failing medium: the message names the file and the cause, every file stays as it was (the
// total too), and the program either shows the records read-only or ends.
void StartupTest::troubleThatIsNoDamageKeepsEveryFile()
{
    QFETCH(QString, trouble);
    QFETCH(bool, tableBefore);
    QFETCH(bool, readOnly);
    QFETCH(QString, cause);
    TestWorkspace workspace;
    if (tableBefore)
        seedTable(3);
    if (trouble == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(QStringLiteral("kelvara.db")));
    workspace.writeFile(QStringLiteral("total.txt"), "4711\r\n");
    const auto before = snapshot(workspace.path());
    const QStringList namesBefore
        = QDir(workspace.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    ScriptedDialogsScope dialogs;
    {
        std::unique_ptr<FailingDisk> disk;
        if (trouble == QLatin1String("full"))
            disk = std::make_unique<FailingDisk>(FailingDisk::Fault::Full);
        else if (trouble == QLatin1String("no access"))
            disk = std::make_unique<FailingDisk>(FailingDisk::Fault::NoAccess, QStringLiteral("kelvara.db"));
        else if (trouble == QLatin1String("read error"))
            disk = std::make_unique<FailingDisk>(FailingDisk::Fault::ReadError, QStringLiteral("kelvara.db"));
        TForm1 form;
        QVERIFY(form.keptDamagedTable().isEmpty());
        QCOMPARE(form.startRefused(), !readOnly);
        QCOMPARE(form.table()->active(), readOnly);
        const QStringList told = dialogs->texts();
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().contains(QStringLiteral("kelvara.db")) && told.first().contains(cause),
                 qPrintable(told.first()));
        if (readOnly) {
            QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Warning).size(), 1);
            QVERIFY2(told.first().contains(QStringLiteral("read-only")), qPrintable(told.first()));
            QVERIFY(!form.table()->canModify());
            QCOMPARE(form.table()->recordCount(), 3);
        }
    }
    QCOMPARE(snapshot(workspace.path()), before);
    QCOMPARE(QDir(workspace.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), namesBefore);
    QCOMPARE(workspace.readFile(QStringLiteral("total.txt")), QByteArray("4711\r\n"));

    // Once the trouble is gone, the same records open as before.
    if (tableBefore) {
        TForm1 form;
        QVERIFY(form.table()->active());
        QCOMPARE(form.table()->recordCount(), 3);
        QVERIFY(form.keptDamagedTable().isEmpty());
    }
}

void StartupTest::foreignViewsAndTriggersKeepTheTable_data()
{
    QTest::addColumn<QByteArray>("sql");
    QTest::newRow("a view") << QByteArray("CREATE VIEW v AS SELECT Firstname FROM kelvara");
    QTest::newRow("a trigger") << QByteArray(
        "CREATE TABLE log (what TEXT); "
        "CREATE TRIGGER t AFTER UPDATE ON kelvara BEGIN INSERT INTO log VALUES (new.Firstname); END");
}

// What another program adds to the file (here as the sqlite3 shell would) is no damage: the
// table is opened and kept with its records and total, and the foreign code stays idle.
void StartupTest::foreignViewsAndTriggersKeepTheTable()
{
    QFETCH(QByteArray, sql);
    TestWorkspace workspace;
    seedTable(2);
    workspace.writeFile(QStringLiteral("total.txt"), "4711\r\n");
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open("kelvara.db", &db), SQLITE_OK);
        const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QCOMPARE(rc, SQLITE_OK);
    }
    ScriptedDialogsScope dialogs;
    {
        TForm1 form;
        QVERIFY(!form.startRefused());
        QVERIFY(form.keptDamagedTable().isEmpty());
        QCOMPARE(dialogs->texts(), QStringList());
        QVERIFY(form.table()->canModify());
        QCOMPARE(form.table()->recordCount(), 2);
        form.table()->edit();
        form.table()->fieldByName(QStringLiteral("Firstname"))->setAsString(QStringLiteral("Changed"));
        form.table()->post();
    }
    QCOMPARE(workspace.readFile(QStringLiteral("total.txt")), QByteArray("4711\r\n"));
    QVERIFY(!QDir().entryList(QDir::Files).join(QLatin1Char(' ')).contains(QStringLiteral("damaged")));
    sql::Database check(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadOnly);
    sql::Statement objects
        = check.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN ('view', 'trigger')"));
    QVERIFY(objects.step());
    QVERIFY(objects.int64(0) > 0);
    if (check.hasTable(QStringLiteral("log"))) {
        sql::Statement log = check.prepare(QStringLiteral("SELECT count(*) FROM log"));
        QVERIFY(log.step());
        QCOMPARE(log.int64(0), qint64(0));
    }
}

// What a start that was killed left of its own goes at the next start; nothing else does.
void StartupTest::leftoversOfAnEarlierStartGo()
{
    TestWorkspace workspace;
    seedTable(2);
    // A kill while a table was being made, and while a damaged table's log was being read.
    for (const char *name : {"kelvara.db.new-a1B2c3", "kelvara.db.new-a1B2c3-wal", "kelvara.db.new-a1B2c3-shm"})
        workspace.writeFile(QString::fromLatin1(name), "half made");
    // Not ours: another table's, and names of the user's own.
    const QStringList others = {QStringLiteral("jobs.db.new-a1B2c3"), QStringLiteral("kelvara.db.new-copy.txt"),
                                QStringLiteral("kelvara.db.new-a1B2c3.bak")};
    for (const QString &name : others)
        workspace.writeFile(name, "keep");
    ScriptedDialogsScope dialogs;
    {
        TForm1 form;
        QCOMPARE(form.table()->recordCount(), 2);
    }
    QStringList left = filesIn(workspace.path());
    left.removeAll(QStringLiteral("kelvara.db"));
    left.removeAll(QStringLiteral("total.txt"));
    QStringList expected = others;
    expected.sort();
    QCOMPARE(left, expected);

    // A damaged table is kept aside without log files the refused open made beside it.
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open("kelvara.db", &db), SQLITE_OK);
        const int rc = sqlite3_exec(db,
                                    "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql = "
                                    "'CREATE TABLE kelvara (Dato DATE' WHERE name = 'kelvara'",
                                    nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QCOMPARE(rc, SQLITE_OK);
    }
    QVERIFY(!QFile::exists(QStringLiteral("kelvara.db-wal")));
    TForm1 form;
    const QString kept = form.keptDamagedTable();
    QVERIFY2(kept.startsWith(QStringLiteral("kelvara-damaged-")), qPrintable(kept));
    QVERIFY(!QFile::exists(kept + QStringLiteral("-wal")));
    QVERIFY(!QFile::exists(kept + QStringLiteral("-shm")));
}

// The icon the desktop entry names, drawn at the small sizes a title bar and a task bar ask for.
void StartupTest::windowsShowTheProgramIcon()
{
    installProgramIcon();
    const QIcon icon = QApplication::windowIcon();
    for (const int size : {16, 32}) {
        const QImage image = icon.pixmap(size, size).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        // The skep is golden; a missing drawing would be blank or the toolkit's own.
        int golden = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QColor pixel = image.pixelColor(x, y);
                golden += pixel.alpha() > 200 && pixel.red() > 200 && pixel.green() > 120 && pixel.blue() < 110;
            }
        }
        QVERIFY2(golden > size * size / 5, qPrintable(QString::number(golden)));
    }
    QWidget window;
    QCOMPARE(window.windowIcon().cacheKey(), icon.cacheKey());
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
