#include <gtest/gtest.h>

#include <numbers>

#include "platform/max/HostScene.h"
#include "platform/max/IGame.h"
#include "platform/max/Interface.h"
#include "platform/max/Node.h"
#include "tests/max/TestScenes.h"

using namespace tarvo;

namespace {

void ExpectNear(const Point3& a, const Point3& b, float tolerance = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

std::vector<int> ToVector(const Tab<int>& tab) {
    return {tab.begin(), tab.end()};
}

// A quad of two faces with texture coordinates, colours, alpha and two more channels.
scene::MeshData AttributeQuad() {
    scene::MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    mesh.faces.resize(2);
    mesh.faces[0] = {{0, 1, 2}, 1, 0};
    mesh.faces[1] = {{0, 2, 3}, 1, 5};
    mesh.maps[1] = {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}};
    mesh.maps[0] = {{{1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {1, 1, 0}}};
    mesh.maps[-2] = {{{0.25f, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}};
    mesh.maps[3] = {{{0.5f, 0.5f, 0}}, {{0, 0, 0}, {0, 0, 0}}};
    mesh.maps[2] = {{{0.1f, 0.2f, 0}, {0.3f, 0.4f, 0}}, {{1, 1, 1}, {0, 0, 0}}};
    return mesh;
}

}  // namespace

TEST(IGameScene, TopLevelNodesAndChildrenKeepSceneOrder) {
    scene::SceneData data;
    data.nodes = {testscenes::PlainNode("A", scene::ObjectKind::Helper),
                  testscenes::PlainNode("A1", scene::ObjectKind::Helper, 0),
                  testscenes::PlainNode("B", scene::ObjectKind::Camera),
                  testscenes::PlainNode("A2", scene::ObjectKind::Light, 0)};
    HostScene scene(data);
    Interface ip(&scene);
    IGameScene* game = GetIGameInterface();
    ASSERT_EQ(game, scene.IGame());
    EXPECT_TRUE(GetConversionManager()->SetCoordSystem(IGameConversionManager::IGAME_MAX));
    EXPECT_FALSE(GetConversionManager()->SetCoordSystem(IGameConversionManager::IGAME_D3D));
    EXPECT_EQ(GetConversionManager()->GetCoordSystem(), IGameConversionManager::IGAME_MAX);
    game->InitialiseIGame(false);
    ASSERT_EQ(game->GetTopLevelNodeCount(), 2);
    IGameNode* a = game->GetTopLevelNode(0);
    EXPECT_STREQ(a->GetName(), "A");
    EXPECT_STREQ(game->GetTopLevelNode(1)->GetName(), "B");
    ASSERT_EQ(a->GetChildCount(), 2);
    EXPECT_STREQ(a->GetNodeChild(1)->GetName(), "A2");
    EXPECT_EQ(a->GetNodeChild(1)->GetMaxNode(), scene.Node(3));
    EXPECT_EQ(a->GetIGameObject()->GetIGameType(), IGameObject::IGAME_HELPER);
    EXPECT_EQ(game->GetTopLevelNode(1)->GetIGameObject()->GetIGameType(),
              IGameObject::IGAME_CAMERA);
    EXPECT_EQ(a->GetNodeChild(1)->GetIGameObject()->GetIGameType(), IGameObject::IGAME_LIGHT);
    game->ReleaseIGame();
    EXPECT_EQ(game->GetTopLevelNodeCount(), 0);
}

TEST(IGameScene, SelectedOnlyHangsNodesUnderTheNearestSelectedAncestor) {
    scene::SceneData data;
    data.nodes = {testscenes::PlainNode("Top", scene::ObjectKind::Helper),
                  testscenes::PlainNode("Middle", scene::ObjectKind::Helper, 0),
                  testscenes::PlainNode("Leaf", scene::ObjectKind::Helper, 1),
                  testscenes::PlainNode("Other", scene::ObjectKind::Helper)};
    data.nodes[0].selected = data.nodes[2].selected = true;
    HostScene scene(data);
    scene.IGame()->InitialiseIGame(true);
    ASSERT_EQ(scene.IGame()->GetTopLevelNodeCount(), 1);
    IGameNode* top = scene.IGame()->GetTopLevelNode(0);
    ASSERT_EQ(top->GetChildCount(), 1);
    EXPECT_STREQ(top->GetNodeChild(0)->GetName(), "Leaf");
    EXPECT_EQ(top->GetNodeChild(0)->GetNodeParent(), top);
}

TEST(IGameMesh, FacesCarryEveryAttributeIndex) {
    scene::SceneData data;
    data.nodes = {testscenes::MeshNode("Quad", AttributeQuad())};
    HostScene scene(data);
    scene.IGame()->InitialiseIGame();
    IGameObject* object = scene.IGame()->GetTopLevelNode(0)->GetIGameObject();
    ASSERT_EQ(object->GetIGameType(), IGameObject::IGAME_MESH);
    auto* mesh = static_cast<IGameMesh*>(object);
    mesh->SetUseWeightedNormals();
    ASSERT_TRUE(object->InitializeData());

    EXPECT_EQ(mesh->GetNumberOfVerts(), 4);
    EXPECT_EQ(mesh->GetNumberOfFaces(), 2);
    EXPECT_EQ(mesh->GetNumberOfTexVerts(), 4);
    EXPECT_EQ(mesh->GetNumberOfColorVerts(), 2);
    FaceEx* face = mesh->GetFace(1);
    EXPECT_EQ(face->vert[2], 3u);
    EXPECT_EQ(face->texCoord[2], 3u);
    EXPECT_EQ(face->color[0], 1u);
    EXPECT_EQ(face->matID, 5);
    EXPECT_EQ(face->smGrp, 1u);
    EXPECT_EQ(mesh->GetFace(0)->color[2], 1u);
    EXPECT_EQ(mesh->GetTexVertex(2), Point2(1, 1));
    ExpectNear(mesh->GetColorVertex(1), Point3(0, 1, 0));
    // An index past either end of the channel reads as the origin.
    EXPECT_EQ(mesh->GetTexVertex(4), Point2(0, 0));
    EXPECT_EQ(mesh->GetTexVertex(-1), Point2(0, 0));
    EXPECT_EQ(mesh->GetColorVertex(2), Point3(0, 0, 0));
    EXPECT_EQ(mesh->GetAlphaVertex(face->alpha[0]), 0.25f);
    EXPECT_EQ(mesh->GetFace(5), nullptr);

    EXPECT_EQ(ToVector(mesh->GetActiveMapChannelNum()), (std::vector<int>{1, 2, 3}));
    DWORD index[3];
    ASSERT_TRUE(mesh->GetMapFaceIndex(2, 0, index));
    EXPECT_EQ(index[1], 1u);
    ExpectNear(mesh->GetMapVertex(2, index[1]), Point3(0.3f, 0.4f, 0));
    EXPECT_FALSE(mesh->GetMapFaceIndex(7, 0, index));

    EXPECT_EQ(ToVector(mesh->GetActiveMatIDs()), (std::vector<int>{0, 5}));
    EXPECT_EQ(mesh->GetFaceMaterialID(1), 5);
    // A flat quad in one smoothing group has one normal, straight up.
    EXPECT_EQ(mesh->GetNumberOfNormals(), 1);
    ExpectNear(mesh->GetNormal(0, true), Point3(0, 0, 1));
}

TEST(IGameMesh, WithoutColourOrAlphaVerticesCornersAreZeroAndOpaque) {
    scene::SceneData data;
    data.nodes = {testscenes::MeshNode("Box", testscenes::Box())};
    HostScene scene(data);
    scene.IGame()->InitialiseIGame();
    auto* mesh = static_cast<IGameMesh*>(scene.IGame()->GetTopLevelNode(0)->GetIGameObject());
    mesh->InitializeData();
    EXPECT_EQ(mesh->GetNumberOfTexVerts(), 0);
    EXPECT_EQ(mesh->GetNumberOfColorVerts(), 0);
    EXPECT_EQ(mesh->GetFace(0)->texCoord[1], 0u);
    EXPECT_EQ(mesh->GetAlphaVertex(0), 1.0f);
    EXPECT_EQ(mesh->GetTexVertex(0), Point2(0, 0));
    EXPECT_EQ(mesh->GetColorVertex(0), Point3(0, 0, 0));
    EXPECT_EQ(mesh->GetActiveMapChannelNum().Count(), 0);
}

TEST(IGameMesh, WorldSpaceAppliesTheObjectTransformAtTheStaticFrame) {
    scene::SceneData data;
    auto node = testscenes::MeshNode("Box", testscenes::Box());
    node.animation.position = {{0, Point3(0, 0, 0)}, {1600, Point3(10, 0, 0)}};
    node.objectOffset.scale = Point3(2, 1, 1);
    node.transform.rotation = QuatFromAxisAngle(Point3(0, 0, 1), std::numbers::pi_v<float> / 2);
    for (auto& f : node.mesh.faces) f.smGroup = 0;
    data.nodes = {node};
    HostScene scene(data);
    scene.IGame()->InitialiseIGame();
    scene.IGame()->SetStaticFrame(5);  // 800 ticks: halfway
    auto* mesh = static_cast<IGameMesh*>(scene.IGame()->GetTopLevelNode(0)->GetIGameObject());
    mesh->InitializeData();
    ExpectNear(mesh->GetVertex(6, true), Point3(1, 1, 1));
    // Scale x by 2, turn x onto y, move 5 along x: (1,1,1) -> (2,1,1) -> (-1,2,1) -> (4,2,1).
    ExpectNear(mesh->GetVertex(6, false), Point3(4, 2, 1));
    // The right side's normal (+x) turns onto +y; the scale does not tilt it.
    int right = static_cast<int>(mesh->GetFace(10)->norm[0]);
    ExpectNear(mesh->GetNormal(right, false), Point3(0, 1, 0));
}

TEST(IGameSkin, GivesBonesWeightsPoseAndBindTransforms) {
    scene::SceneData data;
    auto upper = testscenes::PlainNode("Upper", scene::ObjectKind::Helper);
    upper.transform.position = Point3(0, 0, 5);
    auto lower = testscenes::PlainNode("Lower", scene::ObjectKind::Helper, 0);
    lower.transform.position = Point3(0, 0, 3);
    lower.animation.rotation = {{0, Quat()}, {1600, QuatFromAxisAngle(Point3(1, 0, 0), 1.0f)}};
    auto arm = testscenes::MeshNode("Arm", testscenes::Box());
    arm.objectOffset.position = Point3(0, 0, 1);
    scene::ModifierData skin;
    skin.kind = scene::ModifierKind::Skin;
    skin.name = "Skin";
    skin.skin.bones = {0, 1};
    skin.skin.weights = {{{0, 1.0f}}, {{0, 0.25f}, {1, 0.75f}}};
    arm.derived = {scene::DerivedData{{skin}}};
    data.nodes = {upper, lower, arm, testscenes::MeshNode("Plain", testscenes::Box())};
    HostScene scene(data);
    scene.IGame()->InitialiseIGame();

    IGameObject* plain = scene.IGame()->GetTopLevelNode(2)->GetIGameObject();
    EXPECT_FALSE(plain->IsObjectSkinned());
    EXPECT_EQ(plain->GetIGameSkin(), nullptr);

    IGameObject* object = scene.IGame()->GetTopLevelNode(1)->GetIGameObject();
    ASSERT_TRUE(object->IsObjectSkinned());
    IGameSkin* s = object->GetIGameSkin();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetSkinType(), IGameSkin::IGAME_SKIN);
    EXPECT_EQ(s->GetTotalBoneCount(), 2);
    EXPECT_EQ(s->GetNumOfSkinnedVerts(), 2);
    EXPECT_EQ(s->GetNumberOfBones(1), 2);
    EXPECT_EQ(s->GetNumberOfBones(5), 0);  // not skinned
    EXPECT_EQ(s->GetWeight(1, 1), 0.75f);
    EXPECT_EQ(s->GetBone(1, 1), scene.Node(1));
    EXPECT_STREQ(s->GetBone(0, 0)->GetName(), "Upper");
    ASSERT_NE(s->GetIGameBone(1, 1), nullptr);
    EXPECT_EQ(s->GetIGameBone(1, 1)->GetMaxNode(), scene.Node(1));
    EXPECT_EQ(s->GetIGameBone(1, 2), nullptr);
    IGameMesh* pose = s->GetInitialPose();
    ASSERT_NE(pose, nullptr);
    pose->InitializeData();
    EXPECT_EQ(pose->GetNumberOfFaces(), 12);

    GMatrix m;
    s->GetInitSkinTM(m);
    ExpectNear(m.ExtractMatrix3().GetTrans(), Point3(0, 0, 1));
    ASSERT_TRUE(s->GetInitBoneTM(scene.Node(1), m));
    ExpectNear(m.ExtractMatrix3().GetTrans(), Point3(0, 0, 8));
    EXPECT_TRUE(m.ExtractMatrix3().GetRow(1) == Point3(0, 1, 0)) << "bind pose is time 0";
    EXPECT_FALSE(s->GetInitBoneTM(scene.Node(3), m));
}

TEST(IGameSkin, PhysiqueIsTheOtherSkinTypeAndASkinWithoutBonesIsNoSkin) {
    scene::SceneData data;
    data.nodes = {testscenes::PlainNode("Bone", scene::ObjectKind::Helper)};
    auto withPhysique = testscenes::MeshNode("P", testscenes::Box());
    scene::ModifierData physique;
    physique.kind = scene::ModifierKind::Physique;
    physique.skin.bones = {0};
    withPhysique.derived = {scene::DerivedData{{physique}}};
    auto emptySkin = testscenes::MeshNode("E", testscenes::Box());
    scene::ModifierData skin;
    skin.kind = scene::ModifierKind::Skin;
    emptySkin.derived = {scene::DerivedData{{skin}}};
    data.nodes.push_back(withPhysique);
    data.nodes.push_back(emptySkin);
    HostScene scene(data);
    scene.IGame()->InitialiseIGame();
    IGameObject* p = scene.IGame()->GetTopLevelNode(1)->GetIGameObject();
    ASSERT_TRUE(p->IsObjectSkinned());
    EXPECT_EQ(p->GetIGameSkin()->GetSkinType(), IGameSkin::IGAME_PHYSIQUE);
    EXPECT_FALSE(scene.IGame()->GetTopLevelNode(2)->GetIGameObject()->IsObjectSkinned());
    // The modifier is still on the stack for the class-id test.
    auto* derived = static_cast<IDerivedObject*>(scene.Node(2)->GetObjectRef());
    EXPECT_EQ(derived->GetModifier(0)->ClassID(), SKIN_CLASSID);
}
