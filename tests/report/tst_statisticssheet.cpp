#include "pdfpages.h"
#include "report/pagecanvas.h"
#include "report/printpreview.h"
#include "report/statisticssheet.h"
#include "store/statistics.h"
#include "testworkspace.h"

#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

Q_DECLARE_METATYPE(kelvara::SeasonStatistics)

namespace {

FigureTable figureTable(const QString &field, const QString &caption, const QList<FigureRow> &rows)
{
    FigureTable table{field, caption, rows, 0, 0};
    for (const FigureRow &row : rows) {
        table.jobs += row.jobs;
        table.minutes += row.minutes;
    }
    return table;
}

// Two seasons, the first with twice the busiest month of the second, and two undated jobs.
SeasonStatistics twoSeasons()
{
    SeasonStatistics figures;
    figures.firstYear = 2022;
    figures.lastYear = 2023;
    figures.datedYears = std::make_pair(2022, 2023);
    YearMonths first{2022, {}};
    first.jobs[4] = 4;
    first.jobs[5] = 1;
    YearMonths second{2023, {}};
    second.jobs[4] = 2;
    figures.months = {first, second};
    figures.busiestMonth = 4;
    figures.shownJobs = 9;
    figures.undatedJobs = 2;
    figures.byYear = figureTable(
        QString(), QStringLiteral("Year"),
        {{QStringLiteral("2022"), false, 5, 195}, {QStringLiteral("2023"), false, 2, 61}, {QString(), true, 2, 25}});
    figures.byField << figureTable(QStringLiteral("Typeofbee"), QStringLiteral("Type of bee"),
                                   {{QStringLiteral("Italian"), false, 6, 200}, {QString(), true, 3, 81}});
    figures.jobs = 9;
    figures.minutes = 281;
    return figures;
}

SeasonStatistics withoutJobs(qint64 shownJobs)
{
    SeasonStatistics figures;
    figures.firstYear = figures.lastYear = 2024;
    figures.months = {YearMonths{2024, {}}};
    figures.shownJobs = shownJobs;
    figures.byYear = figureTable(QString(), QStringLiteral("Year"), {{QStringLiteral("2024"), false, 0, 0}});
    figures.byField << figureTable(QStringLiteral("method"), QStringLiteral("Method of removal"), {});
    return figures;
}

// The words of the pages line by line as they stand on the paper, left to right, so that a row
// of a table reads as one line.
QString linesOf(const QList<PdfPage> &pages)
{
    QStringList lines;
    for (const PdfPage &page : pages) {
        QList<PdfWord> words = page.words;
        std::sort(words.begin(), words.end(), [](const PdfWord &a, const PdfWord &b) {
            if (std::abs(a.box.center().y() - b.box.center().y()) > 2)
                return a.box.center().y() < b.box.center().y();
            return a.box.left() < b.box.left();
        });
        QStringList line;
        double y = -100;
        for (const PdfWord &word : words) {
            if (std::abs(word.box.center().y() - y) > 2 && !line.isEmpty()) {
                lines << line.join(QLatin1Char(' '));
                line.clear();
            }
            y = word.box.center().y();
            line << word.text;
        }
        lines << line.join(QLatin1Char(' '));
    }
    return lines.join(QLatin1Char('\n'));
}

// A canvas that keeps the rectangles filled on it, for the bars of the charts.
class BarCanvas : public PageCanvas
{
public:
    void drawGlyphs(const QPointF &, const Glyphs &, const QColor &, const QRectF &) override { }
    void drawText(const QPointF &, const QString &, const QFont &, const QColor &, const QRectF &) override { }
    void drawLine(const QPointF &, const QPointF &, const QColor &, double) override { }
    void fillRect(const QRectF &rect, const QColor &color) override { filled << qMakePair(rect, color); }
    bool drawPhoto(const QRectF &, const QByteArray &) override { return false; }

    QList<QPair<QRectF, QColor>> filled;
};

}  // namespace

// The season figures on paper and on screen: every figure readable in the PDF, the charts on one
// scale, an empty chart with its sentence, and long tables going on over pages.
class StatisticsSheetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pdfHoldsTheFigures_data();
    void pdfHoldsTheFigures();
    void chartsShareOneScale();
};

void StatisticsSheetTest::pdfHoldsTheFigures_data()
{
    QTest::addColumn<SeasonStatistics>("figures");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("pages");

    QTest::newRow("two seasons") << twoSeasons()
                                 << QStringList{"Season statistics",
                                                "All jobs, years 2022 to 2023",
                                                "9 jobs counted, time used 4:41 hours",
                                                "2 without a date",
                                                "2022",
                                                "5 jobs",
                                                "Year Jobs Share Hours",
                                                "(no date) 2 22.2 % 0:25",
                                                "2023 2 22.2 % 1:01",
                                                "Type of bee Jobs Share Hours",
                                                "Italian 6 66.7 % 3:20",
                                                "(none) 3 33.3 % 1:21",
                                                "Total 9 100.0 % 4:41"}
                                 << 1;
    QTest::newRow("no jobs at all") << withoutJobs(0) << QStringList{"No jobs to count.", "No jobs.", "Total 0 - 0:00"}
                                    << 1;
    QTest::newRow("no jobs in the years chosen")
        << withoutJobs(12) << QStringList{"No jobs in these years.", "12 of other years not counted."} << 1;

    SeasonStatistics many = twoSeasons();
    QList<FigureRow> places;
    QStringList expected;
    for (int i = 1; i <= 150; ++i) {
        places << FigureRow{QStringLiteral("Place %1").arg(i, 3, 10, QLatin1Char('0')), false, 1, 10};
        expected << QStringLiteral("Place %1 1").arg(i, 3, 10, QLatin1Char('0'));
    }
    many.byField << figureTable(QStringLiteral("camefrom"), QStringLiteral("Came from"), places);
    expected << "Came from (cont.)"
             << "Total 150 100.0 % 25:00";
    QTest::newRow("a table longer than a page") << many << expected << 3;
}

void StatisticsSheetTest::pdfHoldsTheFigures()
{
    QFETCH(SeasonStatistics, figures);
    QFETCH(QStringList, expected);
    QFETCH(int, pages);

    TestWorkspace workspace;
    StatisticsDocument document(figures, QStringLiteral("All jobs"));
    QCOMPARE(document.pagesLaidOut(), pages);
    const QString file = workspace.filePath(QStringLiteral("statistics.pdf"));
    writePdfFile(document, file);
    const std::optional<QList<PdfPage>> read = readPdf(file);
    if (!read)
        QSKIP(pdfToolMissing());
    const QString text = linesOf(*read);
    for (const QString &words : expected) {
        if (!text.contains(words))
            QFAIL(qPrintable(QStringLiteral("'%1' is not in the PDF:\n%2").arg(words, text)));
    }
}

void StatisticsSheetTest::chartsShareOneScale()
{
    StatisticsSheet sheet(twoSeasons(), QStringLiteral("All jobs"));
    sheet.layOut(700);
    BarCanvas canvas;
    sheet.paint(canvas, 0);
    // The bars are the narrow rectangles; the table's shading spans a whole table.
    QList<QRectF> bars;
    for (const auto &[rect, color] : canvas.filled) {
        if (rect.width() < 50)
            bars << rect;
    }
    QCOMPARE(bars.size(), 3);  // May and June of 2022, May of 2023
    QCOMPARE(bars.at(0).bottom(), bars.at(1).bottom());
    QVERIFY(bars.at(0).height() > 0);
    QCOMPARE(bars.at(0).height(), 4 * bars.at(1).height());  // 4 jobs and 1 in 2022
    QCOMPARE(bars.at(0).height(), 2 * bars.at(2).height());  // 4 jobs in 2022, 2 in 2023
}

QTEST_MAIN(StatisticsSheetTest)
#include "tst_statisticssheet.moc"
