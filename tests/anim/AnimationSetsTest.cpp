// The animation sets of whole exports: one set per segment, one Animation per node with
// the reference to its frame, the options child, the order of the key objects, and when no
// set is written at all.
#include <gtest/gtest.h>

#include <cstring>

#include "../mesh/MeshTestSupport.h"
#include "AnimTestSupport.h"

namespace {

using d3dx::XDataObject;
using tarvo::scene::Key;
using tarvo::scene::NodeData;
using tarvo::scene::ObjectKind;
using tarvo::scene::SceneData;

// "Box 01", a mesh that moves, with the helper "Dummy" under it.
SceneData MovingBoxScene() {
    SceneData scene = meshtest::OneMeshScene(
        tarvo::scene::MeshData{{Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)},
                               {{{0, 1, 2}, 1, 0}},
                               {},
                               std::nullopt},
        "Box 01");
    scene.nodes[0].animation.position = {Key<Point3>{0, Point3(0, 0, 0)},
                                         Key<Point3>{960, Point3(6, 0, 0)}};
    NodeData dummy;
    dummy.name = "Dummy";
    dummy.parent = 0;
    dummy.object = ObjectKind::Helper;
    scene.nodes.push_back(dummy);
    return scene;
}

ExportOptions TwoSegments() {
    ExportOptions options;
    options.segments.push_back(AnimSegment{"Walk cycle", 0, 960, {}});
    options.segments.push_back(AnimSegment{"Rest", 320, 320, {}});
    return options;
}

std::vector<const XDataObject*> Children(const XDataObject& object, const std::string& name) {
    std::vector<const XDataObject*> found;
    for (const auto& child : object.children)
        if (!child.IsReference() && child.object->templateName == name)
            found.push_back(child.object.get());
    return found;
}

TEST(AnimationSetsTest, OneSetPerSegmentWithAnAnimationPerNodeNamingItsFrame) {
    meshtest::ExportRun run(MovingBoxScene(), TwoSegments());
    auto sets = animtest::FindAll(run.Contents(), "AnimationSet");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0]->name, "Walk_cycle");
    EXPECT_EQ(sets[1]->name, "Rest");
    for (const XDataObject* set : sets) {
        auto animations = Children(*set, "Animation");
        ASSERT_EQ(animations.size(), 2u);
        EXPECT_EQ(animations[0]->name, "Anim-Box_01");
        EXPECT_EQ(animtest::ReferencesOf(*animations[0]), std::vector<std::string>{"Box_01"});
        EXPECT_EQ(animations[1]->name, "Anim-Dummy");
        EXPECT_EQ(animtest::ReferencesOf(*animations[1]), std::vector<std::string>{"Dummy"});
        EXPECT_TRUE(Children(*animations[0], "AnimationOptions").empty());
    }
    // Matrix keys: seven over the first segment, none over the instant of the second.
    auto walkKeys = Children(*Children(*sets[0], "Animation")[0], "AnimationKey");
    ASSERT_EQ(walkKeys.size(), 1u);
    EXPECT_EQ(animtest::DecodeKeys(*walkKeys[0]).times.size(), 7u);
    EXPECT_TRUE(Children(*Children(*sets[1], "Animation")[0], "AnimationKey").empty());
}

TEST(AnimationSetsTest, SegmentWithoutNodesGivesAnEmptySet) {
    SceneData scene;  // nothing to register
    meshtest::ExportRun run(std::move(scene), TwoSegments());
    auto sets = animtest::FindAll(run.Contents(), "AnimationSet");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_TRUE(sets[0]->children.empty());
}

TEST(AnimationSetsTest, OptionsChildCarriesOpenAndLinear) {
    ExportOptions options = TwoSegments();
    options.aniOptions = 1;
    options.aniOpenClosed = kAniOpen;
    options.aniPositionQuality = kAniLinearPositions;
    meshtest::ExportRun run(MovingBoxScene(), options);
    auto animationOptions = animtest::FindAll(run.Contents(), "AnimationOptions");
    ASSERT_EQ(animationOptions.size(), 4u);
    std::uint32_t values[2] = {0, 0};
    ASSERT_EQ(animationOptions[0]->payload.size(), sizeof values);
    std::memcpy(values, animationOptions[0]->payload.data(), sizeof values);
    EXPECT_EQ(values[0], 1u);
    EXPECT_EQ(values[1], 1u);
}

TEST(AnimationSetsTest, SeparateKeysComeAsRotationScalePosition) {
    ExportOptions options = TwoSegments();
    options.aniComponents = kAniSeparateKeys;
    for (std::int32_t keyframeOnly : {0, 1}) {
        options.aniKeyframeOnly = keyframeOnly;
        meshtest::ExportRun run(MovingBoxScene(), options);
        auto animations = animtest::FindAll(run.Contents(), "Animation");
        ASSERT_FALSE(animations.empty());
        std::vector<std::uint32_t> types;
        for (const XDataObject* key : Children(*animations[0], "AnimationKey"))
            types.push_back(animtest::DecodeKeys(*key).type);
        EXPECT_EQ(types, (std::vector<std::uint32_t>{0, 1, 2})) << keyframeOnly;
    }
}

TEST(AnimationSetsTest, NoSetsWithoutFramesOrWithAnimationOff) {
    ExportOptions options = TwoSegments();
    options.frameSetting = kFrameSettingNoFrames;
    EXPECT_TRUE(
        animtest::FindAll(meshtest::ExportRun(MovingBoxScene(), options).Contents(), "AnimationSet")
            .empty());
    options = TwoSegments();
    options.exportAnimation = 0;
    EXPECT_TRUE(
        animtest::FindAll(meshtest::ExportRun(MovingBoxScene(), options).Contents(), "AnimationSet")
            .empty());
}

}  // namespace
