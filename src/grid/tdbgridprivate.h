#pragma once

// Helpers shared by the data grid's source files; not part of its interface.

#include "store/storetypes.h"

#include <Qt>

namespace kelvara {

inline Qt::Alignment horizontalAlignment(Alignment alignment)
{
    switch (alignment) {
    case taRightJustify: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    case taLeftJustify: break;
    }
    return Qt::AlignLeft;
}

}  // namespace kelvara
