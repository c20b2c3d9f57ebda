// resources.cmake embeds into a program: every resource is found the way the program looks it
// up (the model as "Data", textures by number under "PNG") and holds the committed file's bytes.
#include "base/resources.h"
#include "tests/assetgen/png_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace halv::assetgen {
namespace {

const std::string kResources = HALV_RESOURCE_DIR;

void expectEmbedded(HRSRC resource, const std::string& file) {
    ASSERT_NE(resource, nullptr) << file;
    const std::vector<std::uint8_t> expected = testing::readFile(kResources + file);
    ASSERT_FALSE(expected.empty()) << file;
    ASSERT_EQ(SizeofResource(nullptr, resource), expected.size()) << file;
    const auto* data =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, resource)));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data)) << file;
}

TEST(EmbeddedResources, AreFoundUnderTheProgramsNames) {
    expectEmbedded(FindResourceA(nullptr, "VORNK", "Data"), "/VORNK.x");
    for (int number = 149; number <= 211; ++number) {
        if (number == 158 || number == 159) {
            EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(number)), u"PNG"),
                      nullptr);
            continue;
        }
        expectEmbedded(FindResourceW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(number)), u"PNG"),
                       "/textures/" + std::to_string(number) + ".png");
    }
    expectEmbedded(FindResourceW(nullptr, MAKEINTRESOURCEW(108), u"ICON"), "/icons/108.png");
    expectEmbedded(FindResourceW(nullptr, MAKEINTRESOURCEW(109), u"ICON"), "/icons/109.png");
    expectEmbedded(FindResourceW(nullptr, MAKEINTRESOURCEW(104), u"STRING"), "/strings/104.txt");
    expectEmbedded(FindResourceW(nullptr, MAKEINTRESOURCEW(111), u"STRING"), "/strings/111.txt");
}

} // namespace
} // namespace halv::assetgen
