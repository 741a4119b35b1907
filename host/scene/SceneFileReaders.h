// The two ways ParseScene reads scene text, apart, so that they can be held against each
// other. ParseScene tries the streaming reader first and falls back on the document reader
// whenever the streaming one is in doubt; only the document reader explains a refusal.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/max/SceneData.h"

namespace tarvo::scenefile {

// Scene text with a zero byte just past its end, as every std::string keeps one: the
// streaming reader's scans stop at that zero instead of testing for the end at every byte.
class ZeroEndedText {
  public:
    // Implicit on purpose: any string may be read.
    ZeroEndedText(const std::string& text) : m_text(text) {}
    // Bytes that the caller's own memory follows with a zero.
    static ZeroEndedText FollowedByZero(std::string_view bytes) { return ZeroEndedText(bytes); }
    std::string_view View() const { return m_text; }

  private:
    explicit ZeroEndedText(std::string_view bytes) : m_text(bytes) {}
    std::string_view m_text;
};

// How the streaming reader shares each long list of a mesh out among threads: into parts of
// at least minItemsPerPart items, which at most maxReaders threads (0: one per hardware
// thread) take in turn. Only the time taken depends on it, never what is read or whether the
// reader gives up.
struct ListSharing {
    // About a millisecond of reading: some twenty times what starting a thread costs (50 to
    // 80 microseconds on the busy 2-core build machine), and short enough that the threads
    // reading a list finish close together.
    std::size_t minItemsPerPart = 16384;
    unsigned maxReaders = 0;
    // Whether the lists' surveys may use the processor's 256-bit vector instructions where it
    // has them (off in tests, so that the other way is tried on such a processor too).
    bool wideVectors = true;
};

// The sharing used when none is given. A fuzzing build splits every list it can, so that
// the small inputs of a fuzzer reach the joins between the parts.
inline ListSharing DefaultListSharing() {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    return {1, 3};
#else
    return {};
#endif
}

// Reads the text through a whole document tree; throws SceneFileError for any problem.
scene::SceneData ParseSceneDocument(std::string_view text, const std::string& fileName,
                                    const std::string& baseDirectory = "");

// Reads the text in one pass without a tree for its meshes; nothing when the text has a
// problem or anything this reader does not check itself.
std::optional<scene::SceneData> ParseSceneStreaming(
    ZeroEndedText text, const std::string& fileName, const std::string& baseDirectory = "",
    const ListSharing& sharing = DefaultListSharing());

// Whether two scenes hold the same records, down to the bits of every mesh number: records
// compare -0 and +0 as equal, the exported file does not.
bool SameSceneBits(const scene::SceneData& a, const scene::SceneData& b);

}  // namespace tarvo::scenefile
