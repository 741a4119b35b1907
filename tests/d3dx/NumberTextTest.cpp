#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

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
