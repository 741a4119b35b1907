#include <gtest/gtest.h>

#include <clocale>

#include "settings/SettingsNumbers.h"

namespace {

using Number = std::optional<std::int32_t>;

TEST(SettingsNumbers, FormatsSignedDecimal) {
    EXPECT_EQ(FormatDecimal(0), "0");
    EXPECT_EQ(FormatDecimal(14000), "14000");
    EXPECT_EQ(FormatDecimal(-160), "-160");
    EXPECT_EQ(FormatDecimal(INT32_MIN), "-2147483648");
}

TEST(SettingsNumbers, FormattingIgnoresTheLocale) {
    // A locale with digit grouping must not put separators into the file.
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(FormatDecimal(1234567), "1234567");
    EXPECT_EQ(ParseLeadingDecimal("1234567"), Number(1234567));
    std::setlocale(LC_ALL, "C");
}

TEST(SettingsNumbers, LeadingWhiteSpaceIsSkipped) {
    EXPECT_EQ(ParseLeadingDecimal(" \t\r\n12"), Number(12));
}

TEST(SettingsNumbers, OptionalSign) {
    EXPECT_EQ(ParseLeadingDecimal("+7"), Number(7));
    EXPECT_EQ(ParseLeadingDecimal("-7"), Number(-7));
    EXPECT_EQ(ParseLeadingDecimal("--7"), Number(0));
    EXPECT_EQ(ParseLeadingDecimal("- 7"), Number(0));
}

TEST(SettingsNumbers, ReadingStopsAtTheFirstOtherCharacter) {
    EXPECT_EQ(ParseLeadingDecimal("30fps"), Number(30));
    EXPECT_EQ(ParseLeadingDecimal("1.9"), Number(1));
    EXPECT_EQ(ParseLeadingDecimal("12 34"), Number(12));
}

TEST(SettingsNumbers, TextWithoutDigitsReadsAsZero) {
    EXPECT_EQ(ParseLeadingDecimal(""), Number(0));
    EXPECT_EQ(ParseLeadingDecimal("abc"), Number(0));
    EXPECT_EQ(ParseLeadingDecimal("-"), Number(0));
}

TEST(SettingsNumbers, ThirtyTwoBitLimits) {
    EXPECT_EQ(ParseLeadingDecimal("2147483647"), Number(INT32_MAX));
    EXPECT_EQ(ParseLeadingDecimal("-2147483648"), Number(INT32_MIN));
    EXPECT_EQ(ParseLeadingDecimal("2147483648"), std::nullopt);
    EXPECT_EQ(ParseLeadingDecimal("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseLeadingDecimal("99999999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseLeadingDecimal("0000000000000000000042"), Number(42));
}

TEST(SettingsNumbers, FlagsAreOnOrOff) {
    EXPECT_EQ(FormatFlag(0), "off");
    EXPECT_EQ(FormatFlag(1), "on");
    EXPECT_EQ(FormatFlag(2), "on");
    EXPECT_EQ(FormatFlag(-1), "on");
}

TEST(SettingsNumbers, FlagWordsInAnyLetterCase) {
    for (const char* word : {"on", "ON", "On", "oN", "true", "TRUE", "True", "tRuE", "1"}) {
        EXPECT_EQ(ParseFlag(word), Number(1)) << word;
    }
    for (const char* word : {"off", "OFF", "Off", "false", "FALSE", "False", "0"}) {
        EXPECT_EQ(ParseFlag(word), Number(0)) << word;
    }
}

TEST(SettingsNumbers, AnythingElseIsNoFlag) {
    for (const char* word : {"yes", "no", "", " on", "on ", "01", "2", "-1", "+1", "onn", "of"}) {
        EXPECT_EQ(ParseFlag(word), std::nullopt) << word;
    }
}

}  // namespace
