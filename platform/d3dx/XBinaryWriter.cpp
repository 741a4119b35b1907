// The binary form: the tokens of the template definitions the data uses, then NAME tokens
// for template and object names, braces, and the members as a stream of INTEGER_LIST and
// FLOAT_LIST tokens. A list runs as long as the value type stays the same and ends at a
// string, a child or the end of the object. A STRING token is followed by a ';' token, or
// ',' when another element of the same array follows.
#include <cstring>

#include "platform/d3dx/XImageOutput.h"
#include "platform/d3dx/XNumberText.h"
#include "platform/d3dx/XPayloadWalk.h"
#include "platform/d3dx/XSaveTree.h"

namespace d3dx {
namespace {

constexpr std::string_view kBinaryHeader = "xof 0303bin 0032";
constexpr std::size_t kValueBytes = 4;  // every number of a list, in the 0032 form

void StoreDword(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}

void AppendTokenTo(XImageOutput& out, XTokenKind kind) {
    std::uint8_t* at = out.Room(2);
    at[0] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(kind));
    at[1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(kind) >> 8);
    out.Advance(2);
}

void AppendDwordTo(XImageOutput& out, std::uint32_t value) {
    StoreDword(out.Room(kValueBytes), value);
    out.Advance(kValueBytes);
}

void AppendCountedTokenTo(XImageOutput& out, XTokenKind kind, std::string_view text) {
    AppendTokenTo(out, kind);
    AppendDwordTo(out, static_cast<std::uint32_t>(text.size()));
    out.Append(text);
}

void AppendGuidTokenTo(XImageOutput& out, const GUID& guid) {
    AppendTokenTo(out, XTokenKind::Guid);
    auto bytes = GuidToBytes(guid);
    out.Append(bytes.data(), bytes.size());
}

class BinaryMemberWriter final : public XPayloadVisitor {
  public:
    static constexpr bool kTakesRuns = true;

    explicit BinaryMemberWriter(XImageOutput& out) : m_out(out) {}

    void Scalar(XPrimitive type, const std::uint8_t* bytes) override {
        bool isFloat = type == XPrimitive::Float || type == XPrimitive::Double;
        StartList(isFloat ? XTokenKind::FloatList : XTokenKind::IntegerList);
        ++m_listCount;
        std::uint8_t* at = m_out.Room(kValueBytes);
        if (type == XPrimitive::Float) {
            std::memcpy(at, bytes, kValueBytes);
        } else if (type == XPrimitive::Double) {
            // The file says 0032: its float lists hold single precision.
            StoreDword(at, std::bit_cast<std::uint32_t>(NarrowToFloat(LoadDouble(bytes))));
        } else {
            // Every integer travels as a DWORD; signed members keep their sign bits.
            bool isSigned =
                type == XPrimitive::Char || type == XPrimitive::Sword || type == XPrimitive::Sdword;
            std::uint64_t value = isSigned ? static_cast<std::uint64_t>(LoadSigned(type, bytes))
                                           : LoadInteger(type, bytes);
            StoreDword(at, static_cast<std::uint32_t>(value));
        }
        m_out.Advance(kValueBytes);
    }

    // FLOAT and DWORD values take the same four little-endian bytes in the file as in the
    // payload: their runs are copied whole. Other types are widened or narrowed one by one.
    void Run(const XMember&, XPrimitive type, const std::uint8_t* bytes, std::size_t elements,
             std::size_t scalarsPerElement, std::size_t) {
        std::size_t count = elements * scalarsPerElement;
        if (type == XPrimitive::Float || type == XPrimitive::Dword) {
            StartList(type == XPrimitive::Float ? XTokenKind::FloatList : XTokenKind::IntegerList);
            m_listCount += static_cast<std::uint32_t>(count);
            m_out.Append(bytes, count * kValueBytes);
            return;
        }
        std::size_t size = PrimitiveSize(type);
        for (std::size_t i = 0; i < count; ++i) Scalar(type, bytes + i * size);
    }

    // All the values are of `type`, one after another: the same list, copied whole when they
    // take the same bytes in the file.
    static constexpr bool kTakesUniformArrays = true;
    void UniformArray(XPrimitive type, std::span<const std::uint8_t> bytes) {
        std::size_t count = bytes.size() / PrimitiveSize(type);
        Run(XMember{}, type, bytes.data(), count, 1, 0);
    }

    void String(std::string_view text) override {
        FinishList();
        AppendCountedTokenTo(m_out, XTokenKind::String, text);
        m_stringTerminator = m_out.Position();
        AppendTokenTo(m_out, XTokenKind::Semicolon);
    }

    void ElementSeparator(const XMember&, std::size_t) override {
        if (m_listKind == XTokenKind::End && m_stringTerminator + 2 == m_out.Position()) {
            const auto comma = static_cast<std::uint8_t>(XTokenKind::Comma);
            m_out.Overwrite(m_stringTerminator, &comma, 1);
        }
    }

    // Writes the open list's length into its header; called at the end of the members.
    void FinishList() {
        if (m_listKind == XTokenKind::End) return;
        std::uint8_t count[kValueBytes];
        StoreDword(count, m_listCount);
        m_out.Fill(m_countAt, count, kValueBytes);
        m_listKind = XTokenKind::End;
    }

  private:
    void StartList(XTokenKind kind) {
        if (m_listKind == kind) return;
        FinishList();
        AppendTokenTo(m_out, kind);
        m_countAt = m_out.Reserve(kValueBytes);
        m_listKind = kind;
        m_listCount = 0;
    }

    XImageOutput& m_out;
    XTokenKind m_listKind = XTokenKind::End;
    std::size_t m_countAt = 0;
    std::uint32_t m_listCount = 0;
    std::size_t m_stringTerminator = 0;
};

class BinaryWriter {
  public:
    BinaryWriter(const XTemplateRegistry& registry, XImageOutput& out)
        : m_registry(registry), m_out(out) {}

    void Write(const XSaveNodes& roots) {
        m_out.Append(kBinaryHeader);
        XBytes definitions;
        for (std::size_t index : TemplatesUsedBy(m_registry, roots)) {
            AppendTemplateTokens(m_registry, m_registry.At(index), definitions);
        }
        m_out.Append(definitions.data(), definitions.size());
        WalkSaveTree(
            roots, [this](const XSaveNode& node, std::size_t) { WriteNodeHead(node); },
            [this](const XSaveNode&, std::size_t) { AppendTokenTo(m_out, XTokenKind::CBrace); });
        m_out.Finish();
    }

  private:
    // Writes a reference, or an object up to its children.
    void WriteNodeHead(const XSaveNode& node) {
        if (node.isReference) {
            AppendTokenTo(m_out, XTokenKind::OBrace);
            if (!node.name.empty()) AppendCountedTokenTo(m_out, XTokenKind::Name, node.name);
            if (node.id) AppendGuidTokenTo(m_out, *node.id);
            AppendTokenTo(m_out, XTokenKind::CBrace);
            return;
        }
        const XTemplate& tmpl = m_registry.At(node.templateIndex);
        AppendCountedTokenTo(m_out, XTokenKind::Name, tmpl.name);
        if (!node.name.empty()) AppendCountedTokenTo(m_out, XTokenKind::Name, node.name);
        AppendTokenTo(m_out, XTokenKind::OBrace);
        if (node.id) AppendGuidTokenTo(m_out, *node.id);
        BinaryMemberWriter members(m_out);
        (void)WalkPayloadWith(m_registry, tmpl, node.payload, members);
        members.FinishList();
    }

    const XTemplateRegistry& m_registry;
    XImageOutput& m_out;
};

}  // namespace

void WriteBinaryImage(const XTemplateRegistry& registry, const XSaveNodes& roots,
                      XImageSink& sink) {
    XImageOutput out(sink);
    BinaryWriter(registry, out).Write(roots);
}

XBytes WriteBinaryImage(const XTemplateRegistry& registry, const XSaveNodes& roots) {
    XBytes image;
    XBytesSink sink(image);
    WriteBinaryImage(registry, roots, sink);
    return image;
}

}  // namespace d3dx
