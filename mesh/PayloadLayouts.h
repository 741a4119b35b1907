// The array elements of the mesh payloads as their templates lay them out, so that a
// writer reserves its payload from the layouts and never from sizes counted by hand.
#pragma once

#include <cstddef>
#include <cstdint>

struct PackedVector {  // Vector
    float x, y, z;
};
struct PackedTriangle {  // MeshFace with three indices
    std::uint32_t indexCount;
    std::uint32_t index[3];
};
struct PackedCoords2d {  // Coords2d
    float u, v;
};
struct PackedIndexedColor {  // IndexedColor: an index and a ColorRGBA
    std::uint32_t index;
    float red, green, blue, alpha;
};
static_assert(sizeof(PackedVector) == 12);
static_assert(sizeof(PackedTriangle) == 16);
static_assert(sizeof(PackedCoords2d) == 8);
static_assert(sizeof(PackedIndexedColor) == 20);

// A DWORD count followed by `count` elements.
template <typename Element>
constexpr std::size_t CountedArrayBytes(std::size_t count) {
    return sizeof(std::uint32_t) + count * sizeof(Element);
}
