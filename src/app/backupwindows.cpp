#include "app/backupwindows.h"

#include "platform/dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kelvara {

namespace {

QTableWidget *makeList(QWidget *parent, const QStringList &headers)
{
    auto *list = new QTableWidget(0, int(headers.size()), parent);
    list->setObjectName(QStringLiteral("list"));
    list->setHorizontalHeaderLabels(headers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    list->setAlternatingRowColors(true);
    return list;
}

void setCell(QTableWidget *list, int row, int column, const QString &text, bool number = false)
{
    auto *item = new QTableWidgetItem(text);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    list->setItem(row, column, item);
}

QString joined(const QVariant &a, const QVariant &b)
{
    return QStringList{a.toString().trimmed(), b.toString().trimmed()}.join(QLatin1Char(' ')).trimmed();
}

}  // namespace

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

RestoreWindow::RestoreWindow(const backups::BackupFolder &folder, QWidget *parent)
    : QDialog(parent), m_folder(folder),
      m_list(makeList(this,
                      {QStringLiteral("Made"), QStringLiteral("Jobs"), QStringLiteral("Photos"), QStringLiteral("Size"),
                       QStringLiteral("State")}))
{
    setObjectName(QStringLiteral("RestoreWindow"));
    setWindowTitle(QStringLiteral("Restore From Backup"));
    auto *layout = new QVBoxLayout(this);
    auto *where = new QLabel(QStringLiteral("Backups in %1").arg(QDir::toNativeSeparators(m_folder.folder())));
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(where);
    layout->addWidget(m_list);
    auto *note = new QLabel(QStringLiteral("The record table as it is now is kept as a file beside it "
                                           "before the backup takes its place."));
    note->setWordWrap(true);
    layout->addWidget(note);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    m_restore = buttons->addButton(QStringLiteral("&Restore"), QDialogButtonBox::AcceptRole);
    m_restore->setObjectName(QStringLiteral("restore"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_restore, &QPushButton::clicked, this, &RestoreWindow::chooseCurrent);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &RestoreWindow::chooseCurrent);
    connect(m_list, &QTableWidget::currentCellChanged, this, [this](int row) {
        m_restore->setEnabled(row >= 0 && row < m_backups.size() && m_backups.at(row).counts.has_value());
    });
    fill();
    resize(620, 360);
}

void RestoreWindow::fill()
{
    m_backups = m_folder.list(true);
    m_list->setRowCount(int(m_backups.size()));
    const QLocale locale;
    for (int row = 0; row < m_backups.size(); ++row) {
        const backups::BackupInfo &backup = m_backups.at(row);
        setCell(m_list, row, 0, locale.toString(backup.made, QLocale::ShortFormat));
        setCell(m_list, row, 1, backup.counts ? locale.toString(backup.counts->jobs) : QString(), true);
        setCell(m_list, row, 2, backup.counts ? locale.toString(backup.counts->photos) : QString(), true);
        setCell(m_list, row, 3, sizeText(backup.size), true);
        // Only a copy that passed its check gets a backup's name; what can no longer be read
        // since says so.
        setCell(m_list, row, 4,
                backup.counts ? QStringLiteral("verified") : QStringLiteral("cannot be read: %1").arg(backup.problem));
    }
    m_list->resizeColumnsToContents();
    if (!m_backups.isEmpty())
        m_list->setCurrentCell(0, 0);
    m_restore->setEnabled(!m_backups.isEmpty() && m_backups.first().counts.has_value());
}

void RestoreWindow::chooseCurrent()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_backups.size() || !m_backups.at(row).counts)
        return;
    const backups::BackupInfo &backup = m_backups.at(row);
    if (!dialogs().confirm(this,
                           QStringLiteral("Restore the backup of %1, with %2 jobs and %3 photos?\n\n"
                                          "The jobs typed since then are not in it. The record table as it "
                                          "is now is kept as a file beside it.")
                               .arg(QLocale().toString(backup.made, QLocale::ShortFormat))
                               .arg(backup.counts->jobs)
                               .arg(backup.counts->photos)))
        return;
    m_chosen = backup.fileName;
    accept();
}

DeletedJobsWindow::DeletedJobsWindow(const Table &table, QWidget *parent)
    : QDialog(parent), m_list(makeList(this,
                                       {QStringLiteral("Date"), QStringLiteral("Name"), QStringLiteral("Address"),
                                        QStringLiteral("Photos"), QStringLiteral("Deleted")}))
{
    setObjectName(QStringLiteral("DeletedJobsWindow"));
    setWindowTitle(QStringLiteral("Deleted Jobs"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Jobs deleted in the last %1 days, the latest first:")
                       .arg(table.deletedKeptDays() > 0 ? table.deletedKeptDays() : Table::kDefaultDeletedKeptDays)));
    layout->addWidget(m_list);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    m_putBack = buttons->addButton(QStringLiteral("&Put Back"), QDialogButtonBox::AcceptRole);
    m_putBack->setObjectName(QStringLiteral("putBack"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto choose = [this] {
        const int row = m_list->currentRow();
        if (row < 0 || row >= m_records.size())
            return;
        m_chosen = m_records.at(row).rid;
        accept();
    };
    connect(m_putBack, &QPushButton::clicked, this, choose);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, choose);

    m_records = table.deletedRecords({QStringLiteral("Dato"), QStringLiteral("Firstname"), QStringLiteral("Lastname"),
                                      QStringLiteral("Street1"), QStringLiteral("City1")});
    m_list->setRowCount(int(m_records.size()));
    const QLocale locale;
    for (int row = 0; row < m_records.size(); ++row) {
        const DeletedRecord &record = m_records.at(row);
        const QDate date = record.values.at(0).toDate();
        setCell(m_list, row, 0, date.isValid() ? locale.toString(date, QLocale::ShortFormat) : QString());
        setCell(m_list, row, 1, joined(record.values.at(1), record.values.at(2)));
        setCell(m_list, row, 2, joined(record.values.at(3), record.values.at(4)));
        setCell(m_list, row, 3, locale.toString(record.photos), true);
        setCell(m_list, row, 4, locale.toString(record.deletedAt, QLocale::ShortFormat));
    }
    m_list->resizeColumnsToContents();
    // Room for a name and an address even when the first rows have none.
    for (int column : {1, 2})
        m_list->setColumnWidth(column, qMax(m_list->columnWidth(column), 160));
    if (!m_records.isEmpty())
        m_list->setCurrentCell(0, 0);
    m_putBack->setEnabled(!m_records.isEmpty());
    resize(640, 360);
}

}  // namespace kelvara
