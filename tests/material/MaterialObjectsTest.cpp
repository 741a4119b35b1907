// Material objects: the colour arithmetic of the standard material, the white-diffuse rule,
// other classes, the diffuse slot, and the names of sub-materials.
#include <gtest/gtest.h>

#include "MaterialTestSupport.h"

namespace {

using namespace mattest;
using tarvo::scene::MaterialData;
using tarvo::scene::SceneData;

// The standard material of the colour example: diffuse (0.5, 0.25, 0), transparency 0.2,
// shininess 0.5, specular level 2, specular 0.9, no self-illumination.
MaterialData ExampleStandard() {
    MaterialData material = StandardMaterial("Paint", Color(0.5f, 0.25f, 0.0f));
    material.transparency = 0.2f;
    material.shininess = 0.5f;
    material.specularLevel = 2.0f;
    material.specular = Color(0.9f, 0.9f, 0.9f);
    material.selfIllumination = 0.0f;
    material.selfIllumColor = Color(0, 0, 0);
    return material;
}

ExportOptions NoTextureFiles() {
    ExportOptions options = MaterialOptions();
    options.texMapConv = kTexMapNone;
    return options;
}

// One node with the given material (index 0 of the scene's materials) and the rest listed
// after it, exported with top-level materials; returns the top-level Materials.
class TopLevelMaterials : public ::testing::Test {
  protected:
    ExportResult Export(std::vector<MaterialData> materials, ExportOptions options) {
        SceneData scene;
        scene.materials = std::move(materials);
        scene.nodes.push_back(MeshNode("Box", 0, {0}));
        return RunExport(std::move(scene), options, m_dir.File("materials.x"));
    }
    tarvo::testsupport::TempDir m_dir{"tarvo-material"};
};

TEST_F(TopLevelMaterials, StandardColourArithmetic) {
    ExportResult run = Export({ExampleStandard()}, NoTextureFiles());
    auto materials = TopLevel(run.contents, "Material");
    ASSERT_EQ(materials.size(), 1u);
    EXPECT_EQ(materials[0]->name, "Paint");
    EXPECT_EQ(materials[0]->payload.size(), 44u);
    MaterialView view = ReadMaterial(*materials[0]);
    EXPECT_FLOAT_EQ(view.face[0], 0.5f);
    EXPECT_FLOAT_EQ(view.face[1], 0.25f);
    EXPECT_FLOAT_EQ(view.face[2], 0.0f);
    EXPECT_FLOAT_EQ(view.face[3], 0.8f);
    EXPECT_FLOAT_EQ(view.power, 16.0f);
    for (float c : view.specular) EXPECT_FLOAT_EQ(c, 1.8f);
    for (float c : view.emissive) EXPECT_FLOAT_EQ(c, 0.0f);
}

TEST_F(TopLevelMaterials, SelfIlluminationDimsTheHighlightAndGivesTheEmissiveColour) {
    MaterialData material = ExampleStandard();
    material.selfIllumination = 0.25f;
    material.selfIllumColor = Color(0.1f, 0.2f, 0.3f);
    MaterialView view =
        ReadMaterial(*TopLevel(Export({material}, NoTextureFiles()).contents, "Material").at(0));
    for (float c : view.specular) EXPECT_FLOAT_EQ(c, 0.9f * 2.0f * 0.75f);
    EXPECT_FLOAT_EQ(view.emissive[0], 0.1f);
    EXPECT_FLOAT_EQ(view.emissive[1], 0.2f);
    EXPECT_FLOAT_EQ(view.emissive[2], 0.3f);
}

TEST_F(TopLevelMaterials, DiffuseBitmapWhitensTheFaceColourOnlyWithWhiteTex) {
    MaterialData material = ExampleStandard();
    material.maps.push_back(BitmapSlot(tarvo::scene::ID_DI, "maps/brick.png"));
    ExportOptions options = NoTextureFiles();
    options.whiteTex = 1;
    MaterialView white =
        ReadMaterial(*TopLevel(Export({material}, options).contents, "Material").at(0));
    EXPECT_EQ(white.face, (std::array<float, 4>{1.0f, 1.0f, 1.0f, 0.8f}));
    options.whiteTex = 0;
    MaterialView kept =
        ReadMaterial(*TopLevel(Export({material}, options).contents, "Material").at(0));
    EXPECT_FLOAT_EQ(kept.face[0], 0.5f);
    EXPECT_FLOAT_EQ(kept.face[1], 0.25f);
    EXPECT_FLOAT_EQ(kept.face[3], 0.8f);
}

TEST_F(TopLevelMaterials, OnlyAnEnabledBitmapInTheDiffuseSlotGivesATextureFilename) {
    ExportOptions options = NoTextureFiles();
    options.whiteTex = 1;
    MaterialData diffuse = ExampleStandard();
    diffuse.maps.push_back(BitmapSlot(tarvo::scene::ID_DI, "maps/brick.png"));
    MaterialData bump = ExampleStandard();
    bump.name = "Bumpy";
    bump.maps.push_back(BitmapSlot(tarvo::scene::ID_BU, "maps/bump.png"));
    MaterialData disabled = ExampleStandard();
    disabled.name = "Off";
    disabled.maps.push_back(BitmapSlot(tarvo::scene::ID_DI, "maps/off.png", false));
    SceneData scene;
    scene.materials = {diffuse, bump, disabled};
    for (int i = 0; i < 3; ++i) scene.nodes.push_back(MeshNode("Box" + std::to_string(i), i, {0}));
    ExportResult run = RunExport(std::move(scene), options, m_dir.File("slots.x"));
    auto materials = TopLevel(run.contents, "Material");
    ASSERT_EQ(materials.size(), 3u);
    auto textures = ChildrenOf(*materials[0], "TextureFilename");
    ASSERT_EQ(textures.size(), 1u);
    EXPECT_EQ(ReadString(*textures[0]), "brick.png");
    EXPECT_TRUE(ChildrenOf(*materials[1], "TextureFilename").empty()) << "bump slot";
    EXPECT_TRUE(ChildrenOf(*materials[2], "TextureFilename").empty()) << "disabled slot";
    // The white rule looks at the slot whether or not the map is enabled.
    EXPECT_FLOAT_EQ(ReadMaterial(*materials[2]).face[0], 1.0f);
    EXPECT_FLOAT_EQ(ReadMaterial(*materials[1]).face[0], 0.5f);
}

TEST_F(TopLevelMaterials, OtherClassesAreWhiteWithTheirTransparency) {
    MaterialData other;
    other.kind = tarvo::scene::MaterialKind::Other;
    other.name = "Car Paint";
    other.className = "Car Paint";
    other.diffuse = Color(0.2f, 0.3f, 0.4f);
    other.transparency = 0.4f;
    MaterialView view =
        ReadMaterial(*TopLevel(Export({other}, NoTextureFiles()).contents, "Material").at(0));
    EXPECT_EQ(view.face, (std::array<float, 4>{1.0f, 1.0f, 1.0f, 0.6f}));
    EXPECT_EQ(view.power, 0.0f);
    EXPECT_EQ(view.specular, (std::array<float, 3>{1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(view.emissive, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));
}

TEST_F(TopLevelMaterials, SubMaterialNamesCarryTheirMultiMaterialAndSlot) {
    // Multi 1: slots 0 and 1 empty, slot 2 Brick.01; Outer: slot 0 Inner (itself a
    // multi-material with Leaf in slot 0); Unnamed: a material without a name.
    std::vector<MaterialData> materials = {
        MultiMaterial("Multi 1", {-1, -1, 1}),
        StandardMaterial("Brick.01", Color(0.6f, 0.3f, 0.2f)),
        MultiMaterial("Outer", {3}),
        MultiMaterial("Inner", {4}),
        StandardMaterial("Leaf", Color(0.1f, 0.6f, 0.1f)),
        StandardMaterial("", Color(0.3f, 0.3f, 0.3f)),
    };
    SceneData scene;
    scene.materials = materials;
    scene.nodes.push_back(MeshNode("A", 0, {2}));
    scene.nodes.push_back(MeshNode("B", 2, {0}));
    scene.nodes.push_back(MeshNode("C", 5, {0}));
    ExportResult run = RunExport(std::move(scene), NoTextureFiles(), m_dir.File("names.x"));
    std::vector<std::string> names;
    for (const auto* material : TopLevel(run.contents, "Material")) names.push_back(material->name);
    EXPECT_EQ(names, (std::vector<std::string>{"Multi_1_Brick_01Sub2", "Inner_LeafSub0", ""}));
    // The references name the objects written; the unnamed material is written inline.
    EXPECT_EQ(ReferencesOf(*MaterialListOfFrame(run.contents, "A")),
              std::vector<std::string>{"Multi_1_Brick_01Sub2"});
    EXPECT_EQ(ReferencesOf(*MaterialListOfFrame(run.contents, "B")),
              std::vector<std::string>{"Inner_LeafSub0"});
    const auto* unnamed = MaterialListOfFrame(run.contents, "C");
    EXPECT_TRUE(ReferencesOf(*unnamed).empty());
    EXPECT_EQ(ChildrenOf(*unnamed, "Material").size(), 1u);
}

TEST_F(TopLevelMaterials, MultiMaterialWithOnlyEmptySlotsWritesNothing) {
    ExportResult run = Export({MultiMaterial("Empty", {-1, -1})}, NoTextureFiles());
    EXPECT_TRUE(TopLevel(run.contents, "Material").empty());
}

TEST_F(TopLevelMaterials, EffectMaterialWithSubMaterialsIsOneMaterial) {
    MaterialData shader;
    shader.kind = tarvo::scene::MaterialKind::Shader;
    shader.name = "Water";
    shader.effectFile = "water.fx";
    shader.subMaterials = {1, 1};
    std::vector<MaterialData> materials = {shader,
                                           StandardMaterial("Sub", Color(0.1f, 0.2f, 0.3f))};
    ExportResult run = Export(materials, NoTextureFiles());
    auto written = TopLevel(run.contents, "Material");
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0]->name, "Water");
    EXPECT_EQ(ChildrenOf(*written[0], "EffectInstance").size(), 1u);
    const auto* list = MaterialListOfFrame(run.contents, "Box");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ReadMaterialList(*list).materialCount, 1u);
    EXPECT_EQ(ReferencesOf(*list), std::vector<std::string>{"Water"});
}

TEST_F(TopLevelMaterials, MaterialsOfEveryNodeAreWrittenOnceWhateverIsExported) {
    SceneData scene;
    scene.materials = {StandardMaterial("Shared", Color(0.2f, 0.2f, 0.2f)),
                       StandardMaterial("Unused", Color(0.9f, 0.9f, 0.9f)),
                       StandardMaterial("Hidden", Color(0.4f, 0.4f, 0.4f))};
    for (int i = 0; i < 3; ++i) scene.nodes.push_back(MeshNode("Box" + std::to_string(i), 0, {0}));
    auto hidden = MeshNode("Hid", 2, {0});
    hidden.hidden = true;
    scene.nodes.push_back(hidden);
    ExportResult run = RunExport(std::move(scene), NoTextureFiles(), m_dir.File("shared.x"));
    std::vector<std::string> names;
    for (const auto* material : TopLevel(run.contents, "Material")) names.push_back(material->name);
    EXPECT_EQ(names, (std::vector<std::string>{"Shared", "Hidden"}));
}

}  // namespace
