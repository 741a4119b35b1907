#include "settings/SettingsNumbers.h"

#include <array>
#include <charconv>
#include <system_error>

namespace {

bool IsLeadingSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Letter case is ignored for ASCII letters only; the locale plays no part.
bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

}  // namespace

std::string FormatDecimal(std::int64_t value) {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::optional<std::int32_t> ParseLeadingDecimal(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsLeadingSpace(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::size_t digitsEnd = pos;
    while (digitsEnd < text.size() && IsDigit(text[digitsEnd])) ++digitsEnd;
    if (digitsEnd == pos) return 0;

    // The digits are read with the sign attached so that the most negative value fits.
    std::string signedDigits = negative ? "-" : "";
    signedDigits.append(text.substr(pos, digitsEnd - pos));
    std::int32_t value = 0;
    const auto result =
        std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
    if (result.ec != std::errc()) return std::nullopt;
    return value;
}

std::string_view FormatFlag(std::int32_t value) {
    return value != 0 ? "on" : "off";
}

std::optional<std::int32_t> ParseFlag(std::string_view text) {
    if (text == "0" || EqualsIgnoringCase(text, "off") || EqualsIgnoringCase(text, "false")) {
        return 0;
    }
    if (text == "1" || EqualsIgnoringCase(text, "on") || EqualsIgnoringCase(text, "true")) {
        return 1;
    }
    return std::nullopt;
}
