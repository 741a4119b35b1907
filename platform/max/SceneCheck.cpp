#include "platform/max/SceneCheck.h"

#include <cmath>
#include <cstdint>
#include <future>
#include <limits>
#include <system_error>
#include <vector>

namespace tarvo::scene {
namespace {

using Owner = SceneProblem::Owner;

SceneProblem NodeProblem(int node, std::string field, std::string what) {
    return {Owner::Node, node, std::move(field), std::move(what)};
}

std::string OutOfRange(std::size_t value, std::size_t count, const char* of) {
    return "index " + std::to_string(value) + " is out of range: there are " +
           std::to_string(count) + " " + of;
}

template <typename T>
std::optional<SceneProblem> CheckKeys(int node, const char* track,
                                      const std::vector<Key<T>>& keys) {
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i].time <= keys[i - 1].time)
            return NodeProblem(
                node, std::string("animation/") + track + "/" + std::to_string(i) + "/time",
                "key times must rise: " + std::to_string(keys[i].time) + " follows " +
                    std::to_string(keys[i - 1].time));
    return std::nullopt;
}

constexpr std::size_t kNoFace = std::numeric_limits<std::size_t>::max();

// The three corners of a face of either kind.
const std::uint32_t* CornersOf(const FaceData& face) {
    return face.v;
}
const std::uint32_t* CornersOf(const std::array<std::uint32_t, 3>& face) {
    return face.data();
}

// The first face of [begin, end) with a corner at or past `limit`, or kNoFace. Faces nearly
// always pass, so the run is first tested without a branch per face; only a run that fails
// is searched again for its first bad face.
template <typename Face>
std::size_t FirstFaceOutOfRangeIn(const Face* faces, std::size_t begin, std::size_t end,
                                  std::uint32_t limit) {
    unsigned anyOut = 0;
    for (std::size_t f = begin; f < end; ++f) {
        const std::uint32_t* v = CornersOf(faces[f]);
        anyOut |= static_cast<unsigned>(v[0] >= limit) | static_cast<unsigned>(v[1] >= limit) |
                  static_cast<unsigned>(v[2] >= limit);
    }
    if (anyOut == 0) return kNoFace;
    for (std::size_t f = begin; f < end; ++f) {
        const std::uint32_t* v = CornersOf(faces[f]);
        if (v[0] >= limit || v[1] >= limit || v[2] >= limit) return f;
    }
    return kNoFace;
}

// Below this many faces a list is not worth a second thread (starting one costs about as much
// as testing some ten thousand faces).
constexpr std::size_t kFacesWorthSharing = std::size_t{1} << 17;

// The first face with a corner at or past `count`, or kNoFace. Known to have none when the
// reader's largest corner is below `count`; otherwise a long list is tested in two halves at
// once, the second on a thread of its own, and the first half's answer comes first in the
// list, so it wins whenever it has one.
template <typename Face>
std::size_t FirstFaceOutOfRange(const RecordList<Face>& faces, std::size_t count,
                                std::optional<std::uint32_t> largestCorner) {
    if (count > std::numeric_limits<std::uint32_t>::max()) return kNoFace;
    if (largestCorner && *largestCorner < count) return kNoFace;
    const auto limit = static_cast<std::uint32_t>(count);
    const std::size_t half = faces.size() / 2;
    std::future<std::size_t> secondHalf;
    if (faces.size() >= kFacesWorthSharing) {
        try {
            secondHalf = std::async(std::launch::async, [&faces, half, limit] {
                return FirstFaceOutOfRangeIn(faces.data(), half, faces.size(), limit);
            });
        } catch (const std::system_error&) {
            // No thread to be had: both halves are tested here.
        }
    }
    const std::size_t firstEnd = secondHalf.valid() ? half : faces.size();
    const std::size_t inFirst = FirstFaceOutOfRangeIn(faces.data(), 0, firstEnd, limit);
    const std::size_t inSecond = secondHalf.valid() ? secondHalf.get() : kNoFace;
    return inFirst != kNoFace ? inFirst : inSecond;
}

// The first corner of the face that is out of range; the face has one.
template <typename Face>
std::uint32_t FirstCornerOutOfRange(const Face& face, std::size_t count) {
    const std::uint32_t* v = CornersOf(face);
    return v[0] >= count ? v[0] : v[1] >= count ? v[1] : v[2];
}

std::optional<SceneProblem> CheckTriples(int node, const std::string& field,
                                         const RecordList<std::array<std::uint32_t, 3>>& faces,
                                         std::optional<std::uint32_t> largestCorner,
                                         std::size_t faceCount, std::size_t vertexCount,
                                         const char* of) {
    if (faces.size() != faceCount)
        return NodeProblem(node, field,
                           "has " + std::to_string(faces.size()) + " faces but the mesh has " +
                               std::to_string(faceCount));
    if (std::size_t f = FirstFaceOutOfRange(faces, vertexCount, largestCorner); f != kNoFace)
        return NodeProblem(
            node, field + "/" + std::to_string(f),
            OutOfRange(FirstCornerOutOfRange(faces[f], vertexCount), vertexCount, of));
    return std::nullopt;
}

std::optional<SceneProblem> CheckMesh(int node, const MeshData& mesh, const LargestCorners& known) {
    const std::size_t vertexCount = mesh.vertices.size();
    if (std::size_t f = FirstFaceOutOfRange(mesh.faces, vertexCount, known.faces); f != kNoFace)
        return NodeProblem(
            node, "mesh/faces/" + std::to_string(f) + "/v",
            OutOfRange(FirstCornerOutOfRange(mesh.faces[f], vertexCount), vertexCount, "vertices"));
    std::size_t position = 0;
    for (const auto& [channel, map] : mesh.maps) {
        if (channel < -2 || channel > 99)
            return NodeProblem(node, "mesh/maps/" + std::to_string(position) + "/channel",
                               "channel " + std::to_string(channel) + " is not between -2 and 99");
        const auto largest = known.maps.find(channel);
        if (auto p = CheckTriples(
                node, "mesh/maps/" + std::to_string(position) + "/faces", map.faces,
                largest == known.maps.end() ? std::nullopt : std::optional(largest->second),
                mesh.faces.size(), map.vertices.size(), "map vertices"))
            return p;
        ++position;
    }
    if (mesh.normals)
        if (auto p = CheckTriples(node, "mesh/normals/faces", mesh.normals->faces, known.normals,
                                  mesh.faces.size(), mesh.normals->normals.size(), "normals"))
            return p;
    return std::nullopt;
}

std::optional<SceneProblem> CheckSkin(int node, const std::string& field, const SkinData& skin,
                                      std::size_t nodeCount) {
    for (std::size_t b = 0; b < skin.bones.size(); ++b)
        if (skin.bones[b] < 0 || static_cast<std::size_t>(skin.bones[b]) >= nodeCount)
            return NodeProblem(node, field + "/bones/" + std::to_string(b),
                               "bone node " + OutOfRange(static_cast<std::size_t>(skin.bones[b]),
                                                         nodeCount, "nodes"));
    for (std::size_t v = 0; v < skin.weights.size(); ++v)
        for (std::size_t i = 0; i < skin.weights[v].size(); ++i) {
            const auto& influence = skin.weights[v][i];
            std::string at = field + "/weights/" + std::to_string(v) + "/" + std::to_string(i);
            if (influence.bone < 0 || static_cast<std::size_t>(influence.bone) >= skin.bones.size())
                return NodeProblem(node, at,
                                   "bone " + OutOfRange(static_cast<std::size_t>(influence.bone),
                                                        skin.bones.size(), "bones in the skin"));
            if (!std::isfinite(influence.weight))
                return NodeProblem(node, at, "the weight is not a finite number");
        }
    if (skin.initBoneTMs.size() > skin.bones.size())
        return NodeProblem(node, field + "/initBoneTMs",
                           std::to_string(skin.initBoneTMs.size()) + " entries for " +
                               std::to_string(skin.bones.size()) + " bones");
    return std::nullopt;
}

std::optional<SceneProblem> CheckNode(const SceneData& scene, int index,
                                      const KnownCorners& known) {
    const NodeData& node = scene.nodes[static_cast<std::size_t>(index)];
    if (node.parent < -1 || node.parent >= index)
        return NodeProblem(index, "parent", "the parent must be a node listed before this one");
    if (node.material < -1 || node.material >= static_cast<int>(scene.materials.size()))
        return NodeProblem(index, "material",
                           "material " + OutOfRange(static_cast<std::size_t>(node.material),
                                                    scene.materials.size(), "materials"));
    if (auto p = CheckKeys(index, "position", node.animation.position)) return p;
    if (auto p = CheckKeys(index, "rotation", node.animation.rotation)) return p;
    if (auto p = CheckKeys(index, "scale", node.animation.scale)) return p;
    if (node.object == ObjectKind::Mesh) {
        static const LargestCorners kNoneKnown;
        const auto corners = known.find(index);
        if (auto p =
                CheckMesh(index, node.mesh, corners == known.end() ? kNoneKnown : corners->second))
            return p;
    }
    for (std::size_t d = 0; d < node.derived.size(); ++d)
        for (std::size_t m = 0; m < node.derived[d].modifiers.size(); ++m) {
            const ModifierData& modifier = node.derived[d].modifiers[m];
            if (modifier.kind == ModifierKind::Other) continue;
            std::string field = "derived/" + std::to_string(d) + "/modifiers/" + std::to_string(m);
            if (auto p = CheckSkin(index, field, modifier.skin, scene.nodes.size())) return p;
        }
    return std::nullopt;
}

// A material may not contain itself through its sub-materials. Each material below it is
// looked at once, however many ways lead there, and the ones still to look at wait on a
// list of their own: sub-materials may nest as deep as there are materials.
bool ReachesItself(const SceneData& scene, int start) {
    std::vector<bool> seen(scene.materials.size(), false);
    std::vector<int> pending{start};
    while (!pending.empty()) {
        int current = pending.back();
        pending.pop_back();
        for (int sub : scene.materials[static_cast<std::size_t>(current)].subMaterials) {
            if (sub == start) return true;
            // An index out of range is its own material's problem, found in its turn.
            if (sub < 0 || static_cast<std::size_t>(sub) >= seen.size() ||
                seen[static_cast<std::size_t>(sub)])
                continue;
            seen[static_cast<std::size_t>(sub)] = true;
            pending.push_back(sub);
        }
    }
    return false;
}

std::optional<SceneProblem> CheckMaterial(const SceneData& scene, int index) {
    const MaterialData& material = scene.materials[static_cast<std::size_t>(index)];
    for (std::size_t s = 0; s < material.subMaterials.size(); ++s) {
        int sub = material.subMaterials[s];
        if (sub < -1 || sub >= static_cast<int>(scene.materials.size()))
            return SceneProblem{Owner::Material, index, "subMaterials/" + std::to_string(s),
                                "material " + OutOfRange(static_cast<std::size_t>(sub),
                                                         scene.materials.size(), "materials")};
    }
    if (ReachesItself(scene, index))
        return SceneProblem{Owner::Material, index, "subMaterials",
                            "the material contains itself through its sub-materials"};
    for (std::size_t m = 0; m < material.maps.size(); ++m)
        if (material.maps[m].slot < 0 || material.maps[m].slot > 99)
            return SceneProblem{
                Owner::Material, index, "maps/" + std::to_string(m) + "/slot",
                "slot " + std::to_string(material.maps[m].slot) + " is not between 0 and 99"};
    return std::nullopt;
}

}  // namespace

std::optional<SceneProblem> CheckScene(const SceneData& scene, const KnownCorners& known) {
    if (scene.frameRate < 1 || scene.ticksPerFrame < 1 ||
        scene.frameRate * scene.ticksPerFrame != TIME_TICKSPERSEC)
        return SceneProblem{Owner::Scene, -1, "frameRate",
                            "frames per second times ticks per frame must be 4800"};
    if (scene.animEnd < scene.animStart)
        return SceneProblem{Owner::Scene, -1, "animationRange",
                            "the animation range ends before it starts"};
    for (int i = 0; i < static_cast<int>(scene.nodes.size()); ++i)
        if (auto p = CheckNode(scene, i, known)) return p;
    for (int i = 0; i < static_cast<int>(scene.materials.size()); ++i)
        if (auto p = CheckMaterial(scene, i)) return p;
    return std::nullopt;
}

std::variant<CheckedScene, SceneProblem> CheckedScene::Check(SceneData& records,
                                                             const KnownCorners& known) {
    if (auto problem = CheckScene(records, known)) return std::move(*problem);
    return CheckedScene(std::move(records));
}

std::string DescribeProblem(const SceneData& scene, const SceneProblem& problem) {
    std::string owner;
    if (problem.owner == SceneProblem::Owner::Node)
        owner = "node " + std::to_string(problem.index) + " (" +
                scene.nodes[static_cast<std::size_t>(problem.index)].name + ") ";
    else if (problem.owner == SceneProblem::Owner::Material)
        owner = "material " + std::to_string(problem.index) + " (" +
                scene.materials[static_cast<std::size_t>(problem.index)].name + ") ";
    return owner + problem.field + ": " + problem.what;
}

}  // namespace tarvo::scene
