// What the parts of the Assimp import share while one source scene becomes the host's
// scene records: the source, the records being filled, where each source node went, and the
// tally of what could not be carried over.
#pragma once

#include <assimp/scene.h>

#include <map>
#include <string>
#include <unordered_map>

#include "platform/max/SceneData.h"

namespace tarvo::assimpimport {

// Things of the source that have no place in the host's scene, counted by what they are
// ("camera", "light", "morph target", "influence past the fourth", "line or point"...), so
// that the import can report them on one line.
using UnmappedCounts = std::map<std::string, std::size_t>;

struct ImportContext {
    const aiScene& source;
    scene::SceneData& scene;
    // The host node index each source node became.
    std::unordered_map<const aiNode*, int> nodeIndex;
    // The host node index of each source node name (the first node of that name).
    std::unordered_map<std::string, int> nodeByName;
    UnmappedCounts unmapped;
};

}  // namespace tarvo::assimpimport
