// Lexers for the text and the binary form. Both start after the 16-byte header and hand
// out XTokens; a binary INTEGER_LIST or FLOAT_LIST is handed out as one Integer or
// FloatValue token per element, so that one parser serves both forms.
#pragma once

#include <memory>
#include <span>

#include "platform/d3dx/XToken.h"

namespace d3dx {

class XLexer {
  public:
    virtual ~XLexer() = default;
    // The next token; End at the end of the data. Throws XParseError on malformed input.
    virtual XToken Next() = 0;
};

// `data` is the whole file image including its header; lexing starts at byte 16.
// `floatBytes` is 4 or 8 (the header's 0032 or 0064) and matters for binary lists only.
std::unique_ptr<XLexer> MakeTextLexer(std::span<const std::uint8_t> data);
std::unique_ptr<XLexer> MakeBinaryLexer(std::span<const std::uint8_t> data, int floatBytes);

// Keyword token for a word, compared without regard to case; End when the word is none.
XTokenKind KeywordOf(std::string_view word);

}  // namespace d3dx
