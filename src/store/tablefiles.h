#pragma once

#include <QString>

namespace kelvara::tablefiles {

// The files of the tables open in this process, which nothing but SQLite may open: POSIX drops
// every lock a process holds on a file when any descriptor of it is closed, so a stray open and
// close would let another program delete a table's log, and the records in it, under us.

void add(const QString &tableFile);  // the table file; its log and journal files come with it
void remove(const QString &tableFile);

// Whether a path names one of those files, by name or as another link to the same file.
bool contains(const QString &path);
// Throws when it does: for every place that opens a file the user names.
void refuse(const QString &path);

}  // namespace kelvara::tablefiles
