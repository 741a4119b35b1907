// The host mesh's render normals where specified normals sit among vertices with several
// normals each: every vertex must find its own list, also in a copy of the mesh.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

#include "platform/max/HostScene.h"
#include "platform/max/Mesh.h"
#include "tests/max/TestScenes.h"

using namespace tarvo;

namespace {

constexpr float kTolerance = 1e-6f;

void ExpectNear(const Point3& actual, const Point3& expected) {
    EXPECT_NEAR(actual.x, expected.x, kTolerance);
    EXPECT_NEAR(actual.y, expected.y, kTolerance);
    EXPECT_NEAR(actual.z, expected.z, kTolerance);
}

// The box with one smoothing group per side, bit `side`, and specified normals at
// vertices 2 and 5 (the others left without one).
Mesh BoxWithTwoSpecifiedVertices() {
    scene::MeshData box = testscenes::Box();
    for (std::size_t f = 0; f < box.faces.size(); ++f) box.faces[f].smGroup = 1u << (f / 2);
    Mesh mesh = BuildHostMesh(box);
    mesh.specifiedNormals.assign(mesh.verts.size(), Point3());
    mesh.specifiedNormals[2] = Point3(0, 0, 2);
    mesh.specifiedNormals[5] = Point3(3, 0, 4);
    mesh.buildNormals();
    return mesh;
}

// The groups of the faces around vertex v.
DWORD GroupsAround(Mesh& mesh, int v) {
    DWORD groups = 0;
    for (int f = 0; f < mesh.getNumFaces(); ++f)
        for (DWORD corner : mesh.getFace(f).v)
            if (corner == static_cast<DWORD>(v)) groups |= mesh.getFace(f).getSmGroup();
    return groups;
}

// Each of the vertex's three normals is the normal of the one side its group names.
void ExpectSideNormals(const RVertex& rv, DWORD groupsAround) {
    ASSERT_EQ(rv.rFlags & NORCT_MASK, 3u);
    ASSERT_NE(rv.ern, nullptr);
    DWORD seen = 0;
    for (int i = 0; i < 3; ++i) {
        DWORD group = rv.ern[i].getSmGroup();
        ASSERT_EQ(std::popcount(group), 1);
        seen |= group;
        ExpectNear(rv.ern[i].getNormal(), testscenes::kBoxSideNormals[std::countr_zero(group)]);
    }
    EXPECT_EQ(seen, groupsAround);
}

}  // namespace

TEST(HostRenderNormals, SpecifiedVerticesAmongSplitOnesKeepTheirNormalAndGroups) {
    Mesh mesh = BoxWithTwoSpecifiedVertices();
    for (int v : {2, 5}) {
        const RVertex& rv = mesh.getRVert(v);
        EXPECT_EQ(rv.rFlags, SPECIFIED_NORMAL | 1u);
        EXPECT_EQ(rv.ern, nullptr);
        EXPECT_EQ(rv.rn.getSmGroup(), GroupsAround(mesh, v));
        EXPECT_EQ(std::popcount(rv.rn.getSmGroup()), 3);
    }
    ExpectNear(mesh.getRVert(2).rn.getNormal(), Point3(0, 0, 1));
    ExpectNear(mesh.getRVert(5).rn.getNormal(), Point3(0.6f, 0, 0.8f));
}

TEST(HostRenderNormals, EveryOtherVertexHasTheNormalsOfItsOwnThreeSides) {
    Mesh mesh = BoxWithTwoSpecifiedVertices();
    for (int v = 0; v < mesh.getNumVerts(); ++v) {
        if (v == 2 || v == 5) continue;
        SCOPED_TRACE(v);
        ExpectSideNormals(mesh.getRVert(v), GroupsAround(mesh, v));
    }
}

TEST(HostRenderNormals, ACopyPointsAtItsOwnListsWithTheSameNormals) {
    Mesh mesh = BoxWithTwoSpecifiedVertices();
    Mesh copy = mesh;
    Mesh assigned;
    assigned = mesh;
    for (int v = 0; v < mesh.getNumVerts(); ++v) {
        if (v == 2 || v == 5) continue;
        SCOPED_TRACE(v);
        for (Mesh* other : {&copy, &assigned}) {
            EXPECT_NE(other->getRVert(v).ern, mesh.getRVert(v).ern);
            ExpectSideNormals(other->getRVert(v), GroupsAround(mesh, v));
        }
    }
}

TEST(HostRenderNormals, BuildingAgainAfterAChangeForgetsTheOldNormals) {
    Mesh mesh = BoxWithTwoSpecifiedVertices();
    mesh.specifiedNormals.clear();
    for (Face& face : mesh.faces) face.smGroup = 1;
    mesh.buildNormals();
    const float third = 1.0f / std::sqrt(3.0f);
    for (int v = 0; v < mesh.getNumVerts(); ++v) {
        const RVertex& rv = mesh.getRVert(v);
        EXPECT_EQ(rv.rFlags, 1u);
        EXPECT_EQ(rv.ern, nullptr);
        const Point3& p = mesh.getVert(v);
        ExpectNear(rv.rn.getNormal(), Point3(p.x * third, p.y * third, p.z * third));
    }
}

TEST(HostRenderNormals, FaceNormalsOfAMeshWithOnlySpecifiedVerticesAreStillTheFacesOwn) {
    Mesh mesh;
    mesh.verts = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 3}};
    mesh.faces.resize(3);
    const DWORD corners[3][3] = {{0, 1, 2}, {0, 3, 1}, {1, 1, 2}};  // the last one has no area
    for (int f = 0; f < 3; ++f) {
        std::copy(std::begin(corners[f]), std::end(corners[f]), mesh.faces[f].v);
        mesh.faces[f].smGroup = 1;
    }
    mesh.specifiedNormals.assign(4, Point3(1, 1, 1));
    mesh.buildNormals();
    for (int v = 0; v < 4; ++v) EXPECT_EQ(mesh.getRVert(v).rFlags, SPECIFIED_NORMAL | 1u);
    EXPECT_EQ(mesh.getFaceNormal(0), Point3(0, 0, 1));
    EXPECT_EQ(mesh.getFaceNormal(1), Point3(0, 1, 0));
    EXPECT_EQ(mesh.getFaceNormal(2), Point3(0, 0, 0));
    EXPECT_EQ(mesh.getFaceNormal(0), Point3(0, 0, 1));  // asked again: the same
}

TEST(HostRenderNormals, AMovedMeshKeepsItsNormalLists) {
    Mesh source = BoxWithTwoSpecifiedVertices();
    Mesh moved = std::move(source);
    Mesh assigned;
    assigned = std::move(moved);
    for (int v = 0; v < assigned.getNumVerts(); ++v) {
        if (v == 2 || v == 5) continue;
        SCOPED_TRACE(v);
        ExpectSideNormals(assigned.getRVert(v), GroupsAround(assigned, v));
    }
}
