#include "gridcompanions.h"

#include "error.h"

#include <QCoreApplication>

namespace kelvara {

namespace {

std::unique_ptr<GridCompanions> &current()
{
    static std::unique_ptr<GridCompanions> companions;
    return companions;
}

} // namespace

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

} // namespace kelvara
