// FVF codes and vertex declarations: D3DXDeclaratorFromFVF, D3DXFVFFromDeclarator and the size
// helpers.
#include "xfile/mesh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Element {
    WORD offset;
    BYTE type;
    BYTE usage;
    BYTE usageIndex;
};

struct FvfCase {
    const char* name;
    DWORD fvf;
    std::vector<Element> elements;
    UINT size;
};

const FvfCase kFvfCases[] = {
    {"PositionNormalColourTexture",
     D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1,
     {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
      {12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0},
      {24, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0},
      {28, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0}},
     36},
    {"Transformed",
     D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR,
     {{0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0},
      {16, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0},
      {20, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1}},
     24},
    {"ThreeWeights",
     D3DFVF_XYZB3 | D3DFVF_NORMAL,
     {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
      {12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_BLENDWEIGHT, 0},
      {24, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0}},
     36},
    {"WeightsAndIndices",
     D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4,
     {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
      {12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_BLENDWEIGHT, 0},
      {20, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0}},
     24},
    {"IndicesOnly",
     D3DFVF_XYZB1 | D3DFVF_LASTBETA_D3DCOLOR,
     {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
      {12, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_BLENDINDICES, 0}},
     16},
    {"FiveBetas",
     D3DFVF_XYZB5 | D3DFVF_LASTBETA_UBYTE4,
     {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
      {12, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT, 0},
      {28, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0}},
     32},
    {"SizedSets",
     D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_TEX3 | D3DFVF_TEXCOORDSIZE1(0) | D3DFVF_TEXCOORDSIZE4(2),
     {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
      {12, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0},
      {16, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_TEXCOORD, 0},
      {20, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1},
      {28, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD, 2}},
     44},
    {"NormalOnly", D3DFVF_NORMAL, {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0}}, 12},
};

class FvfDeclarations : public testing::TestWithParam<FvfCase> {};

TEST_P(FvfDeclarations, ConvertBothWays) {
    const FvfCase& c = GetParam();
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(D3DXDeclaratorFromFVF(c.fvf, declaration), D3D_OK);
    ASSERT_EQ(D3DXGetDeclLength(declaration), c.elements.size());
    for (std::size_t i = 0; i < c.elements.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(declaration[i].Stream, 0);
        EXPECT_EQ(declaration[i].Offset, c.elements[i].offset);
        EXPECT_EQ(declaration[i].Type, c.elements[i].type);
        EXPECT_EQ(declaration[i].Method, D3DDECLMETHOD_DEFAULT);
        EXPECT_EQ(declaration[i].Usage, c.elements[i].usage);
        EXPECT_EQ(declaration[i].UsageIndex, c.elements[i].usageIndex);
    }
    EXPECT_EQ(declaration[c.elements.size()].Stream, 0xFF);
    EXPECT_EQ(declaration[c.elements.size()].Type, D3DDECLTYPE_UNUSED);
    EXPECT_EQ(D3DXGetDeclVertexSize(declaration, 0), c.size);
    EXPECT_EQ(D3DXGetDeclVertexSize(declaration, 1), 0u);
    EXPECT_EQ(D3DXGetFVFVertexSize(c.fvf), c.size);
    DWORD back = 0;
    ASSERT_EQ(D3DXFVFFromDeclarator(declaration, &back), D3D_OK);
    EXPECT_EQ(back, c.fvf);
}

INSTANTIATE_TEST_SUITE_P(Mesh, FvfDeclarations, testing::ValuesIn(kFvfCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(FvfDeclarations, CodesWithoutADeclarationAreRejected) {
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    for (const DWORD fvf :
         {DWORD{D3DFVF_XYZ | D3DFVF_RESERVED0}, DWORD{D3DFVF_XYZ | 0x2000}, DWORD{D3DFVF_XYZW},
          DWORD{D3DFVF_XYZ | (9 << D3DFVF_TEXCOUNT_SHIFT)}, DWORD{D3DFVF_XYZB5}}) {
        SCOPED_TRACE(fvf);
        EXPECT_EQ(D3DXDeclaratorFromFVF(fvf, declaration), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXGetFVFVertexSize(fvf), 0u);
    }
    EXPECT_EQ(D3DXDeclaratorFromFVF(D3DFVF_XYZ, nullptr), D3DERR_INVALIDCALL);
}

TEST(FvfDeclarations, DeclarationsWithoutACodeAreRejected) {
    const D3DVERTEXELEMENT9 tangent[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0},
        D3DDECL_END(),
    };
    const D3DVERTEXELEMENT9 outOfOrder[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
        {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        D3DDECL_END(),
    };
    const D3DVERTEXELEMENT9 gap[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 16, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
        D3DDECL_END(),
    };
    const D3DVERTEXELEMENT9 skippedSet[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 1},
        D3DDECL_END(),
    };
    const D3DVERTEXELEMENT9 shortColour[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_UBYTE4N, 0, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    DWORD fvf = 0x12345;
    for (const D3DVERTEXELEMENT9* declaration :
         {tangent, outOfOrder, gap, skippedSet, shortColour}) {
        EXPECT_EQ(D3DXFVFFromDeclarator(declaration, &fvf), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(fvf, 0x12345u);
    EXPECT_EQ(D3DXGetDeclVertexSize(gap, 0), 28u);
    EXPECT_EQ(D3DXGetDeclLength(tangent), 2u);
    EXPECT_EQ(D3DXGetDeclLength(nullptr), 0u);
}

} // namespace
