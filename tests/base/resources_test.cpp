#include "base/resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace halv::base {
namespace {

std::string_view bytesOf(HRSRC resource) {
    const auto* data = static_cast<const char*>(LockResource(LoadResource(nullptr, resource)));
    return std::string_view(data, SizeofResource(nullptr, resource));
}

TEST(Resources, EmbeddedBlobsAreFoundByNameAndNumber) {
    HRSRC byName = FindResourceW(nullptr, u"blob", u"DATA");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(bytesOf(byName), "Halvorine test blob\n");

    HRSRC byNumber = FindResourceW(nullptr, MAKEINTRESOURCEW(149), u"png");
    ASSERT_NE(byNumber, nullptr);
    EXPECT_EQ(bytesOf(byNumber), "Halvorine test blob\n");
    EXPECT_EQ(FindResourceW(nullptr, u"#149", u"Png"), byNumber);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(149), "PNG"), byNumber);
}

TEST(Resources, EmptyResourceHasSizeZeroButLoads) {
    HRSRC empty = FindResourceA(nullptr, "Empty", "Data");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, empty), 0u);
    EXPECT_NE(LockResource(LoadResource(nullptr, empty)), nullptr);
}

TEST(Resources, LookupsThatFindNothing) {
    struct Case {
        const char* name;
        LPCWSTR resourceName;
        LPCWSTR type;
    };
    const Case cases[] = {
        {"unknown name", u"VORNK", u"DATA"},
        {"number as the wrong type", MAKEINTRESOURCEW(149), u"DATA"},
        {"name where a number is stored", u"PNG149", u"PNG"},
        {"unknown number", MAKEINTRESOURCEW(150), u"PNG"},
        {"null name", nullptr, u"DATA"},
        {"null type", u"BLOB", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindResourceW(nullptr, c.resourceName, c.type), nullptr);
    }
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
}

TEST(Resources, InstalledTableReplacesTheEmbeddedOne) {
    static const char kModel[] = "xof 0303txt 0032";
    ResourceTable table;
    table.add(ResourceId::fromName(u"DATA"), ResourceId::fromName(u"VORNK"),
              std::as_bytes(std::span(kModel, std::strlen(kModel))));
    table.add(ResourceId::fromNumber(42), ResourceId::fromNumber(7), {});
    {
        ScopedResourceTable scope(&table);
        HRSRC model = FindResourceW(nullptr, u"vornk", u"Data");
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(bytesOf(model), kModel);
        EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(7), MAKEINTRESOURCEW(42)), nullptr);
        EXPECT_EQ(FindResourceW(nullptr, u"BLOB", u"DATA"), nullptr);
    }
    EXPECT_NE(FindResourceW(nullptr, u"BLOB", u"DATA"), nullptr);
    EXPECT_EQ(FindResourceW(nullptr, u"VORNK", u"DATA"), nullptr);
}

TEST(Resources, IdentifiersParseNumbersOnlyFromDigits) {
    EXPECT_TRUE(ResourceId::fromName(u"#211").isNumber());
    EXPECT_EQ(ResourceId::fromName(u"#211").number(), 211);
    EXPECT_TRUE(ResourceId::fromName(u"65535").isNumber());
    EXPECT_FALSE(ResourceId::fromName(u"65536").isNumber());
    EXPECT_FALSE(ResourceId::fromName(u"#").isNumber());
    EXPECT_FALSE(ResourceId::fromName(u"12a").isNumber());
    EXPECT_TRUE(ResourceId::fromName(u"Vornk").matches(ResourceId::fromName(u"VORNK")));
}

TEST(Resources, ReleasedPagesLieWhollyInsideTheBlobs) {
    constexpr std::size_t kPage = 0x1000;
    constexpr std::size_t kJoinGap = 16;
    const auto blob = [](std::uintptr_t begin, std::uintptr_t end) {
        // Only the bounds are used; nothing is read.
        return std::span<const std::byte>(reinterpret_cast<const std::byte*>(begin), end - begin);
    };
    struct Case {
        const char* name;
        std::vector<std::span<const std::byte>> blobs;
        std::vector<PageRange> pages;
    };
    const Case cases[] = {
        {"within one page", {blob(0x1010, 0x1FF0)}, {}},
        {"across pages: the partial ends stay", {blob(0x1010, 0x4010)}, {{0x2000, 0x4000}}},
        {"page aligned", {blob(0x3000, 0x5000)}, {{0x3000, 0x5000}}},
        {"neighbours share the page between them",
         {blob(0x1800, 0x2808), blob(0x2810, 0x4000)},
         {{0x2000, 0x4000}}},
        {"a wider gap holds something else",
         {blob(0x1000, 0x2000), blob(0x2100, 0x3100)},
         {{0x1000, 0x2000}}},
        {"any order, empty blobs ignored",
         {blob(0x8000, 0xA000), blob(0x5000, 0x5000), blob(0x3000, 0x4000)},
         {{0x3000, 0x4000}, {0x8000, 0xA000}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(wholePagesWithin(c.blobs, kPage, kJoinGap), c.pages);
    }
}

TEST(Resources, ModuleHandleOnlyForTheExecutable) {
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleW(nullptr));
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr);
}

} // namespace
} // namespace halv::base
