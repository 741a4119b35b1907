// The host's own triangle mesh, with the render normals that buildNormals derives from
// smoothing groups.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
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

// A vector that counts the changes made to it, so that what was worked out from it can
// tell whether it is still current. Every non-const access counts as a change, since the
// reference or iterator it hands out may be written through; const access does not. The
// count of one vector only ever rises: assigning other items to it counts as a change,
// never as taking the other vector's count.
template <typename T>
class EditCountedVector {
  public:
    EditCountedVector() = default;
    EditCountedVector(std::initializer_list<T> items) : m_items(items) {}
    EditCountedVector(const EditCountedVector&) = default;
    EditCountedVector(EditCountedVector&&) noexcept = default;
    EditCountedVector& operator=(const EditCountedVector& other) { return Replace(other.m_items); }
    EditCountedVector& operator=(EditCountedVector&& other) noexcept {
        return Replace(std::move(other.m_items));
    }
    EditCountedVector& operator=(std::vector<T> items) { return Replace(std::move(items)); }
    EditCountedVector& operator=(std::initializer_list<T> items) {
        return Replace(std::vector<T>(items));
    }

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    const T& operator[](std::size_t i) const { return m_items[i]; }
    const T* data() const { return m_items.data(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }
    const std::vector<T>& Items() const { return m_items; }

    T& operator[](std::size_t i) { return Edited()[i]; }
    T* data() { return Edited().data(); }
    auto begin() { return Edited().begin(); }
    auto end() { return Edited().end(); }
    void assign(std::size_t n, const T& value) { Edited().assign(n, value); }
    void resize(std::size_t n) { Edited().resize(n); }
    void push_back(const T& value) { Edited().push_back(value); }
    void clear() { Edited().clear(); }

    std::uint64_t EditCount() const { return m_edits; }
    // Exchanges items and counts: for an owner that moves its derived data along.
    void SwapWith(EditCountedVector& other) noexcept {
        m_items.swap(other.m_items);
        std::swap(m_edits, other.m_edits);
    }

  private:
    std::vector<T>& Edited() {
        ++m_edits;
        return m_items;
    }
    EditCountedVector& Replace(std::vector<T> items) {
        Edited() = std::move(items);
        return *this;
    }

    std::vector<T> m_items;
    std::uint64_t m_edits = 0;
};

class Mesh {
  public:
    Mesh() = default;
    Mesh(const Mesh& other);
    Mesh& operator=(const Mesh& other);
    // Moving keeps every vector's buffer, so the ern pointers stay valid without relinking.
    Mesh(Mesh&& other) noexcept = default;
    Mesh& operator=(Mesh&& other) noexcept;

    int getNumVerts() const { return static_cast<int>(verts.size()); }
    int getNumFaces() const { return static_cast<int>(faces.size()); }
    // The non-const forms count as changes to the mesh (see EditCountedVector).
    Point3& getVert(int i) { return verts[static_cast<std::size_t>(i)]; }
    const Point3& getVert(int i) const { return verts[static_cast<std::size_t>(i)]; }
    Face& getFace(int i) { return faces[static_cast<std::size_t>(i)]; }
    const Face& getFace(int i) const { return faces[static_cast<std::size_t>(i)]; }
    MtlID getFaceMtlIndex(int i) const { return faces[static_cast<std::size_t>(i)].getMatID(); }

    // Works out face normals and render normals. A vertex gets one normal per set of faces
    // around it that are linked through shared smoothing-group bits; each normal is the
    // average of the faces' normals weighted by the face's angle at the vertex, so that
    // how a surface is split into triangles does not tilt it. Faces with no smoothing
    // group take no part (their corners use the face normal). A vertex that a specified
    // normal was given for gets that normal and the SPECIFIED_NORMAL bit.
    //
    // Several callers prepare the same mesh (the host, then each exporter reading it), so
    // normals that are still current are kept: nothing is done when neither the vertices,
    // the faces nor the specified normals were changed (or accessed for writing) since
    // the last build. A reference to a vertex or face taken before that build and written
    // through after it is not seen; InvalidateGeomCache says so.
    void buildNormals();
    // Forgets the normals, so that the next buildNormals works them out again.
    void InvalidateGeomCache() { m_normalsBuilt = false; }
    Point3& getFaceNormal(int i);
    RVertex& getRVert(int i) { return rVerts[static_cast<std::size_t>(i)]; }

    // Specified per-vertex normals: when not empty, one per vertex, with a zero vector for
    // a vertex without one.
    EditCountedVector<Point3> specifiedNormals;

    EditCountedVector<Point3> verts;
    EditCountedVector<Face> faces;

  private:
    // Every change to what the normals are worked out from raises this.
    std::uint64_t SourceEditCount() const;
    bool NormalsCurrent() const;
    void SwapWith(Mesh& other) noexcept;
    bool HasSpecifiedNormal(std::size_t v) const;
    void ForgetFaceNormals();
    void BuildSpecifiedNormals(const std::vector<std::uint8_t>& specified);
    void BuildSmoothedNormals(const std::vector<std::uint8_t>& specified);
    void LinkExtraNormals();

    std::vector<Point3> faceNormals;
    std::vector<RVertex> rVerts;
    std::vector<RNormal> extraNormals;  // the ern lists of all vertices, in vertex order
    bool m_normalsBuilt = false;
    std::uint64_t m_normalsBuiltAt = 0;  // SourceEditCount when they were built
};
