// Benchmark of the data grid: the data sheet's eleven columns over 1,000 and over 100,000 records,
// offscreen. Each action's median is printed beside the frame budget, and the 100,000-record
// figure as a ratio to the 1,000-record one measured in the same run.
#include "app/datasheetgrid.h"
#include "benchfigures.h"
#include "grid/tcolumn.h"
#include "grid/tdbgrid.h"
#include "grid/tenhancedgrid.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QApplication>
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

using namespace kelvara;

using kelvara::bench::median;

namespace {

constexpr double kFrameMs = 16.0;
constexpr double kRatioTarget = 1.3;
constexpr double kEnhancedRatioTarget = 1.2;
// Records of each table whose pic1 holds a photo of its own; the copies made for the larger
// table repeat them.
constexpr int kPhotos = 300;

// A small camera-like photo, 4:3, different for every n: a gradient of its own colours and its
// number written over it.
QByteArray photoBytes(int n)
{
    QImage image(240, 180, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 240, 180);
    gradient.setColorAt(0, QColor::fromHsv((n * 37) % 360, 200, 230));
    gradient.setColorAt(1, QColor::fromHsv((n * 91 + 120) % 360, 180, 90));
    painter.fillRect(image.rect(), gradient);
    QFont font = painter.font();
    font.setPixelSize(70);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(n));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

// Makes a kelvara table of `count` jobs in `directory`: the first thousand through the store,
// the rest copied from them inside one transaction.
void makeTable(const QString &directory, int count)
{
    QDir().mkpath(directory);
    Table table;
    table.setDirectory(directory);
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    QRandomGenerator random(7);
    const QStringList first{QStringLiteral("Anne"),    QStringLiteral("Bjørn"), QStringLiteral("Carl"),
                            QStringLiteral("Dorothy"), QStringLiteral("Erik"),  QStringLiteral("Frida"),
                            QStringLiteral("George"),  QStringLiteral("Hanne")};
    const QStringList last{QStringLiteral("Andersen"), QStringLiteral("Baker"), QStringLiteral("Christensen"),
                           QStringLiteral("Davies"),   QStringLiteral("Evans"), QStringLiteral("Fischer")};
    const QStringList places{QStringLiteral("Tree branch"), QStringLiteral("Wall cavity"), QStringLiteral("Chimney"),
                             QStringLiteral("Hedge")};
    const QStringList bees{QStringLiteral("Italian"), QStringLiteral("Carniolan"), QStringLiteral("Buckfast")};
    auto phone = [&] { return QStringLiteral("555-%1").arg(random.bounded(1000, 10000)); };
    auto pick = [&](const QStringList &list) { return list.at(int(random.bounded(list.size()))); };
    const int seeded = std::min(count, 1000);
    for (int i = 0; i < seeded; ++i) {
        table.append();
        table.fieldByName(QStringLiteral("Dato"))->setValue(QDate(2005, 1, 1).addDays(random.bounded(7000)));
        table.fieldByName(QStringLiteral("Firstname"))->setAsString(pick(first));
        table.fieldByName(QStringLiteral("Lastname"))->setAsString(pick(last));
        table.fieldByName(QStringLiteral("HomePhone"))->setAsString(phone());
        table.fieldByName(QStringLiteral("WorkPhone"))->setAsString(phone());
        table.fieldByName(QStringLiteral("Cellular"))->setAsString(phone());
        table.fieldByName(QStringLiteral("Email"))->setAsString(QStringLiteral("job%1@example.org").arg(i));
        table.fieldByName(QStringLiteral("camefrom"))->setAsString(pick(places));
        table.fieldByName(QStringLiteral("wentinto"))->setAsString(QStringLiteral("Hive %1").arg(random.bounded(1, 9)));
        table.fieldByName(QStringLiteral("Typeofbee"))->setAsString(pick(bees));
        table.fieldByName(QStringLiteral("method"))
            ->setAsString(random.bounded(2) ? QStringLiteral("Box") : QStringLiteral("Vacuum"));
        table.fieldByName(QStringLiteral("timeused"))->setAsInteger(random.bounded(600));
        if (i < kPhotos)
            table.fieldByName(QStringLiteral("pic1"))->setAsBytes(photoBytes(i));
        table.post();
    }
    QStringList columns;
    for (const FieldDef &def : table.fieldDefs())
        columns << sql::quoted(def.name);
    table.close();

    sql::Database db(QDir(directory).filePath(QStringLiteral("kelvara.db")), sql::Database::Mode::ReadWrite);
    sql::Transaction transaction(db);
    const QString list = columns.join(QStringLiteral(", "));
    for (int have = seeded; have < count;) {
        const int add = std::min(have, count - have);
        db.exec(QStringLiteral("INSERT INTO \"kelvara\" (%1) SELECT %1 FROM \"kelvara\" ORDER BY rowid LIMIT %2")
                    .arg(list)
                    .arg(add));
        have += add;
    }
    // Photos are kept apart from the records, by record id; each copy gets the photo of the
    // record it was copied from (record n is a copy of record (n - 1) mod 1000 + 1).
    db.exec(QStringLiteral("INSERT INTO \"kelvara_blobs\" (\"rid\", \"field\", \"data\") "
                           "SELECT k.rowid, b.\"field\", b.\"data\" FROM \"kelvara\" k "
                           "JOIN \"kelvara_blobs\" b ON b.\"rid\" = (k.rowid - 1) % %1 + 1 WHERE k.rowid > %1")
                .arg(seeded));
    transaction.commit();
}

struct Figure
{
    double ms = 0;
    double cells = 0;  // data cells painted per action, to show the action really painted
};

struct Figures
{
    Figure paint;
    Figure pageDown;
    Figure thumb;
    Figure resize;
};

// One table shown as the data sheet shows it: 969 x 225, no border, a horizontal scroll bar only.
// The enhanced grid shows pic1 as well, after the last name, with row colours, title ellipsis,
// 3-D cells and the first two columns locked.
struct Sheet
{
    Sheet(const QString &directory, int records, bool enhanced)
        : count(records), gridHolder(enhanced ? new TEnhancedGrid : new TDBGrid), grid(*gridHolder)
    {
        table.setDirectory(directory);
        table.setTableName(QStringLiteral("kelvara"));
        table.open();
        if (table.recordCount() != count)
            qFatal("the table holds %d records, not %d", table.recordCount(), count);
        source.setDataSet(&table);
        grid.setBorderStyle(CellGrid::bsNone);
        grid.setScrollBars(CellGrid::ssHorizontal);
        grid.columns()->beginUpdate();
        for (const DataSheetColumn &sheet : dataSheetColumns()) {
            TColumn *column = grid.columns()->add();
            column->setFieldName(QString::fromLatin1(sheet.field));
            column->setExpanded(false);
            if (sheet.title)
                column->title()->setCaption(QString::fromUtf8(sheet.title));
            if (sheet.width > 0)
                column->setWidth(sheet.width);
            if (enhanced && qstrcmp(sheet.field, "Lastname") == 0) {
                TColumn *photo = grid.columns()->add();
                photo->setFieldName(QStringLiteral("pic1"));
                photo->setExpanded(false);
                photo->title()->setCaption(QStringLiteral("Photo"));
                photo->setWidth(64);
            }
        }
        grid.columns()->endUpdate();
        grid.setDataSource(&source);
        if (auto *enhancedGrid = qobject_cast<TEnhancedGrid *>(&grid)) {
            enhancedGrid->setUseRowColors(true);
            enhancedGrid->setShowTitleEllipsis(true);
            enhancedGrid->setCells3D(true);
            enhancedGrid->setLockedCols(2);
        }
        grid.resize(969, 225);
        grid.show();
        QApplication::processEvents();
        QObject::connect(&grid, &TDBGrid::OnDrawColumnCell, [this] { ++painted; });
    }

    int count;
    Table table;
    DataSource source;
    std::unique_ptr<TDBGrid> gridHolder;
    TDBGrid &grid;
    int painted = 0;
    QRandomGenerator random{11};
};

// Makes the sheet's window the active one, as the grid takes the focus on a click only there;
// the events that follow are handled before anything is timed.
void activate(Sheet &sheet)
{
    if (QApplication::activeWindow() == &sheet.grid)
        return;
    QApplication::setActiveWindow(&sheet.grid);
    QApplication::processEvents();
}

// Runs an action on both sheets `runs` times each, after a few unmeasured runs, and gives the
// medians in milliseconds. The runs alternate between the sheets, and so does which of them goes
// first, so that neither size profits from a machine or cache the other one warmed up.
std::pair<Figure, Figure> measure(Sheet &a, Sheet &b, int runs, const std::function<void(Sheet &, int)> &action)
{
    for (int i = 0; i < 5; ++i) {
        activate(a);
        action(a, i);
        activate(b);
        action(b, i);
    }
    std::vector<double> timesA, timesB;
    int cellsA = 0;
    int cellsB = 0;
    QElapsedTimer timer;
    auto timed = [&](Sheet &sheet, std::vector<double> &times, int &cells, int i) {
        activate(sheet);
        const int before = sheet.painted;
        timer.start();
        action(sheet, i);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        cells += sheet.painted - before;
    };
    for (int i = 0; i < runs; ++i) {
        if (i % 2) {
            timed(b, timesB, cellsB, i);
            timed(a, timesA, cellsA, i);
        } else {
            timed(a, timesA, cellsA, i);
            timed(b, timesB, cellsB, i);
        }
    }
    return {Figure{median(timesA), double(cellsA) / runs}, Figure{median(timesB), double(cellsB) / runs}};
}

// Times the four actions on both tables, interleaved.
std::pair<Figures, Figures> run(const QString &smallDirectory, int smallCount, const QString &largeDirectory,
                                int largeCount, bool enhanced, int runs)
{
    Sheet small(smallDirectory, smallCount, enhanced);
    Sheet large(largeDirectory, largeCount, enhanced);
    Figures a, b;

    // One full screen: every cell painted again.
    std::tie(a.paint, b.paint)
        = measure(small, large, runs, [](Sheet &sheet, int) { sheet.grid.viewport()->repaint(); });

    // Page Down from the first record on, starting again at the end; the key and the paint it causes.
    small.table.first();
    large.table.first();
    std::tie(a.pageDown, b.pageDown) = measure(small, large, runs, [](Sheet &sheet, int) {
        if (sheet.table.eof())
            sheet.table.first();
        QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QCoreApplication::sendEvent(&sheet.grid, &key);
        QApplication::processEvents();
    });

    // The vertical thumb dragged to a random place and released there.
    std::tie(a.thumb, b.thumb) = measure(small, large, runs, [](Sheet &sheet, int) {
        QScrollBar *bar = sheet.grid.verticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(int(sheet.random.bounded(sheet.count)));
        bar->setSliderDown(false);
        QApplication::processEvents();
    });

    // A title border dragged 12 pixels right, then back, with the mouse, both tables showing
    // their first records (the thumb drag left them at unlike places, with and without photos).
    small.table.first();
    large.table.first();
    std::tie(a.resize, b.resize) = measure(small, large, runs, [](Sheet &sheet, int i) {
        QWidget *viewport = sheet.grid.viewport();
        const QRect title = sheet.grid.cellRect(3, 0);
        const QPoint border(title.right() + 1, title.center().y());
        const QPoint target = border + QPoint(i % 2 ? -12 : 12, 0);
        QTest::mousePress(viewport, Qt::LeftButton, {}, border);
        QTest::mouseMove(viewport, target);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, target);
        QApplication::processEvents();
    });
    return {a, b};
}

void printLine(const char *what, const Figure &small, const Figure &large, double ratioTarget)
{
    const double ratio = small.ms > 0 ? large.ms / small.ms : 0;
    std::printf("%-31s %8.3f ms %8.3f ms   %-4s %-4s   %5.2f %-4s   %5.0f %5.0f\n", what, small.ms, large.ms,
                small.ms <= kFrameMs ? "ok" : "SLOW", large.ms <= kFrameMs ? "ok" : "SLOW", ratio,
                ratio <= ratioTarget ? "ok" : "OVER", small.cells, large.cells);
}

void printFigures(const Figures &a, const Figures &b, double ratioTarget)
{
    std::printf("%-31s %11s %11s   %-9s   %-10s   %s\n", "action (median)", "1,000", "100,000", "<= 16 ms", "100k/1k",
                "cells painted");
    std::printf("%-31s %11s %11s   %-9s   <= %-7.1f   %s\n", "", "", "", "", ratioTarget, "1,000 100,000");
    printLine("paint one full screen", a.paint, b.paint, ratioTarget);
    printLine("Page Down (key and paint)", a.pageDown, b.pageDown, ratioTarget);
    printLine("thumb drag to a random record", a.thumb, b.thumb, ratioTarget);
    printLine("column resize by mouse", a.resize, b.resize, ratioTarget);
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int records = 100000;
    int runs = 151;
    const QStringList switches{QStringLiteral("--base"), QStringLiteral("--enhanced")};
    if (!bench::readRecordsAndRuns(app.arguments(), "bench_grid", records, runs, switches))
        return 2;
    const int smallCount = std::min(1000, records);
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small"));
    const QString large = dir.filePath(QStringLiteral("large"));
    QElapsedTimer timer;
    timer.start();
    makeTable(small, smallCount);
    makeTable(large, records);
    std::printf("Data grid benchmark: the data sheet's eleven columns, 969 x 225, offscreen\n");
    std::printf("(tables made in %.1f s; medians of %d runs each)\n\n", timer.elapsed() / 1000.0, runs);

    const bool baseOnly = app.arguments().contains(QStringLiteral("--base"));
    const bool enhancedOnly = app.arguments().contains(QStringLiteral("--enhanced"));
    if (!enhancedOnly) {
        const auto [a, b] = run(small, smallCount, large, records, false, runs);
        std::printf("Base grid (TDBGrid)\n");
        printFigures(a, b, kRatioTarget);
    }
    if (!baseOnly) {
        const auto [a, b] = run(small, smallCount, large, records, true, runs);
        std::printf("\nEnhanced grid (TEnhancedGrid): row colours, title ellipsis, Cells3D, two locked columns,\n"
                    "a photo column (%d distinct JPEGs of 240 x 180 in pic1 of every thousand records)\n",
                    kPhotos);
        printFigures(a, b, kEnhancedRatioTarget);
    }
    return 0;
}
