#include <cstdint>
#include <string_view>

#include "host/import/ImportStages.h"
#include "platform/max/StringConversions.h"

namespace tarvo::assimpimport {

namespace {

// The length of the UTF-8 sequence starting at `at`, or 0 when it is not a valid one
// (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

// Latin-1 bytes are the first 256 code points, which the host's own encoder writes as UTF-8.
std::string Latin1ToUtf8(std::string_view text) {
    std::wstring codePoints;
    codePoints.reserve(text.size());
    for (const char c : text) codePoints.push_back(static_cast<unsigned char>(c));
    return host::NarrowUtf8(codePoints);
}

}  // namespace

std::string TextOf(const aiString& text) {
    const std::string_view bytes(text.C_Str(), text.length);
    return IsUtf8(bytes) ? std::string(bytes) : Latin1ToUtf8(bytes);
}

}  // namespace tarvo::assimpimport
