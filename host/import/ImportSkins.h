// Skins of the source's meshes as Skin modifiers of the host meshes.
#pragma once

#include "host/import/ImportContext.h"

namespace tarvo::assimpimport {

// Needs the nodes and the host meshes (ctx.meshPlacement).
void ImportSkins(ImportContext& ctx);

}  // namespace tarvo::assimpimport
