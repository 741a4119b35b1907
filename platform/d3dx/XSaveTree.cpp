#include "platform/d3dx/XSaveTree.h"

#include <stdexcept>

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

constexpr std::size_t kImageHeaderBytes = 16;
constexpr std::size_t kFormAt = 8;  // the form's four bytes in the header

// The header goes out first, naming the compressed form; the body behind it goes to the
// compressor, whose offsets start after the header.
class CompressingSink final : public XImageSink {
  public:
    explicit CompressingSink(XImageSink& out)
        : m_out(out), m_body(out, kImageHeaderBytes, MsZipDefaultThreads()) {}

    void Append(std::span<const std::uint8_t> bytes) override {
        if (m_header.size() < kImageHeaderBytes) {
            std::size_t take = std::min(kImageHeaderBytes - m_header.size(), bytes.size());
            m_header.insert(m_header.end(), bytes.begin(), bytes.begin() + take);
            bytes = bytes.subspan(take);
            if (m_header.size() == kImageHeaderBytes) GiveHeader();
        }
        if (!bytes.empty()) m_body.Append(bytes);
    }
    void Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) override {
        m_body.Overwrite(BodyOffset(offset), bytes);
    }
    void Hold(std::size_t offset, std::size_t count) override {
        m_body.Hold(BodyOffset(offset), count);
    }

    void Finish() {
        if (m_header.size() < kImageHeaderBytes)
            throw std::logic_error("an image shorter than its header cannot be compressed");
        m_body.Finish();
    }

  private:
    static std::size_t BodyOffset(std::size_t offset) {
        // The writers never mend the header.
        if (offset < kImageHeaderBytes) throw std::logic_error("the header cannot be mended");
        return offset - kImageHeaderBytes;
    }

    void GiveHeader() {
        bool text = m_header[kFormAt] == 't';
        std::string_view form = text ? "tzip" : "bzip";
        std::copy(form.begin(), form.end(), m_header.begin() + kFormAt);
        m_out.Append(m_header);
    }

    XImageSink& m_out;
    MsZipWriter m_body;
    XBytes m_header;
};

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

void WriteCompressedImage(XImageSink& out, const std::function<void(XImageSink&)>& write) {
    CompressingSink sink(out);
    write(sink);
    sink.Finish();
}

}  // namespace d3dx
