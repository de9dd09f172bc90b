// Benchmark of opening the grid's memo editor over a notes cell: the time from the request to the
// editor shown, bound, focused and painted, on a table of 100,000 jobs against one of 1,000 (the
// baseline), the current record in the middle of each. Opening must not grow with the table.
#include "benchapplication.h"
#include "benchfigures.h"
#include "dbctrls/tdbmemo.h"
#include "grid/tenhancedgrid.h"
#include "jobgenerator.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvara;

using kelvara::bench::median;

namespace {

constexpr double kMsTarget = 16.0;
constexpr double kRatioTarget = 1.2;

// Median of the runs opening the memo editor on the notes cell of the middle record.
double openMs(const QString &directory, const QString &name, int runs, int *records)
{
    Table table;
    table.setDirectory(directory);
    table.setTableName(name);
    table.open();
    *records = table.recordCount();
    DataSource source;
    source.setDataSet(&table);
    QWidget form;
    form.resize(1000, 400);
    TEnhancedGrid grid(&form);
    grid.setGeometry(0, 0, 1000, 400);
    grid.setDataSource(&source);
    form.show();
    QApplication::setActiveWindow(&form);
    table.setRecNo(*records / 2);
    grid.setSelectedIndex(table.fieldByName(QStringLiteral("notes"))->index());
    grid.setFocus();
    QApplication::processEvents();

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        grid.openMemoEditor(true);
        QApplication::processEvents();
        times.push_back(timer.nsecsElapsed() / 1e6);
        TDBMemo *memo = grid.memoEditor();
        if (!memo || !memo->isVisible())
            qFatal("the memo editor did not open");
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(memo, &escape);
        QApplication::processEvents();
        if (memo->isVisible())
            qFatal("the memo editor did not close");
    }
    return median(times);
}

}  // namespace

int main(int argc, char **argv)
{
    bench::BenchApplication app(argc, argv, "bench_gridediting", 100000, 21);
    if (!app.argumentsRead())
        return 2;
    const int records = app.records();
    const int runs = app.runs();
    QTemporaryDir dir;
    bench::JobGenerator(2024).fillTable(dir.path(), QStringLiteral("large"), records, 0);
    bench::JobGenerator(2024).fillTable(dir.path(), QStringLiteral("small"), 1000, 0);

    int largeCount = 0;
    int smallCount = 0;
    const double small = openMs(dir.path(), QStringLiteral("small"), runs, &smallCount);
    const double large = openMs(dir.path(), QStringLiteral("large"), runs, &largeCount);
    std::printf("Opening the memo editor over the notes cell of the middle record, offscreen\n");
    std::printf("(medians of %d runs: open, bind, focus, select all and the paint that follows)\n\n", runs);
    std::printf("%-52s %8.2f ms\n", qPrintable(QStringLiteral("%1 records (baseline)").arg(smallCount)), small);
    std::printf("%-52s %8.2f ms   (target <= %.0f ms: %s)\n", qPrintable(QStringLiteral("%1 records").arg(largeCount)),
                large, kMsTarget, large <= kMsTarget ? "met" : "MISSED");
    std::printf("%-52s %8.2f      (target <= %.1f: %s)\n", "ratio large / baseline", large / small, kRatioTarget,
                large / small <= kRatioTarget ? "met" : "MISSED");
    return 0;
}
