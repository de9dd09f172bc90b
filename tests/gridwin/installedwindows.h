#pragma once

#include "grid/gridcompanions.h"
#include "gridwin/gridwindows.h"
#include "installed.h"

#include <memory>

namespace kelvara::test {

// Installs the program's companion windows for one test and puts back what was there, also
// when the test fails half-way.
using InstalledWindows = InstalledStandIn<&GridCompanions::install, GridWindows>;

}  // namespace kelvara::test
