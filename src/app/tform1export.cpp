// The main window's export of the jobs for spreadsheet programs: the questions, the headings.
#include "app/jobexport.h"
#include "app/tform1.h"
#include "dbctrls/tdbcombobox.h"
#include "dbctrls/tdbedit.h"
#include "dbctrls/tdbmemo.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "store/error.h"
#include "store/field.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>

namespace kelvara {

namespace {

const QString kExportFolderKey = QStringLiteral("Export/Folder");

// The field a bound box of the window shows; empty for any other widget.
QString boundField(const QWidget *widget)
{
    if (const auto *edit = qobject_cast<const TDBEdit *>(widget))
        return edit->dataField();
    if (const auto *combo = qobject_cast<const TDBComboBox *>(widget))
        return combo->dataField();
    if (const auto *memo = qobject_cast<const TDBMemo *>(widget))
        return memo->dataField();
    return QString();
}

QString oneLine(const QString &text)
{
    return QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
}

// The caption of a panel: its one label that names no box.
QString panelCaption(const QWidget *panel)
{
    QString found;
    for (const QLabel *label : panel->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (label->buddy())
            continue;
        if (!found.isEmpty())
            return QString();
        found = oneLine(label->text());
    }
    return found;
}

}  // namespace

QList<jobexport::Column> TForm1::exportColumns() const
{
    // The headings are what the window shows: the caption over each bound box, or the name a
    // box without one is given. Captions the sheet repeats (the pick-up address beside the
    // customer's) are told apart by their panel's caption.
    QHash<QString, QString> captions;
    QHash<QString, int> uses;
    QHash<QString, const QLabel *> captionLabel;
    for (const QLabel *label : findChildren<QLabel *>()) {
        const QString field = boundField(label->buddy());
        if (field.isEmpty())
            continue;
        captions.insert(field, oneLine(label->text()));
        captionLabel.insert(field, label);
        ++uses[oneLine(label->text())];
    }
    for (auto it = captions.begin(); it != captions.end(); ++it) {
        if (uses.value(it.value()) < 2)
            continue;
        const QString panel = panelCaption(captionLabel.value(it.key())->parentWidget());
        if (!panel.isEmpty())
            it.value() = QStringLiteral("%1 (%2)").arg(it.value(), panel);
    }
    for (const QWidget *box : findChildren<QWidget *>()) {
        const QString field = boundField(box);
        if (!field.isEmpty() && !captions.contains(field) && !box->accessibleName().isEmpty())
            captions.insert(field, box->accessibleName());
    }

    QList<jobexport::Column> columns;
    for (const Field *field : jobexport::exportedFields(*Table1)) {
        QString heading = captions.value(field->fieldName());
        // The sheet shows the time in boxes of hours and minutes; the file holds minutes.
        if (field->fieldName() == QLatin1String("timeused"))
            heading = QStringLiteral("Time Used (minutes)");
        if (heading.isEmpty())
            heading = field->displayName();
        columns << jobexport::Column{field->fieldName(), heading};
    }
    return columns;
}

void TForm1::exportJobs()
{
    saveTypedJob();

    jobexport::Rows rows = jobexport::Rows::All;
    // A query or a find narrows the jobs: which ones the user means is asked.
    if (Table1->narrowed()) {
        const qint64 all = Table1->storedCount();
        const qint64 shown = Table1->recordCount();
        const QLocale locale;
        if (dialogs().confirm(this,
                              QStringLiteral("%1 of the %2 jobs are shown.\n\n"
                                             "Export only the %1 shown jobs?\n"
                                             "OK exports the shown jobs, Cancel all %2.")
                                  .arg(locale.toString(shown), locale.toString(all))))
            rows = jobexport::Rows::Shown;
    }

    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    QString folder = settings->value(kExportFolderKey).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString fileName = dialogs().saveFileName(this, QStringLiteral("Export Jobs"),
                                              QDir(folder).filePath(QStringLiteral("kelvara-jobs.csv")),
                                              {QStringLiteral("CSV files (*.csv)")});
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty() && !QFileInfo(fileName).isDir())
        fileName += QStringLiteral(".csv");

    QApplication::setOverrideCursor(Qt::WaitCursor);
    qint64 written = 0;
    try {
        written = jobexport::writeCsv(*Table1, exportColumns(), rows, fileName);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    settings->setValue(kExportFolderKey, QFileInfo(fileName).absolutePath());
    settings->sync();
    statusBar()->showMessage(QStringLiteral("%1 %2 exported to %3")
                                 .arg(QLocale().toString(written), QLatin1String(written == 1 ? "job" : "jobs"),
                                      QDir::toNativeSeparators(fileName)),
                             10000);
}

}  // namespace kelvara
