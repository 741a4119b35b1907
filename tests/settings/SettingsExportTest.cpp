// Whole exports of the example scene with a settings file that cannot be used, or a
// settings folder that cannot be written: the export goes on, the user is told, and
// nothing the user wrote is lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using tarvo::testsupport::ReadText;

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";

// Not well-formed: an attribute on line 3 has neither "=" nor a space after its name.
constexpr std::string_view kCorrupt =
    "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\r\n"
    "<velmark-dx-export>\r\n"
    "\t<default><mesh-settings normals>";

class SettingsExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_scene = std::make_unique<HostScene>(tarvo::scenefile::LoadSceneFile(kExample));
        m_host = std::make_unique<Interface>(m_scene.get());
        fs::create_directory(m_cfg);
        m_host->SetPlugCfgDir(m_cfg.string());
        SetDebugPrintSink([this](const std::string& text) { m_printed += text; });
    }
    void TearDown() override { SetDebugPrintSink(nullptr); }

    int Export() {
        TarvoDirectXMaxExporter exporter;
        return exporter.DoExport(m_output.c_str(), nullptr, m_host.get(), TRUE, 0);
    }

    // The warning lines about the settings, in the order printed.
    std::vector<std::string> SettingsWarnings() const {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = m_printed.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const std::string line = m_printed.substr(start, end - start);
            if (line.starts_with("Warning: settings file ")) lines.push_back(line);
        }
        return lines;
    }

    std::string SettingsPath() const { return (m_cfg / "TarvoDXExport.xml").string(); }

    tarvo::testsupport::TempDir m_dir{"tarvo-settings-export"};
    const fs::path m_cfg = m_dir.Path() / "cfg";
    const std::string m_output = m_dir.File("sample.x");
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
    std::string m_printed;
};

TEST_F(SettingsExportTest, CorruptSettingsFileIsSaidKeptAndReplaced) {
    std::ofstream(SettingsPath(), std::ios::binary) << kCorrupt;
    ASSERT_EQ(Export(), 1);
    EXPECT_TRUE(fs::is_regular_file(m_output));
    EXPECT_EQ(SettingsWarnings(),
              (std::vector<std::string>{
                  "Warning: settings file " + SettingsPath() +
                      ", line 3, column 26: an attribute name in <mesh-settings> is followed "
                      "by neither \"=\" nor a space; the defaults are used",
                  "Warning: settings file " + SettingsPath() +
                      ": it could not be loaded, so it is kept as " + SettingsPath() +
                      ".bad; new settings are saved in its place"}));
    EXPECT_EQ(ReadText(SettingsPath() + ".bad"), kCorrupt);

    // The next export reads the new file and has nothing to say about it.
    m_printed.clear();
    ASSERT_EQ(Export(), 1);
    EXPECT_TRUE(SettingsWarnings().empty());
    EXPECT_EQ(ReadText(SettingsPath() + ".bad"), kCorrupt);
}

TEST_F(SettingsExportTest, MissingSettingsFileSaysNothing) {
    ASSERT_EQ(Export(), 1);
    EXPECT_TRUE(SettingsWarnings().empty());
    EXPECT_TRUE(fs::is_regular_file(SettingsPath()));
    EXPECT_FALSE(fs::exists(SettingsPath() + ".bad"));
}

TEST_F(SettingsExportTest, MissingSettingsFolderIsSaidAndTheExportSucceeds) {
    const fs::path missing = m_dir.Path() / "no-such-folder";
    m_host->SetPlugCfgDir(missing.string());
    ASSERT_EQ(Export(), 1);
    EXPECT_TRUE(fs::is_regular_file(m_output));
    EXPECT_EQ(SettingsWarnings(),
              std::vector<std::string>{"Warning: settings file " +
                                       (missing / "TarvoDXExport.xml").string() +
                                       ": it cannot be written (No such file or directory); the "
                                       "settings are not saved"});
}

TEST_F(SettingsExportTest, UnwritableSettingsFolderIsSaidAndTheExportSucceeds) {
    if (::geteuid() == 0) GTEST_SKIP() << "as root every folder can be written";
    fs::permissions(m_cfg, fs::perms::owner_read | fs::perms::owner_exec);
    ASSERT_EQ(Export(), 1);
    EXPECT_TRUE(fs::is_regular_file(m_output));
    EXPECT_EQ(SettingsWarnings(),
              std::vector<std::string>{"Warning: settings file " + SettingsPath() +
                                       ": it cannot be written (Permission denied); the settings "
                                       "are not saved"});
    fs::permissions(m_cfg, fs::perms::owner_all);
}

}  // namespace
