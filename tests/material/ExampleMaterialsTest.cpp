// The example scene with inline and with referenced materials, in every form: the colours,
// texture names and material indices our reader and Assimp see, and the converted texture.
#include <gtest/gtest.h>

#include <cmath>

#include "MaterialTestSupport.h"
#include "host/scene/SceneFile.h"
#include "tests/support/TestFiles.h"

namespace {

using namespace mattest;

tarvo::scene::SceneData ExampleScene() {
    return tarvo::scenefile::LoadSceneFile(std::string(TARVO_SOURCE_DIR) +
                                           "/examples/sample.tscene.json");
}

std::int32_t FileTypeOf(D3DXF_FILEFORMAT format) {
    return format == D3DXF_FILEFORMAT_TEXT     ? kXFileText
           : format == D3DXF_FILEFORMAT_BINARY ? kXFileBinary
                                               : kXFileCompressed;
}

void ExpectFace(const MaterialView& view, std::array<float, 4> face) {
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(view.face[i], face[i], 1e-6f) << i;
}

class ExampleMaterials : public ::testing::Test {
  protected:
    tarvo::testsupport::TempDir m_dir{"tarvo-example-materials"};
};

TEST_F(ExampleMaterials, EveryFormInlineAndReferenced) {
    for (const auto& form : xtest::kAllFormats) {
        for (bool inlineMaterials : {false, true}) {
            SCOPED_TRACE(std::string(form.name) + (inlineMaterials ? " inline" : " referenced"));
            ExportOptions options = MaterialOptions();
            options.xFileType = FileTypeOf(form.format);
            options.inlineMaterials = inlineMaterials ? 1 : 0;
            const std::string path = m_dir.File("sample.x");
            ExportResult run = RunExport(ExampleScene(), options, path);
            ASSERT_EQ(run.result, 1);
            EXPECT_EQ(TopLevel(run.contents, "Material").size(), inlineMaterials ? 0u : 4u);

            // Crate: the multi-material's ids 0 (Brick) and 2 (Trim); faces 0-3 use id 2.
            const auto* crate = MaterialListOfFrame(run.contents, "Crate");
            ASSERT_NE(crate, nullptr);
            MaterialListView list = ReadMaterialList(*crate);
            EXPECT_EQ(list.materialCount, 2u);
            ASSERT_EQ(list.faceIndexes.size(), 12u);
            for (std::size_t f = 0; f < 12; ++f) EXPECT_EQ(list.faceIndexes[f], f < 4 ? 1u : 0u);
            auto crateMaterials = ListMaterials(run.contents, *crate);
            ASSERT_EQ(crateMaterials.size(), 2u);
            EXPECT_EQ(crateMaterials[0]->name, "Crate_Multi_BrickSub0");
            EXPECT_EQ(crateMaterials[1]->name, "Crate_Multi_TrimSub2");
            // Brick: its diffuse bitmap makes the face white; specular 0.9 × 0.5.
            MaterialView brick = ReadMaterial(*crateMaterials[0]);
            ExpectFace(brick, {1, 1, 1, 1});
            EXPECT_FLOAT_EQ(brick.power, 8.0f);
            EXPECT_FLOAT_EQ(brick.specular[0], 0.45f);
            auto textures = ChildrenOf(*crateMaterials[0], "TextureFilename");
            ASSERT_EQ(textures.size(), 1u);
            EXPECT_EQ(ReadString(*textures[0]), "brick.bmp");
            // Trim: 25 % transparent, specular level 1 with 10 % self-illumination.
            MaterialView trim = ReadMaterial(*crateMaterials[1]);
            ExpectFace(trim, {0.8f, 0.8f, 0.75f, 0.75f});
            EXPECT_FLOAT_EQ(trim.power, 0.6f * 32.0f);
            EXPECT_FLOAT_EQ(trim.specular[0], 0.9f);
            EXPECT_FLOAT_EQ(trim.emissive[0], 0.2f);

            // Pool: the shader material with its effect; Arm: Trim used whole.
            const auto* pool = MaterialListOfFrame(run.contents, "Pool");
            ASSERT_NE(pool, nullptr);
            auto water = ListMaterials(run.contents, *pool);
            ASSERT_EQ(water.size(), 1u);
            EXPECT_EQ(water[0]->name, "Water");
            auto effects = ChildrenOf(*water[0], "EffectInstance");
            ASSERT_EQ(effects.size(), 1u);
            EXPECT_EQ(ReadString(*effects[0]), "water.fx");
            EXPECT_EQ(effects[0]->children.size(), 9u) << "ten parameters, one bitmap empty";
            const auto* arm = MaterialListOfFrame(run.contents, "Arm");
            ASSERT_NE(arm, nullptr);
            auto armMaterials = ListMaterials(run.contents, *arm);
            ASSERT_EQ(armMaterials.size(), 1u);
            EXPECT_EQ(armMaterials[0]->name, "Trim");

            // Assimp: the crate's faces in Brick carry the texture and white, the rest Trim.
            // It takes references by position, so only inline materials are judged here.
            AssimpFile assimp(path);
            ASSERT_NE(assimp.scene(), nullptr) << assimp.error();
            if (!inlineMaterials) continue;
            int textured = 0, trimmed = 0;
            for (unsigned m = 0; m < assimp.scene()->mNumMeshes; ++m) {
                const aiMesh& mesh = *assimp.scene()->mMeshes[m];
                const aiColor4D diffuse = assimp.DiffuseOf(mesh);
                if (assimp.TextureOf(mesh) == "brick.bmp") {
                    ++textured;
                    EXPECT_EQ(mesh.mNumFaces, 8u);
                    EXPECT_EQ(diffuse, aiColor4D(1, 1, 1, 1));
                } else if (std::fabs(diffuse.b - 0.75f) < 1e-6f) {
                    ++trimmed;
                    EXPECT_FLOAT_EQ(diffuse.r, 0.8f);
                    EXPECT_FLOAT_EQ(diffuse.a, 0.75f);
                }
            }
            EXPECT_EQ(textured, 1);
            EXPECT_EQ(trimmed, 2) << "the crate's four Trim faces and the arm";
        }
    }
    // The example's texture, converted to the default bitmap format at its own size.
    EXPECT_EQ(tarvo::testsupport::ReadText(m_dir.File("brick.bmp")).substr(0, 2), "BM");
    BitmapInfo source((std::string(TARVO_SOURCE_DIR) + "/examples/textures/brick.png").c_str());
    BitmapInfo converted(m_dir.File("brick.bmp").c_str());
    ASSERT_EQ(TheManager->GetImageInfo(&source), BMMRES_SUCCESS);
    ASSERT_EQ(TheManager->GetImageInfo(&converted), BMMRES_SUCCESS);
    EXPECT_EQ(converted.Width(), source.Width());
    EXPECT_EQ(converted.Height(), source.Height());
}

}  // namespace
