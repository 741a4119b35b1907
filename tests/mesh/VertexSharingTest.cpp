// The vertex builder on hand-made records: keyed chains, NaN records, ids on skinned
// nodes, and the merges and lines of "Optimized".
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "../max/TestScenes.h"
#include "MeshTestSupport.h"
#include "mesh/Mesh.h"

namespace {

MeshVertex At(float x, float u = 0.0f) {
    MeshVertex record;
    record.position[0] = x;
    record.uvw[0] = u;
    return record;
}

OutputVertex Add(VertexBuilder& builder, std::uint32_t host, const MeshVertex& record) {
    return AddVertex(builder, HostVertex(host), record, {});
}

TEST(VertexSharing, KeyedChainsHoldTheVariantsOfAHostVertexInCreationOrder) {
    VertexBuilder builder = CreateVertexBuilder(2, 3, true, 0);
    EXPECT_EQ(Add(builder, 1, At(1, 0)).value, 1u);
    EXPECT_EQ(Add(builder, 1, At(1, 0.5f)).value, 2u);
    EXPECT_EQ(Add(builder, 1, At(1, 1)).value, 3u);
    EXPECT_EQ(Add(builder, 1, At(1, 0.5f)).value, 2u);
    EXPECT_EQ(Add(builder, 1, At(1, -0.0f)).value, 1u);  // -0.0 equals 0.0
    EXPECT_EQ(builder.vertices[1].next, 2u);
    EXPECT_EQ(builder.vertices[2].next, 3u);
    EXPECT_EQ(builder.vertices[3].next, 0u);
    EXPECT_EQ(builder.used, (std::vector<std::uint8_t>{0, 1}));
}

// A slot no corner fills is written all the same, so it must end up zero whatever its
// memory held; a filled slot keeps its record.
TEST(VertexSharing, SlotsNoCornerFilledAreClearedAndFilledOnesKept) {
    VertexBuilder builder = CreateVertexBuilder(3, 1, true, 0);
    MeshVertex stale = At(9, 9);
    stale.next = 7, stale.extraCount = 3;
    builder.vertices[0] = stale;  // what memory used before may hold
    builder.vertices[2] = stale;
    EXPECT_EQ(Add(builder, 1, At(5, 0.5f)).value, 1u);
    ClearUnusedSlots(builder);
    const MeshVertex zero{};
    for (std::size_t slot : {0u, 2u})
        EXPECT_EQ(std::memcmp(&builder.vertices[slot], &zero, sizeof zero), 0) << slot;
    EXPECT_EQ(builder.vertices[1].position[0], 5.0f);
    EXPECT_EQ(builder.vertices[1].uvw[0], 0.5f);
}

TEST(VertexSharing, ARecordWithANaNIsNeverShared) {
    VertexBuilder builder = CreateVertexBuilder(1, 2, true, 0);
    MeshVertex record = At(1);
    record.color[1] = NAN;
    EXPECT_EQ(Add(builder, 0, record).value, 0u);
    EXPECT_EQ(Add(builder, 0, record).value, 1u);
    EXPECT_EQ(Add(builder, 0, record).value, 2u);
    record.color[1] = 0;
    EXPECT_EQ(Add(builder, 0, record).value, 3u);
    EXPECT_EQ(Add(builder, 0, record).value, 3u);
}

// Each compared value on its own: a change in any one of them makes records unequal, a
// NaN in any float makes a record equal to nothing (itself included), and -0.0 equals 0.0
// in every float. The link to the next record and the stored extra count are not compared.
TEST(VertexSharing, RecordsEqualComparesEveryValueOfTheRecord) {
    const MeshVertex base = [] {
        MeshVertex record;
        float value = 1.0f;
        for (float* f : {record.position, record.uvw, record.color})
            for (int i = 0; i < 3; ++i) f[i] = value++;
        record.alpha = value;
        record.materialId = 7;
        record.smoothingGroup = 9;
        return record;
    }();
    auto floats = [](MeshVertex& record) {
        return std::vector<float*>{&record.position[0], &record.position[1], &record.position[2],
                                   &record.uvw[0],      &record.uvw[1],      &record.uvw[2],
                                   &record.color[0],    &record.color[1],    &record.color[2],
                                   &record.alpha};
    };
    EXPECT_TRUE(RecordsEqual(base, {}, base, {}));
    for (std::size_t i = 0; i < 10; ++i) {
        MeshVertex changed = base;
        *floats(changed)[i] += 0.5f;
        EXPECT_FALSE(RecordsEqual(base, {}, changed, {})) << "float " << i;
        EXPECT_FALSE(RecordsEqual(changed, {}, base, {})) << "float " << i;
        MeshVertex withNaN = base;
        *floats(withNaN)[i] = NAN;
        EXPECT_FALSE(RecordsEqual(withNaN, {}, withNaN, {})) << "float " << i;
        MeshVertex zero = base, negativeZero = base;
        *floats(zero)[i] = 0.0f;
        *floats(negativeZero)[i] = -0.0f;
        EXPECT_TRUE(RecordsEqual(zero, {}, negativeZero, {})) << "float " << i;
    }
    for (std::uint32_t MeshVertex::*id : {&MeshVertex::materialId, &MeshVertex::smoothingGroup}) {
        MeshVertex changed = base;
        changed.*id += 1;
        EXPECT_FALSE(RecordsEqual(base, {}, changed, {}));
    }
    // Ids are whole numbers: bits that would read as -0.0 and 0.0 differ, and bits that would
    // read as a NaN equal themselves.
    MeshVertex groupZero = base, groupHighBit = base, nanBits = base;
    groupZero.smoothingGroup = 0;
    groupHighBit.smoothingGroup = 0x80000000u;
    nanBits.materialId = 0x7FC00000u;
    EXPECT_FALSE(RecordsEqual(groupZero, {}, groupHighBit, {}));
    EXPECT_TRUE(RecordsEqual(nanBits, {}, nanBits, {}));
    MeshVertex linked = base;
    linked.next = 5;
    linked.extraCount = 2;
    EXPECT_TRUE(RecordsEqual(base, {}, linked, {}));
}

TEST(VertexSharing, MaterialIdsAndSmoothingGroupsKeepCornersApart) {
    VertexBuilder builder = CreateVertexBuilder(1, 3, true, 0);
    MeshVertex record = At(1);
    EXPECT_EQ(Add(builder, 0, record).value, 0u);
    record.materialId = 2;
    EXPECT_EQ(Add(builder, 0, record).value, 1u);
    record.smoothingGroup = 4;
    EXPECT_EQ(Add(builder, 0, record).value, 2u);
}

TEST(VertexSharing, ExtraChannelsMustAgreeInCountAndValue) {
    VertexBuilder builder = CreateVertexBuilder(1, 3, true, 2);
    const ExtraUv one[1] = {{0.5f, 0.5f}};
    const ExtraUv two[2] = {{0.5f, 0.5f}, {0, 0}};
    EXPECT_EQ(AddVertex(builder, HostVertex(0), At(1), one).value, 0u);
    EXPECT_EQ(AddVertex(builder, HostVertex(0), At(1), two).value, 1u);
    EXPECT_EQ(AddVertex(builder, HostVertex(0), At(1), one).value, 0u);
    EXPECT_EQ(AddVertex(builder, HostVertex(0), At(1), two).value, 1u);
    EXPECT_EQ(builder.ExtrasOf(1).size(), 2u);
}

TEST(VertexSharing, SequentialGivesEveryCornerItsOwnVertex) {
    VertexBuilder builder = CreateVertexBuilder(1, 2, false, 0);
    for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(Add(builder, 0, At(1)).value, i);
    EXPECT_EQ(builder.vertices.size(), 6u);
}

// Slot count 9; host vertices 0, 1 and 2 each get a second variant, all three equal, at
// 10, 11 and 12, and host vertex 3 one at 9 that is equal too but never takes part.
VertexBuilder ThreeEqualVariants() {
    VertexBuilder builder = CreateVertexBuilder(9, 8, true, 0);
    auto face = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        builder.faces.push_back({a, b, c});
    };
    for (std::uint32_t h = 0; h < 9; ++h)
        builder.vertices[h] = At(static_cast<float>(h)), builder.used[h] = 1;
    for (std::uint32_t h : {3u, 0u, 1u, 2u}) {
        MeshVertex variant = At(7, 0.5f);
        std::uint32_t index = AddVertex(builder, HostVertex(h), variant, {}).value;
        face(index, 4, 5);
        face(6, index, 8);
    }
    return builder;
}

TEST(VertexSharing, OptimizedMergesEqualAppendedRecordsIntoTheLowest) {
    VertexBuilder builder = ThreeEqualVariants();
    ASSERT_EQ(builder.vertices.size(), 13u);
    std::string printed;
    SetDebugPrintSink([&printed](const std::string& text) { printed += text; });
    OptimiseVertices(builder);
    SetDebugPrintSink(nullptr);
    EXPECT_EQ(printed,
              "Optimized: vert 12, with vert 11\n"
              "Optimized: vert 12, with vert 10\n"
              "Optimized: vert 11, with vert 10\n");
    ASSERT_EQ(builder.vertices.size(), 11u);
    // Record 9 (the first appended) is left alone; the others end up at 10.
    EXPECT_EQ(builder.faces[0][0], 9u);
    for (std::size_t f = 2; f < 8; f += 2) EXPECT_EQ(builder.faces[f][0], 10u) << f;
    for (std::size_t f = 3; f < 8; f += 2) EXPECT_EQ(builder.faces[f][1], 10u) << f;
}

TEST(VertexSharing, OptimizedRenumbersTheRecordsAboveARemovedOne) {
    VertexBuilder builder = CreateVertexBuilder(2, 4, true, 0);
    for (std::uint32_t h = 0; h < 2; ++h)
        builder.vertices[h] = At(100.0f + static_cast<float>(h)), builder.used[h] = 1;
    // Appended: 2 (host 0, a), 3 (host 0, b), 4 (host 1, b), 5 (host 1, c).
    std::uint32_t a = Add(builder, 0, At(1)).value, b = Add(builder, 0, At(2)).value;
    std::uint32_t b1 = Add(builder, 1, At(2)).value, c = Add(builder, 1, At(3)).value;
    builder.faces = {{a, b, 0}, {b1, c, 1}, {c, b1, 0}, {0, 1, b1}};
    OptimiseVertices(builder);
    ASSERT_EQ(builder.vertices.size(), 5u);
    EXPECT_EQ(builder.faces,
              (std::vector<FaceIndices>{{2, 3, 0}, {3, 4, 1}, {4, 3, 0}, {0, 1, 3}}));
    EXPECT_EQ(builder.vertices[4].position[0], 3.0f);
}

TEST(VertexSharing, OptimizedThroughTheExporterMergesCoincidentHostVertices) {
    // Host vertices 0 and 1 lie at one place; each is used with a second texture
    // coordinate, which makes equal appended variants of two host vertices.
    tarvo::scene::MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.faces = {{{0, 2, 3}, 0, 0}, {{2, 3, 0}, 0, 0}, {{1, 2, 3}, 0, 0}, {{1, 3, 2}, 0, 0}};
    tarvo::scene::MapChannel uvs;
    uvs.vertices = {{0, 0, 0}, {1, 1, 0}};
    uvs.faces = {{0, 0, 0}, {1, 1, 1}, {0, 0, 0}, {1, 1, 1}};
    mesh.maps[1] = uvs;
    ExportOptions options = meshtest::MeshOptions();
    options.optMesh = 1;
    // Appended, in corner order 0, 2, 1: 4 (host 2), 5 (host 0), 6 (host 3), 7 (host 1).
    auto normal =
        meshtest::ReadMesh(meshtest::ExportRun(meshtest::OneMeshScene(mesh), options).OnlyMesh());
    EXPECT_EQ(normal.vertices.size(), 8u);
    EXPECT_EQ(normal.faces[3][0], 7u);
    options.optMesh = 2;
    meshtest::ExportRun run(meshtest::OneMeshScene(mesh), options);
    auto optimized = meshtest::ReadMesh(run.OnlyMesh());
    EXPECT_EQ(optimized.vertices.size(), 7u);
    EXPECT_EQ(optimized.faces[3], (std::array<std::uint32_t, 3>{5, 4, 6}));
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Optimized"),
              (std::vector<std::string>{"Optimized: vert 7, with vert 5"}));
}

TEST(VertexSharing, SkinnedNodesKeepFacesOfDifferentMaterialsApart) {
    tarvo::scene::SceneData scene;
    scene.nodes.push_back(tarvo::testscenes::PlainNode("Bone", tarvo::scene::ObjectKind::Helper));
    tarvo::scene::MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    mesh.faces = {{{0, 1, 2}, 1, 0}, {{2, 1, 3}, 1, 1}};
    auto node = tarvo::testscenes::MeshNode("Skinned", mesh);
    tarvo::scene::ModifierData skin;
    skin.kind = tarvo::scene::ModifierKind::Skin;
    skin.name = "Skin";
    skin.skin.bones = {0};
    skin.skin.weights = {{{0, 1.0f}}, {{0, 1.0f}}, {{0, 1.0f}}, {{0, 1.0f}}};
    node.derived.push_back({{skin}});
    scene.nodes.push_back(node);
    ExportOptions options = meshtest::MeshOptions();
    EXPECT_EQ(
        meshtest::ReadMesh(*meshtest::ExportRun(scene, options).Meshes().at(0)).vertices.size(),
        4u);
    options.skinning = 1;  // the material ids now take part: vertices 1 and 2 split
    EXPECT_EQ(
        meshtest::ReadMesh(*meshtest::ExportRun(scene, options).Meshes().at(0)).vertices.size(),
        6u);
}

// Influences naming a made-up bone, never dereferenced: the builder only carries them.
VertexWeights WeightsOf(std::uintptr_t bone, float weight) {
    VertexWeights weights;
    weights.influences[0] = {reinterpret_cast<INode*>(bone), weight};
    weights.count = 1;
    return weights;
}

OutputVertex AddWeighted(VertexBuilder& builder, std::uint32_t host, const MeshVertex& record,
                         const VertexWeights& weights) {
    return AddVertex(builder, HostVertex(host), record, {}, &weights);
}

TEST(VertexSharing, InfluencesStayWithTheirRecordsThroughSharingAndOptimized) {
    VertexBuilder builder = CreateVertexBuilder(3, 3, true, 0, true);
    for (std::uint32_t h = 0; h < 3; ++h)
        AddWeighted(builder, h, At(static_cast<float>(h)), WeightsOf(0x10 + h, 1.0f));
    // A corner equal to its host vertex's record shares it, influences and all.
    EXPECT_EQ(AddWeighted(builder, 0, At(0), WeightsOf(0x99, 0.5f)).value, 0u);
    // Appended: 3 (host 0), 4 (host 1) and 5 (host 2) equal, 6 (host 2) apart.
    AddWeighted(builder, 0, At(5), WeightsOf(0x20, 0.25f));
    AddWeighted(builder, 1, At(5), WeightsOf(0x21, 0.5f));
    AddWeighted(builder, 2, At(5), WeightsOf(0x22, 0.75f));
    AddWeighted(builder, 2, At(6), WeightsOf(0x23, 1.0f));
    ASSERT_EQ(builder.weights.size(), 7u);
    OptimiseVertices(builder);  // 5 merges into 4, and 6 moves down to 5
    ASSERT_EQ(builder.vertices.size(), 6u);
    ASSERT_EQ(builder.weights.size(), 6u);
    const std::uintptr_t bones[6] = {0x10, 0x11, 0x12, 0x20, 0x21, 0x23};
    const float shares[6] = {1.0f, 1.0f, 1.0f, 0.25f, 0.5f, 1.0f};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(builder.weights[i].count, 1u) << i;
        EXPECT_EQ(builder.weights[i].influences[0].bone, reinterpret_cast<INode*>(bones[i])) << i;
        EXPECT_EQ(builder.weights[i].influences[0].weight, shares[i]) << i;
    }
    EXPECT_EQ(builder.vertices[5].position[0], 6.0f);
}

TEST(VertexSharing, SequentialInfluencesFollowEveryCornerAndUnskinnedMeshesKeepNone) {
    VertexBuilder skinned = CreateVertexBuilder(1, 1, false, 0, true);
    for (std::uint32_t i = 0; i < 3; ++i) AddWeighted(skinned, 0, At(1), WeightsOf(0x30 + i, 1.0f));
    ASSERT_EQ(skinned.weights.size(), 3u);
    EXPECT_EQ(skinned.weights[2].influences[0].bone, reinterpret_cast<INode*>(0x32));
    VertexBuilder plain = CreateVertexBuilder(1, 1, false, 0);
    for (std::uint32_t i = 0; i < 3; ++i) AddWeighted(plain, 0, At(1), WeightsOf(0x30, 1.0f));
    EXPECT_TRUE(plain.weights.empty());
}

TEST(VertexSharing, TheChildrenGetTheAttributesOfEveryVertexInOrderAndOnlyThoseAsked) {
    VertexBuilder builder = CreateVertexBuilder(2, 1, true, 2, true);
    MeshVertex first = At(1, 0.25f);
    first.uvw[1] = 0.5f;
    first.color[0] = 0.1f, first.color[1] = 0.2f, first.color[2] = 0.3f, first.alpha = 0.4f;
    MeshVertex second = At(2, 0.75f);
    const ExtraUv extras[2] = {{0.5f, 0.5f}, {0.125f, 1.0f}};
    const VertexWeights w0 = WeightsOf(0x40, 1.0f), w1 = WeightsOf(0x41, 0.5f);
    AddVertex(builder, HostVertex(1), second, {extras, 1}, &w1);
    AddVertex(builder, HostVertex(0), first, extras, &w0);
    VertexAttributes all = TakeVertexAttributes(builder, true, true);
    ASSERT_EQ(all.vertexCount, 2u);
    ASSERT_EQ(all.uvs.size(), 2u);
    EXPECT_EQ(all.uvs[0].u, 0.25f);
    EXPECT_EQ(all.uvs[0].v, 0.5f);
    EXPECT_EQ(all.uvs[1].u, 0.75f);
    ASSERT_EQ(all.colors.size(), 2u);
    EXPECT_EQ(all.colors[0].rgb[2], 0.3f);
    EXPECT_EQ(all.colors[0].alpha, 0.4f);
    ASSERT_EQ(all.ExtrasOf(0).size(), 2u);
    EXPECT_EQ(all.ExtrasOf(0)[1].u, 0.125f);
    ASSERT_EQ(all.ExtrasOf(1).size(), 1u);
    EXPECT_EQ(all.ExtrasOf(1)[0].v, 0.5f);
    ASSERT_EQ(all.weights.size(), 2u);
    EXPECT_EQ(all.weights[1].influences[0].bone, reinterpret_cast<INode*>(0x41));
    VertexAttributes none = TakeVertexAttributes(builder, false, false);
    EXPECT_TRUE(none.uvs.empty());
    EXPECT_TRUE(none.colors.empty());
}

}  // namespace
