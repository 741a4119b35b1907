// Materials: the scene's distinct materials, and Material data objects.
#pragma once

#include "platform/max/Max.h"
#include "xfile/XFile.h"

class TarvoDirectXMaxExporter;

// Appends a material to the exporter's scene materials unless it is null or already there.
void AddUniqueMaterial(TarvoDirectXMaxExporter& exporter, Mtl* material);

// Writes the scene materials at the top of the file. Material writing lands with its own
// change; until then nothing is written here.
void WriteTopLevelMaterials(TarvoDirectXMaxExporter& exporter, const XParent& parent);
