// Small scenes for the host tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/max/SceneData.h"

namespace tarvo::testscenes {

// A cube from -1 to 1: 8 vertices, 12 faces, two per side, wound outwards. Side s holds
// faces 2s and 2s + 1, in the order bottom, top, front (-y), back (+y), left (-x), right.
inline scene::MeshData Box() {
    scene::MeshData mesh;
    mesh.vertices = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                     {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    const std::uint32_t faces[12][3] = {{0, 3, 2}, {0, 2, 1}, {4, 5, 6}, {4, 6, 7},
                                        {0, 1, 5}, {0, 5, 4}, {3, 7, 6}, {3, 6, 2},
                                        {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
    for (const auto& f : faces) {
        scene::FaceData face;
        face.v[0] = f[0], face.v[1] = f[1], face.v[2] = f[2];
        mesh.faces.push_back(face);
    }
    return mesh;
}

inline const std::array<Point3, 6> kBoxSideNormals = {Point3(0, 0, -1), Point3(0, 0, 1),
                                                      Point3(0, -1, 0), Point3(0, 1, 0),
                                                      Point3(-1, 0, 0), Point3(1, 0, 0)};

inline scene::NodeData MeshNode(const char* name, scene::MeshData mesh, int parent = -1) {
    scene::NodeData node;
    node.name = name;
    node.parent = parent;
    node.object = scene::ObjectKind::Mesh;
    node.mesh = std::move(mesh);
    return node;
}

inline scene::NodeData PlainNode(const char* name, scene::ObjectKind kind, int parent = -1) {
    scene::NodeData node;
    node.name = name;
    node.parent = parent;
    node.object = kind;
    return node;
}

// A node of `kind` under the node with index `parent` (-1: the top level), moved by
// `position`. A mesh node holds one triangle a unit above its origin, so that where a reader
// places it shows in every axis.
inline scene::NodeData MakeNode(const std::string& name, int parent, scene::ObjectKind kind,
                                Point3 position = Point3(0, 0, 0)) {
    scene::NodeData node;
    node.name = name;
    node.parent = parent;
    node.object = kind;
    node.transform.position = position;
    if (kind == scene::ObjectKind::Mesh) {
        node.mesh.vertices = {Point3(0, 0, 1), Point3(1, 0, 1), Point3(0, 1, 1)};
        node.mesh.faces.push_back({{0, 1, 2}, 1, 0});
    }
    return node;
}

}  // namespace tarvo::testscenes
