#include "platform/d3dx/MsZip.h"

#include <zlib.h>

#include <algorithm>
#include <string>

#include "platform/d3dx/XBinaryTokens.h"
#include "platform/d3dx/XToken.h"

namespace d3dx {
namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kBlockHeaderBytes = 4;
constexpr std::uint8_t kSignature[2] = {'C', 'K'};
// Raw deflate: no zlib header, no checksum, 32 KiB window. The fastest level compresses
// mesh data nearly as well as the default at a third of the time.
constexpr int kRawDeflateWindowBits = -15;

class Deflater {
  public:
    Deflater() {
        if (deflateInit2(&m_stream, Z_BEST_SPEED, Z_DEFLATED, kRawDeflateWindowBits, 8,
                         Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::bad_alloc();
        }
    }
    ~Deflater() { deflateEnd(&m_stream); }

    // Appends one independent raw deflate stream of `slice` to `out`.
    void CompressSlice(std::span<const std::uint8_t> slice, XBytes& out) {
        deflateReset(&m_stream);
        std::size_t start = out.size();
        out.resize(start + deflateBound(&m_stream, static_cast<uLong>(slice.size())));
        m_stream.next_in = const_cast<Bytef*>(slice.data());
        m_stream.avail_in = static_cast<uInt>(slice.size());
        m_stream.next_out = out.data() + start;
        m_stream.avail_out = static_cast<uInt>(out.size() - start);
        if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END) throw std::bad_alloc();
        out.resize(out.size() - m_stream.avail_out);
    }

  private:
    z_stream m_stream{};
};

class Inflater {
  public:
    Inflater() {
        if (inflateInit2(&m_stream, kRawDeflateWindowBits) != Z_OK) throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&m_stream); }

    // Inflates one block into exactly `expected` bytes appended to `out`, with the previous
    // block's output as history. False when the data is corrupt or the size differs.
    bool InflateBlock(std::span<const std::uint8_t> data, std::size_t expected,
                      std::span<const std::uint8_t> history, XBytes& out) {
        inflateReset(&m_stream);
        if (!history.empty() && inflateSetDictionary(&m_stream, history.data(),
                                                     static_cast<uInt>(history.size())) != Z_OK) {
            return false;
        }
        std::size_t start = out.size();
        out.resize(start + expected);
        m_stream.next_in = const_cast<Bytef*>(data.data());
        m_stream.avail_in = static_cast<uInt>(data.size());
        m_stream.next_out = out.data() + start;
        m_stream.avail_out = static_cast<uInt>(expected);
        int result = inflate(&m_stream, Z_FINISH);
        // A block must end its deflate stream exactly at the announced size.
        return result == Z_STREAM_END && m_stream.avail_out == 0;
    }

  private:
    z_stream m_stream{};
};

std::uint32_t LoadLittle(std::span<const std::uint8_t> data, std::size_t at, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes; i-- > 0;) value = (value << 8) | data[at + i];
    return value;
}

}  // namespace

std::vector<std::uint8_t> MsZipCompress(std::span<const std::uint8_t> body,
                                        std::uint32_t totalSize) {
    XBytes out;
    out.reserve(body.size() / 2 + 64);
    AppendDword(out, totalSize);
    Deflater deflater;
    XBytes block;
    for (std::size_t at = 0; at < body.size(); at += kMsZipBlockBytes) {
        auto slice = body.subspan(at, std::min(kMsZipBlockBytes, body.size() - at));
        block.clear();
        deflater.CompressSlice(slice, block);
        AppendWord(out, static_cast<std::uint16_t>(slice.size()));
        AppendWord(out, static_cast<std::uint16_t>(block.size() + sizeof kSignature));
        out.insert(out.end(), std::begin(kSignature), std::end(kSignature));
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

std::vector<std::uint8_t> MsZipDecompress(std::span<const std::uint8_t> container,
                                          std::size_t containerOffset) {
    auto fail = [&](std::size_t at, const std::string& what) -> void {
        throw XParseError(D3DXFERR_BADFILE, containerOffset + at, "compressed data: " + what);
    };
    if (container.size() < 4) fail(0, "missing size");
    std::uint32_t total = LoadLittle(container, 0, 4);
    if (total < kHeaderBytes) fail(0, "size smaller than the header");
    std::size_t bodySize = total - kHeaderBytes;
    XBytes body;
    Inflater inflater;
    std::size_t at = 4;
    while (at < container.size()) {
        if (container.size() - at < kBlockHeaderBytes + sizeof kSignature)
            fail(at, "truncated block");
        std::size_t plain = LoadLittle(container, at, 2);
        std::size_t packed = LoadLittle(container, at + 2, 2);
        if (plain == 0 || plain > kMsZipBlockBytes) fail(at, "bad block size");
        if (packed < sizeof kSignature || container.size() - at - kBlockHeaderBytes < packed) {
            fail(at, "truncated block");
        }
        if (container[at + 4] != 'C' || container[at + 5] != 'K')
            fail(at + 4, "missing CK signature");
        if (body.size() + plain > bodySize) fail(at, "more data than the announced size");
        std::size_t previous = body.size() >= kMsZipBlockBytes ? kMsZipBlockBytes : body.size();
        XBytes history(body.end() - static_cast<std::ptrdiff_t>(previous), body.end());
        auto data = container.subspan(at + kBlockHeaderBytes + sizeof kSignature,
                                      packed - sizeof kSignature);
        if (!inflater.InflateBlock(data, plain, history, body)) fail(at, "corrupt block");
        at += kBlockHeaderBytes + packed;
    }
    if (body.size() != bodySize) fail(0, "less data than the announced size");
    return body;
}

}  // namespace d3dx
