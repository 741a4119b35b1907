#include "platform/max/IGame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <utility>

#include "platform/max/HostScene.h"
#include "platform/max/Interface.h"
#include "platform/max/Node.h"

using namespace tarvo::scene;

namespace {

const NodeData& RecordOf(const INode* node) {
    return node->Scene()->NodeRecord(node->DataIndex());
}

// The first Skin or Physique modifier down the stack that has bones.
const ModifierData* SkinModifierOf(const INode* node) {
    if (node->IsRootNode()) return nullptr;
    for (const DerivedData& level : RecordOf(node).derived)
        for (const ModifierData& modifier : level.modifiers)
            if (modifier.kind != ModifierKind::Other && !modifier.skin.bones.empty())
                return &modifier;
    return nullptr;
}

const MapChannel* ChannelOf(const MeshData* data, int channel) {
    auto it = data->maps.find(channel);
    return it == data->maps.end() ? nullptr : &it->second;
}

// A vertex of the channel; the origin when the channel is absent or the index is not in it.
Point3 ChannelVertexOf(const MapChannel* map, int index) {
    return map && InRange(map->vertices, index) ? map->vertices[static_cast<std::size_t>(index)]
                                                : Point3();
}

// Normals move with the inverse transpose of the 3×3 part, so that non-uniform scale keeps
// them perpendicular to the surface.
Point3 TransformNormal(const Matrix3& m, const Point3& n) {
    Matrix3 inverse = Inverse(m);
    Point3 out(DotProd(n, inverse.GetRow(0)), DotProd(n, inverse.GetRow(1)),
               DotProd(n, inverse.GetRow(2)));
    return out.Normalize();
}

// A list of distinct normals in order of first use, with an open-addressing table of list
// indices by the normal's bits (0 and -0 as one), so a mesh of a million corners neither
// searches the list nor allocates a node per normal.
class DistinctNormals {
  public:
    explicit DistinctNormals(std::vector<Point3>& normals) : m_normals(normals) {}

    // The index of the first listed normal with the same bits, appending it when new.
    DWORD IndexOf(const Point3& n) {
        if ((m_normals.size() + 1) * 2 > m_slots.size()) Grow();
        const Key key = KeyOf(n);
        for (std::size_t i = Home(key);; i = (i + 1) & (m_slots.size() - 1)) {
            if (m_slots[i] == kEmpty) {
                m_slots[i] = static_cast<DWORD>(m_normals.size());
                m_normals.push_back(n);
                return m_slots[i];
            }
            if (KeyOf(m_normals[m_slots[i]]) == key) return m_slots[i];
        }
    }

  private:
    using Key = std::array<std::uint32_t, 3>;
    static constexpr DWORD kEmpty = 0xFFFFFFFFu;
    static constexpr std::size_t kFirstCapacity = 1024;

    static std::uint32_t Bits(float v) {
        float zeroed = v == 0.0f ? 0.0f : v;
        std::uint32_t b;
        std::memcpy(&b, &zeroed, sizeof b);
        return b;
    }
    static Key KeyOf(const Point3& n) { return {Bits(n.x), Bits(n.y), Bits(n.z)}; }

    // Fibonacci hashing of the three words: the table's size is a power of two.
    std::size_t Home(const Key& key) const {
        std::uint64_t h = key[0];
        h = h * 0x9E3779B97F4A7C15ull ^ key[1];
        h = h * 0x9E3779B97F4A7C15ull ^ key[2];
        h *= 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(h >> 32) & (m_slots.size() - 1);
    }

    void Grow() {
        m_slots.assign(m_slots.empty() ? kFirstCapacity : m_slots.size() * 2, kEmpty);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t entry = 0; entry < m_normals.size(); ++entry) {
            std::size_t i = Home(KeyOf(m_normals[entry]));
            while (m_slots[i] != kEmpty) i = (i + 1) & mask;
            m_slots[i] = static_cast<DWORD>(entry);
        }
    }

    std::vector<Point3>& m_normals;
    std::vector<DWORD> m_slots;
};

}  // namespace

// ---- IGameObject ----

IGameObject::~IGameObject() = default;

Object* IGameObject::GetMaxObject() const {
    return m_node->EvalWorldState(0).obj;
}

bool IGameObject::IsObjectSkinned() {
    return SkinModifierOf(m_node) != nullptr;
}

IGameSkin* IGameObject::GetIGameSkin() {
    if (!m_skinLooked) {
        m_skinLooked = true;
        if (const ModifierData* modifier = SkinModifierOf(m_node)) {
            IGameScene* igame = m_node->Scene()->IGame();
            m_skin = std::make_unique<IGameSkin>(m_node, modifier, m_node->Scene(), igame);
        }
    }
    return m_skin.get();
}

// ---- IGameMesh ----

IGameMesh::IGameMesh(INode* node, const MeshData* data, IGameScene* scene)
    : IGameObject(node, IGAME_MESH),
      m_data(data),
      m_texChannel(ChannelOf(data, MAP_TEXCOORD_CHANNEL)),
      m_colorChannel(ChannelOf(data, MAP_COLOR_CHANNEL)),
      m_alphaChannel(ChannelOf(data, MAP_ALPHA_CHANNEL)),
      m_scene(scene) {}

const MapChannel* IGameMesh::Channel(int mapChannel) const {
    switch (mapChannel) {
        case MAP_TEXCOORD_CHANNEL:
            return m_texChannel;
        case MAP_COLOR_CHANNEL:
            return m_colorChannel;
        case MAP_ALPHA_CHANNEL:
            return m_alphaChannel;
        default:
            return ChannelOf(m_data, mapChannel);
    }
}

IGameMesh::~IGameMesh() = default;

// Preparing reads nothing per face unless the normals come from smoothing groups: then
// the host mesh's render normals are built and each corner's list entry is kept. Faces
// are put together from the record as they are asked for.
bool IGameMesh::InitializeData() {
    if (m_initialised) return true;
    if (!m_data->normals) BuildNormalList();
    m_initialised = true;
    return true;
}

// The node's evaluated object, when it is a mesh object built from this mesh's record and
// still of its size (a mesh edited to other counts is no longer the record's).
Mesh* IGameMesh::NodeObjectMesh() const {
    Object* object = m_node->IsRootNode() ? nullptr : GetMaxObject();
    if (object == nullptr || object->SuperClassID() != GEOMOBJECT_CLASS_ID ||
        object->ClassID() != TRIOBJ_CLASS_ID)
        return nullptr;
    auto* tri = static_cast<TriObject*>(object);
    if (tri->Source() != m_data) return nullptr;
    Mesh& mesh = tri->GetMesh();
    bool sameCounts = static_cast<std::size_t>(mesh.getNumVerts()) == m_data->vertices.size() &&
                      static_cast<std::size_t>(mesh.getNumFaces()) == m_data->faces.size();
    return sameCounts ? &mesh : nullptr;
}

Mesh& IGameMesh::PreparedHostMesh() {
    if (m_hostMesh == nullptr) m_hostMesh = NodeObjectMesh();
    if (m_hostMesh == nullptr) {
        m_ownMesh = BuildHostMesh(*m_data);
        m_hostMesh = &m_ownMesh;
    }
    m_hostMesh->buildNormals();  // nothing to do when they are current
    return *m_hostMesh;
}

// The smoothing-group normal of a face corner, as the host's render normals give it.
Point3 IGameMesh::CornerNormal(Mesh& mesh, int face, int vertex) {
    RVertex& rv = mesh.getRVert(vertex);
    DWORD group = std::as_const(mesh).getFace(face).smGroup;
    DWORD count = rv.rFlags & NORCT_MASK;
    if (rv.rFlags & SPECIFIED_NORMAL) return rv.rn.getNormal();
    if (count == 0 || group == 0) return mesh.getFaceNormal(face);
    if (count == 1) return rv.rn.getNormal();
    for (DWORD i = 0; i < count; ++i)
        if (rv.ern[i].getSmGroup() & group) return rv.ern[i].getNormal();
    return mesh.getFaceNormal(face);
}

// Equal normals share an entry, 0 and -0 counting as equal. Corner normals are never NaN:
// a face whose normal cannot be worked out gets the zero vector.
void IGameMesh::BuildNormalList() {
    Mesh& mesh = PreparedHostMesh();
    m_normals.clear();
    m_cornerNormals.assign(m_data->faces.size(), CornerIndices{0, 0, 0});
    DistinctNormals distinct(m_normals);
    for (std::size_t f = 0; f < m_cornerNormals.size(); ++f)
        for (std::size_t c = 0; c < 3; ++c)
            m_cornerNormals[f][c] = distinct.IndexOf(
                CornerNormal(mesh, static_cast<int>(f), static_cast<int>(m_data->faces[f].v[c])));
}

const std::vector<Point3>& IGameMesh::NormalList() const {
    return m_data->normals ? m_data->normals->normals : m_normals;
}

IGameMesh::CornerIndices IGameMesh::NormalIndices(std::size_t face) const {
    if (m_data->normals) return m_data->normals->faces[face];
    return m_cornerNormals[face];
}

Mesh* IGameMesh::GetMaxMesh() {
    if (!m_initialised) InitializeData();
    return &PreparedHostMesh();
}

Matrix3 IGameMesh::WorldTM() const {
    return m_node->GetObjTMAfterWSM(m_scene->GetStaticTime());
}

int IGameMesh::GetNumberOfVerts() const {
    return static_cast<int>(m_data->vertices.size());
}
int IGameMesh::GetNumberOfFaces() const {
    return static_cast<int>(m_data->faces.size());
}

int IGameMesh::GetNumberOfTexVerts() const {
    const MapChannel* map = Channel(MAP_TEXCOORD_CHANNEL);
    return map ? static_cast<int>(map->vertices.size()) : 0;
}

int IGameMesh::GetNumberOfColorVerts() const {
    const MapChannel* map = Channel(MAP_COLOR_CHANNEL);
    return map ? static_cast<int>(map->vertices.size()) : 0;
}

int IGameMesh::GetNumberOfAlphaVerts() const {
    const MapChannel* map = Channel(MAP_ALPHA_CHANNEL);
    return map ? static_cast<int>(map->vertices.size()) : 0;
}

void IGameMesh::FillFace(FaceEx& face, std::size_t index) const {
    const FaceData& source = m_data->faces[index];
    const CornerIndices normals = NormalIndices(index);
    face = FaceEx();
    for (std::size_t c = 0; c < 3; ++c) {
        face.vert[c] = source.v[c];
        face.norm[c] = normals[c];
        face.texCoord[c] = m_texChannel ? m_texChannel->faces[index][c] : 0;
        face.color[c] = m_colorChannel ? m_colorChannel->faces[index][c] : 0;
        face.alpha[c] = m_alphaChannel ? m_alphaChannel->faces[index][c] : 0;
    }
    face.smGrp = source.smGroup;
    face.matID = static_cast<int>(source.matId);
    face.meshFaceIndex = static_cast<int>(index);
}

FaceEx* IGameMesh::GetFace(int index) {
    if (!m_initialised) InitializeData();
    if (!InRange(m_data->faces, index)) return nullptr;
    FaceEx& face = m_recentFaces[m_nextRecentFace];
    m_nextRecentFace = (m_nextRecentFace + 1) % m_recentFaces.size();
    FillFace(face, static_cast<std::size_t>(index));
    return &face;
}

Point3 IGameMesh::GetVertex(int index, bool objectSpace) {
    if (!InRange(m_data->vertices, index)) return Point3();
    const Point3& p = m_data->vertices[static_cast<std::size_t>(index)];
    return objectSpace ? p : p * WorldTM();
}

bool IGameMesh::GetVertex(int index, Point3& vert, bool objectSpace) {
    if (!InRange(m_data->vertices, index)) return false;
    vert = GetVertex(index, objectSpace);
    return true;
}

// Texture and colour vertices are read once per face corner: they go to their channel
// directly rather than through the general map lookup.
Point2 IGameMesh::GetTexVertex(int index) {
    Point3 p = ChannelVertexOf(m_texChannel, index);
    return Point2(p.x, p.y);
}

Point3 IGameMesh::GetColorVertex(int index) {
    return ChannelVertexOf(m_colorChannel, index);
}

// Without alpha vertices every corner is opaque.
float IGameMesh::GetAlphaVertex(int index) {
    const MapChannel* map = Channel(MAP_ALPHA_CHANNEL);
    if (!map) return 1.0f;
    return InRange(map->vertices, index) ? map->vertices[static_cast<std::size_t>(index)].x : 0.0f;
}

// Zero until the object is prepared, as no normals are known before.
int IGameMesh::GetNumberOfNormals() const {
    return m_initialised ? static_cast<int>(NormalList().size()) : 0;
}

Point3 IGameMesh::GetNormal(int index, bool objectSpace) {
    if (!m_initialised) InitializeData();
    const std::vector<Point3>& normals = NormalList();
    if (!InRange(normals, index)) return Point3();
    const Point3& n = normals[static_cast<std::size_t>(index)];
    return objectSpace ? n : TransformNormal(WorldTM(), n);
}

Tab<int> IGameMesh::GetActiveMapChannelNum() {
    Tab<int> channels;
    for (const auto& [channel, map] : m_data->maps)
        if (channel >= 1) channels.Append(1, &channel);
    return channels;
}

bool IGameMesh::GetMapFaceIndex(int mapChannel, int faceNum, DWORD* index) {
    const MapChannel* map = Channel(mapChannel);
    if (!map || !InRange(map->faces, faceNum) || !index) return false;
    for (int c = 0; c < 3; ++c)
        index[c] = map->faces[static_cast<std::size_t>(faceNum)][static_cast<std::size_t>(c)];
    return true;
}

Point3 IGameMesh::GetMapVertex(int mapChannel, int index) {
    return ChannelVertexOf(Channel(mapChannel), index);
}

int IGameMesh::GetNumberOfMapVerts(int mapChannel) {
    const MapChannel* map = Channel(mapChannel);
    return map ? static_cast<int>(map->vertices.size()) : 0;
}

Tab<int> IGameMesh::GetActiveMatIDs() {
    std::set<int> ids;
    for (const FaceData& face : m_data->faces) ids.insert(static_cast<int>(face.matId));
    Tab<int> out;
    for (int id : ids) out.Append(1, &id);
    return out;
}

int IGameMesh::GetFaceMaterialID(int faceIndex) {
    return InRange(m_data->faces, faceIndex)
               ? static_cast<int>(m_data->faces[static_cast<std::size_t>(faceIndex)].matId)
               : -1;
}

// ---- IGameSkin ----

IGameSkin::IGameSkin(INode* node, const ModifierData* modifier, HostScene* scene, IGameScene* igame)
    : m_node(node), m_modifier(modifier), m_scene(scene), m_igame(igame) {}

IGameSkin::~IGameSkin() = default;

int IGameSkin::GetTotalBoneCount() const {
    return static_cast<int>(m_modifier->skin.bones.size());
}

int IGameSkin::GetNumOfSkinnedVerts() const {
    return static_cast<int>(m_modifier->skin.weights.size());
}

IGameSkin::SkinType IGameSkin::GetSkinType() const {
    return m_modifier->kind == ModifierKind::Skin ? IGAME_SKIN : IGAME_PHYSIQUE;
}

int IGameSkin::GetNumberOfBones(int vertexIndex) const {
    const auto& weights = m_modifier->skin.weights;
    return InRange(weights, vertexIndex)
               ? static_cast<int>(weights[static_cast<std::size_t>(vertexIndex)].size())
               : 0;
}

float IGameSkin::GetWeight(int vertexIndex, int boneIndex) const {
    if (boneIndex < 0 || boneIndex >= GetNumberOfBones(vertexIndex)) return 0.0f;
    return m_modifier->skin
        .weights[static_cast<std::size_t>(vertexIndex)][static_cast<std::size_t>(boneIndex)]
        .weight;
}

INode* IGameSkin::GetBone(int vertexIndex, int boneIndex) const {
    if (boneIndex < 0 || boneIndex >= GetNumberOfBones(vertexIndex)) return nullptr;
    int bone =
        m_modifier->skin
            .weights[static_cast<std::size_t>(vertexIndex)][static_cast<std::size_t>(boneIndex)]
            .bone;
    return BoneNode(bone);
}

IGameNode* IGameSkin::GetIGameBone(int vertexIndex, int boneIndex) const {
    INode* bone = GetBone(vertexIndex, boneIndex);
    return bone ? m_igame->GetIGameNode(bone) : nullptr;
}

INode* IGameSkin::BoneNode(int index) const {
    const auto& bones = m_modifier->skin.bones;
    return InRange(bones, index) ? m_scene->Node(bones[static_cast<std::size_t>(index)]) : nullptr;
}

IGameMesh* IGameSkin::GetInitialPose() {
    if (!m_initialPose)
        m_initialPose = std::make_unique<IGameMesh>(m_node, &RecordOf(m_node).mesh, m_igame);
    return m_initialPose.get();
}

Matrix3 IGameSkin::InitSkinMatrix() const {
    return m_modifier->skin.initSkinTM.value_or(m_node->GetObjectTM(kDefaultBindTime));
}

Matrix3 IGameSkin::InitBoneMatrix(INode* boneNode) const {
    const auto& skin = m_modifier->skin;
    const auto bone = std::find(skin.bones.begin(), skin.bones.end(), boneNode->DataIndex());
    const auto index = static_cast<std::size_t>(bone - skin.bones.begin());
    if (index < skin.initBoneTMs.size() && skin.initBoneTMs[index]) return *skin.initBoneTMs[index];
    return boneNode->GetNodeTM(kDefaultBindTime);
}

void IGameSkin::GetInitSkinTM(GMatrix& intMat) const {
    intMat = InitSkinMatrix();
}

bool IGameSkin::GetInitBoneTM(INode* boneNode, GMatrix& intMat) const {
    if (!boneNode) return false;
    const auto& bones = m_modifier->skin.bones;
    if (std::find(bones.begin(), bones.end(), boneNode->DataIndex()) == bones.end()) return false;
    intMat = InitBoneMatrix(boneNode);
    return true;
}

Point3 IGameSkin::GetDeformedVertex(int vertexIndex, TimeValue t) const {
    const auto& vertices = RecordOf(m_node).mesh.vertices;
    if (!InRange(vertices, vertexIndex)) return {};
    const Point3 initial = vertices[static_cast<std::size_t>(vertexIndex)];
    const Point3 bound = initial * InitSkinMatrix();
    Point3 blended(0, 0, 0);
    float total = 0.0f;
    for (int i = 0; i < GetNumberOfBones(vertexIndex); ++i) {
        INode* bone = GetBone(vertexIndex, i);
        if (bone == nullptr) continue;
        const float weight = GetWeight(vertexIndex, i);
        blended += (bound * Inverse(InitBoneMatrix(bone)) * bone->GetNodeTM(t)) * weight;
        total += weight;
    }
    if (total <= 0.0f) return initial * m_node->GetObjectTM(t);
    return blended / total;
}

// ---- IGameNode ----

IGameNode::~IGameNode() = default;

const MCHAR* IGameNode::GetName() const {
    return m_node->GetName();
}

int IGameNode::GetNodeID() const {
    return m_node->DataIndex();
}

namespace {

IGameObject::ObjectTypes TypeOf(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::Mesh:
            return IGameObject::IGAME_MESH;
        case ObjectKind::Helper:
            return IGameObject::IGAME_HELPER;
        case ObjectKind::Camera:
            return IGameObject::IGAME_CAMERA;
        case ObjectKind::Light:
            return IGameObject::IGAME_LIGHT;
        case ObjectKind::Shape:
            return IGameObject::IGAME_SPLINE;
        case ObjectKind::Target:
        case ObjectKind::None:
            break;
    }
    return IGameObject::IGAME_UNKNOWN;
}

}  // namespace

IGameObject* IGameNode::GetIGameObject() {
    if (!m_object) {
        const NodeData& record = RecordOf(m_node);
        if (record.object == ObjectKind::Mesh)
            m_object = std::make_unique<IGameMesh>(m_node, &record.mesh, m_scene);
        else
            m_object = std::make_unique<IGameObject>(m_node, TypeOf(record.object));
    }
    return m_object.get();
}

void IGameNode::ReleaseIGameObject() {
    m_object.reset();
}

// ---- IGameScene ----

IGameScene::~IGameScene() = default;

bool IGameScene::InitialiseIGame(bool selected) {
    ReleaseIGame();
    if (!m_scene) return false;
    std::vector<IGameNode*> byIndex(static_cast<std::size_t>(m_scene->NodeCount()), nullptr);
    for (int i = 0; i < m_scene->NodeCount(); ++i) {
        INode* node = m_scene->Node(i);
        if (selected && !node->Selected()) continue;
        m_nodes.push_back(std::make_unique<IGameNode>(node, this));
        IGameNode* gameNode = m_nodes.back().get();
        byIndex[static_cast<std::size_t>(i)] = gameNode;
        // The nearest ancestor that is in the tree; parents come before their children.
        INode* up = node->GetParentNode();
        while (up && !up->IsRootNode() && !byIndex[static_cast<std::size_t>(up->DataIndex())])
            up = up->GetParentNode();
        if (up && !up->IsRootNode()) {
            gameNode->m_parent = byIndex[static_cast<std::size_t>(up->DataIndex())];
            gameNode->m_parent->m_children.push_back(gameNode);
        } else {
            m_topLevel.push_back(gameNode);
        }
    }
    return true;
}

TimeValue IGameScene::GetStaticTime() const {
    return m_staticFrame * (m_scene ? m_scene->TicksPerFrame() : GetTicksPerFrame());
}

IGameNode* IGameScene::GetIGameNode(INode* node) const {
    for (const auto& gameNode : m_nodes)
        if (gameNode->GetMaxNode() == node) return gameNode.get();
    return nullptr;
}

void IGameScene::ReleaseIGame() {
    m_topLevel.clear();
    m_nodes.clear();
}

bool IGameConversionManager::SetCoordSystem(CoordSystem system) {
    if (system != IGAME_MAX) return false;
    m_system = system;
    return true;
}

IGameScene* GetIGameInterface() {
    Interface* ip = GetCOREInterface();
    return ip ? ip->GetScene()->IGame() : nullptr;
}

IGameConversionManager* GetConversionManager() {
    Interface* ip = GetCOREInterface();
    return ip ? ip->GetScene()->ConversionManager() : nullptr;
}

// The IGame release this layer answers as.
float GetIGameVersion() {
    return 1.122f;
}
