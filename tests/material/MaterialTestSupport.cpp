#include "MaterialTestSupport.h"

#include <gtest/gtest.h>

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <cstring>

#include "settings/Settings.h"

namespace mattest {

namespace {

using xtest::PayloadReader;

const d3dx::XDataObject* FindNamed(const d3dx::XDataObject& object, const std::string& name,
                                   const std::string& templateName) {
    if (object.templateName == templateName && object.name == name) return &object;
    for (const auto& child : object.children) {
        if (child.IsReference()) continue;
        if (const auto* found = FindNamed(*child.object, name, templateName)) return found;
    }
    return nullptr;
}

}  // namespace

ExportOptions MaterialOptions() {
    ExportOptions options;
    options.exportAnimation = 0;
    return options;
}

ExportResult RunExport(tarvo::scene::SceneData sceneData, const ExportOptions& options,
                       const std::string& path) {
    tarvo::testsupport::TempDir config("tarvo-material-cfg");
    HostScene scene(std::move(sceneData));
    Interface host(&scene);
    host.SetPlugCfgDir(config.File(""));
    EXPECT_TRUE(SaveSettings(options, host));
    std::string debug;
    SetDebugPrintSink([&debug](const std::string& text) { debug += text; });
    ExportResult result;
    TarvoDirectXMaxExporter exporter;
    result.result = exporter.DoExport(path.c_str(), nullptr, &host, TRUE, 0);
    SetDebugPrintSink(nullptr);
    result.debugLines = xtest::SplitLines(debug);
    if (result.result == 1) result.contents = xtest::ReadBack(path);
    return result;
}

tarvo::scene::MaterialData StandardMaterial(const std::string& name, Color diffuse) {
    tarvo::scene::MaterialData material;
    material.kind = tarvo::scene::MaterialKind::Standard;
    material.name = name;
    material.diffuse = diffuse;
    return material;
}

tarvo::scene::MaterialData MultiMaterial(const std::string& name, std::vector<int> slots) {
    tarvo::scene::MaterialData material;
    material.kind = tarvo::scene::MaterialKind::Multi;
    material.name = name;
    material.subMaterials = std::move(slots);
    return material;
}

tarvo::scene::MapSlot BitmapSlot(int slot, const std::string& file, bool enabled) {
    tarvo::scene::MapSlot map;
    map.slot = slot;
    map.enabled = enabled;
    map.map.kind = tarvo::scene::TexmapKind::Bitmap;
    map.map.name = "Map";
    map.map.file = file;
    return map;
}

tarvo::scene::NodeData MeshNode(const std::string& name, int material,
                                const std::vector<std::uint32_t>& faceIds) {
    tarvo::scene::NodeData node;
    node.name = name;
    node.material = material;
    node.object = tarvo::scene::ObjectKind::Mesh;
    // Face i lies at x = 10 i, so a reader's vertices tell which face they came from.
    for (std::size_t i = 0; i < faceIds.size(); ++i) {
        const float x = 10.0f * static_cast<float>(i);
        const auto first = static_cast<std::uint32_t>(node.mesh.vertices.size());
        node.mesh.vertices.push_back(Point3(x, 0, 0));
        node.mesh.vertices.push_back(Point3(x + 1, 0, 0));
        node.mesh.vertices.push_back(Point3(x, 1, 0));
        tarvo::scene::FaceData face;
        face.v[0] = first, face.v[1] = first + 1, face.v[2] = first + 2;
        face.smGroup = 1;
        face.matId = faceIds[i];
        node.mesh.faces.push_back(face);
    }
    return node;
}

MaterialView ReadMaterial(const d3dx::XDataObject& material) {
    PayloadReader in(material.payload);
    MaterialView view;
    for (float& c : view.face) c = in.Float();
    view.power = in.Float();
    for (float& c : view.specular) c = in.Float();
    for (float& c : view.emissive) c = in.Float();
    EXPECT_TRUE(in.AtEnd()) << "Material payload longer than 44 bytes";
    return view;
}

MaterialListView ReadMaterialList(const d3dx::XDataObject& list) {
    PayloadReader in(list.payload);
    MaterialListView view;
    view.materialCount = in.Dword();
    view.faceIndexes.resize(in.Dword());
    for (auto& index : view.faceIndexes) index = in.Dword();
    EXPECT_TRUE(in.AtEnd());
    return view;
}

std::string ReadString(const d3dx::XDataObject& object) {
    const auto& bytes = object.payload;
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.empty() ? 0 : bytes.back(), 0) << "string payload ends in its zero";
    return std::string(bytes.begin(), std::find(bytes.begin(), bytes.end(), 0));
}

std::vector<const d3dx::XDataObject*> TopLevel(const d3dx::XFileContents& contents,
                                               const std::string& templateName) {
    std::vector<const d3dx::XDataObject*> found;
    for (const auto& object : contents.objects)
        if (object.templateName == templateName) found.push_back(&object);
    return found;
}

std::vector<const d3dx::XDataObject*> AllOf(const d3dx::XFileContents& contents,
                                            const std::string& templateName) {
    return xtest::FindAll(contents, templateName);
}

std::vector<const d3dx::XDataObject*> ChildrenOf(const d3dx::XDataObject& object,
                                                 const std::string& templateName) {
    std::vector<const d3dx::XDataObject*> found;
    for (const auto& child : object.children)
        if (!child.IsReference() && child.object->templateName == templateName)
            found.push_back(child.object.get());
    return found;
}

const d3dx::XDataObject* MaterialListOfFrame(const d3dx::XFileContents& contents,
                                             const std::string& frameName) {
    for (const auto& object : contents.objects) {
        const auto* frame = FindNamed(object, frameName, "Frame");
        if (frame == nullptr) continue;
        std::vector<const d3dx::XDataObject*> lists = xtest::FindAllIn(*frame, "MeshMaterialList");
        return lists.empty() ? nullptr : lists.front();
    }
    return nullptr;
}

std::vector<const d3dx::XDataObject*> ListMaterials(const d3dx::XFileContents& contents,
                                                    const d3dx::XDataObject& list) {
    std::vector<const d3dx::XDataObject*> materials;
    for (const auto& child : list.children) {
        if (!child.IsReference()) {
            if (child.object->templateName == "Material") materials.push_back(child.object.get());
            continue;
        }
        std::vector<const d3dx::XDataObject*> named;
        for (const auto* material : TopLevel(contents, "Material"))
            if (material->name == child.referenceName) named.push_back(material);
        EXPECT_EQ(named.size(), 1u) << "Materials named " << child.referenceName;
        materials.push_back(named.size() == 1 ? named[0] : nullptr);
    }
    return materials;
}

std::vector<std::array<float, 4>> FaceColours(const d3dx::XFileContents& contents,
                                              const d3dx::XDataObject& list) {
    auto materials = ListMaterials(contents, list);
    std::vector<std::array<float, 4>> colours;
    for (std::uint32_t index : ReadMaterialList(list).faceIndexes) {
        const bool known = index < materials.size() && materials[index] != nullptr;
        EXPECT_TRUE(known) << "face index " << index;
        colours.push_back(known ? ReadMaterial(*materials[index]).face
                                : std::array<float, 4>{-1, -1, -1, -1});
    }
    return colours;
}

std::vector<std::string> LinesStarting(const std::vector<std::string>& lines,
                                       const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& line : lines)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

AssimpFile::AssimpFile(const std::string& path) {
    m_scene = m_importer.ReadFile(path, 0);
}

aiColor4D AssimpFile::DiffuseOf(const aiMesh& mesh) const {
    aiColor4D color(-1, -1, -1, -1);
    m_scene->mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_COLOR_DIFFUSE, color);
    return color;
}

std::string AssimpFile::TextureOf(const aiMesh& mesh) const {
    aiString name;
    const aiMaterial* material = m_scene->mMaterials[mesh.mMaterialIndex];
    if (material->GetTexture(aiTextureType_DIFFUSE, 0, &name) != AI_SUCCESS) return {};
    return name.C_Str();
}

}  // namespace mattest
