#include "platform/d3dx/XBinaryTokens.h"

#include <span>

#include "platform/d3dx/XLexer.h"

namespace d3dx {

void AppendWord(XBytes& out, std::uint16_t value) {
    const std::uint8_t little[2] = {static_cast<std::uint8_t>(value),
                                    static_cast<std::uint8_t>(value >> 8)};
    out.insert(out.end(), little, little + 2);
}

void AppendDword(XBytes& out, std::uint32_t value) {
    const std::uint8_t little[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    out.insert(out.end(), little, little + 4);
}

void AppendToken(XBytes& out, XTokenKind kind) {
    AppendWord(out, static_cast<std::uint16_t>(kind));
}

void AppendCountedToken(XBytes& out, XTokenKind kind, std::string_view text) {
    AppendToken(out, kind);
    AppendDword(out, static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

void AppendGuidToken(XBytes& out, const GUID& guid) {
    AppendToken(out, XTokenKind::Guid);
    auto bytes = GuidToBytes(guid);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void AppendIntegerToken(XBytes& out, std::uint32_t value) {
    AppendToken(out, XTokenKind::Integer);
    AppendDword(out, value);
}

XBytes TokeniseTemplateText(std::string_view text) {
    std::span<const std::uint8_t> image(reinterpret_cast<const std::uint8_t*>(text.data()),
                                        text.size());
    auto lexer = MakeTextLexer(image);
    constexpr std::string_view kHeader = "xof 0302bin 0064";
    XBytes out(kHeader.begin(), kHeader.end());
    for (XToken token = lexer->Next(); token.kind != XTokenKind::End; token = lexer->Next()) {
        switch (token.kind) {
            case XTokenKind::Name:
                AppendCountedToken(out, token.kind, token.text);
                break;
            case XTokenKind::Guid:
                AppendGuidToken(out, token.guid);
                break;
            case XTokenKind::Integer:
                if (token.integer > UINT32_MAX) {
                    throw XParseError(D3DXFERR_PARSEERROR, token.offset, "integer out of range");
                }
                AppendIntegerToken(out, static_cast<std::uint32_t>(token.integer));
                break;
            case XTokenKind::String:
            case XTokenKind::FloatValue:
                throw XParseError(D3DXFERR_PARSEERROR, token.offset, "template text holds a value");
            default:
                AppendToken(out, token.kind);
                break;
        }
    }
    return out;
}

}  // namespace d3dx
