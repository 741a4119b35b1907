// Numbers in the text form, written and read in this one place, independent of the locale.
//
// Floats are written in fixed notation with the shortest digit string that reads back as
// the same value, always with a '.', never with an exponent: 1.0, -0.5, 0.1, 1000000.0.
// NaN and infinity have no portable spelling in .X text; they are written as the legacy
// Microsoft C runtime spells them, which some readers know: "1.#QNAN0" / "-1.#QNAN0" and
// "1.#INF00" / "-1.#INF00". The reader accepts those and "1.#IND00" / "-1.#IND00".
#pragma once

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/d3dx/XToken.h"

namespace d3dx {

// Room for any double in fixed notation.
constexpr std::size_t kNumberTextBytes = 400;
using XNumberBuffer = std::array<char, kNumberTextBytes>;

std::string_view FormatFloatText(float value, XNumberBuffer& buffer);
std::string_view FormatDoubleText(double value, XNumberBuffer& buffer);
std::string_view FormatUnsignedText(std::uint64_t value, XNumberBuffer& buffer);
std::string_view FormatSignedText(std::int64_t value, XNumberBuffer& buffer);
// The same spellings written straight to `out`, which has room for kNumberTextBytes;
// return the end of what they wrote. For writers that put millions of numbers into a
// buffer of their own.
char* WriteFloatText(float value, char* out);
char* WriteDoubleText(double value, char* out);
char* WriteUnsignedText(std::uint64_t value, char* out);
char* WriteSignedText(std::int64_t value, char* out);
namespace detail {

// "00" to "99" back to back: two digits per division halve the divisions.
inline constexpr auto kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

inline constexpr std::uint32_t kPowersOfTen[] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000,
};

// Decimal digits of `value`, from its highest set bit: 1233/4096 is just above log10(2), so
// the estimate is the digit count or one more, and one comparison settles which.
inline unsigned DecimalDigits(std::uint32_t value) {
    constexpr unsigned kLog10Of2Times4096 = 1233;
    unsigned bits = 32 - static_cast<unsigned>(std::countl_zero(value | 1));
    unsigned estimate = (bits * kLog10Of2Times4096) >> 12;
    // `value | 1` counts zero as one digit and changes no other count: every power of ten
    // but 1 is even.
    return estimate + ((value | 1) >= kPowersOfTen[estimate] ? 1 : 0);
}

}  // namespace detail

// WriteUnsignedText for a 32-bit value, inline: a mesh's faces hold millions of them. The
// digits are counted first and written from the last, two at a time, without the call and
// the generic length loop of std::to_chars; the characters are the same.
inline char* WriteDwordText(std::uint32_t value, char* out) {
    char* end = out + detail::DecimalDigits(value);
    char* at = end;
    while (value >= 100) {
        std::uint32_t rest = value / 100;
        at -= 2;
        std::memcpy(at, &detail::kDigitPairs[2 * (value - rest * 100)], 2);
        value = rest;
    }
    // The one or two digits left are the first: written at `out`, where `at` has come to.
    if (value >= 10) {
        std::memcpy(out, &detail::kDigitPairs[2 * value], 2);
    } else {
        out[0] = static_cast<char>('0' + value);
    }
    return end;
}
void AppendFloatText(std::string& out, float value);
void AppendDoubleText(std::string& out, double value);
void AppendUnsignedText(std::string& out, std::uint64_t value);
void AppendSignedText(std::string& out, std::int64_t value);

// The nearest float; beyond the float range, an infinity of the same sign.
float NarrowToFloat(double value);

// Reads one whole word as a number into `token`: unsigned decimal digits give an Integer
// token; a sign, a fraction or an exponent give a FloatValue token. False when the word
// is not a number (then `token` is untouched).
bool ParseNumberWord(std::string_view word, XToken& token);

}  // namespace d3dx
