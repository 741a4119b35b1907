// The Mesh itself: corner and axis order, vertex counts by sharing mode, positions of
// vertices past the read-ahead, the face array's bytes, names, the mesh transform without
// frames, and the diagnostic lines of CheckMesh.
#include <gtest/gtest.h>

#include <cstring>

#include "../max/TestScenes.h"
#include "MeshTestSupport.h"
#include "mesh/Mesh.h"
#include "platform/d3dx/XPayloadWriter.h"

namespace {

using meshtest::ExportRun;
using meshtest::MeshOptions;
using meshtest::OneMeshScene;
using meshtest::ReadMesh;
using meshtest::Vec3;
using tarvo::scene::MeshData;

MeshData Triangle() {
    MeshData mesh;
    mesh.vertices = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    mesh.faces.push_back({{0, 1, 2}, 1, 0});
    return mesh;
}

// A box whose six sides each carry one texture coordinate of their own at every corner.
MeshData BoxWithSideUvs() {
    MeshData mesh = tarvo::testscenes::Box();
    tarvo::scene::MapChannel uvs;
    for (std::uint32_t side = 0; side < 6; ++side) {
        uvs.vertices.push_back(Point3(0.1f * static_cast<float>(side), 0.5f, 0.0f));
        uvs.faces.push_back({side, side, side});
        uvs.faces.push_back({side, side, side});
    }
    mesh.maps[1] = uvs;
    return mesh;
}

TEST(MeshGeometry, LeftHandedReversesCornersAndSwapsYAndZ) {
    ExportOptions options = MeshOptions();
    options.optMesh = 1;
    ExportRun run(OneMeshScene(Triangle()), options);
    auto mesh = ReadMesh(run.OnlyMesh());
    EXPECT_EQ(mesh.vertices, (std::vector<Vec3>{{1, 3, 2}, {4, 6, 5}, {7, 9, 8}}));
    ASSERT_EQ(mesh.faces.size(), 1u);
    EXPECT_EQ(mesh.faces[0], (std::array<std::uint32_t, 3>{0, 2, 1}));
}

TEST(MeshGeometry, RightHandedKeepsCornersAndAxes) {
    ExportOptions options = MeshOptions();
    options.leftHanded = 0;
    ExportRun run(OneMeshScene(Triangle()), options);
    auto mesh = ReadMesh(run.OnlyMesh());
    EXPECT_EQ(mesh.vertices, (std::vector<Vec3>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
    EXPECT_EQ(mesh.faces[0], (std::array<std::uint32_t, 3>{0, 1, 2}));
}

TEST(MeshGeometry, OnlyLeftHandedExactlyOneSwaps) {
    const std::vector<int> kept = {0, 1, 2}, swapped = {0, 2, 1};
    for (int leftHanded : {0, 2, -1, 1}) {
        ExportOptions options;
        options.leftHanded = leftHanded;
        CornerOrder order = CornerOrderFor(options);
        const std::vector<int>& expected = leftHanded == 1 ? swapped : kept;
        EXPECT_EQ(std::vector<int>(order.hostCorner, order.hostCorner + 3), expected) << leftHanded;
        EXPECT_EQ(std::vector<int>(order.axis, order.axis + 3), expected) << leftHanded;
    }
}

TEST(MeshGeometry, NoneWritesThreeVerticesPerFaceInCornerOrder) {
    ExportOptions options = MeshOptions();
    options.optMesh = 0;
    ExportRun run(OneMeshScene(tarvo::testscenes::Box()), options);
    auto mesh = ReadMesh(run.OnlyMesh());
    ASSERT_EQ(mesh.vertices.size(), 36u);
    ASSERT_EQ(mesh.faces.size(), 12u);
    MeshData box = tarvo::testscenes::Box();
    for (std::uint32_t f = 0; f < 12; ++f) {
        EXPECT_EQ(mesh.faces[f], (std::array<std::uint32_t, 3>{3 * f, 3 * f + 1, 3 * f + 2}));
        const std::uint32_t hostCorners[3] = {0, 2, 1};
        for (int k = 0; k < 3; ++k) {
            const Point3& p = box.vertices[box.faces[f].v[hostCorners[k]]];
            EXPECT_EQ(mesh.vertices[3 * f + static_cast<std::uint32_t>(k)], (Vec3{p.x, p.z, p.y}));
        }
    }
}

TEST(MeshGeometry, NormalSharesCornersOfAHostVertexOnlyWhenTheirAttributesAgree) {
    ExportOptions options = MeshOptions();
    options.optMesh = 0;
    EXPECT_EQ(
        ReadMesh(ExportRun(OneMeshScene(BoxWithSideUvs()), options).OnlyMesh()).vertices.size(),
        36u);
    options.optMesh = 1;
    ExportRun run(OneMeshScene(BoxWithSideUvs()), options);
    auto mesh = ReadMesh(run.OnlyMesh());
    ASSERT_EQ(mesh.vertices.size(), 24u);  // 8 slots and 16 appended variants
    // The slots are the host vertices, in host order.
    MeshData box = tarvo::testscenes::Box();
    for (std::size_t h = 0; h < 8; ++h) {
        const Point3& p = box.vertices[h];
        EXPECT_EQ(mesh.vertices[h], (Vec3{p.x, p.z, p.y}));
    }
    // Within a side, corners of one host vertex use one index.
    for (std::size_t f = 0; f < 12; f += 2) {
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                if (box.faces[f].v[a] == box.faces[f + 1].v[b]) {
                    EXPECT_EQ(mesh.faces[f][a == 0 ? 0 : 3 - a],
                              mesh.faces[f + 1][b == 0 ? 0 : 3 - b]);
                }
    }
    // Optimized finds nothing more to merge: the variants all differ.
    options.optMesh = 2;
    EXPECT_EQ(
        ReadMesh(ExportRun(OneMeshScene(BoxWithSideUvs()), options).OnlyMesh()).vertices.size(),
        24u);
}

TEST(MeshGeometry, NormalNeverSharesAcrossHostVerticesEvenWhenEqual) {
    MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}};  // 3 and 0 coincide
    mesh.faces.push_back({{0, 1, 2}, 0, 0});
    mesh.faces.push_back({{3, 2, 1}, 0, 0});
    ExportOptions options = MeshOptions();
    options.optMesh = 1;
    auto written = ReadMesh(ExportRun(OneMeshScene(mesh), options).OnlyMesh());
    EXPECT_EQ(written.vertices.size(), 4u);
    EXPECT_EQ(written.faces[1][0], 3u);
}

TEST(MeshGeometry, UnusedHostVerticesAreKeptAsZeroRecordsAndReported) {
    MeshData mesh = Triangle();
    mesh.vertices.push_back(Point3(10, 10, 10));  // host vertex 3: no face uses it
    mesh.vertices.push_back(Point3(20, 20, 20));  // host vertex 4
    for (int optMesh : {1, 2}) {
        ExportOptions options = MeshOptions();
        options.optMesh = optMesh;
        ExportRun run(OneMeshScene(mesh), options);
        auto written = ReadMesh(run.OnlyMesh());
        ASSERT_EQ(written.vertices.size(), 5u) << optMesh;
        EXPECT_EQ(written.vertices[3], (Vec3{0, 0, 0}));  // the identity's translation
        EXPECT_EQ(written.vertices[4], (Vec3{0, 0, 0}));
        EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Not Used"),
                  (std::vector<std::string>{"Not Used - What went wrong 3",
                                            "Not Used - What went wrong 4"}));
    }
}

// Positions are read ahead for no more host vertices than the faces have corners; a face
// naming a vertex past that still gets the host's position.
TEST(MeshGeometry, VerticesPastTheCornerCountKeepTheirPositions) {
    MeshData mesh;
    for (int i = 0; i < 9; ++i) mesh.vertices.push_back(Point3(float(i), float(10 + i), 0.5f));
    mesh.faces.push_back({{0, 4, 8}, 1, 0});
    for (int optMesh : {0, 1}) {
        ExportOptions options = MeshOptions();
        options.optMesh = optMesh;
        auto written = ReadMesh(ExportRun(OneMeshScene(mesh), options).OnlyMesh());
        ASSERT_EQ(written.faces.size(), 1u) << optMesh;
        // Output corners are host corners 0, 2, 1, each written x, z, y.
        const std::vector<Vec3> expected = {{0, 0.5f, 10}, {8, 0.5f, 18}, {4, 0.5f, 14}};
        for (std::size_t k = 0; k < 3; ++k) {
            ASSERT_LT(written.faces[0][k], written.vertices.size()) << optMesh;
            EXPECT_EQ(written.vertices[written.faces[0][k]], expected[k]) << optMesh << " " << k;
        }
    }
}

TEST(MeshGeometry, DegenerateFacesAreReportedAndWrittenUnchanged) {
    MeshData mesh = Triangle();
    mesh.faces.push_back({{1, 1, 2}, 0, 0});
    ExportOptions options = MeshOptions();
    options.optMesh = 1;
    ExportRun run(OneMeshScene(mesh), options);
    auto written = ReadMesh(run.OnlyMesh());
    ASSERT_EQ(written.faces.size(), 2u);
    EXPECT_EQ(written.faces[1], (std::array<std::uint32_t, 3>{1, 2, 1}));
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "*** Degenerate"),
              (std::vector<std::string>{"*** Degenerate Face 1 Detected 1 2 1"}));
}

TEST(MeshGeometry, AMeshWithoutFacesKeepsOneVertexPerHostVertexWhenKeyed) {
    MeshData mesh = Triangle();
    mesh.faces.clear();
    ExportOptions options = MeshOptions();
    options.optMesh = 1;
    auto written = ReadMesh(ExportRun(OneMeshScene(mesh), options).OnlyMesh());
    EXPECT_EQ(written.vertices.size(), 3u);
    EXPECT_TRUE(written.faces.empty());
    options.optMesh = 0;
    written = ReadMesh(ExportRun(OneMeshScene(mesh), options).OnlyMesh());
    EXPECT_TRUE(written.vertices.empty());
    EXPECT_TRUE(written.faces.empty());
}

TEST(MeshGeometry, TheDiagnosticLinesNameTheNodeAndItsCounts) {
    MeshData mesh = BoxWithSideUvs();
    ExportOptions options = MeshOptions();
    options.optMesh = 1;
    ExportRun run(OneMeshScene(mesh, "Crate"), options);
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Node Name is"),
              (std::vector<std::string>{
                  "Node Name is :Crate Verts: 8, Faces: 12 VCols: 0 tVerts: 6 Maps: 1"}));
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Actual Channels"),
              (std::vector<std::string>{"Actual Channels used 0"}));
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "m_nMaxWeightPerFace"),
              (std::vector<std::string>{"m_nMaxWeightPerFace=0"}));
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Opt Node Name"),
              (std::vector<std::string>{"Opt Node Name is :Crate Verts: 24, Faces: 12 "}));
}

TEST(MeshGeometry, WithFramesTheMeshIsUnnamedUnderItsFrame) {
    ExportOptions options = MeshOptions();
    ExportRun run(OneMeshScene(Triangle(), "1 box.a"), options);
    ASSERT_EQ(run.Contents().objects.size(), 1u);
    const auto& frame = run.Contents().objects[0];
    EXPECT_EQ(frame.templateName, "Frame");
    EXPECT_EQ(meshtest::ChildTemplates(frame),
              (std::vector<std::string>{"FrameTransformMatrix", "Mesh"}));
    EXPECT_EQ(run.OnlyMesh().name, "");
}

TEST(MeshGeometry, WithoutFramesTheMeshIsNamedAndPlacedByTheNodeTransform) {
    tarvo::scene::SceneData scene = OneMeshScene(Triangle(), "1 box.a");
    scene.nodes[0].transform.position = Point3(10, 20, 30);
    scene.nodes[0].transform.scale = Point3(2, 2, 2);
    ExportOptions options = MeshOptions();
    options.frameSetting = 0;
    ExportRun run(scene, options);
    ASSERT_EQ(run.Contents().objects.size(), 1u);
    EXPECT_EQ(run.Contents().objects[0].templateName, "Mesh");
    EXPECT_EQ(run.OnlyMesh().name, "TDX1_box_a");
    // Placed once: object space times the node's transform.
    auto written = ReadMesh(run.OnlyMesh());
    EXPECT_EQ(written.vertices[0], (Vec3{12, 36, 24}));
    // With the local object space option the mesh stays in its own space.
    options.localObjectSpace = 1;
    written = ReadMesh(ExportRun(scene, options).OnlyMesh());
    EXPECT_EQ(written.vertices[0], (Vec3{1, 3, 2}));
}

TEST(MeshGeometry, HiddenNodesKeepTheirFrameButWriteNoMesh) {
    tarvo::scene::SceneData scene = OneMeshScene(Triangle());
    scene.nodes[0].hidden = true;
    ExportRun run(scene, MeshOptions());
    EXPECT_TRUE(run.Meshes().empty());
    EXPECT_EQ(run.Contents().objects.size(), 1u);
}

// The MeshFace array as the Mesh and MeshNormals hold it, written into a writer that has
// reserved nothing (so the run grows it), after bytes already written.
TEST(MeshGeometry, MeshFacesAreACountThenThreeAndTheIndicesOfEachFace) {
    d3dx::XPayloadWriter payload;
    payload.Dword(0xAABBCCDDu);
    std::vector<FaceIndices> faces;
    for (std::uint32_t f = 0; f < 1000; ++f) faces.push_back({f, f + 1000000, 0xFFFFFFFFu - f});
    WriteMeshFaces(faces, payload);
    ASSERT_EQ(payload.Size(), 4u + 4u + 16u * faces.size());
    auto word = [&payload](std::size_t index) {
        std::uint32_t value = 0;
        std::memcpy(&value, payload.Bytes() + 4 * index, sizeof value);
        return value;
    };
    EXPECT_EQ(word(0), 0xAABBCCDDu);
    EXPECT_EQ(word(1), 1000u);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        EXPECT_EQ(word(2 + 4 * f), 3u) << f;
        for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(word(3 + 4 * f + k), faces[f][k]) << f;
    }
}

TEST(MakeObjectName, FollowsTheNameRule) {
    EXPECT_STREQ(MakeObjectName("1 box.a", 2), "TDX1_box_aSub2");
    EXPECT_STREQ(MakeObjectName("", 3), "Sub3");
    EXPECT_STREQ(MakeObjectName("", -1), "");
    EXPECT_STREQ(MakeObjectName("a\"b#c>d:e<f(g);h", -1), "a_b_c_d_e_f_g__h");
    EXPECT_STREQ(MakeObjectName("caf\xC3\xA9\tx", -1), "caf___x");
    EXPECT_STREQ(MakeObjectName("Box01", -1), "Box01");
    std::string longName(1000, 'n');
    EXPECT_EQ(std::string(MakeObjectName(longName.c_str(), 12)), longName + "Sub12");
}

}  // namespace
