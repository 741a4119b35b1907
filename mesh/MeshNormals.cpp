// MeshNormals: a list of normals apart from the vertices, with a triple of indices per
// face, from the host's explicit normals or from smoothing groups.
#include <cmath>
#include <cstring>
#include <string>

#include "mesh/Mesh.h"
#include "mesh/MeshPayload.h"
#include "plugin/Exporter.h"

namespace {

// The hash of a normal that equal normals share (-0.0 as 0.0); false with a NaN.
bool HashNormal(const Point3& n, std::uint64_t& hash) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (int i = 0; i < 3; ++i) {
        if (std::isnan(n[i])) return false;
        float zeroed = n[i] == 0.0f ? 0.0f : n[i];
        std::uint32_t bits;
        std::memcpy(&bits, &zeroed, sizeof bits);
        h = (h ^ bits) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    h *= 0xFF51AFD7ED558CCDull;
    hash = h ^ (h >> 33);
    return true;
}

std::string ProgressTitle(const MeshContext& context) {
    std::string title = context.maxNode->GetName();
    if (const char* suffix = LoadResString(IDS_NORMALS)) title += suffix;
    return title;
}

struct NormalSource {
    const MeshContext& context;
    Mesh* hostMesh = nullptr;  // the smoothing-group path's mesh, normals built

    Point3 Corner(const FaceEx& face, int faceIndex, int hostCorner) const {
        if (context.options->customNormals)
            return context.mesh->GetNormal(static_cast<int>(face.norm[hostCorner]), true);
        return GetCornerNormal(*hostMesh, faceIndex,
                               hostMesh->getRVert(static_cast<int>(face.vert[hostCorner])));
    }
};

// The list and the per-face triples, reporting progress about once per percent of faces.
void CollectNormals(const MeshContext& context, NormalList& list,
                    std::vector<FaceIndices>& triples) {
    NormalSource source{context};
    if (!context.options->customNormals) {
        source.hostMesh = context.mesh->GetMaxMesh();
        source.hostMesh->buildNormals();
    }
    Interface* host = context.exporter->hostInterface;
    std::string title = ProgressTitle(context);
    if (host != nullptr) host->ProgressUpdate(0, FALSE, title.c_str());
    int step = std::max(1, context.faceCount / 100);
    for (int f = 0; f < context.faceCount; ++f) {
        const FaceEx& face = *context.mesh->GetFace(f);
        for (int k = 0; k < 3; ++k)
            triples[static_cast<std::size_t>(f)][static_cast<std::size_t>(k)] =
                AddUniqueNormal(list, source.Corner(face, f, context.corners.hostCorner[k]));
        if (f % step == 0 && host != nullptr)
            host->ProgressUpdate(static_cast<int>(100LL * f / context.faceCount), FALSE,
                                 title.c_str());
    }
}

// Transformed by M without its translation, normalised, signed and put in output axis order.
void WriteNormal(const MeshContext& context, const Matrix3& normalTransform, const Point3& normal,
                 MeshPayload& payload) {
    float sign = context.options->flipNormals ? -1.0f : 1.0f;
    Point3 n = normalTransform.VectorTransform(normal).Normalize() * sign;
    for (int axis : context.corners.axis) payload.Float(n[axis]);
}

}  // namespace

std::uint32_t AddUniqueNormal(NormalList& list, const Point3& normal) {
    std::uint64_t hash = 0;
    bool hashed = list.dedupe && HashNormal(normal, hash);
    if (hashed) {
        std::uint32_t found = list.lookup.Find(hash, [&](std::uint32_t entry) {
            const Point3& other = list.normals[entry];
            return other.x == normal.x && other.y == normal.y && other.z == normal.z;
        });
        if (found != FirstEqualIndex::kNone) return found;
    }
    auto entry = static_cast<std::uint32_t>(list.normals.size());
    list.normals.push_back(normal);
    if (hashed) list.lookup.Insert(hash, entry);
    return entry;
}

Point3 GetCornerNormal(Mesh& mesh, int faceIndex, const RVertex& rv) {
    if (rv.rFlags & SPECIFIED_NORMAL) return rv.rn.getNormal();
    DWORD group = mesh.getFace(faceIndex).getSmGroup();
    DWORD count = rv.rFlags & NORCT_MASK;
    if (count == 0 || group == 0) return mesh.getFaceNormal(faceIndex);
    if (count == 1) return rv.rn.getNormal();
    // The last normal that shares a group with the face; the face normal when none does.
    for (DWORD i = count; i-- > 0;)
        if (rv.ern[i].getSmGroup() & group) return rv.ern[i].getNormal();
    return mesh.getFaceNormal(faceIndex);
}

bool WriteMeshNormals(const MeshContext& context, ID3DXFileSaveData* meshData) {
    NormalList list;
    list.dedupe = context.options->optMesh != 0;
    std::vector<FaceIndices> triples(static_cast<std::size_t>(context.faceCount),
                                     FaceIndices{0, 0, 0});
    CollectNormals(context, list, triples);

    MeshPayload payload;
    if (!payload.Allocate(4 + 12 * list.normals.size() + 4 + 16 * triples.size())) return false;
    Matrix3 normalTransform = context.meshTransform;
    normalTransform.NoTrans();
    payload.Dword(static_cast<std::uint32_t>(list.normals.size()));
    for (const Point3& normal : list.normals)
        WriteNormal(context, normalTransform, normal, payload);
    payload.Dword(static_cast<std::uint32_t>(triples.size()));
    for (const FaceIndices& triple : triples) {
        payload.Dword(3);
        for (std::uint32_t index : triple) payload.Dword(index);
    }
    ID3DXFileSaveData* object = nullptr;
    meshData->AddDataObject(TID_D3DRMMeshNormals, nullptr, nullptr, payload.Size(), payload.Data(),
                            &object);
    if (object != nullptr) object->Release();
    return true;
}
