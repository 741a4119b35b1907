// Exports small scenes with materials through the whole exporter and reads the Materials,
// material lists, texture names and effect parameters back, with our reader and Assimp.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include "../d3dx/XTestSupport.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"

namespace mattest {

// The default options with animation off, so a file holds frames, meshes and materials.
ExportOptions MaterialOptions();

// What one export wrote and printed.
struct ExportResult {
    int result = 0;
    d3dx::XFileContents contents;
    std::vector<std::string> debugLines;
};
// Exports the scene to `path` (its folder is the output directory) and reads the file back
// with our reader.
ExportResult RunExport(tarvo::scene::SceneData scene, const ExportOptions& options,
                       const std::string& path);

// Scene building.
tarvo::scene::MaterialData StandardMaterial(const std::string& name, Color diffuse);
tarvo::scene::MaterialData MultiMaterial(const std::string& name, std::vector<int> slots);
tarvo::scene::MapSlot BitmapSlot(int slot, const std::string& file, bool enabled = true);
// A node with a mesh of `faceIds.size()` triangles, face i with material id faceIds[i].
tarvo::scene::NodeData MeshNode(const std::string& name, int material,
                                const std::vector<std::uint32_t>& faceIds);

// Payloads.
struct MaterialView {
    std::array<float, 4> face{};
    float power = 0;
    std::array<float, 3> specular{};
    std::array<float, 3> emissive{};
};
MaterialView ReadMaterial(const d3dx::XDataObject& material);
struct MaterialListView {
    std::uint32_t materialCount = 0;
    std::vector<std::uint32_t> faceIndexes;
};
MaterialListView ReadMaterialList(const d3dx::XDataObject& list);
// A string payload (TextureFilename, EffectInstance) without its terminating zero.
std::string ReadString(const d3dx::XDataObject& object);

// Finding objects.
std::vector<const d3dx::XDataObject*> TopLevel(const d3dx::XFileContents& contents,
                                               const std::string& templateName);
std::vector<const d3dx::XDataObject*> AllOf(const d3dx::XFileContents& contents,
                                            const std::string& templateName);
std::vector<const d3dx::XDataObject*> ChildrenOf(const d3dx::XDataObject& object,
                                                 const std::string& templateName);
// The reference names among an object's children, in order.
using xtest::ReferencesOf;
// The MeshMaterialList of the mesh of the named node's frame (the Mesh found under it).
const d3dx::XDataObject* MaterialListOfFrame(const d3dx::XFileContents& contents,
                                             const std::string& frameName);

// The Materials of a list in list order: those it holds inline, and for each reference the
// one top-level Material of that name (null when there is not exactly one).
std::vector<const d3dx::XDataObject*> ListMaterials(const d3dx::XFileContents& contents,
                                                    const d3dx::XDataObject& list);
// The face colour each face of a list gets, through its index and the list's materials.
std::vector<std::array<float, 4>> FaceColours(const d3dx::XFileContents& contents,
                                              const d3dx::XDataObject& list);

std::vector<std::string> LinesStarting(const std::vector<std::string>& lines,
                                       const std::string& prefix);

// A written file as Assimp loads it; scene() is null when it did not load. Assimp 5.2 gives
// a reference at position i of a mesh's material list the file's i-th material instead of
// the one it names, so colours read through references are judged with our reader only.
class AssimpFile {
  public:
    explicit AssimpFile(const std::string& path);
    const aiScene* scene() const { return m_scene; }
    std::string error() const { return m_importer.GetErrorString(); }
    // The diffuse colour of the material of a mesh's faces.
    aiColor4D DiffuseOf(const aiMesh& mesh) const;
    // The diffuse texture name of the material of a mesh's faces; empty for none.
    std::string TextureOf(const aiMesh& mesh) const;

  private:
    Assimp::Importer m_importer;
    const aiScene* m_scene = nullptr;
};

}  // namespace mattest
