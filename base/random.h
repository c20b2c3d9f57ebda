// The C runtime's rand() as the saver's particles expect it: a 32-bit state starting at 1,
// state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF. Ours, not the C library's,
// so every run draws the same sequence.
#pragma once

#include <cstdint>

namespace halv::base {

inline constexpr int kRandMax = 0x7FFF;

// The next value, 0..32767. Process-wide state.
int rand();
// Sets the state, as the runtime's srand does.
void srand(std::uint32_t seed);
std::uint32_t randomState();

} // namespace halv::base
