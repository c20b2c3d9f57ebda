#include "base/debug_output.h"
#include "base/environment.h"
#include "math/detail/portable.h"
#include "math/dispatch.h"
#include "tests/math/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace halv::math {
namespace {

using test::allSets;
using test::NamedSet;

constexpr ProcessorFeatures kNoFeatures{false, false, false};
constexpr ProcessorFeatures kSseOnly{false, false, true};
constexpr ProcessorFeatures kSse2{false, true, true};
constexpr ProcessorFeatures k3DNowAndSse2{true, true, true};
constexpr ProcessorFeatures k3DNowOnly{true, false, false};

struct ChoiceCase {
    const char* name;
    std::map<std::string, std::string, std::less<>> registry;
    ProcessorFeatures features;
    DispatchLevel expected;
};

// The registry values as the platform stand-in reads them, through the override, to the level.
TEST(DispatchChoice, RegistryOverridesAndProcessorPickTheSet) {
    const ChoiceCase cases[] = {
        {"NothingSetSse2", {}, kSse2, DispatchLevel::kSse2},
        {"NothingSetSseOnly", {}, kSseOnly, DispatchLevel::kSse},
        {"NothingSetNoSimd", {}, kNoFeatures, DispatchLevel::kPortable},
        {"DisablePSGP1", {{"DisablePSGP", "1"}}, kSse2, DispatchLevel::kPortable},
        {"DisableD3DXPSGP1WinsOverDisablePSGP0",
         {{"DisablePSGP", "0"}, {"DisableD3DXPSGP", "1"}},
         kSse2,
         DispatchLevel::kPortable},
        {"DisableD3DXPSGP0ReplacesDisablePSGP1",
         {{"DisablePSGP", "1"}, {"DisableD3DXPSGP", "0"}},
         kSse2,
         DispatchLevel::kSse2},
        {"DisablePSGP2With3DNowAndSse2",
         {{"DisablePSGP", "2"}},
         k3DNowAndSse2,
         DispatchLevel::kSse2},
        // No 3DNow! set is carried, so a processor claiming it is treated like any other.
        {"ThreeDNowSkipped", {}, k3DNowAndSse2, DispatchLevel::kSse2},
        {"ThreeDNowOnly", {}, k3DNowOnly, DispatchLevel::kPortable},
        {"OtherValueKeepsFullChoice", {{"DisablePSGP", "3"}}, kSseOnly, DispatchLevel::kSse},
        {"HexadecimalOne", {{"DisableD3DXPSGP", "0x1"}}, kSse2, DispatchLevel::kPortable},
        {"TextValueIgnored", {{"DisablePSGP", "yes"}}, kSse2, DispatchLevel::kSse2},
        {"TextD3DXValueKeepsDisablePSGP",
         {{"DisablePSGP", "1"}, {"DisableD3DXPSGP", "on"}},
         kSse2,
         DispatchLevel::kPortable},
        {"EmptyValueIgnored", {{"DisablePSGP", ""}}, kSseOnly, DispatchLevel::kSse},
        {"OtherValueNamesIgnored", {{"DisablePSGPX", "1"}}, kSse2, DispatchLevel::kSse2},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.name);
        base::MapEnvironment environment(c.registry);
        base::ScopedEnvironment scope(&environment);
        EXPECT_EQ(decideDispatchLevel(readDispatchOverride(), c.features), c.expected);
    }
}

TEST(DispatchChoice, OverrideValueIsTheLastDwordRead) {
    const struct {
        const char* psgp;
        const char* d3dx;
        DWORD expected;
    } cases[] = {
        {nullptr, nullptr, 0},    {"2", nullptr, 2},    {nullptr, "7", 7},
        {"1", "4294967295", ~0u}, {"0x10", "text", 16},
    };
    for (const auto& c : cases) {
        base::MapEnvironment environment;
        if (c.psgp != nullptr) {
            environment.set("DisablePSGP", c.psgp);
        }
        if (c.d3dx != nullptr) {
            environment.set("DisableD3DXPSGP", c.d3dx);
        }
        base::ScopedEnvironment scope(&environment);
        EXPECT_EQ(readDispatchOverride(), c.expected)
            << (c.psgp ? c.psgp : "-") << " / " << (c.d3dx ? c.d3dx : "-");
    }
}

// A fake allocator whose zero-byte blocks are chosen by the test, recording what it releases.
struct FakeAllocator {
    static inline std::vector<void*> blocks;
    static inline std::size_t next = 0;
    static inline std::vector<void*> released;

    static void* allocate(std::size_t) noexcept { return blocks[next++]; }
    static void release(void* block) noexcept { released.push_back(block); }
};

TEST(DispatchAllocatorCheck, WarnsAboutNullOrSharedZeroByteBlocks) {
    static int blockA;
    static int blockB;
    const std::string warning =
        "D3DX: (WARN) Overloaded ::new and ::delete operators do not conform to C++ "
        "standards:\r\n"
        "D3DX: (WARN) An allocation of zero bytes should return a unique non-null pointer to "
        "at\r\n"
        "D3DX: (WARN) least zero bytes. Deletion of a null pointer should quietly do "
        "nothing.\r\n"
        "D3DX: (WARN) D3DX relies upon this behavior.\r\n";
    const struct {
        const char* name;
        void* first;
        void* second;
        bool conforming;
        std::vector<void*> released;
    } cases[] = {
        {"Distinct", &blockA, &blockB, true, {&blockA, &blockB, nullptr}},
        {"FirstNull", nullptr, &blockB, false, {nullptr, &blockB, nullptr}},
        {"SecondNull", &blockA, nullptr, false, {&blockA, nullptr, nullptr}},
        // The shared block is released once, not twice.
        {"SameBlock", &blockA, &blockA, false, {&blockA, nullptr}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAllocator::blocks = {c.first, c.second};
        FakeAllocator::next = 0;
        FakeAllocator::released.clear();
        std::string output;
        base::DebugOutputSink previous =
            base::installDebugOutputSink([&output](std::string_view text) { output += text; });
        const bool conforming = checkAllocator({FakeAllocator::allocate, FakeAllocator::release});
        base::installDebugOutputSink(std::move(previous));
        EXPECT_EQ(conforming, c.conforming);
        EXPECT_EQ(output, c.conforming ? "" : warning);
        EXPECT_EQ(FakeAllocator::released, c.released);
    }
}

TEST(DispatchAllocatorCheck, GlobalAllocatorConforms) {
    std::string output;
    base::DebugOutputSink previous =
        base::installDebugOutputSink([&output](std::string_view text) { output += text; });
    EXPECT_TRUE(checkAllocator(globalAllocatorProbe()));
    base::installDebugOutputSink(std::move(previous));
    EXPECT_EQ(output, "");
}

using SlotArray = std::array<std::uintptr_t, kDispatchSlotCount>;

SlotArray slotsOf(const DispatchTable& table) {
    SlotArray slots;
    std::memcpy(slots.data(), &table, sizeof table);
    return slots;
}

#define HALV_SLOT(name) (offsetof(DispatchTable, name) / sizeof(void (*)()))

std::set<std::size_t> differingSlots(const DispatchTable& a, const DispatchTable& b) {
    const SlotArray left = slotsOf(a);
    const SlotArray right = slotsOf(b);
    std::set<std::size_t> differing;
    for (std::size_t i = 0; i < kDispatchSlotCount; ++i) {
        if (left[i] != right[i]) {
            differing.insert(i);
        }
    }
    return differing;
}

TEST(DispatchTables, EverySlotHoldsARoutine) {
    for (const NamedSet& set : allSets()) {
        SCOPED_TRACE(set.name);
        for (std::uintptr_t slot : slotsOf(makeDispatchTable(set.level))) {
            EXPECT_NE(slot, 0u);
        }
    }
    for (std::uintptr_t slot : slotsOf(portableTable())) {
        EXPECT_NE(slot, 0u);
    }
}

TEST(DispatchTables, PortableLevelTakesTheNinePreferredRoutines) {
    const std::set<std::size_t> expected = {
        HALV_SLOT(matrixMultiply),
        HALV_SLOT(matrixMultiplyTranspose),
        HALV_SLOT(vec3TransformNormal),
        HALV_SLOT(vec2TransformNormal),
        HALV_SLOT(vec3TransformNormalArray),
        HALV_SLOT(vec2Normalize),
        HALV_SLOT(vec3Normalize),
        HALV_SLOT(vec4Normalize),
        HALV_SLOT(quaternionNormalize),
    };
    EXPECT_EQ(differingSlots(makeDispatchTable(DispatchLevel::kPortable), portableTable()),
              expected);
    EXPECT_EQ(makeDispatchTable(DispatchLevel::kPortable).vec3Normalize,
              &portable::vec3NormalizeTable);
}

TEST(DispatchTables, SetsOverwriteOnlyTheirOwnSlots) {
    const DispatchTable portableLevel = makeDispatchTable(DispatchLevel::kPortable);
    const std::set<std::size_t> simdOwn =
        test::simdSetsBuilt() ? std::set<std::size_t>{HALV_SLOT(matrixMultiply),
                                                      HALV_SLOT(vec3Normalize),
                                                      HALV_SLOT(vec3TransformCoord),
                                                      HALV_SLOT(vec3TransformNormal),
                                                      HALV_SLOT(quaternionRotationYawPitchRoll),
                                                      HALV_SLOT(float16To32Array)}
                              : std::set<std::size_t>{};
    const struct {
        const char* name;
        DispatchLevel level;
        std::set<std::size_t> own;
    } cases[] = {
        {"ThreeDNowKeepsPortable", DispatchLevel::k3DNow, {}},
        {"UndecidedIsPortable", DispatchLevel::kUndecided, {}},
        {"Sse", DispatchLevel::kSse, simdOwn},
        {"Sse2", DispatchLevel::kSse2, simdOwn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(differingSlots(makeDispatchTable(c.level), portableLevel), c.own);
    }
    if (test::simdSetsBuilt()) {
        // The SSE2 set's half conversion is its own, not the SSE one.
        EXPECT_NE(makeDispatchTable(DispatchLevel::kSse2).float16To32Array,
                  makeDispatchTable(DispatchLevel::kSse).float16To32Array);
    }
}

// ---- The process-wide set-up, each case in a fresh process ----
// Death-test machinery re-runs the test binary for just the one case, so the first call there
// really is the process's first. The child reports through its exit code and stderr.

void runInFreshProcess(void (*body)(std::vector<std::string>& failures)) {
    std::vector<std::string> failures;
    body(failures);
    for (const std::string& failure : failures) {
        std::fprintf(stderr, "%s\n", failure.c_str());
    }
    std::fflush(stderr);
    std::exit(failures.empty() ? 0 : 1);
}

void check(std::vector<std::string>& failures, bool ok, const char* what) {
    if (!ok) {
        failures.emplace_back(what);
    }
}

void concurrentFirstCalls(std::vector<std::string>& failures) {
    check(failures, currentDispatchLevel() == DispatchLevel::kUndecided,
          "level decided before the first call");
    std::string output;
    base::DebugOutputSink previous =
        base::installDebugOutputSink([&output](std::string_view text) { output += text; });

    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<int> wrong(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &start, &wrong] {
            start.arrive_and_wait();
            // Different operations, so different stubs race into the set-up.
            switch (t % 4) {
            case 0: {
                D3DXMATRIX m;
                D3DXMatrixTranslation(&m, 1.0f, 2.0f, 3.0f);
                wrong[t] = m._41 != 1.0f || m._43 != 3.0f || m._44 != 1.0f;
                break;
            }
            case 1: {
                const D3DXVECTOR3 v(0.0f, 0.0f, 4.0f);
                D3DXVECTOR3 unit;
                D3DXVec3Normalize(&unit, &v);
                wrong[t] = std::fabs(unit.z - 1.0f) > 1e-6f || unit.x != 0.0f;
                break;
            }
            case 2: {
                const float value = 2.0f;
                D3DXFLOAT16 half;
                D3DXFloat32To16Array(&half, &value, 1);
                wrong[t] = half.value != 0x4000;
                break;
            }
            default: {
                D3DXMATRIX a;
                D3DXMatrixScaling(&a, 2.0f, 3.0f, 4.0f);
                D3DXMATRIX product;
                D3DXMatrixMultiply(&product, &a, &a);
                wrong[t] = product._11 != 4.0f || product._33 != 16.0f;
                break;
            }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    base::installDebugOutputSink(std::move(previous));
    for (int t = 0; t < kThreads; ++t) {
        check(failures, wrong[t] == 0, "a first call gave a wrong result");
    }
    const DispatchLevel expected =
        decideDispatchLevel(readDispatchOverride(), detectProcessorFeatures());
    check(failures, currentDispatchLevel() == expected, "level differs from the rule");
    check(failures, initialiseDispatch() == expected, "set-up ran again with another result");
    check(failures, output.empty(), "allocator warnings for the global allocator");
}

TEST(DispatchProcessWide, ConcurrentFirstCallsSetUpOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runInFreshProcess(concurrentFirstCalls), testing::ExitedWithCode(0), "");
}

void portableByRegistry(std::vector<std::string>& failures) {
    base::MapEnvironment environment{{"DisablePSGP", "0"}, {"DisableD3DXPSGP", "1"}};
    base::ScopedEnvironment scope(&environment);
    // A squared length of 1e-16 lies below the SSE cut-off; only the portable set scales it.
    const D3DXVECTOR3 tiny(1e-8f, 0.0f, 0.0f);
    D3DXVECTOR3 unit;
    D3DXVec3Normalize(&unit, &tiny);
    check(failures, currentDispatchLevel() == DispatchLevel::kPortable, "not portable");
    check(failures, std::fabs(unit.x - 1.0f) < 1e-5f, "not the portable normalisation");

    // Decided once: later registry changes are not seen.
    base::MapEnvironment cleared;
    base::ScopedEnvironment clearedScope(&cleared);
    check(failures, initialiseDispatch() == DispatchLevel::kPortable, "decided again");
    D3DXVec3Normalize(&unit, &tiny);
    check(failures, std::fabs(unit.x - 1.0f) < 1e-5f, "set changed after the first call");
}

TEST(DispatchProcessWide, RegistryOverrideKeepsThePortableSet) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runInFreshProcess(portableByRegistry), testing::ExitedWithCode(0), "");
}

void sse2ByDefault(std::vector<std::string>& failures) {
    base::MapEnvironment environment{{"DisablePSGP", "2"}};
    base::ScopedEnvironment scope(&environment);
    const D3DXVECTOR3 tiny(1e-8f, 0.0f, 0.0f);
    D3DXVECTOR3 unit(1.0f, 1.0f, 1.0f);
    D3DXVec3Normalize(&unit, &tiny);
    check(failures, currentDispatchLevel() == DispatchLevel::kSse2, "not SSE2");
    check(failures, unit == D3DXVECTOR3(0.0f, 0.0f, 0.0f), "not the SSE2 normalisation");
}

TEST(DispatchProcessWide, OverrideTwoStillChoosesSse2) {
    if (!test::simdSetsBuilt() || !detectProcessorFeatures().hasSse2) {
        GTEST_SKIP() << "this processor has no SSE2";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runInFreshProcess(sse2ByDefault), testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace halv::math
