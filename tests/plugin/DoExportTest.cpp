// Whole exports over a small scene, read back with the .X reader.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "../d3dx/XTestSupport.h"
#include "platform/max/HostScene.h"
#include "platform/win/WinUser.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"
#include "ui/DialogToolkit.h"

namespace {

using d3dx::XDataObject;
using tarvo::scene::NodeData;
using tarvo::scene::ObjectKind;

NodeData MakeNode(const char* name, int parent, ObjectKind kind) {
    NodeData node;
    node.name = name;
    node.parent = parent;
    node.object = kind;
    if (kind == ObjectKind::Mesh) {
        node.mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
        node.mesh.faces.push_back({{0, 1, 2}, 1, 0});
    }
    return node;
}

// Top level: a box with a moved pivot and two children, a camera with a helper under it,
// the camera's target, and a helper.
tarvo::scene::SceneData SampleScene() {
    tarvo::scene::SceneData scene;
    NodeData box = MakeNode("Box 01.left", -1, ObjectKind::Mesh);
    box.transform.position = Point3(1, 2, 3);
    // A turned and scaled parent: its matrix times its inverse is not exactly the identity.
    box.transform.rotation = QuatFromAxisAngle(Point3(0.3f, 0.4f, 0.866f).Normalize(), 0.7f);
    box.transform.scale = Point3(1.3f, 1.3f, 1.3f);
    box.objectOffset.position = Point3(0, 0, 0.5f);
    scene.nodes.push_back(box);                                     // 0
    scene.nodes.push_back(MakeNode("Child", 0, ObjectKind::Mesh));  // 1
    NodeData hidden = MakeNode("Hidden", 0, ObjectKind::Mesh);
    hidden.hidden = true;
    hidden.transform.position = Point3(0, 0, 1);
    scene.nodes.push_back(hidden);                                               // 2
    scene.nodes.push_back(MakeNode("Camera01", -1, ObjectKind::Camera));         // 3
    scene.nodes.push_back(MakeNode("OnCamera", 3, ObjectKind::Helper));          // 4
    scene.nodes.push_back(MakeNode("Camera01.Target", -1, ObjectKind::Target));  // 5
    NodeData point = MakeNode("Point01", -1, ObjectKind::Helper);
    point.transform.position = Point3(-1, 0, 0);
    scene.nodes.push_back(point);  // 6
    return scene;
}

class DoExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_scene = std::make_unique<HostScene>(SampleScene());
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.File("cfg"));
        std::filesystem::create_directory(m_dir.File("cfg"));
        SetMessageBoxSink([this](HWND, const std::string& text, const std::string& caption, UINT) {
            m_messages.push_back(caption + ": " + text);
            return IDOK;
        });
        SetDebugOutputSink([this](const std::string& text) { m_debugOutput += text; });
    }
    void TearDown() override {
        SetMessageBoxSink(nullptr);
        SetDebugOutputSink(nullptr);
    }

    // Stores options as the user's settings, so that the export loads them.
    void UseOptions(const ExportOptions& options) { ASSERT_TRUE(SaveSettings(options, *m_host)); }

    int Export(const std::string& path, BOOL suppressPrompts = TRUE, DWORD flags = 0) {
        m_exporter = std::make_unique<TarvoDirectXMaxExporter>();
        return m_exporter->DoExport(path.c_str(), nullptr, m_host.get(), suppressPrompts, flags);
    }

    static const XDataObject& Child(const XDataObject& object, std::size_t index) {
        EXPECT_LT(index, object.children.size());
        return *object.children.at(index).object;
    }

    static void ExpectNear(const Point3& actual, const Point3& expected) {
        EXPECT_NEAR(actual.x, expected.x, 1e-5f);
        EXPECT_NEAR(actual.y, expected.y, 1e-5f);
        EXPECT_NEAR(actual.z, expected.z, 1e-5f);
    }

    static Point3 Translation(const XDataObject& matrixObject) {
        float m[16];
        std::memcpy(m, matrixObject.payload.data(), 64);
        return {m[12], m[13], m[14]};
    }

    tarvo::testsupport::TempDir m_dir;
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
    std::unique_ptr<TarvoDirectXMaxExporter> m_exporter;
    std::vector<std::string> m_messages;
    std::string m_debugOutput;
};

TEST_F(DoExportTest, SubFrameHierarchyNestsFramesWithOffsetsAndExactIdentities) {
    std::string path = m_dir.File("scene.x");
    ASSERT_EQ(Export(path), 1);
    auto contents = xtest::ReadBack(path);
    // The camera and its target leave no frame; the default segment's AnimationSet follows.
    ASSERT_EQ(contents.objects.size(), 4u);
    EXPECT_EQ(contents.objects[3].templateName, "AnimationSet");
    const XDataObject& box = contents.objects[0];
    EXPECT_EQ(box.name, "Box_01_left");
    EXPECT_EQ(contents.objects[1].name, "OnCamera");  // attached to the nearest written ancestor
    EXPECT_EQ(contents.objects[2].name, "Point01");

    ASSERT_EQ(box.children.size(), 4u);
    EXPECT_EQ(Child(box, 0).templateName, "FrameTransformMatrix");
    EXPECT_EQ(Translation(Child(box, 0)), Point3(1, 3, 2));  // y and z exchanged
    const XDataObject& offset = Child(box, 1);
    EXPECT_EQ(offset.templateName, "Frame");
    EXPECT_TRUE(offset.name.empty());
    ExpectNear(Translation(Child(offset, 0)), Point3(0, 0.5f, 0));
    const XDataObject& child = Child(box, 2);
    EXPECT_EQ(child.name, "Child");
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_EQ(Child(child, 0).payload.size(), 64u);
    EXPECT_EQ(std::memcmp(Child(child, 0).payload.data(), identity, 64), 0);
    // A hidden node keeps its frame and transform.
    EXPECT_EQ(Child(box, 3).name, "Hidden");
    ExpectNear(Translation(Child(Child(box, 3), 0)), Point3(0, 1, 0));

    // Geometric and helper nodes with a frame are registered for animation; the target has
    // none, and an Animation naming it would refer to nothing.
    ASSERT_EQ(m_exporter->options.segments.size(), 1u);
    std::vector<std::string> registered;
    for (const auto& node : m_exporter->options.segments[0].nodes)
        registered.push_back(node.nodeName);
    EXPECT_EQ(registered,
              (std::vector<std::string>{"Box 01.left", "Child", "Hidden", "OnCamera", "Point01"}));
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("cfg/TarvoDXExport.xml")));
}

TEST_F(DoExportTest, TopFrameOnlyCarriesObjectPlacementsSideBySide) {
    ExportOptions options;
    options.frameSetting = 1;
    UseOptions(options);
    std::string path = m_dir.File("top.x");
    ASSERT_EQ(Export(path), 1);
    auto contents = xtest::ReadBack(path);
    // Every frame at the top level: Box, Child, Hidden, OnCamera, Point01.
    ASSERT_EQ(contents.objects.size(), 5u);
    const XDataObject& box = contents.objects[0];
    ASSERT_EQ(box.children.size(), 2u);  // matrix, Mesh: no offset frame, no child frames
    EXPECT_EQ(Child(box, 1).templateName, "Mesh");
    // The object sits half a unit up the box's own turned z axis.
    Point3 up = Point3(0, 0, 0.5f) *
                (RotateMatrix(QuatFromAxisAngle(Point3(0.3f, 0.4f, 0.866f).Normalize(), 0.7f)) *
                 ScaleMatrix(Point3(1.3f, 1.3f, 1.3f)));
    ExpectNear(Translation(Child(box, 0)), Point3(1 + up.x, 3 + up.z, 2 + up.y));
    EXPECT_EQ(contents.objects[1].name, "Child");
    ExpectNear(Translation(Child(contents.objects[1], 0)), Point3(1, 3, 2));  // its world placement
}

TEST_F(DoExportTest, NoFramesWritesNoFrameAtAll) {
    ExportOptions options;
    options.frameSetting = 0;
    UseOptions(options);
    std::string path = m_dir.File("none.x");
    ASSERT_EQ(Export(path), 1);
    for (const auto& object : xtest::ReadBack(path).objects)
        EXPECT_NE(object.templateName, "Frame");
}

TEST_F(DoExportTest, SelectedOnlySkipsUnselectedNodesAndPlacesTheRestInTheWorld) {
    m_host->SelectNode(m_scene->FindNode("Hidden"));
    std::string path = m_dir.File("selected.x");
    ASSERT_EQ(Export(path, TRUE, SCENE_EXPORT_SELECTED), 1);
    auto contents = xtest::ReadBack(path);
    ASSERT_EQ(contents.objects.size(), 2u);  // the frame and the default segment's set
    EXPECT_EQ(contents.objects[0].name, "Hidden");
    EXPECT_EQ(contents.objects[1].templateName, "AnimationSet");
    // At the top level its matrix is its world placement: one unit up the box's own z axis.
    Point3 world = m_scene->FindNode("Hidden")->GetNodeTM(0).GetTrans();
    ExpectNear(Translation(Child(contents.objects[0], 0)), Point3(world.x, world.z, world.y));
    EXPECT_GT(std::fabs(world.z - 3.0f), 0.5f);  // not where the parent's offset alone puts it
}

TEST_F(DoExportTest, EachFileTypeWritesItsForm) {
    const std::pair<int, d3dx::XFileForm> cases[] = {{0, d3dx::XFileForm::Text},
                                                     {1, d3dx::XFileForm::Binary},
                                                     {2, d3dx::XFileForm::CompressedBinary},
                                                     {7, d3dx::XFileForm::Text}};
    for (const auto& [type, form] : cases) {
        ExportOptions options;
        options.xFileType = type;
        UseOptions(options);
        std::string path = m_dir.File("type" + std::to_string(type) + ".x");
        ASSERT_EQ(Export(path), 1);
        auto contents = xtest::ReadBack(path);
        EXPECT_EQ(contents.form, form) << type;
        EXPECT_EQ(contents.objects.size(), 3u) << type;
    }
}

TEST_F(DoExportTest, CancelDuringTheWalkStillSavesAWellFormedFile) {
    ProgressSink sink;
    sink.update = [this](int, bool, const std::string& title) {
        if (title == "Child mesh.") m_host->SetCancel(TRUE);
    };
    m_host->SetProgressSink(sink);
    std::string path = m_dir.File("cancelled.x");
    ASSERT_EQ(Export(path), 1);
    auto contents = xtest::ReadBack(path);
    // The frame written before the cancel, and the set of the nodes registered until then.
    ASSERT_EQ(contents.objects.size(), 2u);
    EXPECT_EQ(contents.objects[0].name, "Box_01_left");
    EXPECT_EQ(contents.objects[1].templateName, "AnimationSet");
    EXPECT_EQ(contents.objects[0].children.size(), 2u);  // its matrix and offset frame only
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("cfg/TarvoDXExport.xml")));
}

// A stand-in for the dialogs whose options sheet answers as a user (or a missing display)
// would, without showing anything.
template <INT_PTR kSheetAnswer>
struct ScriptedSheet {
    ScriptedSheet() {
        static const tarvo::ui::DialogToolkit answering{
            [](tarvo::ui::PropertySheetModel&, HWND) -> INT_PTR { return kSheetAnswer; },
            [](tarvo::ui::DialogModel&, HWND) -> INT_PTR { return 1; }};
        tarvo::ui::UseDialogToolkit(&answering);
    }
    ~ScriptedSheet() { tarvo::ui::UseDialogToolkit(nullptr); }
};
using AcceptingSheet = ScriptedSheet<1>;
using CancelledSheet = ScriptedSheet<0>;
using SheetNotShown = ScriptedSheet<-1>;

TEST_F(DoExportTest, AnAcceptedSheetExportsAndStoresTheSettings) {
    AcceptingSheet user;
    const std::string path = m_dir.File("accepted.x");
    EXPECT_EQ(Export(path, FALSE), 1);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("cfg/TarvoDXExport.xml")));
}

TEST_F(DoExportTest, ACancelledSheetSucceedsWithoutWritingAnything) {
    CancelledSheet user;
    const std::string path = m_dir.File("cancelled.x");
    EXPECT_EQ(Export(path, FALSE), 1);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("cfg/TarvoDXExport.xml")));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_debugOutput, "");
}

TEST_F(DoExportTest, ASheetThatCannotBeShownFailsAndSaysWhyOnTheDebuggerOutput) {
    SheetNotShown display;
    const std::string path = m_dir.File("not-shown.x");
    EXPECT_EQ(Export(path, FALSE), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("cfg/TarvoDXExport.xml")));
    EXPECT_TRUE(m_messages.empty());  // there is nowhere to show a box either
    EXPECT_EQ(m_debugOutput,
              "the export options could not be shown (no dialog library, or no display that "
              "answers); nothing was exported\n");
}

TEST_F(DoExportTest, AFileThatCannotBeSavedIsAFailedExport) {
    AcceptingSheet user;
    std::string path = m_dir.File("missing/scene.x");
    EXPECT_EQ(Export(path, FALSE), 0);
    EXPECT_EQ(m_messages,
              std::vector<std::string>{
                  "TarvoExporter: Exporter has encountered a major problem. Can't continue."});
    EXPECT_EQ(m_debugOutput.rfind("Error saving .X file: 0x80070003 (", 0), 0u) << m_debugOutput;
    EXPECT_NE(m_debugOutput.find("TarvoDirectXMaxExporter:"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(
        std::filesystem::exists(m_dir.File("cfg/TarvoDXExport.xml")));  // settings not stored
    // Without prompts, the same failure shows nothing.
    m_messages.clear();
    EXPECT_EQ(Export(path, TRUE), 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(DoExportTest, NullNameFailsBeforeAnythingElse) {
    m_exporter = std::make_unique<TarvoDirectXMaxExporter>();
    EXPECT_EQ(m_exporter->DoExport(nullptr, nullptr, m_host.get(), TRUE, 0), 0);
    EXPECT_EQ(m_exporter->hostInterface, m_host.get());
    EXPECT_TRUE(m_exporter->options.segments.empty());  // settings were not loaded
}

TEST_F(DoExportTest, OutputDirectoryEndsWithASeparator) {
    ASSERT_EQ(Export(m_dir.File("dir.x")), 1);
    EXPECT_EQ(m_exporter->outputDir, m_dir.File(""));
}

}  // namespace
