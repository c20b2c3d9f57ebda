// Every file the fuzzers found a fault with (tests/data/texture/crashers/) goes through
// recognition and decoding again; under the sanitizers any return of the fault shows. The
// fuzz build also runs them through the fuzz harness with its time and memory limits.
#include "texture/image_decoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace halv::texture {
namespace {

std::vector<std::filesystem::path> crashers() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(HALV_TEXTURE_CRASHERS_DIR)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    return files;
}

TEST(TextureCrashers, EveryFindDecodesOrIsTurnedDownCleanly) {
    const std::vector<std::filesystem::path> files = crashers();
    ASSERT_FALSE(files.empty());
    for (const std::filesystem::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> data((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
        ASSERT_FALSE(data.empty());
        for (const bool loadPixels : {false, true}) {
            DecodedImage image;
            D3DXIMAGE_INFO info{};
            const HRESULT result = LoadImageFromMemory(
                &image, data.data(), static_cast<UINT>(data.size()), &info, loadPixels);
            EXPECT_TRUE(result == S_OK || result == D3DXERR_INVALIDDATA) << std::hex << result;
        }
    }
}

} // namespace
} // namespace halv::texture
