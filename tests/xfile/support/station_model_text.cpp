#include "tests/xfile/support/station_model_text.h"

#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace halv::xfile::fixtures {
namespace {

constexpr std::string_view kTemplates = R"(xof 0303txt 0032
template Vector {
 <3d82ab5e-62da-11cf-ab39-0020af71e433>
 FLOAT x;
 FLOAT y;
 FLOAT z;
}

template MeshFace {
 <3d82ab5f-62da-11cf-ab39-0020af71e433>
 DWORD nFaceVertexIndices;
 array DWORD faceVertexIndices[nFaceVertexIndices];
}

template Mesh {
 <3d82ab44-62da-11cf-ab39-0020af71e433>
 DWORD nVertices;
 array Vector vertices[nVertices];
 DWORD nFaces;
 array MeshFace faces[nFaces];
 [...]
}

template MeshNormals {
 <f6f23f43-7686-11cf-8f52-0040333594a3>
 DWORD nNormals;
 array Vector normals[nNormals];
 DWORD nFaceNormals;
 array MeshFace faceNormals[nFaceNormals];
}

template Coords2d {
 <f6f23f44-7686-11cf-8f52-0040333594a3>
 FLOAT u;
 FLOAT v;
}

template MeshTextureCoords {
 <f6f23f40-7686-11cf-8f52-0040333594a3>
 DWORD nTextureCoords;
 array Coords2d textureCoords[nTextureCoords];
}

template ColorRGBA {
 <35ff44e0-6c7c-11cf-8f52-0040333594a3>
 FLOAT red;
 FLOAT green;
 FLOAT blue;
 FLOAT alpha;
}

template IndexedColor {
 <1630b820-7842-11cf-8f52-0040333594a3>
 DWORD index;
 ColorRGBA indexColor;
}

template MeshVertexColors {
 <1630b821-7842-11cf-8f52-0040333594a3>
 DWORD nVertexColors;
 array IndexedColor vertexColors[nVertexColors];
}

template ColorRGB {
 <d3e16e81-7835-11cf-8f52-0040333594a3>
 FLOAT red;
 FLOAT green;
 FLOAT blue;
}

template Material {
 <3d82ab4d-62da-11cf-ab39-0020af71e433>
 ColorRGBA faceColor;
 FLOAT power;
 ColorRGB specularColor;
 ColorRGB emissiveColor;
 [...]
}

template MeshMaterialList {
 <f6f23f42-7686-11cf-8f52-0040333594a3>
 DWORD nMaterials;
 DWORD nFaceIndexes;
 array DWORD faceIndexes[nFaceIndexes];
 [Material <3d82ab4d-62da-11cf-ab39-0020af71e433>]
}

template TextureFilename {
 <a42790e1-7810-11cf-8f52-0040333594a3>
 STRING filename;
}

template Matrix4x4 {
 <f6f23f45-7686-11cf-8f52-0040333594a3>
 array FLOAT matrix[16];
}

template FrameTransformMatrix {
 <f6f23f41-7686-11cf-8f52-0040333594a3>
 Matrix4x4 frameMatrix;
}

template Frame {
 <3d82ab46-62da-11cf-ab39-0020af71e433>
 [...]
}

template VertexDuplicationIndices {
 <b8d65549-d7c9-4995-89cf-53a9a8b031e3>
 DWORD nIndices;
 DWORD nOriginalVertices;
 array DWORD indices[nIndices];
}

template VertexElement {
 <f752461c-1e23-48f6-b9f8-8350850f336f>
 DWORD Type;
 DWORD Method;
 DWORD Usage;
 DWORD UsageIndex;
}

template DeclData {
 <bf22e553-292c-4781-9fea-62bd554bdd93>
 DWORD nElements;
 array VertexElement Elements[nElements];
 DWORD nDWords;
 array DWORD data[nDWords];
}

)";

struct Vertex {
    float position[3];
    float normal[3];
    float uv[2];
    float colour[4];
    float tangent[3];
    float binormal[3];
};

class Writer {
public:
    void line(int depth, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        mText.append(static_cast<std::size_t>(depth) * 2, ' ');
        char buffer[256];
        va_list arguments;
        va_start(arguments, format);
        const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
        va_end(arguments);
        mText.append(buffer, static_cast<std::size_t>(length));
        mText.push_back('\n');
    }
    void raw(std::string_view text) { mText.append(text); }
    std::string take() { return std::move(mText); }

private:
    std::string mText;
};

// Separator after element `index` of `count` in a list of records: ",", or ";" for the last.
const char* after(std::size_t index, std::size_t count) {
    return index + 1 == count ? ";" : ",";
}

void writeMatrix(Writer& out, int depth, const float (&m)[16]) {
    out.line(depth, "FrameTransformMatrix {");
    for (int row = 0; row < 4; ++row) {
        out.line(depth + 1, "%f,%f,%f,%f%s", m[row * 4], m[row * 4 + 1], m[row * 4 + 2],
                 m[row * 4 + 3], row == 3 ? ";;" : ",");
    }
    out.line(depth, "}");
}

} // namespace

std::string makeStationModelText(const StationModelShape& shape, StationModelCounts* counts) {
    const int rings = shape.rings;
    const int segments = shape.segments;
    const float pi = 3.14159265358979f;
    const float radius = 250.0f;

    // The grid of (rings + 1) x (segments + 1) vertices; the last column repeats the first.
    std::vector<Vertex> vertices;
    std::vector<std::uint32_t> duplicateOf;
    for (int ring = 0; ring <= rings; ++ring) {
        const float theta = pi * static_cast<float>(ring) / static_cast<float>(rings);
        for (int segment = 0; segment <= segments; ++segment) {
            const float phi = 2 * pi * static_cast<float>(segment) / static_cast<float>(segments);
            Vertex v{};
            const float n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta),
                                std::sin(theta) * std::sin(phi)};
            for (int i = 0; i < 3; ++i) {
                v.normal[i] = n[i];
                v.position[i] = n[i] * radius;
            }
            v.uv[0] = static_cast<float>(segment) / static_cast<float>(segments);
            v.uv[1] = static_cast<float>(ring) / static_cast<float>(rings);
            const float shade = 0.55f + 0.45f * std::fabs(n[1]);
            v.colour[0] = shade;
            v.colour[1] = shade * 0.96f;
            v.colour[2] = shade * 0.9f;
            v.colour[3] = 1.0f;
            v.tangent[0] = -std::sin(phi);
            v.tangent[2] = std::cos(phi);
            v.binormal[0] = n[1] * v.tangent[2];
            v.binormal[1] = n[2] * v.tangent[0] - n[0] * v.tangent[2];
            v.binormal[2] = -n[1] * v.tangent[0];
            vertices.push_back(v);
            const std::size_t index = vertices.size() - 1;
            duplicateOf.push_back(static_cast<std::uint32_t>(
                segment == segments ? index - static_cast<std::size_t>(segments) : index));
        }
    }
    const auto at = [segments](int ring, int segment) {
        return static_cast<std::uint32_t>(ring * (segments + 1) + segment);
    };

    // Two triangles per grid cell, one at the poles, none inside the dish.
    struct Triangle {
        std::uint32_t corner[3];
        std::uint32_t material;
    };
    std::vector<Triangle> triangles;
    const int dishFirstRing = rings / 2 - shape.dishRings / 2;
    for (int ring = 0; ring < rings; ++ring) {
        for (int segment = 0; segment < segments; ++segment) {
            const bool inDish = ring >= dishFirstRing && ring < dishFirstRing + shape.dishRings &&
                                segment < shape.dishSegments;
            if (inDish) {
                continue;
            }
            const std::uint32_t material = ring == rings / 4 ? 1 : 0;
            const std::uint32_t a = at(ring, segment);
            const std::uint32_t b = at(ring, segment + 1);
            const std::uint32_t c = at(ring + 1, segment);
            const std::uint32_t d = at(ring + 1, segment + 1);
            if (ring != 0) {
                triangles.push_back({{a, b, c}, material});
            }
            if (ring != rings - 1) {
                triangles.push_back({{b, d, c}, material});
            }
        }
    }

    Writer out;
    out.raw(kTemplates);
    const char* materials[3][2] = {{"Hull", "150"}, {"Panels", "151"}, {"Glow", ""}};
    out.line(0, "Frame DXCC_ROOT {");
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float s = 17.043758f;
    const float root[16] = {s, 0, 0, 0, 0, 0, s, 0, 0, -s, 0, 0, 0, 0, 0, 1};
    const float body[16] = {0.00001f, 0, 0, 0, 0, 0.00001f, 0, 0, 0, 0, 0.00001f, 0, 0, 0, 0, 1};
    writeMatrix(out, 1, identity);
    out.line(1, "Frame Fbx_Root {");
    writeMatrix(out, 2, root);
    out.line(2, "Frame Halvorine_Body {");
    writeMatrix(out, 3, body);
    out.line(3, "Frame polySurfaceShape1 {");
    writeMatrix(out, 4, identity);
    const int d = 4;
    out.line(d, "Mesh polySurfaceShape1Mesh {");
    const std::size_t vertexCount = vertices.size();
    const std::size_t faceCount = triangles.size();
    out.line(d + 1, "%zu;", vertexCount);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const Vertex& v = vertices[i];
        out.line(d + 1, "%f;%f;%f;%s", v.position[0], v.position[1], v.position[2],
                 after(i, vertexCount));
    }
    out.line(d + 1, "%zu;", faceCount);
    for (std::size_t i = 0; i < faceCount; ++i) {
        const Triangle& t = triangles[i];
        out.line(d + 1, "3;%u,%u,%u;%s", t.corner[0], t.corner[1], t.corner[2],
                 after(i, faceCount));
    }

    out.line(d + 1, "MeshNormals {");
    out.line(d + 2, "%zu;", vertexCount);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const Vertex& v = vertices[i];
        out.line(d + 2, "%f;%f;%f;%s", v.normal[0], v.normal[1], v.normal[2],
                 after(i, vertexCount));
    }
    out.line(d + 2, "%zu;", faceCount);
    for (std::size_t i = 0; i < faceCount; ++i) {
        const Triangle& t = triangles[i];
        out.line(d + 2, "3;%u,%u,%u;%s", t.corner[0], t.corner[1], t.corner[2],
                 after(i, faceCount));
    }
    out.line(d + 1, "}");

    out.line(d + 1, "MeshTextureCoords {");
    out.line(d + 2, "%zu;", vertexCount);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        out.line(d + 2, "%f;%f;%s", vertices[i].uv[0], vertices[i].uv[1], after(i, vertexCount));
    }
    out.line(d + 1, "}");

    out.line(d + 1, "MeshVertexColors {");
    out.line(d + 2, "%zu;", vertexCount);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const Vertex& v = vertices[i];
        out.line(d + 2, "%zu;%f;%f;%f;%f;;%s", i, v.colour[0], v.colour[1], v.colour[2],
                 v.colour[3], after(i, vertexCount));
    }
    out.line(d + 1, "}");

    std::size_t originals = 0;
    for (std::size_t i = 0; i < vertexCount; ++i) {
        originals += duplicateOf[i] == i ? 1 : 0;
    }
    out.line(d + 1, "VertexDuplicationIndices {");
    out.line(d + 2, "%zu;", vertexCount);
    out.line(d + 2, "%zu;", originals);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        out.line(d + 2, "%u%s", duplicateOf[i], after(i, vertexCount));
    }
    out.line(d + 1, "}");

    // Two FLOAT3 elements (type 2), tangent (usage 6) and binormal (usage 7), stored as the
    // bit patterns of their floats.
    out.line(d + 1, "DeclData {");
    out.line(d + 2, "2;");
    out.line(d + 2, "2;0;6;0;,");
    out.line(d + 2, "2;0;7;0;;");
    const std::size_t dwords = vertexCount * 6;
    out.line(d + 2, "%zu;", dwords);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const Vertex& v = vertices[i];
        const float values[6] = {v.tangent[0],  v.tangent[1],  v.tangent[2],
                                 v.binormal[0], v.binormal[1], v.binormal[2]};
        for (int k = 0; k < 6; ++k) {
            out.line(d + 2, "%u%s", std::bit_cast<std::uint32_t>(values[k]),
                     after(i * 6 + static_cast<std::size_t>(k), dwords));
        }
    }
    out.line(d + 1, "}");

    std::size_t material1 = 0;
    out.line(d + 1, "MeshMaterialList {");
    out.line(d + 2, "3;");
    out.line(d + 2, "%zu;", faceCount);
    for (std::size_t i = 0; i < faceCount; ++i) {
        material1 += triangles[i].material == 1 ? 1 : 0;
        out.line(d + 2, "%u%s", triangles[i].material, after(i, faceCount));
    }
    for (const auto& material : materials) {
        out.line(d + 2, "Material %s {", material[0]);
        out.line(d + 3, "0.800000;0.800000;0.800000;1.000000;;");
        out.line(d + 3, "12.000000;");
        out.line(d + 3, "0.300000;0.300000;0.300000;;");
        out.line(d + 3, "0.000000;0.000000;0.000000;;");
        out.line(d + 3, "TextureFilename {");
        out.line(d + 4, "\"%s\";", material[1]);
        out.line(d + 3, "}");
        out.line(d + 2, "}");
    }
    out.line(d + 1, "}");
    out.line(d, "}");
    out.line(3, "}");
    out.line(2, "}");
    out.line(1, "}");
    out.line(0, "}");

    if (counts != nullptr) {
        counts->vertices = vertexCount;
        counts->triangles = faceCount;
        counts->originalVertices = originals;
        counts->material1Faces = material1;
    }
    return out.take();
}

} // namespace halv::xfile::fixtures
