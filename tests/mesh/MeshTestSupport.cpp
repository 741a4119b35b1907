#include "MeshTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "settings/Settings.h"

namespace meshtest {

namespace {

using xtest::PayloadReader;

Vec3 ReadVector(PayloadReader& in) {
    Vec3 v;
    v.x = in.Float(), v.y = in.Float(), v.z = in.Float();
    return v;
}

// A MeshFace of a triangle: its corner count, then the three indices.
std::array<std::uint32_t, 3> ReadTriangle(PayloadReader& in) {
    EXPECT_EQ(in.Dword(), 3u) << "face corner count";
    std::array<std::uint32_t, 3> t;
    for (auto& i : t) i = in.Dword();
    return t;
}

}  // namespace

ExportOptions MeshOptions() {
    ExportOptions options;
    options.exportAnimation = 0;
    return options;
}

ExportRun::ExportRun(tarvo::scene::SceneData sceneData, const ExportOptions& options) {
    HostScene scene(std::move(sceneData));
    Interface host(&scene);
    host.SetPlugCfgDir(m_dir.File(""));
    EXPECT_TRUE(SaveSettings(options, host));
    ProgressSink progress;
    progress.update = [this](int percent, bool showPercent, const std::string& title) {
        m_progress.push_back(std::to_string(percent) + (showPercent ? "% " : " ") + title);
    };
    host.SetProgressSink(progress);
    std::string debug;
    SetDebugPrintSink([&debug](const std::string& text) { debug += text; });
    m_path = m_dir.File("mesh.x");
    TarvoDirectXMaxExporter exporter;
    int result = exporter.DoExport(m_path.c_str(), nullptr, &host, TRUE, 0);
    SetDebugPrintSink(nullptr);
    EXPECT_EQ(result, 1);
    m_lines = xtest::SplitLines(debug);
    m_contents = xtest::ReadBack(m_path);
}

ExportRun::~ExportRun() = default;

std::vector<const d3dx::XDataObject*> ExportRun::Meshes() const {
    return xtest::FindAll(m_contents, "Mesh");
}

const d3dx::XDataObject& ExportRun::OnlyMesh() const {
    auto meshes = Meshes();
    EXPECT_EQ(meshes.size(), 1u);
    if (meshes.empty()) throw std::runtime_error("no mesh written");
    return *meshes.front();
}

tarvo::scene::SceneData OneMeshScene(const tarvo::scene::MeshData& mesh, const char* name) {
    tarvo::scene::SceneData scene;
    tarvo::scene::NodeData node;
    node.name = name;
    node.object = tarvo::scene::ObjectKind::Mesh;
    node.mesh = mesh;
    scene.nodes.push_back(node);
    return scene;
}

MeshPayloadView ReadMesh(const d3dx::XDataObject& mesh) {
    PayloadReader in(mesh.payload);
    MeshPayloadView view;
    view.vertices.resize(in.Dword());
    for (auto& v : view.vertices) v = ReadVector(in);
    view.faces.resize(in.Dword());
    for (auto& f : view.faces) f = ReadTriangle(in);
    EXPECT_TRUE(in.AtEnd());
    return view;
}

NormalsPayloadView ReadNormals(const d3dx::XDataObject& normals) {
    PayloadReader in(normals.payload);
    NormalsPayloadView view;
    view.normals.resize(in.Dword());
    for (auto& n : view.normals) n = ReadVector(in);
    view.faces.resize(in.Dword());
    for (auto& f : view.faces) f = ReadTriangle(in);
    EXPECT_TRUE(in.AtEnd());
    return view;
}

std::vector<std::array<float, 2>> ReadTextureCoords(const d3dx::XDataObject& coords) {
    PayloadReader in(coords.payload);
    std::vector<std::array<float, 2>> uvs(in.Dword());
    for (auto& uv : uvs) uv[0] = in.Float(), uv[1] = in.Float();
    EXPECT_TRUE(in.AtEnd());
    return uvs;
}

std::vector<ColorEntry> ReadColors(const d3dx::XDataObject& colors) {
    PayloadReader in(colors.payload);
    std::vector<ColorEntry> entries(in.Dword());
    for (auto& e : entries) {
        e.index = in.Dword();
        e.r = in.Float(), e.g = in.Float(), e.b = in.Float(), e.a = in.Float();
    }
    EXPECT_TRUE(in.AtEnd());
    return entries;
}

FvfView ReadFvf(const d3dx::XDataObject& fvf) {
    PayloadReader in(fvf.payload);
    FvfView view;
    view.fvf = in.Dword();
    view.data.resize(in.Dword());
    for (auto& d : view.data) d = in.Float();
    EXPECT_TRUE(in.AtEnd());
    return view;
}

AssimpReadBack::AssimpReadBack(const std::string& path) : m_scene(m_importer.ReadFile(path, 0)) {}

const aiMesh& AssimpReadBack::OnlyMesh() const {
    if (m_scene == nullptr) throw std::runtime_error(m_importer.GetErrorString());
    EXPECT_EQ(m_scene->mNumMeshes, 1u);
    if (m_scene->mNumMeshes == 0) throw std::runtime_error("Assimp found no mesh");
    return *m_scene->mMeshes[0];
}

const d3dx::XDataObject* ChildOf(const d3dx::XDataObject& object, const std::string& templateName) {
    for (const auto& child : object.children)
        if (!child.IsReference() && child.object->templateName == templateName)
            return child.object.get();
    return nullptr;
}

std::vector<std::string> ChildTemplates(const d3dx::XDataObject& object) {
    std::vector<std::string> names;
    for (const auto& child : object.children)
        names.push_back(child.IsReference() ? "{" + child.referenceName + "}"
                                            : child.object->templateName);
    return names;
}

std::vector<std::string> LinesStarting(const std::vector<std::string>& lines,
                                       const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& line : lines)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

}  // namespace meshtest
