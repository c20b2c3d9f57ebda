#include "base/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

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

TEST(Resources, ModuleHandleOnlyForTheExecutable) {
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleW(nullptr));
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr);
}

} // namespace
} // namespace halv::base
