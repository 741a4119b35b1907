// Appending binary-form tokens: one WORD id, then the token's record, little-endian.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/d3dx/XToken.h"

namespace d3dx {

using XBytes = std::vector<std::uint8_t>;

void AppendWord(XBytes& out, std::uint16_t value);
void AppendDword(XBytes& out, std::uint32_t value);
void AppendToken(XBytes& out, XTokenKind kind);
void AppendCountedToken(XBytes& out, XTokenKind kind, std::string_view text);  // NAME, STRING
void AppendGuidToken(XBytes& out, const GUID& guid);
void AppendIntegerToken(XBytes& out, std::uint32_t value);

// Re-encodes the tokens of a text template block as a binary block with the header
// "xof 0302bin 0064" (the form of the standard template block). Throws XParseError.
XBytes TokeniseTemplateText(std::string_view text);

}  // namespace d3dx
