#pragma once

#include "grid/gridcompanions.h"
#include "gridwin/gridwindows.h"

#include <memory>

namespace kelvara::test {

// Installs the program's companion windows for one test and puts back what was there, also
// when the test fails half-way.
class InstalledWindows
{
public:
    InstalledWindows() : m_previous(GridCompanions::install(std::make_unique<GridWindows>())) { }
    ~InstalledWindows() { GridCompanions::install(std::move(m_previous)); }
    InstalledWindows(const InstalledWindows &) = delete;
    InstalledWindows &operator=(const InstalledWindows &) = delete;

private:
    std::unique_ptr<GridCompanions> m_previous;
};

}  // namespace kelvara::test
