// The host's own triangle mesh, with the render normals that buildNormals derives from
// smoothing groups.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/max/MaxMath.h"
#include "platform/max/MaxTypes.h"

// A face: three vertex indices, the smoothing-group mask, and the material id kept in the
// top 16 bits of flags.
class Face {
  public:
    DWORD v[3] = {0, 0, 0};
    DWORD smGroup = 0;
    DWORD flags = 0;
    MtlID getMatID() const { return static_cast<MtlID>(flags >> 16); }
    void setMatID(MtlID id) { flags = (flags & 0xFFFF) | (static_cast<DWORD>(id) << 16); }
    DWORD getSmGroup() const { return smGroup; }
    void setSmGroup(DWORD g) { smGroup = g; }
    DWORD getVert(int i) const { return v[i]; }
};

// A render normal and the smoothing groups of the faces it was averaged over.
class RNormal {
  public:
    RNormal() = default;
    RNormal(const Point3& n, DWORD smGroup) : m_normal(n), m_smGroup(smGroup) {}
    const Point3& getNormal() const { return m_normal; }
    void setNormal(const Point3& n) { m_normal = n; }
    DWORD getSmGroup() const { return m_smGroup; }
    void setSmGroup(DWORD g) { m_smGroup = g; }

  private:
    Point3 m_normal;
    DWORD m_smGroup = 0;
};

constexpr DWORD NORCT_MASK = 0x000000FF;        // the vertex's normal count
constexpr DWORD SPECIFIED_NORMAL = 0x00004000;  // rn holds a normal set by the user

// The render normals of one vertex. With a count of 1 (or the specified bit) the normal is
// rn; with more, ern points at that many normals, one per group of smoothing groups.
class RVertex {
  public:
    DWORD rFlags = 0;
    RNormal rn;
    RNormal* ern = nullptr;
};

class Mesh {
  public:
    Mesh() = default;
    Mesh(const Mesh& other);
    Mesh& operator=(const Mesh& other);
    // Moving keeps every vector's buffer, so the ern pointers stay valid without relinking.
    Mesh(Mesh&&) noexcept = default;
    Mesh& operator=(Mesh&&) noexcept = default;

    int getNumVerts() const { return static_cast<int>(verts.size()); }
    int getNumFaces() const { return static_cast<int>(faces.size()); }
    Point3& getVert(int i) { return verts[static_cast<std::size_t>(i)]; }
    Face& getFace(int i) { return faces[static_cast<std::size_t>(i)]; }
    MtlID getFaceMtlIndex(int i) const { return faces[static_cast<std::size_t>(i)].getMatID(); }

    // Works out face normals and render normals. A vertex gets one normal per set of faces
    // around it that are linked through shared smoothing-group bits; each normal is the
    // average of the faces' normals weighted by the face's angle at the vertex, so that
    // how a surface is split into triangles does not tilt it. Faces with no smoothing
    // group take no part (their corners use the face normal). A vertex that a specified
    // normal was given for gets that normal and the SPECIFIED_NORMAL bit.
    void buildNormals();
    Point3& getFaceNormal(int i);
    RVertex& getRVert(int i) { return rVerts[static_cast<std::size_t>(i)]; }

    // Specified per-vertex normals: when not empty, one per vertex, with a zero vector for
    // a vertex without one.
    std::vector<Point3> specifiedNormals;

    std::vector<Point3> verts;
    std::vector<Face> faces;

  private:
    bool HasSpecifiedNormal(std::size_t v) const;
    void ForgetFaceNormals();
    void BuildSpecifiedNormals(const std::vector<std::uint8_t>& specified);
    void BuildSmoothedNormals(const std::vector<std::uint8_t>& specified);
    void LinkExtraNormals();

    std::vector<Point3> faceNormals;
    std::vector<RVertex> rVerts;
    std::vector<RNormal> extraNormals;  // the ern lists of all vertices, in vertex order
};
