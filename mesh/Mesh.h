// Mesh export: one geometric node into a Mesh data object and its children. The stages, in
// the order ExportMesh runs them:
//   gather per corner (positions, texture coordinates, extra channels, colours)
//   -> VertexBuilder (AddVertex: none / keyed sharing) -> ClearUnusedSlots
//   -> OptimiseVertices -> CheckMesh
//   -> Mesh payload -> MeshNormals -> MeshMaterialList -> MeshVertexColors
//   -> MeshTextureCoords -> FVFData -> [skin header and weights]
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "mesh/FirstEqualIndex.h"
#include "platform/max/Max.h"
#include "xfile/XFile.h"

class TarvoDirectXMaxExporter;
struct ExportOptions;
namespace d3dx {
class XPayloadWriter;
}

// Writes the node's mesh under the parent: the Mesh and its children.
void ExportMesh(TarvoDirectXMaxExporter& exporter, IGameNode* node, TimeValue time,
                const XParent& parent);

// The legal name of a Mesh or Material: "TDX" before a leading digit and "Sub<index>" after
// the name unless the index is -1, then the name rule of MakeLegalName. The result is in one
// shared buffer that the next call overwrites; names of any length are kept whole.
const char* MakeObjectName(const char* text, int index);

// ---- Indices -----------------------------------------------------------------------------

// A 32-bit index that cannot be mixed up with an index into another array.
template <typename Tag>
struct MeshIndex {
    std::uint32_t value = 0;
    constexpr MeshIndex() = default;
    constexpr explicit MeshIndex(std::uint32_t v) : value(v) {}
    friend constexpr bool operator==(MeshIndex, MeshIndex) = default;
};
using HostVertex = MeshIndex<struct HostVertexTag>;      // into the host's vertex array
using OutputVertex = MeshIndex<struct OutputVertexTag>;  // into the written vertex list
using MapVertex = MeshIndex<struct MapVertexTag>;        // into one map channel's vertices

// ---- Records -----------------------------------------------------------------------------

constexpr int kMaxMapChannels = 9;    // positions of the active channel list considered
constexpr int kMaxExtraChannels = 8;  // channels other than 1 among those positions

// One extra map channel's coordinate of a corner; its third component is always 0, so it is
// not stored.
struct ExtraUv {
    float u = 0.0f;
    float v = 0.0f;
};

// ---- Skin --------------------------------------------------------------------------------

constexpr int kMaxBoneInfluences = 4;  // influences kept per vertex

// One bone's share of a vertex.
struct BoneWeight {
    INode* bone = nullptr;
    float weight = 0.0f;
};

// The bone influences of one vertex. Only a mesh with skin data keeps them, in an array of
// the builder beside its records, so the records of every other mesh stay half the size.
struct VertexWeights {
    BoneWeight influences[kMaxBoneInfluences];
    std::uint32_t count = 0;  // entries of influences in use
};

// The attributes of one face corner. The corner's extra-channel coordinates and bone
// influences travel beside the record (spans or pointers when adding, rows of the builder
// once stored), so a record never owns heap memory. Bone influences are not compared when
// records are shared: every corner of one host vertex gets the same influences.
struct MeshVertex {
    float position[3] = {0, 0, 0};
    float uvw[3] = {0, 0, 0};  // u, v, 0
    float color[3] = {0, 0, 0};
    float alpha = 0.0f;
    std::uint32_t materialId = 0;      // set on skinned nodes only
    std::uint32_t smoothingGroup = 0;  // set on skinned nodes only
    std::uint32_t next = 0;            // next record of the same host vertex; 0 ends the chain
    std::uint32_t extraCount = 0;      // extra-channel entries of this record
};
// A builder holds one record per output vertex, hundreds of thousands on a large mesh.
static_assert(sizeof(MeshVertex) == 56);

// Record equality of the sharing rules: every float with ==, so -0.0 equals 0.0 and a NaN
// equals nothing; ids equal; extra channels of the same count and equal. `next` is ignored.
bool RecordsEqual(const MeshVertex& a, std::span<const ExtraUv> aExtras, const MeshVertex& b,
                  std::span<const ExtraUv> bExtras);
// A hash that equal records share; false (and no hash) for a record with a NaN, which
// equals nothing.
bool HashRecord(const MeshVertex& record, std::span<const ExtraUv> extras, std::uint64_t& hash);

// ---- Vertex builder ----------------------------------------------------------------------

using FaceIndices = std::array<std::uint32_t, 3>;

// The per-mesh store of output vertices and faces.
struct VertexBuilder {
    std::int32_t slotCount = 0;  // host vertices (keyed) or 3 × faces (sequential)
    std::int32_t faceCount = 0;
    bool keyed = false;
    std::int32_t nextSequential = 0;
    std::uint32_t extraStride = 0;  // room for extra-channel entries per vertex
    // Slots first, then appended records. A slot holds its record once `used` says so; until
    // then, or for good where no corner fills it (ClearUnusedSlots), it holds whatever the
    // memory held: zeroing every slot first was a pass over the largest store of a mesh.
    std::vector<MeshVertex, d3dx::XUnzeroedAllocator<MeshVertex>> vertices;
    std::vector<ExtraUv> extraUvs;  // vertices.size() × extraStride
    // One entry per record on a mesh with skin data (withWeights); empty otherwise.
    bool withWeights = false;
    std::vector<VertexWeights> weights;
    // One triple per face added, in order. Room for every face is taken at the start; the
    // list grows as faces are added rather than being zeroed first, a pass over tens of
    // megabytes on a large mesh.
    std::vector<FaceIndices> faces;
    std::vector<std::uint8_t> used;  // per slot: 1 once a record is stored there

    // Keyed mode: the records appended after the slots, by hash within their chain (a
    // chain's head is compared directly).
    FirstEqualIndex lookup;
    std::vector<std::uint32_t> chainTail;     // per slot: last record of its chain
    std::vector<std::uint32_t> appendedHost;  // per appended record: its host vertex

    std::span<const ExtraUv> ExtrasOf(std::size_t vertex) const {
        return {extraUvs.data() + vertex * extraStride, vertices[vertex].extraCount};
    }
};

// slotCount is the host vertex count when keyed, else 3 × faceCount. Every corner may carry
// up to extraStride extra-channel entries; withWeights keeps each record's bone influences.
// The slots' records are unset until filled (ClearUnusedSlots zeroes the rest).
VertexBuilder CreateVertexBuilder(std::int32_t hostVertexCount, std::int32_t faceCount, bool keyed,
                                  std::uint32_t extraStride, bool withWeights = false);
// The output vertex of a corner: its own slot in sequential mode; in keyed mode the host
// vertex's slot, the first equal record of its chain, or a new appended record. `weights`
// are stored with a new record when the builder keeps influences (null: none).
OutputVertex AddVertex(VertexBuilder& builder, HostVertex host, const MeshVertex& record,
                       std::span<const ExtraUv> extras, const VertexWeights* weights = nullptr);
// Merges every appended record above slotCount into the lowest equal one above slotCount,
// removes the merged records and renumbers the faces; one "Optimized: vert %ld, with vert
// %ld\n" line per equal pair, as the pairwise scan from the top would write them.
void OptimiseVertices(VertexBuilder& builder);
// Calls `visit` with each slot no corner filled, in ascending order. Such slots are rare, so
// they are searched for a block at a time rather than slot by slot.
template <typename Visit>
void ForEachUnusedSlot(const VertexBuilder& builder, Visit&& visit) {
    const std::uint8_t* used = builder.used.data();
    const std::uint8_t* end = used + builder.used.size();
    for (const std::uint8_t* slot = used;
         slot != end && (slot = static_cast<const std::uint8_t*>(
                             std::memchr(slot, 0, static_cast<std::size_t>(end - slot))));
         ++slot)
        visit(static_cast<std::size_t>(slot - used));
}
// Zeroes the records of the slots no corner filled, as they are written all the same.
void ClearUnusedSlots(VertexBuilder& builder);
// Reports slots no corner filled and faces whose indices are not distinct; changes nothing.
void CheckMesh(const VertexBuilder& builder);

// What the Mesh's children read of the output vertices, once the Mesh object holds the
// positions and faces: only the attributes that will be written, so that the builder, the
// largest store of a mesh, is gone before the normals are collected.
struct VertexAttributes {
    std::size_t vertexCount = 0;
    std::vector<ExtraUv> uvs;  // u, v per vertex (kept when texture coordinates are written)
    struct Color {
        float rgb[3];
        float alpha;
    };
    std::vector<Color> colors;  // per vertex (kept when vertex colours are written)
    std::uint32_t extraStride = 0;
    std::vector<ExtraUv> extraUvs;           // vertexCount × extraStride
    std::vector<std::uint32_t> extraCounts;  // per vertex, when extraStride is not 0
    std::vector<VertexWeights> weights;      // per vertex on a mesh with skin data

    std::span<const ExtraUv> ExtrasOf(std::size_t vertex) const {
        if (extraStride == 0) return {};
        return {extraUvs.data() + vertex * extraStride, extraCounts[vertex]};
    }
};
// The attributes the children will write, taken from the builder, which is then freed.
VertexAttributes TakeVertexAttributes(VertexBuilder builder, bool withUvs, bool withColors);

// ---- Per-mesh setup ------------------------------------------------------------------------

// The corner and axis order of a mesh: leftHanded 1 takes host corners 0, 2, 1 and writes
// x, z, y.
struct CornerOrder {
    int hostCorner[3] = {0, 1, 2};
    int axis[3] = {0, 1, 2};
};
CornerOrder CornerOrderFor(const ExportOptions& options);

// A bone of a skinned mesh and the output vertices it moves.
struct SkinBone {
    std::string name;                                         // the host's name, whole however long
    std::vector<std::pair<std::uint32_t, float>> weightList;  // (output vertex, weight)
    Matrix3 offsetMatrix;   // from the mesh's bind pose into the bone's space
    INode* node = nullptr;  // the bone's identity
};

// The skin state of one mesh.
struct SkinContext {
    std::vector<SkinBone> bones;  // in order of first encounter
    std::uint32_t maxWeightsPerVertex = 1;
    TarvoDirectXMaxExporter* exporter = nullptr;  // names bones as their frames are named
    std::int32_t skinnedVertexCount = 0;          // host vertices with skin data
    IGameSkin* skin = nullptr;
    bool skinned = false;                 // the host gave skin data
    Matrix3 initialSkinTM;                // the written vertices' world placement in the bind pose
    std::uint32_t maxWeightsPerFace = 0;  // nothing raises it
};

// The mesh to export: the skin's initial pose for a node with skin data, else the object.
IGameMesh* SetUpSkin(SkinContext& skin, TarvoDirectXMaxExporter& exporter, IGameObject* object,
                     bool nodeSkinned);
// The influences of host vertex h for the corner: at most kMaxBoneInfluences, the
// strongest when there are more (equal weights in host order), rescaled to a total of 1
// then. Registers every bone met, with its offset matrix.
void GatherVertexWeights(SkinContext& skin, HostVertex h, VertexWeights& weights);
// The per-bone vertex lists from the final vertices; bones that move nothing are removed.
void BuildBoneWeightLists(SkinContext& skin, const VertexAttributes& vertices);
// XSkinMeshHeader and one SkinWeights per bone under the Mesh; stops at the first object
// that cannot be added and returns that result.
[[nodiscard]] HRESULT WriteSkinWeights(SkinContext& skin, ID3DXFileSaveData* meshData);

// What every stage of one mesh reads.
struct MeshContext {
    TarvoDirectXMaxExporter* exporter = nullptr;
    const ExportOptions* options = nullptr;
    INode* maxNode = nullptr;
    IGameMesh* mesh = nullptr;
    Matrix3 meshTransform;        // M
    bool objectSpaceFlag = true;  // what GetVertex is asked for
    CornerOrder corners;
    bool skinned = false;
    SkinContext skin;
    int faceCount = 0;
    int texVertCount = 0;
    int colorVertCount = 0;
    std::vector<int> extraChannels;  // channel numbers that become extra channels, in order
    std::int32_t channelsUsed = 0;
    // Positions and texture vertices read from the host once, before the face loop: the
    // corners name each host vertex several times over, and every read is a call into the
    // host. They cover the lowest indices only (see ReadHostValues); the rest are asked for.
    // A texture vertex's NaN components are kept as the 0 they are written as.
    std::vector<Point3> positions;
    std::vector<Point2> texVerts;
    // Per face, in output corner order, what the corner's normal is read from: the index of
    // its explicit normal (customNormals) or its host vertex (smoothing groups). Noted in
    // the face loop so that the normals need no second walk of the faces; they turn it into
    // their index triples.
    std::vector<FaceIndices> normalSources;
    // What the face loop gathers besides positions, decided once for the mesh: each gather
    // step is called only when it has something to gather.
    bool gathersUvs = false;     // texture coordinates (map channel 1)
    bool gathersExtras = false;  // extra map channels
    bool gathersColors = false;  // vertex colours and alpha
};

// What the host gives for index `index` of an array read once into `values`: the value read
// then, or for an index past it the host's own answer (out of range included).
template <typename Value, typename Read>
Value HostValue(const std::vector<Value>& values, DWORD index, Read&& read) {
    return index < values.size() ? values[index] : read(static_cast<int>(index));
}

// ---- Gathering (inside the face loop) --------------------------------------------------

// The three records of one face with their extra-channel entries, on the stack.
struct FaceCorners {
    MeshVertex records[3];
    ExtraUv extras[3][kMaxExtraChannels];
};

// AddVertex for the three corners of a face, their output vertices appended to the faces as
// the next face; `weights` are the corners' influences (null: none).
void AddFaceVertices(VertexBuilder& builder, const HostVertex (&hosts)[3],
                     const FaceCorners& corners, const VertexWeights* weights);

// Reads the first `count` texture vertices into context.texVerts, NaN components as 0.
void ReadTexVertices(MeshContext& context, std::size_t count);
// Each called only where its attribute is written (MeshContext::gathers...), so none asks.
void GatherTextureCoords(const MeshContext& context, const FaceEx& face, FaceCorners& corners);
void GatherExtraChannels(MeshContext& context, int faceIndex, FaceCorners& corners);
void GatherVertexColors(const MeshContext& context, const FaceEx& face, FaceCorners& corners);
// The extra channels of a mesh: the channels at positions 0 to maps - 1 of the active list
// other than the texture channel 1, channels of 0 or below skipped, at most
// kMaxExtraChannels of them, in list order.
std::vector<int> ExtraChannelsOf(const Tab<int>& activeChannels, int maps);
// The FVF code for K extra channels: the position bit 0x002 with K texture sets declared
// (K << 8), so a reader sizing vertices from it finds the K pairs of floats written.
std::uint32_t ExtraChannelsFvf(std::uint32_t channelCount);

// ---- Children of the Mesh ----------------------------------------------------------------

// A count, then per face its index count 3 and its three indices: the MeshFace array of the
// Mesh and of MeshNormals.
void WriteMeshFaces(std::span<const FaceIndices> faces, d3dx::XPayloadWriter& payload);

// Normals of the mesh as MeshNormals, from the corner sources the face loop noted (taken and
// used up as the index triples); false when the payload could not be allocated (the later
// children are then not written).
bool WriteMeshNormals(const MeshContext& context, std::vector<FaceIndices> cornerSources,
                      ID3DXFileSaveData* meshData);
// Each child writer returns the add call's result, or E_OUTOFMEMORY when its payload cannot
// be had (the object is then skipped).
[[nodiscard]] HRESULT WriteVertexColors(const VertexAttributes& vertices,
                                        ID3DXFileSaveData* meshData);
[[nodiscard]] HRESULT WriteTextureCoords(const VertexAttributes& vertices,
                                         ID3DXFileSaveData* meshData);
[[nodiscard]] HRESULT WriteExtraChannels(const VertexAttributes& vertices,
                                         ID3DXFileSaveData* meshData, std::int32_t channelsUsed);

// The MeshMaterialList with its materials; false when the payload could not be allocated
// (the later children are then not written).
bool WriteMaterialList(TarvoDirectXMaxExporter& exporter, INode* node, IGameMesh* mesh,
                       ID3DXFileSaveData* meshData);
// A Material from the node's wire colour under the list, for a node without a material.
[[nodiscard]] HRESULT WriteDefaultMaterial(INode* node, const XParent& list);

// ---- Normals -----------------------------------------------------------------------------

// A growable list of normals; with dedupe on, a normal equal (per component, as floats) to
// an entry already listed is not added again.
struct NormalList {
    bool dedupe = false;
    std::vector<Point3> normals;
    FirstEqualIndex lookup;
    // The entry the last normal was found as or added at: neighbouring corners mostly share
    // a normal, and comparing with it first saves hashing.
    std::uint32_t lastEntry = FirstEqualIndex::kNone;
};
std::uint32_t AddUniqueNormal(NormalList& list, const Point3& normal);
// The smoothing-group normal of a face corner from the host mesh's render normals.
Point3 GetCornerNormal(Mesh& mesh, int faceIndex, const RVertex& rv);
