// The writer of the element tree.
#include <string>

#include "settings/XmlDocument.h"

namespace {

void AppendLineBreak(std::string& out, int depth) {
    out += "\r\n";
    if (depth > 0) out.append(static_cast<std::size_t>(depth), '\t');
}

// An attribute value or element text as it goes into the document: escape characters
// doubled, then the entity characters replaced.
std::string EscapeText(std::string_view text, const XmlWriteOptions& options) {
    std::string escaped;
    if (options.escapeChar != 0) {
        escaped.reserve(text.size());
        for (char c : text) {
            if (c == options.escapeChar) escaped += c;
            escaped += c;
        }
    } else {
        escaped = text;
    }
    if (options.encodeEntities && options.entityTable != nullptr) {
        escaped = EncodeEntities(*options.entityTable, escaped);
    }
    return escaped;
}

void AppendAttributes(std::string& out, const XmlNode& node, const XmlWriteOptions& options) {
    if (node.attributes.empty()) return;
    out += ' ';
    for (const auto& attribute : node.attributes) {
        out += attribute->name;
        out += '=';
        out += options.quoteChar;
        out += EscapeText(attribute->value, options);
        out += options.quoteChar;
        out += ' ';
    }
}

void WriteNode(std::string& out, const XmlNode& node, XmlWriteOptions& options) {
    if (options.lineBreaks) AppendLineBreak(out, options.depth);
    out += '<';
    out += node.name;
    AppendAttributes(out, node, options);
    const bool hasChildren = !node.children.empty();
    if (!hasChildren && node.value.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    const bool indentChildren = options.lineBreaks && hasChildren;
    if (indentChildren) ++options.depth;
    for (const auto& child : node.children) WriteNode(out, *child, options);
    if (!node.value.empty()) {
        if (indentChildren) AppendLineBreak(out, options.depth);
        out += EscapeText(node.value, options);
    }
    if (indentChildren) AppendLineBreak(out, options.depth - 1);
    out += "</";
    out += node.name;
    out += '>';
    if (indentChildren) --options.depth;
}

}  // namespace

std::string Write(const XmlNode& node, XmlWriteOptions& options) {
    std::string out;
    WriteNode(out, node, options);
    return out;
}
