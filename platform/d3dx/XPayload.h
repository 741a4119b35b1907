// Walks a packed payload member by member, as its template lays it out: members in
// template order, no padding, little-endian, WORD 2 bytes, DWORD and FLOAT 4, arrays inline
// with their length taken from an earlier member, nested templates inline, STRING inline
// with its zero byte. The writers, the dump and the add-time check all read payloads
// through this one walk.
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/d3dx/XTemplate.h"
#include "platform/win/HResult.h"

namespace d3dx {

class XPayloadVisitor {
  public:
    virtual ~XPayloadVisitor() = default;
    // One scalar of an integer or float primitive; `bytes` holds PrimitiveSize(type) bytes.
    virtual void Scalar(XPrimitive type, const std::uint8_t* bytes) = 0;
    // One STRING value, without its zero byte.
    virtual void String(std::string_view text) = 0;
    virtual void BeginArray(const XMember& member, std::uint64_t count, std::size_t depth) {
        (void)member, (void)count, (void)depth;
    }
    // Between two elements of an array (not before the first, not after the last).
    virtual void ElementSeparator(const XMember& member, std::size_t depth) {
        (void)member, (void)depth;
    }
    virtual void EndArray(const XMember& member, std::size_t depth) { (void)member, (void)depth; }
    virtual void BeginStruct(const XTemplate& tmpl, std::size_t depth) { (void)tmpl, (void)depth; }
    virtual void EndStruct(const XTemplate& tmpl, std::size_t depth) { (void)tmpl, (void)depth; }
    // Before a member's value, and after it. `depth` is 0 for the object's own members.
    virtual void BeginMember(const XMember& member, std::size_t depth) {
        (void)member, (void)depth;
    }
    virtual void EndMember(const XMember& member, std::size_t depth) { (void)member, (void)depth; }
};

struct XPayloadResult {
    HRESULT hr = S_OK;
    std::size_t bytesUsed = 0;  // bytes the members took; the rest of the payload is surplus
    // On failure, the member whose value could not be read (the innermost one, for a
    // member of a nested template).
    const XMember* failedMember = nullptr;
};

// Walks `payload` as an instance of `tmpl`. Fails with D3DXFERR_BADVALUE when the payload
// ends before the members do (or a STRING has no zero byte), with D3DXFERR_BADTYPE when a
// member cannot be stored (UNICODE, CSTRING) and D3DXFERR_BADARRAYSIZE when an array is
// larger than the payload could hold. The visitor sees every value up to the failure.
XPayloadResult WalkPayload(const XTemplateRegistry& registry, const XTemplate& tmpl,
                           std::span<const std::uint8_t> payload, XPayloadVisitor& visitor);

// Checks the payload without visiting it.
XPayloadResult MeasurePayload(const XTemplateRegistry& registry, const XTemplate& tmpl,
                              std::span<const std::uint8_t> payload);

// Little-endian loads, shared by everything that reads packed bytes. Inline: the writers
// call them once per value.
inline std::uint32_t LoadDword(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// Zero-extended.
inline std::uint64_t LoadInteger(XPrimitive type, const std::uint8_t* bytes) {
    switch (PrimitiveSize(type)) {
        case 1:
            return bytes[0];
        case 2:
            return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8;
        case 4:
            return LoadDword(bytes);
        case 8:
            return LoadDword(bytes) | std::uint64_t{LoadDword(bytes + 4)} << 32;
        default:
            return 0;
    }
}

// Sign-extended.
inline std::int64_t LoadSigned(XPrimitive type, const std::uint8_t* bytes) {
    std::size_t bits = PrimitiveSize(type) * 8;
    std::uint64_t value = LoadInteger(type, bytes);
    std::uint64_t signBit = std::uint64_t{1} << (bits - 1);
    return static_cast<std::int64_t>((value ^ signBit) - signBit);
}

inline float LoadFloat(const std::uint8_t* bytes) {
    return std::bit_cast<float>(LoadDword(bytes));
}

inline double LoadDouble(const std::uint8_t* bytes) {
    return std::bit_cast<double>(LoadInteger(XPrimitive::Double, bytes));
}

}  // namespace d3dx
