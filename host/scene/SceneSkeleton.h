// One quick pass over scene text that reads the bulk of a scene, its meshes, straight into
// records and keeps the rest, which is small, as a document for the ordinary reader.
//
// The pass never explains a problem. On anything it does not check as strictly as the
// document reader would (a syntax error, an unknown or repeated key, a number in a form the
// records do not take as it stands) it gives up, and the caller reads the text the ordinary
// way, which then names the problem. So it may give up on a good file, but it must never
// take a file the document reader refuses, nor read a value differently.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/scene/SceneFileReaders.h"
#include "platform/max/SceneCheck.h"
#include "platform/max/SceneData.h"

namespace tarvo::scenefile::stream {

// A mesh read by the pass, with the largest corner of each of its face lists.
struct ReadyMesh {
    scene::MeshData mesh;
    scene::LargestCorners largestCorners;
};

// The scene document with every node's "mesh" value replaced by the index of that mesh,
// already read, in `meshes`.
struct SceneSkeleton {
    nlohmann::json document;
    std::vector<ReadyMesh> meshes;
};

// The skeleton of the text, or nothing when the pass is in any doubt about it. The long
// lists of the meshes are read by as many threads as `sharing` allows.
std::optional<SceneSkeleton> ScanScene(ZeroEndedText text, const ListSharing& sharing);

}  // namespace tarvo::scenefile::stream
