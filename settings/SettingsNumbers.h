// How numbers and flags look in the settings text. Numbers are formatted and parsed here
// and nowhere else, independent of the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Signed decimal: "-12", "0", "14000".
std::string FormatDecimal(std::int64_t value);

// A leading decimal number, as the settings have always been read: white space at the
// start is skipped, then an optional "+" or "-", then digits; reading stops at the first
// other character, and text without digits reads as 0. Nothing when the digits do not fit
// in 32 bits (such a value is outside every key's range anyway).
std::optional<std::int32_t> ParseLeadingDecimal(std::string_view text);

// "on" for any non-zero value, "off" for zero.
std::string_view FormatFlag(std::int32_t value);

// "0", "off", "false" give 0 and "1", "on", "true" give 1 (the words in any letter case,
// the digits exactly); anything else gives nothing.
std::optional<std::int32_t> ParseFlag(std::string_view text);
