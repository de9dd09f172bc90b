#pragma once

#include "store/backups.h"
#include "store/table.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace kelvara {

// Lists the backups of a folder (when made, jobs, photos, size, whether it can be read) and
// gives the one the user chooses to restore; the window itself changes nothing.
class RestoreWindow : public QDialog
{
    Q_OBJECT

public:
    RestoreWindow(const backups::BackupFolder &folder, QWidget *parent = nullptr);

    // The backup chosen when the window was accepted.
    QString chosenFile() const { return m_chosen; }
    QTableWidget *list() const { return m_list; }

private:
    void fill();
    void chooseCurrent();

    backups::BackupFolder m_folder;
    QList<backups::BackupInfo> m_backups;
    QTableWidget *m_list;
    QPushButton *m_restore;
    QString m_chosen;
};

// Lists the jobs deleted in the last days, the latest first, and gives the one the user
// chooses to put back.
class DeletedJobsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit DeletedJobsWindow(const Table &table, QWidget *parent = nullptr);

    qint64 chosenRecord() const { return m_chosen; }
    QTableWidget *list() const { return m_list; }

private:
    QList<DeletedRecord> m_records;
    QTableWidget *m_list;
    QPushButton *m_putBack;
    qint64 m_chosen = 0;
};

// "12 MB", "1.4 GB": a size as a file manager shows it.
QString sizeText(qint64 bytes);

}  // namespace kelvara
