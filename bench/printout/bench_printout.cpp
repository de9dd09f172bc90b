// Benchmark of the printed listing on the main window's grid over 100,000 jobs (about 1,700
// pages): the grid's printout and the record set's printout written to a PDF file, against the
// sqlite3 shell writing the same eleven columns to a text file, with the peak memory each run
// adds; and the preview: how long the command takes to show its first page, one page step, and
// the longest the preview keeps the event loop busy while it lays out the other pages.
#include "app/startup.h"
#include "app/tform1.h"
#include "benchapplication.h"
#include "benchfigures.h"
#include "grid/gridcompanions.h"
#include "grid/tenhancedgrid.h"
#include "jobgenerator.h"
#include "report/pageddocument.h"
#include "report/printpreview.h"
#include "scripteddialogs.h"
#include "store/field.h"
#include "store/table.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvara;
using kelvara::bench::median;

namespace {

constexpr double kPdfRatioTarget = 20.0;
constexpr double kMemoryTargetMb = 64.0;
constexpr double kFirstPageTargetMs = 1000.0;

const char *const kSheetFields[] = {"Dato",  "Firstname", "Lastname", "HomePhone", "WorkPhone", "Cellular",
                                    "Email", "camefrom",  "wentinto", "Typeofbee", "method"};

// A line of /proc/self/status in megabytes.
double statusMb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// Sets the peak resident size back to the present one, so that the next peak is the run's own.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct PdfRun
{
    double ms = 0;
    double peakGrowthMb = 0;
    int pages = 0;
    qint64 bytes = 0;
};

// One printout command whose preview the scripted user saves as PDF at once.
PdfRun pdfRun(ScriptedDialogs &dialogs, TEnhancedGrid &grid, bool ofGrid, const QString &file)
{
    PdfRun run;
    dialogs.onPreview = [&](QWidget *, PagedDocument &document) {
        writePdfFile(document, file);
        run.pages = document.pagesLaidOut();
    };
    resetPeak();
    const double before = statusMb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    if (ofGrid)
        gridCompanions().printGrid(grid, QStringLiteral("Data Printout"), GridCompanions::PrintMode::Preview);
    else
        gridCompanions().printDataSet(grid, QStringLiteral("Data Printout"), GridCompanions::PrintMode::Preview);
    run.ms = timer.nsecsElapsed() / 1e6;
    run.peakGrowthMb = statusMb("VmHWM:") - before;
    run.bytes = QFileInfo(file).size();
    if (!dialogs.texts().isEmpty())
        qFatal("the printout failed: %s", qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    return run;
}

struct PreviewRun
{
    double firstPageMs = 0;
    double stepMedianMs = 0;
    double stepMaxMs = 0;
    double lastPageMs = 0;     // from the click on Last until the last page shows
    double longestBusyMs = 0;  // the longest single return to the event loop meanwhile
    int pages = 0;
};

PreviewRun previewRun(ScriptedDialogs &dialogs, TEnhancedGrid &grid, int steps)
{
    PreviewRun run;
    QElapsedTimer command;
    dialogs.onPreview = [&](QWidget *parent, PagedDocument &document) {
        PrintPreviewDialog preview(document, parent);
        preview.show();
        QApplication::processEvents();
        run.firstPageMs = command.nsecsElapsed() / 1e6;
        if (preview.pageImage().isNull())
            qFatal("the preview showed no page");
        QAction *next = preview.findChild<QAction *>(QStringLiteral("nextPage"));
        std::vector<double> stepMs;
        for (int i = 0; i < steps; ++i) {
            QElapsedTimer step;
            step.start();
            next->trigger();
            QApplication::processEvents();
            stepMs.push_back(step.nsecsElapsed() / 1e6);
        }
        if (preview.currentPage() != steps)
            qFatal("the preview did not page");
        run.stepMedianMs = median(stepMs);
        run.stepMaxMs = *std::max_element(stepMs.begin(), stepMs.end());
        QElapsedTimer toLast;
        toLast.start();
        preview.findChild<QAction *>(QStringLiteral("lastPage"))->trigger();
        while (!document.complete() || preview.currentPage() != document.pagesLaidOut() - 1) {
            QElapsedTimer busy;
            busy.start();
            QApplication::processEvents();
            run.longestBusyMs = std::max(run.longestBusyMs, busy.nsecsElapsed() / 1e6);
        }
        run.lastPageMs = toLast.nsecsElapsed() / 1e6;
        run.pages = document.pagesLaidOut();
    };
    command.start();
    gridCompanions().printGrid(grid, QStringLiteral("Data Printout"), GridCompanions::PrintMode::Preview);
    return run;
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

}  // namespace

int main(int argc, char **argv)
{
    bench::BenchApplication app(argc, argv, "bench_printout", 100000, 3);
    if (!app.argumentsRead())
        return 2;
    if (!app.hasShell())
        return 1;
    const int records = app.records();
    const int runs = app.runs();

    QTemporaryDir dir;
    QElapsedTimer made;
    made.start();
    bench::JobGenerator(2024).fillTable(dir.path(), QStringLiteral("kelvara"), records, 0);
    QDir::setCurrent(dir.path());
    installGridWindows();
    ScriptedDialogsScope scripted;
    ScriptedDialogs &dialogs = *scripted;

    QStringList columns;
    for (const char *field : kSheetFields)
        columns << QStringLiteral("\"%1\"").arg(QString::fromLatin1(field));
    const QString query = QStringLiteral("SELECT %1 FROM \"kelvara\"").arg(columns.join(QStringLiteral(", ")));
    const QString database = dir.filePath(QStringLiteral("kelvara.db"));

    // The main window with its table, its after-scroll handler and its bound controls.
    TForm1 form;
    form.show();
    QApplication::processEvents();
    auto *grid = form.findChild<TEnhancedGrid *>(QStringLiteral("EnhancedGrid1"));
    if (!grid || !form.table()->active())
        qFatal("the window did not open its table and grid");
    std::printf("Printed listing: %d jobs, the data sheet's eleven columns, offscreen\n", form.table()->recordCount());
    std::printf("(table made in %.1f s; medians of %d runs)\n\n", made.elapsed() / 1000.0, runs);

    struct Listing
    {
        const char *label;
        bool ofGrid;
        const char *file;
        std::vector<double> ms, mb;
        PdfRun last;
    };
    Listing listings[] = {{"print grid to PDF, from the command", true, "grid.pdf", {}, {}, {}},
                          {"print dataset to PDF, from the command", false, "dataset.pdf", {}, {}, {}}};
    std::vector<double> shell;
    for (int i = 0; i < runs; ++i) {
        shell.push_back(bench::sqliteShellMs(database, query, {}, dir.filePath(QStringLiteral("listing.txt"))));
        for (Listing &listing : listings) {
            listing.last = pdfRun(dialogs, *grid, listing.ofGrid, dir.filePath(QString::fromLatin1(listing.file)));
            listing.ms.push_back(listing.last.ms);
            listing.mb.push_back(listing.last.peakGrowthMb);
        }
    }
    const double sh = median(shell);
    std::printf("%-58s %9.1f ms  (%lld bytes)\n", "sqlite3 shell: same columns to a text file (baseline)", sh,
                QFileInfo(dir.filePath(QStringLiteral("listing.txt"))).size());
    for (const Listing &listing : listings) {
        const double ms = median(listing.ms);
        const double mb = *std::max_element(listing.mb.begin(), listing.mb.end());
        std::printf("%-58s %9.1f ms  %d pages, %.1f MB\n", listing.label, ms, listing.last.pages,
                    listing.last.bytes / 1048576.0);
        std::printf("%-58s %9.2fx    (target <= %.0fx: %s)\n", "  ratio to the shell", ms / sh, kPdfRatioTarget,
                    verdict(ms / sh <= kPdfRatioTarget));
        std::printf("%-58s %9.1f MB    (target <= %.0f MB: %s)\n", "  peak memory growth (VmHWM, largest run)", mb,
                    kMemoryTargetMb, verdict(mb <= kMemoryTargetMb));
    }

    const PreviewRun preview = previewRun(dialogs, *grid, 20);
    std::printf("\n%-58s %9.1f ms    (target <= %.0f ms: %s)\n", "preview: command to first page shown",
                preview.firstPageMs, kFirstPageTargetMs, verdict(preview.firstPageMs <= kFirstPageTargetMs));
    std::printf("%-58s %9.1f ms  (max %.1f ms)\n", "  next page, laid out and painted (median of 20)",
                preview.stepMedianMs, preview.stepMaxMs);
    std::printf("%-58s %9.1f ms  (%d pages)\n", "  Last: until the last page shows", preview.lastPageMs, preview.pages);
    std::printf("%-58s %9.1f ms\n", "  meanwhile the longest the event loop was kept busy", preview.longestBusyMs);
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
