#include "platform/d3dx/XTemplate.h"

#include <algorithm>

namespace d3dx {

std::string_view PrimitiveKeyword(XPrimitive type) {
    switch (type) {
        case XPrimitive::Word:
            return "WORD";
        case XPrimitive::Dword:
            return "DWORD";
        case XPrimitive::Float:
            return "FLOAT";
        case XPrimitive::Double:
            return "DOUBLE";
        case XPrimitive::Char:
            return "CHAR";
        case XPrimitive::Uchar:
            return "UCHAR";
        case XPrimitive::Sword:
            return "SWORD";
        case XPrimitive::Sdword:
            return "SDWORD";
        case XPrimitive::String:
            return "STRING";
        case XPrimitive::Unicode:
            return "UNICODE";
        case XPrimitive::Cstring:
            return "CSTRING";
        case XPrimitive::Template:
            return "";
    }
    return "";
}

std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

bool XTemplate::AllowsChild(const XTemplate& child) const {
    switch (restriction) {
        case XRestriction::Open:
            return true;
        case XRestriction::Closed:
            return false;
        case XRestriction::Restricted:
            return std::any_of(allowedChildren.begin(), allowedChildren.end(),
                               [&](const XAllowedChild& allowed) {
                                   if (allowed.guid) return *allowed.guid == child.guid;
                                   return ToLowerAscii(allowed.name) == ToLowerAscii(child.name);
                               });
    }
    return false;
}

XMemberValues::XMemberValues(std::size_t memberCount) : m_values(m_inline) {
    if (memberCount > kInline) {
        m_heap.assign(memberCount, 0);
        m_values = m_heap.data();
    } else {
        std::fill_n(m_inline, memberCount, 0);
    }
}

const XTemplate* XTemplateRegistry::FindByGuid(const GUID& guid) const {
    auto it = std::find_if(m_templates.begin(), m_templates.end(),
                           [&](const XTemplate& t) { return t.guid == guid; });
    return it == m_templates.end() ? nullptr : &*it;
}

std::optional<std::size_t> XTemplateRegistry::IndexOfName(std::string_view name) const {
    auto it = m_byName.find(ToLowerAscii(name));
    if (it == m_byName.end()) return std::nullopt;
    return it->second;
}

const XTemplate* XTemplateRegistry::FindByName(std::string_view name) const {
    auto index = IndexOfName(name);
    return index ? &m_templates[*index] : nullptr;
}

namespace {

std::optional<XPrimitive> RecordScalarOf(const XTemplate& tmpl) {
    if (tmpl.members.empty()) return std::nullopt;
    XPrimitive type = tmpl.members.front().type;
    if (PrimitiveSize(type) == 0) return std::nullopt;
    for (const XMember& member : tmpl.members) {
        if (member.isArray || member.type != type) return std::nullopt;
    }
    return type;
}

std::optional<XPrimitive> UniformScalarOf(const XTemplate& tmpl,
                                          const std::vector<XTemplate>& earlier) {
    std::optional<XPrimitive> type;
    for (const XMember& member : tmpl.members) {
        std::optional<XPrimitive> memberType = member.type;
        if (member.type == XPrimitive::Template) {
            memberType = earlier[member.templateIndex].uniformScalar;
        } else if (PrimitiveSize(member.type) == 0) {
            memberType = std::nullopt;
        }
        if (!memberType || (type && *type != *memberType)) return std::nullopt;
        type = memberType;
    }
    return type;
}

}  // namespace

void XTemplateRegistry::Add(XTemplate tmpl) {
    tmpl.recordScalar = RecordScalarOf(tmpl);
    tmpl.uniformScalar = UniformScalarOf(tmpl, m_templates);
    m_byName.emplace(ToLowerAscii(tmpl.name), m_templates.size());
    m_templates.push_back(std::move(tmpl));
}

}  // namespace d3dx
