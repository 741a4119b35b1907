// Source materials as the host's standard materials, and the images a source holds inside
// itself named as files beside the output.
#include <assimp/material.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "host/import/ImportStages.h"

namespace tarvo::assimpimport {

namespace fs = std::filesystem;

namespace {

// The host's glossiness times this is the .X file's specular power, so a source exponent up
// to it keeps its value and a higher one is as glossy as the host allows.
constexpr float kMaxSpecularExponent = 32.0f;

// A file that holds an uncompressed embedded image: 32-bit truecolour TGA.
constexpr std::uint8_t kTgaUncompressedTrueColour = 2;
constexpr std::uint8_t kTgaBitsPerPixel = 32;
constexpr std::uint8_t kTgaTopLeftOriginAlpha8 = 0x28;
constexpr std::size_t kTgaHeaderSize = 18;

std::optional<aiColor3D> ColourOf(const aiMaterial& material, const char* key, unsigned type,
                                  unsigned index) {
    aiColor3D colour;
    if (material.Get(key, type, index, colour) != AI_SUCCESS) return std::nullopt;
    return colour;
}

std::optional<float> FloatOf(const aiMaterial& material, const char* key, unsigned type,
                             unsigned index) {
    float value = 0.0f;
    if (material.Get(key, type, index, value) != AI_SUCCESS) return std::nullopt;
    return value;
}

Color HostColour(const aiColor3D& colour) {
    return Color(colour.r, colour.g, colour.b);
}

void ImportColours(const aiMaterial& source, scene::MaterialData& material) {
    // glTF's base colour reaches Assimp as the diffuse colour as well; the base colour alone
    // is taken where a reader gives only that.
    if (auto diffuse = ColourOf(source, AI_MATKEY_COLOR_DIFFUSE))
        material.diffuse = HostColour(*diffuse);
    else if (auto base = ColourOf(source, AI_MATKEY_BASE_COLOR))
        material.diffuse = HostColour(*base);
    // The host's highlight is colour times level; a source without a specular colour has none.
    if (auto specular = ColourOf(source, AI_MATKEY_COLOR_SPECULAR)) {
        material.specular = HostColour(*specular);
        material.specularLevel = FloatOf(source, AI_MATKEY_SHININESS_STRENGTH).value_or(1.0f);
    }
    if (auto exponent = FloatOf(source, AI_MATKEY_SHININESS))
        material.shininess = std::clamp(*exponent / kMaxSpecularExponent, 0.0f, 1.0f);
    if (auto opacity = FloatOf(source, AI_MATKEY_OPACITY))
        material.transparency = 1.0f - std::clamp(*opacity, 0.0f, 1.0f);
    // The exporter writes the self-illumination colour as the emissive colour; the amount
    // stays 0 so that the highlight is not dimmed.
    if (auto emissive = ColourOf(source, AI_MATKEY_COLOR_EMISSIVE))
        material.selfIllumColor = HostColour(*emissive);
}

// X3D and VRML name a texture by a list of quoted addresses to try in turn ("a.png"
// "a.bmp"), which Assimp hands on without the outer quotes (a.png""a.bmp); the first is the
// texture. A quote is no part of a file name the .X text form can hold.
std::string FirstOfQuotedList(const std::string& path) {
    const std::size_t start = path.starts_with('"') ? 1 : 0;
    const std::size_t end = path.find('"', start);
    return end == std::string::npos ? path.substr(start) : path.substr(start, end - start);
}

// The diffuse texture's path as the source names it, or nothing.
std::optional<std::string> DiffuseTexturePath(const aiMaterial& source) {
    aiString path;
    for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR})
        if (source.GetTextureCount(type) > 0 && source.GetTexture(type, 0, &path) == AI_SUCCESS &&
            path.length > 0)
            return FirstOfQuotedList(TextOf(path));
    return std::nullopt;
}

// Maps other than the diffuse one have no place in the exporter's output.
std::size_t CountOtherMaps(const aiMaterial& source) {
    std::size_t count = 0;
    for (int type = aiTextureType_NONE + 1; type <= AI_TEXTURE_TYPE_MAX; ++type)
        count += source.GetTextureCount(static_cast<aiTextureType>(type));
    const bool hasDiffuse = DiffuseTexturePath(source).has_value();
    // Readers that fill both the diffuse and the base-colour slot name one image twice.
    const std::size_t diffuseSlots =
        hasDiffuse ? std::min<std::size_t>(1, source.GetTextureCount(aiTextureType_DIFFUSE)) +
                         std::min<std::size_t>(1, source.GetTextureCount(aiTextureType_BASE_COLOR))
                   : 0;
    return count > diffuseSlots ? count - diffuseSlots : 0;
}

bool StartsWith(const std::vector<std::uint8_t>& bytes, std::initializer_list<std::uint8_t> magic) {
    return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

// The extension of a compressed image: from its first bytes where they are known, else the
// reader's hint, so that a misleading hint does not mislead the texture conversion.
std::string CompressedImageExtension(const aiTexture& texture,
                                     const std::vector<std::uint8_t>& bytes) {
    if (StartsWith(bytes, {0x89, 'P', 'N', 'G'})) return "png";
    if (StartsWith(bytes, {0xFF, 0xD8, 0xFF})) return "jpg";
    if (StartsWith(bytes, {'B', 'M'})) return "bmp";
    std::string hint(texture.achFormatHint,
                     strnlen(texture.achFormatHint, sizeof texture.achFormatHint));
    return hint.empty() ? "bin" : hint;
}

void AppendLittleEndian16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// An uncompressed embedded image as a TGA file: its texels are blue, green, red, alpha, as
// TGA keeps them, first row at the top.
std::vector<std::uint8_t> TgaOf(const aiTexture& texture) {
    std::vector<std::uint8_t> out(kTgaHeaderSize - 6, 0);
    out[2] = kTgaUncompressedTrueColour;
    AppendLittleEndian16(out, texture.mWidth);
    AppendLittleEndian16(out, texture.mHeight);
    out.push_back(kTgaBitsPerPixel);
    out.push_back(kTgaTopLeftOriginAlpha8);
    const std::size_t texels = std::size_t(texture.mWidth) * texture.mHeight;
    for (std::size_t i = 0; i < texels; ++i) {
        const aiTexel& t = texture.pcData[i];
        out.insert(out.end(), {t.b, t.g, t.r, t.a});
    }
    return out;
}

// The largest side TGA can hold.
constexpr unsigned kTgaMaxSide = 0xFFFF;

// The embedded image the path names, written beside the output; its file's path.
std::optional<std::string> EmbeddedImagePath(ImportContext& ctx, const std::string& path,
                                             const ImageNaming& naming, ImportReport& report) {
    const aiTexture* texture = ctx.source.GetEmbeddedTexture(path.c_str());
    if (texture == nullptr) return std::nullopt;
    const auto index = static_cast<std::size_t>(
        std::find(ctx.source.mTextures, ctx.source.mTextures + ctx.source.mNumTextures, texture) -
        ctx.source.mTextures);
    EmbeddedImage image;
    std::string extension;
    if (texture->mHeight == 0) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(texture->pcData);
        image.bytes.assign(data, data + texture->mWidth);
        extension = CompressedImageExtension(*texture, image.bytes);
    } else {
        if (texture->mWidth > kTgaMaxSide || texture->mHeight > kTgaMaxSide) return std::nullopt;
        image.bytes = TgaOf(*texture);
        extension = "tga";
    }
    image.path =
        (fs::path(naming.directory) / (naming.stem + "_" + std::to_string(index) + "." + extension))
            .string();
    // Two materials may share one image: it is written once.
    for (const EmbeddedImage& known : report.images)
        if (known.path == image.path) return image.path;
    report.images.push_back(std::move(image));
    return report.images.back().path;
}

bool HasDriveLetter(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

// A path inside the source file ("*0", or a name the source stores an image under) or a
// file beside it, as the absolute path the host keeps so that a scene written elsewhere
// still finds it.
std::string BitmapFile(ImportContext& ctx, const std::string& path, const ImageNaming& naming,
                       ImportReport& report) {
    if (auto embedded = EmbeddedImagePath(ctx, path, naming, report)) return *embedded;
    // The host takes a path with a drive letter as absolute and finds its file by name.
    if (HasDriveLetter(path)) return path;
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    const fs::path file(native);
    if (file.is_absolute()) return file.lexically_normal().string();
    return (fs::path(naming.sourceDirectory) / file).lexically_normal().string();
}

scene::MaterialData ImportMaterial(ImportContext& ctx, const aiMaterial& source,
                                   const ImageNaming& naming, ImportReport& report) {
    scene::MaterialData material;
    material.kind = scene::MaterialKind::Standard;
    aiString name;
    if (source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS) material.name = TextOf(name);
    ImportColours(source, material);
    if (auto path = DiffuseTexturePath(source)) {
        scene::MapSlot slot;
        slot.slot = scene::ID_DI;
        slot.map.kind = scene::TexmapKind::Bitmap;
        slot.map.file = BitmapFile(ctx, *path, naming, report);
        // An embedded image's reference ("*0") means nothing to a user; its file does.
        slot.map.name = fs::path(slot.map.file).filename().string();
        material.maps.push_back(std::move(slot));
    }
    if (const std::size_t others = CountOtherMaps(source))
        ctx.unmapped["map other than diffuse"] += others;
    return material;
}

}  // namespace

MaterialMap ImportMaterials(ImportContext& ctx, const ImageNaming& naming, ImportReport& report) {
    std::vector<bool> used(ctx.source.mNumMaterials, false);
    for (unsigned m = 0; m < ctx.source.mNumMeshes; ++m)
        if (ctx.source.mMeshes[m]->mMaterialIndex < used.size())
            used[ctx.source.mMeshes[m]->mMaterialIndex] = true;
    MaterialMap hostIndex(ctx.source.mNumMaterials, -1);
    for (unsigned i = 0; i < ctx.source.mNumMaterials; ++i) {
        if (!used[i]) continue;
        hostIndex[i] = static_cast<int>(ctx.scene.materials.size());
        ctx.scene.materials.push_back(
            ImportMaterial(ctx, *ctx.source.mMaterials[i], naming, report));
    }
    return hostIndex;
}

}  // namespace tarvo::assimpimport
