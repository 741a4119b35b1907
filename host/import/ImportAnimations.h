// The source's animations as node keys.
#pragma once

#include "host/import/ImportContext.h"

namespace tarvo::assimpimport {

// Needs the nodes. With oneSegmentPerAnimation each source animation gets a segment of its
// own; without, the scene keeps the single default segment.
void ImportAnimations(ImportContext& ctx, bool oneSegmentPerAnimation);

}  // namespace tarvo::assimpimport
