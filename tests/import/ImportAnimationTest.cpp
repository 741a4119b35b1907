// Animations of imported scenes: the source's keys on the host's timeline, one animation
// after another, each a segment of the settings stored in the scene and so one animation set
// of the export; and the one segment the user may ask for instead.
#include <gtest/gtest.h>

#include <assimp/scene.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>

#include "host/import/ImportAnimations.h"
#include "tests/anim/AnimTestSupport.h"
#include "tests/import/ArmImport.h"
#include "tests/mesh/MeshTestSupport.h"

namespace {

using namespace tarvo;
using importtest::ImportedArm;

constexpr float kTolerance = 1e-5f;
constexpr TimeValue kTicksPerSecond = 4800;
// "Wave" lasts 2 s from time 0; "Lift" begins one sample (160 ticks) later and lasts 0.5 s.
constexpr TimeValue kWaveEnd = 2 * kTicksPerSecond;
constexpr TimeValue kLiftStart = kWaveEnd + 160;
constexpr TimeValue kLiftEnd = kLiftStart + kTicksPerSecond / 2;

float Radians(float degrees) {
    return degrees * std::numbers::pi_v<float> / 180.0f;
}

// The same turn, whichever of the two quaternions gives it.
void ExpectSameTurn(const Quat& actual, const Quat& expected, const std::string& what) {
    const float dot = actual.x * expected.x + actual.y * expected.y + actual.z * expected.z +
                      actual.w * expected.w;
    EXPECT_NEAR(std::fabs(dot), 1.0f, kTolerance) << what;
}

void ExpectNear(const Point3& a, const Point3& b, const std::string& what) {
    EXPECT_NEAR(a.x, b.x, kTolerance) << what;
    EXPECT_NEAR(a.y, b.y, kTolerance) << what;
    EXPECT_NEAR(a.z, b.z, kTolerance) << what;
}

template <typename T>
std::vector<TimeValue> TimesOf(const std::vector<scene::Key<T>>& track) {
    std::vector<TimeValue> times;
    for (const auto& key : track) times.push_back(key.time);
    return times;
}

Quat AboutZ(float degrees) {
    return QuatFromAxisAngle(Point3(0, 0, 1), Radians(degrees));
}

// ---- keys ----

TEST(ImportAnimation, KeysLieOnTheTimelineOneAnimationAfterAnother) {
    ImportedArm arm;
    EXPECT_EQ(arm.scene.animStart, 0);
    EXPECT_EQ(arm.scene.animEnd, kLiftEnd);
    // "Wave" turns the lower arm (not a top-level node: its keys are the source's).
    const scene::Tracks& lower = arm.NodeNamed("LowerArm").animation;
    ASSERT_EQ(TimesOf(lower.rotation),
              (std::vector<TimeValue>{0, kTicksPerSecond, kWaveEnd, kLiftStart, kLiftEnd}));
    ExpectSameTurn(lower.rotation[0].value, AboutZ(45), "Wave at 0 s");
    ExpectSameTurn(lower.rotation[1].value, AboutZ(90), "Wave at 1 s");
    ExpectSameTurn(lower.rotation[2].value, AboutZ(45), "Wave at 2 s");
    // Through "Lift" it stands as it rests.
    ExpectSameTurn(lower.rotation[3].value, AboutZ(importtest::kArmLowerArmRestDegrees),
                   "rest at the start of Lift");
    ExpectSameTurn(lower.rotation[4].value, AboutZ(importtest::kArmLowerArmRestDegrees),
                   "rest at the end of Lift");
}

TEST(ImportAnimation, TopLevelKeysAreTurnedZUpWithTheirNode) {
    ImportedArm arm;
    const scene::Tracks& upper = arm.NodeNamed("UpperArm").animation;
    // Held at rest through "Wave", moved up (y up: z up in the host) during "Lift".
    ASSERT_EQ(TimesOf(upper.position), (std::vector<TimeValue>{0, kWaveEnd, kLiftStart, kLiftEnd}));
    ExpectNear(upper.position[0].value, Point3(0, 0, 0), "Wave start");
    ExpectNear(upper.position[2].value, Point3(0, 0, 0), "Lift start");
    ExpectNear(upper.position[3].value, Point3(0, 0, 1), "Lift end");
    // The source's 45 degrees about x after the host's own 90 degrees about x.
    ASSERT_EQ(TimesOf(upper.rotation), (std::vector<TimeValue>{0, kWaveEnd, kLiftStart, kLiftEnd}));
    const Quat turn = QuatFromAxisAngle(Point3(1, 0, 0), Radians(90));
    ExpectSameTurn(upper.rotation[0].value, turn, "at rest");
    ExpectSameTurn(upper.rotation[2].value, turn, "Lift start");
    ExpectSameTurn(upper.rotation[3].value, QuatFromAxisAngle(Point3(1, 0, 0), Radians(135)),
                   "Lift end");
    ExpectSameTurn(arm.NodeNamed("UpperArm").transform.rotation, turn, "the node's own turn");
}

// ---- segments ----

TEST(ImportAnimation, EachAnimationIsASegmentOfTheStoredSettings) {
    ImportedArm arm;
    const ExportOptions options = importtest::StoredOptions(arm.scene);
    ASSERT_EQ(options.segments.size(), 2u);
    EXPECT_EQ(options.segments[0].name, "Wave");
    EXPECT_EQ(options.segments[0].start, 0);
    EXPECT_EQ(options.segments[0].end, kWaveEnd);
    EXPECT_EQ(options.segments[1].name, "Lift");
    EXPECT_EQ(options.segments[1].start, kLiftStart);
    EXPECT_EQ(options.segments[1].end, kLiftEnd);
    EXPECT_EQ(options.saveSettingsInScene, 1);
}

std::vector<std::string> AnimationSetNames(const meshtest::ExportRun& run) {
    std::vector<std::string> names;
    for (const auto* set : animtest::FindAll(run.Contents(), "AnimationSet"))
        names.push_back(set->name);
    return names;
}

TEST(ImportAnimation, TheExportWritesOneAnimationSetPerAnimation) {
    ImportedArm arm;
    meshtest::ExportRun run(arm.scene, importtest::StoredOptions(arm.scene));
    EXPECT_EQ(AnimationSetNames(run), (std::vector<std::string>{"Wave", "Lift"}));
}

TEST(ImportAnimation, OneSegmentKeepsTheSingleDefaultSegment) {
    ImportedArm arm(/*oneSegment=*/true);
    const ExportOptions options = importtest::StoredOptions(arm.scene);
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].name, "Anim-1");
    EXPECT_EQ(options.segments[0].start, 0);
    EXPECT_EQ(options.segments[0].end, kLiftEnd);
    EXPECT_EQ(options.skinning, 1) << "the skin is still written";
    meshtest::ExportRun run(arm.scene, options);
    EXPECT_EQ(AnimationSetNames(run), (std::vector<std::string>{"Anim-1"}));
}

// ---- names, rates and what has no place ----

// A source of one node "N" and the animations given, each with one position key at
// `keyTime` of its own ticks.
struct AnimatedSource {
    aiScene source;
    scene::SceneData records;

    AnimatedSource(const std::vector<std::string>& names, double ticksPerSecond, double keyTime) {
        source.mRootNode = new aiNode("N");
        source.mNumAnimations = static_cast<unsigned>(names.size());
        source.mAnimations = new aiAnimation*[names.size()];
        for (std::size_t a = 0; a < names.size(); ++a) {
            auto* animation = new aiAnimation;
            animation->mName = aiString(names[a]);
            animation->mTicksPerSecond = ticksPerSecond;
            animation->mDuration = keyTime;
            auto* channel = new aiNodeAnim;
            channel->mNodeName = aiString("N");
            channel->mNumPositionKeys = 1;
            channel->mPositionKeys =
                new aiVectorKey[1]{aiVectorKey(keyTime, aiVector3D(float(a), 0, 0))};
            animation->mNumChannels = 1;
            animation->mChannels = new aiNodeAnim* [1] { channel };
            source.mAnimations[a] = animation;
        }
        scene::NodeData node;
        node.name = "N";
        node.parent = 0;  // not top level: keys stay as the source has them
        records.nodes.push_back(scene::NodeData{});
        records.nodes.push_back(node);
    }

    assimpimport::ImportContext Context() {
        assimpimport::ImportContext ctx{source, records};
        ctx.nodeByName["N"] = 1;
        return ctx;
    }
};

TEST(ImportAnimation, SegmentNamesAreTheAnimationsOwnMadeUnique) {
    AnimatedSource s({"", "Walk", "Walk", "Walk 2"}, 25.0, 25.0);
    assimpimport::ImportContext ctx = s.Context();
    assimpimport::ImportAnimations(ctx, true);
    std::vector<std::string> names;
    for (const auto& segment : importtest::StoredOptions(s.records).segments)
        names.push_back(segment.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Animation 1", "Walk", "Walk 2", "Walk 2 2"}));
}

TEST(ImportAnimation, ASourceWithoutARateCountsTwentyFiveTicksPerSecond) {
    AnimatedSource s({"A"}, 0.0, 50.0);  // 50 ticks: 2 s
    assimpimport::ImportContext ctx = s.Context();
    assimpimport::ImportAnimations(ctx, true);
    EXPECT_EQ(TimesOf(s.records.nodes[1].animation.position),
              (std::vector<TimeValue>{0, 2 * kTicksPerSecond}));
    EXPECT_EQ(s.records.animEnd, 2 * kTicksPerSecond);
}

TEST(ImportAnimation, AnAnimationOfOneMomentLastsOneSample) {
    AnimatedSource s({"Pose", "Next"}, 25.0, 0.0);
    assimpimport::ImportContext ctx = s.Context();
    assimpimport::ImportAnimations(ctx, true);
    const ExportOptions options = importtest::StoredOptions(s.records);
    ASSERT_EQ(options.segments.size(), 2u);
    EXPECT_EQ(options.segments[0].start, 0);
    EXPECT_EQ(options.segments[0].end, 160);
    EXPECT_EQ(options.segments[1].start, 320);
    EXPECT_EQ(options.segments[1].end, 480);
}

TEST(ImportAnimation, WithoutSkinOrOwnSegmentsTheSettingsAreLeftToTheExporter) {
    AnimatedSource s({"A"}, 25.0, 25.0);
    assimpimport::ImportContext ctx = s.Context();
    assimpimport::ImportAnimations(ctx, false);
    EXPECT_EQ(importtest::StoredSettings(s.records), "");
    EXPECT_EQ(s.records.nodes[1].animation.position.size(), 2u) << "the keys are still there";
}

TEST(ImportAnimation, MorphAnimationsAndChannelsWithoutANodeAreCounted) {
    AnimatedSource s({"A"}, 25.0, 25.0);
    s.source.mAnimations[0]->mChannels[0]->mNodeName = aiString("Nobody");
    s.source.mAnimations[0]->mNumMorphMeshChannels = 1;
    s.source.mAnimations[0]->mMorphMeshChannels = new aiMeshMorphAnim* [1] { new aiMeshMorphAnim };
    assimpimport::ImportContext ctx = s.Context();
    assimpimport::ImportAnimations(ctx, true);
    EXPECT_EQ(ctx.unmapped["morph animation channel"], 1u);
    EXPECT_EQ(ctx.unmapped["animation channel without a node"], 1u);
    EXPECT_TRUE(s.records.nodes[1].animation.position.empty());
}

// ---- the example ----

// examples/arm.gltf is this arm; TARVO_UPDATE_EXAMPLES=1 writes it anew.
TEST(ImportAnimation, TheExampleArmIsTheTestsArm) {
    const std::string path = std::string(TARVO_SOURCE_DIR) + "/examples/arm.gltf";
    if (std::getenv("TARVO_UPDATE_EXAMPLES") != nullptr)
        std::ofstream(path, std::ios::binary) << importtest::ArmGltfText();
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, importtest::ArmGltfText()) << path << " differs from the tests' arm";
}

}  // namespace
