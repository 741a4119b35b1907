#include "platform/d3dx/XNumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace d3dx {
namespace {

struct SpecialSpelling {
    std::string_view text;
    double value;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr SpecialSpelling kSpecials[] = {
    {"1.#QNAN0", kNaN},   {"-1.#QNAN0", -kNaN}, {"1.#IND00", kNaN},
    {"-1.#IND00", -kNaN}, {"1.#INF00", kInf},   {"-1.#INF00", -kInf},
};

std::string_view SpecialSpellingOf(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-1.#QNAN0" : "1.#QNAN0";
    if (std::isinf(value)) return value < 0 ? "-1.#INF00" : "1.#INF00";
    return {};
}

template <typename T>
char* WriteFixed(T value, char* out) {
    std::string_view special = SpecialSpellingOf(static_cast<double>(value));
    if (!special.empty()) return std::copy(special.begin(), special.end(), out);
    // Leave room for the ".0" that a whole number gets.
    char* end = std::to_chars(out, out + kNumberTextBytes - 2, value, std::chars_format::fixed).ptr;
    // A plain loop: the text is a few characters long, too short to be worth a call.
    for (const char* at = out; at != end; ++at) {
        if (*at == '.') return end;
    }
    *end++ = '.';
    *end++ = '0';
    return end;
}

// A whole number needs no digits after the point, so fixed notation spells its exact digits;
// below 2^24 they fit a DWORD and are written without the general search for the shortest
// digits. Zeros and small whole numbers fill normals, texture coordinates and matrices.
constexpr float kWholeFloatsExactBelow = 16777216.0f;

char* WriteFloatFixed(float value, char* out) {
    float magnitude = std::fabs(value);
    if (magnitude < kWholeFloatsExactBelow) {
        auto whole = static_cast<std::uint32_t>(magnitude);
        if (static_cast<float>(whole) == magnitude) {
            if (std::signbit(value)) *out++ = '-';
            out = WriteDwordText(whole, out);
            *out++ = '.';
            *out++ = '0';
            return out;
        }
    }
    return WriteFixed(value, out);
}

template <typename T>
std::string_view FormatFixed(T value, XNumberBuffer& buffer) {
    char* end = WriteFixed(value, buffer.data());
    return {buffer.data(), static_cast<std::size_t>(end - buffer.data())};
}

bool IsAllDigits(std::string_view word) {
    if (word.empty()) return false;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Decimal number with optional sign, fraction and exponent; nothing after it.
bool LooksLikeDecimal(std::string_view word) {
    std::size_t i = 0;
    if (i < word.size() && (word[i] == '-' || word[i] == '+')) ++i;
    std::size_t digits = 0;
    while (i < word.size() && word[i] >= '0' && word[i] <= '9') ++i, ++digits;
    if (i < word.size() && word[i] == '.') {
        ++i;
        while (i < word.size() && word[i] >= '0' && word[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
        ++i;
        if (i < word.size() && (word[i] == '-' || word[i] == '+')) ++i;
        std::size_t exponentDigits = 0;
        while (i < word.size() && word[i] >= '0' && word[i] <= '9') ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == word.size();
}

// A decimal beyond double range: overflow gives an infinity, underflow a zero, both with
// the number's sign.
double OutOfRangeValue(std::string_view digits) {
    bool negative = digits.front() == '-';
    auto exponent = digits.find_first_of("eE");
    bool underflow;
    if (exponent != std::string_view::npos) {
        underflow = digits[exponent + 1] == '-';
    } else {
        std::string_view whole = digits.substr(negative ? 1 : 0);
        whole = whole.substr(0, whole.find('.'));
        underflow = whole.find_first_not_of('0') == std::string_view::npos;
    }
    double magnitude = underflow ? 0.0 : kInf;
    return negative ? -magnitude : magnitude;
}

void SetFloat(XToken& token, double value, float narrow) {
    token.kind = XTokenKind::FloatValue;
    token.doubleValue = value;
    token.floatValue = narrow;
}

void SetRealOfInteger(XToken& token, std::string_view digits) {
    const char* end = digits.data() + digits.size();
    auto wide = std::from_chars(digits.data(), end, token.doubleValue);
    auto narrow = std::from_chars(digits.data(), end, token.floatValue);
    if (wide.ec == std::errc::result_out_of_range) token.doubleValue = OutOfRangeValue(digits);
    if (narrow.ec == std::errc::result_out_of_range)
        token.floatValue = NarrowToFloat(token.doubleValue);
    token.integerHasReal = true;
}

}  // namespace

float NarrowToFloat(double value) {
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) {
        return std::signbit(value) ? -std::numeric_limits<float>::infinity()
                                   : std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

std::string_view FormatFloatText(float value, XNumberBuffer& buffer) {
    char* end = WriteFloatFixed(value, buffer.data());
    return {buffer.data(), static_cast<std::size_t>(end - buffer.data())};
}

std::string_view FormatDoubleText(double value, XNumberBuffer& buffer) {
    return FormatFixed(value, buffer);
}

char* WriteFloatText(float value, char* out) {
    return WriteFloatFixed(value, out);
}

char* WriteDoubleText(double value, char* out) {
    return WriteFixed(value, out);
}

char* WriteUnsignedText(std::uint64_t value, char* out) {
    return std::to_chars(out, out + kNumberTextBytes, value).ptr;
}

char* WriteSignedText(std::int64_t value, char* out) {
    return std::to_chars(out, out + kNumberTextBytes, value).ptr;
}

void AppendFloatText(std::string& out, float value) {
    XNumberBuffer buffer;
    out += FormatFloatText(value, buffer);
}

void AppendDoubleText(std::string& out, double value) {
    XNumberBuffer buffer;
    out += FormatDoubleText(value, buffer);
}

std::string_view FormatUnsignedText(std::uint64_t value, XNumberBuffer& buffer) {
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data())};
}

std::string_view FormatSignedText(std::int64_t value, XNumberBuffer& buffer) {
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data())};
}

void AppendUnsignedText(std::string& out, std::uint64_t value) {
    XNumberBuffer buffer;
    out += FormatUnsignedText(value, buffer);
}

void AppendSignedText(std::string& out, std::int64_t value) {
    XNumberBuffer buffer;
    out += FormatSignedText(value, buffer);
}

bool ParseNumberWord(std::string_view word, XToken& token) {
    if (IsAllDigits(word)) {
        std::uint64_t value = 0;
        auto result = std::from_chars(word.data(), word.data() + word.size(), value);
        // Too many digits for 64 bits: keep it as an out-of-range integer, but a float member
        // still gets the number the digits spell.
        token.kind = XTokenKind::Integer;
        token.integer =
            result.ec == std::errc() ? value : std::numeric_limits<std::uint64_t>::max();
        SetRealOfInteger(token, word);
        return true;
    }
    for (const auto& special : kSpecials) {
        if (word == special.text) {
            SetFloat(token, special.value, static_cast<float>(special.value));
            return true;
        }
    }
    if (!LooksLikeDecimal(word)) return false;
    // from_chars takes no leading '+'.
    std::string_view digits = word.front() == '+' ? word.substr(1) : word;
    const char* end = digits.data() + digits.size();
    double wide = 0;
    float narrow = 0;
    auto wideResult = std::from_chars(digits.data(), end, wide);
    auto narrowResult = std::from_chars(digits.data(), end, narrow);
    if (wideResult.ec == std::errc::result_out_of_range) wide = OutOfRangeValue(digits);
    if (narrowResult.ec == std::errc::result_out_of_range) narrow = NarrowToFloat(wide);
    SetFloat(token, wide, narrow);
    return true;
}

}  // namespace d3dx
