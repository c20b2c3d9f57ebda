#include "base/processor.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace halv::base {
namespace {

constexpr std::uint32_t kSseBit = 1u << 25;
constexpr std::uint32_t kSse2Bit = 1u << 26;

bool leaf1EdxHas(std::uint32_t bit) {
    CpuidRegisters registers{};
    return cpuid(1, &registers) && (registers.edx & bit) != 0;
}

} // namespace

bool cpuid(std::uint32_t leaf, CpuidRegisters* registers) {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    // __get_cpuid checks the leaf against the highest one of its range first.
    if (__get_cpuid(leaf, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    *registers = CpuidRegisters{eax, ebx, ecx, edx};
    return true;
#else
    (void)leaf;
    (void)registers;
    return false;
#endif
}

} // namespace halv::base

BOOL IsProcessorFeaturePresent(DWORD feature) {
    switch (feature) {
    case PF_XMMI_INSTRUCTIONS_AVAILABLE:
        return halv::base::leaf1EdxHas(halv::base::kSseBit) ? TRUE : FALSE;
    case PF_XMMI64_INSTRUCTIONS_AVAILABLE:
        return halv::base::leaf1EdxHas(halv::base::kSse2Bit) ? TRUE : FALSE;
    case PF_3DNOW_INSTRUCTIONS_AVAILABLE:
        // AMD dropped 3DNow! from its processors after 2010 and Intel never had it, so no
        // current machine runs it; nothing here carries 3DNow! code either, so it is reported
        // absent rather than probed (CPUID 0x80000001 EDX bit 31 would still claim it on the
        // old parts).
        return FALSE;
    default:
        return FALSE;
    }
}
