#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "platform/max/HostScene.h"
#include "platform/max/IGame.h"
#include "tests/max/TestScenes.h"

using namespace tarvo;

namespace {

scene::MeshData BoxWithGroups(std::uint32_t (*groupOfSide)(int side)) {
    scene::MeshData box = testscenes::Box();
    for (std::size_t f = 0; f < box.faces.size(); ++f)
        box.faces[f].smGroup = groupOfSide(static_cast<int>(f / 2));
    return box;
}

void ExpectNear(const Point3& a, const Point3& b, float tolerance = 1e-6f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// The IGame mesh of a one-node scene, initialised.
struct OneMesh {
    explicit OneMesh(scene::MeshData source)
        : host([&] {
              scene::SceneData data;
              data.nodes.push_back(testscenes::MeshNode("Box", std::move(source)));
              return data;
          }()) {
        host.IGame()->InitialiseIGame();
        mesh = static_cast<IGameMesh*>(host.IGame()->GetTopLevelNode(0)->GetIGameObject());
        mesh->InitializeData();
    }
    Point3 CornerNormal(int face, int corner) {
        return mesh->GetNormal(static_cast<int>(mesh->GetFace(face)->norm[corner]), true);
    }
    HostScene host;
    IGameMesh* mesh;
};

}  // namespace

TEST(SmoothingGroupNormals, OneGroupPerSideGivesSixNormals) {
    OneMesh box(BoxWithGroups([](int side) { return 1u << side; }));
    EXPECT_EQ(box.mesh->GetNumberOfNormals(), 6);
    for (int f = 0; f < 12; ++f)
        for (int c = 0; c < 3; ++c)
            ExpectNear(box.CornerNormal(f, c), testscenes::kBoxSideNormals[f / 2]);
    // Every corner of the cube meets three sides: three render normals, one per group.
    Mesh* mesh = box.mesh->GetMaxMesh();
    for (int v = 0; v < 8; ++v) {
        RVertex& rv = mesh->getRVert(v);
        ASSERT_EQ(rv.rFlags & NORCT_MASK, 3u);
        EXPECT_EQ(rv.rFlags & SPECIFIED_NORMAL, 0u);
        DWORD masks = 0;
        for (int i = 0; i < 3; ++i) masks |= rv.ern[i].getSmGroup();
        EXPECT_EQ(__builtin_popcount(masks), 3);
    }
}

TEST(SmoothingGroupNormals, OneGroupEverywhereAveragesAtEachCorner) {
    OneMesh box(BoxWithGroups([](int) { return 1u; }));
    EXPECT_EQ(box.mesh->GetNumberOfNormals(), 8);
    const float third = 1.0f / std::sqrt(3.0f);
    for (int f = 0; f < 12; ++f)
        for (int c = 0; c < 3; ++c) {
            // Weighting by corner angle makes the split of each side irrelevant: the corner
            // normal points straight away from the centre.
            Point3 corner =
                box.mesh->GetVertex(static_cast<int>(box.mesh->GetFace(f)->vert[c]), true);
            ExpectNear(box.CornerNormal(f, c), corner * third, 1e-6f);
        }
    Mesh* mesh = box.mesh->GetMaxMesh();
    EXPECT_EQ(mesh->getRVert(0).rFlags & NORCT_MASK, 1u);
}

TEST(SmoothingGroupNormals, GroupZeroGivesFaceNormals) {
    OneMesh box(BoxWithGroups([](int) { return 0u; }));
    for (int f = 0; f < 12; ++f)
        for (int c = 0; c < 3; ++c)
            ExpectNear(box.CornerNormal(f, c), testscenes::kBoxSideNormals[f / 2]);
    Mesh* mesh = box.mesh->GetMaxMesh();
    for (int v = 0; v < 8; ++v) EXPECT_EQ(mesh->getRVert(v).rFlags & NORCT_MASK, 0u);
    for (int f = 0; f < 12; ++f)
        ExpectNear(mesh->getFaceNormal(f), testscenes::kBoxSideNormals[f / 2]);
}

TEST(SmoothingGroupNormals, GroupsLinkedThroughASharedBitMerge) {
    // Bottom in group 1, front in groups 1|2, left in group 2: all three are one smooth
    // surface at vertex 0, the others keep their own normals.
    scene::MeshData box = BoxWithGroups([](int side) -> std::uint32_t {
        return side == 0 ? 1u : side == 2 ? 3u : side == 4 ? 2u : 0u;
    });
    OneMesh one(box);
    Mesh* mesh = one.mesh->GetMaxMesh();
    RVertex& rv = mesh->getRVert(0);
    EXPECT_EQ(rv.rFlags & NORCT_MASK, 1u);
    EXPECT_EQ(rv.rn.getSmGroup(), 3u);
    const float third = 1.0f / std::sqrt(3.0f);
    ExpectNear(rv.rn.getNormal(), Point3(-third, -third, -third));
}

TEST(SmoothingGroupNormals, ExplicitNormalsAreHandedOutAndMarkAgreeingVerticesSpecified) {
    scene::MeshData box = BoxWithGroups([](int) { return 1u; });
    scene::ExplicitNormals normals;
    normals.normals = {Point3(0, 0, 1), Point3(1, 0, 0)};
    for (std::size_t f = 0; f < box.faces.size(); ++f) normals.faces.push_back({0, 0, 0});
    normals.faces[10] = {1, 1, 1};  // a right-side face: its vertices now disagree
    box.normals = normals;
    OneMesh one(box);
    EXPECT_EQ(one.mesh->GetNumberOfNormals(), 2);
    EXPECT_EQ(one.mesh->GetFace(10)->norm[0], 1u);
    ExpectNear(one.mesh->GetNormal(1, true), Point3(1, 0, 0));
    Mesh* mesh = one.mesh->GetMaxMesh();
    EXPECT_NE(mesh->getRVert(0).rFlags & SPECIFIED_NORMAL, 0u);  // only normal 0 around it
    ExpectNear(mesh->getRVert(0).rn.getNormal(), Point3(0, 0, 1));
    EXPECT_EQ(mesh->getRVert(1).rFlags & SPECIFIED_NORMAL, 0u);  // face 10 uses vertex 1
}

TEST(SmoothingGroupNormals, CopiedMeshKeepsItsOwnExtraNormals) {
    OneMesh box(BoxWithGroups([](int side) { return 1u << side; }));
    Mesh copy = *box.mesh->GetMaxMesh();
    EXPECT_NE(copy.getRVert(0).ern, box.mesh->GetMaxMesh()->getRVert(0).ern);
    ExpectNear(copy.getRVert(0).ern[0].getNormal(),
               box.mesh->GetMaxMesh()->getRVert(0).ern[0].getNormal());
}

TEST(SmoothingGroupNormals, AFaceWithoutADirectionGetsAZeroNormalNotNaN) {
    scene::MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {std::nanf(""), 0, 0}, {2, 0, 0}};
    mesh.faces.resize(3);
    mesh.faces[0] = {{0, 1, 2}, 0, 0};
    mesh.faces[1] = {{0, 1, 3}, 0, 0};  // a NaN corner
    mesh.faces[2] = {{0, 1, 4}, 0, 0};  // no area
    OneMesh one(mesh);
    EXPECT_EQ(one.mesh->GetNumberOfNormals(), 2);
    EXPECT_EQ(one.mesh->GetFace(1)->norm[0], 1u);
    EXPECT_EQ(one.mesh->GetFace(2)->norm[2], 1u);
    EXPECT_EQ(one.mesh->GetNormal(1, true), Point3(0, 0, 0));
}
