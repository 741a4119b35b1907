// MeshNormals: counts by sharing mode, smoothing groups and explicit normals, flipping,
// the axis swap and the transform without frames.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "../max/TestScenes.h"
#include "MeshTestSupport.h"
#include "mesh/Mesh.h"

namespace {

using meshtest::ExportRun;
using meshtest::MeshOptions;
using meshtest::OneMeshScene;
using meshtest::ReadNormals;
using meshtest::Vec3;
using tarvo::scene::MeshData;

// The box with one smoothing group per side.
MeshData SmoothedBox() {
    MeshData box = tarvo::testscenes::Box();
    for (std::size_t f = 0; f < box.faces.size(); ++f) box.faces[f].smGroup = 1u << (f / 2);
    return box;
}

meshtest::NormalsPayloadView NormalsOf(const MeshData& mesh, const ExportOptions& options) {
    ExportRun run(OneMeshScene(mesh), options);
    const d3dx::XDataObject* normals = meshtest::ChildOf(run.OnlyMesh(), "MeshNormals");
    EXPECT_NE(normals, nullptr);
    return normals ? ReadNormals(*normals) : meshtest::NormalsPayloadView{};
}

Vec3 Swapped(const Point3& p) {
    return {p.x, p.z, p.y};
}

TEST(MeshNormals, TheBoxHas36NormalsWithNoneAnd6WhenShared) {
    ExportOptions options = MeshOptions();
    options.optMesh = 0;
    auto none = NormalsOf(SmoothedBox(), options);
    EXPECT_EQ(none.normals.size(), 36u);
    ASSERT_EQ(none.faces.size(), 12u);
    EXPECT_EQ(none.faces[5], (std::array<std::uint32_t, 3>{15, 16, 17}));
    for (int optMesh : {1, 2}) {
        options.optMesh = optMesh;
        auto shared = NormalsOf(SmoothedBox(), options);
        ASSERT_EQ(shared.normals.size(), 6u) << optMesh;
        for (std::size_t f = 0; f < 12; ++f) {
            Vec3 expected = Swapped(tarvo::testscenes::kBoxSideNormals[f / 2]);
            for (std::uint32_t index : shared.faces[f])
                EXPECT_EQ(shared.normals.at(index), expected) << f;
        }
    }
}

TEST(MeshNormals, FacesWithoutSmoothingGroupUseTheirFaceNormal) {
    // Without groups the box's corners take their face normals, as the sides are flat.
    ExportOptions options = MeshOptions();
    auto normals = NormalsOf(tarvo::testscenes::Box(), options);
    ASSERT_EQ(normals.normals.size(), 6u);
    for (std::size_t f = 0; f < 12; ++f)
        for (std::uint32_t index : normals.faces[f])
            EXPECT_EQ(normals.normals[index], Swapped(tarvo::testscenes::kBoxSideNormals[f / 2]));
}

TEST(MeshNormals, OneSmoothingGroupAveragesTheCorners) {
    MeshData box = tarvo::testscenes::Box();
    for (auto& face : box.faces) face.smGroup = 1;
    auto normals = NormalsOf(box, MeshOptions());
    ASSERT_EQ(normals.normals.size(), 8u);  // one per corner of the cube
    const float d = 1.0f / std::sqrt(3.0f);
    for (const Vec3& n : normals.normals) {
        EXPECT_NEAR(std::fabs(n.x), d, 1e-6f);
        EXPECT_NEAR(std::fabs(n.y), d, 1e-6f);
        EXPECT_NEAR(std::fabs(n.z), d, 1e-6f);
    }
}

TEST(MeshNormals, FlippingNegatesEveryNormalAndKeepsTheIndices) {
    ExportOptions options = MeshOptions();
    auto plain = NormalsOf(SmoothedBox(), options);
    options.flipNormals = 1;
    auto flipped = NormalsOf(SmoothedBox(), options);
    ASSERT_EQ(flipped.normals.size(), plain.normals.size());
    for (std::size_t i = 0; i < plain.normals.size(); ++i)
        EXPECT_EQ(flipped.normals[i],
                  (Vec3{-plain.normals[i].x, -plain.normals[i].y, -plain.normals[i].z}));
    EXPECT_EQ(flipped.faces, plain.faces);
}

TEST(MeshNormals, RightHandedKeepsAxesAndCornerOrder) {
    ExportOptions options = MeshOptions();
    options.leftHanded = 0;
    options.optMesh = 0;
    auto normals = NormalsOf(SmoothedBox(), options);
    EXPECT_EQ(normals.normals[0], (Vec3{0, 0, -1}));
    EXPECT_EQ(normals.faces[0], (std::array<std::uint32_t, 3>{0, 1, 2}));
    options.leftHanded = 1;
    normals = NormalsOf(SmoothedBox(), options);
    EXPECT_EQ(normals.normals[0], (Vec3{0, -1, 0}));
}

TEST(MeshNormals, ExplicitNormalsAreTakenPerCornerInOutputOrder) {
    MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.faces.push_back({{0, 1, 2}, 1, 0});
    tarvo::scene::ExplicitNormals explicitNormals;
    explicitNormals.normals = {{1, 0, 0}, {0, 1, 0}, {0, 0, 2}};
    explicitNormals.faces = {{0, 1, 2}};
    mesh.normals = explicitNormals;
    ExportOptions options = MeshOptions();
    options.customNormals = 1;
    auto normals = NormalsOf(mesh, options);
    // Listed in output corner order (host corners 0, 2, 1), normalised, axes swapped.
    EXPECT_EQ(normals.normals, (std::vector<Vec3>{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
    EXPECT_EQ(normals.faces[0], (std::array<std::uint32_t, 3>{0, 1, 2}));
}

TEST(MeshNormals, WithoutFramesNormalsFollowTheNodeTransformAndStayUnit) {
    tarvo::scene::SceneData scene = OneMeshScene(SmoothedBox());
    scene.nodes[0].transform.scale = Point3(1, 1, 5);
    scene.nodes[0].transform.rotation = QuatFromAxisAngle(Point3(0, 0, 1), 1.5707963f);
    scene.nodes[0].transform.position = Point3(7, 8, 9);
    ExportOptions options = MeshOptions();
    options.frameSetting = 0;
    ExportRun run(scene, options);
    auto normals = ReadNormals(*meshtest::ChildOf(run.OnlyMesh(), "MeshNormals"));
    ASSERT_EQ(normals.normals.size(), 6u);
    for (const Vec3& n : normals.normals)
        EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-5f);
    // The host's +x side turns to +y under a quarter turn about z; written as (0, 0, 1).
    const Vec3& right = normals.normals[normals.faces[10][0]];
    EXPECT_NEAR(right.x, 0.0f, 1e-5f);
    EXPECT_NEAR(right.z, 1.0f, 1e-5f);
}

// A triangle with no smoothing group, leaning at 45° about z: its face normal is
// (1, 1, 0) / √2 in object space.
MeshData LeaningTriangle() {
    MeshData mesh;
    mesh.vertices = {{1, 0, 0}, {0, 1, 0}, {1, 0, 1}};
    mesh.faces.push_back({{0, 1, 2}, 0, 0});
    return mesh;
}

Vec3 Minus(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 UnitCross(const Vec3& a, const Vec3& b) {
    Vec3 c{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    float length = std::sqrt(Dot(c, c));
    return {c.x / length, c.y / length, c.z / length};
}

void ExpectNear(const Vec3& actual, const Vec3& expected, float tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

Vec3 FromAssimp(const aiVector3D& v) {
    return {v.x, v.y, v.z};
}

// Stretching y by 4 tilts the surface towards x: the scaled triangle's normal is
// (4, 1, 0) / √17 = (0.970, 0.243, 0). Carrying the normal like a position would tilt it
// the wrong way, to (0.243, 0.970, 0).
TEST(MeshNormals, WithoutFramesANonUniformScaleKeepsNormalsPerpendicularToTheSurface) {
    tarvo::scene::SceneData scene = OneMeshScene(LeaningTriangle());
    scene.nodes[0].transform.scale = Point3(1, 4, 1);
    ExportOptions options = MeshOptions();
    options.frameSetting = 0;
    ExportRun run(scene, options);
    const float r = 1.0f / std::sqrt(17.0f);
    const Vec3 expected{4 * r, 0, r};  // written as x, z, y

    auto mesh = meshtest::ReadMesh(run.OnlyMesh());
    auto normals = ReadNormals(*meshtest::ChildOf(run.OnlyMesh(), "MeshNormals"));
    ASSERT_EQ(mesh.faces.size(), 1u);
    ASSERT_EQ(normals.normals.size(), 1u);
    const Vec3& n = normals.normals[0];
    ExpectNear(n, expected, 1e-6f);
    EXPECT_NEAR(Dot(n, n), 1.0f, 1e-6f);
    const auto& corners = mesh.faces[0];
    EXPECT_NEAR(Dot(n, Minus(mesh.vertices[corners[1]], mesh.vertices[corners[0]])), 0.0f, 1e-6f);
    EXPECT_NEAR(Dot(n, Minus(mesh.vertices[corners[2]], mesh.vertices[corners[0]])), 0.0f, 1e-6f);

    // Assimp's own triangle, wound counter-clockwise in its right-handed axes, faces the way
    // of the normal it read; both are ours with z negated.
    meshtest::AssimpReadBack assimp(run.Path());
    const aiMesh& theirs = assimp.OnlyMesh();
    ASSERT_EQ(theirs.mNumFaces, 1u);
    ASSERT_TRUE(theirs.HasNormals());
    const unsigned* index = theirs.mFaces[0].mIndices;
    Vec3 p0 = FromAssimp(theirs.mVertices[index[0]]), p1 = FromAssimp(theirs.mVertices[index[1]]),
         p2 = FromAssimp(theirs.mVertices[index[2]]);
    Vec3 faceNormal = UnitCross(Minus(p1, p0), Minus(p2, p0));
    for (unsigned k = 0; k < 3; ++k) {
        Vec3 theirNormal = FromAssimp(theirs.mNormals[index[k]]);
        ExpectNear(theirNormal, {expected.x, expected.y, -expected.z}, 1e-6f);
        ExpectNear(theirNormal, faceNormal, 1e-5f);
    }
}

using FloatBits = std::array<std::uint32_t, 3>;

FloatBits BitsOf(const Vec3& v) {
    return std::bit_cast<FloatBits>(v);
}

// A rotation times one scale factor, mirroring or not, turns normals as it turns positions:
// such nodes keep the plain transform, so their files keep every byte.
TEST(MeshNormals, WithoutFramesARotationTimesAUniformScaleKeepsThePlainTransformBitForBit) {
    const Quat tilt = QuatFromAxisAngle(Point3(1, 2, 3), 0.7f);
    const Quat turn = QuatFromAxisAngle(Point3(0, 0, 1), -0.4f);
    const float scales[] = {1.0f, 2.5f, -1.5f};
    for (float scale : scales) {
        SCOPED_TRACE(scale);
        tarvo::scene::SceneData scene = OneMeshScene(SmoothedBox());
        scene.nodes[0].transform.rotation = tilt;
        scene.nodes[0].transform.scale = Point3(scale, scale, scale);
        scene.nodes[0].transform.position = Point3(7, 8, 9);
        scene.nodes[0].objectOffset.rotation = turn;
        Matrix3 linear = HostScene(scene).FindNode("Box")->GetObjTMAfterWSM(0);
        linear.NoTrans();
        ExportOptions options = MeshOptions();
        options.frameSetting = 0;
        ExportRun run(scene, options);
        auto normals = ReadNormals(*meshtest::ChildOf(run.OnlyMesh(), "MeshNormals"));
        ASSERT_EQ(normals.faces.size(), 12u);
        for (std::size_t f = 0; f < 12; ++f) {
            Vec3 plain = Swapped(
                linear.VectorTransform(tarvo::testscenes::kBoxSideNormals[f / 2]).Normalize());
            const Vec3& written = normals.normals.at(normals.faces[f][0]);
            EXPECT_EQ(BitsOf(written), BitsOf(plain)) << f;
        }
    }
}

TEST(MeshNormals, OffMeansNoMeshNormals) {
    ExportOptions options = MeshOptions();
    options.normals = 0;
    ExportRun run(OneMeshScene(SmoothedBox()), options);
    EXPECT_EQ(meshtest::ChildOf(run.OnlyMesh(), "MeshNormals"), nullptr);
}

// Two triangles bent along their shared edge (vertices 1 and 2): the first in group 1,
// the second in no group, so the shared vertices have one render normal, the first face's.
MeshData BentPair() {
    MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}};
    mesh.faces.push_back({{0, 1, 2}, 1, 0});
    mesh.faces.push_back({{1, 3, 2}, 0, 0});
    return mesh;
}

TEST(MeshNormals, AFaceInNoGroupTakesItsFaceNormalAtAVertexWhoseOnlyNormalIsAnotherFaces) {
    for (int optMesh : {0, 1, 2}) {
        ExportOptions options = MeshOptions();
        options.optMesh = optMesh;
        options.leftHanded = 0;
        auto normals = NormalsOf(BentPair(), options);
        ASSERT_EQ(normals.faces.size(), 2u);
        const Vec3 first{0, 0, 1};
        const float d = 1.0f / std::sqrt(3.0f);
        const Vec3 second{-d, -d, d};
        for (std::uint32_t index : normals.faces[0]) EXPECT_EQ(normals.normals.at(index), first);
        for (std::uint32_t index : normals.faces[1]) {
            const Vec3& n = normals.normals.at(index);
            EXPECT_NEAR(n.x, second.x, 1e-6f) << optMesh;
            EXPECT_NEAR(n.y, second.y, 1e-6f) << optMesh;
            EXPECT_NEAR(n.z, second.z, 1e-6f) << optMesh;
        }
        EXPECT_EQ(normals.normals.size(), optMesh == 0 ? 6u : 2u);
    }
}

TEST(MeshNormals, EachCornerTakesTheExplicitNormalItNamesWhenSharing) {
    MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    mesh.faces.push_back({{0, 1, 2}, 1, 0});
    mesh.faces.push_back({{1, 3, 2}, 1, 0});
    tarvo::scene::ExplicitNormals explicitNormals;
    explicitNormals.normals = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    // Host vertices 1 and 2 name other normals in the second face than in the first.
    explicitNormals.faces = {{0, 1, 2}, {2, 0, 1}};
    mesh.normals = explicitNormals;
    ExportOptions options = MeshOptions();
    options.customNormals = 1;
    options.leftHanded = 0;
    auto normals = NormalsOf(mesh, options);
    EXPECT_EQ(normals.normals, (std::vector<Vec3>{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
    ASSERT_EQ(normals.faces.size(), 2u);
    EXPECT_EQ(normals.faces[0], (std::array<std::uint32_t, 3>{0, 1, 2}));
    EXPECT_EQ(normals.faces[1], (std::array<std::uint32_t, 3>{2, 0, 1}));
}

TEST(MeshNormals, AnExplicitNaNNormalGivesEveryCornerNamingItAnEntryOfItsOwn) {
    MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.faces.push_back({{0, 1, 2}, 1, 0});
    mesh.faces.push_back({{0, 1, 2}, 1, 0});
    tarvo::scene::ExplicitNormals explicitNormals;
    explicitNormals.normals = {{NAN, 0, 0}, {0, 0, 1}};
    explicitNormals.faces = {{0, 1, 1}, {0, 1, 1}};
    mesh.normals = explicitNormals;
    ExportOptions options = MeshOptions();
    options.customNormals = 1;
    options.leftHanded = 0;
    auto normals = NormalsOf(mesh, options);
    // A NaN equals nothing, so both corners naming it get their own entry; (0, 0, 1) is shared.
    ASSERT_EQ(normals.faces.size(), 2u);
    EXPECT_EQ(normals.faces[0], (std::array<std::uint32_t, 3>{0, 1, 1}));
    EXPECT_EQ(normals.faces[1], (std::array<std::uint32_t, 3>{2, 1, 1}));
    EXPECT_EQ(normals.normals.size(), 3u);
}

TEST(MeshNormals, AddUniqueNormalReturnsTheFirstEqualEntry) {
    NormalList list;
    list.dedupe = true;
    EXPECT_EQ(AddUniqueNormal(list, Point3(0, 0, 1)), 0u);
    EXPECT_EQ(AddUniqueNormal(list, Point3(0, 1, 0)), 1u);
    EXPECT_EQ(AddUniqueNormal(list, Point3(-0.0f, 0, 1)), 0u);  // -0.0 equals 0.0
    EXPECT_EQ(AddUniqueNormal(list, Point3(NAN, 0, 1)), 2u);    // a NaN matches nothing
    EXPECT_EQ(AddUniqueNormal(list, Point3(NAN, 0, 1)), 3u);
    list.dedupe = false;
    EXPECT_EQ(AddUniqueNormal(list, Point3(0, 0, 1)), 4u);
}

TEST(MeshNormals, ProgressIsReportedAboutOncePerPercentOfFaces) {
    // 250 faces: a step of 2 faces, so updates at faces 0, 2, 4 ... with 100 × f / 250.
    MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (int f = 0; f < 250; ++f) mesh.faces.push_back({{0, 1, 2}, 1, 0});
    ExportRun run(OneMeshScene(mesh, "Plane"), MeshOptions());
    std::vector<std::string> normals;
    for (const auto& update : run.ProgressUpdates())
        if (update.find("normals") != std::string::npos) normals.push_back(update);
    std::vector<std::string> expected = {"0 Plane normals."};
    for (int f = 0; f < 250; f += 2)
        expected.push_back(std::to_string(100 * f / 250) + " Plane normals.");
    EXPECT_EQ(normals, expected);
}

TEST(GetCornerNormal, FollowsTheRenderVertexRules) {
    Mesh mesh;
    mesh.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.faces.resize(1);
    mesh.faces[0].v[0] = 0, mesh.faces[0].v[1] = 1, mesh.faces[0].v[2] = 2;
    mesh.faces[0].smGroup = 0b0110;
    mesh.buildNormals();
    const Point3 faceNormal = mesh.getFaceNormal(0);
    RNormal extra[3] = {RNormal(Point3(1, 0, 0), 0b0010), RNormal(Point3(0, 1, 0), 0b0100),
                        RNormal(Point3(0, 0, 1), 0b1000)};
    RVertex rv;
    rv.rFlags = 3;
    rv.ern = extra;
    EXPECT_EQ(GetCornerNormal(mesh, 0, rv), Point3(0, 1, 0));  // the last one sharing a group
    rv.rFlags = 3 | SPECIFIED_NORMAL;
    rv.rn = RNormal(Point3(0.6f, 0.8f, 0), 0);
    EXPECT_EQ(GetCornerNormal(mesh, 0, rv), Point3(0.6f, 0.8f, 0));
    rv.rFlags = 1;
    EXPECT_EQ(GetCornerNormal(mesh, 0, rv), Point3(0.6f, 0.8f, 0));
    rv.rFlags = 0;
    EXPECT_EQ(GetCornerNormal(mesh, 0, rv), faceNormal);
    mesh.faces[0].smGroup = 0b10000;  // shares no group with any extra normal
    rv.rFlags = 3;
    EXPECT_EQ(GetCornerNormal(mesh, 0, rv), faceNormal);
    mesh.faces[0].smGroup = 0;
    EXPECT_EQ(GetCornerNormal(mesh, 0, rv), faceNormal);
}

}  // namespace
