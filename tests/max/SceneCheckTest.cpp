// The record checks over long face lists (tested in two halves at once) and the checked
// records that let a host scene skip a second check.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "platform/max/HostScene.h"
#include "platform/max/Node.h"
#include "platform/max/SceneCheck.h"
#include "tests/max/TestScenes.h"

using namespace tarvo;

namespace {

// Far more faces than a list needs to be shared between two threads.
constexpr std::uint32_t kLongListFaces = 400000;
constexpr std::uint32_t kGridVertices = 1000;

// A mesh of `faces` faces over kGridVertices vertices, each corner in range.
scene::MeshData LongMesh(std::uint32_t faces) {
    scene::MeshData mesh;
    mesh.vertices.assign(kGridVertices, Point3(0, 0, 0));
    mesh.faces.resize(faces);
    for (std::uint32_t f = 0; f < faces; ++f)
        for (std::uint32_t c = 0; c < 3; ++c) mesh.faces[f].v[c] = (f + c) % kGridVertices;
    return mesh;
}

scene::SceneData SceneOf(scene::MeshData mesh) {
    scene::SceneData data;
    data.nodes = {testscenes::MeshNode("Grid", std::move(mesh))};
    return data;
}

// The problem as a host scene words it, or "accepted".
std::string Described(const scene::SceneData& data) {
    auto problem = scene::CheckScene(data);
    return problem ? scene::DescribeProblem(data, *problem) : "accepted";
}

// Explicit normals naming normal 0 at every corner of every face.
scene::ExplicitNormals OneNormalFor(std::uint32_t faces) {
    scene::ExplicitNormals normals;
    normals.normals = {Point3(0, 0, 1)};
    normals.faces.assign(faces, {0, 0, 0});
    return normals;
}

}  // namespace

TEST(LongFaceLists, AcceptEveryCornerInRange) {
    EXPECT_EQ(Described(SceneOf(LongMesh(kLongListFaces))), "accepted");
}

TEST(LongFaceLists, NameAFaceInTheSecondHalf) {
    scene::MeshData mesh = LongMesh(kLongListFaces);
    mesh.faces[kLongListFaces - 2].v[2] = kGridVertices;
    EXPECT_EQ(Described(SceneOf(std::move(mesh))),
              "node 0 (Grid) mesh/faces/399998/v: index 1000 is out of range: there are 1000 "
              "vertices");
}

TEST(LongFaceLists, NameTheFirstBadFaceWhenBothHalvesHaveOne) {
    scene::MeshData mesh = LongMesh(kLongListFaces);
    mesh.faces[kLongListFaces / 2 - 1].v[0] = 4000000000u;
    mesh.faces[kLongListFaces / 2 + 1].v[1] = kGridVertices;
    mesh.faces[kLongListFaces - 1].v[1] = kGridVertices;
    EXPECT_EQ(Described(SceneOf(std::move(mesh))),
              "node 0 (Grid) mesh/faces/199999/v: index 4000000000 is out of range: there are "
              "1000 vertices");
}

TEST(LongFaceLists, NameTheFirstBadCornerOfTheFace) {
    scene::MeshData mesh = LongMesh(kLongListFaces);
    mesh.faces[300000].v[1] = kGridVertices + 7;
    mesh.faces[300000].v[2] = kGridVertices + 9;
    EXPECT_EQ(Described(SceneOf(std::move(mesh))),
              "node 0 (Grid) mesh/faces/300000/v: index 1007 is out of range: there are 1000 "
              "vertices");
}

TEST(LongFaceLists, NameTheFirstBadNormalFace) {
    scene::MeshData mesh = LongMesh(kLongListFaces);
    mesh.normals = OneNormalFor(kLongListFaces);
    mesh.normals->faces[kLongListFaces - 1][2] = 1;
    mesh.normals->faces[3][1] = 5;
    EXPECT_EQ(Described(SceneOf(std::move(mesh))),
              "node 0 (Grid) mesh/normals/faces/3: index 5 is out of range: there are 1 normals");
}

TEST(LongFaceLists, NameABadMapFaceInTheSecondHalf) {
    scene::MeshData mesh = LongMesh(kLongListFaces);
    scene::MapChannel map;
    map.vertices = {Point3(0, 0, 0), Point3(1, 0, 0)};
    map.faces.assign(kLongListFaces, {0, 1, 0});
    map.faces[kLongListFaces - 1][0] = 2;
    mesh.maps[scene::MAP_TEXCOORD_CHANNEL] = std::move(map);
    EXPECT_EQ(Described(SceneOf(std::move(mesh))),
              "node 0 (Grid) mesh/maps/0/faces/399999: index 2 is out of range: there are 2 map "
              "vertices");
}

TEST(LongFaceLists, AreReadOnlyWhenTheReadersLargestCornerIsOutOfRange) {
    scene::MeshData mesh = LongMesh(kLongListFaces);
    mesh.faces[5].v[1] = kGridVertices;
    mesh.normals = OneNormalFor(kLongListFaces);
    mesh.normals->faces[7][0] = 1;
    scene::MapChannel map;
    map.vertices = {Point3(0, 0, 0)};
    map.faces.assign(kLongListFaces, {0, 0, 0});
    map.faces[9][2] = 1;
    mesh.maps[scene::MAP_TEXCOORD_CHANNEL] = std::move(map);
    const scene::SceneData data = SceneOf(std::move(mesh));
    auto described = [&data](const scene::KnownCorners& known) {
        auto problem = scene::CheckScene(data, known);
        return problem ? scene::DescribeProblem(data, *problem) : "accepted";
    };
    // The largest corners are the reader's word for the lists they came with: below each
    // count, no face is read.
    const scene::LargestCorners allInRange{
        kGridVertices - 1, {{scene::MAP_TEXCOORD_CHANNEL, 0}}, 0};
    EXPECT_EQ(described({{0, allInRange}}), "accepted");
    // A largest corner out of range sends the check to the faces, for the first bad one.
    scene::LargestCorners badFaces = allInRange;
    badFaces.faces = kGridVertices;
    EXPECT_EQ(described({{0, badFaces}}),
              "node 0 (Grid) mesh/faces/5/v: index 1000 is out of range: there are 1000 vertices");
    scene::LargestCorners badMap = allInRange;
    badMap.maps[scene::MAP_TEXCOORD_CHANNEL] = 1;
    EXPECT_EQ(described({{0, badMap}}),
              "node 0 (Grid) mesh/maps/0/faces/9: index 1 is out of range: there are 1 map "
              "vertices");
    scene::LargestCorners badNormals = allInRange;
    badNormals.normals = 1;
    EXPECT_EQ(described({{0, badNormals}}),
              "node 0 (Grid) mesh/normals/faces/7: index 1 is out of range: there are 1 normals");
    // Nothing known of this node, or of this channel: every list is read.
    EXPECT_EQ(described({{1, allInRange}}), Described(data));
    scene::LargestCorners otherChannel = allInRange;
    otherChannel.maps = {{2, 0}};
    otherChannel.faces = kGridVertices - 1;
    EXPECT_EQ(described({{0, otherChannel}}),
              "node 0 (Grid) mesh/maps/0/faces/9: index 1 is out of range: there are 1 map "
              "vertices");
}

TEST(CheckedScenes, HoldTheRecordsThatKeepEveryRule) {
    scene::SceneData records = SceneOf(testscenes::Box());
    const scene::SceneData asGiven = records;
    auto checked = scene::CheckedScene::Check(records);
    ASSERT_TRUE(std::holds_alternative<scene::CheckedScene>(checked));
    EXPECT_EQ(std::get<scene::CheckedScene>(checked).Records(), asGiven);
    EXPECT_EQ(std::get<scene::CheckedScene>(std::move(checked)).TakeRecords(), asGiven);
}

TEST(CheckedScenes, LeaveBrokenRecordsAsTheyWereWithTheProblem) {
    scene::SceneData records = SceneOf(testscenes::Box());
    records.nodes[0].mesh.faces[5].v[2] = 8;
    const scene::SceneData asGiven = records;
    auto checked = scene::CheckedScene::Check(records);
    ASSERT_TRUE(std::holds_alternative<scene::SceneProblem>(checked));
    EXPECT_EQ(records, asGiven);
    EXPECT_EQ(scene::DescribeProblem(records, std::get<scene::SceneProblem>(checked)),
              "node 0 (Grid) mesh/faces/5/v: index 8 is out of range: there are 8 vertices");
}

TEST(CheckedScenes, BuildAHostSceneOverTheSameRecords) {
    scene::SceneData records = SceneOf(testscenes::Box());
    const scene::SceneData asGiven = records;
    auto checked = scene::CheckedScene::Check(records);
    ASSERT_TRUE(std::holds_alternative<scene::CheckedScene>(checked));
    HostScene scene(std::get<scene::CheckedScene>(std::move(checked)));
    EXPECT_EQ(scene.Data(), asGiven);
    ASSERT_EQ(scene.NodeCount(), 1);
    EXPECT_EQ(scene.Node(0)->GetName(), std::string("Grid"));
}

TEST(CheckedScenes, AreStillMadeByAHostSceneFromUncheckedRecords) {
    scene::SceneData records = SceneOf(LongMesh(kLongListFaces));
    records.nodes[0].mesh.faces[kLongListFaces - 1].v[0] = kGridVertices;
    try {
        HostScene scene(std::move(records));
        FAIL() << "broken records were built into a scene";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()),
                  "node 0 (Grid) mesh/faces/399999/v: index 1000 is out of range: there are "
                  "1000 vertices");
    }
}

// The long lists of a mesh: sized without a value only by the scene file's reader; anywhere
// else they start their items at zero, as any vector does.
TEST(RecordLists, StartItemsAddedByResizingAtZeroOverOldBytes) {
    scene::RecordList<std::array<std::uint32_t, 3>> corners{{7, 8, 9}, {10, 11, 12}};
    corners.clear();  // the bytes stay in the list's memory
    corners.resize(2);
    for (const auto& item : corners) EXPECT_EQ(item, (std::array<std::uint32_t, 3>{0, 0, 0}));
}

TEST(RecordLists, SayWhetherAHostIndexNamesAnItem) {
    const scene::RecordList<Point3> points(2);
    EXPECT_TRUE(scene::InRange(points, 0));
    EXPECT_TRUE(scene::InRange(points, 1));
    EXPECT_FALSE(scene::InRange(points, 2));
    EXPECT_FALSE(scene::InRange(points, -1));
}
