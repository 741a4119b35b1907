// The stand-in host SDK in one include: maths, the core interface, nodes, meshes,
// materials, bitmaps, IGame and the plug-in classes.
#pragma once

#include "platform/max/Bitmap.h"
#include "platform/max/IGame.h"
#include "platform/max/Interface.h"
#include "platform/max/Materials.h"
#include "platform/max/MaxMath.h"
#include "platform/max/MaxTypes.h"
#include "platform/max/Mesh.h"
#include "platform/max/Node.h"
#include "platform/max/Plugin.h"
