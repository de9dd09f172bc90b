#include "app/backupservice.h"

#include "platform/settingsstore.h"
#include "store/error.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QThread>
#include <QUrl>

namespace kelvara {

namespace {

// Kept per data folder: each table has backups of its own.
QString keyFor(const char *name, const QString &tableFile)
{
    return QStringLiteral("Backups/%1/%2")
        .arg(QLatin1String(name), QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(tableFile).absolutePath())));
}

QString stepText(backups::Step step)
{
    switch (step) {
    case backups::Step::Copy: return QStringLiteral("Backing up");
    case backups::Step::Check: return QStringLiteral("Checking the backup");
    case backups::Step::Name:
    case backups::Step::Thin: return QStringLiteral("Finishing the backup");
    }
    return QString();
}

}  // namespace

BackupService::BackupService(const QString &tableFile, const QString &tableName, QObject *parent)
    : QObject(parent), m_tableFile(QFileInfo(tableFile).absoluteFilePath()), m_tableName(tableName)
{ }

BackupService::~BackupService()
{
    if (m_thread) {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
    }
}

QString BackupService::defaultFolder() const
{
    return QFileInfo(m_tableFile).dir().filePath(QStringLiteral("backups"));
}

QString BackupService::folder() const
{
    const QString chosen = SettingsStore::open()->value(keyFor("Folder", m_tableFile)).toString();
    return chosen.isEmpty() ? defaultFolder() : chosen;
}

void BackupService::setFolder(const QString &folder)
{
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    const QString cleaned = folder.isEmpty() ? QString() : QDir::cleanPath(QDir(folder).absolutePath());
    if (cleaned.isEmpty() || cleaned == QDir::cleanPath(defaultFolder()))
        settings->remove(keyFor("Folder", m_tableFile));
    else
        settings->setValue(keyFor("Folder", m_tableFile), cleaned);
    settings->sync();
}

backups::BackupFolder BackupService::backupFolder() const
{
    return backups::BackupFolder(folder(), m_tableName);
}

bool BackupService::due(const QDateTime &now) const
{
    if (SettingsStore::open()->value(keyFor("Pending", m_tableFile)).toBool())
        return true;
    const std::optional<backups::BackupInfo> newest = backupFolder().newest();
    return !newest || newest->made.secsTo(now) >= 24 * 3600;
}

void BackupService::setPending(bool pending)
{
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    if (pending)
        settings->setValue(keyFor("Pending", m_tableFile), true);
    else
        settings->remove(keyFor("Pending", m_tableFile));
    settings->sync();
}

bool BackupService::start()
{
    if (m_thread)
        return false;
    m_stop = false;
    m_lastReport = -1;
    auto outcome = std::make_shared<Outcome>();
    m_outcome = outcome;
    const backups::BackupFolder target = backupFolder();
    const QString tableFile = m_tableFile;
    QPointer<BackupService> self(this);
    // Reports go to this object's thread when the step or its percent changes: the check asks
    // many times a second whether to go on, and tells nothing new each time.
    const backups::Progress progress = [this, self](backups::Step step, qint64 done, qint64 total) {
        if (m_stop)
            return false;
        const int percent = backups::percentOf(step, done, total);
        const int report = int(step) * 1000 + percent + 1;
        if (m_lastReport.exchange(report) != report) {
            const QString text = stepText(step);
            QMetaObject::invokeMethod(
                this,
                [self, percent, text] {
                    if (self)
                        Q_EMIT self->progressed(percent, text);
                },
                Qt::QueuedConnection);
        }
        return true;
    };
    m_thread = QThread::create([target, tableFile, progress, outcome] {
        try {
            outcome->made = target.make(tableFile, progress);
        } catch (const backups::Cancelled &) {
            outcome->cancelled = true;
        } catch (const std::exception &error) {
            const auto *own = dynamic_cast<const Error *>(&error);
            outcome->error = own ? own->message() : QString::fromLocal8Bit(error.what());
        }
    });
    m_thread->setObjectName(QStringLiteral("Backup"));
    connect(m_thread, &QThread::finished, this, &BackupService::ended);
    setPending(true);  // until it has ended well
    m_thread->start(QThread::LowPriority);
    return true;
}

void BackupService::cancel()
{
    m_stop = true;
}

void BackupService::wait()
{
    if (m_thread)
        m_thread->wait();
}

void BackupService::ended()
{
    if (!m_thread)
        return;
    m_thread->deleteLater();
    m_thread = nullptr;
    const std::shared_ptr<Outcome> outcome = std::move(m_outcome);
    if (outcome->cancelled) {
        Q_EMIT cancelled();
    } else if (!outcome->error.isEmpty()) {
        Q_EMIT failed(outcome->error);
    } else {
        setPending(false);
        Q_EMIT finished(outcome->made.fileName, outcome->made.counts.jobs, outcome->made.counts.photos);
    }
}

}  // namespace kelvara
