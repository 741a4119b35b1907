// A settings file that is there but cannot be used is said in one warning line and kept
// beside the new one; a settings file that cannot be written is said with the system's
// reason; a missing file, the first run, says nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/max/HostScene.h"
#include "platform/max/Interface.h"
#include "plugin/ExportOptions.h"
#include "settings/Settings.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using tarvo::scene::FileProperty;
using tarvo::scene::SceneData;
using tarvo::testsupport::ReadText;

// Not well-formed: the profile's end tag is misspelt on line 4.
constexpr std::string_view kCorrupt =
    "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\r\n"
    "<velmark-dx-export>\r\n"
    "\t<default><x-file-settings x-file-type=\"2\" />\r\n"
    "\t</defualt>\r\n"
    "</velmark-dx-export>";

constexpr std::string_view kGood =
    "<velmark-dx-export><default><x-file-settings x-file-type=\"1\" /></default>"
    "</velmark-dx-export>";

void WriteFileBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

class SettingsFileWarnings : public ::testing::Test {
  protected:
    void SetUp() override {
        SceneData data;
        data.frameRate = 30;
        data.ticksPerFrame = 160;
        m_scene = std::make_unique<HostScene>(std::move(data));
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.string());
        SetDebugPrintSink([this](const std::string& text) { m_printed += text; });
    }
    void TearDown() override { SetDebugPrintSink(nullptr); }

    void WithSceneText(std::string text) {
        SceneData data;
        data.frameRate = 30;
        data.ticksPerFrame = 160;
        FileProperty property;
        property.name = "TarvoDXExportSettings";
        property.text = std::move(text);
        data.fileProperties.push_back(std::move(property));
        m_host.reset();
        m_scene = std::make_unique<HostScene>(std::move(data));
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.string());
    }

    // The lines printed since the last call.
    std::vector<std::string> TakeLines() {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = m_printed.find('\n', start)) != std::string::npos;
             start = end + 1) {
            lines.push_back(m_printed.substr(start, end - start));
        }
        EXPECT_EQ(start, m_printed.size()) << "a line without its line break";
        m_printed.clear();
        return lines;
    }

    std::string XmlPath() const { return (m_dir / "TarvoDXExport.xml").string(); }
    std::string KeptPath() const { return XmlPath() + ".bad"; }
    fs::path LegacyPath() const { return m_dir / "Tarvo_DXExport.cfg"; }

    // The file saved for the defaults with one segment "Anim-1" over the scene.
    std::string DefaultsFile() {
        ExportOptions defaults;
        AddSegment(defaults.segments, "Anim-1", 0, 16000);
        return std::string(kSettingsDeclaration) +
               BuildSettingsText(defaults, CurrentSceneTiming(*m_host), HostRelease());
    }

    tarvo::testsupport::TempDir m_temp{"tarvo-settings-warnings"};
    const fs::path m_dir = m_temp.Path();
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
    std::string m_printed;
};

// ---- loading ----

TEST_F(SettingsFileWarnings, MissingFileSaysNothing) {
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    ASSERT_TRUE(SaveSettings(options, *m_host));
    EXPECT_TRUE(TakeLines().empty());
    EXPECT_FALSE(fs::exists(KeptPath()));
}

TEST_F(SettingsFileWarnings, GoodFileSaysNothingAndIsNotKept) {
    WriteFileBytes(XmlPath(), kGood);
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 1);
    ASSERT_TRUE(SaveSettings(options, *m_host));
    EXPECT_TRUE(TakeLines().empty());
    EXPECT_FALSE(fs::exists(KeptPath()));
}

TEST_F(SettingsFileWarnings, ValuesOutOfRangeSayNothing) {
    WriteFileBytes(XmlPath(),
                   "<velmark-dx-export><default><animation-settings key-frame-step=\"0\" />"
                   "</default></velmark-dx-export>");
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options.keyFrameStep, 30);
    EXPECT_TRUE(TakeLines().empty());
}

TEST_F(SettingsFileWarnings, CorruptFileIsOneWarningWithLineColumnAndReason) {
    WriteFileBytes(XmlPath(), kCorrupt);
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(TakeLines(),
              std::vector<std::string>{"Warning: settings file " + XmlPath() +
                                       ", line 4, column 12: the end tag </defualt> does not close "
                                       "<default>; the defaults are used"});
    ExportOptions expected;
    AddSegment(expected.segments, "Anim-1", 0, 16000);
    EXPECT_EQ(options, expected);
}

TEST_F(SettingsFileWarnings, CorruptFileBesideAnOldFileSaysTheOldOneIsRead) {
    WriteFileBytes(XmlPath(), kCorrupt);
    std::vector<char> legacy(68, 0);
    legacy[0] = 9;    // version
    legacy[23] = 30;  // keyFrameStep
    WriteFileBytes(LegacyPath(), std::string_view(legacy.data(), legacy.size()));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    const std::vector<std::string> lines = TakeLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("; the old settings file is read instead")) << lines[0];
    EXPECT_EQ(options.vertexColors, 0);  // from the old file's zero byte
}

TEST_F(SettingsFileWarnings, ForeignDocumentIsSaidAndChangesNothing) {
    WriteFileBytes(XmlPath(), "<something-else/>");
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(TakeLines(), std::vector<std::string>{"Warning: settings file " + XmlPath() +
                                                    ": its root element is <something-else>, not "
                                                    "<velmark-dx-export>; the defaults are used"});
    EXPECT_EQ(options, ExportOptions{});
}

TEST_F(SettingsFileWarnings, FileLargerThanAMegabyteIsNotParsed) {
    std::string large(kGood);
    large.insert(large.size() - std::string_view("</velmark-dx-export>").size(),
                 std::string(std::size_t{1} << 20, ' '));
    WriteFileBytes(XmlPath(), large);
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(TakeLines(), std::vector<std::string>{
                               "Warning: settings file " + XmlPath() +
                               ": it is larger than 1 MiB, far more than settings take; the "
                               "defaults are used"});
    EXPECT_EQ(options.xFileType, 0);
}

TEST_F(SettingsFileWarnings, FileThatCannotBeReadIsSaidAndStopsTheLoad) {
    fs::create_directory(XmlPath());
    ExportOptions options;
    EXPECT_FALSE(LoadSettings(options, *m_host));
    EXPECT_EQ(TakeLines(), std::vector<std::string>{"Warning: settings file " + XmlPath() +
                                                    ": it cannot be read (Is a directory); "
                                                    "nothing is exported"});
}

TEST_F(SettingsFileWarnings, FileWithoutReadPermissionIsSaid) {
    if (RunningAsRoot()) GTEST_SKIP() << "as root every file can be read";
    WriteFileBytes(XmlPath(), kGood);
    fs::permissions(XmlPath(), fs::perms::none);
    ExportOptions options;
    EXPECT_FALSE(LoadSettings(options, *m_host));
    EXPECT_EQ(TakeLines(), std::vector<std::string>{"Warning: settings file " + XmlPath() +
                                                    ": it cannot be read (Permission denied); "
                                                    "nothing is exported"});
}

TEST_F(SettingsFileWarnings, OldFileOfANewerVersionIsSaid) {
    std::vector<char> legacy(68, 0);
    legacy[0] = 10;
    WriteFileBytes(LegacyPath(), std::string_view(legacy.data(), legacy.size()));
    ExportOptions options;
    EXPECT_FALSE(LoadSettings(options, *m_host));
    EXPECT_EQ(TakeLines(),
              std::vector<std::string>{"Warning: settings file " + LegacyPath().string() +
                                       ": its format version is newer than this exporter reads; "
                                       "nothing is exported"});
}

TEST_F(SettingsFileWarnings, OldFileThatCannotBeReadIsSaid) {
    fs::create_directory(LegacyPath());
    ExportOptions options;
    EXPECT_FALSE(LoadSettings(options, *m_host));
    EXPECT_EQ(TakeLines(),
              std::vector<std::string>{"Warning: settings file " + LegacyPath().string() +
                                       ": it cannot be read (Is a directory); "
                                       "nothing is exported"});
}

TEST_F(SettingsFileWarnings, LineBreaksInTheFolderNameDoNotSplitTheWarning) {
    const fs::path folder = m_dir / "two\nlines";
    fs::create_directory(folder);
    m_host->SetPlugCfgDir(folder.string());
    WriteFileBytes(folder / "TarvoDXExport.xml", "<a></b>");
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    const std::vector<std::string> lines = TakeLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("two?lines"), std::string::npos) << lines[0];
}

// ---- keeping what would not load ----

TEST_F(SettingsFileWarnings, SaveKeepsTheCorruptFileWithItsBytesAndWritesTheNewOne) {
    WriteFileBytes(XmlPath(), kCorrupt);
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    TakeLines();
    ASSERT_TRUE(SaveSettings(options, *m_host));
    EXPECT_EQ(TakeLines(),
              std::vector<std::string>{"Warning: settings file " + XmlPath() +
                                       ": it could not be loaded, so it is kept as " + KeptPath() +
                                       "; new settings are saved in its place"});
    EXPECT_EQ(ReadText(KeptPath()), kCorrupt);
    EXPECT_EQ(ReadText(XmlPath()), DefaultsFile());
    // The next export reads the new file without a word.
    ExportOptions again;
    ASSERT_TRUE(LoadSettings(again, *m_host));
    EXPECT_EQ(again, options);
    EXPECT_TRUE(TakeLines().empty());
}

TEST_F(SettingsFileWarnings, KeptFileReplacesAnOlderOne) {
    WriteFileBytes(KeptPath(), "older");
    WriteFileBytes(XmlPath(), "<other/>");
    ASSERT_TRUE(SaveSettings(ExportOptions{}, *m_host));
    EXPECT_EQ(ReadText(KeptPath()), "<other/>");
    std::vector<std::string> entries = m_temp.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"TarvoDXExport.xml", "TarvoDXExport.xml.bad"}));
}

TEST_F(SettingsFileWarnings, NewFileKeepsThePermissionsOfTheOneItReplaces) {
    WriteFileBytes(XmlPath(), kCorrupt);
    const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(XmlPath(), ownerOnly);
    ASSERT_TRUE(SaveSettings(ExportOptions{}, *m_host));
    EXPECT_EQ(fs::status(XmlPath()).permissions(), ownerOnly);
    EXPECT_EQ(fs::status(KeptPath()).permissions(), ownerOnly);
}

TEST_F(SettingsFileWarnings, FileTheSceneHidIsKeptToo) {
    // The scene answers the load, so the file is never read then; the save still must not
    // drop it.
    WithSceneText(std::string(kGood));
    WriteFileBytes(XmlPath(), kCorrupt);
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_TRUE(TakeLines().empty());
    ASSERT_TRUE(SaveSettings(options, *m_host));
    EXPECT_EQ(TakeLines().size(), 1u);
    EXPECT_EQ(ReadText(KeptPath()), kCorrupt);
}

TEST_F(SettingsFileWarnings, LinkedCorruptFileIsCopiedAndTheLinkStays) {
    const fs::path target = m_dir / "elsewhere.xml";
    WriteFileBytes(target, kCorrupt);
    fs::create_symlink(target, XmlPath());
    ASSERT_TRUE(SaveSettings(ExportOptions{}, *m_host));
    EXPECT_EQ(ReadText(KeptPath()), kCorrupt);
    EXPECT_FALSE(fs::is_symlink(KeptPath()));
    // The new settings are written through the link.
    EXPECT_TRUE(fs::is_symlink(XmlPath()));
    EXPECT_NE(ReadText(target).find("<velmark-dx-export"), std::string::npos);
    ExportOptions loaded;
    ASSERT_TRUE(LoadSettings(loaded, *m_host));
    EXPECT_EQ(TakeLines().size(), 1u);  // the keeping; the new file loads without a word
}

TEST_F(SettingsFileWarnings, ReadOnlyCorruptFileIsKeptAndLeftAsItIs) {
    WriteFileBytes(XmlPath(), kCorrupt);
    fs::permissions(XmlPath(), fs::perms::owner_read);
    EXPECT_FALSE(SaveSettings(ExportOptions{}, *m_host));
    const std::vector<std::string> lines = TakeLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(
        lines[0].ends_with("it is kept as " + KeptPath() + "; new settings are saved in its place"))
        << lines[0];
    EXPECT_EQ(lines[1], "Warning: settings file " + XmlPath() +
                            ": it cannot be written (Permission denied); the settings are not "
                            "saved");
    EXPECT_EQ(ReadText(XmlPath()), kCorrupt);
    EXPECT_EQ(ReadText(KeptPath()), kCorrupt);
}

TEST_F(SettingsFileWarnings, CorruptFileThatCannotBeKeptIsLeftAndNothingIsSaved) {
    WriteFileBytes(XmlPath(), kCorrupt);
    fs::create_directory(KeptPath());
    WriteFileBytes(fs::path(KeptPath()) / "in-the-way", "x");
    EXPECT_FALSE(SaveSettings(ExportOptions{}, *m_host));
    const std::vector<std::string> lines = TakeLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("Warning: settings file " + XmlPath() +
                                     ": it could not be loaded and cannot be kept as " +
                                     KeptPath() + " ("))
        << lines[0];
    EXPECT_TRUE(lines[0].ends_with("); the settings are not saved")) << lines[0];
    EXPECT_EQ(ReadText(XmlPath()), kCorrupt);
    EXPECT_FALSE(fs::exists(KeptPath() + ".new"));
}

// ---- saving where it cannot be written ----

TEST_F(SettingsFileWarnings, MissingFolderIsSaidWithTheSystemsReason) {
    const fs::path missing = m_dir / "missing";
    m_host->SetPlugCfgDir(missing.string());
    EXPECT_FALSE(SaveSettings(ExportOptions{}, *m_host));
    EXPECT_EQ(TakeLines(),
              std::vector<std::string>{
                  "Warning: settings file " + (missing / "TarvoDXExport.xml").string() +
                  ": it cannot be written (No such file or directory); the settings "
                  "are not saved"});
}

TEST_F(SettingsFileWarnings, UnwritableFolderIsSaidWithTheSystemsReason) {
    if (RunningAsRoot()) GTEST_SKIP() << "as root every folder can be written";
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec);
    EXPECT_FALSE(SaveSettings(ExportOptions{}, *m_host));
    EXPECT_EQ(TakeLines(), std::vector<std::string>{
                               "Warning: settings file " + XmlPath() +
                               ": it cannot be written (Permission denied); the settings are "
                               "not saved"});
    EXPECT_FALSE(fs::exists(XmlPath()));
}

TEST_F(SettingsFileWarnings, CorruptFileInAnUnwritableFolderIsLeftAsItIs) {
    if (RunningAsRoot()) GTEST_SKIP() << "as root every folder can be written";
    WriteFileBytes(XmlPath(), kCorrupt);
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(SaveSettings(ExportOptions{}, *m_host));
    const std::vector<std::string> lines = TakeLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("cannot be kept as " + KeptPath() + " (Permission denied)"),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(ReadText(XmlPath()), kCorrupt);
}

}  // namespace
