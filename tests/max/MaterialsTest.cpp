#include <gtest/gtest.h>

#include "platform/max/HostScene.h"
#include "platform/max/Materials.h"
#include "platform/max/Node.h"
#include "tests/max/TestScenes.h"

using namespace tarvo;

namespace {

scene::MaterialData Standard(const char* name) {
    scene::MaterialData m;
    m.name = name;
    m.diffuse = Color(0.5f, 0.25f, 0.0f);
    m.specular = Color(0.9f, 0.9f, 0.9f);
    m.shininess = 0.5f;
    m.specularLevel = 2.0f;
    m.selfIllumination = 0.25f;
    m.selfIllumColor = Color(0.1f, 0.2f, 0.3f);
    m.transparency = 0.2f;
    return m;
}

scene::MapSlot BitmapSlot(int slot, const char* file, bool enabled = true) {
    scene::MapSlot s;
    s.slot = slot;
    s.enabled = enabled;
    s.map.kind = scene::TexmapKind::Bitmap;
    s.map.name = "Map";
    s.map.file = file;
    return s;
}

}  // namespace

TEST(Materials, StandardMaterialAnswersItsValuesAndSlots) {
    scene::SceneData data;
    data.baseDirectory = "/scenes/demo";
    data.materials = {Standard("Brick")};
    data.materials[0].maps = {BitmapSlot(1, "maps/brick.png"),
                              BitmapSlot(3, "C:\\maps\\gloss.tga", false)};
    data.nodes = {testscenes::MeshNode("Wall", testscenes::Box())};
    data.nodes[0].material = 0;
    HostScene scene(data);
    Mtl* mtl = scene.Node(0)->GetMtl();
    ASSERT_NE(mtl, nullptr);
    EXPECT_EQ(mtl->ClassID(), DMTL_CLASS_ID);
    EXPECT_EQ(mtl->SuperClassID(), MATERIAL_CLASS_ID);
    EXPECT_EQ(mtl->GetName(), "Brick");
    auto* std = static_cast<StdMat*>(mtl);
    EXPECT_EQ(std->GetDiffuse(0), Color(0.5f, 0.25f, 0.0f));
    EXPECT_EQ(std->GetShininess(0), 0.5f);
    EXPECT_EQ(std->GetShinStr(0), 2.0f);
    EXPECT_EQ(std->GetSelfIllum(0), 0.25f);
    EXPECT_EQ(mtl->GetXParency(0, FALSE), 0.2f);
    EXPECT_EQ(mtl->GetSelfIllumColor(), Color(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(mtl->GetInterface(IDXMATERIAL_INTERFACE), nullptr);

    EXPECT_EQ(mtl->NumSubTexmaps(), 12);
    EXPECT_EQ(mtl->GetSubTexmap(0), nullptr);
    Texmap* diffuse = mtl->GetSubTexmap(1);
    ASSERT_NE(diffuse, nullptr);
    EXPECT_EQ(diffuse->ClassID(), BMTEX_CLASS_ID);
    MSTR className;
    diffuse->GetClassName(className);
    EXPECT_EQ(className, "Bitmap");
    // Relative paths are found beside the scene; others are made native.
    EXPECT_STREQ(static_cast<BitmapTex*>(diffuse)->GetMapName(), "/scenes/demo/maps/brick.png");
    EXPECT_STREQ(static_cast<BitmapTex*>(mtl->GetSubTexmap(3))->GetMapName(), "C:/maps/gloss.tga");
    EXPECT_TRUE(std->MapEnabled(1));
    EXPECT_FALSE(std->MapEnabled(3));
    EXPECT_EQ(static_cast<BitmapTex*>(diffuse)->GetBitmap(0), nullptr) << "the file is not there";
}

TEST(Materials, MultiMaterialHasSparseSlots) {
    scene::SceneData data;
    data.materials = {Standard("Red"), Standard("Blue"), scene::MaterialData{}};
    data.materials[2].kind = scene::MaterialKind::Multi;
    data.materials[2].name = "Multi 1";
    data.materials[2].subMaterials = {0, -1, 1, -1};
    HostScene scene(data);
    Mtl* multi = scene.Material(2);
    EXPECT_EQ(multi->ClassID(), MULTI_CLASS_ID);
    ASSERT_EQ(multi->NumSubMtls(), 4);
    EXPECT_EQ(multi->GetSubMtl(0), scene.Material(0));
    EXPECT_EQ(multi->GetSubMtl(1), nullptr);
    EXPECT_EQ(multi->GetSubMtl(2)->GetName(), "Blue");
    EXPECT_EQ(multi->GetSubMtl(9), nullptr);
}

TEST(Materials, ShaderMaterialAnswersTheEffectInterfaceAndItsParameterBlocks) {
    scene::SceneData data;
    scene::MaterialData fx;
    fx.kind = scene::MaterialKind::Shader;
    fx.name = "Water";
    fx.effectFile = "C:\\fx\\water.fx";
    scene::ParamData speed{"Speed", TYPE_FLOAT, 1.5, {}, {}};
    scene::ParamData count{"Count", TYPE_INT, 7, {}, {}};
    scene::ParamData tint{"Tint", TYPE_FRGBA, 0, Point4(0.1f, 0.2f, 0.3f, 0.4f), {}};
    scene::ParamData noise{"Noise", TYPE_BITMAP, 0, {}, "noise.png"};
    scene::ParamData empty{"Empty", TYPE_BITMAP, 0, {}, ""};
    scene::ParamData odd{"Matrix", 12, 0, {}, {}};
    fx.paramBlocks[0] = {speed, count};
    fx.paramBlocks[3] = {tint, noise, empty, odd};
    data.baseDirectory = "/s";
    data.materials = {fx};
    HostScene scene(data);
    Mtl* mtl = scene.Material(0);
    auto* effect = static_cast<IDxMaterial*>(mtl->GetInterface(IDXMATERIAL_INTERFACE));
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->GetEffectFile().GetFileName(), "C:\\fx\\water.fx");
    EXPECT_EQ(mtl->NumSubMtls(), 0);
    EXPECT_NE(mtl->ClassID(), DMTL_CLASS_ID);

    IParamBlock2* block0 = mtl->GetParamBlock(0);
    ASSERT_NE(block0, nullptr);
    EXPECT_EQ(mtl->GetParamBlock(1), nullptr);
    ASSERT_EQ(block0->NumParams(), 2);
    ParamID id = block0->IndextoID(0);
    EXPECT_STREQ(block0->GetParamDef(id).int_name, "Speed");
    EXPECT_EQ(block0->GetParameterType(id), TYPE_FLOAT);
    EXPECT_EQ(block0->GetFloat(id), 1.5f);
    EXPECT_EQ(block0->GetInt(block0->IndextoID(1)), 7);

    IParamBlock2* block3 = mtl->GetParamBlock(3);
    ASSERT_EQ(block3->NumParams(), 4);
    EXPECT_EQ(block3->GetAColor(block3->IndextoID(0)), AColor(0.1f, 0.2f, 0.3f, 0.4f));
    EXPECT_EQ(block3->GetPoint3(block3->IndextoID(0)), Point3(0.1f, 0.2f, 0.3f));
    PBBitmap* bitmap = nullptr;
    Interval valid;
    ASSERT_TRUE(block3->GetValue(block3->IndextoID(1), 0, bitmap, valid));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_STREQ(bitmap->bi.Filename(), "/s/noise.png");
    EXPECT_EQ(valid, FOREVER);
    ASSERT_TRUE(block3->GetValue(block3->IndextoID(2), 0, bitmap, valid));
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_EQ(block3->GetParameterType(block3->IndextoID(3)), 12);
    // Reading a value as a type it is not gives that type's zero.
    EXPECT_EQ(block3->GetFloat(block3->IndextoID(0)), 0.0f);
    EXPECT_EQ(block3->GetStr(block3->IndextoID(0)), nullptr);
}

TEST(Materials, OtherClassesAnswerTheGenericValues) {
    scene::SceneData data;
    scene::MaterialData other = Standard("Ink");
    other.kind = scene::MaterialKind::Other;
    other.classId = Class_ID(0x1234, 0x5678);
    other.className = "Ink 'n Paint";
    data.materials = {other};
    HostScene scene(data);
    Mtl* mtl = scene.Material(0);
    EXPECT_EQ(mtl->ClassID(), Class_ID(0x1234, 0x5678));
    EXPECT_EQ(mtl->GetXParency(), 0.2f);
    EXPECT_EQ(mtl->GetDiffuse(), Color(0.5f, 0.25f, 0.0f));
    MSTR name;
    mtl->GetClassName(name);
    EXPECT_EQ(name, "Ink 'n Paint");
}
