// Loading and saving through the host: the order of the sources, the files in the plug-in
// configuration directory and the scene property.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
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

void WriteFileBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Settings(std::string_view groups) {
    return "\r\n<velmark-dx-export file-version=\"1.01\"><default>" + std::string(groups) +
           "</default></velmark-dx-export>";
}

std::string XFileType(int value) {
    return Settings("<x-file-settings x-file-type=\"" + std::to_string(value) + "\" />");
}

constexpr std::string_view kRefused = "<velmark-dx-export><default></wrong>";

FileProperty TextProperty(std::string name, std::string text) {
    FileProperty property;
    property.name = std::move(name);
    property.text = std::move(text);
    return property;
}

std::vector<std::uint8_t> LegacyFile(std::int32_t version, std::int32_t xFileType) {
    std::vector<std::uint8_t> bytes(68, 0);
    auto put = [&bytes](std::size_t offset, std::int32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[offset + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
        }
    };
    put(0, version);
    put(23, 30);  // keyFrameStep
    put(33, xFileType);
    return bytes;
}

class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override { MakeHost(SceneData{}); }
    void TearDown() override {
        m_host.reset();
        m_scene.reset();
    }

    // 30 frames of 160 ticks per second; the default range 0..16000 is 100 samples at 30
    // samples per second.
    void MakeHost(SceneData data, std::vector<FileProperty> properties = {}) {
        m_host.reset();
        m_scene.reset();
        data.frameRate = 30;
        data.ticksPerFrame = 160;
        data.fileProperties = std::move(properties);
        m_scene = std::make_unique<HostScene>(std::move(data));
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.string());
    }

    void WithProperties(std::vector<FileProperty> properties) {
        MakeHost(SceneData{}, std::move(properties));
    }

    fs::path XmlFile() const { return m_dir / "TarvoDXExport.xml"; }
    fs::path LegacyPath() const { return m_dir / "Tarvo_DXExport.cfg"; }
    void WriteLegacy(const std::vector<std::uint8_t>& bytes) {
        WriteFileBytes(LegacyPath(), std::string(bytes.begin(), bytes.end()));
    }

    std::vector<FileProperty> SceneProperties() const { return m_scene->Data().fileProperties; }

    tarvo::testsupport::TempDir m_temp{"tarvo-settings"};
    const fs::path m_dir = m_temp.Path();
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
};

// ---- paths ----

TEST_F(SettingsStore, PathsAreTheDirectoryABackslashAndTheName) {
    m_host->SetPlugCfgDir("/cfg/dir");
    EXPECT_EQ(GetSettingsPath(*m_host), "/cfg/dir\\TarvoDXExport.xml");
    EXPECT_EQ(GetLegacySettingsPath(*m_host), "/cfg/dir\\Tarvo_DXExport.cfg");
    m_host->SetPlugCfgDir("/cfg/dir/");
    EXPECT_EQ(GetSettingsPath(*m_host), "/cfg/dir/\\TarvoDXExport.xml");
}

TEST_F(SettingsStore, HostReleaseIsTheVersionShiftedBySixteen) {
    EXPECT_EQ(HostRelease(), 14000);
}

// ---- the fallback order: scene property, XML file, old file, defaults ----

TEST_F(SettingsStore, NoSettingsAnywhereGiveOneSegmentOverTheAnimationRange) {
    SceneData data;
    data.animStart = 320;
    data.animEnd = 4000;
    MakeHost(data);
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].name, "Anim-1");
    EXPECT_EQ(options.segments[0].start, 320);
    EXPECT_EQ(options.segments[0].end, 4000);
    ExportOptions expected;
    expected.segments = options.segments;
    EXPECT_EQ(options, expected);
}

TEST_F(SettingsStore, ScenePropertyComesFirst) {
    WithProperties({TextProperty("TarvoDXExportSettings", XFileType(1))});
    WriteFileBytes(XmlFile(), XFileType(2));
    WriteLegacy(LegacyFile(9, 0));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 1);
    EXPECT_TRUE(options.segments.empty());
}

TEST_F(SettingsStore, XmlFileComesSecond) {
    WriteFileBytes(XmlFile(), XFileType(2));
    WriteLegacy(LegacyFile(9, 1));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 2);
    EXPECT_EQ(options.vertexColors, 1);  // the old file would have cleared it
}

TEST_F(SettingsStore, OldFileComesThirdWhenTheXmlFileIsRefused) {
    WriteFileBytes(XmlFile(), kRefused);
    WriteLegacy(LegacyFile(9, 1));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 1);
    EXPECT_EQ(options.vertexColors, 0);  // read from the old file's zero byte
    EXPECT_TRUE(options.segments.empty());
}

TEST_F(SettingsStore, OldFileIsReadWhenThereIsNoXmlFile) {
    WriteLegacy(LegacyFile(2, 2));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 2);
    EXPECT_EQ(options.textureFormat, 0);  // version 2 has no texture format
}

TEST_F(SettingsStore, RefusedXmlFileAndNoOldFileGiveTheDefaults) {
    WriteFileBytes(XmlFile(), kRefused);
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].name, "Anim-1");
    EXPECT_EQ(options.segments[0].end, 16000);
}

TEST_F(SettingsStore, OldFileOfAVersionAboveNineStopsTheLoad) {
    WriteLegacy(LegacyFile(10, 1));
    ExportOptions options;
    EXPECT_FALSE(LoadSettings(options, *m_host));
    EXPECT_EQ(options, ExportOptions{});
}

TEST_F(SettingsStore, XmlFileThatCannotBeReadStopsTheLoad) {
    fs::create_directory(XmlFile());  // present, but not a file that can be read
    WriteLegacy(LegacyFile(9, 1));
    ExportOptions options;
    EXPECT_FALSE(LoadSettings(options, *m_host));
    EXPECT_EQ(options, ExportOptions{});
}

TEST_F(SettingsStore, OldFileThatCannotBeReadStopsTheLoad) {
    fs::create_directory(LegacyPath());
    ExportOptions options;
    EXPECT_FALSE(LoadSettings(options, *m_host));
    EXPECT_TRUE(options.segments.empty());
}

TEST_F(SettingsStore, ForeignDocumentInTheFileCountsAsLoadedWithNothingChanged) {
    WriteFileBytes(XmlFile(), "<something-else/>");
    WriteLegacy(LegacyFile(9, 1));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options, ExportOptions{});  // no "Anim-1", old file not read
}

// ---- the scene property ----

TEST_F(SettingsStore, RefusedSceneTextPassesOnToTheFile) {
    WithProperties({TextProperty("TarvoDXExportSettings", std::string(kRefused))});
    WriteFileBytes(XmlFile(), XFileType(2));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 2);
}

TEST_F(SettingsStore, RefusedSceneTextPassesOnToTheNextPropertyOfTheName) {
    WithProperties({TextProperty("TarvoDXExportSettings", std::string(kRefused)),
                    TextProperty("TarvoDXExportSettings", XFileType(1)),
                    TextProperty("TarvoDXExportSettings", XFileType(2))});
    WriteFileBytes(XmlFile(), XFileType(0));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 1);  // the first that parses wins
}

TEST_F(SettingsStore, PropertiesOfOtherNamesAreNeverRead) {
    FileProperty numbered = TextProperty("", XFileType(1));
    numbered.named = false;
    numbered.id = 2;
    WithProperties({TextProperty("tarvodxexportsettings", XFileType(1)),
                    TextProperty("TarvoDXExportSettings2", XFileType(1)), numbered});
    ExportOptions options;
    EXPECT_FALSE(ReadSceneSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 0);
}

TEST_F(SettingsStore, PropertyOfTheNameHoldingANumberIsPassedOver) {
    FileProperty number = TextProperty("TarvoDXExportSettings", "");
    number.isText = false;
    number.integer = 12345;
    WithProperties({number, TextProperty("TarvoDXExportSettings", XFileType(2))});
    ExportOptions options;
    ASSERT_TRUE(ReadSceneSettings(options, *m_host));
    EXPECT_EQ(options.xFileType, 2);
}

TEST_F(SettingsStore, ForeignDocumentInTheSceneEndsTheSearch) {
    WithProperties({TextProperty("TarvoDXExportSettings", "<other/>")});
    WriteFileBytes(XmlFile(), XFileType(2));
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));
    EXPECT_EQ(options, ExportOptions{});
}

TEST_F(SettingsStore, StoreAddsTheTextWhenAskedTo) {
    ExportOptions options;
    options.saveSettingsInScene = 1;
    StoreSceneSettings(*m_host, options, "text");
    const auto properties = SceneProperties();
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_TRUE(properties[0].named);
    EXPECT_EQ(properties[0].set, PROPSET_USERDEFINED);
    EXPECT_EQ(properties[0].name, "TarvoDXExportSettings");
    EXPECT_TRUE(properties[0].isText);
    EXPECT_EQ(properties[0].text, "text");
}

TEST_F(SettingsStore, StoreReplacesAnEarlierText) {
    WithProperties({TextProperty("Author", "me"), TextProperty("TarvoDXExportSettings", "old")});
    ExportOptions options;
    options.saveSettingsInScene = 1;
    StoreSceneSettings(*m_host, options, "new");
    const auto properties = SceneProperties();
    ASSERT_EQ(properties.size(), 2u);
    EXPECT_EQ(properties[0].name, "Author");
    EXPECT_EQ(properties[1].text, "new");
}

TEST_F(SettingsStore, StoreRemovesTheTextWhenNotAsked) {
    WithProperties({TextProperty("Author", "me"), TextProperty("TarvoDXExportSettings", "old")});
    StoreSceneSettings(*m_host, ExportOptions{}, "new");
    const auto properties = SceneProperties();
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_EQ(properties[0].name, "Author");
}

// ---- saving ----

TEST_F(SettingsStore, SavedFileForTheDefaultsIsTheGoldenFile) {
    ExportOptions options;
    ASSERT_TRUE(LoadSettings(options, *m_host));  // adds "Anim-1" over 0..16000
    ASSERT_TRUE(SaveSettings(options, *m_host));
    const std::string golden =
        ReadText(fs::path(TARVO_TEST_DATA_DIR) / "settings" / "defaults.xml");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(ReadText(XmlFile()), golden);
    EXPECT_TRUE(SceneProperties().empty());  // the option is off
}

TEST_F(SettingsStore, SceneTextIsTheFileWithoutItsDeclaration) {
    ExportOptions options;
    options.saveSettingsInScene = 1;
    AddSegment(options.segments, "Walk", 160, 3200);
    ASSERT_TRUE(SaveSettings(options, *m_host));
    const std::string file = ReadText(XmlFile());
    const auto properties = SceneProperties();
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_EQ(std::string(kSettingsDeclaration) + properties[0].text, file);
    EXPECT_NE(file.find("save-settings-inscene=\"on\""), std::string::npos);
}

TEST_F(SettingsStore, SavedSettingsLoadBackFromTheScene) {
    ExportOptions saved;
    saved.saveSettingsInScene = 1;
    saved.xFileType = 2;
    saved.keyFrameStep = 15;
    AddSegment(saved.segments, "Walk <1> & \"run\"", 320, 3200);
    ASSERT_TRUE(SaveSettings(saved, *m_host));
    fs::remove(XmlFile());  // so that only the scene can answer

    ExportOptions loaded;
    ASSERT_TRUE(LoadSettings(loaded, *m_host));
    EXPECT_EQ(loaded, saved);
}

TEST_F(SettingsStore, SavedSettingsLoadBackFromTheFile) {
    ExportOptions saved;
    saved.skinning = 1;
    saved.textureFormat = 3;
    AddSegment(saved.segments, "a\\b", 0, 16000);
    ASSERT_TRUE(SaveSettings(saved, *m_host));
    ExportOptions loaded;
    ASSERT_TRUE(LoadSettings(loaded, *m_host));
    EXPECT_EQ(loaded, saved);
}

TEST_F(SettingsStore, LoadedSegmentsAreClampedToTheCurrentScene) {
    ExportOptions saved;
    AddSegment(saved.segments, "long", 0, 16000);
    ASSERT_TRUE(SaveSettings(saved, *m_host));
    SceneData shorter;
    shorter.animStart = 0;
    shorter.animEnd = 8000;
    MakeHost(shorter);
    ExportOptions loaded;
    ASSERT_TRUE(LoadSettings(loaded, *m_host));
    ASSERT_EQ(loaded.segments.size(), 1u);
    EXPECT_EQ(loaded.segments[0].end, 8000);
}

TEST_F(SettingsStore, SamplingRateAboveTheTickRateSavesAndLoads) {
    ExportOptions saved;
    saved.keyFrameStep = 9600;  // more samples than ticks per second
    AddSegment(saved.segments, "fine", 7, 4000);
    ASSERT_TRUE(SaveSettings(saved, *m_host));
    EXPECT_NE(ReadText(XmlFile()).find("start=\"7\" end=\"4000\""), std::string::npos);
    ExportOptions loaded;
    ASSERT_TRUE(LoadSettings(loaded, *m_host));
    EXPECT_EQ(loaded, saved);
}

TEST_F(SettingsStore, SaveReplacesTheFileAndLeavesNoTemporaryFile) {
    WriteFileBytes(XmlFile(), XFileType(2));
    ASSERT_TRUE(SaveSettings(ExportOptions{}, *m_host));
    EXPECT_NE(ReadText(XmlFile()), XFileType(2));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_dir)) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"TarvoDXExport.xml"});
}

TEST_F(SettingsStore, ReplacedFileKeepsItsPermissions) {
    WriteFileBytes(XmlFile(), "old contents");
    fs::permissions(XmlFile(), fs::perms::owner_read | fs::perms::owner_write |
                                   fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(SaveSettings(ExportOptions{}, *m_host));
    EXPECT_EQ(fs::status(XmlFile()).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                       fs::perms::group_read |
                                                       fs::perms::others_read);
}

TEST_F(SettingsStore, FileThatCannotBeWrittenStillUpdatesTheScene) {
    WithProperties({TextProperty("TarvoDXExportSettings", "old")});
    m_host->SetPlugCfgDir((m_dir / "missing" / "dir").string());
    ExportOptions options;
    options.saveSettingsInScene = 1;
    EXPECT_FALSE(SaveSettings(options, *m_host));
    const auto properties = SceneProperties();
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_NE(properties[0].text, "old");
    EXPECT_FALSE(fs::exists(m_dir / "missing"));
}

TEST_F(SettingsStore, FailedSaveKeepsThePreviousFileWhole) {
    // The settings file's name is taken by a directory that holds something, so the
    // renaming fails after the temporary file was written.
    fs::create_directory(XmlFile());
    WriteFileBytes(XmlFile() / "keep", "x");
    EXPECT_FALSE(SaveSettings(ExportOptions{}, *m_host));
    EXPECT_EQ(ReadText(XmlFile() / "keep"), "x");
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(m_dir)) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);  // the temporary file is gone
}

}  // namespace
