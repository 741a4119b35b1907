#include "platform/d3dx/XPayload.h"

#include <cstring>
#include <optional>
#include <vector>

namespace d3dx {
namespace {

struct WalkFailure {
    HRESULT hr;
    const XMember* member;
};

class PayloadWalker {
  public:
    PayloadWalker(const XTemplateRegistry& registry, std::span<const std::uint8_t> payload,
                  XPayloadVisitor& visitor)
        : m_registry(registry), m_payload(payload), m_visitor(visitor) {}

    void WalkMembers(const XTemplate& tmpl, std::size_t depth) {
        // Values of the integer members read so far: array sizes refer to them.
        XMemberValues values(tmpl.members.size());
        for (std::size_t i = 0; i < tmpl.members.size(); ++i) {
            const XMember& member = tmpl.members[i];
            m_visitor.BeginMember(member, depth);
            if (member.isArray) {
                WalkArray(member, ElementCount(member, values), depth);
            } else if (auto value = WalkValue(member, depth)) {
                values.Set(i, *value);
            }
            m_visitor.EndMember(member, depth);
        }
    }

    std::size_t Used() const { return m_pos; }

  private:
    std::uint64_t ElementCount(const XMember& member, const XMemberValues& values) const {
        std::uint64_t count = values.ElementCount(member);
        if (count > UINT32_MAX) throw WalkFailure{D3DXFERR_BADARRAYSIZE, &member};
        // Every element takes at least one byte: a count beyond the payload cannot be right.
        std::uint64_t minimum = MinimumElementSize(member);
        if (count > 0 && minimum > 0 && count > (m_payload.size() - m_pos) / minimum) {
            throw WalkFailure{D3DXFERR_BADARRAYSIZE, &member};
        }
        return count;
    }

    std::uint64_t MinimumElementSize(const XMember& member) const {
        if (member.type == XPrimitive::Template) {
            return m_registry.At(member.templateIndex).minimumSize;
        }
        return member.type == XPrimitive::String ? 1 : PrimitiveSize(member.type);
    }

    void WalkArray(const XMember& member, std::uint64_t count, std::size_t depth) {
        m_visitor.BeginArray(member, count, depth);
        for (std::uint64_t element = 0; element < count; ++element) {
            if (element > 0) m_visitor.ElementSeparator(member, depth);
            WalkValue(member, depth);
        }
        m_visitor.EndArray(member, depth);
    }

    // Returns the value of an integer scalar, for array sizes.
    std::optional<std::uint64_t> WalkValue(const XMember& member, std::size_t depth) {
        switch (member.type) {
            case XPrimitive::Template: {
                const XTemplate& nested = m_registry.At(member.templateIndex);
                m_visitor.BeginStruct(nested, depth + 1);
                WalkMembers(nested, depth + 1);
                m_visitor.EndStruct(nested, depth + 1);
                return std::nullopt;
            }
            case XPrimitive::String:
                WalkString(member);
                return std::nullopt;
            case XPrimitive::Unicode:
            case XPrimitive::Cstring:
                throw WalkFailure{D3DXFERR_BADTYPE, &member};
            default:
                break;
        }
        std::size_t size = PrimitiveSize(member.type);
        if (m_payload.size() - m_pos < size) throw WalkFailure{D3DXFERR_BADVALUE, &member};
        const std::uint8_t* bytes = m_payload.data() + m_pos;
        m_pos += size;
        m_visitor.Scalar(member.type, bytes);
        if (IsIntegerPrimitive(member.type)) return LoadInteger(member.type, bytes);
        return std::nullopt;
    }

    void WalkString(const XMember& member) {
        const std::uint8_t* start = m_payload.data() + m_pos;
        const void* zero = std::memchr(start, 0, m_payload.size() - m_pos);
        if (zero == nullptr) throw WalkFailure{D3DXFERR_BADVALUE, &member};
        std::size_t length =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - start);
        m_pos += length + 1;
        m_visitor.String(std::string_view(reinterpret_cast<const char*>(start), length));
    }

    const XTemplateRegistry& m_registry;
    std::span<const std::uint8_t> m_payload;
    XPayloadVisitor& m_visitor;
    std::size_t m_pos = 0;
};

class NullVisitor : public XPayloadVisitor {
  public:
    void Scalar(XPrimitive, const std::uint8_t*) override {}
    void String(std::string_view) override {}
};

}  // namespace

XPayloadResult WalkPayload(const XTemplateRegistry& registry, const XTemplate& tmpl,
                           std::span<const std::uint8_t> payload, XPayloadVisitor& visitor) {
    PayloadWalker walker(registry, payload, visitor);
    try {
        walker.WalkMembers(tmpl, 0);
    } catch (const WalkFailure& failure) {
        return {failure.hr, walker.Used(), failure.member};
    }
    return {S_OK, walker.Used(), nullptr};
}

XPayloadResult MeasurePayload(const XTemplateRegistry& registry, const XTemplate& tmpl,
                              std::span<const std::uint8_t> payload) {
    NullVisitor visitor;
    return WalkPayload(registry, tmpl, payload, visitor);
}

std::uint64_t LoadInteger(XPrimitive type, const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = PrimitiveSize(type); i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

std::int64_t LoadSigned(XPrimitive type, const std::uint8_t* bytes) {
    std::size_t bits = PrimitiveSize(type) * 8;
    std::uint64_t value = LoadInteger(type, bytes);
    std::uint64_t signBit = std::uint64_t{1} << (bits - 1);
    return static_cast<std::int64_t>((value ^ signBit) - signBit);
}

float LoadFloat(const std::uint8_t* bytes) {
    std::uint32_t bits = static_cast<std::uint32_t>(LoadInteger(XPrimitive::Dword, bytes));
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

double LoadDouble(const std::uint8_t* bytes) {
    std::uint64_t bits = LoadInteger(XPrimitive::Double, bytes);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

}  // namespace d3dx
