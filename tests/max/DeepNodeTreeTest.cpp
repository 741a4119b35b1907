// The host scene over deep node trees: building, node transforms, IGame's tree and tearing
// down without a call per level, and node transforms that stay right whatever order they
// are asked for in.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/max/HostScene.h"
#include "platform/max/IGame.h"
#include "platform/max/Node.h"
#include "tests/max/DeepScenes.h"

using namespace tarvo;
using testscenes::kDeepestChain;

namespace {

bool SameBits(const Matrix3& a, const Matrix3& b) {
    return std::memcmp(&a, &b, sizeof(Matrix3)) == 0;
}

// The node transform as the host defines it, composed here from the local transforms down
// the chain: a node exactly on its parent takes the parent's transform.
Matrix3 ComposedNodeTM(const HostScene& scene, int node, TimeValue t) {
    std::vector<int> chain;
    for (int at = node; at >= 0; at = scene.NodeRecord(at).parent) chain.push_back(at);
    Matrix3 world;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        Matrix3 local = scene.LocalTransform(*it, t);
        if (!local.IsIdentity()) world = local * world;
    }
    return world;
}

struct DeepChainFacts {
    Point3 deepestPosition, parentOfDeepestPosition, objectPosition;
    int levelsUp = 0;
    int igameLevels = 0;
    int selectedTopLevel = 0;
    std::string selectedName;
};

}  // namespace

TEST(DeepNodeTree, AChainAsDeepAsAFileMayHoldIsBuiltWalkedAndDestroyedOnASmallStack) {
    DeepChainFacts facts;
    testscenes::RunOnSmallStack([&] {
        auto scene = std::make_unique<HostScene>(
            testscenes::NodeChain(kDeepestChain, scene::ObjectKind::Helper));
        INode* deepest = scene->Node(kDeepestChain - 1);
        facts.deepestPosition = deepest->GetNodeTM(0).GetTrans();
        facts.parentOfDeepestPosition = deepest->GetParentTM(0).GetTrans();
        facts.objectPosition = deepest->GetObjTMAfterWSM(0).GetTrans();
        for (INode* node = deepest; !node->IsRootNode(); node = node->GetParentNode())
            ++facts.levelsUp;

        IGameScene* game = scene->IGame();
        game->InitialiseIGame(false);
        if (game->GetTopLevelNodeCount() == 1) {
            IGameNode* node = game->GetTopLevelNode(0);
            for (facts.igameLevels = 1; node->GetChildCount() == 1; ++facts.igameLevels)
                node = node->GetNodeChild(0);
        }
        game->ReleaseIGame();
        scene->SetSelected(kDeepestChain - 1, true);
        game->InitialiseIGame(true);
        facts.selectedTopLevel = game->GetTopLevelNodeCount();
        if (facts.selectedTopLevel > 0) facts.selectedName = game->GetTopLevelNode(0)->GetName();
        game->ReleaseIGame();
        scene.reset();
    });
    // Every level moves one unit along x; whole numbers this small add up exactly.
    EXPECT_EQ(facts.deepestPosition, Point3(kDeepestChain, 0, 0));
    EXPECT_EQ(facts.parentOfDeepestPosition, Point3(kDeepestChain - 1, 0, 0));
    EXPECT_EQ(facts.objectPosition, Point3(kDeepestChain, 0, 0));
    EXPECT_EQ(facts.levelsUp, kDeepestChain);
    EXPECT_EQ(facts.igameLevels, kDeepestChain);
    // Selected alone, the deepest node stands at the top of IGame's tree.
    EXPECT_EQ(facts.selectedTopLevel, 1);
    EXPECT_EQ(facts.selectedName, "N" + std::to_string(kDeepestChain - 1));
}

// Each node keeps the transform it was last asked for; asking in any order of nodes and
// times gives what composing the chain afresh gives, bit for bit.
TEST(DeepNodeTree, NodeTransformsAreRightInAnyOrderOfNodesAndTimes) {
    scene::SceneData data = testscenes::NodeChain(60, scene::ObjectKind::Helper);
    for (std::size_t i = 0; i < data.nodes.size(); i += 7) {
        data.nodes[i].animation.position = {{0, Point3(1, 0, 0)}, {1600, Point3(1, 2, 0.5f)}};
        data.nodes[i].animation.rotation = {{0, Quat()},
                                            {1600, QuatFromAxisAngle(Point3(0, 0, 1), 0.3f)}};
    }
    data.nodes[20].transform = scene::Placement{};  // exactly on its parent
    HostScene scene(data);
    const int asked[][2] = {{59, 800}, {30, 800}, {59, 0},    {20, 1600}, {19, 1600},
                            {59, 800}, {3, 0},    {59, 1600}, {21, 400},  {20, 400}};
    for (const auto& [node, t] : asked) {
        SCOPED_TRACE("node " + std::to_string(node) + " at " + std::to_string(t));
        EXPECT_TRUE(SameBits(scene.Node(node)->GetNodeTM(t), ComposedNodeTM(scene, node, t)));
        EXPECT_TRUE(SameBits(scene.Node(node)->GetParentTM(t),
                             ComposedNodeTM(scene, scene.NodeRecord(node).parent, t)));
    }
    EXPECT_TRUE(SameBits(scene.Node(20)->GetNodeTM(400), scene.Node(19)->GetNodeTM(400)));
    // An animated ancestor moves every node below it.
    EXPECT_NE(scene.Node(59)->GetNodeTM(0).GetTrans(), scene.Node(59)->GetNodeTM(1600).GetTrans());
}

TEST(DeepNodeTree, NodesBelowNoKeysStayPutAndOnesBelowAnAnimatedNodeFollowIt) {
    scene::SceneData data = testscenes::NodeChain(30, scene::ObjectKind::Helper);
    data.nodes[10].animation.position = {{0, Point3(1, 0, 0)}, {1600, Point3(1, 0, 8)}};
    HostScene scene(data);
    EXPECT_TRUE(SameBits(scene.Node(9)->GetNodeTM(0), scene.Node(9)->GetNodeTM(1600)));
    EXPECT_EQ(scene.Node(9)->GetNodeTM(1600).GetTrans(), Point3(10, 0, 0));
    EXPECT_EQ(scene.Node(29)->GetNodeTM(0).GetTrans(), Point3(30, 0, 0));
    EXPECT_EQ(scene.Node(29)->GetNodeTM(1600).GetTrans(), Point3(30, 0, 8));
    EXPECT_EQ(scene.Node(29)->GetNodeTM(800).GetTrans(), Point3(30, 0, 4));
    EXPECT_EQ(scene.Node(29)->GetNodeTM(0).GetTrans(), Point3(30, 0, 0));
}

// The animation stage samples one node at every time, then the next node: each node keeps
// its transform at every time asked, up to a bound past which it starts over. Either way
// every transform is the one composing the chain afresh gives.
TEST(DeepNodeTree, SamplingNodeAfterNodeGivesTheComposedTransformsAlsoPastTheRememberedTimes) {
    constexpr int kDepth = 6;
    constexpr int kSampleCount = 1500;  // more times than a node keeps
    constexpr TimeValue kStep = 10;
    scene::SceneData data = testscenes::NodeChain(kDepth, scene::ObjectKind::Helper);
    for (auto& node : data.nodes) {
        node.animation.position = {{0, Point3(1, 0, 0)}, {kSampleCount * kStep, Point3(1, 3, 2)}};
        node.animation.rotation = {
            {0, Quat()}, {kSampleCount * kStep, QuatFromAxisAngle(Point3(0, 1, 1), 0.7f)}};
    }
    HostScene scene(data);
    int mismatches = 0;
    for (int node = 0; node < kDepth; ++node)
        for (int k = 0; k < kSampleCount; ++k) {
            const TimeValue t = k * kStep;
            if (!SameBits(scene.Node(node)->GetNodeTM(t), ComposedNodeTM(scene, node, t)))
                ++mismatches;
        }
    EXPECT_EQ(mismatches, 0);
    // Back to times that were asked long ago, deepest first.
    for (int node = kDepth - 1; node >= 0; --node)
        for (TimeValue t : {TimeValue{0}, TimeValue{5 * kStep}, TimeValue{1200 * kStep}}) {
            SCOPED_TRACE("node " + std::to_string(node) + " at " + std::to_string(t));
            EXPECT_TRUE(SameBits(scene.Node(node)->GetNodeTM(t), ComposedNodeTM(scene, node, t)));
        }
    // Times between the samples were never asked and still come out right.
    EXPECT_TRUE(SameBits(scene.Node(kDepth - 1)->GetNodeTM(kStep / 2),
                         ComposedNodeTM(scene, kDepth - 1, kStep / 2)));
    EXPECT_NE(scene.Node(kDepth - 1)->GetNodeTM(0).GetTrans(),
              scene.Node(kDepth - 1)->GetNodeTM(kSampleCount * kStep).GetTrans());
}
