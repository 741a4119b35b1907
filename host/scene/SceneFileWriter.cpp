#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

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
json Rows(const Matrix3& m) {
    json rows = json::array();
    for (int r = 0; r < 4; ++r) rows.push_back(Vector(m.GetRow(r)));
    return rows;
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
    std::vector<int> TreeOrder() const;
    json NodesJson() const;
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
    std::vector<int> m_treeOrder;  // the nodes in the order the file lists them
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
    m_treeOrder = TreeOrder();
    m_treeIndex.assign(m_scene.nodes.size(), 0);
    for (std::size_t i = 0; i < m_treeOrder.size(); ++i)
        m_treeIndex[static_cast<std::size_t>(m_treeOrder[i])] = static_cast<int>(i);
    for (std::size_t i = 0; i < m_scene.materials.size(); ++i) {
        m_materialNames.push_back(m_scene.materials[i].name);
        m_materialIndex.push_back(static_cast<int>(i));
    }
}

// Tree order: each node before its children, as the reader numbers them. The nodes still to
// be listed wait on a list of their own, so a tree of any depth is ordered without recursion.
std::vector<int> SceneWriter::TreeOrder() const {
    std::vector<int> order;
    order.reserve(m_scene.nodes.size());
    std::vector<int> pending(m_topLevel.rbegin(), m_topLevel.rend());  // the next at the back
    while (!pending.empty()) {
        int node = pending.back();
        pending.pop_back();
        order.push_back(node);
        const auto& children = m_children[static_cast<std::size_t>(node)];
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return order;
}

// Each node's value is made on its own; the children are then moved into their parents from
// the deepest up, so that no value is made by a call per level.
json SceneWriter::NodesJson() const {
    std::vector<json> values(m_scene.nodes.size());
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = NodeJson(static_cast<int>(i));
    for (auto it = m_treeOrder.rbegin(); it != m_treeOrder.rend(); ++it) {
        const auto& children = m_children[static_cast<std::size_t>(*it)];
        if (children.empty()) continue;
        json list = json::array();
        for (int child : children)
            list.push_back(std::move(values[static_cast<std::size_t>(child)]));
        values[static_cast<std::size_t>(*it)]["children"] = std::move(list);
    }
    json nodes = json::array();
    for (int top : m_topLevel) nodes.push_back(std::move(values[static_cast<std::size_t>(top)]));
    return nodes;
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
    // The node tree goes in last, into its place: a key added after it would copy it (an
    // ordered object copies its members when it grows), one call per level.
    doc["nodes"] = nullptr;
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
    doc["nodes"] = NodesJson();
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
    return out;  // without its children: NodesJson puts them in, last
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
    if (m.skin.initSkinTM) out["initSkinTM"] = Rows(*m.skin.initSkinTM);
    if (!m.skin.initBoneTMs.empty()) {
        json bind = json::array();
        for (const auto& tm : m.skin.initBoneTMs) bind.push_back(tm ? Rows(*tm) : json(nullptr));
        out["initBoneTMs"] = bind;
    }
    return out;
}

constexpr std::size_t kLineWidth = 100;
// Lines are indented two spaces a level, up to this many: a deep node tree still makes a file
// that grows with the number of nodes rather than with its square.
constexpr std::size_t kDeepestIndent = 64;

std::string Indent(std::size_t level) {
    return std::string(std::min(2 * level, kDeepestIndent), ' ');
}

// A value whose elements are being written: the value and the next element.
struct OpenValue {
    const json* value;
    json::const_iterator next;
};

// A number, text, true, false or null as JSON. JSON has no infinity and no NaN (the library
// would write null, which the loader then refuses), and its text is UTF-8 (the library
// throws on other bytes): both are refused here, so a scene is never saved into a file that
// cannot be loaded again.
std::string ScalarText(const json& value) {
    if (value.is_number_float() && !std::isfinite(value.get<double>()))
        throw std::invalid_argument("it holds a number that is not finite (" +
                                    std::to_string(value.get<double>()) +
                                    "), which a scene file cannot hold");
    try {
        return value.dump();
    } catch (const json::type_error&) {
        throw std::invalid_argument("it holds a name or text that is not valid UTF-8");
    }
}

// The value on one line, with a space after each comma and colon, when that takes at most
// `width` characters; false, with `out` holding part of it, when it takes more. Looks at no
// more of the value than fits, and keeps its place on a list of its own rather than on the
// call stack.
bool CompactWithin(const json& v, std::size_t width, std::string& out) {
    std::vector<OpenValue> open;
    auto start = [&](const json& value) {
        if (!(value.is_object() || value.is_array()) || value.empty()) {
            out += value.is_object() ? "{}" : value.is_array() ? "[]" : ScalarText(value);
            return;
        }
        out += value.is_object() ? "{" : "[";
        open.push_back({&value, value.begin()});
    };
    start(v);
    while (!open.empty() && out.size() <= width) {
        OpenValue& top = open.back();
        if (top.next == top.value->end()) {
            out += top.value->is_object() ? "}" : "]";
            open.pop_back();
            continue;
        }
        if (top.next != top.value->begin()) out += ", ";
        const auto element = top.next++;
        if (top.value->is_object()) out += ScalarText(json(element.key())) + ": ";
        start(*element);  // `top` moves when `open` grows
    }
    return out.size() <= width;
}

// Indented, but any value that fits on its line stays on one line, so a vertex or a face
// reads as one line rather than five. Written from a list of the open values rather than
// with a call per level.
void Render(const json& root, std::string& out) {
    std::vector<OpenValue> open;
    // Writes a value that fits on its line, or opens it.
    auto start = [&](const json& value) {
        if (!(value.is_object() || value.is_array())) {
            out += ScalarText(value);
            return;
        }
        const std::size_t column = Indent(open.size()).size();
        std::string line;
        if (CompactWithin(value, kLineWidth - std::min(column, kLineWidth), line) ||
            value.empty()) {
            out += line;
            return;
        }
        out += value.is_object() ? "{\n" : "[\n";
        open.push_back({&value, value.begin()});
    };
    start(root);
    while (!open.empty()) {
        OpenValue& top = open.back();
        if (top.next == top.value->end()) {
            const bool object = top.value->is_object();
            open.pop_back();
            // Piece by piece: GCC 12 at -O3 takes "\n" + Indent(...)'s inlined memcpy for an
            // overlapping one (a false -Wrestrict).
            out += '\n';
            out += Indent(open.size());
            out += object ? '}' : ']';
            continue;
        }
        if (top.next != top.value->begin()) out += ",\n";
        out += Indent(open.size());
        const auto element = top.next++;
        if (top.value->is_object()) out += ScalarText(json(element.key())) + ": ";
        start(*element);  // `top` moves when `open` grows
    }
}

}  // namespace

std::string SerializeScene(const SceneData& scene) {
    std::string out;
    Render(SceneWriter(scene).Write(), out);
    return out + "\n";
}

void SaveSceneFile(const SceneData& scene, const std::string& file) {
    std::string text;
    try {
        text = SerializeScene(scene);
    } catch (const std::invalid_argument& refused) {
        throw SceneFileError(file, "", std::string("cannot be written: ") + refused.what());
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const HRESULT written = WriteFileAtomically(file, {bytes, text.size()});
    if (written == HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE))
        throw SceneFileError(file, "", "cannot be written: it is not a regular file");
    if (FAILED(written))
        throw SceneFileError(file, "", std::string("cannot be written: ") + std::strerror(errno));
}

}  // namespace tarvo::scenefile
