#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace halv::gfx {
namespace {

using base::ComRef;

struct PositionColor {
    float x, y, z;
    D3DCOLOR color;
};
static_assert(sizeof(PositionColor) == 16);

class DrawValidation : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(createNullDevice({}, device.put()), D3D_OK);
        ASSERT_EQ(device->CreateVertexBuffer(6 * sizeof(PositionColor), 0,
                                             D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_MANAGED,
                                             vertices.put(), nullptr),
                  D3D_OK);
        ASSERT_EQ(device->CreateIndexBuffer(6 * sizeof(std::uint16_t), 0, D3DFMT_INDEX16,
                                            D3DPOOL_MANAGED, indices.put(), nullptr),
                  D3D_OK);
        writeIndices({0, 1, 2, 2, 1, 3});
        ASSERT_EQ(device->SetStreamSource(0, vertices.get(), 0, sizeof(PositionColor)), D3D_OK);
        ASSERT_EQ(device->SetIndices(indices.get()), D3D_OK);
        ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
    }

    void writeIndices(const std::vector<std::uint16_t>& values) {
        void* data = nullptr;
        ASSERT_EQ(indices->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, values.data(), values.size() * sizeof(std::uint16_t));
        ASSERT_EQ(indices->Unlock(), D3D_OK);
    }

    DrawStats stats() {
        DrawStats result;
        EXPECT_EQ(getDrawStats(device.get(), &result), D3D_OK);
        return result;
    }

    ComRef<IDirect3DDevice9> device;
    ComRef<IDirect3DVertexBuffer9> vertices;
    ComRef<IDirect3DIndexBuffer9> indices;
};

TEST_F(DrawValidation, CountsSuccessfulDraws) {
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 2, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_POINTLIST, 5, 1), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    const DrawStats counted = stats();
    EXPECT_EQ(counted.drawCalls, 4u);
    EXPECT_EQ(counted.indexedDrawCalls, 1u);
    EXPECT_EQ(counted.primitives, 7u);
    EXPECT_EQ(counted.primitivesByType[D3DPT_TRIANGLELIST], 4u);
    EXPECT_EQ(counted.primitivesByType[D3DPT_POINTLIST], 1u);
    EXPECT_EQ(counted.vertices, 6u + 4u + 1u + 6u);
}

struct DrawCase {
    const char* name;
    D3DPRIMITIVETYPE type;
    UINT start;
    UINT count;
};

const DrawCase kOutOfRange[] = {
    {"PastTheEnd", D3DPT_TRIANGLELIST, 1, 2},
    {"StripPastTheEnd", D3DPT_TRIANGLESTRIP, 3, 2},
    {"NoPrimitives", D3DPT_TRIANGLELIST, 0, 0},
    {"UnknownType", static_cast<D3DPRIMITIVETYPE>(7), 0, 1},
    {"HugeCount", D3DPT_LINELIST, 0, 0x80000000},
};

class DrawOutOfRange : public DrawValidation, public testing::WithParamInterface<DrawCase> {};

TEST_P(DrawOutOfRange, IsRefusedAndNotCounted) {
    const DrawCase& c = GetParam();
    EXPECT_EQ(device->DrawPrimitive(c.type, c.start, c.count), D3DERR_INVALIDCALL);
    EXPECT_EQ(stats().drawCalls, 0u);
}

INSTANTIATE_TEST_SUITE_P(Gfx, DrawOutOfRange, testing::ValuesIn(kOutOfRange),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(DrawValidation, NeedsSceneFormatStreamAndUnlockedBuffers) {
    ASSERT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->BeginScene(), D3D_OK);

    void* data = nullptr;
    ASSERT_EQ(vertices->Lock(0, 0, &data, 0), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(vertices->Unlock(), D3D_OK);
    ASSERT_EQ(indices->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    ASSERT_EQ(indices->Unlock(), D3D_OK);

    // A stride shorter than the format's vertex.
    ASSERT_EQ(device->SetStreamSource(0, vertices.get(), 0, 12), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    // The stream offset counts.
    ASSERT_EQ(device->SetStreamSource(0, vertices.get(), 16, sizeof(PositionColor)), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 3, 1), D3DERR_INVALIDCALL);

    ASSERT_EQ(device->SetStreamSource(0, nullptr, 0, 0), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetStreamSource(0, vertices.get(), 0, sizeof(PositionColor)), D3D_OK);
    ASSERT_EQ(device->SetFVF(0), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    // A format without a position cannot be drawn.
    ASSERT_EQ(device->SetFVF(D3DFVF_DIFFUSE), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(stats().drawCalls, 1u);
}

TEST_F(DrawValidation, IndicesMustStayInTheDeclaredRange) {
    // Indices 0..3: a range starting at 1 or holding fewer than 4 vertices is a lie.
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 1, 3, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 2), D3DERR_INVALIDCALL);
    // Base vertex 2 fetches vertices 2..5: the last one in the buffer.
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    // Reading past the index buffer.
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_POINTLIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    // An index rewritten out of the buffer's vertices is caught after the change.
    writeIndices({0, 1, 2, 2, 1, 9});
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 10, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(device->SetIndices(nullptr), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
}

TEST_F(DrawValidation, DeclarationsAtAnyOffsetsAndStreams) {
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 4, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {1, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    ComRef<IDirect3DVertexDeclaration9> declaration;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, declaration.put()), D3D_OK);
    UINT count = 0;
    ASSERT_EQ(declaration->GetDeclaration(nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(device->SetVertexDeclaration(declaration.get()), D3D_OK);
    DWORD fvf = 1;
    ASSERT_EQ(device->GetFVF(&fvf), D3D_OK);
    EXPECT_EQ(fvf, 0u);
    // Stream 1 is not bound yet.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    ComRef<IDirect3DVertexBuffer9> colors;
    ASSERT_EQ(device->CreateVertexBuffer(12, 0, 0, D3DPOOL_MANAGED, colors.put(), nullptr), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(1, colors.get(), 0, 4), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    // Three colours only: a second triangle would read past them.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
}

struct DeclarationCase {
    const char* name;
    // A position element followed by the element under test and the end marker.
    D3DVERTEXELEMENT9 element;
};

const DeclarationCase kBadDeclarations[] = {
    {"StreamSixteen", {16, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_NORMAL, 0}},
    {"UnusedType", {0, 12, D3DDECLTYPE_UNUSED, 0, D3DDECLUSAGE_NORMAL, 0}},
    {"UsageIndexSixteen", {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 16}},
    {"UnalignedOffset", {0, 14, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0}},
    {"UnknownUsage", {0, 12, D3DDECLTYPE_FLOAT3, 0, 14, 0}},
    {"UnknownType", {0, 12, 18, 0, D3DDECLUSAGE_NORMAL, 0}},
    {"PositionTwice", {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}},
    {"ScreenAndModelPosition", {0, 12, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0}},
};

class BadDeclaration : public DrawValidation,
                       public testing::WithParamInterface<DeclarationCase> {};

TEST_P(BadDeclaration, IsRefused) {
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        GetParam().element,
        D3DDECL_END(),
    };
    IDirect3DVertexDeclaration9* declaration = nullptr;
    EXPECT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3DERR_INVALIDCALL);
    EXPECT_EQ(declaration, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Gfx, BadDeclaration, testing::ValuesIn(kBadDeclarations),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(DrawValidation, UserPointerDrawsUnsetStreamZeroAndIndices) {
    const PositionColor triangle[] = {
        {0, 0, 0, 0xFFFFFFFF}, {1, 0, 0, 0xFFFFFFFF}, {0, 1, 0, 0xFFFFFFFF}};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(PositionColor)),
              D3D_OK);
    ComRef<IDirect3DVertexBuffer9> stream;
    UINT offset = 1;
    UINT stride = 1;
    ASSERT_EQ(device->GetStreamSource(0, stream.put(), &offset, &stride), D3D_OK);
    EXPECT_FALSE(stream);
    ComRef<IDirect3DIndexBuffer9> bound;
    ASSERT_EQ(device->GetIndices(bound.put()), D3D_OK);
    EXPECT_FALSE(bound);

    const std::uint32_t indices32[] = {2, 1, 0};
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, indices32, D3DFMT_INDEX32,
                                             triangle, sizeof(PositionColor)),
              D3D_OK);
    const std::uint16_t outside[] = {0, 1, 5};
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, outside, D3DFMT_INDEX16,
                                             triangle, sizeof(PositionColor)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, sizeof(PositionColor)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(stats().drawCalls, 2u);
}

} // namespace
} // namespace halv::gfx
