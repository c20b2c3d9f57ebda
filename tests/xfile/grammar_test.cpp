// What the grammar accepts and rejects: templates, restrictions, separators, objects and the
// reader's leniencies.
#include "tests/xfile/support/xfile_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
using detail::ParsedFile;
using detail::ReadFailure;

constexpr ReadFailure kOk = ReadFailure::kNone;

struct GrammarCase {
    const char* name;
    const char* body; // after "xof 0303txt 0032\n"
    ReadFailure expected;
    std::size_t topLevel = 0; // objects in the file, when it parses
};

const GrammarCase kGrammarCases[] = {
    {"EmptyFile", "", kOk},
    {"OnlyComments", "# nothing\n// here\n", kOk},
    // Templates.
    {"TemplateWithMembers", "template T { <11111111-2222-3333-4444-555555555555> DWORD a; }", kOk},
    {"UnnamedMember", "template T { <11111111-2222-3333-4444-555555555555> DWORD; FLOAT; }", kOk},
    {"MembersAndRestriction",
     "template T { <11111111-2222-3333-4444-555555555555> DWORD a; [...] }", kOk},
    {"RestrictionAlone", "template T { <11111111-2222-3333-4444-555555555555> [Vector] }", kOk},
    {"RestrictionWithGuidsAndTrailingComma",
     "template T { <11111111-2222-3333-4444-555555555555>"
     " [Vector <3D82AB5E-62DA-11CF-AB39-0020AF71E433>, Coords2d, BINARY,] }",
     kOk},
    {"RestrictionWithoutCommas",
     "template T { <11111111-2222-3333-4444-555555555555> [Vector "
     "Coords2d] }",
     kOk},
    {"KeywordsInAnyCase",
     "TEMPLATE T { <11111111-2222-3333-4444-555555555555> dword a; Array DWORD b[2]; "
     "ARRAY float c[a]; } Template U { <11111111-2222-3333-4444-555555555556> word w; }",
     kOk},
    {"ByteIsAType", "template T { <11111111-2222-3333-4444-555555555555> BYTE b; byte c; }", kOk},
    {"MultipleDimensions",
     "template T { <11111111-2222-3333-4444-555555555555> DWORD n; array WORD m[2][n][3]; }", kOk},
    {"TemplateTypedMember",
     "template T { <11111111-2222-3333-4444-555555555555> Vector v; array Coords2d c[4]; }", kOk},
    {"IndexColorArrayIsDropped",
     "template T { <11111111-2222-3333-4444-555555555555> DWORD n; array indexColor c[n]; }", kOk},
    {"TemplateWithoutGuid", "template T { DWORD a; }", ReadFailure::kSyntax},
    {"TemplateWithoutBody", "template T { <11111111-2222-3333-4444-555555555555> }",
     ReadFailure::kSyntax},
    {"MemberAfterRestriction",
     "template T { <11111111-2222-3333-4444-555555555555> [...] DWORD a; }", ReadFailure::kSyntax},
    {"UnknownMemberType", "template T { <11111111-2222-3333-4444-555555555555> Quux a; }",
     ReadFailure::kUnknownMemberType},
    {"IndexColorOnlyAsArray", "template T { <11111111-2222-3333-4444-555555555555> indexColor c; }",
     ReadFailure::kUnknownMemberType},
    {"IndexColorIsCaseSensitive",
     "template T { <11111111-2222-3333-4444-555555555555> DWORD n; array IndexColor c[n]; }",
     ReadFailure::kUnknownMemberType},
    {"BinaryIsNoMemberType", "template T { <11111111-2222-3333-4444-555555555555> BINARY b; }",
     ReadFailure::kUnknownMemberType},
    {"NoForwardReference",
     "template T { <11111111-2222-3333-4444-555555555555> U u; }"
     "template U { <11111111-2222-3333-4444-555555555556> DWORD a; }",
     ReadFailure::kUnknownMemberType},
    {"ZeroDimension", "template T { <11111111-2222-3333-4444-555555555555> array DWORD a[0]; }",
     ReadFailure::kZeroDimension},
    {"FloatDimension", "template T { <11111111-2222-3333-4444-555555555555> array DWORD a[1.0]; }",
     ReadFailure::kSyntax},
    {"ArrayWithoutName", "template T { <11111111-2222-3333-4444-555555555555> array DWORD [2]; }",
     ReadFailure::kSyntax},
    {"UnknownRestriction", "template T { <11111111-2222-3333-4444-555555555555> [Quux] }",
     ReadFailure::kUnknownRestriction},
    {"RestrictionGuidUnknown",
     "template T { <11111111-2222-3333-4444-555555555555> [Vector "
     "<99999999-2222-3333-4444-555555555555>] }",
     ReadFailure::kUnknownRestriction},
    {"RestrictionBareGuid",
     "template T { <11111111-2222-3333-4444-555555555555> "
     "[<3D82AB5E-62DA-11CF-AB39-0020AF71E433>] }",
     ReadFailure::kSyntax},
    {"RestrictionTwoDots", "template T { <11111111-2222-3333-4444-555555555555> [..] }",
     ReadFailure::kSyntax},
    {"TemplateNameIsKeyword", "template Array { <11111111-2222-3333-4444-555555555555> DWORD a; }",
     ReadFailure::kSyntax},
    {"TemplatesNestTooDeep", nullptr, ReadFailure::kNestingTooDeep},
    // Separators after values.
    {"Semicolons", "Vector { 1.0; 2.0;; 3.0;;; }", kOk, 1},
    {"Commas", "Vector { 1.0, 2.0, 3.0, }", kOk, 1},
    {"SemicolonsThenComma", "Vector { 1.0;, 2.0;;, 3.0; }", kOk, 1},
    {"ValueBeforeBrace", "Vector { 1.0; 2.0; 3.0 }", ReadFailure::kSyntax},
    {"CommaThenSeparator", "Vector { 1.0,, 2.0; 3.0; }", ReadFailure::kSyntax},
    {"CommaThenSemicolon", "Vector { 1.0,; 2.0; 3.0; }", ReadFailure::kSyntax},
    {"SemicolonAfterPair", "Vector { 1.0;,; 2.0; 3.0; }", ReadFailure::kSyntax},
    {"SeparatorFirst", "Vector { ; 1.0; 2.0; 3.0; }", ReadFailure::kSyntax},
    {"SeparatorAfterObject", "Frame { Vector { 1.0; 2.0; 3.0; }; }", ReadFailure::kSyntax},
    {"SeparatorAfterReference", "Frame a {} Frame { {a}; }", ReadFailure::kSyntax},
    {"Parentheses", "Vector { ( 1.0; 2.0; 3.0; }", ReadFailure::kSyntax},
    {"GuidAfterValue", "Vector { 1.0; <11111111-2222-3333-4444-555555555555> 2.0; 3.0; }",
     ReadFailure::kSyntax},
    {"MixedValueKinds",
     "template T { <11111111-2222-3333-4444-555555555555> STRING s; "
     "DWORD a; FLOAT f; } T { \"x\"; 1; 2.0; }",
     kOk, 1},
    // Objects.
    {"ObjectWithNameAndId", "Frame f { <11111111-2222-3333-4444-555555555555> }", kOk, 1},
    {"IdOnlyAfterBrace", "Frame f { Frame {} <11111111-2222-3333-4444-555555555555> }",
     ReadFailure::kSyntax},
    {"ObjectNameIsKeyword", "Frame template { }", ReadFailure::kSyntax},
    {"TemplateNameIgnoresCase", "vector { 1.0; 2.0; 3.0; } FRAME {}", kOk, 2},
    {"UnknownTopLevelObjectIsSkipped",
     "Quux q { 1; \"s\"; Vector { 1.0; 2.0; 3.0; } } Vector v { 1.0; 2.0; 3.0; }", kOk, 1},
    {"UnknownNestedObjectIsSkipped", "Frame { Quux { 1; } Vector { 1.0; 2.0; 3.0; } } Frame {}",
     kOk, 2},
    {"UnknownObjectStillNeedsSyntax", "Quux { 1 }", ReadFailure::kSyntax},
    {"TopLevelReference", "Frame a {} { a }", ReadFailure::kSyntax},
    {"TopLevelValue", "1;", ReadFailure::kSyntax},
    {"UnclosedObject", "Frame { Frame {}", ReadFailure::kSyntax},
    {"ObjectsNestTooDeep", nullptr, ReadFailure::kNestingTooDeep},
    {"ObjectsNestToTheLimit", nullptr, kOk, 1},
    // References.
    {"EmptyReference", "Frame a {} Frame { {} }", ReadFailure::kSyntax},
    {"NullGuidReference", "Frame a {} Frame { {<00000000-0000-0000-0000-000000000000>} }",
     ReadFailure::kNullReference},
    {"NullGuidReferenceInSkippedObject", "Quux { {<00000000-0000-0000-0000-000000000000>} }",
     ReadFailure::kNullReference},
    {"NamedNullGuidReference", "Frame a {} Frame { {a <00000000-0000-0000-0000-000000000000>} }",
     kOk, 2},
    {"UnresolvedReferenceIsDropped", "Frame { {nobody} }", kOk, 1},
    // Input ends at BINARY_RESOURCE, whatever follows.
    {"BinaryResourceEndsFile", "Frame a {} BINARY_RESOURCE }}} @@@ \"", kOk, 1},
    {"BinaryResourceInsideObject", "Frame a { binary_resource }", ReadFailure::kSyntax},
    // Invalid characters end the parse.
    {"InvalidCharacter", "Frame a { @ }", ReadFailure::kBadToken},
};

std::string bodyOf(const GrammarCase& c) {
    const std::string name = c.name;
    if (name == "TemplatesNestTooDeep") {
        // Each template holds the one before it; 65 levels is one too many.
        std::string text = "template T0 { <00000000-0000-0000-0000-000000000001> DWORD a; }\n";
        for (int i = 1; i < 65; ++i) {
            char line[160];
            std::snprintf(line, sizeof line,
                          "template T%d { <%08X-0000-0000-0000-000000000001> T%d t; }\n", i, i,
                          i - 1);
            text += line;
        }
        return text;
    }
    if (name == "ObjectsNestTooDeep" || name == "ObjectsNestToTheLimit") {
        const int depth = name == "ObjectsNestTooDeep" ? 129 : 128;
        std::string text;
        for (int i = 0; i < depth; ++i) {
            text += "Frame {";
        }
        return text + std::string(static_cast<std::size_t>(depth), '}');
    }
    return c.body;
}

class Grammar : public testing::TestWithParam<GrammarCase> {};

TEST_P(Grammar, AcceptsOrRejects) {
    const GrammarCase& c = GetParam();
    const std::string file = "xof 0303txt 0032\n" + bodyOf(c);
    ParsedFile parsed;
    EXPECT_EQ(parseDetailed(file, standardRegistry(), &parsed), c.expected)
        << detail::toString(parseDetailed(file, standardRegistry(), &parsed));

    // Through the interface every failure past the header is a parse error.
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> enumObject;
    const HRESULT result = parseText(reader.get(), file, &enumObject);
    if (c.expected == kOk) {
        ASSERT_EQ(result, S_OK);
        SIZE_T count = 0;
        enumObject->GetChildren(&count);
        EXPECT_EQ(count, c.topLevel);
    } else {
        EXPECT_EQ(result, D3DXFERR_PARSEERROR);
        EXPECT_EQ(enumObject.get(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Xfile, Grammar, testing::ValuesIn(kGrammarCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(Grammar, TemplateMembersAndRestrictionsAreRecorded) {
    ParsedFile parsed;
    ASSERT_EQ(parseDetailed("xof 0303txt 0032\n"
                            "template T { <11111111-2222-3333-4444-555555555555>\n"
                            "  dword n; array Vector v[n][2]; BYTE; array indexColor c[n];\n"
                            "  [Vector <3D82AB5E-62DA-11CF-AB39-0020AF71E433>, BINARY] }\n"
                            "template Open { <11111111-2222-3333-4444-555555555556> [ ... ] }\n",
                            standardRegistry(), &parsed),
              kOk);
    const auto* t = parsed.templates.findByName("t");
    ASSERT_NE(t, nullptr);
    const detail::XTemplate& templ = **t;
    ASSERT_EQ(templ.members.size(), 3u);
    EXPECT_EQ(templ.members[0].primitive, detail::PrimitiveType::kDword);
    EXPECT_EQ(templ.members[1].nested->guid, TID_D3DRMVector);
    ASSERT_EQ(templ.members[1].dimensions.size(), 2u);
    EXPECT_EQ(templ.members[1].dimensions[0].name, "n");
    EXPECT_EQ(templ.members[1].dimensions[0].sourceMember, 0);
    EXPECT_EQ(templ.members[1].dimensions[1].constant, 2u);
    EXPECT_EQ(templ.members[2].primitive, detail::PrimitiveType::kUchar);
    EXPECT_TRUE(templ.members[2].name.empty());
    EXPECT_EQ(templ.restriction, detail::Restriction::kRestricted);
    ASSERT_EQ(templ.allowed.size(), 2u);
    EXPECT_EQ(templ.allowed[0].name, "Vector");
    EXPECT_EQ(templ.allowed[0].guid, TID_D3DRMVector);
    EXPECT_EQ(templ.allowed[1].name, "BINARY");
    EXPECT_EQ(templ.allowed[1].guid, GUID_NULL);
    EXPECT_TRUE(templ.needsConversion);
    EXPECT_FALSE(templ.fixedSize);
    EXPECT_EQ((*parsed.templates.findByName("OPEN"))->restriction, detail::Restriction::kOpen);
}

TEST(Grammar, FileDeclarationsComeBeforeRegisteredOnes) {
    // The file re-declares Vector (same GUID) with one member; its objects use that
    // declaration. A second declaration of the GUID in the same file is dropped.
    const std::string file = "xof 0303txt 0032\n"
                             "template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> DWORD a; }\n"
                             "template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> DWORD a; "
                             "DWORD b; }\n"
                             "Vector v { 7; }\n";
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(), file, &parsed), S_OK);
    ComRef<ID3DXFileData> vector = child(parsed.get(), 0);
    EXPECT_EQ(typeOf(vector.get()), TID_D3DRMVector);
    EXPECT_EQ(dataOf(vector.get()), Packed().dword(7).bytes());

    // The registered declaration is untouched by the file.
    ASSERT_EQ(parseText(reader.get(), "xof 0303txt 0032\nVector v { 7; }", &parsed),
              D3DXFERR_PARSEERROR);
}

TEST(Grammar, IndexColorMemberIsLeftOut) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(),
                        "xof 0303txt 0032\n"
                        "template Colours { <11111111-2222-3333-4444-555555555555> DWORD n; "
                        "array indexColor c[n]; DWORD last; }\n"
                        "Colours { 2; 9; }",
                        &parsed),
              S_OK);
    EXPECT_EQ(dataOf(child(parsed.get(), 0).get()), Packed().dword(2).dword(9).bytes());
}

TEST(TextFile, EveryPrefixFailsCleanly) {
    const std::string file = "xof 0303txt 0032Frame Root { <01234567-89AB-CDEF-0123-456789ABCDEF>\n"
                             "  # a comment\n"
                             "  MeshFace f { 2; 1, 2; }\n"
                             "  Mesh m { 1; -1.5e3; 0.25; 12.0;; 1; 3; 0, 0, 0;;\n"
                             "    MeshMaterialList { 1; 1; 0;; Material { 1.0;1.0;1.0;1.0;; "
                             "0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; TextureFilename { \"a\\tb\"; } } }\n"
                             "  }\n"
                             "}";
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(), file, &parsed), S_OK);
    for (std::size_t length = 0; length < file.size(); ++length) {
        SCOPED_TRACE(length);
        auto prefix = std::make_unique<char[]>(length);
        std::memcpy(prefix.get(), file.data(), length);
        const HRESULT result =
            parseText(reader.get(), std::string_view(prefix.get(), length), &parsed);
        // The bare header is an empty file; every other cut ends inside the one object.
        EXPECT_EQ(SUCCEEDED(result), length == 16);
    }
}

} // namespace
} // namespace halv::xfile::fixtures
