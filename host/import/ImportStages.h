// The steps of one import, in the order AssimpImport.cpp runs them, and the conversions they
// share. Internal to the importer.
#pragma once

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <string>
#include <vector>

#include "host/import/AssimpImport.h"
#include "host/import/ImportContext.h"
#include "platform/max/SceneData.h"

namespace tarvo::assimpimport {

// What Assimp does to the file before the steps see it. Polygons become triangles, the
// host's only face. Lines and points are sorted into meshes of their own so that they can be
// counted and left out whole. Vertices that agree in every attribute are joined, as the
// source most likely meant them. Normals are not made up: a source without them is smoothed
// by the host, as a new mesh is.
inline constexpr unsigned kPostProcessing = aiProcess_Triangulate |
                                            aiProcess_JoinIdenticalVertices |
                                            aiProcess_SortByPType | aiProcess_ValidateDataStructure;

// ---- Text (ImportText.cpp) ----

// A source name as UTF-8, the scene records' encoding. Readers hand on the bytes of the file,
// and older files (OBJ and MTL in particular) hold names in Latin-1: a name that is not valid
// UTF-8 is read as Latin-1, so every byte keeps a character instead of the name being lost.
std::string TextOf(const aiString& text);

// ---- Axes and placements (ImportAxes.cpp) ----

// The turn that takes the source's axes to the host's (z up, right-handed), as a matrix for
// column vectors. Sources that say nothing of their axes are y up, as Assimp hands them out.
aiMatrix4x4 AxisChangeToHost(const aiScene& source);

// The host's placement of an affine source matrix (column vectors, translation in the last
// column). A shear has no place in a placement and is lost.
scene::Placement PlacementOf(const aiMatrix4x4& matrix);

// The host's quaternion for the same rotation (the host turns row vectors).
Quat HostRotation(const aiQuaternion& rotation);

// ---- Materials (ImportMaterials.cpp) ----

// Where images embedded in the source go: "<directory>/<stem>_<index>.<extension>".
struct ImageNaming {
    std::string directory;        // absolute: the output file's directory
    std::string stem;             // the output file's name without its extension
    std::string sourceDirectory;  // relative texture paths of the source are found here
};

// The host material of each source material (-1 for one no mesh uses: a reader's default
// material that nothing needs is not made).
using MaterialMap = std::vector<int>;

// One standard material per source material that a mesh uses, in the source's order.
// Embedded images in a diffuse slot go to report.images.
MaterialMap ImportMaterials(ImportContext& ctx, const ImageNaming& naming, ImportReport& report);

// ---- Nodes and meshes (ImportNodes.cpp) ----

// The node tree, parents first, with each node's meshes as one host mesh (and a
// multi-material when the meshes are more than one). Needs the materials.
void ImportNodes(ImportContext& ctx, const MaterialMap& materials);

}  // namespace tarvo::assimpimport
