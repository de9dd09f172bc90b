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

QString QtDialogs::openFileName(QWidget *parent, const QString &caption, const QString &directory,
                                const QStringList &filters)
{
    return QFileDialog::getOpenFileName(parent, caption, directory, filters.join(QStringLiteral(";;")));
}

QString QtDialogs::saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                                const QStringList &filters)
{
    return QFileDialog::getSaveFileName(parent, caption, directory, filters.join(QStringLiteral(";;")));
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
