// A scene file's bytes in memory, followed by a zero, so that the streaming reader can take
// them as they stand.
//
// A regular file is mapped: its pages are the system's cached copy of the file, so nothing
// is copied and no fresh memory is zeroed (on the grid scene, 94 MB, some 6 ms of processor
// time against 55 ms for a read into memory of its own). The zero after the last byte is the
// page's own filling past the end of the file, written once more into the private copy of
// that page so that a file growing meanwhile cannot take it away. A file that ends exactly
// at a page boundary has no such byte and is read instead, into zero-filled memory of its
// own. Large pages are not asked for that memory: a mapping needs no fill at all, and on one
// build machine large pages made the first fill of a read several times slower in some runs.
//
// A file cut short by another program while its pages are mapped takes them away, and a read
// of one then raises SIGBUS. The size is checked once more after the mapping, which leaves
// only the time of the parse itself open to that; for that time the mapping is guarded
// (MappedFileGuard), so that the process ends with a message naming the file and the status
// of a scene that cannot be read, not with a crash. When no guard is free, the file is read
// instead.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/scene/MappedFileGuard.h"

namespace tarvo::scenefile {

class SceneFileBytes {
  public:
    SceneFileBytes() = default;
    SceneFileBytes(const SceneFileBytes&) = delete;
    SceneFileBytes& operator=(const SceneFileBytes&) = delete;
    ~SceneFileBytes();

    // False for a file that is not regular, cannot be opened or read, or is not the size it
    // said: the caller then reads it the ordinary way, which also explains any failure in the
    // ordinary words.
    [[nodiscard]] bool Read(const std::string& file);

    // The bytes read; the byte just past them is a zero.
    std::string_view View() const { return {m_bytes, m_size}; }

    // Whether the bytes are the file's own mapped pages rather than a copy (for tests and
    // benchmarks: both ways give the same bytes).
    bool Mapped() const { return m_mapped; }

  private:
    [[nodiscard]] bool Map(int fd, std::size_t size, const std::string& file);
    [[nodiscard]] bool Copy(int fd, std::size_t size);
    void Release();

    void* m_mapping = nullptr;
    std::size_t m_mappingBytes = 0;
    const char* m_bytes = nullptr;
    std::size_t m_size = 0;
    bool m_mapped = false;
    MappedFileGuard m_guard;  // while the bytes are the file's own pages
};

}  // namespace tarvo::scenefile
