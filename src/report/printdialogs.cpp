#include "report/printdialogs.h"

#include "platform/serviceslot.h"
#include "report/printpreview.h"

#include <QPrintDialog>
#include <QPrinter>

namespace kelvara {

using Installed = ServiceSlot<PrintDialogs, QtPrintDialogs>;

PrintDialogs &PrintDialogs::instance()
{
    return Installed::instance();
}

std::unique_ptr<PrintDialogs> PrintDialogs::install(std::unique_ptr<PrintDialogs> dialogs)
{
    return Installed::install(std::move(dialogs));
}

bool QtPrintDialogs::print(QWidget *parent, QPrinter &printer)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

void QtPrintDialogs::preview(QWidget *parent, PagedDocument &document)
{
    PrintPreviewDialog dialog(document, parent);
    dialog.exec();
}

}  // namespace kelvara
