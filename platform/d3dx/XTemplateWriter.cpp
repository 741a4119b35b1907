// Template definitions at the head of a saved file. A reader that registers only some
// templates (many register just the standard D3DRM set) refuses an object of a template it
// has not seen; with the definitions in the file it learns them there. Only the templates
// the data uses are written, each once, and always after the templates its members name,
// because a definition may only refer to templates defined before it.
#include <vector>

#include "platform/d3dx/XLexer.h"
#include "platform/d3dx/XParser.h"
#include "platform/d3dx/XSaveTree.h"

namespace d3dx {
namespace {

class UsedTemplates {
  public:
    explicit UsedTemplates(const XTemplateRegistry& registry)
        : m_registry(registry), m_listed(registry.Size(), false) {}

    void AddTree(const XSaveNodes& nodes) {
        WalkSaveTree(
            nodes,
            [this](const XSaveNode& node, std::size_t) {
                // A reference names an object, not a template.
                if (!node.isReference) Add(node.templateIndex);
            },
            [](const XSaveNode&, std::size_t) {});
    }

    std::vector<std::size_t> Take() { return std::move(m_order); }

  private:
    // Member templates go first. Registration resolves member types against earlier
    // templates only, so the recursion ends.
    void Add(std::size_t index) {
        if (m_listed[index]) return;
        m_listed[index] = true;
        for (const XMember& member : m_registry.At(index).members) {
            if (member.type == XPrimitive::Template) Add(member.templateIndex);
        }
        m_order.push_back(index);
    }

    const XTemplateRegistry& m_registry;
    std::vector<bool> m_listed;
    std::vector<std::size_t> m_order;
};

std::string_view MemberTypeName(const XTemplateRegistry& registry, const XMember& member) {
    if (member.type == XPrimitive::Template) return registry.At(member.templateIndex).name;
    return PrimitiveKeyword(member.type);
}

// ---- text --------------------------------------------------------------------------------

constexpr std::string_view kTextIndent = " ";

void Append(XBytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// Template, member and type names are read as plain names: unlike object names they may
// not be keywords.
void AppendWord(XBytes& out, std::string_view word) {
    std::string problem = TextNameProblem(word);
    if (problem.empty() && KeywordOf(word) != XTokenKind::End) problem = "it is a keyword";
    if (!problem.empty()) {
        throw XUnwritableText{"the word \"" + std::string(word) +
                              "\" cannot be written in the text form: " + problem};
    }
    Append(out, word);
}

// Piece by piece rather than "<" + FormatGuid(guid) + ">": GCC 12 at -O3 reports the string
// concatenation's inlined memcpy as overlapping itself (a false -Wrestrict).
void AppendGuidText(XBytes& out, const GUID& guid) {
    out.push_back('<');
    Append(out, FormatGuid(guid));
    out.push_back('>');
}

void AppendDimensionText(XBytes& out, const XTemplate& tmpl, const XDimension& dimension) {
    out.push_back('[');
    if (dimension.sizeMember) {
        AppendWord(out, tmpl.members[*dimension.sizeMember].name);
    } else {
        Append(out, std::to_string(dimension.fixedSize));
    }
    out.push_back(']');
}

void AppendMemberText(XBytes& out, const XTemplateRegistry& registry, const XTemplate& tmpl,
                      const XMember& member) {
    Append(out, kTextIndent);
    if (member.isArray) Append(out, "array ");
    if (member.type == XPrimitive::Template) {
        AppendWord(out, MemberTypeName(registry, member));
    } else {
        Append(out, MemberTypeName(registry, member));
    }
    out.push_back(' ');
    AppendWord(out, member.name);
    for (const XDimension& dimension : member.dimensions) AppendDimensionText(out, tmpl, dimension);
    Append(out, ";\n");
}

void AppendRestrictionText(XBytes& out, const XTemplate& tmpl) {
    if (tmpl.restriction == XRestriction::Closed) return;
    Append(out, kTextIndent);
    if (tmpl.restriction == XRestriction::Open) {
        Append(out, "[...]\n");
        return;
    }
    out.push_back('[');
    for (std::size_t i = 0; i < tmpl.allowedChildren.size(); ++i) {
        const XAllowedChild& child = tmpl.allowedChildren[i];
        if (i > 0) Append(out, ", ");
        AppendWord(out, child.name);
        if (child.guid) out.push_back(' '), AppendGuidText(out, *child.guid);
    }
    Append(out, "]\n");
}

// ---- binary ------------------------------------------------------------------------------

void AppendDimensionTokens(XBytes& out, const XTemplate& tmpl, const XDimension& dimension) {
    AppendToken(out, XTokenKind::OBracket);
    if (dimension.sizeMember) {
        AppendCountedToken(out, XTokenKind::Name, tmpl.members[*dimension.sizeMember].name);
    } else {
        AppendIntegerToken(out, dimension.fixedSize);
    }
    AppendToken(out, XTokenKind::CBracket);
}

void AppendMemberTokens(XBytes& out, const XTemplateRegistry& registry, const XTemplate& tmpl,
                        const XMember& member) {
    if (member.isArray) AppendToken(out, XTokenKind::Array);
    if (member.type == XPrimitive::Template) {
        AppendCountedToken(out, XTokenKind::Name, MemberTypeName(registry, member));
    } else {
        AppendToken(out, PrimitiveToken(member.type));
    }
    AppendCountedToken(out, XTokenKind::Name, member.name);
    for (const XDimension& dimension : member.dimensions) {
        AppendDimensionTokens(out, tmpl, dimension);
    }
    AppendToken(out, XTokenKind::Semicolon);
}

void AppendRestrictionTokens(XBytes& out, const XTemplate& tmpl) {
    if (tmpl.restriction == XRestriction::Closed) return;
    AppendToken(out, XTokenKind::OBracket);
    if (tmpl.restriction == XRestriction::Open) {
        for (int dot = 0; dot < 3; ++dot) AppendToken(out, XTokenKind::Dot);
    }
    for (std::size_t i = 0; i < tmpl.allowedChildren.size(); ++i) {
        const XAllowedChild& child = tmpl.allowedChildren[i];
        if (i > 0) AppendToken(out, XTokenKind::Comma);
        AppendCountedToken(out, XTokenKind::Name, child.name);
        if (child.guid) AppendGuidToken(out, *child.guid);
    }
    AppendToken(out, XTokenKind::CBracket);
}

}  // namespace

std::vector<std::size_t> TemplatesUsedBy(const XTemplateRegistry& registry,
                                         const XSaveNodes& roots) {
    UsedTemplates used(registry);
    used.AddTree(roots);
    return used.Take();
}

void AppendTemplateText(const XTemplateRegistry& registry, const XTemplate& tmpl, XBytes& out) {
    try {
        Append(out, "template ");
        AppendWord(out, tmpl.name);
        Append(out, " {\n");
        Append(out, kTextIndent);
        AppendGuidText(out, tmpl.guid);
        out.push_back('\n');
        for (const XMember& member : tmpl.members) AppendMemberText(out, registry, tmpl, member);
        AppendRestrictionText(out, tmpl);
        Append(out, "}\n");
    } catch (XUnwritableText& failure) {
        failure.what = "the definition of template \"" + tmpl.name + "\": " + failure.what;
        throw;
    }
}

void AppendTemplateTokens(const XTemplateRegistry& registry, const XTemplate& tmpl, XBytes& out) {
    AppendToken(out, XTokenKind::Template);
    AppendCountedToken(out, XTokenKind::Name, tmpl.name);
    AppendToken(out, XTokenKind::OBrace);
    AppendGuidToken(out, tmpl.guid);
    for (const XMember& member : tmpl.members) AppendMemberTokens(out, registry, tmpl, member);
    AppendRestrictionTokens(out, tmpl);
    AppendToken(out, XTokenKind::CBrace);
}

}  // namespace d3dx
