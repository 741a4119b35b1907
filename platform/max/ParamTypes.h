// Parameter types of a parameter block, with the host's type codes. Scene files store the
// codes, so their reader and writer use these names without the material classes.
#pragma once

using ParamType2 = int;
constexpr ParamType2 TYPE_FLOAT = 0;
constexpr ParamType2 TYPE_INT = 1;
constexpr ParamType2 TYPE_RGBA = 2;
constexpr ParamType2 TYPE_POINT3 = 3;
constexpr ParamType2 TYPE_BOOL = 4;
constexpr ParamType2 TYPE_STRING = 8;
constexpr ParamType2 TYPE_FILENAME = 9;
constexpr ParamType2 TYPE_BITMAP = 16;
constexpr ParamType2 TYPE_POINT4 = 22;
constexpr ParamType2 TYPE_FRGBA = 23;
