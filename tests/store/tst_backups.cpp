#include "failingdisk.h"
#include "store/backups.h"
#include "store/sqlite.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvara;
using namespace kelvara::test;

namespace {

QByteArray photoBytes(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + seed) & 0xff);
    return bytes;
}

// Every stored value of the table and its photos, in row id order: what a round trip must keep.
QStringList contentOf(const QString &file)
{
    sql::Database db(file, sql::Database::Mode::ReadOnly);
    QStringList lines;
    sql::Statement rows = db.prepare(QStringLiteral("SELECT * FROM \"jobs\" ORDER BY \"_rid\""));
    while (rows.step()) {
        QStringList values;
        for (int i = 0; i < rows.columnCount(); ++i)
            values << rows.value(i).toString();
        lines << values.join(QLatin1Char('|'));
    }
    sql::Statement blobs = db.prepare(
        QStringLiteral("SELECT \"rid\", \"field\", hex(\"data\") FROM \"jobs_blobs\" ORDER BY \"rid\", \"field\""));
    while (blobs.step())
        lines << QStringLiteral("%1|%2|%3").arg(blobs.int64(0)).arg(blobs.text(1), blobs.text(2));
    return lines;
}

// The table "jobs" with three records, two of them with a photo.
void makeJobs(Table &table)
{
    makeTable(table,
              {{QStringLiteral("Ødegård"), QStringLiteral("Sørum"), 90, QDate(2026, 5, 3), QStringLiteral("chimney")},
               {QStringLiteral("Müller"), QString(), 45, QDate(2026, 6, 1)},
               {QStringLiteral("Berg"), QStringLiteral("Oslo"), 0}});
    table.first();
    table.edit();
    table.fieldByName(QStringLiteral("photo"))->setAsBytes(photoBytes(200000, 1));
    table.post();
    table.last();
    table.edit();
    table.fieldByName(QStringLiteral("photo"))->setAsBytes(photoBytes(70000, 2));
    table.post();
}

// The table's files in the working directory, without the index files SQLite's readers leave.
QStringList tableFiles()
{
    QStringList names;
    for (const QString &name : QDir::current().entryList({QStringLiteral("jobs*")}, QDir::Files)) {
        if (!name.endsWith(QLatin1String("-shm")) && !name.endsWith(QLatin1String("-wal")))
            names << name;
    }
    return names;
}

QStringList backupFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Runs `work` in a child process that kills itself at the given step of the work.
void runKilledAt(backups::Step killAt, qint64 minDone, const std::function<void(const backups::Progress &)> &work)
{
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        try {
            work([killAt, minDone](backups::Step step, qint64 done, qint64) {
                if (step == killAt && done >= minDone)
                    ::raise(SIGKILL);
                return true;
            });
        } catch (...) { }
        ::_exit(3);  // the step never came
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "the child ended before the step");
}

}  // namespace

// Backups of a table file: made with SQLite's backup, verified, thinned by age and restored.
class BackupsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripKeepsEveryValueAndPhotoByte();
    void backupHoldsTheLastSavedState();
    void thinningByAge_data();
    void thinningByAge();
    void killedBackupLeavesNoBackup_data();
    void killedBackupLeavesNoBackup();
    void killedRestoreLeavesATable_data();
    void killedRestoreLeavesATable();
    void fullDiskLosesNothing();
    void unwritableFolderIsSaid();
    void damagedBackupIsNotRestored();
    void restoreRefusedWhileAnotherProgramHasTheTable();
};

void BackupsTest::roundTripKeepsEveryValueAndPhotoByte()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    const QString tableFile = QDir::current().filePath(QStringLiteral("jobs.db"));
    const QStringList before = contentOf(tableFile);
    QCOMPARE(before.size(), 5);

    const backups::BackupFolder folder(QStringLiteral("backups"), QStringLiteral("jobs"));
    QList<backups::Step> steps;
    const backups::Made made = folder.make(tableFile, [&steps](backups::Step step, qint64, qint64) {
        if (steps.isEmpty() || steps.last() != step)
            steps << step;
        return true;
    });
    QCOMPARE(
        steps,
        (QList<backups::Step>{backups::Step::Copy, backups::Step::Check, backups::Step::Name, backups::Step::Thin}));
    QCOMPARE(made.counts.jobs, 3);
    QCOMPARE(made.counts.photos, 2);
    QVERIFY(QFileInfo(made.fileName).fileName().startsWith(QLatin1String("jobs-backup-")));
    // One file, no log beside it, nothing temporary left.
    QCOMPARE(backupFiles(folder.folder()), QStringList{QFileInfo(made.fileName).fileName()});
    QCOMPARE(contentOf(made.fileName), before);

    const QList<backups::BackupInfo> listed = folder.list(true);
    QCOMPARE(listed.size(), 1);
    QVERIFY(listed.first().counts.has_value());
    QCOMPARE(listed.first().counts->jobs, 3);
    QCOMPARE(listed.first().counts->photos, 2);

    // Change the table, then bring the backup back.
    table.first();
    table.deleteRecord();
    table.close();
    QVERIFY(contentOf(tableFile) != before);
    const QString kept = backups::restore(made.fileName, tableFile, QStringLiteral("jobs"));
    QCOMPARE(contentOf(tableFile), before);
    QVERIFY(QFileInfo::exists(kept));
    QCOMPARE(contentOf(kept).size(), 3);  // the changed table: two records, one photo
    table.open();
    QCOMPARE(table.recordCount(), 3);
    QCOMPARE(table.fieldByName(QStringLiteral("photo"))->asBytes(), photoBytes(200000, 1));
}

void BackupsTest::backupHoldsTheLastSavedState()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    table.first();
    table.edit();
    table.fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("typed, not saved"));
    const backups::Made made
        = backups::BackupFolder(QStringLiteral("backups"), QStringLiteral("jobs")).make(QStringLiteral("jobs.db"));
    QVERIFY(!contentOf(made.fileName).join(QLatin1Char('\n')).contains(QLatin1String("typed, not saved")));
    QVERIFY(contentOf(made.fileName).first().contains(QStringLiteral("Ødegård")));
    table.cancel();
}

void BackupsTest::thinningByAge_data()
{
    QTest::addColumn<QStringList>("made");  // days before now, as "d[:h]"; newest first is not required
    QTest::addColumn<QList<int>>("removed");
    QTest::newRow("the last 7 days all kept") << QStringList{"0", "1", "1:5", "3", "6"} << QList<int>{};
    // Tue 1 Dec and Mon 30 Nov share a calendar week, as do Sun 29 and Tue 24 Nov.
    QTest::newRow("one a week after a week") << QStringList{"0", "8", "9", "10", "15"} << QList<int>{2, 4};
    QTest::newRow("two in one calendar week: the newer stays") << QStringList{"0", "14", "14:3"} << QList<int>{2};
    QTest::newRow("one a month after 8 weeks") << QStringList{"0", "70", "71", "100"} << QList<int>{2};
    QTest::newRow("one a year after 2 years") << QStringList{"0", "800", "801", "1200", "1201"} << QList<int>{2, 4};
    QTest::newRow("the newest stays however old") << QStringList{"400", "401"} << QList<int>{1};
    QTest::newRow("nothing at all") << QStringList{} << QList<int>{};
}

void BackupsTest::thinningByAge()
{
    QFETCH(QStringList, made);
    QFETCH(QList<int>, removed);
    // A Wednesday noon: day offsets of up to two days stay in one calendar week only when said.
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0));
    QList<QDateTime> times;
    for (const QString &age : made) {
        const QStringList parts = age.split(QLatin1Char(':'));
        times << now.addDays(-parts.at(0).toInt()).addSecs(-3600 * (parts.size() > 1 ? parts.at(1).toInt() : 0));
    }
    QCOMPARE(backups::thinnedByAge(times, now), removed);
}

void BackupsTest::killedBackupLeavesNoBackup_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("counts");  // the killed backup counts: it was named before the kill
    QTest::newRow("while copying") << int(backups::Step::Copy) << false;
    QTest::newRow("while checking") << int(backups::Step::Check) << false;
    QTest::newRow("before naming") << int(backups::Step::Name) << false;
    QTest::newRow("while thinning") << int(backups::Step::Thin) << true;
}

void BackupsTest::killedBackupLeavesNoBackup()
{
    QFETCH(int, step);
    QFETCH(bool, counts);
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    const QStringList before = contentOf(QStringLiteral("jobs.db"));
    const backups::BackupFolder folder(QStringLiteral("backups"), QStringLiteral("jobs"));
    const backups::Made earlier = folder.make(QStringLiteral("jobs.db"), {}, QDateTime::currentDateTime().addDays(-1));
    const QByteArray earlierBytes
        = workspace.readFile(QStringLiteral("backups/") + QFileInfo(earlier.fileName).fileName());
    // A child must not inherit an open connection: SQLite's locks do not pass a fork.
    table.close();

    runKilledAt(backups::Step(step), 0,
                [&folder](const backups::Progress &progress) { folder.make(QStringLiteral("jobs.db"), progress); });

    QCOMPARE(contentOf(QStringLiteral("jobs.db")), before);
    QCOMPARE(workspace.readFile(QStringLiteral("backups/") + QFileInfo(earlier.fileName).fileName()), earlierBytes);
    QCOMPARE(folder.list().size(), counts ? 2 : 1);
    // The next backup removes what the killed one left.
    folder.make(QStringLiteral("jobs.db"));
    for (const QString &name : backupFiles(folder.folder()))
        QVERIFY2(name.startsWith(QLatin1String("jobs-backup-")) && name.endsWith(QLatin1String(".db")),
                 qPrintable(name));
}

void BackupsTest::killedRestoreLeavesATable_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<qint64>("done");
    QTest::addColumn<bool>("restored");
    QTest::newRow("while checking the backup") << int(backups::Step::Check) << qint64(0) << false;
    QTest::newRow("while copying") << int(backups::Step::Copy) << qint64(0) << false;
    QTest::newRow("before keeping the table") << int(backups::Step::Name) << qint64(0) << false;
    QTest::newRow("after keeping the table") << int(backups::Step::Name) << qint64(1) << false;
}

void BackupsTest::killedRestoreLeavesATable()
{
    QFETCH(int, step);
    QFETCH(qint64, done);
    QFETCH(bool, restored);
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    const backups::BackupFolder folder(QStringLiteral("backups"), QStringLiteral("jobs"));
    const backups::Made made = folder.make(QStringLiteral("jobs.db"));
    const QStringList backedUp = contentOf(QStringLiteral("jobs.db"));
    table.first();
    table.deleteRecord();
    table.close();
    const QStringList current = contentOf(QStringLiteral("jobs.db"));

    const QString tableFile = QDir::current().filePath(QStringLiteral("jobs.db"));
    runKilledAt(backups::Step(step), done, [&](const backups::Progress &progress) {
        backups::restore(made.fileName, tableFile, QStringLiteral("jobs"), progress);
    });

    QCOMPARE(contentOf(tableFile), restored ? backedUp : current);
    QCOMPARE(contentOf(made.fileName), backedUp);
    // What the start does: the kept second name and the unfinished copy go.
    backups::tidyInterruptedRestore(tableFile);
    table.removeUnfinishedCreations();
    QCOMPARE(tableFiles(), QStringList{QStringLiteral("jobs.db")});
    table.open();
    QCOMPARE(table.recordCount(), 2);
}

void BackupsTest::fullDiskLosesNothing()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    const backups::BackupFolder folder(QStringLiteral("backups"), QStringLiteral("jobs"));
    const backups::Made earlier = folder.make(QStringLiteral("jobs.db"), {}, QDateTime::currentDateTime().addDays(-30));
    const QStringList before = contentOf(QStringLiteral("jobs.db"));
    QString message;
    {
        FailingDisk disk(FailingDisk::Fault::Full, QString(), 20000);
        try {
            folder.make(QStringLiteral("jobs.db"));
        } catch (const Error &error) {
            message = error.message();
        }
    }
    QCOMPARE(message,
             QStringLiteral("The backup could not be made: the folder %1 is full.")
                 .arg(QDir::toNativeSeparators(folder.folder())));
    QCOMPARE(contentOf(QStringLiteral("jobs.db")), before);
    QCOMPARE(backupFiles(folder.folder()), QStringList{QFileInfo(earlier.fileName).fileName()});
    QCOMPARE(contentOf(earlier.fileName), before);
}

void BackupsTest::unwritableFolderIsSaid()
{
    if (::geteuid() == 0)
        QSKIP("root writes into any folder");
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    QVERIFY(QDir().mkdir(QStringLiteral("stick")));
    QVERIFY(QFile::setPermissions(QStringLiteral("stick"), QFile::ReadOwner | QFile::ExeOwner));
    const backups::BackupFolder folder(QStringLiteral("stick"), QStringLiteral("jobs"));
    const QString message = errorOf([&] { folder.make(QStringLiteral("jobs.db")); });
    QVERIFY2(message.startsWith(QStringLiteral("The backup could not be made: the folder %1 cannot be written")
                                    .arg(QDir::toNativeSeparators(folder.folder()))),
             qPrintable(message));
    QVERIFY(backupFiles(folder.folder()).isEmpty());
}

void BackupsTest::damagedBackupIsNotRestored()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    const backups::Made made
        = backups::BackupFolder(QStringLiteral("backups"), QStringLiteral("jobs")).make(QStringLiteral("jobs.db"));
    table.close();
    const QStringList before = contentOf(QStringLiteral("jobs.db"));
    {
        // Overwrite a page in the middle of the backup's photo bytes' neighbours: the b-trees.
        QFile file(made.fileName);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(4096 * 2);
        file.write(QByteArray(4096, '\x5a'));
    }
    const QString message = errorOf([&] {
        backups::restore(made.fileName, QDir::current().filePath(QStringLiteral("jobs.db")), QStringLiteral("jobs"));
    });
    QVERIFY2(message.startsWith(
                 QStringLiteral("The backup %1 cannot be restored").arg(QDir::toNativeSeparators(made.fileName))),
             qPrintable(message));
    QCOMPARE(contentOf(QStringLiteral("jobs.db")), before);
    QCOMPARE(tableFiles(), QStringList{QStringLiteral("jobs.db")});
}

void BackupsTest::restoreRefusedWhileAnotherProgramHasTheTable()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    const backups::Made made
        = backups::BackupFolder(QStringLiteral("backups"), QStringLiteral("jobs")).make(QStringLiteral("jobs.db"));
    // The table stays open here, as another program's would: its log is in use.
    table.first();
    table.deleteRecord();
    const QString message = errorOf([&] {
        backups::restore(made.fileName, QDir::current().filePath(QStringLiteral("jobs.db")), QStringLiteral("jobs"));
    });
    QVERIFY2(message.contains(QLatin1String("another program has the record table open")), qPrintable(message));
    QCOMPARE(table.recordCount(), 2);
}

QTEST_GUILESS_MAIN(BackupsTest)
#include "tst_backups.moc"
