#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

#include "plugin/ExportOptions.h"
#include "plugin/SampleStep.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "tests/support/TestFiles.h"

namespace {

constexpr std::int32_t kRelease = 14000;
const SceneTiming kTiming{4800, 0, 16000};  // 160 ticks per sample at 30 samples per second

// TARVO_UPDATE_GOLDENS=1 rewrites the golden instead of comparing; read the diff.
void ExpectMatchesGolden(const std::string& actual, const std::string& name) {
    const std::string path = std::string(TARVO_TEST_DATA_DIR) + "/settings/" + name;
    if (tarvo::testsupport::UpdateGoldens()) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    const std::string expected = tarvo::testsupport::ReadText(path);
    ASSERT_FALSE(expected.empty()) << "missing golden " << path;
    EXPECT_EQ(actual, expected);
}

ExportOptions WithOneSegment(std::string name, std::int32_t start, std::int32_t end) {
    ExportOptions options;
    AddSegment(options.segments, name, start, end);
    return options;
}

std::string Document(std::string_view groups) {
    return "<velmark-dx-export file-version=\"1.01\"><default>" + std::string(groups) +
           "</default></velmark-dx-export>";
}

// ---- the file written for the defaults ----

TEST(SettingsText, DefaultsWithOneSegmentMatchTheGoldenFile) {
    const ExportOptions options = WithOneSegment("Anim-1", 0, 100 * 160);
    const std::string file =
        std::string(kSettingsDeclaration) + BuildSettingsText(options, kTiming, kRelease);
    ExpectMatchesGolden(file, "defaults.xml");
}

TEST(SettingsText, TextBeginsWithALineBreakAndEndsWithoutOne) {
    const std::string text = BuildSettingsText(ExportOptions{}, kTiming, kRelease);
    EXPECT_EQ(text.substr(0, 2), "\r\n");
    EXPECT_EQ(text.substr(text.size() - 20), "</velmark-dx-export>");
}

TEST(SettingsText, EmptySegmentListIsWrittenAsAnEmptyElement) {
    const std::string text = BuildSettingsText(ExportOptions{}, kTiming, kRelease);
    EXPECT_NE(text.find("\r\n\t\t\t<segments/>\r\n\t\t</animation-settings>"), std::string::npos);
}

TEST(SettingsText, SegmentTimesAreWrittenInWholeSamplesTowardZero) {
    ExportOptions options;
    AddSegment(options.segments, "a", 319, -319);
    const std::string text = BuildSettingsText(options, kTiming, kRelease);
    EXPECT_NE(text.find("<segment name=\"a\" start=\"1\" end=\"-1\" />"), std::string::npos);
}

TEST(SettingsText, LegacyValuesAreNeverWritten) {
    ExportOptions options;
    options.legacyCount = 987654;
    options.animCameraLight = 1;
    const std::string text = BuildSettingsText(options, kTiming, kRelease);
    EXPECT_EQ(text.find("987654"), std::string::npos);
    EXPECT_EQ(text, BuildSettingsText(ExportOptions{}, kTiming, kRelease));
}

// ---- reading: what counts as settings ----

TEST(SettingsText, ParseErrorIsRefusedAndChangesNothing) {
    ExportOptions options;
    EXPECT_FALSE(ReadSettingsText(options, "<velmark-dx-export><default></x>", kTiming));
    EXPECT_EQ(options, ExportOptions{});
}

TEST(SettingsText, ForeignRootIsAcceptedWithNothingChanged) {
    ExportOptions options;
    EXPECT_TRUE(ReadSettingsText(
        options, "<other><default><x-file-settings x-file-type='2'/></default></other>", kTiming));
    EXPECT_EQ(options, ExportOptions{});
}

TEST(SettingsText, RootNameIsCaseSensitive) {
    ExportOptions options;
    EXPECT_TRUE(ReadSettingsText(
        options, "<VELMARK-DX-EXPORT><default><x-file-settings x-file-type='2'/></default>",
        kTiming));
    EXPECT_EQ(options.xFileType, 0);
}

TEST(SettingsText, MissingProfileIsAcceptedWithNothingChanged) {
    ExportOptions options;
    EXPECT_TRUE(ReadSettingsText(
        options, "<velmark-dx-export><other><x-file-settings x-file-type='2'/></other>", kTiming));
    EXPECT_EQ(options, ExportOptions{});
}

TEST(SettingsText, TextWithoutAnyElementIsAccepted) {
    ExportOptions options;
    EXPECT_TRUE(ReadSettingsText(options, "", kTiming));
    EXPECT_EQ(options, ExportOptions{});
}

TEST(SettingsText, TreeOfAParseThatStoppedEarlyIsUsed) {
    // The text ends right after a value, inside the start tag: no error, the value counts.
    ExportOptions options;
    EXPECT_TRUE(ReadSettingsText(
        options, "<velmark-dx-export><default><x-file-settings x-file-type='2'", kTiming));
    EXPECT_EQ(options.xFileType, 2);
}

TEST(SettingsText, TextEndingAfterASpaceInAStartTagIsRefused) {
    // The space promises another attribute name that never ends.
    ExportOptions options;
    EXPECT_FALSE(ReadSettingsText(
        options, "<velmark-dx-export><default><x-file-settings x-file-type='2' ", kTiming));
    EXPECT_EQ(options.xFileType, 0);
}

TEST(SettingsText, MissingGroupKeepsItsFields) {
    ExportOptions options;
    options.exportMesh = 0;
    options.skinning = 1;
    EXPECT_TRUE(ReadSettingsText(options, Document("<max-objects geom='off'/>"), kTiming));
    EXPECT_EQ(options.exportGeom, 0);
    EXPECT_EQ(options.exportMesh, 0);
    EXPECT_EQ(options.skinning, 1);
}

TEST(SettingsText, PresentGroupWithMissingAttributesTakesTheReadDefaults) {
    ExportOptions options;
    EXPECT_TRUE(ReadSettingsText(
        options, Document("<x-file-settings/><mesh-settings/><max-objects/>"), kTiming));
    // These three read defaults differ from a new record's values.
    EXPECT_EQ(options.localObjectSpace, 1);
    EXPECT_EQ(options.skinning, 1);
    EXPECT_EQ(options.exportHelper, 0);
    EXPECT_EQ(options.frameSetting, 2);
    EXPECT_EQ(options.optMesh, 1);
}

TEST(SettingsText, EveryKeyTakesItsReadDefaultInAnEmptyGroup) {
    ExportOptions options;
    for (const SettingKey& key : SettingsTable()) options.*key.field = 12345;
    std::string groups;
    for (std::string_view group : SettingGroups()) groups += "<" + std::string(group) + "/>";
    ASSERT_TRUE(ReadSettingsText(options, Document(groups), kTiming));
    for (const SettingKey& key : SettingsTable()) {
        EXPECT_EQ(options.*key.field, key.readDefault) << key.attribute;
    }
    EXPECT_TRUE(options.segments.empty());
}

// ---- reading: flags and numbers ----

TEST(SettingsText, FlagsInAnyLetterCaseAndTrimmed) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(
        options,
        Document("<x-file-settings left-handed='Off'/><mesh-settings normals='FALSE' "
                 "mesh='TRUE' flip-normals=' 1 ' skinning='oFf'/>"),
        kTiming));
    EXPECT_EQ(options.leftHanded, 0);
    EXPECT_EQ(options.normals, 0);
    EXPECT_EQ(options.exportMesh, 1);
    EXPECT_EQ(options.flipNormals, 1);
    EXPECT_EQ(options.skinning, 0);

    ASSERT_TRUE(
        ReadSettingsText(options, Document("<x-file-settings left-handed='TRUE'/>"), kTiming));
    EXPECT_EQ(options.leftHanded, 1);
}

TEST(SettingsText, UnreadableFlagGivesTheKeysDefault) {
    ExportOptions options;
    options.leftHanded = 0;
    options.flipNormals = 1;
    ASSERT_TRUE(ReadSettingsText(
        options, Document("<x-file-settings left-handed='yes'/><mesh-settings flip-normals='2'/>"),
        kTiming));
    EXPECT_EQ(options.leftHanded, 1);
    EXPECT_EQ(options.flipNormals, 0);
}

TEST(SettingsText, FirstOccurrenceOfAnAttributeCounts) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(
        options, Document("<x-file-settings x-file-type='1' x-file-type='2'/>"), kTiming));
    EXPECT_EQ(options.xFileType, 1);
}

TEST(SettingsText, FirstGroupOfANameCounts) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(
        options, Document("<x-file-settings x-file-type='1'/><x-file-settings x-file-type='2'/>"),
        kTiming));
    EXPECT_EQ(options.xFileType, 1);
}

TEST(SettingsText, NumbersWithinTheirRange) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(options,
                                 Document("<x-file-settings x-file-type='2' frame-setting='0'/>"
                                          "<material-settings texture-format='3'/>"
                                          "<animation-settings key-frame-step='9999999'/>"),
                                 kTiming));
    EXPECT_EQ(options.xFileType, 2);
    EXPECT_EQ(options.frameSetting, 0);
    EXPECT_EQ(options.textureFormat, 3);
    EXPECT_EQ(options.keyFrameStep, 9999999);
}

TEST(SettingsText, OutOfRangeNumbersGiveTheKeysDefault) {
    for (const char* bad : {"0", "-5", "abc", "10000000", "99999999999"}) {
        ExportOptions options;
        options.keyFrameStep = 60;
        ASSERT_TRUE(ReadSettingsText(
            options, Document(std::string("<animation-settings key-frame-step='") + bad + "'/>"),
            kTiming));
        EXPECT_EQ(options.keyFrameStep, 30) << bad;
    }
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(
        options,
        Document("<x-file-settings x-file-type='3' frame-setting='-1'/>"
                 "<mesh-settings opt-mesh='7'/><material-settings texture-format='4'/>"),
        kTiming));
    EXPECT_EQ(options.xFileType, 0);
    EXPECT_EQ(options.frameSetting, 2);
    EXPECT_EQ(options.optMesh, 1);
    EXPECT_EQ(options.textureFormat, 0);
}

TEST(SettingsText, NumberWithTrailingTextReadsItsLeadingDigits) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(
        options, Document("<animation-settings key-frame-step='24 per second'/>"), kTiming));
    EXPECT_EQ(options.keyFrameStep, 24);
}

TEST(SettingsText, CopyTextureMapIsSavedAsOnAndLoadsAsConvert) {
    ExportOptions options;
    options.texMapConv = 2;
    const std::string text = BuildSettingsText(options, kTiming, kRelease);
    EXPECT_NE(text.find("tex-map-conv=\"on\""), std::string::npos);
    ExportOptions loaded;
    loaded.texMapConv = 0;
    ASSERT_TRUE(ReadSettingsText(loaded, text, kTiming));
    EXPECT_EQ(loaded.texMapConv, 1);
}

// ---- reading: segments ----

TEST(SettingsText, SegmentsAreAppendedInDocumentOrderInTicks) {
    ExportOptions options;
    AddSegment(options.segments, "kept", 1, 2);
    ASSERT_TRUE(ReadSettingsText(options,
                                 Document("<animation-settings><segments>"
                                          "<segment name='Walk' start='10' end='20'/>"
                                          "<segment name='Run' start='30' end='40'/>"
                                          "</segments></animation-settings>"),
                                 kTiming));
    ASSERT_EQ(options.segments.size(), 3u);
    EXPECT_EQ(options.segments[0].name, "kept");
    EXPECT_EQ(options.segments[1].name, "Walk");
    EXPECT_EQ(options.segments[1].start, 1600);
    EXPECT_EQ(options.segments[1].end, 3200);
    EXPECT_EQ(options.segments[2].name, "Run");
    EXPECT_EQ(options.segments[2].start, 4800);
    EXPECT_EQ(options.segments[2].end, 6400);
}

TEST(SettingsText, SegmentTimesOutsideTheSceneAreClamped) {
    // 0..16000 ticks at 160 ticks per sample: samples 0..100.
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(options,
                                 Document("<animation-settings><segments>"
                                          "<segment name='a' start='-1' end='101'/>"
                                          "<segment name='b'/>"
                                          "<segment name='c' start='100' end='0'/>"
                                          "<segment start='x' end='50'/>"
                                          "</segments></animation-settings>"),
                                 kTiming));
    ASSERT_EQ(options.segments.size(), 4u);
    EXPECT_EQ(options.segments[0].start, 0);
    EXPECT_EQ(options.segments[0].end, 16000);
    EXPECT_EQ(options.segments[1].start, 0);
    EXPECT_EQ(options.segments[1].end, 16000);
    EXPECT_EQ(options.segments[2].start, 16000);
    EXPECT_EQ(options.segments[2].end, 0);
    EXPECT_EQ(options.segments[3].name, "");
    EXPECT_EQ(options.segments[3].start, 0);  // text without digits reads as sample 0
    EXPECT_EQ(options.segments[3].end, 8000);
}

TEST(SettingsText, SegmentTimesUseTheSamplingRateJustRead) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(options,
                                 Document("<animation-settings key-frame-step='10'><segments>"
                                          "<segment name='a' start='5' end='30'/>"
                                          "</segments></animation-settings>"),
                                 kTiming));
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].start, 5 * 480);
    EXPECT_EQ(options.segments[0].end, 30 * 480);
}

TEST(SettingsText, AnyElementUnderSegmentsIsASegment) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(options,
                                 Document("<animation-settings><segments>"
                                          "<clip name='odd' start='1' end='2'/>"
                                          "</segments></animation-settings>"),
                                 kTiming));
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].name, "odd");
}

TEST(SettingsText, SegmentsOutsideTheAnimationGroupAreIgnored) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(
        options, Document("<segments><segment name='a'/></segments><animation-settings/>"),
        kTiming));
    EXPECT_TRUE(options.segments.empty());
}

TEST(SettingsText, SamplingRateAboveTheTickRateStillReadsSegments) {
    // 9999999 samples per second would be 0 ticks per sample; one tick is the least.
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(options,
                                 Document("<animation-settings key-frame-step='9999999'>"
                                          "<segments><segment name='a' start='7' end='9'/>"
                                          "</segments></animation-settings>"),
                                 kTiming));
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].start, 7);
    EXPECT_EQ(options.segments[0].end, 9);
    const std::string text = BuildSettingsText(options, kTiming, kRelease);
    EXPECT_NE(text.find("start=\"7\" end=\"9\""), std::string::npos);
}

TEST(SettingsText, SegmentNamesWithMarkupCharactersSurvive) {
    const std::string name = "a&b <c> 'd' \"e\" f\\g\\";
    const ExportOptions options = WithOneSegment(name, 0, 1600);
    ExportOptions loaded;
    ASSERT_TRUE(ReadSettingsText(loaded, BuildSettingsText(options, kTiming, kRelease), kTiming));
    ASSERT_EQ(loaded.segments.size(), 1u);
    EXPECT_EQ(loaded.segments[0].name, name);
}

TEST(SettingsText, SingleBackslashInAHandWrittenNameIsDropped) {
    ExportOptions options;
    ASSERT_TRUE(ReadSettingsText(options,
                                 Document("<animation-settings><segments>"
                                          "<segment name='Walk\\Run'/>"
                                          "</segments></animation-settings>"),
                                 kTiming));
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].name, "WalkRun");
}

// ---- round trip over random records ----

std::string RandomSegmentName(std::mt19937& random) {
    static const std::string alphabet = "Anim-1 _&<>\"'\\/=?!\tzZ";
    std::uniform_int_distribution<int> length(0, 10);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string name;
    for (int i = length(random); i > 0; --i) name += alphabet[pick(random)];
    // Reading trims values, so white space at either end is not something a file holds.
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.erase(0, 1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    return name;
}

ExportOptions RandomRecord(std::mt19937& random, const SceneTiming& timing) {
    ExportOptions options;
    for (const SettingKey& key : SettingsTable()) {
        std::uniform_int_distribution<std::int32_t> value(key.minimum, key.maximum);
        options.*key.field = value(random);
    }
    // Keep the sampling rate within the host's tick rate most of the time.
    options.keyFrameStep = std::uniform_int_distribution<std::int32_t>(1, 6000)(random);
    const std::int32_t step = SampleStep(timing.ticksPerSecond, options.keyFrameStep);
    std::uniform_int_distribution<std::int32_t> sample(timing.animStart / step,
                                                       timing.animEnd / step);
    for (int i = std::uniform_int_distribution<int>(0, 4)(random); i > 0; --i) {
        AddSegment(options.segments, RandomSegmentName(random), sample(random) * step,
                   sample(random) * step);
    }
    // Legacy values are not in the text; loading must leave them as they were.
    options.legacyCount = std::uniform_int_distribution<std::int32_t>(-9, 9)(random);
    options.legacyByte = 200;
    return options;
}

TEST(SettingsText, RandomRecordsLoadBackAsSaved) {
    std::mt19937 random(4);
    const SceneTiming timings[] = {{4800, 0, 16000}, {4800, -4800, 48000}, {160 * 25, 800, 8000}};
    for (int round = 0; round < 500; ++round) {
        const SceneTiming& timing = timings[round % 3];
        const ExportOptions saved = RandomRecord(random, timing);
        const std::string text = BuildSettingsText(saved, timing, kRelease);

        ExportOptions loaded;
        loaded.legacyCount = saved.legacyCount;
        loaded.legacyByte = saved.legacyByte;
        ASSERT_TRUE(ReadSettingsText(loaded, text, timing));
        ASSERT_EQ(loaded, saved) << text;
    }
}

TEST(SettingsText, LegacyValuesStayAsTheyWereThroughARoundTrip) {
    ExportOptions saved;
    saved.animCameraLight = 1;
    saved.legacyFlagA = 1;
    saved.legacyObjectB = 0;
    saved.legacyObjectC = 0;
    saved.legacyObjectD = 0;
    saved.legacyFlagE = 1;
    saved.legacyCount = -1;
    saved.legacyByte = 77;
    ExportOptions loaded = saved;
    ASSERT_TRUE(
        ReadSettingsText(loaded, BuildSettingsText(ExportOptions{}, kTiming, kRelease), kTiming));
    EXPECT_EQ(loaded.animCameraLight, 1);
    EXPECT_EQ(loaded.legacyFlagA, 1);
    EXPECT_EQ(loaded.legacyObjectB, 0);
    EXPECT_EQ(loaded.legacyObjectC, 0);
    EXPECT_EQ(loaded.legacyObjectD, 0);
    EXPECT_EQ(loaded.legacyFlagE, 1);
    EXPECT_EQ(loaded.legacyCount, -1);
    EXPECT_EQ(loaded.legacyByte, 77);
}

// ---- the record and the sample length ----

TEST(ExportOptions, NewRecordHoldsTheInitialValues) {
    const ExportOptions options;
    EXPECT_EQ(options.xFileType, 0);
    EXPECT_EQ(options.leftHanded, 1);
    EXPECT_EQ(options.localObjectSpace, 0);
    EXPECT_EQ(options.frameSetting, 2);
    EXPECT_EQ(options.exportMesh, 1);
    EXPECT_EQ(options.meshAnim, 0);
    EXPECT_EQ(options.normals, 1);
    EXPECT_EQ(options.flipNormals, 0);
    EXPECT_EQ(options.customNormals, 0);
    EXPECT_EQ(options.textureCoords, 1);
    EXPECT_EQ(options.vertexColors, 1);
    EXPECT_EQ(options.optMesh, 1);
    EXPECT_EQ(options.skinning, 0);
    EXPECT_EQ(options.exportGeom, 1);
    EXPECT_EQ(options.exportHelper, 1);
    EXPECT_EQ(options.exportDummy, 1);
    EXPECT_EQ(options.exportAnimation, 1);
    EXPECT_EQ(options.keyFrameStep, 30);
    EXPECT_EQ(options.aniComponents, 0);
    EXPECT_EQ(options.aniOptions, 0);
    EXPECT_EQ(options.aniOpenClosed, 0);
    EXPECT_EQ(options.aniPositionQuality, 0);
    EXPECT_EQ(options.timeLine, 0);
    EXPECT_EQ(options.aniKeyframeOnly, 0);
    EXPECT_TRUE(options.segments.empty());
    EXPECT_EQ(options.exportMaterials, 1);
    EXPECT_EQ(options.inlineMaterials, 0);
    EXPECT_EQ(options.textureFormat, 0);
    EXPECT_EQ(options.texMapConv, 1);
    EXPECT_EQ(options.texFullPath, 0);
    EXPECT_EQ(options.texScale, 0);
    EXPECT_EQ(options.overwriteTex, 0);
    EXPECT_EQ(options.whiteTex, 1);
    EXPECT_EQ(options.fxFiles, 1);
    EXPECT_EQ(options.getFxParams, 1);
    EXPECT_EQ(options.saveSettingsInScene, 0);
    EXPECT_EQ(options.animCameraLight, 0);
    EXPECT_EQ(options.legacyFlagA, 0);
    EXPECT_EQ(options.legacyObjectB, 1);
    EXPECT_EQ(options.legacyObjectC, 1);
    EXPECT_EQ(options.legacyObjectD, 1);
    EXPECT_EQ(options.legacyFlagE, 0);
    EXPECT_EQ(options.legacyCount, 5);
}

TEST(ExportOptions, ReadDefaultsDifferFromTheRecordInThreeKeysOnly) {
    const ExportOptions fresh;
    std::vector<std::string_view> different;
    for (const SettingKey& key : SettingsTable()) {
        if (fresh.*key.field != key.readDefault) different.push_back(key.attribute);
    }
    EXPECT_EQ(different,
              (std::vector<std::string_view>{"local-object-space", "skinning", "helper"}));
}

TEST(SampleStep, TicksPerSampleByWholeNumberDivision) {
    EXPECT_EQ(SampleStep(4800, 30), 160);
    EXPECT_EQ(SampleStep(4800, 7), 685);
    EXPECT_EQ(SampleStep(4800, 4800), 1);
}

TEST(SampleStep, NeverBelowOneTick) {
    EXPECT_EQ(SampleStep(4800, 4801), 1);
    EXPECT_EQ(SampleStep(4800, 9999999), 1);
    EXPECT_EQ(SampleStep(0, 30), 1);
}

TEST(SampleStep, RateBelowOneCountsAsOneSamplePerSecond) {
    EXPECT_EQ(SampleStep(4800, 0), 4800);
    EXPECT_EQ(SampleStep(4800, -1), 4800);
    EXPECT_EQ(SampleStep(4800, INT32_MIN), 4800);
}

}  // namespace
