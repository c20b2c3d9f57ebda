// Text-level checks of the written model: the header, the template declarations the file relies
// on, and number forms the reader treats differently (a FLOAT written without a decimal point
// would be read as an integer bit pattern).
#include "tools/assetgen/xfile_writer.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace halv::assetgen {
namespace {

class XFileWriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sText = new std::string(writeXFile(buildStationModel())); }
    static void TearDownTestSuite() { delete sText; }

    // The lines that follow the first line equal to `marker` (after leading blanks).
    static std::vector<std::string> linesAfter(const std::string& marker, std::size_t count) {
        std::istringstream in(*sText);
        std::string line;
        std::vector<std::string> out;
        bool found = false;
        while (std::getline(in, line) && out.size() < count) {
            const std::string trimmed = line.substr(line.find_first_not_of(' ') == std::string::npos
                                                        ? line.size()
                                                        : line.find_first_not_of(' '));
            if (found) {
                out.push_back(trimmed);
            } else if (trimmed == marker) {
                found = true;
            }
        }
        return out;
    }

    static std::string* sText;
};

std::string* XFileWriterTest::sText = nullptr;

TEST_F(XFileWriterTest, StartsWithTheTextHeader) {
    EXPECT_EQ(sText->substr(0, 17), "xof 0303txt 0032\n");
}

TEST_F(XFileWriterTest, DeclaresEachTemplateItUsesWithItsPublishedGuid) {
    const struct {
        const char* name;
        const char* guid;
    } templates[] = {
        {"Vector", "3D82AB5E-62DA-11CF-AB39-0020AF71E433"},
        {"MeshFace", "3D82AB5F-62DA-11CF-AB39-0020AF71E433"},
        {"Mesh", "3D82AB44-62DA-11CF-AB39-0020AF71E433"},
        {"MeshNormals", "F6F23F43-7686-11CF-8F52-0040333594A3"},
        {"Coords2d", "F6F23F44-7686-11CF-8F52-0040333594A3"},
        {"MeshTextureCoords", "F6F23F40-7686-11CF-8F52-0040333594A3"},
        {"ColorRGBA", "35FF44E0-6C7C-11CF-8F52-0040333594A3"},
        {"IndexedColor", "1630B820-7842-11CF-8F52-0040333594A3"},
        {"MeshVertexColors", "1630B821-7842-11CF-8F52-0040333594A3"},
        {"ColorRGB", "D3E16E81-7835-11CF-8F52-0040333594A3"},
        {"Material", "3D82AB4D-62DA-11CF-AB39-0020AF71E433"},
        {"TextureFilename", "A42790E1-7810-11CF-8F52-0040333594A3"},
        {"MeshMaterialList", "F6F23F42-7686-11CF-8F52-0040333594A3"},
        {"Matrix4x4", "F6F23F45-7686-11CF-8F52-0040333594A3"},
        {"FrameTransformMatrix", "F6F23F41-7686-11CF-8F52-0040333594A3"},
        {"Frame", "3D82AB46-62DA-11CF-AB39-0020AF71E433"},
        {"VertexDuplicationIndices", "B8D65549-D7C9-4995-89CF-53A9A8B031E3"},
        {"VertexElement", "F752461C-1E23-48F6-B9F8-8350850F336F"},
        {"DeclData", "BF22E553-292C-4781-9FEA-62BD554BDD93"},
    };
    std::size_t previous = 0;
    for (const auto& t : templates) {
        SCOPED_TRACE(t.name);
        const std::size_t at =
            sText->find(std::string("template ") + t.name + " {\n <" + t.guid + ">\n");
        ASSERT_NE(at, std::string::npos);
        // Each template only names templates declared before it.
        EXPECT_GE(at, previous);
        previous = at;
    }
}

TEST_F(XFileWriterTest, NestsTheFramesAroundTheMesh) {
    const char* frames[] = {"Frame DXCC_ROOT {", "Frame Fbx_Root {", "Frame Halvorine_Body {",
                            "Frame polySurfaceShape1 {", "Mesh HalvorineHull {"};
    std::size_t previous = 0;
    for (const char* frame : frames) {
        const std::size_t at = sText->find(frame);
        ASSERT_NE(at, std::string::npos) << frame;
        EXPECT_GT(at, previous) << frame;
        previous = at;
    }
    EXPECT_EQ(linesAfter("Frame Fbx_Root {", 2)[1],
              "17.043758,0.000000,0.000000,0.000000,0.000000,0.000000,-17.043758,0.000000,"
              "0.000000,17.043758,0.000000,0.000000,0.000000,0.000000,0.000000,1.000000;;");
}

TEST_F(XFileWriterTest, WritesVerticesAsDecimalsAndFacesAsIntegers) {
    const std::vector<std::string> mesh = linesAfter("Mesh HalvorineHull {", 2517 + 2 + 4284);
    ASSERT_EQ(mesh.size(), 2517u + 2 + 4284);
    EXPECT_EQ(mesh[0], "2517;");
    const std::regex vertex(R"(-?\d+\.\d{6};-?\d+\.\d{6};-?\d+\.\d{6};[,;])");
    for (std::size_t i = 1; i <= 2517; ++i) {
        ASSERT_TRUE(std::regex_match(mesh[i], vertex)) << mesh[i];
    }
    EXPECT_EQ(mesh[2517].back(), ';');
    EXPECT_EQ(mesh[2518], "4284;");
    const std::regex face(R"(3;\d+,\d+,\d+;[,;])");
    for (std::size_t i = 2519; i < mesh.size(); ++i) {
        ASSERT_TRUE(std::regex_match(mesh[i], face)) << mesh[i];
    }
}

TEST_F(XFileWriterTest, NamesTheTexturesAndDeclaresTangentData) {
    for (const char* name : {"\"150\";", "\"151\";", "\"\";"}) {
        EXPECT_NE(sText->find(std::string("TextureFilename {\n") + std::string(8, ' ') + name),
                  std::string::npos)
            << name;
    }
    const std::vector<std::string> decl = linesAfter("DeclData {", 4);
    EXPECT_EQ(decl[0], "2;");
    EXPECT_EQ(decl[1], "2;0;6;0;,");
    EXPECT_EQ(decl[2], "2;0;7;0;;");
    EXPECT_EQ(decl[3], "15102;");
    const std::vector<std::string> duplication = linesAfter("VertexDuplicationIndices {", 1);
    EXPECT_EQ(duplication[0], "2517;");
}

} // namespace
} // namespace halv::assetgen
