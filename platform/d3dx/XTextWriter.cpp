// The text form: the definitions of the templates the data uses, then one object per
// block, one member per line, one element per line for arrays sized by another member;
// every value ends with ';', array elements are joined by ',', so a nested structure ends
// with ';;' (its last member and the member itself).
#include <string_view>

#include "platform/d3dx/XImageOutput.h"
#include "platform/d3dx/XNumberText.h"
#include "platform/d3dx/XPayloadWalk.h"
#include "platform/d3dx/XSaveTree.h"

namespace d3dx {
namespace {

constexpr std::string_view kTextHeader = "xof 0303txt 0032\n";

bool IsSizedByMember(const XMember& member) {
    for (const XDimension& dimension : member.dimensions) {
        if (dimension.sizeMember) return true;
    }
    return false;
}

class TextMemberWriter final : public XPayloadVisitor {
  public:
    static constexpr bool kTakesRuns = true;

    TextMemberWriter(XImageOutput& out, std::size_t indent) : m_out(out), m_indent(indent) {}

    void Scalar(XPrimitive type, const std::uint8_t* bytes) override {
        StartLine();
        char* start = reinterpret_cast<char*>(m_out.Room(kNumberTextBytes));
        char* end;
        switch (type) {
            case XPrimitive::Float:
                end = WriteFloatText(LoadFloat(bytes), start);
                break;
            case XPrimitive::Double:
                end = WriteDoubleText(LoadDouble(bytes), start);
                break;
            case XPrimitive::Char:
            case XPrimitive::Sword:
            case XPrimitive::Sdword:
                end = WriteSignedText(LoadSigned(type, bytes), start);
                break;
            default:
                end = WriteUnsignedText(LoadInteger(type, bytes), start);
                break;
        }
        m_out.Advance(static_cast<std::size_t>(end - start));
    }

    // The elements as the value-by-value walk writes them: a record's members each end
    // with ';', elements are separated as ElementSeparator does.
    void Run(const XMember& array, XPrimitive type, const std::uint8_t* bytes, std::size_t elements,
             std::size_t scalarsPerElement, std::size_t depth) {
        bool records = array.type == XPrimitive::Template;
        std::size_t size = PrimitiveSize(type);
        for (std::size_t element = 0; element < elements; ++element) {
            if (element > 0) ElementSeparator(array, depth);
            for (std::size_t i = 0; i < scalarsPerElement; ++i, bytes += size) {
                Scalar(type, bytes);
                if (records) m_out.Push(';');
            }
        }
    }

    void String(std::string_view text) override {
        // The text form has no escapes: a quote would end the string early.
        if (text.find('"') != std::string_view::npos) {
            throw XUnwritableText{
                "the string \"" + std::string(text) + "\" of member '" + std::string(m_memberName) +
                "' cannot be written in the text form: it " + "holds a double quote"};
        }
        StartLine();
        m_out.Push('"');
        m_out.Append(text);
        m_out.Push('"');
    }

    void BeginMember(const XMember& member, std::size_t depth) override {
        m_memberName = member.name;
        // The indent waits for the member's first character: an empty array writes no line.
        if (depth == 0) m_linePending = true;
    }

    void BeginArray(const XMember&, std::uint64_t count, std::size_t) override {
        m_arrayWasEmpty = count == 0;
    }

    void ElementSeparator(const XMember& member, std::size_t depth) override {
        m_out.Push(',');
        if (depth == 0 && IsSizedByMember(member)) {
            m_out.Push('\n');
            m_out.AppendFill(' ', m_indent);
        }
    }

    void EndMember(const XMember& member, std::size_t depth) override {
        // An empty array is written as nothing at all: its count member says it all.
        bool emptyArray = member.isArray && m_arrayWasEmpty;
        m_arrayWasEmpty = false;
        if (emptyArray) {
            if (depth == 0) m_linePending = false;
            return;
        }
        StartLine();
        m_out.Push(';');
        if (depth == 0) m_out.Push('\n');
    }

  private:
    void StartLine() {
        if (!m_linePending) return;
        m_out.AppendFill(' ', m_indent);
        m_linePending = false;
    }

    XImageOutput& m_out;
    std::size_t m_indent;
    bool m_linePending = false;
    bool m_arrayWasEmpty = false;
    std::string_view m_memberName;  // the innermost member begun, for messages
};

class TextWriter {
  public:
    TextWriter(const XTemplateRegistry& registry, XImageOutput& out)
        : m_registry(registry), m_out(out) {}

    void Write(const XSaveNodes& roots) {
        XBytes definitions(kTextHeader.begin(), kTextHeader.end());
        for (std::size_t index : TemplatesUsedBy(m_registry, roots)) {
            definitions.push_back('\n');
            AppendTemplateText(m_registry, m_registry.At(index), definitions);
        }
        m_out.Append(definitions.data(), definitions.size());
        WalkSaveTree(
            roots,
            [this](const XSaveNode& node, std::size_t depth) {
                if (depth == 0) m_out.Push('\n');
                WriteNodeNamingIt(node, depth);
            },
            [this](const XSaveNode&, std::size_t depth) {
                m_out.AppendFill(' ', depth);
                m_out.Append("}\n");
            });
        m_out.Finish();
    }

  private:
    // Writes a reference, or an object up to its children; a name or string that cannot be
    // written fails with the object it belongs to named in front of the reason.
    void WriteNodeNamingIt(const XSaveNode& node, std::size_t indent) {
        try {
            if (node.isReference) return WriteReference(node, indent);
            OpenObject(node, indent);
        } catch (XUnwritableText& failure) {
            failure.what = Describe(node) + ": " + failure.what;
            throw;
        }
    }

    std::string Describe(const XSaveNode& node) const {
        if (!node.isReference) return DescribeSaveNode(m_registry, node);
        std::string text = "a reference";
        if (node.parent != nullptr) text += " in " + DescribeSaveNode(m_registry, *node.parent);
        return text;
    }

    void WriteName(std::string_view name) {
        if (std::string problem = TextNameProblem(name); !problem.empty()) {
            throw XUnwritableText{"the name \"" + std::string(name) +
                                  "\" cannot be written in the text form: " + problem};
        }
        m_out.Append(name);
    }

    void WriteGuidLine(const GUID& guid, std::size_t indent) {
        m_out.AppendFill(' ', indent);
        WriteGuid(guid);
        m_out.Push('\n');
    }

    // Piece by piece rather than "<" + FormatGuid(guid) + ">": GCC 12 at -O3 reports the
    // string concatenation's inlined memcpy as overlapping itself (a false -Wrestrict).
    void WriteGuid(const GUID& guid) {
        m_out.Push('<');
        m_out.Append(FormatGuid(guid));
        m_out.Push('>');
    }

    void WriteReference(const XSaveNode& node, std::size_t indent) {
        m_out.AppendFill(' ', indent);
        m_out.Append("{ ");
        if (!node.name.empty()) WriteName(node.name), m_out.Push(' ');
        if (node.id) WriteGuid(*node.id), m_out.Push(' ');
        m_out.Append("}\n");
    }

    // Everything of an object before its children: template, name, brace, GUID, members.
    void OpenObject(const XSaveNode& node, std::size_t indent) {
        const XTemplate& tmpl = m_registry.At(node.templateIndex);
        m_out.AppendFill(' ', indent);
        m_out.Append(tmpl.name);
        if (!node.name.empty()) m_out.Push(' '), WriteName(node.name);
        m_out.Append(" {\n");
        if (node.id) WriteGuidLine(*node.id, indent + 1);
        TextMemberWriter members(m_out, indent + 1);
        (void)WalkPayloadWith(m_registry, tmpl, node.payload, members);
    }

    const XTemplateRegistry& m_registry;
    XImageOutput& m_out;
};

}  // namespace

void WriteTextImage(const XTemplateRegistry& registry, const XSaveNodes& roots, XImageSink& sink) {
    XImageOutput out(sink);
    TextWriter(registry, out).Write(roots);
}

XBytes WriteTextImage(const XTemplateRegistry& registry, const XSaveNodes& roots) {
    XBytes image;
    XBytesSink sink(image);
    WriteTextImage(registry, roots, sink);
    return image;
}

}  // namespace d3dx
