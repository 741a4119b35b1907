// The consistency rules of the scene records, checked once before a scene is built so that
// the host's objects never see an index out of range.
#pragma once

#include <optional>
#include <string>

#include "platform/max/SceneData.h"

namespace tarvo::scene {

// A broken rule: the record (a node or a material, by index), the field inside it as a
// slash-separated path in the scene file's names ("mesh/faces/3/v"), and what is wrong.
struct SceneProblem {
    enum class Owner { Scene, Node, Material };
    Owner owner = Owner::Scene;
    int index = -1;
    std::string field;
    std::string what;
};

// The first broken rule, or none.
std::optional<SceneProblem> CheckScene(const SceneData& scene);

// "node 3 (Arm) mesh/faces/2/v: ..." for messages outside a file.
std::string DescribeProblem(const SceneData& scene, const SceneProblem& problem);

}  // namespace tarvo::scene
