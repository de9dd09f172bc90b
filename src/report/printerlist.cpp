#include "report/printerlist.h"

#include <QPrinterInfo>

namespace kelvara {

namespace {

std::optional<QStringList> &installed()
{
    static std::optional<QStringList> names;
    return names;
}

}  // namespace

QStringList PrinterList::names()
{
    if (installed())
        return *installed();
    return QPrinterInfo::availablePrinterNames();
}

void PrinterList::useNames(std::optional<QStringList> names)
{
    installed() = std::move(names);
}

}  // namespace kelvara
