#include "base/checked_math.h"
#include "base/com.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace halv::base {
namespace {

constexpr IID IID_ITestThing = {
    0x12345678, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

struct ITestThing : IUnknown {
    virtual int value() noexcept = 0;
};

int gDestroyed = 0;

class TestThing final : public ComObject<TestThing, ITestThing, IID_ITestThing> {
public:
    int value() noexcept override { return 7; }
    ~TestThing() { ++gDestroyed; }
};

TEST(Com, ReferenceCountingAndQueryInterface) {
    gDestroyed = 0;
    ITestThing* thing = new TestThing;
    EXPECT_EQ(thing->AddRef(), 2u);
    void* asUnknown = nullptr;
    ASSERT_EQ(thing->QueryInterface(IID_IUnknown, &asUnknown), S_OK);
    EXPECT_EQ(asUnknown, static_cast<void*>(thing));
    void* missing = &asUnknown;
    EXPECT_EQ(thing->QueryInterface(GUID_NULL, &missing), E_NOINTERFACE);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(thing->QueryInterface(IID_ITestThing, nullptr), E_POINTER);
    EXPECT_EQ(thing->Release(), 2u);
    EXPECT_EQ(thing->Release(), 1u);
    EXPECT_EQ(gDestroyed, 0);
    EXPECT_EQ(thing->Release(), 0u);
    EXPECT_EQ(gDestroyed, 1);
}

TEST(Com, ComRefReleasesOnEveryPath) {
    gDestroyed = 0;
    {
        ComRef<ITestThing> first(new TestThing);
        ComRef<ITestThing> copy = first;
        ComRef<ITestThing> moved = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(moved->value(), 7);
        ComRef<ITestThing> queried;
        ASSERT_EQ(moved->QueryInterface(IID_ITestThing, queried.putVoid()), S_OK);
        copy = queried;
        ITestThing* handedOut = copy.detach();
        EXPECT_EQ(handedOut->Release(), 2u);
    }
    EXPECT_EQ(gDestroyed, 1);
}

TEST(Com, GuidComparisonAndText) {
    GUID other = IID_ITestThing;
    EXPECT_TRUE(IsEqualGUID(other, IID_ITestThing));
    other.Data4[7] = 0;
    EXPECT_FALSE(IsEqualGUID(other, IID_ITestThing));
    EXPECT_EQ(guidToString(IID_ITestThing), "{12345678-1234-5678-9ABC-DEF012345678}");
}

TEST(CheckedMath, OverflowIsReportedNotWrapped) {
    std::size_t out = 7;
    EXPECT_TRUE(checkedMul<std::size_t>(1024, 1024, &out));
    EXPECT_EQ(out, 1024u * 1024u);
    EXPECT_FALSE(checkedMul<std::size_t>(SIZE_MAX / 2 + 1, 2, &out));
    EXPECT_EQ(out, 1024u * 1024u);
    std::uint32_t small = 0;
    EXPECT_FALSE(checkedAdd<std::uint32_t>(0xFFFFFFFFu, 1u, &small));
    EXPECT_EQ(allocArray<std::uint64_t>(SIZE_MAX / 4), nullptr);
    auto array = allocArray<int>(16);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array[15], 0);
}

} // namespace
} // namespace halv::base
