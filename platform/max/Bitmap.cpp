#include "platform/max/Bitmap.h"

#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/max/Interface.h"
#include "platform/max/StringConversions.h"
#include "platform/win/FileIO.h"

namespace {

BitmapManager theManager;

enum class ImageFormat { None, Bmp, Jpg, Png, Tga };

ImageFormat FormatOf(const std::string& fileName) {
    std::string ext = std::filesystem::path(fileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".bmp") return ImageFormat::Bmp;
    if (ext == ".jpg" || ext == ".jpeg") return ImageFormat::Jpg;
    if (ext == ".png") return ImageFormat::Png;
    if (ext == ".tga") return ImageFormat::Tga;
    return ImageFormat::None;
}

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    auto* bytes = static_cast<unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

constexpr int kJpegQuality = 95;

}  // namespace

BitmapManager* TheManager = &theManager;

void BitmapInfo::CopyImageInfo(const BitmapInfo* from) {
    if (!from) return;
    m_width = from->m_width;
    m_height = from->m_height;
    m_type = from->m_type;
}

Bitmap::Bitmap(int width, int height, bool hasAlpha)
    : m_width(width),
      m_height(height),
      m_hasAlpha(hasAlpha),
      m_pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0) {}

BMM_Color_64 Bitmap::GetPixel(int x, int y) const {
    const WORD* p = &m_pixels[(static_cast<std::size_t>(y) * m_width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

void Bitmap::PutPixel(int x, int y, BMM_Color_64 c) {
    WORD* p = &m_pixels[(static_cast<std::size_t>(y) * m_width + x) * 4];
    p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
}

BOOL Bitmap::CopyImage(Bitmap* from, int operation, BMM_Color_64 fillcolor, BitmapInfo*) {
    if (!from) return FALSE;
    m_hasAlpha = from->m_hasAlpha;
    const bool sameSize = from->m_width == m_width && from->m_height == m_height;
    if (operation == COPY_IMAGE_RESIZE_HI_QUALITY && !sameSize) {
        int ok = stbir_resize_uint16_generic(
            from->m_pixels.data(), from->m_width, from->m_height, from->m_width * 8,
            m_pixels.data(), m_width, m_height, m_width * 8, 4, 3, 0, STBIR_EDGE_CLAMP,
            STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr);
        return ok ? TRUE : FALSE;
    }
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x) {
            if (operation == COPY_IMAGE_RESIZE_LO_QUALITY ||
                operation == COPY_IMAGE_RESIZE_HI_QUALITY) {
                PutPixel(
                    x, y,
                    from->GetPixel(x * from->m_width / m_width, y * from->m_height / m_height));
            } else {
                bool inside = x < from->m_width && y < from->m_height;
                PutPixel(x, y, inside ? from->GetPixel(x, y) : fillcolor);
            }
        }
    return TRUE;
}

BMMRES Bitmap::OpenOutput(BitmapInfo* bi) {
    if (!bi) return BMMRES_INTERNALERROR;
    if (FormatOf(bi->Name()) == ImageFormat::None) return BMMRES_INVALIDFORMAT;
    m_outputName = tarvo::host::NativePath(bi->Name());
    m_encoded.clear();
    return BMMRES_SUCCESS;
}

// Encodes into memory; the file appears only when the output is closed as complete.
BMMRES Bitmap::Write(BitmapInfo*, DWORD) {
    if (m_outputName.empty()) return BMMRES_INTERNALERROR;
    const ImageFormat format = FormatOf(m_outputName);
    const bool keepAlpha = m_hasAlpha && (format == ImageFormat::Png || format == ImageFormat::Tga);
    const int channels = keepAlpha ? 4 : 3;
    std::vector<unsigned char> pixels;
    pixels.reserve(static_cast<std::size_t>(m_width) * m_height * channels);
    for (std::size_t i = 0; i < m_pixels.size(); i += 4)
        for (int c = 0; c < channels; ++c)
            pixels.push_back(static_cast<unsigned char>((m_pixels[i + c] + 128u) / 257u));
    m_encoded.clear();
    int ok = 0;
    switch (format) {
        case ImageFormat::Bmp:
            ok = stbi_write_bmp_to_func(AppendBytes, &m_encoded, m_width, m_height, channels,
                                        pixels.data());
            break;
        case ImageFormat::Jpg:
            ok = stbi_write_jpg_to_func(AppendBytes, &m_encoded, m_width, m_height, channels,
                                        pixels.data(), kJpegQuality);
            break;
        case ImageFormat::Png:
            ok = stbi_write_png_to_func(AppendBytes, &m_encoded, m_width, m_height, channels,
                                        pixels.data(), m_width * channels);
            break;
        case ImageFormat::Tga:
            ok = stbi_write_tga_to_func(AppendBytes, &m_encoded, m_width, m_height, channels,
                                        pixels.data());
            break;
        case ImageFormat::None:
            break;
    }
    return ok ? BMMRES_SUCCESS : BMMRES_IOERROR;
}

// A complete close writes the image whole or not at all: a failure never leaves half an
// image and never destroys the previous file.
int Bitmap::Close(BitmapInfo*, int flag) {
    std::string target = std::move(m_outputName);
    std::vector<unsigned char> bytes = std::move(m_encoded);
    m_outputName.clear();
    m_encoded.clear();
    if (flag != BMM_CLOSE_COMPLETE || target.empty() || bytes.empty()) return 0;
    return SUCCEEDED(WriteFileAtomically(target, bytes)) ? 1 : 0;
}

void Bitmap::DeleteThis() {
    delete this;
}

Bitmap* BitmapManager::Load(BitmapInfo* bi, BMMRES* status) {
    auto fail = [status](BMMRES code) -> Bitmap* {
        if (status) *status = code;
        return nullptr;
    };
    if (!bi) return fail(BMMRES_INTERNALERROR);
    std::string path = tarvo::host::NativePath(bi->Name());
    if (!DoesFileExist(path.c_str())) return fail(BMMRES_FILENOTFOUND);
    int width = 0, height = 0, channels = 0;
    stbi_us* data = stbi_load_16(path.c_str(), &width, &height, &channels, 4);
    if (!data) return fail(BMMRES_INVALIDFORMAT);
    auto* bitmap = new Bitmap(width, height, channels == 2 || channels == 4);
    std::copy(data, data + static_cast<std::size_t>(width) * height * 4, bitmap->m_pixels.begin());
    stbi_image_free(data);
    bi->SetWidth(static_cast<WORD>(width));
    bi->SetHeight(static_cast<WORD>(height));
    bi->SetType(BMM_TRUE_64);
    if (status) *status = BMMRES_SUCCESS;
    return bitmap;
}

Bitmap* BitmapManager::Create(BitmapInfo* bi) {
    if (!bi || bi->Width() == 0 || bi->Height() == 0) return nullptr;
    bool alpha = bi->Type() == BMM_TRUE_32 || bi->Type() == BMM_TRUE_64;
    return new Bitmap(bi->Width(), bi->Height(), alpha);
}

BMMRES BitmapManager::GetImageInfo(BitmapInfo* bi) {
    if (!bi) return BMMRES_INTERNALERROR;
    int width = 0, height = 0, channels = 0;
    std::string path = tarvo::host::NativePath(bi->Name());
    if (!stbi_info(path.c_str(), &width, &height, &channels)) return BMMRES_INVALIDFORMAT;
    bi->SetWidth(static_cast<WORD>(width));
    bi->SetHeight(static_cast<WORD>(height));
    bi->SetType(BMM_TRUE_64);
    return BMMRES_SUCCESS;
}
