// The scene as plain records: what a scene file holds and what tests fill in directly.
// HostScene (HostScene.h) builds the host's objects (INode, Mtl, IGameNode...) over it.
//
// Records refer to each other by index: a node's parent, material and skin bones, a
// multi-material's sub-materials. -1 means none.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/max/MaxMath.h"
#include "platform/max/MaxTypes.h"
#include "platform/win/LargePages.h"

namespace tarvo::scene {

// Position, rotation and scale, applied in that order reversed: a point is scaled, then
// rotated, then moved (ScaleMatrix × Quat::MakeMatrix × TransMatrix).
struct Placement {
    Point3 position;
    Quat rotation;
    Point3 scale{1.0f, 1.0f, 1.0f};
    friend bool operator==(const Placement&, const Placement&) = default;
};

// What a long list's reader constructs an element from when it fills every element itself
// afterwards, on several threads: sizing the list then writes nothing, so each page of it is
// first touched by the thread that fills it, and not zeroed beforehand on one thread.
struct LeftToFill {};

// The allocator of long lists (LargePagedAllocator), with one more way to construct: from
// LeftToFill, which leaves the element as the memory holds it. Only types that the memory's
// allocation already gives life to (trivially copyable ones) may be left so.
template <typename T>
struct RecordAllocator : LargePagedAllocator<T> {
    using value_type = T;
    RecordAllocator() noexcept = default;
    template <typename U>
    RecordAllocator(const RecordAllocator<U>&) noexcept {}
    template <typename U>
    struct rebind {
        using other = RecordAllocator<U>;
    };
    template <typename U>
    void construct(U*, LeftToFill) noexcept {
        static_assert(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>);
    }
};

// The long lists of a mesh, which a scene file may hold millions of items of.
template <typename T>
using RecordList = std::vector<T, RecordAllocator<T>>;

// Whether `index` (as the host's int indices come) names an item of the list: a record list
// or any other vector.
template <typename T, typename Allocator>
bool InRange(const std::vector<T, Allocator>& items, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < items.size();
}

template <typename T>
struct Key {
    TimeValue time = 0;
    T value;
    friend bool operator==(const Key&, const Key&) = default;
};

// Keys of one component in ascending time. An empty track leaves the component to the
// node's static placement. Between keys positions and scales are interpolated linearly
// and rotations spherically; before the first key and after the last the end key holds.
struct Tracks {
    std::vector<Key<Point3>> position;
    std::vector<Key<Quat>> rotation;
    std::vector<Key<Point3>> scale;
    friend bool operator==(const Tracks&, const Tracks&) = default;
};

// A face of the host mesh: three vertex indices, the smoothing-group mask and the
// material id.
struct FaceData {
    std::uint32_t v[3] = {0, 0, 0};
    std::uint32_t smGroup = 0;
    std::uint32_t matId = 0;
    friend bool operator==(const FaceData&, const FaceData&) = default;
};

// A map channel: its own vertices and, per mesh face, three indices into them.
// Channel 1 holds the texture coordinates, channel 0 the vertex colours, channel -2 the
// vertex alpha (in x), channels 2 to 99 further texture coordinates.
struct MapChannel {
    RecordList<Point3> vertices;
    RecordList<std::array<std::uint32_t, 3>> faces;
    friend bool operator==(const MapChannel&, const MapChannel&) = default;
};

constexpr int MAP_COLOR_CHANNEL = 0;
constexpr int MAP_TEXCOORD_CHANNEL = 1;
constexpr int MAP_ALPHA_CHANNEL = -2;

// Explicit ("custom") normals: a list and per face three indices into it.
struct ExplicitNormals {
    std::vector<Point3> normals;
    RecordList<std::array<std::uint32_t, 3>> faces;
    friend bool operator==(const ExplicitNormals&, const ExplicitNormals&) = default;
};

struct MeshData {
    RecordList<Point3> vertices;
    RecordList<FaceData> faces;
    std::map<int, MapChannel> maps;
    std::optional<ExplicitNormals> normals;
    friend bool operator==(const MeshData&, const MeshData&) = default;
};

struct VertexInfluence {
    int bone = 0;  // index into SkinData::bones
    float weight = 0.0f;
    friend bool operator==(const VertexInfluence&, const VertexInfluence&) = default;
};

// Skin data of a Skin or Physique modifier. Vertices past the end of weights are not
// skinned. The bind pose is the scene at time 0, unless the skin keeps its own: the mesh
// node's object transform and each bone's node transform when the skin was bound, which a
// skin brought in from another package usually has (its pose at time 0 is then an
// animated one).
struct SkinData {
    std::vector<int> bones;  // node indices
    std::vector<std::vector<VertexInfluence>> weights;
    std::optional<Matrix3> initSkinTM;
    // Per entry of bones; bones past its end, and empty entries, bind at time 0.
    std::vector<std::optional<Matrix3>> initBoneTMs;
    friend bool operator==(const SkinData&, const SkinData&) = default;
};

enum class ModifierKind { Skin, Physique, Other };

struct ModifierData {
    ModifierKind kind = ModifierKind::Other;
    std::string name;
    Class_ID classId = OTHER_CLASS_ID;  // used for Other only
    SkinData skin;                      // used for Skin and Physique
    friend bool operator==(const ModifierData&, const ModifierData&) = default;
};

// One derived object of the modifier stack: its modifiers, top of the stack first.
struct DerivedData {
    std::vector<ModifierData> modifiers;
    friend bool operator==(const DerivedData&, const DerivedData&) = default;
};

enum class ObjectKind { None, Mesh, Helper, Camera, Light, Shape, Target };

struct NodeData {
    std::string name;
    int parent = -1;  // index of the parent node; -1 for a top-level node
    bool selected = false;
    bool hidden = false;
    bool renderable = true;
    DWORD wireColor = 0x00808080;  // red in bits 0-7, green 8-15, blue 16-23
    int material = -1;
    Placement transform;  // relative to the parent node
    Tracks animation;
    Placement objectOffset;  // the pivot: object placement relative to the node
    ObjectKind object = ObjectKind::None;
    MeshData mesh;                     // for ObjectKind::Mesh
    std::vector<DerivedData> derived;  // modifier stack, outermost derived object first
    friend bool operator==(const NodeData&, const NodeData&) = default;
};

enum class ParamType {
    Float = 0,
    Int = 1,
    Rgba = 2,
    Point3 = 3,
    Bool = 4,
    String = 8,
    Filename = 9,
    Bitmap = 16,
    Point4 = 22,
    Frgba = 23,
};

// One named, typed parameter of a parameter block. The value field that the type names
// holds the value: number for Float, Int and Bool; vector for the point and colour types;
// text for String, Filename and Bitmap (the bitmap's file; empty means no bitmap).
// A type code outside the list keeps its code and no value.
struct ParamData {
    std::string name;
    int type = 0;
    double number = 0.0;
    Point4 vector;
    std::string text;
    friend bool operator==(const ParamData&, const ParamData&) = default;
};

enum class TexmapKind { Bitmap, Other };

struct TexmapData {
    TexmapKind kind = TexmapKind::Bitmap;
    std::string name;
    std::string className;  // Other only; a bitmap's class name is "Bitmap"
    std::string file;       // Bitmap only: the path as stored with the scene
    friend bool operator==(const TexmapData&, const TexmapData&) = default;
};

struct MapSlot {
    int slot = 0;
    bool enabled = true;
    TexmapData map;
    friend bool operator==(const MapSlot&, const MapSlot&) = default;
};

enum class MaterialKind { Standard, Multi, Shader, Other };

// Standard material slots, as the host numbers them.
constexpr int ID_AM = 0, ID_DI = 1, ID_SP = 2, ID_SH = 3, ID_SS = 4, ID_SI = 5, ID_OP = 6,
              ID_FI = 7, ID_BU = 8, ID_RL = 9, ID_RR = 10, ID_DP = 11;
constexpr int STD_MAP_SLOTS = 12;

struct MaterialData {
    MaterialKind kind = MaterialKind::Standard;
    std::string name;
    Color diffuse{0.5f, 0.5f, 0.5f};
    Color specular{0.9f, 0.9f, 0.9f};
    float shininess = 0.1f;      // glossiness, 0..1
    float specularLevel = 0.0f;  // shininess strength
    float selfIllumination = 0.0f;
    Color selfIllumColor;
    float transparency = 0.0f;  // 1 − opacity
    std::vector<MapSlot> maps;  // sub-maps by slot; slots not listed are empty
    // Multi: slot count and the material in each slot (-1 for an empty slot). Other
    // classes may have sub-materials too.
    std::vector<int> subMaterials;
    // Shader: effect file and parameter blocks by block index.
    std::string effectFile;
    std::map<int, std::vector<ParamData>> paramBlocks;
    Class_ID classId = OTHER_CLASS_ID;  // Other only
    std::string className;              // Other only
    friend bool operator==(const MaterialData&, const MaterialData&) = default;
};

constexpr int PROPSET_USERDEFINED_SET = 4;

// A file property of the scene: named (the usual case) or numbered, with a text or an
// integer value.
struct FileProperty {
    int set = PROPSET_USERDEFINED_SET;
    bool named = true;
    std::string name;
    std::uint32_t id = 0;
    bool isText = true;
    std::string text;
    std::int32_t integer = 0;
    friend bool operator==(const FileProperty&, const FileProperty&) = default;
};

struct SceneData {
    int frameRate = 30;
    int ticksPerFrame = 160;
    TimeValue animStart = 0;
    TimeValue animEnd = 100 * 160;
    TimeValue currentTime = 0;
    std::vector<NodeData> nodes;  // a parent comes before its children
    std::vector<MaterialData> materials;
    std::vector<FileProperty> fileProperties;
    // Relative bitmap paths are resolved against this directory (not saved).
    std::string baseDirectory;
    friend bool operator==(const SceneData&, const SceneData&) = default;
};

}  // namespace tarvo::scene
