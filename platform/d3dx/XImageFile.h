// Writing a file image straight to its file as a writer makes it, with the guarantees of
// WriteFileAtomically: the file appears whole or not at all.
#pragma once

#include <functional>
#include <string>

#include "platform/d3dx/XImageOutput.h"
#include "platform/win/HResult.h"

namespace d3dx {

// Calls `write` with a sink that puts the image into a new file beside `path`, which takes
// the place of `path` once it is whole and on disk. When writing to the file fails, the
// rest of the image is not made and the result is that of WriteFileAtomically. An exception
// from `write` leaves no file and passes to the caller.
[[nodiscard]] HRESULT WriteImageFile(const std::string& path,
                                     const std::function<void(XImageSink&)>& write);

// WriteImageFile for the compressed forms: the file takes the image's header, naming the
// compressed form, and its body compressed block by block while `write` makes it
// (WriteCompressedImage), so that neither is held whole in memory.
[[nodiscard]] HRESULT WriteCompressedImageFile(const std::string& path,
                                               const std::function<void(XImageSink&)>& write);

}  // namespace d3dx
