// Processor identification: IsProcessorFeaturePresent for the features the math dispatch asks
// about, and the CPUID instruction behind it.
#pragma once

#include "base/win_types.h"

#include <cstdint>

inline constexpr DWORD PF_XMMI_INSTRUCTIONS_AVAILABLE = 6;
inline constexpr DWORD PF_3DNOW_INSTRUCTIONS_AVAILABLE = 7;
inline constexpr DWORD PF_XMMI64_INSTRUCTIONS_AVAILABLE = 10;

// TRUE when the processor offers `feature`: SSE (6) and SSE2 (10) from CPUID; 3DNow! (7) is
// always FALSE. Any other feature number gives FALSE.
BOOL IsProcessorFeaturePresent(DWORD feature);

namespace halv::base {

struct CpuidRegisters {
    std::uint32_t eax;
    std::uint32_t ebx;
    std::uint32_t ecx;
    std::uint32_t edx;
};

// Runs CPUID for `leaf` (sub-leaf 0) and fills `registers`. Returns false, leaving them
// untouched, on processors other than x86 and for a leaf beyond the highest one the processor
// reports (leaf 0 for basic leaves, 0x80000000 for extended ones).
bool cpuid(std::uint32_t leaf, CpuidRegisters* registers);

} // namespace halv::base
