// The text form: the definitions of the templates the data uses, then one object per
// block, one member per line, one element per line for arrays sized by another member;
// every value ends with ';', array elements are joined by ',', so a nested structure ends
// with ';;' (its last member and the member itself).
#include <span>
#include <string_view>
#include <vector>

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
        m_out.Advance(static_cast<std::size_t>(WriteValueText(type, bytes, start) - start));
    }

    // The elements as the value-by-value walk writes them: a record's members each end
    // with ';', elements are separated as ElementSeparator does. A run is never empty, so
    // the line's indent goes before its first value.
    void Run(const XMember& array, XPrimitive type, const std::uint8_t* bytes, std::size_t elements,
             std::size_t scalarsPerElement, std::size_t depth) {
        StartLine();
        bool lineBreaks = depth == 0 && IsSizedByMember(array);
        WithValueWriter(type, [&](auto writeValue) {
            std::size_t size = PrimitiveSize(type);
            if (array.type == XPrimitive::Template) {
                WriteRecordRun(bytes, size, elements, scalarsPerElement, lineBreaks, writeValue);
            } else {
                WriteValueRun(bytes, size, elements, lineBreaks, writeValue);
            }
        });
    }

    // Flat records (MeshFace) in the characters the walk would write for them: each member
    // ends with ';', the values of an inner array are joined by ',', and an empty inner array
    // writes nothing. The line's indent still waits for the first character.
    static constexpr bool kTakesFlatRecords = true;
    void FlatRecords(const XMember& array, const XFlatRecordLayout& layout,
                     std::span<const std::uint8_t> bytes, std::size_t elements, std::size_t depth) {
        bool lineBreaks = depth == 0 && IsSizedByMember(array);
        if (layout.IsCountedList()) return WriteCountedLists(bytes.data(), elements, lineBreaks);
        std::vector<std::uint64_t> values(layout.MemberCount());
        WithValueWriter(layout.Type(), [&](auto writeValue) {
            const std::uint8_t* at = bytes.data();
            for (std::size_t index = 0; index < elements; ++index) {
                if (index > 0) WriteElementSeparator(lineBreaks);
                at = WriteFlatRecord(layout, at, values.data(), writeValue);
            }
        });
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
        WriteElementSeparator(depth == 0 && IsSizedByMember(member));
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
    // Room for one value and the character that follows it.
    static constexpr std::size_t kValueRoom = kNumberTextBytes + 1;
    // A separator and indent longer than this (a tree nested thousands deep) go the slow way.
    static constexpr std::size_t kMostInlineSeparator = 256;
    static constexpr std::size_t kDwordBytes = 4;
    // The longest DWORD, 4294967295, and the character after it.
    static constexpr std::size_t kDwordRoom = 11;
    // Counted lists shorter than this are spelt a record at a time; the room they ask for
    // stays far below a chunk of the output.
    static constexpr std::uint32_t kMostDwordsAtOnce = 4096;

    // Calls `write` with a function that spells one value of `type`, chosen here once for a
    // whole array: the common types get a function of their own, with no choice per value.
    template <typename Write>
    static void WithValueWriter(XPrimitive type, Write&& write) {
        switch (type) {
            case XPrimitive::Float:
                return write([](const std::uint8_t* bytes, char* out) {
                    return WriteFloatText(LoadFloat(bytes), out);
                });
            case XPrimitive::Dword:
                return write([](const std::uint8_t* bytes, char* out) {
                    return WriteDwordText(LoadDword(bytes), out);
                });
            default:
                return write([type](const std::uint8_t* bytes, char* out) {
                    return WriteValueText(type, bytes, out);
                });
        }
    }

    static char* WriteValueText(XPrimitive type, const std::uint8_t* bytes, char* out) {
        switch (type) {
            case XPrimitive::Float:
                return WriteFloatText(LoadFloat(bytes), out);
            case XPrimitive::Double:
                return WriteDoubleText(LoadDouble(bytes), out);
            case XPrimitive::Char:
            case XPrimitive::Sword:
            case XPrimitive::Sdword:
                return WriteSignedText(LoadSigned(type, bytes), out);
            default:
                return WriteUnsignedText(LoadInteger(type, bytes), out);
        }
    }

    // One value and the character after it, with one look at the room left.
    template <typename WriteValue>
    void WriteValueThen(const std::uint8_t* bytes, char after, WriteValue& writeValue) {
        char* start = reinterpret_cast<char*>(m_out.Room(kValueRoom));
        char* end = writeValue(bytes, start);
        *end++ = after;
        m_out.Advance(static_cast<std::size_t>(end - start));
    }

    // Records of single values (Vector): every value ends with ';'.
    template <typename WriteValue>
    void WriteRecordRun(const std::uint8_t* bytes, std::size_t size, std::size_t elements,
                        std::size_t perElement, bool lineBreaks, WriteValue& writeValue) {
        for (std::size_t element = 0; element < elements; ++element) {
            if (element > 0) WriteElementSeparator(lineBreaks);
            for (std::size_t i = 0; i < perElement; ++i, bytes += size) {
                WriteValueThen(bytes, ';', writeValue);
            }
        }
    }

    template <typename WriteValue>
    void WriteValueRun(const std::uint8_t* bytes, std::size_t size, std::size_t elements,
                       bool lineBreaks, WriteValue& writeValue) {
        for (std::size_t element = 1; element < elements; ++element, bytes += size) {
            WriteValueThen(bytes, ',', writeValue);
            if (lineBreaks) WriteLineBreak();
        }
        char* start = reinterpret_cast<char*>(m_out.Room(kNumberTextBytes));
        m_out.Advance(static_cast<std::size_t>(writeValue(bytes, start) - start));
    }

    // Records of that shape as WriteFlatRecord writes them, without its look at each member:
    // every record starts with its count, so the line's indent goes before the first. A
    // record of fewer than kMostDwordsAtOnce indices is spelt with one look at the room left.
    void WriteCountedLists(const std::uint8_t* bytes, std::size_t elements, bool lineBreaks) {
        std::size_t separator = SeparatorLength(lineBreaks);
        StartLine();
        for (std::size_t index = 0; index < elements; ++index) {
            std::uint32_t count = LoadDword(bytes);
            std::size_t separatorHere = index > 0 ? separator : 0;
            if (count >= kMostDwordsAtOnce || separatorHere > kMostInlineSeparator) {
                if (index > 0) WriteElementSeparator(lineBreaks);
                bytes = WriteCountedListByValue(bytes);
                continue;
            }
            char* start = reinterpret_cast<char*>(
                m_out.Room(separatorHere + (std::size_t{count} + 1) * kDwordRoom));
            char* at = SpellSeparator(start, separatorHere);
            at = SpellCountedList(bytes, count, at);
            bytes += (std::size_t{count} + 1) * kDwordBytes;
            m_out.Advance(static_cast<std::size_t>(at - start));
        }
    }

    // One record: its count, ';', its values joined by ',', and ';' after the last.
    static char* SpellCountedList(const std::uint8_t* bytes, std::uint32_t count, char* at) {
        at = WriteDwordText(count, at);
        *at++ = ';';
        if (count == 0) return at;
        for (std::uint32_t value = 0; value < count; ++value) {
            bytes += kDwordBytes;
            at = WriteDwordText(LoadDword(bytes), at);
            *at++ = ',';
        }
        at[-1] = ';';
        return at;
    }

    // A record too long to spell at once: each value gets its own look at the room left.
    const std::uint8_t* WriteCountedListByValue(const std::uint8_t* bytes) {
        auto writeValue = [](const std::uint8_t* at, char* out) {
            return WriteDwordText(LoadDword(at), out);
        };
        std::uint32_t count = LoadDword(bytes);
        WriteValueThen(bytes, ';', writeValue);
        bytes += kDwordBytes;
        if (count == 0) return bytes;
        for (std::uint32_t value = 1; value < count; ++value, bytes += kDwordBytes) {
            WriteValueThen(bytes, ',', writeValue);
        }
        WriteValueThen(bytes, ';', writeValue);
        return bytes + kDwordBytes;
    }

    // One record; `values` keeps its integer members for the arrays they size.
    template <typename WriteValue>
    const std::uint8_t* WriteFlatRecord(const XFlatRecordLayout& layout, const std::uint8_t* bytes,
                                        std::uint64_t* values, WriteValue& writeValue) {
        XPrimitive type = layout.Type();
        std::size_t size = layout.ValueSize();
        const auto& members = layout.Members();
        for (std::size_t i = 0; i < members.size(); ++i) {
            std::uint64_t count = layout.ValueCount(i, values);
            if (count == 0) continue;
            if (!members[i].isArray) values[i] = LoadInteger(type, bytes);
            StartLine();
            for (std::uint64_t value = 1; value < count; ++value, bytes += size) {
                WriteValueThen(bytes, ',', writeValue);
            }
            WriteValueThen(bytes, ';', writeValue);
            bytes += size;
        }
        return bytes;
    }

    // ',' and, for a member's own array sized by another member, the next line's indent,
    // with one look at the room left: written once per face of a mesh.
    void WriteElementSeparator(bool lineBreak) {
        std::size_t length = SeparatorLength(lineBreak);
        if (length > kMostInlineSeparator) {
            m_out.Push(',');
            return WriteLineBreak();
        }
        char* start = reinterpret_cast<char*>(m_out.Room(length));
        m_out.Advance(static_cast<std::size_t>(SpellSeparator(start, length) - start));
    }

    std::size_t SeparatorLength(bool lineBreak) const { return lineBreak ? 2 + m_indent : 1; }

    // The separator of `length` characters (none for 0): ',' alone, or ',', a line break
    // and the indent.
    static char* SpellSeparator(char* at, std::size_t length) {
        if (length == 0) return at;
        at[0] = ',';
        if (length > 1) at[1] = '\n';
        for (std::size_t i = 2; i < length; ++i) at[i] = ' ';
        return at + length;
    }

    void WriteLineBreak() {
        m_out.Push('\n');
        m_out.AppendFill(' ', m_indent);
    }

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
