// Materials: the scene's distinct materials, Material data objects with their texture file
// names and effect instances, and the texture files written beside the .X file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/max/Max.h"
#include "plugin/ExportOptions.h"
#include "xfile/XFile.h"

class TarvoDirectXMaxExporter;

// ---- Scene materials ---------------------------------------------------------------------

// Appends a material to the exporter's scene materials unless it is null or already there.
void AddUniqueMaterial(TarvoDirectXMaxExporter& exporter, Mtl* material);

// Writes every scene material at the top of the file, each under a name unique among the
// file's top-level Materials (exporter.materialNames). A multi-material is written as its
// sub-materials.
void WriteTopLevelMaterials(TarvoDirectXMaxExporter& exporter, const XParent& parent);

// ---- Material objects --------------------------------------------------------------------

// The Material payload in template order: ColorRGBA faceColor, FLOAT power, ColorRGB
// specularColor, ColorRGB emissiveColor.
struct PackedMaterial {
    float faceColor[4] = {0, 0, 0, 0};
    float power = 0;
    float specularColor[3] = {0, 0, 0};
    float emissiveColor[3] = {0, 0, 0};
};
static_assert(sizeof(PackedMaterial) == 44);

// The colours of a material at staticTime: the standard material's arithmetic, white for
// any other class, and white diffuse when whiteTex is set and slot 1 holds a bitmap.
PackedMaterial MaterialColors(const TarvoDirectXMaxExporter& exporter, Mtl* material);
// The Material payload of a node without a material, from its wire colour.
PackedMaterial WireColorMaterial(DWORD wireColor);
// Adds a Material object with the payload under the parent, letting it go at once.
[[nodiscard]] HRESULT AddMaterialLeaf(const XParent& parent, const char* name,
                                      const PackedMaterial& material);

// True for a material that exposes the DirectX shader interface: it is written as one
// material even when it has sub-materials.
bool IsEffectMaterial(Mtl* material);
// The sub-materials a material expands into: 0 for null and for effect materials.
int ExpandedSubMaterialCount(Mtl* material);

// One Material object as a mesh's list or the top of the file holds it: the material, the
// multi-material whose slot it fills (null for a material used whole), that slot (-1 for
// none) and the name the name rule gives it (prefix "_" name, then "Sub<slot>").
struct MaterialEntry {
    Mtl* material = nullptr;
    const Mtl* owner = nullptr;
    int slot = -1;
    std::string ruleName;
};

// The entry of a material used whole.
MaterialEntry WholeMaterialEntry(Mtl* material);
// The entry for material id `id` of a multi-material: its sub-material in slot `id`; a
// sub-material that is itself a multi-material stands for its first filled slot, again
// expanded, so that the id still takes exactly one list entry. False when the slot (or every
// slot below it) is empty.
bool SubMaterialEntry(Mtl* multi, int id, MaterialEntry& entry);

// Writes the material under the parent with the rule's names: a multi-material (not an
// effect material) as one Material per filled slot, recursively, each with its own name as
// the prefix of its sub-materials' names. The prefix is the name of the multi-material the
// material came from, empty for none; subIndex is its slot or -1.
void WriteMaterial(TarvoDirectXMaxExporter& exporter, const std::string& prefix, Mtl* material,
                   int subIndex, const XParent& parent);
// Writes one entry as a Material named `name`, with its effect instance and texture file
// name. Failures to add are silent: the material is then skipped.
void WriteMaterialEntry(TarvoDirectXMaxExporter& exporter, const MaterialEntry& entry,
                        const char* name, const XParent& parent);
// The name the top-level Material of an entry was written under, for references to it.
const std::string& TopLevelMaterialName(TarvoDirectXMaxExporter& exporter,
                                        const MaterialEntry& entry);

// ---- Textures ----------------------------------------------------------------------------

// One row of the texture output formats: the label of the options page, the extension of
// the converted file, and the textureFormat code.
struct TextureFormatRow {
    const char* label;
    const char* extension;
    std::int32_t code;
};
inline constexpr TextureFormatRow TextureFormatTable[] = {
    {"Bitmap (.bmp)", "bmp", kTextureFormatBmp},
    {"JPEG (.jpg)", "jpg", kTextureFormatJpg},
    {"PNG (.png)", "png", kTextureFormatPng},
    {"Targa (.tga)", "tga", kTextureFormatTga},
};
// The row of a textureFormat code; the bitmap row for a code outside the table.
const TextureFormatRow& TextureFormatOf(std::int32_t code);

// A texture or effect path as the file names it. With an extension, the file name's
// extension becomes it (one is added to a file name without one; directory names are never
// changed). Then the whole path when fullPath is set, else the file name after the last
// '/' or '\'.
std::string TextureFileName(std::string path, const char* extension, bool fullPath);
// The power of two a texture side is scaled to: the largest one not above 4v/3 (at least 1),
// so a side rounds up from three quarters of the way to the next power of two.
std::uint32_t NearestPowerOfTwo(std::uint32_t v);

// The diffuse map's TextureFilename under the Material, after converting or copying the
// image beside the .X file as texMapConv says. Problems with the image files are warnings
// on the debug output; the TextureFilename names the expected file all the same.
void WriteTextureFilename(TarvoDirectXMaxExporter& exporter, BitmapTex* map,
                          ID3DXFileSaveData* materialObject);

// ---- Effects -----------------------------------------------------------------------------

// The EffectInstance of a DirectX shader material under its Material, with the parameters
// of blocks 0 and 3 when getFxParams is set. Nothing for other materials. A failure to add
// the EffectInstance ends the export through ThrowSaveError.
void WriteEffectInstance(TarvoDirectXMaxExporter& exporter, Mtl* material,
                         ID3DXFileSaveData* materialObject);
// The parameters of one parameter block, in index order, under the EffectInstance.
void WriteEffectParams(TarvoDirectXMaxExporter& exporter, int blockIndex, Mtl* material,
                       ID3DXFileSaveData* effectObject);
