// Benchmark of the enhanced grid's search box and cell hints on a shown grid: one keystroke typed
// into the title search box (an indexed text field found by its key; a number field whose key
// search cannot take the text, so the selected column is located by its beginning), and one
// pointer move that re-places the cell hint. Each is measured at 100,000 and at 1,000 jobs; the
// ratio between the two tells whether the cost grows with the table.
#include "benchapplication.h"
#include "benchfigures.h"
#include "grid/cellhints.h"
#include "grid/tcolumn.h"
#include "grid/tenhancedgrid.h"
#include "grid/titlesearch.h"
#include "jobgenerator.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvara;

using kelvara::bench::median;

namespace {

constexpr double kMsTarget = 16.0;
constexpr double kRatioTarget = 1.2;

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Types the last character of text into the box holding the rest of it, as a key press and release.
double keystrokeMs(QLineEdit *box, const QString &text)
{
    box->setText(text.chopped(1));
    const QString last = text.right(1);
    const int key = last.at(0).toUpper().unicode();
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, last);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, last);
    QApplication::sendEvent(box, &release);
    return timer.nsecsElapsed() / 1e6;
}

struct Figures
{
    double exactMs = 0;
    double partialMs = 0;
    double hintMs = 0;
    // The store's own search alone, as the box runs it: the baseline of the two keystrokes.
    double findKeyMs = 0;
    double locateMs = 0;
};

class Bench
{
public:
    Bench(const QString &directory, int records, int runs) : m_runs(runs)
    {
        const QString name = QStringLiteral("jobs%1").arg(records);
        bench::JobGenerator(2024).fillTable(directory, name, records, 0);
        m_table.setDirectory(directory);
        m_table.setTableName(name);
        m_table.open();
        m_source.setDataSet(&m_table);
        // The search texts: last names spread over the table, read before any order is set.
        const int step = std::max(1, records / runs);
        for (int i = 0; i < runs; ++i) {
            m_table.setRecNo(std::min(records, 1 + i * step));
            m_names << m_table.fieldByName(QStringLiteral("Lastname"))->asString();
        }
        m_table.first();

        m_grid.setDataSource(&m_source);
        for (const char *field : {"Lastname", "City1", "timeused", "notes"}) {
            TColumn *column = m_grid.columns()->add();
            column->setFieldName(QString::fromLatin1(field));
            column->setWidth(30);
        }
        m_grid.resize(800, 400);
        m_grid.show();
        QApplication::processEvents();
        m_grid.setSearchMode(true);
        m_grid.setCellHints(true);
        m_grid.setSelectedIndex(0);
    }

    // Clicks the title of a column in search mode: the table takes its index, the box opens.
    QLineEdit *openBox(int dataCol)
    {
        const QPoint title = m_grid.cellRect(m_grid.dataToRawColumn(dataCol), 0).center();
        sendMouse(m_grid.viewport(), QEvent::MouseButtonPress, title, Qt::LeftButton);
        sendMouse(m_grid.viewport(), QEvent::MouseButtonRelease, title, Qt::NoButton);
        QLineEdit *box = m_grid.titleSearch() ? m_grid.titleSearch()->box() : nullptr;
        if (!box || !box->isVisible())
            qFatal("the search box did not open");
        return box;
    }

    Figures run()
    {
        Figures figures;
        std::vector<double> exact, partial, hint, findKey, locate;
        QLineEdit *box = openBox(0);
        if (m_table.indexFieldNames() != QLatin1String("Lastname"))
            qFatal("the title click did not order the table by Lastname");
        for (const QString &name : std::as_const(m_names)) {
            exact.push_back(keystrokeMs(box, name));
            if (m_table.fieldByName(QStringLiteral("Lastname"))->asString() != name)
                qFatal("the key search did not find %s", qPrintable(name));
            m_table.first();
            QElapsedTimer timer;
            timer.start();
            m_table.findKey({name});
            findKey.push_back(timer.nsecsElapsed() / 1e6);
        }
        // A lower-case prefix matches no whole value, so the partial search of the clicked column
        // runs after the exact one failed.
        for (const QString &name : std::as_const(m_names)) {
            const QString typed = name.left(3).toLower();
            partial.push_back(keystrokeMs(box, typed));
            if (!m_table.fieldByName(QStringLiteral("Lastname"))->asString().toLower().startsWith(typed))
                qFatal("the partial locate did not find %s", qPrintable(typed));
            m_table.first();
            QElapsedTimer timer;
            timer.start();
            m_table.locate(QStringLiteral("Lastname"), {typed}, LocateOptions(loCaseInsensitive | loPartialKey));
            locate.push_back(timer.nsecsElapsed() / 1e6);
        }
        box->hide();
        // Two narrow cells in turn, so that every move shows the hint at a new place.
        const QPoint cells[2] = {m_grid.cellRect(1, 2).center(), m_grid.cellRect(1, 3).center()};
        for (int i = 0; i < m_runs * 4; ++i) {
            QElapsedTimer timer;
            timer.start();
            sendMouse(m_grid.viewport(), QEvent::MouseMove, cells[i % 2], Qt::NoButton);
            hint.push_back(timer.nsecsElapsed() / 1e6);
            if (!m_grid.cellHintWindow() || !m_grid.cellHintWindow()->isShown())
                qFatal("no cell hint showed");
        }
        figures.exactMs = median(exact);
        figures.partialMs = median(partial);
        figures.hintMs = median(hint);
        figures.findKeyMs = median(findKey);
        figures.locateMs = median(locate);
        return figures;
    }

private:
    int m_runs;
    Table m_table;
    DataSource m_source;
    TEnhancedGrid m_grid;
    QStringList m_names;
};

void line(const char *what, double large, double small)
{
    const double ratio = small > 0 ? large / small : 0;
    std::printf("%-52s %9.3f ms %9.3f ms %7.2fx  %s\n", what, large, small, ratio,
                large <= kMsTarget && ratio <= kRatioTarget ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char **argv)
{
    // Many keystrokes: the names typed are spread over the table, and a few alone give a median
    // that depends on which names they happen to be.
    bench::BenchApplication app(argc, argv, "bench_gridsearch", 100000, 200);
    if (!app.argumentsRead())
        return 2;
    const int large = app.records();
    const int small = 1000;
    const int runs = app.runs();

    QTemporaryDir dir;
    QElapsedTimer made;
    made.start();
    Bench big(dir.path(), large, runs);
    Bench little(dir.path(), small, runs);
    std::printf("Title search box and cell hints: %d against %d jobs, offscreen\n", large, small);
    std::printf("(tables made in %.1f s; medians of %d keystrokes, %d pointer moves)\n\n", made.elapsed() / 1000.0,
                runs, runs * 4);
    const Figures b = big.run();
    const Figures l = little.run();
    std::printf("%-52s %12s %12s %8s  (targets <= %.0f ms, <= %.1fx)\n", "", "large", "small", "ratio", kMsTarget,
                kRatioTarget);
    line("keystroke: exact key search on an indexed field", b.exactMs, l.exactMs);
    line("  the store's key search alone (baseline)", b.findKeyMs, l.findKeyMs);
    line("keystroke: key search fails, partial locate runs", b.partialMs, l.partialMs);
    line("  the store's partial locate alone (baseline)", b.locateMs, l.locateMs);
    line("pointer move: cell hint re-placed", b.hintMs, l.hintMs);
    std::printf("\n%-52s %9.2fx %9.2fx\n", "keystroke / store alone, exact key", b.exactMs / b.findKeyMs,
                l.exactMs / l.findKeyMs);
    std::printf("%-52s %9.2fx %9.2fx\n", "keystroke / store alone, partial locate", b.partialMs / b.locateMs,
                l.partialMs / l.locateMs);
    return 0;
}
