#include "tests/xfile/mesh_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace halv::xfile::fixtures {

using base::ComRef;

ComRef<IDirect3DDevice9> makeNullDevice(bool logCalls) {
    gfx::DeviceSetup setup;
    setup.logCalls = logCalls;
    ComRef<IDirect3DDevice9> device;
    EXPECT_EQ(gfx::createNullDevice(setup, device.put()), D3D_OK);
    return device;
}

LoadResult loadText(IDirect3DDevice9* device, std::string_view text, DWORD options) {
    LoadResult loaded;
    loaded.result = D3DXLoadMeshFromXInMemory(text.data(), static_cast<DWORD>(text.size()), options,
                                              device, loaded.adjacency.put(),
                                              loaded.materials.put(), loaded.effectInstances.put(),
                                              &loaded.materialCount, loaded.mesh.put());
    return loaded;
}

std::vector<DWORD> indicesOf(ID3DXMesh* mesh) {
    std::vector<DWORD> indices(std::size_t{mesh->GetNumFaces()} * 3);
    void* data = nullptr;
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data))) {
        ADD_FAILURE() << "index buffer lock";
        return {};
    }
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (wide) {
            std::memcpy(&indices[i], static_cast<const char*>(data) + i * 4, 4);
        } else {
            WORD value;
            std::memcpy(&value, static_cast<const char*>(data) + i * 2, 2);
            indices[i] = value;
        }
    }
    mesh->UnlockIndexBuffer();
    return indices;
}

std::vector<DWORD> attributesOf(ID3DXMesh* mesh) {
    DWORD* data = nullptr;
    if (FAILED(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &data))) {
        ADD_FAILURE() << "attribute lock";
        return {};
    }
    std::vector<DWORD> attributes(data, data + mesh->GetNumFaces());
    mesh->UnlockAttributeBuffer();
    return attributes;
}

std::vector<D3DXATTRIBUTERANGE> attributeTableOf(ID3DXMesh* mesh) {
    DWORD count = 0;
    mesh->GetAttributeTable(nullptr, &count);
    std::vector<D3DXATTRIBUTERANGE> table(count);
    mesh->GetAttributeTable(table.data(), &count);
    return table;
}

std::vector<D3DVERTEXELEMENT9> declarationOf(ID3DXMesh* mesh) {
    D3DVERTEXELEMENT9 elements[MAX_FVF_DECL_SIZE];
    if (FAILED(mesh->GetDeclaration(elements))) {
        return {};
    }
    return {elements, elements + D3DXGetDeclLength(elements)};
}

std::vector<DWORD> bufferWords(ID3DXBuffer* buffer) {
    const auto* words = static_cast<const DWORD*>(buffer->GetBufferPointer());
    return {words, words + buffer->GetBufferSize() / 4};
}

std::vector<std::array<float, 4>> elementValues(ID3DXMesh* mesh, BYTE usage, BYTE usageIndex) {
    const std::vector<D3DVERTEXELEMENT9> declaration = declarationOf(mesh);
    const D3DVERTEXELEMENT9* element = nullptr;
    for (const D3DVERTEXELEMENT9& candidate : declaration) {
        if (candidate.Usage == usage && candidate.UsageIndex == usageIndex) {
            element = &candidate;
        }
    }
    if (element == nullptr) {
        return {};
    }
    void* data = nullptr;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &data))) {
        ADD_FAILURE() << "vertex lock";
        return {};
    }
    std::vector<std::array<float, 4>> values(mesh->GetNumVertices(), {0, 0, 0, 1});
    for (DWORD v = 0; v < mesh->GetNumVertices(); ++v) {
        const char* vertex =
            static_cast<const char*>(data) + std::size_t{v} * mesh->GetNumBytesPerVertex();
        const char* at = vertex + element->Offset;
        switch (element->Type) {
        case D3DDECLTYPE_FLOAT1:
        case D3DDECLTYPE_FLOAT2:
        case D3DDECLTYPE_FLOAT3:
        case D3DDECLTYPE_FLOAT4:
            std::memcpy(values[v].data(), at, 4 * (element->Type - D3DDECLTYPE_FLOAT1 + 1));
            break;
        case D3DDECLTYPE_D3DCOLOR: {
            DWORD argb;
            std::memcpy(&argb, at, 4);
            values[v] = {static_cast<float>((argb >> 16) & 0xFF),
                         static_cast<float>((argb >> 8) & 0xFF), static_cast<float>(argb & 0xFF),
                         static_cast<float>(argb >> 24)};
            break;
        }
        default:
            ADD_FAILURE() << "element type " << int{element->Type} << " not read by the tests";
        }
    }
    mesh->UnlockVertexBuffer();
    return values;
}

std::vector<std::string> drawsOf(ID3DXMesh* mesh, IDirect3DDevice9* device, DWORD attribId) {
    gfx::setCallLogging(device, true);
    gfx::clearCallLog(device);
    device->BeginScene();
    EXPECT_EQ(mesh->DrawSubset(attribId), D3D_OK);
    device->EndScene();
    std::vector<std::string> draws;
    for (const gfx::CallRecord& call : gfx::callLog(device)) {
        if (call.method == "DrawIndexedPrimitive") {
            draws.push_back(call.text());
        }
    }
    return draws;
}

std::string floatText(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    std::string result = text;
    if (result.find_first_of("einEIN") != std::string::npos) {
        std::snprintf(text, sizeof text, "%.9f", value);
        result = text;
    }
    // Without a full stop the reader takes the number as an integer.
    if (result.find('.') == std::string::npos) {
        result += ".0";
    }
    return result;
}

std::string meshText(const std::vector<std::array<float, 3>>& vertices,
                     const std::vector<std::vector<DWORD>>& faces, const std::string& children) {
    std::string text = "Mesh {\n" + std::to_string(vertices.size()) + ";\n";
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        text += floatText(vertices[i][0]) + ";" + floatText(vertices[i][1]) + ";" +
                floatText(vertices[i][2]) + ";" + (i + 1 < vertices.size() ? ",\n" : ";\n");
    }
    text += std::to_string(faces.size()) + ";\n";
    for (std::size_t f = 0; f < faces.size(); ++f) {
        text += std::to_string(faces[f].size()) + ";";
        for (std::size_t k = 0; k < faces[f].size(); ++k) {
            text += std::to_string(faces[f][k]) + (k + 1 < faces[f].size() ? "," : ";");
        }
        text += f + 1 < faces.size() ? ",\n" : ";\n";
    }
    return text + children + "}\n";
}

} // namespace halv::xfile::fixtures
