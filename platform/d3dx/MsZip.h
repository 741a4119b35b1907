// The compressed .X container ("tzip", "bzip"): after the 16-byte header, a DWORD with the
// size of the whole uncompressed file (header included), then blocks of at most 32,768
// uncompressed bytes, each a WORD uncompressed size, a WORD compressed size counting the
// "CK" signature, "CK", and raw deflate data.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "platform/d3dx/XImageOutput.h"

namespace d3dx {

constexpr std::size_t kMsZipBlockBytes = 32768;
// The exporter shares the machine with the modelling host it runs in: compression takes no
// more than this many of its cores.
constexpr unsigned kMsZipMaxThreads = 4;

// A body the container cannot hold: its size DWORD cannot announce more than 4 GiB.
class MsZipError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The threads MsZipCompress uses unless told otherwise: one per core, at most
// kMsZipMaxThreads.
unsigned MsZipDefaultThreads();

// Compresses the body of an uncompressed image (everything after its 16-byte header) and
// returns the container that follows the header: the size DWORD and the blocks. Each block
// is an independent deflate stream, which every known reader accepts, so blocks are
// compressed on up to `threads` threads at once; the bytes do not depend on how many.
// Throws MsZipError for a body too large for the container and std::bad_alloc when memory
// runs out; no thread outlives the call either way.
std::vector<std::uint8_t> MsZipCompress(std::span<const std::uint8_t> body);
std::vector<std::uint8_t> MsZipCompress(std::span<const std::uint8_t> body, unsigned threads);

class MsZipBlockPipeline;

// MsZipCompress for a body that arrives in pieces, as a writer makes it: each 32 KiB block
// is compressed as soon as it is whole (on up to `threads` threads, the caller's included)
// and the container goes to `container` in order, from `containerOffset` on, so neither the
// body nor the container is ever held whole. A block with bytes under a Hold waits until
// they are mended; the blocks after it are compressed meanwhile and wait, compressed, for
// their turn. The bytes are those MsZipCompress makes of the finished body.
// Throws std::bad_alloc when memory runs out and std::logic_error when bytes are mended that
// no Hold announced and that have already been compressed; no thread outlives the object.
class MsZipWriter final : public XImageSink {
  public:
    MsZipWriter(XImageSink& container, std::size_t containerOffset, unsigned threads);
    ~MsZipWriter() override;
    MsZipWriter(const MsZipWriter&) = delete;
    MsZipWriter& operator=(const MsZipWriter&) = delete;

    void Append(std::span<const std::uint8_t> bytes) override;
    void Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) override;
    void Hold(std::size_t offset, std::size_t count) override;

    // Compresses the last block, hands over every block still waiting and then mends the
    // size DWORD. Throws MsZipError, as MsZipCompress does, for a body too large for it.
    void Finish();

  private:
    std::size_t FillingBlock() const { return m_bodyBytes / kMsZipBlockBytes; }
    void CompleteBlock(std::size_t block);
    void PassOnFreedBlocks();
    bool IsHeld(std::size_t block) const;
    void Mend(std::size_t offset, std::span<const std::uint8_t> bytes);
    void PassOnCompressed(bool last = false);

    XImageSink& m_container;
    std::size_t m_containerOffset;
    std::unique_ptr<MsZipBlockPipeline> m_pipeline;
    std::size_t m_bodyBytes = 0;
    // Past the container's limit: the rest is only counted, for the message.
    bool m_tooLarge = false;
    std::vector<std::uint8_t> m_filling;  // the block being appended to
    // Whole blocks that still have bytes under a Hold, by block number.
    std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> m_held;
    struct OpenHold {
        std::size_t offset;
        std::size_t count;
    };
    std::vector<OpenHold> m_holds;
    std::size_t m_passedBlocks = 0;     // blocks taken for the container, all in order
    std::vector<std::uint8_t> m_ready;  // taken for the container and not yet given
    bool m_sizeGiven = false;           // the size DWORD's place, before the first block
};

// Reverses MsZipCompress: `container` starts at the size DWORD. Blocks may refer back into
// the previous block's output (history), as the container allows. The result is exactly
// the announced size minus the header; throws XParseError otherwise. `containerOffset` is
// the container's offset in the file, for error messages.
std::vector<std::uint8_t> MsZipDecompress(std::span<const std::uint8_t> container,
                                          std::size_t containerOffset);

}  // namespace d3dx
