#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/max/HostScene.h"
#include "platform/max/Interface.h"
#include "platform/max/Node.h"
#include "tests/max/TestScenes.h"
#include "tests/support/TempDir.h"

using namespace tarvo;

namespace {

PROPSPEC NameSpec(std::wstring& storage, const wchar_t* name) {
    storage = name;
    PROPSPEC spec;
    spec.ulKind = PRSPEC_LPWSTR;
    spec.lpwstr = storage.data();
    return spec;
}

PROPVARIANT TextValue(std::string& storage, const char* text) {
    storage = text;
    PROPVARIANT value;
    value.vt = VT_LPSTR;
    value.pszVal = storage.data();
    return value;
}

}  // namespace

TEST(Interface, ProgressGoesToTheSinkAndRunsTheWorkFunction) {
    Interface ip;
    std::vector<std::string> seen;
    ip.SetProgressSink({[&](const std::string& t) { seen.push_back("start " + t); },
                        [&](int pct, bool show, const std::string& t) {
                            seen.push_back(std::to_string(pct) + (show ? " shown " : " hidden ") +
                                           t);
                        },
                        [&] { seen.push_back("end"); }});
    static int calls = 0;
    calls = 0;
    ip.ProgressStart(
        "Exporting data...", TRUE, [](LPVOID) -> DWORD { return ++calls, 0; }, nullptr);
    ip.ProgressUpdate(40, FALSE, "Box01 mesh.");
    ip.ProgressUpdate(50, TRUE);  // keeps the last title
    ip.ProgressEnd();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"start Exporting data...", "40 hidden Box01 mesh.",
                                              "50 shown Box01 mesh.", "end"}));
}

TEST(Interface, CancelFlagAndCurrentInterface) {
    Interface outer;
    EXPECT_EQ(GetCOREInterface(), &outer);
    {
        Interface inner;
        EXPECT_EQ(GetCOREInterface(), &inner);
        EXPECT_FALSE(inner.GetCancel());
        inner.SetCancel(TRUE);
        EXPECT_TRUE(inner.GetCancel());
    }
    EXPECT_EQ(GetCOREInterface(), &outer);
}

TEST(Interface, SceneTimeRangeRateAndDirectories) {
    scene::SceneData data;
    data.frameRate = 25;
    data.ticksPerFrame = 192;
    data.animStart = -960;
    data.animEnd = 9600;
    data.currentTime = 480;
    HostScene scene(data);
    Interface ip(&scene);
    EXPECT_EQ(GetFrameRate(), 25);
    EXPECT_EQ(GetTicksPerFrame(), 192);
    EXPECT_EQ(ip.GetAnimRange(), Interval(-960, 9600));
    EXPECT_EQ(ip.GetTime(), 480);
    EXPECT_TRUE(ip.GetRootNode()->IsRootNode());
    EXPECT_STREQ(ip.GetDir(APP_PLUGCFG_DIR), "");
    ip.SetPlugCfgDir("/home/user/.config/tarvo-dx");
    EXPECT_STREQ(ip.GetDir(APP_PLUGCFG_DIR), "/home/user/.config/tarvo-dx");
    EXPECT_STREQ(ip.GetDir(1), "");
    EXPECT_EQ(Get3DSMAXVersion() >> 16, 14000u);
    EXPECT_EQ(Get3DSMAXVersion(), 0x36B02600u);
}

TEST(Interface, DefaultsWithoutASceneOfTheirOwn) {
    Interface ip;
    EXPECT_EQ(GetFrameRate() * GetTicksPerFrame(), 4800);
    EXPECT_EQ(GetTicksPerFrame(), 160);
    EXPECT_EQ(ip.GetRootNode()->NumberOfChildren(), 0);
}

TEST(Interface, SelectNodeReplacesOrExtendsTheSelection) {
    scene::SceneData data;
    data.nodes = {testscenes::PlainNode("A", scene::ObjectKind::Helper),
                  testscenes::PlainNode("B", scene::ObjectKind::Helper)};
    data.nodes[0].selected = true;
    HostScene scene(data);
    Interface ip(&scene);
    ip.SelectNode(scene.Node(1), 0);
    EXPECT_TRUE(scene.Node(0)->Selected());
    EXPECT_TRUE(scene.Node(1)->Selected());
    ip.SelectNode(scene.Node(1));
    EXPECT_FALSE(scene.Node(0)->Selected());
    EXPECT_TRUE(scene.Data().nodes[1].selected);
}

TEST(FileProperties, AddFindReadAndDeleteByName) {
    HostScene scene(scene::SceneData{});
    Interface ip(&scene);
    EXPECT_EQ(ip.GetNumProperties(PROPSET_USERDEFINED), 0);
    EXPECT_EQ(ip.GetPropertySpec(PROPSET_USERDEFINED, 0), nullptr);

    std::wstring n1, n2;
    std::string v1, v2;
    PROPSPEC settings = NameSpec(n1, L"TarvoDXExportSettings");
    PROPSPEC other = NameSpec(n2, L"Author");
    PROPVARIANT text = TextValue(v1, "\r\n<velmark-dx-export/>");
    PROPVARIANT author = TextValue(v2, "Ann");
    ip.AddProperty(PROPSET_USERDEFINED, &other, &author);
    ip.AddProperty(PROPSET_USERDEFINED, &settings, &text);
    v1 = "changed after adding";  // the host keeps its own copy

    ASSERT_EQ(ip.GetNumProperties(PROPSET_USERDEFINED), 2);
    EXPECT_EQ(ip.GetNumProperties(PROPSET_SUMMARYINFO), 0);
    EXPECT_EQ(ip.FindProperty(PROPSET_USERDEFINED, &settings), 1);
    const PROPSPEC* spec = ip.GetPropertySpec(PROPSET_USERDEFINED, 1);
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->ulKind, PRSPEC_LPWSTR);
    EXPECT_EQ(std::wstring(spec->lpwstr), L"TarvoDXExportSettings");
    const PROPVARIANT* value = ip.GetPropertyVariant(PROPSET_USERDEFINED, 1);
    EXPECT_EQ(value->vt, VT_LPSTR);
    EXPECT_STREQ(value->pszVal, "\r\n<velmark-dx-export/>");

    ip.DeleteProperty(PROPSET_USERDEFINED, &settings);
    ASSERT_EQ(ip.GetNumProperties(PROPSET_USERDEFINED), 1);
    EXPECT_EQ(ip.FindProperty(PROPSET_USERDEFINED, &settings), -1);
    ip.DeleteProperty(PROPSET_USERDEFINED, &settings);  // absent: nothing happens
    EXPECT_EQ(ip.GetNumProperties(PROPSET_USERDEFINED), 1);
    EXPECT_EQ(scene.Data().fileProperties.at(0).name, "Author");
}

TEST(FileProperties, NumberedAndIntegerPropertiesAndDuplicateNames) {
    scene::SceneData data;
    scene::FileProperty numbered;
    numbered.named = false;
    numbered.id = 7;
    numbered.isText = false;
    numbered.integer = -3;
    data.fileProperties = {numbered};
    HostScene scene(data);
    Interface ip(&scene);
    const PROPSPEC* spec = ip.GetPropertySpec(PROPSET_USERDEFINED, 0);
    EXPECT_EQ(spec->ulKind, PRSPEC_PROPID);
    EXPECT_EQ(spec->propid, 7u);
    EXPECT_EQ(ip.GetPropertyVariant(PROPSET_USERDEFINED, 0)->vt, VT_I4);
    EXPECT_EQ(ip.GetPropertyVariant(PROPSET_USERDEFINED, 0)->lVal, -3);

    std::wstring n;
    std::string a, b;
    PROPSPEC name = NameSpec(n, L"Twice");
    PROPVARIANT first = TextValue(a, "first"), second = TextValue(b, "second");
    ip.AddProperty(PROPSET_USERDEFINED, &name, &first);
    ip.AddProperty(PROPSET_USERDEFINED, &name, &second);
    EXPECT_EQ(ip.GetNumProperties(PROPSET_USERDEFINED), 3);
    ip.DeleteProperty(PROPSET_USERDEFINED, &name);  // the first of the two goes
    EXPECT_STREQ(ip.GetPropertyVariant(PROPSET_USERDEFINED, 1)->pszVal, "second");
}

TEST(HostFunctions, DebugPrintFormatsIntoTheSink) {
    std::vector<std::string> lines;
    SetDebugPrintSink([&](const std::string& text) { lines.push_back(text); });
    DebugPrint("Current Node: %ld  Name: %s Children: %ld \n", 3L, "Box01", 2L);
    SetDebugPrintSink(nullptr);
    DebugPrint("dropped\n");
    EXPECT_EQ(lines, std::vector<std::string>{"Current Node: 3  Name: Box01 Children: 2 \n"});
}

TEST(HostFunctions, PathsAcceptEitherSeparator) {
    char dir[MAX_PATH], file[MAX_PATH], ext[MAX_PATH];
    BMMSplitFilename("C:\\out\\scene.x", dir, file, ext);
    EXPECT_STREQ(dir, "C:\\out");
    EXPECT_STREQ(file, "scene");
    EXPECT_STREQ(ext, ".x");
    BMMSplitFilename("/tmp/a.b/model", dir, nullptr, ext);
    EXPECT_STREQ(dir, "/tmp/a.b");
    EXPECT_STREQ(ext, "");
    BMMAppendSlash(dir);
    EXPECT_STREQ(dir, "/tmp/a.b/");
    BMMAppendSlash(dir);
    EXPECT_STREQ(dir, "/tmp/a.b/");
    BMMSplitFilename("scene.x", dir, file, nullptr);
    BMMAppendSlash(dir);  // no directory: the file goes to the working directory
    EXPECT_STREQ(dir, "");

    tarvo::testsupport::TempDir temp("tarvo-max-paths");
    const std::filesystem::path& folder = temp.Path();
    std::ofstream(folder / "present.xml") << "x";
    std::string windowsStyle = folder.string() + "\\present.xml";
    EXPECT_TRUE(DoesFileExist(windowsStyle.c_str()));
    EXPECT_FALSE(DoesFileExist((folder.string() + "/absent.xml").c_str()));
    EXPECT_FALSE(DoesFileExist(""));
}

TEST(HostFunctions, CenterWindowNeedsAWindowSystem) {
    EXPECT_FALSE(CenterWindow(nullptr, nullptr));
    HWND centred = nullptr;
    SetCenterWindowSink([&](HWND child, HWND) {
        centred = child;
        return TRUE;
    });
    int dialog = 0;
    EXPECT_TRUE(CenterWindow(&dialog, nullptr));
    EXPECT_EQ(centred, &dialog);
    SetCenterWindowSink(nullptr);
}
