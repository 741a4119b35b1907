#include "platform/max/Mesh.h"

#include <algorithm>
#include <cmath>

Mesh::Mesh(const Mesh& other)
    : specifiedNormals(other.specifiedNormals),
      verts(other.verts),
      faces(other.faces),
      faceNormals(other.faceNormals),
      rVerts(other.rVerts),
      extraNormals(other.extraNormals) {
    LinkExtraNormals();
}

Mesh& Mesh::operator=(const Mesh& other) {
    if (this == &other) return *this;
    specifiedNormals = other.specifiedNormals;
    verts = other.verts;
    faces = other.faces;
    faceNormals = other.faceNormals;
    rVerts = other.rVerts;
    extraNormals = other.extraNormals;
    LinkExtraNormals();
    return *this;
}

void Mesh::LinkExtraNormals() {
    for (std::size_t v = 0; v < rVerts.size(); ++v)
        rVerts[v].ern =
            v < extraNormals.size() && !extraNormals[v].empty() ? extraNormals[v].data() : nullptr;
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

// Adds one face corner to the vertex's clusters, merging every cluster it links.
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

}  // namespace

void Mesh::buildNormals() {
    const std::size_t vertexCount = verts.size();
    faceNormals.assign(faces.size(), Point3());
    std::vector<std::vector<SmoothCluster>> clusters(vertexCount);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const Face& face = faces[f];
        faceNormals[f] =
            CrossProd(verts[face.v[1]] - verts[face.v[0]], verts[face.v[2]] - verts[face.v[0]])
                .Normalize();
        if (face.smGroup == 0) continue;
        for (int c = 0; c < 3; ++c)
            AddToClusters(clusters[face.v[c]], face.smGroup, faceNormals[f],
                          CornerAngle(*this, face, c));
    }

    rVerts.assign(vertexCount, RVertex());
    extraNormals.assign(vertexCount, {});
    for (std::size_t v = 0; v < vertexCount; ++v) {
        RVertex& rv = rVerts[v];
        const auto& around = clusters[v];
        if (v < specifiedNormals.size() && specifiedNormals[v].LengthSquared() > 0.0f) {
            DWORD mask = 0;
            for (const auto& cluster : around) mask |= cluster.mask;
            rv.rFlags = SPECIFIED_NORMAL | 1;
            rv.rn = RNormal(specifiedNormals[v].Normalize(), mask);
            continue;
        }
        rv.rFlags = static_cast<DWORD>(std::min<std::size_t>(around.size(), NORCT_MASK));
        if (around.size() == 1) rv.rn = ClusterNormal(around.front());
        if (around.size() > 1)
            for (std::size_t i = 0; i < std::min<std::size_t>(around.size(), NORCT_MASK); ++i)
                extraNormals[v].push_back(ClusterNormal(around[i]));
    }
    LinkExtraNormals();
}
