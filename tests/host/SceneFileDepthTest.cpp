// Deep node trees in scene files: the nesting limit, errors inside deep nodes, and reading
// without deep recursion.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host/scene/SceneFile.h"
#include "host/scene/SceneFileFormat.h"
#include "tests/max/DeepScenes.h"

using namespace tarvo;
using testscenes::ChainPointer;
using testscenes::kDeepestChain;
using testscenes::NodeChainText;

namespace {

// The error a scene text is refused with; fails the test when it is accepted.
scenefile::SceneFileError Refusal(const std::string& text) {
    try {
        scenefile::ParseScene(text, "deep.tscene.json");
    } catch (const scenefile::SceneFileError& e) {
        return e;
    }
    ADD_FAILURE() << "accepted";
    return scenefile::SceneFileError("", "", "");
}

}  // namespace

TEST(SceneFileDepth, TheDocumentedLimitIsTenThousandLevels) {
    EXPECT_EQ(scenefile::format::kMaxNodeDepth, kDeepestChain);
}

TEST(SceneFileDepth, AChainAsDeepAsTheLimitLoadsWithoutDeepRecursion) {
    const std::string text = NodeChainText(kDeepestChain);
    scene::SceneData data;
    testscenes::RunOnSmallStack([&] { data = scenefile::ParseScene(text, "deep.tscene.json"); });
    ASSERT_EQ(data.nodes.size(), static_cast<std::size_t>(kDeepestChain));
    for (int i = 0; i < kDeepestChain; ++i) {
        ASSERT_EQ(data.nodes[static_cast<std::size_t>(i)].parent, i - 1) << i;
        ASSERT_EQ(data.nodes[static_cast<std::size_t>(i)].name, "N" + std::to_string(i));
    }
}

TEST(SceneFileDepth, OneLevelMoreIsRefusedAtTheNodeThatIsTooDeep) {
    const std::string text = NodeChainText(kDeepestChain + 1);
    scenefile::SceneFileError error("", "", "");
    testscenes::RunOnSmallStack([&] { error = Refusal(text); });
    EXPECT_EQ(error.File(), "deep.tscene.json");
    EXPECT_EQ(error.Path(), ChainPointer(kDeepestChain + 1));
    EXPECT_EQ(error.Problem(), "nodes may be nested at most 10000 levels deep");
    EXPECT_EQ(std::string(error.what()), "deep.tscene.json: " + ChainPointer(kDeepestChain + 1) +
                                             ": nodes may be nested at most 10000 levels deep");
}

TEST(SceneFileDepth, TheLimitCountsLevelsNotNodes) {
    // Many nodes side by side and a few levels: far more nodes than the limit, all loaded.
    std::string wide = R"({"format": "tarvo-scene", "version": 1, "nodes": [)";
    for (int i = 0; i < kDeepestChain + 5; ++i) {
        if (i > 0) wide += ", ";
        wide += R"({"name": "T", "children": [{"name": "C"}]})";
    }
    wide += "]}";
    EXPECT_EQ(scenefile::ParseScene(wide, "wide.tscene.json").nodes.size(),
              static_cast<std::size_t>(2 * (kDeepestChain + 5)));
}

// Places inside a node are read relative to it and the node's place is put in front: every
// kind of error in a deep node still names its whole JSON pointer.
TEST(SceneFileDepth, ErrorsInADeepNodeNameTheWholePointer) {
    const int depth = 40;
    const std::string deepest = ChainPointer(depth);
    EXPECT_EQ(std::string(Refusal(NodeChainText(depth, R"(, "hidden": 1)")).what()),
              "deep.tscene.json: " + deepest + "/hidden: expected true or false, found a number");
    EXPECT_EQ(std::string(Refusal(NodeChainText(depth, R"(, "colour": 1)")).what()),
              "deep.tscene.json: " + deepest + "/colour: unknown key \"colour\"");
    EXPECT_EQ(std::string(Refusal(NodeChainText(depth, R"(, "children": {})")).what()),
              "deep.tscene.json: " + deepest + "/children: expected an array, found an object");
    EXPECT_EQ(std::string(Refusal(NodeChainText(depth, R"(, "children": [7])")).what()),
              "deep.tscene.json: " + deepest + "/children/0: expected an object, found a number");
    // Checked after reading, from the records: the place is rebuilt from the node's parents.
    EXPECT_EQ(std::string(Refusal(NodeChainText(depth, R"(, "animation": {"scale": [
            {"time": 5, "value": [1, 1, 1]}, {"time": 1, "value": [1, 1, 1]}]})"))
                              .what()),
              "deep.tscene.json: " + deepest +
                  "/animation/scale/1/time: key times must rise: 1 follows 5");
    // Bone references are resolved once every node is known.
    EXPECT_EQ(std::string(Refusal(NodeChainText(depth, R"(, "derived": [{"modifiers": [
            {"class": "skin", "bones": ["Nowhere"], "weights": []}]}])"))
                              .what()),
              "deep.tscene.json: " + deepest +
                  "/derived/0/modifiers/0/bones/0: no node is named \"Nowhere\"");
}

TEST(SceneFileDepth, ErrorsAfterADeepBranchNameTheirOwnPlace) {
    // The second top-level node, and a later sibling inside a branch, after deep children.
    const std::string branch = R"({"name": "A", "children": [{"name": "B", "children": [
        {"name": "C"}]}, {"name": "D", "hidden": 0}]})";
    EXPECT_EQ(
        std::string(Refusal(R"({"format": "tarvo-scene", "version": 1, "nodes": [)" + branch + "]}")
                        .what()),
        "deep.tscene.json: /nodes/0/children/1/hidden: expected true or false, found a "
        "number");
    EXPECT_EQ(std::string(Refusal(R"({"format": "tarvo-scene", "version": 1, "nodes": [
        {"name": "A", "children": [{"name": "B"}]}, {"name": 5}]})")
                              .what()),
              "deep.tscene.json: /nodes/1/name: expected a string, found a number");
}

TEST(SceneFileDepth, DeeplyNestedValuesOutsideNodesAreRefusedWithoutDeepRecursion) {
    // Nesting the parser accepts and the loader refuses: the document is taken apart
    // without a call per level.
    const int levels = 100000;
    const std::string text = R"({"format": "tarvo-scene", "version": 1, "currentTime": )" +
                             std::string(levels, '[') + std::string(levels, ']') + "}";
    scenefile::SceneFileError error("", "", "");
    testscenes::RunOnSmallStack([&] { error = Refusal(text); });
    EXPECT_EQ(std::string(error.what()),
              "deep.tscene.json: /currentTime: expected a whole number, found an array");
}

TEST(SceneFileDepth, AChainAsDeepAsTheLimitIsWrittenAndReadBackTheSame) {
    const scene::SceneData chain =
        scenefile::ParseScene(NodeChainText(kDeepestChain), "deep.tscene.json");
    std::string text;
    scene::SceneData again;
    testscenes::RunOnSmallStack([&] {
        text = scenefile::SerializeScene(chain);
        again = scenefile::ParseScene(text, "again.tscene.json");
    });
    EXPECT_TRUE(again == chain);
}

// Indentation stops growing at some depth, so that the file grows with the number of nodes:
// twice the levels, about twice the text.
TEST(SceneFileDepth, TheTextOfADeepChainGrowsWithItsDepth) {
    const auto textOf = [](int depth) {
        return scenefile::SerializeScene(
            scenefile::ParseScene(NodeChainText(depth), "deep.tscene.json"));
    };
    const std::string half = textOf(kDeepestChain / 2), whole = textOf(kDeepestChain);
    EXPECT_LT(static_cast<double>(whole.size()), 2.1 * static_cast<double>(half.size()));
    std::size_t deepestIndent = 0;
    for (std::size_t line = 0; line < whole.size(); line = whole.find('\n', line) + 1) {
        deepestIndent = std::max(deepestIndent, whole.find_first_not_of(' ', line) - line);
        if (whole.find('\n', line) == std::string::npos) break;
    }
    EXPECT_EQ(deepestIndent, 64u);
}
