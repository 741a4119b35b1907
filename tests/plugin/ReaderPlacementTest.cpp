// What readers see: small scenes exported in every frame mode and file form, and every mesh
// vertex placed in world space from the written file by three readers, ours (frames and
// their matrices), Assimp and Irrlicht 1.8 (the .X loader many games shipped), compared with
// the host's own world placement.
#include <gtest/gtest.h>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "../d3dx/XTestSupport.h"
#include "IrrlichtReader.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"
#include "tests/max/TestScenes.h"

namespace {

using d3dx::XDataObject;
using tarvo::scene::NodeData;
using tarvo::scene::ObjectKind;
using tarvo::scene::SceneData;
using tarvo::testscenes::MakeNode;

constexpr float kTolerance = 1e-4f;
const char* const kForms[] = {"text", "binary", "compressed"};

// The host's world positions, in the written axes (y and z exchanged), of the vertices of
// every mesh node that an export with these options writes.
std::vector<Point3> ExpectedWorldVertices(HostScene& scene,
                                          const std::function<bool(int)>& exported) {
    std::vector<Point3> vertices;
    for (int i = 0; i < scene.NodeCount(); ++i) {
        const NodeData& record = scene.NodeRecord(i);
        if (record.object != ObjectKind::Mesh || !exported(i)) continue;
        Matrix3 world = scene.Node(i)->GetObjTMAfterWSM(0);
        for (const Point3& v : record.mesh.vertices) {
            Point3 p = v * world;
            vertices.emplace_back(p.x, p.z, p.y);
        }
    }
    return vertices;
}

// ---- our reader: frames nest, each matrix relative to the frame around it ----

Matrix3 MatrixOf(const XDataObject& matrixObject) {
    float m[16];
    std::memcpy(m, matrixObject.payload.data(), sizeof m);
    return Matrix3(Point3(m[0], m[1], m[2]), Point3(m[4], m[5], m[6]), Point3(m[8], m[9], m[10]),
                   Point3(m[12], m[13], m[14]));
}

Point3 VertexOf(const XDataObject& mesh, std::size_t index) {
    float p[3];
    std::memcpy(p, mesh.payload.data() + 4 + 12 * index, sizeof p);
    return {p[0], p[1], p[2]};
}

void CollectWorldVertices(const XDataObject& object, const Matrix3& parentWorld,
                          std::vector<Point3>& out) {
    if (object.templateName == "Mesh") {
        std::uint32_t count = 0;
        std::memcpy(&count, object.payload.data(), 4);
        for (std::uint32_t i = 0; i < count; ++i) out.push_back(VertexOf(object, i) * parentWorld);
        return;
    }
    if (object.templateName != "Frame") return;
    Matrix3 world = parentWorld;
    for (const auto& child : object.children)
        if (!child.IsReference() && child.object->templateName == "FrameTransformMatrix")
            world = MatrixOf(*child.object) * parentWorld;
    for (const auto& child : object.children)
        if (!child.IsReference()) CollectWorldVertices(*child.object, world, out);
}

std::vector<Point3> OurReaderWorldVertices(const d3dx::XFileContents& contents) {
    std::vector<Point3> vertices;
    for (const XDataObject& object : contents.objects)
        CollectWorldVertices(object, Matrix3(1), vertices);
    return vertices;
}

// ---- Assimp: node transforms from the root down; its data is made right-handed ----

void CollectAssimpVertices(const aiScene* scene, const aiNode* node, const aiMatrix4x4& parentWorld,
                           std::vector<Point3>& out) {
    aiMatrix4x4 world = parentWorld * node->mTransformation;
    for (unsigned m = 0; m < node->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[node->mMeshes[m]];
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            aiVector3D p = world * mesh->mVertices[v];
            out.emplace_back(p.x, p.y, -p.z);  // back to the left-handed axes written
        }
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c)
        CollectAssimpVertices(scene, node->mChildren[c], world, out);
}

std::vector<Point3> IrrlichtWorldVertices(const std::string& path) {
    std::vector<Point3> vertices;
    for (const auto& p : irrlichttest::WorldVertices(path)) vertices.emplace_back(p[0], p[1], p[2]);
    return vertices;
}

void CollectNodeNames(const aiNode* node, std::multiset<std::string>& names) {
    names.insert(node->mName.C_Str());
    for (unsigned c = 0; c < node->mNumChildren; ++c) CollectNodeNames(node->mChildren[c], names);
}

// Every expected vertex matched by its own read vertex, and nothing more.
void ExpectSameVertices(const std::vector<Point3>& actual, const std::vector<Point3>& expected,
                        const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    std::vector<bool> used(actual.size(), false);
    for (const Point3& e : expected) {
        bool found = false;
        for (std::size_t i = 0; i < actual.size() && !found; ++i) {
            if (used[i]) continue;
            Point3 d = actual[i] - e;
            if (std::fabs(d.x) < kTolerance && std::fabs(d.y) < kTolerance &&
                std::fabs(d.z) < kTolerance)
                used[i] = found = true;
        }
        EXPECT_TRUE(found) << what << ": no vertex read at (" << e.x << ", " << e.y << ", " << e.z
                           << ")";
    }
}

class ReaderPlacementTest : public ::testing::Test {
  protected:
    void Load(SceneData data) {
        m_scene = std::make_unique<HostScene>(std::move(data));
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.File(""));
    }

    // Exports; false when the export did not complete.
    bool Export(ExportOptions options, int frameSetting, int xFileType, DWORD flags = 0) {
        options.frameSetting = frameSetting;
        options.xFileType = xFileType;
        EXPECT_TRUE(SaveSettings(options, *m_host));
        m_path = m_dir.File("mode" + std::to_string(frameSetting) + "-" + kForms[xFileType] + ".x");
        TarvoDirectXMaxExporter exporter;
        return exporter.DoExport(m_path.c_str(), nullptr, m_host.get(), TRUE, flags) == 1;
    }

    // Exports in every frame mode and form and checks where both readers place the meshes.
    void ExpectMeshesInPlace(const ExportOptions& options, const std::function<bool(int)>& exported,
                             DWORD flags = 0) {
        std::vector<Point3> expected = ExpectedWorldVertices(*m_scene, exported);
        for (int mode = 0; mode <= 2; ++mode) {
            for (int type = 0; type <= 2; ++type) {
                std::string what = "frame mode " + std::to_string(mode) + ", " + kForms[type];
                ASSERT_TRUE(Export(options, mode, type, flags)) << what;
                ExpectSameVertices(OurReaderWorldVertices(xtest::ReadBack(m_path)), expected,
                                   what + ", our reader");
                Assimp::Importer importer;
                const aiScene* scene = importer.ReadFile(m_path, 0);
                ASSERT_NE(scene, nullptr) << what << ": " << importer.GetErrorString();
                std::vector<Point3> assimpVertices;
                CollectAssimpVertices(scene, scene->mRootNode, aiMatrix4x4(), assimpVertices);
                ExpectSameVertices(assimpVertices, expected, what + ", Assimp");
                // Irrlicht 1.8 reads no compressed files.
                if (type != kXFileCompressed)
                    ExpectSameVertices(IrrlichtWorldVertices(m_path), expected,
                                       what + ", Irrlicht");
            }
        }
    }

    static bool All(int) { return true; }

    tarvo::testsupport::TempDir m_dir;
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
    std::string m_path;
};

TEST_F(ReaderPlacementTest, AStretchedAndTurnedNodeStaysStretchedAlongItsOwnAxis) {
    SceneData data;
    NodeData node = MakeNode("Tall", -1, ObjectKind::Mesh, Point3(1, 2, 3));
    node.transform.scale = Point3(1, 1, 2);
    node.transform.rotation = QuatFromAxisAngle(Point3(0, 0, 1), static_cast<float>(M_PI / 6));
    data.nodes.push_back(node);
    // The same under a parent, where the stretch reaches the frame of the child as well.
    data.nodes.push_back(MakeNode("Under", 0, ObjectKind::Mesh, Point3(0, 1, 0)));
    Load(data);
    ExpectMeshesInPlace(ExportOptions(), All);
}

TEST_F(ReaderPlacementTest, TopFramesStandSideBySideWithTheirWorldPlacement) {
    SceneData data;
    data.nodes.push_back(MakeNode("Parent", -1, ObjectKind::Mesh, Point3(5, 0, 0)));
    data.nodes.push_back(MakeNode("Child", 0, ObjectKind::Mesh));  // at world x = 5 as well
    data.nodes.push_back(MakeNode("Grandchild", 1, ObjectKind::Mesh, Point3(0, 2, 0)));
    Load(data);
    ExpectMeshesInPlace(ExportOptions(), All);

    ASSERT_TRUE(Export(ExportOptions(), kFrameSettingTopFrameOnly, 0));
    auto contents = xtest::ReadBack(m_path);
    ASSERT_EQ(contents.objects.size(), 3u);
    for (const XDataObject& frame : contents.objects) {
        EXPECT_EQ(frame.templateName, "Frame");
        for (const auto& child : frame.children)
            EXPECT_NE(child.object->templateName, "Frame") << frame.name;
    }
}

TEST_F(ReaderPlacementTest, ChildrenOfNodesWithoutAFrameArePlacedRelativeToTheFrameTheyHangIn) {
    SceneData data;
    data.nodes.push_back(MakeNode("Camera01", -1, ObjectKind::Camera, Point3(0, 0, 5)));  // 0
    data.nodes.push_back(MakeNode("OnCamera", 0, ObjectKind::Mesh));                      // 1
    data.nodes.push_back(MakeNode("Base", -1, ObjectKind::Mesh, Point3(1, 1, 0)));        // 2
    data.nodes.push_back(MakeNode("Lamp", 2, ObjectKind::Light, Point3(0, 3, 0)));        // 3
    data.nodes.push_back(MakeNode("OnLamp", 3, ObjectKind::Mesh, Point3(2, 0, 0)));       // 4
    data.nodes.push_back(MakeNode("Dummy", 2, ObjectKind::Helper, Point3(0, 0, 7)));      // 5
    data.nodes.push_back(MakeNode("OnDummy", 5, ObjectKind::Mesh, Point3(0, -4, 0)));     // 6
    Load(data);
    ExpectMeshesInPlace(ExportOptions(), All);

    // Helpers off: the helper's child hangs in Base's frame.
    ExportOptions noHelpers;
    noHelpers.exportDummy = 0;
    ExpectMeshesInPlace(noHelpers, All);
}

TEST_F(ReaderPlacementTest, SelectedChildrenOfUnselectedParentsKeepTheirWorldPlacement) {
    SceneData data;
    data.nodes.push_back(MakeNode("Unselected", -1, ObjectKind::Mesh, Point3(0, 0, 5)));  // 0
    data.nodes.push_back(MakeNode("Selected", 0, ObjectKind::Mesh, Point3(1, 0, 0)));     // 1
    data.nodes.push_back(MakeNode("Root", -1, ObjectKind::Mesh, Point3(-3, 0, 0)));       // 2
    data.nodes.push_back(MakeNode("Skipped", 2, ObjectKind::Mesh, Point3(0, 2, 0)));      // 3
    data.nodes.push_back(MakeNode("Deep", 3, ObjectKind::Mesh, Point3(0, 0, 1)));         // 4
    Load(data);
    for (int selected : {1, 2, 4}) m_host->SelectNode(m_scene->Node(selected), 0);
    ExpectMeshesInPlace(
        ExportOptions(), [](int i) { return i == 1 || i == 2 || i == 4; }, SCENE_EXPORT_SELECTED);
}

TEST_F(ReaderPlacementTest, NamesEveryReaderTakesInEveryModeAndForm) {
    SceneData data;
    const char* names[] = {"9", "Door{L}", "Wheel (left)", "my \"car\"", "template", "a,b;c"};
    for (int i = 0; i < 6; ++i)
        data.nodes.push_back(MakeNode(names[i], -1, ObjectKind::Mesh, Point3(3.0f * i, 0, 0)));
    Load(data);
    ExpectMeshesInPlace(ExportOptions(), All);

    const std::set<std::string> frameNames = {"_9",       "Door_L_",   "Wheel__left_",
                                              "my__car_", "_template", "a_b_c"};
    const std::set<std::string> meshNames = {"TDX9",     "Door_L_",   "Wheel__left_",
                                             "my__car_", "_template", "a_b_c"};
    for (int mode = 0; mode <= 2; ++mode) {
        for (int type = 0; type <= 2; ++type) {
            ASSERT_TRUE(Export(ExportOptions(), mode, type));
            std::set<std::string> written;
            for (const XDataObject& object : xtest::ReadBack(m_path).objects)
                written.insert(object.name);
            EXPECT_EQ(written, mode == 0 ? meshNames : frameNames) << mode << " " << kForms[type];
            if (mode == 0) continue;
            Assimp::Importer importer;
            const aiScene* scene = importer.ReadFile(m_path, 0);
            ASSERT_NE(scene, nullptr);
            std::multiset<std::string> read;
            CollectNodeNames(scene->mRootNode, read);
            for (const std::string& name : frameNames) EXPECT_EQ(read.count(name), 1u) << name;
        }
    }
}

// Two nodes whose names differ only where the rule replaces characters, and a node inside
// another of the same name: every frame gets a name of its own, and each mesh stays where
// its own node puts it.
TEST_F(ReaderPlacementTest, EveryFrameNameNamesOneFrame) {
    SceneData data;
    data.nodes.push_back(MakeNode("a.b", -1, ObjectKind::Mesh, Point3(1, 0, 0)));  // 0
    data.nodes.push_back(MakeNode("a b", -1, ObjectKind::Mesh, Point3(0, 1, 0)));  // 1
    data.nodes.push_back(MakeNode("Box", -1, ObjectKind::Mesh, Point3(0, 0, 2)));  // 2
    data.nodes.push_back(MakeNode("Box", 2, ObjectKind::Mesh, Point3(3, 0, 0)));   // 3
    data.nodes.push_back(
        MakeNode("Box_2", -1, ObjectKind::Mesh, Point3(0, 4, 4)));  // 4: the user's own
    data.nodes.push_back(MakeNode("Box", 3, ObjectKind::Helper, Point3(0, 5, 0)));  // 5
    Load(data);
    ExpectMeshesInPlace(ExportOptions(), All);

    const std::multiset<std::string> expected = {"a_b", "a_b_2", "Box", "Box_3", "Box_2", "Box_4"};
    for (int mode = 1; mode <= 2; ++mode) {
        for (int type = 0; type <= 2; ++type) {
            std::string what = std::to_string(mode) + " " + kForms[type];
            ASSERT_TRUE(Export(ExportOptions(), mode, type));
            std::multiset<std::string> written;
            std::function<void(const XDataObject&)> collect = [&](const XDataObject& object) {
                if (object.templateName == "Frame" && !object.name.empty())
                    written.insert(object.name);
                for (const auto& child : object.children)
                    if (!child.IsReference()) collect(*child.object);
            };
            for (const XDataObject& object : xtest::ReadBack(m_path).objects) collect(object);
            EXPECT_EQ(written, expected) << what;

            Assimp::Importer importer;
            const aiScene* scene = importer.ReadFile(m_path, 0);
            ASSERT_NE(scene, nullptr) << what;
            std::multiset<std::string> read;
            CollectNodeNames(scene->mRootNode, read);
            for (const std::string& name : expected)
                EXPECT_EQ(read.count(name), 1u) << what << ": " << name;
        }
    }
}

}  // namespace
