// A skinned, animated two-bone arm as a glTF file with its buffer and texture inside, the
// source of the skin and animation import tests and of examples/arm.gltf.
//
// Y up. "Arm" holds a square column 4 high over the origin (rings of four vertices at
// heights 0, 2 and 4: vertices 0-3, 4-7, 8-11) skinned to "UpperArm" (at the origin) and
// its child "LowerArm" (2 up, standing turned 30 degrees about z while bound straight): the
// bottom ring wholly to UpperArm, the middle ring half and half, the top ring to LowerArm.
// Animation "Wave" turns LowerArm about z through 45, 90 and 45 degrees at 0, 1 and 2
// seconds (so neither its rest nor its pose at time 0 is the bind pose); "Lift" moves UpperArm from
// the origin to (0, 1, 0) and turns it 45 degrees about x in half a second. The material "ArmSkin"
// has a 2 × 2 PNG as its base colour.
#pragma once

#include <array>
#include <string>

namespace tarvo::importtest {

inline constexpr float kArmHalfWidth = 0.25f;
inline constexpr int kArmVertices = 12;
inline constexpr float kArmLowerArmRestDegrees = 30.0f;

// The source position of arm vertex i (y up).
std::array<float, 3> ArmVertex(int vertex);

// The whole .gltf text; the same every time.
std::string ArmGltfText();

}  // namespace tarvo::importtest
