// Material objects: the colours of a host material, the multi-material expansion and the
// names, at the top of the file or inline under a mesh's material list.
#include "material/Materials.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

#include "mesh/Mesh.h"
#include "plugin/Exporter.h"

namespace {

constexpr float kShininessToPower = 32.0f;  // the host's glossiness 0..1 to a specular power
constexpr float kWireChannelScale = 255.0f;
constexpr int kDiffuseSlot = tarvo::scene::ID_DI;  // the standard material's diffuse map

bool IsStandardMaterial(Mtl* material) {
    return material->ClassID() == DMTL_CLASS_ID;
}

bool IsBitmapTexture(Texmap* map) {
    return map != nullptr && map->ClassID() == BMTEX_CLASS_ID;
}

float Opacity(Mtl* material) {
    return 1.0f - material->GetXParency(0, FALSE);
}

void SetRgb(float out[3], const Color& color) {
    out[0] = color.r, out[1] = color.g, out[2] = color.b;
}

PackedMaterial StandardColors(StdMat* material, TimeValue time) {
    PackedMaterial colors;
    SetRgb(colors.faceColor, material->GetDiffuse(time));
    colors.faceColor[3] = Opacity(material);
    colors.power = material->GetShininess(time) * kShininessToPower;
    // The specular level scales the colour; self-illumination takes the highlight away.
    const float level = material->GetShinStr(time) * (1.0f - material->GetSelfIllum(time));
    const Color specular = material->GetSpecular(time);
    colors.specularColor[0] = specular.r * level;
    colors.specularColor[1] = specular.g * level;
    colors.specularColor[2] = specular.b * level;
    SetRgb(colors.emissiveColor, static_cast<Mtl*>(material)->GetSelfIllumColor(0, FALSE));
    return colors;
}

PackedMaterial OtherClassColors(Mtl* material) {
    PackedMaterial colors;
    colors.faceColor[0] = colors.faceColor[1] = colors.faceColor[2] = 1.0f;
    colors.faceColor[3] = Opacity(material);
    SetRgb(colors.specularColor, Color(1.0f, 1.0f, 1.0f));
    return colors;
}

// The diffuse map, enabled or not, decides: the texture carries the colour then.
bool HasDiffuseBitmap(Mtl* material) {
    return material->NumSubTexmaps() > kDiffuseSlot &&
           IsBitmapTexture(material->GetSubTexmap(kDiffuseSlot));
}

std::string JoinedName(const std::string& prefix, Mtl* material) {
    std::string text = prefix;
    if (!text.empty()) text += "_";
    return text + material->GetName();
}

MaterialEntry LeafEntry(Mtl* material, const std::string& prefix, const Mtl* owner, int slot) {
    MaterialEntry entry;
    entry.material = material;
    entry.owner = owner;
    entry.slot = slot;
    entry.ruleName = MakeObjectName(JoinedName(prefix, material).c_str(), slot);
    return entry;
}

// Visits the entries a material is written as: itself, or each filled slot of a
// multi-material, expanded again with only the sub-material's own name as the prefix.
void ForEachEntry(Mtl* material, const std::string& prefix, const Mtl* owner, int slot,
                  const std::function<void(const MaterialEntry&)>& visit) {
    if (material == nullptr) return;
    if (ExpandedSubMaterialCount(material) == 0) {
        visit(LeafEntry(material, prefix, owner, slot));
        return;
    }
    for (int i = 0; i < material->NumSubMtls(); ++i)
        ForEachEntry(material->GetSubMtl(i), material->GetName(), material, i, visit);
}

void WriteTextureOfDiffuseSlot(TarvoDirectXMaxExporter& exporter, Mtl* material,
                               ID3DXFileSaveData* materialObject) {
    const bool standard = IsStandardMaterial(material);
    for (int i = 0; i < material->NumSubTexmaps(); ++i) {
        Texmap* map = material->GetSubTexmap(i);
        if (map == nullptr) continue;
        if (standard && !static_cast<StdMat*>(material)->MapEnabled(i)) continue;
        if (i == kDiffuseSlot && IsBitmapTexture(map))
            WriteTextureFilename(exporter, static_cast<BitmapTex*>(map), materialObject);
    }
}

// The key of an entry in materialNames: the material itself when used whole, else a key
// of its multi-material's slot that lives as long as the export.
const void* NameKeyOf(TarvoDirectXMaxExporter& exporter, const MaterialEntry& entry) {
    if (entry.owner == nullptr) return entry.material;
    return &*exporter.materialSlotKeys.emplace(entry.owner, entry.slot).first;
}

}  // namespace

void AddUniqueMaterial(TarvoDirectXMaxExporter& exporter, Mtl* material) {
    auto& materials = exporter.sceneMaterials;
    if (material == nullptr ||
        std::find(materials.begin(), materials.end(), material) != materials.end())
        return;
    materials.push_back(material);
}

bool IsEffectMaterial(Mtl* material) {
    return material != nullptr && material->GetInterface(IDXMATERIAL_INTERFACE) != nullptr;
}

int ExpandedSubMaterialCount(Mtl* material) {
    if (material == nullptr || IsEffectMaterial(material)) return 0;
    return material->NumSubMtls();
}

PackedMaterial MaterialColors(const TarvoDirectXMaxExporter& exporter, Mtl* material) {
    PackedMaterial colors =
        IsStandardMaterial(material)
            ? StandardColors(static_cast<StdMat*>(material), exporter.staticTime)
            : OtherClassColors(material);
    if (exporter.options.whiteTex && HasDiffuseBitmap(material)) {
        colors.faceColor[0] = colors.faceColor[1] = colors.faceColor[2] = 1.0f;
        colors.faceColor[3] = Opacity(material);
    }
    return colors;
}

PackedMaterial WireColorMaterial(DWORD wireColor) {
    PackedMaterial colors;
    for (int channel = 0; channel < 3; ++channel) {
        const float value = static_cast<float>((wireColor >> (8 * channel)) & 0xFF);
        colors.faceColor[channel] = value / kWireChannelScale;
        colors.specularColor[channel] = colors.faceColor[channel];
    }
    colors.faceColor[3] = 1.0f;
    return colors;
}

HRESULT AddMaterialLeaf(const XParent& parent, const char* name, const PackedMaterial& material) {
    ComRef<ID3DXFileSaveData> object;
    return parent.AddDataObject(TID_D3DRMMaterial, name, nullptr, sizeof material, &material,
                                object.Put());
}

MaterialEntry WholeMaterialEntry(Mtl* material) {
    return LeafEntry(material, std::string(), nullptr, -1);
}

bool SubMaterialEntry(Mtl* multi, int id, MaterialEntry& entry) {
    Mtl* sub = multi->GetSubMtl(id);
    if (sub == nullptr) return false;
    if (ExpandedSubMaterialCount(sub) == 0) {
        entry = LeafEntry(sub, multi->GetName(), multi, id);
        return true;
    }
    for (int i = 0; i < sub->NumSubMtls(); ++i)
        if (SubMaterialEntry(sub, i, entry)) return true;
    return false;
}

void WriteMaterialEntry(TarvoDirectXMaxExporter& exporter, const MaterialEntry& entry,
                        const char* name, const XParent& parent) {
    const PackedMaterial colors = MaterialColors(exporter, entry.material);
    ComRef<ID3DXFileSaveData> object;
    if (FAILED(parent.AddDataObject(TID_D3DRMMaterial, name, nullptr, sizeof colors, &colors,
                                    object.Put())))
        return;
    if (exporter.options.fxFiles) WriteEffectInstance(exporter, entry.material, object.Get());
    WriteTextureOfDiffuseSlot(exporter, entry.material, object.Get());
}

void WriteMaterial(TarvoDirectXMaxExporter& exporter, const std::string& prefix, Mtl* material,
                   int subIndex, const XParent& parent) {
    ForEachEntry(material, prefix, nullptr, subIndex, [&](const MaterialEntry& entry) {
        WriteMaterialEntry(exporter, entry, entry.ruleName.c_str(), parent);
    });
}

const std::string& TopLevelMaterialName(TarvoDirectXMaxExporter& exporter,
                                        const MaterialEntry& entry) {
    return exporter.materialNames.NameOf(NameKeyOf(exporter, entry), entry.ruleName);
}

void WriteTopLevelMaterials(TarvoDirectXMaxExporter& exporter, const XParent& parent) {
    const std::size_t count = exporter.sceneMaterials.size();
    // Every name the rule gives is reserved first, so a renamed material never takes the
    // name another one of the file has by the rule.
    for (std::size_t i = 0; i < count; ++i)
        ForEachEntry(
            exporter.sceneMaterials[i], std::string(), nullptr, -1,
            [&](const MaterialEntry& entry) { exporter.materialNames.Reserve(entry.ruleName); });
    // A nested multi-material listed in the scene as well would write the same entries
    // again under the same key: each entry is written once.
    std::unordered_set<const void*> written;
    for (std::size_t i = 0; i < count; ++i)
        ForEachEntry(exporter.sceneMaterials[i], std::string(), nullptr, -1,
                     [&](const MaterialEntry& entry) {
                         if (!written.insert(NameKeyOf(exporter, entry)).second) return;
                         const std::string& name = TopLevelMaterialName(exporter, entry);
                         WriteMaterialEntry(exporter, entry, name.c_str(), parent);
                     });
}
