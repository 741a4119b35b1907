// A small element tree with its own parser and writer, used for the settings text both
// in the settings file and in the scene. It knows elements, attributes, element text, the
// five standard entity references and a backslash escape; it does not know comments,
// CDATA, document type declarations, namespaces or numeric character references. One
// leading "<?...?>" declaration is skipped. It is lenient: an element still open when the
// text ends is kept with what it holds, and only a handful of faults are errors.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct XmlNode;

struct XmlAttribute {
    std::string name;
    std::string value;
    XmlNode* owner = nullptr;  // not owned
};

// One element. The root element of a document is itself an XmlNode; there is no
// separate document object. Nodes are neither copied nor moved, so that the owner and
// parent links of what hangs below them stay valid.
struct XmlNode {
    std::string name;
    std::string value;  // the element's text
    std::vector<std::unique_ptr<XmlAttribute>> attributes;
    std::vector<std::unique_ptr<XmlNode>> children;
    XmlNode* parent = nullptr;  // not owned; none for the root

    XmlNode() = default;
    XmlNode(const XmlNode&) = delete;
    XmlNode& operator=(const XmlNode&) = delete;
    ~XmlNode();
};

struct XmlEntity {
    char character;
    std::string_view reference;  // "&amp;" and so on; its length is the reference's length
};

// The entity references, in the order in which decoding tries them.
struct XmlEntityTable {
    std::vector<XmlEntity> entries;
};

// The shared table of the five standard references: & " ' < >.
const XmlEntityTable& StandardEntityTable();

enum class XmlError : int {
    None = 0,
    ElementNotClosed = 1,       // "/" in a start tag not directly followed by ">"
    EndTagNotClosed = 2,        // "</" with no space or ">" anywhere after it
    EndTagMismatch = 3,         // an end tag names another element than the open one
    AttributeNameNotEnded = 4,  // an attribute name with no space or "=" anywhere after it
    NestedTooDeeply = 5,        // more than kXmlMaxDepth elements open at once
};

// Elements open at once that the parser follows. Settings text needs five; the limit
// keeps a hostile text from exhausting the stack of the recursive parser, writer and
// destructor.
inline constexpr int kXmlMaxDepth = 256;

struct XmlParseOptions {
    bool trimValue = false;
    bool decodeEntities = false;
    const XmlEntityTable* entityTable = nullptr;
    char escapeChar = 0;  // 0 for none

    // Filled by the parser; only the first error of a parse is recorded.
    bool errorOccurred = false;
    std::size_t errorPosition = 0;
    XmlError errorCode = XmlError::None;
    std::string errorMessage;
    // The names in the message, for callers that word it their own way: the element the
    // error concerns, and for a mismatched end tag the name that tag gave.
    std::string errorElement;
    std::string errorEndTag;
};

struct XmlWriteOptions {
    bool lineBreaks = false;  // each element on its own line (CR LF), indented by tabs
    bool encodeEntities = false;
    const XmlEntityTable* entityTable = nullptr;
    char quoteChar = '"';
    // When set, this character is doubled in attribute values and element text, so that a
    // parser using it as escape character reads the text back unchanged.
    char escapeChar = 0;
    int depth = 0;  // the writer raises and lowers it and leaves it as it found it
};

// The options the settings code reads with: trimmed values, standard entities, backslash
// escape.
XmlParseOptions SettingsParseOptions();

// The options the settings code writes with: line breaks, standard entities, double
// quotes, backslashes doubled, depth 0.
XmlWriteOptions SettingsWriteOptions();

// Parses the first element of text (and everything inside it) into node, replacing its
// attributes and children. Returns the offset just after the element, or nothing when the
// parse stopped: an error was recorded in options, or the text holds no element, or it
// ended inside a start tag. The text ends at its first zero character, if any.
std::optional<std::size_t> Parse(XmlNode& node, std::string_view text, XmlParseOptions& options);

// Serialises node and everything below it.
std::string Write(const XmlNode& node, XmlWriteOptions& options);

// Names are compared byte by byte, case-sensitively; the first match wins.
const std::string* FindAttribute(const XmlNode& node, std::string_view name);
const XmlNode* FindChild(const XmlNode& node, std::string_view name);
std::size_t ChildCount(const XmlNode& node);
const XmlNode* ChildAt(const XmlNode& node, std::ptrdiff_t index);

XmlNode& CreateChild(XmlNode& node, std::string_view name, std::string_view value = {});
XmlAttribute& AddAttribute(XmlNode& node, std::string_view name, std::string_view value);

std::string DecodeEntities(const XmlEntityTable& table, std::string_view text);
std::string EncodeEntities(const XmlEntityTable& table, std::string_view text);
