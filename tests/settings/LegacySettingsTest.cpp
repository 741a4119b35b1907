#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "plugin/ExportOptions.h"
#include "settings/Settings.h"

namespace {

// The old file's layout, written out here by offset so that the reader is checked against
// the layout rather than against itself.
struct Item {
    int offset;
    bool word;
    std::int32_t ExportOptions::*field;
    int firstVersion;
};

const std::vector<Item> kLayout = {
    {4, false, &ExportOptions::exportMesh, 0},
    {5, false, &ExportOptions::exportAnimation, 0},
    {6, false, &ExportOptions::exportMaterials, 0},
    {7, false, &ExportOptions::meshAnim, 0},
    {8, false, &ExportOptions::animCameraLight, 0},
    {9, false, &ExportOptions::legacyFlagA, 0},
    {10, false, &ExportOptions::normals, 0},
    {11, false, &ExportOptions::flipNormals, 0},
    {12, false, &ExportOptions::textureCoords, 0},
    {13, false, &ExportOptions::exportGeom, 0},
    {14, false, &ExportOptions::legacyObjectB, 0},
    {15, false, &ExportOptions::legacyObjectC, 0},
    {16, false, &ExportOptions::legacyObjectD, 0},
    {17, false, &ExportOptions::exportHelper, 0},
    {18, false, &ExportOptions::legacyFlagE, 0},
    {19, true, &ExportOptions::legacyCount, 0},
    {23, true, &ExportOptions::keyFrameStep, 0},
    {27, false, &ExportOptions::vertexColors, 0},
    {28, false, &ExportOptions::legacyByte, 0},
    {29, false, &ExportOptions::texMapConv, 0},
    {30, false, &ExportOptions::inlineMaterials, 0},
    {31, false, &ExportOptions::localObjectSpace, 0},
    {32, false, &ExportOptions::frameSetting, 2},
    {33, true, &ExportOptions::xFileType, 2},
    {37, true, &ExportOptions::aniComponents, 2},
    {41, true, &ExportOptions::textureFormat, 3},
    {45, false, &ExportOptions::aniOptions, 3},
    {46, true, &ExportOptions::aniOpenClosed, 3},
    {50, true, &ExportOptions::aniPositionQuality, 3},
    {54, false, &ExportOptions::skinning, 4},
    {55, false, &ExportOptions::leftHanded, 4},
    {56, false, &ExportOptions::exportDummy, 4},
    {57, false, &ExportOptions::optMesh, 5},
    {58, false, &ExportOptions::texFullPath, 5},
    {59, false, &ExportOptions::texScale, 5},
    {60, true, &ExportOptions::timeLine, 6},
    {64, false, &ExportOptions::overwriteTex, 7},
    {65, false, &ExportOptions::fxFiles, 8},
    {66, false, &ExportOptions::getFxParams, 8},
    {67, false, &ExportOptions::whiteTex, 9},
};

void PutWord(std::vector<std::uint8_t>& bytes, int offset, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(offset + i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

// A value for each item that differs from every record default and stays within the
// range the settings text accepts: 2 for bytes (a valid value of every ranged byte), and
// for words a value that is valid for that field.
std::int32_t SampleValue(const Item& item) {
    if (!item.word) return 2;
    if (item.field == &ExportOptions::keyFrameStep) return 24;
    if (item.field == &ExportOptions::xFileType) return 2;
    if (item.field == &ExportOptions::textureFormat) return 3;
    if (item.field == &ExportOptions::legacyCount) return -70000;
    return 1;
}

std::vector<std::uint8_t> LegacyFile(std::int32_t version, std::size_t length) {
    std::vector<std::uint8_t> bytes(68, 0);
    PutWord(bytes, 0, version);
    for (const Item& item : kLayout) {
        if (item.word) {
            PutWord(bytes, item.offset, SampleValue(item));
        } else {
            bytes[static_cast<std::size_t>(item.offset)] =
                static_cast<std::uint8_t>(SampleValue(item));
        }
    }
    bytes.resize(length);
    return bytes;
}

// The record a file of each version fills, from a record whose every field is 99.
ExportOptions AllNinetyNine() {
    ExportOptions options;
    for (const Item& item : kLayout) options.*item.field = 99;
    options.customNormals = 99;
    options.aniKeyframeOnly = 99;
    options.saveSettingsInScene = 99;
    return options;
}

class LegacyVersion : public ::testing::TestWithParam<int> {};

TEST_P(LegacyVersion, ReadsExactlyTheItemsOfItsVersion) {
    const int version = GetParam();
    ExportOptions options = AllNinetyNine();
    AddSegment(options.segments, "kept", 0, 160);
    ASSERT_TRUE(ReadLegacySettings(options, LegacyFile(version, 68)));
    for (const Item& item : kLayout) {
        const std::int32_t expected = item.firstVersion <= version ? SampleValue(item) : 99;
        EXPECT_EQ(options.*item.field, expected) << "offset " << item.offset;
    }
    // The old file has none of these.
    EXPECT_EQ(options.customNormals, 99);
    EXPECT_EQ(options.aniKeyframeOnly, 99);
    EXPECT_EQ(options.saveSettingsInScene, 99);
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].name, "kept");
}

INSTANTIATE_TEST_SUITE_P(EachVersion, LegacyVersion, ::testing::Range(1, 10));

TEST(LegacySettings, VersionNineFileIsSixtyEightBytes) {
    ExportOptions options;
    ASSERT_TRUE(ReadLegacySettings(options, LegacyFile(9, 68)));
    EXPECT_EQ(options.whiteTex, 2);  // the byte at offset 67, the last one
}

TEST(LegacySettings, VersionAboveNineIsRefusedWithNothingChanged) {
    ExportOptions options;
    EXPECT_FALSE(ReadLegacySettings(options, LegacyFile(10, 68)));
    EXPECT_FALSE(ReadLegacySettings(options, LegacyFile(0x7fffffff, 68)));
    EXPECT_EQ(options, ExportOptions{});
}

TEST(LegacySettings, VersionOneEndingAfterTheBaseLayout) {
    ExportOptions options = AllNinetyNine();
    ASSERT_TRUE(ReadLegacySettings(options, LegacyFile(1, 32)));
    EXPECT_EQ(options.localObjectSpace, 2);  // offset 31, the last base item
    EXPECT_EQ(options.frameSetting, 99);
    EXPECT_EQ(options.xFileType, 99);
    EXPECT_EQ(options.whiteTex, 99);
}

TEST(LegacySettings, ReadPastTheEndGivesMinusOne) {
    ExportOptions options = AllNinetyNine();
    ASSERT_TRUE(ReadLegacySettings(options, LegacyFile(9, 25)));  // cut inside keyFrameStep
    EXPECT_EQ(options.legacyCount, -70000);                       // offsets 19..22 are all there
    EXPECT_EQ(options.vertexColors, -1);
    EXPECT_EQ(options.legacyByte, -1);
    EXPECT_EQ(options.whiteTex, -1);
    EXPECT_EQ(options.overwriteTex, -1);
    EXPECT_EQ(options.aniOpenClosed, -1);
}

TEST(LegacySettings, RangedValuesOutsideTheirRangeTakeTheDefault) {
    // These values choose table entries and divide times later on, so a broken file must
    // not put -1 or 255 into them.
    ExportOptions options = AllNinetyNine();
    ASSERT_TRUE(ReadLegacySettings(options, LegacyFile(9, 25)));
    EXPECT_EQ(options.keyFrameStep, 30);
    EXPECT_EQ(options.frameSetting, 2);
    EXPECT_EQ(options.xFileType, 0);
    EXPECT_EQ(options.textureFormat, 0);
    EXPECT_EQ(options.optMesh, 1);

    std::vector<std::uint8_t> bytes = LegacyFile(9, 68);
    PutWord(bytes, 23, 0);  // a sampling rate of 0
    bytes[32] = 255;        // frame setting
    PutWord(bytes, 41, 4);  // texture format past the table
    ExportOptions fromBytes;
    ASSERT_TRUE(ReadLegacySettings(fromBytes, bytes));
    EXPECT_EQ(fromBytes.keyFrameStep, 30);
    EXPECT_EQ(fromBytes.frameSetting, 2);
    EXPECT_EQ(fromBytes.textureFormat, 0);
}

TEST(LegacySettings, BytesAreUnsigned) {
    std::vector<std::uint8_t> bytes = LegacyFile(9, 68);
    bytes[28] = 0xff;
    ExportOptions options;
    ASSERT_TRUE(ReadLegacySettings(options, bytes));
    EXPECT_EQ(options.legacyByte, 255);
}

TEST(LegacySettings, EmptyFileReadsTheBaseItemsAsMinusOne) {
    ExportOptions options;
    ASSERT_TRUE(ReadLegacySettings(options, {}));
    EXPECT_EQ(options.exportMesh, -1);
    EXPECT_EQ(options.legacyCount, -1);
    EXPECT_EQ(options.keyFrameStep, 30);
    EXPECT_EQ(options.frameSetting, 2);  // version -1 has no frame setting
}

TEST(LegacySettings, NegativeVersionReadsTheBaseLayout) {
    ExportOptions options = AllNinetyNine();
    ASSERT_TRUE(ReadLegacySettings(options, LegacyFile(-3, 68)));
    EXPECT_EQ(options.localObjectSpace, 2);
    EXPECT_EQ(options.frameSetting, 99);
}

}  // namespace
