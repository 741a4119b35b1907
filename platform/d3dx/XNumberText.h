// Numbers in the text form, written and read in this one place, independent of the locale.
//
// Floats are written in fixed notation with the shortest digit string that reads back as
// the same value, always with a '.', never with an exponent: 1.0, -0.5, 0.1, 1000000.0.
// NaN and infinity have no portable spelling in .X text; they are written as the legacy
// Microsoft C runtime spells them, which some readers know: "1.#QNAN0" / "-1.#QNAN0" and
// "1.#INF00" / "-1.#INF00". The reader accepts those and "1.#IND00" / "-1.#IND00".
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
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
// WriteUnsignedText for a 32-bit value, inline: a mesh's faces hold millions of them, and
// the digits of a 32-bit value are found with 32-bit arithmetic.
inline char* WriteDwordText(std::uint32_t value, char* out) {
    return std::to_chars(out, out + kNumberTextBytes, value).ptr;
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
