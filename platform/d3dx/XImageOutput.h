// Where the writers put a file image as they make it: a buffer that hands its bytes to a
// sink a chunk at a time, so that a large file is neither built whole in memory nor copied
// value by value. The binary form learns a list's length only at the list's end, so bytes
// already given can be mended through the sink.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/d3dx/XBinaryTokens.h"

namespace d3dx {

class XImageSink {
  public:
    virtual ~XImageSink() = default;
    // The next bytes of the image.
    virtual void Append(std::span<const std::uint8_t> bytes) = 0;
    // Replaces bytes already appended, `offset` bytes from the start of the image: the bytes
    // of a Hold, which this ends, or any bytes for a sink that keeps them all.
    virtual void Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) = 0;
    // Announces, before they are appended, `count` bytes at `offset` that will be overwritten
    // once more. A sink that passes bytes on as they come (a compressor) keeps them until
    // then; one that keeps every byte mendable has nothing to do.
    virtual void Hold(std::size_t offset, std::size_t count) { (void)offset, (void)count; }
};

// Collects the image in memory, for callers that want the bytes.
class XBytesSink final : public XImageSink {
  public:
    explicit XBytesSink(XBytes& bytes) : m_bytes(bytes) {}
    void Append(std::span<const std::uint8_t> bytes) override {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    }
    void Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) override {
        std::memcpy(m_bytes.data() + offset, bytes.data(), bytes.size());
    }

  private:
    XBytes& m_bytes;
};

class XImageOutput {
  public:
    // Large enough that a chunk costs one call to the sink in thousands of values, small
    // enough to stay in the processor's cache.
    static constexpr std::size_t kChunkBytes = 256 * 1024;

    explicit XImageOutput(XImageSink& sink)
        : m_sink(sink), m_buffer(new std::uint8_t[kChunkBytes]) {}
    XImageOutput(const XImageOutput&) = delete;
    XImageOutput& operator=(const XImageOutput&) = delete;

    // Bytes of the image made so far, given to the sink or not.
    std::size_t Position() const { return m_given + m_used; }

    void Push(std::uint8_t byte) { *Room(1) = byte, m_used += 1; }
    void Append(std::string_view text) { Append(text.data(), text.size()); }
    void Append(const void* bytes, std::size_t count) {
        // An empty vector's data may be null, which memcpy may not be given.
        if (count == 0) return;
        if (count > kChunkBytes / 2) return AppendLarge(bytes, count);
        std::memcpy(Room(count), bytes, count);
        m_used += count;
    }
    void AppendFill(std::uint8_t byte, std::size_t count) {
        while (count > 0) {
            std::size_t part = std::min(count, kChunkBytes / 2);
            std::memset(Room(part), byte, part);
            m_used += part;
            count -= part;
        }
    }
    // Room for `count` bytes (at most kChunkBytes) at the end; Advance says how many of them
    // were written.
    std::uint8_t* Room(std::size_t count) {
        if (count > kChunkBytes - m_used) GiveBuffer();
        return m_buffer.get() + m_used;
    }
    void Advance(std::size_t count) { m_used += count; }

    // `count` bytes (at most kChunkBytes / 2) whose value is known only later, such as a
    // list's length, which the list's end writes with Fill. Until then the sink is told to
    // keep them mendable.
    std::size_t Reserve(std::size_t count) {
        std::size_t offset = Position();
        m_reserved.push_back({offset, count, false});
        AppendFill(0, count);
        return offset;
    }
    // Writes the bytes Reserve made room for at `offset`.
    void Fill(std::size_t offset, const void* bytes, std::size_t count) {
        Overwrite(offset, bytes, count);
        auto reserved = std::find_if(m_reserved.rbegin(), m_reserved.rend(),
                                     [offset](const Reserved& r) { return r.offset == offset; });
        if (reserved != m_reserved.rend()) m_reserved.erase(std::next(reserved).base());
    }

    // Replaces `count` bytes at `offset` from the start of the image: bytes still buffered,
    // or bytes of a Reserve.
    void Overwrite(std::size_t offset, const void* bytes, std::size_t count) {
        const auto* from = static_cast<const std::uint8_t*>(bytes);
        if (offset < m_given) {
            std::size_t given = std::min(count, m_given - offset);
            m_sink.Overwrite(offset, {from, given});
            offset += given, from += given, count -= given;
        }
        if (count > 0) std::memcpy(m_buffer.get() + (offset - m_given), from, count);
    }

    // Gives the sink what is still buffered; the image is complete after this.
    void Finish() { GiveBuffer(); }

  private:
    void GiveBuffer() {
        if (m_used == 0) return;
        AnnounceReserved();
        m_sink.Append({m_buffer.get(), m_used});
        m_given += m_used;
        m_used = 0;
    }

    // Straight from the caller's memory: a run of a large payload is not copied twice.
    void AppendLarge(const void* bytes, std::size_t count) {
        GiveBuffer();
        m_sink.Append({static_cast<const std::uint8_t*>(bytes), count});
        m_given += count;
    }

    // Tells the sink of the reserved bytes the buffer is about to give it; a list that ends
    // in the buffer it began in costs the sink nothing.
    void AnnounceReserved() {
        for (Reserved& reserved : m_reserved) {
            if (reserved.announced || reserved.offset >= Position()) continue;
            m_sink.Hold(reserved.offset, reserved.count);
            reserved.announced = true;
        }
    }

    struct Reserved {
        std::size_t offset;
        std::size_t count;
        bool announced;  // to the sink, as a Hold
    };

    XImageSink& m_sink;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::vector<Reserved> m_reserved;  // not yet filled, oldest first
    std::size_t m_used = 0;            // bytes in the buffer
    std::size_t m_given = 0;           // bytes given to the sink
};

}  // namespace d3dx
