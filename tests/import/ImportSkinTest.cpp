// Skins of imported scenes: the source's bones and weights as the host's Skin modifier, bound
// where the source bound them (not where the scene stands at time 0), deformed by the host as
// the source deforms them, and exported so that the .X file binds in place and moves as the
// host does.
#include <gtest/gtest.h>

#include <assimp/scene.h>

#include <cstring>
#include <map>
#include <numbers>

#include "host/import/ImportSkins.h"
#include "platform/max/HostScene.h"
#include "platform/max/IGame.h"
#include "platform/max/Node.h"
#include "tests/anim/AnimTestSupport.h"
#include "tests/import/ArmImport.h"
#include "tests/mesh/MeshTestSupport.h"

namespace {

using namespace tarvo;
using d3dx::XDataObject;
using importtest::ImportedArm;

constexpr float kTolerance = 1e-4f;
constexpr TimeValue kWaveMiddle = 4800;  // 1 s into "Wave", which starts the timeline
constexpr TimeValue kWaveEnd = 9600;

void ExpectNear(const Point3& actual, const Point3& expected, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, kTolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, kTolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, kTolerance) << what;
}

void ExpectNear(const Matrix3& actual, const Matrix3& expected, const std::string& what) {
    for (int r = 0; r < 4; ++r)
        ExpectNear(actual.GetRow(r), expected.GetRow(r), what + ", row " + std::to_string(r));
}

// The source's y-up point in the host's z-up frame.
Point3 ZUp(const aiVector3D& p) {
    return {p.x, -p.z, p.y};
}

// The host's turn from y up to z up, for row vectors.
Matrix3 AxisTurn() {
    return Matrix3(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, -1, 0), Point3(0, 0, 0));
}

float Radians(float degrees) {
    return degrees * std::numbers::pi_v<float> / 180.0f;
}

const scene::SkinData& ArmSkin(const ImportedArm& arm) {
    const scene::NodeData& node = arm.NodeNamed("Arm");
    if (node.derived.empty() || node.derived[0].modifiers.empty())
        throw std::runtime_error("the arm has no modifier");
    return node.derived[0].modifiers[0].skin;
}

// ---- the source's own deformation, from the glTF's values with Assimp's maths ----

// Where the source puts arm vertex v with its bones' world matrices (y up): the weights and
// inverse bind matrices of ArmGltf.h.
Point3 SourceSkinned(int v, const aiMatrix4x4& upperWorld, const aiMatrix4x4& lowerWorld) {
    const auto p = importtest::ArmVertex(v);
    const aiVector3D vertex(p[0], p[1], p[2]);
    aiMatrix4x4 lowerInverseBind;
    aiMatrix4x4::Translation(aiVector3D(0, -2, 0), lowerInverseBind);
    const float lowerWeight = v < 4 ? 0.0f : v < 8 ? 0.5f : 1.0f;
    const aiVector3D upper = upperWorld * vertex;
    const aiVector3D lower = lowerWorld * (lowerInverseBind * vertex);
    return ZUp(upper * (1.0f - lowerWeight) + lower * lowerWeight);
}

aiMatrix4x4 LowerArmWorld(const aiMatrix4x4& upperWorld, float degreesAboutZ) {
    aiMatrix4x4 move, turn;
    aiMatrix4x4::Translation(aiVector3D(0, 2, 0), move);
    aiMatrix4x4::RotationZ(Radians(degreesAboutZ), turn);
    return upperWorld * move * turn;
}

// ---- the records ----

TEST(ImportSkin, BonesAndWeightsBecomeTheMeshNodesSkin) {
    ImportedArm arm;
    const scene::NodeData& node = arm.NodeNamed("Arm");
    ASSERT_EQ(node.derived.size(), 1u);
    ASSERT_EQ(node.derived[0].modifiers.size(), 1u);
    const scene::ModifierData& modifier = node.derived[0].modifiers[0];
    EXPECT_EQ(modifier.kind, scene::ModifierKind::Skin);
    EXPECT_EQ(modifier.name, "Skin");
    const scene::SkinData& skin = modifier.skin;
    ASSERT_EQ(skin.bones.size(), 2u);
    std::map<std::string, int> slot;
    for (std::size_t b = 0; b < skin.bones.size(); ++b)
        slot[arm.scene.nodes[static_cast<std::size_t>(skin.bones[b])].name] = static_cast<int>(b);
    ASSERT_TRUE(slot.contains("UpperArm") && slot.contains("LowerArm"));
    ASSERT_EQ(skin.weights.size(), static_cast<std::size_t>(importtest::kArmVertices));
    for (int v = 0; v < importtest::kArmVertices; ++v) {
        std::map<int, float> weights;
        for (const auto& influence : skin.weights[static_cast<std::size_t>(v)])
            weights[influence.bone] += influence.weight;
        std::map<int, float> expected;
        if (v < 8) expected[slot["UpperArm"]] = v < 4 ? 1.0f : 0.5f;
        if (v >= 4) expected[slot["LowerArm"]] = v < 8 ? 0.5f : 1.0f;
        EXPECT_EQ(weights, expected) << "vertex " << v;
    }
    EXPECT_EQ(arm.report.unmapped.count("influence past the fourth"), 0u);
}

TEST(ImportSkin, TheSkinKeepsTheSourcesBindPose) {
    ImportedArm arm;
    const scene::SkinData& skin = ArmSkin(arm);
    ASSERT_TRUE(skin.initSkinTM.has_value());
    ExpectNear(*skin.initSkinTM, AxisTurn(), "the arm's node");
    ASSERT_EQ(skin.initBoneTMs.size(), skin.bones.size());
    for (std::size_t b = 0; b < skin.bones.size(); ++b) {
        const std::string& name = arm.scene.nodes[static_cast<std::size_t>(skin.bones[b])].name;
        ASSERT_TRUE(skin.initBoneTMs[b].has_value()) << name;
        Matrix3 expected = AxisTurn();
        // Bound straight, two up (z up in the host), whatever the node's own turn.
        if (name == "LowerArm") expected.SetTrans(Point3(0, 0, 2));
        ExpectNear(*skin.initBoneTMs[b], expected, name);
    }
    // Standing, the lower arm is turned: its rest is not its bind pose.
    const Quat rest = arm.NodeNamed("LowerArm").transform.rotation;
    EXPECT_LT(std::fabs(rest.w), 0.99f);
}

TEST(ImportSkin, TheHostDeformsTheSkinAsTheSourceDoes) {
    ImportedArm arm;
    HostScene host(arm.scene);
    host.IGame()->InitialiseIGame(false);
    IGameSkin* skin =
        host.IGame()->GetIGameNode(host.FindNode("Arm"))->GetIGameObject()->GetIGameSkin();
    ASSERT_NE(skin, nullptr);
    const aiMatrix4x4 upper;  // "Wave" leaves the upper arm where it stands
    const struct {
        TimeValue time;
        float degrees;
    } moments[] = {{0, 45.0f}, {kWaveMiddle, 90.0f}, {kWaveEnd, 45.0f}};
    for (const auto& moment : moments)
        for (int v = 0; v < importtest::kArmVertices; ++v)
            ExpectNear(skin->GetDeformedVertex(v, moment.time),
                       SourceSkinned(v, upper, LowerArmWorld(upper, moment.degrees)),
                       "vertex " + std::to_string(v) + " at " + std::to_string(moment.time));
}

// ---- the exported file ----

Matrix3 MatrixFromFloats(const float m[16]) {
    return Matrix3(Point3(m[0], m[1], m[2]), Point3(m[4], m[5], m[6]), Point3(m[8], m[9], m[10]),
                   Point3(m[12], m[13], m[14]));
}

struct FileBone {
    std::string frame;
    std::vector<std::uint32_t> vertices;
    std::vector<float> weights;
    Matrix3 offset;
};

std::vector<FileBone> BonesOf(const XDataObject& mesh) {
    std::vector<FileBone> bones;
    for (const auto& child : mesh.children) {
        if (child.IsReference() || child.object->templateName != "SkinWeights") continue;
        const auto& bytes = child.object->payload;
        FileBone bone;
        bone.frame = reinterpret_cast<const char*>(bytes.data());
        std::size_t at = bone.frame.size() + 1;
        std::uint32_t n = 0;
        std::memcpy(&n, bytes.data() + at, 4);
        at += 4;
        if (bytes.size() != at + 8u * n + 64u) {
            ADD_FAILURE() << "SkinWeights of " << bone.frame << " has " << bytes.size() << " bytes";
            continue;
        }
        bone.vertices.resize(n);
        bone.weights.resize(n);
        std::memcpy(bone.vertices.data(), bytes.data() + at, 4u * n);
        std::memcpy(bone.weights.data(), bytes.data() + at + 4u * n, 4u * n);
        float m[16];
        std::memcpy(m, bytes.data() + at + 8u * n, sizeof m);
        bone.offset = MatrixFromFloats(m);
        bones.push_back(std::move(bone));
    }
    return bones;
}

// The frames of the file with their own matrices and the matrix keys of one animation set.
class FileFrames {
  public:
    FileFrames(const d3dx::XFileContents& contents, const std::string& set) {
        for (const auto& object : contents.objects)
            if (object.templateName == "Frame") Add(object, -1);
        for (const XDataObject* animationSet : animtest::FindAll(contents, "AnimationSet")) {
            if (animationSet->name != set) continue;
            for (const auto& animation : animationSet->children) {
                if (animation.IsReference() || animation.object->templateName != "Animation")
                    continue;
                const auto refs = animtest::ReferencesOf(*animation.object);
                if (refs.size() != 1 || !m_index.contains(refs[0])) continue;
                for (const auto& key : animation.object->children) {
                    if (key.IsReference() || key.object->templateName != "AnimationKey") continue;
                    const animtest::DecodedKeys keys = animtest::DecodeKeys(*key.object);
                    if (keys.type != 4) continue;
                    for (std::size_t i = 0; i < keys.times.size(); ++i)
                        m_keys[m_index[refs[0]]][keys.times[i]] =
                            MatrixFromFloats(keys.values[i].data());
                }
            }
        }
    }

    // The world matrix of the named frame at a key time of the set, or with the frames' own
    // matrices.
    Matrix3 World(const std::string& name, std::optional<std::uint32_t> time) const {
        Matrix3 world(1);
        auto found = m_index.find(name);
        EXPECT_NE(found, m_index.end()) << "no frame " << name;
        if (found == m_index.end()) return world;
        for (int f = found->second; f >= 0; f = m_parent[static_cast<std::size_t>(f)]) {
            Matrix3 local = m_local[static_cast<std::size_t>(f)];
            auto keys = m_keys.find(f);
            if (time && keys != m_keys.end() && keys->second.contains(*time))
                local = keys->second.at(*time);
            world = world * local;
        }
        return world;
    }
    const XDataObject* mesh = nullptr;
    std::string meshFrame;

  private:
    void Add(const XDataObject& object, int parent) {
        const int index = static_cast<int>(m_local.size());
        m_index[object.name] = index;
        m_parent.push_back(parent);
        Matrix3 local(1);
        if (const XDataObject* matrix = meshtest::ChildOf(object, "FrameTransformMatrix")) {
            float m[16];
            std::memcpy(m, matrix->payload.data(), sizeof m);
            local = MatrixFromFloats(m);
        }
        m_local.push_back(local);
        for (const auto& child : object.children) {
            if (child.IsReference()) continue;
            if (child.object->templateName == "Frame") Add(*child.object, index);
            if (child.object->templateName == "Mesh") {
                mesh = child.object.get();
                meshFrame = object.name;
            }
        }
    }

    std::map<std::string, int> m_index;
    std::vector<int> m_parent;
    std::vector<Matrix3> m_local;
    std::map<int, std::map<std::uint32_t, Matrix3>> m_keys;
};

Point3 FileVertex(const XDataObject& mesh, std::uint32_t v) {
    const auto vertices = meshtest::ReadMesh(mesh).vertices;
    if (v >= vertices.size()) return {};
    return {vertices[v].x, vertices[v].y, vertices[v].z};
}

// Where a reader puts written vertex v: the blend of v × offset × bone world.
Point3 FileSkinned(const FileFrames& frames, const std::vector<FileBone>& bones, std::uint32_t v,
                   const std::function<Matrix3(const std::string&)>& world) {
    Point3 sum(0, 0, 0);
    for (const FileBone& bone : bones)
        for (std::size_t i = 0; i < bone.vertices.size(); ++i)
            if (bone.vertices[i] == v)
                sum += (FileVertex(*frames.mesh, v) * bone.offset * world(bone.frame)) *
                       bone.weights[i];
    return sum;
}

Matrix3 SwapYZ(const Matrix3& m) {
    const Matrix3 swap(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, 1, 0), Point3(0, 0, 0));
    return swap * m * swap;
}

struct ExportCase {
    std::int32_t frameSetting;
    std::int32_t leftHanded;
};

class ImportSkinExport : public ::testing::TestWithParam<ExportCase> {
  protected:
    ExportOptions Options(const scene::SceneData& scene) const {
        ExportOptions options = importtest::StoredOptions(scene);
        options.frameSetting = GetParam().frameSetting;
        options.leftHanded = GetParam().leftHanded;
        return options;
    }
};

// The offsets are the source's: with each bone where the source bound it, every vertex lands
// where the mesh's own bind placement puts it.
TEST_P(ImportSkinExport, TheFileBindsInPlaceAtTheSourcesBindPose) {
    ImportedArm arm;
    const scene::SkinData skin = ArmSkin(arm);
    const ExportOptions options = Options(arm.scene);
    ASSERT_EQ(options.skinning, 1);
    meshtest::ExportRun run(arm.scene, options);
    FileFrames frames(run.Contents(), "Wave");
    ASSERT_NE(frames.mesh, nullptr);
    const auto bones = BonesOf(*frames.mesh);
    ASSERT_EQ(bones.size(), 2u);
    auto bind = [&](const std::string& frame) {
        for (std::size_t b = 0; b < skin.bones.size(); ++b)
            if (arm.scene.nodes[static_cast<std::size_t>(skin.bones[b])].name == frame)
                return options.leftHanded ? SwapYZ(*skin.initBoneTMs[b]) : *skin.initBoneTMs[b];
        ADD_FAILURE() << "no bone " << frame;
        return Matrix3(1);
    };
    const Matrix3 meshBind = options.leftHanded ? SwapYZ(*skin.initSkinTM) : *skin.initSkinTM;
    for (std::uint32_t v = 0; v < static_cast<std::uint32_t>(importtest::kArmVertices); ++v)
        ExpectNear(FileSkinned(frames, bones, v, bind), FileVertex(*frames.mesh, v) * meshBind,
                   "vertex " + std::to_string(v));
}

// Played, the file moves the arm as the host, and so the source, does.
TEST_P(ImportSkinExport, TheFileMovesTheSkinAsTheHostDeformsIt) {
    ImportedArm arm;
    const ExportOptions options = Options(arm.scene);
    HostScene host(arm.scene);
    host.IGame()->InitialiseIGame(false);
    IGameSkin* skin =
        host.IGame()->GetIGameNode(host.FindNode("Arm"))->GetIGameObject()->GetIGameSkin();
    ASSERT_NE(skin, nullptr);
    meshtest::ExportRun run(arm.scene, options);
    FileFrames frames(run.Contents(), "Wave");
    ASSERT_NE(frames.mesh, nullptr);
    const auto bones = BonesOf(*frames.mesh);
    // The host's vertex i is written as vertex i: the first record of each keeps its slot.
    for (TimeValue t : {TimeValue{0}, kWaveMiddle, kWaveEnd})
        for (int v = 0; v < importtest::kArmVertices; ++v) {
            Point3 expected = skin->GetDeformedVertex(v, t);
            if (options.leftHanded) std::swap(expected.y, expected.z);
            ExpectNear(FileSkinned(frames, bones, static_cast<std::uint32_t>(v),
                                   [&](const std::string& frame) {
                                       return frames.World(frame, static_cast<std::uint32_t>(t));
                                   }),
                       expected, "vertex " + std::to_string(v) + " at " + std::to_string(t));
        }
}

INSTANTIATE_TEST_SUITE_P(FrameModesAndAxes, ImportSkinExport,
                         ::testing::Values(ExportCase{kFrameSettingSubFrames, 1},
                                           ExportCase{kFrameSettingSubFrames, 0},
                                           ExportCase{kFrameSettingTopFrameOnly, 1},
                                           ExportCase{kFrameSettingTopFrameOnly, 0}),
                         [](const auto& info) {
                             return std::string(info.param.frameSetting == kFrameSettingSubFrames
                                                    ? "SubFrames"
                                                    : "TopFrames") +
                                    (info.param.leftHanded == 1 ? "LeftHanded" : "RightHanded");
                         });

// ---- influences past the fourth, and bones that name nothing ----

// A scene of one source node "Skinned" holding one mesh of one vertex with six bones, "B0" to
// "B4" being nodes and "Missing" not.
struct SixBoneSource {
    aiScene source;
    scene::SceneData records;

    SixBoneSource() {
        source.mRootNode = new aiNode("Skinned");
        auto* mesh = new aiMesh;
        mesh->mNumVertices = 1;
        mesh->mVertices = new aiVector3D[1]{aiVector3D(0, 0, 0)};
        mesh->mNumBones = 6;
        mesh->mBones = new aiBone*[6];
        for (unsigned b = 0; b < 6; ++b) {
            auto* bone = new aiBone;
            bone->mName = b < 5 ? aiString("B" + std::to_string(b)) : aiString("Missing");
            bone->mNumWeights = 1;
            bone->mWeights =
                new aiVertexWeight[1]{aiVertexWeight(0, 0.1f * static_cast<float>(b + 1))};
            mesh->mBones[b] = bone;
        }
        source.mNumMeshes = 1;
        source.mMeshes = new aiMesh* [1] { mesh };
        scene::NodeData skinned;
        skinned.name = "Skinned";
        skinned.object = scene::ObjectKind::Mesh;
        skinned.mesh.vertices = {Point3(0, 0, 0)};
        records.nodes.push_back(skinned);
        for (int b = 0; b < 5; ++b) {
            scene::NodeData bone;
            bone.name = "B" + std::to_string(b);
            bone.object = scene::ObjectKind::Helper;
            records.nodes.push_back(bone);
        }
    }
};

TEST(ImportSkin, EveryInfluenceIsKeptAndThoseTheExportDropsAreCounted) {
    SixBoneSource s;
    assimpimport::ImportContext ctx{s.source, s.records};
    for (std::size_t n = 0; n < s.records.nodes.size(); ++n)
        ctx.nodeByName[s.records.nodes[n].name] = static_cast<int>(n);
    ctx.meshPlacement[s.source.mMeshes[0]] = {0, 0};
    assimpimport::ImportSkins(ctx);
    const scene::SkinData& skin = s.records.nodes[0].derived.at(0).modifiers.at(0).skin;
    EXPECT_EQ(skin.bones, (std::vector<int>{1, 2, 3, 4, 5}));
    ASSERT_EQ(skin.weights.size(), 1u);
    EXPECT_EQ(skin.weights[0].size(), 5u);
    EXPECT_EQ(ctx.unmapped["influence past the fourth"], 1u);
    EXPECT_EQ(ctx.unmapped["bone without a node"], 1u);
}

}  // namespace
