#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kelvara::backups {

// Copies of a table file made with SQLite's online backup, each checked before it counts, in a
// folder of their own. A copy is written under a temporary name and gets its backup name only
// once SQLite finds it sound and it holds as many records and photos as the table did when the
// copy began; so every file named as a backup was verified, and a process killed at any moment
// leaves no half file that counts as one.

struct Counts
{
    qint64 jobs = 0;    // records of the table
    qint64 photos = 0;  // photos kept apart from them
    bool operator==(const Counts &other) const { return jobs == other.jobs && photos == other.photos; }
};

// The steps of a backup and of a restore, in order; the callback hears each one and may stop
// the work by answering false (nothing then counts, and every earlier file stays as it was).
enum class Step { Copy, Check, Name, Thin };
using Progress = std::function<bool(Step step, qint64 done, qint64 total)>;
// How far a step is, in percent; -1 for the steps that cannot tell (the check, the naming).
int percentOf(Step step, qint64 done, qint64 total);

struct BackupInfo
{
    QString fileName;  // the full path
    QDateTime made;    // local time, from the name
    qint64 size = 0;
    std::optional<Counts> counts;  // read on request; none when the file cannot be read
    QString problem;               // why the file cannot be read, if it cannot
};

struct Made
{
    QString fileName;
    Counts counts;
    QStringList thinnedAway;  // older backups removed by the thinning that followed
};

class BackupFolder
{
public:
    // tableName is the table's SQL name: its photos are in "<tableName>_blobs".
    explicit BackupFolder(const QString &folder, const QString &tableName = QStringLiteral("kelvara"));

    QString folder() const { return m_folder; }

    // Makes a verified backup of the table file as it stands when the copy begins (later saves
    // by other connections are not in it), then thins the older ones. Runs on any thread, on
    // connections of its own. Throws an Error whose text says what went wrong and where; a
    // stopped backup throws Cancelled.
    Made make(const QString &tableFile, const Progress &progress = {},
              const QDateTime &now = QDateTime::currentDateTime()) const;

    // The backups in the folder, newest first; with counts, each file is opened to count.
    QList<BackupInfo> list(bool withCounts = false) const;
    std::optional<BackupInfo> newest() const;

    // Removes the backups the age rule no longer keeps; gives their file names.
    QStringList thin(const QDateTime &now = QDateTime::currentDateTime()) const;

    // The name a backup made at that time gets (a free one, should two fall in one second).
    QString nameFor(const QDateTime &made) const;

private:
    QString m_folder;
    QString m_tableName;
};

class Cancelled : public std::exception
{
public:
    const char *what() const noexcept override { return "cancelled"; }
};

// Which of the backups made at these times the age rule removes, by index: every backup of the
// last 7 days is kept, then the newest of each week for 8 weeks, of each month for 2 years and
// of each year for ever. The newest backup is always kept.
QList<int> thinnedByAge(const QList<QDateTime> &made, const QDateTime &now);

// Checks a copy: SQLite's integrity check, and its counts, which must equal `expected` when
// given. Throws DamagedError saying what is wrong; gives the counts.
Counts check(const QString &file, const QString &tableName, const std::optional<Counts> &expected = {},
             const std::function<bool()> &keepGoing = {});

// The counts of an open table file, read in one transaction.
Counts countsOf(const QString &tableFile, const QString &tableName);

// Puts a backup in place of the table file, which must be closed by this process. The backup is
// checked and copied beside the table first; the table in place is then kept under the name
// "<stem>-before-restore-<date>-<time>.db" (a second name of the same file, so that it is never
// missing), and the copy is renamed over the table. Gives the kept file's name (none when no
// table was in place, as after a damaged one was moved aside). Throws Error
// (the table untouched) when the backup is not sound or another program has the table open.
QString restore(const QString &backupFile, const QString &tableFile, const QString &tableName,
                const Progress &progress = {}, const QDateTime &now = QDateTime::currentDateTime());

// A restore ended between keeping the table and renaming the copy over it leaves the kept name
// as a second name of the table in place: it is removed, as it keeps nothing apart.
void tidyInterruptedRestore(const QString &tableFile);

}  // namespace kelvara::backups
