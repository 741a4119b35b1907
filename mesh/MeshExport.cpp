#include "mesh/Mesh.h"

void ExportMesh(TarvoDirectXMaxExporter& exporter, IGameNode* node, TimeValue time, const XParent& parent) {
    (void)exporter, (void)node, (void)time, (void)parent;
}
