// The payload walk of XPayload.h for a visitor whose type is known where it is called, so
// that its calls are made directly and can be inlined: the writers and the add-time check
// see every value of a payload, millions of them for a large mesh. The virtual visitor of
// XPayload.h goes through the same walk.
//
// A visitor that declares `static constexpr bool kTakesRuns = true` also gets arrays of
// fixed-size primitives and of records (XTemplate::recordScalar) in one call,
//   Run(arrayMember, type, bytes, elements, scalarsPerElement, depth),
// between BeginArray and EndArray, instead of a call per element, value and separator.
// `bytes` holds elements * scalarsPerElement values of `type` back to back; for a record
// array (arrayMember.type is Template) each element is one record of scalarsPerElement
// members. Runs are never empty.
//
// A visitor that declares `static constexpr bool kTakesUniformArrays = true` gets an array of
// a template whose values are all of one primitive (XTemplate::uniformScalar, such as
// MeshFace) as UniformArray(type, bytes): the elements' bytes, already measured.
//
// A visitor that declares `static constexpr bool kTakesFlatRecords = true` gets a non-empty
// array of flat records (XFlatRecordLayout: MeshFace, Matrix4x4) that is not a plain run as
//   FlatRecords(arrayMember, layout, bytes, elements, depth)
// between BeginArray and EndArray, the elements' bytes already measured, instead of a walk
// of every element's members: a million faces cost a million such walks.
#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "platform/d3dx/XPayload.h"

namespace d3dx {

// The bytes that `count` elements of the array `member` take at the start of `bytes`, as the
// add-time check measures them; nothing when they do not fit or do not make sense.
std::optional<std::size_t> MeasureElements(const XTemplateRegistry& registry, const XMember& member,
                                           std::uint64_t count,
                                           std::span<const std::uint8_t> bytes);

// A record whose members are all values of one fixed-size primitive, each member a single
// value or an array sized by fixed numbers and at most one earlier integer member (MeshFace,
// Matrix4x4). Its values can be stepped through, and its elements measured, from the count
// members alone, with the array sizes the full walk would find.
class XFlatRecordLayout {
  public:
    struct Member {
        bool isArray = false;
        std::optional<std::size_t> sizeMember;  // the earlier member that sizes the array
        std::uint64_t fixedCount = 1;           // the product of the fixed dimensions
    };

    // Nothing when `tmpl` is not a flat record.
    static std::optional<XFlatRecordLayout> Of(const XTemplate& tmpl) {
        if (!tmpl.uniformScalar || tmpl.members.empty()) return std::nullopt;
        XFlatRecordLayout layout(*tmpl.uniformScalar);
        for (std::size_t i = 0; i < tmpl.members.size(); ++i) {
            std::optional<Member> member = FlatMember(tmpl, i);
            if (!member) return std::nullopt;
            layout.m_members.push_back(*member);
        }
        return layout;
    }

    XPrimitive Type() const { return m_type; }
    std::size_t ValueSize() const { return m_valueSize; }
    const std::vector<Member>& Members() const { return m_members; }
    std::size_t MemberCount() const { return m_members.size(); }

    // Values in the array `member` of a record whose integer members read so far are in
    // `values`; at most kMostElements + 1, as the full walk counts them.
    static std::uint64_t ElementCount(const Member& member, const std::uint64_t* values) {
        if (!member.sizeMember) return member.fixedCount;
        return SaturatingProduct(values[*member.sizeMember], member.fixedCount);
    }

    // Bytes of `records` records at the start of `bytes`; nothing when they do not fit or an
    // array is longer than an array may be, where the full walk fails too.
    std::optional<std::size_t> Measure(std::span<const std::uint8_t> bytes,
                                       std::size_t records) const {
        if (IsCountedList()) return MeasureCountedLists(bytes, records);
        std::vector<std::uint64_t> values(m_members.size());
        std::size_t at = 0;
        for (std::size_t record = 0; record < records; ++record) {
            for (std::size_t i = 0; i < m_members.size(); ++i) {
                std::uint64_t count = ValueCount(i, values.data());
                if (count > kMostElements || count > (bytes.size() - at) / m_valueSize) {
                    return std::nullopt;
                }
                if (!m_members[i].isArray && m_integers) {
                    values[i] = LoadInteger(m_type, bytes.data() + at);
                }
                at += static_cast<std::size_t>(count) * m_valueSize;
            }
        }
        return at;
    }

    // Values the member `index` holds: one for a single value.
    std::uint64_t ValueCount(std::size_t index, const std::uint64_t* values) const {
        const Member& member = m_members[index];
        return member.isArray ? ElementCount(member, values) : 1;
    }

    // MeshFace's shape: a DWORD count and that many DWORDs.
    bool IsCountedList() const {
        return m_type == XPrimitive::Dword && m_members.size() == 2 && !m_members[0].isArray &&
               m_members[1].isArray && m_members[1].sizeMember == 0 && m_members[1].fixedCount == 1;
    }

    static constexpr std::uint64_t kMostElements = UINT32_MAX;

  private:
    // Measure for counted lists: each record is stepped over by its count alone. A DWORD
    // count never passes kMostElements.
    static std::optional<std::size_t> MeasureCountedLists(std::span<const std::uint8_t> bytes,
                                                          std::size_t records) {
        std::size_t at = 0;
        std::size_t record = 0;
        while (record < records) {
            if (bytes.size() - at < kDword) return std::nullopt;
            std::uint32_t count = LoadDword(bytes.data() + at);
            if (count > (bytes.size() - at - kDword) / kDword) return std::nullopt;
            const std::size_t stride = kDword + std::size_t{count} * kDword;
            at += stride;
            ++record;
            record += SkipRepeatedCounts(bytes, records - record, count, stride, at);
        }
        return at;
    }

    // How many of the next records repeat `count`, taken a run at a time while each run fits
    // (`at` moved past them). A run's counts are loaded independently of each other; stepped
    // one by one, each load waits for the one before, and a mesh's faces are a million
    // records of one count.
    static std::size_t SkipRepeatedCounts(std::span<const std::uint8_t> bytes,
                                          std::size_t recordsLeft, std::uint32_t count,
                                          std::size_t stride, std::size_t& at) {
        constexpr std::size_t kRun = 4;
        const std::size_t runBytes = kRun * stride;
        std::size_t skipped = 0;
        while (recordsLeft - skipped >= kRun && bytes.size() - at >= runBytes) {
            const std::uint8_t* run = bytes.data() + at;
            if (LoadDword(run) != count || LoadDword(run + stride) != count ||
                LoadDword(run + 2 * stride) != count || LoadDword(run + 3 * stride) != count)
                break;
            at += runBytes;
            skipped += kRun;
        }
        return skipped;
    }

    static constexpr std::size_t kDword = 4;

    explicit XFlatRecordLayout(XPrimitive type)
        : m_type(type), m_valueSize(PrimitiveSize(type)), m_integers(IsIntegerPrimitive(type)) {}

    static std::optional<Member> FlatMember(const XTemplate& tmpl, std::size_t index) {
        const XMember& source = tmpl.members[index];
        if (source.type == XPrimitive::Template) return std::nullopt;
        Member member{source.isArray, std::nullopt, 1};
        for (const XDimension& dimension : source.dimensions) {
            if (dimension.sizeMember) {
                if (member.sizeMember || !SizesFlatArray(tmpl, *dimension.sizeMember, index)) {
                    return std::nullopt;
                }
                member.sizeMember = dimension.sizeMember;
            } else {
                member.fixedCount = SaturatingProduct(member.fixedCount, dimension.fixedSize);
            }
        }
        return member;
    }

    // An earlier single integer member: the walk has read its value by then.
    static bool SizesFlatArray(const XTemplate& tmpl, std::size_t sizeMember, std::size_t index) {
        const XMember& size = tmpl.members[sizeMember];
        return sizeMember < index && !size.isArray && IsIntegerPrimitive(size.type);
    }

    // The product, or kMostElements + 1 once it passes that, as XMemberValues counts.
    static std::uint64_t SaturatingProduct(std::uint64_t a, std::uint64_t b) {
        constexpr std::uint64_t kCeiling = kMostElements + 1;
        if (a == 0 || b == 0) return 0;
        if (b == 1) return std::min(a, kCeiling);
        return a > kCeiling / b ? kCeiling : std::min(a * b, kCeiling);
    }

    XPrimitive m_type;
    std::size_t m_valueSize;
    bool m_integers;
    std::vector<Member> m_members;
};

namespace detail {

struct WalkFailure {
    HRESULT hr;
    const XMember* member;
};

template <typename Visitor>
concept TakesRuns = requires {
    requires Visitor::kTakesRuns;
};

template <typename Visitor>
concept TakesUniformArrays = requires {
    requires Visitor::kTakesUniformArrays;
};

template <typename Visitor>
concept TakesFlatRecords = requires {
    requires Visitor::kTakesFlatRecords;
};

template <typename Visitor>
class PayloadWalker {
  public:
    PayloadWalker(const XTemplateRegistry& registry, std::span<const std::uint8_t> payload,
                  Visitor& visitor)
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

    // `count` values of `member` as the elements of its array.
    void WalkElements(const XMember& member, std::uint64_t count, std::size_t depth) {
        WalkArray(member, count, depth);
    }

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

    // The values per element and their type when the elements of `member` are a plain run.
    struct RunShape {
        XPrimitive type;
        std::size_t scalarsPerElement;
    };
    std::optional<RunShape> RunShapeOf(const XMember& member) const {
        if (member.type == XPrimitive::Template) {
            const XTemplate& element = m_registry.At(member.templateIndex);
            if (!element.recordScalar) return std::nullopt;
            return RunShape{*element.recordScalar, element.members.size()};
        }
        if (PrimitiveSize(member.type) == 0) return std::nullopt;
        return RunShape{member.type, 1};
    }

    // Hands the whole array to the visitor at once; false when it is not a plain run or the
    // payload is too short for it (the walk value by value then names the member).
    bool WalkRun(const XMember& member, std::uint64_t count, std::size_t depth) {
        auto shape = RunShapeOf(member);
        if (!shape || count == 0) return false;
        std::size_t scalars = static_cast<std::size_t>(count) * shape->scalarsPerElement;
        std::size_t bytes = scalars * PrimitiveSize(shape->type);
        if (bytes > m_payload.size() - m_pos) return false;
        m_visitor.Run(member, shape->type, m_payload.data() + m_pos,
                      static_cast<std::size_t>(count), shape->scalarsPerElement, depth);
        m_pos += bytes;
        return true;
    }

    // For a visitor that takes whole arrays of a uniform template (XTemplate::uniformScalar,
    // such as MeshFace) as their bytes: measures the elements and hands them over at once.
    bool WalkUniformArray(const XMember& member, std::uint64_t count) {
        if (member.type != XPrimitive::Template || count == 0) return false;
        std::optional<XPrimitive> type = m_registry.At(member.templateIndex).uniformScalar;
        if (!type) return false;
        std::span<const std::uint8_t> rest = m_payload.subspan(m_pos);
        std::optional<std::size_t> bytes = MeasureElements(m_registry, member, count, rest);
        if (!bytes) return false;
        m_visitor.UniformArray(*type, rest.first(*bytes));
        m_pos += *bytes;
        return true;
    }

    // For a visitor that steps through flat records itself: measures the elements and hands
    // them over at once.
    bool WalkFlatRecords(const XMember& member, std::uint64_t count, std::size_t depth) {
        if (member.type != XPrimitive::Template || count == 0) return false;
        std::optional<XFlatRecordLayout> layout =
            XFlatRecordLayout::Of(m_registry.At(member.templateIndex));
        if (!layout) return false;
        std::span<const std::uint8_t> rest = m_payload.subspan(m_pos);
        std::optional<std::size_t> bytes = layout->Measure(rest, static_cast<std::size_t>(count));
        if (!bytes) return false;
        m_visitor.FlatRecords(member, *layout, rest.first(*bytes), static_cast<std::size_t>(count),
                              depth);
        m_pos += *bytes;
        return true;
    }

    void WalkArray(const XMember& member, std::uint64_t count, std::size_t depth) {
        m_visitor.BeginArray(member, count, depth);
        bool done = false;
        if constexpr (TakesUniformArrays<Visitor>) done = WalkUniformArray(member, count);
        if constexpr (TakesRuns<Visitor>) done = done || WalkRun(member, count, depth);
        if constexpr (TakesFlatRecords<Visitor>)
            done = done || WalkFlatRecords(member, count, depth);
        for (std::uint64_t element = 0; !done && element < count; ++element) {
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
    Visitor& m_visitor;
    std::size_t m_pos = 0;
};

}  // namespace detail

// WalkPayload for a visitor of a known type; the same results and the same calls, save
// that a visitor taking runs gets plain arrays in one call.
template <typename Visitor>
XPayloadResult WalkPayloadWith(const XTemplateRegistry& registry, const XTemplate& tmpl,
                               std::span<const std::uint8_t> payload, Visitor& visitor) {
    detail::PayloadWalker<Visitor> walker(registry, payload, visitor);
    try {
        walker.WalkMembers(tmpl, 0);
    } catch (const detail::WalkFailure& failure) {
        return {failure.hr, walker.Used(), failure.member};
    }
    return {S_OK, walker.Used(), nullptr};
}

}  // namespace d3dx
