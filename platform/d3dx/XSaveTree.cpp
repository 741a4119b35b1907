#include "platform/d3dx/XSaveTree.h"

#include "platform/d3dx/MsZip.h"
#include "platform/d3dx/XLexer.h"
#include "platform/d3dx/XNumberText.h"

namespace d3dx {

namespace {

// Unnamed ancestors a description lists before it gives up; a user finds an object by the
// nearest name above it, and a long run of unnamed objects says nothing more.
constexpr std::size_t kDescribedUnnamedAncestors = 8;

constexpr std::string_view kTextDelimiters = "{}[](),;<>\"";

std::string ByteProblem(char c) {
    auto byte = static_cast<unsigned char>(c);
    if (c == ' ') return "it holds a space";
    if (byte < ' ' || byte == 127) {
        constexpr char kHex[] = "0123456789ABCDEF";
        return std::string("it holds the control byte 0x") + kHex[byte >> 4] + kHex[byte & 15];
    }
    if (kTextDelimiters.find(c) != std::string_view::npos) {
        return std::string("it holds '") + c + "', which the text form reads as punctuation";
    }
    return {};
}

std::string DescribeOne(const XTemplateRegistry& registry, const XSaveNode& node) {
    const std::string& tmpl = registry.At(node.templateIndex).name;
    if (node.name.empty()) return "unnamed " + tmpl;
    return tmpl + " \"" + node.name + "\"";
}

}  // namespace

XSaveNode::~XSaveNode() {
    // Most nodes are leaves: nothing to take apart.
    if (children.empty()) return;
    // Every node is emptied of its children before it is freed, so its own destructor ends
    // at once; the nodes still to free wait in `pending`.
    XSaveNodes pending = std::move(children);
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<XSaveNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children) pending.push_back(std::move(child));
        node->children.clear();
    }
}

std::string TextNameProblem(std::string_view name) {
    if (name.empty()) return "it is empty";
    if (name.front() == '#') return "it starts with '#', which begins a comment";
    if (name.find("//") != std::string_view::npos) return "it holds '//', which begins a comment";
    for (char c : name) {
        if (std::string problem = ByteProblem(c); !problem.empty()) return problem;
    }
    XToken number;
    if (ParseNumberWord(name, number)) return "it reads as a number";
    if (KeywordOf(name) == XTokenKind::Template) return "it is the keyword 'template'";
    return {};
}

bool IsWritableTextName(std::string_view name) {
    return TextNameProblem(name).empty();
}

std::string DescribeSaveNode(const XTemplateRegistry& registry, const XSaveNode& node) {
    std::string text = DescribeOne(registry, node);
    const XSaveNode* at = &node;
    for (std::size_t listed = 0; at->name.empty() && at->parent != nullptr; ++listed) {
        if (listed == kDescribedUnnamedAncestors) return text + " in ...";
        at = at->parent;
        text += " in " + DescribeOne(registry, *at);
    }
    return text;
}

XBytes CompressImage(const XBytes& image) {
    constexpr std::size_t kHeaderBytes = 16;
    XBytes out(image.begin(), image.begin() + kHeaderBytes);
    bool text = out[8] == 't';
    const char* form = text ? "tzip" : "bzip";
    std::copy(form, form + 4, out.begin() + 8);
    auto body = std::span<const std::uint8_t>(image).subspan(kHeaderBytes);
    XBytes container = MsZipCompress(body);
    out.insert(out.end(), container.begin(), container.end());
    return out;
}

}  // namespace d3dx
