// Names shared by the scene-file reader and writer, so that both spell every key and
// every enumeration the same way.
#pragma once

#include <array>
#include <string_view>

#include "platform/max/ParamTypes.h"
#include "platform/max/SceneData.h"

namespace tarvo::scenefile::format {

inline constexpr std::string_view kFormat = "tarvo-scene";
inline constexpr int kVersion = 1;

// How deep nodes may be nested, a top-level node being one level deep. The host and the
// exporter walk trees of any depth without recursion; the limit keeps what one file may ask
// of them (and the length of its error messages' JSON pointers) within reason.
inline constexpr int kMaxNodeDepth = 10000;

struct ObjectKindName {
    scene::ObjectKind kind;
    std::string_view name;
};
inline constexpr std::array<ObjectKindName, 7> kObjectKinds{{
    {scene::ObjectKind::None, "none"},
    {scene::ObjectKind::Mesh, "mesh"},
    {scene::ObjectKind::Helper, "helper"},
    {scene::ObjectKind::Camera, "camera"},
    {scene::ObjectKind::Light, "light"},
    {scene::ObjectKind::Shape, "shape"},
    {scene::ObjectKind::Target, "target"},
}};

struct MaterialKindName {
    scene::MaterialKind kind;
    std::string_view name;
};
inline constexpr std::array<MaterialKindName, 4> kMaterialKinds{{
    {scene::MaterialKind::Standard, "standard"},
    {scene::MaterialKind::Multi, "multi"},
    {scene::MaterialKind::Shader, "shader"},
    {scene::MaterialKind::Other, "other"},
}};

struct ModifierKindName {
    scene::ModifierKind kind;
    std::string_view name;
};
inline constexpr std::array<ModifierKindName, 3> kModifierKinds{{
    {scene::ModifierKind::Skin, "skin"},
    {scene::ModifierKind::Physique, "physique"},
    {scene::ModifierKind::Other, "other"},
}};

struct ParamTypeName {
    ParamType2 code;
    std::string_view name;
    int values;  // numbers in the value: 1 for a number, 3 or 4 for a vector, 0 for text
};
inline constexpr std::array<ParamTypeName, 10> kParamTypes{{
    {TYPE_FLOAT, "float", 1},
    {TYPE_INT, "int", 1},
    {TYPE_RGBA, "rgba", 4},
    {TYPE_POINT3, "point3", 3},
    {TYPE_BOOL, "bool", 1},
    {TYPE_STRING, "string", 0},
    {TYPE_FILENAME, "filename", 0},
    {TYPE_BITMAP, "bitmap", 0},
    {TYPE_POINT4, "point4", 4},
    {TYPE_FRGBA, "frgba", 4},
}};

inline const ParamTypeName* FindParamType(int code) {
    for (const auto& type : kParamTypes)
        if (type.code == code) return &type;
    return nullptr;
}

}  // namespace tarvo::scenefile::format
