// Exports small scenes through the whole exporter and reads the Mesh back with our reader;
// decodes the payloads of the Mesh and its children.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include "../d3dx/XTestSupport.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"

namespace meshtest {

// The default options with animation off, so a file holds frames and meshes only.
ExportOptions MeshOptions();

// Runs one export of a scene and keeps what it wrote and printed.
class ExportRun {
  public:
    ExportRun(tarvo::scene::SceneData scene, const ExportOptions& options);
    ~ExportRun();

    const d3dx::XFileContents& Contents() const { return m_contents; }
    const std::string& Path() const { return m_path; }
    const std::vector<std::string>& DebugLines() const { return m_lines; }
    // Every progress update as "percent title", percent shown or not.
    const std::vector<std::string>& ProgressUpdates() const { return m_progress; }
    // The Meshes of the file in file order, found anywhere in the tree.
    std::vector<const d3dx::XDataObject*> Meshes() const;
    // The only Mesh; fails the test when there is not exactly one.
    const d3dx::XDataObject& OnlyMesh() const;

  private:
    tarvo::testsupport::TempDir m_dir;
    std::string m_path;
    d3dx::XFileContents m_contents;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_progress;
};

// A scene of one mesh node.
tarvo::scene::SceneData OneMeshScene(const tarvo::scene::MeshData& mesh, const char* name = "Box");

// Reads the payloads.
struct Vec3 {
    float x, y, z;
    friend bool operator==(const Vec3&, const Vec3&) = default;
};
struct MeshPayloadView {
    std::vector<Vec3> vertices;
    std::vector<std::array<std::uint32_t, 3>> faces;
};
struct NormalsPayloadView {
    std::vector<Vec3> normals;
    std::vector<std::array<std::uint32_t, 3>> faces;
};
struct ColorEntry {
    std::uint32_t index;
    float r, g, b, a;
};
struct FvfView {
    std::uint32_t fvf = 0;
    std::vector<float> data;
};

MeshPayloadView ReadMesh(const d3dx::XDataObject& mesh);
NormalsPayloadView ReadNormals(const d3dx::XDataObject& normals);
std::vector<std::array<float, 2>> ReadTextureCoords(const d3dx::XDataObject& coords);
std::vector<ColorEntry> ReadColors(const d3dx::XDataObject& colors);
FvfView ReadFvf(const d3dx::XDataObject& fvf);

// A written file as Assimp, an independent .X reader, loads it. Assimp makes the data
// right-handed (z negated, every face wound the other way), gives every face corner a
// vertex of its own and skips data objects it does not know, FVFData among them.
class AssimpReadBack {
  public:
    explicit AssimpReadBack(const std::string& path);
    // The only mesh; fails the test when the file did not load or holds another count.
    const aiMesh& OnlyMesh() const;

  private:
    Assimp::Importer m_importer;
    const aiScene* m_scene = nullptr;
};

// The child of a Mesh with the template name; null when there is none.
const d3dx::XDataObject* ChildOf(const d3dx::XDataObject& object, const std::string& templateName);
std::vector<std::string> ChildTemplates(const d3dx::XDataObject& object);

// Debug lines that begin with the prefix.
std::vector<std::string> LinesStarting(const std::vector<std::string>& lines,
                                       const std::string& prefix);

}  // namespace meshtest
