// The example scene's meshes read by Assimp, an independent .X reader, in every file form:
// the counts we expect, and every face corner's position, normal, texture coordinate and
// colour as we wrote them.
#include <gtest/gtest.h>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include "MeshTestSupport.h"
#include "host/scene/SceneFile.h"

namespace {

struct ExpectedMesh {
    std::size_t vertices, faces, normals;
    bool uvs, colors;
};

// Crate: 8 host vertices whose corners take one of four texture coordinates per side
// (20 vertices), one flat normal per side; Pool: a quad with one normal; Arm: a two-part
// tube, twelve side normals and one per cap. The hidden box writes no mesh.
const ExpectedMesh kExpected[] = {
    {20, 12, 6, true, true},
    {4, 2, 1, true, false},
    {12, 20, 14, false, false},
};

// Assimp makes the left-handed data right-handed: z turns around and faces wind the other
// way; v is flipped back.
void ExpectCornerMatches(const aiMesh& theirs, unsigned corner, const meshtest::Vec3& position,
                         const meshtest::Vec3& normal) {
    const aiVector3D& p = theirs.mVertices[corner];
    EXPECT_FLOAT_EQ(p.x, position.x);
    EXPECT_FLOAT_EQ(p.y, position.y);
    EXPECT_FLOAT_EQ(p.z, -position.z);
    const aiVector3D& n = theirs.mNormals[corner];
    EXPECT_FLOAT_EQ(n.x, normal.x);
    EXPECT_FLOAT_EQ(n.y, normal.y);
    EXPECT_FLOAT_EQ(n.z, -normal.z);
}

void CompareMesh(const d3dx::XDataObject& ours, const aiMesh& theirs,
                 const ExpectedMesh& expected) {
    auto mesh = meshtest::ReadMesh(ours);
    auto normals = meshtest::ReadNormals(*meshtest::ChildOf(ours, "MeshNormals"));
    ASSERT_EQ(mesh.vertices.size(), expected.vertices);
    ASSERT_EQ(mesh.faces.size(), expected.faces);
    ASSERT_EQ(normals.normals.size(), expected.normals);
    // Assimp gives every face corner a vertex of its own.
    ASSERT_EQ(theirs.mNumFaces, expected.faces);
    ASSERT_EQ(theirs.mNumVertices, 3 * expected.faces);
    ASSERT_TRUE(theirs.HasNormals());
    ASSERT_EQ(theirs.HasTextureCoords(0), expected.uvs);
    ASSERT_EQ(theirs.HasVertexColors(0), expected.colors);
    std::vector<std::array<float, 2>> uvs;
    if (expected.uvs)
        uvs = meshtest::ReadTextureCoords(*meshtest::ChildOf(ours, "MeshTextureCoords"));
    std::vector<meshtest::ColorEntry> colors;
    if (expected.colors)
        colors = meshtest::ReadColors(*meshtest::ChildOf(ours, "MeshVertexColors"));
    for (unsigned f = 0; f < theirs.mNumFaces; ++f) {
        ASSERT_EQ(theirs.mFaces[f].mNumIndices, 3u);
        for (unsigned k = 0; k < 3; ++k) {
            unsigned corner = theirs.mFaces[f].mIndices[2 - k];  // wound the other way
            std::uint32_t vertex = mesh.faces[f][k];
            ExpectCornerMatches(theirs, corner, mesh.vertices[vertex],
                                normals.normals[normals.faces[f][k]]);
            if (expected.uvs) {
                EXPECT_NEAR(theirs.mTextureCoords[0][corner].x, uvs[vertex][0], 1e-6f);
                EXPECT_NEAR(theirs.mTextureCoords[0][corner].y, 1.0f - uvs[vertex][1], 1e-6f);
            }
            if (expected.colors) {
                const aiColor4D& c = theirs.mColors[0][corner];
                EXPECT_EQ(c, aiColor4D(colors[vertex].r, colors[vertex].g, colors[vertex].b,
                                       colors[vertex].a));
            }
        }
    }
}

TEST(ExampleMeshesAssimp, EveryFormLoadsWithTheCountsAndValuesWeWrote) {
    const std::pair<int, const char*> forms[] = {{0, "text"}, {1, "binary"}, {2, "compressed"}};
    for (const auto& [type, form] : forms) {
        SCOPED_TRACE(form);
        ExportOptions options = meshtest::MeshOptions();
        options.xFileType = type;
        // Assimp splits a mesh into one per material it uses; the meshes are compared whole
        // here, and materials are checked by the material tests.
        options.exportMaterials = 0;
        meshtest::ExportRun run(tarvo::scenefile::LoadSceneFile(std::string(TARVO_SOURCE_DIR) +
                                                                "/examples/sample.tscene.json"),
                                options);
        auto ours = run.Meshes();
        ASSERT_EQ(ours.size(), 3u);
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(run.Path(), 0);
        ASSERT_NE(scene, nullptr) << importer.GetErrorString();
        ASSERT_EQ(scene->mNumMeshes, 3u);
        for (unsigned i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            CompareMesh(*ours[i], *scene->mMeshes[i], kExpected[i]);
        }
    }
}

}  // namespace
