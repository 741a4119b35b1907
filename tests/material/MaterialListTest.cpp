// The MeshMaterialList: each face's entry, the default material from the wire colour, the
// multi-material's used ids, and inline materials against references.
#include <gtest/gtest.h>

#include <cmath>

#include "MaterialTestSupport.h"

namespace {

using namespace mattest;
using tarvo::scene::MaterialData;
using tarvo::scene::SceneData;

ExportOptions ListOptions(bool inlineMaterials, std::int32_t fileType = kXFileText) {
    ExportOptions options = MaterialOptions();
    options.texMapConv = kTexMapNone;
    options.inlineMaterials = inlineMaterials ? 1 : 0;
    options.xFileType = fileType;
    return options;
}

// Four sub-materials of distinct colours; the mesh uses ids 0 and 2 only.
SceneData FourSlotScene() {
    SceneData scene;
    scene.materials = {
        MultiMaterial("Crate", {1, 2, 3, 4}), StandardMaterial("Red", Color(1, 0, 0)),
        StandardMaterial("Green", Color(0, 1, 0)), StandardMaterial("Blue", Color(0, 0, 1)),
        StandardMaterial("Grey", Color(0.5f, 0.5f, 0.5f))};
    scene.nodes.push_back(MeshNode("Box", 0, {2, 0, 2, 0}));
    return scene;
}

// Assimp's meshes of the file, each face's colour by the x of its first vertex (face i
// lies at x = 10 i), with the z axis as Assimp turns it.
std::map<int, aiColor4D> AssimpFaceColours(const AssimpFile& file) {
    std::map<int, aiColor4D> colours;
    const aiScene* scene = file.scene();
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh& mesh = *scene->mMeshes[m];
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            float x = mesh.mVertices[mesh.mFaces[f].mIndices[0]].x;
            for (unsigned k = 1; k < mesh.mFaces[f].mNumIndices; ++k)
                x = std::min(x, mesh.mVertices[mesh.mFaces[f].mIndices[k]].x);
            colours[static_cast<int>(std::lround(x / 10.0f))] = file.DiffuseOf(mesh);
        }
    }
    return colours;
}

class MaterialList : public ::testing::Test {
  protected:
    tarvo::testsupport::TempDir m_dir{"tarvo-material-list"};
};

TEST_F(MaterialList, NodeWithoutMaterialGetsItsWireColour) {
    auto node = MeshNode("Box", -1, {0, 0, 0});
    node.wireColor = 255u | (128u << 8) | (0u << 16);
    SceneData scene;
    scene.nodes.push_back(node);
    for (bool inlineMaterials : {false, true}) {
        ExportResult run = RunExport(scene, ListOptions(inlineMaterials), m_dir.File("wire.x"));
        EXPECT_TRUE(TopLevel(run.contents, "Material").empty());
        const auto* list = MaterialListOfFrame(run.contents, "Box");
        ASSERT_NE(list, nullptr);
        MaterialListView view = ReadMaterialList(*list);
        EXPECT_EQ(view.materialCount, 1u);
        EXPECT_EQ(view.faceIndexes, (std::vector<std::uint32_t>{0, 0, 0}));
        auto materials = ChildrenOf(*list, "Material");
        ASSERT_EQ(materials.size(), 1u);
        EXPECT_EQ(materials[0]->name, "");
        MaterialView material = ReadMaterial(*materials[0]);
        EXPECT_FLOAT_EQ(material.face[0], 1.0f);
        EXPECT_FLOAT_EQ(material.face[1], 128.0f / 255.0f);
        EXPECT_FLOAT_EQ(material.face[2], 0.0f);
        EXPECT_FLOAT_EQ(material.face[3], 1.0f);
        EXPECT_EQ(material.power, 0.0f);
        EXPECT_FLOAT_EQ(material.specular[1], 128.0f / 255.0f);
        EXPECT_EQ(material.emissive, (std::array<float, 3>{0, 0, 0}));
    }
}

TEST_F(MaterialList, MaterialListIsTheSecondChildOfTheMesh) {
    ExportResult run = RunExport(FourSlotScene(), ListOptions(false), m_dir.File("order.x"));
    auto meshes = AllOf(run.contents, "Mesh");
    ASSERT_EQ(meshes.size(), 1u);
    ASSERT_GE(meshes[0]->children.size(), 2u);
    EXPECT_EQ(meshes[0]->children[0].object->templateName, "MeshNormals");
    EXPECT_EQ(meshes[0]->children[1].object->templateName, "MeshMaterialList");
}

TEST_F(MaterialList, UsedIdsOfAMultiMaterialAreTheEntriesInEveryForm) {
    for (const auto& form : xtest::kAllFormats) {
        SCOPED_TRACE(form.name);
        const std::int32_t fileType = form.format == D3DXF_FILEFORMAT_TEXT     ? kXFileText
                                      : form.format == D3DXF_FILEFORMAT_BINARY ? kXFileBinary
                                                                               : kXFileCompressed;
        for (bool inlineMaterials : {false, true}) {
            SCOPED_TRACE(inlineMaterials ? "inline" : "referenced");
            const std::string path = m_dir.File("four.x");
            ExportResult run =
                RunExport(FourSlotScene(), ListOptions(inlineMaterials, fileType), path);
            const auto* list = MaterialListOfFrame(run.contents, "Box");
            ASSERT_NE(list, nullptr);
            MaterialListView view = ReadMaterialList(*list);
            EXPECT_EQ(view.materialCount, 2u);
            EXPECT_EQ(view.faceIndexes, (std::vector<std::uint32_t>{1, 0, 1, 0}));
            if (inlineMaterials) {
                std::vector<std::string> names;
                for (const auto* m : ChildrenOf(*list, "Material")) names.push_back(m->name);
                EXPECT_EQ(names, (std::vector<std::string>{"Crate_RedSub0", "Crate_BlueSub2"}));
                EXPECT_TRUE(TopLevel(run.contents, "Material").empty());
            } else {
                EXPECT_EQ(ReferencesOf(*list),
                          (std::vector<std::string>{"Crate_RedSub0", "Crate_BlueSub2"}));
            }
            using Rgba = std::array<float, 4>;
            const Rgba blue{0, 0, 1, 1}, red{1, 0, 0, 1};
            EXPECT_EQ(FaceColours(run.contents, *list), (std::vector<Rgba>{blue, red, blue, red}));
            AssimpFile assimp(path);
            ASSERT_NE(assimp.scene(), nullptr) << assimp.error();
            if (!inlineMaterials) continue;  // Assimp takes references by position
            auto colours = AssimpFaceColours(assimp);
            ASSERT_EQ(colours.size(), 4u);
            for (int face : {0, 2}) EXPECT_EQ(colours[face], aiColor4D(0, 0, 1, 1)) << face;
            for (int face : {1, 3}) EXPECT_EQ(colours[face], aiColor4D(1, 0, 0, 1)) << face;
        }
    }
}

TEST_F(MaterialList, SingleMaterialIsReferencedByItsObjectName) {
    SceneData scene;
    scene.materials = {StandardMaterial("1st coat", Color(0.2f, 0.4f, 0.6f))};
    scene.nodes.push_back(MeshNode("Box", 0, {0, 5}));
    ExportResult run = RunExport(scene, ListOptions(false), m_dir.File("coat.x"));
    ASSERT_EQ(TopLevel(run.contents, "Material").size(), 1u);
    EXPECT_EQ(TopLevel(run.contents, "Material")[0]->name, "TDX1st_coat");
    const auto* list = MaterialListOfFrame(run.contents, "Box");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ReferencesOf(*list), std::vector<std::string>{"TDX1st_coat"});
    EXPECT_EQ(ReadMaterialList(*list).faceIndexes, (std::vector<std::uint32_t>{0, 0}));
}

// An id whose slot is empty still takes its entry: a material from the wire colour, so the
// list holds as many materials as it counts and every reader accepts it.
TEST_F(MaterialList, UsedIdWithAnEmptySlotGetsTheWireColourInItsPlace) {
    SceneData scene;
    scene.materials = {MultiMaterial("Crate", {1, -1, 2}), StandardMaterial("Red", Color(1, 0, 0)),
                       StandardMaterial("Blue", Color(0, 0, 1))};
    auto node = MeshNode("Box", 0, {0, 1, 2});
    node.wireColor = 0u | (255u << 8) | (0u << 16);
    scene.nodes.push_back(node);
    for (bool inlineMaterials : {false, true}) {
        SCOPED_TRACE(inlineMaterials ? "inline" : "referenced");
        const std::string path = m_dir.File("gap.x");
        ExportResult run = RunExport(scene, ListOptions(inlineMaterials), path);
        const auto* list = MaterialListOfFrame(run.contents, "Box");
        ASSERT_NE(list, nullptr);
        MaterialListView view = ReadMaterialList(*list);
        EXPECT_EQ(view.materialCount, 3u);
        EXPECT_EQ(view.faceIndexes, (std::vector<std::uint32_t>{0, 1, 2}));
        EXPECT_EQ(list->children.size(), 3u);
        using Rgba = std::array<float, 4>;
        EXPECT_EQ(FaceColours(run.contents, *list),
                  (std::vector<Rgba>{{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}}));
        AssimpFile assimp(path);
        ASSERT_NE(assimp.scene(), nullptr) << assimp.error();
        if (!inlineMaterials) continue;  // Assimp takes references by position
        auto colours = AssimpFaceColours(assimp);
        EXPECT_EQ(colours[0], aiColor4D(1, 0, 0, 1));
        EXPECT_EQ(colours[1], aiColor4D(0, 1, 0, 1));
        EXPECT_EQ(colours[2], aiColor4D(0, 0, 1, 1));
    }
}

TEST_F(MaterialList, NestedMultiMaterialTakesOneEntryPerUsedId) {
    SceneData scene;
    scene.materials = {MultiMaterial("Outer", {1, 2}), StandardMaterial("Red", Color(1, 0, 0)),
                       MultiMaterial("Inner", {-1, 3}), StandardMaterial("Blue", Color(0, 0, 1))};
    scene.nodes.push_back(MeshNode("Box", 0, {0, 1}));
    for (bool inlineMaterials : {false, true}) {
        SCOPED_TRACE(inlineMaterials ? "inline" : "referenced");
        ExportResult run = RunExport(scene, ListOptions(inlineMaterials), m_dir.File("nested.x"));
        const auto* list = MaterialListOfFrame(run.contents, "Box");
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(ReadMaterialList(*list).materialCount, 2u);
        EXPECT_EQ(list->children.size(), 2u);
        std::vector<std::string> names;
        if (inlineMaterials)
            for (const auto* m : ChildrenOf(*list, "Material")) names.push_back(m->name);
        else
            names = ReferencesOf(*list);
        EXPECT_EQ(names, (std::vector<std::string>{"Outer_RedSub0", "Inner_BlueSub1"}));
    }
}

TEST_F(MaterialList, NoListWhenMaterialsAreOff) {
    ExportOptions options = ListOptions(false);
    options.exportMaterials = 0;
    ExportResult run = RunExport(FourSlotScene(), options, m_dir.File("off.x"));
    EXPECT_TRUE(AllOf(run.contents, "MeshMaterialList").empty());
    EXPECT_TRUE(AllOf(run.contents, "Material").empty());
}

}  // namespace
