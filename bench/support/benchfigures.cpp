#include "benchfigures.h"

#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace kelvara::bench {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

bool readRecordsAndRuns(const QStringList &args, const char *program, int &records, int &runs,
                        const QStringList &switches)
{
    bool understood = true;
    for (int i = 1; i < args.size() && understood; ++i) {
        if (args.at(i) == QLatin1String("--records"))
            records = args.value(++i).toInt();
        else if (args.at(i) == QLatin1String("--runs"))
            runs = args.value(++i).toInt();
        else
            understood = switches.contains(args.at(i));
    }
    if (understood && records > 0 && runs > 0)
        return true;
    std::printf("usage: %s [--records N] [--runs N]", program);
    for (const QString &name : switches)
        std::printf(" [%s]", qPrintable(name));
    std::printf("\n");
    return false;
}

QString sqliteShell()
{
    return QStringLiteral("/usr/bin/sqlite3");
}

double sqliteShellMs(const QString &file, const QString &query)
{
    return sqliteShellMs(file, query, {}, QProcess::nullDevice());
}

double sqliteShellMs(const QString &file, const QString &query, const QStringList &options, const QString &outputFile)
{
    QProcess process;
    process.setStandardOutputFile(outputFile);
    QElapsedTimer timer;
    timer.start();
    process.start(sqliteShell(), QStringList{QStringLiteral("-readonly")} + options + QStringList{file, query});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("sqlite3 failed: %s", qPrintable(QString::fromLocal8Bit(process.readAllStandardError())));
    return timer.nsecsElapsed() / 1e6;
}

}  // namespace kelvara::bench
