// Benchmark of the season statistics over many jobs: the window opened on them (its figures
// counted, laid out and painted once) against the sqlite3 shell running the same GROUP BY
// statements on the same file in the same run.
#include "app/statisticswindow.h"
#include "benchapplication.h"
#include "benchfigures.h"
#include "jobgenerator.h"
#include "store/sqlite.h"
#include "store/statistics.h"
#include "store/table.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace kelvara;

namespace {

constexpr double kWindowTargetMs = 100;
constexpr double kRatioTarget = 3;

// The statements the figures were counted with, as the shell runs them on the whole table.
QString shellQueries(const SeasonStatistics &figures)
{
    QString script;
    for (const StatisticsQuery &query : figures.queries)
        script += QStringLiteral("SELECT %1 FROM \"kelvara\" GROUP BY %2;\n").arg(query.columns, query.groupBy);
    return script;
}

}  // namespace

int main(int argc, char *argv[])
{
    bench::BenchApplication app(argc, argv, "bench_statistics", 100000, 11);
    if (!app.argumentsRead())
        return 2;
    if (!app.hasShell())
        return 1;

    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("cannot make a temporary folder");
    bench::JobGenerator(20261211).fillTable(dir.path(), QStringLiteral("kelvara"), app.records(), 0);
    Table table;
    table.setDirectory(dir.path());
    table.setTableName(QStringLiteral("kelvara"));
    table.open();
    const QWidget noDataSheet;
    const QList<StatisticsField> fields = statisticsFields(noDataSheet);

    const SeasonStatistics expected = countSeasonStatistics(table, fields);
    if (expected.jobs != app.records())
        qFatal("the figures count %lld jobs of %d", expected.jobs, app.records());
    const QString queries = shellQueries(expected);

    std::vector<double> shown, counted, shell, startup;
    for (int run = 0; run < app.runs(); ++run) {
        startup.push_back(bench::sqliteShellMs(table.fileName(), QStringLiteral("SELECT 1;")));
        shell.push_back(bench::sqliteShellMs(table.fileName(), queries));

        QElapsedTimer timer;
        timer.start();
        const SeasonStatistics figures = countSeasonStatistics(table, fields);
        counted.push_back(timer.nsecsElapsed() / 1e6);
        if (figures.jobs != expected.jobs)
            qFatal("the figures changed between runs");

        timer.restart();
        StatisticsWindow window(table, fields, QStringLiteral("All jobs"));
        // Laid out and painted once, every chart and table drawn.
        const QPixmap painted = window.grab();
        shown.push_back(timer.nsecsElapsed() / 1e6);
        if (painted.isNull() || window.statistics().jobs != expected.jobs)
            qFatal("the window did not show the figures");
    }

    const double shellMs = bench::median(shell) - bench::median(startup);
    const double shownMs = bench::median(shown);
    std::printf("season statistics over %d jobs, %d years, medians of %d runs\n", app.records(),
                int(expected.months.size()), app.runs());
    std::printf("%-60s %8.2f ms\n", "sqlite3 shell: the same GROUP BY statements, start excluded", shellMs);
    std::printf("%-60s %8.2f ms\n", "sqlite3 shell: start and open alone", bench::median(startup));
    std::printf("%-60s %8.2f ms\n", "the figures counted alone", bench::median(counted));
    std::printf("%-60s %8.2f ms     (target <= %.0f ms: %s)\n", "the window: counted, laid out and painted once",
                shownMs, kWindowTargetMs, shownMs <= kWindowTargetMs ? "met" : "MISSED");
    const double ratio = shownMs / shellMs;
    std::printf("(target <= %.1f: %s)\n", kRatioTarget, ratio <= kRatioTarget ? "met" : "MISSED");
    std::printf("statistics / shell GROUP BY = %.2f\n", ratio);
    return 0;
}
