// The MeshMaterialList of a mesh: each face's entry in the list, and the list's materials
// (inline, or references to the top-level Materials).
#include "material/Materials.h"
#include "mesh/Mesh.h"
#include "mesh/PayloadLayouts.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

namespace {

// The list entry of every face of a mesh whose material is used whole.
constexpr std::uint32_t kSingleEntry = 0;

// The entry of each face: the position of its material id among the ids in use. A face
// whose id is not listed takes the first entry, so every index stays within the list.
std::vector<std::uint32_t> FaceEntries(IGameMesh* mesh, const Tab<int>& ids, int faceCount) {
    std::vector<std::uint32_t> entries(static_cast<std::size_t>(faceCount), kSingleEntry);
    if (ids.Count() == 0) return entries;
    for (int f = 0; f < faceCount; ++f) {
        const int id = mesh->GetFaceMaterialID(f);
        for (int i = 0; i < ids.Count(); ++i) {
            if (ids[i] != id) continue;
            entries[static_cast<std::size_t>(f)] = static_cast<std::uint32_t>(i);
            break;
        }
    }
    return entries;
}

// The material of one list entry, inline or as a reference to its top-level Material. A
// material without a name cannot be referred to, so it is written inline.
void WriteListEntry(TarvoDirectXMaxExporter& exporter, const MaterialEntry& entry,
                    const XParent& list) {
    if (exporter.options.inlineMaterials || entry.ruleName.empty()) {
        WriteMaterialEntry(exporter, entry, entry.ruleName.c_str(), list);
        return;
    }
    // A reference that cannot be added leaves the entry without a material; readers then
    // use their default, and the export goes on.
    (void)list.AddDataReference(TopLevelMaterialName(exporter, entry).c_str(), nullptr);
}

// One entry per material id in use; an id whose slot is empty gets the node's wire colour,
// so the list always holds as many materials as it counts.
void WriteSubMaterialEntries(TarvoDirectXMaxExporter& exporter, INode* node, Mtl* material,
                             const Tab<int>& ids, const XParent& list) {
    for (int i = 0; i < ids.Count(); ++i) {
        MaterialEntry entry;
        if (SubMaterialEntry(material, ids[i], entry))
            WriteListEntry(exporter, entry, list);
        else
            (void)WriteDefaultMaterial(node, list);  // as silent as any other failed material
    }
}

}  // namespace

HRESULT WriteDefaultMaterial(INode* node, const XParent& list) {
    return AddMaterialLeaf(list, nullptr, WireColorMaterial(node->GetWireColor()));
}

bool WriteMaterialList(TarvoDirectXMaxExporter& exporter, INode* node, IGameMesh* mesh,
                       ID3DXFileSaveData* meshData) {
    Mtl* material = node->GetMtl();
    const int subCount = ExpandedSubMaterialCount(material);
    const int faceCount = mesh->GetNumberOfFaces();
    Tab<int> ids;
    if (subCount > 0) {
        DebugPrint("SubMaterials %ld Other %ld\n", static_cast<long>(subCount),
                   static_cast<long>(material->NumSubTexmaps()));
        ids = mesh->GetActiveMatIDs();
    }
    const std::uint32_t entryCount = subCount > 0 ? static_cast<std::uint32_t>(ids.Count()) : 1;
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(sizeof(std::uint32_t) +
                         CountedArrayBytes<std::uint32_t>(static_cast<std::size_t>(faceCount))))
        return false;
    payload.Dword(entryCount).Dword(static_cast<std::uint32_t>(faceCount));
    for (std::uint32_t entry : FaceEntries(mesh, ids, faceCount)) payload.Dword(entry);

    ComRef<ID3DXFileSaveData> listData;
    if (FAILED(XParent(meshData).AddDataObject(TID_D3DRMMeshMaterialList, nullptr, nullptr,
                                               std::move(payload), listData.Put())))
        return true;  // nothing goes under a list that is not there; the later children do
    const XParent list(listData.Get());
    if (material == nullptr)
        (void)WriteDefaultMaterial(node, list);  // a failed material is as silent as the rest
    else if (subCount == 0)
        WriteListEntry(exporter, WholeMaterialEntry(material), list);
    else
        WriteSubMaterialEntries(exporter, node, material, ids, list);
    return true;
}
