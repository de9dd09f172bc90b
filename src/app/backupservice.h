#pragma once

#include "store/backups.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

namespace kelvara {

// Makes the table's backups on a thread and a connection of its own, so the window goes on
// while they are copied and checked. Where they go is kept with the stored settings; a backup
// that was skipped or failed is due at the next start.
class BackupService : public QObject
{
    Q_OBJECT

public:
    BackupService(const QString &tableFile, const QString &tableName, QObject *parent = nullptr);
    ~BackupService() override;  // stops a running backup and waits for its thread

    QString tableFile() const { return m_tableFile; }
    QString tableName() const { return m_tableName; }

    // The folder in use: the one chosen, or "backups" beside the table.
    QString folder() const;
    QString defaultFolder() const;
    // Keeps a folder of the user's choice with the settings; an empty one means the default.
    void setFolder(const QString &folder);
    backups::BackupFolder backupFolder() const;

    // No backup yet, the newest older than a day, or the last one skipped or failed.
    bool due(const QDateTime &now = QDateTime::currentDateTime()) const;

    bool running() const { return m_thread != nullptr; }
    // Begins a backup unless one runs; gives false when one did.
    bool start();
    // Asks the running backup to stop; it ends with cancelled(), and is due at the next start.
    void cancel();
    // Waits for the running backup's thread, handling no events; for the window's last moment.
    void wait();

Q_SIGNALS:
    // percent is -1 while the copy is checked, which says nothing of how far it is.
    void progressed(int percent, const QString &step);
    void finished(const QString &fileName, qint64 jobs, qint64 photos);
    void failed(const QString &message);
    void cancelled();

private:
    void setPending(bool pending);
    void ended();

    QString m_tableFile;
    QString m_tableName;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_lastReport{-1};  // the step and percent reported last
    // What the thread hands over at its end.
    struct Outcome
    {
        backups::Made made;
        QString error;
        bool cancelled = false;
    };
    std::shared_ptr<Outcome> m_outcome;
};

}  // namespace kelvara
