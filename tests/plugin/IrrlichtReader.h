// Irrlicht 1.8 reading a .X file, kept in a unit of its own: its headers predate C++20.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace irrlichttest {

// Every mesh vertex in world space as Irrlicht places it (the written, left-handed axes):
// each mesh buffer carries the global matrix of the frame it hangs in. Empty when the file
// does not load.
std::vector<std::array<float, 3>> WorldVertices(const std::string& path);

}  // namespace irrlichttest
