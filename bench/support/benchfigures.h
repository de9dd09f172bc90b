#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace kelvara::bench {

// The middle of the values (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> values);

// Reads "--records N" and "--runs N" from the command line over the defaults given, and lets the
// switches given pass; prints the usage and gives false for any other argument or a count below 1.
bool readRecordsAndRuns(const QStringList &args, const char *program, int &records, int &runs,
                        const QStringList &switches = {});

// Where the sqlite3 shell is expected.
QString sqliteShell();

// How long the sqlite3 shell takes to run one query on a file, read-only, its output thrown
// away: the baseline the store's and the grid's walks are held against. Ends the program when
// the shell fails, since every figure after it would be meaningless.
double sqliteShellMs(const QString &file, const QString &query);
// The same with shell options before the file name, its output written to outputFile.
double sqliteShellMs(const QString &file, const QString &query, const QStringList &options, const QString &outputFile);

}  // namespace kelvara::bench
