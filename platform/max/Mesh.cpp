#include "platform/max/Mesh.h"

#include <algorithm>
#include <cmath>
#include <limits>

Mesh::Mesh(const Mesh& other)
    : specifiedNormals(other.specifiedNormals),
      verts(other.verts),
      faces(other.faces),
      faceNormals(other.faceNormals),
      rVerts(other.rVerts),
      extraNormals(other.extraNormals),
      m_normalsBuilt(other.m_normalsBuilt),
      m_normalsBuiltAt(other.m_normalsBuiltAt) {
    LinkExtraNormals();
}

// Assignment exchanges with a copy, so that the counts of changes and the normals worked
// out at them arrive together and the normals of the copy stay current.
Mesh& Mesh::operator=(const Mesh& other) {
    if (this == &other) return *this;
    Mesh copy(other);
    SwapWith(copy);
    return *this;
}

Mesh& Mesh::operator=(Mesh&& other) noexcept {
    if (this == &other) return *this;
    Mesh moved(std::move(other));
    SwapWith(moved);
    return *this;
}

void Mesh::SwapWith(Mesh& other) noexcept {
    specifiedNormals.SwapWith(other.specifiedNormals);
    verts.SwapWith(other.verts);
    faces.SwapWith(other.faces);
    faceNormals.swap(other.faceNormals);
    rVerts.swap(other.rVerts);
    extraNormals.swap(other.extraNormals);
    std::swap(m_normalsBuilt, other.m_normalsBuilt);
    std::swap(m_normalsBuiltAt, other.m_normalsBuiltAt);
}

// The extra normals lie in vertex order, each vertex with more than one normal owning as
// many entries as its count, so the pointers can be rebuilt from the counts alone.
void Mesh::LinkExtraNormals() {
    std::size_t next = 0;
    for (RVertex& rv : rVerts) {
        DWORD count = rv.rFlags & NORCT_MASK;
        bool extra = count > 1 && (rv.rFlags & SPECIFIED_NORMAL) == 0 && next < extraNormals.size();
        rv.ern = extra ? extraNormals.data() + next : nullptr;
        if (extra) next += count;
    }
}

namespace {

// A set of faces around one vertex that are joined through shared smoothing-group bits,
// with their weighted normal sum.
struct SmoothCluster {
    DWORD mask = 0;
    Point3 sum;
    Point3 unweighted;
};

// The face's angle at corner c, in radians; 0 for a degenerate corner.
float CornerAngle(const Mesh& mesh, const Face& face, int c) {
    const Point3& p = mesh.verts[face.v[c]];
    Point3 a = (mesh.verts[face.v[(c + 1) % 3]] - p).Normalize();
    Point3 b = (mesh.verts[face.v[(c + 2) % 3]] - p).Normalize();
    if (a.LengthSquared() == 0.0f || b.LengthSquared() == 0.0f) return 0.0f;
    return std::acos(std::clamp(DotProd(a, b), -1.0f, 1.0f));
}

// Adds one face corner to the vertex's clusters, merging every cluster it links. The
// order of the sums decides the last bit of each normal, so it stays: the new corner's
// term first, then the linked clusters in their order.
void AddToClusters(std::vector<SmoothCluster>& clusters, DWORD mask, const Point3& normal,
                   float angle) {
    SmoothCluster joined{mask, normal * angle, normal};
    for (auto it = clusters.begin(); it != clusters.end();) {
        if (it->mask & mask) {
            joined.mask |= it->mask;
            joined.sum += it->sum;
            joined.unweighted += it->unweighted;
            it = clusters.erase(it);
        } else {
            ++it;
        }
    }
    clusters.push_back(joined);
}

RNormal ClusterNormal(const SmoothCluster& cluster) {
    Point3 n = cluster.sum.LengthSquared() > 0.0f ? cluster.sum : cluster.unweighted;
    return RNormal(n.Normalize(), cluster.mask);
}

// The faces with a smoothing group around each vertex that needs its clusters, in face
// order, as one list with a start per vertex: faces around vertex v are
// faces[start[v]] to faces[start[v + 1] - 1]. A face that names a vertex twice is listed
// once. Vertices with a specified normal need only their groups, so their faces are left out.
struct FacesAroundVertices {
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> faces;
};

// Whether corner c is the first of its face to name its vertex.
bool FirstCornerOfVertex(const Face& face, int c) {
    return (c < 1 || face.v[c] != face.v[0]) && (c < 2 || face.v[c] != face.v[1]);
}

FacesAroundVertices ListFacesAround(const std::vector<Face>& faces,
                                    const std::vector<std::uint8_t>& specified) {
    FacesAroundVertices around;
    around.start.assign(specified.size() + 1, 0);
    auto eachListedCorner = [&](auto&& visit) {
        for (std::size_t f = 0; f < faces.size(); ++f) {
            if (faces[f].smGroup == 0) continue;
            for (int c = 0; c < 3; ++c)
                if (!specified[faces[f].v[c]] && FirstCornerOfVertex(faces[f], c))
                    visit(static_cast<std::uint32_t>(f), faces[f].v[c]);
        }
    };
    eachListedCorner([&](std::uint32_t, DWORD v) { ++around.start[v + 1]; });
    for (std::size_t v = 1; v < around.start.size(); ++v) around.start[v] += around.start[v - 1];
    around.faces.resize(around.start.back());
    std::vector<std::uint32_t> filled(around.start.begin(), around.start.end() - 1);
    eachListedCorner([&](std::uint32_t f, DWORD v) { around.faces[filled[v]++] = f; });
    return around;
}

}  // namespace

bool Mesh::HasSpecifiedNormal(std::size_t v) const {
    return v < specifiedNormals.size() && specifiedNormals[v].LengthSquared() > 0.0f;
}

// Face normals are worked out when first asked for: corners at vertices with a specified
// normal never need theirs, and a mesh whose every vertex has one never holds the list at
// all. A face whose normal is not yet known holds NaN, which a worked out normal never is
// unless the face's own positions are NaN (it is then worked out again, to the same value).
void Mesh::ForgetFaceNormals() {
    faceNormals = std::vector<Point3>();
}

Point3& Mesh::getFaceNormal(int i) {
    if (faceNormals.size() != faces.size()) {
        const float unknown = std::numeric_limits<float>::quiet_NaN();
        faceNormals.assign(faces.size(), Point3(unknown, unknown, unknown));
    }
    Point3& normal = faceNormals[static_cast<std::size_t>(i)];
    if (std::isnan(normal.x)) {
        const Face& face = faces.Items()[static_cast<std::size_t>(i)];
        const std::vector<Point3>& at = verts.Items();
        normal =
            CrossProd(at[face.v[1]] - at[face.v[0]], at[face.v[2]] - at[face.v[0]]).Normalize();
    }
    return normal;
}

// A vertex with a specified normal keeps it, with the groups of every face with a group
// around it: the union of the masks its clusters would have.
void Mesh::BuildSpecifiedNormals(const std::vector<std::uint8_t>& specified) {
    std::vector<DWORD> groups(verts.size(), 0);
    for (const Face& face : faces.Items())
        for (DWORD v : face.v)
            if (specified[v]) groups[v] |= face.smGroup;
    for (std::size_t v = 0; v < verts.size(); ++v) {
        if (!specified[v]) continue;
        rVerts[v].rFlags = SPECIFIED_NORMAL | 1;
        rVerts[v].rn = RNormal(specifiedNormals.Items()[v].Normalize(), groups[v]);
    }
}

void Mesh::BuildSmoothedNormals(const std::vector<std::uint8_t>& specified) {
    // A mesh whose every vertex has a specified normal has nothing to smooth; listing its
    // faces would still visit every corner twice.
    if (std::find(specified.begin(), specified.end(), 0) == specified.end()) return;
    FacesAroundVertices around = ListFacesAround(faces.Items(), specified);
    std::vector<SmoothCluster> clusters;  // one vertex's at a time
    for (std::size_t v = 0; v < verts.size(); ++v) {
        if (specified[v]) continue;
        clusters.clear();
        for (std::uint32_t i = around.start[v]; i < around.start[v + 1]; ++i) {
            const Face& face = faces.Items()[around.faces[i]];
            for (int c = 0; c < 3; ++c)
                if (face.v[c] == v)
                    AddToClusters(clusters, face.smGroup,
                                  getFaceNormal(static_cast<int>(around.faces[i])),
                                  CornerAngle(*this, face, c));
        }
        RVertex& rv = rVerts[v];
        std::size_t count = std::min<std::size_t>(clusters.size(), NORCT_MASK);
        rv.rFlags = static_cast<DWORD>(count);
        if (count == 1) rv.rn = ClusterNormal(clusters.front());
        if (count > 1)
            for (std::size_t i = 0; i < count; ++i)
                extraNormals.push_back(ClusterNormal(clusters[i]));
    }
}

std::uint64_t Mesh::SourceEditCount() const {
    return verts.EditCount() + faces.EditCount() + specifiedNormals.EditCount();
}

// Each vector's count only rises, so their sum equals the one kept only while none changed.
bool Mesh::NormalsCurrent() const {
    return m_normalsBuilt && m_normalsBuiltAt == SourceEditCount();
}

void Mesh::buildNormals() {
    if (NormalsCurrent()) return;
    std::vector<std::uint8_t> specified(verts.size());
    for (std::size_t v = 0; v < verts.size(); ++v) specified[v] = HasSpecifiedNormal(v) ? 1 : 0;
    ForgetFaceNormals();
    rVerts.assign(verts.size(), RVertex());
    extraNormals.clear();
    BuildSpecifiedNormals(specified);
    BuildSmoothedNormals(specified);
    LinkExtraNormals();
    m_normalsBuilt = true;
    m_normalsBuiltAt = SourceEditCount();
}
