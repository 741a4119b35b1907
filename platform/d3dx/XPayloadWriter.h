// The one writer of data-object payloads: members packed in template order, little-endian,
// counts and DWORDs 4 bytes, WORDs 2, floats 4, strings inline with their zero byte. An
// append never runs past the buffer: it grows when a reservation was too small. The bytes
// can be handed over whole (TakeBytes), so that a save tree adopts a large payload rather
// than holding a second copy of it.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/win/LargePages.h"

namespace d3dx {

// An allocator whose construction without a value leaves the bytes as they are. A payload
// buffer is grown to its whole capacity at once and only the bytes written are handed on,
// so zeroing the rest first would be one more pass over a mesh's tens of megabytes. Large
// stores that write each element whole before reading it use it too (the mesh builder's
// records). Only types whose life the allocation itself begins (trivially copyable ones)
// may be left so; their default member values, if any, are skipped as well. Arrays of a large
// page or more come in large pages (LargePagedAllocator).
template <typename T>
struct XUnzeroedAllocator : LargePagedAllocator<T> {
    using value_type = T;
    XUnzeroedAllocator() noexcept = default;
    template <typename U>
    XUnzeroedAllocator(const XUnzeroedAllocator<U>&) noexcept {}
    template <typename U>
    struct rebind {
        using other = XUnzeroedAllocator<U>;
    };
    // Only construction without a value is changed: copies keep the library's block copies.
    template <typename U>
    void construct(U*) noexcept {
        static_assert(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>);
    }
};

// The bytes of one data object's payload, as the writer hands them out and the save tree
// keeps them.
using XPayloadBytes = std::vector<std::uint8_t, XUnzeroedAllocator<std::uint8_t>>;

class XPayloadWriter {
  public:
    // Room for `bytes` more bytes, taken up front so that a large payload is allocated once.
    // False, with nothing changed, when the memory cannot be had: the caller then skips its
    // object and reports E_OUTOFMEMORY. Running out later, while growing, throws
    // std::bad_alloc.
    [[nodiscard]] bool Reserve(std::size_t bytes) noexcept {
        if (bytes <= m_capacity - m_size) return true;
        return Reallocate(m_size + bytes);
    }

    XPayloadWriter& Dword(std::uint32_t value) { return Little(value); }
    XPayloadWriter& Word(std::uint16_t value) { return Little(value); }
    XPayloadWriter& Float(float value) { return Little(std::bit_cast<std::uint32_t>(value)); }
    XPayloadWriter& Dwords(std::initializer_list<std::uint32_t> values) {
        for (std::uint32_t value : values) Dword(value);
        return *this;
    }
    XPayloadWriter& Floats(std::initializer_list<float> values) {
        for (float value : values) Float(value);
        return *this;
    }
    // Appends `count` records of `Words` DWORDs each, record i's words put in place by
    // fill(i, words), with one room check for the whole run: appended one at a time, every
    // value would reload the writer's state (the byte stores may alias it), and a mesh's
    // faces are a million records of four words.
    template <std::size_t Words, typename Fill>
    XPayloadWriter& DwordRecords(std::size_t count, Fill&& fill) {
        constexpr std::size_t kRecordBytes = Words * sizeof(std::uint32_t);
        if (count > SIZE_MAX / kRecordBytes) throw std::bad_alloc();
        std::uint8_t* out = Extend(count * kRecordBytes);
        for (std::size_t i = 0; i < count; ++i, out += kRecordBytes) {
            std::array<std::uint32_t, Words> words;
            fill(i, words);
            if constexpr (std::endian::native == std::endian::big) {
                for (std::uint32_t& word : words) word = __builtin_bswap32(word);
            }
            std::memcpy(out, words.data(), kRecordBytes);
        }
        return *this;
    }
    XPayloadWriter& String(std::string_view text) {
        Append(text.data(), text.size());
        const char zero = 0;
        Append(&zero, 1);
        return *this;
    }

    const void* Data() const { return m_bytes.data(); }
    const std::uint8_t* Bytes() const { return m_bytes.data(); }
    std::size_t Size() const { return m_size; }

    // The bytes written so far, exactly Size() of them, without a copy; the writer is empty
    // afterwards and may be used again.
    XPayloadBytes TakeBytes() noexcept {
        m_bytes.resize(m_size);  // never reallocates: the buffer only shrinks
        XPayloadBytes bytes = std::move(m_bytes);
        m_bytes = {};
        m_size = 0;
        m_capacity = 0;
        return bytes;
    }

  private:
    template <typename T>
    XPayloadWriter& Little(T value) {
        if constexpr (std::endian::native == std::endian::big) {
            if constexpr (sizeof value == 2) value = __builtin_bswap16(value);
            if constexpr (sizeof value == 4) value = __builtin_bswap32(value);
        }
        Append(&value, sizeof value);
        return *this;
    }

    // Inlined at every call: a mesh payload is millions of 4-byte appends, and with the
    // growing kept out of line each one is a room check and a store.
    void Append(const void* bytes, std::size_t count) {
        if (count > m_capacity - m_size) [[unlikely]]
            GrowFor(count);
        if (count != 0) std::memcpy(m_bytes.data() + m_size, bytes, count);
        m_size += count;
    }

    // `count` more bytes at the end, for the caller to fill.
    std::uint8_t* Extend(std::size_t count) {
        if (count > m_capacity - m_size) [[unlikely]]
            GrowFor(count);
        std::uint8_t* at = m_bytes.data() + m_size;
        m_size += count;
        return at;
    }

    [[gnu::noinline]] void GrowFor(std::size_t count) {
        if (!Reallocate(std::max(m_size + count, 2 * m_capacity))) throw std::bad_alloc();
    }

    // The whole capacity is the vector's size, so that appends write through a plain pointer;
    // TakeBytes trims it to what was written. A larger buffer is made afresh and only the
    // bytes written so far are copied into it: growing the vector in place would copy its
    // whole old capacity one element at a time, as it does for any allocator but the
    // standard one.
    bool Reallocate(std::size_t capacity) noexcept {
        try {
            XPayloadBytes grown;
            // Exactly the capacity asked for: sized from empty, the vector takes no more, and
            // a payload handed to a save tree keeps its capacity.
            grown.resize(capacity);
            if (m_size != 0) std::memcpy(grown.data(), m_bytes.data(), m_size);
            m_bytes.swap(grown);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        m_capacity = capacity;
        return true;
    }

    XPayloadBytes m_bytes;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

}  // namespace d3dx
