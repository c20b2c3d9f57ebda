// Text .x output. Every FLOAT is written with a decimal point (a bare integer would be read as
// its integer bit pattern) and never with an exponent; DWORD members are plain integers.
#include "tools/assetgen/xfile_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace halv::assetgen {
namespace {

// Declared before use: a template may only name templates that come earlier in the file.
constexpr const char* kTemplates = R"(template Vector {
 <3D82AB5E-62DA-11CF-AB39-0020AF71E433>
 FLOAT x;
 FLOAT y;
 FLOAT z;
}

template MeshFace {
 <3D82AB5F-62DA-11CF-AB39-0020AF71E433>
 DWORD nFaceVertexIndices;
 array DWORD faceVertexIndices[nFaceVertexIndices];
}

template Mesh {
 <3D82AB44-62DA-11CF-AB39-0020AF71E433>
 DWORD nVertices;
 array Vector vertices[nVertices];
 DWORD nFaces;
 array MeshFace faces[nFaces];
 [...]
}

template MeshNormals {
 <F6F23F43-7686-11CF-8F52-0040333594A3>
 DWORD nNormals;
 array Vector normals[nNormals];
 DWORD nFaceNormals;
 array MeshFace faceNormals[nFaceNormals];
}

template Coords2d {
 <F6F23F44-7686-11CF-8F52-0040333594A3>
 FLOAT u;
 FLOAT v;
}

template MeshTextureCoords {
 <F6F23F40-7686-11CF-8F52-0040333594A3>
 DWORD nTextureCoords;
 array Coords2d textureCoords[nTextureCoords];
}

template ColorRGBA {
 <35FF44E0-6C7C-11CF-8F52-0040333594A3>
 FLOAT red;
 FLOAT green;
 FLOAT blue;
 FLOAT alpha;
}

template IndexedColor {
 <1630B820-7842-11CF-8F52-0040333594A3>
 DWORD index;
 ColorRGBA indexColor;
}

template MeshVertexColors {
 <1630B821-7842-11CF-8F52-0040333594A3>
 DWORD nVertexColors;
 array IndexedColor vertexColors[nVertexColors];
}

template ColorRGB {
 <D3E16E81-7835-11CF-8F52-0040333594A3>
 FLOAT red;
 FLOAT green;
 FLOAT blue;
}

template Material {
 <3D82AB4D-62DA-11CF-AB39-0020AF71E433>
 ColorRGBA faceColor;
 FLOAT power;
 ColorRGB specularColor;
 ColorRGB emissiveColor;
 [...]
}

template TextureFilename {
 <A42790E1-7810-11CF-8F52-0040333594A3>
 STRING filename;
}

template MeshMaterialList {
 <F6F23F42-7686-11CF-8F52-0040333594A3>
 DWORD nMaterials;
 DWORD nFaceIndexes;
 array DWORD faceIndexes[nFaceIndexes];
 [Material <3D82AB4D-62DA-11CF-AB39-0020AF71E433>]
}

template Matrix4x4 {
 <F6F23F45-7686-11CF-8F52-0040333594A3>
 array FLOAT matrix[16];
}

template FrameTransformMatrix {
 <F6F23F41-7686-11CF-8F52-0040333594A3>
 Matrix4x4 frameMatrix;
}

template Frame {
 <3D82AB46-62DA-11CF-AB39-0020AF71E433>
 [...]
}

template VertexDuplicationIndices {
 <B8D65549-D7C9-4995-89CF-53A9A8B031E3>
 DWORD nIndices;
 DWORD nOriginalVertices;
 array DWORD indices[nIndices];
}

template VertexElement {
 <F752461C-1E23-48F6-B9F8-8350850F336F>
 DWORD Type;
 DWORD Method;
 DWORD Usage;
 DWORD UsageIndex;
}

template DeclData {
 <BF22E553-292C-4781-9FEA-62BD554BDD93>
 DWORD nElements;
 array VertexElement Elements[nElements];
 DWORD nDWords;
 array DWORD data[nDWords];
}
)";

// Vertex element type and usages of the tangent data.
constexpr int kDeclTypeFloat3 = 2;
constexpr int kDeclMethodDefault = 0;
constexpr int kDeclUsageTangent = 6;
constexpr int kDeclUsageBinormal = 7;

class Text {
public:
    void line(int indent, const std::string& text) {
        mOut.append(static_cast<std::size_t>(indent), ' ');
        mOut += text;
        mOut += '\n';
    }
    std::string take() {
        std::string out = std::move(mOut);
        mOut.clear();
        return out;
    }

private:
    std::string mOut;
};

std::string number(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f", static_cast<double>(static_cast<float>(value)));
    return buffer;
}

std::string integer(std::uint64_t value) {
    return std::to_string(value);
}

std::uint32_t floatBits(double value) {
    const float f = static_cast<float>(value);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Array items are separated by "," and the array ends with ";".
const char* separator(std::size_t index, std::size_t count) {
    return index + 1 < count ? "," : ";";
}

void writeFrameMatrix(Text& text, int indent, const Mat4& matrix) {
    text.line(indent, "FrameTransformMatrix {");
    std::string values;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            values += number(matrix.m[r][c]);
            values += (r == 3 && c == 3) ? ";;" : ",";
        }
    }
    text.line(indent + 1, values);
    text.line(indent, "}");
}

void writeFaces(Text& text, int indent, const StationModel& model) {
    const std::size_t count = model.triangles.size();
    text.line(indent, integer(count) + ";");
    for (std::size_t i = 0; i < count; ++i) {
        const auto& c = model.triangles[i].corners;
        text.line(indent, "3;" + integer(c[0]) + "," + integer(c[1]) + "," + integer(c[2]) + ";" +
                              separator(i, count));
    }
}

void writeVectors(Text& text, int indent, const std::vector<Vec3>& vectors) {
    const std::size_t count = vectors.size();
    text.line(indent, integer(count) + ";");
    for (std::size_t i = 0; i < count; ++i) {
        const Vec3& v = vectors[i];
        text.line(indent,
                  number(v.x) + ";" + number(v.y) + ";" + number(v.z) + ";" + separator(i, count));
    }
}

void writeMaterial(Text& text, int indent, const ModelMaterial& material) {
    text.line(indent, "Material {");
    const auto& d = material.diffuse;
    text.line(indent + 1,
              number(d[0]) + ";" + number(d[1]) + ";" + number(d[2]) + ";" + number(d[3]) + ";;");
    text.line(indent + 1, number(material.power) + ";");
    const auto& s = material.specular;
    text.line(indent + 1, number(s[0]) + ";" + number(s[1]) + ";" + number(s[2]) + ";;");
    const auto& e = material.emissive;
    text.line(indent + 1, number(e[0]) + ";" + number(e[1]) + ";" + number(e[2]) + ";;");
    text.line(indent + 1, "TextureFilename {");
    text.line(indent + 2, "\"" + material.textureName + "\";");
    text.line(indent + 1, "}");
    text.line(indent, "}");
}

void writeMesh(Text& text, int indent, const StationModel& model) {
    const std::size_t vertexCount = model.vertices.size();
    const int in = indent + 1;
    text.line(indent, "Mesh " + model.meshName + " {");

    std::vector<Vec3> positions;
    std::vector<Vec3> normals;
    for (const BuildVertex& v : model.vertices) {
        positions.push_back(v.position);
        normals.push_back(v.normal);
    }
    writeVectors(text, in, positions);
    writeFaces(text, in, model);

    // One normal per vertex, so the normal faces are the faces themselves.
    text.line(in, "MeshNormals {");
    writeVectors(text, in + 1, normals);
    writeFaces(text, in + 1, model);
    text.line(in, "}");

    text.line(in, "MeshTextureCoords {");
    text.line(in + 1, integer(vertexCount) + ";");
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const BuildVertex& v = model.vertices[i];
        text.line(in + 1, number(v.u) + ";" + number(v.v) + ";" + separator(i, vertexCount));
    }
    text.line(in, "}");

    text.line(in, "MeshVertexColors {");
    text.line(in + 1, integer(vertexCount) + ";");
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const auto& c = model.vertices[i].colour;
        text.line(in + 1, integer(i) + ";" + number(c[0]) + ";" + number(c[1]) + ";" +
                              number(c[2]) + ";" + number(c[3]) + ";;" + separator(i, vertexCount));
    }
    text.line(in, "}");

    text.line(in, "MeshMaterialList {");
    text.line(in + 1, integer(model.materials.size()) + ";");
    const std::size_t faceCount = model.triangles.size();
    text.line(in + 1, integer(faceCount) + ";");
    for (std::size_t i = 0; i < faceCount; ++i) {
        text.line(in + 1, integer(model.triangles[i].material) + separator(i, faceCount));
    }
    for (const ModelMaterial& material : model.materials) {
        writeMaterial(text, in + 1, material);
    }
    text.line(in, "}");

    text.line(in, "VertexDuplicationIndices {");
    text.line(in + 1, integer(vertexCount) + ";");
    text.line(in + 1, integer(model.originalVertexCount) + ";");
    for (std::size_t i = 0; i < vertexCount; ++i) {
        text.line(in + 1, integer(model.vertices[i].representative) + separator(i, vertexCount));
    }
    text.line(in, "}");

    text.line(in, "DeclData {");
    text.line(in + 1, "2;");
    text.line(in + 1, integer(kDeclTypeFloat3) + ";" + integer(kDeclMethodDefault) + ";" +
                          integer(kDeclUsageTangent) + ";0;,");
    text.line(in + 1, integer(kDeclTypeFloat3) + ";" + integer(kDeclMethodDefault) + ";" +
                          integer(kDeclUsageBinormal) + ";0;;");
    text.line(in + 1, integer(vertexCount * 6) + ";");
    // Each element's floats as their 32-bit patterns, tangent then binormal, vertex by vertex.
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const BuildVertex& v = model.vertices[i];
        const Vec3 values[2] = {v.tangent, v.binormal};
        std::string row;
        for (int e = 0; e < 2; ++e) {
            for (double component : {values[e].x, values[e].y, values[e].z}) {
                row += integer(floatBits(component));
                row += ',';
            }
        }
        if (i + 1 == vertexCount) {
            row.back() = ';';
        }
        text.line(in + 1, row);
    }
    text.line(in, "}");
    text.line(indent, "}");
}

void writeFrames(Text& text, const StationModel& model, std::size_t depth) {
    const ModelFrame& frame = model.frames[depth];
    const int indent = static_cast<int>(depth);
    text.line(indent, "Frame " + frame.name + " {");
    writeFrameMatrix(text, indent + 1, frame.matrix);
    if (depth + 1 < model.frames.size()) {
        writeFrames(text, model, depth + 1);
    } else {
        writeMesh(text, indent + 1, model);
    }
    text.line(indent, "}");
}

} // namespace

std::string writeXFile(const StationModel& model) {
    Text text;
    text.line(0, "xof 0303txt 0032");
    text.line(0, "// The Halvorine station. Written by tools/assetgen; regenerate, do not edit.");
    text.line(0, "");
    std::string out = text.take();
    out += kTemplates;
    out += '\n';
    writeFrames(text, model, 0);
    out += text.take();
    return out;
}

} // namespace halv::assetgen
