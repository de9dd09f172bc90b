// Benchmark of backups: the time of a verified backup against the sqlite3 shell's .backup of the
// same file in the same run, for a table of many jobs and for one of few jobs with big photos,
// and the longest the event loop waits while a backup runs beside it.
#include "app/backupservice.h"
#include "benchfigures.h"
#include "jobgenerator.h"
#include "platform/settingsstore.h"
#include "store/backups.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <vector>

using namespace kelvara;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void removeFolder(const QString &path)
{
    QDir(path).removeRecursively();
}

struct Figures
{
    double copyMs = 0;  // until the copy is whole, as the shell's .backup
    double oursMs = 0;  // with the check that makes it count
    double shellMs = 0;
};

// Alternates the shell's .backup and ours, each into a folder emptied before it, so that both
// read a file the system has cached alike.
Figures measure(const QString &tableFile, const QString &work, int runs)
{
    std::vector<double> copies, ours, shell;
    const QString shellTarget = QDir(work).filePath(QStringLiteral("shell-copy.db"));
    const QString folder = QDir(work).filePath(QStringLiteral("backups"));
    for (int run = 0; run < runs; ++run) {
        QFile::remove(shellTarget);
        shell.push_back(bench::sqliteShellMs(tableFile, QStringLiteral(".backup '%1'").arg(shellTarget)));
        QFile::remove(shellTarget);
        removeFolder(folder);
        QElapsedTimer timer;
        qint64 copied = 0;
        timer.start();
        const backups::Made made
            = backups::BackupFolder(folder).make(tableFile, [&](backups::Step step, qint64, qint64) {
                  if (step != backups::Step::Copy && copied == 0)
                      copied = timer.nsecsElapsed();
                  return true;
              });
        ours.push_back(timer.nsecsElapsed() / 1e6);
        copies.push_back(copied / 1e6);
        if (made.counts.jobs == 0)
            qFatal("the backup holds no job");
        removeFolder(folder);
    }
    return {bench::median(copies), bench::median(ours), bench::median(shell)};
}

// Runs a backup through the service the window uses while a 1 ms timer measures how long the
// event loop goes without turning.
double longestGapMs(const QString &tableFile)
{
    BackupService service(tableFile, QStringLiteral("kelvara"));
    service.setFolder(QFileInfo(tableFile).dir().filePath(QStringLiteral("gap-backups")));
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    QEventLoop loop;
    QObject::connect(&service, &BackupService::finished, &loop, &QEventLoop::quit);
    QObject::connect(&service, &BackupService::failed, &loop, [&loop](const QString &message) {
        out() << "the backup failed: " << message << Qt::endl;
        loop.quit();
    });
    clock.start();
    tick.start(1);
    service.start();
    loop.exec();
    removeFolder(service.folder());
    return longest / 1e6;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The settings the service keeps go to a test location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    int records = 100000;
    int photoRecords = 1000;
    int photoBytes = 4 * 1024 * 1024;
    int runs = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--records"))
            records = args.value(++i).toInt();
        else if (args.at(i) == QLatin1String("--photo-records"))
            photoRecords = args.value(++i).toInt();
        else if (args.at(i) == QLatin1String("--photo-bytes"))
            photoBytes = args.value(++i).toInt();
        else if (args.at(i) == QLatin1String("--runs"))
            runs = args.value(++i).toInt();
        else {
            out() << "usage: bench_backup [--records N] [--photo-records N] [--photo-bytes N] [--runs N]" << Qt::endl;
            return 2;
        }
    }
    if (records < 1 || photoRecords < 1 || photoBytes < 1 || runs < 1) {
        out() << "every count must be at least 1" << Qt::endl;
        return 2;
    }
    if (!QFile::exists(bench::sqliteShell())) {
        out() << "bench_backup needs the sqlite3 shell at " << bench::sqliteShell() << Qt::endl;
        return 1;
    }
    QTemporaryDir temporary;
    const QString settings = QDir(temporary.path()).filePath(QStringLiteral("Kelvara.ini"));
    SettingsFileScope settingsScope(settings);

    struct Case
    {
        QString label;
        int jobs;
        int bytes;
    };
    const QList<Case> cases{{QStringLiteral("%1 jobs").arg(records), records, 0},
                            {QStringLiteral("%1 jobs with five %2 MB photos each")
                                 .arg(photoRecords)
                                 .arg(photoBytes / 1048576.0, 0, 'f', photoBytes % 1048576 ? 2 : 0),
                             photoRecords, photoBytes}};
    double worst = 0;
    double worstChecked = 0;
    double longestGap = 0;
    for (const Case &c : cases) {
        const QString work = QDir(temporary.path()).filePath(QStringLiteral("case"));
        QDir().mkpath(work);
        bench::JobGenerator(42).fillTable(work, QStringLiteral("kelvara"), c.jobs, c.bytes);
        const QString tableFile = QDir(work).filePath(QStringLiteral("kelvara.db"));
        const Figures figures = measure(tableFile, work, runs);
        const double ratio = figures.copyMs / figures.shellMs;
        const double checkedRatio = figures.oursMs / figures.shellMs;
        worst = std::max(worst, ratio);
        worstChecked = std::max(worstChecked, checkedRatio);
        out() << c.label << " (" << QFileInfo(tableFile).size() / 1048576 << " MB): copy "
              << QString::number(figures.copyMs, 'f', 0) << " ms, with its check "
              << QString::number(figures.oursMs, 'f', 0) << " ms, shell .backup "
              << QString::number(figures.shellMs, 'f', 0) << " ms; ratios " << QString::number(ratio, 'f', 2) << " and "
              << QString::number(checkedRatio, 'f', 2) << " with the check" << Qt::endl;
        const double gap = longestGapMs(tableFile);
        longestGap = std::max(longestGap, gap);
        out() << c.label << ": longest event-loop gap " << QString::number(gap, 'f', 1) << " ms" << Qt::endl;
        removeFolder(work);
    }
    out() << "target: ratio <= 1.2, gap <= 50 ms" << Qt::endl;
    out() << "verified backup (copy and integrity check) / shell .backup = " << QString::number(worstChecked, 'f', 2)
          << Qt::endl;
    out() << "backup / shell .backup = " << QString::number(worst, 'f', 2) << Qt::endl;
    out() << "longest event-loop gap during a backup = " << QString::number(longestGap, 'f', 1) << " ms" << Qt::endl;
    return 0;
}
