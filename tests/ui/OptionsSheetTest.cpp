// OptionsSheet and the About box as the exporter calls them: the pages see the running
// host (its animation range, configuration folder and IGame version), the toolkit's answer
// becomes the sheet's result, and without a toolkit the sheet reports -1.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"
#include "tests/support/TempDir.h"
#include "ui/DialogToolkit.h"
#include "ui/OptionsSheet.h"
#include "ui/ResourceIds.h"

namespace {

using namespace tarvo::ui;

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";

// What the stand-in toolkit saw and how it answers.
struct Script {
    INT_PTR answer = 1;
    std::function<void(PropertySheetModel&)> user;
    HWND parent = nullptr;
    int sheetsShown = 0;
};
Script script;

INT_PTR RunScriptedSheet(PropertySheetModel& sheet, HWND parent) {
    ++script.sheetsShown;
    script.parent = parent;
    sheet.Activate(0);
    if (script.user) script.user(sheet);
    if (script.answer > 0) sheet.Accept();
    return script.answer;
}

INT_PTR RunScriptedDialog(DialogModel& dialog, HWND parent) {
    script.parent = parent;
    dialog.Initialise();
    return 7;
}

const DialogToolkit kScriptedToolkit{RunScriptedSheet, RunScriptedDialog};

class OptionsSheetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        script = Script{};
        UseDialogToolkit(&kScriptedToolkit);
        m_scene = std::make_unique<HostScene>(tarvo::scenefile::LoadSceneFile(kExample));
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.File(""));
    }
    void TearDown() override { UseDialogToolkit(nullptr); }

    int Export(const std::string& name) {
        TarvoDirectXMaxExporter exporter;
        return exporter.DoExport(m_dir.File(name).c_str(), nullptr, m_host.get(), FALSE, 0);
    }

    tarvo::testsupport::TempDir m_dir{"tarvo-ui-sheet"};
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
};

TEST_F(OptionsSheetTest, PagesSeeTheRunningHost) {
    std::string keys, cfgPath, igame;
    script.user = [&](PropertySheetModel& sheet) {
        sheet.Activate(2);
        keys = sheet.Page(2).Controls().At(animation::kKeys).text;
        sheet.Activate(5);
        cfgPath = sheet.Page(5).Controls().At(about::kCfgPath).text;
        igame = sheet.Page(5).Controls().At(about::kIGameVersion).text;
    };
    TarvoDirectXMaxExporter exporter;
    exporter.hostInterface = m_host.get();
    exporter.igameVersion = 2.25f;
    int window = 0;
    EXPECT_EQ(OptionsSheet(exporter, &window), 1);
    EXPECT_EQ(script.parent, &window);
    // The example's range is 0 to 4,800 ticks: 30 samples at 160 ticks each.
    EXPECT_EQ(keys, "Keys: 30  FrameRate: 30 fps");
    EXPECT_EQ(cfgPath, "Cfg Path: " + m_dir.File(""));
    EXPECT_EQ(igame, "IGame Version: 2.250000");
}

TEST_F(OptionsSheetTest, TheExportUsesWhatThePagesStored) {
    script.user = [](PropertySheetModel& sheet) {
        sheet.Activate(4);
        CheckRadioButton(sheet.Page(4).Controls(), xfile::kText, xfile::kCompressed,
                         xfile::kBinary);
    };
    ASSERT_EQ(Export("accepted.x"), 1);
    EXPECT_EQ(script.sheetsShown, 1);
    std::ifstream file(m_dir.File("accepted.x"), std::ios::binary);
    std::string header(16, '\0');
    file.read(header.data(), 16);
    EXPECT_EQ(header.substr(0, 12), "xof 0303bin ");
}

TEST_F(OptionsSheetTest, ACancelledSheetEndsTheExportWithoutWriting) {
    script.answer = 0;
    script.user = [](PropertySheetModel& sheet) { sheet.Activate(1); };
    EXPECT_EQ(Export("cancelled.x"), 1);
    EXPECT_EQ(script.sheetsShown, 1);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
}

TEST_F(OptionsSheetTest, WithoutADialogLibraryTheSheetCannotBeShown) {
    UseDialogToolkit(nullptr);  // and none lies beside this test program
    ASSERT_FALSE(std::filesystem::exists(DialogLibraryPath()));
    TarvoDirectXMaxExporter exporter;
    exporter.hostInterface = m_host.get();
    EXPECT_EQ(OptionsSheet(exporter, nullptr), -1);
    EXPECT_EQ(ShowAboutBox(nullptr), -1);
    EXPECT_EQ(Export("no-dialogs.x"), 0);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
}

TEST_F(OptionsSheetTest, TheAboutBoxShowsOverTheGivenWindow) {
    int window = 0;
    EXPECT_EQ(ShowAboutBox(&window), 7);
    EXPECT_EQ(script.parent, &window);
}

}  // namespace
