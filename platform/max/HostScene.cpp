#include "platform/max/HostScene.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/max/IGame.h"
#include "platform/max/Materials.h"
#include "platform/max/Node.h"
#include "platform/max/SceneCheck.h"
#include "platform/max/StringConversions.h"

using namespace tarvo::scene;

// ---- Building ----

namespace {

CheckedScene CheckOrThrow(SceneData data) {
    auto checked = CheckedScene::Check(data);
    if (auto* problem = std::get_if<SceneProblem>(&checked))
        throw std::invalid_argument(DescribeProblem(data, *problem));
    return std::get<CheckedScene>(std::move(checked));
}

}  // namespace

HostScene::HostScene(SceneData data) : HostScene(CheckOrThrow(std::move(data))) {}

HostScene::HostScene(CheckedScene checked)
    : m_data(std::move(checked).TakeRecords()),
      m_igame(std::make_unique<IGameScene>(this)),
      m_conversion(std::make_unique<IGameConversionManager>()) {
    BuildMaterials();
    BuildNodes();
}

HostScene::~HostScene() = default;

namespace {

// Face normals from explicit normals count as specified vertex normals when every corner
// of the vertex names the same explicit normal.
std::vector<Point3> SpecifiedNormals(const MeshData& data) {
    if (!data.normals) return {};
    constexpr std::uint32_t kNone = 0xFFFFFFFF, kMixed = 0xFFFFFFFE;
    std::vector<std::uint32_t> chosen(data.vertices.size(), kNone);
    for (std::size_t f = 0; f < data.faces.size(); ++f)
        for (int c = 0; c < 3; ++c) {
            std::uint32_t& slot = chosen[data.faces[f].v[c]];
            std::uint32_t normal = data.normals->faces[f][static_cast<std::size_t>(c)];
            slot = slot == kNone || slot == normal ? normal : kMixed;
        }
    std::vector<Point3> specified(data.vertices.size());
    for (std::size_t v = 0; v < chosen.size(); ++v)
        if (chosen[v] < kMixed) specified[v] = data.normals->normals[chosen[v]];
    return specified;
}

}  // namespace

Mesh BuildHostMesh(const MeshData& data) {
    Mesh mesh;
    mesh.verts = std::vector<Point3>(data.vertices.begin(), data.vertices.end());
    mesh.faces.resize(data.faces.size());
    for (std::size_t f = 0; f < data.faces.size(); ++f) {
        Face& face = mesh.faces[f];
        std::copy(std::begin(data.faces[f].v), std::end(data.faces[f].v), face.v);
        face.smGroup = data.faces[f].smGroup;
        face.setMatID(static_cast<MtlID>(data.faces[f].matId));
    }
    mesh.specifiedNormals = SpecifiedNormals(data);
    return mesh;
}

namespace {

std::unique_ptr<Object> MakeBaseObject(const NodeData& data) {
    switch (data.object) {
        case ObjectKind::None:
            return nullptr;
        case ObjectKind::Mesh:
            return std::make_unique<TriObject>(&data.mesh);
        case ObjectKind::Helper:
            return std::make_unique<BaseObject>(HELPER_CLASS_ID, DUMMY_CLASS_ID, "Dummy");
        case ObjectKind::Camera:
            return std::make_unique<BaseObject>(CAMERA_CLASS_ID, SIMPLE_CAM_CLASS_ID, "Camera");
        case ObjectKind::Light:
            return std::make_unique<BaseObject>(LIGHT_CLASS_ID, OMNI_LIGHT_CLASS_ID, "Omni");
        case ObjectKind::Shape:
            return std::make_unique<BaseObject>(SHAPE_CLASS_ID, SPLINE3D_CLASS_ID, "Line");
        case ObjectKind::Target:
            return std::make_unique<BaseObject>(GEOMOBJECT_CLASS_ID, TARGET_CLASS_ID, "Target");
    }
    return nullptr;
}

bool HasKeys(const Tracks& tracks) {
    return !tracks.position.empty() || !tracks.rotation.empty() || !tracks.scale.empty();
}

Class_ID ModifierClass(const ModifierData& data) {
    switch (data.kind) {
        case ModifierKind::Skin:
            return SKIN_CLASSID;
        case ModifierKind::Physique:
            return PHYSIQUE_CLASS_ID;
        case ModifierKind::Other:
            break;
    }
    return data.classId;
}

}  // namespace

void HostScene::BuildNodes() {
    m_root = std::make_unique<INode>(this, -1);
    m_root->m_controller = nullptr;
    for (int i = 0; i < static_cast<int>(m_data.nodes.size()); ++i)
        m_nodes.push_back(std::make_unique<INode>(this, i));
    for (int i = 0; i < static_cast<int>(m_data.nodes.size()); ++i) {
        INode& node = *m_nodes[static_cast<std::size_t>(i)];
        const NodeData& data = m_data.nodes[static_cast<std::size_t>(i)];
        node.m_parent = data.parent < 0 ? m_root.get() : Node(data.parent);
        node.m_parent->m_children.push_back(&node);
        // Parents come first, so the parent's answer is known.
        node.m_animatedChain = HasKeys(data.animation) || node.m_parent->m_animatedChain;
        node.m_controller = std::make_unique<Control>(this, i);
        BuildNodeObjects(node, data);
    }
}

// The modifier stack is built from the bottom: the base object, then each derived object
// over the one below it, so the node's object reference is the outermost.
void HostScene::BuildNodeObjects(INode& node, const NodeData& data) {
    std::unique_ptr<Object> base = MakeBaseObject(data);
    node.m_baseObject = base.get();
    // A node without an object still refers to one, as a node whose object cannot be
    // found does: an unresolved object of class (0, 0) that evaluates to nothing.
    if (!base) base = std::make_unique<BaseObject>(0, Class_ID(0, 0), "Missing");
    Object* top = base.get();
    m_objects.push_back(std::move(base));
    for (auto level = data.derived.rbegin(); level != data.derived.rend(); ++level) {
        auto derived = std::make_unique<IDerivedObject>();
        for (const ModifierData& modifier : level->modifiers) {
            m_modifiers.push_back(
                std::make_unique<Modifier>(ModifierClass(modifier), modifier.name));
            derived->m_modifiers.push_back(m_modifiers.back().get());
        }
        derived->m_objRef = top;
        top = derived.get();
        m_objects.push_back(std::move(derived));
    }
    node.m_objectRef = top;
}

// A path relative to the scene file is found beside it. A Windows path with a drive
// letter counts as absolute: it is kept, with native separators.
std::string HostScene::ResolvePath(const std::string& stored) const {
    if (stored.empty()) return stored;
    std::filesystem::path path(tarvo::host::NativePath(stored));
    bool driveLetter = stored.size() > 2 && std::isalpha(static_cast<unsigned char>(stored[0])) &&
                       stored[1] == ':' && (stored[2] == '\\' || stored[2] == '/');
    if (path.is_relative() && !driveLetter && !m_data.baseDirectory.empty())
        path = std::filesystem::path(m_data.baseDirectory) / path;
    return path.lexically_normal().string();
}

Texmap* HostScene::MakeTexmap(const TexmapData& data) {
    std::unique_ptr<Texmap> map;
    if (data.kind == TexmapKind::Bitmap)
        map = std::make_unique<BitmapTex>(data.file, ResolvePath(data.file));
    else
        map = std::make_unique<OtherTexmap>(data.className);
    map->SetName(data.name);
    m_texmaps.push_back(std::move(map));
    return m_texmaps.back().get();
}

std::unique_ptr<IParamBlock2> HostScene::MakeParamBlock(const std::vector<ParamData>& params) {
    auto block = std::make_unique<IParamBlock2>();
    for (std::size_t i = 0; i < params.size(); ++i) {
        auto param = std::make_unique<IParamBlock2::Param>();
        param->name = params[i].name;
        param->def.ID = static_cast<ParamID>(i);
        param->def.type = params[i].type;
        param->number = params[i].number;
        param->vector = params[i].vector;
        param->text = params[i].text;
        if (params[i].type == TYPE_BITMAP && !params[i].text.empty()) {
            param->bitmap = std::make_unique<PBBitmap>();
            param->bitmap->bi.SetName(ResolvePath(params[i].text).c_str());
        }
        block->m_params.push_back(std::move(param));
    }
    for (auto& param : block->m_params) param->def.int_name = param->name.c_str();
    return block;
}

std::unique_ptr<Mtl> HostScene::MakeMaterial(const MaterialData& data) {
    std::unique_ptr<Mtl> material;
    switch (data.kind) {
        case MaterialKind::Standard:
            material = std::make_unique<StdMat>();
            break;
        case MaterialKind::Multi:
            material = std::make_unique<MultiMtl>();
            break;
        case MaterialKind::Shader: {
            auto shader = std::make_unique<DxMaterial>();
            for (const auto& [index, params] : data.paramBlocks) {
                if (index < 0) continue;
                if (shader->m_blocks.size() <= static_cast<std::size_t>(index))
                    shader->m_blocks.resize(static_cast<std::size_t>(index) + 1);
                shader->m_blocks[static_cast<std::size_t>(index)] = MakeParamBlock(params);
            }
            material = std::move(shader);
            break;
        }
        case MaterialKind::Other:
            material = std::make_unique<OtherMtl>(data.classId, data.className);
            break;
    }
    material->SetName(data.name);
    material->m_data = &data;
    int slots = data.kind == MaterialKind::Standard ? STD_MAP_SLOTS : 0;
    for (const MapSlot& slot : data.maps) slots = std::max(slots, slot.slot + 1);
    material->m_subTexmaps.assign(static_cast<std::size_t>(slots), nullptr);
    std::vector<bool> enabled(static_cast<std::size_t>(slots), true);
    for (const MapSlot& slot : data.maps) {
        material->m_subTexmaps[static_cast<std::size_t>(slot.slot)] = MakeTexmap(slot.map);
        enabled[static_cast<std::size_t>(slot.slot)] = slot.enabled;
    }
    if (auto* standard = dynamic_cast<StdMat*>(material.get())) standard->m_mapEnabled = enabled;
    return material;
}

void HostScene::BuildMaterials() {
    for (const MaterialData& data : m_data.materials) m_materials.push_back(MakeMaterial(data));
    for (std::size_t i = 0; i < m_materials.size(); ++i)
        for (int sub : m_data.materials[i].subMaterials)
            m_materials[i]->m_subMtls.push_back(Material(sub));
}

// ---- Queries ----

INode* HostScene::FindNode(const std::string& name) {
    for (auto& node : m_nodes)
        if (name == node->GetName()) return node.get();
    return nullptr;
}

void HostScene::SetSelected(int node, bool selected) {
    m_data.nodes[static_cast<std::size_t>(node)].selected = selected;
}

void HostScene::ClearSelection() {
    for (NodeData& node : m_data.nodes) node.selected = false;
}

namespace {

template <typename T, typename Mix>
T Sample(const std::vector<Key<T>>& keys, TimeValue t, const T& fallback, Mix mix) {
    if (keys.empty()) return fallback;
    if (t <= keys.front().time) return keys.front().value;
    if (t >= keys.back().time) return keys.back().value;
    auto next = std::upper_bound(keys.begin(), keys.end(), t,
                                 [](TimeValue time, const Key<T>& key) { return time < key.time; });
    auto prev = next - 1;
    float u = static_cast<float>(double(t - prev->time) / double(next->time - prev->time));
    return mix(prev->value, next->value, u);
}

Point3 Lerp(const Point3& a, const Point3& b, float u) {
    return a + (b - a) * u;
}

}  // namespace

Matrix3 HostScene::LocalTransform(int node, TimeValue t) const {
    const NodeData& data = NodeRecord(node);
    const Placement& fixed = data.transform;
    Point3 position = Sample(data.animation.position, t, fixed.position, Lerp);
    Quat rotation = Sample(data.animation.rotation, t, fixed.rotation, Slerp);
    Point3 scale = Sample(data.animation.scale, t, fixed.scale, Lerp);
    return ScaleMatrix(scale) * RotateMatrix(rotation) * TransMatrix(position);
}

// ---- File properties ----

struct HostScene::PropertyView {
    PROPSPEC spec;
    PROPVARIANT value;
    std::wstring name;
    std::string text;
};

int HostScene::PropertyRecordIndex(int set, int index) const {
    int seen = 0;
    for (std::size_t i = 0; i < m_data.fileProperties.size(); ++i)
        if (m_data.fileProperties[i].set == set && seen++ == index) return static_cast<int>(i);
    return -1;
}

int HostScene::NumProperties(int set) const {
    return static_cast<int>(std::count_if(m_data.fileProperties.begin(),
                                          m_data.fileProperties.end(),
                                          [set](const FileProperty& p) { return p.set == set; }));
}

HostScene::PropertyView& HostScene::ViewOf(int record) {
    if (m_propertyViews.size() != m_data.fileProperties.size()) {
        m_propertyViews.clear();
        m_propertyViews.resize(m_data.fileProperties.size());
    }
    auto& view = m_propertyViews[static_cast<std::size_t>(record)];
    if (!view) {
        const FileProperty& property = m_data.fileProperties[static_cast<std::size_t>(record)];
        view = std::make_unique<PropertyView>();
        view->name = tarvo::host::WidenUtf8(property.name);
        view->text = property.text;
        view->spec.ulKind = property.named ? PRSPEC_LPWSTR : PRSPEC_PROPID;
        if (property.named)
            view->spec.lpwstr = view->name.data();
        else
            view->spec.propid = property.id;
        view->value.vt = property.isText ? VT_LPSTR : VT_I4;
        if (property.isText)
            view->value.pszVal = view->text.data();
        else
            view->value.lVal = property.integer;
    }
    return *view;
}

const PROPSPEC* HostScene::PropertySpec(int set, int index) {
    int record = PropertyRecordIndex(set, index);
    return record < 0 ? nullptr : &ViewOf(record).spec;
}

const PROPVARIANT* HostScene::PropertyVariant(int set, int index) {
    int record = PropertyRecordIndex(set, index);
    return record < 0 ? nullptr : &ViewOf(record).value;
}

namespace {

bool SameName(const FileProperty& property, const PROPSPEC& spec) {
    if (spec.ulKind == PRSPEC_PROPID) return !property.named && property.id == spec.propid;
    return property.named && spec.lpwstr && property.name == tarvo::host::NarrowUtf8(spec.lpwstr);
}

}  // namespace

int HostScene::FindProperty(int set, const PROPSPEC* spec) const {
    if (!spec) return -1;
    int index = 0;
    for (const FileProperty& property : m_data.fileProperties) {
        if (property.set != set) continue;
        if (SameName(property, *spec)) return index;
        ++index;
    }
    return -1;
}

void HostScene::AddProperty(int set, const PROPSPEC* spec, const PROPVARIANT* value) {
    if (!spec || !value) return;
    FileProperty property;
    property.set = set;
    property.named = spec->ulKind == PRSPEC_LPWSTR;
    if (property.named)
        property.name = spec->lpwstr ? tarvo::host::NarrowUtf8(spec->lpwstr) : "";
    else
        property.id = spec->propid;
    property.isText = value->vt != VT_I4;
    if (property.isText)
        property.text = value->pszVal ? value->pszVal : "";
    else
        property.integer = value->lVal;
    m_data.fileProperties.push_back(std::move(property));
    m_propertyViews.clear();
}

void HostScene::DeleteProperty(int set, const PROPSPEC* spec) {
    int index = FindProperty(set, spec);
    if (index < 0) return;
    m_data.fileProperties.erase(m_data.fileProperties.begin() + PropertyRecordIndex(set, index));
    m_propertyViews.clear();
}
