#include "grid/gridcompanions.h"

#include "store/error.h"

#include <QCoreApplication>

namespace kelvara {

namespace {

std::unique_ptr<GridCompanions> &current()
{
    static std::unique_ptr<GridCompanions> companions;
    return companions;
}

[[noreturn]] void notAvailable(const char *window)
{
    throw Error(QCoreApplication::translate("GridCompanions", "The %1 is not available.")
                    .arg(QCoreApplication::translate("GridCompanions", window)));
}

}  // namespace

void GridCompanions::viewField(TDBGrid &, Field &, const QString &)
{
    notAvailable(QT_TRANSLATE_NOOP("GridCompanions", "field viewer"));
}

bool GridCompanions::chooseColumns(TDBGrid &)
{
    notAvailable(QT_TRANSLATE_NOOP("GridCompanions", "column chooser"));
}

void GridCompanions::queryByForm(TDBGrid &, FormMode)
{
    notAvailable(QT_TRANSLATE_NOOP("GridCompanions", "query dialog"));
}

void GridCompanions::printDataSet(TDBGrid &, const QString &, PrintMode)
{
    notAvailable(QT_TRANSLATE_NOOP("GridCompanions", "printout"));
}

void GridCompanions::printGrid(TDBGrid &, const QString &, PrintMode)
{
    notAvailable(QT_TRANSLATE_NOOP("GridCompanions", "printout"));
}

GridCompanions &GridCompanions::instance()
{
    if (!current())
        throw Error(QCoreApplication::translate("GridCompanions", "The grid's windows are not available."));
    return *current();
}

std::unique_ptr<GridCompanions> GridCompanions::install(std::unique_ptr<GridCompanions> companions)
{
    std::unique_ptr<GridCompanions> previous = std::move(current());
    current() = std::move(companions);
    return previous;
}

}  // namespace kelvara
