// The record checks over deep and much-shared sub-material trees: each material below
// another is looked at once, and the search keeps its place on the heap.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/max/SceneCheck.h"
#include "tests/max/DeepScenes.h"

using namespace tarvo;

namespace {

// `count` multi materials M0, M1, ..., each holding the next `fanOut` times.
scene::SceneData MaterialChain(int count, int fanOut) {
    scene::SceneData data;
    for (int i = 0; i < count; ++i) {
        scene::MaterialData material;
        material.name = "M" + std::to_string(i);
        material.kind = scene::MaterialKind::Multi;
        if (i + 1 < count) material.subMaterials.assign(static_cast<std::size_t>(fanOut), i + 1);
        data.materials.push_back(std::move(material));
    }
    return data;
}

}  // namespace

// Sixty levels that each hold the next one twice: 2^60 ways down, sixty materials.
TEST(SceneCheckDepth, SharedSubMaterialsAreLookedAtOnce) {
    EXPECT_FALSE(scene::CheckScene(MaterialChain(60, 2)).has_value());
    scene::SceneData cycle = MaterialChain(60, 2);
    cycle.materials.back().subMaterials = {30};
    auto problem = scene::CheckScene(cycle);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->owner, scene::SceneProblem::Owner::Material);
    EXPECT_EQ(problem->index, 30);  // the first material on the cycle
    EXPECT_EQ(problem->what, "the material contains itself through its sub-materials");
}

TEST(SceneCheckDepth, AChainOfMaterialsAsLongAsADeepNodeTreeIsCheckedOnASmallStack) {
    const int count = testscenes::kDeepestChain;
    scene::SceneData chain = MaterialChain(count, 1);
    bool accepted = false;
    testscenes::RunOnSmallStack([&] { accepted = !scene::CheckScene(chain).has_value(); });
    EXPECT_TRUE(accepted);
    chain.materials.back().subMaterials = {0};
    std::optional<scene::SceneProblem> problem;
    testscenes::RunOnSmallStack([&] { problem = scene::CheckScene(chain); });
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->index, 0);
    EXPECT_EQ(problem->field, "subMaterials");
}

TEST(SceneCheckDepth, ASubMaterialOutOfRangeIsItsOwnMaterialsProblem) {
    scene::SceneData data = MaterialChain(3, 1);
    data.materials[1].subMaterials = {2, 7};
    auto problem = scene::CheckScene(data);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->index, 1);
    EXPECT_EQ(problem->field, "subMaterials/1");
    EXPECT_EQ(problem->what, "material index 7 is out of range: there are 3 materials");
}
