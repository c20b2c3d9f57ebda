#include "base/random.h"

namespace halv::base {
namespace {

// Process-wide: the generator's state, 1 until seeded.
std::uint32_t gState = 1;

} // namespace

int rand() {
    gState = gState * 214013u + 2531011u;
    return static_cast<int>((gState >> 16) & 0x7FFF);
}

void srand(std::uint32_t seed) {
    gState = seed;
}

std::uint32_t randomState() {
    return gState;
}

} // namespace halv::base
