// The header check and the expansion of compressed files.
#include "tests/xfile/support/station_model_text.h"
#include "tests/xfile/support/xfile_test_support.h"
#include "xfile/detail/file_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
using detail::ReadFailure;

struct HeaderCase {
    const char* name;
    const char* file;
    HRESULT expected;
};

const HeaderCase kHeaderCases[] = {
    {"Version0303Float32", "xof 0303txt 0032\nVector v { 1.0; 2.0; 3.0; }", S_OK},
    {"Version0302Float64", "xof 0302txt 0064\nVector v { 1.0; 2.0; 3.0; }", S_OK},
    {"HeaderOnly", "xof 0303txt 0032", S_OK},
    {"BinaryHeaderOnly", "xof 0303bin 0064", S_OK},
    {"Version0301", "xof 0301txt 0032", D3DXFERR_BADFILEVERSION},
    {"PreParsed0304", "xof 0304bin 0032", D3DXFERR_BADFILEVERSION},
    {"FloatSize16", "xof 0303txt 0016", D3DXFERR_BADFILEFLOATSIZE},
    {"Magic", "xog 0303txt 0032", D3DXFERR_BADFILETYPE},
    {"MagicCase", "XOF 0303txt 0032", D3DXFERR_BADFILETYPE},
    {"Format", "xof 0303txx 0032", D3DXFERR_BADFILETYPE},
    {"FormatCmp", "xof 0303cmp 0032", D3DXFERR_BADFILETYPE},
    {"StopsAtFirstBadField", "xof 0301txt 0016", D3DXFERR_BADFILEVERSION},
    {"ShortMagic", "xo", D3DXFERR_BADFILETYPE},
    {"MissingFormat", "xof 0303", D3DXFERR_BADFILETYPE},
    {"ShortFloatSize", "xof 0303txt 00", D3DXFERR_BADFILETYPE},
    {"ShortVersionWithBadDigits", "xof 0399", D3DXFERR_BADFILEVERSION},
    {"CompressedWithoutTotal", "xof 0303tzip0032", E_FAIL},
};

class HeaderCheck : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderCheck, GivesItsCode) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    const std::string file = GetParam().file;
    EXPECT_EQ(parseText(reader.get(), file, &parsed), GetParam().expected);
    EXPECT_EQ(parsed.get() != nullptr, SUCCEEDED(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Xfile, HeaderCheck, testing::ValuesIn(kHeaderCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

std::vector<std::byte> smallBinaryFile() {
    BinaryWriter writer(8);
    writer.name("Vector").name("v").token(10).floatList({1.5, -2.25, 3.0}).token(11);
    writer.name("TextureFilename").token(10).string("hull.png").token(20).token(11);
    return writer.bytes();
}

TEST(CompressedFile, ParsesExactlyLikeItsExpansion) {
    const std::vector<std::byte> station = toBytes(makeStationModelText());
    const std::vector<std::byte> binary = smallBinaryFile();
    struct Case {
        const char* name;
        const std::vector<std::byte>* plain;
        std::size_t blockBytes;
    };
    const Case cases[] = {
        {"text, full blocks", &station, 32768}, {"text, small blocks", &station, 1000},
        {"text, odd blocks", &station, 32767},  {"binary, one block", &binary, 32768},
        {"binary, tiny blocks", &binary, 7},
    };
    ComRef<ID3DXFile> reader = makeReader();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::byte> compressed = compressXFile(*c.plain, c.blockBytes);
        ComRef<ID3DXFileEnumObject> expanded;
        ComRef<ID3DXFileEnumObject> original;
        ASSERT_EQ(parseMemory(reader.get(), compressed, &expanded), S_OK);
        ASSERT_EQ(parseMemory(reader.get(), *c.plain, &original), S_OK);
        const std::string description = describeTree(original.get());
        EXPECT_FALSE(description.empty());
        EXPECT_EQ(describeTree(expanded.get()), description);
    }
}

TEST(CompressedFile, BlocksReachBackIntoEarlierBlocks) {
    // Identical chunks: every block after the first is nothing but a reference to the one
    // before, so it decodes only with the history carried over.
    std::string text = "xof 0303txt 0032\n";
    for (int i = 0; i < 64; ++i) {
        text += "Vector v { 1.000000; 2.000000; 3.000000; }                     // padding\n";
    }
    const std::vector<std::byte> compressed = compressXFile(toBytes(text), 512);
    const std::size_t secondBlock = 20 + 4 +
                                    (std::to_integer<std::size_t>(compressed[22]) |
                                     (std::to_integer<std::size_t>(compressed[23]) << 8));
    const std::size_t secondStored =
        std::to_integer<std::size_t>(compressed[secondBlock + 2]) |
        (std::to_integer<std::size_t>(compressed[secondBlock + 3]) << 8);
    ASSERT_LT(secondStored, 32u);

    std::vector<std::byte> image;
    detail::MemoryBudget budget;
    ASSERT_EQ(detail::expandCompressed(compressed, &budget, &image), ReadFailure::kNone);
    std::vector<std::byte> expected = toBytes(text);
    std::memcpy(expected.data() + 8, "txt ", 4);
    EXPECT_EQ(image, expected);
}

TEST(CompressedFile, EmptyBodyIsAnEmptyFile) {
    std::vector<std::byte> file = toBytes("xof 0303tzip0032");
    for (std::uint8_t b : {16, 0, 0, 0}) {
        file.push_back(std::byte{b});
    }
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseMemory(reader.get(), file, &parsed), S_OK);
    SIZE_T count = 1;
    parsed->GetChildren(&count);
    EXPECT_EQ(count, 0u);
}

void put16(std::vector<std::byte>& file, std::size_t offset, std::size_t value) {
    file[offset] = static_cast<std::byte>(value & 0xFF);
    file[offset + 1] = static_cast<std::byte>((value >> 8) & 0xFF);
}

std::size_t get16(const std::vector<std::byte>& file, std::size_t offset) {
    return std::to_integer<std::size_t>(file[offset]) |
           (std::to_integer<std::size_t>(file[offset + 1]) << 8);
}

TEST(CompressedFile, BrokenBlocksFailWithoutWritingPastTheImage) {
    std::string text = "xof 0303txt 0032\n";
    for (int i = 0; i < 40; ++i) {
        text += "Vector v" + std::to_string(i) + " { 1.0; 2.0; 3.0; }\n";
    }
    const std::vector<std::byte> good = compressXFile(toBytes(text), 600);
    constexpr std::size_t kTotal = 16;
    constexpr std::size_t kBlock = 20; // first block: expanded, stored, "CK", deflate data
    const std::size_t declared = text.size();
    struct Case {
        const char* name;
        void (*corrupt)(std::vector<std::byte>&, std::size_t declared);
        ReadFailure expected;
    };
    const Case cases[] = {
        {"signature", [](auto& f, auto) { f[kBlock + 4] = std::byte{'X'}; },
         ReadFailure::kCompressedSignature},
        {"declared total too large", [](auto& f, auto d) { put16(f, kTotal, d + 1); },
         ReadFailure::kCompressedTotalSize},
        {"declared total too small", [](auto& f, auto d) { put16(f, kTotal, d - 1); },
         ReadFailure::kCompressedTotalSize},
        {"block expands to more than it states",
         [](auto& f, auto d) {
             put16(f, kBlock, get16(f, kBlock) - 1);
             put16(f, kTotal, d - 1);
         },
         ReadFailure::kCompressedBlockSize},
        {"block expands to less than it states",
         [](auto& f, auto d) {
             put16(f, kBlock, get16(f, kBlock) + 1);
             put16(f, kTotal, d + 1);
         },
         ReadFailure::kCompressedBlockSize},
        {"block states more than 32768 bytes",
         [](auto& f, auto d) {
             put16(f, kBlock, 40000);
             put16(f, kTotal, d - 600 + 40000);
         },
         ReadFailure::kCompressedBlockSize},
        {"reserved deflate block type", [](auto& f, auto) { f[kBlock + 6] = std::byte{0xFF}; },
         ReadFailure::kCompressedCorrupt},
        {"stored size past the end", [](auto& f, auto) { put16(f, kBlock + 2, f.size()); },
         ReadFailure::kCompressedTruncated},
        {"stored size without room for the signature",
         [](auto& f, auto) {
             f.resize(kBlock + 4 + 1);
             put16(f, kBlock + 2, 1);
             put16(f, kTotal, 16 + get16(f, kBlock));
         },
         ReadFailure::kCompressedSignature},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::byte> file = good;
        c.corrupt(file, declared);
        std::vector<std::byte> image;
        detail::MemoryBudget budget;
        EXPECT_EQ(detail::expandCompressed(file, &budget, &image), c.expected);
        EXPECT_TRUE(image.empty());
        ComRef<ID3DXFile> reader = makeReader(false);
        ComRef<ID3DXFileEnumObject> parsed;
        EXPECT_EQ(parseMemory(reader.get(), file, &parsed), E_FAIL);
    }
}

TEST(CompressedFile, EveryPrefixFailsCleanly) {
    const std::vector<std::byte> file =
        compressXFile(toBytes("xof 0303txt 0032\nVector v { 1.0; 2.0; 3.0; }"), 16);
    ComRef<ID3DXFile> reader = makeReader();
    for (std::size_t length = 0; length < file.size(); ++length) {
        SCOPED_TRACE(length);
        // A heap block of exactly `length` bytes, so any read past it is caught.
        auto prefix = std::make_unique<std::byte[]>(length);
        std::memcpy(prefix.get(), file.data(), length);
        ComRef<ID3DXFileEnumObject> parsed;
        EXPECT_TRUE(FAILED(parseMemory(reader.get(), std::span(prefix.get(), length), &parsed)));
    }
}

} // namespace
} // namespace halv::xfile::fixtures
