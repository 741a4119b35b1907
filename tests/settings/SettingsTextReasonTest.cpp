// Why a settings text is not read: the outcome, the line and column where the parser
// stopped, and the reason in words, for the warning that names the settings file.
#include <gtest/gtest.h>

#include <string>

#include "plugin/ExportOptions.h"
#include "settings/Settings.h"

namespace {

const SceneTiming kTiming{4800, 0, 16000};

SettingsTextResult Read(std::string_view text) {
    ExportOptions options;
    SettingsTextResult result = ReadSettingsTextWithReason(options, text, kTiming);
    // Only a text that was read may change the options.
    if (result.outcome != SettingsTextOutcome::Read) {
        EXPECT_EQ(options, ExportOptions{}) << text;
    }
    return result;
}

void ExpectRefused(std::string_view text, TextPosition position, std::string_view reason) {
    const SettingsTextResult result = Read(text);
    EXPECT_EQ(result.outcome, SettingsTextOutcome::Refused) << text;
    ASSERT_TRUE(result.position.has_value()) << text;
    EXPECT_EQ(result.position->line, position.line) << text;
    EXPECT_EQ(result.position->column, position.column) << text;
    EXPECT_EQ(result.reason, reason) << text;
}

void ExpectNoSettings(std::string_view text, std::string_view reason) {
    const SettingsTextResult result = Read(text);
    EXPECT_EQ(result.outcome, SettingsTextOutcome::NoSettings) << text;
    EXPECT_FALSE(result.position.has_value()) << text;
    EXPECT_EQ(result.reason, reason) << text;
}

// ---- positions ----

TEST(PositionInText, CountsLinesAtLineFeedsAndColumnsFromOne) {
    const std::string_view text = "ab\r\ncd\nef";
    EXPECT_EQ(PositionInText(text, 0), (TextPosition{1, 1}));
    EXPECT_EQ(PositionInText(text, 1), (TextPosition{1, 2}));
    EXPECT_EQ(PositionInText(text, 2), (TextPosition{1, 3}));  // the CR ends line 1
    EXPECT_EQ(PositionInText(text, 3), (TextPosition{1, 4}));  // so does its LF
    EXPECT_EQ(PositionInText(text, 4), (TextPosition{2, 1}));
    EXPECT_EQ(PositionInText(text, 8), (TextPosition{3, 2}));
}

TEST(PositionInText, CountsAUtf8SequenceAsOneColumn) {
    const std::string_view text =
        "\xC3\xA9\xE2\x82\xAC"
        "x";  // e-acute, euro sign, x
    EXPECT_EQ(PositionInText(text, 2), (TextPosition{1, 2}));
    EXPECT_EQ(PositionInText(text, 5), (TextPosition{1, 3}));
}

TEST(PositionInText, AnOffsetPastTheEndIsTheEnd) {
    EXPECT_EQ(PositionInText("a\nbc", 99), (TextPosition{2, 3}));
    EXPECT_EQ(PositionInText("", 5), (TextPosition{1, 1}));
}

// ---- each parse error, where it stops and why ----

TEST(SettingsTextReason, MismatchedEndTagPointsJustAfterIt) {
    const std::string text =
        "<?xml version=\"1.0\" ?>\r\n<velmark-dx-export>\r\n\t<default>\r\n\t</defualt>\r\n"
        "</velmark-dx-export>";
    ExpectRefused(text, {4, 12}, "the end tag </defualt> does not close <default>");
}

TEST(SettingsTextReason, ColumnsCountCharactersNotBytes) {
    // Line 2 holds two two-byte characters before the end tag.
    ExpectRefused("<a>\r\n  <\xC3\xA9>\xC3\xBC</b>", {2, 11},
                  "the end tag </b> does not close <\xC3\xA9>");
}

TEST(SettingsTextReason, SlashNotEndingAStartTag) {
    ExpectRefused("<a / >", {1, 4}, "the \"/\" in the start tag of <a> is not followed by \">\"");
}

TEST(SettingsTextReason, EndTagThatNeverCloses) {
    ExpectRefused("<outer>\n</outer", {2, 3}, "the end tag that should close <outer> has no \">\"");
}

TEST(SettingsTextReason, AttributeNameWithoutValueOrSpace) {
    ExpectRefused("<a x>", {1, 4},
                  "an attribute name in <a> is followed by neither \"=\" nor a space");
}

TEST(SettingsTextReason, NestingTooDeep) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "<a>";
    // The element that goes past the limit is the 257th; each start tag is three bytes.
    ExpectRefused(text, {1, 3 * 256 + 1}, "elements are nested more than 256 deep");
}

// ---- names from the text stay on one short line ----

TEST(SettingsTextReason, ControlCharactersInANameAreShownAsQuestionMarks) {
    ExpectRefused("<a\nb></x>", {2, 7}, "the end tag </x> does not close <a?b>");
}

TEST(SettingsTextReason, LongNamesAreCutAtACharacterBoundary) {
    std::string name = "a";
    for (int i = 0; i < 30; ++i) name += "\xC3\xA9";  // 61 bytes
    const SettingsTextResult result = Read("<" + name + "></x>");
    ASSERT_EQ(result.outcome, SettingsTextOutcome::Refused);
    std::string shown = "a";
    for (int i = 0; i < 19; ++i) shown += "\xC3\xA9";  // 39 bytes: the 20th would split
    EXPECT_EQ(result.reason, "the end tag </x> does not close <" + shown + "...>");
}

// ---- texts that parse but hold no settings ----

TEST(SettingsTextReason, NoElementAtAll) {
    ExpectNoSettings("", "it holds no <velmark-dx-export> element");
    ExpectNoSettings("just words", "it holds no <velmark-dx-export> element");
}

TEST(SettingsTextReason, ForeignRootElement) {
    ExpectNoSettings("<?xml version=\"1.0\" ?>\r\n<other a=\"1\"/>",
                     "its root element is <other>, not <velmark-dx-export>");
}

TEST(SettingsTextReason, RootWithoutTheProfile) {
    ExpectNoSettings("<velmark-dx-export><profile/></velmark-dx-export>",
                     "<velmark-dx-export> holds no <default> profile");
}

// ---- texts that are read ----

TEST(SettingsTextReason, ReadTextHasNoReason) {
    ExportOptions options;
    const SettingsTextResult result = ReadSettingsTextWithReason(
        options,
        "<velmark-dx-export><default><x-file-settings x-file-type=\"2\"/></default>"
        "</velmark-dx-export>",
        kTiming);
    EXPECT_EQ(result.outcome, SettingsTextOutcome::Read);
    EXPECT_FALSE(result.position.has_value());
    EXPECT_TRUE(result.reason.empty());
    EXPECT_EQ(options.xFileType, 2);
}

TEST(SettingsTextReason, ValuesOutOfRangeAreReadWithoutAReason) {
    ExportOptions options;
    const SettingsTextResult result = ReadSettingsTextWithReason(
        options,
        "<velmark-dx-export><default><x-file-settings x-file-type=\"7\"/></default>"
        "</velmark-dx-export>",
        kTiming);
    EXPECT_EQ(result.outcome, SettingsTextOutcome::Read);
    EXPECT_TRUE(result.reason.empty());
    EXPECT_EQ(options.xFileType, 0);
}

TEST(SettingsTextReason, TheYesOrNoFollowsTheOutcome) {
    ExportOptions options;
    EXPECT_FALSE(ReadSettingsText(options, "<a></b>", kTiming));
    EXPECT_TRUE(ReadSettingsText(options, "<other/>", kTiming));
    EXPECT_TRUE(ReadSettingsText(options, "", kTiming));
}

}  // namespace
