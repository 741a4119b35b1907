#include "platform/d3dx/XDump.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/d3dx/XNumberText.h"
#include "platform/d3dx/XPayload.h"

namespace d3dx {
namespace {

// A member value as the dump shows it.
struct DumpValue {
    enum class Kind { Number, Text, List, Record } kind = Kind::Number;
    std::string number;              // Number: already formatted
    std::string text;                // Text: the string's bytes
    std::vector<DumpValue> items;    // List, Record (in member order)
    std::vector<std::string> names;  // Record: member names
};

// Builds DumpValues from the payload walk: a stack of open lists and records.
class ValueBuilder : public XPayloadVisitor {
  public:
    ValueBuilder() {
        m_stack.push_back(&m_root);
        m_root.kind = DumpValue::Kind::Record;
    }

    void Scalar(XPrimitive type, const std::uint8_t* bytes) override {
        DumpValue value;
        if (type == XPrimitive::Float) {
            AppendFloatText(value.number, LoadFloat(bytes));
        } else if (type == XPrimitive::Double) {
            AppendDoubleText(value.number, LoadDouble(bytes));
        } else if (type == XPrimitive::Char || type == XPrimitive::Sword ||
                   type == XPrimitive::Sdword) {
            AppendSignedText(value.number, LoadSigned(type, bytes));
        } else {
            AppendUnsignedText(value.number, LoadInteger(type, bytes));
        }
        Add(std::move(value));
    }
    void String(std::string_view text) override {
        DumpValue value;
        value.kind = DumpValue::Kind::Text;
        value.text = text;
        Add(std::move(value));
    }
    void BeginMember(const XMember& member, std::size_t) override { m_pendingName = member.name; }
    void BeginArray(const XMember&, std::uint64_t, std::size_t) override {
        Open(DumpValue::Kind::List);
    }
    void EndArray(const XMember&, std::size_t) override { m_stack.pop_back(); }
    void BeginStruct(const XTemplate&, std::size_t) override { Open(DumpValue::Kind::Record); }
    void EndStruct(const XTemplate&, std::size_t) override { m_stack.pop_back(); }

    DumpValue Take() { return std::move(m_root); }

  private:
    // Adds a value to the innermost open list or record; a record names it.
    DumpValue& Add(DumpValue value) {
        DumpValue& parent = *m_stack.back();
        if (parent.kind == DumpValue::Kind::Record) parent.names.push_back(m_pendingName);
        parent.items.push_back(std::move(value));
        return parent.items.back();
    }
    void Open(DumpValue::Kind kind) {
        DumpValue value;
        value.kind = kind;
        m_stack.push_back(&Add(std::move(value)));
    }

    DumpValue m_root;
    std::vector<DumpValue*> m_stack;
    std::string m_pendingName;
};

DumpValue MembersOf(const XFileContents& contents, const XDataObject& object) {
    const XTemplate* tmpl = contents.templates.FindByGuid(object.templateGuid);
    ValueBuilder builder;
    if (tmpl != nullptr) WalkPayload(contents.templates, *tmpl, object.payload, builder);
    return builder.Take();
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// JSON has no NaN or infinity: those numbers become strings.
std::string JsonNumber(const std::string& number) {
    return number.find('#') == std::string::npos ? number : JsonString(number);
}

void RenderValue(const DumpValue& value, bool json, std::string& out) {
    switch (value.kind) {
        case DumpValue::Kind::Number:
            out += json ? JsonNumber(value.number) : value.number;
            return;
        case DumpValue::Kind::Text:
            out += json ? JsonString(value.text) : "\"" + value.text + "\"";
            return;
        case DumpValue::Kind::List:
            out += '[';
            for (std::size_t i = 0; i < value.items.size(); ++i) {
                if (i > 0) out += ", ";
                RenderValue(value.items[i], json, out);
            }
            out += ']';
            return;
        case DumpValue::Kind::Record:
            out += '{';
            for (std::size_t i = 0; i < value.items.size(); ++i) {
                if (i > 0) out += ", ";
                out += json ? JsonString(value.names[i]) + ": " : value.names[i] + ": ";
                RenderValue(value.items[i], json, out);
            }
            out += '}';
            return;
    }
}

void Indent(std::string& out, std::size_t level) {
    out.append(level * 2, ' ');
}

std::string ReferenceTarget(const XChild& reference) {
    if (!reference.referenceName.empty()) return reference.referenceName;
    // Appended, not "<" + FormatGuid(...): GCC 12 at -O3 takes that concatenation's inlined
    // memcpy for an overlapping one (a false -Wrestrict).
    std::string text = "<";
    text += FormatGuid(*reference.referenceGuid);
    text += '>';
    return text;
}

void OpenObjectText(const XFileContents& contents, const XDataObject& object, std::size_t level,
                    std::string& out) {
    Indent(out, level);
    out += object.templateName;
    if (!object.name.empty()) out += " " + object.name;
    out += " {\n";
    DumpValue members = MembersOf(contents, object);
    for (std::size_t i = 0; i < members.items.size(); ++i) {
        Indent(out, level + 1);
        out += members.names[i] + ": ";
        RenderValue(members.items[i], false, out);
        out += '\n';
    }
}

void DumpObjectText(const XFileContents& contents, const XDataObject& root, std::string& out) {
    WalkDataTree(
        root,
        [&](const XDataObject& object, std::size_t level) {
            OpenObjectText(contents, object, level, out);
        },
        [&](const XChild& reference, std::size_t level) {
            Indent(out, level);
            out += "-> " + ReferenceTarget(reference) + "\n";
        },
        [&](const XDataObject&, std::size_t level) {
            Indent(out, level);
            out += "}\n";
        });
}

// A child's JSON follows its elder sibling's after a comma; the first follows the '['.
void SeparateFromElderSibling(std::string& out) {
    if (out.back() != '[') out += ", ";
}

void OpenObjectJson(const XFileContents& contents, const XDataObject& object, std::string& out) {
    out += "{\"template\": " + JsonString(object.templateName);
    out += ", \"templateGuid\": " + JsonString(FormatGuid(object.templateGuid));
    if (!object.name.empty()) out += ", \"name\": " + JsonString(object.name);
    out += ", \"members\": ";
    RenderValue(MembersOf(contents, object), true, out);
    out += ", \"children\": [";
}

void DumpObjectJson(const XFileContents& contents, const XDataObject& root, std::string& out) {
    WalkDataTree(
        root,
        [&](const XDataObject& object, std::size_t level) {
            if (level > 0) SeparateFromElderSibling(out);
            OpenObjectJson(contents, object, out);
        },
        [&](const XChild& reference, std::size_t) {
            SeparateFromElderSibling(out);
            out += "{\"reference\": " + JsonString(reference.referenceName);
            if (reference.referenceGuid)
                out += ", \"guid\": " + JsonString(FormatGuid(*reference.referenceGuid));
            out += "}";
        },
        [&](const XDataObject&, std::size_t) { out += "]}"; });
}

}  // namespace

std::string DumpText(const XFileContents& contents) {
    std::string out = std::string("form ") + FormName(contents.form) + ", floats " +
                      std::to_string(contents.floatBits) + "\n";
    for (const XDataObject& object : contents.objects) DumpObjectText(contents, object, out);
    return out;
}

std::string DumpJson(const XFileContents& contents) {
    std::string out = std::string("{\"form\": \"") + FormName(contents.form) +
                      "\", \"floatBits\": " + std::to_string(contents.floatBits) +
                      ", \"objects\": [";
    for (std::size_t i = 0; i < contents.objects.size(); ++i) {
        out += i > 0 ? ",\n  " : "\n  ";
        DumpObjectJson(contents, contents.objects[i], out);
    }
    return out + "\n]}\n";
}

}  // namespace d3dx
