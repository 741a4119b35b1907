#include "platform/d3dx/XImageFile.h"

#include "platform/d3dx/XSaveTree.h"
#include "platform/win/FileIO.h"

namespace d3dx {
namespace {

// Thrown through the writer when the file stops taking bytes, so that it does not make the
// rest of a large image for nothing; the file layer keeps the reason.
struct FileStoppedTakingBytes {};

class FileImageSink final : public XImageSink {
  public:
    explicit FileImageSink(FileOutput& file) : m_file(file) {}

    void Append(std::span<const std::uint8_t> bytes) override {
        if (!m_file.Append(bytes)) throw FileStoppedTakingBytes{};
    }
    void Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) override {
        if (!m_file.Overwrite(offset, bytes)) throw FileStoppedTakingBytes{};
    }

  private:
    FileOutput& m_file;
};

}  // namespace

HRESULT WriteImageFile(const std::string& path, const std::function<void(XImageSink&)>& write) {
    return WriteFileAtomically(path, [&write](FileOutput& file) {
        FileImageSink sink(file);
        try {
            write(sink);
        } catch (const FileStoppedTakingBytes&) {
            // The failure is the file's: WriteFileAtomically reports it.
        }
    });
}

HRESULT WriteCompressedImageFile(const std::string& path,
                                 const std::function<void(XImageSink&)>& write) {
    return WriteImageFile(path, [&write](XImageSink& file) { WriteCompressedImage(file, write); });
}

}  // namespace d3dx
