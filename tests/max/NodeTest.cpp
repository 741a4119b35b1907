#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/max/HostScene.h"
#include "platform/max/Node.h"
#include "tests/max/TestScenes.h"

using namespace tarvo;

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const Point3& a, const Point3& b, float tolerance = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// Parent moved by (10, 0, 0) and turned 90 degrees about z; child 2 units along the
// parent's x with its pivot moved by (0, 0, 1).
scene::SceneData Hierarchy() {
    scene::SceneData data;
    auto parent = testscenes::PlainNode("Parent", scene::ObjectKind::Helper);
    parent.transform.position = Point3(10, 0, 0);
    parent.transform.rotation = QuatFromAxisAngle(Point3(0, 0, 1), kPi / 2);
    auto child = testscenes::MeshNode("Child", testscenes::Box(), 0);
    child.transform.position = Point3(2, 0, 0);
    child.objectOffset.position = Point3(0, 0, 1);
    data.nodes = {parent, child};
    return data;
}

}  // namespace

TEST(NodeTransforms, FollowTheParentChainAndThePivot) {
    HostScene scene(Hierarchy());
    INode* parent = scene.Node(0);
    INode* child = scene.Node(1);
    // The child's origin: 2 along the parent's x, which the parent turned onto world y.
    ExpectNear(child->GetNodeTM(0).GetTrans(), Point3(10, 2, 0));
    EXPECT_EQ(child->GetParentTM(0), parent->GetNodeTM(0));
    // The object sits one unit above the node.
    ExpectNear(child->GetObjectTM(0).GetTrans(), Point3(10, 2, 1));
    EXPECT_EQ(child->GetObjTMAfterWSM(0), child->GetObjectTM(0));
    // The parent has no pivot offset: object and node transforms are equal bit for bit.
    EXPECT_EQ(parent->GetObjTMAfterWSM(0), parent->GetNodeTM(0));
    // A top-level node's parent is the root, whose transform is the identity.
    EXPECT_TRUE(parent->GetParentNode()->IsRootNode());
    EXPECT_TRUE(parent->GetParentTM(0).IsIdentity());
}

TEST(NodeTransforms, ANodeOnItsParentHasTheParentsTransformBitForBit) {
    scene::SceneData data = Hierarchy();
    data.nodes[0].transform.rotation = QuatFromAxisAngle(Point3(0, 1, 1), 2.0f);
    data.nodes[0].transform.position = Point3(-0.0f, 0.25f, -3.0f);
    data.nodes[1].transform = scene::Placement{};
    HostScene scene(data);
    Matrix3 parent = scene.Node(0)->GetNodeTM(0), child = scene.Node(1)->GetNodeTM(0);
    EXPECT_EQ(std::memcmp(&parent, &child, sizeof(Matrix3)), 0);
}

TEST(NodeTransforms, TreeAndFlagsComeFromTheRecords) {
    scene::SceneData data = Hierarchy();
    data.nodes[1].hidden = true;
    data.nodes[1].renderable = false;
    data.nodes[1].selected = true;
    data.nodes[1].wireColor = 0x000080FF;
    HostScene scene(data);
    INode* root = scene.RootNode();
    ASSERT_EQ(root->NumberOfChildren(), 1);
    EXPECT_STREQ(root->GetChildNode(0)->GetName(), "Parent");
    ASSERT_EQ(root->GetChildNode(0)->NumberOfChildren(), 1);
    INode* child = root->GetChildNode(0)->GetChildNode(0);
    EXPECT_STREQ(child->GetName(), "Child");
    EXPECT_TRUE(child->IsNodeHidden(FALSE));
    EXPECT_FALSE(child->Renderable());
    EXPECT_TRUE(child->Selected());
    EXPECT_EQ(child->GetWireColor(), 0x000080FFu);
    EXPECT_FALSE(scene.Node(0)->Selected());
    EXPECT_EQ(scene.FindNode("Child"), child);
}

TEST(NodeAnimation, InterpolatesLinearlyAndSphericallyAndHoldsAtTheEnds) {
    scene::SceneData data;
    auto node = testscenes::PlainNode("Mover", scene::ObjectKind::Helper);
    node.animation.position = {{0, Point3(0, 0, 0)}, {1600, Point3(10, 0, 0)}};
    node.animation.rotation = {{0, Quat()}, {1600, QuatFromAxisAngle(Point3(0, 0, 1), kPi / 2)}};
    node.animation.scale = {{800, Point3(1, 1, 1)}, {1600, Point3(3, 3, 3)}};
    data.nodes = {node};
    HostScene scene(data);
    INode* n = scene.Node(0);

    AffineParts parts;
    decomp_affine(n->GetNodeTM(800), &parts);
    ExpectNear(parts.t, Point3(5, 0, 0));
    Matrix3 halfTurn = RotateMatrix(QuatFromAxisAngle(Point3(0, 0, 1), kPi / 4));
    ExpectNear(Point3(1, 0, 0) * RotateMatrix(parts.q), Point3(1, 0, 0) * halfTurn);
    ExpectNear(parts.k, Point3(1, 1, 1));

    decomp_affine(n->GetNodeTM(1200), &parts);
    ExpectNear(parts.k, Point3(2, 2, 2));

    // Before the first key and after the last the end keys hold.
    ExpectNear(n->GetNodeTM(-500).GetTrans(), Point3(0, 0, 0));
    ExpectNear(n->GetNodeTM(5000).GetTrans(), Point3(10, 0, 0));
}

TEST(NodeAnimation, ControllerReportsKeyTimesByComponentWithinTheInterval) {
    scene::SceneData data;
    auto node = testscenes::PlainNode("Mover", scene::ObjectKind::Helper);
    node.animation.position = {{0, Point3()}, {800, Point3()}, {2400, Point3()}};
    node.animation.rotation = {{800, Quat()}, {3200, Quat()}};
    data.nodes = {node, testscenes::PlainNode("Still", scene::ObjectKind::Helper)};
    HostScene scene(data);
    Control* control = scene.Node(0)->GetTMController();

    Tab<TimeValue> times;
    EXPECT_EQ(control->GetKeyTimes(times, Interval(0, 3200), KEYAT_POSITION), 3);
    EXPECT_EQ(times[2], 2400);
    Tab<TimeValue> all;
    control->GetKeyTimes(all, Interval(0, 3200), KEYAT_POSITION | KEYAT_ROTATION | KEYAT_SCALE);
    ASSERT_EQ(all.Count(), 4);  // 0, 800, 2400, 3200: the shared 800 once
    EXPECT_EQ(all[1], 800);
    EXPECT_EQ(all[3], 3200);
    Tab<TimeValue> inside;
    control->GetKeyTimes(inside, Interval(800, 2400), KEYAT_ROTATION);
    ASSERT_EQ(inside.Count(), 1);
    EXPECT_EQ(inside[0], 800);
    Tab<TimeValue> none;
    EXPECT_EQ(scene.Node(1)->GetTMController()->GetKeyTimes(none, Interval(0, 3200), KEYAT_SCALE),
              0);
}

TEST(NodeObjects, EvaluateToTheirSuperClassAndClass) {
    scene::SceneData data;
    data.nodes = {testscenes::MeshNode("Mesh", testscenes::Box()),
                  testscenes::PlainNode("Helper", scene::ObjectKind::Helper),
                  testscenes::PlainNode("Camera", scene::ObjectKind::Camera),
                  testscenes::PlainNode("Light", scene::ObjectKind::Light),
                  testscenes::PlainNode("Shape", scene::ObjectKind::Shape),
                  testscenes::PlainNode("Target", scene::ObjectKind::Target),
                  testscenes::PlainNode("Empty", scene::ObjectKind::None)};
    HostScene scene(data);
    struct Expected {
        SClass_ID super;
        Class_ID id;
    };
    const Expected expected[] = {
        {GEOMOBJECT_CLASS_ID, TRIOBJ_CLASS_ID}, {HELPER_CLASS_ID, DUMMY_CLASS_ID},
        {CAMERA_CLASS_ID, SIMPLE_CAM_CLASS_ID}, {LIGHT_CLASS_ID, OMNI_LIGHT_CLASS_ID},
        {SHAPE_CLASS_ID, SPLINE3D_CLASS_ID},    {GEOMOBJECT_CLASS_ID, TARGET_CLASS_ID}};
    for (int i = 0; i < 6; ++i) {
        Object* obj = scene.Node(i)->EvalWorldState(0).obj;
        ASSERT_NE(obj, nullptr) << i;
        EXPECT_EQ(obj->SuperClassID(), expected[i].super) << i;
        EXPECT_EQ(obj->ClassID(), expected[i].id) << i;
        EXPECT_EQ(scene.Node(i)->GetObjectRef(), obj)
            << "no modifiers: the reference is the object";
    }
    // Without an object the node still refers to one, which evaluates to nothing.
    EXPECT_EQ(scene.Node(6)->EvalWorldState(0).obj, nullptr);
    ASSERT_NE(scene.Node(6)->GetObjectRef(), nullptr);
    EXPECT_EQ(scene.Node(6)->GetObjectRef()->ClassID(), Class_ID(0, 0));
    EXPECT_EQ(scene.RootNode()->EvalWorldState(0).obj, nullptr);
    EXPECT_EQ(scene.RootNode()->GetObjectRef(), nullptr);
}

TEST(NodeObjects, ModifierStackChainsDerivedObjectsDownToTheBase) {
    scene::SceneData data;
    data.nodes = {testscenes::PlainNode("Bone", scene::ObjectKind::Helper)};
    auto skinned = testscenes::MeshNode("Skinned", testscenes::Box());
    scene::ModifierData bend;
    bend.name = "Bend";
    bend.classId = Class_ID(0x11, 0x22);
    scene::ModifierData physique;
    physique.kind = scene::ModifierKind::Physique;
    physique.name = "Physique";
    physique.skin.bones = {0};
    skinned.derived = {scene::DerivedData{{bend}}, scene::DerivedData{{physique}}};
    data.nodes.push_back(skinned);
    HostScene scene(data);

    Object* top = scene.Node(1)->GetObjectRef();
    ASSERT_EQ(top->SuperClassID(), GEN_DERIVOB_CLASS_ID);
    auto* outer = static_cast<IDerivedObject*>(top);
    ASSERT_EQ(outer->NumModifiers(), 1);
    EXPECT_EQ(outer->GetModifier(0)->ClassID(), Class_ID(0x11, 0x22));
    ASSERT_EQ(outer->GetObjRef()->SuperClassID(), GEN_DERIVOB_CLASS_ID);
    auto* inner = static_cast<IDerivedObject*>(outer->GetObjRef());
    EXPECT_EQ(inner->GetModifier(0)->ClassID(), PHYSIQUE_CLASS_ID);
    EXPECT_EQ(inner->GetObjRef(), scene.Node(1)->EvalWorldState(0).obj);
    EXPECT_EQ(inner->GetObjRef()->ClassID(), TRIOBJ_CLASS_ID);
}

TEST(SceneChecks, RefuseBrokenRecordsWithTheirPlace) {
    auto problem = [](scene::SceneData data) {
        try {
            HostScene scene(std::move(data));
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    scene::SceneData data;
    data.nodes = {testscenes::MeshNode("Box", testscenes::Box())};
    data.nodes[0].mesh.faces[3].v[1] = 8;
    EXPECT_EQ(problem(data),
              "node 0 (Box) mesh/faces/3/v: index 8 is out of range: there are 8 vertices");

    data.nodes = {testscenes::PlainNode("A", scene::ObjectKind::Helper, 0)};
    EXPECT_EQ(problem(data), "node 0 (A) parent: the parent must be a node listed before this one");

    data.nodes = {testscenes::PlainNode("A", scene::ObjectKind::Helper)};
    data.nodes[0].animation.position = {{10, Point3()}, {10, Point3()}};
    EXPECT_EQ(problem(data),
              "node 0 (A) animation/position/1/time: key times must rise: 10 follows 10");

    data.nodes.clear();
    data.materials = {scene::MaterialData{}, scene::MaterialData{}};
    data.materials[0].name = "Outer";
    data.materials[0].subMaterials = {1};
    data.materials[1].subMaterials = {0};
    EXPECT_EQ(
        problem(data),
        "material 0 (Outer) subMaterials: the material contains itself through its sub-materials");

    data.materials.clear();
    data.frameRate = 25;
    EXPECT_EQ(problem(data), "frameRate: frames per second times ticks per frame must be 4800");
}
