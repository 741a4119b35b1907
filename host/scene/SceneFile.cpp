#include "host/scene/SceneFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include "host/scene/SceneFileBytes.h"
#include "host/scene/SceneFileFormat.h"
#include "host/scene/SceneFileReaders.h"
#include "host/scene/SceneSkeleton.h"
#include "platform/max/SceneCheck.h"
#include "platform/win/FileIO.h"

namespace tarvo::scenefile {

SceneFileError::SceneFileError(std::string file, std::string path, std::string problem)
    : std::runtime_error(file + ": " + (path.empty() ? "" : path + ": ") + problem),
      m_file(std::move(file)),
      m_path(std::move(path)),
      m_problem(std::move(problem)) {}

namespace {

using json = nlohmann::json;
using namespace tarvo::scene;

constexpr std::size_t kMatrixRows = 4;  // three axes and the translation

// Appended rather than "\"" + text + "\"": GCC 12 at -O3 takes that concatenation's inlined
// memcpy for an overlapping one (a false -Wrestrict).
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string KindOf(const json& v) {
    switch (v.type()) {
        case json::value_t::object:
            return "an object";
        case json::value_t::array:
            return "an array";
        case json::value_t::string:
            return "a string";
        case json::value_t::boolean:
            return "true or false";
        case json::value_t::null:
            return "null";
        default:
            return "a number";
    }
}

// Reads one scene document. Every failure throws with the file name and the JSON pointer
// of the value in question.
class SceneReader {
  public:
    // With readyMeshes, each node's "mesh" value is an index into them, for meshes that the
    // streaming pass has already read and checked.
    SceneReader(std::string file, std::string baseDirectory,
                std::vector<stream::ReadyMesh>* readyMeshes = nullptr)
        : m_file(std::move(file)),
          m_baseDirectory(std::move(baseDirectory)),
          m_readyMeshes(readyMeshes) {}

    CheckedScene Read(const json& document);

  private:
    // An object being read: members are taken by name, and keys nobody took are refused
    // at the end, so a misspelt key never goes unnoticed.
    class Object {
      public:
        Object(const SceneReader& reader, const json& value, std::string path)
            : m_reader(reader), m_value(value), m_path(std::move(path)) {
            if (!value.is_object())
                m_reader.Fail(m_path, "expected an object, found " + KindOf(value));
        }
        const json* Find(const char* key) {
            m_taken.insert(key);
            auto it = m_value.find(key);
            return it == m_value.end() ? nullptr : &*it;
        }
        const json& Need(const char* key) {
            const json* v = Find(key);
            if (!v) m_reader.Fail(m_path, Quoted(key) + " is missing");
            return *v;
        }
        std::string At(const char* key) const { return m_path + "/" + key; }
        const std::string& Path() const { return m_path; }
        void Finish() const {
            for (const auto& [key, value] : m_value.items())
                if (!m_taken.count(key))
                    m_reader.Fail(m_path + "/" + key, "unknown key " + Quoted(key));
        }

      private:
        const SceneReader& m_reader;
        const json& m_value;
        std::string m_path;
        std::set<std::string> m_taken;
    };

    [[noreturn]] void Fail(const std::string& path, const std::string& problem) const {
        throw SceneFileError(m_file, path, problem);
    }

    // ---- Values ----

    const json& Array(const json& v, const std::string& path) const {
        if (!v.is_array()) Fail(path, "expected an array, found " + KindOf(v));
        return v;
    }

    std::string String(const json& v, const std::string& path) const {
        if (!v.is_string()) Fail(path, "expected a string, found " + KindOf(v));
        return v.get<std::string>();
    }

    bool Bool(const json& v, const std::string& path) const {
        if (!v.is_boolean()) Fail(path, "expected true or false, found " + KindOf(v));
        return v.get<bool>();
    }

    std::int64_t Integer(const json& v, const std::string& path, std::int64_t low,
                         std::int64_t high) const {
        if (!v.is_number_integer()) {
            if (v.is_number_float()) Fail(path, "expected a whole number, found " + v.dump());
            Fail(path, "expected a whole number, found " + KindOf(v));
        }
        if (v.is_number_unsigned() && v.get<std::uint64_t>() > static_cast<std::uint64_t>(high))
            Fail(path, v.dump() + " is above " + std::to_string(high));
        std::int64_t n = v.get<std::int64_t>();
        if (n < low) Fail(path, std::to_string(n) + " is below " + std::to_string(low));
        if (n > high) Fail(path, std::to_string(n) + " is above " + std::to_string(high));
        return n;
    }

    float Float(const json& v, const std::string& path) const {
        if (!v.is_number()) Fail(path, "expected a number, found " + KindOf(v));
        double d = v.get<double>();
        if (!std::isfinite(d) || std::abs(d) > std::numeric_limits<float>::max())
            Fail(path, v.dump() + " does not fit a 32-bit float");
        return static_cast<float>(d);
    }

    std::vector<float> Floats(const json& v, const std::string& path, std::size_t low,
                              std::size_t high) const {
        Array(v, path);
        if (v.size() < low || v.size() > high) {
            std::string want = low == high ? std::to_string(low)
                                           : std::to_string(low) + " or " + std::to_string(high);
            Fail(path, "expected " + want + " numbers, found " + std::to_string(v.size()));
        }
        std::vector<float> out;
        for (std::size_t i = 0; i < v.size(); ++i)
            out.push_back(Float(v[i], path + "/" + std::to_string(i)));
        return out;
    }

    Point3 Vector3(const json& v, const std::string& path) const {
        auto f = Floats(v, path, 3, 3);
        return {f[0], f[1], f[2]};
    }

    Color Colour(const json& v, const std::string& path) const {
        auto f = Floats(v, path, 3, 3);
        return {f[0], f[1], f[2]};
    }

    std::array<std::uint32_t, 3> IndexTriple(const json& v, const std::string& path) const {
        Array(v, path);
        if (v.size() != 3) Fail(path, "expected 3 indices, found " + std::to_string(v.size()));
        std::array<std::uint32_t, 3> out{};
        for (std::size_t i = 0; i < 3; ++i)
            out[i] = static_cast<std::uint32_t>(
                Integer(v[i], path + "/" + std::to_string(i), 0, 0xFFFFFFFF));
        return out;
    }

    // A quaternion [x, y, z, w] as the host stores it, or {"axis": [...], "degrees": a}
    // turning by the right-hand rule.
    Quat Rotation(const json& v, const std::string& path) const {
        if (v.is_object()) {
            Object o(*this, v, path);
            Point3 axis = Vector3(o.Need("axis"), o.At("axis"));
            float degrees = Float(o.Need("degrees"), o.At("degrees"));
            o.Finish();
            if (axis.LengthSquared() == 0.0f) Fail(o.At("axis"), "the axis has no direction");
            return QuatFromAxisAngle(axis, degrees * static_cast<float>(M_PI / 180.0));
        }
        auto f = Floats(v, path, 4, 4);
        Quat q(f[0], f[1], f[2], f[3]);
        double length = std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z +
                                  double(q.w) * q.w);
        if (std::abs(length - 1.0) > 1e-3)
            Fail(path, "expected a unit quaternion, its length is " + std::to_string(length));
        return q;
    }

    Placement ReadPlacement(const json& v, const std::string& path) const {
        Object o(*this, v, path);
        Placement p;
        if (auto* x = o.Find("position")) p.position = Vector3(*x, o.At("position"));
        if (auto* x = o.Find("rotation")) p.rotation = Rotation(*x, o.At("rotation"));
        if (auto* x = o.Find("scale")) p.scale = Vector3(*x, o.At("scale"));
        o.Finish();
        return p;
    }

    template <typename T, typename ReadValue>
    std::vector<Key<T>> Keys(const json& v, const std::string& path, ReadValue read) const {
        std::vector<Key<T>> keys;
        Array(v, path);
        for (std::size_t i = 0; i < v.size(); ++i) {
            Object o(*this, v[i], path + "/" + std::to_string(i));
            Key<T> key;
            key.time = static_cast<TimeValue>(Integer(o.Need("time"), o.At("time"),
                                                      std::numeric_limits<TimeValue>::min(),
                                                      std::numeric_limits<TimeValue>::max()));
            key.value = read(o.Need("value"), o.At("value"));
            o.Finish();
            keys.push_back(key);
        }
        return keys;
    }

    Tracks ReadTracks(const json& v, const std::string& path) const {
        Object o(*this, v, path);
        Tracks t;
        auto vec = [this](const json& x, const std::string& p) { return Vector3(x, p); };
        auto rot = [this](const json& x, const std::string& p) { return Rotation(x, p); };
        if (auto* x = o.Find("position")) t.position = Keys<Point3>(*x, o.At("position"), vec);
        if (auto* x = o.Find("rotation")) t.rotation = Keys<Quat>(*x, o.At("rotation"), rot);
        if (auto* x = o.Find("scale")) t.scale = Keys<Point3>(*x, o.At("scale"), vec);
        o.Finish();
        return t;
    }

    template <typename Table>
    auto Enum(const json& v, const std::string& path, const Table& table, const char* what) const {
        std::string name = String(v, path);
        std::string choices;
        for (const auto& entry : table) {
            if (entry.name == name) return entry.kind;
            choices += (choices.empty() ? "" : ", ") + std::string(entry.name);
        }
        Fail(path, "unknown " + std::string(what) + " " + Quoted(name) + " (expected one of " +
                       choices + ")");
    }

    // ---- References ----

    // A reference by name (which must be unique) or by index; null for none when allowed.
    int Reference(const json& v, const std::string& path, const std::vector<std::string>& names,
                  const char* what, bool nullAllowed) const {
        if (v.is_null() && nullAllowed) return -1;
        if (v.is_number_integer()) {
            std::int64_t index = v.get<std::int64_t>();
            if (index < 0 || index >= static_cast<std::int64_t>(names.size()))
                Fail(path, std::string(what) + " index " + std::to_string(index) +
                               " is out of range: there are " + std::to_string(names.size()));
            return static_cast<int>(index);
        }
        if (!v.is_string())
            Fail(path,
                 std::string("expected the name or index of a ") + what + ", found " + KindOf(v));
        std::string name = v.get<std::string>();
        int found = -1, count = 0;
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) found = found < 0 ? static_cast<int>(i) : found, ++count;
        if (count == 0) Fail(path, std::string("no ") + what + " is named " + Quoted(name));
        if (count > 1)
            Fail(path, std::to_string(count) + " " + what + "s are named " + Quoted(name) +
                           "; refer to one by its index");
        return found;
    }

    // ---- Sections ----

    void ReadMaterials(const json& v, const std::string& path);
    // A class identifier: its two parts as two unsigned 32-bit numbers.
    Class_ID ReadClassId(const json& v, const std::string& path) const {
        Array(v, path);
        if (v.size() != 2) Fail(path, "expected two numbers, found " + std::to_string(v.size()));
        return Class_ID(static_cast<ULONG>(Integer(v[0], path + "/0", 0, 0xFFFFFFFF)),
                        static_cast<ULONG>(Integer(v[1], path + "/1", 0, 0xFFFFFFFF)));
    }

    MaterialData ReadMaterial(const json& v, const std::string& path,
                              std::vector<const json*>& subs);
    void ReadMaps(Object& o, MaterialData& m);
    void ReadParamBlocks(const json& v, const std::string& path, MaterialData& m);
    ParamData ReadParam(const json& v, const std::string& path);
    void ReadNodes(const json& v);
    int ReadNode(const json& v, int parent, std::size_t position, const json*& children);
    int ReadNodeFields(const json& v, int parent, const json*& children);
    MeshData ReadMesh(const json& v, const std::string& path);
    // The mesh of the node about to be added; what the pass learnt of its face lists goes to
    // the records' check.
    MeshData TakeReadyMesh(const json& index) {
        stream::ReadyMesh& ready = m_readyMeshes->at(index.get<std::size_t>());
        m_knownCorners[static_cast<int>(m_scene.nodes.size())] = ready.largestCorners;
        return std::move(ready.mesh);
    }
    MapChannel ReadMapChannel(Object& o);
    void ReadDerived(const json& v, const std::string& path, int node);
    // A matrix as its four rows of three numbers, the last the translation.
    Matrix3 MatrixRows(const json& v, const std::string& path) const;
    void ReadBindPose(Object& o, SkinData& skin);
    ModifierData ReadModifier(const json& v, const std::string& path, int node, std::size_t level,
                              std::size_t index);
    void ReadFileProperties(const json& v, const std::string& path);
    void ResolveBones();
    CheckedScene CheckRecords();

    // A node's JSON pointer, rebuilt from the places of its ancestors: the loader keeps no
    // pointer per node, since a pointer is as long as the node is deep.
    std::string NodePath(int node) const;
    std::string ChildPath(int parent, std::size_t position) const;
    // Rethrows an error whose place is relative to a node with the node's place in front.
    [[noreturn]] void FailWithin(const std::string& place, const SceneFileError& error) const {
        Fail(place + error.Path(), error.Problem());
    }

    // Where a node stands: its parent (-1 for the top level) and its index in the parent's
    // list.
    struct NodePlace {
        int parent;
        std::size_t position;
    };

    struct BoneReference {
        int node;
        std::size_t level, modifier, bone;
        const json* value;
        std::string path;  // relative to the node
    };

    std::string m_file;
    std::string m_baseDirectory;
    std::vector<stream::ReadyMesh>* m_readyMeshes;
    KnownCorners m_knownCorners;  // of the ready meshes, by node
    SceneData m_scene;
    std::vector<std::string> m_materialNames;
    std::vector<std::string> m_nodeNames;
    std::vector<NodePlace> m_nodePlaces;
    std::vector<BoneReference> m_bones;
};

CheckedScene SceneReader::Read(const json& document) {
    Object o(*this, document, "");
    std::string format = String(o.Need("format"), "/format");
    if (format != format::kFormat)
        Fail("/format", "expected " + Quoted(format::kFormat) + ", found " + Quoted(format));
    auto version = Integer(o.Need("version"), "/version", 0, std::numeric_limits<int>::max());
    if (version != format::kVersion)
        Fail("/version", "version " + std::to_string(version) +
                             " is not supported (this host reads version " +
                             std::to_string(format::kVersion) + ")");
    m_scene.baseDirectory = m_baseDirectory;
    if (auto* x = o.Find("frameRate"))
        m_scene.frameRate = static_cast<int>(Integer(*x, "/frameRate", 1, 4800));
    if (auto* x = o.Find("ticksPerFrame"))
        m_scene.ticksPerFrame = static_cast<int>(Integer(*x, "/ticksPerFrame", 1, 4800));
    if (auto* x = o.Find("animationRange")) {
        Array(*x, "/animationRange");
        if (x->size() != 2)
            Fail("/animationRange",
                 "expected a start and an end, found " + std::to_string(x->size()) + " values");
        constexpr auto lo = std::numeric_limits<TimeValue>::min(),
                       hi = std::numeric_limits<TimeValue>::max();
        m_scene.animStart = static_cast<TimeValue>(Integer((*x)[0], "/animationRange/0", lo, hi));
        m_scene.animEnd = static_cast<TimeValue>(Integer((*x)[1], "/animationRange/1", lo, hi));
    }
    if (auto* x = o.Find("currentTime"))
        m_scene.currentTime = static_cast<TimeValue>(
            Integer(*x, "/currentTime", std::numeric_limits<TimeValue>::min(),
                    std::numeric_limits<TimeValue>::max()));
    if (auto* x = o.Find("materials")) ReadMaterials(*x, "/materials");
    if (auto* x = o.Find("nodes")) ReadNodes(*x);
    if (auto* x = o.Find("fileProperties")) ReadFileProperties(*x, "/fileProperties");
    o.Finish();
    ResolveBones();
    return CheckRecords();
}

// ---- Materials ----

void SceneReader::ReadMaterials(const json& v, const std::string& path) {
    Array(v, path);
    // Names first, so that sub-materials may refer to materials listed after them.
    for (std::size_t i = 0; i < v.size(); ++i) {
        const json* name = v[i].is_object() && v[i].contains("name") ? &v[i]["name"] : nullptr;
        m_materialNames.push_back(name && name->is_string() ? name->get<std::string>() : "");
    }
    for (std::size_t i = 0; i < v.size(); ++i) {
        std::string at = path + "/" + std::to_string(i);
        std::vector<const json*> subs;
        m_scene.materials.push_back(ReadMaterial(v[i], at, subs));
        for (std::size_t s = 0; s < subs.size(); ++s)
            m_scene.materials.back().subMaterials.push_back(
                Reference(*subs[s], at + "/subMaterials/" + std::to_string(s), m_materialNames,
                          "material", true));
    }
}

MaterialData SceneReader::ReadMaterial(const json& v, const std::string& path,
                                       std::vector<const json*>& subs) {
    Object o(*this, v, path);
    MaterialData m;
    m.name = String(o.Need("name"), o.At("name"));
    m.kind = Enum(o.Need("class"), o.At("class"), format::kMaterialKinds, "material class");
    if (auto* x = o.Find("diffuse")) m.diffuse = Colour(*x, o.At("diffuse"));
    if (auto* x = o.Find("specular")) m.specular = Colour(*x, o.At("specular"));
    if (auto* x = o.Find("shininess")) m.shininess = Float(*x, o.At("shininess"));
    if (auto* x = o.Find("specularLevel")) m.specularLevel = Float(*x, o.At("specularLevel"));
    if (auto* x = o.Find("selfIllumination"))
        m.selfIllumination = Float(*x, o.At("selfIllumination"));
    if (auto* x = o.Find("selfIllumColor")) m.selfIllumColor = Colour(*x, o.At("selfIllumColor"));
    if (auto* x = o.Find("transparency")) m.transparency = Float(*x, o.At("transparency"));
    ReadMaps(o, m);
    if (auto* x = o.Find("subMaterials")) {
        Array(*x, o.At("subMaterials"));
        for (const json& sub : *x) subs.push_back(&sub);
    }
    if (m.kind == MaterialKind::Shader) {
        if (auto* x = o.Find("effectFile")) m.effectFile = String(*x, o.At("effectFile"));
        if (auto* x = o.Find("paramBlocks")) ReadParamBlocks(*x, o.At("paramBlocks"), m);
    }
    if (m.kind == MaterialKind::Other) {
        if (auto* x = o.Find("classId")) m.classId = ReadClassId(*x, o.At("classId"));
        if (auto* x = o.Find("className")) m.className = String(*x, o.At("className"));
    }
    o.Finish();
    return m;
}

void SceneReader::ReadMaps(Object& o, MaterialData& m) {
    const json* maps = o.Find("maps");
    if (!maps) return;
    std::string path = o.At("maps");
    Array(*maps, path);
    std::set<int> slots;
    for (std::size_t i = 0; i < maps->size(); ++i) {
        Object slot(*this, (*maps)[i], path + "/" + std::to_string(i));
        MapSlot s;
        s.slot = static_cast<int>(Integer(slot.Need("slot"), slot.At("slot"), 0, 99));
        if (!slots.insert(s.slot).second)
            Fail(slot.At("slot"), "slot " + std::to_string(s.slot) + " is listed twice");
        if (auto* x = slot.Find("enabled")) s.enabled = Bool(*x, slot.At("enabled"));
        Object map(*this, slot.Need("map"), slot.At("map"));
        std::string kind = String(map.Need("class"), map.At("class"));
        if (kind == "bitmap") {
            s.map.kind = TexmapKind::Bitmap;
            s.map.file = String(map.Need("file"), map.At("file"));
        } else if (kind == "other") {
            s.map.kind = TexmapKind::Other;
            if (auto* x = map.Find("className")) s.map.className = String(*x, map.At("className"));
        } else {
            Fail(map.At("class"),
                 "unknown map class " + Quoted(kind) + " (expected one of bitmap, other)");
        }
        if (auto* x = map.Find("name")) s.map.name = String(*x, map.At("name"));
        map.Finish();
        slot.Finish();
        m.maps.push_back(s);
    }
}

void SceneReader::ReadParamBlocks(const json& v, const std::string& path, MaterialData& m) {
    Array(v, path);
    for (std::size_t i = 0; i < v.size(); ++i) {
        Object block(*this, v[i], path + "/" + std::to_string(i));
        int index = static_cast<int>(Integer(block.Need("block"), block.At("block"), 0, 255));
        if (m.paramBlocks.count(index))
            Fail(block.At("block"), "block " + std::to_string(index) + " is listed twice");
        auto& params = m.paramBlocks[index];
        const json& list = Array(block.Need("params"), block.At("params"));
        for (std::size_t p = 0; p < list.size(); ++p)
            params.push_back(ReadParam(list[p], block.At("params") + "/" + std::to_string(p)));
        block.Finish();
    }
}

ParamData SceneReader::ReadParam(const json& v, const std::string& path) {
    Object o(*this, v, path);
    ParamData p;
    p.name = String(o.Need("name"), o.At("name"));
    const json& type = o.Need("type");
    if (type.is_string()) {
        std::string name = type.get<std::string>();
        const format::ParamTypeName* found = nullptr;
        std::string choices;
        for (const auto& t : format::kParamTypes) {
            if (t.name == name) found = &t;
            choices += (choices.empty() ? "" : ", ") + std::string(t.name);
        }
        if (!found)
            Fail(o.At("type"), "unknown parameter type " + Quoted(name) + " (expected one of " +
                                   choices + ", or a type code)");
        p.type = found->code;
    } else {
        p.type = static_cast<int>(Integer(type, o.At("type"), 0, 0xFFFF));
    }
    const format::ParamTypeName* t = format::FindParamType(p.type);
    const json* value = o.Find("value");
    if (!t) {
        if (value)
            Fail(o.At("value"),
                 "a parameter of type code " + std::to_string(p.type) + " holds no value here");
    } else if (t->values == 0) {
        bool optional = p.type == TYPE_BITMAP;  // a bitmap parameter may hold no bitmap
        if (!value && !optional) Fail(path, "\"value\" is missing");
        if (value && !value->is_null()) p.text = String(*value, o.At("value"));
    } else {
        if (!value) Fail(path, "\"value\" is missing");
        if (t->values == 1) {
            if (p.type == TYPE_BOOL && value->is_boolean())
                p.number = value->get<bool>() ? 1 : 0;
            else if (p.type == TYPE_BOOL)
                p.number = static_cast<double>(Integer(*value, o.At("value"), 0, 1));
            else if (p.type == TYPE_INT)
                p.number = static_cast<double>(Integer(*value, o.At("value"),
                                                       std::numeric_limits<int>::min(),
                                                       std::numeric_limits<int>::max()));
            else
                p.number = Float(*value, o.At("value"));
        } else {
            auto f = Floats(*value, o.At("value"), static_cast<std::size_t>(t->values),
                            static_cast<std::size_t>(t->values));
            p.vector = Point4(f[0], f[1], f[2], t->values == 4 ? f[3] : 0.0f);
        }
    }
    o.Finish();
    return p;
}

// ---- Nodes ----

// Depth first, each node before its children, as the records number them. The nodes whose
// children are being read wait on a stack of their own, so a deep tree needs no deep
// recursion.
void SceneReader::ReadNodes(const json& v) {
    Array(v, "/nodes");
    struct OpenNode {
        int index;
        const json* children;
        std::size_t next;
    };
    std::vector<OpenNode> open;  // from a top-level node down to the deepest one being read
    for (std::size_t i = 0; i < v.size(); ++i) {
        const json* children = nullptr;
        int top = ReadNode(v[i], -1, i, children);
        if (children) open.push_back({top, children, 0});
        while (!open.empty()) {
            OpenNode& parent = open.back();
            if (parent.next == parent.children->size()) {
                open.pop_back();
                continue;
            }
            std::size_t position = parent.next++;
            if (open.size() >= static_cast<std::size_t>(format::kMaxNodeDepth))
                Fail(ChildPath(parent.index, position), "nodes may be nested at most " +
                                                            std::to_string(format::kMaxNodeDepth) +
                                                            " levels deep");
            int child = ReadNode((*parent.children)[position], parent.index, position, children);
            if (children) open.push_back({child, children, 0});
        }
    }
}

// Reads one node without its children; `children` is set to its non-empty list of them.
// Places inside a node are read relative to it, so that reading a deep node costs no more
// than reading one at the top; the node's own place is put in front only of an error.
int SceneReader::ReadNode(const json& v, int parent, std::size_t position, const json*& children) {
    try {
        int index = ReadNodeFields(v, parent, children);
        m_nodePlaces.push_back({parent, position});
        return index;
    } catch (const SceneFileError& error) {
        FailWithin(ChildPath(parent, position), error);
    }
}

int SceneReader::ReadNodeFields(const json& v, int parent, const json*& children) {
    Object o(*this, v, "");
    NodeData n;
    n.parent = parent;
    n.name = String(o.Need("name"), o.At("name"));
    if (auto* x = o.Find("object"))
        n.object = Enum(*x, o.At("object"), format::kObjectKinds, "object kind");
    if (auto* x = o.Find("selected")) n.selected = Bool(*x, o.At("selected"));
    if (auto* x = o.Find("hidden")) n.hidden = Bool(*x, o.At("hidden"));
    if (auto* x = o.Find("renderable")) n.renderable = Bool(*x, o.At("renderable"));
    if (auto* x = o.Find("wireColor")) {
        Array(*x, o.At("wireColor"));
        if (x->size() != 3)
            Fail(o.At("wireColor"),
                 "expected red, green and blue, found " + std::to_string(x->size()) + " values");
        n.wireColor = 0;
        for (std::size_t c = 0; c < 3; ++c)
            n.wireColor |= static_cast<DWORD>(Integer(
                               (*x)[c], o.At("wireColor") + "/" + std::to_string(c), 0, 255))
                           << (8 * c);
    }
    if (auto* x = o.Find("material"))
        n.material = Reference(*x, o.At("material"), m_materialNames, "material", true);
    if (auto* x = o.Find("transform")) n.transform = ReadPlacement(*x, o.At("transform"));
    if (auto* x = o.Find("objectOffset")) n.objectOffset = ReadPlacement(*x, o.At("objectOffset"));
    if (auto* x = o.Find("animation")) n.animation = ReadTracks(*x, o.At("animation"));
    const json* mesh = o.Find("mesh");
    if (n.object == ObjectKind::Mesh && !mesh) Fail(o.Path(), "a mesh node needs \"mesh\"");
    if (n.object != ObjectKind::Mesh && mesh)
        Fail(o.At("mesh"), "only a node whose object is \"mesh\" has a mesh");
    if (mesh) n.mesh = m_readyMeshes ? TakeReadyMesh(*mesh) : ReadMesh(*mesh, o.At("mesh"));

    int index = static_cast<int>(m_scene.nodes.size());
    m_scene.nodes.push_back(std::move(n));
    m_nodeNames.push_back(m_scene.nodes.back().name);
    if (auto* x = o.Find("derived")) ReadDerived(*x, o.At("derived"), index);
    children = o.Find("children");
    o.Finish();
    if (children) Array(*children, o.At("children"));
    if (children && children->empty()) children = nullptr;
    return index;
}

std::string SceneReader::ChildPath(int parent, std::size_t position) const {
    return (parent < 0 ? "/nodes/" : NodePath(parent) + "/children/") + std::to_string(position);
}

std::string SceneReader::NodePath(int node) const {
    std::vector<std::size_t> positions;  // from the node up to its top-level ancestor
    for (int at = node; at >= 0; at = m_nodePlaces[static_cast<std::size_t>(at)].parent)
        positions.push_back(m_nodePlaces[static_cast<std::size_t>(at)].position);
    std::string path = "/nodes/" + std::to_string(positions.back());
    for (auto it = positions.rbegin() + 1; it != positions.rend(); ++it)
        path += "/children/" + std::to_string(*it);
    return path;
}

MapChannel SceneReader::ReadMapChannel(Object& o) {
    MapChannel map;
    const json& vertices = Array(o.Need("vertices"), o.At("vertices"));
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        auto f = Floats(vertices[i], o.At("vertices") + "/" + std::to_string(i), 2, 3);
        map.vertices.emplace_back(f[0], f[1], f.size() == 3 ? f[2] : 0.0f);
    }
    const json& faces = Array(o.Need("faces"), o.At("faces"));
    for (std::size_t i = 0; i < faces.size(); ++i)
        map.faces.push_back(IndexTriple(faces[i], o.At("faces") + "/" + std::to_string(i)));
    return map;
}

MeshData SceneReader::ReadMesh(const json& v, const std::string& path) {
    Object o(*this, v, path);
    MeshData mesh;
    const json& vertices = Array(o.Need("vertices"), o.At("vertices"));
    for (std::size_t i = 0; i < vertices.size(); ++i)
        mesh.vertices.push_back(Vector3(vertices[i], o.At("vertices") + "/" + std::to_string(i)));
    const json& faces = Array(o.Need("faces"), o.At("faces"));
    for (std::size_t i = 0; i < faces.size(); ++i) {
        Object face(*this, faces[i], o.At("faces") + "/" + std::to_string(i));
        FaceData f;
        auto v3 = IndexTriple(face.Need("v"), face.At("v"));
        std::copy(v3.begin(), v3.end(), f.v);
        if (auto* x = face.Find("smoothing"))
            f.smGroup =
                static_cast<std::uint32_t>(Integer(*x, face.At("smoothing"), 0, 0xFFFFFFFF));
        if (auto* x = face.Find("materialId"))
            f.matId = static_cast<std::uint32_t>(Integer(*x, face.At("materialId"), 0, 0xFFFF));
        face.Finish();
        mesh.faces.push_back(f);
    }
    if (auto* maps = o.Find("maps")) {
        Array(*maps, o.At("maps"));
        for (std::size_t i = 0; i < maps->size(); ++i) {
            Object map(*this, (*maps)[i], o.At("maps") + "/" + std::to_string(i));
            int channel = static_cast<int>(Integer(map.Need("channel"), map.At("channel"), -2, 99));
            if (mesh.maps.count(channel))
                Fail(map.At("channel"), "channel " + std::to_string(channel) + " is listed twice");
            mesh.maps[channel] = ReadMapChannel(map);
            map.Finish();
        }
    }
    if (auto* x = o.Find("normals")) {
        Object normals(*this, *x, o.At("normals"));
        ExplicitNormals explicitNormals;
        const json& list = Array(normals.Need("normals"), normals.At("normals"));
        for (std::size_t i = 0; i < list.size(); ++i)
            explicitNormals.normals.push_back(
                Vector3(list[i], normals.At("normals") + "/" + std::to_string(i)));
        const json& faceList = Array(normals.Need("faces"), normals.At("faces"));
        for (std::size_t i = 0; i < faceList.size(); ++i)
            explicitNormals.faces.push_back(
                IndexTriple(faceList[i], normals.At("faces") + "/" + std::to_string(i)));
        normals.Finish();
        mesh.normals = std::move(explicitNormals);
    }
    o.Finish();
    return mesh;
}

void SceneReader::ReadDerived(const json& v, const std::string& path, int node) {
    Array(v, path);
    auto& derived = m_scene.nodes[static_cast<std::size_t>(node)].derived;
    for (std::size_t d = 0; d < v.size(); ++d) {
        Object level(*this, v[d], path + "/" + std::to_string(d));
        DerivedData data;
        const json& modifiers = Array(level.Need("modifiers"), level.At("modifiers"));
        for (std::size_t m = 0; m < modifiers.size(); ++m)
            data.modifiers.push_back(ReadModifier(
                modifiers[m], level.At("modifiers") + "/" + std::to_string(m), node, d, m));
        level.Finish();
        derived.push_back(std::move(data));
    }
}

ModifierData SceneReader::ReadModifier(const json& v, const std::string& path, int node,
                                       std::size_t level, std::size_t index) {
    Object o(*this, v, path);
    ModifierData m;
    m.kind = Enum(o.Need("class"), o.At("class"), format::kModifierKinds, "modifier class");
    m.name = m.kind == ModifierKind::Skin       ? "Skin"
             : m.kind == ModifierKind::Physique ? "Physique"
                                                : "";
    if (auto* x = o.Find("name")) m.name = String(*x, o.At("name"));
    if (m.kind == ModifierKind::Other) {
        if (auto* x = o.Find("classId")) m.classId = ReadClassId(*x, o.At("classId"));
    } else {
        const json& bones = Array(o.Need("bones"), o.At("bones"));
        m.skin.bones.assign(bones.size(), -1);
        for (std::size_t b = 0; b < bones.size(); ++b)
            m_bones.push_back(
                {node, level, index, b, &bones[b], o.At("bones") + "/" + std::to_string(b)});
        const json& weights = Array(o.Need("weights"), o.At("weights"));
        for (std::size_t w = 0; w < weights.size(); ++w) {
            std::string at = o.At("weights") + "/" + std::to_string(w);
            const json& influences = Array(weights[w], at);
            std::vector<VertexInfluence> vertex;
            for (std::size_t i = 0; i < influences.size(); ++i) {
                std::string pairPath = at + "/" + std::to_string(i);
                const json& pair = Array(influences[i], pairPath);
                if (pair.size() != 2)
                    Fail(pairPath, "expected [bone, weight], found " + std::to_string(pair.size()) +
                                       " values");
                VertexInfluence influence;
                // The range against the bone list is checked with the other record rules.
                influence.bone = static_cast<int>(
                    Integer(pair[0], pairPath + "/0", 0, std::numeric_limits<int>::max()));
                influence.weight = Float(pair[1], pairPath + "/1");
                vertex.push_back(influence);
            }
            m.skin.weights.push_back(std::move(vertex));
        }
        ReadBindPose(o, m.skin);
    }
    o.Finish();
    return m;
}

Matrix3 SceneReader::MatrixRows(const json& v, const std::string& path) const {
    Array(v, path);
    if (v.size() != kMatrixRows) Fail(path, "expected 4 rows, found " + std::to_string(v.size()));
    Matrix3 m;
    for (std::size_t r = 0; r < kMatrixRows; ++r)
        m.SetRow(static_cast<int>(r), Vector3(v[r], path + "/" + std::to_string(r)));
    return m;
}

void SceneReader::ReadBindPose(Object& o, SkinData& skin) {
    if (auto* x = o.Find("initSkinTM")) skin.initSkinTM = MatrixRows(*x, o.At("initSkinTM"));
    const json* list = o.Find("initBoneTMs");
    if (list == nullptr) return;
    Array(*list, o.At("initBoneTMs"));
    if (list->size() > skin.bones.size())
        Fail(o.At("initBoneTMs"), std::to_string(list->size()) + " entries for " +
                                      std::to_string(skin.bones.size()) + " bones");
    for (std::size_t b = 0; b < list->size(); ++b) {
        const json& entry = (*list)[b];
        skin.initBoneTMs.push_back(
            entry.is_null()
                ? std::nullopt
                : std::optional(MatrixRows(entry, o.At("initBoneTMs") + "/" + std::to_string(b))));
    }
}

void SceneReader::ResolveBones() {
    for (const BoneReference& ref : m_bones) {
        int bone = -1;
        try {
            bone = Reference(*ref.value, ref.path, m_nodeNames, "node", false);
        } catch (const SceneFileError& error) {
            FailWithin(NodePath(ref.node), error);
        }
        m_scene.nodes[static_cast<std::size_t>(ref.node)]
            .derived[ref.level]
            .modifiers[ref.modifier]
            .skin.bones[ref.bone] = bone;
    }
}

// ---- File properties ----

void SceneReader::ReadFileProperties(const json& v, const std::string& path) {
    Array(v, path);
    for (std::size_t i = 0; i < v.size(); ++i) {
        Object o(*this, v[i], path + "/" + std::to_string(i));
        FileProperty p;
        if (auto* x = o.Find("set")) p.set = static_cast<int>(Integer(*x, o.At("set"), 0, 255));
        const json* name = o.Find("name");
        const json* id = o.Find("id");
        if (name && id) Fail(o.Path(), "a property has a \"name\" or an \"id\", not both");
        if (!name && !id) Fail(o.Path(), "a property needs a \"name\" or an \"id\"");
        p.named = name != nullptr;
        if (name) p.name = String(*name, o.At("name"));
        if (id) p.id = static_cast<std::uint32_t>(Integer(*id, o.At("id"), 0, 0xFFFFFFFF));
        const json& value = o.Need("value");
        if (value.is_string()) {
            p.text = value.get<std::string>();
        } else if (value.is_number_integer()) {
            p.isText = false;
            p.integer = static_cast<std::int32_t>(
                Integer(value, o.At("value"), std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max()));
        } else {
            Fail(o.At("value"), "expected a string or a whole number, found " + KindOf(value));
        }
        o.Finish();
        m_scene.fileProperties.push_back(std::move(p));
    }
}

// The records' own rules (index ranges, key order, material cycles), reported at the place
// in the file that broke them.
CheckedScene SceneReader::CheckRecords() {
    auto checked = CheckedScene::Check(m_scene, m_knownCorners);
    if (auto* scene = std::get_if<CheckedScene>(&checked)) return std::move(*scene);
    const auto problem = std::get_if<SceneProblem>(&checked);
    std::string at;
    switch (problem->owner) {
        case SceneProblem::Owner::Node:
            at = NodePath(problem->index);
            break;
        case SceneProblem::Owner::Material:
            at = "/materials/" + std::to_string(problem->index);
            break;
        case SceneProblem::Owner::Scene:
            break;
    }
    Fail(at + "/" + problem->field, problem->what);
}

// Line and column (both from 1) of a byte offset, for syntax errors.
std::pair<std::size_t, std::size_t> LineAndColumn(std::string_view text, std::size_t offset) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n')
            ++line, column = 1;
        else
            ++column;
    }
    return {line, column};
}

std::optional<CheckedScene> ReadStreaming(ZeroEndedText text, const std::string& fileName,
                                          const std::string& baseDirectory,
                                          const ListSharing& sharing) {
    auto skeleton = stream::ScanScene(text, sharing);
    if (!skeleton) return std::nullopt;
    try {
        return SceneReader(fileName, baseDirectory, &skeleton->meshes).Read(skeleton->document);
    } catch (const SceneFileError&) {
        return std::nullopt;  // the document reader gives the same refusal, in full
    }
}

CheckedScene ReadDocument(std::string_view text, const std::string& fileName,
                          const std::string& baseDirectory) {
    json document;
    try {
        document = json::parse(text);
    } catch (const json::parse_error& e) {
        auto [line, column] = LineAndColumn(text, e.byte == 0 ? 0 : e.byte - 1);
        std::string what = e.what();
        // nlohmann's text starts with its own error id and position; keep the reason only.
        std::size_t reason = what.find(": ", what.find("parse error"));
        throw SceneFileError(fileName, "",
                             "line " + std::to_string(line) + ", column " + std::to_string(column) +
                                 ": not valid JSON" +
                                 (reason == std::string::npos ? "" : what.substr(reason)));
    } catch (const json::out_of_range& e) {
        // A number beyond the range of a double, such as 2e400.
        std::string what = e.what();
        std::size_t reason = what.find("] ");
        throw SceneFileError(
            fileName, "",
            "not valid JSON: " + (reason == std::string::npos ? what : what.substr(reason + 2)));
    }
    return SceneReader(fileName, baseDirectory).Read(document);
}

// The streaming reader first; the document reader whenever it is in any doubt.
CheckedScene ParseZeroEndedText(ZeroEndedText text, const std::string& fileName,
                                const std::string& baseDirectory) {
    if (auto scene = ReadStreaming(text, fileName, baseDirectory, DefaultListSharing()))
        return std::move(*scene);
    return ReadDocument(text.View(), fileName, baseDirectory);
}

// The file's text through the ordinary whole-file read, which words every failure.
std::string ReadSceneText(const std::string& file) {
    std::error_code error;
    std::string text;
    // Room for the whole file at once, rather than growing a copy at a time; a size that
    // cannot be learnt here is left to the read to report.
    if (auto size = std::filesystem::file_size(file, error); !error) text.reserve(size);
    const HRESULT read = ReadWholeFile(file, text);
    // Only a file that could not be opened has a reason from the system worth showing.
    if (read == HRESULT_FROM_WIN32(ERROR_READ_FAULT))
        throw SceneFileError(file, "", "cannot be read");
    if (FAILED(read))
        throw SceneFileError(file, "", std::string("cannot be read: ") + std::strerror(errno));
    return text;
}

}  // namespace

SceneData ParseScene(const std::string& text, const std::string& fileName,
                     const std::string& baseDirectory) {
    return ParseZeroEndedText(text, fileName, baseDirectory).TakeRecords();
}

std::optional<SceneData> ParseSceneStreaming(ZeroEndedText text, const std::string& fileName,
                                             const std::string& baseDirectory,
                                             const ListSharing& sharing) {
    auto scene = ReadStreaming(text, fileName, baseDirectory, sharing);
    if (!scene) return std::nullopt;
    return std::move(*scene).TakeRecords();
}

SceneData ParseSceneDocument(std::string_view text, const std::string& fileName,
                             const std::string& baseDirectory) {
    return ReadDocument(text, fileName, baseDirectory).TakeRecords();
}

SceneData LoadSceneFile(const std::string& file) {
    return LoadCheckedSceneFile(file).TakeRecords();
}

CheckedScene LoadCheckedSceneFile(const std::string& file) {
    std::error_code error;
    if (std::filesystem::is_directory(file, error))
        throw SceneFileError(file, "", "cannot be read: it is a directory");
    SceneFileBytes bytes;
    std::string text;  // only when the file is read the ordinary way
    const ZeroEndedText source = bytes.Read(file) ? ZeroEndedText::FollowedByZero(bytes.View())
                                                  : ZeroEndedText(text = ReadSceneText(file));
    std::filesystem::path base = std::filesystem::absolute(file).parent_path();
    return ParseZeroEndedText(source, file, base.string());
}

}  // namespace tarvo::scenefile
