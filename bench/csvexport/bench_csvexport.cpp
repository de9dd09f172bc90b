// Benchmark of the export for spreadsheets: the CSV file of every job against the sqlite3 shell's
// ".mode csv" output of the same columns, in the same order, into a file, in the same run.
#include "app/jobexport.h"
#include "benchfigures.h"
#include "jobgenerator.h"
#include "store/field.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <vector>

using namespace kelvara;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString ms(double value)
{
    return QString::number(value, 'f', 1) + QStringLiteral(" ms");
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int records = 100000;
    int runs = 5;
    if (!bench::readRecordsAndRuns(app.arguments(), "bench_csvexport", records, runs))
        return 2;
    if (!QFile::exists(bench::sqliteShell())) {
        out() << "bench_csvexport needs the sqlite3 shell at " << bench::sqliteShell() << Qt::endl;
        return 1;
    }
    QTemporaryDir temporary;
    const QString work = temporary.path();
    bench::JobGenerator(42).fillTable(work, QStringLiteral("kelvara"), records, 0);
    {
        // Notes as swarm removers write them: every other job has several lines, with commas,
        // quotes and Danish and Norwegian letters, so quoting and non-ASCII text are on the path.
        sql::Database db(QDir(work).filePath(QStringLiteral("kelvara.db")), sql::Database::Mode::ReadWrite);
        db.exec(QStringLiteral(
            "UPDATE kelvara SET notes = coalesce(notes || char(13, 10), '') || "
            "'Svermen hang i æbletræet hos fru Ødegård, ca. 3 m oppe; hun sa \"tusen takk\".' || char(13, 10) || "
            "'Brugte stigen og en papkasse, dronningen set. Næste gang: ring først.' WHERE rowid % 2 = 0"));
    }

    Table table;
    table.setDirectory(work);
    table.setTableName(QStringLiteral("kelvara"));
    table.open();
    QList<jobexport::Column> columns;
    QStringList names;
    for (const Field *field : jobexport::exportedFields(table)) {
        columns << jobexport::Column{field->fieldName(), field->fieldName()};
        names << sql::quoted(field->fieldName());
    }
    const QString tableFile = table.fileName();
    const QString shellQuery
        = QStringLiteral("SELECT %1 FROM kelvara ORDER BY rowid").arg(names.join(QStringLiteral(", ")));
    const QString ourFile = QDir(work).filePath(QStringLiteral("ours.csv"));
    const QString shellFile = QDir(work).filePath(QStringLiteral("shell.csv"));

    // The two take turns, each writing a file of its own anew, so that both meet the same cache.
    std::vector<double> ours, shell;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(shellFile);
        shell.push_back(bench::sqliteShellMs(tableFile, shellQuery, {QStringLiteral("-csv"), QStringLiteral("-header")},
                                             shellFile));
        QFile::remove(ourFile);
        QElapsedTimer timer;
        timer.start();
        const qint64 written = jobexport::writeCsv(table, columns, jobexport::Rows::All, ourFile);
        ours.push_back(timer.nsecsElapsed() / 1e6);
        if (written != records)
            qFatal("exported %lld jobs of %d", written, records);
        out() << "run " << run + 1 << ": export " << ms(ours.back()) << ", shell " << ms(shell.back()) << Qt::endl;
    }
    const double oursMs = bench::median(ours);
    const double shellMs = bench::median(shell);
    out() << records << " jobs, " << columns.size() << " columns: export " << QFileInfo(ourFile).size() / 1024
          << " KB in " << ms(oursMs) << ", shell " << QFileInfo(shellFile).size() / 1024 << " KB in " << ms(shellMs)
          << " (medians of " << runs << " runs)" << Qt::endl;
    out() << "target: ratio <= 1.5" << Qt::endl;
    out() << "CSV export / shell csv = " << QString::number(oursMs / shellMs, 'f', 2) << Qt::endl;
    return 0;
}
