// The main window's safety net: its menu bar and status bar, backups, restore and deleted jobs.
#include "app/backupservice.h"
#include "app/backupwindows.h"
#include "app/datafolder.h"
#include "app/startup.h"
#include "app/statisticswindow.h"
#include "app/tform1.h"
#include "dbctrls/tdbedit.h"
#include "grid/tenhancedgrid.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/settingsstore.h"
#include "store/error.h"
#include "store/field.h"
#include "store/table.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

namespace kelvara {

namespace {

const QString kAutomaticKey = QStringLiteral("Backups/Automatic");

QString counted(qint64 count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(QLocale().toString(count), QLatin1String(count == 1 ? one : many));
}

// Shows a percent on a progress bar or window; -1 makes it a busy indicator.
template <typename Bar> void showPercent(Bar &bar, int percent)
{
    bar.setMaximum(percent < 0 ? 0 : 100);
    if (percent >= 0)
        bar.setValue(percent);
}

// Runs work on a thread of its own while a progress window shows how far it is and offers to
// stop it; the window's events go on meanwhile. Rethrows what the work threw.
void runWithProgress(QWidget *parent, const QString &label, const QString &stopText,
                     const std::function<void(const backups::Progress &)> &work)
{
    QProgressDialog progress(label, stopText, 0, 100, parent);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    std::atomic<bool> stop{false};
    std::atomic<int> percent{0};
    std::exception_ptr failure;
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&stop] { stop = true; });
    QEventLoop loop;
    QThread *thread = QThread::create([&] {
        try {
            work([&](backups::Step step, qint64 done, qint64 total) {
                percent = backups::percentOf(step, done, total);
                return !stop.load();
            });
        } catch (...) {
            failure = std::current_exception();
        }
    });
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &progress, [&progress, &percent] { showPercent(progress, percent); });
    tick.start(100);
    thread->start();
    // The progress window is modal: only its Stop button takes the user's input meanwhile.
    loop.exec();
    thread->wait();
    delete thread;
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace

void TForm1::buildMenuBar()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    auto add = [this](QMenu *menu, const char *name, const QString &text, void (TForm1::*slot)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, slot] { guarded(this, [this, slot] { (this->*slot)(); }); });
        return action;
    };
    add(file, "OpenDataFolder", QStringLiteral("&Open Data Folder..."), &TForm1::chooseDataFolder);
    file->addSeparator();
    add(file, "ExportJobs", QStringLiteral("&Export..."), &TForm1::exportJobs);
    add(file, "PrintJobSheet", QStringLiteral("&Print Job Sheet..."), &TForm1::printJobSheet)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    add(file, "Statistics", QStringLiteral("S&tatistics..."), &TForm1::showStatistics);
    file->addSeparator();
    add(file, "BackUpNow", QStringLiteral("Back &Up Now"), &TForm1::backUpNow);
    add(file, "RestoreFromBackup", QStringLiteral("&Restore From Backup..."), &TForm1::restoreFromBackup);
    add(file, "DeletedJobs", QStringLiteral("&Deleted Jobs..."), &TForm1::showDeletedJobs);
    file->addSeparator();
    add(file, "BackupFolder", QStringLiteral("Backup &Folder..."), &TForm1::chooseBackupFolder);
    m_automaticBackups = file->addAction(QStringLiteral("Back Up &Automatically"));
    m_automaticBackups->setObjectName(QStringLiteral("BackUpAutomatically"));
    m_automaticBackups->setCheckable(true);
    m_automaticBackups->setChecked(SettingsStore::open()->value(kAutomaticKey, true).toBool());
    connect(m_automaticBackups, &QAction::toggled, this, [](bool on) {
        const std::unique_ptr<QSettings> settings = SettingsStore::open();
        settings->setValue(kAutomaticKey, on);
        settings->sync();
    });
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("Exit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    add(help, "About", QStringLiteral("&About Kelvara"), &TForm1::showAbout);
    buildFindBar();
}

void TForm1::showStatistics()
{
    saveTypedJob();
    StatisticsWindow window(*Table1, statisticsFields(*this), shownJobsDescription(), this);
    dialogs().exec(window);
}

void TForm1::buildStatusBar()
{
    m_backupProgress = new QProgressBar;
    m_backupProgress->setObjectName(QStringLiteral("BackupProgress"));
    m_backupProgress->setMaximumWidth(160);
    m_backupProgress->setTextVisible(false);
    m_backupProgress->hide();
    m_backupStatus = new QLabel;
    m_backupStatus->setObjectName(QStringLiteral("BackupStatus"));
    auto *folder = new QLabel(QStringLiteral("Data folder: %1").arg(QDir::toNativeSeparators(DataFolder::current())));
    folder->setObjectName(QStringLiteral("DataFolderStatus"));
    statusBar()->addWidget(folder);
    buildShownJobsStatus();
    statusBar()->addPermanentWidget(m_backupStatus);
    statusBar()->addPermanentWidget(m_backupProgress);
}

void TForm1::setUpBackups()
{
    m_backups = std::make_unique<BackupService>(Table1->fileName(), Table1->tableName());
    connect(m_backups.get(), &BackupService::progressed, this, [this](int percent, const QString &step) {
        showPercent(*m_backupProgress, percent);
        m_backupProgress->show();
        m_backupStatus->setText(step + QStringLiteral("..."));
    });
    connect(m_backups.get(), &BackupService::finished, this, [this](const QString &, qint64 jobs, qint64 photos) {
        m_backupProgress->hide();
        m_reportedBackupFailure.clear();
        m_backupStatus->setText(QStringLiteral("Backed up at %1: %2, %3")
                                    .arg(QLocale().toString(QTime::currentTime(), QLocale::ShortFormat),
                                         counted(jobs, "job", "jobs"), counted(photos, "photo", "photos")));
        if (m_backupAnnounced) {
            m_backupAnnounced = false;
            dialogs().information(this,
                                  QStringLiteral("The backup was made and verified: %1 and %2, in %3.")
                                      .arg(counted(jobs, "job", "jobs"), counted(photos, "photo", "photos"),
                                           QDir::toNativeSeparators(m_backups->folder())));
        }
    });
    connect(m_backups.get(), &BackupService::failed, this, [this](const QString &message) {
        m_changedSinceBackup = true;  // what it would have held is still to be backed up
        m_backupProgress->hide();
        m_backupStatus->setText(QStringLiteral("The last backup failed"));
        m_backupAnnounced = false;
        // Said once: the same failure at the next attempt is not repeated.
        if (message == m_reportedBackupFailure)
            return;
        m_reportedBackupFailure = message;
        dialogs().warning(this, message);
    });
    connect(m_backups.get(), &BackupService::cancelled, this, [this] {
        m_changedSinceBackup = true;
        m_backupProgress->hide();
        m_backupAnnounced = false;
        m_backupStatus->setText(QStringLiteral("The backup was stopped; it is made at the next start"));
    });
    // Every save marks the table as changed since the last backup.
    for (auto signal : {&Table::afterPost, &Table::afterDelete})
        connect(Table1, signal, this, [this] { m_changedSinceBackup = true; });
}

bool TForm1::automaticBackups() const
{
    return m_automaticBackups && m_automaticBackups->isChecked();
}

bool TForm1::startBackup()
{
    if (!m_backups->start())
        return false;
    // The backup holds what is saved when it begins; a save from now on calls for another.
    m_changedSinceBackup = false;
    return true;
}

void TForm1::backUpWhenDue()
{
    if (m_backups && automaticBackups() && Table1->active() && m_backups->due())
        startBackup();
}

void TForm1::backUpNow()
{
    if (!m_backups)
        throw Error(QStringLiteral("There is no record table to back up."));
    saveTypedJob();
    m_backupAnnounced = true;
    m_reportedBackupFailure.clear();  // asked for: a failure is said again
    if (!startBackup())
        dialogs().information(this, QStringLiteral("A backup is being made now."));
}

void TForm1::backUpBeforeClosing()
{
    if (!m_backups || !Table1->active() || !automaticBackups())
        return;
    if (!m_changedSinceBackup && !m_backups->running() && !m_backups->due())
        return;
    startBackup();
    // A second close while this one waits for its backup changes nothing.
    const QScopedValueRollback<bool> busy(m_busy, true);
    QProgressDialog progress(QStringLiteral("Backing up before Kelvara closes..."), QStringLiteral("&Skip"), 0, 100,
                             this);
    progress.setObjectName(QStringLiteral("ClosingBackup"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QEventLoop loop;
    connect(&progress, &QProgressDialog::canceled, m_backups.get(), &BackupService::cancel);
    connect(m_backups.get(), &BackupService::progressed, &progress, [&progress](int percent, const QString &step) {
        progress.setLabelText(step + QStringLiteral("..."));
        showPercent(progress, percent);
    });
    connect(m_backups.get(), &BackupService::finished, &loop, &QEventLoop::quit);
    connect(m_backups.get(), &BackupService::failed, &loop, &QEventLoop::quit);
    connect(m_backups.get(), &BackupService::cancelled, &loop, &QEventLoop::quit);
    if (m_backups->running())
        loop.exec();
}

void TForm1::restoreFromBackup()
{
    if (!m_backups)
        throw Error(QStringLiteral("There is no record table to restore into."));
    RestoreWindow window(m_backups->backupFolder(), this);
    if (dialogs().exec(window) != QDialog::Accepted || window.chosenFile().isEmpty())
        return;
    restoreBackupFile(window.chosenFile());
}

void TForm1::restoreBackupFile(const QString &backupFile)
{
    // What is typed is saved first, so that the kept table holds it too.
    if (Table1->active() && Table1->canModify())
        Table1->checkBrowseMode();
    if (m_backups->running()) {
        m_backups->cancel();
        m_backups->wait();
    }
    const QString tableFile = QFileInfo(Table1->fileName()).absoluteFilePath();
    // The window may not close while its table is away.
    const QScopedValueRollback<bool> busy(m_busy, true);
    Table1->close();
    QString kept;
    try {
        runWithProgress(this, QStringLiteral("Restoring the backup..."), QStringLiteral("&Stop"),
                        [&](const backups::Progress &progress) {
                            kept = backups::restore(backupFile, tableFile, Table1->tableName(), progress);
                        });
    } catch (const backups::Cancelled &) {
        Table1->open();
        keepEditing();
        return;
    } catch (const Error &) {
        // The table is as it was: it opens again, and the failure is told.
        Table1->open();
        keepEditing();
        throw;
    }
    Table1->open();
    Table1->first();
    keepEditing();
    // The total follows the records now in place.
    recountTotal();
    DBEdit1->setFocus();
    dialogs().information(this,
                          QStringLiteral("The backup was restored: %1 jobs.\n\nThe record table as it was "
                                         "is kept as \"%2\".")
                              .arg(Table1->recordCount())
                              .arg(QFileInfo(kept).fileName()));
}

bool TForm1::offerBackupForDamaged()
{
    const BackupService service(Table1->fileName(), Table1->tableName());
    const QList<backups::BackupInfo> all = service.backupFolder().list(true);
    for (const backups::BackupInfo &backup : all) {
        if (!backup.counts)
            continue;
        if (!dialogs().confirm(
                this,
                QStringLiteral("The record table could not be opened:\n%1\n\nIts file was kept as "
                               "\"%2\".\n\nRestore the newest backup, of %3 with %4 jobs, instead "
                               "of starting with an empty table?")
                    .arg(m_damageReason, m_keptDamagedTable, QLocale().toString(backup.made, QLocale::ShortFormat))
                    .arg(backup.counts->jobs)))
            return false;
        runWithProgress(this, QStringLiteral("Restoring the backup..."), QString(),
                        [&](const backups::Progress &progress) {
                            backups::restore(backup.fileName, Table1->fileName(), Table1->tableName(), progress);
                        });
        return true;
    }
    return false;
}

void TForm1::showDeletedJobs()
{
    if (!Table1->active())
        throw Error(QStringLiteral("The record table is not open."));
    if (Table1->canModify())
        Table1->checkBrowseMode();
    DeletedJobsWindow window(*Table1, this);
    const int accepted = dialogs().exec(window);
    keepEditing();
    if (accepted != QDialog::Accepted || window.chosenRecord() == 0)
        return;
    Table1->restoreDeleted(window.chosenRecord());
    keepEditing();
    // The time of a job put back counts again, as it did before the delete.
    const qint64 minutes = Table1->fieldByName(QStringLiteral("timeused"))->asInteger();
    if (minutes != 0)
        Checktimetotal(0, minutes);
    DBEdit1->setFocus();
}

void TForm1::chooseDataFolder()
{
    // A switch closes this window: nothing may touch it afterwards.
    openDataFolder(*this);
}

void TForm1::chooseBackupFolder()
{
    if (!m_backups)
        throw Error(QStringLiteral("There is no record table to back up."));
    const QString chosen = dialogs().existingFolder(this, QStringLiteral("Backup Folder"), m_backups->folder());
    if (chosen.isEmpty())
        return;
    const QFileInfo info(chosen);
    if (!info.isDir() || !info.isWritable())
        throw Error(QStringLiteral("Backups cannot be kept in %1: it is no folder that can be written.")
                        .arg(QDir::toNativeSeparators(chosen)));
    m_backups->setFolder(chosen);
    m_backupStatus->setText(QStringLiteral("Backups go to %1").arg(QDir::toNativeSeparators(m_backups->folder())));
}

void TForm1::showAbout()
{
    dialogs().information(
        this,
        QStringLiteral("Kelvara %1\n\nA record of bee-swarm removal jobs.\n\nData folder: %2\nSettings file: %3\n"
                       "Backup folder: %4")
            .arg(QStringLiteral(KELVARA_VERSION), QDir::toNativeSeparators(DataFolder::current()),
                 QDir::toNativeSeparators(SettingsStore::location()),
                 m_backups ? QDir::toNativeSeparators(m_backups->folder()) : QString()));
}

}  // namespace kelvara
