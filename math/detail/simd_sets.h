// The processor-specific sets. Each overwrites only the slots it has a routine of its own
// for; the others keep the portable routine. Built on x86 only.
#pragma once

#include "math/dispatch.h"

namespace halv::math::detail {

// Multiply, normalise, transform-coord, transform-normal, the yaw-pitch-roll quaternion and
// the half-to-float conversion, in SSE.
void installSseSet(DispatchTable& table) noexcept;

// The SSE set's routines, with the half-to-float conversion in SSE2 integer arithmetic.
void installSse2Set(DispatchTable& table) noexcept;

} // namespace halv::math::detail
