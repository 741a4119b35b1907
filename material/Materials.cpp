#include "material/Materials.h"

#include <algorithm>

#include "plugin/Exporter.h"

void AddUniqueMaterial(TarvoDirectXMaxExporter& exporter, Mtl* material) {
    auto& materials = exporter.sceneMaterials;
    if (material == nullptr ||
        std::find(materials.begin(), materials.end(), material) != materials.end())
        return;
    materials.push_back(material);
}

void WriteTopLevelMaterials(TarvoDirectXMaxExporter& exporter, const XParent& parent) {
    (void)exporter, (void)parent;
}
