// What the parts of the Assimp import share while one source scene becomes the host's
// scene records: the source, the records being filled, where each source node went, and the
// tally of what could not be carried over.
#pragma once

#include <assimp/scene.h>

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "platform/max/SceneData.h"

namespace tarvo::assimpimport {

// Things of the source that have no place in the host's scene, counted by what they are
// ("camera", "light", "morph target", "influence past the fourth", "line or point"...), so
// that the import can report them on one line.
using UnmappedCounts = std::map<std::string, std::size_t>;

// Where the vertices of one source mesh went: the host node whose mesh holds them, and the
// host vertex of the source's vertex 0. Source vertex i is host vertex firstVertex + i.
struct MeshPlacement {
    int node = -1;
    std::uint32_t firstVertex = 0;
};

struct ImportContext {
    const aiScene& source;
    scene::SceneData& scene;
    // The host node index each source node became.
    std::unordered_map<const aiNode*, int> nodeIndex = {};
    // The host node index of each source node name (the first node of that name).
    std::unordered_map<std::string, int> nodeByName = {};
    // The triangle meshes of the source that became part of a host mesh (lines and points
    // have no place).
    std::unordered_map<const aiMesh*, MeshPlacement> meshPlacement = {};
    // What turns a top-level source node's transform into its host node's (column vectors:
    // host = topLevelTransform × source): the axis change to z up, times the transform of a
    // source root that got no host node of its own. Keys of a top-level node need it too.
    aiMatrix4x4 topLevelTransform = {};
    UnmappedCounts unmapped = {};
};

}  // namespace tarvo::assimpimport
