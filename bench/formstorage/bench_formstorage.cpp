// Benchmark of the main window's stored settings: the restore that runs before the window is
// first shown (placement, the grid's options, its eleven columns with fonts, titles and pick
// lists, the five stretch flags), against reading the same settings file with QSettings alone.
// The stored column list holds one column fewer than the window has, so every restore removes
// the columns, makes them anew and assigns every stored value: the costliest restore there is.
#include "app/formstorage.h"
#include "app/tform1.h"
#include "benchapplication.h"
#include "benchfigures.h"
#include "grid/tcolumn.h"
#include "grid/tdbgridcolumns.h"
#include "grid/tenhancedgrid.h"
#include "jobgenerator.h"
#include "platform/settingsstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace kelvara;

using kelvara::bench::median;

namespace {

constexpr double kMsTarget = 50.0;

// Reads every value of the file, as the restore's baseline: the store's own cost.
double readAllMs(int &values)
{
    QElapsedTimer timer;
    timer.start();
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    values = 0;
    for (const QString &key : settings->allKeys())
        values += settings->value(key).toString().isNull() ? 0 : 1;
    return timer.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char **argv)
{
    bench::BenchApplication app(argc, argv, "bench_formstorage", 1000, 50);
    if (!app.argumentsRead())
        return 2;
    const int records = app.records();
    const int runs = app.runs();

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    // The grid shows a table of jobs while its columns are made anew, as it does at start.
    bench::JobGenerator(2024).fillTable(dir.path(), QStringLiteral("kelvara"), records, 0);
    SettingsFileScope scope(dir.filePath(QStringLiteral("Kelvara.ini")));

    // A window whose settings differ from the design in every kind of value, closed to store them.
    {
        TForm1 form;
        form.show();
        auto *grid = form.findChild<TEnhancedGrid *>(QStringLiteral("EnhancedGrid1"));
        grid->setMenuOptions(TEnhancedGrid::moAutoSize | TEnhancedGrid::moCellHints);
        grid->columns()->removeAt(10);
        for (int i = 0; i < grid->columns()->count(); ++i) {
            TColumn *column = grid->columns()->items(i);
            column->setWidth(60 + i);
            column->setPickList({QStringLiteral("One %1").arg(i), QStringLiteral("Two"), QStringLiteral("Three")});
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(12);
            font.setBold(i % 2 == 0);
            column->setFont(font);
        }
        form.findChild<QWidget *>(QStringLiteral("Image3"))->setProperty("Stretch", false);
        form.close();
    }

    TForm1 form;
    form.show();
    auto *grid = form.findChild<TEnhancedGrid *>(QStringLiteral("EnhancedGrid1"));
    std::vector<double> restore;
    std::vector<double> baseline;
    int values = 0;
    for (int run = 0; run < runs; ++run) {
        // Untimed: the window gets its designed column count back, so the restore makes them anew.
        grid->columns()->add()->setFieldName(QStringLiteral("method"));
        QCoreApplication::sendPostedEvents();
        QElapsedTimer timer;
        timer.start();
        form.formStorage()->restore();
        // The grid lays itself out on the new columns through the event queue: that is counted.
        QCoreApplication::sendPostedEvents();
        restore.push_back(timer.nsecsElapsed() / 1e6);
        baseline.push_back(readAllMs(values));
    }
    if (grid->columns()->count() != 10) {
        std::fprintf(stderr, "the restore did not bring back the stored columns\n");
        return 1;
    }

    const double restoreMs = median(restore);
    const double baselineMs = median(baseline);
    std::printf("Stored settings of the main window: restore before the first show, offscreen\n");
    std::printf("(%d jobs in the table, %d values in the settings file; medians of %d runs)\n\n", records, values,
                runs);
    std::printf("%-52s %9.2f ms  (target <= %.0f ms)\n", "restore: placement, options, 10 columns, stretch", restoreMs,
                kMsTarget);
    std::printf("%-52s %9.2f ms\n", "  QSettings alone reading every value (baseline)", baselineMs);
    std::printf("%-52s %9.2fx\n", "restore / baseline", restoreMs / baselineMs);
    return 0;
}
