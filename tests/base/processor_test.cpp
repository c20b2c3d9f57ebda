#include "base/processor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace halv::base {
namespace {

#if defined(__x86_64__)

TEST(Processor, X86_64FeatureSet) {
    // SSE and SSE2 belong to every x86-64 processor; 3DNow! is never reported.
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE), TRUE);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE), TRUE);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE), FALSE);
    EXPECT_EQ(IsProcessorFeaturePresent(0), FALSE);
    EXPECT_EQ(IsProcessorFeaturePresent(9999), FALSE);
}

TEST(Processor, CpuidLeavesWithinTheReportedRange) {
    CpuidRegisters leaf0{};
    ASSERT_TRUE(cpuid(0, &leaf0));
    EXPECT_GE(leaf0.eax, 1u);
    // The vendor name sits in EBX, EDX, ECX: twelve printable characters.
    char vendor[13] = {};
    std::memcpy(vendor, &leaf0.ebx, 4);
    std::memcpy(vendor + 4, &leaf0.edx, 4);
    std::memcpy(vendor + 8, &leaf0.ecx, 4);
    for (char c : std::string(vendor, 12)) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << vendor;
    }

    CpuidRegisters untouched{1, 2, 3, 4};
    EXPECT_FALSE(cpuid(leaf0.eax + 1, &untouched));
    EXPECT_EQ(untouched.eax, 1u);
    EXPECT_EQ(untouched.edx, 4u);
}

#else

TEST(Processor, NoX86FeaturesElsewhere) {
    CpuidRegisters registers{};
    EXPECT_FALSE(cpuid(0, &registers));
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE), FALSE);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE), FALSE);
}

#endif

} // namespace
} // namespace halv::base
