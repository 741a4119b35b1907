#include "platform/d3dx/XParser.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/d3dx/XPayload.h"
#include "platform/d3dx/XPayloadWalk.h"

namespace d3dx {
namespace {

// The keyword token of each primitive member type, read by the parser and written by the
// template writer.
constexpr std::pair<XPrimitive, XTokenKind> kPrimitiveTokens[] = {
    {XPrimitive::Word, XTokenKind::Word},       {XPrimitive::Dword, XTokenKind::Dword},
    {XPrimitive::Float, XTokenKind::Float},     {XPrimitive::Double, XTokenKind::Double},
    {XPrimitive::Char, XTokenKind::Char},       {XPrimitive::Uchar, XTokenKind::Uchar},
    {XPrimitive::Sword, XTokenKind::Sword},     {XPrimitive::Sdword, XTokenKind::Sdword},
    {XPrimitive::String, XTokenKind::Lpstr},    {XPrimitive::Unicode, XTokenKind::Unicode},
    {XPrimitive::Cstring, XTokenKind::Cstring},
};

}  // namespace

std::optional<XPrimitive> PrimitiveOf(XTokenKind kind) {
    for (const auto& [primitive, token] : kPrimitiveTokens)
        if (token == kind) return primitive;
    return std::nullopt;
}

XTokenKind PrimitiveToken(XPrimitive type) {
    for (const auto& [primitive, token] : kPrimitiveTokens)
        if (primitive == type) return token;
    return XTokenKind::Name;  // a template's type is written by its name
}

namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kListValueBytes = 4;  // FLOAT (in 0032 files) and DWORD list values
constexpr std::uint64_t kSizeCeiling = std::uint64_t{1} << 32;

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// ---- header ---------------------------------------------------------------------------

std::string_view HeaderField(std::span<const std::uint8_t> image, std::size_t at, std::size_t n) {
    return {reinterpret_cast<const char*>(image.data()) + at, n};
}

// ---- templates --------------------------------------------------------------------------

std::uint64_t ElementMinimumSize(const XMember& member, const XTemplateRegistry& registry) {
    if (member.type == XPrimitive::Template) return registry.At(member.templateIndex).minimumSize;
    std::size_t size = PrimitiveSize(member.type);
    return size == 0 ? 1 : size;  // STRING takes its zero byte at least
}

std::uint64_t MemberMinimumSize(const XMember& member, const XTemplateRegistry& registry) {
    std::uint64_t size = ElementMinimumSize(member, registry);
    if (!member.isArray) return size;
    for (const XDimension& dimension : member.dimensions) {
        if (dimension.sizeMember) return 0;  // may be empty
        bool overflows = dimension.fixedSize != 0 && size > kSizeCeiling / dimension.fixedSize;
        size = overflows ? kSizeCeiling : std::min(size * dimension.fixedSize, kSizeCeiling);
    }
    return size;
}

void ParseDimension(XTokenStream& tokens, XTemplate& tmpl, XMember& member) {
    tokens.Expect(XTokenKind::OBracket, "an array size");
    XToken size = tokens.Next();
    XDimension dimension;
    if (size.kind == XTokenKind::Integer) {
        if (size.integer > UINT32_MAX) tokens.Fail(size, "array size out of range");
        dimension.fixedSize = static_cast<std::uint32_t>(size.integer);
    } else if (size.kind == XTokenKind::Name) {
        std::size_t index = 0;
        while (index < tmpl.members.size() && tmpl.members[index].name != size.text) ++index;
        if (index == tmpl.members.size() || tmpl.members[index].isArray ||
            !IsIntegerPrimitive(tmpl.members[index].type)) {
            tokens.Fail(size,
                        "array size " + Quoted(size.text) + " is not an earlier integer member");
        }
        dimension.sizeMember = index;
        dimension.sizeMemberName = size.text;
    } else {
        tokens.Fail(size, "expected an array size");
    }
    tokens.Expect(XTokenKind::CBracket, "an array size");
    member.dimensions.push_back(std::move(dimension));
}

XMember ParseMember(XTokenStream& tokens, XTemplate& tmpl, const XTemplateRegistry& registry) {
    XMember member;
    if (tokens.Peek().kind == XTokenKind::Array) {
        tokens.Next();
        member.isArray = true;
    }
    XToken type = tokens.Next();
    if (auto primitive = PrimitiveOf(type.kind)) {
        member.type = *primitive;
    } else if (type.kind == XTokenKind::Name) {
        auto index = registry.IndexOfName(type.text);
        if (!index) tokens.Fail(type, "unknown member type " + Quoted(type.text));
        member.type = XPrimitive::Template;
        member.templateIndex = *index;
        member.typeName = type.text;
        tmpl.nestingDepth = std::max(tmpl.nestingDepth, registry.At(*index).nestingDepth + 1);
    } else {
        tokens.Fail(type, std::string("expected a member type, found ") + TokenKindName(type.kind));
    }
    member.name = tokens.Expect(XTokenKind::Name, "a member name").text;
    while (tokens.Peek().kind == XTokenKind::OBracket) ParseDimension(tokens, tmpl, member);
    if (member.isArray != !member.dimensions.empty()) {
        tokens.Fail(type, "member " + Quoted(member.name) +
                              (member.isArray ? " is an array without a size"
                                              : " has a size but is not an array"));
    }
    if (member.isArray && ElementMinimumSize(member, registry) == 0) {
        tokens.Fail(type, "array member " + Quoted(member.name) + " has elements without data");
    }
    tokens.Expect(XTokenKind::Semicolon, "the end of a member");
    return member;
}

void ParseRestriction(XTokenStream& tokens, XTemplate& tmpl) {
    tokens.Expect(XTokenKind::OBracket, "a restriction");
    if (tokens.Peek().kind == XTokenKind::Dot) {
        for (int i = 0; i < 3; ++i) tokens.Expect(XTokenKind::Dot, "'...'");
        tmpl.restriction = XRestriction::Open;
    } else {
        tmpl.restriction = XRestriction::Restricted;
        do {
            XAllowedChild child;
            child.name = tokens.Expect(XTokenKind::Name, "a template name").text;
            if (tokens.Peek().kind == XTokenKind::Guid) child.guid = tokens.Next().guid;
            tmpl.allowedChildren.push_back(std::move(child));
            if (tokens.Peek().kind != XTokenKind::Comma) break;
            tokens.Next();
        } while (true);
    }
    tokens.Expect(XTokenKind::CBracket, "a restriction");
}

// ---- data objects -----------------------------------------------------------------------

bool CanBeObjectName(const XToken& token) {
    switch (token.kind) {
        case XTokenKind::Name:
        case XTokenKind::Integer:
        case XTokenKind::FloatValue:
            return !token.text.empty();
        default:
            return IsKeyword(token.kind) && token.kind != XTokenKind::Template;
    }
}

void AppendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t bytes) {
    std::uint8_t little[8];
    for (std::size_t i = 0; i < bytes; ++i) little[i] = static_cast<std::uint8_t>(value >> (8 * i));
    out.insert(out.end(), little, little + bytes);
}

class ObjectParser {
  public:
    ObjectParser(XTokenStream& tokens, const XTemplateRegistry& registry)
        : m_tokens(tokens), m_registry(registry) {}

    // Reads one top-level object with everything nested in it. The objects still open wait
    // on a list of their own, not on the call stack, so the depth a file may reach is set
    // by kMaxObjectDepth alone.
    XDataObject Parse() {
        XDataObject root = ReadHead(1);
        std::vector<XDataObject*> open{&root};
        while (!open.empty()) {
            m_tokens.SkipSeparators();
            const XToken& next = m_tokens.Peek();
            if (next.kind == XTokenKind::CBrace) {
                m_tokens.Next();
                open.pop_back();
                continue;
            }
            XDataObject& parent = *open.back();
            if (next.kind == XTokenKind::OBrace) {
                ReadReference(parent.children.emplace_back());
            } else if (next.kind == XTokenKind::Name || IsKeyword(next.kind)) {
                auto child = std::make_unique<XDataObject>(ReadHead(open.size() + 1));
                open.push_back(child.get());
                parent.children.emplace_back().object = std::move(child);
            } else {
                m_tokens.Fail(next,
                              std::string("expected a child object, a reference or '}', found ") +
                                  TokenKindName(next.kind));
            }
        }
        return root;
    }

  private:
    // Reads an object up to its children: template, name, '{', instance GUID and members.
    // `level` counts the object itself and those it is nested in.
    XDataObject ReadHead(std::size_t level) {
        XToken type = m_tokens.Next();
        const XTemplate* tmpl = m_registry.FindByName(type.text);
        if (tmpl == nullptr) m_tokens.Fail(type, "unknown template " + Quoted(type.text));
        if (level > kMaxObjectDepth) m_tokens.Fail(type, "objects nested too deeply");
        XDataObject object;
        object.offset = type.offset;
        object.templateGuid = tmpl->guid;
        object.templateName = tmpl->name;
        if (CanBeObjectName(m_tokens.Peek())) object.name = m_tokens.Next().text;
        m_tokens.Expect(XTokenKind::OBrace, "'{' after the object name");
        if (m_tokens.Peek().kind == XTokenKind::Guid) object.id = m_tokens.Next().guid;
        ReadMembers(*tmpl, object.payload);
        return object;
    }

    void ReadReference(XChild& child) {
        XToken open = m_tokens.Next();
        if (CanBeObjectName(m_tokens.Peek())) child.referenceName = m_tokens.Next().text;
        if (m_tokens.Peek().kind == XTokenKind::Guid) child.referenceGuid = m_tokens.Next().guid;
        if (child.referenceName.empty() && !child.referenceGuid) {
            m_tokens.Fail(open, "reference without a name");
        }
        m_tokens.Expect(XTokenKind::CBrace, "the end of a reference");
    }

    void ReadMembers(const XTemplate& tmpl, std::vector<std::uint8_t>& payload) {
        XMemberValues values(tmpl.members.size());
        for (std::size_t i = 0; i < tmpl.members.size(); ++i) {
            const XMember& member = tmpl.members[i];
            if (!member.isArray) {
                if (auto value = ReadValue(member, payload)) values.Set(i, *value);
                continue;
            }
            std::uint64_t count = values.ElementCount(member);
            if (count > 0 && ReadElementsFromList(member, count, payload)) continue;
            for (std::uint64_t element = 0; element < count; ++element) ReadValue(member, payload);
        }
    }

    // An array whose values are all FLOAT or all DWORD, lying whole in one binary list of
    // that kind, is the list's bytes as they stand: they are copied in one step. False, with
    // nothing read, when the array is not like that.
    bool ReadElementsFromList(const XMember& member, std::uint64_t count,
                              std::vector<std::uint8_t>& payload) {
        std::optional<XPrimitive> type = member.type;
        if (member.type == XPrimitive::Template)
            type = m_registry.At(member.templateIndex).uniformScalar;
        if (type != XPrimitive::Float && type != XPrimitive::Dword) return false;
        std::span<const std::uint8_t> list = m_tokens.PeekedListBytes(type == XPrimitive::Float);
        if (list.empty()) return false;
        std::optional<std::size_t> bytes = MeasureElements(m_registry, member, count, list);
        if (!bytes) return false;
        payload.insert(payload.end(), list.begin(),
                       list.begin() + static_cast<std::ptrdiff_t>(*bytes));
        m_tokens.TakeListValues(*bytes / kListValueBytes);
        m_tokens.SkipSeparators();
        return true;
    }

    std::optional<std::uint64_t> ReadValue(const XMember& member,
                                           std::vector<std::uint8_t>& payload) {
        std::optional<std::uint64_t> value;
        switch (member.type) {
            case XPrimitive::Template:
                ReadMembers(m_registry.At(member.templateIndex), payload);
                break;
            case XPrimitive::String: {
                XToken text = m_tokens.Expect(XTokenKind::String, "a string");
                // A payload string ends at its zero byte: one inside could not be read back.
                if (text.text.find('\0') != std::string::npos) {
                    m_tokens.Fail(text, "string holds a zero byte");
                }
                payload.insert(payload.end(), text.text.begin(), text.text.end());
                payload.push_back(0);
                break;
            }
            case XPrimitive::Float:
            case XPrimitive::Double:
                ReadFloat(member, payload);
                break;
            case XPrimitive::Unicode:
            case XPrimitive::Cstring:
                m_tokens.Fail(m_tokens.Peek(),
                              "member " + Quoted(member.name) + " cannot be stored");
            default:
                value = ReadInteger(member, payload);
                break;
        }
        m_tokens.SkipSeparators();
        return value;
    }

    void ReadFloat(const XMember& member, std::vector<std::uint8_t>& payload) {
        XToken token = m_tokens.Next();
        double wide;
        float narrow;
        if (token.kind == XTokenKind::FloatValue) {
            wide = token.doubleValue;
            narrow = token.floatValue;
        } else if (token.kind == XTokenKind::Integer && token.integerHasReal) {
            wide = token.doubleValue;
            narrow = token.floatValue;
        } else if (token.kind == XTokenKind::Integer) {
            wide = static_cast<double>(token.integer);
            narrow = static_cast<float>(token.integer);
        } else {
            m_tokens.Fail(token, "expected a number for " + Quoted(member.name) + ", found " +
                                     TokenKindName(token.kind));
        }
        std::uint64_t bits = 0;
        if (member.type == XPrimitive::Float) {
            std::uint32_t narrowBits;
            std::memcpy(&narrowBits, &narrow, 4);
            bits = narrowBits;
        } else {
            std::memcpy(&bits, &wide, 8);
        }
        AppendLittleEndian(payload, bits, PrimitiveSize(member.type));
    }

    std::uint64_t ReadInteger(const XMember& member, std::vector<std::uint8_t>& payload) {
        XToken token = m_tokens.Next();
        std::size_t size = PrimitiveSize(member.type);
        bool isSigned = member.type == XPrimitive::Char || member.type == XPrimitive::Sword ||
                        member.type == XPrimitive::Sdword;
        std::uint64_t bits;
        if (token.kind == XTokenKind::Integer) {
            std::uint64_t limit = isSigned ? (std::uint64_t{1} << (size * 8 - 1)) - 1
                                           : (std::uint64_t{1} << (size * 8)) - 1;
            if (token.integer > limit)
                m_tokens.Fail(token, "value out of range for " + Quoted(member.name));
            bits = token.integer;
        } else if (isSigned && token.kind == XTokenKind::FloatValue &&
                   std::trunc(token.doubleValue) == token.doubleValue &&
                   std::fabs(token.doubleValue) <=
                       std::ldexp(1.0, static_cast<int>(size * 8 - 1))) {
            bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(token.doubleValue));
        } else {
            m_tokens.Fail(token, "expected an integer for " + Quoted(member.name) + ", found " +
                                     TokenKindName(token.kind));
        }
        AppendLittleEndian(payload, bits, size);
        return token.kind == XTokenKind::Integer ? token.integer : 0;
    }

    XTokenStream& m_tokens;
    const XTemplateRegistry& m_registry;
};

}  // namespace

const XToken& XTokenStream::Peek() {
    if (!m_peeked) m_peeked = m_lexer.Next();
    return *m_peeked;
}

XToken XTokenStream::Next() {
    if (m_peeked) {
        XToken token = std::move(*m_peeked);
        m_peeked.reset();
        return token;
    }
    return m_lexer.Next();
}

XToken XTokenStream::Expect(XTokenKind kind, const char* context) {
    XToken token = Next();
    if (token.kind != kind) {
        Fail(token, std::string("expected ") + TokenKindName(kind) + " (" + context + "), found " +
                        TokenKindName(token.kind));
    }
    return token;
}

void XTokenStream::SkipSeparators() {
    while (IsSeparator(Peek().kind)) Next();
}

std::span<const std::uint8_t> XTokenStream::PeekedListBytes(bool floats) {
    if (!m_peeked) return {};
    return m_lexer.ListFromLast(floats);
}

void XTokenStream::TakeListValues(std::size_t count) {
    m_peeked.reset();
    m_lexer.SkipListElements(count - 1);
}

void XTokenStream::Fail(const XToken& at, const std::string& what) {
    throw XParseError(D3DXFERR_PARSEERROR, at.offset, what);
}

XHeader ParseHeader(std::span<const std::uint8_t> image) {
    if (image.size() < kHeaderBytes || HeaderField(image, 0, 4) != "xof ") {
        throw XParseError(D3DXFERR_BADFILETYPE, 0, "not a .X file (no \"xof \" header)");
    }
    XHeader header;
    std::string_view version = HeaderField(image, 4, 4);
    if (version != "0302" && version != "0303") {
        throw XParseError(D3DXFERR_BADFILEVERSION, 4,
                          "unsupported version " + std::string(version));
    }
    header.minorVersion = version == "0302" ? 2 : 3;
    std::string_view form = HeaderField(image, 8, 4);
    if (form == "txt ")
        header.form = XFileForm::Text;
    else if (form == "bin ")
        header.form = XFileForm::Binary;
    else if (form == "tzip")
        header.form = XFileForm::CompressedText;
    else if (form == "bzip")
        header.form = XFileForm::CompressedBinary;
    else
        throw XParseError(D3DXFERR_BADFILETYPE, 8, "unknown format " + Quoted(std::string(form)));
    std::string_view floats = HeaderField(image, 12, 4);
    if (floats != "0032" && floats != "0064") {
        throw XParseError(D3DXFERR_BADFILEFLOATSIZE, 12,
                          "unsupported float size " + std::string(floats));
    }
    header.floatBits = floats == "0032" ? 32 : 64;
    return header;
}

void ParseTemplate(XTokenStream& tokens, XTemplateRegistry& registry) {
    XTemplate tmpl;
    XToken name = tokens.Expect(XTokenKind::Name, "a template name");
    tmpl.name = name.text;
    tokens.Expect(XTokenKind::OBrace, "the template body");
    tmpl.guid = tokens.Expect(XTokenKind::Guid, "the template GUID").guid;
    while (tokens.Peek().kind != XTokenKind::CBrace && tokens.Peek().kind != XTokenKind::OBracket) {
        tmpl.members.push_back(ParseMember(tokens, tmpl, registry));
    }
    if (tokens.Peek().kind == XTokenKind::OBracket) ParseRestriction(tokens, tmpl);
    tokens.Expect(XTokenKind::CBrace, "the end of the template");
    if (tmpl.nestingDepth > XTemplateRegistry::kMaxNestingDepth) {
        tokens.Fail(name, "template " + Quoted(tmpl.name) + " nests too deeply");
    }
    std::uint64_t minimum = 0;
    for (const XMember& member : tmpl.members) {
        minimum = std::min(minimum + MemberMinimumSize(member, registry), kSizeCeiling);
    }
    tmpl.minimumSize = static_cast<std::size_t>(minimum);
    registry.Add(std::move(tmpl));
}

void ParseImage(std::span<const std::uint8_t> image, const XHeader& header, XFileContents& contents,
                bool objectsAllowed) {
    bool text = header.form == XFileForm::Text || header.form == XFileForm::CompressedText;
    auto lexer = text ? MakeTextLexer(image) : MakeBinaryLexer(image, header.floatBits / 8);
    XTokenStream tokens(*lexer);
    for (;;) {
        tokens.SkipSeparators();
        const XToken& next = tokens.Peek();
        if (next.kind == XTokenKind::End) return;
        if (next.kind == XTokenKind::Template) {
            tokens.Next();
            ParseTemplate(tokens, contents.templates);
        } else if (objectsAllowed && (next.kind == XTokenKind::Name || IsKeyword(next.kind))) {
            ObjectParser parser(tokens, contents.templates);
            contents.objects.push_back(parser.Parse());
        } else {
            tokens.Fail(next, std::string(objectsAllowed ? "expected a template or a data object"
                                                         : "expected a template") +
                                  ", found " + TokenKindName(next.kind));
        }
    }
}

}  // namespace d3dx
