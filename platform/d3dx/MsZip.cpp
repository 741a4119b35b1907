#include "platform/d3dx/MsZip.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

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

// One block as the container holds it: its plain size, its packed size counting "CK", "CK"
// and the deflate data.
XBytes FramedBlock(BlockDeflater& deflater, std::span<const std::uint8_t> slice) {
    std::span<const std::uint8_t> packed = deflater.CompressSlice(slice);
    XBytes framed;
    framed.reserve(kBlockHeaderBytes + sizeof kSignature + packed.size());
    AppendWord(framed, static_cast<std::uint16_t>(slice.size()));
    AppendWord(framed, static_cast<std::uint16_t>(sizeof kSignature + packed.size()));
    framed.insert(framed.end(), std::begin(kSignature), std::end(kSignature));
    framed.insert(framed.end(), packed.begin(), packed.end());
    return framed;
}

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
        m_framed[block] = FramedBlock(deflater, slice);
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

constexpr std::size_t kMaxBodyBytes = std::numeric_limits<std::uint32_t>::max() - kHeaderBytes;

void CheckBodySize(std::size_t bodyBytes) {
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

// Whole blocks waiting for a thread, more than this many per compressing thread, make the
// writer compress one itself instead of making more: the body waiting for a thread stays
// within a megabyte however far the writer runs ahead.
constexpr std::size_t kQueuedBlocksPerThread = 8;
// Framed blocks are given to the container in runs of at least this many bytes.
constexpr std::size_t kPassedRunBytes = 256 * 1024;

}  // namespace

// The compressing side of MsZipWriter: whole blocks queued by the writer's thread, helper
// threads started as there is work for them, and the framed blocks kept by number until the
// writer's thread passes them on in order. Only the writer's thread calls its members.
class MsZipBlockPipeline {
  public:
    explicit MsZipBlockPipeline(unsigned threads) : m_maxHelpers(std::max(threads, 1u) - 1) {}
    ~MsZipBlockPipeline() { StopHelpers(); }
    MsZipBlockPipeline(const MsZipBlockPipeline&) = delete;
    MsZipBlockPipeline& operator=(const MsZipBlockPipeline&) = delete;

    void Submit(std::size_t block, XBytes plain) {
        bool behind = false;
        {
            std::lock_guard lock(m_mutex);
            ThrowIfFailed();
            m_queue.push_back({block, std::move(plain)});
            behind = m_queue.size() > kQueuedBlocksPerThread * (m_helpers.size() + 1);
        }
        m_jobsReady.notify_one();
        StartHelperIfWorthIt(++m_submitted);
        if (behind) CompressOneHere();
    }

    // Appends to `out` the framed blocks from `next` on that are done, in order.
    void TakeDone(XBytes& out, std::size_t& next) {
        std::lock_guard lock(m_mutex);
        ThrowIfFailed();
        for (auto done = m_framed.find(next); done != m_framed.end() && done->first == next;
             done = m_framed.erase(done), ++next) {
            out.insert(out.end(), done->second.begin(), done->second.end());
        }
    }

    // Returns once every block submitted is framed, helping with those still queued.
    void Drain() {
        while (CompressOneHere()) {
        }
        std::unique_lock lock(m_mutex);
        m_jobDone.wait(lock, [this] { return (m_busy == 0 && m_starting == 0) || m_failure; });
        ThrowIfFailed();
    }

  private:
    struct Job {
        std::size_t block;
        XBytes plain;
    };

    void ThrowIfFailed() const {
        if (m_failure) std::rethrow_exception(m_failure);
    }

    // One helper per kMinBlocksPerThread blocks, as MsZipCompress starts them.
    void StartHelperIfWorthIt(std::size_t submitted) {
        if (m_helpers.size() >= m_maxHelpers) return;
        if (submitted < (m_helpers.size() + 2) * kMinBlocksPerThread) return;
        {
            std::lock_guard lock(m_mutex);
            ++m_starting;
        }
        try {
            m_helpers.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
            // The blocks are compressed all the same, by the threads there are.
            std::lock_guard lock(m_mutex);
            --m_starting;
            m_maxHelpers = m_helpers.size();
        }
    }

    // False when nothing was queued.
    bool CompressOneHere() {
        Job job;
        if (!TakeQueued(job)) return false;
        XBytes framed;
        try {
            framed = FramedBlock(m_own, job.plain);
        } catch (...) {
            Abandon(std::current_exception());
            throw;
        }
        Store(job.block, std::move(framed));
        return true;
    }

    bool TakeQueued(Job& job) {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty()) return false;
        job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_busy;
        return true;
    }

    void HelperLoop() noexcept {
        std::optional<BlockDeflater> deflater;
        try {
            deflater.emplace();
        } catch (...) {
            Fail(std::current_exception(), /*starting=*/true);
            return;
        }
        Started();
        Job job;
        while (WaitForJob(job)) {
            try {
                Store(job.block, FramedBlock(*deflater, job.plain));
            } catch (...) {
                Abandon(std::current_exception());
                return;
            }
        }
    }

    void Started() {
        std::lock_guard lock(m_mutex);
        --m_starting;
        m_jobDone.notify_all();
    }

    bool WaitForJob(Job& job) {
        std::unique_lock lock(m_mutex);
        m_jobsReady.wait(lock, [this] { return m_stopping || m_failure || !m_queue.empty(); });
        if (m_stopping || m_failure) return false;
        job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_busy;
        return true;
    }

    void Store(std::size_t block, XBytes framed) {
        std::lock_guard lock(m_mutex);
        m_framed.emplace(block, std::move(framed));
        --m_busy;
        m_jobDone.notify_all();
    }

    // A job taken and not done: the failure stops every thread.
    void Abandon(std::exception_ptr failure) {
        {
            std::lock_guard lock(m_mutex);
            --m_busy;
        }
        Fail(std::move(failure), /*starting=*/false);
    }

    void Fail(std::exception_ptr failure, bool starting) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_failure) m_failure = std::move(failure);
            if (starting) --m_starting;
        }
        m_jobsReady.notify_all();
        m_jobDone.notify_all();
    }

    void StopHelpers() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_jobsReady.notify_all();
        m_helpers.clear();  // joins them
    }

    std::mutex m_mutex;
    std::condition_variable m_jobsReady;
    std::condition_variable m_jobDone;
    std::deque<Job> m_queue;
    std::map<std::size_t, XBytes> m_framed;  // done, waiting for their turn
    std::size_t m_busy = 0;                  // jobs taken and not yet stored
    std::size_t m_starting = 0;              // helpers without their compressor yet
    std::exception_ptr m_failure;
    bool m_stopping = false;
    // The writer's thread only:
    std::size_t m_submitted = 0;
    unsigned m_maxHelpers;
    BlockDeflater m_own;  // made first, so that the caller can always compress
    std::vector<std::jthread> m_helpers;
};

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

MsZipWriter::MsZipWriter(XImageSink& container, std::size_t containerOffset, unsigned threads)
    : m_container(container),
      m_containerOffset(containerOffset),
      m_pipeline(std::make_unique<MsZipBlockPipeline>(threads)) {
    m_filling.reserve(kMsZipBlockBytes);
}

MsZipWriter::~MsZipWriter() = default;

void MsZipWriter::Append(std::span<const std::uint8_t> bytes) {
    if (m_tooLarge || bytes.size() > kMaxBodyBytes - m_bodyBytes) {
        // Nothing more is compressed; the size is still counted for the message.
        m_tooLarge = true;
        m_bodyBytes += bytes.size();
        return;
    }
    while (!bytes.empty()) {
        std::size_t take = std::min(kMsZipBlockBytes - m_filling.size(), bytes.size());
        m_filling.insert(m_filling.end(), bytes.begin(), bytes.begin() + take);
        m_bodyBytes += take;
        bytes = bytes.subspan(take);
        if (m_filling.size() == kMsZipBlockBytes) CompleteBlock(FillingBlock() - 1);
    }
    PassOnCompressed();
}

void MsZipWriter::Hold(std::size_t offset, std::size_t count) {
    if (m_tooLarge) return;
    if (offset < FillingBlock() * kMsZipBlockBytes) {
        throw std::logic_error("bytes at body offset " + std::to_string(offset) +
                               " were held after their block was compressed");
    }
    m_holds.push_back({offset, count});
}

void MsZipWriter::Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) {
    if (m_tooLarge) return;
    Mend(offset, bytes);
    auto hold = std::find_if(m_holds.begin(), m_holds.end(),
                             [offset](const OpenHold& open) { return open.offset == offset; });
    if (hold == m_holds.end()) return;
    m_holds.erase(hold);
    PassOnFreedBlocks();
}

void MsZipWriter::Finish() {
    if (m_tooLarge) CheckBodySize(m_bodyBytes);
    if (!m_holds.empty()) {
        throw std::logic_error("held bytes at body offset " + std::to_string(m_holds[0].offset) +
                               " were never mended");
    }
    if (!m_filling.empty()) CompleteBlock(FillingBlock());
    m_pipeline->Drain();
    PassOnCompressed(/*last=*/true);
    std::uint8_t size[4];
    auto total = static_cast<std::uint32_t>(kHeaderBytes + m_bodyBytes);
    for (std::size_t i = 0; i < sizeof size; ++i)
        size[i] = static_cast<std::uint8_t>(total >> (8 * i));
    m_container.Overwrite(m_containerOffset, size);
}

void MsZipWriter::CompleteBlock(std::size_t block) {
    XBytes plain = std::exchange(m_filling, {});
    m_filling.reserve(kMsZipBlockBytes);
    if (IsHeld(block)) {
        m_held.emplace_back(block, std::move(plain));
    } else {
        m_pipeline->Submit(block, std::move(plain));
    }
}

bool MsZipWriter::IsHeld(std::size_t block) const {
    std::size_t start = block * kMsZipBlockBytes;
    std::size_t end = start + kMsZipBlockBytes;
    return std::any_of(m_holds.begin(), m_holds.end(), [&](const OpenHold& hold) {
        return hold.offset < end && hold.offset + hold.count > start;
    });
}

// Held blocks go to the threads in the order they were held, once no hold is left on them.
void MsZipWriter::PassOnFreedBlocks() {
    for (auto held = m_held.begin(); held != m_held.end();) {
        if (IsHeld(held->first)) {
            ++held;
            continue;
        }
        m_pipeline->Submit(held->first, std::move(held->second));
        held = m_held.erase(held);
    }
    PassOnCompressed();
}

void MsZipWriter::PassOnCompressed(bool last) {
    if (!m_sizeGiven) {
        // Known only at the end: Finish mends it.
        m_ready.resize(4);
        m_sizeGiven = true;
    }
    m_pipeline->TakeDone(m_ready, m_passedBlocks);
    // Blocks go on in runs: a file takes a few large writes rather than one per block.
    if (last || m_ready.size() >= kPassedRunBytes) {
        m_container.Append(m_ready);
        m_ready.clear();
    }
}

void MsZipWriter::Mend(std::size_t offset, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        std::size_t block = offset / kMsZipBlockBytes;
        std::size_t within = offset % kMsZipBlockBytes;
        std::size_t take = std::min(kMsZipBlockBytes - within, bytes.size());
        XBytes* plain = nullptr;
        if (block == FillingBlock() && within + take <= m_filling.size()) plain = &m_filling;
        for (auto& [heldBlock, heldBytes] : m_held) {
            if (heldBlock == block) plain = &heldBytes;
        }
        if (plain == nullptr) {
            throw std::logic_error("bytes at body offset " + std::to_string(offset) +
                                   " were mended after their block was compressed");
        }
        std::copy_n(bytes.begin(), take, plain->begin() + static_cast<std::ptrdiff_t>(within));
        offset += take;
        bytes = bytes.subspan(take);
    }
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
