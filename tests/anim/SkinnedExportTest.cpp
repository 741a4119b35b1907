// Skinned meshes and animation sets through the whole exporter, read back from the written
// file alone: the skin binds in place and moves as the host deforms it, influences are
// limited and bones listed as the file needs them, every reference names its own node's
// frame, and Assimp reads the sets and the skin in every file form.
#include <gtest/gtest.h>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <cstring>
#include <map>

#include "../mesh/MeshTestSupport.h"
#include "AnimTestSupport.h"
#include "host/scene/SceneFile.h"

namespace {

using d3dx::XDataObject;
using tarvo::scene::Key;
using tarvo::scene::ModifierData;
using tarvo::scene::ModifierKind;
using tarvo::scene::NodeData;
using tarvo::scene::ObjectKind;
using tarvo::scene::SceneData;
using tarvo::scene::VertexInfluence;

constexpr float kTolerance = 1e-4f;
constexpr TimeValue kStep = 160;

SceneData ExampleScene() {
    return tarvo::scenefile::LoadSceneFile(std::string(TARVO_SOURCE_DIR) +
                                           "/examples/sample.tscene.json");
}

ExportOptions SkinOptions(std::int32_t frameSetting, std::int32_t leftHanded, TimeValue start,
                          TimeValue end) {
    ExportOptions options;
    options.skinning = 1;
    options.frameSetting = frameSetting;
    options.leftHanded = leftHanded;
    options.segments.push_back(AnimSegment{"Swing", start, end, {}});
    return options;
}

// ---- payloads ----

struct SkinWeightsView {
    std::string name;
    std::vector<std::uint32_t> indices;
    std::vector<float> weights;
    Matrix3 offset;
};

Matrix3 MatrixFromFloats(const float m[16]) {
    return Matrix3(Point3(m[0], m[1], m[2]), Point3(m[4], m[5], m[6]), Point3(m[8], m[9], m[10]),
                   Point3(m[12], m[13], m[14]));
}

SkinWeightsView ReadSkinWeights(const XDataObject& object) {
    SkinWeightsView view;
    const auto& bytes = object.payload;
    const char* text = reinterpret_cast<const char*>(bytes.data());
    view.name = std::string(text, strnlen(text, bytes.size()));
    std::size_t at = view.name.size() + 1;
    std::uint32_t n = 0;
    std::memcpy(&n, bytes.data() + at, 4);
    at += 4;
    EXPECT_EQ(bytes.size(), view.name.size() + 8u * n + 69u) << "SkinWeights payload size";
    if (bytes.size() != view.name.size() + 8u * n + 69u) return view;
    view.indices.resize(n);
    view.weights.resize(n);
    std::memcpy(view.indices.data(), bytes.data() + at, 4u * n);
    std::memcpy(view.weights.data(), bytes.data() + at + 4u * n, 4u * n);
    float m[16];
    std::memcpy(m, bytes.data() + at + 8u * n, sizeof m);
    view.offset = MatrixFromFloats(m);
    return view;
}

std::vector<SkinWeightsView> SkinOf(const XDataObject& mesh) {
    std::vector<SkinWeightsView> bones;
    for (const auto& child : mesh.children)
        if (!child.IsReference() && child.object->templateName == "SkinWeights")
            bones.push_back(ReadSkinWeights(*child.object));
    return bones;
}

std::array<std::uint16_t, 3> HeaderOf(const XDataObject& mesh) {
    const XDataObject* header = meshtest::ChildOf(mesh, "XSkinMeshHeader");
    std::array<std::uint16_t, 3> fields{};
    EXPECT_NE(header, nullptr);
    if (header == nullptr || header->payload.size() < sizeof fields) return fields;
    std::memcpy(fields.data(), header->payload.data(), sizeof fields);
    return fields;
}

// ---- the file as a reader evaluates it ----

// A frame of the file with what places it: its own matrix, its parent, and the matrix keys
// of the Animation that names it.
struct FileFrame {
    std::string name;
    Matrix3 local;
    int parent = -1;
    std::map<std::uint32_t, Matrix3> keys;  // by key time
};

class FileScene {
  public:
    explicit FileScene(const d3dx::XFileContents& contents) {
        for (const auto& object : contents.objects)
            if (object.templateName == "Frame") AddFrame(object, -1);
        for (const XDataObject* animation : animtest::FindAll(contents, "Animation")) {
            auto refs = animtest::ReferencesOf(*animation);
            if (refs.size() != 1 || !m_byName.contains(refs[0])) {
                ADD_FAILURE() << "Animation " << animation->name << " names no frame";
                continue;
            }
            for (const auto& child : animation->children) {
                if (child.IsReference() || child.object->templateName != "AnimationKey") continue;
                animtest::DecodedKeys keys = animtest::DecodeKeys(*child.object);
                if (keys.type != 4) continue;
                for (std::size_t i = 0; i < keys.times.size(); ++i)
                    m_frames[static_cast<std::size_t>(m_byName[refs[0]])].keys[keys.times[i]] =
                        MatrixFromFloats(keys.values[i].data());
            }
        }
    }

    // The frame's world matrix at a key time; the frame's own matrix where it has no keys.
    Matrix3 World(int frame, std::optional<std::uint32_t> keyTime) const {
        Matrix3 world(1);
        for (int f = frame; f >= 0; f = m_frames[static_cast<std::size_t>(f)].parent) {
            const FileFrame& node = m_frames[static_cast<std::size_t>(f)];
            Matrix3 local = node.local;
            if (keyTime && node.keys.contains(*keyTime)) local = node.keys.at(*keyTime);
            world = world * local;
        }
        return world;
    }
    int FrameNamed(const std::string& name) const {
        auto found = m_byName.find(name);
        return found == m_byName.end() ? -1 : found->second;
    }
    // The skinned meshes with the frame each hangs in.
    const std::vector<std::pair<const XDataObject*, int>>& Meshes() const { return m_meshes; }
    const FileFrame& Frame(int index) const { return m_frames[static_cast<std::size_t>(index)]; }

    // Where the skin puts a written vertex: the blend of its bones' placements.
    Point3 Skinned(const XDataObject& mesh, std::uint32_t vertex,
                   std::optional<std::uint32_t> keyTime) const {
        const auto vertices = meshtest::ReadMesh(mesh).vertices;
        EXPECT_LT(vertex, vertices.size());
        if (vertex >= vertices.size()) return {};
        const Point3 v(vertices[vertex].x, vertices[vertex].y, vertices[vertex].z);
        Point3 sum(0, 0, 0);
        for (const SkinWeightsView& bone : SkinOf(mesh)) {
            int frame = FrameNamed(bone.name);
            EXPECT_GE(frame, 0) << "SkinWeights names no frame: " << bone.name;
            if (frame < 0) continue;
            for (std::size_t i = 0; i < bone.indices.size(); ++i)
                if (bone.indices[i] == vertex)
                    sum += (v * bone.offset * World(frame, keyTime)) * bone.weights[i];
        }
        return sum;
    }

  private:
    void AddFrame(const XDataObject& object, int parent) {
        FileFrame frame;
        frame.name = object.name;
        frame.parent = parent;
        if (const XDataObject* matrix = meshtest::ChildOf(object, "FrameTransformMatrix")) {
            float m[16];
            std::memcpy(m, matrix->payload.data(), sizeof m);
            frame.local = MatrixFromFloats(m);
        }
        int index = static_cast<int>(m_frames.size());
        if (!frame.name.empty()) m_byName[frame.name] = index;
        m_frames.push_back(frame);
        for (const auto& child : object.children) {
            if (child.IsReference()) continue;
            if (child.object->templateName == "Frame") AddFrame(*child.object, index);
            if (child.object->templateName == "Mesh" &&
                meshtest::ChildOf(*child.object, "XSkinMeshHeader") != nullptr)
                m_meshes.emplace_back(child.object.get(), index);
        }
    }

    std::vector<FileFrame> m_frames;
    std::map<std::string, int> m_byName;
    std::vector<std::pair<const XDataObject*, int>> m_meshes;
};

void ExpectNear(const Point3& actual, const Point3& expected, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, kTolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, kTolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, kTolerance) << what;
}

// ---- the example's arm ----

struct ArmCase {
    std::int32_t frameSetting;
    std::int32_t leftHanded;
};

class ExampleArmTest : public ::testing::TestWithParam<ArmCase> {};

TEST_P(ExampleArmTest, SkinBindsInPlace) {
    meshtest::ExportRun run(ExampleScene(),
                            SkinOptions(GetParam().frameSetting, GetParam().leftHanded, 0, 4800));
    FileScene file(run.Contents());
    ASSERT_EQ(file.Meshes().size(), 1u);
    const auto& [mesh, frame] = file.Meshes()[0];
    EXPECT_EQ(HeaderOf(*mesh), (std::array<std::uint16_t, 3>{2, 0, 2}));
    Matrix3 meshWorld = file.World(frame, std::nullopt);
    auto vertices = meshtest::ReadMesh(*mesh).vertices;
    ASSERT_GE(vertices.size(), 12u);
    for (std::uint32_t i = 0; i < vertices.size(); ++i) {
        Point3 v(vertices[i].x, vertices[i].y, vertices[i].z);
        ExpectNear(file.Skinned(*mesh, i, std::nullopt), v * meshWorld,
                   "vertex " + std::to_string(i));
    }
}

TEST_P(ExampleArmTest, SkinMovesAsTheHostDeformsIt) {
    const TimeValue start = 800, end = 4000;
    SceneData data = ExampleScene();
    HostScene host(data);
    host.IGame()->InitialiseIGame(false);
    IGameSkin* skin =
        host.IGame()->GetIGameNode(host.FindNode("Arm"))->GetIGameObject()->GetIGameSkin();
    ASSERT_NE(skin, nullptr);
    meshtest::ExportRun run(
        std::move(data), SkinOptions(GetParam().frameSetting, GetParam().leftHanded, start, end));
    FileScene file(run.Contents());
    ASSERT_EQ(file.Meshes().size(), 1u);
    const XDataObject& mesh = *file.Meshes()[0].first;
    // The host's vertex i is written as vertex i: the first record of each host vertex keeps
    // its slot.
    for (TimeValue t : {800, 2400, 4000}) {
        for (int i = 0; i < 12; ++i) {
            Point3 expected = skin->GetDeformedVertex(i, t);
            if (GetParam().leftHanded == 1) std::swap(expected.y, expected.z);
            ExpectNear(file.Skinned(mesh, static_cast<std::uint32_t>(i),
                                    static_cast<std::uint32_t>(t - start)),
                       expected, "vertex " + std::to_string(i) + " at " + std::to_string(t));
        }
    }
    // The deformation is not the bind pose: the lower arm has turned at 2400.
    Point3 bound = skin->GetDeformedVertex(8, 0), turned = skin->GetDeformedVertex(8, 2400);
    EXPECT_GT((bound - turned).Length(), 1.0f);
}

INSTANTIATE_TEST_SUITE_P(
    FrameModesAndAxes, ExampleArmTest,
    ::testing::Values(ArmCase{kFrameSettingTopFrameOnly, 1}, ArmCase{kFrameSettingTopFrameOnly, 0},
                      ArmCase{kFrameSettingSubFrames, 1}, ArmCase{kFrameSettingSubFrames, 0}),
    [](const auto& info) {
        return std::string(info.param.frameSetting == 1 ? "TopFrames" : "SubFrames") +
               (info.param.leftHanded == 1 ? "LeftHanded" : "RightHanded");
    });

// ---- influences and bones ----

NodeData Bone(const std::string& name, Point3 position) {
    NodeData node;
    node.name = name;
    node.object = ObjectKind::Helper;
    node.transform.position = position;
    return node;
}

// One triangle skinned to bones B0..B(n-1), with the influences per vertex.
SceneData TriangleSkinnedTo(int boneCount, std::vector<std::vector<VertexInfluence>> weights) {
    SceneData scene;
    for (int b = 0; b < boneCount; ++b)
        scene.nodes.push_back(Bone("B" + std::to_string(b), Point3(float(b), 0, 0)));
    NodeData mesh;
    mesh.name = "Skinned";
    mesh.object = ObjectKind::Mesh;
    mesh.mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
    mesh.mesh.faces.push_back({{0, 1, 2}, 1, 0});
    ModifierData skin;
    skin.kind = ModifierKind::Skin;
    skin.name = "Skin";
    for (int b = 0; b < boneCount; ++b) skin.skin.bones.push_back(b);
    skin.skin.weights = std::move(weights);
    mesh.derived.push_back({{skin}});
    scene.nodes.push_back(mesh);
    return scene;
}

ExportOptions RightHandedSkin() {
    ExportOptions options = SkinOptions(kFrameSettingSubFrames, 0, 0, 0);
    options.exportAnimation = 0;
    return options;
}

TEST(SkinInfluencesTest, FiveInfluencesKeepTheStrongestFourRescaled) {
    meshtest::ExportRun run(
        TriangleSkinnedTo(
            5,
            {{{0, 0.5f}, {1, 0.3f}, {2, 0.1f}, {3, 0.05f}, {4, 0.05f}}, {{0, 1.0f}}, {{0, 1.0f}}}),
        RightHandedSkin());
    const XDataObject& mesh = run.OnlyMesh();
    EXPECT_EQ(HeaderOf(mesh), (std::array<std::uint16_t, 3>{4, 0, 4}));
    auto bones = SkinOf(mesh);
    ASSERT_EQ(bones.size(), 4u);  // B4's share was cut off, and nothing else uses it
    const float kept[] = {0.5f, 0.3f, 0.1f, 0.05f};
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(bones[b].name, "B" + std::to_string(b));
        ASSERT_FALSE(bones[b].indices.empty());
        EXPECT_EQ(bones[b].indices[0], 0u);
        EXPECT_NEAR(bones[b].weights[0], kept[b] / 0.95f, 1e-6f);
    }
    EXPECT_EQ(bones[0].indices, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "A problem with the total").size(), 0u);
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Num bones before: 5").size(), 1u);
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "Num bones after: 4").size(), 1u);
}

TEST(SkinInfluencesTest, ShortTotalIsKeptAndReported) {
    meshtest::ExportRun run(
        TriangleSkinnedTo(3, {{{0, 0.4f}, {1, 0.3f}, {2, 0.2f}}, {{0, 1.0f}}, {{0, 1.0f}}}),
        RightHandedSkin());
    auto bones = SkinOf(run.OnlyMesh());
    ASSERT_EQ(bones.size(), 3u);
    EXPECT_FLOAT_EQ(bones[0].weights[0], 0.4f);
    EXPECT_FLOAT_EQ(bones[1].weights[0], 0.3f);
    EXPECT_FLOAT_EQ(bones[2].weights[0], 0.2f);
    EXPECT_EQ(meshtest::LinesStarting(run.DebugLines(), "A problem with the total weights").size(),
              1u);
    EXPECT_EQ(HeaderOf(run.OnlyMesh())[0], 3u);
}

TEST(SkinInfluencesTest, BonesListedInOrderOfFirstEncounterAndUnusedOnesRemoved) {
    // Vertex 0 names B3 first; B1 and B2 are met only in cut-off shares of vertex 1.
    meshtest::ExportRun run(
        TriangleSkinnedTo(6, {{{3, 1.0f}},
                              {{0, 0.4f}, {4, 0.3f}, {5, 0.2f}, {3, 0.1f}, {1, 0.0f}, {2, 0.0f}},
                              {{4, 0.5f}, {0, 0.5f}}}),
        RightHandedSkin());
    auto bones = SkinOf(run.OnlyMesh());
    std::vector<std::string> names;
    for (const auto& bone : bones) names.push_back(bone.name);
    EXPECT_EQ(names, (std::vector<std::string>{"B3", "B0", "B4", "B5"}));
    EXPECT_EQ(bones[0].indices, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(bones[2].indices, (std::vector<std::uint32_t>{1, 2}));
}

TEST(SkinInfluencesTest, SkinWithoutInfluencesStillGetsItsHeader) {
    meshtest::ExportRun run(TriangleSkinnedTo(2, {}), RightHandedSkin());
    EXPECT_EQ(HeaderOf(run.OnlyMesh()), (std::array<std::uint16_t, 3>{1, 0, 0}));
    EXPECT_TRUE(SkinOf(run.OnlyMesh()).empty());
}

TEST(SkinInfluencesTest, LongBoneNameIsKeptWhole) {
    SceneData scene = TriangleSkinnedTo(1, {{{0, 1.0f}}, {{0, 1.0f}}, {{0, 1.0f}}});
    scene.nodes[0].name = std::string(300, 'L');
    meshtest::ExportRun run(std::move(scene), RightHandedSkin());
    auto bones = SkinOf(run.OnlyMesh());
    ASSERT_EQ(bones.size(), 1u);
    EXPECT_EQ(bones[0].name, std::string(300, 'L'));
    FileScene file(run.Contents());
    EXPECT_GE(file.FrameNamed(bones[0].name), 0);
}

// ---- two nodes of one name ----

TEST(SameNamedNodesTest, AnimationsAndSkinNameTheirOwnNodesFrames) {
    SceneData scene;
    NodeData outer = Bone("Box", Point3(0, 0, 0));
    outer.object = ObjectKind::Mesh;
    outer.mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
    outer.mesh.faces.push_back({{0, 1, 2}, 1, 0});
    outer.animation.position = {Key<Point3>{0, Point3(0, 0, 0)}, Key<Point3>{320, Point3(7, 0, 0)}};
    scene.nodes.push_back(outer);
    NodeData inner = Bone("Box", Point3(0, 0, 2));
    inner.parent = 0;
    inner.animation.rotation = {Key<Quat>{0, Quat(0, 0, 0, 1)},
                                Key<Quat>{320, QuatFromAxisAngle(Point3(0, 0, 1), 1.0f)}};
    scene.nodes.push_back(inner);
    SceneData skinned = TriangleSkinnedTo(0, {{{0, 1.0f}}, {{0, 1.0f}}, {{0, 1.0f}}});
    skinned.nodes[0].derived[0].modifiers[0].skin.bones = {1};  // the inner Box
    scene.nodes.push_back(skinned.nodes[0]);
    meshtest::ExportRun run(std::move(scene), SkinOptions(kFrameSettingSubFrames, 1, 0, 320));

    FileScene file(run.Contents());
    int outerFrame = file.FrameNamed("Box"), innerFrame = file.FrameNamed("Box_2");
    ASSERT_GE(outerFrame, 0);
    ASSERT_GE(innerFrame, 0);
    EXPECT_EQ(file.Frame(innerFrame).parent, outerFrame);

    std::map<std::string, std::string> references;
    for (const XDataObject* animation : animtest::FindAll(run.Contents(), "Animation")) {
        auto refs = animtest::ReferencesOf(*animation);
        ASSERT_EQ(refs.size(), 1u);
        references[animation->name] = refs[0];
    }
    EXPECT_EQ(references["Anim-Box"], "Box");
    EXPECT_EQ(references["Anim-Box_2"], "Box_2");
    // Each frame's keys are its own node's: the outer Box moves 7 along x, the inner one
    // turns in place.
    EXPECT_NEAR(file.Frame(outerFrame).keys.at(320).GetTrans().x, 7.0f, kTolerance);
    EXPECT_NEAR(file.Frame(innerFrame).keys.at(320).GetTrans().x, 0.0f, kTolerance);
    EXPECT_NEAR(file.Frame(innerFrame).keys.at(320).GetTrans().y, 2.0f, kTolerance);

    const XDataObject* skinnedMesh = nullptr;
    for (const auto& [mesh, frame] : file.Meshes()) skinnedMesh = mesh;
    ASSERT_NE(skinnedMesh, nullptr);
    auto bones = SkinOf(*skinnedMesh);
    ASSERT_EQ(bones.size(), 1u);
    EXPECT_EQ(bones[0].name, "Box_2");
}

// ---- Assimp ----

TEST(ExampleAssimpTest, ReadsTheAnimationSetAndTheSkinInEveryForm) {
    const std::int32_t forms[] = {kXFileText, kXFileBinary, kXFileCompressed};
    for (std::int32_t form : forms) {
        SCOPED_TRACE(form);
        ExportOptions options = SkinOptions(kFrameSettingSubFrames, 1, 0, 4800);
        options.xFileType = form;
        meshtest::ExportRun run(ExampleScene(), options);
        const std::size_t animations = animtest::FindAll(run.Contents(), "Animation").size();
        ASSERT_GT(animations, 3u);

        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(run.Path(), 0);
        ASSERT_NE(scene, nullptr) << importer.GetErrorString();
        ASSERT_EQ(scene->mNumAnimations, 1u);
        const aiAnimation& set = *scene->mAnimations[0];
        EXPECT_STREQ(set.mName.C_Str(), "Swing");
        ASSERT_EQ(set.mNumChannels, animations);
        for (unsigned c = 0; c < set.mNumChannels; ++c) {
            const aiNodeAnim& channel = *set.mChannels[c];
            SCOPED_TRACE(channel.mNodeName.C_Str());
            ASSERT_EQ(channel.mNumPositionKeys, 31u);
            ASSERT_EQ(channel.mNumRotationKeys, 31u);
            for (unsigned k = 0; k < 31; ++k)
                EXPECT_DOUBLE_EQ(channel.mPositionKeys[k].mTime, double(k * kStep));
        }

        unsigned skinnedMeshes = 0;
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
            const aiMesh& mesh = *scene->mMeshes[m];
            if (mesh.mNumBones == 0) continue;
            ++skinnedMeshes;
            std::vector<float> totals(mesh.mNumVertices, 0.0f);
            for (unsigned b = 0; b < mesh.mNumBones; ++b)
                for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w)
                    totals[mesh.mBones[b]->mWeights[w].mVertexId] +=
                        mesh.mBones[b]->mWeights[w].mWeight;
            for (unsigned v = 0; v < mesh.mNumVertices; ++v)
                EXPECT_NEAR(totals[v], 1.0f, 1e-5f) << "vertex " << v;
        }
        EXPECT_GE(skinnedMeshes, 1u);
    }
}

}  // namespace
