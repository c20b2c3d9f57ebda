// The binary encoding: its tokenizer, equivalence with text, truncated and corrupted files.
#include "tests/xfile/support/xfile_test_support.h"
#include "xfile/detail/tokenizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
namespace token = detail::token;

constexpr GUID kPairGuid = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID kObjectId = {
    0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}};

// Renders the binary tokens after the header.
std::string tokenize(const std::vector<std::byte>& file, unsigned floatBytes) {
    detail::BinaryTokenizer tokenizer(std::span<const std::byte>(file).subspan(16), floatBytes);
    std::string out;
    for (int guard = 0; guard < 64; ++guard) {
        detail::SemanticValue value{};
        const int code = tokenizer.next(value);
        if (!out.empty()) {
            out += ' ';
        }
        char buffer[64];
        switch (code) {
        case token::kEnd:
            return out + "end";
        case token::kError:
            return out + "error";
        case token::kName:
        case token::kString:
            out += (code == token::kName ? "name(" : "str(") + std::string(value.text.view()) + ")";
            break;
        case token::kInteger:
            out += "int(" + std::to_string(value.word) + ")";
            break;
        case token::kFloat:
            std::snprintf(buffer, sizeof buffer, "float(%g)", std::bit_cast<float>(value.word));
            out += buffer;
            break;
        case token::kGuid:
            out += "guid(" + base::guidToString(value.guid) + ")";
            break;
        case token::kIntegerList:
        case token::kFloatList:
            out += (code == token::kIntegerList ? "ints[" : "floats[") +
                   std::to_string(value.list.count) + "]";
            break;
        default:
            if (!detail::keywordText(code).empty()) {
                out += std::string(value.text.view());
            } else {
                // Two appends: "t" + std::to_string draws a false -Wrestrict from GCC 12 at -O3.
                out += 't';
                out += std::to_string(code);
            }
            break;
        }
    }
    return out + "...";
}

TEST(BinaryTokenizer, ReadsEveryRecord) {
    struct Case {
        const char* name;
        BinaryWriter writer;
        std::string expected;
    };
    const std::string longName(600, 'n');
    Case cases[] = {
        {"records",
         BinaryWriter(4)
             .name("Mesh")
             .string("a b")
             .integer(7)
             .floatValue(1.5)
             .guid(kPairGuid)
             .integerList({1, 2, 3})
             .floatList({0.5}),
         "name(Mesh) str(a b) int(7) float(1.5) guid({11111111-2222-3333-4444-555555555555}) "
         "ints[3] floats[1] end"},
        {"doubles narrowed", BinaryWriter(8).floatValue(0.1).floatList({1.0, 2.0}),
         "float(0.1) floats[2] end"},
        {"punctuation and keywords",
         BinaryWriter(4)
             .token(10)
             .token(11)
             .token(14)
             .token(15)
             .token(18)
             .token(19)
             .token(20)
             .token(31)
             .token(41)
             .token(52)
             .token(54),
         "t10 t11 t14 t15 t18 t19 t20 TEMPLATE DWORD ARRAY BINARY end"},
        {"parentheses and angles are tokens no rule takes",
         BinaryWriter(4).token(12).token(13).token(16).token(17), "t12 t13 t16 t17 end"},
        {"names keep 511 bytes", BinaryWriter(4).name(longName).integer(1),
         "name(" + std::string(511, 'n') + ") int(1) end"},
        {"binary resource ends input", BinaryWriter(4).integer(1).token(55).token(999),
         "int(1) end"},
        {"unassigned code 8", BinaryWriter(4).token(8), "error"},
        {"void", BinaryWriter(4).token(48), "error"},
        {"beyond the table", BinaryWriter(4).token(56), "error"},
        {"odd byte at the end", BinaryWriter(4).integer(1).raw({0x0A}), "int(1) error"},
        {"name longer than the file", BinaryWriter(4).token(1).raw({0xFF, 0xFF, 0xFF, 0x7F, 'a'}),
         "error"},
        {"integer cut short", BinaryWriter(4).token(3).raw({1, 0, 0}), "error"},
        {"double cut short", BinaryWriter(8).token(4).raw({1, 2, 3, 4}), "error"},
        {"guid cut short", BinaryWriter(4).token(5).raw({1, 2, 3, 4, 5, 6, 7, 8}), "error"},
        {"list count beyond the file",
         BinaryWriter(4).token(6).raw({0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0}), "error"},
        {"float list count beyond the file",
         BinaryWriter(8).token(7).raw({2, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), "error"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const unsigned floatBytes =
            std::memcmp(c.writer.bytes().data() + 12, "0064", 4) == 0 ? 8 : 4;
        EXPECT_EQ(tokenize(c.writer.bytes(), floatBytes), c.expected);
    }
}

// One file in both encodings: a template with a restriction, objects with an id, integer and
// float lists, single values with separators, a string, a reference.
// `ends` receives the length of the file after each top-level item.
std::vector<std::byte> binaryFile(unsigned floatBytes, std::vector<std::size_t>* ends = nullptr) {
    BinaryWriter w(floatBytes);
    const auto itemEnds = [&] {
        if (ends != nullptr) {
            ends->push_back(w.bytes().size());
        }
    };
    // template Pair { <guid> DWORD n; array FLOAT v[n]; [Vector Coords2d] }
    w.token(31).name("Pair").token(10).guid(kPairGuid);
    w.token(41).name("n").token(20);
    w.token(52).token(42).name("v").token(14).name("n").token(15).token(20);
    w.token(14).name("Vector").name("Coords2d").token(15);
    w.token(11);
    itemEnds();
    // Pair p { 2; 1.5; 2.5; } as one integer list and one float list.
    w.name("Pair").name("p").token(10).integerList({2}).floatList({1.5, 2.5}).token(11);
    itemEnds();
    // Mesh with an id; the counts and indices merged into one list as writers do.
    w.name("Mesh").name("m").token(10).guid(kObjectId);
    w.integerList({3}).floatList({0, 0, 0, 1, 0, 0, 0, 1, 0}).integerList({1, 3, 0, 1, 2});
    w.name("TextureFilename").token(10).string("hull.png").token(20).token(11);
    w.token(10).name("p").token(11);
    w.token(11);
    itemEnds();
    // Single integer and float tokens take separators like text values.
    w.name("Vector").token(10).floatValue(1.0).token(20).integer(2).token(19);
    w.floatValue(3.0).token(20).token(20).token(19).token(11);
    itemEnds();
    return w.bytes();
}

constexpr const char* kTextFile = R"(xof 0303txt 0032
template Pair { <11111111-2222-3333-4444-555555555555> DWORD n; array FLOAT v[n]; [Vector, Coords2d] }
Pair p { 2; 1.5, 2.5; }
Mesh m { <AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE>
  3; 0.0; 0.0; 0.0;, 1.0; 0.0; 0.0;, 0.0; 1.0; 0.0;;
  1; 3; 0, 1, 2;;
  TextureFilename { "hull.png"; }
  { p }
}
Vector { 1.0; 2, 3.0;;, }
)";

TEST(BinaryFile, ParsesLikeTheSameText) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> text;
    ASSERT_EQ(parseText(reader.get(), kTextFile, &text), S_OK);
    const std::string expected = describeTree(text.get());
    for (unsigned floatBytes : {4u, 8u}) {
        SCOPED_TRACE(floatBytes);
        ComRef<ID3DXFileEnumObject> binary;
        ASSERT_EQ(parseMemory(reader.get(), binaryFile(floatBytes), &binary), S_OK);
        EXPECT_EQ(describeTree(binary.get()), expected);
    }
}

TEST(BinaryFile, EveryPrefixFailsCleanly) {
    std::vector<std::size_t> ends = {16};
    const std::vector<std::byte> file = binaryFile(8, &ends);
    ComRef<ID3DXFile> reader = makeReader();
    for (std::size_t length = 0; length < file.size(); ++length) {
        SCOPED_TRACE(length);
        auto prefix = std::make_unique<std::byte[]>(length);
        std::memcpy(prefix.get(), file.data(), length);
        ComRef<ID3DXFileEnumObject> parsed;
        const HRESULT result = parseMemory(reader.get(), std::span(prefix.get(), length), &parsed);
        // Only a cut between top-level items leaves a whole file.
        const bool whole = std::find(ends.begin(), ends.end(), length) != ends.end();
        EXPECT_EQ(SUCCEEDED(result), whole) << std::hex << result;
    }
}

TEST(BinaryFile, CorruptionIsRejected) {
    struct Case {
        const char* name;
        std::size_t offset;
        std::uint8_t value;
        HRESULT expected;
    };
    // Offsets into binaryFile(4): 16 template token, 18 name token, 20 its length.
    const Case cases[] = {
        {"magic", 0, 'y', D3DXFERR_BADFILETYPE},
        {"version", 7, '9', D3DXFERR_BADFILEVERSION},
        {"format", 8, 'c', D3DXFERR_BADFILETYPE},
        {"float size", 14, '1', D3DXFERR_BADFILEFLOATSIZE},
        {"unassigned token", 16, 0x09, D3DXFERR_PARSEERROR},
        {"name length past the end", 23, 0x7F, D3DXFERR_PARSEERROR},
        {"template keyword becomes a name", 16, 0x01, D3DXFERR_PARSEERROR},
    };
    ComRef<ID3DXFile> reader = makeReader();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::byte> file = binaryFile(4);
        file[c.offset] = std::byte{c.value};
        ComRef<ID3DXFileEnumObject> parsed;
        EXPECT_EQ(parseMemory(reader.get(), file, &parsed), c.expected);
    }
}

TEST(BinaryFile, TemplateNamesIgnoreCaseBeyondAscii) {
    // Code page 1252: 0xC9 is E with acute accent, 0xE9 its lower case.
    BinaryWriter w(4);
    w.token(31).name("\xC9mail").token(10).guid(kPairGuid).token(41).name("a").token(20).token(11);
    w.name("\xE9MAIL").token(10).integerList({5}).token(11);
    w.name("\xC8MAIL").token(10).integerList({6}).token(11); // E with grave: another template
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseMemory(reader.get(), w.bytes(), &parsed), S_OK);
    SIZE_T count = 0;
    parsed->GetChildren(&count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(typeOf(child(parsed.get(), 0).get()), kPairGuid);
    EXPECT_EQ(dataOf(child(parsed.get(), 0).get()), Packed().dword(5).bytes());
}

TEST(BinaryFile, HugeListCountsFailWithoutAllocating) {
    // A count of four billion elements in a file of a few bytes.
    BinaryWriter w(4);
    w.name("Mesh").token(10).token(6).raw({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}).token(11);
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    EXPECT_EQ(parseMemory(reader.get(), w.bytes(), &parsed), D3DXFERR_PARSEERROR);
}

} // namespace
} // namespace halv::xfile::fixtures
