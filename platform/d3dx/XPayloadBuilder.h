// Builds packed little-endian payloads in member order: counts and DWORDs 4 bytes, WORDs 2,
// floats 4, strings inline with their zero byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace xfile {

class XPayloadBuilder {
public:
    XPayloadBuilder& Dword(std::uint32_t value) { return Little(value, 4); }
    XPayloadBuilder& Word(std::uint16_t value) { return Little(value, 2); }
    XPayloadBuilder& Float(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return Little(bits, 4);
    }
    XPayloadBuilder& Floats(std::initializer_list<float> values) {
        for (float value : values) Float(value);
        return *this;
    }
    XPayloadBuilder& Dwords(std::initializer_list<std::uint32_t> values) {
        for (std::uint32_t value : values) Dword(value);
        return *this;
    }
    XPayloadBuilder& String(std::string_view text) {
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        m_bytes.push_back(0);
        return *this;
    }

    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    std::size_t Size() const { return m_bytes.size(); }
    const void* Data() const { return m_bytes.data(); }

private:
    XPayloadBuilder& Little(std::uint64_t value, std::size_t bytes) {
        for (std::size_t i = 0; i < bytes; ++i) m_bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        return *this;
    }

    std::vector<std::uint8_t> m_bytes;
};

}  // namespace xfile
