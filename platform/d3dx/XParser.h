// Parsing of template definitions and data objects from a token stream, shared by
// RegisterTemplates and the file reader.
#pragma once

#include <optional>
#include <span>

#include "platform/d3dx/XDataTree.h"
#include "platform/d3dx/XLexer.h"
#include "platform/d3dx/XTemplate.h"

namespace d3dx {

class XTokenStream {
  public:
    explicit XTokenStream(XLexer& lexer) : m_lexer(lexer) {}
    const XToken& Peek();
    XToken Next();
    XToken Expect(XTokenKind kind, const char* context);
    // Steps over any run of ',' and ';'.
    void SkipSeparators();
    // The bytes of the peeked token and of the rest of its list when it is an element of a
    // binary list of four-byte values of that kind (XLexer::ListFromLast); empty otherwise.
    std::span<const std::uint8_t> PeekedListBytes(bool floats);
    // Takes `count` values of that list, the peeked one first.
    void TakeListValues(std::size_t count);
    [[noreturn]] void Fail(const XToken& at, const std::string& what);

  private:
    XLexer& m_lexer;
    std::optional<XToken> m_peeked;
};

// The primitive a member-type keyword token names, if any; and the keyword token of a
// primitive (Name for a template-typed member, which is written by its template's name).
std::optional<XPrimitive> PrimitiveOf(XTokenKind kind);
XTokenKind PrimitiveToken(XPrimitive type);

// The header of a .X image (16 bytes).
struct XHeader {
    XFileForm form = XFileForm::Text;
    int minorVersion = 3;
    int floatBits = 32;
};

// Reads the 16-byte header; throws XParseError with D3DXFERR_BADFILETYPE,
// D3DXFERR_BADFILEVERSION or D3DXFERR_BADFILEFLOATSIZE.
XHeader ParseHeader(std::span<const std::uint8_t> image);

// Parses a template definition after its 'template' keyword and adds it to `registry`.
void ParseTemplate(XTokenStream& tokens, XTemplateRegistry& registry);

// How many levels of data objects may nest, the top-level object counting as one. The
// reader keeps open objects on the heap, so this is no stack limit: it bounds what a file
// may ask of the programs that walk the tree it reads. An exported scene nests frames as
// deep as its nodes (up to 10,000) and then a few levels of mesh, material list, material
// and texture below the deepest one; ten times that leaves room for files from elsewhere.
constexpr std::size_t kMaxObjectDepth = 100'000;

// Parses a whole image (header included, already decompressed): templates go into
// `contents.templates`, data objects into `contents.objects` (when `objectsAllowed`;
// otherwise a data object is an error, as in a template-only block).
void ParseImage(std::span<const std::uint8_t> image, const XHeader& header, XFileContents& contents,
                bool objectsAllowed);

}  // namespace d3dx
