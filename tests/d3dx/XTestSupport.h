// Helpers shared by the .X library tests: a file object with the standard sets registered,
// and reading a written file back. Temporary folders come from tests/support.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3dx/D3DXFile.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XReader.h"
#include "tests/support/SmallStack.h"
#include "tests/support/TempDir.h"

namespace xtest {

// An ID3DXFile with the three standard sets registered; released on destruction.
struct StandardFile {
    StandardFile();
    ~StandardFile();
    ID3DXFile* file = nullptr;
};

// The formats under test, with a readable name for test output.
struct FormatCase {
    const char* name;
    D3DXF_FILEFORMAT format;
};
extern const FormatCase kAllFormats[3];

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Reads a written file with the standard templates; fails the test on error.
d3dx::XFileContents ReadBack(const std::string& path);
// The same with `registered` as the templates known beforehand.
d3dx::XFileContents ReadBackWith(const std::string& path,
                                 const d3dx::XTemplateRegistry& registered);

// What a reader may know before it opens a file: all three standard sets (every template
// is then also defined in the file), the D3DRM set alone (as Wine's mesh loaders), or
// nothing, so that every template must come from the file.
struct KnownTemplates {
    const char* name;
    d3dx::XTemplateRegistry registry;
};
std::vector<KnownTemplates> ReaderTemplateChoices();

HRESULT AddTo(ID3DXFileSaveData* parent, const GUID& tmpl, const char* name,
              const d3dx::XPayloadWriter& payload, ID3DXFileSaveData** child = nullptr);
HRESULT AddTo(ID3DXFileSaveObject* parent, const GUID& tmpl, const char* name,
              const d3dx::XPayloadWriter& payload, ID3DXFileSaveData** child = nullptr);

// Reads a payload member by member, little-endian as the writers lay it out; reading past
// the end fails the test and gives zeros.
class PayloadReader {
  public:
    explicit PayloadReader(const std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}
    template <typename T>
    T Take() {
        T value{};
        if (sizeof value > m_bytes.size() - m_offset) {
            Fail();
            return value;
        }
        std::memcpy(&value, m_bytes.data() + m_offset, sizeof value);
        m_offset += sizeof value;
        return value;
    }
    std::uint32_t Dword() { return Take<std::uint32_t>(); }
    std::uint16_t Word() { return Take<std::uint16_t>(); }
    float Float() { return Take<float>(); }
    bool AtEnd() const { return m_offset == m_bytes.size(); }

  private:
    void Fail();
    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_offset = 0;
};

// Every object of a template in the file, at any depth, in file order.
std::vector<const d3dx::XDataObject*> FindAll(const d3dx::XFileContents& contents,
                                              const std::string& templateName);
// The same within one object: the object itself and everything below it.
std::vector<const d3dx::XDataObject*> FindAllIn(const d3dx::XDataObject& object,
                                                const std::string& templateName);
// The names an object's reference children refer to, in order.
std::vector<std::string> ReferencesOf(const d3dx::XDataObject& object);
// The lines of a text, without their line breaks.
std::vector<std::string> SplitLines(const std::string& text);

// The stack of RunOnSmallStack. Work that takes a call per level of a tree uses more than
// this within a thousand levels in any build (sanitizer builds more so), while work that
// keeps its place on the heap needs a few kilobytes at any depth.
constexpr std::size_t kSmallStackBytes = 64 * 1024;

// Runs `work` to its end on a thread with a stack of kSmallStackBytes, and passes on what it
// throws. Test assertions belong outside `work`.
inline void RunOnSmallStack(const std::function<void()>& work) {
    tarvo::testsupport::RunOnSmallStack(work, kSmallStackBytes);
}

}  // namespace xtest
