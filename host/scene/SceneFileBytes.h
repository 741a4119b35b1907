// A scene file's bytes in memory of their own, read in one go and followed by a zero, so
// that the streaming reader can take them as they stand.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

  private:
    void Release();

    void* m_mapping = nullptr;
    std::size_t m_mappingBytes = 0;
    const char* m_bytes = nullptr;
    std::size_t m_size = 0;
};

}  // namespace tarvo::scenefile
