#include "platform/dialogs.h"

#include "platform/serviceslot.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QMessageBox>
#include <QMimeDatabase>

namespace kelvara {

namespace {

using Installed = ServiceSlot<Dialogs, QtDialogs>;

QString title()
{
    return QApplication::applicationName();
}

}  // namespace

Dialogs &Dialogs::instance()
{
    return Installed::instance();
}

std::unique_ptr<Dialogs> Dialogs::install(std::unique_ptr<Dialogs> dialogs)
{
    return Installed::install(std::move(dialogs));
}

void QtDialogs::error(QWidget *parent, const QString &text)
{
    QMessageBox::critical(parent, title(), text, QMessageBox::Ok);
}

void QtDialogs::warning(QWidget *parent, const QString &text)
{
    QMessageBox::warning(parent, title(), text, QMessageBox::Ok);
}

void QtDialogs::information(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, title(), text, QMessageBox::Ok);
}

bool QtDialogs::confirm(QWidget *parent, const QString &text)
{
    return QMessageBox::information(parent, title(), text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
        == QMessageBox::Ok;
}

namespace {

// Names a file's type and icon from its name alone. The toolkit's own provider reads a file's
// first bytes to tell its type, and a file dialog asks it for every file in the folder: an open
// and close of the record table's files by anyone but SQLite drops SQLite's locks on them.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }

    QIcon icon(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QFileIconProvider::icon(info.isRoot() ? Drive : Folder);
        const QMimeType mime = mimeOf(info);
        QIcon icon = QIcon::fromTheme(mime.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(mime.genericIconName());
        return icon.isNull() ? QFileIconProvider::icon(File) : icon;
    }

    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QFileIconProvider::type(info);
        return mimeOf(info).comment();
    }

private:
    static QMimeType mimeOf(const QFileInfo &info)
    {
        return QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
};

// A filter's last parenthesised group holds its patterns; the dialog shows only the name before
// it, so a filter can read "All (*.jpg;*.jpeg)" and still match "*.gif *.jpg *.jpeg".
QString runFileDialog(QWidget *parent, const QString &caption, const QString &directory, const QStringList &filters,
                      QFileDialog::AcceptMode mode)
{
    // Made before the dialog, whose model uses it until the dialog is gone.
    NameOnlyIconProvider icons;
    QFileDialog dialog(parent, caption, directory);
    // A native dialog runs the desktop's own code in our process, and that code reads files to
    // tell their types; ours reads names only (see NameOnlyIconProvider).
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

}  // namespace

QString QtDialogs::openFileName(QWidget *parent, const QString &caption, const QString &directory,
                                const QStringList &filters)
{
    return runFileDialog(parent, caption, directory, filters, QFileDialog::AcceptOpen);
}

QString QtDialogs::saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                                const QStringList &filters)
{
    return runFileDialog(parent, caption, directory, filters, QFileDialog::AcceptSave);
}

QString QtDialogs::existingFolder(QWidget *parent, const QString &caption, const QString &directory)
{
    NameOnlyIconProvider icons;
    QFileDialog dialog(parent, caption, directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

int QtDialogs::exec(QDialog &dialog)
{
    return dialog.exec();
}

}  // namespace kelvara
