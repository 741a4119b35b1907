// Small source files for the import tests, written by the tests themselves: OBJ with its
// MTL, Collada and glTF with its buffer and image inside the JSON.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::importtest {

namespace fs = std::filesystem;

// A 2 × 2 BMP image (red, green, blue, white), as an image file inside a source.
std::vector<std::uint8_t> TinyBmp();

// "Box" with two triangles in material "Red" (diffuse texture brick.png, specular 0.5,
// exponent 16) and one in "Blue" (half transparent), and one line. Returns the .obj path.
fs::path WriteTwoMaterialObj(const fs::path& dir);

// Y up: "Parent" at (1, 2, 3) turned 90 degrees about y, "Child" under it at (0, 0, 5)
// scaled by 2, "Parent" again as a second top-level node; each holds the triangle (0, 0, 0),
// (1, 0, 0), (0, 1, 0). Returns the .dae path.
fs::path WriteColladaHierarchy(const fs::path& dir);

// "Tri" at (1, 2, 3) with a triangle that has normals (0, 0, 1), two UV sets, vertex colours
// and a material whose base-colour texture is TinyBmp() inside the file; "Cam" a camera,
// "Lamp" a point light, "Dots" a mesh of three points. Returns the .gltf path.
fs::path WriteGltf(const fs::path& dir);

}  // namespace tarvo::importtest
