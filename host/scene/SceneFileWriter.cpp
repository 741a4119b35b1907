#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "host/scene/SceneFile.h"
#include "host/scene/SceneFileFormat.h"
#include "platform/win/FileIO.h"

namespace tarvo::scenefile {
namespace {

using json = nlohmann::ordered_json;
using namespace tarvo::scene;

// The shortest decimal that reads back as the same float, so files stay readable (0.1, not
// 0.100000001490116) and load again bit for bit.
double Number(float f) {
    if (f == 0.0f) return 0.0;  // no "-0.0" in files; the value compares equal either way
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, f).ptr;
    double d = 0.0;
    std::from_chars(text, end, d);
    return d;
}

json Vector(const Point3& p) {
    return json::array({Number(p.x), Number(p.y), Number(p.z)});
}
json Vector(const Color& c) {
    return json::array({Number(c.r), Number(c.g), Number(c.b)});
}
json Vector(const Quat& q) {
    return json::array({Number(q.x), Number(q.y), Number(q.z), Number(q.w)});
}
json Triple(const std::uint32_t* v) {
    return json::array({v[0], v[1], v[2]});
}
json Triple(const std::array<std::uint32_t, 3>& v) {
    return Triple(v.data());
}

template <typename Table, typename Kind>
std::string NameOf(const Table& table, Kind kind) {
    for (const auto& entry : table)
        if (entry.kind == kind) return std::string(entry.name);
    return {};
}

class SceneWriter {
  public:
    explicit SceneWriter(const SceneData& scene) : m_scene(scene) { Prepare(); }
    json Write();

  private:
    void Prepare();
    json Reference(int index, const std::vector<std::string>& names,
                   const std::vector<int>& order) const;
    json MaterialJson(const MaterialData& m) const;
    json NodeJson(int index) const;
    json MeshJson(const MeshData& mesh) const;
    json ModifierJson(const ModifierData& m) const;
    static json PlacementJson(const Placement& p);
    static json TracksJson(const Tracks& t);

    const SceneData& m_scene;
    std::vector<std::vector<int>> m_children;  // by node, -1 for top level at the back
    std::vector<int> m_topLevel;
    std::vector<int> m_treeIndex;  // a node's index in the order the file lists nodes
    std::vector<int> m_materialIndex;
    std::vector<std::string> m_nodeNames, m_materialNames;
};

void SceneWriter::Prepare() {
    m_children.assign(m_scene.nodes.size(), {});
    for (std::size_t i = 0; i < m_scene.nodes.size(); ++i) {
        int parent = m_scene.nodes[i].parent;
        (parent < 0 ? m_topLevel : m_children[static_cast<std::size_t>(parent)])
            .push_back(static_cast<int>(i));
        m_nodeNames.push_back(m_scene.nodes[i].name);
    }
    // Tree order: each node before its children, as the reader numbers them.
    m_treeIndex.assign(m_scene.nodes.size(), 0);
    int next = 0;
    std::function<void(int)> visit = [&](int node) {
        m_treeIndex[static_cast<std::size_t>(node)] = next++;
        for (int child : m_children[static_cast<std::size_t>(node)]) visit(child);
    };
    for (int top : m_topLevel) visit(top);
    for (std::size_t i = 0; i < m_scene.materials.size(); ++i) {
        m_materialNames.push_back(m_scene.materials[i].name);
        m_materialIndex.push_back(static_cast<int>(i));
    }
}

// By name when the name is unique and not empty, else by index.
json SceneWriter::Reference(int index, const std::vector<std::string>& names,
                            const std::vector<int>& order) const {
    if (index < 0) return nullptr;
    const std::string& name = names[static_cast<std::size_t>(index)];
    if (!name.empty() && std::count(names.begin(), names.end(), name) == 1) return name;
    return order[static_cast<std::size_t>(index)];
}

json SceneWriter::Write() {
    json doc;
    doc["format"] = format::kFormat;
    doc["version"] = format::kVersion;
    doc["frameRate"] = m_scene.frameRate;
    doc["ticksPerFrame"] = m_scene.ticksPerFrame;
    doc["animationRange"] = json::array({m_scene.animStart, m_scene.animEnd});
    doc["currentTime"] = m_scene.currentTime;
    json materials = json::array();
    for (const MaterialData& m : m_scene.materials) materials.push_back(MaterialJson(m));
    doc["materials"] = materials;
    json nodes = json::array();
    for (int top : m_topLevel) nodes.push_back(NodeJson(top));
    doc["nodes"] = nodes;
    json properties = json::array();
    for (const FileProperty& p : m_scene.fileProperties) {
        json property;
        if (p.set != PROPSET_USERDEFINED_SET) property["set"] = p.set;
        if (p.named)
            property["name"] = p.name;
        else
            property["id"] = p.id;
        if (p.isText)
            property["value"] = p.text;
        else
            property["value"] = p.integer;
        properties.push_back(property);
    }
    doc["fileProperties"] = properties;
    return doc;
}

json SceneWriter::MaterialJson(const MaterialData& m) const {
    json out;
    out["name"] = m.name;
    out["class"] = NameOf(format::kMaterialKinds, m.kind);
    if (m.kind != MaterialKind::Multi) {
        out["diffuse"] = Vector(m.diffuse);
        out["specular"] = Vector(m.specular);
        out["shininess"] = Number(m.shininess);
        out["specularLevel"] = Number(m.specularLevel);
        out["selfIllumination"] = Number(m.selfIllumination);
        out["selfIllumColor"] = Vector(m.selfIllumColor);
        out["transparency"] = Number(m.transparency);
    }
    if (!m.maps.empty()) {
        json maps = json::array();
        for (const MapSlot& slot : m.maps) {
            json map;
            map["class"] = slot.map.kind == TexmapKind::Bitmap ? "bitmap" : "other";
            map["name"] = slot.map.name;
            if (slot.map.kind == TexmapKind::Bitmap) map["file"] = slot.map.file;
            if (slot.map.kind == TexmapKind::Other) map["className"] = slot.map.className;
            maps.push_back(json{{"slot", slot.slot}, {"enabled", slot.enabled}, {"map", map}});
        }
        out["maps"] = maps;
    }
    if (!m.subMaterials.empty()) {
        json subs = json::array();
        for (int sub : m.subMaterials)
            subs.push_back(Reference(sub, m_materialNames, m_materialIndex));
        out["subMaterials"] = subs;
    }
    if (m.kind == MaterialKind::Shader) {
        out["effectFile"] = m.effectFile;
        json blocks = json::array();
        for (const auto& [index, params] : m.paramBlocks) {
            json list = json::array();
            for (const ParamData& p : params) {
                json param;
                param["name"] = p.name;
                const format::ParamTypeName* type = format::FindParamType(p.type);
                if (type)
                    param["type"] = type->name;
                else
                    param["type"] = p.type;
                if (type && type->values == 1)
                    param["value"] = p.type == TYPE_FLOAT
                                         ? json(Number(static_cast<float>(p.number)))
                                     : p.type == TYPE_BOOL ? json(p.number != 0.0)
                                                           : json(static_cast<long long>(p.number));
                if (type && type->values >= 3) {
                    json v =
                        json::array({Number(p.vector.x), Number(p.vector.y), Number(p.vector.z)});
                    if (type->values == 4) v.push_back(Number(p.vector.w));
                    param["value"] = v;
                }
                if (type && type->values == 0)
                    param["value"] =
                        p.type == TYPE_BITMAP && p.text.empty() ? json(nullptr) : json(p.text);
                list.push_back(param);
            }
            blocks.push_back(json{{"block", index}, {"params", list}});
        }
        out["paramBlocks"] = blocks;
    }
    if (m.kind == MaterialKind::Other) {
        out["classId"] = json::array({m.classId.PartA(), m.classId.PartB()});
        out["className"] = m.className;
    }
    return out;
}

json SceneWriter::PlacementJson(const Placement& p) {
    return json{{"position", Vector(p.position)},
                {"rotation", Vector(p.rotation)},
                {"scale", Vector(p.scale)}};
}

json SceneWriter::TracksJson(const Tracks& t) {
    json out;
    auto keys = [](const auto& list) {
        json a = json::array();
        for (const auto& key : list)
            a.push_back(json{{"time", key.time}, {"value", Vector(key.value)}});
        return a;
    };
    if (!t.position.empty()) out["position"] = keys(t.position);
    if (!t.rotation.empty()) out["rotation"] = keys(t.rotation);
    if (!t.scale.empty()) out["scale"] = keys(t.scale);
    return out;
}

json SceneWriter::NodeJson(int index) const {
    const NodeData& n = m_scene.nodes[static_cast<std::size_t>(index)];
    json out;
    out["name"] = n.name;
    out["object"] = NameOf(format::kObjectKinds, n.object);
    if (n.selected) out["selected"] = true;
    if (n.hidden) out["hidden"] = true;
    if (!n.renderable) out["renderable"] = false;
    out["wireColor"] =
        json::array({n.wireColor & 0xFF, (n.wireColor >> 8) & 0xFF, (n.wireColor >> 16) & 0xFF});
    if (n.material >= 0) out["material"] = Reference(n.material, m_materialNames, m_materialIndex);
    out["transform"] = PlacementJson(n.transform);
    if (!(n.objectOffset == Placement{})) out["objectOffset"] = PlacementJson(n.objectOffset);
    if (!(n.animation == Tracks{})) out["animation"] = TracksJson(n.animation);
    if (n.object == ObjectKind::Mesh) out["mesh"] = MeshJson(n.mesh);
    if (!n.derived.empty()) {
        json derived = json::array();
        for (const DerivedData& level : n.derived) {
            json modifiers = json::array();
            for (const ModifierData& m : level.modifiers) modifiers.push_back(ModifierJson(m));
            derived.push_back(json{{"modifiers", modifiers}});
        }
        out["derived"] = derived;
    }
    const auto& children = m_children[static_cast<std::size_t>(index)];
    if (!children.empty()) {
        json list = json::array();
        for (int child : children) list.push_back(NodeJson(child));
        out["children"] = list;
    }
    return out;
}

json SceneWriter::MeshJson(const MeshData& mesh) const {
    json out;
    json vertices = json::array();
    for (const Point3& v : mesh.vertices) vertices.push_back(Vector(v));
    out["vertices"] = vertices;
    json faces = json::array();
    for (const FaceData& f : mesh.faces) {
        json face{{"v", Triple(f.v)}};
        if (f.smGroup) face["smoothing"] = f.smGroup;
        if (f.matId) face["materialId"] = f.matId;
        faces.push_back(face);
    }
    out["faces"] = faces;
    if (!mesh.maps.empty()) {
        json maps = json::array();
        for (const auto& [channel, map] : mesh.maps) {
            json v = json::array(), f = json::array();
            for (const Point3& p : map.vertices) v.push_back(Vector(p));
            for (const auto& t : map.faces) f.push_back(Triple(t));
            maps.push_back(json{{"channel", channel}, {"vertices", v}, {"faces", f}});
        }
        out["maps"] = maps;
    }
    if (mesh.normals) {
        json n = json::array(), f = json::array();
        for (const Point3& p : mesh.normals->normals) n.push_back(Vector(p));
        for (const auto& t : mesh.normals->faces) f.push_back(Triple(t));
        out["normals"] = json{{"normals", n}, {"faces", f}};
    }
    return out;
}

json SceneWriter::ModifierJson(const ModifierData& m) const {
    json out;
    out["class"] = NameOf(format::kModifierKinds, m.kind);
    out["name"] = m.name;
    if (m.kind == ModifierKind::Other) {
        out["classId"] = json::array({m.classId.PartA(), m.classId.PartB()});
        return out;
    }
    json bones = json::array();
    for (int bone : m.skin.bones) bones.push_back(Reference(bone, m_nodeNames, m_treeIndex));
    out["bones"] = bones;
    json weights = json::array();
    for (const auto& vertex : m.skin.weights) {
        json influences = json::array();
        for (const VertexInfluence& i : vertex)
            influences.push_back(json::array({i.bone, Number(i.weight)}));
        weights.push_back(influences);
    }
    out["weights"] = weights;
    return out;
}

// One line for a value, with a space after each comma and colon.
std::string Compact(const json& v) {
    std::string out;
    if (v.is_object()) {
        for (const auto& [key, value] : v.items())
            out += (out.empty() ? "" : ", ") + json(key).dump() + ": " + Compact(value);
        return "{" + out + "}";
    }
    if (v.is_array()) {
        for (const auto& value : v) out += (out.empty() ? "" : ", ") + Compact(value);
        return "[" + out + "]";
    }
    return v.dump();
}

// Indented, but any value that fits on its line stays on one line, so a vertex or a face
// reads as one line rather than five.
void Render(const json& v, std::size_t indent, std::string& out) {
    constexpr std::size_t kLineWidth = 100;
    std::string compact = Compact(v);
    if (indent + compact.size() <= kLineWidth || !(v.is_object() || v.is_array()) || v.empty()) {
        out += compact;
        return;
    }
    const std::string inner(indent + 2, ' ');
    out += v.is_object() ? "{\n" : "[\n";
    bool first = true;
    for (const auto& [key, value] : v.items()) {
        out += (first ? "" : ",\n") + inner;
        first = false;
        if (v.is_object()) out += json(key).dump() + ": ";
        Render(value, indent + 2, out);
    }
    out += "\n" + std::string(indent, ' ') + (v.is_object() ? "}" : "]");
}

}  // namespace

std::string SerializeScene(const SceneData& scene) {
    std::string out;
    Render(SceneWriter(scene).Write(), 0, out);
    return out + "\n";
}

void SaveSceneFile(const SceneData& scene, const std::string& file) {
    const std::string text = SerializeScene(scene);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const HRESULT written = WriteFileAtomically(file, {bytes, text.size()});
    if (written == HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE))
        throw SceneFileError(file, "", "cannot be written: it is not a regular file");
    if (FAILED(written))
        throw SceneFileError(file, "", std::string("cannot be written: ") + std::strerror(errno));
}

}  // namespace tarvo::scenefile
