// A payload of known size, written in member order: counts and DWORDs 4 bytes, floats 4,
// little-endian, packed. The buffer is allocated once, up front; a failed allocation is
// reported by Allocate so the caller can skip the object as the writers' rules say.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

class MeshPayload {
  public:
    // False when the buffer cannot be had.
    bool Allocate(std::size_t size) {
        m_bytes.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
        m_size = size;
        m_used = 0;
        return m_bytes != nullptr;
    }

    void Dword(std::uint32_t value) {
        if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
        std::memcpy(m_bytes.get() + m_used, &value, 4);
        m_used += 4;
    }
    void Float(float value) { Dword(std::bit_cast<std::uint32_t>(value)); }

    const void* Data() const { return m_bytes.get(); }
    std::size_t Size() const { return m_size; }
    // True once every byte has been written.
    bool Full() const { return m_used == m_size; }

  private:
    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::size_t m_size = 0;
    std::size_t m_used = 0;
};
