#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "platform/d3dx/XNumberText.h"

namespace {

using d3dx::XToken;
using d3dx::XTokenKind;

std::string FloatText(float value) {
    std::string text;
    d3dx::AppendFloatText(text, value);
    return text;
}

std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

TEST(FloatText, ShortestFixedDigitsAlwaysWithAPoint) {
    EXPECT_EQ(FloatText(1.0f), "1.0");
    EXPECT_EQ(FloatText(0.1f), "0.1");
    EXPECT_EQ(FloatText(-0.5f), "-0.5");
    EXPECT_EQ(FloatText(-0.0f), "-0.0");
    EXPECT_EQ(FloatText(0.0f), "0.0");
    EXPECT_EQ(FloatText(0.707107f), "0.707107");
    EXPECT_EQ(FloatText(1e-7f), "0.0000001");
    EXPECT_EQ(FloatText(1e10f), "10000000000.0");
    EXPECT_EQ(FloatText(16777217.0f), "16777216.0");
    // Never an exponent, even at the ends of the range.
    EXPECT_EQ(FloatText(std::numeric_limits<float>::max()).find_first_of("eE"), std::string::npos);
    EXPECT_EQ(FloatText(std::numeric_limits<float>::denorm_min()).find_first_of("eE"),
              std::string::npos);
}

TEST(FloatText, SpecialValuesHaveFixedSpellings) {
    EXPECT_EQ(FloatText(std::numeric_limits<float>::quiet_NaN()), "1.#QNAN0");
    EXPECT_EQ(FloatText(-std::numeric_limits<float>::quiet_NaN()), "-1.#QNAN0");
    EXPECT_EQ(FloatText(std::numeric_limits<float>::infinity()), "1.#INF00");
    EXPECT_EQ(FloatText(-std::numeric_limits<float>::infinity()), "-1.#INF00");
}

TEST(FloatText, EveryFiniteFloatReadsBackBitForBit) {
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
        std::uint32_t bits = random();
        float value;
        std::memcpy(&value, &bits, 4);
        if (!std::isfinite(value)) continue;
        std::string text = FloatText(value);
        XToken token;
        ASSERT_TRUE(d3dx::ParseNumberWord(text, token)) << text;
        ASSERT_EQ(Bits(token.floatValue), bits) << text;
    }
}

// The spelling of a float through the general search for its shortest digits.
std::string GeneralFloatText(float value) {
    char text[64];
    char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    std::string spelled(text, end);
    if (spelled.find('.') == std::string::npos) spelled += ".0";
    return spelled;
}

// Whole numbers below 2^24 are spelt from their digits alone; the digits must be those the
// general search finds, on both sides of that bound.
TEST(FloatText, WholeNumbersSpellTheDigitsOfTheShortestSearch) {
    EXPECT_EQ(FloatText(7.0f), "7.0");
    EXPECT_EQ(FloatText(-7.0f), "-7.0");
    EXPECT_EQ(FloatText(10.0f), "10.0");
    EXPECT_EQ(FloatText(16777215.0f), "16777215.0");
    EXPECT_EQ(FloatText(-16777215.0f), "-16777215.0");
    EXPECT_EQ(FloatText(-123456792.0f), "-123456792.0");
    EXPECT_EQ(FloatText(3000000000.0f), "3000000000.0");
    EXPECT_EQ(FloatText(std::nextafter(3.0f, 4.0f)), "3.0000002");
    EXPECT_EQ(FloatText(std::nextafter(1.0f, 0.0f)), "0.99999994");
    constexpr std::uint32_t kStep = 997;
    for (std::uint32_t whole = 0; whole <= (1u << 25); whole += kStep) {
        for (float value : {float(whole), -float(whole)}) {
            ASSERT_EQ(FloatText(value), GeneralFloatText(value)) << whole;
        }
    }
}

// A DWORD's digits are counted before they are written: every change of length is a place
// where a count one too few or one too many would show.
TEST(DwordText, SameDigitsAsToCharsAtEveryLength) {
    auto dwordText = [](std::uint32_t value) {
        char text[d3dx::kNumberTextBytes];
        return std::string(text, d3dx::WriteDwordText(value, text));
    };
    EXPECT_EQ(dwordText(0), "0");
    EXPECT_EQ(dwordText(4294967295u), "4294967295");
    EXPECT_EQ(dwordText(1000000000u), "1000000000");
    EXPECT_EQ(dwordText(999999999u), "999999999");
    std::uint64_t power = 1;
    for (int digits = 1; digits <= 10; ++digits, power *= 10) {
        for (std::uint64_t value : {power - 1, power, power + 1, power * 2 - 1}) {
            if (value > 4294967295u) continue;
            ASSERT_EQ(dwordText(std::uint32_t(value)), std::to_string(value));
        }
    }
    for (std::uint32_t value = 0; value < 100000; ++value) {
        ASSERT_EQ(dwordText(value), std::to_string(value));
    }
}

TEST(NumberWords, IntegersAreUnsignedDigitsOnly) {
    XToken token;
    ASSERT_TRUE(d3dx::ParseNumberWord("4294967295", token));
    EXPECT_EQ(token.kind, XTokenKind::Integer);
    EXPECT_EQ(token.integer, 4294967295u);
    ASSERT_TRUE(d3dx::ParseNumberWord("99999999999999999999999", token));
    EXPECT_EQ(token.kind, XTokenKind::Integer);
    EXPECT_GT(token.integer, 0xFFFFFFFFu);  // kept out of range, so a DWORD member refuses it
    ASSERT_TRUE(d3dx::ParseNumberWord("-5", token));
    EXPECT_EQ(token.kind, XTokenKind::FloatValue);
    EXPECT_EQ(token.doubleValue, -5.0);
}

TEST(NumberWords, FloatsWithSignExponentAndLegacySpellings) {
    XToken token;
    ASSERT_TRUE(d3dx::ParseNumberWord("+1.5e1", token));
    EXPECT_EQ(token.floatValue, 15.0f);
    ASSERT_TRUE(d3dx::ParseNumberWord(".25", token));
    EXPECT_EQ(token.floatValue, 0.25f);
    ASSERT_TRUE(d3dx::ParseNumberWord("1e40", token));
    EXPECT_TRUE(std::isinf(token.floatValue));
    EXPECT_FALSE(std::isinf(token.doubleValue));
    ASSERT_TRUE(d3dx::ParseNumberWord("-1e-400", token));
    EXPECT_EQ(token.doubleValue, 0.0);
    EXPECT_TRUE(std::signbit(token.doubleValue));
    ASSERT_TRUE(d3dx::ParseNumberWord("1e400", token));
    EXPECT_TRUE(std::isinf(token.doubleValue));
    for (const char* nan : {"1.#QNAN0", "-1.#QNAN0", "1.#IND00", "-1.#IND00"}) {
        ASSERT_TRUE(d3dx::ParseNumberWord(nan, token)) << nan;
        EXPECT_TRUE(std::isnan(token.floatValue)) << nan;
    }
    ASSERT_TRUE(d3dx::ParseNumberWord("-1.#INF00", token));
    EXPECT_EQ(token.floatValue, -std::numeric_limits<float>::infinity());
}

TEST(NumberWords, RejectsWhatIsNotANumber) {
    XToken token;
    for (const char* word :
         {"", "-", ".", "1.2.3", "1e", "1e+", "abc", "12ab", "1,0", "0x10", "--1"}) {
        EXPECT_FALSE(d3dx::ParseNumberWord(word, token)) << word;
    }
}

}  // namespace
