// Texture coordinates, vertex colours and extra map channels: gathering, the v flip, NaN
// handling, the FVF codes and the order of the Mesh's children.
#include <gtest/gtest.h>

#include <cmath>

#include "../max/TestScenes.h"
#include "MeshTestSupport.h"
#include "mesh/Mesh.h"

namespace {

using meshtest::ExportRun;
using meshtest::MeshOptions;
using meshtest::OneMeshScene;
using tarvo::scene::MapChannel;
using tarvo::scene::MeshData;

MeshData Triangle() {
    MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.faces.push_back({{0, 1, 2}, 1, 0});
    return mesh;
}

MapChannel Channel(std::vector<Point3> vertices) {
    MapChannel channel;
    channel.vertices.assign(vertices.begin(), vertices.end());
    channel.faces = {{0, 1, 2}};
    return channel;
}

std::vector<std::array<float, 2>> UvsOf(const MeshData& mesh,
                                        ExportOptions options = MeshOptions()) {
    ExportRun run(OneMeshScene(mesh), options);
    const d3dx::XDataObject* coords = meshtest::ChildOf(run.OnlyMesh(), "MeshTextureCoords");
    EXPECT_NE(coords, nullptr);
    return coords ? meshtest::ReadTextureCoords(*coords) : std::vector<std::array<float, 2>>{};
}

TEST(TextureCoords, VIsFlippedOnOutputInOutputCornerOrder) {
    MeshData mesh = Triangle();
    mesh.maps[1] = Channel({{0.25f, 0.75f, 0}, {0.5f, 0.0f, 0}, {1.0f, 1.0f, 0}});
    ExportOptions options = MeshOptions();
    options.optMesh = 0;
    // Output corners are host corners 0, 2, 1.
    EXPECT_EQ(UvsOf(mesh, options),
              (std::vector<std::array<float, 2>>{{0.25f, 0.25f}, {1.0f, 0.0f}, {0.5f, 1.0f}}));
}

// Texture vertices are read ahead for no more indices than the faces have corners; a corner
// naming one past that still gets the channel's coordinate.
TEST(TextureCoords, VerticesPastTheCornerCountKeepTheirCoordinates) {
    MeshData mesh = Triangle();
    MapChannel channel;
    for (int i = 0; i < 9; ++i) channel.vertices.push_back(Point3(0.125f * float(i), 0.25f, 0));
    channel.faces = {{0, 5, 8}};
    mesh.maps[1] = channel;
    ExportOptions options = MeshOptions();
    options.optMesh = 0;
    // Output corners are host corners 0, 2, 1.
    EXPECT_EQ(UvsOf(mesh, options),
              (std::vector<std::array<float, 2>>{{0.0f, 0.75f}, {1.0f, 0.75f}, {0.625f, 0.75f}}));
}

TEST(TextureCoords, NaNCoordinatesBecomeZeroBeforeTheFlip) {
    MeshData mesh = Triangle();
    mesh.maps[1] = Channel({{NAN, NAN, 0}, {0.5f, NAN, 0}, {NAN, 0.5f, 0}});
    auto uvs = UvsOf(mesh);
    ASSERT_EQ(uvs.size(), 3u);
    EXPECT_EQ(uvs[0], (std::array<float, 2>{0.0f, 1.0f}));
    EXPECT_EQ(uvs[1], (std::array<float, 2>{0.5f, 1.0f}));
    EXPECT_EQ(uvs[2], (std::array<float, 2>{0.0f, 0.5f}));
}

TEST(TextureCoords, WithoutTextureVerticesThereIsNoObjectAndSharingIsUnaffected) {
    MeshData box = tarvo::testscenes::Box();
    ExportOptions options = MeshOptions();
    ExportRun run(OneMeshScene(box), options);
    EXPECT_EQ(meshtest::ChildOf(run.OnlyMesh(), "MeshTextureCoords"), nullptr);
    EXPECT_EQ(meshtest::ChildOf(run.OnlyMesh(), "MeshVertexColors"), nullptr);
    EXPECT_EQ(meshtest::ReadMesh(run.OnlyMesh()).vertices.size(), 8u);
}

TEST(TextureCoords, OffLeavesCoordinatesOutOfSharing) {
    MeshData box = tarvo::testscenes::Box();
    MapChannel uvs;
    for (std::uint32_t f = 0; f < 12; ++f) {
        uvs.vertices.push_back(Point3(static_cast<float>(f), 0, 0));
        uvs.faces.push_back({f, f, f});
    }
    box.maps[1] = uvs;
    ExportOptions options = MeshOptions();
    options.textureCoords = 0;
    ExportRun run(OneMeshScene(box), options);
    EXPECT_EQ(meshtest::ChildOf(run.OnlyMesh(), "MeshTextureCoords"), nullptr);
    EXPECT_EQ(meshtest::ReadMesh(run.OnlyMesh()).vertices.size(), 8u);
}

TEST(VertexColors, ColourAndAlphaAreWrittenUnchangedWithTheirIndex) {
    MeshData mesh = Triangle();
    mesh.maps[0] = Channel({{1, 0, 0}, {0, 1, 0}, {0, 0, 2}});  // no clamping
    mesh.maps[-2] = Channel({{0.5f, 0, 0}, {0.25f, 0, 0}, {NAN, 0, 0}});
    ExportOptions options = MeshOptions();
    ExportRun run(OneMeshScene(mesh), options);
    const d3dx::XDataObject* colors = meshtest::ChildOf(run.OnlyMesh(), "MeshVertexColors");
    ASSERT_NE(colors, nullptr);
    auto entries = meshtest::ReadColors(*colors);
    ASSERT_EQ(entries.size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(entries[i].index, i);
    EXPECT_EQ(entries[0].r, 1.0f);
    EXPECT_EQ(entries[0].a, 0.5f);
    EXPECT_EQ(entries[1].g, 1.0f);  // host vertex 1 is slot 1
    EXPECT_EQ(entries[1].a, 0.25f);
    EXPECT_EQ(entries[2].b, 2.0f);
    EXPECT_TRUE(std::isnan(entries[2].a));
}

TEST(VertexColors, WithoutAlphaVerticesEveryCornerIsOpaque) {
    MeshData mesh = Triangle();
    mesh.maps[0] = Channel({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    ExportRun run(OneMeshScene(mesh), MeshOptions());
    for (const auto& entry :
         meshtest::ReadColors(*meshtest::ChildOf(run.OnlyMesh(), "MeshVertexColors")))
        EXPECT_EQ(entry.a, 1.0f);
}

TEST(VertexColors, ColoursKeepACornerFromSharing) {
    MeshData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    mesh.faces.push_back({{0, 1, 2}, 0, 0});
    mesh.faces.push_back({{2, 1, 3}, 0, 0});
    MapChannel colors;
    colors.vertices = {{1, 0, 0}, {0, 1, 0}};
    colors.faces = {{0, 0, 0}, {1, 1, 1}};
    mesh.maps[0] = colors;
    ExportOptions options = MeshOptions();
    EXPECT_EQ(meshtest::ReadMesh(ExportRun(OneMeshScene(mesh), options).OnlyMesh()).vertices.size(),
              6u);
    options.vertexColors = 0;
    ExportRun run(OneMeshScene(mesh), options);
    EXPECT_EQ(meshtest::ReadMesh(run.OnlyMesh()).vertices.size(), 4u);
    EXPECT_EQ(meshtest::ChildOf(run.OnlyMesh(), "MeshVertexColors"), nullptr);
}

TEST(ExtraChannels, EveryListedChannelButTheTextureChannelIsAnExtraChannel) {
    auto tab = [](std::vector<int> values) {
        Tab<int> t;
        for (int v : values) t.Append(1, &v);
        return t;
    };
    EXPECT_EQ(ExtraChannelsOf(tab({1, 2, 3}), 3), (std::vector<int>{2, 3}));
    EXPECT_EQ(ExtraChannelsOf(tab({2, 3}), 2), (std::vector<int>{2, 3}));
    EXPECT_EQ(ExtraChannelsOf(tab({0, 1, 2}), 3), (std::vector<int>{2}));
    EXPECT_EQ(ExtraChannelsOf(tab({1, -2, 3}), 3), (std::vector<int>{3}));
    EXPECT_EQ(ExtraChannelsOf(tab({1}), 1), (std::vector<int>{}));
    EXPECT_EQ(ExtraChannelsOf(tab({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), 9),
              (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
    // Without channel 1 the nine positions hold nine candidates; a corner has room for eight.
    EXPECT_EQ(ExtraChannelsOf(tab({2, 3, 4, 5, 6, 7, 8, 9, 10}), 9),
              (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
}

// The FVFData as a reader that trusts dwFVF decodes it: the texture-set count from the
// D3DFVF_TEXCOUNT field (bits 8 to 11), two floats per set, vertex after vertex. Fails the
// test when the data does not hold exactly that many floats for the vertices.
constexpr std::uint32_t kFvfTexCountShift = 8;
constexpr std::uint32_t kFvfTexCountMask = 0xF;
constexpr std::uint32_t kFvfPosition = 0x002;

using UvSets = std::vector<std::array<float, 2>>;

std::vector<UvSets> SetsByFvf(const meshtest::FvfView& view, std::size_t vertexCount) {
    std::size_t sets = (view.fvf >> kFvfTexCountShift) & kFvfTexCountMask;
    EXPECT_EQ(view.data.size(), vertexCount * sets * 2) << "dwFVF " << view.fvf;
    if (view.data.size() != vertexCount * sets * 2) return {};
    std::vector<UvSets> vertices(vertexCount, UvSets(sets));
    for (std::size_t v = 0; v < vertexCount; ++v)
        for (std::size_t j = 0; j < sets; ++j)
            vertices[v][j] = {view.data[(v * sets + j) * 2], view.data[(v * sets + j) * 2 + 1]};
    return vertices;
}

// Channel `channel`'s coordinate of host vertex i: u tells the channel, v the vertex.
Point3 ChannelCoordinate(int channel, int i) {
    return {static_cast<float>(channel), 0.25f * static_cast<float>(i), 0};
}

MapChannel NumberedChannel(int channel) {
    return Channel({ChannelCoordinate(channel, 0), ChannelCoordinate(channel, 1),
                    ChannelCoordinate(channel, 2)});
}

// Assimp skips FVFData, so it can only show that the file around it still reads: the
// triangle with the channel-1 coordinates, v flipped back, when channel 1 is there.
void ExpectAssimpReadsTheTriangle(const ExportRun& run, bool withTextureChannel) {
    meshtest::AssimpReadBack assimp(run.Path());
    const aiMesh& theirs = assimp.OnlyMesh();
    ASSERT_EQ(theirs.mNumFaces, 1u);
    ASSERT_EQ(theirs.HasTextureCoords(0), withTextureChannel);
    auto ours = meshtest::ReadMesh(run.OnlyMesh());
    auto uvs =
        withTextureChannel
            ? meshtest::ReadTextureCoords(*meshtest::ChildOf(run.OnlyMesh(), "MeshTextureCoords"))
            : std::vector<std::array<float, 2>>{};
    for (unsigned k = 0; k < 3; ++k) {
        unsigned corner = theirs.mFaces[0].mIndices[2 - k];  // wound the other way
        std::uint32_t vertex = ours.faces[0][k];
        EXPECT_EQ(theirs.mVertices[corner].x, ours.vertices[vertex].x);
        EXPECT_EQ(theirs.mVertices[corner].z, -ours.vertices[vertex].z);
        if (withTextureChannel) {
            EXPECT_NEAR(theirs.mTextureCoords[0][corner].x, uvs[vertex][0], 1e-6f);
            EXPECT_NEAR(theirs.mTextureCoords[0][corner].y, 1.0f - uvs[vertex][1], 1e-6f);
        }
    }
}

TEST(ExtraChannels, DwFvfDeclaresExactlyTheTextureSetsEachVertexHolds) {
    for (int k : {1, 2, 8}) {
        SCOPED_TRACE(k);
        MeshData mesh = Triangle();
        mesh.maps[1] = Channel({{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}});
        for (int channel = 2; channel <= k + 1; ++channel)
            mesh.maps[channel] = NumberedChannel(channel);
        ExportRun run(OneMeshScene(mesh), MeshOptions());
        const d3dx::XDataObject* fvf = meshtest::ChildOf(run.OnlyMesh(), "FVFData");
        ASSERT_NE(fvf, nullptr);
        auto view = meshtest::ReadFvf(*fvf);
        EXPECT_EQ(view.fvf, kFvfPosition | (static_cast<std::uint32_t>(k) << kFvfTexCountShift));
        auto vertices = SetsByFvf(view, meshtest::ReadMesh(run.OnlyMesh()).vertices.size());
        ASSERT_EQ(vertices.size(), 3u);  // host vertex i is written as vertex i
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < k; ++j)
                EXPECT_EQ(vertices[i][j],
                          (std::array<float, 2>{static_cast<float>(j + 2), 1.0f - 0.25f * i}))
                    << "vertex " << i << " set " << j;
        ExpectAssimpReadsTheTriangle(run, true);
    }
}

// Channel 1 is the texture channel wherever the list holds it; without it, the first listed
// channel is an extra channel like the rest.
TEST(ExtraChannels, ChannelsTwoAndThreeAreWrittenWithOrWithoutChannelOne) {
    for (bool withTextureChannel : {false, true}) {
        SCOPED_TRACE(withTextureChannel);
        MeshData mesh = Triangle();
        if (withTextureChannel) mesh.maps[1] = Channel({{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}});
        mesh.maps[2] = NumberedChannel(2);
        mesh.maps[3] = NumberedChannel(3);
        ExportRun run(OneMeshScene(mesh), MeshOptions());
        EXPECT_EQ(meshtest::ChildOf(run.OnlyMesh(), "MeshTextureCoords") != nullptr,
                  withTextureChannel);
        const d3dx::XDataObject* fvf = meshtest::ChildOf(run.OnlyMesh(), "FVFData");
        ASSERT_NE(fvf, nullptr);
        auto view = meshtest::ReadFvf(*fvf);
        EXPECT_EQ(view.fvf, 0x202u);
        EXPECT_EQ(SetsByFvf(view, 3),
                  (std::vector<UvSets>{
                      {{2, 1.0f}, {3, 1.0f}}, {{2, 0.75f}, {3, 0.75f}}, {{2, 0.5f}, {3, 0.5f}}}));
        EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Actual Channels"),
                  (std::vector<std::string>{"Actual Channels used 2"}));
        ExpectAssimpReadsTheTriangle(run, withTextureChannel);
    }
}

TEST(ExtraChannels, ChannelsTwoAndThreeAreWrittenVertexMajorWithTheVFlip) {
    MeshData mesh = Triangle();
    mesh.maps[1] = Channel({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    mesh.maps[2] = Channel({{0.1f, 0.2f, 9}, {0.3f, 0.4f, 9}, {0.5f, 0.6f, 9}});
    mesh.maps[3] = Channel({{NAN, 0.25f, 0}, {0.75f, NAN, 0}, {1, 1, 0}});
    ExportOptions options = MeshOptions();
    ExportRun run(OneMeshScene(mesh), options);
    const d3dx::XDataObject* fvf = meshtest::ChildOf(run.OnlyMesh(), "FVFData");
    ASSERT_NE(fvf, nullptr);
    auto view = meshtest::ReadFvf(*fvf);
    EXPECT_EQ(view.fvf, 0x202u);
    EXPECT_EQ(view.data, (std::vector<float>{0.1f, 1 - 0.2f, 0.0f, 0.75f,    // host vertex 0
                                             0.3f, 1 - 0.4f, 0.75f, 1.0f,    // host vertex 1
                                             0.5f, 1 - 0.6f, 1.0f, 0.0f}));  // host vertex 2
}

TEST(ExtraChannels, UnusedSlotsArePaddedWithZeroAndOne) {
    MeshData mesh = Triangle();
    mesh.vertices.push_back(Point3(5, 5, 5));  // no face uses it
    mesh.maps[1] = Channel({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    mesh.maps[2] = Channel({{0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}});
    ExportRun run(OneMeshScene(mesh), MeshOptions());
    auto view = meshtest::ReadFvf(*meshtest::ChildOf(run.OnlyMesh(), "FVFData"));
    EXPECT_EQ(view.fvf, 0x102u);
    ASSERT_EQ(view.data.size(), 8u);
    EXPECT_EQ(view.data[6], 0.0f);
    EXPECT_EQ(view.data[7], 1.0f);
}

TEST(ExtraChannels, NotWrittenWithTextureCoordinatesOff) {
    MeshData mesh = Triangle();
    mesh.maps[1] = Channel({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    mesh.maps[2] = Channel({{0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}});
    ExportOptions options = MeshOptions();
    options.textureCoords = 0;
    ExportRun run(OneMeshScene(mesh), options);
    EXPECT_EQ(meshtest::ChildOf(run.OnlyMesh(), "FVFData"), nullptr);
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Actual Channels"),
              (std::vector<std::string>{"Actual Channels used 0"}));
}

TEST(MeshChildren, AreWrittenInTheirFixedOrder) {
    MeshData mesh = Triangle();
    mesh.maps[0] = Channel({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    mesh.maps[1] = Channel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    mesh.maps[4] = Channel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    ExportRun run(OneMeshScene(mesh), MeshOptions());
    EXPECT_EQ(meshtest::ChildTemplates(run.OnlyMesh()),
              (std::vector<std::string>{"MeshNormals", "MeshMaterialList", "MeshVertexColors",
                                        "MeshTextureCoords", "FVFData"}));
}

}  // namespace
