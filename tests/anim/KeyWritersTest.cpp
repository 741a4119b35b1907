// The AnimationKey writers run on small scenes and read back with our reader: sample counts
// and times, key times by ticks or sequence, payload sizes, the axis swap of vectors and
// quaternions, segments before time 0, and keys at the controller's key frames.
#include <gtest/gtest.h>

#include <cmath>

#include "AnimTestSupport.h"

namespace {

using animtest::DecodedKeys;
using animtest::KeyWriterRun;
using tarvo::scene::Key;
using tarvo::scene::NodeData;
using tarvo::scene::ObjectKind;
using tarvo::scene::SceneData;

constexpr float kTolerance = 1e-5f;
constexpr std::uint32_t kRotation = 0, kScale = 1, kPosition = 2, kMatrix = 4;
constexpr TimeValue kStep = 160;  // 4,800 ticks per second at 30 samples per second

NodeData Helper(const std::string& name, int parent) {
    NodeData node;
    node.name = name;
    node.parent = parent;
    node.object = ObjectKind::Helper;
    return node;
}

// Holder: turned and scaled, so that a child's placement relative to it is not exact in
// floats. Mover under it: position keys at 0, 800 and 2400 ticks. Twin under it: placed
// exactly as Holder. Stray: a top-level node with a pivot and rotation and position tracks
// that start before time 0.
SceneData KeyScene() {
    SceneData scene;
    NodeData holder = Helper("Holder", -1);
    holder.transform.position = Point3(1, 0, 0);
    holder.transform.rotation = QuatFromAxisAngle(Point3(1, 1, 0).Normalize(), 0.7f);
    holder.transform.scale = Point3(3, 3, 3);
    scene.nodes.push_back(holder);
    NodeData mover = Helper("Mover", 0);
    mover.animation.position = {Key<Point3>{0, Point3(0, 0, 0)}, Key<Point3>{800, Point3(1, 2, 3)},
                                Key<Point3>{2400, Point3(4, 5, 6)}};
    scene.nodes.push_back(mover);
    scene.nodes.push_back(Helper("Twin", 0));
    NodeData stray = Helper("Stray", -1);
    stray.transform.position = Point3(1, 2, 3);
    stray.objectOffset.position = Point3(0, 0, 5);
    stray.animation.rotation = {
        Key<Quat>{-320, Quat(0, 0, 0, 1)},
        Key<Quat>{320, QuatFromAxisAngle(Point3(0, 0, 1), 1.0f)},
    };
    stray.animation.position = {Key<Point3>{-320, Point3(0, 2, 3)},
                                Key<Point3>{320, Point3(4, 2, 3)}};
    scene.nodes.push_back(stray);
    return scene;
}

std::vector<std::uint32_t> EveryStep(std::uint32_t first, std::uint32_t step, std::size_t count) {
    std::vector<std::uint32_t> times;
    for (std::size_t i = 0; i < count; ++i)
        times.push_back(first + static_cast<std::uint32_t>(i) * step);
    return times;
}

class KeyWritersTest : public ::testing::Test {
  protected:
    KeyWritersTest() : run(KeyScene()) {}
    AnimatedNode Mover() { return {run.Node("Mover"), run.Node("Holder")}; }
    AnimatedNode Stray() { return {run.Node("Stray"), nullptr}; }

    KeyWriterRun run;
};

TEST(SampleTimesTest, CountsFollowTheStepAndCompareSigned) {
    EXPECT_EQ(SampleTimes(0, 16000, kStep).size(), 101u);
    EXPECT_EQ(SampleTimes(0, 16000, kStep).back(), 16000);
    // 1000 is not a multiple of the step: the last sample is 960.
    auto seven = SampleTimes(0, 1000, kStep);
    ASSERT_EQ(seven.size(), 7u);
    EXPECT_EQ(seven.back(), 960);
    EXPECT_EQ(SampleTimes(480, 480, kStep), std::vector<TimeValue>{480});
    EXPECT_TRUE(SampleTimes(481, 480, kStep).empty());
    // A segment that starts before time 0 is sampled across it.
    EXPECT_EQ(SampleTimes(-320, 320, kStep), (std::vector<TimeValue>{-320, -160, 0, 160, 320}));
    EXPECT_EQ(SampleTimes(-800, -480, kStep), (std::vector<TimeValue>{-800, -640, -480}));
}

TEST(KeyTimeTest, TicksFromTheStartOrTheSequenceNumber) {
    EXPECT_EQ(KeyTime(kTimeLineTicks, 3, 1280, 800), 480u);
    EXPECT_EQ(KeyTime(kTimeLineTicks, 0, -320, -320), 0u);
    EXPECT_EQ(KeyTime(kTimeLineTicks, 4, 320, -320), 640u);
    EXPECT_EQ(KeyTime(kTimeLineKeySequence, 3, 1280, 800), 3u);
}

TEST_F(KeyWritersTest, HundredAndOneMatrixKeysWithTheirTimesAndSize) {
    std::vector<std::uint32_t> counts;
    auto keys = run.Write({WriteMatrixKeys, WritePositionKeys}, Mover(), 0, 16000, &counts);
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{101, 101}));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].type, kMatrix);
    EXPECT_EQ(keys[0].payloadBytes, 7280u);
    EXPECT_EQ(keys[0].times, EveryStep(0, kStep, 101));
    EXPECT_EQ(keys[0].values[0].size(), 16u);
    EXPECT_EQ(keys[1].type, kPosition);
    EXPECT_EQ(keys[1].payloadBytes, 2028u);

    run.Options().timeLine = kTimeLineKeySequence;
    keys = run.Write({WriteMatrixKeys}, Mover(), 0, 16000);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].times, EveryStep(0, 1, 101));
}

TEST_F(KeyWritersTest, SevenKeysWhenTheEndIsNotOnTheStep) {
    for (auto writer : {WriteMatrixKeys, WriteRotationKeys, WriteScaleKeys, WritePositionKeys}) {
        auto keys = run.Write({writer}, Mover(), 0, 1000);
        ASSERT_EQ(keys.size(), 1u);
        EXPECT_EQ(keys[0].times, EveryStep(0, kStep, 7));
    }
}

TEST_F(KeyWritersTest, StartEqualToEndGivesNoMatrixKeysAndOneComponentKeyEach) {
    std::vector<std::uint32_t> counts;
    auto keys = run.Write({WriteMatrixKeys, WriteRotationKeys, WriteScaleKeys, WritePositionKeys},
                          Mover(), 800, 800, &counts);
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{0, 1, 1, 1}));
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].type, kRotation);
    EXPECT_EQ(keys[1].type, kScale);
    EXPECT_EQ(keys[2].type, kPosition);
    for (const DecodedKeys& k : keys) EXPECT_EQ(k.times, std::vector<std::uint32_t>{0});
}

TEST_F(KeyWritersTest, SegmentStartingBeforeTimeZeroIsSampledAcrossIt) {
    run.Options().leftHanded = 0;
    auto keys = run.Write({WritePositionKeys, WriteMatrixKeys}, Stray(), -320, 320);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].times, EveryStep(0, kStep, 5));
    EXPECT_EQ(keys[1].times, EveryStep(0, kStep, 5));
    // The track goes from x = 0 at -320 to x = 4 at 320: one unit per sample.
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(keys[0].values[i][0], static_cast<float>(i), kTolerance) << i;
        EXPECT_NEAR(keys[1].values[i][12], static_cast<float>(i), kTolerance) << i;
    }
}

TEST_F(KeyWritersTest, VectorsAndQuaternionsSwapTheirAxesWhenLeftHanded) {
    TarvoDirectXMaxExporter exporter;
    Point3 v(1, 2, 3);
    FlipVectorYZ(exporter, v);
    EXPECT_EQ(v, Point3(1, 3, 2));
    Quat q(0.1f, 0.2f, 0.3f, 0.9f);
    FlipQuatYZ(exporter, q);
    EXPECT_EQ(q, Quat(0.1f, 0.3f, 0.2f, -0.9f));
    exporter.options.leftHanded = 0;
    v = Point3(1, 2, 3), q = Quat(0.1f, 0.2f, 0.3f, 0.9f);
    FlipVectorYZ(exporter, v);
    FlipQuatYZ(exporter, q);
    EXPECT_EQ(v, Point3(1, 2, 3));
    EXPECT_EQ(q, Quat(0.1f, 0.2f, 0.3f, 0.9f));
}

// The rotation key holds w, x, y, z; a quaternion and its negative are the same rotation.
void ExpectSameRotation(const std::vector<float>& wxyz, const Quat& expected) {
    ASSERT_EQ(wxyz.size(), 4u);
    float sign =
        wxyz[0] * expected.w + wxyz[1] * expected.x + wxyz[2] * expected.y + wxyz[3] * expected.z <
                0
            ? -1.0f
            : 1.0f;
    EXPECT_NEAR(sign * wxyz[0], expected.w, kTolerance);
    EXPECT_NEAR(sign * wxyz[1], expected.x, kTolerance);
    EXPECT_NEAR(sign * wxyz[2], expected.y, kTolerance);
    EXPECT_NEAR(sign * wxyz[3], expected.z, kTolerance);
}

TEST_F(KeyWritersTest, WrittenRotationAndPositionFollowTheAxisSwap) {
    const Quat turned = QuatFromAxisAngle(Point3(0, 0, 1), 1.0f);
    auto keys = run.Write({WriteRotationKeys, WritePositionKeys}, Stray(), 320, 320);
    ASSERT_EQ(keys.size(), 2u);
    AffineParts parts;
    decomp_affine(run.Node("Stray")->GetNodeTM(320), &parts);
    ExpectSameRotation(keys[0].values[0], Quat(parts.q.x, parts.q.z, parts.q.y, -parts.q.w));
    EXPECT_NEAR(std::fabs(parts.q.z), std::fabs(turned.z), kTolerance);
    EXPECT_EQ(keys[1].values[0], (std::vector<float>{4, 3, 2}));

    run.Options().leftHanded = 0;
    keys = run.Write({WriteRotationKeys, WritePositionKeys}, Stray(), 320, 320);
    ASSERT_EQ(keys.size(), 2u);
    ExpectSameRotation(keys[0].values[0], parts.q);
    EXPECT_EQ(keys[1].values[0], (std::vector<float>{4, 2, 3}));
}

TEST_F(KeyWritersTest, NodePlacedExactlyAsItsFrameParentGetsIdentityKeys) {
    auto keys = run.Write({WriteMatrixKeys}, {run.Node("Twin"), run.Node("Holder")}, 0, 320);
    ASSERT_EQ(keys.size(), 1u);
    const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (const auto& values : keys[0].values) EXPECT_EQ(values, identity);
}

TEST_F(KeyWritersTest, KeysAreRelativeToTheFrameParentOrWorldWithTopFramesOnly) {
    run.Options().leftHanded = 0;
    auto keys = run.Write({WriteMatrixKeys}, Mover(), 800, 960);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_NEAR(keys[0].values[0][12], 1.0f, kTolerance);  // Mover's own track at 800
    EXPECT_NEAR(keys[0].values[0][13], 2.0f, kTolerance);
    EXPECT_NEAR(keys[0].values[0][14], 3.0f, kTolerance);

    run.Options().frameSetting = kFrameSettingTopFrameOnly;
    keys = run.Write({WriteMatrixKeys, WritePositionKeys}, Stray(), 0, 160);
    ASSERT_EQ(keys.size(), 2u);
    Point3 world = run.Node("Stray")->GetObjTMAfterWSM(0).GetTrans();
    EXPECT_NEAR(keys[0].values[0][14], world.z, kTolerance);  // the pivot's 5 is in it
    EXPECT_NEAR(keys[1].values[0][2], world.z, kTolerance);
    EXPECT_NEAR(world.z, 8.0f, kTolerance);
}

// ---- keys at the controller's key frames ----

TEST_F(KeyWritersTest, KeyTimesAreCompletedByTheSegmentEnds) {
    INode* mover = run.Node("Mover");
    EXPECT_EQ(CollectKeyTimes(mover, 0, 3200, KEYAT_POSITION),
              (std::vector<TimeValue>{0, 800, 2400, 3200}));
    EXPECT_EQ(CollectKeyTimes(mover, 800, 2400, KEYAT_POSITION),
              (std::vector<TimeValue>{800, 2400}));
    EXPECT_EQ(CollectKeyTimes(mover, 100, 3200, KEYAT_POSITION),
              (std::vector<TimeValue>{100, 800, 2400, 3200}));
    EXPECT_EQ(CollectKeyTimes(mover, 0, 3200, KEYAT_ROTATION), (std::vector<TimeValue>{0, 3200}));
    EXPECT_EQ(CollectKeyTimes(mover, 800, 800, KEYAT_POSITION), std::vector<TimeValue>{800});
    EXPECT_EQ(CollectKeyTimes(mover, 1000, 1000, KEYAT_POSITION),
              (std::vector<TimeValue>{1000, 1000}));
}

TEST_F(KeyWritersTest, KeyframeWritersTakeTheControllersKeys) {
    std::vector<std::uint32_t> counts;
    auto keys = run.Write({WritePositionKeyframes}, Mover(), 0, 3200, &counts);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].times, (std::vector<std::uint32_t>{0, 800, 2400, 3200}));
    run.Options().timeLine = kTimeLineKeySequence;
    keys = run.Write({WritePositionKeyframes}, Mover(), 0, 3200);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].times, (std::vector<std::uint32_t>{0, 1, 2, 3}));
    run.Options().timeLine = kTimeLineTicks;

    keys = run.Write({WritePositionKeyframes}, Mover(), 800, 2400);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].times, (std::vector<std::uint32_t>{0, 1600}));

    // Rotation is not animated: two keys; the matrix writer takes every component's keys.
    keys = run.Write({WriteRotationKeyframes, WriteMatrixKeyframes}, Mover(), 0, 3200);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].times, (std::vector<std::uint32_t>{0, 3200}));
    EXPECT_EQ(keys[1].type, kMatrix);
    EXPECT_EQ(keys[1].times, (std::vector<std::uint32_t>{0, 800, 2400, 3200}));
}

TEST_F(KeyWritersTest, KeyframeSegmentOfOneInstant) {
    std::vector<std::uint32_t> counts;
    // A position key exactly there: one time, so no matrix keys and one position key; the
    // components without a key there get the instant twice.
    auto keys = run.Write(
        {WriteMatrixKeyframes, WriteRotationKeyframes, WriteScaleKeyframes, WritePositionKeyframes},
        Mover(), 800, 800, &counts);
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{0, 2, 2, 1}));
    EXPECT_EQ(keys.size(), 3u);
    // No key there: the instant twice, two identical keys.
    counts.clear();
    keys = run.Write({WritePositionKeyframes}, Mover(), 1000, 1000, &counts);
    EXPECT_EQ(counts, std::vector<std::uint32_t>{2});
    ASSERT_EQ(keys.size(), 1u);
    ASSERT_EQ(keys[0].values.size(), 2u);
    EXPECT_EQ(keys[0].values[0], keys[0].values[1]);
}

}  // namespace
