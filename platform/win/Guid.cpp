#include "platform/win/Guid.h"

#include <cstdio>

namespace {

constexpr std::size_t kGuidTextLength = 36;

std::optional<unsigned> HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return std::nullopt;
}

// Reads `digits` hex digits at `pos`; no value when one is not a hex digit.
std::optional<DWORD> ReadHex(std::string_view text, std::size_t pos, std::size_t digits) {
    DWORD value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        auto digit = HexDigit(text[pos + i]);
        if (!digit) return std::nullopt;
        value = (value << 4) | *digit;
    }
    return value;
}

std::string_view StripBrackets(std::string_view text) {
    if (text.size() == kGuidTextLength + 2 && ((text.front() == '{' && text.back() == '}') ||
                                               (text.front() == '<' && text.back() == '>'))) {
        return text.substr(1, kGuidTextLength);
    }
    return text;
}

}  // namespace

std::optional<GUID> ParseGuid(std::string_view text) {
    text = StripBrackets(text);
    if (text.size() != kGuidTextLength) return std::nullopt;
    for (std::size_t dash : {8u, 13u, 18u, 23u}) {
        if (text[dash] != '-') return std::nullopt;
    }
    GUID guid;
    auto d1 = ReadHex(text, 0, 8);
    auto d2 = ReadHex(text, 9, 4);
    auto d3 = ReadHex(text, 14, 4);
    if (!d1 || !d2 || !d3) return std::nullopt;
    guid.Data1 = *d1;
    guid.Data2 = static_cast<WORD>(*d2);
    guid.Data3 = static_cast<WORD>(*d3);
    constexpr std::size_t kData4Offsets[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t i = 0; i < 8; ++i) {
        auto byte = ReadHex(text, kData4Offsets[i], 2);
        if (!byte) return std::nullopt;
        guid.Data4[i] = static_cast<BYTE>(*byte);
    }
    return guid;
}

std::string FormatGuid(const GUID& guid) {
    char text[kGuidTextLength + 1];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid.Data1,
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::array<BYTE, 16> GuidToBytes(const GUID& guid) {
    std::array<BYTE, 16> bytes{};
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(guid.Data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) bytes[4 + i] = static_cast<BYTE>(guid.Data2 >> (8 * i));
    for (int i = 0; i < 2; ++i) bytes[6 + i] = static_cast<BYTE>(guid.Data3 >> (8 * i));
    for (int i = 0; i < 8; ++i) bytes[8 + i] = guid.Data4[i];
    return bytes;
}

GUID GuidFromBytes(const BYTE* bytes) {
    GUID guid;
    for (int i = 0; i < 4; ++i) guid.Data1 |= static_cast<DWORD>(bytes[i]) << (8 * i);
    guid.Data2 = static_cast<WORD>(bytes[4] | (bytes[5] << 8));
    guid.Data3 = static_cast<WORD>(bytes[6] | (bytes[7] << 8));
    for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
    return guid;
}
