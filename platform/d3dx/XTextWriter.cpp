// The text form: the definitions of the templates the data uses, then one object per
// block, one member per line, one element per line for arrays sized by another member;
// every value ends with ';', array elements are joined by ',', so a nested structure ends
// with ';;' (its last member and the member itself).
#include <string_view>

#include "platform/d3dx/XNumberText.h"
#include "platform/d3dx/XPayload.h"
#include "platform/d3dx/XSaveTree.h"

namespace d3dx {
namespace {

constexpr std::string_view kTextHeader = "xof 0303txt 0032\n";

void Append(XBytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void AppendIndent(XBytes& out, std::size_t level) {
    out.insert(out.end(), level, ' ');
}

bool IsSizedByMember(const XMember& member) {
    for (const XDimension& dimension : member.dimensions) {
        if (dimension.sizeMember) return true;
    }
    return false;
}

class TextMemberWriter : public XPayloadVisitor {
  public:
    TextMemberWriter(XBytes& out, std::size_t indent) : m_out(out), m_indent(indent) {}

    void Scalar(XPrimitive type, const std::uint8_t* bytes) override {
        XNumberBuffer buffer;
        switch (type) {
            case XPrimitive::Float:
                Append(m_out, FormatFloatText(LoadFloat(bytes), buffer));
                return;
            case XPrimitive::Double:
                Append(m_out, FormatDoubleText(LoadDouble(bytes), buffer));
                return;
            case XPrimitive::Char:
            case XPrimitive::Sword:
            case XPrimitive::Sdword:
                Append(m_out, FormatSignedText(LoadSigned(type, bytes), buffer));
                return;
            default:
                Append(m_out, FormatUnsignedText(LoadInteger(type, bytes), buffer));
                return;
        }
    }

    void String(std::string_view text) override {
        // The text form has no escapes: a quote would end the string early.
        if (text.find('"') != std::string_view::npos) {
            throw XUnwritableText{
                "the string \"" + std::string(text) + "\" of member '" + std::string(m_memberName) +
                "' cannot be written in the text form: it " + "holds a double quote"};
        }
        m_out.push_back('"');
        Append(m_out, text);
        m_out.push_back('"');
    }

    void BeginMember(const XMember& member, std::size_t depth) override {
        m_memberName = member.name;
        if (depth == 0) m_lineStart = m_out.size(), AppendIndent(m_out, m_indent);
    }

    void BeginArray(const XMember&, std::uint64_t count, std::size_t) override {
        m_arrayWasEmpty = count == 0;
    }

    void ElementSeparator(const XMember& member, std::size_t depth) override {
        m_out.push_back(',');
        if (depth == 0 && IsSizedByMember(member)) {
            m_out.push_back('\n');
            AppendIndent(m_out, m_indent);
        }
    }

    void EndMember(const XMember& member, std::size_t depth) override {
        // An empty array is written as nothing at all: its count member says it all.
        bool emptyArray = member.isArray && m_arrayWasEmpty;
        m_arrayWasEmpty = false;
        if (emptyArray) {
            if (depth == 0) m_out.resize(m_lineStart);
            return;
        }
        m_out.push_back(';');
        if (depth == 0) m_out.push_back('\n');
    }

  private:
    XBytes& m_out;
    std::size_t m_indent;
    std::size_t m_lineStart = 0;
    bool m_arrayWasEmpty = false;
    std::string_view m_memberName;  // the innermost member begun, for messages
};

class TextWriter {
  public:
    explicit TextWriter(const XTemplateRegistry& registry) : m_registry(registry) {}

    XBytes Write(const XSaveNodes& roots) {
        Append(m_out, kTextHeader);
        for (std::size_t index : TemplatesUsedBy(m_registry, roots)) {
            m_out.push_back('\n');
            AppendTemplateText(m_registry, m_registry.At(index), m_out);
        }
        WalkSaveTree(
            roots,
            [this](const XSaveNode& node, std::size_t depth) {
                if (depth == 0) m_out.push_back('\n');
                WriteNodeNamingIt(node, depth);
            },
            [this](const XSaveNode&, std::size_t depth) {
                AppendIndent(m_out, depth);
                Append(m_out, "}\n");
            });
        return std::move(m_out);
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
        Append(m_out, name);
    }

    void WriteGuidLine(const GUID& guid, std::size_t indent) {
        AppendIndent(m_out, indent);
        Append(m_out, "<" + FormatGuid(guid) + ">\n");
    }

    void WriteReference(const XSaveNode& node, std::size_t indent) {
        AppendIndent(m_out, indent);
        Append(m_out, "{ ");
        if (!node.name.empty()) WriteName(node.name), m_out.push_back(' ');
        if (node.id) Append(m_out, "<" + FormatGuid(*node.id) + "> ");
        Append(m_out, "}\n");
    }

    // Everything of an object before its children: template, name, brace, GUID, members.
    void OpenObject(const XSaveNode& node, std::size_t indent) {
        const XTemplate& tmpl = m_registry.At(node.templateIndex);
        AppendIndent(m_out, indent);
        Append(m_out, tmpl.name);
        if (!node.name.empty()) m_out.push_back(' '), WriteName(node.name);
        Append(m_out, " {\n");
        if (node.id) WriteGuidLine(*node.id, indent + 1);
        TextMemberWriter members(m_out, indent + 1);
        WalkPayload(m_registry, tmpl, node.payload, members);
    }

    const XTemplateRegistry& m_registry;
    XBytes m_out;
};

}  // namespace

XBytes WriteTextImage(const XTemplateRegistry& registry, const XSaveNodes& roots) {
    return TextWriter(registry).Write(roots);
}

}  // namespace d3dx
