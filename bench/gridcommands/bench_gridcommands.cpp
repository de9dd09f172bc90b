// Benchmark of the enhanced grid's whole-table commands on the data sheet's grid over 100,000
// jobs: the export of its eleven columns against the sqlite3 shell writing the same columns to a
// file, select all against the store's own walk over the same records, and saving and loading
// the column layout. The export and select all are timed again on the main window's grid, with
// the window's after-scroll handler and bound controls attached.
#include "app/datasheetgrid.h"
#include "app/tform1.h"
#include "benchapplication.h"
#include "benchfigures.h"
#include "grid/tcolumn.h"
#include "grid/tenhancedgrid.h"
#include "jobgenerator.h"
#include "platform/settingsstore.h"
#include "scripteddialogs.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/table.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <vector>

using namespace kelvara;

using kelvara::bench::median;
using kelvara::bench::sqliteShellMs;

namespace {

constexpr double kExportRatioTarget = 1.5;
constexpr double kSelectRatioTarget = 2.0;
constexpr double kLayoutMsTarget = 50.0;

double timeMs(const std::function<void()> &step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return timer.nsecsElapsed() / 1e6;
}

// The store's walk that select all makes, without selecting: the baseline of select all.
void walk(Table &table)
{
    DisabledControlsScope suspended(table);
    table.first();
    while (!table.eof())
        table.next();
    suspended.resume();
}

QString shellQuery(const QString &tableName)
{
    QStringList columns;
    for (const DataSheetColumn &column : dataSheetColumns())
        columns << QLatin1Char('"') + QString::fromLatin1(column.field) + QLatin1Char('"');
    return QStringLiteral("SELECT %1 FROM \"%2\"").arg(columns.join(QStringLiteral(", ")), tableName);
}

void printRatio(const char *what, double ms, double baselineMs, double target)
{
    const double ratio = ms / baselineMs;
    std::printf("%-60s %8.2f     (target <= %.1f: %s)\n", what, ratio, target, ratio <= target ? "met" : "MISSED");
}

void printMs(const char *what, double ms)
{
    std::printf("%-60s %8.1f ms\n", what, ms);
}

struct CommandFigures
{
    double exportMs = 0;
    double shellMs = 0;  // the shell's start and open taken off
    double selectAllMs = 0;
    double walkMs = 0;
};

// Export and select all on a grid, each beside its baseline in the same run, so that a machine
// busy with other work weighs on both alike; select all is undone after each run, untimed.
CommandFigures timeCommands(TEnhancedGrid &grid, Table &table, const QString &exportFile, int runs)
{
    const QString shellFile = exportFile + QStringLiteral(".shell");
    const QStringList shellOptions{QStringLiteral("-separator"), QStringLiteral("|"), QStringLiteral("-newline"),
                                   QStringLiteral("\r\n")};
    std::vector<double> exported, shell, startup, selected, walked;
    for (int i = 0; i < runs; ++i) {
        exported.push_back(timeMs([&] { grid.ExportToFile(exportFile); }));
        shell.push_back(sqliteShellMs(table.fileName(), shellQuery(table.tableName()), shellOptions, shellFile));
        startup.push_back(sqliteShellMs(table.fileName(), QStringLiteral("SELECT 1")));
        selected.push_back(timeMs([&] { grid.selectAll(); }));
        if (grid.selectedRows().count() != table.recordCount())
            qFatal("select all selected %d of %d records", grid.selectedRows().count(), table.recordCount());
        grid.unselectAll();
        walked.push_back(timeMs([&] { walk(table); }));
    }
    if (QFile(exportFile).size() != QFile(shellFile).size())
        qFatal("the export and the shell wrote files of different sizes");
    return {median(exported), median(shell) - median(startup), median(selected), median(walked)};
}

void printCommands(const CommandFigures &figures)
{
    printMs("export, eleven columns (ExportToFile)", figures.exportMs);
    printMs("sqlite3 shell: same columns to a file, '|' and CR LF, start excluded", figures.shellMs);
    printRatio("ratio export / shell", figures.exportMs, figures.shellMs, kExportRatioTarget);
    printMs("select all", figures.selectAllMs);
    printMs("the store's walk over the same records", figures.walkMs);
    printRatio("ratio select all / walk", figures.selectAllMs, figures.walkMs, kSelectRatioTarget);
}

}  // namespace

int main(int argc, char **argv)
{
    // The shell's time and the export's swing by a fifth on a shared machine: enough runs for a
    // steady median.
    bench::BenchApplication app(argc, argv, "bench_gridcommands", 100000, 11);
    if (!app.argumentsRead())
        return 2;
    if (!app.hasShell())
        return 1;
    const int records = app.records();
    const int runs = app.runs();
    // The export's message box is answered without a window.
    ScriptedDialogsScope dialogs;
    QTemporaryDir dir;
    SettingsFileScope settingsFile(dir.filePath(QStringLiteral("settings.ini")));

    const QString name = QStringLiteral("jobs");
    QElapsedTimer made;
    made.start();
    bench::JobGenerator(2024).fillTable(dir.path(), name, records, 0);
    Table table;
    table.setDirectory(dir.path());
    table.setTableName(name);
    table.open();
    DataSource source;
    source.setDataSet(&table);
    TEnhancedGrid grid;
    setUpDataSheetGrid(grid, &source);
    grid.resize(969, 225);
    grid.show();
    std::printf("Grid commands: %d records, the data sheet's grid (eleven columns), offscreen\n", table.recordCount());
    std::printf("(table made in %.1f s; medians of %d runs)\n\n", made.elapsed() / 1000.0, runs);

    const QString exportFile = dir.filePath(QStringLiteral("export.txt"));
    printCommands(timeCommands(grid, table, exportFile, runs));
    std::vector<double> saved, loaded;
    TColumn *first = grid.columns()->items(0);
    for (int i = 0; i < runs; ++i) {
        saved.push_back(timeMs([&] { grid.saveLayout(); }));
        // Something for the load to restore.
        const int width = first->width();
        first->setWidth(width + 10);
        loaded.push_back(timeMs([&] { grid.loadLayout(); }));
        if (first->width() != width)
            qFatal("the layout did not come back");
    }
    const double saveMs = median(saved);
    const double loadMs = median(loaded);
    std::printf("%-60s %8.2f ms  (target <= %.0f ms: %s)\n", "save layout", saveMs, kLayoutMsTarget,
                saveMs <= kLayoutMsTarget ? "met" : "MISSED");
    std::printf("%-60s %8.2f ms  (target <= %.0f ms: %s)\n", "load layout", loadMs, kLayoutMsTarget,
                loadMs <= kLayoutMsTarget ? "met" : "MISSED");

    // The main window opens the same jobs from the working directory.
    const QString windowDir = dir.filePath(QStringLiteral("window"));
    QDir().mkpath(windowDir);
    bench::JobGenerator(2024).fillTable(windowDir, QStringLiteral("kelvara"), records, 0);
    QDir::setCurrent(windowDir);
    {
        TForm1 form;
        auto *windowGrid = form.findChild<TEnhancedGrid *>(QStringLiteral("EnhancedGrid1"));
        if (!form.table()->active() || !windowGrid)
            qFatal("the window did not open its table and grid");
        std::printf("\nOn the main window's grid (its handlers on):\n");
        printCommands(timeCommands(*windowGrid, *form.table(), exportFile, runs));
    }
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
