// Preparing a host mesh once for every reader: render normals that stay while nothing they
// depend on changes and are worked out again after any change, the node object's mesh
// shared by IGame, and IGame faces put together on request.
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "platform/max/HostScene.h"
#include "platform/max/IGame.h"
#include "platform/max/Node.h"
#include "tests/max/TestScenes.h"

using namespace tarvo;

namespace {

void ExpectNear(const Point3& actual, const Point3& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-6f);
    EXPECT_NEAR(actual.y, expected.y, 1e-6f);
    EXPECT_NEAR(actual.z, expected.z, 1e-6f);
}

// One triangle in the xy plane, wound towards +z, in smoothing group 1: every vertex has
// the one normal (0, 0, 1).
Mesh UpTriangle() {
    Mesh mesh;
    mesh.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.faces.resize(1);
    mesh.faces[0].v[0] = 0, mesh.faces[0].v[1] = 1, mesh.faces[0].v[2] = 2;
    mesh.faces[0].setSmGroup(1);
    mesh.buildNormals();
    return mesh;
}

struct Edit {
    const char* what;
    std::function<void(Mesh&)> change;
    Point3 normalAtVertex0;
};

}  // namespace

TEST(HostMeshNormals, EveryKindOfChangeAfterBuildingGivesTheNewNormals) {
    const std::vector<Edit> edits = {
        {"a vertex moved through getVert", [](Mesh& m) { m.getVert(2) = Point3(0, 0, 1); },
         Point3(0, -1, 0)},
        {"a vertex moved through verts", [](Mesh& m) { m.verts[2] = Point3(0, 0, 1); },
         Point3(0, -1, 0)},
        {"the vertices replaced",
         [](Mesh& m) {
             m.verts = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
         },
         Point3(0, 0, -1)},
        {"a face turned over", [](Mesh& m) { std::swap(m.getFace(0).v[1], m.getFace(0).v[2]); },
         Point3(0, 0, -1)},
        {"a specified normal given",
         [](Mesh& m) {
             m.specifiedNormals.assign(3, Point3());
             m.specifiedNormals[0] = Point3(2, 0, 0);
         },
         Point3(1, 0, 0)},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.what);
        Mesh mesh = UpTriangle();
        ExpectNear(mesh.getRVert(0).rn.getNormal(), Point3(0, 0, 1));
        edit.change(mesh);
        mesh.buildNormals();
        ExpectNear(mesh.getRVert(0).rn.getNormal(), edit.normalAtVertex0);
    }
}

TEST(HostMeshNormals, ASmoothingGroupTakenAwayLeavesTheVertexWithoutNormals) {
    Mesh mesh = UpTriangle();
    ASSERT_EQ(mesh.getRVert(0).rFlags & NORCT_MASK, 1u);
    mesh.getFace(0).setSmGroup(0);
    mesh.buildNormals();
    EXPECT_EQ(mesh.getRVert(0).rFlags & NORCT_MASK, 0u);
}

TEST(HostMeshNormals, AnUnchangedMeshKeepsItsNormalsUntilTheCacheIsInvalidated) {
    Mesh mesh = UpTriangle();
    Point3& held = mesh.getVert(2);  // taken before the build below, written after it
    mesh.buildNormals();
    held = Point3(0, 0, 1);
    mesh.buildNormals();
    ExpectNear(mesh.getRVert(0).rn.getNormal(), Point3(0, 0, 1));  // kept: no change seen
    mesh.InvalidateGeomCache();
    mesh.buildNormals();
    ExpectNear(mesh.getRVert(0).rn.getNormal(), Point3(0, -1, 0));
}

TEST(HostMeshNormals, AssigningAnotherMeshOrItsVerticesGivesItsNormals) {
    Mesh down = UpTriangle();
    down.verts = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
    down.buildNormals();

    Mesh assigned = UpTriangle();
    assigned = down;
    assigned.buildNormals();
    ExpectNear(assigned.getRVert(0).rn.getNormal(), Point3(0, 0, -1));

    // Both meshes went through the same steps, so their vertex lists have seen as many
    // changes: taking the other's list must still count as one.
    Mesh verticesOnly = UpTriangle();
    verticesOnly.verts = down.verts;
    verticesOnly.buildNormals();
    ExpectNear(verticesOnly.getRVert(0).rn.getNormal(), Point3(0, 0, -1));

    Mesh moved = UpTriangle();
    moved = std::move(down);
    moved.buildNormals();
    ExpectNear(moved.getRVert(0).rn.getNormal(), Point3(0, 0, -1));
}

namespace {

// A one-node scene holding the box, its sides in smoothing groups 1 to 6.
scene::SceneData BoxScene() {
    scene::MeshData box = testscenes::Box();
    for (std::size_t f = 0; f < box.faces.size(); ++f) box.faces[f].smGroup = 1u << (f / 2);
    scene::SceneData data;
    data.nodes = {testscenes::MeshNode("Box", box)};
    return data;
}

TriObject* BaseMeshObject(HostScene& scene, int node) {
    Object* object = scene.Node(node)->EvalWorldState(0).obj;
    EXPECT_EQ(object->ClassID(), TRIOBJ_CLASS_ID);
    return static_cast<TriObject*>(object);
}

}  // namespace

TEST(IGameHostMesh, TheNodeObjectsMeshIsTheOneIGamePrepares) {
    HostScene scene(BoxScene());
    scene.IGame()->InitialiseIGame();
    auto* mesh = static_cast<IGameMesh*>(scene.IGame()->GetTopLevelNode(0)->GetIGameObject());
    ASSERT_TRUE(mesh->InitializeData());
    TriObject* object = BaseMeshObject(scene, 0);
    EXPECT_EQ(object->Source(), &scene.NodeRecord(0).mesh);
    EXPECT_EQ(mesh->GetMaxMesh(), &object->GetMesh());
    EXPECT_EQ(mesh->GetNumberOfNormals(), 6);
    EXPECT_EQ(object->GetMesh().getRVert(0).rFlags & NORCT_MASK, 3u);
}

TEST(IGameHostMesh, TheInitialPoseOfASkinSharesTheNodeObjectsMesh) {
    scene::SceneData data = BoxScene();
    scene::ModifierData skin;
    skin.kind = scene::ModifierKind::Skin;
    skin.skin.bones = {1};
    skin.skin.weights = {{{0, 1.0f}}};
    data.nodes[0].derived = {scene::DerivedData{{skin}}};
    data.nodes.push_back(testscenes::PlainNode("Bone", scene::ObjectKind::Helper));
    HostScene scene(data);
    scene.IGame()->InitialiseIGame();
    IGameObject* object = scene.IGame()->GetTopLevelNode(0)->GetIGameObject();
    ASSERT_NE(object->GetIGameSkin(), nullptr);
    IGameMesh* pose = object->GetIGameSkin()->GetInitialPose();
    EXPECT_EQ(pose->GetMaxMesh(), &BaseMeshObject(scene, 0)->GetMesh());
    EXPECT_EQ(pose->GetMaxMesh(), static_cast<IGameMesh*>(object)->GetMaxMesh());
}

TEST(IGameHostMesh, AMeshOverAnotherRecordOrAnEditedObjectGetsItsOwn) {
    HostScene scene(BoxScene());
    scene.IGame()->InitialiseIGame();
    Mesh& objectMesh = BaseMeshObject(scene, 0)->GetMesh();

    scene::MeshData oneGroup = testscenes::Box();
    for (scene::FaceData& face : oneGroup.faces) face.smGroup = 1;
    IGameMesh other(scene.Node(0), &oneGroup, scene.IGame());
    ASSERT_TRUE(other.InitializeData());
    EXPECT_NE(other.GetMaxMesh(), &objectMesh);
    EXPECT_EQ(other.GetNumberOfNormals(), 8);  // one per corner of the cube

    objectMesh.faces.resize(2);  // no longer the record's mesh
    IGameMesh edited(scene.Node(0), &scene.NodeRecord(0).mesh, scene.IGame());
    ASSERT_TRUE(edited.InitializeData());
    EXPECT_NE(edited.GetMaxMesh(), &objectMesh);
    EXPECT_EQ(edited.GetNumberOfNormals(), 6);
    EXPECT_EQ(edited.GetMaxMesh()->getNumFaces(), 12);
}

TEST(IGameHostMesh, FacesHeldWhileAskingForMoreStayTheirOwn) {
    HostScene scene(BoxScene());
    scene.IGame()->InitialiseIGame();
    auto* mesh = static_cast<IGameMesh*>(scene.IGame()->GetTopLevelNode(0)->GetIGameObject());
    ASSERT_TRUE(mesh->InitializeData());
    const scene::MeshData& record = scene.NodeRecord(0).mesh;
    std::vector<FaceEx*> held;
    for (int f = 0; f < IGameMesh::kRecentFaces; ++f) held.push_back(mesh->GetFace(f));
    for (int f = 0; f < IGameMesh::kRecentFaces; ++f) {
        SCOPED_TRACE(f);
        const FaceEx& face = *held[static_cast<std::size_t>(f)];
        EXPECT_EQ(face.meshFaceIndex, f);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(face.vert[c], record.faces[static_cast<std::size_t>(f)].v[c]);
        EXPECT_EQ(face.smGrp, record.faces[static_cast<std::size_t>(f)].smGroup);
        // Side f / 2 has its own normal, the same entry for all three corners.
        EXPECT_EQ(face.norm[0], face.norm[2]);
        ExpectNear(mesh->GetNormal(static_cast<int>(face.norm[1]), true),
                   testscenes::kBoxSideNormals[static_cast<std::size_t>(f / 2)]);
    }
}
