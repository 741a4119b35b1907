// Texture file names, and the images converted or copied beside the .X file.
#include <cstring>
#include <span>

#include "material/Materials.h"
#include "platform/win/FileIO.h"
#include "plugin/Exporter.h"

namespace {

constexpr BMM_Color_64 kNoFill{};

std::size_t FileNameStart(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? 0 : separator + 1;
}

void ReplaceExtension(std::string& path, const char* extension) {
    const std::size_t nameStart = FileNameStart(path);
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart)
        path += '.';
    else
        path.erase(dot + 1);
    path += extension;
}

// Notes a destination and warns when an earlier texture of this export, from another
// image, went to the same file: one of the two textures is then lost.
void NoteDestination(TarvoDirectXMaxExporter& exporter, const std::string& dest,
                     const std::string& source) {
    auto [known, added] = exporter.textureSources.emplace(dest, source);
    if (!added && known->second != source)
        DebugPrint("Warning: texture %s from %s is also the destination of %s\n", dest.c_str(),
                   source.c_str(), known->second.c_str());
}

// Writes the image as the destination's extension says, whole or not at all.
bool WriteImage(Bitmap* image, const std::string& dest) {
    BitmapInfo info(dest.c_str());
    info.SetWidth(static_cast<WORD>(image->Width()));
    info.SetHeight(static_cast<WORD>(image->Height()));
    if (image->OpenOutput(&info) != BMMRES_SUCCESS) return false;
    if (image->Write(&info, BMM_SINGLEFRAME) != BMMRES_SUCCESS) {
        image->Close(&info, BMM_CLOSE_ABANDON);
        return false;
    }
    return image->Close(&info, BMM_CLOSE_COMPLETE) != 0;
}

// A copy of the image resampled to width × height, written to dest.
bool WriteScaledImage(Bitmap* source, std::uint32_t width, std::uint32_t height,
                      const std::string& dest) {
    BitmapInfo info;
    info.SetType(BMM_TRUE_64);
    info.SetName(dest.c_str());
    info.SetDevice("");
    DebugPrint("Scaling bitmap to x: %d y: %d \n", static_cast<int>(width),
               static_cast<int>(height));
    info.SetWidth(static_cast<WORD>(width));
    info.SetHeight(static_cast<WORD>(height));
    Bitmap* scaled = TheManager->Create(&info);
    if (scaled == nullptr) return false;
    bool written = scaled->CopyImage(source, COPY_IMAGE_RESIZE_HI_QUALITY, kNoFill) &&
                   WriteImage(scaled, dest);
    scaled->DeleteThis();
    return written;
}

void ConvertImage(TarvoDirectXMaxExporter& exporter, BitmapTex* map, const std::string& dest) {
    Bitmap* image = map->GetBitmap(exporter.staticTime);
    if (image == nullptr) {
        DebugPrint("Warning: texture image %s cannot be read; %s is not written\n",
                   map->GetMapName(), dest.c_str());
        return;
    }
    if (!exporter.options.overwriteTex && DoesFileExist(dest.c_str())) {
        DebugPrint("Texture %s exists; not overwritten\n", dest.c_str());
        return;
    }
    const std::uint32_t width = NearestPowerOfTwo(static_cast<std::uint32_t>(image->Width()));
    const std::uint32_t height = NearestPowerOfTwo(static_cast<std::uint32_t>(image->Height()));
    const bool scale =
        exporter.options.texScale && (width != static_cast<std::uint32_t>(image->Width()) ||
                                      height != static_cast<std::uint32_t>(image->Height()));
    const bool written =
        scale ? WriteScaledImage(image, width, height, dest) : WriteImage(image, dest);
    if (written)
        DebugPrint("Texture written: %s\n", dest.c_str());
    else
        DebugPrint("Warning: texture %s cannot be written\n", dest.c_str());
}

// Copies the file unless the destination exists; the copy appears whole or not at all.
void CopyImage(const std::string& source, const std::string& dest) {
    if (DoesFileExist(dest.c_str())) {
        DebugPrint("Texture %s exists; not copied\n", dest.c_str());
        return;
    }
    std::string bytes;
    if (FAILED(ReadWholeFile(source, bytes))) {
        DebugPrint("Warning: texture image %s cannot be read; %s is not written\n", source.c_str(),
                   dest.c_str());
        return;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (FAILED(WriteFileAtomically(dest, std::span(data, bytes.size()))))
        DebugPrint("Warning: texture %s cannot be written\n", dest.c_str());
    else
        DebugPrint("Texture copied: %s\n", dest.c_str());
}

// The TextureFilename text, after converting or copying the image as texMapConv says.
std::string TextureText(TarvoDirectXMaxExporter& exporter, BitmapTex* map) {
    const ExportOptions& options = exporter.options;
    const std::string source = map->GetMapName();
    const char* extension = nullptr;
    if (options.texMapConv == kTexMapConvert)
        extension = TextureFormatOf(options.textureFormat).extension;
    else if (options.texMapConv != kTexMapCopy)
        return TextureFileName(source, nullptr, options.texFullPath != 0);
    const std::string name = TextureFileName(source, extension, false);
    const std::string dest = exporter.outputDir + name;
    NoteDestination(exporter, dest, source);
    if (options.texMapConv == kTexMapConvert)
        ConvertImage(exporter, map, dest);
    else
        CopyImage(source, dest);
    return options.texFullPath ? dest : name;
}

}  // namespace

const TextureFormatRow& TextureFormatOf(std::int32_t code) {
    for (const TextureFormatRow& row : TextureFormatTable)
        if (row.code == code) return row;
    return TextureFormatTable[0];
}

std::string TextureFileName(std::string path, const char* extension, bool fullPath) {
    if (extension != nullptr && !path.empty()) ReplaceExtension(path, extension);
    if (fullPath) return path;
    return path.substr(FileNameStart(path));
}

std::uint32_t NearestPowerOfTwo(std::uint32_t v) {
    // Wide enough that four thirds of any side neither wraps nor overflows the power.
    const std::uint64_t limit = 4ull * v / 3;
    constexpr std::uint64_t kLargestPower = 1ull << 31;
    std::uint64_t power = 1;
    while (power * 2 <= limit && power < kLargestPower) power *= 2;
    return static_cast<std::uint32_t>(power);
}

void WriteTextureFilename(TarvoDirectXMaxExporter& exporter, BitmapTex* map,
                          ID3DXFileSaveData* materialObject) {
    MSTR className;
    map->GetClassName(className);
    DebugPrint("Class Name: %s\n", className.c_str());
    DebugPrint("%s\n", map->GetName().c_str());
    DebugPrint("FileName %s\n", map->GetMapName());
    if (*map->GetMapName() == '\0') return;
    const std::string text = TextureText(exporter, map);
    const char* stored = exporter.options.xFileType == kXFileText
                             ? exporter.stringPool.AddPathString(text.c_str())
                             : exporter.stringPool.AddString(text.c_str());
    if (stored == nullptr) return;
    // A texture name that cannot be added leaves the material untextured; the export goes on.
    (void)XParent(materialObject)
        .AddLeaf(TID_D3DRMTextureFilename, nullptr, std::strlen(stored) + 1, stored);
}
