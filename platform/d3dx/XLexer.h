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

    // For arrays read straight from a binary list: when the token last handed out is an
    // element of a list of four-byte values (FLOAT values when `floats`, else DWORDs), the
    // bytes of that element and of the rest of its list; empty otherwise.
    virtual std::span<const std::uint8_t> ListFromLast(bool floats) const {
        (void)floats;
        return {};
    }
    // Steps over `count` elements of that list after the last one handed out (at most the
    // rest of the list).
    virtual void SkipListElements(std::size_t count) { (void)count; }
};

// `data` is the whole file image including its header; lexing starts at byte 16.
// `floatBytes` is 4 or 8 (the header's 0032 or 0064) and matters for binary lists only.
std::unique_ptr<XLexer> MakeTextLexer(std::span<const std::uint8_t> data);
std::unique_ptr<XLexer> MakeBinaryLexer(std::span<const std::uint8_t> data, int floatBytes);

// Keyword token for a word, compared without regard to case; End when the word is none.
XTokenKind KeywordOf(std::string_view word);

}  // namespace d3dx
