#include "scene/detail/show_clocks.h"

namespace halv::scene::detail {

ShowClocks& showClocks() {
    // Process-wide: the timeline and debris clocks and the explosion step.
    static ShowClocks clocks;
    return clocks;
}

void resetShowClocksForTesting() {
    showClocks() = ShowClocks{};
}

} // namespace halv::scene::detail
