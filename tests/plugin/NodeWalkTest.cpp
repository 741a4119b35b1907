// The node walk as a whole export sees it: what it tells the host (debug lines and progress,
// in order) for every kind of node, selection and cancel; nodes without an object; and a
// chain of nodes as deep as a scene file may hold.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../d3dx/XTestSupport.h"
#include "platform/max/HostScene.h"
#include "platform/win/WinUser.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"
#include "tests/max/DeepScenes.h"
#include "tests/max/TestScenes.h"

namespace {

using d3dx::XDataObject;
using tarvo::scene::NodeData;
using tarvo::scene::ObjectKind;
using tarvo::scene::SceneData;
using tarvo::testscenes::kDeepestChain;
using tarvo::testscenes::MakeNode;

// Every kind of node the walk tells apart, in three branches.
SceneData KindsScene() {
    SceneData scene;
    NodeData box = MakeNode("Box", -1, ObjectKind::Mesh, Point3(1, 2, 3));
    box.objectOffset.position = Point3(0, 0, 0.5f);
    box.selected = true;
    scene.nodes.push_back(box);                                     // 0
    scene.nodes.push_back(MakeNode("Cam", 0, ObjectKind::Camera));  // 1
    NodeData onCam = MakeNode("OnCam", 1, ObjectKind::Helper, Point3(0, 1, 0));
    onCam.selected = true;
    scene.nodes.push_back(onCam);  // 2
    NodeData hidden = MakeNode("Hidden", 0, ObjectKind::Mesh);
    hidden.hidden = true;
    scene.nodes.push_back(hidden);                                   // 3
    scene.nodes.push_back(MakeNode("Tgt", 0, ObjectKind::Target));   // 4
    scene.nodes.push_back(MakeNode("Lamp", -1, ObjectKind::Light));  // 5
    scene.nodes.push_back(MakeNode("Line", 5, ObjectKind::Shape));   // 6
    NodeData deep = MakeNode("Deep", 6, ObjectKind::Helper);
    deep.selected = true;
    scene.nodes.push_back(deep);                                       // 7
    scene.nodes.push_back(MakeNode("Point", -1, ObjectKind::Helper));  // 8
    return scene;
}

// Nodes without an object in the middle of a branch (C) and at the end of one (H).
SceneData ScenesWithoutObjects() {
    SceneData scene;
    scene.nodes.push_back(MakeNode("A", -1, ObjectKind::Helper, Point3(1, 0, 0)));  // 0
    scene.nodes.push_back(MakeNode("B", 0, ObjectKind::Helper));                    // 1
    scene.nodes.push_back(MakeNode("C", 0, ObjectKind::None, Point3(0, 2, 0)));     // 2
    scene.nodes.push_back(MakeNode("D", 2, ObjectKind::Helper, Point3(0, 0, 3)));   // 3
    scene.nodes.push_back(MakeNode("E", 2, ObjectKind::Mesh));                      // 4
    scene.nodes.push_back(MakeNode("F", 0, ObjectKind::Helper));                    // 5
    scene.nodes.push_back(MakeNode("G", -1, ObjectKind::Helper));                   // 6
    scene.nodes.push_back(MakeNode("H", 6, ObjectKind::None));                      // 7
    scene.nodes.push_back(MakeNode("I", -1, ObjectKind::Helper));                   // 8
    return scene;
}

class NodeWalkTest : public ::testing::Test {
  protected:
    void TearDown() override {
        SetMessageBoxSink(nullptr);
        SetDebugPrintSink(nullptr);
    }

    // The scene to export, with the host's debug lines and progress updates recorded in
    // one trace, in the order they come.
    void UseScene(SceneData data) {
        m_scene = std::make_unique<HostScene>(std::move(data));
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.File("cfg"));
        std::filesystem::create_directories(m_dir.File("cfg"));
        SetMessageBoxSink([](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
        SetDebugPrintSink([this](const std::string& text) { m_trace += text; });
        ProgressSink sink;
        sink.update = [this](int percent, bool, const std::string& title) {
            m_trace += "[" + std::to_string(percent) + " " + title + "]\n";
            if (!m_cancelAt.empty() && title == m_cancelAt) m_host->SetCancel(TRUE);
        };
        m_host->SetProgressSink(sink);
    }

    // Exports with the given options and animation off, so that all the trace says between
    // the first top-level node and the end of the progress display is the walk's.
    int Export(ExportOptions options, DWORD flags = 0) {
        options.exportAnimation = 0;
        EXPECT_TRUE(SaveSettings(options, *m_host));
        m_trace.clear();
        m_exporter = std::make_unique<TarvoDirectXMaxExporter>();
        return m_exporter->DoExport(m_dir.File("walk.x").c_str(), nullptr, m_host.get(), TRUE,
                                    flags);
    }

    // The lines of the trace that the walk and the driver's loop over it write themselves,
    // without those of the mesh writer it calls.
    std::string WalkTrace() const {
        static const char* const kWalkLines[] = {
            "GameInterface Node",    "Current Node", "Class_ID",
            "IGame Detected Helper", "mmmmm",        "Warning: node"};
        std::string walk;
        for (const std::string& line : xtest::SplitLines(m_trace)) {
            bool kept = line.ends_with(" mesh.]") || line.ends_with(" animation sets.]");
            for (const char* start : kWalkLines) kept = kept || line.find(start) != line.npos;
            if (kept) walk += line + "\n";
        }
        return walk;
    }

    d3dx::XFileContents Written() const { return xtest::ReadBack(m_dir.File("walk.x")); }

    // The names of the frames directly in `objects`, in order.
    template <typename Objects>
    static std::vector<std::string> FrameNames(const Objects& objects) {
        std::vector<std::string> names;
        for (const auto& object : objects)
            if (object.templateName == "Frame") names.push_back(object.name);
        return names;
    }
    static std::vector<std::string> ChildFrameNames(const XDataObject& object) {
        std::vector<std::string> names;
        for (const auto& child : object.children)
            if (child.object && child.object->templateName == "Frame")
                names.push_back(child.object->name);
        return names;
    }
    static const XDataObject* ChildFrame(const XDataObject& object, const std::string& name) {
        for (const auto& child : object.children)
            if (child.object && child.object->templateName == "Frame" && child.object->name == name)
                return child.object.get();
        return nullptr;
    }
    // The translation row of a frame's FrameTransformMatrix, in the file's axes.
    static Point3 Translation(const XDataObject& frame) {
        for (const auto& child : frame.children) {
            if (!child.object || child.object->templateName != "FrameTransformMatrix") continue;
            float m[16];
            std::memcpy(m, child.object->payload.data(), sizeof m);
            return {m[12], m[13], m[14]};
        }
        ADD_FAILURE() << frame.name << " has no matrix";
        return {};
    }

    tarvo::testsupport::TempDir m_dir;
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
    std::unique_ptr<TarvoDirectXMaxExporter> m_exporter;
    std::string m_trace;
    std::string m_cancelAt;  // the progress title on which the user cancels
};

// ---- What the walk tells the host ----

// Cameras, lights and shapes get no frame, and a target neither frame nor mesh; a
// hidden mesh node keeps its frame. Each node's progress title is its name with " mesh.".
TEST_F(NodeWalkTest, TellsTheHostAboutEveryNodeInWalkOrder) {
    UseScene(KindsScene());
    ASSERT_EQ(Export(ExportOptions{}), 1);
    EXPECT_EQ(WalkTrace(), R"(GameInterface Node: 0, Name: Box
[10 Box mesh.]
Current Node: 1  Name: Box Children: 3 
Box : Class_ID(9,0)
[0  animation sets.]
[20 Cam mesh.]
Current Node: 2  Name: Cam Children: 1 
Cam : Class_ID(1001,0)
[30 OnCam mesh.]
Current Node: 3  Name: OnCam Children: 0 
OnCam : Class_ID(876234,0)
IGame Detected Helper
[40 Hidden mesh.]
Current Node: 4  Name: Hidden Children: 0 
Hidden : Class_ID(9,0)
[0  animation sets.]
[50 Tgt mesh.]
Current Node: 5  Name: Tgt Children: 0 
Tgt : Class_ID(1020,0)
[0  animation sets.]
GameInterface Node: 1, Name: Lamp
[60 Lamp mesh.]
Current Node: 6  Name: Lamp Children: 1 
Lamp : Class_ID(1011,0)
[70 Line mesh.]
Current Node: 7  Name: Line Children: 1 
Line : Class_ID(A,0)
[80 Deep mesh.]
Current Node: 8  Name: Deep Children: 0 
Deep : Class_ID(876234,0)
IGame Detected Helper
GameInterface Node: 2, Name: Point
[90 Point mesh.]
Current Node: 9  Name: Point Children: 0 
Point : Class_ID(876234,0)
IGame Detected Helper
)");
    auto contents = Written();
    EXPECT_EQ(FrameNames(contents.objects), (std::vector<std::string>{"Box", "Deep", "Point"}));
    EXPECT_EQ(ChildFrameNames(contents.objects[0]),
              (std::vector<std::string>{"", "OnCam", "Hidden"}));  // the pivot's frame first
}

TEST_F(NodeWalkTest, SaysWhichNodesAreLeftOutWhenOnlySelectedOnesAreExported) {
    UseScene(KindsScene());
    ASSERT_EQ(Export(ExportOptions{}, SCENE_EXPORT_SELECTED), 1);
    EXPECT_EQ(WalkTrace(), R"(GameInterface Node: 0, Name: Box
[10 Box mesh.]
Current Node: 1  Name: Box Children: 3 
Box : Class_ID(9,0)
[0  animation sets.]
[20 Cam mesh.]
Current Node: 2  Name: Cam Children: 1 
** Didn't Incude Cam : Class_ID(1001,0)
[30 OnCam mesh.]
Current Node: 3  Name: OnCam Children: 0 
OnCam : Class_ID(876234,0)
IGame Detected Helper
[40 Hidden mesh.]
Current Node: 4  Name: Hidden Children: 0 
** Didn't Incude Hidden : Class_ID(9,0)
[50 Tgt mesh.]
Current Node: 5  Name: Tgt Children: 0 
** Didn't Incude Tgt : Class_ID(1020,0)
GameInterface Node: 1, Name: Lamp
[60 Lamp mesh.]
Current Node: 6  Name: Lamp Children: 1 
** Didn't Incude Lamp : Class_ID(1011,0)
[70 Line mesh.]
Current Node: 7  Name: Line Children: 1 
** Didn't Incude Line : Class_ID(A,0)
[80 Deep mesh.]
Current Node: 8  Name: Deep Children: 0 
Deep : Class_ID(876234,0)
IGame Detected Helper
GameInterface Node: 2, Name: Point
[90 Point mesh.]
Current Node: 9  Name: Point Children: 0 
** Didn't Incude Point : Class_ID(876234,0)
)");
    auto contents = Written();
    EXPECT_EQ(FrameNames(contents.objects), (std::vector<std::string>{"Box", "Deep"}));
    EXPECT_EQ(ChildFrameNames(contents.objects[0]), (std::vector<std::string>{"", "OnCam"}));
}

// The node entered after the cancel is counted and shown, and gets nothing; no node after it
// is entered, and the driver's loop stops at the next top-level node.
TEST_F(NodeWalkTest, ACancelStopsAtTheNextNodeEnteredAndEndsTheWalk) {
    UseScene(KindsScene());
    m_cancelAt = "OnCam mesh.";
    ASSERT_EQ(Export(ExportOptions{}), 1);
    EXPECT_EQ(WalkTrace(), R"(GameInterface Node: 0, Name: Box
[10 Box mesh.]
Current Node: 1  Name: Box Children: 3 
Box : Class_ID(9,0)
[0  animation sets.]
[20 Cam mesh.]
Current Node: 2  Name: Cam Children: 1 
Cam : Class_ID(1001,0)
[30 OnCam mesh.]
Current Node: 3  Name: OnCam Children: 0 
GameInterface Node: 1, Name: Lamp
)");
    EXPECT_EQ(m_exporter->visitedNodeCount, 3);
    auto contents = Written();
    EXPECT_EQ(FrameNames(contents.objects), std::vector<std::string>{"Box"});
    EXPECT_EQ(ChildFrameNames(contents.objects[0]), std::vector<std::string>{""});
}

TEST_F(NodeWalkTest, RegistersTheNodesWithFramesForAnimationInWalkOrder) {
    UseScene(KindsScene());
    ExportOptions options;
    options.segments = {AnimSegment{"Anim-1", 0, 100, {}}};
    ASSERT_TRUE(SaveSettings(options, *m_host));
    m_exporter = std::make_unique<TarvoDirectXMaxExporter>();
    ASSERT_EQ(
        m_exporter->DoExport(m_dir.File("animated.x").c_str(), nullptr, m_host.get(), TRUE, 0), 1);
    ASSERT_EQ(m_exporter->options.segments.size(), 1u);
    std::vector<std::string> registered;
    for (const SegmentNode& node : m_exporter->options.segments[0].nodes)
        registered.push_back(node.nodeName);
    EXPECT_EQ(registered, (std::vector<std::string>{"Box", "OnCam", "Hidden", "Deep", "Point"}));
}

// ---- Nodes without an object ----

TEST_F(NodeWalkTest, ANodeWithoutAnObjectIsPassedOverAndEverythingElseIsExported) {
    UseScene(ScenesWithoutObjects());
    ASSERT_EQ(Export(ExportOptions{}), 1);
    auto contents = Written();
    ASSERT_EQ(FrameNames(contents.objects), (std::vector<std::string>{"A", "G", "I"}));
    const XDataObject& a = contents.objects[0];
    // C's children take its place among A's children, between B and F.
    EXPECT_EQ(ChildFrameNames(a), (std::vector<std::string>{"B", "D", "E", "F"}));
    EXPECT_TRUE(ChildFrameNames(contents.objects[1]).empty());
    // D hangs in A's frame, so its matrix is relative to A and holds C's move: (0, 2, 3) with
    // y and z exchanged.
    ASSERT_NE(ChildFrame(a, "D"), nullptr);
    EXPECT_EQ(Translation(*ChildFrame(a, "D")), Point3(0, 3, 2));
    ASSERT_NE(ChildFrame(a, "E"), nullptr);
    EXPECT_EQ(xtest::FindAllIn(*ChildFrame(a, "E"), "Mesh").size(), 1u);
    // Each is named to the user, and the walk visits every node.
    EXPECT_NE(
        m_trace.find("Warning: node \"C\" has no object; it is not exported, its children are\n"),
        std::string::npos);
    EXPECT_NE(
        m_trace.find("Warning: node \"H\" has no object; it is not exported, its children are\n"),
        std::string::npos);
    EXPECT_EQ(m_exporter->visitedNodeCount, 9);
}

TEST_F(NodeWalkTest, ManyNodesWithoutAnObjectAreNamedFirstAndThenCounted) {
    SceneData scene;
    for (int i = 0; i < 8; ++i) {
        scene.nodes.push_back(MakeNode("N" + std::to_string(i), -1, ObjectKind::None));
    }
    scene.nodes.push_back(MakeNode("Box", -1, ObjectKind::Mesh));
    UseScene(std::move(scene));
    const std::vector<std::string> expected = {
        R"(Warning: node "N0" has no object; it is not exported, its children are)",
        R"(Warning: node "N1" has no object; it is not exported, its children are)",
        R"(Warning: node "N2" has no object; it is not exported, its children are)",
        R"(Warning: node "N3" has no object; it is not exported, its children are)",
        R"(Warning: node "N4" has no object; it is not exported, its children are)",
        "Warning: 3 more nodes have no object; they are not exported, their children are"};
    auto warnings = [this] {
        std::vector<std::string> lines;
        for (const std::string& line : xtest::SplitLines(m_trace))
            if (line.rfind("Warning: ", 0) == 0) lines.push_back(line);
        return lines;
    };
    ASSERT_EQ(Export(ExportOptions{}), 1);
    EXPECT_EQ(warnings(), expected);
    EXPECT_EQ(FrameNames(Written().objects), std::vector<std::string>{"Box"});
    // A second export by the same exporter counts afresh.
    m_trace.clear();
    ASSERT_EQ(m_exporter->DoExport(m_dir.File("walk.x").c_str(), nullptr, m_host.get(), TRUE, 0),
              1);
    EXPECT_EQ(warnings(), expected);
}

TEST_F(NodeWalkTest, ANodeWithoutAnObjectLeavesNoGapInAnyFrameMode) {
    UseScene(ScenesWithoutObjects());
    ExportOptions options;
    options.frameSetting = 1;
    ASSERT_EQ(Export(options), 1);
    EXPECT_EQ(FrameNames(Written().objects),
              (std::vector<std::string>{"A", "B", "D", "E", "F", "G", "I"}));
    options.frameSetting = 0;
    ASSERT_EQ(Export(options), 1);
    auto contents = Written();
    EXPECT_TRUE(FrameNames(contents.objects).empty());
    EXPECT_EQ(xtest::FindAll(contents, "Mesh").size(), 1u);  // E's, at the top level
    EXPECT_EQ(m_exporter->visitedNodeCount, 9);
}

TEST_F(NodeWalkTest, ASelectedNodeWithoutAnObjectIsPassedOverLikeAnUnselectedOne) {
    SceneData data = ScenesWithoutObjects();
    for (NodeData& node : data.nodes) node.selected = true;
    UseScene(std::move(data));
    ASSERT_EQ(Export(ExportOptions{}, SCENE_EXPORT_SELECTED), 1);
    auto contents = Written();
    ASSERT_EQ(FrameNames(contents.objects), (std::vector<std::string>{"A", "G", "I"}));
    EXPECT_EQ(ChildFrameNames(contents.objects[0]), (std::vector<std::string>{"B", "D", "E", "F"}));
}

// ---- As deep as a scene file may hold ----

struct DeepExport {
    int result = -1;
    std::int32_t counted = 0, visited = 0;
};

TEST_F(NodeWalkTest, AChainAsDeepAsAFileMayHoldExportsEveryLevelNested) {
    UseScene(tarvo::testscenes::NodeChain(kDeepestChain, ObjectKind::Helper));
    SetDebugPrintSink(nullptr);  // 10,000 nodes' lines are not looked at here
    ExportOptions options;
    options.xFileType = kXFileBinary;
    DeepExport run;
    tarvo::testscenes::RunOnSmallStack([&] {
        run.result = Export(options);
        run.counted = m_exporter->totalNodeCount;
        run.visited = m_exporter->visitedNodeCount;
        m_exporter.reset();
    });
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(run.counted, kDeepestChain + 1);  // the scene root too
    EXPECT_EQ(run.visited, kDeepestChain);

    auto contents = Written();
    ASSERT_EQ(FrameNames(contents.objects), std::vector<std::string>{"N0"});
    const XDataObject* frame = &contents.objects[0];
    int levels = 1;
    for (;; ++levels) {
        // Each frame one unit along x from its parent's.
        ASSERT_EQ(Translation(*frame), Point3(1, 0, 0)) << frame->name;
        std::vector<std::string> below = ChildFrameNames(*frame);
        if (below.empty()) break;
        ASSERT_EQ(below, std::vector<std::string>{"N" + std::to_string(levels)});
        frame = ChildFrame(*frame, below[0]);
    }
    EXPECT_EQ(levels, kDeepestChain);
}

TEST_F(NodeWalkTest, ACancelDeepInAChainKeepsTheFramesAboveIt) {
    UseScene(tarvo::testscenes::NodeChain(kDeepestChain, ObjectKind::Helper));
    SetDebugPrintSink(nullptr);
    m_cancelAt = "N5000 mesh.";
    ExportOptions options;
    options.xFileType = kXFileBinary;
    DeepExport run;
    tarvo::testscenes::RunOnSmallStack([&] {
        run.result = Export(options);
        run.visited = m_exporter->visitedNodeCount;
        m_exporter.reset();
    });
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(run.visited, 5001);  // N5000 is entered, and nothing after it
    auto contents = Written();
    ASSERT_EQ(contents.objects.size(), 1u);
    const XDataObject* frame = &contents.objects[0];
    int levels = 1;
    for (; !ChildFrameNames(*frame).empty(); ++levels)
        frame = ChildFrame(*frame, ChildFrameNames(*frame)[0]);
    EXPECT_EQ(levels, 5000);
    EXPECT_EQ(frame->name, "N4999");
}

}  // namespace
