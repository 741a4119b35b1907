// Without a display the options sheet and the About box report that they cannot be shown,
// whatever QT_QPA_PLATFORM asks for, and Qt is never started: an export with prompts then
// fails without writing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>

#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"
#include "tests/support/TempDir.h"
#include "ui/DialogToolkit.h"
#include "ui/OptionsSheet.h"

extern "C" const tarvo::ui::DialogToolkit* TarvoDialogToolkit();

namespace {

class NoDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
        tarvo::ui::UseDialogToolkit(TarvoDialogToolkit());
        m_host.SetPlugCfgDir(m_dir.File(""));
        m_exporter.hostInterface = &m_host;
    }
    void TearDown() override {
        tarvo::ui::UseDialogToolkit(nullptr);
        EXPECT_EQ(QCoreApplication::instance(), nullptr) << "Qt was started";
    }

    tarvo::testsupport::TempDir m_dir{"tarvo-ui-nodisplay"};
    Interface m_host;
    TarvoDirectXMaxExporter m_exporter;
};

TEST_F(NoDisplayTest, WithoutAnyDisplayTheSheetCannotBeShown) {
    EXPECT_EQ(OptionsSheet(m_exporter, nullptr), -1);
    EXPECT_EQ(ShowAboutBox(nullptr), -1);
}

TEST_F(NoDisplayTest, AnXDisplayThatDoesNotAnswerIsNoDisplay) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DISPLAY", ":97", 1);
    EXPECT_EQ(OptionsSheet(m_exporter, nullptr), -1);
}

TEST_F(NoDisplayTest, AWaylandSocketThatDoesNotExistIsNoDisplay) {
    setenv("QT_QPA_PLATFORM", "wayland;xcb", 1);
    setenv("WAYLAND_DISPLAY", (m_dir.Path() / "no-compositor").c_str(), 1);
    EXPECT_EQ(OptionsSheet(m_exporter, nullptr), -1);
}

TEST_F(NoDisplayTest, PlatformsThatCannotBeCheckedAreNotStarted) {
    for (const char* platform : {"eglfs", "linuxfb", "vnc", "no-such-platform"}) {
        setenv("QT_QPA_PLATFORM", platform, 1);
        EXPECT_EQ(OptionsSheet(m_exporter, nullptr), -1) << platform;
    }
}

TEST_F(NoDisplayTest, AnExportWithPromptsWritesNothingWhenTheSheetCannotBeShown) {
    TarvoDirectXMaxExporter exporter;
    const std::string path = m_dir.File("scene.x");
    EXPECT_EQ(exporter.DoExport(path.c_str(), nullptr, &m_host, FALSE, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("TarvoDXExport.xml")));
}

}  // namespace
