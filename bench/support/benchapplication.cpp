#include "benchapplication.h"

#include "benchfigures.h"

#include <QFile>
#include <QStandardPaths>

#include <cstdio>

namespace kelvara::bench {

namespace {

// Runs before the application is made, which is when Qt picks its platform.
int &offscreenUnlessAsked(int &argc)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return argc;
}

}  // namespace

BenchApplication::BenchApplication(int &argc, char **argv, const char *program, int records, int runs)
    : QApplication(offscreenUnlessAsked(argc), argv), m_program(program), m_records(records), m_runs(runs)
{
    QStandardPaths::setTestModeEnabled(true);
    m_argumentsRead = readRecordsAndRuns(arguments(), program, m_records, m_runs);
}

bool BenchApplication::hasShell() const
{
    if (QFile::exists(sqliteShell()))
        return true;
    std::printf("%s needs the sqlite3 shell at %s\n", m_program, qPrintable(sqliteShell()));
    return false;
}

}  // namespace kelvara::bench
