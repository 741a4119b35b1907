// The consistency rules of the scene records, checked once before a scene is built so that
// the host's objects never see an index out of range.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

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

// The largest corner of each face list of one mesh, as the reader of the records found it
// while it read the list; with it the check compares one number instead of reading every face
// again. A list without one here is read through.
struct LargestCorners {
    std::optional<std::uint32_t> faces;
    std::map<int, std::uint32_t> maps;  // by channel
    std::optional<std::uint32_t> normals;
};

// What the reader of the records learnt of their meshes' face lists, by node index.
using KnownCorners = std::map<int, LargestCorners>;

// The first broken rule, or none.
std::optional<SceneProblem> CheckScene(const SceneData& scene, const KnownCorners& known = {});

// Records that CheckScene has found keeping every rule. Only Check makes one, so a holder
// of one never needs to check again (a flag that anyone could set would prove nothing);
// the records can only be read or taken out whole.
class CheckedScene {
  public:
    // The records moved into a CheckedScene when they keep every rule; otherwise the first
    // broken rule, with `records` left as they were so that the problem can be described.
    static std::variant<CheckedScene, SceneProblem> Check(SceneData& records,
                                                          const KnownCorners& known = {});

    const SceneData& Records() const { return m_records; }
    SceneData TakeRecords() && { return std::move(m_records); }

  private:
    explicit CheckedScene(SceneData records) : m_records(std::move(records)) {}

    SceneData m_records;
};

// "node 3 (Arm) mesh/faces/2/v: ..." for messages outside a file.
std::string DescribeProblem(const SceneData& scene, const SceneProblem& problem);

}  // namespace tarvo::scene
