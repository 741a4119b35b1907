// Mesh export: one geometric node into a Mesh data object and its children.
#pragma once

#include "platform/max/Max.h"
#include "xfile/XFile.h"

class TarvoDirectXMaxExporter;

// Writes the node's mesh under the parent. Mesh writing lands with its own change; until
// then a geometric node's frame holds its transform only.
void ExportMesh(TarvoDirectXMaxExporter& exporter, IGameNode* node, TimeValue time, const XParent& parent);
