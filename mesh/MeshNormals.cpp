// MeshNormals: a list of normals apart from the vertices, with a triple of indices per
// face, from the host's explicit normals or from smoothing groups.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "mesh/FloatHash.h"
#include "mesh/Mesh.h"
#include "mesh/PayloadLayouts.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

namespace {

// The hash of a normal that equal normals share; false with a NaN.
bool HashNormal(const Point3& n, std::uint64_t& hash) {
    const float components[3] = {n.x, n.y, n.z};
    std::uint64_t h = kFloatHashSeed;
    if (!MixHashFloats(h, components, 3)) return false;
    hash = FinishHash(h);
    return true;
}

// How far rows may stray from mutually orthogonal and equally long, as a fraction of the
// longest row's squared length, and still count as a rotation times one scale factor.
// Rotation matrices made from float quaternions and multiplied down a hierarchy stray by a
// few 1e-7; a genuinely non-uniform scale, even 1.0001 against 1, strays by 2e-4 or more.
// Counting a scale ratio closer to 1 than that as uniform turns a normal by well under
// 1e-4 radians.
constexpr double kUniformScaleTolerance = 1e-4;

// True when the 3×3 part is a rotation times one scale factor: the identity, a rotation,
// a uniform scale, a mirroring by a negative uniform scale, or a product of these. Such a
// matrix turns a normal as its inverse transpose would, up to a factor that normalising
// removes, so normals keep the plain transform and with it the exact bytes written so far.
// The rows of such a matrix are mutually orthogonal and equally long; judging both against
// the longest row makes the test the same at every scale, and working in double keeps the
// judgement free of its own rounding.
bool IsRotationTimesUniformScale(const Matrix3& m) {
    double dot[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            dot[i][j] = double(m.m[i][0]) * m.m[j][0] + double(m.m[i][1]) * m.m[j][1] +
                        double(m.m[i][2]) * m.m[j][2];
    double longest = std::max({dot[0][0], dot[1][1], dot[2][2]});
    double allowed = kUniformScaleTolerance * longest;
    for (int i = 0; i < 3; ++i)
        if (longest - dot[i][i] > allowed) return false;
    return std::fabs(dot[0][1]) <= allowed && std::fabs(dot[0][2]) <= allowed &&
           std::fabs(dot[1][2]) <= allowed;
}

// The inverse transpose of the 3×3 part up to a positive factor, which normalising each
// normal removes: the cofactor rows, negated with a negative determinant so that a mirrored
// normal turns as its surface does. The rows are first divided by the longest one, so that
// tiny or huge scales neither underflow nor overflow; a flattening (singular) part still
// gives the flattened surface its normal.
Matrix3 InverseTransposeUpToScale(const Matrix3& m) {
    float longest = std::max({m.GetRow(0).Length(), m.GetRow(1).Length(), m.GetRow(2).Length()});
    if (!(longest > 0.0f)) return m;
    const Point3 r0 = m.GetRow(0) / longest, r1 = m.GetRow(1) / longest, r2 = m.GetRow(2) / longest;
    const Point3 c0 = CrossProd(r1, r2), c1 = CrossProd(r2, r0), c2 = CrossProd(r0, r1);
    const float sign = DotProd(r0, c0) < 0.0f ? -1.0f : 1.0f;
    return Matrix3(c0 * sign, c1 * sign, c2 * sign, Point3());
}

// The matrix that turns normals when positions are multiplied by the position transform;
// translation plays no part.
Matrix3 NormalTransformFor(const Matrix3& positionTransform) {
    Matrix3 linear = positionTransform;
    linear.NoTrans();
    return IsRotationTimesUniformScale(linear) ? linear : InverseTransposeUpToScale(linear);
}

std::string ProgressTitle(const MeshContext& context) {
    std::string title = context.maxNode->GetName();
    if (const char* suffix = LoadResString(IDS_NORMALS)) title += suffix;
    return title;
}

// The entry a source's normal has in the list, kept once found for the sources whose
// normal is the same at every corner that names them: with sharing on, each such corner
// would find that very entry again, so the normal is read and looked up once per source
// instead of once per corner (a large mesh names each host vertex about six times).
// A kept entry with kGroupedFacesOnly holds only for faces in a smoothing group: faces
// outside every group take their face normal instead.
constexpr std::uint32_t kNoKnownEntry = 0xFFFFFFFFu;
constexpr std::uint32_t kGroupedFacesOnly = 0x80000000u;

// Which corners naming a source share the normal just read for one of them.
enum class NormalReach { EveryCorner, GroupedFaces, ThisCorner };

bool HasNaN(const Point3& n) {
    return std::isnan(n.x) || std::isnan(n.y) || std::isnan(n.z);
}

class CornerNormals {
  public:
    CornerNormals(const MeshContext& context, NormalList& list) : m_context(context), m_list(list) {
        if (!context.options->customNormals) {
            m_hostMesh = context.mesh->GetMaxMesh();
            m_hostMesh->buildNormals();
        }
        // Without sharing every corner gets an entry of its own, so nothing is kept.
        if (list.dedupe) m_known.assign(SourceCount(), kNoKnownEntry);
    }

    // The smoothing groups the face belongs to; only the host mesh's normals depend on them.
    DWORD FaceGroup(int faceIndex) const {
        return m_hostMesh ? std::as_const(*m_hostMesh).getFace(faceIndex).getSmGroup() : 0;
    }

    // The list entry of a corner of face `faceIndex`, whose normal the face loop noted as
    // coming from `source`. The face's smoothing groups are read only when the answer
    // depends on them: a kept entry for every corner, the common case, needs no look at the
    // host's faces.
    std::uint32_t Entry(int faceIndex, DWORD source) {
        const bool keepable = source < m_known.size();
        if (keepable) {
            const std::uint32_t known = m_known[source];
            if (known != kNoKnownEntry &&
                ((known & kGroupedFacesOnly) == 0 || FaceGroup(faceIndex) != 0))
                return known & ~kGroupedFacesOnly;
        }
        NormalReach reach = NormalReach::ThisCorner;
        const Point3 normal = Read(faceIndex, FaceGroup(faceIndex), source, reach);
        const std::uint32_t entry = AddUniqueNormal(m_list, normal);
        // A NaN equals nothing, so each corner with one gets an entry of its own.
        if (keepable && reach != NormalReach::ThisCorner && !HasNaN(normal) &&
            entry < kGroupedFacesOnly)
            m_known[source] =
                reach == NormalReach::GroupedFaces ? entry | kGroupedFacesOnly : entry;
        return entry;
    }

  private:
    // Explicit normals by index, or the host mesh's render normals by host vertex.
    std::size_t SourceCount() const {
        const int count =
            m_hostMesh ? m_hostMesh->getNumVerts() : m_context.mesh->GetNumberOfNormals();
        return static_cast<std::size_t>(std::max(count, 0));
    }

    // `source` is an explicit normal's index, or the host vertex whose render normals the
    // smoothing groups choose from.
    Point3 Read(int faceIndex, DWORD group, DWORD source, NormalReach& reach) const {
        if (m_hostMesh == nullptr) {
            reach = NormalReach::EveryCorner;
            return m_context.mesh->GetNormal(static_cast<int>(source), true);
        }
        const RVertex& rv = m_hostMesh->getRVert(static_cast<int>(source));
        // As GetCornerNormal decides: a specified normal always, a vertex's only normal for
        // a face in a group; anything else is chosen per face.
        if (rv.rFlags & SPECIFIED_NORMAL)
            reach = NormalReach::EveryCorner;
        else if ((rv.rFlags & NORCT_MASK) == 1 && group != 0)
            reach = NormalReach::GroupedFaces;
        return GetCornerNormal(*m_hostMesh, faceIndex, rv);
    }

    const MeshContext& m_context;
    NormalList& m_list;
    Mesh* m_hostMesh = nullptr;          // the smoothing-group path's mesh, normals built
    std::vector<std::uint32_t> m_known;  // per source: its kept entry, or kNoKnownEntry
};

// The list, and in place of each corner's source its list entry, reporting progress about
// once per percent of faces.
void CollectNormals(const MeshContext& context, NormalList& list,
                    std::vector<FaceIndices>& triples) {
    CornerNormals normals(context, list);
    Interface* host = context.exporter->hostInterface;
    std::string title = ProgressTitle(context);
    if (host != nullptr) host->ProgressUpdate(0, FALSE, title.c_str());
    // Every step-th face from the first; counted rather than divided out for each face.
    const int step = std::max(1, context.faceCount / 100);
    std::int64_t nextReport = 0;
    for (int f = 0; f < context.faceCount; ++f) {
        for (std::uint32_t& corner : triples[static_cast<std::size_t>(f)])
            corner = normals.Entry(f, corner);
        if (f != nextReport) continue;
        nextReport += step;
        if (host != nullptr)
            host->ProgressUpdate(static_cast<int>(100LL * f / context.faceCount), FALSE,
                                 title.c_str());
    }
}

// Turned by the normal transform of M, normalised, signed and put in output axis order.
void WriteNormal(const MeshContext& context, const Matrix3& normalTransform, const Point3& normal,
                 d3dx::XPayloadWriter& payload) {
    float sign = context.options->flipNormals ? -1.0f : 1.0f;
    Point3 n = normalTransform.VectorTransform(normal).Normalize() * sign;
    for (int axis : context.corners.axis) payload.Float(n[axis]);
}

bool SameNormal(const Point3& a, const Point3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// AddUniqueNormal past its comparison with the last entry.
std::uint32_t LookUpOrAddNormal(NormalList& list, const Point3& normal) {
    std::uint64_t hash = 0;
    bool hashed = list.dedupe && HashNormal(normal, hash);
    if (hashed) {
        std::uint32_t found = list.lookup.Find(
            hash, [&](std::uint32_t entry) { return SameNormal(list.normals[entry], normal); });
        if (found != FirstEqualIndex::kNone) return list.lastEntry = found;
    }
    auto entry = static_cast<std::uint32_t>(list.normals.size());
    list.normals.push_back(normal);
    if (hashed) list.lookup.Insert(hash, entry);
    list.lastEntry = entry;
    return entry;
}

}  // namespace

std::uint32_t AddUniqueNormal(NormalList& list, const Point3& normal) {
    // Entries are never equal to each other, so an equal last entry is the first equal one.
    // Kept apart from the lookup so that this test, which most corners end at, is inlined.
    if (list.dedupe && list.lastEntry != FirstEqualIndex::kNone &&
        SameNormal(list.normals[list.lastEntry], normal))
        return list.lastEntry;
    return LookUpOrAddNormal(list, normal);
}

Point3 GetCornerNormal(Mesh& mesh, int faceIndex, const RVertex& rv) {
    if (rv.rFlags & SPECIFIED_NORMAL) return rv.rn.getNormal();
    // Read through a const view: a write access would mark the host's normals as stale.
    DWORD group = std::as_const(mesh).getFace(faceIndex).getSmGroup();
    DWORD count = rv.rFlags & NORCT_MASK;
    if (count == 0 || group == 0) return mesh.getFaceNormal(faceIndex);
    if (count == 1) return rv.rn.getNormal();
    // The last normal that shares a group with the face; the face normal when none does.
    for (DWORD i = count; i-- > 0;)
        if (rv.ern[i].getSmGroup() & group) return rv.ern[i].getNormal();
    return mesh.getFaceNormal(faceIndex);
}

bool WriteMeshNormals(const MeshContext& context, std::vector<FaceIndices> cornerSources,
                      ID3DXFileSaveData* meshData) {
    NormalList list;
    list.dedupe = context.options->optMesh != kOptMeshNone;
    std::vector<FaceIndices> triples = std::move(cornerSources);
    CollectNormals(context, list, triples);

    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(CountedArrayBytes<PackedVector>(list.normals.size()) +
                         CountedArrayBytes<PackedTriangle>(triples.size())))
        return false;
    const Matrix3 normalTransform = NormalTransformFor(context.meshTransform);
    payload.Dword(static_cast<std::uint32_t>(list.normals.size()));
    for (const Point3& normal : list.normals)
        WriteNormal(context, normalTransform, normal, payload);
    WriteMeshFaces(triples, payload);
    // Whether the add succeeds is not looked at: the Mesh's other children follow either way.
    (void)XParent(meshData).AddLeaf(TID_D3DRMMeshNormals, nullptr, std::move(payload));
    return true;
}
