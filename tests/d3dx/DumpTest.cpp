#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "XTestSupport.h"
#include "platform/d3dx/XDump.h"

namespace {

d3dx::XFileContents ParseText(const std::string& text) {
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    EXPECT_EQ(d3dx::ReadXImage(bytes, d3dx::StandardTemplates(), contents, &error), S_OK)
        << error.message;
    return contents;
}

TEST(Dump, TextShowsMembersByNameAndReferences) {
    auto contents = ParseText(
        "xof 0303txt 0032\n"
        "Frame Root {\n"
        " Mesh Tri { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;;\n"
        "  MeshMaterialList { 1; 1; 0;; { Red } }\n"
        " }\n"
        "}\n");
    EXPECT_EQ(d3dx::DumpText(contents),
              "form txt, floats 32\n"
              "Frame Root {\n"
              "  Mesh Tri {\n"
              "    nVertices: 3\n"
              "    vertices: [{x: 0.0, y: 0.0, z: 0.0}, {x: 1.0, y: 0.0, z: 0.0}, {x: 0.0, y: 1.0, "
              "z: 0.0}]\n"
              "    nFaces: 1\n"
              "    faces: [{nFaceVertexIndices: 3, faceVertexIndices: [0, 1, 2]}]\n"
              "    MeshMaterialList {\n"
              "      nMaterials: 1\n"
              "      nFaceIndexes: 1\n"
              "      faceIndexes: [0]\n"
              "      -> Red\n"
              "    }\n"
              "  }\n"
              "}\n");
}

TEST(Dump, JsonIsValidAndCarriesTheSameTree) {
    auto contents = ParseText(
        "xof 0303txt 0032\n"
        "Frame Root { Mesh Tri { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; { Red } "
        "} }\n"
        "TextureFilename { \"tab\there \\\\ back\"; }\n"
        "Vector { 1.#QNAN0; -1.#INF00; 0.5; }\n");
    auto json = nlohmann::json::parse(d3dx::DumpJson(contents));
    EXPECT_EQ(json["form"], "txt");
    ASSERT_EQ(json["objects"].size(), 3u);
    const auto& mesh = json["objects"][0]["children"][0];
    EXPECT_EQ(mesh["template"], "Mesh");
    EXPECT_EQ(mesh["name"], "Tri");
    EXPECT_EQ(mesh["members"]["vertices"][1]["x"], 1.0);
    EXPECT_EQ(mesh["members"]["faces"][0]["faceVertexIndices"][2], 2);
    EXPECT_EQ(mesh["children"][0]["reference"], "Red");
    EXPECT_EQ(json["objects"][1]["members"]["filename"], "tab\there \\\\ back");
    // JSON has no NaN or infinity: they travel as their text spelling.
    EXPECT_EQ(json["objects"][2]["members"]["x"], "1.#QNAN0");
    EXPECT_EQ(json["objects"][2]["members"]["y"], "-1.#INF00");
    EXPECT_EQ(json["objects"][2]["templateGuid"], "3D82AB5E-62DA-11CF-AB39-0020AF71E433");
}

}  // namespace
