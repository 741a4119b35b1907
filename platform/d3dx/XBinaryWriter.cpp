// The binary form: the tokens of the template definitions the data uses, then NAME tokens
// for template and object names, braces, and the members as a stream of INTEGER_LIST and
// FLOAT_LIST tokens. A list runs as long as the value type stays the same and ends at a
// string, a child or the end of the object. A STRING token is followed by a ';' token, or
// ',' when another element of the same array follows.
#include <cstring>

#include "platform/d3dx/XNumberText.h"
#include "platform/d3dx/XPayload.h"
#include "platform/d3dx/XSaveTree.h"

namespace d3dx {
namespace {

constexpr std::string_view kBinaryHeader = "xof 0303bin 0032";

class BinaryMemberWriter : public XPayloadVisitor {
  public:
    explicit BinaryMemberWriter(XBytes& out) : m_out(out) {}
    ~BinaryMemberWriter() override { FinishList(); }

    void Scalar(XPrimitive type, const std::uint8_t* bytes) override {
        bool isFloat = type == XPrimitive::Float || type == XPrimitive::Double;
        StartList(isFloat ? XTokenKind::FloatList : XTokenKind::IntegerList);
        ++m_listCount;
        if (type == XPrimitive::Float) {
            m_out.insert(m_out.end(), bytes, bytes + 4);
        } else if (type == XPrimitive::Double) {
            // The file says 0032: its float lists hold single precision.
            float narrow = NarrowToFloat(LoadDouble(bytes));
            std::uint32_t bits;
            std::memcpy(&bits, &narrow, 4);
            AppendDword(m_out, bits);
        } else {
            // Every integer travels as a DWORD; signed members keep their sign bits.
            bool isSigned =
                type == XPrimitive::Char || type == XPrimitive::Sword || type == XPrimitive::Sdword;
            std::uint64_t value = isSigned ? static_cast<std::uint64_t>(LoadSigned(type, bytes))
                                           : LoadInteger(type, bytes);
            AppendDword(m_out, static_cast<std::uint32_t>(value));
        }
    }

    void String(std::string_view text) override {
        FinishList();
        AppendCountedToken(m_out, XTokenKind::String, text);
        m_stringTerminator = m_out.size();
        AppendToken(m_out, XTokenKind::Semicolon);
    }

    void ElementSeparator(const XMember&, std::size_t) override {
        if (m_listKind == XTokenKind::End && m_stringTerminator + 2 == m_out.size()) {
            m_out[m_stringTerminator] = static_cast<std::uint8_t>(XTokenKind::Comma);
        }
    }

    void FinishList() {
        if (m_listKind == XTokenKind::End) return;
        for (int i = 0; i < 4; ++i) {
            m_out[m_countAt + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(m_listCount >> (8 * i));
        }
        m_listKind = XTokenKind::End;
    }

  private:
    void StartList(XTokenKind kind) {
        if (m_listKind == kind) return;
        FinishList();
        AppendToken(m_out, kind);
        m_countAt = m_out.size();
        AppendDword(m_out, 0);
        m_listKind = kind;
        m_listCount = 0;
    }

    XBytes& m_out;
    XTokenKind m_listKind = XTokenKind::End;
    std::size_t m_countAt = 0;
    std::uint32_t m_listCount = 0;
    std::size_t m_stringTerminator = 0;
};

class BinaryWriter {
  public:
    explicit BinaryWriter(const XTemplateRegistry& registry) : m_registry(registry) {}

    XBytes Write(const XSaveNodes& roots) {
        m_out.assign(kBinaryHeader.begin(), kBinaryHeader.end());
        for (std::size_t index : TemplatesUsedBy(m_registry, roots)) {
            AppendTemplateTokens(m_registry, m_registry.At(index), m_out);
        }
        WalkSaveTree(
            roots, [this](const XSaveNode& node, std::size_t) { WriteNodeHead(node); },
            [this](const XSaveNode&, std::size_t) { AppendToken(m_out, XTokenKind::CBrace); });
        return std::move(m_out);
    }

  private:
    // Writes a reference, or an object up to its children.
    void WriteNodeHead(const XSaveNode& node) {
        if (node.isReference) {
            AppendToken(m_out, XTokenKind::OBrace);
            if (!node.name.empty()) AppendCountedToken(m_out, XTokenKind::Name, node.name);
            if (node.id) AppendGuidToken(m_out, *node.id);
            AppendToken(m_out, XTokenKind::CBrace);
            return;
        }
        const XTemplate& tmpl = m_registry.At(node.templateIndex);
        AppendCountedToken(m_out, XTokenKind::Name, tmpl.name);
        if (!node.name.empty()) AppendCountedToken(m_out, XTokenKind::Name, node.name);
        AppendToken(m_out, XTokenKind::OBrace);
        if (node.id) AppendGuidToken(m_out, *node.id);
        BinaryMemberWriter members(m_out);
        WalkPayload(m_registry, tmpl, node.payload, members);
    }

    const XTemplateRegistry& m_registry;
    XBytes m_out;
};

}  // namespace

XBytes WriteBinaryImage(const XTemplateRegistry& registry, const XSaveNodes& roots) {
    return BinaryWriter(registry).Write(roots);
}

}  // namespace d3dx
