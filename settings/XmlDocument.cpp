// The element tree: construction, look-up and the entity table.
#include "settings/XmlDocument.h"

#include <utility>

XmlNode::~XmlNode() {
    // Take the subtree apart one level at a time, so that destroying a deep tree does not
    // recurse once per level.
    std::vector<std::unique_ptr<XmlNode>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<XmlNode> last = std::move(pending.back());
        pending.pop_back();
        for (auto& child : last->children) pending.push_back(std::move(child));
        last->children.clear();
    }
}

const XmlEntityTable& StandardEntityTable() {
    static const XmlEntityTable table{{
        {'&', "&amp;"},
        {'"', "&quot;"},
        {'\'', "&apos;"},
        {'<', "&lt;"},
        {'>', "&gt;"},
    }};
    return table;
}

XmlParseOptions SettingsParseOptions() {
    XmlParseOptions options;
    options.trimValue = true;
    options.decodeEntities = true;
    options.entityTable = &StandardEntityTable();
    options.escapeChar = '\\';
    return options;
}

XmlWriteOptions SettingsWriteOptions() {
    XmlWriteOptions options;
    options.lineBreaks = true;
    options.encodeEntities = true;
    options.entityTable = &StandardEntityTable();
    options.quoteChar = '"';
    options.escapeChar = '\\';
    options.depth = 0;
    return options;
}

const std::string* FindAttribute(const XmlNode& node, std::string_view name) {
    for (const auto& attribute : node.attributes) {
        if (attribute->name == name) return &attribute->value;
    }
    return nullptr;
}

const XmlNode* FindChild(const XmlNode& node, std::string_view name) {
    for (const auto& child : node.children) {
        if (child->name == name) return child.get();
    }
    return nullptr;
}

std::size_t ChildCount(const XmlNode& node) {
    return node.children.size();
}

const XmlNode* ChildAt(const XmlNode& node, std::ptrdiff_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= node.children.size()) return nullptr;
    return node.children[static_cast<std::size_t>(index)].get();
}

XmlNode& CreateChild(XmlNode& node, std::string_view name, std::string_view value) {
    auto child = std::make_unique<XmlNode>();
    child->name = name;
    child->value = value;
    child->parent = &node;
    node.children.push_back(std::move(child));
    return *node.children.back();
}

XmlAttribute& AddAttribute(XmlNode& node, std::string_view name, std::string_view value) {
    auto attribute = std::make_unique<XmlAttribute>();
    attribute->name = name;
    attribute->value = value;
    attribute->owner = &node;
    node.attributes.push_back(std::move(attribute));
    return *node.attributes.back();
}

std::string DecodeEntities(const XmlEntityTable& table, std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const XmlEntity* match = nullptr;
        for (const XmlEntity& entity : table.entries) {
            if (text.substr(pos).starts_with(entity.reference)) {
                match = &entity;
                break;
            }
        }
        if (match != nullptr && !match->reference.empty()) {
            decoded += match->character;
            pos += match->reference.size();
        } else {
            decoded += text[pos];
            ++pos;
        }
    }
    return decoded;
}

std::string EncodeEntities(const XmlEntityTable& table, std::string_view text) {
    std::string encoded;
    encoded.reserve(text.size());
    for (char c : text) {
        const XmlEntity* match = nullptr;
        for (const XmlEntity& entity : table.entries) {
            if (entity.character == c) {
                match = &entity;
                break;
            }
        }
        if (match != nullptr) {
            encoded += match->reference;
        } else {
            encoded += c;
        }
    }
    return encoded;
}
