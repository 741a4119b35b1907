#include <new>

#include "platform/d3dx/MsZip.h"
#include "platform/d3dx/XBinaryTokens.h"
#include "platform/d3dx/XParser.h"
#include "platform/d3dx/XReader.h"
#include "platform/win/FileIO.h"

namespace d3dx {
namespace {

constexpr std::size_t kHeaderBytes = 16;

// The uncompressed image of a compressed file: its header, then the inflated body.
XBytes Inflate(std::span<const std::uint8_t> image) {
    XBytes plain = MsZipDecompress(image.subspan(kHeaderBytes), kHeaderBytes);
    plain.insert(plain.begin(), image.begin(), image.begin() + kHeaderBytes);
    return plain;
}

bool IsCompressed(XFileForm form) {
    return form == XFileForm::CompressedText || form == XFileForm::CompressedBinary;
}

HRESULT Report(XReadError* error, HRESULT hr, std::size_t offset, const std::string& what) {
    if (error != nullptr) {
        error->hr = hr;
        error->offset = offset;
        error->message = "byte " + std::to_string(offset) + ": " + what;
    }
    return hr;
}

// Runs `parse` over the image, uncompressed first when needed, turning every failure into
// a result code and a message.
template <typename Parse>
HRESULT ParseGuarded(std::span<const std::uint8_t> image, XReadError* error, Parse&& parse) {
    try {
        XHeader header = ParseHeader(image);
        if (IsCompressed(header.form)) {
            XBytes plain = Inflate(image);
            parse(std::span<const std::uint8_t>(plain), header);
        } else {
            parse(image, header);
        }
    } catch (const XParseError& failure) {
        return Report(error, failure.code, failure.offset, failure.what());
    } catch (const std::bad_alloc&) {
        return Report(error, E_OUTOFMEMORY, 0, "out of memory");
    }
    return S_OK;
}

}  // namespace

const char* FormName(XFileForm form) {
    switch (form) {
        case XFileForm::Text:
            return "txt";
        case XFileForm::Binary:
            return "bin";
        case XFileForm::CompressedText:
            return "tzip";
        case XFileForm::CompressedBinary:
            return "bzip";
    }
    return "?";
}

HRESULT RegisterTemplateBlock(std::span<const std::uint8_t> block, XTemplateRegistry& registry,
                              XReadError* error) {
    XFileContents contents;
    contents.templates = std::move(registry);
    HRESULT hr =
        ParseGuarded(block, error, [&](std::span<const std::uint8_t> image, const XHeader& header) {
            ParseImage(image, header, contents, /*objectsAllowed=*/false);
        });
    registry = std::move(contents.templates);
    return hr;
}

HRESULT ReadXImage(std::span<const std::uint8_t> image, const XTemplateRegistry& registered,
                   XFileContents& contents, XReadError* error) {
    contents = XFileContents{};
    contents.templates = registered;
    return ParseGuarded(image, error,
                        [&](std::span<const std::uint8_t> plain, const XHeader& header) {
                            contents.form = header.form;
                            contents.floatBits = header.floatBits;
                            contents.minorVersion = header.minorVersion;
                            ParseImage(plain, header, contents, /*objectsAllowed=*/true);
                        });
}

HRESULT ReadXFile(const std::string& path, const XTemplateRegistry& registered,
                  XFileContents& contents, XReadError* error) {
    std::string bytes;
    HRESULT hr = ::ReadWholeFile(path, bytes);
    // The file layer's own codes for what went wrong.
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        hr = D3DXFERR_FILENOTFOUND;
    else if (FAILED(hr) && hr != E_ACCESSDENIED)
        hr = D3DXFERR_BADFILE;
    if (FAILED(hr)) {
        const char* why = hr == D3DXFERR_FILENOTFOUND ? "file not found"
                          : hr == E_ACCESSDENIED      ? "permission denied"
                                                      : "read error";
        Report(error, hr, 0, why);
        if (error != nullptr) error->message = path + ": " + why;
        return hr;
    }
    std::span<const std::uint8_t> image(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                        bytes.size());
    hr = ReadXImage(image, registered, contents, error);
    if (FAILED(hr) && error != nullptr) error->message = path + ": " + error->message;
    return hr;
}

}  // namespace d3dx
