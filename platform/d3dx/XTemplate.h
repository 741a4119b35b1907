// Template definitions of the .X format and the registry that holds them.
//
// A template is a list of members; a member is a primitive or an earlier template,
// optionally an array whose dimensions are fixed numbers or earlier DWORD members of the
// same template. Member types are resolved when a template is registered, so the graph of
// templates is acyclic and every payload walk terminates.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/Guid.h"

namespace d3dx {

enum class XPrimitive : std::uint8_t {
    Word,
    Dword,
    Float,
    Double,
    Char,
    Uchar,
    Sword,
    Sdword,
    String,    // zero-terminated text, stored inline in payloads
    Unicode,   // declared by the format, not storable
    Cstring,   // declared by the format, not storable
    Template,  // the member's type is another template
};

// Bytes a primitive takes in a packed payload; 0 for STRING (variable) and the unstorable.
// Inline: every value of every payload asks.
constexpr std::size_t PrimitiveSize(XPrimitive type) {
    switch (type) {
        case XPrimitive::Char:
        case XPrimitive::Uchar:
            return 1;
        case XPrimitive::Word:
        case XPrimitive::Sword:
            return 2;
        case XPrimitive::Dword:
        case XPrimitive::Sdword:
        case XPrimitive::Float:
            return 4;
        case XPrimitive::Double:
            return 8;
        default:
            return 0;
    }
}

constexpr bool IsIntegerPrimitive(XPrimitive type) {
    switch (type) {
        case XPrimitive::Word:
        case XPrimitive::Dword:
        case XPrimitive::Char:
        case XPrimitive::Uchar:
        case XPrimitive::Sword:
        case XPrimitive::Sdword:
            return true;
        default:
            return false;
    }
}
std::string_view PrimitiveKeyword(XPrimitive type);  // "WORD", "DWORD", ... "STRING"

struct XDimension {
    std::uint32_t fixedSize = 0;            // used when sizeMember is empty
    std::optional<std::size_t> sizeMember;  // index of an earlier DWORD member
    std::string sizeMemberName;             // as written, for printing
};

struct XMember {
    std::string name;
    XPrimitive type = XPrimitive::Dword;
    std::size_t templateIndex = 0;  // registry index when type is Template
    std::string typeName;           // template name as written when type is Template
    bool isArray = false;
    std::vector<XDimension> dimensions;
};

enum class XRestriction : std::uint8_t { Closed, Open, Restricted };

struct XAllowedChild {
    std::string name;
    std::optional<GUID> guid;
};

struct XTemplate {
    std::string name;
    GUID guid;
    std::vector<XMember> members;
    XRestriction restriction = XRestriction::Closed;
    std::vector<XAllowedChild> allowedChildren;  // for Restricted
    std::size_t nestingDepth = 1;                // 1 + deepest member template
    std::size_t minimumSize = 0;                 // fewest payload bytes one instance takes
    // Set when the template is registered: the primitive of every member when all of them
    // are single values of one fixed-size primitive (Vector, Coords2d, ColorRGBA). An array
    // of such records is a plain run of values, which the writers and the reader take in
    // one step instead of value by value.
    std::optional<XPrimitive> recordScalar;
    // Set when the template is registered: the primitive of every value an instance holds,
    // arrays and nested templates included, when that is one fixed-size primitive (Vector,
    // MeshFace, Matrix4x4). The binary form keeps such values in one list, so the reader
    // takes an array of them straight from the list's bytes.
    std::optional<XPrimitive> uniformScalar;

    bool AllowsChild(const XTemplate& child) const;
};

// Templates by GUID and by name (names compare without regard to case). When a template is
// registered twice the first registration is the one found.
class XTemplateRegistry {
  public:
    // Deepest template nesting accepted; keeps payload walks on a small stack.
    static constexpr std::size_t kMaxNestingDepth = 32;

    const XTemplate* FindByGuid(const GUID& guid) const;
    const XTemplate* FindByName(std::string_view name) const;
    std::optional<std::size_t> IndexOfName(std::string_view name) const;
    const XTemplate& At(std::size_t index) const { return m_templates[index]; }
    std::size_t Size() const { return m_templates.size(); }

    // Adds a template whose member types are already resolved against this registry, and
    // works out its recordScalar and uniformScalar.
    void Add(XTemplate tmpl);

  private:
    std::vector<XTemplate> m_templates;
    std::map<std::string, std::size_t> m_byName;  // lower-case name -> first index
};

// The values of one instance's integer members as they are read, so that arrays sized by
// an earlier member know their length. Small templates need no allocation.
class XMemberValues {
  public:
    explicit XMemberValues(std::size_t memberCount);
    void Set(std::size_t member, std::uint64_t value) { m_values[member] = value; }
    // Elements of an array member: the product of its dimensions, at most 2^32. Inline:
    // asked once per element of an array of variable records, millions of times for faces.
    std::uint64_t ElementCount(const XMember& member) const {
        constexpr std::uint64_t kCeiling = std::uint64_t{1} << 32;
        std::uint64_t count = 1;
        for (const XDimension& dimension : member.dimensions) {
            std::uint64_t size =
                dimension.sizeMember ? m_values[*dimension.sizeMember] : dimension.fixedSize;
            count = (size != 0 && count > kCeiling / size) ? kCeiling
                                                           : std::min(count * size, kCeiling);
        }
        return count;
    }

  private:
    static constexpr std::size_t kInline = 16;
    // Only the values of the instance's own members are cleared: one instance is made per
    // element of an array of records.
    std::uint64_t m_inline[kInline];
    std::vector<std::uint64_t> m_heap;
    std::uint64_t* m_values;
};

std::string ToLowerAscii(std::string_view text);

}  // namespace d3dx
