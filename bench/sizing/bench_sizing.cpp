// Benchmark of the grid's widest-value measurement: one walk over 100,000 jobs measuring the data
// sheet's eleven columns, against the sqlite3 shell reading the same columns of the same file.
#include "app/datasheetgrid.h"
#include "app/tform1.h"
#include "benchapplication.h"
#include "benchfigures.h"
#include "grid/gridsizing.h"
#include "jobgenerator.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvara;

using kelvara::bench::median;
using kelvara::bench::sqliteShellMs;

namespace {

const QString kShell = kelvara::bench::sqliteShell();
constexpr double kRatioTarget = 4.0;

void openTable(Table &table, const QString &directory, const QString &name)
{
    table.setDirectory(directory);
    table.setTableName(name);
    table.open();
}

QList<Field *> sheetFields(const Table &table)
{
    QList<Field *> fields;
    for (const DataSheetColumn &column : dataSheetColumns())
        fields << table.fieldByName(QString::fromLatin1(column.field));
    return fields;
}

QList<sizing::MeasuredColumn> sheetColumns(const Table &table)
{
    QList<sizing::MeasuredColumn> columns;
    for (Field *field : sheetFields(table)) {
        sizing::MeasuredColumn column;
        column.field = field;
        column.font = QApplication::font();
        columns << column;
    }
    return columns;
}

// One measurement over a freshly opened table, so that no run reads records an earlier one cached.
double measureMs(const QString &directory, const QString &name, QList<int> *widths)
{
    Table table;
    openTable(table, directory, name);
    const QList<sizing::MeasuredColumn> columns = sheetColumns(table);
    QElapsedTimer timer;
    timer.start();
    *widths = sizing::widestValues(table, columns);
    return timer.nsecsElapsed() / 1e6;
}

// The measurement as the program runs it: on the main window's table, which the window opens
// from the working directory, with the window's after-scroll handler and bound controls attached.
double windowMeasureMs()
{
    TForm1 form;
    Table &table = *form.table();
    if (!table.active())
        qFatal("the window did not open its table");
    const QList<sizing::MeasuredColumn> columns = sheetColumns(table);
    QElapsedTimer timer;
    timer.start();
    sizing::widestValues(table, columns);
    return timer.nsecsElapsed() / 1e6;
}

// The same walk reading the display texts without measuring them, to tell the two costs apart.
double readMs(const QString &directory, const QString &name)
{
    Table table;
    openTable(table, directory, name);
    const QList<Field *> fields = sheetFields(table);
    QElapsedTimer timer;
    timer.start();
    qint64 characters = 0;
    table.last();
    while (!table.bof()) {
        for (const Field *field : fields) {
            if (!field->isNull())
                characters += field->displayText().size();
        }
        table.prior();
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    if (characters == 0)
        qFatal("the walk read nothing");
    return ms;
}

}  // namespace

int main(int argc, char **argv)
{
    bench::BenchApplication app(argc, argv, "bench_sizing", 100000, 7);
    if (!app.argumentsRead())
        return 2;
    if (!app.hasShell())
        return 1;
    const int records = app.records();
    const int runs = app.runs();

    QTemporaryDir dir;
    const QString name = QStringLiteral("jobs");
    QElapsedTimer timer;
    timer.start();
    bench::JobGenerator(2024).fillTable(dir.path(), name, records, 0);
    Table probe;
    openTable(probe, dir.path(), name);
    QStringList columns;
    for (const Field *field : sheetFields(probe))
        columns << QLatin1Char('"') + field->fieldName() + QLatin1Char('"');
    const QString query = QStringLiteral("SELECT %1 FROM \"%2\"").arg(columns.join(QStringLiteral(", ")), name);
    std::printf("Widest values: %d records, the data sheet's eleven columns, offscreen\n", probe.recordCount());
    std::printf("(table made in %.1f s; medians of %d runs, each on a table opened anew)\n\n", timer.elapsed() / 1000.0,
                runs);

    std::vector<double> measured, read, shell, startup;
    QList<int> widths;
    for (int i = 0; i < runs; ++i) {
        measured.push_back(measureMs(dir.path(), name, &widths));
        read.push_back(readMs(dir.path(), name));
        shell.push_back(sqliteShellMs(probe.fileName(), query));
        startup.push_back(sqliteShellMs(probe.fileName(), QStringLiteral("SELECT 1")));
    }
    const double m = median(measured);
    const double sh = median(shell) - median(startup);
    QStringList widthTexts;
    for (int width : widths)
        widthTexts << QString::number(width);
    std::printf("%-58s %9.1f ms\n", "widest values, eleven columns (one walk)", m);
    std::printf("%-58s %9.1f ms\n", "  the same walk reading the display texts only", median(read));
    std::printf("%-58s %9.1f ms\n", "sqlite3 shell: same columns to /dev/null", median(shell));
    std::printf("%-58s %9.1f ms\n", "  of which shell start and open (SELECT 1)", median(startup));
    std::printf("%-58s %9.2f     (target <= %.0f: %s)\n", "ratio widest values / shell (start excluded)", m / sh,
                kRatioTarget, m / sh <= kRatioTarget ? "met" : "MISSED");
    std::printf("widest texts: %s\n", qPrintable(widthTexts.join(QLatin1Char(' '))));

    // The main window's table holds the same jobs; the window opens it from the working directory.
    const QString windowDir = dir.filePath(QStringLiteral("window"));
    QDir().mkpath(windowDir);
    bench::JobGenerator(2024).fillTable(windowDir, QStringLiteral("kelvara"), records, 0);
    QDir::setCurrent(windowDir);
    std::vector<double> window;
    for (int i = 0; i < runs; ++i)
        window.push_back(windowMeasureMs());
    const double w = median(window);
    std::printf("\n%-58s %9.1f ms\n", "widest values on the main window's table (its handlers on)", w);
    std::printf("%-58s %9.2f\n", "ratio to the shell (start excluded)", w / sh);
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
