// Benchmark of query by form on a shown enhanced grid over 100,000 jobs: the dialog run through
// the grid's windows, a last name and a city typed into its form and Ok pressed, which orders the
// table by the two fields and narrows it to the records holding both values. Timed once while
// the two fields have no index yet (the store makes it on first use) and once it exists. The
// baselines are what SQLite alone needs for the same work, measured on the same file in the run:
// making the index, and reading the row ids of the matching records along it.
#include "benchapplication.h"
#include "benchfigures.h"
#include "grid/gridcompanions.h"
#include "grid/tcolumn.h"
#include "grid/tenhancedgrid.h"
#include "gridwin/gridwindows.h"
#include "jobgenerator.h"
#include "scripteddialogs.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvara;

using kelvara::bench::median;

namespace {

constexpr double kFirstUseTargetMs = 500.0;
constexpr double kIndexedTargetMs = 100.0;

const QStringList kColumns = {QStringLiteral("Dato"),  QStringLiteral("Firstname"), QStringLiteral("Lastname"),
                              QStringLiteral("City1"), QStringLiteral("timeused"),  QStringLiteral("notes")};
const QString kIndexName = QStringLiteral("%1_by_Lastname;City1");

struct Key
{
    QString lastName;
    QString city;
};

class Bench
{
public:
    Bench(const QString &directory, int records) : m_directory(directory), m_name(QStringLiteral("jobs%1").arg(records))
    {
        bench::JobGenerator(2024).fillTable(directory, m_name, records, 0);
        m_table.setDirectory(directory);
        m_table.setTableName(m_name);
        m_table.open();
        m_source.setDataSet(&m_table);
        m_grid.setDataSource(&m_source);
        for (const QString &field : kColumns)
            m_grid.columns()->add()->setFieldName(field);
        m_grid.resize(900, 300);
        m_grid.show();
        QApplication::processEvents();
    }

    // The keys of records spread over the table, read in its natural order.
    std::vector<Key> keys(int count)
    {
        std::vector<Key> result;
        const int records = m_table.recordCount();
        for (int i = 0; i < count; ++i) {
            m_table.setRecNo(1 + int((qint64(i) * 7919) % records));
            result.push_back({m_table.fieldByName(QStringLiteral("Lastname"))->asString(),
                              m_table.fieldByName(QStringLiteral("City1"))->asString()});
        }
        m_table.first();
        return result;
    }

    // One query by form as the user runs it; gives the time and checks what it left.
    double queryByForm(ScriptedDialogs &dialogs, const Key &key)
    {
        dialogs.onExec = [&](QDialog &dialog) {
            auto *form = dialog.findChild<QTableWidget *>(QStringLiteral("gridQBF"));
            for (int row = 0; row < form->rowCount(); ++row) {
                const QString name = form->item(row, 0)->text();
                if (name == QLatin1String("Lastname"))
                    form->item(row, 1)->setText(key.lastName);
                else if (name == QLatin1String("City1"))
                    form->item(row, 1)->setText(key.city);
            }
            dialog.findChild<QPushButton *>(QStringLiteral("OKBtn"))->click();
            return dialog.result();
        };
        QElapsedTimer timer;
        timer.start();
        gridCompanions().queryByForm(m_grid, GridCompanions::FormMode::Query);
        QApplication::processEvents();
        const double ms = timer.nsecsElapsed() / 1e6;
        if (!dialogs.texts().isEmpty())
            qFatal("query by form failed: %s", qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
        if (m_table.indexFieldNames() != QLatin1String("Lastname;City1") || m_table.recordCount() < 1
            || m_table.fieldByName(QStringLiteral("Lastname"))->asString() != key.lastName
            || m_table.fieldByName(QStringLiteral("City1"))->asString() != key.city)
            qFatal("query by form did not narrow the table to %s, %s", qPrintable(key.lastName), qPrintable(key.city));
        return ms;
    }

    // Puts the table back to its natural order and drops the index of the two fields.
    void dropIndex()
    {
        m_table.setIndexFieldNames(QString());
        m_table.close();
        {
            sql::Database db(m_table.fileName(), sql::Database::Mode::ReadWrite);
            db.exec(QStringLiteral("DROP INDEX IF EXISTS %1").arg(sql::quoted(kIndexName.arg(m_name))));
        }
        m_table.open();
    }

    // SQLite alone: making the index of the two fields.
    double sqliteIndexMs()
    {
        m_table.close();
        double ms = 0;
        {
            sql::Database db(m_table.fileName(), sql::Database::Mode::ReadWrite);
            db.exec(QStringLiteral("DROP INDEX IF EXISTS \"baseline\""));
            QElapsedTimer timer;
            timer.start();
            db.exec(
                QStringLiteral("CREATE INDEX \"baseline\" ON %1 (\"Lastname\", \"City1\")").arg(sql::quoted(m_name)));
            ms = timer.nsecsElapsed() / 1e6;
            db.exec(QStringLiteral("DROP INDEX \"baseline\""));
        }
        m_table.open();
        return ms;
    }

    // SQLite alone, the index in place: the row ids of the matching records, in the index's order.
    double sqliteSelectMs(const Key &key)
    {
        sql::Database db(m_table.fileName(), sql::Database::Mode::ReadOnly);
        QElapsedTimer timer;
        timer.start();
        sql::Statement select
            = db.prepare(QStringLiteral("SELECT \"_rid\" FROM %1 WHERE \"Lastname\" = ? AND \"City1\" = ? "
                                        "ORDER BY \"Lastname\", \"City1\", \"_rid\"")
                             .arg(sql::quoted(m_name)));
        select.bind(1, key.lastName);
        select.bind(2, key.city);
        int rows = 0;
        while (select.step())
            ++rows;
        const double ms = timer.nsecsElapsed() / 1e6;
        if (rows < 1)
            qFatal("the baseline found no record");
        return ms;
    }

private:
    QString m_directory;
    QString m_name;
    Table m_table;
    DataSource m_source;
    TEnhancedGrid m_grid;
};

void line(const char *what, double ms, double baseline, double target)
{
    std::printf("%-58s %9.1f ms %9.1f ms %8.2fx  %s\n", what, ms, baseline, baseline > 0 ? ms / baseline : 0,
                ms <= target ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char **argv)
{
    bench::BenchApplication app(argc, argv, "bench_querybyform", 100000, 5);
    if (!app.argumentsRead())
        return 2;
    const int records = app.records();
    const int runs = app.runs();

    ScriptedDialogsScope dialogs;
    GridCompanions::install(std::make_unique<GridWindows>());
    QTemporaryDir dir;
    QElapsedTimer made;
    made.start();
    Bench bench(dir.path(), records);
    const std::vector<Key> keys = bench.keys(runs);
    std::printf("Query by form on two fields (Lastname, City1): %d jobs, offscreen\n", records);
    std::printf("(table made in %.1f s; medians of %d runs)\n\n", made.elapsed() / 1000.0, runs);

    std::vector<double> firstUse, indexed, makeIndex, select;
    for (const Key &key : keys) {
        makeIndex.push_back(bench.sqliteIndexMs());
        bench.dropIndex();
        firstUse.push_back(bench.queryByForm(*dialogs, key));
    }
    for (const Key &key : keys) {
        indexed.push_back(bench.queryByForm(*dialogs, key));
        select.push_back(bench.sqliteSelectMs(key));
    }
    std::printf("%-58s %12s %12s %9s\n", "", "query", "SQLite alone", "ratio");
    line("index made on first use, then applied (target <= 500 ms)", median(firstUse), median(makeIndex),
         kFirstUseTargetMs);
    line("index in place (target <= 100 ms)", median(indexed), median(select), kIndexedTargetMs);
    GridCompanions::install(nullptr);
    return 0;
}
