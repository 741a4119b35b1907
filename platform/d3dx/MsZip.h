// The compressed .X container ("tzip", "bzip"): after the 16-byte header, a DWORD with the
// size of the whole uncompressed file (header included), then blocks of at most 32,768
// uncompressed bytes, each a WORD uncompressed size, a WORD compressed size counting the
// "CK" signature, "CK", and raw deflate data.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

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

// Reverses MsZipCompress: `container` starts at the size DWORD. Blocks may refer back into
// the previous block's output (history), as the container allows. The result is exactly
// the announced size minus the header; throws XParseError otherwise. `containerOffset` is
// the container's offset in the file, for error messages.
std::vector<std::uint8_t> MsZipDecompress(std::span<const std::uint8_t> container,
                                          std::size_t containerOffset);

}  // namespace d3dx
