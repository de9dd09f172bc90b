#include "dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace kelvara {

namespace {

std::unique_ptr<Dialogs> &current()
{
    static std::unique_ptr<Dialogs> dialogs = std::make_unique<QtDialogs>();
    return dialogs;
}

QString title()
{
    return QApplication::applicationName();
}

} // namespace

Dialogs &Dialogs::instance()
{
    return *current();
}

std::unique_ptr<Dialogs> Dialogs::install(std::unique_ptr<Dialogs> dialogs)
{
    std::unique_ptr<Dialogs> previous = std::move(current());
    current() = dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>();
    return previous;
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
    return QMessageBox::information(parent, title(), text, QMessageBox::Ok | QMessageBox::Cancel,
                                    QMessageBox::Ok)
        == QMessageBox::Ok;
}

namespace {

// A filter's last parenthesised group holds its patterns; the dialog shows only the name before
// it, so a filter can read "All (*.jpg;*.jpeg)" and still match "*.gif *.jpg *.jpeg".
QString runFileDialog(QWidget *parent, const QString &caption, const QString &directory,
                      const QStringList &filters, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, caption, directory);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace

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

bool QtDialogs::print(QWidget *parent, QPrinter &printer)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

int QtDialogs::exec(QDialog &dialog)
{
    return dialog.exec();
}

} // namespace kelvara
