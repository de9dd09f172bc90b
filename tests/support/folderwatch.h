#pragma once

#include <QString>
#include <QStringList>

namespace kelvara::test {

// The names of files opened or created in a folder, by anyone, this process included (inotify).
// A table's locks are lost when anything but SQLite opens and closes its files in our process.
class FolderWatch
{
public:
    enum Event { Opened, Created };
    FolderWatch(const QString &folder, Event event);
    ~FolderWatch();
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;

    bool works() const { return m_fd >= 0; }
    // The names since the last call; waits for at least one when asked to.
    QStringList names(bool wait = false);

private:
    int m_fd = -1;
};

// The number of records another program (the sqlite3 shell) sees in the kelvara table of
// file; -1 when it cannot read them.
int recordsSeenByAnotherProgram(const QString &file);

// Runs SQL on a table file as another program that stops without folding its write-ahead log
// into the file: what the SQL wrote is in the log only.
void writeToLogOnly(const QString &file, const char *sql);

}  // namespace kelvara::test
