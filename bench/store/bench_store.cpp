// Benchmark of the record store: walking, photo tables, memory and random access, each figure
// printed beside its target and, where it has one, a baseline measured in the same run.
#include "benchfigures.h"
#include "jobgenerator.h"
#include "store/field.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kelvara;

using kelvara::bench::median;
using kelvara::bench::sqliteShellMs;

namespace {

const QString kShell = kelvara::bench::sqliteShell();

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QList<Field *> nonBlobFields(const Table &table)
{
    QList<Field *> fields;
    for (Field *field : table.fields()) {
        if (!field->isBlobField())
            fields << field;
    }
    return fields;
}

// Walks the table from first to end reading the display text of the given fields; gives the
// number of characters read so that the work cannot be skipped.
qint64 walk(Table &table, const QList<Field *> &fields)
{
    qint64 characters = 0;
    table.first();
    while (!table.eof()) {
        for (const Field *field : fields)
            characters += field->displayText().size();
        table.next();
    }
    return characters;
}

// Processor time (user and system) in ms of this process or of the children it has waited for.
double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Times one walk over a freshly opened table, so that no run reads records a previous run cached.
// The processor time it took goes to `cpu`: far below the time taken, the walk waited for the
// processor (another program had it), which a figure taken then tells nothing about the walk.
double walkMs(const QString &directory, const QString &name, double *cpu = nullptr)
{
    Table table;
    table.setDirectory(directory);
    table.setTableName(name);
    table.open();
    const QList<Field *> fields = nonBlobFields(table);
    QElapsedTimer timer;
    const double cpuBefore = cpuMs(RUSAGE_SELF);
    timer.start();
    const qint64 characters = walk(table, fields);
    const double ms = timer.nsecsElapsed() / 1e6;
    if (cpu)
        *cpu = cpuMs(RUSAGE_SELF) - cpuBefore;
    if (characters == 0)
        qFatal("the walk read nothing");
    return ms;
}

QString selectColumns(const Table &table)
{
    QStringList columns;
    for (const Field *field : nonBlobFields(table))
        columns << QLatin1Char('"') + field->fieldName() + QLatin1Char('"');
    return QStringLiteral("SELECT %1 FROM \"%2\"").arg(columns.join(QStringLiteral(", ")), table.tableName());
}

void report(const QString &what, double value, const QString &unit, const QString &target, bool met)
{
    out() << QStringLiteral("%1 %2 %3   (target %4: %5)")
                 .arg(what, -58)
                 .arg(value, 9, 'f', 3)
                 .arg(unit, -3)
                 .arg(target, met ? QStringLiteral("met") : QStringLiteral("MISSED"))
          << Qt::endl;
}

void info(const QString &what, double value, const QString &unit)
{
    out() << QStringLiteral("%1 %2 %3").arg(what, -58).arg(value, 9, 'f', 3).arg(unit) << Qt::endl;
}

void openTable(Table &table, const QString &directory, const QString &name)
{
    table.setDirectory(directory);
    table.setTableName(name);
    table.open();
}

// (a) the store's walk against the sqlite3 shell reading the same columns of the same file.
void benchWalk(const QString &directory, const QString &name, int runs)
{
    Table table;
    QElapsedTimer timer;
    timer.start();
    openTable(table, directory, name);
    info(QStringLiteral("open %1 (%2 records)").arg(name).arg(table.recordCount()), timer.nsecsElapsed() / 1e6,
         QStringLiteral("ms"));
    const QString query = selectColumns(table);
    std::vector<double> store, shell, startup, storeCpu, shellCpu, startupCpu;
    for (int i = 0; i < runs; ++i) {
        double cpu = 0;
        store.push_back(walkMs(directory, name, &cpu));
        storeCpu.push_back(cpu);
        double before = cpuMs(RUSAGE_CHILDREN);
        shell.push_back(sqliteShellMs(table.fileName(), query));
        shellCpu.push_back(cpuMs(RUSAGE_CHILDREN) - before);
        before = cpuMs(RUSAGE_CHILDREN);
        startup.push_back(sqliteShellMs(table.fileName(), QStringLiteral("SELECT 1")));
        startupCpu.push_back(cpuMs(RUSAGE_CHILDREN) - before);
    }
    const double s = median(store);
    const double sh = median(shell) - median(startup);
    info(QStringLiteral("walk, store: display text of %1 fields").arg(nonBlobFields(table).size()), s,
         QStringLiteral("ms"));
    info(QStringLiteral("walk, sqlite3 shell: same columns to /dev/null"), median(shell), QStringLiteral("ms"));
    info(QStringLiteral("  of which shell start and open (SELECT 1)"), median(startup), QStringLiteral("ms"));
    // Both sides on the processor alone: a ratio far from (a) means that one side waited for
    // the processor while the other had it, and (a) measured the machine rather than the walk.
    info(QStringLiteral("processor time, store walk"), median(storeCpu), QStringLiteral("ms"));
    info(QStringLiteral("processor time, shell walk (start excluded)"), median(shellCpu) - median(startupCpu),
         QStringLiteral("ms"));
    info(QStringLiteral("processor-time ratio store / shell"),
         median(storeCpu) / (median(shellCpu) - median(startupCpu)), QString());
    report(QStringLiteral("(a) walk ratio store / shell (start excluded)"), s / sh, QString(), QStringLiteral("<= 1.2"),
           s / sh <= 1.2);
}

// (b) the walk over a table with five photos per record against the same records without them.
void benchPhotos(const QString &directory, int runs)
{
    Table photos;
    openTable(photos, directory, QStringLiteral("photos"));
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {
        a.push_back(walkMs(directory, QStringLiteral("photos")));
        b.push_back(walkMs(directory, QStringLiteral("nophotos")));
    }
    info(QStringLiteral("walk, %1 records with five photos each").arg(photos.recordCount()), median(a),
         QStringLiteral("ms"));
    info(QStringLiteral("walk, the same records without photos"), median(b), QStringLiteral("ms"));
    const double ratio = median(a) / median(b);
    report(QStringLiteral("(b) walk ratio photos / no photos"), ratio, QString(), QStringLiteral("<= 1.2"),
           ratio <= 1.2);
}

// Puts the files of a folder on the disk. Generating writes more than a gigabyte that the kernel
// would otherwise write back a few seconds later, in the middle of the timed walks.
void flushFolder(const QString &directory)
{
    const QStringList files = QDir(directory).entryList(QDir::Files);
    for (const QString &file : files) {
        const int fd = ::open(QFile::encodeName(QDir(directory).filePath(file)).constData(), O_RDONLY);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
}

qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Child process: opens one table, walks it, prints the peak resident size in KiB.
int childWalk(const QString &directory, const QString &name)
{
    Table table;
    openTable(table, directory, name);
    if (!table.isEmpty())
        walk(table, nonBlobFields(table));
    out() << peakKiB() << Qt::endl;
    return 0;
}

qint64 childPeak(const QString &directory, const QString &name)
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child-walk"), directory, name});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("child failed: %s", process.readAllStandardError().constData());
    return process.readAllStandardOutput().trimmed().toLongLong();
}

// (c) peak memory of opening and walking the big table, less that of an empty one.
void benchMemory(const QString &directory, const QString &name)
{
    const qint64 empty = childPeak(directory, QStringLiteral("empty"));
    const qint64 full = childPeak(directory, name);
    info(QStringLiteral("peak resident, open empty table"), empty / 1024.0, QStringLiteral("MiB"));
    info(QStringLiteral("peak resident, open and walk %1").arg(name), full / 1024.0, QStringLiteral("MiB"));
    const double mib = (full - empty) / 1024.0;
    report(QStringLiteral("(c) peak memory difference"), mib, QStringLiteral("MiB"), QStringLiteral("<= 32 MiB"),
           mib <= 32);
}

// (d) random access at full size: jumps to record numbers and locates on an indexed field.
void benchRandomAccess(const QString &directory, const QString &name, int samples)
{
    Table table;
    openTable(table, directory, name);
    const int count = table.recordCount();
    QRandomGenerator random(7);
    std::vector<double> jumps;
    QElapsedTimer timer;
    for (int i = 0; i < samples; ++i) {
        const int target = int(random.bounded(count)) + 1;
        timer.start();
        table.setRecNo(target);
        jumps.push_back(timer.nsecsElapsed() / 1e3);
        if (table.recNo() != target)
            qFatal("jump went astray");
    }
    info(QStringLiteral("median jump to a random record number"), median(jumps), QStringLiteral("us"));

    // The order makes sure the field's index exists; locate then searches the natural order.
    table.setIndexFieldNames(QStringLiteral("HomePhone"));
    table.setIndexFieldNames(QString());
    Field *phone = table.fieldByName(QStringLiteral("HomePhone"));
    Field *lastName = table.fieldByName(QStringLiteral("Lastname"));
    QStringList phones, names;
    for (int i = 0; i < samples; ++i) {
        table.setRecNo(int(random.bounded(count)) + 1);
        phones << phone->asString();
        names << lastName->asString().left(3).toUpper();
    }
    std::vector<double> exact, partial;
    for (int i = 0; i < samples; ++i) {
        timer.start();
        const bool found = table.locate(QStringLiteral("HomePhone"), {phones.at(i)}, {});
        exact.push_back(timer.nsecsElapsed() / 1e3);
        if (!found || phone->asString() != phones.at(i))
            qFatal("locate missed %s", qPrintable(phones.at(i)));
    }
    info(QStringLiteral("median locate, exact, indexed field HomePhone"), median(exact), QStringLiteral("us"));
    for (int i = 0; i < qMin(samples, 50); ++i) {
        timer.start();
        table.locate(QStringLiteral("Lastname"), {names.at(i)}, loCaseInsensitive | loPartialKey);
        partial.push_back(timer.nsecsElapsed() / 1e3);
    }
    info(QStringLiteral("median locate, partial and case-insensitive, Lastname"), median(partial),
         QStringLiteral("us"));
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--child-walk"))
        return childWalk(args.value(2), args.value(3));

    int records = 100000;
    int photoRecords = 1000;
    int runs = 5;
    QString directory;
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--records"))
            records = args.value(++i).toInt();
        else if (args.at(i) == QLatin1String("--photo-records"))
            photoRecords = args.value(++i).toInt();
        else if (args.at(i) == QLatin1String("--runs"))
            runs = args.value(++i).toInt();
        else if (args.at(i) == QLatin1String("--dir"))
            directory = args.value(++i);
        else {
            out() << "usage: bench_store [--records N] [--photo-records N] [--runs N] [--dir DIR]" << Qt::endl;
            return 2;
        }
    }
    if (!QFile::exists(kShell)) {
        out() << "bench_store needs the sqlite3 shell at " << kShell << Qt::endl;
        return 1;
    }
    QTemporaryDir temporary;
    const bool reuse = !directory.isEmpty();
    if (!reuse)
        directory = temporary.path();
    else if (!QDir().mkpath(directory)) {
        out() << "cannot make the folder " << directory << Qt::endl;
        return 1;
    }

    const QString big = QStringLiteral("jobs%1").arg(records);
    QElapsedTimer timer;
    timer.start();
    auto generate = [&](const QString &name, int count, int photoBytes) {
        Table probe;
        probe.setDirectory(directory);
        probe.setTableName(name);
        if (reuse && probe.exists())
            return;
        bench::JobGenerator(2024).fillTable(directory, name, count, photoBytes);
    };
    generate(big, records, 0);
    generate(QStringLiteral("photos"), photoRecords, 256 * 1024);
    generate(QStringLiteral("nophotos"), photoRecords, 0);
    generate(QStringLiteral("empty"), 0, 0);
    info(QStringLiteral("generating the tables"), timer.nsecsElapsed() / 1e9, QStringLiteral("s"));
    timer.start();
    flushFolder(directory);
    info(QStringLiteral("writing them to the disk"), timer.nsecsElapsed() / 1e9, QStringLiteral("s"));

    benchWalk(directory, big, runs);
    benchPhotos(directory, runs * 3);
    benchMemory(directory, big);
    benchRandomAccess(directory, big, 1000);
    return 0;
}
