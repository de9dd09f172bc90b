#pragma once

#include <QApplication>

namespace kelvara::bench {

// The start the benchmarks of the windows share: offscreen unless a platform is asked for, the
// settings and files of what is measured kept apart from the user's (Qt's test mode), and
// "--records N" and "--runs N" read over the benchmark's own defaults.
class BenchApplication : public QApplication
{
public:
    BenchApplication(int &argc, char **argv, const char *program, int records, int runs);

    // False when the arguments were not understood; the usage has been printed.
    bool argumentsRead() const { return m_argumentsRead; }
    int records() const { return m_records; }
    int runs() const { return m_runs; }
    // True when the sqlite3 shell is there; otherwise says that the benchmark needs it.
    bool hasShell() const;

private:
    const char *m_program;
    int m_records;
    int m_runs;
    bool m_argumentsRead;
};

}  // namespace kelvara::bench
