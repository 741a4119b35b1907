// Top-level Materials get names unique within the file, and every reference in a material
// list names the Material its own material was written as.
#include <gtest/gtest.h>

#include <cmath>

#include "MaterialTestSupport.h"

namespace {

using namespace mattest;
using tarvo::scene::SceneData;

constexpr float kNodeSpacing = 100.0f;

// Materials whose names collide: equal names, names the rule makes equal, a name equal to
// another's first suffix, and a whole material named like a multi-material's entry. Node i
// uses the material given below and lies at x = 100 i.
struct Case {
    const char* node;
    const char* expectedName;
    Color colour;
};
const Case kCases[] = {
    {"N0", "Paint_A", Color(1, 0, 0)},          // "Paint A"
    {"N1", "Paint_A_3", Color(0, 1, 0)},        // "Paint.A": rule name taken, _2 reserved
    {"N2", "Paint_A_4", Color(0, 0, 1)},        // "Paint A" again
    {"N3", "Paint_A_2", Color(1, 1, 0)},        // "Paint_A_2" keeps its own name
    {"N4", "Crate_RedSub0", Color(1, 0, 1)},    // slot 0 of multi "Crate"
    {"N5", "Crate_RedSub0_2", Color(0, 1, 1)},  // a whole material "Crate_RedSub0"
};

SceneData CollidingNames() {
    SceneData scene;
    scene.materials = {StandardMaterial("Paint A", kCases[0].colour),
                       StandardMaterial("Paint.A", kCases[1].colour),
                       StandardMaterial("Paint A", kCases[2].colour),
                       StandardMaterial("Paint_A_2", kCases[3].colour),
                       MultiMaterial("Crate", {5}),
                       StandardMaterial("Red", kCases[4].colour),
                       StandardMaterial("Crate_RedSub0", kCases[5].colour)};
    const int materialOfNode[] = {0, 1, 2, 3, 4, 6};
    for (int i = 0; i < 6; ++i) {
        auto node = MeshNode(kCases[i].node, materialOfNode[i], {0});
        for (Point3& p : node.mesh.vertices) p.x += kNodeSpacing * static_cast<float>(i);
        scene.nodes.push_back(node);
    }
    return scene;
}

ExportOptions NamesOptions(bool inlineMaterials) {
    ExportOptions options = MaterialOptions();
    options.texMapConv = kTexMapNone;
    options.inlineMaterials = inlineMaterials ? 1 : 0;
    options.frameSetting = kFrameSettingNoFrames;  // meshes placed in world space
    return options;
}

// The colour Assimp gives each node's face, by the node its vertices lie at.
std::map<int, aiColor4D> ColourByNode(const AssimpFile& file) {
    std::map<int, aiColor4D> colours;
    for (unsigned m = 0; m < file.scene()->mNumMeshes; ++m) {
        const aiMesh& mesh = *file.scene()->mMeshes[m];
        const int node = static_cast<int>(std::floor(mesh.mVertices[0].x / kNodeSpacing + 0.01f));
        colours[node] = file.DiffuseOf(mesh);
    }
    return colours;
}

class MaterialNames : public ::testing::Test {
  protected:
    tarvo::testsupport::TempDir m_dir{"tarvo-material-names"};
};

TEST_F(MaterialNames, TopLevelNamesAreUniqueAndReferencesFollowThem) {
    for (const auto& form : xtest::kAllFormats) {
        SCOPED_TRACE(form.name);
        ExportOptions options = NamesOptions(false);
        options.xFileType = form.format == D3DXF_FILEFORMAT_TEXT     ? kXFileText
                            : form.format == D3DXF_FILEFORMAT_BINARY ? kXFileBinary
                                                                     : kXFileCompressed;
        const std::string path = m_dir.File("names.x");
        ExportResult run = RunExport(CollidingNames(), options, path);
        std::vector<std::string> written;
        for (const auto* m : TopLevel(run.contents, "Material")) written.push_back(m->name);
        std::vector<std::string> expected;
        for (const Case& c : kCases) expected.push_back(c.expectedName);
        EXPECT_EQ(written, expected);
        // Each mesh's list refers to the Material of its own colour.
        auto meshes = AllOf(run.contents, "Mesh");
        ASSERT_EQ(meshes.size(), 6u);
        for (std::size_t i = 0; i < meshes.size(); ++i) {
            auto lists = ChildrenOf(*meshes[i], "MeshMaterialList");
            ASSERT_EQ(lists.size(), 1u);
            EXPECT_EQ(ReferencesOf(*lists[0]), std::vector<std::string>{kCases[i].expectedName});
            const Color& c = kCases[i].colour;
            EXPECT_EQ(FaceColours(run.contents, *lists[0]),
                      (std::vector<std::array<float, 4>>{{c.r, c.g, c.b, 1}}));
        }
        // Assimp loads the file and keeps every top-level Material under its written name;
        // it takes references by position, so it cannot judge which one a mesh uses.
        AssimpFile assimp(path);
        ASSERT_NE(assimp.scene(), nullptr) << assimp.error();
        std::vector<std::string> assimpNames;
        for (unsigned m = 0; m < assimp.scene()->mNumMaterials; ++m) {
            aiString name;
            assimp.scene()->mMaterials[m]->Get(AI_MATKEY_NAME, name);
            assimpNames.push_back(name.C_Str());
        }
        EXPECT_EQ(assimpNames, expected);
    }
}

TEST_F(MaterialNames, InlineMaterialsKeepTheRuleNamesAndTheirOwnColours) {
    const std::string path = m_dir.File("inline.x");
    ExportResult run = RunExport(CollidingNames(), NamesOptions(true), path);
    EXPECT_TRUE(TopLevel(run.contents, "Material").empty());
    auto meshes = AllOf(run.contents, "Mesh");
    ASSERT_EQ(meshes.size(), 6u);
    const char* ruleNames[] = {"Paint_A",   "Paint_A",       "Paint_A",
                               "Paint_A_2", "Crate_RedSub0", "Crate_RedSub0"};
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        auto materials = ChildrenOf(*ChildrenOf(*meshes[i], "MeshMaterialList").at(0), "Material");
        ASSERT_EQ(materials.size(), 1u);
        EXPECT_EQ(materials[0]->name, ruleNames[i]);
        EXPECT_FLOAT_EQ(ReadMaterial(*materials[0]).face[0], kCases[i].colour.r);
    }
    AssimpFile assimp(path);
    ASSERT_NE(assimp.scene(), nullptr) << assimp.error();
    auto colours = ColourByNode(assimp);
    for (int i = 0; i < 6; ++i) {
        const Color& c = kCases[i].colour;
        EXPECT_EQ(colours[i], aiColor4D(c.r, c.g, c.b, 1)) << kCases[i].node;
    }
}

}  // namespace
