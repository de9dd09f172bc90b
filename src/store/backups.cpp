#include "store/backups.h"

#include "store/error.h"
#include "store/sqlite.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvara::backups {

namespace {

// Pages copied between two reports: 4 MB at SQLite's default page size, so that a stop is
// heard within a fraction of a second and the reports cost nothing against the copy.
constexpr int kPagesPerStep = 1024;

const QString kStampFormat = QStringLiteral("yyyy-MM-dd-HHmmss");

QString blobTable(const QString &tableName)
{
    return tableName + QStringLiteral("_blobs");
}

QRegularExpression backupNamePattern(const QString &tableName)
{
    return QRegularExpression(QStringLiteral("^%1-backup-(\\d{4}-\\d{2}-\\d{2}-\\d{6})(-\\d+)?\\.db$")
                                  .arg(QRegularExpression::escape(tableName)));
}

QString partPrefix(const QString &tableName)
{
    return QStringLiteral(".%1-backup-part-").arg(tableName);
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isFull(sqlite3 *db)
{
    return db && ((sqlite3_extended_errcode(db) & 0xff) == SQLITE_FULL || sqlite3_system_errno(db) == ENOSPC);
}

// A file of our own that nobody else may take while it is written: an exclusive lock held on
// its own descriptor, which also lets a later backup tell a live part file from a leftover.
class PartFile
{
public:
    PartFile(const QString &folder, const QString &prefix)
    {
        QByteArray pattern = QDir(folder).filePath(prefix + QStringLiteral("XXXXXX")).toLocal8Bit();
        m_fd = ::mkstemp(pattern.data());
        if (m_fd < 0)
            throw Error(folderError(folder, errno));
        m_name = QString::fromLocal8Bit(pattern);
        ::flock(m_fd, LOCK_EX | LOCK_NB);
    }
    ~PartFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_kept)
            removeWithCompanions(m_name);
    }
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    QString name() const { return m_name; }
    int fd() const { return m_fd; }
    // The file now lives on under another name: nothing to remove.
    void keep() { m_kept = true; }

    static QString folderError(const QString &folder, int error)
    {
        if (error == ENOSPC || error == EDQUOT)
            return QStringLiteral("the folder %1 is full").arg(QDir::toNativeSeparators(folder));
        return QStringLiteral("the folder %1 cannot be written (%2)")
            .arg(QDir::toNativeSeparators(folder), systemText(error));
    }

    static void removeWithCompanions(const QString &name)
    {
        for (const char *suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(name + QLatin1String(suffix));
    }

private:
    QString m_name;
    int m_fd = -1;
    bool m_kept = false;
};

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void syncFile(const PartFile &part, const QString &folder)
{
    if (::fsync(part.fd()) != 0)
        throw Error(PartFile::folderError(folder, errno));
}

// Part files left by a backup that never ended: nobody holds their lock any more.
void removeLeftoverParts(const QString &folder, const QString &tableName)
{
    const QDir dir(folder);
    const QString prefix = partPrefix(tableName);
    for (const QString &name : dir.entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System)) {
        const QString path = dir.filePath(name);
        if (name.endsWith(QLatin1String("-journal")) || name.endsWith(QLatin1String("-wal"))
            || name.endsWith(QLatin1String("-shm")))
            continue;  // removed with their file
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        if (free)
            PartFile::removeWithCompanions(path);
    }
}

// Copies every page of `from` into `to` with SQLite's online backup, reporting each step. The
// caller holds a read transaction on `from`, so the copy is the state that transaction sees.
void copyPages(sql::Database &from, sql::Database &to, const Progress &progress, const QString &destFolder)
{
    sqlite3_backup *backup = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (!backup)
        to.fail(QStringLiteral("Cannot begin the copy"));
    int rc = SQLITE_OK;
    bool stopped = false;
    do {
        rc = sqlite3_backup_step(backup, kPagesPerStep);
        const qint64 total = sqlite3_backup_pagecount(backup);
        const qint64 done = total - sqlite3_backup_remaining(backup);
        if ((rc == SQLITE_OK || rc == SQLITE_DONE) && progress && !progress(Step::Copy, done, total)) {
            stopped = true;
            break;
        }
    } while (rc == SQLITE_OK);
    sqlite3_backup_finish(backup);
    if (stopped)
        throw Cancelled();
    if (rc != SQLITE_DONE) {
        if (isFull(to.handle()))
            throw Error(PartFile::folderError(destFolder, ENOSPC));
        to.fail(QStringLiteral("The copy failed"));
    }
}

// A backup is one file. The copy of a table in WAL mode says so in its header, and would keep a
// log beside it once opened; but its pages were written straight into the file, so there is no
// log to fold in: the header's two format bytes are set back to the rollback journal's (as
// "PRAGMA journal_mode=DELETE" would, with one write instead of a log made and removed).
void makeSelfContained(const PartFile &part, const QString &folder)
{
    PartFile::removeWithCompanions(part.name() + QStringLiteral("-wal"));
    unsigned char version[2] = {0, 0};
    if (::pread(part.fd(), version, 2, 18) != 2)
        throw Error(PartFile::folderError(folder, errno ? errno : EIO));
    if (version[0] != 2 && version[1] != 2)
        return;
    const unsigned char rollback[2] = {1, 1};
    if (::pwrite(part.fd(), rollback, 2, 18) != 2)
        throw Error(PartFile::folderError(folder, errno));
}

Counts countIn(const sql::Database &db, const QString &tableName)
{
    Counts counts;
    sql::Statement jobs = db.prepare(QStringLiteral("SELECT count(*) FROM %1").arg(sql::quoted(tableName)));
    if (jobs.step())
        counts.jobs = jobs.int64(0);
    if (db.hasTable(blobTable(tableName))) {
        sql::Statement photos
            = db.prepare(QStringLiteral("SELECT count(*) FROM %1").arg(sql::quoted(blobTable(tableName))));
        if (photos.step())
            counts.photos = photos.int64(0);
    }
    return counts;
}

// Copies a table file into a part file, which then holds the file's pages as they stood when the
// copy began, as a file of its own, on the disk; gives the counts of that same state.
Counts copyInto(const QString &sourceFile, const PartFile &part, const QString &tableName, const Progress &progress,
                const QString &folder)
{
    Counts counts;
    {
        sql::Database source(sourceFile, sql::Database::Mode::ReadOnly);
        sql::Database copy(part.name(), sql::Database::Mode::ReadWrite);
        // The copy is thrown away unless it ends well: it needs no journal of its own.
        copy.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
        copy.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        // One read transaction over the counts and the copy: both see the same state, the one
        // saved last, whatever is saved meanwhile.
        source.exec(QStringLiteral("BEGIN"));
        counts = countIn(source, tableName);
        copyPages(source, copy, progress, folder);
        source.exec(QStringLiteral("COMMIT"));
    }
    makeSelfContained(part, folder);
    syncFile(part, folder);
    return counts;
}

int progressHandler(void *keepGoing)
{
    const auto &callback = *static_cast<const std::function<bool()> *>(keepGoing);
    return callback() ? 0 : 1;
}

}  // namespace

int percentOf(Step step, qint64 done, qint64 total)
{
    return step == Step::Copy && total > 0 ? int(done * 100 / total) : -1;
}

BackupFolder::BackupFolder(const QString &folder, const QString &tableName)
    : m_folder(QDir::cleanPath(QDir(folder).absolutePath())), m_tableName(tableName)
{ }

QString BackupFolder::nameFor(const QDateTime &made) const
{
    const QString stem = QStringLiteral("%1-backup-%2").arg(m_tableName, made.toString(kStampFormat));
    const QDir dir(m_folder);
    QString name = dir.filePath(stem + QStringLiteral(".db"));
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = dir.filePath(QStringLiteral("%1-%2.db").arg(stem).arg(n));
    return name;
}

Made BackupFolder::make(const QString &tableFile, const Progress &progress, const QDateTime &now) const
{
    if (!QDir().mkpath(m_folder))
        throw Error(QStringLiteral("The backup could not be made: the folder %1 cannot be made")
                        .arg(QDir::toNativeSeparators(m_folder)));
    try {
        removeLeftoverParts(m_folder, m_tableName);
        PartFile part(m_folder, partPrefix(m_tableName));

        Made made;
        made.counts = copyInto(tableFile, part, m_tableName, progress, m_folder);

        if (progress && !progress(Step::Check, 0, 0))
            throw Cancelled();
        const std::function<bool()> keepGoing = [&progress] { return !progress || progress(Step::Check, 0, 0); };
        try {
            check(part.name(), m_tableName, made.counts, keepGoing);
        } catch (const DamagedError &error) {
            throw Error(QStringLiteral("the copy did not pass its check (%1)").arg(error.message()));
        }

        if (progress && !progress(Step::Name, 0, 0))
            throw Cancelled();
        made.fileName = nameFor(now);
        if (::rename(QFile::encodeName(part.name()).constData(), QFile::encodeName(made.fileName).constData()) != 0)
            throw Error(PartFile::folderError(m_folder, errno));
        part.keep();
        syncFolder(m_folder);

        if (!progress || progress(Step::Thin, 0, 0))
            made.thinnedAway = thin(now);
        return made;
    } catch (const Cancelled &) {
        throw;
    } catch (const Error &error) {
        QString text = error.message();
        if (!text.startsWith(QLatin1String("the ")))
            text = QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(m_folder), text);
        throw Error(QStringLiteral("The backup could not be made: %1.").arg(text));
    }
}

QList<BackupInfo> BackupFolder::list(bool withCounts) const
{
    QList<BackupInfo> found;
    const QRegularExpression pattern = backupNamePattern(m_tableName);
    const QDir dir(m_folder);
    for (const QFileInfo &info : dir.entryInfoList({m_tableName + QStringLiteral("-backup-*.db")}, QDir::Files)) {
        const QRegularExpressionMatch match = pattern.match(info.fileName());
        if (!match.hasMatch())
            continue;
        BackupInfo backup;
        backup.fileName = info.absoluteFilePath();
        backup.made = QDateTime::fromString(match.captured(1), kStampFormat);
        if (!backup.made.isValid())
            continue;
        backup.size = info.size();
        if (withCounts) {
            try {
                backup.counts = countsOf(backup.fileName, m_tableName);
            } catch (const Error &error) {
                backup.problem = error.message();
            }
        }
        found << backup;
    }
    // Two made in one second are told apart by the number the later one got ("-2").
    const auto number = [&pattern](const BackupInfo &backup) {
        return pattern.match(QFileInfo(backup.fileName).fileName()).captured(2).mid(1).toInt();
    };
    std::stable_sort(found.begin(), found.end(), [&number](const BackupInfo &a, const BackupInfo &b) {
        return a.made != b.made ? a.made > b.made : number(a) > number(b);
    });
    return found;
}

std::optional<BackupInfo> BackupFolder::newest() const
{
    const QList<BackupInfo> all = list();
    if (all.isEmpty())
        return std::nullopt;
    return all.first();
}

QStringList BackupFolder::thin(const QDateTime &now) const
{
    const QList<BackupInfo> all = list();
    QList<QDateTime> made;
    for (const BackupInfo &backup : all)
        made << backup.made;
    QStringList removed;
    for (int index : thinnedByAge(made, now)) {
        if (QFile::remove(all.at(index).fileName))
            removed << all.at(index).fileName;
    }
    if (!removed.isEmpty())
        syncFolder(m_folder);
    return removed;
}

QList<int> thinnedByAge(const QList<QDateTime> &made, const QDateTime &now)
{
    // Newest first, so the first backup met in a period is the one it keeps.
    QList<int> order(made.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&made](int a, int b) { return made[a] > made[b]; });
    QSet<QString> periodsKept;
    QList<int> removed;
    for (int rank = 0; rank < order.size(); ++rank) {
        const QDateTime &when = made[order[rank]];
        const qint64 days = when.daysTo(now);
        QString period;
        if (days < 7 && rank > 0)
            continue;
        if (days < 8 * 7) {
            int year = 0;
            const int week = when.date().weekNumber(&year);
            period = QStringLiteral("w%1-%2").arg(year).arg(week);
        } else if (when.date() > now.date().addYears(-2)) {
            period = QStringLiteral("m%1").arg(when.toString(QStringLiteral("yyyy-MM")));
        } else {
            period = QStringLiteral("y%1").arg(when.date().year());
        }
        if (periodsKept.contains(period) && rank > 0)
            removed << order[rank];
        else
            periodsKept.insert(period);
    }
    std::sort(removed.begin(), removed.end());
    return removed;
}

Counts check(const QString &file, const QString &tableName, const std::optional<Counts> &expected,
             const std::function<bool()> &keepGoing)
{
    sql::Database db(file, sql::Database::Mode::ReadOnly);
    if (keepGoing)
        sqlite3_progress_handler(db.handle(), 10000, progressHandler, const_cast<std::function<bool()> *>(&keepGoing));
    QStringList problems;
    try {
        sql::Statement integrity = db.prepare(QStringLiteral("PRAGMA integrity_check"));
        while (integrity.step()) {
            const QString line = integrity.text(0);
            if (line != QLatin1String("ok"))
                problems << line;
        }
    } catch (const Error &) {
        if ((db.lastErrorCode() & 0xff) == SQLITE_INTERRUPT)
            throw Cancelled();
        throw;
    }
    if (keepGoing)
        sqlite3_progress_handler(db.handle(), 0, nullptr, nullptr);
    if (!problems.isEmpty())
        throw DamagedError(
            QStringLiteral("SQLite finds it damaged: %1").arg(problems.mid(0, 3).join(QStringLiteral("; "))));
    if (!db.hasTable(tableName))
        throw DamagedError(QStringLiteral("it holds no table %1").arg(tableName));
    const Counts counts = countIn(db, tableName);
    if (expected && !(counts == *expected))
        throw DamagedError(QStringLiteral("it holds %1 jobs and %2 photos, the table held %3 and %4")
                               .arg(counts.jobs)
                               .arg(counts.photos)
                               .arg(expected->jobs)
                               .arg(expected->photos));
    return counts;
}

Counts countsOf(const QString &tableFile, const QString &tableName)
{
    sql::Database db(tableFile, sql::Database::Mode::ReadOnly);
    db.exec(QStringLiteral("BEGIN"));
    if (!db.hasTable(tableName))
        throw DamagedError(QStringLiteral("%1 holds no table %2").arg(QDir::toNativeSeparators(tableFile), tableName));
    const Counts counts = countIn(db, tableName);
    db.exec(QStringLiteral("COMMIT"));
    return counts;
}

QString restore(const QString &backupFile, const QString &tableFile, const QString &tableName, const Progress &progress,
                const QDateTime &now)
{
    const QFileInfo target(tableFile);
    const QString folder = target.absolutePath();
    // Another program with the table open keeps a log that would be replayed into the copy.
    for (const char *suffix : {"-wal", "-journal"}) {
        const QFileInfo log(tableFile + QLatin1String(suffix));
        if (log.exists() && log.size() > 0)
            throw Error(QStringLiteral("The backup was not restored: another program has the record table open "
                                       "(its log %1 is in use). Close that program and try again.")
                            .arg(QDir::toNativeSeparators(log.absoluteFilePath())));
    }
    const std::function<bool()> keepGoing = [&progress] { return !progress || progress(Step::Check, 0, 0); };
    if (progress && !progress(Step::Check, 0, 0))
        throw Cancelled();
    Counts counts;
    try {
        counts = check(backupFile, tableName, std::nullopt, keepGoing);
    } catch (const DamagedError &error) {
        throw Error(QStringLiteral("The backup %1 cannot be restored: %2.")
                        .arg(QDir::toNativeSeparators(backupFile), error.message()));
    }

    // The same names a table's creation uses for its new file: a leftover is removed at start.
    PartFile part(folder, target.fileName() + QStringLiteral(".new-"));
    try {
        copyInto(backupFile, part, tableName, progress, folder);
        check(part.name(), tableName, counts, keepGoing);
    } catch (const Cancelled &) {
        throw;
    } catch (const Error &error) {
        throw Error(
            QStringLiteral("The backup was not restored: %1. The record table is as it was.").arg(error.message()));
    }

    if (progress && !progress(Step::Name, 0, 1))
        throw Cancelled();
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept;
    // A table moved aside as damaged leaves nothing in place to keep.
    const bool present = QFileInfo::exists(tableFile);
    for (int n = 1; present; ++n) {
        kept
            = QDir(folder).filePath(n == 1 ? QStringLiteral("%1-before-restore-%2.db").arg(tableName, stamp)
                                           : QStringLiteral("%1-before-restore-%2-%3.db").arg(tableName, stamp).arg(n));
        if (::link(QFile::encodeName(tableFile).constData(), QFile::encodeName(kept).constData()) == 0)
            break;
        if (errno != EEXIST)
            throw Error(QStringLiteral("The backup was not restored: the record table could not be kept as %1 (%2). "
                                       "The record table is as it was.")
                            .arg(QDir::toNativeSeparators(kept), systemText(errno)));
    }
    if (progress && !progress(Step::Name, 1, 1)) {
        if (present)
            QFile::remove(kept);
        throw Cancelled();
    }
    if (::rename(QFile::encodeName(part.name()).constData(), QFile::encodeName(tableFile).constData()) != 0) {
        const int error = errno;
        if (present)
            QFile::remove(kept);
        throw Error(QStringLiteral("The backup was not restored: %1. The record table is as it was.")
                        .arg(PartFile::folderError(folder, error)));
    }
    part.keep();
    QFile::remove(tableFile + QStringLiteral("-shm"));
    syncFolder(folder);
    return kept;
}

void tidyInterruptedRestore(const QString &tableFile)
{
    const QFileInfo target(tableFile);
    struct stat table
    {
    };
    if (::stat(QFile::encodeName(tableFile).constData(), &table) != 0)
        return;
    const QDir dir = target.dir();
    for (const QString &name :
         dir.entryList({target.completeBaseName() + QStringLiteral("-before-restore-*.db")}, QDir::Files)) {
        struct stat kept
        {
        };
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        if (::stat(path.constData(), &kept) == 0 && kept.st_dev == table.st_dev && kept.st_ino == table.st_ino)
            ::unlink(path.constData());
    }
}

}  // namespace kelvara::backups
