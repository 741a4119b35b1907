#include "platform/d3dx/XSaveTree.h"

#include "platform/d3dx/MsZip.h"
#include "platform/d3dx/XLexer.h"
#include "platform/d3dx/XNumberText.h"

namespace d3dx {

bool IsWritableTextName(std::string_view name) {
    if (name.empty() || name.front() == '#' || name.find("//") != std::string_view::npos) {
        return false;
    }
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 127) return false;
        if (std::string_view("{}[](),;<>\"").find(c) != std::string_view::npos) return false;
    }
    XToken number;
    if (ParseNumberWord(name, number)) return false;
    return KeywordOf(name) != XTokenKind::Template;
}

XBytes CompressImage(const XBytes& image) {
    constexpr std::size_t kHeaderBytes = 16;
    XBytes out(image.begin(), image.begin() + kHeaderBytes);
    bool text = out[8] == 't';
    const char* form = text ? "tzip" : "bzip";
    std::copy(form, form + 4, out.begin() + 8);
    auto body = std::span<const std::uint8_t>(image).subspan(kHeaderBytes);
    XBytes container = MsZipCompress(body, static_cast<std::uint32_t>(image.size()));
    out.insert(out.end(), container.begin(), container.end());
    return out;
}

}  // namespace d3dx
