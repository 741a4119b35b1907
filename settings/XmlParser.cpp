// The parser of the element tree. It is a recursive descent over one element at a time;
// positions are offsets into the text, and the end of the text plays the part of the
// terminating zero.
#include <string>

#include "settings/XmlDocument.h"

namespace {

constexpr char kSearchEscape = '\\';  // the searches always step over backslash escapes

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsBlank(std::string_view text) {
    for (char c : text) {
        if (!IsXmlSpace(c)) return false;
    }
    return true;
}

struct ParseState {
    std::string_view text;
    XmlParseOptions& options;

    bool AtEnd(std::size_t pos) const { return pos >= text.size(); }
    char At(std::size_t pos) const { return AtEnd(pos) ? '\0' : text[pos]; }

    std::size_t SkipSpace(std::size_t pos) const {
        while (!AtEnd(pos) && IsXmlSpace(text[pos])) ++pos;
        return pos;
    }

    // Moves to the first of the wanted characters, passing over any character that
    // follows a backslash. Gives the end of the text when there is none.
    std::size_t FindWithEscape(std::size_t pos, std::string_view wanted) const {
        while (!AtEnd(pos)) {
            const char c = text[pos];
            if (c == kSearchEscape) {
                pos += 2;
                continue;
            }
            if (wanted.find(c) != std::string_view::npos) return pos;
            ++pos;
        }
        return text.size();
    }

    // The first of the wanted characters with no escapes, or nothing.
    std::optional<std::size_t> FindPlain(std::size_t pos, std::string_view wanted) const {
        if (AtEnd(pos)) return std::nullopt;
        const std::size_t found = text.find_first_of(wanted, pos);
        if (found == std::string_view::npos) return std::nullopt;
        return found;
    }

    // Copies text[start, end) into target with the options' trim and escape, then decodes
    // entities. A range that is empty after trimming leaves the target as it was.
    void CopyValue(std::size_t start, std::size_t end, std::string& target) const {
        if (end > text.size()) end = text.size();
        if (options.trimValue) {
            while (start < end && IsXmlSpace(text[start])) ++start;
            while (end > start && IsXmlSpace(text[end - 1])) --end;
        }
        if (start >= end) return;
        const std::string_view range = text.substr(start, end - start);
        std::string copied;
        if (options.escapeChar != 0) {
            copied.reserve(range.size());
            bool previousDropped = false;
            for (char c : range) {
                if (c == options.escapeChar && !previousDropped) {
                    previousDropped = true;
                    continue;
                }
                copied += c;
                previousDropped = false;
            }
        } else {
            copied = range;
        }
        if (options.decodeEntities && options.entityTable != nullptr) {
            copied = DecodeEntities(*options.entityTable, copied);
        }
        target = std::move(copied);
    }

    void RecordError(XmlError code, std::size_t position, std::string message,
                     std::string_view element, std::string_view endTag = {}) {
        if (options.errorOccurred) return;
        options.errorOccurred = true;
        options.errorPosition = position;
        options.errorCode = code;
        options.errorMessage = std::move(message);
        options.errorElement = element;
        options.errorEndTag = endTag;
    }
};

enum class AttributeListEnd { Slash, Close, Stopped };

// Reads one attribute starting at pos (just after white space was skipped) and appends it
// to node. Returns the position after it, or nothing after an error.
std::optional<std::size_t> ParseAttribute(ParseState& state, XmlNode& node, std::size_t pos) {
    const std::optional<std::size_t> nameEnd = state.FindPlain(pos, " =");
    if (!nameEnd) {
        state.RecordError(XmlError::AttributeNameNotEnded, pos,
                          "<" + node.name + "> attribute has error ", node.name);
        return std::nullopt;
    }
    XmlAttribute& attribute = AddAttribute(node, state.text.substr(pos, *nameEnd - pos), {});
    pos = state.SkipSpace(*nameEnd);
    if (state.At(pos) != '=') return pos;  // an attribute without a value

    pos = state.SkipSpace(pos + 1);
    const char quote = state.At(pos);
    if (quote == '"' || quote == '\'') {
        const std::size_t valueEnd = state.FindWithEscape(pos + 1, std::string_view(&quote, 1));
        state.CopyValue(pos + 1, valueEnd, attribute.value);
        return state.AtEnd(valueEnd) ? valueEnd : valueEnd + 1;
    }
    const std::size_t valueEnd = state.FindWithEscape(pos, " >");
    state.CopyValue(pos, valueEnd, attribute.value);
    return valueEnd;
}

// Reads the attributes of a start tag. On Slash or Close, pos is left at that character.
AttributeListEnd ParseAttributes(ParseState& state, XmlNode& node, std::size_t& pos) {
    for (;;) {
        if (state.AtEnd(pos)) return AttributeListEnd::Stopped;
        pos = state.SkipSpace(pos);
        if (state.At(pos) == '>') return AttributeListEnd::Close;
        if (state.At(pos) == '/') return AttributeListEnd::Slash;
        const std::optional<std::size_t> next = ParseAttribute(state, node, pos);
        if (!next) return AttributeListEnd::Stopped;
        pos = *next;
    }
}

// Takes the element text from pos up to the next "<" when the node has no text yet.
// Returns the position of that "<", or the end of the text.
std::size_t ParseElementText(ParseState& state, XmlNode& node, std::size_t pos) {
    const std::size_t textEnd = state.FindWithEscape(pos, "<");
    state.CopyValue(pos, textEnd, node.value);
    return textEnd;
}

// At "</": checks the end tag against the open element. Returns the position after it,
// or nothing after an error.
std::optional<std::size_t> ParseEndTag(ParseState& state, const XmlNode& node, std::size_t pos) {
    pos = state.SkipSpace(pos + 2);
    const std::optional<std::size_t> nameEnd = state.FindPlain(pos, " >");
    if (!nameEnd) {
        state.RecordError(XmlError::EndTagNotClosed, pos,
                          "it must be closed with </" + node.name + ">", node.name);
        return std::nullopt;
    }
    const std::string_view endName = state.text.substr(pos, *nameEnd - pos);
    if (endName == node.name) return *nameEnd + 1;
    state.RecordError(
        XmlError::EndTagMismatch, *nameEnd + 1,
        "'<" + node.name + "> ... </" + std::string(endName) + ">' is not wel-formed.", node.name,
        endName);
    return std::nullopt;
}

std::optional<std::size_t> ParseElement(ParseState& state, XmlNode& node, std::size_t start,
                                        int depth);

// Reads the content of an open element: children, end tag, and text between children.
std::optional<std::size_t> ParseContent(ParseState& state, XmlNode& node, std::size_t pos,
                                        int depth) {
    while (!state.AtEnd(pos)) {
        auto child = std::make_unique<XmlNode>();
        child->parent = &node;
        const std::optional<std::size_t> afterChild = ParseElement(state, *child, pos, depth + 1);
        if (!child->name.empty()) node.children.push_back(std::move(child));
        if (!afterChild) return std::nullopt;
        pos = *afterChild;

        if (state.At(pos) == '<' && state.At(pos + 1) == '/') return ParseEndTag(state, node, pos);
        if (IsBlank(node.value) && !state.AtEnd(pos) && state.At(pos) != '<') {
            pos = ParseElementText(state, node, pos);
        }
    }
    return pos;  // still open at the end of the text: kept as it is
}

std::optional<std::size_t> ParseElement(ParseState& state, XmlNode& node, std::size_t start,
                                        int depth) {
    node.attributes.clear();
    node.children.clear();

    std::size_t pos = state.text.find('<', start);
    if (pos == std::string_view::npos) return std::nullopt;
    if (state.At(pos + 1) == '/') return pos;  // an end tag: the caller deals with it
    if (state.At(pos + 1) == '?') {            // a declaration: skipped
        pos = state.text.find('<', pos + 1);
        if (pos == std::string_view::npos) return std::nullopt;
    }
    if (depth > kXmlMaxDepth) {
        state.RecordError(XmlError::NestedTooDeeply, pos, "Elements are nested too deeply.", {});
        return std::nullopt;
    }

    const std::size_t nameStart = pos + 1;
    const std::size_t nameEnd =
        std::min(state.text.find_first_of(" />", nameStart), state.text.size());
    node.name = state.text.substr(nameStart, nameEnd - nameStart);
    pos = nameEnd;

    switch (ParseAttributes(state, node, pos)) {
        case AttributeListEnd::Stopped:
            return std::nullopt;
        case AttributeListEnd::Slash:
            if (state.At(pos + 1) == '>') return pos + 2;  // an element without content
            state.RecordError(XmlError::ElementNotClosed, pos, "Element must be closed.",
                              node.name);
            return std::nullopt;
        case AttributeListEnd::Close:
            break;
    }
    ++pos;
    if (IsBlank(node.value)) pos = ParseElementText(state, node, pos);
    return ParseContent(state, node, pos, depth);
}

}  // namespace

std::optional<std::size_t> Parse(XmlNode& node, std::string_view text, XmlParseOptions& options) {
    // The text ends at its first zero character, as a C string would.
    const std::size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    ParseState state{text, options};
    return ParseElement(state, node, 0, 1);
}
