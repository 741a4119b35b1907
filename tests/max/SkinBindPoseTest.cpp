// A skin that keeps its own bind pose: the host binds it there instead of at time 0, and
// deforms it from there.
#include <gtest/gtest.h>

#include "platform/max/HostScene.h"
#include "platform/max/IGame.h"
#include "platform/max/Node.h"
#include "tests/max/TestScenes.h"

using namespace tarvo;

namespace {

constexpr float kTolerance = 1e-5f;

void ExpectNear(const Point3& a, const Point3& b) {
    EXPECT_NEAR(a.x, b.x, kTolerance);
    EXPECT_NEAR(a.y, b.y, kTolerance);
    EXPECT_NEAR(a.z, b.z, kTolerance);
}

// A bone at (0,0,5) at time 0 that moves to (0,0,9) at 1600, and a box skinned to it whose
// node sits at the origin. The box's vertex 0 follows the bone; vertex 1 has no influence.
scene::SceneData BoneAndBox() {
    scene::SceneData data;
    auto bone = testscenes::PlainNode("Bone", scene::ObjectKind::Helper);
    bone.transform.position = Point3(0, 0, 5);
    bone.animation.position = {{0, Point3(0, 0, 5)}, {1600, Point3(0, 0, 9)}};
    auto box = testscenes::MeshNode("Box", testscenes::Box());
    scene::ModifierData skin;
    skin.kind = scene::ModifierKind::Skin;
    skin.skin.bones = {0};
    skin.skin.weights = {{{0, 1.0f}}};
    box.derived = {scene::DerivedData{{skin}}};
    data.nodes = {bone, box};
    return data;
}

scene::SkinData& SkinOf(scene::SceneData& data) {
    return data.nodes[1].derived[0].modifiers[0].skin;
}

IGameSkin* SkinIn(HostScene& scene) {
    scene.IGame()->InitialiseIGame();
    return scene.IGame()->GetTopLevelNode(1)->GetIGameObject()->GetIGameSkin();
}

TEST(SkinBindPose, KeptTransformsAreTheBindTransforms) {
    scene::SceneData data = BoneAndBox();
    SkinOf(data).initSkinTM = TransMatrix(Point3(1, 0, 0));
    SkinOf(data).initBoneTMs = {TransMatrix(Point3(0, 0, 2))};
    HostScene scene(data);
    IGameSkin* skin = SkinIn(scene);
    ASSERT_NE(skin, nullptr);
    GMatrix m;
    skin->GetInitSkinTM(m);
    ExpectNear(m.ExtractMatrix3().GetTrans(), Point3(1, 0, 0));
    ASSERT_TRUE(skin->GetInitBoneTM(scene.Node(0), m));
    ExpectNear(m.ExtractMatrix3().GetTrans(), Point3(0, 0, 2));
    EXPECT_FALSE(skin->GetInitBoneTM(scene.Node(1), m)) << "the mesh is no bone of its skin";
}

TEST(SkinBindPose, WithoutKeptTransformsTheBindPoseIsTimeZero) {
    scene::SceneData data = BoneAndBox();
    SkinOf(data).initBoneTMs = {std::nullopt};  // an entry may be empty
    HostScene scene(data);
    IGameSkin* skin = SkinIn(scene);
    ASSERT_NE(skin, nullptr);
    GMatrix m;
    skin->GetInitSkinTM(m);
    EXPECT_TRUE(m.ExtractMatrix3() == Matrix3(1));
    ASSERT_TRUE(skin->GetInitBoneTM(scene.Node(0), m));
    ExpectNear(m.ExtractMatrix3().GetTrans(), Point3(0, 0, 5));
}

TEST(SkinBindPose, DeformationStartsFromTheKeptPose) {
    scene::SceneData data = BoneAndBox();
    // Bound with the box one unit along x and the bone at (0,0,2): at time 0 the bone stands
    // 3 higher than when bound, so the bound vertex (one unit along x) is 3 higher too.
    SkinOf(data).initSkinTM = TransMatrix(Point3(1, 0, 0));
    SkinOf(data).initBoneTMs = {TransMatrix(Point3(0, 0, 2))};
    HostScene scene(data);
    IGameSkin* skin = SkinIn(scene);
    ASSERT_NE(skin, nullptr);
    const Point3 stored(-1, -1, -1);  // vertex 0 of the box
    ExpectNear(skin->GetDeformedVertex(0, 0), stored + Point3(1, 0, 3));
    ExpectNear(skin->GetDeformedVertex(0, 1600), stored + Point3(1, 0, 7));
    // Without influences a vertex follows the node, which has not moved.
    ExpectNear(skin->GetDeformedVertex(1, 1600), Point3(1, -1, -1));
}

}  // namespace
