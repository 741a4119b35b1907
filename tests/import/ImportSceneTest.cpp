// The importer on small source files: what each source thing becomes in the host's records.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>

#include <cmath>
#include <fstream>

#include "host/import/AssimpImport.h"
#include "host/import/ImportStages.h"
#include "platform/max/HostScene.h"
#include "platform/max/Node.h"
#include "tests/import/ImportTestFiles.h"
#include "tests/support/TempDir.h"

namespace {

using namespace tarvo;
using namespace tarvo::assimpimport;
using scene::MaterialKind;
using scene::ObjectKind;
using scene::SceneData;
namespace fs = std::filesystem;

constexpr float kTolerance = 1e-5f;

class ImportSceneTest : public ::testing::Test {
  protected:
    SceneData Import(const fs::path& source) {
        ImportOptions options;
        options.outputFile = m_dir.File("out.x");
        return ImportScene(source.string(), options, m_report);
    }

    int NodeNamed(const SceneData& data, const std::string& name) {
        for (std::size_t i = 0; i < data.nodes.size(); ++i)
            if (data.nodes[i].name == name) return static_cast<int>(i);
        ADD_FAILURE() << "no node " << name;
        return -1;
    }

    testsupport::TempDir m_dir{"tarvo-import"};
    ImportReport m_report;
};

void ExpectNear(const Point3& actual, const Point3& expected, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, kTolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, kTolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, kTolerance) << what;
}

// ---- OBJ ----

TEST_F(ImportSceneTest, AnObjObjectWithTwoMaterialsIsOneMeshWithAMultiMaterial) {
    const SceneData data = Import(importtest::WriteTwoMaterialObj(m_dir.Path()));
    const int box = NodeNamed(data, "Box");
    ASSERT_GE(box, 0);
    const scene::NodeData& node = data.nodes[box];
    ASSERT_EQ(node.object, ObjectKind::Mesh);
    ASSERT_EQ(node.mesh.faces.size(), 3u);
    // Assimp keeps the faces of one material together, in the order the materials appear.
    EXPECT_EQ(node.mesh.faces[0].matId, 0u);
    EXPECT_EQ(node.mesh.faces[1].matId, 0u);
    EXPECT_EQ(node.mesh.faces[2].matId, 1u);

    ASSERT_GE(node.material, 0);
    const scene::MaterialData& multi = data.materials[node.material];
    ASSERT_EQ(multi.kind, MaterialKind::Multi);
    ASSERT_EQ(multi.subMaterials.size(), 2u);
    const scene::MaterialData& red = data.materials[multi.subMaterials[0]];
    const scene::MaterialData& blue = data.materials[multi.subMaterials[1]];
    EXPECT_EQ(red.name, "Red");
    EXPECT_EQ(red.diffuse, Color(1, 0, 0));
    EXPECT_EQ(red.specular, Color(0.5f, 0.5f, 0.5f));
    EXPECT_FLOAT_EQ(red.specularLevel, 1.0f);
    EXPECT_FLOAT_EQ(red.shininess, 16.0f / 32.0f);  // power 16 in the .X file
    ASSERT_EQ(red.maps.size(), 1u);
    EXPECT_EQ(red.maps[0].slot, scene::ID_DI);
    EXPECT_EQ(red.maps[0].map.file, (m_dir.Path() / "brick.png").string());
    EXPECT_EQ(blue.name, "Blue");
    EXPECT_EQ(blue.diffuse, Color(0, 0, 1));
    EXPECT_FLOAT_EQ(blue.transparency, 0.5f);
    EXPECT_TRUE(blue.maps.empty());
    // The reader's default material, which no face uses, is not made.
    for (const scene::MaterialData& material : data.materials)
        EXPECT_NE(material.name, "DefaultMaterial");
}

TEST_F(ImportSceneTest, AnObjLineIsCountedNotMeshed) {
    const SceneData data = Import(importtest::WriteTwoMaterialObj(m_dir.Path()));
    EXPECT_EQ(m_report.unmapped.at("line"), 1u);
    EXPECT_EQ(DescribeUnmapped(m_report.unmapped), "1 line");
}

TEST_F(ImportSceneTest, ASourceWithoutNormalsIsSmoothedByTheHost) {
    const SceneData data = Import(importtest::WriteTwoMaterialObj(m_dir.Path()));
    const scene::NodeData& node = data.nodes[NodeNamed(data, "Box")];
    EXPECT_FALSE(node.mesh.normals.has_value());
    for (const scene::FaceData& face : node.mesh.faces) EXPECT_EQ(face.smGroup, 1u);
}

TEST_F(ImportSceneTest, EachSourceMeshsVerticesFollowOneAnotherInItsNodesHostMesh) {
    const fs::path file = importtest::WriteTwoMaterialObj(m_dir.Path());
    Assimp::Importer importer;
    const aiScene* source = importer.ReadFile(file.string(), kPostProcessing);
    ASSERT_NE(source, nullptr) << importer.GetErrorString();
    SceneData records;
    ImportContext ctx{.source = *source, .scene = records};
    const ImageNaming naming{m_dir.Path().string(), "out", m_dir.Path().string()};
    ImportNodes(ctx, ImportMaterials(ctx, naming, m_report));

    std::uint32_t nextFirst = 0;
    int triangleMeshes = 0;
    for (unsigned m = 0; m < source->mNumMeshes; ++m) {
        const aiMesh* mesh = source->mMeshes[m];
        if (mesh->mPrimitiveTypes != aiPrimitiveType_TRIANGLE) {
            EXPECT_FALSE(ctx.meshPlacement.contains(mesh)) << "the line mesh has no place";
            continue;
        }
        ++triangleMeshes;
        ASSERT_TRUE(ctx.meshPlacement.contains(mesh)) << "mesh " << m;
        const MeshPlacement placement = ctx.meshPlacement.at(mesh);
        EXPECT_EQ(placement.firstVertex, nextFirst) << "mesh " << m;
        nextFirst += mesh->mNumVertices;
        const scene::MeshData& host = records.nodes.at(placement.node).mesh;
        ASSERT_LE(placement.firstVertex + mesh->mNumVertices, host.vertices.size());
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const aiVector3D& p = mesh->mVertices[v];
            EXPECT_EQ(host.vertices[placement.firstVertex + v], Point3(p.x, p.y, p.z))
                << "mesh " << m << ", vertex " << v;
        }
    }
    EXPECT_EQ(triangleMeshes, 2);
    EXPECT_EQ(records.nodes[NodeNamed(records, "Box")].mesh.vertices.size(), nextFirst);
}

TEST_F(ImportSceneTest, AQuadBecomesTwoTrianglesOfTheHostMesh) {
    const fs::path file = m_dir.Path() / "quad.obj";
    std::ofstream(file) << "o Quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n";
    const SceneData data = Import(file);
    const scene::NodeData& quad = data.nodes[NodeNamed(data, "Quad")];
    EXPECT_EQ(quad.object, ObjectKind::Mesh);
    EXPECT_EQ(quad.mesh.vertices.size(), 4u);
    EXPECT_EQ(quad.mesh.faces.size(), 2u);
    EXPECT_TRUE(m_report.unmapped.empty());
}

// ---- Collada ----

// The world positions the host gives the vertices of a node.
std::vector<Point3> HostWorldVertices(const SceneData& data, int node) {
    HostScene scene(data);
    const Matrix3 world = scene.Node(node)->GetObjTMAfterWSM(0);
    std::vector<Point3> out;
    for (const Point3& v : data.nodes[node].mesh.vertices) out.push_back(v * world);
    return out;
}

TEST_F(ImportSceneTest, AColladaHierarchyKeepsNamesParentsAndWorldPlacesTurnedZUp) {
    const SceneData data = Import(importtest::WriteColladaHierarchy(m_dir.Path()));
    // The reader's scene root has no node of its own: the file's nodes are the top.
    ASSERT_EQ(data.nodes.size(), 3u);
    const int parent = NodeNamed(data, "Parent");
    const int child = NodeNamed(data, "Child");
    EXPECT_EQ(data.nodes[parent].parent, -1);
    EXPECT_EQ(data.nodes[child].parent, parent);
    EXPECT_LT(parent, child);
    EXPECT_EQ(data.nodes[2].parent, -1);

    // Worked out by hand in the file's y-up frame, then (x, y, z) -> (x, -z, y).
    const std::vector<Point3> parentWorld = {{1, -3, 2}, {1, -2, 2}, {1, -3, 3}};
    const std::vector<Point3> childWorld = {{6, -3, 2}, {6, -1, 2}, {6, -3, 4}};
    const std::vector<Point3> parentHost = HostWorldVertices(data, parent);
    const std::vector<Point3> childHost = HostWorldVertices(data, child);
    ASSERT_EQ(parentHost.size(), 3u);
    ASSERT_EQ(childHost.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        ExpectNear(parentHost[i], parentWorld[i], "Parent vertex " + std::to_string(i));
        ExpectNear(childHost[i], childWorld[i], "Child vertex " + std::to_string(i));
    }
}

// ---- glTF ----

TEST_F(ImportSceneTest, AGltfTriangleKeepsNormalsBothUvSetsAndVertexColours) {
    const SceneData data = Import(importtest::WriteGltf(m_dir.Path()));
    const scene::NodeData& tri = data.nodes[NodeNamed(data, "Tri")];
    ASSERT_EQ(tri.object, ObjectKind::Mesh);
    // glTF is y up: (1, 2, 3) is (1, -3, 2) with z up, and the node is turned +90 degrees
    // about x.
    ExpectNear(tri.transform.position, Point3(1, -3, 2), "position");
    HostScene scene(data);
    const Matrix3 world = scene.Node(NodeNamed(data, "Tri"))->GetNodeTM(0);
    ExpectNear(world.GetRow(1), Point3(0, 0, 1), "the source's y axis is the host's z");

    ASSERT_TRUE(tri.mesh.normals.has_value());
    ASSERT_EQ(tri.mesh.normals->normals.size(), 3u);
    for (const Point3& n : tri.mesh.normals->normals) ExpectNear(n, Point3(0, 0, 1), "normal");
    ASSERT_EQ(tri.mesh.normals->faces.size(), 1u);

    // Assimp puts the texture origin at the bottom left, as the host has it: v is 1 - v.
    ASSERT_TRUE(tri.mesh.maps.contains(1));
    ASSERT_TRUE(tri.mesh.maps.contains(2));
    const auto& uv1 = tri.mesh.maps.at(1).vertices;
    const auto& uv2 = tri.mesh.maps.at(2).vertices;
    ASSERT_EQ(uv1.size(), 3u);
    ASSERT_EQ(uv2.size(), 3u);
    ExpectNear(uv1[1], Point3(1, 1, 0), "channel 1, vertex 1");
    ExpectNear(uv2[1], Point3(0.75f, 0.5f, 0), "channel 2, vertex 1");
    ExpectNear(uv2[2], Point3(0.25f, 0, 0), "channel 2, vertex 2");

    const auto& colours = tri.mesh.maps.at(scene::MAP_COLOR_CHANNEL).vertices;
    const auto& alpha = tri.mesh.maps.at(scene::MAP_ALPHA_CHANNEL).vertices;
    ASSERT_EQ(colours.size(), 3u);
    ASSERT_EQ(alpha.size(), 3u);
    ExpectNear(colours[1], Point3(0, 1, 0), "colour 1");
    EXPECT_NEAR(alpha[1].x, 0.5f, kTolerance);
    EXPECT_NEAR(alpha[2].x, 0.25f, kTolerance);
    for (const auto& [channel, map] : tri.mesh.maps)
        EXPECT_EQ(map.faces.size(), tri.mesh.faces.size()) << "channel " << channel;
}

TEST_F(ImportSceneTest, AGltfEmbeddedImageIsNamedAfterTheOutputBesideIt) {
    const SceneData data = Import(importtest::WriteGltf(m_dir.Path()));
    const scene::NodeData& tri = data.nodes[NodeNamed(data, "Tri")];
    ASSERT_GE(tri.material, 0);
    const scene::MaterialData& material = data.materials[tri.material];
    EXPECT_EQ(material.name, "Painted");
    EXPECT_NEAR(material.diffuse.r, 0.8f, kTolerance);
    ASSERT_EQ(material.maps.size(), 1u);
    const std::string expected = m_dir.File("out_0.bmp");
    EXPECT_EQ(material.maps[0].map.file, expected);
    ASSERT_EQ(m_report.images.size(), 1u);
    EXPECT_EQ(m_report.images[0].path, expected);
    EXPECT_EQ(m_report.images[0].bytes, importtest::TinyBmp());
    // Nothing is written by the import itself: the host checks the target first.
    EXPECT_FALSE(fs::exists(expected));
    EXPECT_EQ(WriteEmbeddedImage(m_report.images[0]), "");
    std::ifstream in(expected, std::ios::binary);
    const std::vector<std::uint8_t> written((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    EXPECT_EQ(written, importtest::TinyBmp());
}

TEST_F(ImportSceneTest, CamerasLightsAndPointsAreCountedAndTheNodesKept) {
    const SceneData data = Import(importtest::WriteGltf(m_dir.Path()));
    EXPECT_EQ(data.nodes[NodeNamed(data, "Cam")].object, ObjectKind::Camera);
    EXPECT_EQ(data.nodes[NodeNamed(data, "Lamp")].object, ObjectKind::Light);
    EXPECT_EQ(data.nodes[NodeNamed(data, "Dots")].object, ObjectKind::Helper);
    EXPECT_EQ(m_report.unmapped.at("camera"), 1u);
    EXPECT_EQ(m_report.unmapped.at("light"), 1u);
    EXPECT_EQ(m_report.unmapped.at("point"), 3u);
    EXPECT_EQ(DescribeUnmapped(m_report.unmapped), "1 camera, 1 light, 3 points");
}

// ---- Failures and small rules ----

TEST_F(ImportSceneTest, AnUnreadableFileThrowsWithAssimpsReasonOnOneLine) {
    const fs::path file = m_dir.Path() / "broken.gltf";
    std::ofstream(file) << "{ \"asset\": ";
    try {
        (void)Import(file);
        FAIL() << "no error";
    } catch (const ImportError& error) {
        const std::string what = error.what();
        EXPECT_TRUE(what.starts_with(file.string() + ": cannot be imported: ")) << what;
        EXPECT_GT(what.size(), file.string().size() + 25) << "Assimp's reason: " << what;
        EXPECT_EQ(what.find('\n'), std::string::npos) << what;
    }
}

TEST(ImportRules, HostSceneFilesAreKnownByTheirExtensionInAnyCase) {
    EXPECT_TRUE(IsHostSceneFile("a.tscene.json"));
    EXPECT_TRUE(IsHostSceneFile("dir/A.TSCENE.JSON"));
    EXPECT_FALSE(IsHostSceneFile("a.json"));
    EXPECT_FALSE(IsHostSceneFile("a.gltf"));
    EXPECT_FALSE(IsHostSceneFile("tscene.jso"));
}

TEST(ImportRules, TheTallyTakesPluralsBeforeAQualifier) {
    UnmappedCounts counts{{"morph target", 3},
                          {"camera", 2},
                          {"light", 1},
                          {"vertex colour set past the first", 2},
                          {"map other than diffuse", 1},
                          {"mesh", 2},
                          {"skin", 0}};
    EXPECT_EQ(DescribeUnmapped(counts),
              "2 cameras, 1 light, 1 map other than diffuse, 2 meshes, 3 morph targets, "
              "2 vertex colour sets past the first");
    EXPECT_EQ(DescribeUnmapped({}), "");
}

// An FBX file's axis metadata decides the turn; z up with y away from the viewer needs none.
TEST(ImportRules, AxisMetadataThatIsAlreadyZUpNeedsNoTurn) {
    aiScene scene;
    scene.mMetaData = aiMetadata::Alloc(6);
    scene.mMetaData->Set(0, "UpAxis", 2);
    scene.mMetaData->Set(1, "UpAxisSign", 1);
    scene.mMetaData->Set(2, "FrontAxis", 1);
    scene.mMetaData->Set(3, "FrontAxisSign", -1);
    scene.mMetaData->Set(4, "CoordAxis", 0);
    scene.mMetaData->Set(5, "CoordAxisSign", 1);
    EXPECT_TRUE(AxisChangeToHost(scene).IsIdentity());
}

TEST(ImportRules, WithoutAxisMetadataYUpTurnsNinetyDegreesAboutX) {
    aiScene scene;
    const aiVector3D up = AxisChangeToHost(scene) * aiVector3D(0, 1, 0);
    const aiVector3D front = AxisChangeToHost(scene) * aiVector3D(0, 0, 1);
    EXPECT_EQ(up, aiVector3D(0, 0, 1));
    EXPECT_EQ(front, aiVector3D(0, -1, 0));
}

TEST(ImportRules, APlacementTurnsRowVectorsAsTheSourceMatrixTurnsColumns) {
    aiMatrix4x4 rotation;
    aiMatrix4x4::RotationZ(static_cast<float>(M_PI / 2), rotation);
    aiMatrix4x4 translation;
    aiMatrix4x4::Translation(aiVector3D(1, 2, 3), translation);
    const scene::Placement placement = PlacementOf(translation * rotation);
    Matrix3 host = ScaleMatrix(placement.scale);
    host *= RotateMatrix(placement.rotation);
    host *= TransMatrix(placement.position);
    ExpectNear(Point3(1, 0, 0) * host, Point3(1, 3, 3), "x turned to y, then moved");
}

TEST(ImportRules, AZeroScaleGivesAFinitePlacement) {
    aiMatrix4x4 flat;
    aiMatrix4x4::Scaling(aiVector3D(0, 1, 1), flat);
    flat.a4 = 4.0f;
    const scene::Placement placement = PlacementOf(flat);
    EXPECT_EQ(placement.rotation, Quat());
    EXPECT_EQ(placement.position, Point3(4, 0, 0));
    EXPECT_EQ(placement.scale, Point3(0, 1, 1));
}

}  // namespace

namespace {

// Names in the records are UTF-8 (scene files are JSON): valid UTF-8 passes as it is, and
// the Latin-1 names of older files become the same characters in UTF-8.
TEST(ImportText, NamesBecomeUtf8) {
    EXPECT_EQ(tarvo::assimpimport::TextOf(aiString("Caf\xC3\xA9 \xE2\x82\xAC")),
              "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(tarvo::assimpimport::TextOf(aiString("Caf\xE9")), "Caf\xC3\xA9");
    // An overlong form and a lone continuation byte are not UTF-8.
    EXPECT_EQ(tarvo::assimpimport::TextOf(aiString("\xC0\xAF")), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(tarvo::assimpimport::TextOf(aiString("a\x80")), "a\xC2\x80");
    EXPECT_EQ(tarvo::assimpimport::TextOf(aiString("")), "");
}

}  // namespace
