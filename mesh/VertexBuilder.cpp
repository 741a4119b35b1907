// The vertex builder: one record per face corner becomes an output vertex, either its own
// (sequential mode) or shared with an equal corner of the same host vertex (keyed mode).
#include <algorithm>
#include <cstddef>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "mesh/FloatHash.h"
#include "mesh/Mesh.h"

namespace {

// The words of a record that sharing compares, ahead of `next`: ten floats (position, uvw,
// colour, alpha), then materialId and smoothingGroup.
constexpr std::size_t kComparedFloats = 10;
static_assert(offsetof(MeshVertex, alpha) == (kComparedFloats - 1) * sizeof(float));
static_assert(offsetof(MeshVertex, materialId) == kComparedFloats * sizeof(float));
static_assert(offsetof(MeshVertex, smoothingGroup) == offsetof(MeshVertex, materialId) + 4);
static_assert(offsetof(MeshVertex, next) == offsetof(MeshVertex, smoothingGroup) + 4);

#ifdef __SSE2__
__m128 LoadFloats(const MeshVertex& record, std::size_t offset) {
    return _mm_loadu_ps(
        reinterpret_cast<const float*>(reinterpret_cast<const char*>(&record) + offset));
}

// The compared words four at a time: lanes 0-7 and the tail's first two as floats (so -0.0
// equals 0.0 and a NaN equals nothing), the tail's last two, the ids, as integers. Most
// corners repeat their host vertex's first record, so this runs for nearly every corner.
bool LeadingWordsEqual(const MeshVertex& a, const MeshVertex& b) {
    constexpr int kAllLanes = 0xF, kFloatLanes = 0x3, kIdLanes = 0xC;
    __m128 head = _mm_and_ps(_mm_cmpeq_ps(LoadFloats(a, 0), LoadFloats(b, 0)),
                             _mm_cmpeq_ps(LoadFloats(a, 16), LoadFloats(b, 16)));
    __m128 tailA = LoadFloats(a, 32), tailB = LoadFloats(b, 32);
    int tailFloats = _mm_movemask_ps(_mm_cmpeq_ps(tailA, tailB));
    int tailIds = _mm_movemask_ps(
        _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_castps_si128(tailA), _mm_castps_si128(tailB))));
    return _mm_movemask_ps(head) == kAllLanes && (tailFloats & kFloatLanes) == kFloatLanes &&
           (tailIds & kIdLanes) == kIdLanes;
}
#else
bool LeadingWordsEqual(const MeshVertex& a, const MeshVertex& b) {
    for (std::size_t i = 0; i < 3; ++i)
        if (!(a.position[i] == b.position[i]) || !(a.uvw[i] == b.uvw[i]) ||
            !(a.color[i] == b.color[i]))
            return false;
    return a.alpha == b.alpha && a.materialId == b.materialId &&
           a.smoothingGroup == b.smoothingGroup;
}
#endif

// Record equality (see RecordsEqual), here so that the keyed path, which compares nearly
// every corner with its host vertex's first record, has it inlined.
inline bool SameRecord(const MeshVertex& a, std::span<const ExtraUv> aExtras, const MeshVertex& b,
                       std::span<const ExtraUv> bExtras) {
    if (!LeadingWordsEqual(a, b) || aExtras.size() != bExtras.size()) return false;
    for (std::size_t i = 0; i < aExtras.size(); ++i) {
        // The third component is 0 on both sides.
        if (!(aExtras[i].u == bExtras[i].u) || !(aExtras[i].v == bExtras[i].v)) return false;
    }
    return true;
}

// The host vertex a stored record belongs to (keyed mode).
std::uint32_t HostOf(const VertexBuilder& builder, std::uint32_t vertex) {
    auto slots = static_cast<std::uint32_t>(builder.slotCount);
    return vertex < slots ? vertex : builder.appendedHost[vertex - slots];
}

// What AddVertex is given for one corner besides its record.
struct CornerExtras {
    std::span<const ExtraUv> extras;
    const VertexWeights* weights = nullptr;
};

void StoreRecord(VertexBuilder& builder, std::size_t vertex, const MeshVertex& record,
                 const CornerExtras& corner) {
    MeshVertex& stored = builder.vertices[vertex];
    stored = record;
    stored.next = 0;
    stored.extraCount = static_cast<std::uint32_t>(corner.extras.size());
    auto row = builder.extraUvs.begin() + static_cast<std::ptrdiff_t>(vertex * builder.extraStride);
    std::copy(corner.extras.begin(), corner.extras.end(), row);
    if (builder.withWeights)
        builder.weights[vertex] = corner.weights != nullptr ? *corner.weights : VertexWeights{};
}

std::size_t AppendRecord(VertexBuilder& builder, const MeshVertex& record,
                         const CornerExtras& corner) {
    std::size_t vertex = builder.vertices.size();
    builder.vertices.emplace_back();
    builder.extraUvs.resize(builder.extraUvs.size() + builder.extraStride);
    if (builder.withWeights) builder.weights.emplace_back();
    StoreRecord(builder, vertex, record, corner);
    return vertex;
}

OutputVertex AddSequential(VertexBuilder& builder, const MeshVertex& record,
                           const CornerExtras& corner) {
    auto slot = static_cast<std::size_t>(builder.nextSequential++);
    StoreRecord(builder, slot, record, corner);
    builder.used[slot] = 1;
    return OutputVertex(static_cast<std::uint32_t>(slot));
}

// The record appended to the host vertex's chain that equals the new one. Records in one
// chain are never equal to each other, so there is at most one.
std::uint32_t FindAppended(const VertexBuilder& builder, std::uint32_t host, std::uint64_t hash,
                           const MeshVertex& record, std::span<const ExtraUv> extras) {
    return builder.lookup.Find(hash, [&](std::uint32_t vertex) {
        return HostOf(builder, vertex) == host &&
               SameRecord(builder.vertices[vertex], builder.ExtrasOf(vertex), record, extras);
    });
}

// The hash of the record within its host vertex's chain; false for a record with a NaN.
bool HashInChain(std::uint32_t host, const MeshVertex& record, std::span<const ExtraUv> extras,
                 std::uint64_t& hash) {
    if (!HashRecord(record, extras, hash)) return false;
    hash = FinishHash(MixHashWord(hash, host));
    return true;
}

// A host vertex's first record heads its chain.
[[gnu::noinline]] OutputVertex StartChain(VertexBuilder& builder, std::uint32_t h,
                                          const MeshVertex& record, const CornerExtras& corner) {
    StoreRecord(builder, h, record, corner);
    builder.used[h] = 1;
    builder.chainTail[h] = h;
    return OutputVertex(h);
}

// A record that differs from its chain's head: an equal one appended earlier, or a new one
// at the chain's end.
[[gnu::noinline]] OutputVertex AddToChain(VertexBuilder& builder, std::uint32_t h,
                                          const MeshVertex& record, const CornerExtras& corner) {
    std::span<const ExtraUv> extras = corner.extras;
    std::uint64_t hash = 0;
    bool hashed = HashInChain(h, record, extras, hash);
    if (hashed) {
        std::uint32_t found = FindAppended(builder, h, hash, record, extras);
        if (found != FirstEqualIndex::kNone) return OutputVertex(found);
    }
    auto appended = static_cast<std::uint32_t>(AppendRecord(builder, record, corner));
    builder.appendedHost.push_back(h);
    builder.vertices[builder.chainTail[h]].next = appended;
    builder.chainTail[h] = appended;
    if (hashed) builder.lookup.Insert(hash, appended);
    return OutputVertex(appended);
}

// Inlined into the face's loop with the rarer steps out of line, so that the common path,
// a corner equal to its chain's head, costs no call and no saved registers.
inline OutputVertex AddKeyed(VertexBuilder& builder, HostVertex host, const MeshVertex& record,
                             const CornerExtras& corner) {
    std::uint32_t h = host.value;
    if (builder.used[h] == 0) return StartChain(builder, h, record, corner);
    // The head is compared directly: most corners of a host vertex repeat its first record,
    // so the lookup holds only the records appended after a head, and the common path hashes
    // nothing.
    if (SameRecord(builder.vertices[h], builder.ExtrasOf(h), record, corner.extras))
        return OutputVertex(h);
    return AddToChain(builder, h, record, corner);
}

// Corner k of a face, inlined into AddFaceVertices with the keyed path's common case.
[[gnu::always_inline]] inline std::uint32_t AddCorner(VertexBuilder& builder,
                                                      const HostVertex (&hosts)[3],
                                                      const FaceCorners& corners,
                                                      const VertexWeights* weights, std::size_t k) {
    const MeshVertex& record = corners.records[k];
    const CornerExtras corner{{corners.extras[k], record.extraCount},
                              weights != nullptr ? &weights[k] : nullptr};
    return (builder.keyed ? AddKeyed(builder, hosts[k], record, corner)
                          : AddSequential(builder, record, corner))
        .value;
}

}  // namespace

bool RecordsEqual(const MeshVertex& a, std::span<const ExtraUv> aExtras, const MeshVertex& b,
                  std::span<const ExtraUv> bExtras) {
    return SameRecord(a, aExtras, b, bExtras);
}

bool HashRecord(const MeshVertex& record, std::span<const ExtraUv> extras, std::uint64_t& hash) {
    std::uint64_t h = kFloatHashSeed;
    if (!MixHashFloats(h, record.position, 3) || !MixHashFloats(h, record.uvw, 3)) return false;
    if (!MixHashFloats(h, record.color, 3) || !MixHashFloats(h, &record.alpha, 1)) return false;
    h = MixHashWord(MixHashWord(h, record.materialId), record.smoothingGroup);
    h = MixHashWord(h, static_cast<std::uint32_t>(extras.size()));
    for (const ExtraUv& extra : extras) {
        const float uv[2] = {extra.u, extra.v};
        if (!MixHashFloats(h, uv, 2)) return false;
    }
    hash = FinishHash(h);
    return true;
}

VertexBuilder CreateVertexBuilder(std::int32_t hostVertexCount, std::int32_t faceCount, bool keyed,
                                  std::uint32_t extraStride, bool withWeights) {
    VertexBuilder builder;
    builder.keyed = keyed;
    builder.faceCount = faceCount;
    builder.slotCount = keyed ? hostVertexCount : 3 * faceCount;
    builder.extraStride = extraStride;
    auto slots = static_cast<std::size_t>(builder.slotCount);
    // Sized on the empty vectors, so that the zeros are one block fill rather than a copy of
    // a zero element into each place. The records are left unset (see `vertices`).
    builder.vertices.resize(slots);
    builder.extraUvs.resize(slots * extraStride);
    builder.withWeights = withWeights;
    if (withWeights) builder.weights.resize(slots);
    builder.faces.reserve(static_cast<std::size_t>(faceCount));
    builder.used.assign(slots, 0);
    if (keyed) builder.chainTail.assign(slots, 0);
    return builder;
}

void ClearUnusedSlots(VertexBuilder& builder) {
    ForEachUnusedSlot(builder, [&builder](std::size_t slot) { builder.vertices[slot] = {}; });
}

OutputVertex AddVertex(VertexBuilder& builder, HostVertex host, const MeshVertex& record,
                       std::span<const ExtraUv> extras, const VertexWeights* weights) {
    const CornerExtras corner{extras, weights};
    return builder.keyed ? AddKeyed(builder, host, record, corner)
                         : AddSequential(builder, record, corner);
}

void AddFaceVertices(VertexBuilder& builder, const HostVertex (&hosts)[3],
                     const FaceCorners& corners, const VertexWeights* weights) {
    // Three values rather than an array filled in a loop: the array's words, stored one by
    // one and read back as a block, would wait for each other at every face.
    const std::uint32_t first = AddCorner(builder, hosts, corners, weights, 0);
    const std::uint32_t second = AddCorner(builder, hosts, corners, weights, 1);
    const std::uint32_t third = AddCorner(builder, hosts, corners, weights, 2);
    builder.faces.push_back({first, second, third});
}

VertexAttributes TakeVertexAttributes(VertexBuilder builder, bool withUvs, bool withColors) {
    VertexAttributes attributes;
    attributes.vertexCount = builder.vertices.size();
    // One pass per attribute kept, each a plain copy loop.
    if (withUvs) {
        attributes.uvs.reserve(attributes.vertexCount);
        for (const MeshVertex& vertex : builder.vertices)
            attributes.uvs.push_back({vertex.uvw[0], vertex.uvw[1]});
    }
    if (withColors) {
        attributes.colors.reserve(attributes.vertexCount);
        for (const MeshVertex& vertex : builder.vertices)
            attributes.colors.push_back(
                {{vertex.color[0], vertex.color[1], vertex.color[2]}, vertex.alpha});
    }
    if (builder.extraStride != 0) {
        attributes.extraCounts.reserve(attributes.vertexCount);
        for (const MeshVertex& vertex : builder.vertices)
            attributes.extraCounts.push_back(vertex.extraCount);
    }
    attributes.extraStride = builder.extraStride;
    attributes.extraUvs = std::move(builder.extraUvs);
    attributes.weights = std::move(builder.weights);
    return attributes;
}
