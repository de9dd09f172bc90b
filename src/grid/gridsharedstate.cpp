#include "grid/gridsharedstate.h"

namespace kelvara {

GridSharedState &GridSharedState::instance()
{
    static GridSharedState state;
    return state;
}

void GridSharedState::reset()
{
    instance() = GridSharedState();
}

}  // namespace kelvara
