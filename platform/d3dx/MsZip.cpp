#include "platform/d3dx/MsZip.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "platform/d3dx/XBinaryTokens.h"
#include "platform/d3dx/XToken.h"

namespace d3dx {
namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kBlockHeaderBytes = 4;
constexpr std::uint8_t kSignature[2] = {'C', 'K'};
// Raw deflate: no zlib header, no checksum, 32 KiB window.
constexpr int kRawDeflateWindowBits = -15;
// libdeflate's level 2 makes mesh data smaller than zlib's fastest level did, and text
// much smaller, in about the same time per block; level 1 is faster but larger on binary
// meshes. MsZipBench measures levels 1 and 2 against zlib.
constexpr int kDeflateLevel = 2;
// A stored deflate block: the BFINAL/BTYPE byte, then LEN and its complement as WORDs.
constexpr std::size_t kStoredBlockOverhead = 5;
constexpr std::uint8_t kFinalStoredBlock = 0x01;
// A thread is started only when there are several blocks for it: starting and joining one
// takes about 10 microseconds here, compressing a block about 120.
constexpr std::size_t kMinBlocksPerThread = 4;

// One libdeflate compressor and its output buffer, which a single thread uses for block
// after block.
class BlockDeflater {
  public:
    BlockDeflater() : m_compressor(libdeflate_alloc_compressor(kDeflateLevel)) {
        if (m_compressor == nullptr) throw std::bad_alloc();
        m_out.resize(libdeflate_deflate_compress_bound(m_compressor, kMsZipBlockBytes));
    }
    ~BlockDeflater() { libdeflate_free_compressor(m_compressor); }
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;

    // One independent raw deflate stream of `slice`, valid until the next call. Data that
    // deflate cannot shrink goes into one stored block, so a block never grows past its
    // slice plus five bytes: readers refuse blocks much larger than 32 KiB.
    std::span<const std::uint8_t> CompressSlice(std::span<const std::uint8_t> slice) {
        std::size_t stored = slice.size() + kStoredBlockOverhead;
        std::size_t packed = libdeflate_deflate_compress(m_compressor, slice.data(), slice.size(),
                                                         m_out.data(), m_out.size());
        if (packed == 0 || packed > stored) packed = Store(slice);
        return {m_out.data(), packed};
    }

  private:
    std::size_t Store(std::span<const std::uint8_t> slice) {
        auto length = static_cast<std::uint16_t>(slice.size());
        m_out[0] = kFinalStoredBlock;
        StoreWord(length, &m_out[1]);
        StoreWord(static_cast<std::uint16_t>(~length), &m_out[3]);
        std::copy(slice.begin(), slice.end(), m_out.begin() + kStoredBlockOverhead);
        return slice.size() + kStoredBlockOverhead;
    }

    static void StoreWord(std::uint16_t value, std::uint8_t* at) {
        at[0] = static_cast<std::uint8_t>(value & 0xFF);
        at[1] = static_cast<std::uint8_t>(value >> 8);
    }

    libdeflate_compressor* m_compressor;
    XBytes m_out;  // as large as libdeflate may need for a whole block
};

// The blocks of one body, handed out one at a time to the threads that compress them. Each
// block's framing and deflate data land in a slot of its own, so threads never share one.
class BlockJobs {
  public:
    explicit BlockJobs(std::span<const std::uint8_t> body)
        : m_body(body), m_framed((body.size() + kMsZipBlockBytes - 1) / kMsZipBlockBytes) {}

    std::size_t BlockCount() const { return m_framed.size(); }

    // Compresses blocks until none is left or another thread has failed.
    void Work() {
        BlockDeflater deflater;
        for (std::size_t block = Next(); block < BlockCount(); block = Next()) {
            FrameBlock(deflater, block);
        }
    }

    // Work() for a thread of its own: a failure is kept for the caller instead of leaving
    // the thread, and makes the other threads stop taking blocks.
    std::exception_ptr WorkCatching() noexcept {
        try {
            Work();
            return nullptr;
        } catch (...) {
            m_failed = true;
            return std::current_exception();
        }
    }

    // The container, once every block is done.
    XBytes Assemble() const {
        std::size_t bytes = 4;
        for (const XBytes& framed : m_framed) bytes += framed.size();
        XBytes out;
        out.reserve(bytes);
        AppendDword(out, static_cast<std::uint32_t>(kHeaderBytes + m_body.size()));
        for (const XBytes& framed : m_framed) out.insert(out.end(), framed.begin(), framed.end());
        return out;
    }

  private:
    std::size_t Next() { return m_failed ? BlockCount() : m_next.fetch_add(1); }

    void FrameBlock(BlockDeflater& deflater, std::size_t block) {
        std::size_t at = block * kMsZipBlockBytes;
        auto slice = m_body.subspan(at, std::min(kMsZipBlockBytes, m_body.size() - at));
        std::span<const std::uint8_t> packed = deflater.CompressSlice(slice);
        XBytes& framed = m_framed[block];
        framed.reserve(kBlockHeaderBytes + sizeof kSignature + packed.size());
        AppendWord(framed, static_cast<std::uint16_t>(slice.size()));
        AppendWord(framed, static_cast<std::uint16_t>(sizeof kSignature + packed.size()));
        framed.insert(framed.end(), std::begin(kSignature), std::end(kSignature));
        framed.insert(framed.end(), packed.begin(), packed.end());
    }

    std::span<const std::uint8_t> m_body;
    std::vector<XBytes> m_framed;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_failed{false};
};

// Threads to start beside the calling one, which compresses blocks too.
unsigned HelperThreads(unsigned threads, std::size_t blocks) {
    std::size_t useful = std::max<std::size_t>(1, blocks / kMinBlocksPerThread);
    return static_cast<unsigned>(std::min<std::size_t>(std::max(threads, 1u), useful)) - 1;
}

// Runs the jobs on the calling thread and up to `helpers` more; every thread started is
// joined before this returns or throws. A thread the system will not start leaves its
// share to the others: the bytes are the same, only later.
void RunJobs(BlockJobs& jobs, unsigned helpers) {
    std::vector<std::exception_ptr> failures(helpers + 1);
    {
        std::vector<std::jthread> running;
        running.reserve(helpers);
        for (unsigned helper = 1; helper <= helpers; ++helper) {
            try {
                running.emplace_back(
                    [&jobs, &failure = failures[helper]] { failure = jobs.WorkCatching(); });
            } catch (const std::system_error&) {
                break;
            }
        }
        failures[0] = jobs.WorkCatching();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

void CheckBodySize(std::size_t bodyBytes) {
    constexpr std::size_t kMaxBodyBytes = std::numeric_limits<std::uint32_t>::max() - kHeaderBytes;
    if (bodyBytes > kMaxBodyBytes) {
        throw MsZipError("the file would be " + std::to_string(kHeaderBytes + bodyBytes) +
                         " bytes uncompressed, more than the compressed form can announce (" +
                         std::to_string(kMaxBodyBytes + kHeaderBytes) + ")");
    }
}

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

unsigned MsZipDefaultThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMsZipMaxThreads);
}

std::vector<std::uint8_t> MsZipCompress(std::span<const std::uint8_t> body) {
    return MsZipCompress(body, MsZipDefaultThreads());
}

std::vector<std::uint8_t> MsZipCompress(std::span<const std::uint8_t> body, unsigned threads) {
    CheckBodySize(body.size());
    BlockJobs jobs(body);
    RunJobs(jobs, HelperThreads(threads, jobs.BlockCount()));
    return jobs.Assemble();
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
