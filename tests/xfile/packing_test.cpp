// How an object's values are laid out by its template, and the reasons an object fails.
#include "tests/xfile/support/xfile_test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
using detail::ParsedFile;
using detail::ReadFailure;

// Templates the cases below use besides the standard ones.
constexpr const char* kTemplates = R"(
template Mixed { <AAAAAAAA-0000-0000-0000-000000000001>
  WORD w; CHAR c; DOUBLE d; STRING s; DWORD x; SWORD sw; UCHAR uc; SDWORD sd; }
template Counted { <AAAAAAAA-0000-0000-0000-000000000002>
  STRING tag; WORD N; array WORD values[n]; }
template ByteCounted { <AAAAAAAA-0000-0000-0000-000000000003>
  STRING tag; UCHAR n; array DWORD values[n]; }
template Inner { <AAAAAAAA-0000-0000-0000-000000000004> WORD n; array WORD v[n]; }
template Outer { <AAAAAAAA-0000-0000-0000-000000000005> WORD n; array Inner items[n]; }
template Grid { <AAAAAAAA-0000-0000-0000-000000000006> STRING s; DWORD n; array WORD m[2][n]; }
template MissingCount { <AAAAAAAA-0000-0000-0000-000000000007> STRING s; array DWORD v[count]; }
template FloatCount { <AAAAAAAA-0000-0000-0000-000000000008> STRING s; FLOAT f; array DWORD v[f]; }
template ArrayCount { <AAAAAAAA-0000-0000-0000-000000000009>
  STRING s; array DWORD n[1]; array DWORD v[n]; }
template Wide { <AAAAAAAA-0000-0000-0000-00000000000A> STRING s; ULONGLONG u; }
template CText { <AAAAAAAA-0000-0000-0000-00000000000B> STRING s; CSTRING c; }
template PlainWords { <AAAAAAAA-0000-0000-0000-00000000000C> DWORD a; CSTRING c; UNICODE u; }
template Empty { <AAAAAAAA-0000-0000-0000-00000000000D> [...] }
template ManyEmpty { <AAAAAAAA-0000-0000-0000-00000000000E> STRING s; DWORD n; array Empty e[n]; }
template ManyWords { <AAAAAAAA-0000-0000-0000-00000000000F> STRING s; DWORD n; array DWORD v[n]; }
)";

struct PackCase {
    const char* name;
    const char* object;
    ReadFailure expected;
    std::vector<std::byte> data = {};
};

float bitsAsFloat(std::uint32_t bits) {
    return std::bit_cast<float>(bits);
}

const PackCase kPackCases[] = {
    // Values are stored as read: integers keep their bits where a FLOAT is declared.
    {"VectorOfIntegersKeepsIntegerBits", "Vector { 1; 2; 3; }", ReadFailure::kNone,
     Packed().dword(1).dword(2).dword(3).bytes()},
    {"VectorOfFloats", "Vector { 1.0; -2.5; 0.1; }", ReadFailure::kNone,
     Packed().single(1.0f).single(-2.5f).single(0.1f).bytes()},
    {"Matrix16", "Matrix4x4 { 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16;; }", ReadFailure::kNone,
     [] {
         Packed p;
         for (std::uint32_t i = 1; i <= 16; ++i) {
             p.dword(i);
         }
         return p.bytes();
     }()},
    {"Matrix15", "Matrix4x4 { 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15;; }", ReadFailure::kTooFewValues},
    {"Matrix17", "Matrix4x4 { 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17;; }",
     ReadFailure::kSurplusData},
    {"FrameTakesNoValues", "Frame { 1; }", ReadFailure::kSurplusData},
    {"FrameWithoutValues", "Frame { }", ReadFailure::kNone, {}},
    // Member-sized arrays without conversion take whatever values there are.
    {"ShortMeshStillParses", "Mesh { 4; 0.0;0.0;0.0;, 1.0;1.0;1.0;; 1; 3;0,1,2;;; }",
     ReadFailure::kNone,
     Packed()
         .dword(4)
         .single(0)
         .single(0)
         .single(0)
         .single(1)
         .single(1)
         .single(1)
         .dword(1)
         .dword(3)
         .dword(0)
         .dword(1)
         .dword(2)
         .bytes()},
    // Converted templates: each member takes its size, with no padding.
    {"MixedPrimitives", "Mixed { 65537; 321; 1.5; \"hi\"; 7; -2; 511; -3; }", ReadFailure::kNone,
     Packed()
         .word(1)
         .byte(65)
         .dbl(1.5)
         .text("hi")
         .dword(7)
         .word(0xFFFE)
         .byte(0xFF)
         .dword(0xFFFFFFFD)
         .bytes()},
    {"DoubleFromIntegerWidensItsBits", "Mixed { 0; 0; 1; \"\"; 0; 0; 0; 0; }", ReadFailure::kNone,
     Packed()
         .word(0)
         .byte(0)
         .dbl(bitsAsFloat(1))
         .text("")
         .dword(0)
         .word(0)
         .byte(0)
         .dword(0)
         .bytes()},
    {"NamedDimensionIgnoresCase", "Counted { \"t\"; 3; 10, 11, 12; }", ReadFailure::kNone,
     Packed().text("t").word(3).word(10).word(11).word(12).bytes()},
    {"CountFromByte", "ByteCounted { \"t\"; 258; 5, 6; }", ReadFailure::kNone,
     Packed().text("t").byte(2).dword(5).dword(6).bytes()},
    {"DimensionsOfInnerTemplate", "Outer { 2; 1; 5;, 2; 6, 7;;; }", ReadFailure::kNone,
     Packed().word(2).word(1).word(5).word(2).word(6).word(7).bytes()},
    {"MultipleDimensions", "Grid { \"g\"; 2; 1, 2, 3, 4; }", ReadFailure::kNone,
     Packed().text("g").dword(2).word(1).word(2).word(3).word(4).bytes()},
    {"SurplusIgnoredWhenConverted", "TextureFilename { \"a.png\"; \"b.png\"; }", ReadFailure::kNone,
     Packed().text("a.png").bytes()},
    {"TooFewWhenConverted", "XSkinMeshHeader { 1; 2; }", ReadFailure::kTooFewValues},
    {"HugeCountWithFewValues", "ManyWords { \"s\"; 2000000000; 1; }", ReadFailure::kTooFewValues},
    {"HugeCountOfEmptyElements", "ManyEmpty { \"s\"; 2000000000; }", ReadFailure::kNone,
     Packed().text("s").dword(2000000000u).bytes()},
    {"CountNamesNoMember", "MissingCount { \"s\"; 1; }", ReadFailure::kBadDataReference},
    {"CountNamesFloat", "FloatCount { \"s\"; 1.0; 1; }", ReadFailure::kBadDataReference},
    {"CountNamesArray", "ArrayCount { \"s\"; 1; 1; }", ReadFailure::kBadDataReference},
    {"UlonglongInConvertedTemplate", "Wide { \"s\"; 1; }", ReadFailure::kNotDoneYet},
    {"CstringInConvertedTemplate", "CText { \"s\"; 1; }", ReadFailure::kNotDoneYet},
    {"CstringWithoutConversionIsAWord", "PlainWords { 1; 2; 3; }", ReadFailure::kNone,
     Packed().dword(1).dword(2).dword(3).bytes()},
    // A string only fills a STRING member, and a STRING member only takes a string.
    {"StringInNumberMember", "Vector { \"a\"; 1; 2; }", ReadFailure::kStringMismatch},
    {"NumberInStringMember", "TextureFilename { 5; }", ReadFailure::kStringMismatch},
    {"StringKeeps511Characters", nullptr, ReadFailure::kNone,
     Packed().text(std::string(511, 'x')).bytes()},
};

class Packing : public testing::TestWithParam<PackCase> {};

TEST_P(Packing, LaysOutValues) {
    const PackCase& c = GetParam();
    const std::string object = c.object != nullptr
                                   ? std::string(c.object)
                                   : "TextureFilename { \"" + std::string(600, 'x') + "\"; }";
    const std::string file = std::string("xof 0303txt 0032\n") + kTemplates + object;
    ParsedFile parsed;
    const ReadFailure failure = parseDetailed(file, standardRegistry(), &parsed);
    ASSERT_EQ(failure, c.expected) << detail::toString(failure);
    if (failure != ReadFailure::kNone) {
        return;
    }
    ASSERT_EQ(parsed.topLevel.size(), 1u);
    const std::span<const std::byte> data = parsed.dataOf(*parsed.topLevel[0]);
    EXPECT_EQ(std::vector<std::byte>(data.begin(), data.end()), c.data);
}

INSTANTIATE_TEST_SUITE_P(Xfile, Packing, testing::ValuesIn(kPackCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(Packing, ObjectFailuresKeepTheirOwnCodes) {
    // The codes an object fails with before CreateEnumObject turns them into a parse error.
    const struct {
        ReadFailure failure;
        HRESULT code;
    } cases[] = {
        {ReadFailure::kSurplusData, D3DXFERR_NOMOREDATA},
        {ReadFailure::kTooFewValues, E_OUTOFMEMORY},
        {ReadFailure::kBadDataReference, D3DXFERR_BADDATAREFERENCE},
        {ReadFailure::kBadArraySize, D3DXFERR_BADARRAYSIZE},
        {ReadFailure::kNotDoneYet, D3DXFERR_NOTDONEYET},
        {ReadFailure::kNullReference, D3DXFERR_BADOBJECT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(detail::toString(c.failure));
        EXPECT_EQ(detail::objectResult(c.failure), c.code);
        EXPECT_EQ(detail::toHresult(c.failure), D3DXFERR_PARSEERROR);
    }
}

TEST(Packing, ValuesAroundNestedObjectsStayWithTheirObject) {
    // A parent's values may come before and after its children; each object gets its own.
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(),
                        "xof 0303txt 0032\n"
                        "Material m { 1.0; 0.5; Vector { 7; 8; 9; } 0.25; 1.0;; 2.0;\n"
                        "  TextureFilename { \"t.png\"; } 0.1; 0.2; 0.3;; 0.4; 0.5; 0.6;; }",
                        &parsed),
              S_OK);
    ComRef<ID3DXFileData> material = child(parsed.get(), 0);
    EXPECT_EQ(dataOf(material.get()), Packed()
                                          .single(1.0f)
                                          .single(0.5f)
                                          .single(0.25f)
                                          .single(1.0f)
                                          .single(2.0f)
                                          .single(0.1f)
                                          .single(0.2f)
                                          .single(0.3f)
                                          .single(0.4f)
                                          .single(0.5f)
                                          .single(0.6f)
                                          .bytes());
    EXPECT_EQ(dataOf(child(material.get(), 0).get()), Packed().dword(7).dword(8).dword(9).bytes());
    EXPECT_EQ(dataOf(child(material.get(), 1).get()), Packed().text("t.png").bytes());
}

} // namespace
} // namespace halv::xfile::fixtures
